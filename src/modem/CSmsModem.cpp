#include "CSmsModem.h"
#include "AtChannel.h"
#include "ModemWorker.h"
#include "OutgoingQueue.h"

#include <QDebug>
#include <QRandomGenerator>
#include <atomic>
#include <deque>
#include <mutex>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

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
    ModemTimeouts timeouts;
    OutgoingQueue queue;

    std::mutex reportMutex;
    std::deque<SmsReport> reports;

    // Used by the worker while it runs, by the calling thread otherwise.
    WorkerState state;
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
    d->producerDb.SetErrorSink([this](const QString &text) { emit errorEvent(text); });
}

CSmsModem::~CSmsModem()
{
    StopThread();
    d->producerDb.SetErrorSink({});
    if (d->wakeFd >= 0)
        ::close(d->wakeFd);
}

bool CSmsModem::InitModem()
{
    if (!IsOpen() || d->worker.joinable())
        return false;
    AtChannel channel(*this);
    channel.SetAnswerAllowance(d->timeouts.answerMsPerByte);
    const bool ok = channel.Handshake(d->timeouts.handshakeMs);
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
    ModemWorker::Hooks hooks;
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
    hooks.signal = [this](const SignalQuality &q) { emit signalQualityRead(q); };
    hooks.runFinished = [this](int succeeded, int failed) { emit sendRunFinished(succeeded, failed); };
    hooks.linkState = [this](LinkState state) { emit linkStateChanged(state); };
    d->running = true;
    d->worker = std::thread([this, hooks = std::move(hooks), timeouts = d->timeouts] {
        ModemWorker worker(*this, d->queue, d->state, timeouts, d->dbSettings, d->wakeFd, d->stop, hooks);
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
    record.m_nDCS = 8;
    record.m_nID = id;
    return record;
}

namespace {

QVariantList OutboxValues(const SmsRecord &r)
{
    return {r.m_strSCA, r.m_strTPA, int(r.m_nPID), int(r.m_nDCS), r.m_strUD, r.m_nID};
}

} // namespace

int CSmsModem::Enqueue(const SmsRecord &record)
{
    qint64 key = d->producerDb.Insert(Sql::OutboxInsert, OutboxValues(record));
    // With the database away the message still goes, only not kept over a restart.
    d->queue.Append({Outgoing{record, key > 0 ? key : 0}});
    d->Wake();
    return 1;
}

int CSmsModem::Enqueue(const QVector<SmsRecord> &records)
{
    if (records.isEmpty())
        return 1;
    QVector<Outgoing> messages;
    messages.reserve(records.size());
    const bool kept = d->producerDb.Transaction([&] {
        for (const SmsRecord &r : records) {
            const qint64 key = d->producerDb.Insert(Sql::OutboxInsert, OutboxValues(r));
            if (key <= 0)
                return false;
            messages.append(Outgoing{r, key});
        }
        return true;
    });
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

int CSmsModem::QueuedCount() const
{
    return d->queue.Count();
}

int CSmsModem::RestoreOutbox()
{
    RecordsetPtr rs = d->producerDb.OpenRecordset(Sql::OutboxSelect);
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
    d->queue.Prepend(again);
    d->Wake();
    return int(again.size());
}

void CSmsModem::SetTimeouts(const ModemTimeouts &timeouts)
{
    d->timeouts = timeouts;
}

ModemTimeouts CSmsModem::Timeouts() const
{
    return d->timeouts;
}
