#pragma once
// The simulated modem's SIM and network: a SIM that may want its PIN (and, after three wrong
// ones, its PUK) or be missing, a registration that comes a while after the SIM is ready, and
// coverage that can go for a while. Called with the simulator's mutex held.
#include <QString>

#include <chrono>
#include <optional>

class RadioState
{
public:
    using Clock = std::chrono::steady_clock;
    enum class Sim { Ready, PinNeeded, PukNeeded, Absent };

    void SetPin(const QString &pin); // "" : a SIM without PIN, ready
    void SetAbsent(bool absent);
    // Registered ms after now, or after the PIN when the SIM waits for it.
    void SetRegistrationDelay(int ms);
    void LoseCoverage(int ms);

    Sim SimState() const;
    // TS 27.007 8.3 +CPIN=<pin>: true when it is the PIN; the third wrong one locks the SIM
    // behind its PUK.
    bool EnterPin(const QString &pin);
    // TS 27.007 7.2 <stat> now: 0 not registered (no usable SIM), 2 searching, 1 home.
    int RegistrationStat() const;
    bool Registered() const { return RegistrationStat() == 1; }
    // When <stat> may change next by itself; nullopt when it will not.
    std::optional<Clock::time_point> NextChange() const;

    int cregMode = 0;   // AT+CREG=<n>: 1 announces each change with "+CREG: <stat>"
    // The SIM's identity (TS 27.007 7.1 +CIMI; the ICCID of its card, "" when the modem knows no
    // command for it): one of its own for every simulated modem.
    QString imsi;
    QString iccid;
    int announced = -1; // the <stat> last announced

private:
    QString m_pin;
    bool m_bUnlocked = true;
    int m_nWrong = 0;
    bool m_bAbsent = false;
    int m_nDelayMs = 0;
    Clock::time_point m_readyAt = Clock::now(); // the SIM became ready
    Clock::time_point m_coverageBackAt {};
};
