#include "CDeviceDlg.h"

#include "DeviceSettingsLogic.h"
#include "base/DialogButtons.h"
#include "base/IMessageBox.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
QComboBox *Combo(const char *name, const QStringList &entries, QWidget *parent)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->addItems(entries);
    return c;
}

void ShowText(QComboBox *combo, const QStringList &entries, const QString &stored)
{
    const int i = DeviceSettingsLogic::MatchEntry(entries, stored);
    combo->setCurrentIndex(i);
    if (i < 0)
        combo->setEditText(stored);
}
} // namespace

CDeviceDlg::CDeviceDlg(DeviceSettings &current, CSettingsFile &file, IMessageBox &messages, const QStringList &ports,
                       QWidget *parent)
    : QDialog(parent)
    , m_current(current)
    , m_file(file)
    , m_messages(messages)
    , m_ports(ports)
{
    setObjectName(QStringLiteral("deviceDialog"));
    setWindowTitle(QStringLiteral("设备管理"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("deviceIcon"));
    icon->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32, 32));

    m_pPort = Combo("portCombo", ports, this);
    m_pBaud = Combo("baudCombo", DeviceSettingsLogic::BaudRateEntries(), this);
    m_pSmsc = new QLineEdit(this);
    m_pSmsc->setObjectName(QStringLiteral("smscEdit"));
    m_pByteSize = Combo("byteSizeCombo", DeviceSettingsLogic::ByteSizeEntries(), this);
    m_pParity = Combo("parityCombo", DeviceSettingsLogic::ParityEntries(), this);
    m_pStopBits = Combo("stopBitsCombo", DeviceSettingsLogic::StopBitsEntries(), this);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("虚拟端口(串口号):"), m_pPort);
    form->addRow(QStringLiteral("通信速率(串口波特率):"), m_pBaud);
    form->addRow(QStringLiteral("SMSC号码(短信服务中心):\n移动:861380+区号+500\n联通:8613010381500"), m_pSmsc);
    form->addRow(QStringLiteral("数据位:"), m_pByteSize);
    form->addRow(QStringLiteral("奇偶校验:"), m_pParity);
    form->addRow(QStringLiteral("停止位:"), m_pStopBits);

    m_pOk = NamedButton(QStringLiteral("确定(&O)"), "okButton", this);
    m_pOk->setDefault(true);
    m_pCancel = NamedButton(QStringLiteral("取消(&C)"), "cancelButton", this);
    m_pDefaults = NamedButton(QStringLiteral("恢复默认"), "defaultsButton", this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_pDefaults);
    buttons->addStretch();
    buttons->addWidget(m_pOk);
    buttons->addWidget(m_pCancel);

    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(form, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);

    connect(m_pOk, &QPushButton::clicked, this, &CDeviceDlg::OnOk);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_pDefaults, &QPushButton::clicked, this, &CDeviceDlg::OnDefaults);
    Show(m_current);
}

void CDeviceDlg::Show(const DeviceSettings &s)
{
    ShowText(m_pPort, m_ports, s.m_strCOM);
    ShowText(m_pBaud, DeviceSettingsLogic::BaudRateEntries(), s.m_strBaudRate);
    m_pSmsc->setText(s.m_strSMSC);
    ShowText(m_pByteSize, DeviceSettingsLogic::ByteSizeEntries(), s.m_strByteSize);
    ShowText(m_pParity, DeviceSettingsLogic::ParityEntries(), s.m_strParity);
    ShowText(m_pStopBits, DeviceSettingsLogic::StopBitsEntries(), s.m_strStopBits);
}

DeviceSettings CDeviceDlg::Edited() const
{
    DeviceSettings s;
    s.m_strCOM = m_pPort->currentText();
    s.m_strBaudRate = m_pBaud->currentText();
    s.m_strSMSC = m_pSmsc->text();
    s.m_strByteSize = m_pByteSize->currentText();
    s.m_strParity = m_pParity->currentText();
    s.m_strStopBits = m_pStopBits->currentText();
    return s;
}

void CDeviceDlg::OnDefaults()
{
    // Only the controls change; nothing is written before OK.
    Show(DeviceSettingsLogic::Defaults(Edited()));
}

void CDeviceDlg::OnOk()
{
    const DeviceSettingsLogic::Result r = DeviceSettingsLogic::Save(m_file, m_current, Edited());
    if (!r.m_bOk) {
        m_messages.Show(r.m_strMessage);
        return;
    }
    accept();
}
