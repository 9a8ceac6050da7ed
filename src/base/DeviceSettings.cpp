#include "DeviceSettings.h"

const QString DeviceSettings::kSection = QStringLiteral("SYSTEM");

namespace {
const SettingsKey<DeviceSettings> kKeys[] = {
    {"COM", &DeviceSettings::m_strCOM},       {"BaudRate", &DeviceSettings::m_strBaudRate},
    {"SMSC", &DeviceSettings::m_strSMSC},     {"ByteSize", &DeviceSettings::m_strByteSize},
    {"Parity", &DeviceSettings::m_strParity}, {"StopBits", &DeviceSettings::m_strStopBits},
    {"PIN", &DeviceSettings::m_strPIN},
};
// The SIM's rules of each modem: an empty key of a further modem is "as the first modem".
const SettingsKey<DeviceSettings> kRuleKeys[] = {
    {"LimitHour", &DeviceSettings::m_strLimitHour},     {"LimitDay", &DeviceSettings::m_strLimitDay},
    {"LimitMonth", &DeviceSettings::m_strLimitMonth},   {"IntervalMin", &DeviceSettings::m_strIntervalMin},
    {"IntervalMax", &DeviceSettings::m_strIntervalMax},
};
// The pool's quiet hours, in the first modem's section only.
const SettingsKey<DeviceSettings> kQuietKeys[] = {
    {"QuietFrom", &DeviceSettings::m_strQuietFrom},
    {"QuietTo", &DeviceSettings::m_strQuietTo},
};

// Keys a file never had stay out of it while they are empty: a file written before them reads
// the same as before.
template <std::size_t N>
bool WriteSetKeys(CSettingsFile &file, const QString &section, const SettingsKey<DeviceSettings> (&keys)[N],
                  const DeviceSettings &from)
{
    static const QString absent = QStringLiteral("\x01");
    for (const SettingsKey<DeviceSettings> &k : keys) {
        const QString value = (from.*k.member).trimmed();
        if (value.isEmpty() && file.ReadString(section, QLatin1String(k.name), absent) == absent)
            continue;
        if (!file.WriteString(section, QLatin1String(k.name), value))
            return false;
    }
    return true;
}

// Not among the keys above: a further modem's empty name is no "as the first modem".
const QString kName = QStringLiteral("Name");

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
    file.ReadKeys(kSection, kRuleKeys, s);
    file.ReadKeys(kSection, kQuietKeys, s);
    s.m_strName = file.ReadString(kSection, kName, QString()).trimmed();
    s.m_bReport = file.ReadString(kSection, QStringLiteral("Report"), QString()).trimmed() == QLatin1String("1");
    s.m_bShare = file.ReadString(kSection, QStringLiteral("Share"), QString()).trimmed() == QLatin1String("1");
    s.m_strOptOutWords = file.ReadString(kSection, QStringLiteral("OptOutWords"), s.m_strOptOutWords).trimmed();
    return s;
}

bool DeviceSettings::Write(CSettingsFile &file) const
{
    return file.WriteKeys(kSection, kKeys, *this) && file.WriteString(kSection, kName, m_strName.trimmed())
        && file.WriteString(kSection, QStringLiteral("Report"), m_bReport ? QStringLiteral("1") : QStringLiteral("0"))
        && file.WriteString(kSection, QStringLiteral("Share"), m_bShare ? QStringLiteral("1") : QStringLiteral("0"))
        && file.WriteString(kSection, QStringLiteral("OptOutWords"), m_strOptOutWords.trimmed())
        && WriteSetKeys(file, kSection, kRuleKeys, *this) && WriteSetKeys(file, kSection, kQuietKeys, *this);
}

QString DeviceSettings::SectionOf(int index)
{
    return index <= 0 ? kSection : QStringLiteral("MODEM%1").arg(index + 1);
}

DeviceSettings DeviceSettings::AsFirst()
{
    DeviceSettings s;
    for (const SettingsKey<DeviceSettings> &k : kKeys)
        (s.*k.member).clear();
    for (const SettingsKey<DeviceSettings> &k : kRuleKeys)
        (s.*k.member).clear();
    return s;
}

void DeviceSettings::TakeSwitches(const DeviceSettings &first)
{
    m_bReport = first.m_bReport;
    m_bShare = first.m_bShare;
    m_strOptOutWords = first.m_strOptOutWords;
    m_strQuietFrom = first.m_strQuietFrom;
    m_strQuietTo = first.m_strQuietTo;
}

QVector<DeviceSettings> DeviceSettings::ReadList(const CSettingsFile &file)
{
    QVector<DeviceSettings> list{Read(file)};
    for (int i = 1;; ++i) {
        DeviceSettings further = AsFirst();
        file.ReadKeys(SectionOf(i), kKeys, further);
        file.ReadKeys(SectionOf(i), kRuleKeys, further);
        // Two modems cannot share a port: a section without one is no modem (it may hold no
        // more than a refused PIN's digest).
        if (further.m_strCOM.trimmed().isEmpty())
            break;
        further.TakeSwitches(list.first());
        further.m_strName = file.ReadString(SectionOf(i), kName, QString()).trimmed();
        list.append(further);
    }
    return list;
}

bool DeviceSettings::WriteList(CSettingsFile &file, const QVector<DeviceSettings> &list)
{
    for (int i = 0; i < list.size(); ++i) {
        const bool written = i == 0 ? list.at(i).Write(file)
                                    : file.WriteKeys(SectionOf(i), kKeys, list.at(i))
                                        && file.WriteString(SectionOf(i), kName, list.at(i).m_strName.trimmed())
                                        && WriteSetKeys(file, SectionOf(i), kRuleKeys, list.at(i));
        if (!written)
            return false;
    }
    // The sections of modems no longer listed, up to the first that is not there.
    for (int i = qMax<int>(1, int(list.size()));; ++i) {
        DeviceSettings further = AsFirst();
        file.ReadKeys(SectionOf(i), kKeys, further);
        const bool more = !further.m_strCOM.trimmed().isEmpty();
        if (!file.RemoveSection(SectionOf(i)))
            return false;
        if (!more)
            break;
    }
    return true;
}

DeviceSettings DeviceSettings::Resolved(const DeviceSettings &first) const
{
    DeviceSettings r = *this;
    for (const SettingsKey<DeviceSettings> &k : kKeys) {
        if ((r.*k.member).trimmed().isEmpty())
            r.*k.member = first.*k.member;
    }
    for (const SettingsKey<DeviceSettings> &k : kRuleKeys) {
        if ((r.*k.member).trimmed().isEmpty())
            r.*k.member = first.*k.member;
    }
    r.TakeSwitches(first);
    return r;
}

QString DeviceSettings::ShortName() const
{
    return ShortName(m_strName, m_strCOM);
}

QString DeviceSettings::ShortName(const QString &name, const QString &port)
{
    if (!name.trimmed().isEmpty())
        return name.trimmed();
    const QString p = port.trimmed();
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

SimRules DeviceSettings::Rules() const
{
    SimRules r;
    r.limitHour = SimRules::Number(m_strLimitHour);
    r.limitDay = SimRules::Number(m_strLimitDay);
    r.limitMonth = SimRules::Number(m_strLimitMonth);
    r.intervalMin = SimRules::Number(m_strIntervalMin);
    r.intervalMax = SimRules::Number(m_strIntervalMax);
    r.quietFrom = SimRules::TimeOfDay(m_strQuietFrom);
    r.quietTo = SimRules::TimeOfDay(m_strQuietTo);
    return r;
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
