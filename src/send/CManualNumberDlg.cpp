#include "CManualNumberDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

    auto *buttons = new QDialogButtonBox(this);
    auto *ok = buttons->addButton(QStringLiteral("确定(&O)"), QDialogButtonBox::AcceptRole);
    auto *cancel = buttons->addButton(QStringLiteral("取消(&C)"), QDialogButtonBox::RejectRole);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

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
