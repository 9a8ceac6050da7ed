#pragma once
// Connecting and disconnecting the modems of the pool: each port opened with its device
// settings, the handshake, the kept outbox queued again (once a run), each port's worker
// (which sets its modem up and tells its status). The application's connect button and every
// modem command of skevo-cli go through here; what the operator must be told of a modem that
// did not connect comes back as text, and one such modem does not keep the others from
// working. The link does not own the queue: every port takes from the one Outbox. The SIM's
// PIN comes from each modem's settings, and a PIN a SIM refuses is remembered in the
// settings file under that modem's section, so that neither a reconnect nor a later run
// enters it again.
#include "ModemPort.h"
#include "base/DeviceSettings.h"
#include "db/CDbAccess.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <map>
#include <memory>

class CSettingsFile;
class Outbox;

class ModemLink : public QObject
{
    Q_OBJECT
public:
    // One modem as the next connect uses it.
    struct Modem
    {
        QString section;          // where its settings (and a refused PIN) are kept
        DeviceSettings settings;  // resolved against the first modem, the override applied
        bool ownSmsc = false;     // its section names a service centre of its own
    };
    struct Failure
    {
        QString port;
        QString message; // what the operator reads: "串口不存在: ..." ...
        QString cause;   // why the port did not open, in the system's words (for a log)
    };
    struct Result
    {
        bool m_bOk = false;   // at least one modem is connected
        QString m_strMessage; // "" when every modem connected; else which did not, and why
        QString m_strCause;   // the system's words for the first that did not (for a log)
        QVector<Failure> m_failures;
        int m_nConnected = 0;
        // Send reports to come for what an earlier run left in the outbox: the messages queued
        // again and those journalled failed at once (their reports are already on their way).
        int m_nRestored = 0;
    };

    // settings: where a refused PIN is remembered (nullptr: only for the ports' life).
    ModemLink(Outbox &outbox, CDbAccess::SettingsSource dbSettings, CSettingsFile *settings = nullptr,
              QObject *parent = nullptr);
    ~ModemLink() override; // disconnects

    // Devices used instead of the configured ports for this run (not written anywhere): the
    // i-th for the i-th modem, with that modem's settings (the first modem's beyond the list).
    // Empty: the configured ports.
    void SetPortOverride(const QString &device) { SetPortOverride(device.isEmpty() ? QStringList() : QStringList{device}); }
    void SetPortOverride(const QStringList &devices) { m_portOverride = devices; }
    QStringList PortOverride() const { return m_portOverride; }
    // A speed used instead of the configured ones for this run; 0 keeps them.
    void SetBaudOverride(quint32 baud) { m_nBaudOverride = baud; }
    // The waits of every port, from its next connect on.
    void SetTimeouts(const ModemTimeouts &timeouts);
    ModemTimeouts Timeouts() const { return m_timeouts; }

    // The modems the next connect uses, from the configured list (DeviceSettings::ReadList).
    QVector<Modem> Plan(const QVector<DeviceSettings> &configured) const;
    // The configured list as the operator should see it now: the ports of the override in
    // place of the configured ones (the ports in use, or to be used at the next connect).
    QVector<DeviceSettings> Shown(const QVector<DeviceSettings> &configured) const;

    // Opens every planned modem's port and runs its handshake, queues again what an earlier
    // run left in the outbox (on the first connect of the run) and starts the workers. The
    // reports of kept messages journalled failed are emitted from this call: connect to the
    // outbox's reportReady before.
    Result Connect(const QVector<DeviceSettings> &configured);
    Result Connect(const DeviceSettings &first) { return Connect(QVector<DeviceSettings>{first}); }
    // Stops every worker, then closes the ports. Queued messages stay queued.
    void Disconnect();
    bool IsConnected() const { return !m_connected.isEmpty(); }
    // The connected ports, in the order of the list.
    QVector<ModemPort *> Ports() const { return m_connected; }
    QStringList PortNames() const;

    // The PINs of the configured list, for the next connect and, while connected, at once.
    void ApplyPin(const QVector<DeviceSettings> &configured);

signals:
    // From the ports' worker threads: every change of a modem's status (status.port tells which).
    void statusChanged(const ModemStatus &status);

private:
    ModemConfig ConfigFor(const Modem &modem) const;
    ModemPort &PortFor(const QString &device);

    Outbox &m_outbox;
    CDbAccess::SettingsSource m_dbSettings;
    CSettingsFile *m_pSettings;
    QStringList m_portOverride;
    quint32 m_nBaudOverride = 0;
    ModemTimeouts m_timeouts;
    // Every port this link has opened, by device: what a port keeps over a disconnect (a
    // refused PIN, parts of an arrival) belongs to that modem.
    std::map<QString, std::unique_ptr<ModemPort>> m_ports;
    QVector<ModemPort *> m_connected;
    bool m_bOutboxRestored = false;
};
