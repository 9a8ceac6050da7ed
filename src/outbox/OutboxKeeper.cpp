// The keeper's thread of the outbox: the station's heartbeat, the taking over of what
// stations that are gone left, and the tally of the current run; never the window's thread.
#include "OutboxPrivate.h"
#include "CJournal.h"

void Outbox::Private::Keep(Outbox *outbox)
{
    CDbAccess db(dbSettings);
    db.SetErrorSink({}); // a missed heartbeat is no news: the next comes soon
    CJournal journal;
    journal.Attach(&db, [outbox](const OutboxError &error) { outbox->Error(error); });
    qint64 nextBeat = 0;
    qint64 nextTally = 0;
    std::unique_lock lock(keeperMutex);
    while (!keeperStop) {
        lock.unlock();
        const qint64 now = NowMs();
        journal.Retry(now);
        if (now >= nextBeat && station.load() > 0) {
            nextBeat = now + qMax(1000, leaseSeconds.load() * 1000 / 3);
            if (QueueChores::Renew(db, station.load()) == QueueChores::Beat::Lost) {
                // Taken for gone while frozen: every claim of the old number is void, and
                // this program goes on as a new station.
                qWarning("this station was taken for gone; it goes on as a new one");
                std::lock_guard relock(stationMutex);
                station = QueueChores::Register(db, Identity());
            }
            const QueueChores::Taken taken = QueueChores::TakeOverGone(db, journal, station.load(), Identity().host,
                                                                       Place(), leaseSeconds.load());
            for (const SmsReport &report : taken.failed) {
                PushReport(report);
                emit outbox->reportReady();
            }
            if (taken.requeued > 0) {
                emptyUntilMs = 0;
                WakeAll();
            }
        }
        bool wanted = false;
        {
            std::lock_guard relock(keeperMutex);
            wanted = std::exchange(tallyWanted, false);
        }
        const qint64 current = run.load();
        bool open = false;
        {
            std::lock_guard relock(tallyMutex);
            open = tally.state == RunTally::State::Sending || tally.state == RunTally::State::Stopped;
        }
        if (current > 0 && (wanted || (open && now >= nextTally))) {
            nextTally = now + kTallyMs;
            if (const std::optional<RunTally> t = QueueChores::ReadTally(db, current))
                SetTally(*t, outbox);
        }
        lock.lock();
        if (keeperStop || tallyWanted)
            continue;
        qint64 until = station.load() > 0 ? nextBeat : now + 1000;
        if (open)
            until = qMin(until, nextTally);
        if (journal.HasKept())
            until = qMin(until, journal.NextRetryMs());
        keeperWake.wait_for(lock, std::chrono::milliseconds(qMax<qint64>(1, until - NowMs())));
    }
    lock.unlock();
    journal.Retry(NowMs(), true);
    journal.Detach();
}
