#include "OutboxDesk.h"
#include "Outbox.h"

#include <QDebug>
#include <chrono>

OutboxDesk::OutboxDesk(Outbox &outbox, CDbAccess::SettingsSource dbSettings)
    : m_outbox(outbox)
    , m_dbSettings(std::move(dbSettings))
    , m_nQueuePort(outbox.NewPort())
{
}

OutboxDesk::~OutboxDesk()
{
    if (m_pDb)
        Close();
}

qint64 OutboxDesk::NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void OutboxDesk::Attach(std::function<void()> wake)
{
    m_outbox.Attach(m_nQueuePort, std::move(wake));
}

void OutboxDesk::Detach()
{
    m_outbox.Detach(m_nQueuePort);
}

void OutboxDesk::Open(const QString &port, int retryMs)
{
    m_strPort = port;
    // The worker's own connection, made and used in its thread only.
    m_pDb = std::make_unique<CDbAccess>(m_dbSettings);
    m_journal.SetRetryInterval(retryMs);
    m_journal.Attach(m_pDb.get(), [this](const OutboxError &error) { m_outbox.Error(error); });
}

void OutboxDesk::Close()
{
    // Rows that became writable meanwhile are written before the connection goes.
    m_journal.Retry(NowMs(), true);
    TellDeliveryChanges();
    m_journal.Detach();
    m_pDb.reset();
}

void OutboxDesk::Tick(qint64 nowMs)
{
    m_journal.Retry(nowMs);
    TellDeliveryChanges();
}

std::optional<qint64> OutboxDesk::NextRetryMs() const
{
    if (!m_journal.HasKept())
        return std::nullopt;
    return m_journal.NextRetryMs();
}

// ------------------------------------------------------------------------------------ sending

std::optional<Outgoing> OutboxDesk::Take()
{
    return m_outbox.Queue().TakeFront(m_nQueuePort);
}

bool OutboxDesk::HasWork() const
{
    return m_outbox.Queue().Count() > 0;
}

IModemDesk::Hold OutboxDesk::BeforeFirstPdu(const Outgoing &message)
{
    if (message.outboxKey <= 0)
        return Hold::Go; // not kept at all: nothing to mark
    if (!m_pDb->Execute(Sql::OutboxMarkInFlight, {m_strPort, message.outboxKey})) {
        qWarning() << "kept message not marked in flight, held back:" << m_pDb->LastError();
        return Hold::Held;
    }
    // No row marked: another program withdrew it, or its order was deleted.
    if (m_pDb->RowsAffected() == 0) {
        DropWithdrawn(message);
        return Hold::Withdrawn;
    }
    return Hold::Go;
}

void OutboxDesk::GiveBack(const Outgoing &message, bool marked)
{
    if (marked && message.outboxKey > 0 && !m_pDb->Execute(Sql::OutboxMarkQueued, {message.outboxKey}))
        qWarning() << "kept message still marked in flight:" << m_pDb->LastError();
    Outgoing back = message;
    if (back.partsSent > 0)
        back.port = m_nQueuePort; // its other parts go through this modem too
    m_outbox.Queue().ReturnFront(back);
}

void OutboxDesk::Finished(const Outgoing &message, const QString &time, bool sent, bool reportRequested)
{
    SentRow row;
    row.record = message.record;
    row.time = time;
    row.outcome = sent ? SentRow::Outcome::Sent : SentRow::Outcome::Failed;
    row.port = m_strPort;
    row.references = message.references;
    row.reportRequested = reportRequested;
    row.outboxKey = message.outboxKey;
    const bool written = m_journal.Sent(row, NowMs()) == CJournal::Outcome::Written;
    SmsReport report;
    report.m_kind = SmsReport::Sent;
    report.m_outcome = sent ? SmsReport::Outcome::Success : SmsReport::Outcome::Failure;
    report.m_nRecordNo = written ? m_journal.LastWrittenKey() : 0;
    report.m_nDelivery = sent && reportRequested ? SqlCatalogue::kReportWaiting : SqlCatalogue::kReportNone;
    report.m_strTime = time;
    report.m_strNumber = CJournal::StorableText(message.record.m_strTPA);
    report.m_strContent = CJournal::StorableText(message.record.m_strUD);
    report.m_strPort = m_strPort;
    m_outbox.Finished(message, report);
    // Reports that came before the row was written are applied to it now.
    TellDeliveryChanges();
}

void OutboxDesk::DropWithdrawn(const Outgoing &message)
{
    const qint32 order = message.record.m_nID;
    OutgoingQueue &queue = m_outbox.Queue();
    QVector<Outgoing> dropped{message};
    if (order > 0)
        dropped += queue.TakeQueued(order); // the order is gone: none of it goes
    queue.Done(message);
    // Rows a deleting program could not see yet (its order was queued meanwhile) go too.
    QVector<qint64> keys;
    for (const Outgoing &m : dropped) {
        if (m.outboxKey > 0)
            keys.append(m.outboxKey);
    }
    for (qsizetype i = 0; i < keys.size(); i += SqlCatalogue::kOutboxBatch) {
        const qsizetype n = qMin<qsizetype>(SqlCatalogue::kOutboxBatch, keys.size() - i);
        m_pDb->Execute(Sql::OutboxDeleteBatch, {SqlCatalogue::OutboxBatchKeys(keys.constData() + i, n)});
    }
    qWarning() << "order" << order << "withdrawn:" << dropped.size() << "messages dropped";
    m_outbox.Dropped(order, dropped);
}

void OutboxDesk::TellDeliveryChanges()
{
    for (const DeliveryChange &change : m_journal.TakeDeliveryChanges()) {
        if (change.state != SqlCatalogue::kReportDelivered && change.state != SqlCatalogue::kReportFailed)
            continue;
        SmsReport report;
        report.m_kind = SmsReport::DeliveryChanged;
        report.m_outcome = change.state == SqlCatalogue::kReportDelivered ? SmsReport::Outcome::Success
                                                                          : SmsReport::Outcome::Failure;
        report.m_nRecordNo = change.sendNo;
        report.m_nDelivery = change.state;
        report.m_strTime = change.discharge;
        report.m_strNumber = change.number;
        report.m_strPort = m_strPort;
        m_outbox.Report(report);
    }
}

// ---------------------------------------------------------------------------------- receiving

IModemDesk::Journalled OutboxDesk::Arrived(const SmsRecord &record, const QVector<int> &places, const QStringList &pdus)
{
    const CJournal::Outcome outcome
        = m_journal.Received(record, m_strPort, places, CJournal::ArrivalIdentity(pdus), NowMs());
    if (outcome == CJournal::Outcome::Known)
        return Journalled::Known; // journalled by an earlier run that could not delete it
    const bool written = outcome == CJournal::Outcome::Written;
    SmsReport report;
    report.m_kind = SmsReport::Received;
    report.m_outcome = SmsReport::Outcome::Success;
    report.m_nRecordNo = written ? m_journal.LastWrittenKey() : 0;
    report.m_strTime = CJournal::ReceivedTime(record.m_strSCTS);
    report.m_strNumber = CJournal::StorableText(record.m_strTPA);
    report.m_strContent = CJournal::StorableText(record.m_strUD);
    report.m_strPort = m_strPort;
    m_outbox.Report(report);
    return written ? Journalled::Written : Journalled::Kept;
}

void OutboxDesk::Reported(const StatusReport &report, const QVector<int> &places)
{
    ReportRow row;
    row.port = m_strPort;
    row.reference = report.reference;
    row.recipient = report.recipient;
    row.status = report.status;
    row.discharge = CJournal::ReceivedTime(report.discharge);
    row.time = CJournal::LocalTime();
    row.pdu = report.pdu;
    m_journal.Report(row, places, NowMs());
    TellDeliveryChanges();
}

QVector<int> OutboxDesk::TakeWrittenPlaces()
{
    return m_journal.TakeWrittenIndexes();
}

void OutboxDesk::ForgetPlace(int place)
{
    m_journal.ForgetIndex(place);
}
