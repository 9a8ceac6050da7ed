#include "ModemLink.h"
#include "outbox/Outbox.h"

#include "base/CSettingsFile.h"
#include "base/PinMemory.h"

ModemLink::ModemLink(Outbox &outbox, CDbAccess::SettingsSource dbSettings, CSettingsFile *settings, QObject *parent)
    : QObject(parent)
    , m_outbox(outbox)
    , m_dbSettings(std::move(dbSettings))
    , m_pSettings(settings)
{
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
        port = std::make_unique<ModemPort>(m_outbox, m_dbSettings);
        connect(port.get(), &ModemPort::statusChanged, this, &ModemLink::statusChanged, Qt::DirectConnection);
    }
    return *port;
}

ModemLink::Result ModemLink::Connect(const QVector<DeviceSettings> &configured)
{
    Result r;
    if (IsConnected()) {
        r.m_bOk = true;
        r.m_nConnected = int(m_connected.size());
        return r;
    }
    const QVector<Modem> plan = Plan(configured);
    QVector<ModemPort *> opened;
    for (const Modem &m : plan) {
        const QString name = m.settings.m_strCOM;
        ModemPort &port = PortFor(CSerialPort::DevicePath(name));
        if (opened.contains(&port)) {
            r.m_failures.append({name, QStringLiteral("该串口已被另一台短信猫使用"), QString()});
            continue;
        }
        port.SetConfig(ConfigFor(m));
        if (!port.Open(name, m.settings.BaudRateValue(), m.settings.ByteSizeValue(), m.settings.ParityCode(),
                       m.settings.StopBitsCode())) {
            // Another program holding the port is the usual cause; a name that names no device is
            // said as such, or the operator would look for a program that is not there.
            const QString message = port.Serial().DeviceMissing()
                ? QStringLiteral("串口不存在: ") + CSerialPort::DevicePath(name)
                : QStringLiteral("打开串口失败,别一个程序正在使用该串口\n请先关闭使用该串口的应用程序");
            r.m_failures.append({name, message, port.Serial().ErrorString()});
            continue;
        }
        if (!port.InitModem()) {
            port.Close();
            r.m_failures.append({name, QStringLiteral("请检查短信猫是否连接正确"), QString()});
            continue;
        }
        opened.append(&port);
    }
    if (!opened.isEmpty() && !m_bOutboxRestored) {
        int journalled = 0;
        r.m_nRestored = m_outbox.Restore(&journalled);
        r.m_nRestored += journalled;
        m_bOutboxRestored = true;
    }
    for (ModemPort *port : std::as_const(opened)) {
        if (!port->StartThread()) {
            port->Close();
            r.m_failures.append({port->Name(), QStringLiteral("请检查短信猫是否连接正确"), QString()});
            continue;
        }
        m_connected.append(port);
    }
    r.m_nConnected = int(m_connected.size());
    r.m_bOk = !m_connected.isEmpty();
    if (!r.m_failures.isEmpty()) {
        r.m_strCause = r.m_failures.first().cause;
        if (plan.size() == 1) {
            r.m_strMessage = r.m_failures.first().message;
        } else {
            QStringList lines;
            for (const Failure &f : std::as_const(r.m_failures))
                lines << QStringLiteral("短信猫 %1: %2").arg(f.port, QString(f.message).replace(QLatin1Char('\n'), QLatin1Char(' ')));
            if (r.m_bOk)
                lines << QStringLiteral("其余 %1 台短信猫已连接").arg(r.m_nConnected);
            r.m_strMessage = lines.join(QLatin1Char('\n'));
        }
    }
    return r;
}

void ModemLink::Disconnect()
{
    // Every worker first (each hands back what it had not handed over), then the ports.
    for (ModemPort *port : std::as_const(m_connected))
        port->StopThread();
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
