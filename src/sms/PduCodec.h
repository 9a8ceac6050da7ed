#pragma once
// SMS-SUBMIT / SMS-DELIVER / SMS-STATUS-REPORT transfer PDUs in the hexadecimal text form of PDU mode
// (3GPP TS 27.005 clause 3), laid out as 3GPP TS 23.040 clause 9.2 says, with the
// alphabets of 3GPP TS 23.038. Pure functions: no I/O, no state.
#include "base/SmsRecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace Pdu {

// What one message carries, and what a part of a concatenated one carries beside its
// 6-octet header (TS 23.040 9.2.3.16, 9.2.3.24.1).
constexpr int kMaxSeptets = 160;
constexpr int kMaxOctets = 140;
constexpr int kMaxUcs2Units = 70;
constexpr int kPartSeptets = 153;
constexpr int kPartOctets = 134;
constexpr int kPartUcs2Units = 67;

// Concatenated short message information element (TS 23.040 9.2.3.24.1 / .8).
struct ConcatInfo
{
    int ref = 0;   // reference number (8 or 16 bit)
    int part = 0;  // 1-based sequence number
    int count = 0; // total number of parts
    bool operator==(const ConcatInfo &) const = default;
};

enum class Alphabet { Gsm7, EightBit, Ucs2 };

struct Decoded
{
    enum Kind { Deliver, Submit } kind = Deliver;
    QString smsc;          // digits, "" when the SMSC information length is 0
    quint8 firstOctet = 0;
    int messageRef = 0;    // submit only
    QString number;        // digits without "+", or the text of an alphanumeric address
    quint8 numberType = 0; // type-of-address octet
    quint8 pid = 0;
    quint8 dcs = 0;
    QString scts;          // deliver: 14 digits as the field holds them; submit: ""
    std::optional<QByteArray> udh; // raw user-data header without its length octet
    std::optional<ConcatInfo> concat;
    QString text;
    QByteArray rawUserData; // 8-bit data octets (without header) when the alphabet is 8-bit
};

struct DecodeResult
{
    bool ok = false;
    QString error; // one line, English, for the command line and logs
    Decoded pdu;
};

// Decodes either kind; the message type indicator of the first TPDU octet decides.
DecodeResult Decode(const QString &hex);
DecodeResult DecodeDeliverPdu(const QString &hex);
DecodeResult DecodeSubmitPdu(const QString &hex);

// SMS-STATUS-REPORT (TS 23.040 9.2.2.3): what became of a message this side submitted.
struct StatusReport
{
    QString smsc;          // digits, "" when the SMSC information length is 0
    quint8 firstOctet = 0x02;
    int messageRef = 0;    // TP-MR of the SMS-SUBMIT it reports on
    QString recipient;     // TP-RA: digits without "+"
    quint8 recipientType = 0x91;
    QString scts;          // 14 digits: when the service centre took the message
    QString discharge;     // 14 digits (TP-DT): when it was delivered, or failed for good
    quint8 status = 0;     // TP-ST (9.2.3.15)
    // The optional fields that TP-PI (9.2.3.27) announces.
    std::optional<quint8> pid;
    std::optional<quint8> dcs;
    std::optional<QString> text;
    bool operator==(const StatusReport &) const = default;
};

struct StatusReportResult
{
    bool ok = false;
    QString error;
    StatusReport report;
};

// The message type indicator of a PDU's first TPDU octet (TS 23.040 9.2.3.1), -1 when the
// text is no PDU or ends before it. 0 SMS-DELIVER, 1 SMS-SUBMIT, 2 SMS-STATUS-REPORT as a
// modem hands them over.
int MessageTypeOf(const QString &hex);
constexpr int kStatusReportType = 2;
StatusReportResult DecodeStatusReport(const QString &hex);
// For the simulated modem and the tests: the report as a service centre sends it.
QString EncodeStatusReport(const StatusReport &report);

// What TP-ST says of the delivery (TS 23.040 9.2.3.15): 0x00-0x1F the transaction is
// completed (delivered, or forwarded, or replaced); 0x20-0x3F the service centre is still
// trying; 0x40-0x7F it has given up. Reserved values above are taken as a failure.
enum class Delivery { Pending, Delivered, Failed };
Delivery DeliveryOf(quint8 status);

struct EncodeResult
{
    bool ok = false;
    QString error;
    QStringList parts; // upper-case hex text of each SMS-SUBMIT, in sending order
};

// Encodes the record as one SMS-SUBMIT, or as concatenated parts when the text does not
// fit one message (UCS2: more than 70 characters, 67 a part; 7-bit: more than 160 septets,
// 153 a part; 8-bit: more than 140 octets, 134 a part). concatRef is the 8-bit reference
// the parts carry. The destination goes out in international form as the number rule
// (base/NumberRules) sends it: 13800000000 as 8613800000000, +85291234567 as 85291234567.
// Fails on a number the address field cannot carry (over 20 digits) or holding anything but
// digits (a leading "+" is allowed), and on an SMSC of that kind.
// statusReport sets TP-SRR (TS 23.040 9.2.3.5) in every part: the service centre then
// answers each with an SMS-STATUS-REPORT.
EncodeResult EncodeSubmitPdu(const SmsRecord &record, quint8 concatRef = 0, bool statusReport = false);

// The coding a text goes out in: the GSM 7-bit default alphabet with its extension table
// (TS 23.038 6.2.1, DCS 0x00) when it holds every character, UCS2 (DCS 0x08) otherwise.
// A text of 7-bit characters fits 160 of them in one message, 153 in each part of a
// concatenated one (an extension character takes two); in UCS2 70 and 67.
quint8 DcsFor(const QString &text);
// How many messages (SMS-SUBMITs) the text takes in the coding DcsFor gives; 0 for no text.
int MessageCount(const QString &text);

// The octet count that follows AT+CMGS=: the whole PDU less the SMSC field.
int TpduLength(const QString &hex);

// Cuts the user data of a long text into the parts of a concatenated message, at most
// `limit` units a part (septets, octets, UTF-16 units), never between an escape septet and
// its code nor inside a surrogate pair. The encoder cuts with these, and so does anything
// that builds long messages the way a sender does. No data gives one empty part.
QList<QByteArray> SplitSeptets(const QByteArray &septets, int limit);
QList<QByteArray> SplitOctets(const QByteArray &octets, int limit);
QStringList SplitUcs2(const QString &text, int limit);

// Copies what the engine keeps of a decoded message into a record.
SmsRecord ToRecord(const Decoded &pdu);
// One outgoing message: its coding follows the text (7-bit when the GSM alphabet holds it,
// a third of the messages a UCS2 text would take); id is its order (-1 none).
SmsRecord MakeRecord(const QString &smsc, const QString &number, const QString &text, qint32 id);

// Building blocks, exposed for the tests and the simulated modem.
QString OctetsToHex(const QByteArray &octets);
std::optional<QByteArray> HexToOctets(const QString &hex); // nullopt on odd length or non-hex
QString SwapSemiOctets(const QString &digits);
QString UnswapSemiOctets(const QString &swapped);
QByteArray PackSeptets(const QByteArray &septets, int fillBits = 0);
QByteArray UnpackSeptets(const QByteArray &octets, int septetCount, int fillBits = 0);
std::optional<QByteArray> ToGsm7(const QString &text);     // septets; nullopt when a character has no GSM code
QString FromGsm7(const QByteArray &septets);
Alphabet AlphabetOf(quint8 dcs); // TS 23.038 clause 4 coding groups

} // namespace Pdu
