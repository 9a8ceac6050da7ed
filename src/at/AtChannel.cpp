#include "AtChannel.h"
#include "IModemIo.h"

#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// A device that went away is noticed within this long, whatever the wait.
constexpr int kReadSliceMs = 1000;
// The allowance stops growing here: no modem's answer is this long (a full storage of the
// longest messages is a few hundred kilobytes), so line noise cannot keep a wait open for ever.
constexpr qint64 kMaxAnswerBytes = 1 << 20;

} // namespace

// The deadline of one wait. An answer that is still arriving is not cut off: the time-out
// counts from the last byte received. A total bound that grows with each byte received keeps
// a modem that trickles noise without ever finishing from holding the wait for ever, while a
// long answer (a listing of many stored messages on a slow line) finishes at any line speed.
class AtChannel::AnswerClock
{
public:
    AnswerClock(const AtChannel &channel, int timeoutMs)
        : m_channel(channel)
        , m_nTimeoutMs(qMax(timeoutMs, 0))
        , m_nStartBytes(channel.m_nBytesRead)
        , m_start(Clock::now())
        , m_last(m_start)
    {
    }

    qint64 Bytes() const { return m_channel.m_nBytesRead - m_nStartBytes; }

    int MsLeft()
    {
        if (Bytes() != m_nSeen) {
            m_nSeen = Bytes();
            m_last = Clock::now();
        }
        const auto timeout = std::chrono::milliseconds(m_nTimeoutMs);
        const auto allowance = std::chrono::milliseconds(qMin(m_nSeen, kMaxAnswerBytes) * m_channel.m_nMsPerByte);
        return ::MsLeft(qMin(m_last + timeout, m_start + timeout + allowance));
    }

private:
    const AtChannel &m_channel;
    int m_nTimeoutMs;
    qint64 m_nStartBytes;
    qint64 m_nSeen = 0;
    Clock::time_point m_start;
    Clock::time_point m_last;
};

QString AtChannel::Answer::Info(const QString &prefix) const
{
    for (const QString &line : lines) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed();
    }
    return QString();
}

AtChannel::AtChannel(IModemIo &port, int wakeFd, const std::atomic<bool> *stop)
    : m_port(port)
    , m_nWakeFd(wakeFd)
    , m_pStop(stop)
{
}

bool AtChannel::Stopped() const
{
    return m_pStop != nullptr && m_pStop->load();
}

bool AtChannel::TakeWoken()
{
    const bool woken = m_bWoken;
    m_bWoken = false;
    return woken;
}

void AtChannel::DrainWake()
{
    if (m_nWakeFd < 0)
        return;
    quint64 value = 0;
    // The descriptor is non-blocking: nothing to read means nobody woke us.
    while (::read(m_nWakeFd, &value, sizeof value) == ssize_t(sizeof value))
        m_bWoken = true;
}

bool AtChannel::LinkLost() const
{
    return m_port.IsGone() || m_bWriteRefused || m_nSilentWaits >= kSilentWaits;
}

void AtChannel::ResetLink()
{
    m_bWriteRefused = false;
    m_nSilentWaits = 0;
}

void AtChannel::Received(const char *data, int size)
{
    if (size <= 0)
        return;
    m_nBytesRead += size;
    m_nSilentWaits = 0;
    m_parser.Feed(QByteArray(data, size));
}

void AtChannel::TimedOut(const AnswerClock &clock)
{
    if (clock.Bytes() == 0)
        ++m_nSilentWaits;
}

bool AtChannel::Pump(int timeoutMs)
{
    if (Stopped() && !m_bIgnoreStop)
        return false;
    timeoutMs = qMin(timeoutMs, kReadSliceMs);
    if (!m_port.IsOpen() || m_port.IsGone()) {
        // Nothing to read from; wait for the time or a wake-up rather than spin.
        pollfd pfd{m_nWakeFd, POLLIN, 0};
        ::poll(&pfd, m_nWakeFd >= 0 ? 1 : 0, timeoutMs);
        DrainWake();
        return !(Stopped() && !m_bIgnoreStop);
    }
    char buffer[4096];
    const int got = m_port.ReadTimed(buffer, int(sizeof buffer), timeoutMs, 0, m_bIgnoreStop ? -1 : m_nWakeFd);
    Received(buffer, got);
    DrainWake();
    return !(Stopped() && !m_bIgnoreStop);
}

bool AtChannel::Write(const QByteArray &bytes)
{
    if (m_port.Write(bytes.constData(), int(bytes.size())) == bytes.size())
        return true;
    m_bWriteRefused = true;
    return false;
}

AtChannel::Answer AtChannel::Command(const QByteArray &command, int timeoutMs)
{
    m_parser.DiscardAnswers();
    Answer answer;
    if (Stopped()) {
        answer.status = Status::Stopped;
        return answer;
    }
    if (LinkLost() || !Write(command)) {
        answer.status = Status::LinkDown;
        return answer;
    }
    return WaitFinal(timeoutMs);
}

AtChannel::Answer AtChannel::WaitFinal(int timeoutMs)
{
    Answer answer;
    AnswerClock clock(*this, timeoutMs);
    for (;;) {
        while (m_parser.HasLine()) {
            const QString line = m_parser.TakeLine();
            switch (AtResponseParser::FinalOf(line)) {
            case AtResponseParser::Final::Ok:
                answer.status = Status::Ok;
                answer.finalLine = line;
                answer.kind = AtResponseParser::Final::Ok;
                return answer;
            case AtResponseParser::Final::Error:
            case AtResponseParser::Final::CmsError:
            case AtResponseParser::Final::CmeError:
                answer.status = Status::Error;
                answer.finalLine = line;
                answer.kind = AtResponseParser::FinalOf(line);
                answer.code = AtResponseParser::CodeOf(line);
                return answer;
            case AtResponseParser::Final::None:
                answer.lines.append(line);
                break;
            }
        }
        if (m_port.IsGone()) {
            answer.status = Status::LinkDown;
            return answer;
        }
        const int left = clock.MsLeft();
        if (left <= 0) {
            TimedOut(clock);
            answer.status = LinkLost() ? Status::LinkDown : Status::Timeout;
            return answer;
        }
        if (!Pump(left)) {
            answer.status = Status::Stopped;
            return answer;
        }
    }
}

AtChannel::Answer AtChannel::WaitPrompt(int timeoutMs)
{
    Answer answer;
    AnswerClock clock(*this, timeoutMs);
    for (;;) {
        if (m_parser.TakePrompt()) {
            m_parser.DiscardAnswers();
            answer.status = Status::Ok;
            return answer;
        }
        while (m_parser.HasLine()) {
            const QString line = m_parser.TakeLine();
            const AtResponseParser::Final final = AtResponseParser::FinalOf(line);
            if (final == AtResponseParser::Final::None || final == AtResponseParser::Final::Ok)
                continue; // an echo, or the OK of an earlier exchange
            // TS 27.005 3.5.1: the command itself refused ("+CMS ERROR: 311" from a modem
            // whose SIM wants its PIN, say) instead of a prompt.
            answer.status = Status::Error;
            answer.finalLine = line;
            answer.kind = final;
            answer.code = AtResponseParser::CodeOf(line);
            return answer;
        }
        if (m_port.IsGone()) {
            answer.status = Status::LinkDown;
            return answer;
        }
        const int left = clock.MsLeft();
        if (left <= 0) {
            TimedOut(clock);
            answer.status = LinkLost() ? Status::LinkDown : Status::Timeout;
            return answer;
        }
        if (!Pump(left)) {
            answer.status = Status::Stopped;
            return answer;
        }
    }
}

bool AtChannel::Escape()
{
    if (!Write(QByteArrayLiteral("\x1b")))
        return false;
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(m_nEscapePauseMs);
    for (int left = MsLeft(until); left > 0 && !m_port.IsGone(); left = MsLeft(until)) {
        char buffer[4096];
        const int got = m_port.IsOpen() ? m_port.ReadTimed(buffer, int(sizeof buffer), left, 0, -1) : 0;
        if (got > 0)
            Received(buffer, got);
        else if (!m_port.IsOpen())
            break;
    }
    m_parser.DiscardAnswers();
    return true;
}

bool AtChannel::Resync(int timeoutMs, int attempts)
{
    // ESC ends a PDU entry the modem may still be in (TS 27.005 3.5.1) without sending.
    if (LinkLost())
        return false;
    Escape();
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (Stopped() || LinkLost())
            return false;
        m_parser.DiscardAnswers();
        if (!Write(QByteArrayLiteral("AT+CMGF?\r")))
            return false;
        AnswerClock clock(*this, timeoutMs);
        bool sawMode = false;
        for (;;) {
            while (m_parser.HasLine()) {
                const QString line = m_parser.TakeLine();
                if (line.startsWith(QLatin1String("+CMGF:"))) {
                    sawMode = true;
                    continue;
                }
                const AtResponseParser::Final final = AtResponseParser::FinalOf(line);
                if (final == AtResponseParser::Final::None || !sawMode)
                    continue; // anything before the mode line is left over from before
                if (final == AtResponseParser::Final::Ok)
                    return true;
                sawMode = false; // an error after the mode line: ask again
            }
            const int left = clock.MsLeft();
            if (left <= 0)
                TimedOut(clock);
            if (left <= 0 || m_port.IsGone() || !Pump(left))
                break;
        }
    }
    return false;
}

void AtChannel::Idle(int timeoutMs)
{
    if (timeoutMs <= 0)
        return;
    Pump(timeoutMs);
    while (m_parser.HasLine())
        m_parser.TakeLine(); // nobody asked: a late answer or line noise
    m_parser.TakePrompt();
}

void AtChannel::Drain(int quietMs, int limitMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        const int left = MsLeft(deadline);
        if (left <= 0 || Stopped())
            break;
        char buffer[4096];
        const int got = m_port.IsOpen() ? m_port.ReadTimed(buffer, int(sizeof buffer), qMin(quietMs, left), 0, -1) : 0;
        if (got <= 0)
            break;
        Received(buffer, got);
    }
    m_parser.DiscardAnswers();
}
