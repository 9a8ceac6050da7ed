#include "CNumberGenDlg.h"

#include "base/DialogButtons.h"
#include "base/IMessageBox.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {
QCheckBox *Box(const QString &text, const char *name, QWidget *parent)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(true);
    return box;
}
} // namespace

CNumberGenDlg::CNumberGenDlg(IMessageBox &messages, QWidget *parent)
    : QDialog(parent)
    , m_messages(messages)
    , m_pSegment(new QLineEdit(this))
    , m_pKeep(Box(QStringLiteral("只生成符合以下要求的后4位号码:"), "keepCheck", this))
    , m_pNeed6(Box(QStringLiteral("有6"), "need6Check", this))
    , m_pNeed8(Box(QStringLiteral("有8"), "need8Check", this))
    , m_pKeepHint(new QLabel(NumberGenerator::KeepHint(true, true), this))
    , m_pDrop(Box(QStringLiteral("过滤掉符合以下要求的后4位号码:"), "dropCheck", this))
    , m_pAvoid4(Box(QStringLiteral("有4"), "avoid4Check", this))
    , m_pAvoid7(Box(QStringLiteral("有7"), "avoid7Check", this))
    , m_pDropHint(new QLabel(NumberGenerator::DropHint(true, true), this))
{
    setWindowTitle(QStringLiteral("自动生成接收号码"));
    setObjectName(QStringLiteral("numberGenDialog"));

    auto *segmentLabel = new QLabel(QStringLiteral("号码段:"), this);
    segmentLabel->setObjectName(QStringLiteral("segmentLabel"));
    segmentLabel->setBuddy(m_pSegment);
    m_pSegment->setObjectName(QStringLiteral("segmentEdit"));
    auto *segmentNote = new QLabel(QStringLiteral("(无号码后4位)"), this);
    segmentNote->setObjectName(QStringLiteral("segmentNote"));
    m_pKeepHint->setObjectName(QStringLiteral("keepHint"));
    m_pDropHint->setObjectName(QStringLiteral("dropHint"));

    connect(m_pKeep, &QCheckBox::clicked, this, &CNumberGenDlg::OnKeepSwitch);
    connect(m_pDrop, &QCheckBox::clicked, this, &CNumberGenDlg::OnDropSwitch);
    connect(m_pNeed6, &QCheckBox::clicked, this, &CNumberGenDlg::OnKeepDigits);
    connect(m_pNeed8, &QCheckBox::clicked, this, &CNumberGenDlg::OnKeepDigits);
    connect(m_pAvoid4, &QCheckBox::clicked, this, &CNumberGenDlg::OnDropDigits);
    connect(m_pAvoid7, &QCheckBox::clicked, this, &CNumberGenDlg::OnDropDigits);

    QDialogButtonBox *buttons = OkCancelButtons(this);

    auto *segmentRow = new QHBoxLayout;
    segmentRow->addWidget(segmentLabel);
    segmentRow->addWidget(m_pSegment, 1);
    segmentRow->addWidget(segmentNote);

    auto indented = [](QWidget *a, QWidget *b, QWidget *hint) {
        auto *digits = new QHBoxLayout;
        digits->addSpacing(20);
        digits->addWidget(a);
        digits->addWidget(b);
        digits->addWidget(hint, 1);
        return digits;
    };

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(segmentRow);
    layout->addWidget(m_pKeep);
    layout->addLayout(indented(m_pNeed6, m_pNeed8, m_pKeepHint));
    layout->addWidget(m_pDrop);
    layout->addLayout(indented(m_pAvoid4, m_pAvoid7, m_pDropHint));
    layout->addWidget(buttons);
}

void CNumberGenDlg::OnKeepSwitch()
{
    const bool on = m_pKeep->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(m_pNeed6), static_cast<QWidget *>(m_pNeed8),
                       static_cast<QWidget *>(m_pKeepHint)})
        w->setEnabled(on);
}

void CNumberGenDlg::OnDropSwitch()
{
    const bool on = m_pDrop->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(m_pAvoid4), static_cast<QWidget *>(m_pAvoid7),
                       static_cast<QWidget *>(m_pDropHint)})
        w->setEnabled(on);
}

void CNumberGenDlg::OnKeepDigits()
{
    m_pKeepHint->setText(NumberGenerator::KeepHint(m_pNeed6->isChecked(), m_pNeed8->isChecked()));
}

void CNumberGenDlg::OnDropDigits()
{
    m_pDropHint->setText(NumberGenerator::DropHint(m_pAvoid4->isChecked(), m_pAvoid7->isChecked()));
}

void CNumberGenDlg::accept()
{
    NumberGenerator generator;
    generator.m_strSegment = m_pSegment->text();
    generator.m_bKeep = m_pKeep->isChecked();
    generator.m_bNeed6 = m_pNeed6->isChecked();
    generator.m_bNeed8 = m_pNeed8->isChecked();
    generator.m_bDrop = m_pDrop->isChecked();
    generator.m_bAvoid4 = m_pAvoid4->isChecked();
    generator.m_bAvoid7 = m_pAvoid7->isChecked();
    const QString refusal = generator.validate();
    if (!refusal.isEmpty()) {
        m_messages.Show(refusal, QStringLiteral("提示"), IMessageBox::Warning);
        m_pSegment->setFocus();
        return;
    }
    m_numbers = generator.Generate();
    QDialog::accept();
}
