#include "ModemStatus.h"

ModemReadiness ModemStatus::Readiness() const
{
    switch (link) {
    case Link::Down:
        return ModemReadiness::NotConnected;
    case Link::DeviceGone:
        return ModemReadiness::DeviceGone;
    case Link::NotAnswering:
        return ModemReadiness::NotAnswering;
    case Link::Connecting:
        return ModemReadiness::Connecting;
    case Link::PortMissing:
        return ModemReadiness::PortMissing;
    case Link::PortUnavailable:
        return ModemReadiness::PortUnavailable;
    case Link::Answering:
        break;
    }
    switch (sim) {
    case Sim::Unknown:
        return ModemReadiness::Starting;
    case Sim::PinNeeded:
        return ModemReadiness::PinNeeded;
    case Sim::PinRefused:
        return ModemReadiness::PinRefused;
    case Sim::PukNeeded:
        return ModemReadiness::PukNeeded;
    case Sim::Absent:
        return ModemReadiness::NoSim;
    case Sim::Unusable:
        return ModemReadiness::SimUnusable;
    case Sim::Ready:
        break;
    }
    if (!pduMode)
        return ModemReadiness::NoPduMode;
    switch (registration) {
    case Registration::Searching:
        return ModemReadiness::Searching;
    case Registration::Denied:
        return ModemReadiness::Denied;
    case Registration::NotSearching:
        return ModemReadiness::NotRegistered;
    case Registration::Unknown: // a modem that does not tell: a send will show
    case Registration::Home:
    case Registration::Roaming:
        break;
    }
    return ModemReadiness::Ready;
}

bool ModemStatus::NeedsOperator(ModemReadiness readiness)
{
    switch (readiness) {
    case ModemReadiness::NoSim:
    case ModemReadiness::SimUnusable:
    case ModemReadiness::PinNeeded:
    case ModemReadiness::PinRefused:
    case ModemReadiness::PukNeeded:
    case ModemReadiness::NoPduMode:
        return true;
    default:
        return false;
    }
}

ModemStatus::Registration ModemStatus::RegistrationOf(int stat)
{
    switch (stat) {
    case 0:
        return Registration::NotSearching;
    case 1:
    case 6: // registered for "SMS only", home network
    case 9: // registered for "CSFB not preferred", home network
        return Registration::Home;
    case 2:
        return Registration::Searching;
    case 3:
        return Registration::Denied;
    case 5:
    case 7:
    case 10:
        return Registration::Roaming;
    case 8: // attached for emergency bearer services only
        return Registration::NotSearching;
    default: // 4 unknown
        return Registration::Unknown;
    }
}

bool ModemStatus::operator==(const ModemStatus &o) const
{
    const bool sameSignal = signal.has_value() == o.signal.has_value()
        && (!signal || (signal->m_nRssi == o.signal->m_nRssi && signal->m_nBer == o.signal->m_nBer));
    return port == o.port && link == o.link && pduMode == o.pduMode && sim == o.sim && registration == o.registration
        && operatorName == o.operatorName && imsi == o.imsi && iccid == o.iccid && sameSignal;
}
