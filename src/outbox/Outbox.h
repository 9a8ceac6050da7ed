#pragma once
// The application's one queue of outgoing messages, whatever the number of modems: the queue
// itself, its T_OUTBOX rows with their owner and lease (so that no queued message is lost, and
// a program takes up only its own), the report queue read by the GUI thread (one reportReady()
// per report, in order) and the tally of the current run. Producers see it as an IOutbox;
// every connected ModemPort takes the next message from it as soon as its modem is free and
// hands back what became of it.
#include "IOutbox.h"
#include "OutboxError.h"
#include "OutgoingQueue.h"
#include "RunTally.h"
#include "base/SmsRecord.h"
#include "db/CDbAccess.h"
#include "modem/IModemDesk.h"

#include <QObject>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

class Outbox : public QObject, public IOutbox
{
    Q_OBJECT
public:
    explicit Outbox(CDbAccess::SettingsSource dbSettings, QObject *parent = nullptr);
    // What is still kept is left to the next start of this installation.
    ~Outbox() override;

    // IOutbox. Enqueue, Withdraw and Restore use one connection of their own: call them from
    // one thread (the GUI's).
    int Enqueue(const SmsRecord &record);
    int Enqueue(const QVector<SmsRecord> &records) override;
    int Enqueue(const QVector<SmsRecord> &records, const Claim &claim,
                const std::function<void()> &between = {}) override;
    int Withdraw() override;
    int WithdrawOrder(qint32 order) override;
    bool CanSend() const override;
    int QueuedCount() const override;

    std::optional<SmsReport> PopReport();
    bool HasReport() const;
    RunTally Tally() const;

    // Loads into the front of the queue, in order, what T_OUTBOX kept for this outbox and for
    // programs of the same installation (host and settings source) that no longer run: their
    // rows become this outbox's. Rows of a running program are never touched. A message that
    // was in a modem's hands when its program ended is journalled as failed (its outcome is
    // unknown) and reported, not sent again; journalled, when given, gets their number. These
    // make a run of their own (or join the one going on). Returns the number queued again.
    int Restore(int *journalled = nullptr);
    // How long another machine waits for this outbox's lease on its kept rows before it takes
    // them as abandoned (renewed every third of it while messages are queued).
    void SetLease(int ms);

    // --- the desks' side (OutboxDesk)
    // A number for a new port, for TakeFront: a message bound to it (its first parts went
    // through that modem) waits for it over a disconnect.
    int NewPort();
    // The port's worker is running: it takes messages from now on; wake is called (from any
    // thread) when there may be one for it.
    void Attach(int port, std::function<void()> wake);
    void Detach(int port);
    OutgoingQueue &Queue();
    // From a worker: a message is done (journalled), with its report.
    void Finished(const Outgoing &message, const SmsReport &report);
    // From a worker: the order was deleted (by this program or another one) while messages of
    // it were queued here; these were dropped unsent.
    void Dropped(qint32 order, const QVector<Outgoing> &messages);
    // From a worker: an arrival's report, or what the operator must be told.
    void Report(const SmsReport &report);
    void Error(const OutboxError &error);

    // The desk of one more modem: it takes this outbox's messages and journals on a
    // connection of its own, made in the worker's thread.
    std::unique_ptr<IModemDesk> MakeDesk();

signals:
    void reportReady();                        // exactly one per queued report
    void errorEvent(const OutboxError &error); // for the GUI to show, in its words
    void orderWithdrawn(int order, int count);
    // The tally changed (Tally()); from any thread.
    void runChanged();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
