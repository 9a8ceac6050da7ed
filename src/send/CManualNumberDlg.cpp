#include "CManualNumberDlg.h"

#include "base/DialogButtons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

CManualNumberDlg::CManualNumberDlg(QWidget *parent)
    : QDialog(parent)
    , m_pEdit(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("输入短信接收号码"));
    setObjectName(QStringLiteral("manualNumberDialog"));

    auto *label = new QLabel(QStringLiteral("短信接收号码:"), this);
    label->setObjectName(QStringLiteral("numberLabel"));
    label->setBuddy(m_pEdit);
    m_pEdit->setObjectName(QStringLiteral("numberEdit"));
    m_pEdit->setMaxLength(11);

    QDialogButtonBox *buttons = OkCancelButtons(this);

    auto *row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_pEdit, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(320, 0)));
}

QString CManualNumberDlg::Number() const
{
    return m_pEdit->text();
}
