#include "RadioState.h"

void RadioState::SetPin(const QString &pin)
{
    m_pin = pin;
    m_bUnlocked = pin.isEmpty();
    m_nWrong = 0;
    if (m_bUnlocked)
        m_readyAt = Clock::now();
}

void RadioState::SetAbsent(bool absent)
{
    m_bAbsent = absent;
}

void RadioState::SetRegistrationDelay(int ms)
{
    m_nDelayMs = qMax(ms, 0);
    if (SimState() == Sim::Ready)
        m_readyAt = Clock::now();
}

void RadioState::LoseCoverage(int ms)
{
    m_coverageBackAt = Clock::now() + std::chrono::milliseconds(qMax(ms, 0));
}

RadioState::Sim RadioState::SimState() const
{
    if (m_bAbsent)
        return Sim::Absent;
    if (m_bUnlocked)
        return Sim::Ready;
    return m_nWrong >= 3 ? Sim::PukNeeded : Sim::PinNeeded;
}

bool RadioState::EnterPin(const QString &pin)
{
    if (SimState() != Sim::PinNeeded)
        return false;
    if (pin != m_pin) {
        ++m_nWrong;
        return false;
    }
    m_bUnlocked = true;
    m_readyAt = Clock::now();
    return true;
}

int RadioState::RegistrationStat() const
{
    if (SimState() != Sim::Ready)
        return 0;
    const Clock::time_point now = Clock::now();
    if (now < m_readyAt + std::chrono::milliseconds(m_nDelayMs) || now < m_coverageBackAt)
        return 2;
    return 1;
}

std::optional<RadioState::Clock::time_point> RadioState::NextChange() const
{
    if (SimState() != Sim::Ready)
        return std::nullopt;
    const Clock::time_point now = Clock::now();
    const Clock::time_point registered = std::max(m_readyAt + std::chrono::milliseconds(m_nDelayMs), m_coverageBackAt);
    if (registered > now)
        return registered;
    return std::nullopt;
}
