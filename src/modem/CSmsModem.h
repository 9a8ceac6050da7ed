#pragma once
// The modem engine: the AT dialogue of a GSM modem in PDU mode (3GPP TS 27.005), the
// outgoing queue (kept in T_OUTBOX so that no queued message is lost), one worker thread
// that sends and receives while connected and journals every message, and the report
// queue read by the GUI thread, one reportReady() per report, in order.
#include "CSerialPort.h"
#include "SignalQuality.h"
#include "base/SmsRecord.h"
#include "db/CDbAccess.h"

#include <QObject>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

struct ModemTimeouts
{
    int handshakeMs = 2000;     // answer to each handshake command
    int promptMs = 5000;        // "> " after AT+CMGS
    int promptAttempts = 3;     // AT+CMGS tries before the message fails
    int finalAnswerMs = 60000;  // OK / ERROR / +CMS ERROR after the PDU
    int commandMs = 5000;       // AT+CMGR, AT+CMGD, AT+CMGL answers
    // Each time-out above counts from the last byte received; the whole answer may take the
    // time-out plus this much per byte received (a byte takes 33 ms at 300 baud, the slowest
    // line there is), so a long answer finishes at any line speed.
    int answerMsPerByte = 40;
    int commandAttempts = 3;
    int dbRetryMs = 2000;       // pause before a kept journal row is tried again
    int reconnectMs = 3000;     // a vanished or silent modem: the port reopened / the handshake tried this often
    int listIntervalMs = 60000; // idle listing of the stored messages (AT+CMGL); 0: only at start
    int incompleteConcatMs = 24 * 3600 * 1000; // a concatenated message still missing parts is
                                               // then journalled with the parts that came
    int signalIntervalMs = 0;   // AT+CSQ while idle, at most this often; 0: never asked
};

class CSmsModem : public QObject, public CSerialPort
{
    Q_OBJECT
public:
    // The link while the worker runs. In a lost state the worker keeps the queue and tries to
    // get the modem back every reconnectMs: the port reopened, the handshake run again.
    enum class LinkState {
        Connected,    // the modem answers (again)
        DeviceGone,   // the device went away (unplugged, its pseudo-terminal closed)
        NotAnswering, // the device is there, the modem has stopped answering at all
    };
    Q_ENUM(LinkState)

    explicit CSmsModem(CDbAccess::SettingsSource dbSettings, QObject *parent = nullptr);
    ~CSmsModem() override; // stops the worker first

    // "AT", "ATE0", "AT+CMGF=0", each answered with OK. Port must be open, worker stopped.
    // New-message indications (AT+CNMI) are left as the modem is set up; the worker lists the
    // stored messages at its start and, when idle, every listIntervalMs.
    bool InitModem();
    bool StartThread();
    // Asks the worker to stop and waits for it (it ends within a second, whatever it was
    // waiting for). A message not yet handed to the modem stays first in the queue.
    void StopThread();
    bool IsRunning() const;

    // One outgoing message; its coding follows the text (7-bit when the GSM alphabet holds it).
    static SmsRecord MakeRecord(const QString &smsc, const QString &number, const QString &text, qint32 id);
    // Appends to the outgoing queue (and to T_OUTBOX). Returns 1. Enqueue and RestoreOutbox
    // use one connection of their own: call them from one thread (the GUI's).
    int Enqueue(const SmsRecord &record);
    // The same for many records, kept in one transaction.
    int Enqueue(const QVector<SmsRecord> &records);
    // The same, with a claim run first inside that transaction on the queue's connection
    // (a scheduled order marks itself started there). When the claim returns false, or the
    // records cannot be kept, nothing is queued and 0 is returned. Runs even for no records.
    // between: called after each statement of many rows (a window lets itself repaint there;
    // it must not queue anything itself).
    using Claim = std::function<bool(CDbAccess &db)>;
    int Enqueue(const QVector<SmsRecord> &records, const Claim &claim, const std::function<void()> &between = {});
    std::optional<SmsReport> PopReport();
    bool HasReport() const;
    int QueuedCount() const;

    // Takes out of the queue every message not yet handed to the modem, and their T_OUTBOX
    // rows in one transaction; they are neither journalled nor reported. The message the
    // worker is sending finishes as usual. Returns the number withdrawn.
    int Withdraw();
    // The same for the messages of one order (deleted): only those leave the queue.
    int WithdrawOrder(qint32 order);

    // Loads into the front of the queue, in order, what T_OUTBOX kept for this instance and
    // for programs of the same installation (host and settings source) that no longer run:
    // their rows become this instance's. Rows of a running program are never touched. A
    // message that was in flight when its program ended is journalled as failed (its outcome
    // is unknown) and reported, not sent again; journalled, when given, gets their number.
    // Returns the number queued again.
    int RestoreOutbox(int *journalled = nullptr);
    // How long another machine waits for this instance's lease on its kept rows before it
    // takes them as abandoned (renewed every third of it while messages are queued).
    void SetOutboxLease(int ms);

    void SetTimeouts(const ModemTimeouts &timeouts); // before StartThread
    ModemTimeouts Timeouts() const;

signals:
    // From the worker thread: the signal strength (see signalIntervalMs), and the counts of
    // the messages finished since the queue was last empty, once it is empty again.
    void signalQualityRead(const SignalQuality &quality);
    void sendRunFinished(int succeeded, int failed);
    void reportReady();                  // exactly one per queued report
    void errorEvent(const QString &text); // e.g. "发送短信插入数据库出错"; for the GUI to show
    // From the worker thread when the link is lost and when it is back.
    void linkStateChanged(CSmsModem::LinkState state);
    // From the worker thread: the order was deleted (by this program or another one on the
    // database) while messages of it were queued here; count of them were dropped unsent.
    void orderWithdrawn(int order, int count);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
