#pragma once
// What one modem is like at a glance: whether it answers, its SIM, its network registration,
// its operator and its signal. The engine keeps one per device and tells every change; the
// application and skevo-cli choose their words for it (the engine has none).
#include "SignalQuality.h"

#include <QMetaType>
#include <QString>
#include <optional>

// Whether the modem can send now, and if not, what it waits for. The first reason that
// applies, in the order link, SIM, network.
enum class ModemReadiness {
    Ready,
    NotConnected, // no port open
    Starting,     // answering, the set-up not through yet
    Connecting,   // the device being opened and the modem reached for the first time
    PortMissing,  // no device of that name (yet): looked for again and again
    PortUnavailable, // the device is there but does not open (another program holds it)
    DeviceGone,   // the device went away (unplugged); the port is opened again and again
    NotAnswering, // the device is there, the modem says nothing
    NoPduMode,    // the modem refuses PDU mode (AT+CMGF=0): it cannot be used
    NoSim,        // TS 27.007 9.2: +CME ERROR 10, SIM not inserted
    SimUnusable,  // SIM failure, SIM wrong, or a lock other than the PIN and the PUK
    PinNeeded,    // "+CPIN: SIM PIN" and no PIN configured
    PinRefused,   // the configured PIN was refused (now or before): never entered again
    PukNeeded,    // "+CPIN: SIM PUK": only the operator can unlock it
    Searching,    // TS 27.007 7.2 <stat> 2: not registered, searching
    Denied,       // <stat> 3: registration denied
    NotRegistered // <stat> 0: not registered, not searching
};

struct ModemStatus
{
    enum class Link { Down, Connecting, PortMissing, PortUnavailable, Answering, DeviceGone, NotAnswering };
    enum class Sim { Unknown, Ready, PinNeeded, PinRefused, PukNeeded, Absent, Unusable };
    // TS 27.007 7.2 <stat>: 1 home, 5 roaming, 2 searching, 3 denied, 0 not searching.
    enum class Registration { Unknown, Home, Roaming, Searching, Denied, NotSearching };

    QString port;          // the device as it was opened
    Link link = Link::Down;
    bool pduMode = true;   // false: AT+CMGF=0 refused
    Sim sim = Sim::Unknown;
    Registration registration = Registration::Unknown;
    QString operatorName;  // AT+COPS? in long alphanumeric form; "" while not known
    // The SIM (TS 27.007 7.1 AT+CIMI; the ICCID where the modem gives it), read once the SIM
    // is ready: the modem's identity, whatever port it is on. "" while not known.
    QString imsi;
    QString iccid;
    std::optional<SignalQuality> signal;

    ModemReadiness Readiness() const;
    bool IsReady() const { return Readiness() == ModemReadiness::Ready; }
    // Waiting for the operator (a SIM to put in, a PIN or PUK to give): nothing changes by itself.
    static bool NeedsOperator(ModemReadiness readiness);
    static Registration RegistrationOf(int stat);
    bool operator==(const ModemStatus &other) const;
};

Q_DECLARE_METATYPE(ModemStatus)
