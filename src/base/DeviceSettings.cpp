#include "DeviceSettings.h"

const QString DeviceSettings::kSection = QStringLiteral("SYSTEM");

namespace {
const SettingsKey<DeviceSettings> kKeys[] = {
    {"COM", &DeviceSettings::m_strCOM},       {"BaudRate", &DeviceSettings::m_strBaudRate},
    {"SMSC", &DeviceSettings::m_strSMSC},     {"ByteSize", &DeviceSettings::m_strByteSize},
    {"Parity", &DeviceSettings::m_strParity}, {"StopBits", &DeviceSettings::m_strStopBits},
    {"PIN", &DeviceSettings::m_strPIN},
};

// Leading decimal digits, as a C decimal conversion reads them.
quint32 LeadingNumber(const QString &text)
{
    quint64 n = 0;
    const QString t = text.trimmed();
    for (QChar c : t) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        n = n * 10 + quint64(c.unicode() - '0');
        if (n > 0xFFFFFFFFull)
            return 0;
    }
    return quint32(n);
}
} // namespace

DeviceSettings DeviceSettings::Read(const CSettingsFile &file)
{
    DeviceSettings s;
    file.ReadKeys(kSection, kKeys, s);
    return s;
}

bool DeviceSettings::Write(CSettingsFile &file) const
{
    return file.WriteKeys(kSection, kKeys, *this);
}

quint32 DeviceSettings::BaudRateValue() const { return LeadingNumber(m_strBaudRate); }
quint8 DeviceSettings::ByteSizeValue() const { return quint8(LeadingNumber(m_strByteSize)); }
quint8 DeviceSettings::ParityCode() const { return ParityCode(m_strParity); }
quint8 DeviceSettings::StopBitsCode() const { return StopBitsCode(m_strStopBits); }

quint8 DeviceSettings::ParityCode(const QString &word)
{
    if (word == QStringLiteral("奇校验"))
        return 1;
    if (word == QStringLiteral("偶校验"))
        return 2;
    if (word == QStringLiteral("标记"))
        return 3;
    if (word == QStringLiteral("空格"))
        return 4;
    return 0;
}

quint8 DeviceSettings::StopBitsCode(const QString &text)
{
    if (text == QStringLiteral("1.5"))
        return 1;
    if (text == QStringLiteral("2"))
        return 2;
    return 0;
}
