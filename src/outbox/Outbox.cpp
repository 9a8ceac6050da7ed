#include "Outbox.h"
#include "CJournal.h"
#include "OutboxDesk.h"
#include "db/DbTime.h"

#include <QDebug>

#include <algorithm>

#include "OutboxPrivate.h"


Outbox::Outbox(CDbAccess::SettingsSource dbSettings, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(std::move(dbSettings)))
{
    d->producerSink = [this](const QString &text) { emit errorEvent({OutboxError::Kind::Database, text}); };
    d->producerDb.SetErrorSink(d->producerSink);
    d->keeper = std::thread([this] { d->Keep(this); });
}

Outbox::~Outbox()
{
    {
        std::lock_guard lock(d->keeperMutex);
        d->keeperStop = true;
    }
    d->keeperWake.notify_all();
    d->keeper.join();
    const qint64 me = d->station.load();
    if (me <= 0)
        return;
    // What this station claimed and no modem has in hand goes back; what it queued stays, for
    // the next start of this installation or a sharing station. With rows left in a file the
    // station stays named, so that its messages in a modem's hands wait for that file.
    d->producerDb.SetErrorSink({});
    d->producerDb.Execute(Sql::OutboxRequeueClaims, {me});
    d->producerDb.Execute(d->leftRows ? Sql::StationEnded : Sql::StationDelete, {me});
}

Outbox::Queued Outbox::Enqueue(const QVector<SmsRecord> &records, const Options &options)
{
    Queued queued;
    if (records.isEmpty() && !options.claim) {
        queued.ok = true;
        return queued;
    }
    const qint64 me = d->Register(d->producerDb);
    if (me <= 0)
        return queued; // the sink said why
    const qint64 current = d->run.load();
    const RunTally before = Tally();
    // A run goes on until it is over: what joins it before then counts in it.
    const bool join = current > 0 && before.state == RunTally::State::Sending && !records.isEmpty();
    qint64 run = join ? current : 0;
    QVector<qint64> keys;
    const QString host = OutboxOwner::HostName();
    const QString place = d->Place();
    const bool ok = d->producerDb.Transaction([&] {
        keys.clear();
        if (options.claim && !options.claim(d->producerDb))
            return false;
        if (records.isEmpty())
            return true;
        if (join) {
            if (!d->producerDb.Execute(Sql::RunAdd, {int(records.size()), run}))
                return false;
        } else {
            run = d->producerDb.Insert(Sql::RunInsert, {me, int(options.kind), records.first().m_nID,
                                                        int(records.size()), DbTime::Now()});
            if (run <= 0)
                return false;
        }
        // Many rows a statement: on a server each statement is a round trip.
        for (qsizetype i = 0; i < records.size(); i += SqlCatalogue::kOutboxBatch) {
            const qsizetype n = qMin<qsizetype>(SqlCatalogue::kOutboxBatch, records.size() - i);
            const QVariantList values{me, d->share.load() ? 1 : 0, run, int(options.kind), options.wantSim, options.notBefore, host, place,
                                      SqlCatalogue::OutboxBatchRows(records.constData() + i, n)};
            QVector<qint64> batch;
            if (!d->producerDb.InsertRows(Sql::OutboxInsertBatch, values, &batch) || batch.size() != n)
                return false;
            std::sort(batch.begin(), batch.end());
            keys += batch;
            if (options.between)
                options.between();
        }
        return !options.done || options.done(d->producerDb, keys);
    });
    if (!ok)
        return queued;
    queued.ok = true;
    queued.keys = keys;
    if (records.isEmpty())
        return queued;
    queued.run = run;
    {
        std::lock_guard lock(d->tallyMutex);
        if (join) {
            d->tally.total += int(records.size());
        } else {
            d->run = run;
            d->runOrder = 0;
            d->tally = RunTally{quint64(run), RunTally::State::Sending, int(records.size())};
        }
        if (records.first().m_nID > 0)
            d->runOrder = records.first().m_nID;
    }
    emit runChanged();
    Returned();
    return queued;
}

std::optional<SmsReport> Outbox::PopReport()
{
    std::lock_guard lock(d->reportMutex);
    if (d->reports.empty())
        return std::nullopt;
    SmsReport report = std::move(d->reports.front());
    d->reports.pop_front();
    return report;
}

bool Outbox::HasReport() const
{
    std::lock_guard lock(d->reportMutex);
    return !d->reports.empty();
}

RunTally Outbox::Tally() const
{
    std::lock_guard lock(d->tallyMutex);
    return d->tally;
}

int Outbox::QueuedCount() const
{
    const RunTally t = Tally();
    return t.state == RunTally::State::Sending ? qMax(0, t.Open()) : 0;
}

int Outbox::KeptCount()
{
    const qint64 me = d->station.load();
    if (me <= 0)
        return 0;
    RecordsetPtr rs = d->producerDb.OpenRecordset(Sql::OutboxKept, {me});
    try {
        return rs->IsOpen() && !rs->IsEOF() ? rs->GetFieldValue(0).toInt() : 0;
    } catch (const CDbError &) {
        return 0;
    }
}

bool Outbox::CanSend() const
{
    std::lock_guard lock(d->portMutex);
    return !d->ports.empty();
}

Outbox::Withdrawn Outbox::Withdraw()
{
    Withdrawn out;
    const qint64 run = d->run.load();
    if (run <= 0) {
        out.ok = true;
        return out;
    }
    // Whichever station would send them: the rows go, in one transaction with the run's count.
    d->producerDb.SetErrorSink({});
    out.ok = d->producerDb.Transaction([&] {
        if (!d->producerDb.Execute(Sql::OutboxWithdrawRun, {run}))
            return false;
        out.count = d->producerDb.RowsAffected();
        return d->producerDb.Execute(Sql::RunStop, {out.count, run});
    });
    d->producerDb.SetErrorSink(d->producerSink);
    if (!out.ok) {
        out.count = 0;
        out.error = d->producerDb.LastError();
        return out;
    }
    {
        std::lock_guard lock(d->tallyMutex);
        if (d->tally.run == quint64(run)) {
            d->tally.withdrawn += out.count;
            // The run is over for the operator: what it had in flight still finishes and counts.
            d->tally.state = RunTally::State::Stopped;
        }
    }
    emit runChanged();
    d->WantTally();
    return out;
}

int Outbox::WithdrawOrder(qint32 order)
{
    // The order book took its rows out already (OrderStore::Delete); the run's count follows.
    Q_UNUSED(order);
    d->WantTally();
    return 0;
}

void Outbox::SetShare(bool share)
{
    d->share = share;
}

bool Outbox::Share() const
{
    return d->share.load();
}

void Outbox::SetOptOutWords(const QString &setting)
{
    std::lock_guard lock(d->wordsMutex);
    d->optOutWords = ::OptOutWords::Parse(setting);
}

QStringList Outbox::OptOutWordList() const
{
    std::lock_guard lock(d->wordsMutex);
    return d->optOutWords;
}

void Outbox::SetLease(int ms)
{
    d->leaseSeconds = qMax(1, (ms + 999) / 1000);
    d->keeperWake.notify_all();
}

int Outbox::LeaseSeconds() const
{
    return d->leaseSeconds.load();
}

void Outbox::SetPollInterval(int ms)
{
    d->pollMs = qMax(10, ms);
}

int Outbox::Restore(int *journalled)
{
    if (journalled)
        *journalled = 0;
    const qint64 me = d->Register(d->producerDb);
    if (me <= 0)
        return 0;
    CJournal journal;
    journal.Attach(&d->producerDb, [this](const OutboxError &error) { emit errorEvent(error); });
    // What an earlier end could not journal comes first: its claims are older than anything.
    for (const SmsReport &report : QueueChores::JournalLeft(PendingFolder(), journal, NowMs())) {
        d->PushReport(report);
        emit reportReady();
    }
    const QString host = OutboxOwner::HostName();
    const QString place = d->Place();
    QueueChores::Taken taken = QueueChores::TakeOverGone(d->producerDb, journal, me, host, place, d->leaseSeconds.load());
    // What the gone stations had in a modem's hands counts, failed, in the run taken up.
    const int failed = int(taken.failed.size());
    const auto [run, adopted] = QueueChores::Adopt(d->producerDb, me, host, place, failed);
    journal.Detach();
    d->producerDb.SetErrorSink(d->producerSink);
    for (const SmsReport &report : taken.failed) {
        d->PushReport(report);
        emit reportReady();
    }
    if (journalled)
        *journalled = int(taken.failed.size());
    if (run > 0 && adopted + failed > 0) {
        {
            std::lock_guard lock(d->tallyMutex);
            d->run = run;
            d->tally = RunTally{quint64(run), adopted > 0 ? RunTally::State::Sending : RunTally::State::Finished,
                                adopted + failed};
            d->tally.failed = failed;
        }
        emit runChanged();
    }
    Returned();
    return adopted;
}

qint64 Outbox::Station() const
{
    return d->station.load();
}

qint64 Outbox::RegisterStation(CDbAccess &db)
{
    return d->Register(db);
}

QString Outbox::Host() const
{
    return OutboxOwner::HostName();
}

QString Outbox::Place() const
{
    return d->Place();
}

QString Outbox::PendingFolder() const
{
    return QFileInfo(d->Place()).absolutePath();
}

std::unique_ptr<IModemDesk> Outbox::MakeDesk()
{
    return std::make_unique<OutboxDesk>(*this, d->dbSettings);
}

int Outbox::NewPort()
{
    std::lock_guard lock(d->portMutex);
    return ++d->lastPort;
}

void Outbox::Attach(int port, std::function<void()> wake)
{
    std::lock_guard lock(d->portMutex);
    d->ports[port] = std::move(wake);
}

void Outbox::Detach(int port)
{
    {
        std::lock_guard lock(d->portMutex);
        d->ports.erase(port);
        if (d->sims.erase(port) == 0)
            return;
    }
    emit simsChanged();
}

void Outbox::SetClock(std::function<QDateTime()> clock)
{
    std::lock_guard lock(d->portMutex);
    d->clock = std::move(clock);
}

QDateTime Outbox::Now() const
{
    std::function<QDateTime()> clock;
    {
        std::lock_guard lock(d->portMutex);
        clock = d->clock;
    }
    return clock ? clock() : QDateTime::currentDateTime();
}

QVector<SimState> Outbox::Sims() const
{
    std::lock_guard lock(d->portMutex);
    QVector<SimState> out;
    for (const auto &[port, state] : d->sims)
        out.append(state);
    return out;
}

QDateTime Outbox::HeldUntil() const
{
    std::lock_guard lock(d->portMutex);
    QDateTime first;
    for (const auto &[port, state] : d->sims) {
        if (!state.Held())
            return {};
        if (!first.isValid() || state.FreeAt() < first)
            first = state.FreeAt();
    }
    return first;
}

void Outbox::SimChanged(int port, const SimState &state)
{
    {
        std::lock_guard lock(d->portMutex);
        if (!d->ports.count(port))
            return; // the desk has left
        const auto it = d->sims.find(port);
        if (it != d->sims.end() && it->second == state)
            return;
        d->sims[port] = state;
    }
    emit simsChanged();
}

bool Outbox::TakeClaimTurn(qint64 nowMs)
{
    qint64 until = d->emptyUntilMs.load();
    // Of the idle modems only one asks the database each interval; found, all ask again.
    while (nowMs >= until) {
        if (d->emptyUntilMs.compare_exchange_weak(until, nowMs + d->PollMs()))
            return true;
    }
    return false;
}

void Outbox::ClaimTried(qint64 nowMs, bool found)
{
    if (found) {
        d->emptyUntilMs = 0;
        d->WakeAll();
    } else {
        d->emptyUntilMs = nowMs + d->PollMs();
    }
}

std::optional<qint64> Outbox::NextClaimMs(qint64 nowMs) const
{
    const qint64 until = d->emptyUntilMs.load();
    if (until <= nowMs)
        return std::nullopt;
    return until;
}

void Outbox::Returned()
{
    d->emptyUntilMs = 0;
    d->WakeAll();
}

void Outbox::Finished(const Outgoing &message, const SmsReport &report)
{
    d->PushReport(report);
    emit reportReady();
    if (message.run == quint64(d->run.load()))
        d->WantTally();
}

void Outbox::Dropped(qint32 order, const QVector<Outgoing> &messages)
{
    // The run's tally, read again, says how many of the order left the queue.
    Q_UNUSED(order);
    Q_UNUSED(messages);
    d->WantTally();
}

void Outbox::Report(const SmsReport &report)
{
    d->PushReport(report);
    emit reportReady();
    if (report.m_kind == SmsReport::DeliveryChanged)
        d->WantTally();
}

void Outbox::Error(const OutboxError &error)
{
    emit errorEvent(error);
}

void Outbox::LeavePending(const QVector<SentRow> &rows)
{
    if (rows.isEmpty())
        return;
    if (QueueChores::LeaveRows(PendingFolder(), d->station.load(), rows)) {
        d->leftRows = true;
        qWarning("%d journal rows left in %s for the next start", int(rows.size()), qPrintable(PendingFolder()));
    } else {
        qWarning("%d journal rows could not be kept: %s is not writable", int(rows.size()), qPrintable(PendingFolder()));
    }
}
