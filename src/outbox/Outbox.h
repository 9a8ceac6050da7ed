#pragma once
// The application's side of the queue in the database, whatever the number of modems and of
// programs: this program is a station (T_STATION) that renews one heartbeat row, queues
// messages as rows of T_OUTBOX in runs (T_RUN), and its modems claim their next message from
// the table (OutboxDesk). Memory holds only what its modems have in hand. A station whose
// heartbeat is older than the lease is gone: its claimed messages not yet in a modem's hands go
// back to the queue, those in a modem's hands are journalled failed (their outcome is unknown)
// and never sent again. The heartbeat, the taking over of what a station that is gone left,
// and the tally of the current run run on a thread of their own, never the window's.
//
// Producers see it as an IOutbox. The reports of this station's modems come through one
// queue read by the thread that owns the outbox (one reportReady() per report, in order).
#include "IOutbox.h"
#include "OutboxError.h"
#include "RunTally.h"
#include "SimState.h"
#include "base/SmsRecord.h"
#include "db/CDbAccess.h"
#include "modem/IModemDesk.h"

#include <QObject>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

struct SentRow;

class Outbox : public QObject, public IOutbox
{
    Q_OBJECT
public:
    explicit Outbox(CDbAccess::SettingsSource dbSettings, QObject *parent = nullptr);
    // The station ends: its claimed messages not yet in a modem's hands go back to the queue,
    // and what it queued is taken up by the next start of its installation or, shared, by
    // any sharing station.
    ~Outbox() override;

    // IOutbox. Enqueue and Withdraw use one connection of their own: call them from one
    // thread (the GUI's).
    using IOutbox::Enqueue;
    Queued Enqueue(const QVector<SmsRecord> &records, const Options &options) override;
    Queued Enqueue(const SmsRecord &record) { return Enqueue(QVector<SmsRecord>{record}); }
    Withdrawn Withdraw() override;
    int WithdrawOrder(qint32 order) override;
    bool CanSend() const override;
    int QueuedCount() const override;

    std::optional<SmsReport> PopReport();
    bool HasReport() const;
    RunTally Tally() const override;
    // Messages this station queued that no modem has sent yet (they stay for the next start,
    // or for a sharing station).
    int KeptCount();

    // [SYSTEM] Share: what this station queues from now on may be sent by any sharing
    // station, and its modems take any shared message.
    void SetShare(bool share);
    bool Share() const;
    // [SYSTEM] OptOutWords: the words of an arrival that puts its sender on the opt-out list
    // (OptOutWords::Parse), from the next arrival on. Any thread.
    void SetOptOutWords(const QString &setting);
    QStringList OptOutWordList() const;
    // How long a station may go without renewing its heartbeat before it is taken for gone
    // (renewed every third of it). Whole seconds.
    void SetLease(int ms);
    int LeaseSeconds() const;
    // How long an idle modem waits before it looks for a message another station queued.
    void SetPollInterval(int ms);

    // At a connect: journals what an earlier end left in a file, takes over what stations that
    // are gone left (their messages in a modem's hands journalled failed), and takes up the
    // queued messages of this installation whose station is gone as a run of their own.
    // Returns the messages taken up; journalled, when given, gets the number journalled failed.
    int Restore(int *journalled = nullptr);

    // This station's number in T_STATION, 0 before it is registered. Any thread.
    qint64 Station() const;
    // The same, registered on db (the calling thread's connection) when it is not yet; 0 while
    // the database cannot be reached.
    qint64 RegisterStation(CDbAccess &db);
    QString Host() const;
    QString Place() const;

    // The local clock the SIMs' windows and quiet hours go by, and the journal's times with
    // them; the system's unless one is handed in (tests).
    void SetClock(std::function<QDateTime()> clock);
    QDateTime Now() const;
    // Each attached modem's SIM as its desk last found it, in the order the modems came.
    QVector<SimState> Sims() const;
    // Every SIM known is held (a limit reached, or the quiet hours): when the first takes
    // messages again. Invalid while one may send (or none is known).
    QDateTime HeldUntil() const;

    // --- the desks' side (OutboxDesk)
    // A desk's SIM changed (counts, a limit reached, the quiet hours); simsChanged follows.
    void SimChanged(int port, const SimState &state);
    std::unique_ptr<IModemDesk> MakeDesk();
    int NewPort();
    void Attach(int port, std::function<void()> wake);
    void Detach(int port);
    // One modem at a time looks for a message while none was found lately: true when it is
    // this one's turn (then ClaimTried says what it found).
    bool TakeClaimTurn(qint64 nowMs);
    void ClaimTried(qint64 nowMs, bool found);
    // When an idle modem looks again, steady clock; nullopt: at once.
    std::optional<qint64> NextClaimMs(qint64 nowMs) const;
    // A message given back to the queue: the other modems may take it.
    void Returned();
    // A message is done (journalled or not), with its report.
    void Finished(const Outgoing &message, const SmsReport &report);
    // The claimed message of an order was withdrawn (deleted) before its PDU went.
    void Dropped(qint32 order, const QVector<Outgoing> &messages);
    // An arrival's report, a delivery, or what the operator must be told.
    void Report(const SmsReport &report);
    void Error(const OutboxError &error);
    // Sent rows a desk could not journal before the program ends: written to a file beside
    // the settings, which the next start journals before anything else.
    void LeavePending(const QVector<SentRow> &rows);
    // Where those files are kept (the folder of setting.ini, or of the database file).
    QString PendingFolder() const;

signals:
    void reportReady();                        // exactly one per queued report
    void errorEvent(const OutboxError &error); // for the GUI to show, in its words
    void orderWithdrawn(int order, int count);
    // The tally changed (Tally()); from any thread.
    void runChanged();
    // A SIM's counts or hold changed (Sims(), HeldUntil()); from any thread.
    void simsChanged();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
