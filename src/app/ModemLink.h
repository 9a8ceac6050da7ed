#pragma once
// Connecting and disconnecting the modem: the port opened with the device settings, the
// handshake, the worker. What the operator must be told comes back as text.
#include "base/DeviceSettings.h"
#include "modem/CSmsModem.h"

#include <QString>

class ModemLink
{
public:
    struct Result
    {
        bool m_bOk = false;
        QString m_strMessage; // "" on success
        int m_nRestored = 0;  // send reports to come for what an earlier run left in the outbox
    };

    explicit ModemLink(CSmsModem &modem);

    // A device used instead of the configured port for this run (not written anywhere).
    void SetPortOverride(const QString &device) { m_strPortOverride = device; }
    QString PortOverride() const { return m_strPortOverride; }
    QString PortName(const DeviceSettings &device) const;

    // Opens the port, runs the handshake, queues again what an earlier run left in the
    // outbox (on the first connect of the run) and starts the worker.
    Result Connect(const DeviceSettings &device);
    // Stops the worker, then closes the port. Queued messages stay queued.
    void Disconnect();
    bool IsConnected() const { return m_bConnected; }

    // What the operator is told when the link is lost while connected, and when it is back.
    static QString LinkStateText(CSmsModem::LinkState state);

private:
    CSmsModem &m_modem;
    QString m_strPortOverride;
    bool m_bConnected = false;
    bool m_bOutboxRestored = false;
};
