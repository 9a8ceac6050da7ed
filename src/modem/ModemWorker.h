#pragma once
// The body of one modem's worker thread, and its loop: opens the device and shakes hands
// (again and again until the modem answers, at the first connect as after a loss), sets the
// modem up and waits while it is not ready (no SIM, a PIN to give, no network), and, whenever
// it is ready and free, gives the turn to its two jobs: sending the next message
// (MessageSender) and reading what arrives (StoredMessages). It tells every change of the
// modem's status. It owns the serial line while it runs; its work comes from, and goes to,
// the modem's desk.
#include "IModemDesk.h"
#include "ModemConfig.h"
#include "ModemStatus.h"
#include "WorkerState.h"
#include "at/CSerialPort.h"

#include <QString>
#include <atomic>
#include <functional>
#include <optional>

class AtChannel;
class MessageSender;
class StoredMessages;
struct WorkerContext;

// The serial device a modem is on, with its framing.
struct SerialLine
{
    QString name; // as the operator named it ("COM1", "/dev/ttyUSB0")
    quint32 baudRate = 115200;
    quint8 byteSize = 8;
    quint8 parity = CSerialPort::NoParity;
    quint8 stopBits = CSerialPort::OneStop;
};

// How the first try of a connect went: the device opened and the modem answered, or why not.
// The worker goes on trying either way.
struct ConnectAttempt
{
    enum class Failure { None, PortMissing, PortUnavailable, NoAnswer };
    Failure failure = Failure::None;
    QString cause; // the system's words when the device did not open (for a log)
    bool Ok() const { return failure == Failure::None; }
};

class ModemWorker
{
public:
    struct Hooks
    {
        std::function<void(const ModemStatus &)> status;
        // A PIN the operator gave while connected: (pin, refused before); nullopt when none came.
        std::function<std::optional<std::pair<QString, bool>>()> takePin;
        // Once, when the first try to open the device and reach the modem is through.
        std::function<void(const ConnectAttempt &)> attempted;
    };
    // Who this worker is: its wake-up descriptor (readable when the desk or the operator has
    // news for it) and its device. answering: the port is open and the modem shook hands
    // already; otherwise the worker opens it and shakes hands itself.
    struct Line
    {
        int wakeFd = -1;
        SerialLine serial;
        bool answering = false;
    };

    ModemWorker(CSerialPort &port, IModemDesk &desk, WorkerState &state, const ModemConfig &config, Line line,
                const std::atomic<bool> &stop, Hooks hooks);
    ~ModemWorker();

    void Run();

private:
    // The set-up from the SIM on; then, with the SIM ready, what the modem stores.
    void Prepare();
    void CheckRegistration();
    void Publish();
    bool CanUseStorage() const;
    bool Registered() const;
    // The link is lost, or not there yet: waits, opens the port (again), and runs the
    // handshake and the set-up again every reconnectMs until the modem answers.
    void Reconnect();
    bool OpenPort();
    void Attempted(const ConnectAttempt &attempt);
    void TakeNotices();
    void QuerySignal();
    int IdleWaitMs() const;

    CSerialPort &m_port;
    IModemDesk &m_desk;
    WorkerState &m_state;
    ModemConfig m_config;
    const ModemTimeouts &m_timeouts = m_config.timeouts;
    Line m_line;
    const std::atomic<bool> &m_stop;
    Hooks m_hooks;

    AtChannel *m_pChannel = nullptr;
    WorkerContext *m_pContext = nullptr;
    MessageSender *m_pSender = nullptr;
    StoredMessages *m_pStored = nullptr;
    std::optional<ModemStatus> m_published; // the status last told
    std::optional<std::pair<QString, QString>> m_identified; // the SIM the desk was told of
    bool m_bAttempted = false;     // the first try was told
    bool m_bReached = false;       // the modem answered once in this run
    bool m_bLinkLost = false;
    qint64 m_nReconnectMs = 0;     // next attempt to get a lost link back
    qint64 m_nHoldSendsMs = 0;     // no send before this (the desk took no in-flight mark;
                                   // the network refused although the modem said it was there)
    qint64 m_nNextSimCheckMs = 0;  // the set-up again while the SIM is not ready
    qint64 m_nNextRegistrationMs = 0; // AT+CREG? again while not registered
    bool m_bCheckRegistration = false;
    qint64 m_nNextListMs = 0;
    qint64 m_nNextSignalMs = 0;    // next AT+CSQ; 0: never
};
