#include "CDeviceDlg.h"

#include "DeviceSettingsLogic.h"
#include "LinkStatus.h"
#include "base/DialogButtons.h"
#include "base/IMessageBox.h"
#include "at/CSerialPort.h"

#include <QCheckBox>
#include <QComboBox>
#include <algorithm>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
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

// A further modem's empty field: as the first modem.
const QString kAsFirst = QStringLiteral("同第一台");

QString ListText(int index, const DeviceSettings &s)
{
    const QString port = s.m_strCOM.trimmed().isEmpty() ? QStringLiteral("(未设置串口)") : s.m_strCOM.trimmed();
    if (!s.m_strName.trimmed().isEmpty())
        return QStringLiteral("%1. %2 (%3)").arg(index + 1).arg(s.m_strName.trimmed(), port);
    return QStringLiteral("%1. %2").arg(index + 1).arg(port);
}

// A name a status bar pane shows whole beside three others.
constexpr int kMaxNameLength = 16;
} // namespace

CDeviceDlg::CDeviceDlg(QVector<DeviceSettings> &current, CSettingsFile &file, IMessageBox &messages,
                       const QStringList &ports, QWidget *parent)
    : QDialog(parent)
    , m_current(current)
    , m_file(file)
    , m_messages(messages)
    , m_ports(ports)
    , m_edited(current.isEmpty() ? QVector<DeviceSettings>{DeviceSettings()} : current)
{
    setObjectName(QStringLiteral("deviceDialog"));
    setWindowTitle(QStringLiteral("设备管理"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    for (int i = 0; i < m_edited.size(); ++i) {
        m_origins.append(i < current.size() ? i : -1);
        m_pinTyped.append(false);
    }

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("deviceIcon"));
    icon->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32, 32));

    // The modems of the pool: every one sends from the one queue.
    m_pList = new QListWidget(this);
    m_pList->setObjectName(QStringLiteral("modemList"));
    m_pList->setMaximumHeight(fontMetrics().height() * 5 + 8);
    m_pAdd = NamedButton(QStringLiteral("添加短信猫"), "addModemButton", this);
    m_pRemove = NamedButton(QStringLiteral("删除短信猫"), "removeModemButton", this);
    auto *listButtons = new QVBoxLayout;
    listButtons->addWidget(m_pAdd);
    listButtons->addWidget(m_pRemove);
    listButtons->addStretch();
    auto *modems = new QHBoxLayout;
    modems->addWidget(m_pList, 1);
    modems->addLayout(listButtons);

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
    m_pName = new QLineEdit(this);
    m_pName->setObjectName(QStringLiteral("nameEdit"));
    m_pName->setMaxLength(kMaxNameLength);

    const auto smallEdit = [this](const char *name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setMaximumWidth(90);
        return e;
    };
    m_pLimitHour = smallEdit("limitHourEdit");
    m_pLimitDay = smallEdit("limitDayEdit");
    m_pLimitMonth = smallEdit("limitMonthEdit");
    m_pIntervalMin = smallEdit("intervalMinEdit");
    m_pIntervalMax = smallEdit("intervalMaxEdit");
    m_pQuietFrom = smallEdit("quietFromEdit");
    m_pQuietTo = smallEdit("quietToEdit");
    m_pQuietFrom->setPlaceholderText(QStringLiteral("21:00"));
    m_pQuietTo->setPlaceholderText(QStringLiteral("08:00"));
    const auto row = [](std::initializer_list<std::pair<QString, QWidget *>> items) {
        auto *l = new QHBoxLayout;
        for (const auto &[label, widget] : items) {
            if (!label.isEmpty())
                l->addWidget(new QLabel(label));
            l->addWidget(widget);
        }
        l->addStretch();
        return l;
    };

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("短信猫:"), modems);
    form->addRow(QStringLiteral("名称:"), m_pName);
    form->addRow(QStringLiteral("虚拟端口(串口号):"), m_pPort);
    form->addRow(QStringLiteral("通信速率(串口波特率):"), m_pBaud);
    form->addRow(QStringLiteral("SMSC号码(短信服务中心):\n移动:861380+区号+500\n联通:8613010381500"), m_pSmsc);
    form->addRow(QStringLiteral("数据位:"), m_pByteSize);
    form->addRow(QStringLiteral("奇偶校验:"), m_pParity);
    form->addRow(QStringLiteral("停止位:"), m_pStopBits);
    form->addRow(QStringLiteral("PIN码:"), m_pPin);
    form->addRow(QStringLiteral("发送上限(条, 0为不限):"),
                 row({{QStringLiteral("每小时"), m_pLimitHour}, {QStringLiteral("每天"), m_pLimitDay},
                      {QStringLiteral("每月"), m_pLimitMonth}}));
    form->addRow(QStringLiteral("发送间隔(秒):"),
                 row({{QString(), m_pIntervalMin}, {QStringLiteral("至"), m_pIntervalMax}}));
    form->addRow(QStringLiteral("静默时段(只发回复):"),
                 row({{QString(), m_pQuietFrom}, {QStringLiteral("至"), m_pQuietTo}}));
    // One switch for every modem of the pool.
    m_pReport = new QCheckBox(QStringLiteral("请求送达回执"), this);
    m_pReport->setObjectName(QStringLiteral("reportCheck"));
    m_pReport->setChecked(m_edited.first().m_bReport);
    form->addRow(QString(), m_pReport);
    m_pShare = new QCheckBox(QStringLiteral("与其他工作站共用短信猫池"), this);
    m_pShare->setObjectName(QStringLiteral("shareCheck"));
    m_pShare->setChecked(m_edited.first().m_bShare);
    form->addRow(QString(), m_pShare);
    // Replies that put their sender on the opt-out list: the whole text, any case and width.
    m_pOptOutWords = new QLineEdit(m_edited.first().m_strOptOutWords, this);
    m_pOptOutWords->setObjectName(QStringLiteral("optOutWordsEdit"));
    m_pOptOutWords->setToolTip(QStringLiteral("收到的短信内容正好是其中一个词时, 发信号码加入黑名单; 用逗号分隔"));
    form->addRow(QStringLiteral("退订回复"), m_pOptOutWords);

    // What the chosen modem is like now, as the status bar's link pane tells it.
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
    m_pCount = statusLabel("statusCount");
    statusForm->addRow(QStringLiteral("发送量:"), m_pCount);

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
    connect(m_pAdd, &QPushButton::clicked, this, &CDeviceDlg::OnAdd);
    connect(m_pRemove, &QPushButton::clicked, this, &CDeviceDlg::OnRemove);
    // A PIN typed (even the same one again) is the operator's word that it is right.
    connect(m_pPin, &QLineEdit::textEdited, this, [this] {
        if (m_nShown >= 0)
            m_pinTyped[m_nShown] = true;
    });
    const auto relist = [this] {
        if (m_nShown >= 0 && m_nShown < m_pList->count()) {
            DeviceSettings s = m_edited.at(m_nShown);
            s.m_strCOM = m_pPort->currentText();
            s.m_strName = m_pName->text();
            m_pList->item(m_nShown)->setText(ListText(m_nShown, s));
        }
        // Without a name the port's last part stands for the modem.
        m_pName->setPlaceholderText(DeviceSettings::ShortName(QString(), m_pPort->currentText()));
    };
    connect(m_pPort, &QComboBox::currentTextChanged, this, relist);
    connect(m_pName, &QLineEdit::textChanged, this, relist);
    FillList();
    connect(m_pList, &QListWidget::currentRowChanged, this, &CDeviceDlg::OnSelected);
    m_pList->setCurrentRow(0);
    Show(0);
}

void CDeviceDlg::FillList()
{
    const QSignalBlocker block(m_pList);
    m_pList->clear();
    for (int i = 0; i < m_edited.size(); ++i)
        m_pList->addItem(ListText(i, m_edited.at(i)));
}

void CDeviceDlg::ShowStatus(const QString &port, const ModemStatus &status)
{
    if (port.isEmpty())
        m_statuses.clear();
    else
        m_statuses.insert(port, status);
    ShowStatusOf(m_nShown);
}

void CDeviceDlg::ShowStatusOf(int index)
{
    const QString port = index >= 0 && index < m_edited.size() ? m_edited.at(index).m_strCOM.trimmed() : QString();
    const bool connected = !port.isEmpty() && m_statuses.contains(port);
    const ModemStatus status = m_statuses.value(port);
    const ModemReadiness readiness = status.Readiness();
    QString state = QStringLiteral("未连接");
    if (connected) {
        state = LinkStatus::ReadinessText(readiness);
        if (state.isEmpty())
            state = readiness == ModemReadiness::Ready ? QStringLiteral("就绪") : QStringLiteral("正在连接...");
        state = port + QStringLiteral("  ") + state;
    }
    const bool answering = connected && status.link == ModemStatus::Link::Answering;
    const QString none = QStringLiteral("-");
    const auto or_ = [&none](const QString &text) { return text.isEmpty() ? none : text; };
    m_pState->setText(state);
    m_pSim->setText(answering ? or_(LinkStatus::SimText(status.sim)) : none);
    m_pNetwork->setText(answering ? or_(LinkStatus::RegistrationText(status.registration)) : none);
    m_pOperator->setText(answering ? or_(status.operatorName) : none);
    m_pSignal->setText(answering ? or_(LinkStatus::SignalText(status)) : none);
    QString count;
    for (const SimState &sim : std::as_const(m_sims)) {
        if (connected && CSerialPort::DevicePath(sim.port) == CSerialPort::DevicePath(port))
            count = LinkStatus::SimCountText(sim);
    }
    m_pCount->setText(or_(count));
}

void CDeviceDlg::ShowSims(const QVector<SimState> &sims)
{
    m_sims = sims;
    ShowStatusOf(m_nShown);
}

void CDeviceDlg::Show(int index)
{
    if (index < 0 || index >= m_edited.size())
        return;
    m_nShown = index;
    const DeviceSettings &s = m_edited.at(index);
    const QSignalBlocker block(m_pPort);
    ShowText(m_pPort, m_ports, s.m_strCOM);
    ShowText(m_pBaud, DeviceSettingsLogic::BaudRateEntries(), s.m_strBaudRate);
    m_pSmsc->setText(s.m_strSMSC);
    ShowText(m_pByteSize, DeviceSettingsLogic::ByteSizeEntries(), s.m_strByteSize);
    ShowText(m_pParity, DeviceSettingsLogic::ParityEntries(), s.m_strParity);
    ShowText(m_pStopBits, DeviceSettingsLogic::StopBitsEntries(), s.m_strStopBits);
    m_pPin->setText(s.m_strPIN);
    m_pName->setText(s.m_strName);
    m_pName->setPlaceholderText(DeviceSettings::ShortName(QString(), m_pPort->currentText()));
    const bool further = index > 0;
    for (QComboBox *c : {m_pBaud, m_pByteSize, m_pParity, m_pStopBits})
        c->lineEdit()->setPlaceholderText(further ? kAsFirst : QString());
    m_pSmsc->setPlaceholderText(further ? kAsFirst : QString());
    m_pPin->setPlaceholderText(further ? kAsFirst : QStringLiteral("SIM卡未设PIN码时留空"));
    const std::pair<QLineEdit *, QString> rules[] = {{m_pLimitHour, s.m_strLimitHour}, {m_pLimitDay, s.m_strLimitDay},
                                                     {m_pLimitMonth, s.m_strLimitMonth}, {m_pIntervalMin, s.m_strIntervalMin},
                                                     {m_pIntervalMax, s.m_strIntervalMax}};
    for (const auto &[edit, value] : rules) {
        edit->setText(value);
        edit->setPlaceholderText(further ? kAsFirst : QStringLiteral("0"));
    }
    m_pQuietFrom->setText(s.m_strQuietFrom);
    m_pQuietTo->setText(s.m_strQuietTo);
    m_pRemove->setEnabled(further);
    ShowStatusOf(index);
}

DeviceSettings CDeviceDlg::Controls() const
{
    DeviceSettings s;
    s.m_strCOM = m_pPort->currentText();
    s.m_strBaudRate = m_pBaud->currentText();
    s.m_strSMSC = m_pSmsc->text();
    s.m_strByteSize = m_pByteSize->currentText();
    s.m_strParity = m_pParity->currentText();
    s.m_strStopBits = m_pStopBits->currentText();
    s.m_strPIN = m_pPin->text().trimmed();
    s.m_strName = m_pName->text().trimmed();
    s.m_bReport = m_pReport->isChecked();
    s.m_bShare = m_pShare->isChecked();
    s.m_strOptOutWords = m_pOptOutWords->text().trimmed();
    s.m_strLimitHour = m_pLimitHour->text().trimmed();
    s.m_strLimitDay = m_pLimitDay->text().trimmed();
    s.m_strLimitMonth = m_pLimitMonth->text().trimmed();
    s.m_strIntervalMin = m_pIntervalMin->text().trimmed();
    s.m_strIntervalMax = m_pIntervalMax->text().trimmed();
    s.m_strQuietFrom = m_pQuietFrom->text().trimmed();
    s.m_strQuietTo = m_pQuietTo->text().trimmed();
    return s;
}

void CDeviceDlg::Take()
{
    if (m_nShown >= 0 && m_nShown < m_edited.size())
        m_edited[m_nShown] = Controls();
    const DeviceSettings switches = Controls();
    for (DeviceSettings &s : m_edited)
        s.TakeSwitches(switches);
}

QVector<DeviceSettings> CDeviceDlg::Edited() const
{
    QVector<DeviceSettings> edited = m_edited;
    if (m_nShown >= 0 && m_nShown < edited.size())
        edited[m_nShown] = Controls();
    const DeviceSettings switches = Controls();
    for (DeviceSettings &s : edited)
        s.TakeSwitches(switches);
    return edited;
}

void CDeviceDlg::OnSelected(int row)
{
    if (row < 0 || row == m_nShown)
        return;
    Take();
    Show(row);
}

void CDeviceDlg::OnAdd()
{
    Take();
    m_edited.append(DeviceSettings::AsFirst());
    m_origins.append(-1);
    m_pinTyped.append(false);
    FillList();
    m_nShown = -1;
    m_pList->setCurrentRow(int(m_edited.size()) - 1);
    m_pPort->setFocus();
}

void CDeviceDlg::OnRemove()
{
    const int row = m_nShown;
    if (row <= 0 || row >= m_edited.size())
        return; // the first modem stays
    m_edited.removeAt(row);
    m_origins.removeAt(row);
    m_pinTyped.removeAt(row);
    FillList();
    m_nShown = -1;
    m_pList->setCurrentRow(std::min(row, int(m_edited.size()) - 1)); // the one that took its place
}

void CDeviceDlg::OnDefaults()
{
    // Only the controls change; nothing is written before OK.
    Take();
    const int shown = m_nShown;
    m_edited[shown] = DeviceSettingsLogic::Defaults(m_edited.at(shown), shown);
    Show(shown);
}

void CDeviceDlg::OnOk()
{
    Take();
    int at = 0;
    if (!DeviceSettingsLogic::validate(m_edited, &at).isEmpty() && at != m_nShown)
        m_pList->setCurrentRow(at); // the modem the message is about
    const DeviceSettingsLogic::Result r
        = DeviceSettingsLogic::SaveList(m_file, m_current, m_edited, m_origins, m_pinTyped);
    if (!r.m_bOk) {
        m_messages.Show(r.m_strMessage);
        return;
    }
    accept();
}
