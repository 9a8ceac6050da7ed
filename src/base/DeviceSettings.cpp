#include "DeviceSettings.h"

const QString DeviceSettings::kSection = QStringLiteral("SYSTEM");

namespace {
const SettingsKey<DeviceSettings> kKeys[] = {
    {"COM", &DeviceSettings::m_strCOM},       {"BaudRate", &DeviceSettings::m_strBaudRate},
    {"SMSC", &DeviceSettings::m_strSMSC},     {"ByteSize", &DeviceSettings::m_strByteSize},
    {"Parity", &DeviceSettings::m_strParity}, {"StopBits", &DeviceSettings::m_strStopBits},
    {"PIN", &DeviceSettings::m_strPIN},
};
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
        && file.WriteString(kSection, QStringLiteral("OptOutWords"), m_strOptOutWords.trimmed());
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
    return s;
}

void DeviceSettings::TakeSwitches(const DeviceSettings &first)
{
    m_bReport = first.m_bReport;
    m_bShare = first.m_bShare;
    m_strOptOutWords = first.m_strOptOutWords;
}

QVector<DeviceSettings> DeviceSettings::ReadList(const CSettingsFile &file)
{
    QVector<DeviceSettings> list{Read(file)};
    for (int i = 1;; ++i) {
        DeviceSettings further = AsFirst();
        file.ReadKeys(SectionOf(i), kKeys, further);
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
                                        && file.WriteString(SectionOf(i), kName, list.at(i).m_strName.trimmed());
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
