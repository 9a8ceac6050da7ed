#pragma once
// A simulated GSM modem on a pseudo-terminal. It answers the AT dialogue of a modem in
// PDU mode (ITU-T V.250 framing, 3GPP TS 27.005 and 27.007 commands), has a SIM that may
// want its PIN and a network it registers with (or loses for a while), stores arrivals in
// an "SM" memory (or a phone memory "ME") and announces them as AT+CNMI says, logs what it
// is sent, and misbehaves on request. It runs its own thread; every public function may be
// called from any thread.
//
// This class is the front of the parts that do the work: PseudoTerminal (the line, its
// thread and its pace), LineFramer (command lines and PDU text), AtCommandTable (the
// commands), ModemDialogue (answers, submits, arrivals), MessageStore (the memories),
// RadioState (the SIM and the network), Misbehaviours, AutoResponder and SimulatorLog.
#include "DeliverBuilder.h"
#include "sms/PduCodec.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

class ModemSimulator
{
public:
    // When a fault strikes: on the next `next` occasions, then on every `every`-th one
    // (0: never). Each fault counts the occasions that reach it from when it is set.
    struct Fault
    {
        int next = 0;
        int every = 0;
        static Fault Off() { return {}; }
        static Fault Always() { return {0, 1}; }
        static Fault Next(int n = 1) { return {n, 0}; }
        static Fault Every(int k) { return {0, k}; }
        bool IsOff() const { return next <= 0 && every <= 0; }
    };

    // One SMS-SUBMIT handed over after AT+CMGS, in the order received.
    struct Submit
    {
        int declaredLength = 0; // <length> of AT+CMGS
        QString pdu;            // the hex text as received
        bool decoded = false;   // a well-formed SMS-SUBMIT of the declared length
        QString error;          // why not, when !decoded
        Pdu::Decoded message;   // valid when decoded
        int messageRef = -1;    // the <mr> answered, -1 when none was
        QString answer;         // "+CMGS: 7", "+CMS ERROR: 500", "silent", "late +CMGS: 7", "dropped +CMGS: 7"
        qint64 receivedMs = 0;  // when the PDU came (ms since the epoch): the spacing of a modem's submits
    };

    // One message held in a memory.
    struct Stored
    {
        int index = 0; // 1-based
        int stat = 0;  // 0 received unread, 1 received read (TS 27.005 3.1 <stat>)
        QString pdu;
        QString memory = QStringLiteral("SM");
    };

    // Result of putting an arrival into the modem.
    struct Arrival
    {
        bool ok = false;    // every part was stored (or delivered directly)
        QString error;
        QStringList pdus;   // the parts, in the order they were delivered
        QVector<int> indexes; // memory index of each stored part; empty for direct delivery
    };

    struct AutoReply
    {
        bool enabled = false;
        int every = 3;       // answer every n-th message ...
        QString keyword;     // ... or, when set, each message whose text contains it
        QString text = QStringLiteral("收到：%1"); // %1: the text received
        int delayMs = 1000;
    };

    ModemSimulator();
    ~ModemSimulator(); // Stop()
    ModemSimulator(const ModemSimulator &) = delete;
    ModemSimulator &operator=(const ModemSimulator &) = delete;

    // Opens the pseudo-terminal and starts answering. False (see ErrorString) on failure.
    bool Start();
    // Stops the thread, closes the pseudo-terminal and removes the link. Idempotent.
    void Stop();
    bool IsRunning() const;
    QString ErrorString() const;
    // The path a client opens, e.g. "/dev/pts/7"; "" before Start.
    QString DevicePath() const;
    // Makes linkPath a symbolic link to the device (an existing link there is replaced, any
    // other file is left alone and makes this fail). Removed again by Stop.
    bool MakeLink(const QString &linkPath);

    // Modem state.
    void SetEcho(bool on);          // as after ATE1 / ATE0; on at start
    // At a prompt, ESC cancels only when nothing follows it in the same piece of input, and a
    // client that lets go of the line (a program killed at the prompt) leaves the prompt open,
    // as USB modems that ignore DTR do; off at start.
    void SetEscAloneOnly(bool on);
    bool Echo() const;
    void SetCapacity(int count);    // size of the "SM" memory, 50 at start; only grows while messages are held
    int Capacity() const;
    void SetDirectDelivery(bool on); // arrivals as "+CMT: ,<len>" + PDU instead of stored + "+CMTI"
                                     // (and AT+CNMI takes no <mt> 1)
    // Off as many modems power up (AT+CNMI=0,0,...): arrivals are stored and not announced
    // until AT+CNMI asks for it. On at start.
    void SetIndications(bool on);
    void SetPhoneStorage(bool on);   // a phone memory "ME" beside "SM" (AT+CPMS)
    bool SetArrivalStorage(const QString &memory); // where arrivals go: "SM" (at start) or "ME"
    // The SIM and the network.
    void SetSimPin(const QString &pin);   // the SIM waits for this PIN; three wrong ones lock it
                                          // behind its PUK; "" (at start): no PIN
    void SetSimAbsent(bool absent);
    // The SIM's IMSI (AT+CIMI) and ICCID (AT+CCID, "" refused): each simulator has its own at
    // start; giving another modem's moves that SIM here.
    void SetSim(const QString &imsi, const QString &iccid = QString());
    QString Imsi() const;
    void SetRegistrationDelay(int ms);    // registered ms from now, or from the right PIN
    void LoseCoverage(int ms);            // not registered for ms from now; sends are refused
                                          // with "+CMS ERROR: 331" meanwhile
    // At most this many bytes a second to the line, as a slow serial line lets through
    // (9600 baud with 8N1: 960); 0, as at start, for as fast as the client reads.
    void SetPace(int bytesPerSecond);

    // Misbehaviour, switchable at any time.
    void SetLatency(int ms);                                // before every answer
    void SetCmsError(Fault when, int code = 500);           // "+CMS ERROR: <code>" after the PDU
    void SetCmsErrorTo(const QStringList &numbers, int code = 500); // for these destinations ("+" ignored); {} clears
    void SetSilentAfterPdu(Fault when);                     // no final answer at all after the PDU
    void SetLateAnswer(Fault when, int delayMs);            // the final answer after the PDU, delayMs late
    void SetSplitPrompt(Fault when, int pauseMs = 300);     // "\r\n", a pause, then "> "
    void SetSwallowNotice(Fault when);                      // store the arrival, announce nothing
    void SetGarbage(Fault when, const QByteArray &bytes = QByteArray("\xFE\x00#~\x7F", 5)); // before answers
    void SetDropLine(Fault when);                           // the answer is lost whole
    // For commands that begin with prefix (e.g. "AT+CMGD"; case ignored, "" for none): refused
    // with "+CMS ERROR: <code>" and not carried out, or carried out with the answer lost.
    void SetRefuseCommand(const QString &prefix, Fault when, int code = 500);
    void SetLoseAnswerTo(const QString &prefix, Fault when);
    void SetAutoReply(const AutoReply &reply);

    // Status reports (TS 23.040 SMS-STATUS-REPORT) for submits that ask for one (TP-SRR), as
    // AT+CNMI <ds> says: handed over with "+CDS" (1), or stored in the arrivals memory,
    // announced with "+CDSI" and listed by AT+CMGL (2). None while <ds> is 0.
    enum class Reports {
        None,                 // the network sends none
        Delivered,            // TP-ST 0x00
        Failed,               // TP-ST 0x41, a permanent error
        TryingThenDelivered,  // TP-ST 0x30 (still trying), then 0x00 a delay later
    };
    void SetStatusReports(Reports what, int delayMs = 0);           // for every destination
    void SetStatusReportsTo(const QStringList &numbers, Reports what); // for these ("+" ignored)
    void SetReportsDirectOnly(bool on);                             // AT+CNMI takes no <ds> 2
    // Held reports wait (the network is slow) until released, then come at once, in order.
    void HoldStatusReports(bool on);
    int ReleaseStatusReports(); // how many came

    // Arrivals. Inject announces each stored part (unless swallowed); Store puts them in the
    // memory silently, as messages that came before the client connected.
    Arrival InjectArrival(const DeliverSpec &spec);
    Arrival InjectPdus(const QStringList &pdus);
    Arrival StoreArrival(const DeliverSpec &spec);
    Arrival StorePdus(const QStringList &pdus);
    // Bytes sent as they are, unsolicited (e.g. "\r\nRING\r\n").
    void SendUnsolicited(const QByteArray &bytes);

    // What happened.
    QVector<Submit> Submits() const;
    int SubmitCount() const;
    QStringList Commands() const; // every command line received, without its CR
    QVector<Stored> Storage() const;
    void ClearLog();              // forgets Submits and Commands
    // Appends one JSON object per line to the file: each command, each submit with its
    // decoded fields, each arrival. "" stops logging.
    bool SetLogFile(const QString &path);

    struct Private;

private:
    std::unique_ptr<Private> d;
};
