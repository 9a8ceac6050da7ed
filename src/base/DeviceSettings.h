#pragma once
// The device strings of one modem, and their conversion for the serial port. The first modem
// is section SYSTEM; a pool's further modems are sections MODEM2, MODEM3, ... with the same
// keys, where an empty key means "as the first modem".
#include "CSettingsFile.h"
#include "SimRules.h"
#include <QString>
#include <QVector>

struct DeviceSettings
{
    QString m_strCOM = QStringLiteral("COM1");
    QString m_strBaudRate = QStringLiteral("9600");
    QString m_strSMSC = QStringLiteral("8613800591500");
    QString m_strByteSize = QStringLiteral("8");
    QString m_strParity = QStringLiteral("无");
    QString m_strStopBits = QStringLiteral("1");
    QString m_strPIN; // the SIM's PIN, entered once when the SIM asks for it; "" none
    // Name=: what the status bar and the tray call this modem ("" : the last part of its
    // port). A modem's own: a further modem never takes the first one's.
    QString m_strName;
    // [SYSTEM] Report=1: every message asks for a delivery report. One switch for the whole
    // pool, kept in the first modem's section; a further modem's copy follows it.
    bool m_bReport = false;
    // [SYSTEM] Share=1: what this station queues may be sent by any station that shares the
    // pool on the same database, and its modems take any shared message. Off: a station sends
    // what it queued itself. Kept, like Report, in the first modem's section.
    bool m_bShare = false;
    // [SYSTEM] OptOutWords=: the replies that put their sender on the opt-out list, separated
    // by commas (the whole text, trimmed, capitals and full-width forms as the others). Kept,
    // like Report, in the first modem's section.
    QString m_strOptOutWords = QStringLiteral("TD,T,N,R,退订,STOP");
    // What keeps the SIM alive (SimRules): its limits and the pause between its submits, the
    // modem's own (a further modem's empty key: as the first modem); the quiet hours, the
    // pool's, kept like Report in the first modem's section. Texts as the file has them.
    QString m_strLimitHour;
    QString m_strLimitDay;
    QString m_strLimitMonth;
    QString m_strIntervalMin;
    QString m_strIntervalMax;
    QString m_strQuietFrom;
    QString m_strQuietTo;

    static const QString kSection; // "SYSTEM"

    static DeviceSettings Read(const CSettingsFile &file);
    // Writes the keys in the order COM, BaudRate, SMSC, ByteSize, Parity, StopBits, PIN, Name, Report,
    // Share, OptOutWords, then the SIM's rules that are set or were.
    bool Write(CSettingsFile &file) const;

    // "SYSTEM" for the first modem (index 0), "MODEM2" for the second, ...
    static QString SectionOf(int index);
    // Every modem, the first one first, as the file says: the first with its defaults, the
    // others with their empty keys. The list ends before the first MODEMn without a port.
    static QVector<DeviceSettings> ReadList(const CSettingsFile &file);
    // Writes every modem to its section and removes the sections of modems beyond the list.
    static bool WriteList(CSettingsFile &file, const QVector<DeviceSettings> &list);
    // A further modem's settings with each empty key taken from the first modem's (its name
    // excepted).
    DeviceSettings Resolved(const DeviceSettings &first) const;
    // A further modem's settings as the operator has not set any: every key empty.
    static DeviceSettings AsFirst();
    // The pool's switches (Report, Share, OptOutWords) taken from the first modem's settings.
    void TakeSwitches(const DeviceSettings &first);

    // The name the operator reads: Name, else the last part of the port ("ttyUSB0" for
    // /dev/ttyUSB0, "COM1").
    QString ShortName() const;
    static QString ShortName(const QString &name, const QString &port);

    quint32 BaudRateValue() const;  // plain decimal conversion, 0 when not a number
    quint8 ByteSizeValue() const;
    quint8 ParityCode() const;      // "无" 0, "奇校验" 1, "偶校验" 2, "标记" 3, "空格" 4, else 0
    quint8 StopBitsCode() const;    // "1" 0, "1.5" 1, "2" 2, else 0

    SimRules Rules() const;

    static quint8 ParityCode(const QString &word);
    static quint8 StopBitsCode(const QString &text);
};
