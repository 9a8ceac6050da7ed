#pragma once
// Builds SMS-DELIVER PDUs (3GPP TS 23.040 clause 9.2.2.1) the way a network hands them to
// a modem: what the simulated modem stores and announces, and what the tests of the
// engine and the codec feed in as arrivals.
#include "sms/PduCodec.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

struct DeliverSpec
{
    // "+8613800138000" (international), "13800138000" (unknown type, the usual national
    // form) or a text of at most 11 GSM characters such as "Bank" (alphanumeric).
    QString from;
    // Overrides the type-of-address octet chosen from the form of `from` (e.g. 0xA1 for
    // a national number).
    std::optional<quint8> fromType;
    QString text;
    // Nullopt: the 7-bit default alphabet when every character has a GSM code, else UCS2.
    std::optional<Pdu::Alphabet> alphabet;
    // 8-bit data; empty: the text's Latin-1 bytes.
    QByteArray data;
    // Service-centre time stamp: 14 digits YYMMDDhhmmsszz as the field holds them (the
    // time-zone pair in quarter hours, its first digit + 8 when west of Greenwich); when
    // empty, taken from `time` (invalid: now).
    QString scts;
    QDateTime time;
    QString smsc = QStringLiteral("8613800100500"); // "" for no SMSC field
    quint8 pid = 0;
    // Concatenation (TS 23.040 9.2.3.24.1): a text too long for one message always gets
    // parts; forceConcat makes parts of a short one too (a single "1 of 1" part when it
    // fits). partLimit, when above 0, cuts parts smaller than the alphabet allows
    // (characters for UCS2, septets for 7-bit, octets for 8-bit).
    int concatRef = 0x5A;
    bool forceConcat = false;
    int partLimit = 0;
};

namespace DeliverBuilder {

struct Result
{
    bool ok = false;
    QString error;
    QStringList parts; // upper-case hex, part 1 first
};

Result Build(const DeliverSpec &spec);

// The 14 time-stamp digits of a local date-time with its offset from UTC.
QString TimeStampDigits(const QDateTime &time);

} // namespace DeliverBuilder
