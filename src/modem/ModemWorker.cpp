#include "ModemWorker.h"
#include "PduCodec.h"
#include "db/CDbAccess.h"

#include <QDebug>
#include <algorithm>
#include <chrono>
#include <utility>

namespace {


// A stop request while a PDU awaits its answer still gives the modem this long to answer, so
// that a message the modem is just sending is not reported failed for nothing.
constexpr int kStopGraceMs = 500;
// How often an unfinished concatenated message is looked at when idle.
constexpr int kConcatCheckMs = 60000;
// Longest idle wait; every wait ends early on input, a new message or a stop request.
constexpr int kMaxIdleMs = 60000;

// "+CMGL: <index>,<stat>,[<alpha>],<length>" / "+CMGR: <stat>,[<alpha>],<length>"
// (TS 27.005 3.4.2, 3.4.3): the leading numbers of the header.
QList<int> HeaderNumbers(const QString &line, int count)
{
    const QStringList fields = line.mid(line.indexOf(QLatin1Char(':')) + 1).split(QLatin1Char(','));
    QList<int> numbers;
    for (int i = 0; i < count && i < fields.size(); ++i) {
        bool ok = false;
        const int n = fields[i].trimmed().toInt(&ok);
        numbers.append(ok ? n : -1);
    }
    while (numbers.size() < count)
        numbers.append(-1);
    return numbers;
}

// Status values of received messages (TS 27.005 3.1: 0 "REC UNREAD", 1 "REC READ").
bool IsReceivedStatus(int stat)
{
    return stat == 0 || stat == 1;
}

} // namespace

ModemWorker::ModemWorker(CSerialPort &port, OutgoingQueue &queue, WorkerState &state, const ModemTimeouts &timeouts,
                         CDbAccess::SettingsSource dbSettings, int wakeFd, const std::atomic<bool> &stop, Hooks hooks)
    : m_port(port)
    , m_queue(queue)
    , m_state(state)
    , m_timeouts(timeouts)
    , m_dbSettings(std::move(dbSettings))
    , m_nWakeFd(wakeFd)
    , m_stop(stop)
    , m_hooks(std::move(hooks))
{
}

qint64 ModemWorker::NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void ModemWorker::Run()
{
    // The worker's own connection, made and used in this thread only.
    CDbAccess db(m_dbSettings);
    m_pDb = &db;
    m_state.journal.SetRetryInterval(m_timeouts.dbRetryMs);
    m_state.journal.Attach(&db, m_hooks.error);
    AtChannel channel(m_port, m_nWakeFd, &m_stop);
    channel.SetAnswerAllowance(m_timeouts.answerMsPerByte);
    m_pChannel = &channel;

    // Direct deliveries seen during the handshake, then what the modem already stores.
    for (const AtResponseParser::Notice &n : std::exchange(m_state.notices, {})) {
        if (n.kind == AtResponseParser::Notice::Direct)
            HandleArrival(-1, n.pdu);
    }
    ListStored();
    m_nNextListMs = m_timeouts.listIntervalMs > 0 ? NowMs() + m_timeouts.listIntervalMs : 0;
    m_nNextSignalMs = m_timeouts.signalIntervalMs > 0 ? NowMs() : 0; // the first as soon as idle

    while (!m_stop.load()) {
        m_state.journal.Retry(NowMs());
        if (m_bLinkLost || channel.LinkLost()) {
            // The messages stay queued, in order, until the modem answers again.
            Reconnect();
            continue;
        }
        DeleteWritten();
        RetryDeletes();
        TakeNotices();
        if (!m_pendingIndexes.empty()) {
            const int index = m_pendingIndexes.front();
            m_pendingIndexes.pop_front();
            ReadStored(index);
            continue;
        }
        if (NowMs() >= m_nHoldSendsMs) {
            if (std::optional<Outgoing> message = m_queue.TakeFront()) {
                SendOne(std::move(*message));
                continue;
            }
        }
        GiveUpIncomplete();
        if (m_nNextListMs > 0 && NowMs() >= m_nNextListMs) {
            // Catches what an indication that never came left in the modem.
            ListStored();
            m_nNextListMs = NowMs() + m_timeouts.listIntervalMs;
            continue;
        }
        if (m_nNextSignalMs > 0 && NowMs() >= m_nNextSignalMs) {
            // Only here, with nothing to send or read: the strength is news, not work.
            QuerySignal();
            m_nNextSignalMs = NowMs() + m_timeouts.signalIntervalMs;
            continue;
        }
        channel.Idle(IdleWaitMs());
    }

    // Rows that became writable meanwhile are written before the connection goes.
    m_state.journal.Retry(NowMs(), true);
    m_state.journal.Detach();
    m_pChannel = nullptr;
    m_pDb = nullptr;
}

int ModemWorker::IdleWaitMs() const
{
    const qint64 now = NowMs();
    qint64 until = now + kMaxIdleMs;
    if (m_state.journal.HasKept())
        until = qMin(until, m_state.journal.NextRetryMs());
    if (m_nNextListMs > 0)
        until = qMin(until, m_nNextListMs);
    if (m_nNextSignalMs > 0)
        until = qMin(until, m_nNextSignalMs);
    if (m_nHoldSendsMs > now && m_queue.Count() > 0)
        until = qMin(until, m_nHoldSendsMs);
    if (m_state.assembler.PendingCount() > 0)
        until = qMin(until, now + qMin<qint64>(kConcatCheckMs, m_timeouts.incompleteConcatMs));
    for (const auto &[index, stored] : m_state.stored) {
        if (stored.written) {
            // A delete that found no answer is tried again.
            until = qMin(until, qMax(now, m_nNextDeleteMs));
            break;
        }
    }
    return int(std::clamp<qint64>(until - now, 1, kMaxIdleMs));
}

// ---------------------------------------------------------------------------------- sending

AtChannel::Answer ModemWorker::Command(const QByteArray &command)
{
    AtChannel::Answer answer;
    for (int attempt = 0; attempt < qMax(1, m_timeouts.commandAttempts); ++attempt) {
        answer = m_pChannel->Command(command, m_timeouts.commandMs);
        if (answer.status != AtChannel::Status::Timeout)
            return answer;
        m_pChannel->Resync(m_timeouts.commandMs, m_timeouts.commandAttempts);
    }
    return answer;
}

void ModemWorker::Reconnect()
{
    if (!m_bLinkLost) {
        m_bLinkLost = true;
        const bool gone = m_port.IsGone();
        qWarning() << (gone ? "modem device gone" : "modem not answering") << "- trying to get it back";
        // Closed at once: a USB modem plugged in again gets its old name only when nobody
        // holds the old device open.
        if (gone)
            m_port.Close();
        m_nReconnectMs = NowMs() + m_timeouts.reconnectMs;
        m_hooks.linkState(gone ? CSmsModem::LinkState::DeviceGone : CSmsModem::LinkState::NotAnswering);
    }
    if (NowMs() < m_nReconnectMs) {
        m_pChannel->Idle(int(qMin<qint64>(m_nReconnectMs - NowMs(), IdleWaitMs())));
        return;
    }
    m_nReconnectMs = NowMs() + m_timeouts.reconnectMs;
    if (m_port.IsGone())
        m_port.Close();
    if (!m_port.IsOpen() && !m_port.Reopen())
        return;
    m_pChannel->ResetLink();
    if (!m_pChannel->Handshake(m_timeouts.handshakeMs)) {
        // A device that takes nothing any more is opened afresh at the next try.
        if (m_port.IsGone() || m_pChannel->WriteRefused())
            m_port.Close();
        return;
    }
    m_bLinkLost = false;
    qWarning() << "modem answers again";
    m_hooks.linkState(CSmsModem::LinkState::Connected);
    // What arrived meanwhile, before the queue goes on where it stopped.
    ListStored();
}

ModemWorker::Prompt ModemWorker::AwaitPrompt(int tpduLength)
{
    const QByteArray command = "AT+CMGS=" + QByteArray::number(tpduLength) + '\r';
    for (int attempt = 0; attempt < qMax(1, m_timeouts.promptAttempts); ++attempt) {
        if (m_pChannel->Stopped())
            return Prompt::Stopped;
        m_pChannel->DiscardAnswers();
        if (m_pChannel->LinkLost() || !m_pChannel->Write(command))
            return Prompt::LinkDown;
        const AtChannel::Status status = m_pChannel->WaitPrompt(m_timeouts.promptMs);
        if (status == AtChannel::Status::Ok)
            return Prompt::Ok;
        if (status == AtChannel::Status::Stopped)
            return Prompt::Stopped;
        if (status == AtChannel::Status::LinkDown)
            return Prompt::LinkDown;
        // No prompt: the modem may still be waiting for a PDU, or answer late. ESC and a
        // distinctive exchange put the dialogue back in step before the next try.
        m_pChannel->Resync(m_timeouts.commandMs, m_timeouts.commandAttempts);
        if (m_pChannel->LinkLost())
            return Prompt::LinkDown; // not a byte back: the modem is gone, not this message
    }
    return Prompt::Failed;
}

void ModemWorker::SendOne(Outgoing message)
{
    const QString time = CJournal::LocalTime();
    const quint8 ref = m_state.concatRef;
    const Pdu::EncodeResult encoded = Pdu::EncodeSubmitPdu(message.record, ref);
    if (!encoded.ok) {
        // Nothing the modem could carry (a number over 20 digits, say): failed, not written.
        qWarning() << "message to" << message.record.m_strTPA << "not sent:" << encoded.error;
        Finish(message, time, false);
        return;
    }
    if (encoded.parts.size() > 1)
        ++m_state.concatRef;

    bool success = true;
    for (qsizetype i = 0; i < encoded.parts.size(); ++i) {
        const QString &part = encoded.parts[i];
        const Prompt prompt = AwaitPrompt(Pdu::TpduLength(part));
        if (prompt != Prompt::Ok) {
            if (prompt == Prompt::Stopped)
                m_pChannel->Write(QByteArrayLiteral("\x1b")); // cancels the AT+CMGS
            if (i == 0 && (prompt == Prompt::Stopped || prompt == Prompt::LinkDown)) {
                // Nothing of it reached the modem: it stays first in the queue.
                m_queue.ReturnFront(message);
                return;
            }
            success = false;
            break;
        }
        // From here on the outcome is uncertain should the program end before the answer: the
        // kept row must say so first. Unmarked, it would say the message never went, and the
        // next run would send it again; so it waits, first in the queue, for the database.
        if (i == 0 && message.outboxKey > 0 && !m_pDb->Execute(Sql::OutboxMarkInFlight, {message.outboxKey})) {
            qWarning() << "kept message not marked in flight, held back:" << m_pDb->LastError();
            m_pChannel->Resync(m_timeouts.commandMs, m_timeouts.commandAttempts); // ESC ends the PDU entry
            m_queue.ReturnFront(message);
            m_nHoldSendsMs = NowMs() + m_timeouts.dbRetryMs;
            return;
        }
        if (i == 0 && message.outboxKey > 0 && m_pDb->RowsAffected() == 0) {
            m_pChannel->Resync(m_timeouts.commandMs, m_timeouts.commandAttempts); // ESC ends the PDU entry
            DropWithdrawn(message);
            return;
        }
        if (!m_pChannel->Write(part.toLatin1() + '\x1a')) {
            success = false;
            break;
        }
        AtChannel::Answer answer = m_pChannel->WaitFinal(m_timeouts.finalAnswerMs);
        if (answer.status == AtChannel::Status::Stopped) {
            m_pChannel->IgnoreStop(true);
            answer = m_pChannel->WaitFinal(qMin(kStopGraceMs, m_timeouts.finalAnswerMs));
            m_pChannel->IgnoreStop(false);
        }
        if (answer.status == AtChannel::Status::Ok)
            continue;
        if (answer.status == AtChannel::Status::Timeout) {
            if (m_pChannel->Stopped())
                m_pChannel->Write(QByteArrayLiteral("\x1b"));
            else
                m_pChannel->Resync(m_timeouts.commandMs, m_timeouts.commandAttempts);
        }
        // A later part is never sent after a failed one: the message has failed as a whole.
        success = false;
        break;
    }
    Finish(message, time, success);
}

void ModemWorker::Finish(const Outgoing &message, const QString &time, bool success)
{
    const bool written = m_state.journal.Sent(message.record, time, success, message.outboxKey, NowMs())
        == CJournal::Outcome::Written;
    SmsReport report;
    report.m_nRecordNo = written ? m_state.journal.LastWrittenKey() : 0;
    report.m_strTime = time;
    report.m_strNumber = CJournal::StorableText(message.record.m_strTPA);
    report.SetDirection(SmsReport::Sent);
    report.m_strResult = success ? ReportText::kSuccess : ReportText::kFailure;
    report.m_strContent = CJournal::StorableText(message.record.m_strUD);
    m_queue.Done(message);
    m_hooks.report(report);
    ++(success ? m_nRunSucceeded : m_nRunFailed);
    RunFinishedIfEmpty();
}

void ModemWorker::RunFinishedIfEmpty()
{
    if (m_queue.Count() == 0) {
        if (m_hooks.runFinished)
            m_hooks.runFinished(m_nRunSucceeded, m_nRunFailed);
        m_nRunSucceeded = m_nRunFailed = 0;
    }
}

void ModemWorker::DropWithdrawn(const Outgoing &message)
{
    const qint32 order = message.record.m_nID;
    QVector<Outgoing> dropped{message};
    if (order > 0)
        dropped += m_queue.TakeQueued(order); // the order is gone: none of it goes
    m_queue.Done(message);
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
    if (m_hooks.orderWithdrawn)
        m_hooks.orderWithdrawn(order, int(dropped.size()));
    RunFinishedIfEmpty();
}

// -------------------------------------------------------------------------------- arrivals

void ModemWorker::TakeNotices()
{
    for (const AtResponseParser::Notice &n : m_pChannel->TakeNotices()) {
        if (n.kind == AtResponseParser::Notice::Direct) {
            HandleArrival(-1, n.pdu);
        } else if (std::find(m_pendingIndexes.begin(), m_pendingIndexes.end(), n.index) == m_pendingIndexes.end()) {
            m_pendingIndexes.push_back(n.index);
        }
    }
}

void ModemWorker::ListStored()
{
    // TS 27.005 3.4.2, PDU mode: 4 = all messages.
    const AtChannel::Answer answer = Command(QByteArrayLiteral("AT+CMGL=4\r"));
    if (answer.status != AtChannel::Status::Ok)
        return;
    QList<std::pair<int, QString>> arrivals;
    for (qsizetype i = 0; i < answer.lines.size(); ++i) {
        const QString &line = answer.lines[i];
        if (!line.startsWith(QLatin1String("+CMGL:")) || i + 1 >= answer.lines.size())
            continue;
        const QList<int> header = HeaderNumbers(line, 2);
        const QString pdu = answer.lines[i + 1];
        ++i;
        if (header[0] >= 0 && IsReceivedStatus(header[1]))
            arrivals.append({header[0], pdu});
    }
    // A place we were deleting that holds no arrival now is free: the delete was done.
    for (auto it = m_state.stored.begin(); it != m_state.stored.end();) {
        const bool listed = std::any_of(arrivals.cbegin(), arrivals.cend(),
                                        [&](const std::pair<int, QString> &a) { return a.first == it->first; });
        if (it->second.written && !listed)
            it = m_state.stored.erase(it);
        else
            ++it;
    }
    for (const auto &[index, pdu] : arrivals) {
        m_pendingIndexes.erase(std::remove(m_pendingIndexes.begin(), m_pendingIndexes.end(), index),
                               m_pendingIndexes.end());
        HandleArrival(index, pdu);
    }
}

void ModemWorker::ReadStored(int index)
{
    const AtChannel::Answer answer = Command("AT+CMGR=" + QByteArray::number(index) + '\r');
    if (answer.status == AtChannel::Status::Stopped || answer.status == AtChannel::Status::LinkDown) {
        m_pendingIndexes.push_front(index); // the listing at the next start finds it anyway
        return;
    }
    if (answer.status != AtChannel::Status::Ok)
        return; // an empty or invalid place, or no answer: the next listing looks again
    for (qsizetype i = 0; i + 1 < answer.lines.size(); ++i) {
        if (!answer.lines[i].startsWith(QLatin1String("+CMGR:")))
            continue;
        if (IsReceivedStatus(HeaderNumbers(answer.lines[i], 1)[0]))
            HandleArrival(index, answer.lines[i + 1]);
        return;
    }
}

void ModemWorker::HandleArrival(int index, const QString &pdu)
{
    if (index >= 0) {
        const auto bad = m_badIndexes.find(index);
        if (bad != m_badIndexes.end()) {
            if (bad->second == pdu)
                return;
            m_badIndexes.erase(bad);
        }
        const auto known = m_state.stored.find(index);
        if (known != m_state.stored.end()) {
            if (known->second.pdu == pdu) {
                // Handled before; only its delete may be left to do.
                if (known->second.written)
                    DeleteStored(index);
                return;
            }
            // The place holds another message now: the one we knew there is gone.
            m_state.journal.ForgetIndex(index);
            m_state.assembler.ForgetIndex(index);
            m_state.stored.erase(known);
        }
    }

    const Pdu::DecodeResult decoded = Pdu::DecodeDeliverPdu(pdu);
    if (!decoded.ok) {
        qWarning() << "arrival at" << index << "cannot be decoded:" << decoded.error;
        if (index >= 0)
            m_badIndexes[index] = pdu; // left in the modem, not read again and again
        return;
    }
    const SmsRecord record = Pdu::ToRecord(decoded.pdu);
    if (index >= 0)
        m_state.stored[index] = WorkerState::Stored{pdu, false};

    if (decoded.pdu.concat && decoded.pdu.concat->count > 1) {
        const Pdu::ConcatInfo &c = *decoded.pdu.concat;
        std::optional<ConcatAssembler::Whole> whole
            = m_state.assembler.Add(c.ref, c.part, c.count, record, index, NowMs(), pdu);
        if (whole)
            Deliver(whole->record, whole->indexes, whole->pdus);
        return;
    }
    Deliver(record, index >= 0 ? QVector<int>{index} : QVector<int>{}, {pdu});
}

void ModemWorker::Deliver(const SmsRecord &record, const QVector<int> &indexes, const QStringList &pdus)
{
    const CJournal::Outcome outcome
        = m_state.journal.Received(record, indexes, CJournal::ArrivalIdentity(pdus), NowMs());
    if (outcome == CJournal::Outcome::Known) {
        // Journalled by an earlier run that could not delete it: only the delete was left.
        DeleteWritten();
        return;
    }
    const bool written = outcome == CJournal::Outcome::Written;
    SmsReport report;
    report.m_nRecordNo = written ? m_state.journal.LastWrittenKey() : 0;
    report.m_strTime = CJournal::ReceivedTime(record.m_strSCTS);
    report.m_strNumber = CJournal::StorableText(record.m_strTPA);
    report.SetDirection(SmsReport::Received);
    report.m_strResult = ReportText::kSuccess;
    report.m_strContent = CJournal::StorableText(record.m_strUD);
    m_hooks.report(report);
    // Deleted from the modem only once journalled: while the database is away the message
    // stays there, and nothing is lost should the program end before it comes back. The
    // journal hands out the places of every row it wrote, this one's included, exactly once.
    DeleteWritten();
}

void ModemWorker::DeleteStored(int index)
{
    const auto known = m_state.stored.find(index);
    if (known != m_state.stored.end())
        known->second.written = true;
    // Tried once. The modem gives a freed place to the next arrival, so a delete that went
    // unanswered (and may well have been carried out) is never simply sent again: the retry
    // lists the storage first and sees what the place holds by then.
    const AtChannel::Answer answer = m_pChannel->Command("AT+CMGD=" + QByteArray::number(index) + '\r',
                                                         m_timeouts.commandMs);
    if (answer.status == AtChannel::Status::Ok) {
        m_state.stored.erase(index);
        return;
    }
    // An error is no proof that the place is empty (TS 27.005 3.2.5: 321 invalid index, but
    // also 500 or a busy storage): forgotten now, a message still there would be journalled
    // again at the next listing. The retry's listing tells which it was.
    if (answer.status == AtChannel::Status::Timeout)
        m_pChannel->Resync(m_timeouts.commandMs, m_timeouts.commandAttempts);
    m_nNextDeleteMs = NowMs() + m_timeouts.dbRetryMs;
}

void ModemWorker::DeleteWritten()
{
    for (int index : m_state.journal.TakeWrittenIndexes()) {
        if (m_state.stored.count(index) > 0)
            DeleteStored(index);
    }
}

void ModemWorker::RetryDeletes()
{
    if (NowMs() < m_nNextDeleteMs || m_stop.load())
        return;
    const bool due = std::any_of(m_state.stored.cbegin(), m_state.stored.cend(),
                                 [](const auto &entry) { return entry.second.written; });
    if (!due)
        return;
    m_nNextDeleteMs = NowMs() + m_timeouts.dbRetryMs;
    // Deletes the messages still there, handles a new one in a freed place as the arrival it
    // is, and forgets the places found empty.
    ListStored();
}

void ModemWorker::GiveUpIncomplete()
{
    // A concatenated message whose other parts never came is journalled with what came,
    // rather than filling the modem's storage for ever.
    for (const ConcatAssembler::Whole &whole : m_state.assembler.TakeExpired(NowMs(), m_timeouts.incompleteConcatMs))
        Deliver(whole.record, whole.indexes, whole.pdus);
}

// ---------------------------------------------------------------------------- signal strength

void ModemWorker::QuerySignal()
{
    // TS 27.007 8.5. One try: a lost answer costs nothing but a minute without news.
    const AtChannel::Answer answer = m_pChannel->Command(QByteArrayLiteral("AT+CSQ\r"), m_timeouts.commandMs);
    if (answer.status == AtChannel::Status::Timeout)
        m_pChannel->Resync(m_timeouts.commandMs, m_timeouts.commandAttempts);
    if (answer.status != AtChannel::Status::Ok || !m_hooks.signal)
        return;
    for (const QString &line : answer.lines) {
        if (const std::optional<SignalQuality> q = SignalQuality::Parse(line)) {
            m_hooks.signal(*q);
            return;
        }
    }
}
