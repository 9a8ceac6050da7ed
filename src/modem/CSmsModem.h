#pragma once
// The modem engine: the AT dialogue of a GSM modem in PDU mode (3GPP TS 27.005), the
// outgoing queue (kept in T_OUTBOX so that no queued message is lost), one worker thread
// that sends and receives while connected and journals every message, and the report
// queue read by the GUI thread, one reportReady() per report, in order.
#include "CSerialPort.h"
#include "ModemConfig.h"
#include "ModemStatus.h"
#include "base/SmsRecord.h"
#include "db/CDbAccess.h"

#include <QObject>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

class CSmsModem : public QObject, public CSerialPort
{
    Q_OBJECT
public:
    explicit CSmsModem(CDbAccess::SettingsSource dbSettings, QObject *parent = nullptr);
    ~CSmsModem() override; // stops the worker first

    // The handshake: "AT", "ATE0" (and numeric error codes), each answered. Port must be open,
    // worker stopped. The worker sets the rest up when it starts (ModemSetup: the SIM and its
    // PIN, PDU mode, registration, indications, storages), tells the modem's status, and
    // sends only while the modem is ready; it lists the stored messages at its start and, when
    // idle, every listIntervalMs.
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

    // Before StartThread; the worker takes a copy.
    void SetConfig(const ModemConfig &config);
    ModemConfig Config() const;
    void SetTimeouts(const ModemTimeouts &timeouts);
    ModemTimeouts Timeouts() const;
    // A PIN the operator gave (refused: it was refused before and not given again since): used
    // from now on, and tried at once when the SIM waits for one. A PIN not refused may be
    // tried even when this engine saw it refused: the operator has given it again.
    void SetPin(const QString &pin, bool refused);

    // The modem's status as last told (link Down while no worker runs).
    ModemStatus Status() const;

signals:
    // From the worker thread: every change of the modem's status (the link lost and back, the
    // SIM, the registration, the operator, the strength when signalIntervalMs asks for it).
    void statusChanged(const ModemStatus &status);
    // From the worker thread: the counts of the messages finished since the queue was last
    // empty, once it is empty again.
    void sendRunFinished(int succeeded, int failed);
    void reportReady();                  // exactly one per queued report
    void errorEvent(const QString &text); // e.g. "发送短信插入数据库出错"; for the GUI to show
    // From the worker thread: the order was deleted (by this program or another one on the
    // database) while messages of it were queued here; count of them were dropped unsent.
    void orderWithdrawn(int order, int count);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
