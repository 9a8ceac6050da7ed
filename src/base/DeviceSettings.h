#pragma once
// The device strings of section SYSTEM, and their conversion for the serial port.
#include "CSettingsFile.h"
#include <QString>

struct DeviceSettings
{
    QString m_strCOM = QStringLiteral("COM1");
    QString m_strBaudRate = QStringLiteral("9600");
    QString m_strSMSC = QStringLiteral("8613800591500");
    QString m_strByteSize = QStringLiteral("8");
    QString m_strParity = QStringLiteral("无");
    QString m_strStopBits = QStringLiteral("1");
    QString m_strPIN; // the SIM's PIN, entered once when the SIM asks for it; "" none

    static const QString kSection; // "SYSTEM"

    static DeviceSettings Read(const CSettingsFile &file);
    // Writes the keys in the order COM, BaudRate, SMSC, ByteSize, Parity, StopBits, PIN.
    bool Write(CSettingsFile &file) const;

    quint32 BaudRateValue() const;  // plain decimal conversion, 0 when not a number
    quint8 ByteSizeValue() const;
    quint8 ParityCode() const;      // "无" 0, "奇校验" 1, "偶校验" 2, "标记" 3, "空格" 4, else 0
    quint8 StopBitsCode() const;    // "1" 0, "1.5" 1, "2" 2, else 0

    static quint8 ParityCode(const QString &word);
    static quint8 StopBitsCode(const QString &text);
};
