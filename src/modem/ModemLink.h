#pragma once
// Connecting and disconnecting the modem: the port opened with the device settings, the
// handshake, the kept outbox queued again, the worker (which sets the modem up and tells its
// status). The application's connect button and every modem command of skevo-cli go through
// here; what the operator must be told of a failed connect comes back as text. The SIM's
// PIN comes from the device settings, and a PIN the SIM refuses is remembered in the
// settings file, so that neither a reconnect nor a later run enters it again.
#include "base/DeviceSettings.h"
#include "modem/CSmsModem.h"

#include <QString>

class CSettingsFile;

class ModemLink
{
public:
    struct Result
    {
        bool m_bOk = false;
        QString m_strMessage; // "" on success
        QString m_strCause;   // why the port did not open, in the system's words (for a log)
        // Send reports to come for what an earlier run left in the outbox: the messages queued
        // again and those journalled failed at once (their reports are already on their way).
        int m_nRestored = 0;
    };

    // settings: where a refused PIN is remembered (nullptr: only for this engine's life).
    explicit ModemLink(CSmsModem &modem, CSettingsFile *settings = nullptr);

    // A device used instead of the configured port for this run (not written anywhere).
    void SetPortOverride(const QString &device) { m_strPortOverride = device; }
    QString PortOverride() const { return m_strPortOverride; }
    QString PortName(const DeviceSettings &device) const;
    // A speed used instead of the configured one for this run; 0 keeps the configured one.
    void SetBaudOverride(quint32 baud) { m_nBaudOverride = baud; }
    quint32 BaudRate(const DeviceSettings &device) const;

    // Opens the port, runs the handshake, queues again what an earlier run left in the
    // outbox (on the first connect of the run) and starts the worker. The reports of kept
    // messages journalled failed are emitted from this call: connect to reportReady before.
    Result Connect(const DeviceSettings &device);
    // Stops the worker, then closes the port. Queued messages stay queued.
    void Disconnect();
    bool IsConnected() const { return m_bConnected; }

    // The PIN of the device settings, for the next connect and, while connected, at once.
    void ApplyPin(const DeviceSettings &device);

private:
    ModemConfig ConfigFor(const DeviceSettings &device) const;

    CSmsModem &m_modem;
    CSettingsFile *m_pSettings;
    QString m_strPortOverride;
    quint32 m_nBaudOverride = 0;
    bool m_bConnected = false;
    bool m_bOutboxRestored = false;
};
