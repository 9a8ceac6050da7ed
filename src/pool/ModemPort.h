#pragma once
// One modem of the pool: its serial port, the AT dialogue of a GSM modem in PDU mode (3GPP TS
// 27.005) and one worker thread that sets the modem up, takes the next message from the one
// Outbox whenever the modem is ready and free, reads and journals what arrives on it, and
// tells the modem's status. What outlives a disconnect (journal rows still to write, parts of
// concatenated arrivals, a PIN the SIM refused) stays with the port.
#include "at/CSerialPort.h"
#include "modem/ModemConfig.h"
#include "modem/ModemStatus.h"
#include "db/CDbAccess.h"

#include <QObject>
#include <memory>

class Outbox;

class ModemPort : public QObject
{
    Q_OBJECT
public:
    ModemPort(Outbox &outbox, CDbAccess::SettingsSource dbSettings, QObject *parent = nullptr);
    ~ModemPort() override; // stops the worker first

    // The serial device (opened and closed here; the worker reopens it when it comes back).
    CSerialPort &Serial();
    const CSerialPort &Serial() const;
    // name: as the operator named it ("COM1", "/dev/ttyUSB0"): the modem's name in the journal,
    // the reports and the status.
    bool Open(const QString &name, quint32 baudRate, quint8 byteSize, quint8 parity, quint8 stopBits);
    void Close();
    bool IsOpen() const;
    QString Name() const;

    // The handshake: "AT", "ATE0" (and numeric error codes), each answered. Port must be open,
    // worker stopped. The worker sets the rest up when it starts (ModemSetup: the SIM and its
    // PIN, PDU mode, registration, indications, storages), tells the modem's status, and
    // takes messages only while the modem is ready; it lists the stored messages at its start
    // and, when idle, every listIntervalMs.
    bool InitModem();
    bool StartThread();
    // Asks the worker to stop and waits for it (it ends within a second, whatever it was
    // waiting for). A message not yet handed to the modem goes back to the queue, first.
    void StopThread();
    bool IsRunning() const;

    // Before StartThread; the worker takes a copy.
    void SetConfig(const ModemConfig &config);
    ModemConfig Config() const;
    void SetTimeouts(const ModemTimeouts &timeouts);
    ModemTimeouts Timeouts() const;
    // A PIN the operator gave (refused: it was refused before and not given again since): used
    // from now on, and tried at once when the SIM waits for one. A PIN not refused may be
    // tried even when this port saw it refused: the operator has given it again.
    void SetPin(const QString &pin, bool refused);

    // The modem's status as last told (link Down while no worker runs); its port is Name().
    ModemStatus Status() const;

signals:
    // From the worker thread: every change of the modem's status (the link lost and back, the
    // SIM, the registration, the operator, the strength when signalIntervalMs asks for it).
    void statusChanged(const ModemStatus &status);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
