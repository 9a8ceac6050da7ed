#include "StoredMessages.h"
#include "sms/PduCodec.h"

#include <QDebug>
#include <algorithm>

namespace {

// How often an unfinished concatenated message is looked at when idle.
constexpr qint64 kConcatCheckMs = 60000;

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

int StoragePlaces::Id(const QString &memory, int index)
{
    const std::pair<QString, int> place{memory, index};
    const qsizetype at = m_places.indexOf(place);
    if (at >= 0)
        return int(at);
    m_places.append(place);
    return int(m_places.size() - 1);
}

StoredMessages::StoredMessages(WorkerContext &context)
    : m_ctx(context)
{
}

void StoredMessages::SetStorages(const QStringList &storages)
{
    m_storages = storages;
    m_strSelected.clear();
}

void StoredMessages::Notice(const AtResponseParser::Notice &n)
{
    if (n.kind == AtResponseParser::Notice::Direct || n.kind == AtResponseParser::Notice::DirectReport) {
        Handle(-1, n.pdu);
        return;
    }
    // A modem that keeps its reports apart ("+CDSI: \"SR\",<index>") without listing that
    // storage among those the set-up found: read from there, not from the place of that
    // number in the storage arrivals go to.
    if (n.storage == QLatin1String("SR") && !m_storages.isEmpty() && !m_storages.contains(n.storage))
        m_storages.append(n.storage);
    const int place = Place(n.storage, n.index);
    if (std::find(m_pendingPlaces.begin(), m_pendingPlaces.end(), place) == m_pendingPlaces.end())
        m_pendingPlaces.push_back(place);
}

bool StoredMessages::ReadNext()
{
    if (m_pendingPlaces.empty())
        return false;
    const int place = m_pendingPlaces.front();
    m_pendingPlaces.pop_front();
    Read(place);
    return true;
}

int StoredMessages::Place(const QString &memory, int index)
{
    // With one storage (or none known) every place is in it, whatever a notice calls it.
    if (m_storages.size() <= 1)
        return m_ctx.state.places.Id(m_storages.value(0), index);
    return m_ctx.state.places.Id(memory, index);
}

bool StoredMessages::SelectStorage(const QString &memory)
{
    if (m_storages.size() <= 1 || memory.isEmpty() || memory == m_strSelected)
        return true;
    // TS 27.005 3.2.2: <mem1>, where AT+CMGL, AT+CMGR and AT+CMGD act.
    const AtChannel::Answer answer = m_ctx.Command("AT+CPMS=\"" + memory.toLatin1() + "\"\r");
    if (answer.status != AtChannel::Status::Ok) {
        m_strSelected.clear();
        return false;
    }
    m_strSelected = memory;
    return true;
}

void StoredMessages::List()
{
    WorkerState &state = m_ctx.state;
    QList<std::pair<int, QString>> arrivals;
    QStringList listed;
    const QStringList memories = m_storages.size() > 1 ? m_storages : QStringList{m_storages.value(0)};
    for (const QString &memory : memories) {
        if (!SelectStorage(memory))
            continue;
        // TS 27.005 3.4.2, PDU mode: 4 = all messages.
        const AtChannel::Answer answer = m_ctx.Command(QByteArrayLiteral("AT+CMGL=4\r"));
        if (answer.status != AtChannel::Status::Ok)
            continue;
        listed.append(memory);
        for (qsizetype i = 0; i < answer.lines.size(); ++i) {
            const QString &line = answer.lines[i];
            if (!line.startsWith(QLatin1String("+CMGL:")) || i + 1 >= answer.lines.size())
                continue;
            const QList<int> header = HeaderNumbers(line, 2);
            const QString pdu = answer.lines[i + 1];
            ++i;
            if (header[0] >= 0 && IsReceivedStatus(header[1]))
                arrivals.append({state.places.Id(memory, header[0]), pdu});
        }
    }
    // A place we were deleting that holds no arrival now is free: the delete was done.
    for (auto it = state.stored.begin(); it != state.stored.end();) {
        const bool seen = std::any_of(arrivals.cbegin(), arrivals.cend(),
                                      [&](const std::pair<int, QString> &a) { return a.first == it->first; });
        if (it->second.written && !seen && listed.contains(state.places.Memory(it->first)))
            it = state.stored.erase(it);
        else
            ++it;
    }
    for (const auto &[place, pdu] : arrivals) {
        m_pendingPlaces.erase(std::remove(m_pendingPlaces.begin(), m_pendingPlaces.end(), place),
                              m_pendingPlaces.end());
        Handle(place, pdu);
    }
}

void StoredMessages::Read(int place)
{
    const StoragePlaces &places = m_ctx.state.places;
    if (!SelectStorage(places.Memory(place)))
        return; // the next listing looks again
    const AtChannel::Answer answer = m_ctx.Command("AT+CMGR=" + QByteArray::number(places.Index(place)) + '\r');
    if (answer.status == AtChannel::Status::Stopped || answer.status == AtChannel::Status::LinkDown) {
        m_pendingPlaces.push_front(place); // the listing at the next start finds it anyway
        return;
    }
    if (answer.status != AtChannel::Status::Ok)
        return; // an empty or invalid place, or no answer: the next listing looks again
    for (qsizetype i = 0; i + 1 < answer.lines.size(); ++i) {
        if (!answer.lines[i].startsWith(QLatin1String("+CMGR:")))
            continue;
        if (IsReceivedStatus(HeaderNumbers(answer.lines[i], 1)[0]))
            Handle(place, answer.lines[i + 1]);
        return;
    }
}

void StoredMessages::Handle(int place, const QString &pdu)
{
    WorkerState &state = m_ctx.state;
    if (place >= 0) {
        const auto bad = m_badPlaces.find(place);
        if (bad != m_badPlaces.end()) {
            if (bad->second == pdu)
                return;
            m_badPlaces.erase(bad);
        }
        const auto known = state.stored.find(place);
        if (known != state.stored.end()) {
            if (known->second.pdu == pdu) {
                // Handled before; only its delete may be left to do.
                if (known->second.written)
                    Delete(place);
                return;
            }
            // The place holds another message now: the one we knew there is gone.
            m_ctx.desk.ForgetPlace(place);
            state.assembler.ForgetIndex(place);
            state.stored.erase(known);
        }
    }

    if (Pdu::MessageTypeOf(pdu) == Pdu::kStatusReportType) {
        // A status report, stored or listed like an arrival: never a received message.
        HandleStatusReport(place, pdu);
        return;
    }
    const Pdu::DecodeResult decoded = Pdu::DecodeDeliverPdu(pdu);
    if (!decoded.ok) {
        qWarning() << "arrival at" << state.places.Memory(place) << state.places.Index(place)
                   << "cannot be decoded:" << decoded.error;
        if (place >= 0)
            m_badPlaces[place] = pdu; // left in the modem, not read again and again
        return;
    }
    const SmsRecord record = Pdu::ToRecord(decoded.pdu);
    if (place >= 0)
        state.stored[place] = WorkerState::Stored{pdu, false};

    if (decoded.pdu.concat && decoded.pdu.concat->count > 1) {
        const Pdu::ConcatInfo &c = *decoded.pdu.concat;
        std::optional<ConcatAssembler::Whole> whole
            = state.assembler.Add(c.ref, c.part, c.count, record, place, WorkerContext::NowMs(), pdu);
        if (whole)
            Deliver(whole->record, whole->indexes, whole->pdus);
        return;
    }
    Deliver(record, place >= 0 ? QVector<int>{place} : QVector<int>{}, {pdu});
}

void StoredMessages::Deliver(const SmsRecord &record, const QVector<int> &places, const QStringList &pdus)
{
    // Deleted from the modem only once journalled: while the database is away the message
    // stays there, and nothing is lost should the program end before it comes back. The desk
    // hands out the places of every row it wrote, this one's included, exactly once; one
    // journalled by an earlier run that could not delete it has only its delete left.
    m_ctx.desk.Arrived(record, places, pdus);
    DeleteWritten();
}

void StoredMessages::HandleStatusReport(int place, const QString &pdu)
{
    const Pdu::StatusReportResult decoded = Pdu::DecodeStatusReport(pdu);
    if (!decoded.ok) {
        qWarning() << "status report at" << m_ctx.state.places.Memory(place) << m_ctx.state.places.Index(place)
                   << "cannot be decoded:" << decoded.error;
        if (place >= 0)
            m_badPlaces[place] = pdu;
        return;
    }
    if (place >= 0)
        m_ctx.state.stored[place] = WorkerState::Stored{pdu, false};
    IModemDesk::StatusReport report;
    report.reference = decoded.report.messageRef;
    report.recipient = decoded.report.recipient;
    report.status = decoded.report.status;
    report.discharge = decoded.report.discharge;
    report.submitted = decoded.report.scts;
    report.pdu = pdu.trimmed().toUpper();
    // Deleted from the modem once kept, as an arrival is.
    m_ctx.desk.Reported(report, place >= 0 ? QVector<int>{place} : QVector<int>{});
    DeleteWritten();
}

void StoredMessages::Delete(int place)
{
    WorkerState &state = m_ctx.state;
    const auto known = state.stored.find(place);
    if (known != state.stored.end())
        known->second.written = true;
    // Tried once. The modem gives a freed place to the next arrival, so a delete that went
    // unanswered (and may well have been carried out) is never simply sent again: the retry
    // lists the storage first and sees what the place holds by then.
    if (!SelectStorage(state.places.Memory(place))) {
        m_nNextDeleteMs = WorkerContext::NowMs() + m_ctx.Timeouts().dbRetryMs;
        return;
    }
    const AtChannel::Answer answer = m_ctx.CommandOnce("AT+CMGD=" + QByteArray::number(state.places.Index(place)) + '\r');
    if (answer.status == AtChannel::Status::Ok) {
        state.stored.erase(place);
        return;
    }
    // An error is no proof that the place is empty (TS 27.005 3.2.5: 321 invalid index, but
    // also 500 or a busy storage): forgotten now, a message still there would be journalled
    // again at the next listing. The retry's listing tells which it was.
    m_nNextDeleteMs = WorkerContext::NowMs() + m_ctx.Timeouts().dbRetryMs;
}

void StoredMessages::DeleteWritten()
{
    for (int place : m_ctx.desk.TakeWrittenPlaces()) {
        if (m_ctx.state.stored.count(place) > 0)
            Delete(place);
    }
}

void StoredMessages::RetryDeletes()
{
    if (WorkerContext::NowMs() < m_nNextDeleteMs || m_ctx.channel.Stopped())
        return;
    const bool due = std::any_of(m_ctx.state.stored.cbegin(), m_ctx.state.stored.cend(),
                                 [](const auto &entry) { return entry.second.written; });
    if (!due)
        return;
    m_nNextDeleteMs = WorkerContext::NowMs() + m_ctx.Timeouts().dbRetryMs;
    // Deletes the messages still there, handles a new one in a freed place as the arrival it
    // is, and forgets the places found empty.
    List();
}

void StoredMessages::GiveUpIncomplete()
{
    for (const ConcatAssembler::Whole &whole :
         m_ctx.state.assembler.TakeExpired(WorkerContext::NowMs(), m_ctx.Timeouts().incompleteConcatMs))
        Deliver(whole.record, whole.indexes, whole.pdus);
}

qint64 StoredMessages::NextDueMs(qint64 nowMs, qint64 limit) const
{
    qint64 until = nowMs + limit;
    if (m_ctx.state.assembler.PendingCount() > 0)
        until = qMin(until, nowMs + qMin<qint64>(kConcatCheckMs, m_ctx.Timeouts().incompleteConcatMs));
    for (const auto &[place, stored] : m_ctx.state.stored) {
        if (stored.written) {
            // A delete that found no answer is tried again.
            until = qMin(until, qMax(nowMs, m_nNextDeleteMs));
            break;
        }
    }
    return until;
}
