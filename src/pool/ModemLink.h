#pragma once
// Connecting and disconnecting the modems of the pool: each modem's port started with its
// device settings, side by side, each in its own thread, so that nobody waits for a slow or
// missing modem; each port's worker opens its device, reaches the modem, sets it up and tells
// its status, and goes on trying a modem that is not there yet as it does one lost later. The
// application's session and every modem command of skevo-cli go through here. How the first
// try of each modem went comes back as values (which modem, what kind of failure), for the
// caller to word; one modem that did not connect does not keep the others from working. The
// link owns no queue: each port takes its work from a desk the link is given. The SIM's PIN
// comes from each modem's settings, and a PIN a SIM refuses is remembered in the settings
// file under that modem's section, so that neither a reconnect nor a later run enters it again.
#include "ModemPort.h"
#include "base/DeviceSettings.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

class CSettingsFile;

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
        enum class Kind {
            PortShared,      // two modems of the list name one device: the second is not used
            PortMissing,     // no device of that name (yet); tried again
            PortUnavailable, // the device did not open (another program holds it); tried again
            NoAnswer,        // the device opened, the modem said nothing; tried again
        };
        QString port;
        Kind kind = Kind::NoAnswer;
        QString cause; // why the device did not open, in the system's words (for a log)
    };
    // How the first try of every modem of a connect went.
    struct Result
    {
        bool m_bOk = false;       // at least one modem answered
        int m_nPlanned = 0;       // modems of the list
        int m_nConnected = 0;     // of them, those that answered at the first try
        QVector<Failure> m_failures;
    };
    using DeskFactory = std::function<std::unique_ptr<IModemDesk>()>;

    // desks: one new desk for each port the link opens. settings: where a refused PIN is
    // remembered (nullptr: only for the ports' life).
    explicit ModemLink(DeskFactory desks, CSettingsFile *settings = nullptr, QObject *parent = nullptr);
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

    // Starts every planned modem and returns at once; tried() follows once each was tried once.
    void Begin(const QVector<DeviceSettings> &configured);
    // Waits until each modem of the last Begin was tried once, and says how that went.
    Result WaitTried() const;
    // Begin, then WaitTried (a link already connected: how its last round went).
    Result Connect(const QVector<DeviceSettings> &configured);
    Result Connect(const DeviceSettings &first) { return Connect(QVector<DeviceSettings>{first}); }
    // Stops every worker, then closes the ports. Queued messages stay queued.
    void Disconnect();
    bool IsConnected() const { return !m_connected.isEmpty(); }
    // The started ports, in the order of the list (those still trying to reach their modem too).
    QVector<ModemPort *> Ports() const { return m_connected; }
    QStringList PortNames() const;

    // The PINs of the configured list, for the next connect and, while connected, at once.
    void ApplyPin(const QVector<DeviceSettings> &configured);
    // The SIMs' rules (limits, pacing, quiet hours) of the configured list: at the next connect
    // and, while connected, from each modem's next message on.
    void ApplyRules(const QVector<DeviceSettings> &configured);

signals:
    // From the ports' worker threads: every change of a modem's status (status.port tells which).
    void statusChanged(const ModemStatus &status);
    // In the link's thread, once a Begin: every modem was tried once.
    void tried(const ModemLink::Result &result);

private:
    ModemConfig ConfigFor(const Modem &modem) const;
    ModemPort &PortFor(const QString &device);
    void Attempted(quint64 round, const QString &port, const ConnectAttempt &attempt);

    DeskFactory m_desks;
    CSettingsFile *m_pSettings;
    QStringList m_portOverride;
    quint32 m_nBaudOverride = 0;
    ModemTimeouts m_timeouts;
    // Every port this link has opened, by device: what a port keeps over a disconnect (a
    // refused PIN, parts of an arrival, rows its desk keeps) belongs to that modem.
    std::map<QString, std::unique_ptr<ModemPort>> m_ports;
    QVector<ModemPort *> m_connected;

    // The round of the last Begin, filled in from the workers' threads.
    mutable std::mutex m_roundMutex;
    mutable std::condition_variable m_roundDone;
    quint64 m_nRound = 0;
    int m_nWaiting = 0; // ports of the round not yet tried
    Result m_round;
    QStringList m_roundOrder; // the round's ports as listed
};

Q_DECLARE_METATYPE(ModemLink::Result)
