#pragma once
// The modem's answer to AT+CSQ (3GPP TS 27.007 8.5), from the worker to the main window.
#include <QMetaType>
#include <QString>
#include <optional>

struct SignalQuality
{
    int m_nRssi = 99; // 0 (-113 dBm or less) .. 31 (-51 dBm or more); 99 not known
    int m_nBer = 99;  // bit error rate class 0..7; 99 not known

    bool IsKnown() const { return m_nRssi >= 0 && m_nRssi <= 31; }
    int Percent() const { return IsKnown() ? (m_nRssi * 100 + 15) / 31 : -1; } // -1 when not known
    int Dbm() const { return -113 + 2 * m_nRssi; }

    // "+CSQ: <rssi>,<ber>"; nullopt for any other line.
    static std::optional<SignalQuality> Parse(const QString &line);
};

Q_DECLARE_METATYPE(SignalQuality)
