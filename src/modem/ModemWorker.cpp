#include "ModemWorker.h"
#include "MessageSender.h"
#include "ModemSetup.h"
#include "StoredMessages.h"
#include "WorkerContext.h"
#include "at/AtChannel.h"

#include <QDebug>
#include <algorithm>
#include <utility>

namespace {

// Longest idle wait; every wait ends early on input, a new message or a stop request.
constexpr int kMaxIdleMs = 60000;

qint64 NowMs()
{
    return WorkerContext::NowMs();
}

} // namespace

ModemWorker::ModemWorker(CSerialPort &port, IModemDesk &desk, WorkerState &state, const ModemConfig &config,
                         Line line, const std::atomic<bool> &stop, Hooks hooks)
    : m_port(port)
    , m_desk(desk)
    , m_state(state)
    , m_config(config)
    , m_line(std::move(line))
    , m_stop(stop)
    , m_hooks(std::move(hooks))
{
    // A PIN refused while this port lived is refused still, settings file or none.
    if (!m_state.refusedPin.isNull() && m_state.refusedPin == m_config.pin)
        m_config.pinRefused = true;
    const auto told = m_config.onPinRefused;
    m_config.onPinRefused = [this, told](const QString &pin) {
        m_state.refusedPin = pin;
        if (told)
            told(pin);
    };
}

ModemWorker::~ModemWorker() = default;

void ModemWorker::Run()
{
    m_desk.Open(m_line.serial.name, m_timeouts.dbRetryMs);
    AtChannel channel(m_port, m_line.wakeFd, &m_stop);
    channel.SetAnswerAllowance(m_timeouts.answerMsPerByte);
    channel.SetEscapePause(m_timeouts.escapePauseMs);
    WorkerContext context{channel, m_desk, m_state, m_config};
    MessageSender sender(context);
    StoredMessages stored(context);
    m_pChannel = &channel;
    m_pContext = &context;
    m_pSender = &sender;
    m_pStored = &stored;

    m_nNextSignalMs = m_timeouts.signalIntervalMs > 0 ? NowMs() : 0; // the first as soon as idle
    if (m_line.answering) {
        // Direct deliveries seen during the handshake are in hand already; stored ones are listed.
        for (const AtResponseParser::Notice &n : std::exchange(m_state.notices, {})) {
            if (n.kind == AtResponseParser::Notice::Direct || n.kind == AtResponseParser::Notice::DirectReport)
                stored.Notice(n);
        }
        m_bAttempted = m_bReached = true;
        m_state.status.link = ModemStatus::Link::Answering;
        Prepare();
    } else {
        // The device is opened and the modem reached here, in this thread, like a modem lost.
        m_bLinkLost = true;
        m_state.status.link = ModemStatus::Link::Connecting;
        Publish();
    }

    while (!m_stop.load()) {
        m_desk.Tick(NowMs());
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
        stored.DeleteWritten();
        stored.RetryDeletes();
        if (stored.ReadNext())
            continue;
        if (m_bCheckRegistration || (!Registered() && NowMs() >= m_nNextRegistrationMs)) {
            CheckRegistration();
            continue;
        }
        if (Registered() && NowMs() >= m_nHoldSendsMs) {
            if (std::optional<Outgoing> message = m_desk.Take()) {
                const MessageSender::After after = sender.Send(std::move(*message));
                m_nHoldSendsMs = std::max(m_nHoldSendsMs, after.holdUntilMs);
                if (after.then == MessageSender::Then::CheckRegistration) {
                    CheckRegistration();
                } else if (after.then == MessageSender::Then::CheckSim) {
                    m_state.status.sim = ModemStatus::Sim::Unknown;
                    Prepare();
                }
                continue;
            }
        }
        stored.GiveUpIncomplete();
        if (m_nNextListMs > 0 && NowMs() >= m_nNextListMs) {
            // Catches what an indication that never came left in the modem.
            stored.List();
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

    // Rows that became writable meanwhile are written before the worker goes.
    m_desk.Close();
    m_pChannel = nullptr;
    m_pContext = nullptr;
    m_pSender = nullptr;
    m_pStored = nullptr;
}

int ModemWorker::IdleWaitMs() const
{
    const qint64 now = NowMs();
    qint64 until = now + kMaxIdleMs;
    if (const std::optional<qint64> retry = m_desk.NextRetryMs())
        until = qMin(until, *retry);
    if (m_bLinkLost)
        return int(std::clamp<qint64>(qMin(until, m_nReconnectMs) - now, 1, kMaxIdleMs));
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
    if (m_nHoldSendsMs > now && m_desk.HasWork())
        until = qMin(until, m_nHoldSendsMs);
    until = qMin(until, m_pStored->NextDueMs(now, kMaxIdleMs));
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
    m_pStored->SetStorages(setup.Result().storages);
    const qint64 now = NowMs();
    m_nNextSimCheckMs = now + m_timeouts.simPollMs;
    m_nNextRegistrationMs = now + m_timeouts.registrationPollMs;
    m_bCheckRegistration = false;
    if (m_timeouts.signalIntervalMs > 0 && m_state.status.signal)
        m_nNextSignalMs = now + m_timeouts.signalIntervalMs;
    if (m_pChannel->Stopped() || m_pChannel->LinkLost())
        return; // told once the link is back, or not at all
    Publish();
    if (m_state.status.sim == ModemStatus::Sim::Ready
        && (!m_identified || *m_identified != std::make_pair(m_state.status.imsi, m_state.status.iccid))) {
        // The modem is its SIM from now on: the journal and the queue know it by its IMSI.
        m_identified = std::make_pair(m_state.status.imsi, m_state.status.iccid);
        m_desk.Identify(m_state.status.imsi, m_state.status.iccid);
    }
    if (CanUseStorage() && !wasUsable) {
        // What arrived while nobody could read it, before anything else.
        m_pStored->List();
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

void ModemWorker::TakeNotices()
{
    for (const AtResponseParser::Notice &n : m_pChannel->TakeNotices()) {
        if (n.kind == AtResponseParser::Notice::Registration) {
            // TS 27.007 7.2: the registration changed; asked again for the operator's name.
            m_state.status.registration = ModemStatus::RegistrationOf(n.index);
            m_bCheckRegistration = true;
        } else {
            m_pStored->Notice(n);
        }
    }
}

// ------------------------------------------------------------------------------ the link

void ModemWorker::Attempted(const ConnectAttempt &attempt)
{
    if (m_bAttempted)
        return;
    m_bAttempted = true;
    if (m_hooks.attempted)
        m_hooks.attempted(attempt);
}

bool ModemWorker::OpenPort()
{
    if (m_port.IsOpen())
        return true;
    // A device lost during the run is opened again as it was; until the modem first answers,
    // the device is opened as the operator named it.
    const SerialLine &s = m_line.serial;
    if (m_bReached ? m_port.Reopen() : m_port.Open(s.name, s.baudRate, s.byteSize, s.parity, s.stopBits))
        return true;
    if (m_bReached)
        return false; // a device that went away: the status says so already
    const bool missing = m_port.DeviceMissing();
    m_state.status.link = missing ? ModemStatus::Link::PortMissing : ModemStatus::Link::PortUnavailable;
    Publish();
    Attempted({missing ? ConnectAttempt::Failure::PortMissing : ConnectAttempt::Failure::PortUnavailable,
               m_port.ErrorString()});
    return false;
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
        m_pChannel->Idle(IdleWaitMs());
        return;
    }
    m_nReconnectMs = NowMs() + m_timeouts.reconnectMs;
    if (m_port.IsGone())
        m_port.Close();
    if (!OpenPort())
        return;
    m_pChannel->ResetLink();
    ModemSetup setup(*m_pChannel, m_config, m_state.status);
    if (!setup.Handshake()) {
        if (m_pChannel->Stopped())
            return;
        // A device that takes nothing any more is opened afresh at the next try.
        if (m_port.IsGone() || m_pChannel->WriteRefused())
            m_port.Close();
        if (m_state.status.link != ModemStatus::Link::NotAnswering && m_state.status.link != ModemStatus::Link::DeviceGone) {
            m_state.status.link = ModemStatus::Link::NotAnswering;
            Publish();
        }
        Attempted({ConnectAttempt::Failure::NoAnswer, QString()});
        return;
    }
    if (m_bReached)
        qWarning() << "modem answers again";
    m_bReached = true;
    Attempted({});
    m_bLinkLost = false;
    // It may have been reset: the SIM, the registration and the rest are asked afresh, and
    // what arrived meanwhile is listed before the queue goes on where it stopped.
    m_state.status.sim = ModemStatus::Sim::Unknown;
    Prepare();
}

// ---------------------------------------------------------------------------- signal strength

void ModemWorker::QuerySignal()
{
    // TS 27.007 8.5. One try: a lost answer costs nothing but a minute without news.
    const AtChannel::Answer answer = m_pContext->CommandOnce(QByteArrayLiteral("AT+CSQ\r"));
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
