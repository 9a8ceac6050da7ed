#include "ModemWorker.h"
#include "outbox/Outbox.h"
#include "sms/PduCodec.h"
#include "SubmitDialogue.h"
#include "db/CDbAccess.h"

#include <QDebug>
#include <algorithm>
#include <chrono>
#include <utility>

namespace {

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

int StoragePlaces::Id(const QString &memory, int index)
{
    const std::pair<QString, int> place{memory, index};
    const qsizetype at = m_places.indexOf(place);
    if (at >= 0)
        return int(at);
    m_places.append(place);
    return int(m_places.size() - 1);
}

ModemWorker::ModemWorker(CSerialPort &port, Outbox &outbox, WorkerState &state, const ModemConfig &config,
                         CDbAccess::SettingsSource dbSettings, Line line, const std::atomic<bool> &stop, Hooks hooks)
    : m_port(port)
    , m_outbox(outbox)
    , m_queue(outbox.Queue())
    , m_state(state)
    , m_config(config)
    , m_dbSettings(std::move(dbSettings))
    , m_line(std::move(line))
    , m_stop(stop)
    , m_hooks(std::move(hooks))
{
    // A PIN refused while this engine lived is refused still, settings file or none.
    if (!m_state.refusedPin.isNull() && m_state.refusedPin == m_config.pin)
        m_config.pinRefused = true;
    const auto told = m_config.onPinRefused;
    m_config.onPinRefused = [this, told](const QString &pin) {
        m_state.refusedPin = pin;
        if (told)
            told(pin);
    };
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
    m_state.journal.Attach(&db, [this](const QString &text) { m_outbox.Error(text); });
    AtChannel channel(m_port, m_line.wakeFd, &m_stop);
    channel.SetAnswerAllowance(m_timeouts.answerMsPerByte);
    m_pChannel = &channel;

    // Direct deliveries seen during the handshake are in hand already; stored ones are listed.
    for (const AtResponseParser::Notice &n : std::exchange(m_state.notices, {})) {
        if (n.kind == AtResponseParser::Notice::Direct || n.kind == AtResponseParser::Notice::DirectReport)
            HandleArrival(-1, n.pdu);
    }
    m_state.status.link = ModemStatus::Link::Answering;
    m_nNextSignalMs = m_timeouts.signalIntervalMs > 0 ? NowMs() : 0; // the first as soon as idle
    Prepare();

    while (!m_stop.load()) {
        m_state.journal.Retry(NowMs());
        TellDeliveryChanges();
        if (m_bLinkLost || channel.LinkLost()) {
            // The messages stay queued, in order, until the modem answers again.
            Reconnect();
            continue;
        }
        TakeNotices();
        if (const std::optional<std::pair<QString, bool>> pin = m_hooks.takePin ? m_hooks.takePin() : std::nullopt) {
            // The operator's word: a PIN given again may be tried again, unless it is known refused.
            m_config.pin = pin->first;
            m_config.pinRefused = pin->second;
            if (!pin->second)
                m_state.refusedPin.clear();
            if (m_state.status.sim != ModemStatus::Sim::Ready)
                m_nNextSimCheckMs = 0; // a PIN to try, or the refusal to tell
        }
        if (!CanUseStorage()) {
            // Nothing is sent and nothing read while the SIM is not ready: the messages stay
            // queued and kept. The SIM is asked again now and then (put in, unlocked by hand).
            if (NowMs() >= m_nNextSimCheckMs) {
                Prepare();
                continue;
            }
            channel.Idle(IdleWaitMs());
            continue;
        }
        DeleteWritten();
        RetryDeletes();
        if (!m_pendingPlaces.empty()) {
            const int place = m_pendingPlaces.front();
            m_pendingPlaces.pop_front();
            ReadStored(place);
            continue;
        }
        if (m_bCheckRegistration || (!Registered() && NowMs() >= m_nNextRegistrationMs)) {
            CheckRegistration();
            continue;
        }
        if (Registered() && NowMs() >= m_nHoldSendsMs) {
            if (std::optional<Outgoing> message = m_queue.TakeFront(m_line.port)) {
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
    TellDeliveryChanges();
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
    if (!CanUseStorage()) {
        until = qMin(until, m_nNextSimCheckMs);
        return int(std::clamp<qint64>(until - now, 1, kMaxIdleMs));
    }
    if (m_nNextListMs > 0)
        until = qMin(until, m_nNextListMs);
    if (m_nNextSignalMs > 0)
        until = qMin(until, m_nNextSignalMs);
    if (!Registered())
        until = qMin(until, m_nNextRegistrationMs);
    if (m_nHoldSendsMs > now && m_queue.Count() > 0)
        until = qMin(until, m_nHoldSendsMs);
    if (m_state.assembler.PendingCount() > 0)
        until = qMin(until, now + qMin<qint64>(kConcatCheckMs, m_timeouts.incompleteConcatMs));
    for (const auto &[place, stored] : m_state.stored) {
        if (stored.written) {
            // A delete that found no answer is tried again.
            until = qMin(until, qMax(now, m_nNextDeleteMs));
            break;
        }
    }
    return int(std::clamp<qint64>(until - now, 1, kMaxIdleMs));
}

// ------------------------------------------------------------------------------ readiness

bool ModemWorker::CanUseStorage() const
{
    const ModemStatus &s = m_state.status;
    return s.link == ModemStatus::Link::Answering && s.sim == ModemStatus::Sim::Ready && s.pduMode;
}

bool ModemWorker::Registered() const
{
    return m_state.status.IsReady();
}

void ModemWorker::Publish()
{
    if (m_published && *m_published == m_state.status)
        return;
    m_published = m_state.status;
    if (m_hooks.status)
        m_hooks.status(m_state.status);
}

void ModemWorker::Prepare()
{
    const bool wasUsable = CanUseStorage();
    ModemSetup setup(*m_pChannel, m_config, m_state.status);
    setup.Run();
    m_storages = setup.Result().storages;
    m_strSelected.clear();
    const qint64 now = NowMs();
    m_nNextSimCheckMs = now + m_timeouts.simPollMs;
    m_nNextRegistrationMs = now + m_timeouts.registrationPollMs;
    m_bCheckRegistration = false;
    if (m_timeouts.signalIntervalMs > 0 && m_state.status.signal)
        m_nNextSignalMs = now + m_timeouts.signalIntervalMs;
    if (m_pChannel->Stopped() || m_pChannel->LinkLost())
        return; // told once the link is back, or not at all
    Publish();
    if (CanUseStorage() && !wasUsable) {
        // What arrived while nobody could read it, before anything else.
        ListStored();
        m_nNextListMs = m_timeouts.listIntervalMs > 0 ? NowMs() + m_timeouts.listIntervalMs : 0;
    }
}

void ModemWorker::CheckRegistration()
{
    ModemSetup setup(*m_pChannel, m_config, m_state.status);
    setup.CheckRegistration();
    m_bCheckRegistration = false;
    m_nNextRegistrationMs = NowMs() + m_timeouts.registrationPollMs;
    if (!m_pChannel->LinkLost())
        Publish();
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
        m_state.status.link = gone ? ModemStatus::Link::DeviceGone : ModemStatus::Link::NotAnswering;
        m_state.status.signal.reset();
        Publish();
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
    ModemSetup setup(*m_pChannel, m_config, m_state.status);
    if (!setup.Handshake()) {
        // A device that takes nothing any more is opened afresh at the next try.
        if (m_port.IsGone() || m_pChannel->WriteRefused())
            m_port.Close();
        return;
    }
    m_bLinkLost = false;
    qWarning() << "modem answers again";
    // It may have been reset: the SIM, the registration and the rest are asked afresh, and
    // what arrived meanwhile is listed before the queue goes on where it stopped.
    m_state.status.sim = ModemStatus::Sim::Unknown;
    Prepare();
}

void ModemWorker::SendOne(Outgoing message)
{
    const QString time = message.started.isEmpty() ? CJournal::LocalTime() : message.started;
    if (message.partsSent == 0)
        message.concatRef = m_state.concatRef;
    // A modem with a service centre of its own (its SIM's operator) sends through it.
    SmsRecord record = message.record;
    if (!m_config.smsc.isEmpty())
        record.m_strSCA = m_config.smsc;
    const Pdu::EncodeResult encoded = Pdu::EncodeSubmitPdu(record, message.concatRef, m_config.requestReports);
    if (!encoded.ok) {
        // Nothing the modem could carry (a number over 20 digits, say): failed, not written.
        qWarning() << "message to" << message.record.m_strTPA << "not sent:" << encoded.error;
        Finish(message, time, false);
        return;
    }
    if (message.partsSent == 0 && encoded.parts.size() > 1)
        ++m_state.concatRef;

    // The kept row must say the message is in the modem's hands before its first PDU goes:
    // unmarked, it would say the message never went, and the next run would send it again.
    bool marked = false;
    bool withdrawn = false;
    const auto mark = [&] {
        if (message.partsSent > 0 || message.outboxKey <= 0)
            return true; // marked before, or not kept at all
        if (!m_pDb->Execute(Sql::OutboxMarkInFlight, {m_line.name, message.outboxKey})) {
            qWarning() << "kept message not marked in flight, held back:" << m_pDb->LastError();
            return false;
        }
        // No row marked: another program withdrew it, or its order was deleted.
        withdrawn = m_pDb->RowsAffected() == 0;
        marked = !withdrawn;
        return marked;
    };
    SubmitDialogue dialogue(*m_pChannel, m_timeouts);
    const SubmitDialogue::Result r = dialogue.Send(encoded.parts, message.partsSent, mark);
    if (r.partsSent > message.partsSent && message.started.isEmpty())
        message.started = time;
    message.references += r.references;
    message.partsSent = r.partsSent;
    switch (r.outcome) {
    case SubmitDialogue::Outcome::Sent:
        m_nNetworkWaitMs = 0;
        Finish(message, time, true);
        return;
    case SubmitDialogue::Outcome::Refused:
    case SubmitDialogue::Outcome::NoAnswer:
        if (r.outcome == SubmitDialogue::Outcome::Refused && !r.answer.finalLine.isEmpty())
            qWarning() << "message to" << message.record.m_strTPA << "refused:" << r.answer.finalLine;
        Finish(message, time, false);
        return;
    case SubmitDialogue::Outcome::NotHandedOver:
        // Nothing of it reached the modem (since the parts that went): it stays first in the
        // queue, for the next free modem.
        Return(std::move(message));
        return;
    case SubmitDialogue::Outcome::Held:
        if (withdrawn) {
            DropWithdrawn(message);
            return;
        }
        Return(std::move(message));
        m_nHoldSendsMs = NowMs() + m_timeouts.dbRetryMs;
        return;
    case SubmitDialogue::Outcome::NetworkMissing:
    case SubmitDialogue::Outcome::SimNotReady:
        qWarning() << "message to" << message.record.m_strTPA << "waits:" << r.answer.finalLine;
        NotReadyRefusal(std::move(message), marked, r.outcome == SubmitDialogue::Outcome::NetworkMissing);
        return;
    }
}

void ModemWorker::NotReadyRefusal(Outgoing message, bool marked, bool network)
{
    // It never reached the network: sent again once the modem is ready, which is no duplicate.
    // Its kept row says so again, so that a run ending meanwhile leaves it to the next to send.
    if (marked && message.partsSent == 0 && !m_pDb->Execute(Sql::OutboxMarkQueued, {message.outboxKey}))
        qWarning() << "kept message still marked in flight:" << m_pDb->LastError();
    // Another modem that is ready takes it meanwhile; this one takes nothing while it waits.
    Return(std::move(message));
    // The modem is asked what it lacks. Should it say it has it all the same, the next try
    // waits a little longer each time.
    m_nNetworkWaitMs = std::clamp<qint64>(2 * m_nNetworkWaitMs, m_timeouts.registrationPollMs,
                                          qMax(m_timeouts.registrationPollMs, m_timeouts.networkRetryMaxMs));
    m_nHoldSendsMs = NowMs() + m_nNetworkWaitMs;
    if (network) {
        CheckRegistration();
        return;
    }
    m_state.status.sim = ModemStatus::Sim::Unknown;
    Prepare();
}

void ModemWorker::Finish(const Outgoing &message, const QString &time, bool success)
{
    SentRow row;
    row.record = message.record;
    row.time = time;
    row.outcome = success ? SentRow::Outcome::Sent : SentRow::Outcome::Failed;
    row.port = m_line.name;
    row.references = message.references;
    row.reportRequested = m_config.requestReports;
    row.outboxKey = message.outboxKey;
    const bool written = m_state.journal.Sent(row, NowMs()) == CJournal::Outcome::Written;
    SmsReport report;
    report.m_kind = SmsReport::Sent;
    report.m_outcome = success ? SmsReport::Outcome::Success : SmsReport::Outcome::Failure;
    report.m_nRecordNo = written ? m_state.journal.LastWrittenKey() : 0;
    report.m_nDelivery = success && m_config.requestReports ? SqlCatalogue::kReportWaiting : SqlCatalogue::kReportNone;
    report.m_strTime = time;
    report.m_strNumber = CJournal::StorableText(message.record.m_strTPA);
    report.m_strContent = CJournal::StorableText(message.record.m_strUD);
    report.m_strPort = m_line.name;
    m_outbox.Finished(message, report);
    // Reports that came before the row was written are applied to it now.
    TellDeliveryChanges();
}

void ModemWorker::TellDeliveryChanges()
{
    for (const DeliveryChange &change : m_state.journal.TakeDeliveryChanges()) {
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
        report.m_strPort = m_line.name;
        m_outbox.Report(report);
    }
}

void ModemWorker::Return(Outgoing message)
{
    if (message.partsSent > 0)
        message.port = m_line.port;
    m_queue.ReturnFront(message);
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
    m_outbox.Dropped(order, dropped);
}

// -------------------------------------------------------------------------------- arrivals

void ModemWorker::TakeNotices()
{
    for (const AtResponseParser::Notice &n : m_pChannel->TakeNotices()) {
        if (n.kind == AtResponseParser::Notice::Direct || n.kind == AtResponseParser::Notice::DirectReport) {
            HandleArrival(-1, n.pdu);
        } else if (n.kind == AtResponseParser::Notice::Registration) {
            // TS 27.007 7.2: the registration changed; asked again for the operator's name.
            m_state.status.registration = ModemStatus::RegistrationOf(n.index);
            m_bCheckRegistration = true;
        } else {
            // A modem that keeps its reports apart ("+CDSI: \"SR\",<index>") without listing that
            // storage among those the set-up found: read from there, not from the place of
            // that number in the storage arrivals go to.
            if (n.storage == QLatin1String("SR") && !m_storages.isEmpty() && !m_storages.contains(n.storage))
                m_storages.append(n.storage);
            const int place = Place(n.storage, n.index);
            if (std::find(m_pendingPlaces.begin(), m_pendingPlaces.end(), place) == m_pendingPlaces.end())
                m_pendingPlaces.push_back(place);
        }
    }
}

int ModemWorker::Place(const QString &memory, int index)
{
    // With one storage (or none known) every place is in it, whatever a notice calls it.
    if (m_storages.size() <= 1)
        return m_state.places.Id(m_storages.value(0), index);
    return m_state.places.Id(memory, index);
}

bool ModemWorker::SelectStorage(const QString &memory)
{
    if (m_storages.size() <= 1 || memory.isEmpty() || memory == m_strSelected)
        return true;
    // TS 27.005 3.2.2: <mem1>, where AT+CMGL, AT+CMGR and AT+CMGD act.
    const AtChannel::Answer answer = Command("AT+CPMS=\"" + memory.toLatin1() + "\"\r");
    if (answer.status != AtChannel::Status::Ok) {
        m_strSelected.clear();
        return false;
    }
    m_strSelected = memory;
    return true;
}

void ModemWorker::ListStored()
{
    QList<std::pair<int, QString>> arrivals;
    QStringList listed;
    const QStringList memories = m_storages.size() > 1 ? m_storages : QStringList{m_storages.value(0)};
    for (const QString &memory : memories) {
        if (!SelectStorage(memory))
            continue;
        // TS 27.005 3.4.2, PDU mode: 4 = all messages.
        const AtChannel::Answer answer = Command(QByteArrayLiteral("AT+CMGL=4\r"));
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
                arrivals.append({m_state.places.Id(memory, header[0]), pdu});
        }
    }
    // A place we were deleting that holds no arrival now is free: the delete was done.
    for (auto it = m_state.stored.begin(); it != m_state.stored.end();) {
        const bool seen = std::any_of(arrivals.cbegin(), arrivals.cend(),
                                      [&](const std::pair<int, QString> &a) { return a.first == it->first; });
        if (it->second.written && !seen && listed.contains(m_state.places.Memory(it->first)))
            it = m_state.stored.erase(it);
        else
            ++it;
    }
    for (const auto &[place, pdu] : arrivals) {
        m_pendingPlaces.erase(std::remove(m_pendingPlaces.begin(), m_pendingPlaces.end(), place),
                              m_pendingPlaces.end());
        HandleArrival(place, pdu);
    }
}

void ModemWorker::ReadStored(int place)
{
    if (!SelectStorage(m_state.places.Memory(place)))
        return; // the next listing looks again
    const AtChannel::Answer answer = Command("AT+CMGR=" + QByteArray::number(m_state.places.Index(place)) + '\r');
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
            HandleArrival(place, answer.lines[i + 1]);
        return;
    }
}

void ModemWorker::HandleArrival(int place, const QString &pdu)
{
    if (place >= 0) {
        const auto bad = m_badPlaces.find(place);
        if (bad != m_badPlaces.end()) {
            if (bad->second == pdu)
                return;
            m_badPlaces.erase(bad);
        }
        const auto known = m_state.stored.find(place);
        if (known != m_state.stored.end()) {
            if (known->second.pdu == pdu) {
                // Handled before; only its delete may be left to do.
                if (known->second.written)
                    DeleteStored(place);
                return;
            }
            // The place holds another message now: the one we knew there is gone.
            m_state.journal.ForgetIndex(place);
            m_state.assembler.ForgetIndex(place);
            m_state.stored.erase(known);
        }
    }

    if (Pdu::MessageTypeOf(pdu) == Pdu::kStatusReportType) {
        // A status report, stored or listed like an arrival: never a received message.
        HandleStatusReport(place, pdu);
        return;
    }
    const Pdu::DecodeResult decoded = Pdu::DecodeDeliverPdu(pdu);
    if (!decoded.ok) {
        qWarning() << "arrival at" << m_state.places.Memory(place) << m_state.places.Index(place)
                   << "cannot be decoded:" << decoded.error;
        if (place >= 0)
            m_badPlaces[place] = pdu; // left in the modem, not read again and again
        return;
    }
    const SmsRecord record = Pdu::ToRecord(decoded.pdu);
    if (place >= 0)
        m_state.stored[place] = WorkerState::Stored{pdu, false};

    if (decoded.pdu.concat && decoded.pdu.concat->count > 1) {
        const Pdu::ConcatInfo &c = *decoded.pdu.concat;
        std::optional<ConcatAssembler::Whole> whole
            = m_state.assembler.Add(c.ref, c.part, c.count, record, place, NowMs(), pdu);
        if (whole)
            Deliver(whole->record, whole->indexes, whole->pdus);
        return;
    }
    Deliver(record, place >= 0 ? QVector<int>{place} : QVector<int>{}, {pdu});
}

void ModemWorker::Deliver(const SmsRecord &record, const QVector<int> &places, const QStringList &pdus)
{
    const CJournal::Outcome outcome
        = m_state.journal.Received(record, m_line.name, places, CJournal::ArrivalIdentity(pdus), NowMs());
    if (outcome == CJournal::Outcome::Known) {
        // Journalled by an earlier run that could not delete it: only the delete was left.
        DeleteWritten();
        return;
    }
    const bool written = outcome == CJournal::Outcome::Written;
    SmsReport report;
    report.m_kind = SmsReport::Received;
    report.m_outcome = SmsReport::Outcome::Success;
    report.m_nRecordNo = written ? m_state.journal.LastWrittenKey() : 0;
    report.m_strTime = CJournal::ReceivedTime(record.m_strSCTS);
    report.m_strNumber = CJournal::StorableText(record.m_strTPA);
    report.m_strContent = CJournal::StorableText(record.m_strUD);
    report.m_strPort = m_line.name;
    m_outbox.Report(report);
    // Deleted from the modem only once journalled: while the database is away the message
    // stays there, and nothing is lost should the program end before it comes back. The
    // journal hands out the places of every row it wrote, this one's included, exactly once.
    DeleteWritten();
}

void ModemWorker::HandleStatusReport(int place, const QString &pdu)
{
    const Pdu::StatusReportResult decoded = Pdu::DecodeStatusReport(pdu);
    if (!decoded.ok) {
        qWarning() << "status report at" << m_state.places.Memory(place) << m_state.places.Index(place)
                   << "cannot be decoded:" << decoded.error;
        if (place >= 0)
            m_badPlaces[place] = pdu;
        return;
    }
    if (place >= 0)
        m_state.stored[place] = WorkerState::Stored{pdu, false};
    ReportRow row;
    row.port = m_line.name;
    row.reference = decoded.report.messageRef;
    row.recipient = decoded.report.recipient;
    row.status = decoded.report.status;
    row.discharge = CJournal::ReceivedTime(decoded.report.discharge);
    row.time = CJournal::LocalTime();
    row.pdu = pdu.trimmed().toUpper();
    // Deleted from the modem once kept, as an arrival is.
    m_state.journal.Report(row, place >= 0 ? QVector<int>{place} : QVector<int>{}, NowMs());
    TellDeliveryChanges();
    DeleteWritten();
}

void ModemWorker::DeleteStored(int place)
{
    const auto known = m_state.stored.find(place);
    if (known != m_state.stored.end())
        known->second.written = true;
    // Tried once. The modem gives a freed place to the next arrival, so a delete that went
    // unanswered (and may well have been carried out) is never simply sent again: the retry
    // lists the storage first and sees what the place holds by then.
    if (!SelectStorage(m_state.places.Memory(place))) {
        m_nNextDeleteMs = NowMs() + m_timeouts.dbRetryMs;
        return;
    }
    const AtChannel::Answer answer = m_pChannel->Command(
        "AT+CMGD=" + QByteArray::number(m_state.places.Index(place)) + '\r', m_timeouts.commandMs);
    if (answer.status == AtChannel::Status::Ok) {
        m_state.stored.erase(place);
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
    for (int place : m_state.journal.TakeWrittenIndexes()) {
        if (m_state.stored.count(place) > 0)
            DeleteStored(place);
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
    if (answer.status != AtChannel::Status::Ok)
        return;
    for (const QString &line : answer.lines) {
        if (const std::optional<SignalQuality> q = SignalQuality::Parse(line)) {
            m_state.status.signal = q;
            break;
        }
    }
    // With the strength, the registration and the operator, for a modem that sends no
    // registration notices.
    CheckRegistration();
}
