#include "Outbox.h"
#include "OutboxDesk.h"

#include <set>
#include "CJournal.h"
#include "sms/PduCodec.h"
#include "OutboxOwner.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <set>

struct Outbox::Private
{
    explicit Private(CDbAccess::SettingsSource settings)
        : dbSettings(settings)
        , producerDb(settings)
        , journalDb(std::move(settings))
    {
    }

    // The installation the kept rows belong to: setting.ini, or the database itself when the
    // settings come from nowhere else.
    QString Place() const
    {
        const DbSettings s = dbSettings ? dbSettings() : DbSettings();
        if (!s.m_strSource.isEmpty())
            return s.m_strSource;
        if (s.m_driver == DbSettings::Sqlite)
            return QFileInfo(s.m_strSqliteFile.isEmpty() ? s.m_strData + QStringLiteral(".db") : s.m_strSqliteFile)
                .absoluteFilePath();
        return QStringLiteral("postgres:%1:%2/%3").arg(s.m_strHost).arg(s.m_nPort).arg(s.m_strData);
    }

    void WakeAll()
    {
        std::vector<std::function<void()>> wakes;
        {
            std::lock_guard lock(portMutex);
            for (const auto &[port, wake] : ports)
                wakes.push_back(wake);
        }
        for (const std::function<void()> &wake : wakes)
            wake();
    }

    // Numbers the messages as the current run's; a run that is over (or stopped) makes way
    // for a new one. journalledFailed: messages of the run that are over already.
    void JoinRun(QVector<Outgoing> &messages, int journalledFailed = 0)
    {
        const int count = int(messages.size()) + journalledFailed;
        if (count == 0)
            return;
        std::lock_guard lock(tallyMutex);
        if (tally.state != RunTally::State::Sending) {
            tally = RunTally{tally.run + 1, RunTally::State::Sending};
            runRows.clear();
        }
        tally.total += count;
        tally.failed += journalledFailed;
        for (Outgoing &m : messages)
            m.run = tally.run;
        EndRunIfDone();
    }

    // Messages of the current run that will never go, and never count as failed either.
    void LeaveRun(const QVector<Outgoing> &messages)
    {
        std::lock_guard lock(tallyMutex);
        for (const Outgoing &m : messages)
            tally.total -= m.run == tally.run ? 1 : 0;
        EndRunIfDone();
    }

    void EndRunIfDone()
    {
        if (tally.state == RunTally::State::Sending && tally.Open() <= 0)
            tally.state = RunTally::State::Finished;
    }

    CDbAccess::SettingsSource dbSettings;
    // The producers' connection: used only by the thread that calls Enqueue / Restore.
    CDbAccess producerDb;
    CDbAccess::ErrorSink producerSink;
    // The journal of what an ended program left in a modem's hands, on a connection of its own
    // (the journal speaks through it).
    CDbAccess journalDb;
    CJournal journal;
    QElapsedTimer clock;
    OutgoingQueue queue;
    OutboxOwner owner;
    int leaseMs = 60000;
    bool keptAny = false; // this outbox has owned rows in T_OUTBOX
    QTimer *leaseTimer = nullptr;

    mutable std::mutex reportMutex;
    std::deque<SmsReport> reports;

    mutable std::mutex tallyMutex;
    RunTally tally;
    std::set<qint64> runRows; // journal rows (D_NO) of the run's messages that went

    mutable std::mutex portMutex;
    std::map<int, std::function<void()>> ports;
    int lastPort = 0;
};

Outbox::Outbox(CDbAccess::SettingsSource dbSettings, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(std::move(dbSettings)))
{
    d->clock.start();
    d->producerSink = [this](const QString &text) { emit errorEvent({OutboxError::Kind::Database, text}); };
    d->producerDb.SetErrorSink(d->producerSink);
    d->journal.Attach(&d->journalDb, [this](const OutboxError &error) { emit errorEvent(error); });
    d->queue.SetReturned([this] { d->WakeAll(); });
    d->leaseTimer = new QTimer(this);
    d->leaseTimer->setInterval(d->leaseMs / 3);
    connect(d->leaseTimer, &QTimer::timeout, this, [this] {
        // A row of an ended program's message that the database refused goes in now.
        d->journal.Retry(d->clock.elapsed());
        if (d->queue.Count() == 0)
            return;
        // A missed renewal is no news for the operator: the next one comes soon, and the lease
        // lasts three of them.
        d->producerDb.SetErrorSink({});
        d->producerDb.Execute(Sql::OutboxRenew, {d->owner.Token()});
        d->producerDb.SetErrorSink(d->producerSink);
    });
    d->leaseTimer->start();
}

Outbox::~Outbox()
{
    d->journal.Retry(d->clock.elapsed(), true);
    d->journal.Detach();
    if (d->keptAny) {
        // What is still kept is left to the next start of this installation, even while this
        // process goes on (the claim with our own host and place only renames the owner).
        const QString host = OutboxOwner::HostName();
        const QString place = d->Place();
        d->producerDb.SetErrorSink({});
        d->producerDb.Execute(Sql::OutboxClaim, {d->owner.EndedToken(), host, place, d->owner.Token(), host, place});
    }
    d->producerDb.SetErrorSink({});
}

int Outbox::Enqueue(const SmsRecord &record)
{
    return Enqueue(QVector<SmsRecord>{record});
}

int Outbox::Enqueue(const QVector<SmsRecord> &records)
{
    return Enqueue(records, Claim());
}

int Outbox::Enqueue(const QVector<SmsRecord> &records, const Claim &claim, const std::function<void()> &between)
{
    if (records.isEmpty() && !claim)
        return 1;
    QVector<Outgoing> messages;
    messages.reserve(records.size());
    const QString place = d->Place();
    const bool kept = d->producerDb.Transaction([&] {
        if (claim && !claim(d->producerDb))
            return false;
        // Many rows a statement: on a server each statement is a round trip.
        const QVariant host = OutboxOwner::HostName();
        const QVariant owner = d->owner.Token();
        QVector<qint64> keys;
        for (qsizetype i = 0; i < records.size(); i += SqlCatalogue::kOutboxBatch) {
            const qsizetype n = qMin<qsizetype>(SqlCatalogue::kOutboxBatch, records.size() - i);
            const QVariantList values{host, place, owner, SqlCatalogue::OutboxBatchRows(records.constData() + i, n)};
            if (!d->producerDb.InsertRows(Sql::OutboxInsertBatch, values, &keys) || keys.size() != n)
                return false;
            std::sort(keys.begin(), keys.end());
            for (qsizetype j = 0; j < n; ++j)
                messages.append(Outgoing{records.at(i + j), keys.at(j)});
            if (between)
                between();
        }
        return true;
    });
    d->keptAny = d->keptAny || kept;
    if (!kept && claim)
        return 0; // not ours to send, or not known to be
    if (!kept) {
        // With the database away the messages still go, only not kept over a restart.
        messages.clear();
        for (const SmsRecord &r : records)
            messages.append(Outgoing{r, 0});
    }
    d->JoinRun(messages);
    d->queue.Append(messages);
    if (!messages.isEmpty())
        emit runChanged();
    d->WakeAll();
    return 1;
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
    return d->queue.Count();
}

bool Outbox::CanSend() const
{
    std::lock_guard lock(d->portMutex);
    return !d->ports.empty();
}

namespace {

// Deletes the kept rows of messages that leave the queue unsent, many a statement.
bool DeleteKept(CDbAccess &db, const QVector<Outgoing> &messages)
{
    QVector<qint64> keys;
    for (const Outgoing &m : messages) {
        if (m.outboxKey > 0)
            keys.append(m.outboxKey);
    }
    if (keys.isEmpty())
        return true;
    return db.Transaction([&] {
        for (qsizetype i = 0; i < keys.size(); i += SqlCatalogue::kOutboxBatch) {
            const qsizetype n = qMin<qsizetype>(SqlCatalogue::kOutboxBatch, keys.size() - i);
            if (!db.Execute(Sql::OutboxDeleteBatch, {SqlCatalogue::OutboxBatchKeys(keys.constData() + i, n)}))
                return false;
        }
        return true;
    });
}

} // namespace

int Outbox::Withdraw()
{
    const QVector<Outgoing> taken = d->queue.TakeQueued();
    // Should the database refuse, the operator is told (the sink); the messages stay
    // withdrawn all the same, since stopping is what was asked for.
    DeleteKept(d->producerDb, taken);
    {
        std::lock_guard lock(d->tallyMutex);
        RunTally &t = d->tally;
        for (const Outgoing &m : taken)
            t.withdrawn += m.run == t.run ? 1 : 0;
        // The run is over for the operator: what it had in flight still finishes and counts.
        t.state = RunTally::State::Stopped;
    }
    emit runChanged();
    return int(taken.size());
}

int Outbox::WithdrawOrder(qint32 order)
{
    const QVector<Outgoing> taken = d->queue.TakeQueued(order);
    DeleteKept(d->producerDb, taken);
    d->LeaveRun(taken);
    if (!taken.isEmpty())
        emit runChanged();
    return int(taken.size());
}

void Outbox::SetLease(int ms)
{
    d->leaseMs = qMax(3, ms);
    d->leaseTimer->setInterval(d->leaseMs / 3);
}

int Outbox::Restore(int *journalled)
{
    if (journalled)
        *journalled = 0;
    const QString host = OutboxOwner::HostName();
    const QString place = d->Place();
    const QString me = d->owner.Token();
    // Rows of this installation whose program no longer runs become this outbox's. The claim
    // names the owner it replaces, so of two programs that restore at once only the first
    // takes a row.
    try {
        d->producerDb.Transaction([&] {
            QStringList gone;
            {
                RecordsetPtr owners = d->producerDb.OpenRecordset(Sql::OutboxOwners, {host, place});
                if (!owners->IsOpen())
                    return false;
                for (; !owners->IsEOF(); owners->MoveNext()) {
                    const QString owner = owners->GetFieldValue(0).toString();
                    const qint64 age = owners->GetFieldValue(1).toLongLong();
                    if (owner == me)
                        continue;
                    const OutboxOwner::Liveness alive = OutboxOwner::Check(owner);
                    if (alive == OutboxOwner::Liveness::Alive
                        || (alive == OutboxOwner::Liveness::Unknown && age * 1000 <= d->leaseMs))
                        continue;
                    gone << owner;
                }
            }
            for (const QString &owner : gone) {
                if (!d->producerDb.Execute(Sql::OutboxClaim, {me, host, place, owner, host, place}))
                    return false;
            }
            return true;
        });
    } catch (const CDbError &e) {
        emit errorEvent({OutboxError::Kind::Database, e.Description()});
    }

    RecordsetPtr rs = d->producerDb.OpenRecordset(Sql::OutboxSelect, {me});
    if (!rs || !rs->IsOpen())
        return 0; // the database layer has told what went wrong
    QVector<Outgoing> again;
    QVector<std::pair<Outgoing, QString>> inFlight; // and the port that had it
    try {
        while (!rs->IsEOF()) {
            Outgoing m;
            m.outboxKey = rs->GetFieldValue(0).toLongLong();
            m.record.m_strSCA = rs->GetFieldValue(1).toString();
            m.record.m_strTPA = rs->GetFieldValue(2).toString();
            m.record.m_nPID = quint8(rs->GetFieldValue(3).toInt());
            m.record.m_nDCS = quint8(rs->GetFieldValue(4).toInt());
            m.record.m_strUD = rs->GetFieldValue(5).toString();
            m.record.m_nID = rs->GetFieldValue(6).toInt();
            const int state = rs->GetFieldValue(7).toInt();
            const QString port = rs->GetFieldValue(8).toString();
            rs->MoveNext();
            if (m.outboxKey <= 0 || d->queue.Owns(m.outboxKey))
                continue; // queued by this run already
            if (state != 0)
                inFlight.append({m, port});
            else
                again.append(m);
        }
    } catch (const CDbError &e) {
        emit errorEvent({OutboxError::Kind::Database, e.Description()});
        return 0;
    }

    d->JoinRun(again, int(inFlight.size()));
    // A message handed to a modem when the last program ended may or may not have gone: it is
    // journalled as failed and not sent blindly a second time.
    for (const auto &[m, port] : inFlight) {
        SentRow row;
        row.record = m.record;
        row.time = CJournal::LocalTime();
        row.outcome = SentRow::Outcome::Failed;
        row.port = port;
        row.outboxKey = m.outboxKey;
        const bool written = d->journal.Sent(row, d->clock.elapsed()) == CJournal::Outcome::Written;
        SmsReport report;
        report.m_kind = SmsReport::Sent;
        report.m_outcome = SmsReport::Outcome::Failure;
        report.m_nRecordNo = written ? d->journal.LastWrittenKey() : 0;
        report.m_strTime = row.time;
        report.m_strNumber = CJournal::StorableText(m.record.m_strTPA);
        report.m_strContent = CJournal::StorableText(m.record.m_strUD);
        report.m_strPort = port;
        {
            std::lock_guard lock(d->reportMutex);
            d->reports.push_back(report);
        }
        emit reportReady();
    }
    if (journalled)
        *journalled = int(inFlight.size());
    d->keptAny = d->keptAny || !again.isEmpty();
    d->queue.Prepend(again);
    if (!again.isEmpty() || !inFlight.isEmpty())
        emit runChanged();
    d->WakeAll();
    return int(again.size());
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
    std::lock_guard lock(d->portMutex);
    d->ports.erase(port);
}

OutgoingQueue &Outbox::Queue()
{
    return d->queue;
}

void Outbox::Finished(const Outgoing &message, const SmsReport &report)
{
    // The GUI thread gets texts of its own, none shared with the worker's journal rows.
    SmsReport own = report;
    for (QString *s : {&own.m_strTime, &own.m_strNumber, &own.m_strContent, &own.m_strPort})
        s->detach();
    d->queue.Done(message);
    {
        std::lock_guard lock(d->tallyMutex);
        RunTally &t = d->tally;
        if (message.run == t.run && message.run != 0) {
            ++(report.IsSuccess() ? t.succeeded : t.failed);
            if (report.IsSuccess() && report.m_nRecordNo > 0)
                d->runRows.insert(report.m_nRecordNo);
            d->EndRunIfDone();
        }
    }
    {
        std::lock_guard lock(d->reportMutex);
        d->reports.push_back(std::move(own));
    }
    emit reportReady();
    emit runChanged();
}

void Outbox::Dropped(qint32 order, const QVector<Outgoing> &messages)
{
    d->LeaveRun(messages);
    emit runChanged();
    emit orderWithdrawn(order, int(messages.size()));
}

void Outbox::Report(const SmsReport &report)
{
    SmsReport own = report;
    for (QString *s : {&own.m_strTime, &own.m_strNumber, &own.m_strContent, &own.m_strPort})
        s->detach();
    bool counted = false;
    if (report.m_kind == SmsReport::DeliveryChanged) {
        // Counted once, for the run the message went in.
        std::lock_guard lock(d->tallyMutex);
        if (d->runRows.erase(report.m_nRecordNo) > 0) {
            ++(report.IsSuccess() ? d->tally.delivered : d->tally.undelivered);
            counted = true;
        }
    }
    {
        std::lock_guard lock(d->reportMutex);
        d->reports.push_back(std::move(own));
    }
    emit reportReady();
    if (counted)
        emit runChanged();
}

void Outbox::Error(const OutboxError &error)
{
    emit errorEvent(error);
}

std::unique_ptr<IModemDesk> Outbox::MakeDesk()
{
    return std::make_unique<OutboxDesk>(*this, d->dbSettings);
}
