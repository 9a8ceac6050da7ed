#include "OutboxDesk.h"
#include "Outbox.h"
#include "sms/PduCodec.h"

#include <QDebug>
#include <QThread>
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
    if (!m_journal.HasKept())
        return;
    // The program ends (or the modem leaves it) with rows the database has not taken: they
    // are tried a while longer on a connection of this thread, then left in a file that the
    // next start journals before anything else.
    CDbAccess db(m_dbSettings);
    m_journal.Attach(&db, {});
    const qint64 until = NowMs() + kExitWaitMs;
    while (m_journal.HasKept() && NowMs() < until) {
        m_journal.Retry(NowMs(), true);
        if (m_journal.HasKept())
            QThread::msleep(200);
    }
    m_outbox.LeavePending(m_journal.TakeKeptSent());
    m_journal.Detach();
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
    m_bIdentified = false; // the SIM may have changed while the modem was away
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
    const qint64 now = NowMs();
    std::optional<qint64> next = m_outbox.NextClaimMs(now);
    if (!m_bIdentified || m_held)
        next.reset();
    else if (now < m_nPauseUntilMs)
        next = m_nPauseUntilMs;
    else if (m_sim.Held())
        next = now + kHeldLookMs; // the clock may roll the window at any moment
    if (m_journal.HasKept())
        next = next ? qMin(*next, m_journal.NextRetryMs()) : m_journal.NextRetryMs();
    return next;
}

void OutboxDesk::Identify(const QString &imsi, const QString &iccid)
{
    m_strSim = imsi;
    m_strIccid = iccid;
    m_bIdentified = true;
    m_nLeaseSeconds = m_outbox.LeaseSeconds();
    // Where the SIM is now, for replies that want it and for whoever counts its messages.
    const qint64 station = m_outbox.RegisterStation(*m_pDb);
    if (!imsi.isEmpty() && station > 0)
        m_pDb->Execute(Sql::SimSeen, {imsi, iccid, station, m_strPort});
    m_sim = SimState();
    m_sim.port = m_strPort;
    m_sim.sim = imsi;
    m_monthBefore = {QDateTime(), 0}; // another SIM, or one away meanwhile
    m_nPauseUntilMs = 0;
    Recount(m_outbox.Now());
}

// ------------------------------------------------------------------------------------ sending

std::optional<Outgoing> OutboxDesk::Take()
{
    if (m_held)
        return std::exchange(m_held, std::nullopt);
    if (!m_bIdentified || !m_pDb)
        return std::nullopt;
    const qint64 now = NowMs();
    const QDateTime wall = m_outbox.Now();
    bool repliesOnly = false;
    // A SIM that may take nothing leaves its turn to the others.
    if (!MayClaim(now, wall, &repliesOnly))
        return std::nullopt;
    if (!m_outbox.TakeClaimTurn(now))
        return std::nullopt;
    std::optional<Outgoing> claimed = Claim(repliesOnly);
    m_outbox.ClaimTried(now, claimed.has_value());
    if (claimed && !Fits(*claimed, wall)) {
        GiveBack(*claimed, false);
        return std::nullopt;
    }
    return claimed;
}

std::optional<Outgoing> OutboxDesk::Claim(bool repliesOnly)
{
    const qint64 station = m_outbox.RegisterStation(*m_pDb);
    if (station <= 0)
        return std::nullopt;
    QVector<qint64> keys;
    const QString host = m_outbox.Host();
    const QString place = m_outbox.Place();
    const int share = m_outbox.Share() ? 1 : 0;
    if (!m_pDb->InsertRows(Sql::OutboxClaimNext,
                           {station, m_strSim, m_strPort, m_nLeaseSeconds, station, share, host, place, m_strSim, m_strSim,
                            m_nLeaseSeconds, repliesOnly ? 1 : 0, int(IOutbox::RunKind::Reply)},
                           &keys)
        || keys.isEmpty())
        return std::nullopt;
    RecordsetPtr rs = m_pDb->OpenRecordset(Sql::OutboxClaimed, {keys.first(), station});
    Outgoing m;
    try {
        if (!rs->IsOpen() || rs->IsEOF())
            return std::nullopt;
        m.outboxKey = rs->GetFieldValue(0).toLongLong();
        m.record.m_strSCA = rs->GetFieldValue(1).toString();
        m.record.m_strTPA = rs->GetFieldValue(2).toString();
        m.record.m_nPID = quint8(rs->GetFieldValue(3).toInt());
        m.record.m_nDCS = quint8(rs->GetFieldValue(4).toInt());
        m.record.m_strUD = rs->GetFieldValue(5).toString();
        m.record.m_nID = rs->GetFieldValue(6).toInt();
        m.run = quint64(rs->GetFieldValue(7).toLongLong());
    } catch (const CDbError &) {
        // Claimed and not read: given back, for this modem or another to take.
        m_pDb->Execute(Sql::OutboxGiveBack, {keys.first(), station});
        return std::nullopt;
    }
    m.claim = station;
    return m;
}

bool OutboxDesk::HasWork() const
{
    return m_held.has_value() || !m_outbox.NextClaimMs(NowMs());
}

IModemDesk::Hold OutboxDesk::BeforeFirstPdu(const Outgoing &message)
{
    if (message.outboxKey <= 0)
        return Hold::Go; // not kept at all: nothing to mark
    if (!m_pDb->Execute(Sql::OutboxMarkInFlight, {m_nLeaseSeconds, message.outboxKey, message.claim})) {
        qWarning() << "kept message not marked in flight, held back:" << m_pDb->LastError();
        return Hold::Held;
    }
    if (m_pDb->RowsAffected() > 0)
        return Hold::Go;
    // No row marked: withdrawn (停止, its order deleted), or this station was taken for gone
    // and another one has it now. Either way it is not this modem's to send.
    qWarning() << "kept message" << message.outboxKey << "is no longer this station's to send";
    if (message.record.m_nID > 0)
        m_outbox.Dropped(message.record.m_nID, {message});
    return Hold::Withdrawn;
}

void OutboxDesk::GiveBack(const Outgoing &message, bool marked)
{
    Q_UNUSED(marked);
    if (message.partsSent > 0) {
        // The phone joins the parts of one sender only: the rest waits for this modem.
        m_held = message;
        return;
    }
    if (message.outboxKey > 0 && !m_pDb->Execute(Sql::OutboxGiveBack, {message.outboxKey, message.claim}))
        qWarning() << "kept message not given back:" << m_pDb->LastError();
    m_outbox.Returned();
}

void OutboxDesk::Finished(const Outgoing &message, const QString &time, bool sent, bool reportRequested)
{
    SentRow row;
    row.record = message.record;
    row.time = time;
    row.outcome = sent ? SentRow::Outcome::Sent : SentRow::Outcome::Failed;
    row.port = m_strPort;
    row.sim = m_strSim;
    row.references = message.references;
    row.reportRequested = reportRequested;
    row.outboxKey = message.outboxKey;
    row.claim = message.claim;
    row.run = qint64(message.run);
    const CJournal::Outcome outcome = m_journal.Sent(row, NowMs());
    SmsReport report;
    report.m_kind = SmsReport::Sent;
    report.m_outcome = sent ? SmsReport::Outcome::Success : SmsReport::Outcome::Failure;
    report.m_nRecordNo = outcome == CJournal::Outcome::Written ? m_journal.LastWrittenKey() : 0;
    report.m_nDelivery = sent && reportRequested ? SqlCatalogue::kReportWaiting : SqlCatalogue::kReportNone;
    report.m_strTime = time;
    report.m_strNumber = CJournal::StorableText(message.record.m_strTPA);
    report.m_strContent = CJournal::StorableText(message.record.m_strUD);
    report.m_strPort = m_strPort;
    report.m_strSim = m_strSim;
    if (outcome == CJournal::Outcome::Lost) {
        // Taken for gone while it was sending: the station that took the claim over journalled
        // it failed, and that stays the one row of it.
        qWarning() << "message to" << message.record.m_strTPA << "went while this station was taken for gone";
        report.m_outcome = SmsReport::Outcome::Failure;
        report.m_nDelivery = SqlCatalogue::kReportNone;
    }
    m_outbox.Finished(message, report);
    // Reports that came before the row was written are applied to it now.
    TellDeliveryChanges();
    // The SIM rests before its next submit, and its counts grew.
    m_nPauseUntilMs = NowMs() + Rules().PauseMs();
    Recount(m_outbox.Now());
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
        report.m_strSim = m_strSim;
        m_outbox.Report(report);
    }
}

// ---------------------------------------------------------------------------------- receiving

IModemDesk::Journalled OutboxDesk::Arrived(const SmsRecord &record, const QVector<int> &places, const QStringList &pdus)
{
    m_journal.SetOptOutWords(m_outbox.OptOutWordList());
    const CJournal::Outcome outcome
        = m_journal.Received(record, m_strPort, m_strSim, places, CJournal::ArrivalIdentity(pdus), NowMs());
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
    report.m_strSim = m_strSim;
    m_outbox.Report(report);
    return written ? Journalled::Written : Journalled::Kept;
}

void OutboxDesk::Reported(const StatusReport &report, const QVector<int> &places)
{
    ReportRow row;
    row.port = m_strPort;
    row.sim = m_strSim;
    row.reference = report.reference;
    row.recipient = report.recipient;
    row.status = report.status;
    row.discharge = CJournal::ReceivedTime(report.discharge);
    row.submitted = CJournal::LocalTimeOf(report.submitted);
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
