#pragma once
// One modem of the pool: its serial port, the AT dialogue of a GSM modem in PDU mode (3GPP TS
// 27.005) and one worker thread that opens the device and reaches the modem (trying again
// until it answers), sets it up, takes the next message from its desk whenever the modem is
// ready and free, reads what arrives on it, and tells the modem's status. What outlives a
// disconnect (rows the desk keeps, parts of concatenated arrivals, a PIN the SIM refused)
// stays with the port.
#include "at/CSerialPort.h"
#include "modem/IModemDesk.h"
#include "modem/ModemConfig.h"
#include "modem/ModemStatus.h"
#include "modem/ModemWorker.h"

#include <QObject>
#include <memory>

class ModemPort : public QObject
{
    Q_OBJECT
public:
    explicit ModemPort(std::unique_ptr<IModemDesk> desk, QObject *parent = nullptr);
    ~ModemPort() override; // stops the worker first

    // Starts the worker on the device, which it opens and shakes hands with in its own thread:
    // the caller never waits for a modem. attempted() tells how the first try went; the worker
    // goes on trying a device that is missing or a modem that does not answer, as it does for
    // one lost later.
    bool Start(const SerialLine &line);

    // The same in steps, for a caller that wants the device and the handshake done first:
    // the serial device (opened and closed here; the worker reopens it when it comes back),
    // the handshake ("AT", "ATE0", numeric error codes), then the worker. name: as the operator
    // named it ("COM1", "/dev/ttyUSB0"): the modem's name in the journal and the status.
    CSerialPort &Serial();
    const CSerialPort &Serial() const;
    bool Open(const QString &name, quint32 baudRate, quint8 byteSize, quint8 parity, quint8 stopBits);
    bool InitModem();
    bool StartThread();

    void Close();
    bool IsOpen() const;
    QString Name() const;
    // Asks the worker to stop and waits for it (it ends within a second, whatever it was
    // waiting for). A message not yet handed to the modem goes back to the queue, first.
    void StopThread();
    // Asks the worker to stop without waiting for it: a pool asks every worker at once, so that
    // each waits for its own answer in flight side by side, then joins them (StopThread).
    void RequestStop();
    bool IsRunning() const;

    // Before the worker starts; it takes a copy.
    void SetConfig(const ModemConfig &config);
    ModemConfig Config() const;
    void SetTimeouts(const ModemTimeouts &timeouts);
    ModemTimeouts Timeouts() const;
    // A PIN the operator gave (refused: it was refused before and not given again since): used
    // from now on, and tried at once when the SIM waits for one. A PIN not refused may be
    // tried even when this port saw it refused: the operator has given it again.
    void SetPin(const QString &pin, bool refused);

    // What keeps the SIM alive (limits, pacing, quiet hours): handed to the desk, used from the
    // next message the modem takes.
    void SetRules(const SimRules &rules);

    // The modem's status as last told (link Down while no worker runs); its port is Name().
    ModemStatus Status() const;

signals:
    // From the worker thread: every change of the modem's status (the link lost and back, the
    // SIM, the registration, the operator, the strength when signalIntervalMs asks for it).
    void statusChanged(const ModemStatus &status);
    // From the worker thread, once a start: the first try to open the device and reach the modem.
    void attempted(const ConnectAttempt &attempt);

private:
    bool Run(const SerialLine &line, bool answering);

    struct Private;
    std::unique_ptr<Private> d;
};
