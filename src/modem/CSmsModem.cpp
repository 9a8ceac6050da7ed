#include "CSmsModem.h"
#include "PduCodec.h"
#include "AtChannel.h"
#include "ModemSetup.h"
#include "ModemWorker.h"
#include "OutboxOwner.h"
#include "OutgoingQueue.h"

#include <QDebug>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <utility>

struct CSmsModem::Private
{
    explicit Private(CDbAccess::SettingsSource settings)
        : dbSettings(settings)
        , producerDb(std::move(settings))
    {
    }

    void Wake() const
    {
        const quint64 one = 1;
        if (wakeFd >= 0 && ::write(wakeFd, &one, sizeof one) < 0)
            qWarning() << "cannot wake the modem worker";
    }

    CDbAccess::SettingsSource dbSettings;
    // The producers' connection: used only by the thread that calls Enqueue / RestoreOutbox.
    CDbAccess producerDb;
    CDbAccess::ErrorSink producerSink;
    ModemConfig config;
    OutgoingQueue queue;
    OutboxOwner owner;
    int leaseMs = 60000;
    bool keptAny = false; // this instance has owned rows in T_OUTBOX
    QTimer *leaseTimer = nullptr;

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

    std::mutex reportMutex;
    std::deque<SmsReport> reports;

    // Used by the worker while it runs, by the calling thread otherwise.
    WorkerState state;
    // The status as last told, and a PIN given while connected, for the worker to take.
    mutable std::mutex statusMutex;
    ModemStatus status;
    std::optional<std::pair<QString, bool>> newPin;
    std::thread worker;
    std::atomic<bool> stop{false};
    std::atomic<bool> running{false};
    int wakeFd = -1;
};

CSmsModem::CSmsModem(CDbAccess::SettingsSource dbSettings, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(std::move(dbSettings)))
{
    d->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (d->wakeFd < 0)
        qWarning() << "eventfd failed: the worker will notice new messages only at its next wake-up";
    d->state.concatRef = quint8(QRandomGenerator::global()->bounded(256));
    d->producerSink = [this](const QString &text) { emit errorEvent(text); };
    d->producerDb.SetErrorSink(d->producerSink);
    d->leaseTimer = new QTimer(this);
    d->leaseTimer->setInterval(d->leaseMs / 3);
    connect(d->leaseTimer, &QTimer::timeout, this, [this] {
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

CSmsModem::~CSmsModem()
{
    StopThread();
    if (d->keptAny) {
        // What is still kept is left to the next start of this installation, even while this
        // process goes on (the claim with our own host and place only renames the owner).
        const QString host = OutboxOwner::HostName();
        const QString place = d->Place();
        d->producerDb.SetErrorSink({});
        d->producerDb.Execute(Sql::OutboxClaim, {d->owner.EndedToken(), host, place, d->owner.Token(), host, place});
    }
    d->producerDb.SetErrorSink({});
    if (d->wakeFd >= 0)
        ::close(d->wakeFd);
}

bool CSmsModem::InitModem()
{
    if (!IsOpen() || d->worker.joinable())
        return false;
    AtChannel channel(*this);
    channel.SetAnswerAllowance(d->config.timeouts.answerMsPerByte);
    ModemConfig config = d->config;
    ModemStatus status;
    const bool ok = ModemSetup(channel, config, status).Handshake();
    d->state.notices += channel.TakeNotices();
    return ok;
}

bool CSmsModem::StartThread()
{
    if (d->worker.joinable() || !IsOpen())
        return false;
    d->stop = false;
    quint64 value = 0;
    while (d->wakeFd >= 0 && ::read(d->wakeFd, &value, sizeof value) == ssize_t(sizeof value)) {
    }
    {
        std::lock_guard lock(d->statusMutex);
        d->newPin.reset();
    }
    d->state.status = ModemStatus();
    d->state.status.port = OpenedPath();
    ModemWorker::Hooks hooks;
    hooks.status = [this](const ModemStatus &status) {
        {
            std::lock_guard lock(d->statusMutex);
            d->status = status;
        }
        emit statusChanged(status);
    };
    hooks.takePin = [this] {
        std::lock_guard lock(d->statusMutex);
        return std::exchange(d->newPin, std::nullopt);
    };
    hooks.report = [this](const SmsReport &report) {
        // The GUI thread gets texts of its own, none shared with the worker's journal rows.
        SmsReport own = report;
        for (QString *s : {&own.m_strTime, &own.m_strNumber, &own.m_strDirection, &own.m_strResult, &own.m_strContent})
            s->detach();
        {
            std::lock_guard lock(d->reportMutex);
            d->reports.push_back(std::move(own));
        }
        emit reportReady();
    };
    hooks.error = [this](const QString &text) { emit errorEvent(text); };
    hooks.runFinished = [this](int succeeded, int failed) { emit sendRunFinished(succeeded, failed); };
    hooks.orderWithdrawn = [this](int order, int count) { emit orderWithdrawn(order, count); };
    d->running = true;
    d->worker = std::thread([this, hooks = std::move(hooks), config = d->config] {
        ModemWorker worker(*this, d->queue, d->state, config, d->dbSettings, d->wakeFd, d->stop, hooks);
        worker.Run();
        d->running = false;
    });
    return true;
}

void CSmsModem::StopThread()
{
    if (!d->worker.joinable())
        return;
    d->stop = true;
    d->Wake();
    d->worker.join();
    d->running = false;
    {
        std::lock_guard lock(d->statusMutex);
        d->status = ModemStatus();
    }
    emit statusChanged(ModemStatus());
}

bool CSmsModem::IsRunning() const
{
    return d->running.load();
}

SmsRecord CSmsModem::MakeRecord(const QString &smsc, const QString &number, const QString &text, qint32 id)
{
    SmsRecord record;
    record.m_strSCA = smsc;
    record.m_strTPA = number;
    record.m_strUD = text;
    record.m_nPID = 0;
    // A text of the GSM alphabet costs a third of the messages in 7-bit (160 a message
    // rather than 70).
    record.m_nDCS = Pdu::DcsFor(text);
    record.m_nID = id;
    return record;
}

namespace {

QVariantList OutboxValues(const SmsRecord &r, const QString &place, const QString &owner)
{
    return {r.m_strSCA, r.m_strTPA, int(r.m_nPID), int(r.m_nDCS), r.m_strUD, r.m_nID,
            OutboxOwner::HostName(), place, owner};
}

} // namespace

int CSmsModem::Enqueue(const SmsRecord &record)
{
    qint64 key = d->producerDb.Insert(Sql::OutboxInsert, OutboxValues(record, d->Place(), d->owner.Token()));
    d->keptAny = d->keptAny || key > 0;
    // With the database away the message still goes, only not kept over a restart.
    d->queue.Append({Outgoing{record, key > 0 ? key : 0}});
    d->Wake();
    return 1;
}

int CSmsModem::Enqueue(const QVector<SmsRecord> &records)
{
    return Enqueue(records, Claim());
}

int CSmsModem::Enqueue(const QVector<SmsRecord> &records, const Claim &claim, const std::function<void()> &between)
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
        messages.clear();
        for (const SmsRecord &r : records)
            messages.append(Outgoing{r, 0});
    }
    d->queue.Append(messages);
    d->Wake();
    return 1;
}

std::optional<SmsReport> CSmsModem::PopReport()
{
    std::lock_guard lock(d->reportMutex);
    if (d->reports.empty())
        return std::nullopt;
    SmsReport report = std::move(d->reports.front());
    d->reports.pop_front();
    return report;
}

bool CSmsModem::HasReport() const
{
    std::lock_guard lock(d->reportMutex);
    return !d->reports.empty();
}

int CSmsModem::QueuedCount() const
{
    return d->queue.Count();
}

int CSmsModem::Withdraw()
{
    return WithdrawOrder(OutgoingQueue::kEveryOrder);
}

int CSmsModem::WithdrawOrder(qint32 order)
{
    const QVector<Outgoing> taken = d->queue.TakeQueued(order);
    QVector<qint64> keys;
    for (const Outgoing &m : taken) {
        if (m.outboxKey > 0)
            keys.append(m.outboxKey);
    }
    // Should the database refuse, the operator is told (the sink); the messages stay
    // withdrawn all the same, since stopping is what was asked for.
    if (!keys.isEmpty()) {
        d->producerDb.Transaction([&] {
            for (qsizetype i = 0; i < keys.size(); i += SqlCatalogue::kOutboxBatch) {
                const qsizetype n = qMin<qsizetype>(SqlCatalogue::kOutboxBatch, keys.size() - i);
                if (!d->producerDb.Execute(Sql::OutboxDeleteBatch, {SqlCatalogue::OutboxBatchKeys(keys.constData() + i, n)}))
                    return false;
            }
            return true;
        });
    }
    return int(taken.size());
}

void CSmsModem::SetOutboxLease(int ms)
{
    d->leaseMs = qMax(3, ms);
    d->leaseTimer->setInterval(d->leaseMs / 3);
}

int CSmsModem::RestoreOutbox(int *journalled)
{
    if (journalled)
        *journalled = 0;
    const QString host = OutboxOwner::HostName();
    const QString place = d->Place();
    const QString me = d->owner.Token();
    // Rows of this installation whose program no longer runs become this instance's. The
    // claim names the owner it replaces, so of two programs that restore at once only the
    // first takes a row.
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
        emit errorEvent(e.Description());
    }

    RecordsetPtr rs = d->producerDb.OpenRecordset(Sql::OutboxSelect, {me});
    if (!rs || !rs->IsOpen())
        return 0; // the database layer has told what went wrong
    QVector<Outgoing> again;
    QVector<Outgoing> inFlight;
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
            rs->MoveNext();
            if (m.outboxKey <= 0 || d->queue.Owns(m.outboxKey))
                continue; // queued by this run already
            (state != 0 ? inFlight : again).append(m);
        }
    } catch (const CDbError &e) {
        emit errorEvent(e.Description());
        return 0;
    }

    // A message handed to the modem when the last run ended may or may not have gone: it is
    // journalled as failed and not sent blindly a second time.
    for (const Outgoing &m : inFlight) {
        const QString time = CJournal::LocalTime();
        qint64 key = 0;
        const bool written = d->producerDb.Transaction([&] {
            key = d->producerDb.Insert(Sql::SendInsert, {m.record.m_nID, time, 0, m.record.m_strTPA, m.record.m_strUD});
            return key > 0 && d->producerDb.Execute(Sql::OutboxDelete, {m.outboxKey});
        });
        if (!written)
            emit errorEvent(QStringLiteral("发送短信插入数据库出错"));
        SmsReport report;
        report.m_nRecordNo = written ? key : 0;
        report.m_strTime = time;
        report.m_strNumber = m.record.m_strTPA;
        report.SetDirection(SmsReport::Sent);
        report.m_strResult = ReportText::kFailure;
        report.m_strContent = m.record.m_strUD;
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
    d->Wake();
    return int(again.size());
}

void CSmsModem::SetConfig(const ModemConfig &config)
{
    d->config = config;
}

ModemConfig CSmsModem::Config() const
{
    return d->config;
}

void CSmsModem::SetTimeouts(const ModemTimeouts &timeouts)
{
    d->config.timeouts = timeouts;
}

ModemTimeouts CSmsModem::Timeouts() const
{
    return d->config.timeouts;
}

void CSmsModem::SetPin(const QString &pin, bool refused)
{
    d->config.pin = pin;
    d->config.pinRefused = refused;
    if (!d->worker.joinable()) {
        // The operator's word: a PIN given again may be tried again.
        if (!refused)
            d->state.refusedPin.clear();
        return;
    }
    {
        std::lock_guard lock(d->statusMutex);
        d->newPin = std::make_pair(pin, refused);
    }
    d->Wake();
}

ModemStatus CSmsModem::Status() const
{
    std::lock_guard lock(d->statusMutex);
    return d->status;
}
