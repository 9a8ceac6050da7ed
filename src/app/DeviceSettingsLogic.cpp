#include "DeviceSettingsLogic.h"

#include "base/CSettingsFile.h"
#include "base/PinMemory.h"
#include "at/CSerialPort.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>

namespace {

// ttyUSB2 before ttyUSB10: the name without its trailing number, then the number.
bool NaturalLess(const QString &a, const QString &b)
{
    static const QRegularExpression tail(QStringLiteral("^(.*?)(\\d+)$"));
    const QRegularExpressionMatch ma = tail.match(a), mb = tail.match(b);
    if (ma.hasMatch() && mb.hasMatch() && ma.captured(1) == mb.captured(1))
        return ma.captured(2).toULongLong() < mb.captured(2).toULongLong();
    return a < b;
}

QStringList Devices(const QString &folder, const QString &pattern)
{
    QDir dir(folder);
    QStringList out;
    for (const QString &name : dir.entryList({pattern}, QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        out << dir.absoluteFilePath(name);
    std::sort(out.begin(), out.end(), NaturalLess);
    return out;
}

// The kernel makes every 8250 port node whether or not a port is behind it; an absent one
// reports type 0.
bool HasPort(const QString &sysTtyRoot, const QString &device)
{
    QFile type(QDir(sysTtyRoot).filePath(device.section(QLatin1Char('/'), -1) + QStringLiteral("/type")));
    if (!type.open(QIODevice::ReadOnly))
        return true;
    return type.readAll().trimmed() != "0";
}

} // namespace

namespace DeviceSettingsLogic {

QStringList PortEntries(const QString &devRoot, const QString &sysTtyRoot)
{
    QStringList entries;
    for (int n = 1; n <= 9; ++n)
        entries << QStringLiteral("COM%1").arg(n);
    for (const QString &d : Devices(devRoot, QStringLiteral("ttyS*"))) {
        if (HasPort(sysTtyRoot, d))
            entries << d;
    }
    entries << Devices(devRoot, QStringLiteral("ttyUSB*"));
    entries << Devices(devRoot, QStringLiteral("ttyACM*"));
    entries << Devices(QDir(devRoot).filePath(QStringLiteral("serial/by-id")), QStringLiteral("*"));
    return entries;
}

QStringList BaudRateEntries()
{
    return {QStringLiteral("9600"), QStringLiteral("14400"), QStringLiteral("19200"),
            QStringLiteral("28800"), QStringLiteral("38400"), QStringLiteral("57600")};
}

QStringList ByteSizeEntries()
{
    return {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")};
}

QStringList ParityEntries()
{
    return {QStringLiteral("偶校验"), QStringLiteral("奇校验"), QStringLiteral("无"), QStringLiteral("标记"),
            QStringLiteral("空格")};
}

QStringList StopBitsEntries()
{
    return {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
}

int MatchEntry(const QStringList &entries, const QString &stored)
{
    // An empty text would "begin" every entry and silently turn into the first one.
    if (stored.isEmpty())
        return -1;
    // Exact first, so that a stored /dev/ttyUSB1 is not shown as /dev/ttyUSB10.
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries.at(i).compare(stored, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries.at(i).startsWith(stored, Qt::CaseInsensitive))
            return int(i);
    }
    return -1;
}

DeviceSettings Defaults(const DeviceSettings &current)
{
    DeviceSettings d;
    d.m_strCOM = QStringLiteral("COM1");
    d.m_strBaudRate = QStringLiteral("9600");
    d.m_strByteSize = QStringLiteral("8");
    d.m_strParity = QStringLiteral("无");
    d.m_strStopBits = QStringLiteral("1");
    d.m_strSMSC = current.m_strSMSC;
    d.m_strPIN = current.m_strPIN; // the SIM's, not the port's
    d.m_strName = current.m_strName; // the operator's word for this modem
    return d;
}

DeviceSettings Defaults(const DeviceSettings &current, int index)
{
    if (index <= 0)
        return Defaults(current);
    DeviceSettings d = DeviceSettings::AsFirst();
    d.m_strCOM = current.m_strCOM;
    d.m_strPIN = current.m_strPIN;
    d.m_strName = current.m_strName;
    return d;
}

namespace {
QString ValidateRules(const DeviceSettings &s)
{
    for (const QString &n : {s.m_strLimitHour, s.m_strLimitDay, s.m_strLimitMonth, s.m_strIntervalMin, s.m_strIntervalMax}) {
        if (!SimRules::IsNumber(n))
            return QStringLiteral("发送上限和发送间隔必须是整数");
    }
    if (!SimRules::IsTimeOfDay(s.m_strQuietFrom) || !SimRules::IsTimeOfDay(s.m_strQuietTo)
        || s.m_strQuietFrom.trimmed().isEmpty() != s.m_strQuietTo.trimmed().isEmpty())
        return QStringLiteral("静默时段请填写开始和结束时间, 如 21:00 至 08:00");
    return QString();
}
} // namespace

QString validate(const QVector<DeviceSettings> &edited, int *at)
{
    static const QRegularExpression pin(QStringLiteral("^([0-9]{4,8})?$"));
    QStringList devices;
    for (int i = 0; i < edited.size(); ++i) {
        if (at)
            *at = i;
        const DeviceSettings &s = edited.at(i);
        if (i == 0) {
            const QString message = validate(s);
            if (!message.isEmpty())
                return message;
        } else if (s.m_strCOM.trimmed().isEmpty()) {
            return QStringLiteral("请正确设置端口和SMSC!");
        } else if (!pin.match(s.m_strPIN).hasMatch()) {
            return QStringLiteral("PIN码必须是4到8位数字");
        } else if (const QString rules = ValidateRules(s); !rules.isEmpty()) {
            return rules;
        }
        const QString device = CSerialPort::DevicePath(s.m_strCOM.trimmed());
        if (devices.contains(device))
            return QStringLiteral("两台短信猫不能使用同一个串口: ") + s.m_strCOM.trimmed();
        devices << device;
    }
    return QString();
}

QString validate(const DeviceSettings &edited)
{
    if (edited.m_strCOM.isEmpty() || edited.m_strBaudRate.isEmpty() || edited.m_strSMSC.isEmpty())
        return QStringLiteral("请正确设置端口和SMSC!");
    // TS 11.11 / 31.102: a PIN is four to eight decimal digits.
    static const QRegularExpression pin(QStringLiteral("^([0-9]{4,8})?$"));
    if (!pin.match(edited.m_strPIN).hasMatch())
        return QStringLiteral("PIN码必须是4到8位数字");
    return ValidateRules(edited);
}

Result SaveList(CSettingsFile &file, QVector<DeviceSettings> &current, const QVector<DeviceSettings> &edited,
                const QVector<int> &origins, const QVector<bool> &pinEdited)
{
    Result r;
    r.m_strMessage = validate(edited);
    if (!r.m_strMessage.isEmpty())
        return r;
    // The refused PINs by the modem they belong to, read before the sections move.
    QStringList refused;
    for (int i = 0; i < edited.size(); ++i) {
        const int from = origins.value(i, -1);
        refused << (from >= 0 && !pinEdited.value(i) ? PinMemory::Stored(file, DeviceSettings::SectionOf(from)) : QString());
    }
    bool ok = DeviceSettings::WriteList(file, edited);
    for (int i = 0; ok && i < edited.size(); ++i)
        ok = PinMemory::Store(file, DeviceSettings::SectionOf(i), refused.at(i));
    if (!ok) {
        r.m_strMessage = QStringLiteral("无法写入设置文件 ") + file.Path();
        return r;
    }
    current = edited;
    r.m_bOk = true;
    return r;
}

} // namespace DeviceSettingsLogic
