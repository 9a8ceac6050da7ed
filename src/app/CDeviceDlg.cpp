#include "CDeviceDlg.h"

#include "DeviceSettingsLogic.h"
#include "LinkStatus.h"
#include "base/DialogButtons.h"
#include "base/IMessageBox.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
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
    m_pPin = new QLineEdit(this);
    m_pPin->setObjectName(QStringLiteral("pinEdit"));
    m_pPin->setEchoMode(QLineEdit::Password);
    m_pPin->setMaxLength(8);
    m_pPin->setPlaceholderText(QStringLiteral("SIM卡未设PIN码时留空"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("虚拟端口(串口号):"), m_pPort);
    form->addRow(QStringLiteral("通信速率(串口波特率):"), m_pBaud);
    form->addRow(QStringLiteral("SMSC号码(短信服务中心):\n移动:861380+区号+500\n联通:8613010381500"), m_pSmsc);
    form->addRow(QStringLiteral("数据位:"), m_pByteSize);
    form->addRow(QStringLiteral("奇偶校验:"), m_pParity);
    form->addRow(QStringLiteral("停止位:"), m_pStopBits);
    form->addRow(QStringLiteral("PIN码:"), m_pPin);

    // What the connected modem is like now, as the status bar's link pane tells it.
    auto *status = new QGroupBox(QStringLiteral("短信猫状态"), this);
    status->setObjectName(QStringLiteral("statusGroup"));
    auto *statusForm = new QFormLayout(status);
    const auto statusLabel = [status](const char *name) {
        auto *l = new QLabel(status);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    m_pState = statusLabel("statusState");
    m_pSim = statusLabel("statusSim");
    m_pNetwork = statusLabel("statusNetwork");
    m_pOperator = statusLabel("statusOperator");
    m_pSignal = statusLabel("statusSignal");
    statusForm->addRow(QStringLiteral("连接:"), m_pState);
    statusForm->addRow(QStringLiteral("SIM卡:"), m_pSim);
    statusForm->addRow(QStringLiteral("网络:"), m_pNetwork);
    statusForm->addRow(QStringLiteral("运营商:"), m_pOperator);
    statusForm->addRow(QStringLiteral("信号:"), m_pSignal);

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
    layout->addWidget(status);
    layout->addLayout(buttons);

    connect(m_pOk, &QPushButton::clicked, this, &CDeviceDlg::OnOk);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_pDefaults, &QPushButton::clicked, this, &CDeviceDlg::OnDefaults);
    Show(m_current);
    ShowStatus(QString(), ModemStatus());
}

void CDeviceDlg::ShowStatus(const QString &port, const ModemStatus &status)
{
    const ModemReadiness readiness = status.Readiness();
    QString state = QStringLiteral("未连接");
    if (!port.isEmpty()) {
        state = LinkStatus::ReadinessText(readiness);
        if (state.isEmpty())
            state = readiness == ModemReadiness::Ready ? QStringLiteral("就绪") : QStringLiteral("正在连接...");
        state = port + QStringLiteral("  ") + state;
    }
    const bool answering = !port.isEmpty() && status.link == ModemStatus::Link::Answering;
    const QString none = QStringLiteral("-");
    const auto or_ = [&none](const QString &text) { return text.isEmpty() ? none : text; };
    m_pState->setText(state);
    m_pSim->setText(answering ? or_(LinkStatus::SimText(status.sim)) : none);
    m_pNetwork->setText(answering ? or_(LinkStatus::RegistrationText(status.registration)) : none);
    m_pOperator->setText(answering ? or_(status.operatorName) : none);
    m_pSignal->setText(answering ? or_(LinkStatus::SignalText(status)) : none);
}

void CDeviceDlg::Show(const DeviceSettings &s)
{
    ShowText(m_pPort, m_ports, s.m_strCOM);
    ShowText(m_pBaud, DeviceSettingsLogic::BaudRateEntries(), s.m_strBaudRate);
    m_pSmsc->setText(s.m_strSMSC);
    ShowText(m_pByteSize, DeviceSettingsLogic::ByteSizeEntries(), s.m_strByteSize);
    ShowText(m_pParity, DeviceSettingsLogic::ParityEntries(), s.m_strParity);
    ShowText(m_pStopBits, DeviceSettingsLogic::StopBitsEntries(), s.m_strStopBits);
    m_pPin->setText(s.m_strPIN);
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
    s.m_strPIN = m_pPin->text().trimmed();
    return s;
}

void CDeviceDlg::OnDefaults()
{
    // Only the controls change; nothing is written before OK.
    Show(DeviceSettingsLogic::Defaults(Edited()));
}

void CDeviceDlg::OnOk()
{
    // A PIN typed again (even the same one) is the operator's word that it is right.
    const DeviceSettingsLogic::Result r = DeviceSettingsLogic::Save(m_file, m_current, Edited(), m_pPin->isModified());
    if (!r.m_bOk) {
        m_messages.Show(r.m_strMessage);
        return;
    }
    accept();
}
