#include "ModemLink.h"

#include "base/CSettingsFile.h"
#include "base/PinMemory.h"

#include <algorithm>

ModemLink::ModemLink(DeskFactory desks, CSettingsFile *settings, QObject *parent)
    : QObject(parent)
    , m_desks(std::move(desks))
    , m_pSettings(settings)
{
    qRegisterMetaType<ModemLink::Result>();
}

ModemLink::~ModemLink()
{
    Disconnect();
}

void ModemLink::SetTimeouts(const ModemTimeouts &timeouts)
{
    m_timeouts = timeouts;
}

QVector<ModemLink::Modem> ModemLink::Plan(const QVector<DeviceSettings> &configured) const
{
    const DeviceSettings first = configured.value(0);
    const int count = m_portOverride.isEmpty() ? int(configured.size()) : int(m_portOverride.size());
    QVector<Modem> plan;
    for (int i = 0; i < count; ++i) {
        Modem m;
        m.section = DeviceSettings::SectionOf(i);
        const DeviceSettings own = i == 0 ? first : configured.value(i, DeviceSettings::AsFirst());
        m.settings = i == 0 ? first : own.Resolved(first);
        m.ownSmsc = i > 0 && !own.m_strSMSC.trimmed().isEmpty();
        if (!m_portOverride.isEmpty())
            m.settings.m_strCOM = m_portOverride.at(i);
        if (m_nBaudOverride > 0)
            m.settings.m_strBaudRate = QString::number(m_nBaudOverride);
        plan.append(m);
    }
    return plan;
}

QVector<DeviceSettings> ModemLink::Shown(const QVector<DeviceSettings> &configured) const
{
    QVector<DeviceSettings> shown = configured;
    if (shown.isEmpty())
        shown.append(DeviceSettings());
    if (m_portOverride.isEmpty())
        return shown;
    shown.resize(m_portOverride.size(), DeviceSettings::AsFirst());
    for (qsizetype i = 0; i < m_portOverride.size(); ++i)
        shown[i].m_strCOM = m_portOverride.at(i);
    return shown;
}

ModemConfig ModemLink::ConfigFor(const Modem &modem) const
{
    ModemConfig config;
    config.timeouts = m_timeouts;
    config.pin = modem.settings.m_strPIN;
    config.requestReports = modem.settings.m_bReport;
    config.pinRefused = m_pSettings && PinMemory::IsRefused(*m_pSettings, modem.section, config.pin);
    config.smsc = modem.ownSmsc ? modem.settings.m_strSMSC : QString();
    CSettingsFile *settings = m_pSettings;
    const QString section = modem.section;
    config.onPinRefused = [settings, section](const QString &pin) {
        if (settings && !PinMemory::Remember(*settings, section, pin))
            qWarning("the refused PIN could not be written to %s", qPrintable(settings->Path()));
    };
    return config;
}

ModemPort &ModemLink::PortFor(const QString &device)
{
    std::unique_ptr<ModemPort> &port = m_ports[device];
    if (!port) {
        port = std::make_unique<ModemPort>(m_desks());
        connect(port.get(), &ModemPort::statusChanged, this, &ModemLink::statusChanged, Qt::DirectConnection);
    }
    return *port;
}

void ModemLink::Begin(const QVector<DeviceSettings> &configured)
{
    if (IsConnected())
        return;
    const QVector<Modem> plan = Plan(configured);
    Result result;
    result.m_nPlanned = int(plan.size());
    QVector<std::pair<ModemPort *, SerialLine>> starts;
    for (const Modem &m : plan) {
        const QString name = m.settings.m_strCOM;
        ModemPort &port = PortFor(CSerialPort::DevicePath(name));
        if (std::any_of(starts.cbegin(), starts.cend(), [&](const auto &s) { return s.first == &port; })) {
            result.m_failures.append({name, Failure::Kind::PortShared, QString()});
            continue;
        }
        port.SetConfig(ConfigFor(m));
        port.SetRules(m.settings.Rules());
        starts.append({&port, SerialLine{name, m.settings.BaudRateValue(), m.settings.ByteSizeValue(),
                                         m.settings.ParityCode(), m.settings.StopBitsCode()}});
    }
    quint64 round = 0;
    {
        std::lock_guard lock(m_roundMutex);
        round = ++m_nRound;
        m_round = result;
        m_nWaiting = int(starts.size());
        m_roundOrder.clear();
        for (const Modem &m : plan)
            m_roundOrder << m.settings.m_strCOM;
    }
    for (const auto &[port, line] : starts) {
        // Told once, from the worker's thread; a try of an earlier round is no news.
        connect(port, &ModemPort::attempted, this, [this, round, name = line.name](const ConnectAttempt &attempt) {
            Attempted(round, name, attempt);
        }, Qt::DirectConnection);
        m_connected.append(port);
        port->Start(line);
    }
    if (starts.isEmpty())
        Attempted(round, QString(), ConnectAttempt{ConnectAttempt::Failure::NoAnswer, QString()});
}

void ModemLink::Attempted(quint64 round, const QString &port, const ConnectAttempt &attempt)
{
    Result done;
    {
        std::lock_guard lock(m_roundMutex);
        if (round != m_nRound || m_nWaiting <= 0)
            return;
        if (!port.isEmpty()) {
            if (attempt.Ok()) {
                ++m_round.m_nConnected;
            } else {
                const Failure::Kind kind = attempt.failure == ConnectAttempt::Failure::PortMissing ? Failure::Kind::PortMissing
                    : attempt.failure == ConnectAttempt::Failure::PortUnavailable             ? Failure::Kind::PortUnavailable
                                                                                              : Failure::Kind::NoAnswer;
                m_round.m_failures.append({port, kind, attempt.cause});
            }
            --m_nWaiting;
        }
        if (m_nWaiting > 0)
            return;
        m_round.m_bOk = m_round.m_nConnected > 0;
        // The failures in the order of the list, whichever worker told first.
        std::stable_sort(m_round.m_failures.begin(), m_round.m_failures.end(), [this](const Failure &a, const Failure &b) {
            return m_roundOrder.indexOf(a.port) < m_roundOrder.indexOf(b.port);
        });
        done = m_round;
    }
    m_roundDone.notify_all();
    QMetaObject::invokeMethod(this, [this, done] { emit tried(done); }, Qt::QueuedConnection);
}

ModemLink::Result ModemLink::Connect(const QVector<DeviceSettings> &configured)
{
    Begin(configured);
    return WaitTried();
}

ModemLink::Result ModemLink::WaitTried() const
{
    std::unique_lock lock(m_roundMutex);
    m_roundDone.wait(lock, [this] { return m_nWaiting <= 0; });
    return m_round;
}

void ModemLink::Disconnect()
{
    {
        std::lock_guard lock(m_roundMutex);
        ++m_nRound; // what a worker still says of the last round is no news
        m_nWaiting = 0;
    }
    m_roundDone.notify_all();
    // Every worker first (each hands back what it had not handed over, and waits for the answer
    // to a message in flight, all side by side), then the ports.
    for (ModemPort *port : std::as_const(m_connected))
        port->RequestStop();
    for (ModemPort *port : std::as_const(m_connected)) {
        disconnect(port, &ModemPort::attempted, this, nullptr);
        port->StopThread();
    }
    for (ModemPort *port : std::as_const(m_connected))
        port->Close();
    m_connected.clear();
}

QStringList ModemLink::PortNames() const
{
    QStringList names;
    for (const ModemPort *port : m_connected)
        names << port->Name();
    return names;
}

void ModemLink::ApplyRules(const QVector<DeviceSettings> &configured)
{
    for (const Modem &m : Plan(configured)) {
        const auto it = m_ports.find(CSerialPort::DevicePath(m.settings.m_strCOM));
        if (it != m_ports.end())
            it->second->SetRules(m.settings.Rules());
    }
}

void ModemLink::ApplyPin(const QVector<DeviceSettings> &configured)
{
    for (const Modem &m : Plan(configured)) {
        const auto it = m_ports.find(CSerialPort::DevicePath(m.settings.m_strCOM));
        if (it == m_ports.end())
            continue;
        const ModemConfig config = ConfigFor(m);
        it->second->SetPin(config.pin, config.pinRefused);
    }
}
