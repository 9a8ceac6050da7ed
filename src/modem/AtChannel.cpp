#include "AtChannel.h"
#include "CSerialPort.h"

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

} // namespace

AtChannel::AtChannel(CSerialPort &port, int wakeFd, const std::atomic<bool> *stop)
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

bool AtChannel::Pump(int timeoutMs)
{
    if (Stopped() && !m_bIgnoreStop)
        return false;
    if (!m_port.IsOpen()) {
        // Nothing to read from; wait for the time or a wake-up rather than spin.
        pollfd pfd{m_nWakeFd, POLLIN, 0};
        ::poll(&pfd, m_nWakeFd >= 0 ? 1 : 0, timeoutMs);
        DrainWake();
        return !(Stopped() && !m_bIgnoreStop);
    }
    char buffer[4096];
    const int got = m_port.ReadTimed(buffer, int(sizeof buffer), timeoutMs, 0, m_bIgnoreStop ? -1 : m_nWakeFd);
    if (got > 0)
        m_parser.Feed(QByteArray(buffer, got));
    DrainWake();
    return !(Stopped() && !m_bIgnoreStop);
}

bool AtChannel::Write(const QByteArray &bytes)
{
    return m_port.Write(bytes.constData(), int(bytes.size())) == bytes.size();
}

AtChannel::Answer AtChannel::Command(const QByteArray &command, int timeoutMs)
{
    m_parser.DiscardAnswers();
    Answer answer;
    if (Stopped()) {
        answer.status = Status::Stopped;
        return answer;
    }
    if (!Write(command)) {
        answer.status = Status::LinkDown;
        return answer;
    }
    return WaitFinal(timeoutMs);
}

AtChannel::Answer AtChannel::WaitFinal(int timeoutMs)
{
    Answer answer;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        while (m_parser.HasLine()) {
            const QString line = m_parser.TakeLine();
            switch (AtResponseParser::FinalOf(line)) {
            case AtResponseParser::Final::Ok:
                answer.status = Status::Ok;
                answer.finalLine = line;
                return answer;
            case AtResponseParser::Final::Error:
            case AtResponseParser::Final::CmsError:
            case AtResponseParser::Final::CmeError:
                answer.status = Status::Error;
                answer.finalLine = line;
                return answer;
            case AtResponseParser::Final::None:
                answer.lines.append(line);
                break;
            }
        }
        const int left = MsLeft(deadline);
        if (left <= 0) {
            answer.status = Status::Timeout;
            return answer;
        }
        if (!Pump(left)) {
            answer.status = Status::Stopped;
            return answer;
        }
    }
}

AtChannel::Status AtChannel::WaitPrompt(int timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (m_parser.TakePrompt()) {
            m_parser.DiscardAnswers();
            return Status::Ok;
        }
        while (m_parser.HasLine())
            m_parser.TakeLine(); // late answers of an earlier command
        const int left = MsLeft(deadline);
        if (left <= 0)
            return Status::Timeout;
        if (!Pump(left))
            return Status::Stopped;
    }
}

bool AtChannel::Resync(int timeoutMs, int attempts)
{
    // ESC ends a PDU entry the modem may still be in (TS 27.005 3.5.1) without sending.
    Write(QByteArrayLiteral("\x1b"));
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (Stopped())
            return false;
        m_parser.DiscardAnswers();
        if (!Write(QByteArrayLiteral("AT+CMGF?\r")))
            return false;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
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
            const int left = MsLeft(deadline);
            if (left <= 0 || !Pump(left))
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
        m_parser.Feed(QByteArray(buffer, got));
    }
    m_parser.DiscardAnswers();
}
