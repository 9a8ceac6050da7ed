// Reading SMS-DELIVER, SMS-SUBMIT and SMS-STATUS-REPORT PDUs (TS 23.040 9.2.2.1 to 9.2.2.3).
#include "PduCodec.h"
#include "PduFormat.h"
#include "base/NumberRules.h"

namespace Pdu {

using namespace Format;

namespace {

// Reads the octets of a PDU front to back; every take checks the remaining length first.
class Reader
{
public:
    explicit Reader(const QByteArray &octets) : m_data(octets) {}

    bool Byte(quint8 &out, const char *field)
    {
        if (m_nPos >= m_data.size())
            return Fail(field);
        out = quint8(m_data[m_nPos++]);
        return true;
    }

    bool Bytes(qsizetype count, QByteArray &out, const char *field)
    {
        if (count < 0 || count > m_data.size() - m_nPos)
            return Fail(field);
        out = m_data.mid(m_nPos, count);
        m_nPos += count;
        return true;
    }

    QString m_strError;

private:
    bool Fail(const char *field)
    {
        m_strError = QStringLiteral("PDU ends inside the %1 (octet %2 of %3)")
                         .arg(QLatin1String(field))
                         .arg(m_nPos + 1)
                         .arg(m_data.size());
        return false;
    }

    const QByteArray &m_data;
    qsizetype m_nPos = 0;
};

// The first `count` semi-octets of a swapped field, low nibble first; filler nibbles (F) are left out.
QString SemiOctetDigits(const QByteArray &octets, int count)
{
    QString digits;
    digits.reserve(count);
    for (int i = 0; i < count && i / 2 < octets.size(); ++i) {
        const quint8 o = quint8(octets[i / 2]);
        const int nibble = (i % 2 == 0) ? (o & 0x0F) : (o >> 4);
        if (nibble != 0x0F)
            digits.append(QLatin1Char(kAddressDigits[nibble]));
    }
    return digits;
}

// TS 23.040 9.2.3.11: seven semi-octet swapped octets, kept digit for digit.
QString TimeStampDigits(const QByteArray &octets)
{
    QString digits;
    digits.reserve(octets.size() * 2);
    for (char c : octets) {
        const quint8 o = quint8(c);
        digits.append(QLatin1Char(kHexDigits[o & 0x0F]));
        digits.append(QLatin1Char(kHexDigits[o >> 4]));
    }
    return digits;
}

// TS 23.040 9.1.2.5: length in useful semi-octets, type of address, value.
bool ReadAddress(Reader &r, QString &number, quint8 &type)
{
    quint8 length = 0;
    if (!r.Byte(length, "address length") || !r.Byte(type, "type of address"))
        return false;
    QByteArray value;
    if (!r.Bytes((length + 1) / 2, value, "address"))
        return false;
    if ((type & 0x70) == 0x50) {
        // Alphanumeric (type of number 101): GSM 7-bit text filling the useful semi-octets;
        // a septet needs all of its seven bits inside them.
        number = FromGsm7(UnpackSeptets(value, length * 4 / 7));
    } else {
        number = SemiOctetDigits(value, length);
    }
    return true;
}

// TS 23.040 9.2.3.24: the information elements of a user-data header. A malformed element
// ends the walk; the header's own length still says where the text starts.
std::optional<ConcatInfo> ConcatFromHeader(const QByteArray &header)
{
    std::optional<ConcatInfo> concat;
    qsizetype pos = 0;
    while (pos + 2 <= header.size()) {
        const quint8 iei = quint8(header[pos]);
        const int length = quint8(header[pos + 1]);
        pos += 2;
        if (length > header.size() - pos)
            break;
        const auto at = [&](int i) { return int(quint8(header[pos + i])); };
        ConcatInfo info;
        bool isConcat = false;
        if (iei == 0x00 && length == 3) { // 9.2.3.24.1, 8-bit reference
            info = ConcatInfo{at(0), at(2), at(1)};
            isConcat = true;
        } else if (iei == 0x08 && length == 4) { // 9.2.3.24.8, 16-bit reference
            info = ConcatInfo{(at(0) << 8) | at(1), at(3), at(2)};
            isConcat = true;
        }
        // A count of 0, or a sequence number of 0 or past the count, voids the element;
        // when an element repeats, the last one counts.
        if (isConcat && info.count > 0 && info.part > 0 && info.part <= info.count)
            concat = info;
        pos += length;
    }
    return concat;
}

// TS 23.040 9.2.3.16 and 9.2.3.24: user-data length, optional header, then the text in the
// alphabet of the coding scheme. Octets after the user data are ignored.
bool ReadUserData(Reader &r, quint8 firstOctet, quint8 dcs, Decoded &out, QString &error)
{
    quint8 udl = 0;
    if (!r.Byte(udl, "user-data length")) {
        error = r.m_strError;
        return false;
    }
    const Alphabet alphabet = AlphabetOf(dcs);
    const bool septets = alphabet == Alphabet::Gsm7;
    const int octetCount = septets ? (udl * 7 + 7) / 8 : udl;
    QByteArray ud;
    if (!r.Bytes(octetCount, ud, "user data")) {
        error = r.m_strError;
        return false;
    }

    int offset = 0;      // first octet of the text
    int textUnits = udl; // septets or octets of text
    int fillBits = 0;
    if (firstOctet & kUdhi) {
        if (ud.isEmpty()) {
            error = QStringLiteral("user-data header flagged but the user data is empty");
            return false;
        }
        const int udhl = quint8(ud[0]);
        const int headerOctets = 1 + udhl;
        if (headerOctets > ud.size()) {
            error = QStringLiteral("user-data header length %1 runs past the user data").arg(udhl);
            return false;
        }
        if (septets) {
            // The text starts on the next septet boundary (TS 23.040 9.2.3.24).
            const int headerSeptets = (headerOctets * 8 + 6) / 7;
            if (headerSeptets > udl) {
                error = QStringLiteral("user-data header length %1 runs past the user data").arg(udhl);
                return false;
            }
            fillBits = headerSeptets * 7 - headerOctets * 8;
            textUnits = udl - headerSeptets;
        } else {
            textUnits = udl - headerOctets;
        }
        offset = headerOctets;
        const QByteArray header = ud.mid(1, udhl);
        out.udh = header;
        out.concat = ConcatFromHeader(header);
    }

    const QByteArray body = ud.mid(offset);
    switch (alphabet) {
    case Alphabet::Gsm7:
        out.text = FromGsm7(UnpackSeptets(body, textUnits, fillBits));
        break;
    case Alphabet::Ucs2: {
        // A dangling odd octet cannot form a unit and is dropped.
        const int units = textUnits / 2;
        out.text.resize(units);
        for (int i = 0; i < units; ++i) {
            const char16_t u = char16_t((quint8(body[2 * i]) << 8) | quint8(body[2 * i + 1]));
            out.text[i] = QChar(u);
        }
        break;
    }
    case Alphabet::EightBit:
        out.rawUserData = body.left(textUnits);
        out.text = QString::fromLatin1(out.rawUserData);
        break;
    }
    return true;
}

bool ReadSmsc(Reader &r, Decoded &out)
{
    quint8 length = 0;
    if (!r.Byte(length, "SMSC information length"))
        return false;
    if (length == 0)
        return true; // the modem's stored service centre applies
    QByteArray field;
    if (!r.Bytes(length, field, "SMSC address"))
        return false;
    out.smsc = SemiOctetDigits(field.mid(1), (length - 1) * 2);
    return true;
}

DecodeResult DecodeOctets(const QByteArray &octets, int wantedKind)
{
    DecodeResult result;
    Decoded &d = result.pdu;
    Reader r(octets);
    if (!ReadSmsc(r, d) || !r.Byte(d.firstOctet, "first octet")) {
        result.error = r.m_strError;
        return result;
    }
    const quint8 mti = d.firstOctet & kMtiMask;
    if (mti == kMtiStatusReport) {
        result.error = QStringLiteral("an SMS-STATUS-REPORT, not a message");
        return result;
    }
    if (mti != kMtiDeliver && mti != kMtiSubmit) {
        result.error = QStringLiteral("message type indicator %1 is neither SMS-DELIVER nor SMS-SUBMIT").arg(mti);
        return result;
    }
    d.kind = mti == kMtiDeliver ? Decoded::Deliver : Decoded::Submit;
    if (wantedKind >= 0 && d.kind != wantedKind) {
        result.error = wantedKind == Decoded::Deliver ? QStringLiteral("not an SMS-DELIVER PDU")
                                                      : QStringLiteral("not an SMS-SUBMIT PDU");
        return result;
    }

    bool ok = true;
    if (d.kind == Decoded::Deliver) {
        // TS 23.040 9.2.2.1: OA, PID, DCS, SCTS, UDL, UD.
        QByteArray scts;
        ok = ReadAddress(r, d.number, d.numberType) && r.Byte(d.pid, "protocol identifier")
             && r.Byte(d.dcs, "data coding scheme") && r.Bytes(7, scts, "time stamp");
        if (ok)
            d.scts = TimeStampDigits(scts);
    } else {
        // TS 23.040 9.2.2.2: MR, DA, PID, DCS, VP (by its format), UDL, UD.
        quint8 mr = 0;
        ok = r.Byte(mr, "message reference") && ReadAddress(r, d.number, d.numberType)
             && r.Byte(d.pid, "protocol identifier") && r.Byte(d.dcs, "data coding scheme");
        d.messageRef = mr;
        if (ok) {
            QByteArray vp;
            switch (d.firstOctet & kVpfMask) {
            case kVpfRelative:
                ok = r.Bytes(1, vp, "validity period");
                break;
            case kVpfEnhanced:
            case kVpfAbsolute:
                ok = r.Bytes(7, vp, "validity period");
                break;
            default:
                break;
            }
        }
    }
    if (!ok) {
        result.error = r.m_strError;
        return result;
    }
    if (!ReadUserData(r, d.firstOctet, d.dcs, d, result.error))
        return result;
    result.ok = true;
    return result;
}

DecodeResult DecodeHex(const QString &hex, int wantedKind)
{
    const std::optional<QByteArray> octets = HexToOctets(hex.trimmed());
    if (!octets) {
        DecodeResult result;
        result.error = QStringLiteral("PDU is not an even number of hexadecimal digits");
        return result;
    }
    return DecodeOctets(*octets, wantedKind);
}

} // namespace

int MessageTypeOf(const QString &hex)
{
    const QString t = hex.trimmed();
    if (t.size() < 2)
        return -1;
    const int high = HexValue(t[0]);
    const int low = HexValue(t[1]);
    if (high < 0 || low < 0)
        return -1;
    const qsizetype at = 2 * ((high << 4 | low) + 1);
    if (t.size() < at + 2)
        return -1;
    const int first = HexValue(t[at + 1]);
    return first < 0 || HexValue(t[at]) < 0 ? -1 : (first & kMtiMask);
}

StatusReportResult DecodeStatusReport(const QString &hex)
{
    StatusReportResult result;
    const std::optional<QByteArray> octets = HexToOctets(hex.trimmed());
    if (!octets) {
        result.error = QStringLiteral("PDU is not an even number of hexadecimal digits");
        return result;
    }
    StatusReport &s = result.report;
    Decoded head;
    Reader r(*octets);
    if (!ReadSmsc(r, head) || !r.Byte(s.firstOctet, "first octet")) {
        result.error = r.m_strError;
        return result;
    }
    s.smsc = head.smsc;
    if ((s.firstOctet & kMtiMask) != kMtiStatusReport) {
        result.error = QStringLiteral("not an SMS-STATUS-REPORT PDU");
        return result;
    }
    // TS 23.040 9.2.2.3: MR, RA, SCTS, DT, ST are mandatory.
    quint8 mr = 0;
    QByteArray scts;
    QByteArray dt;
    if (!r.Byte(mr, "message reference") || !ReadAddress(r, s.recipient, s.recipientType)
        || !r.Bytes(7, scts, "service centre time stamp") || !r.Bytes(7, dt, "discharge time")
        || !r.Byte(s.status, "status")) {
        result.error = r.m_strError;
        return result;
    }
    s.messageRef = mr;
    s.scts = TimeStampDigits(scts);
    s.discharge = TimeStampDigits(dt);
    // TS 23.040 9.2.3.27: TP-PI and what it announces are optional. Bit 7 extends the
    // indicator into further octets, whose bits are reserved. Some service centres set bits
    // for fields they do not send (TP-PI 0xFF and nothing after it): what the report says of
    // the delivery is in the mandatory part, so a broken optional part is left out, not the
    // report.
    result.ok = true;
    quint8 pi = 0;
    if (!r.Byte(pi, "parameter indicator"))
        return result;
    for (quint8 more = pi; more & 0x80;) {
        if (!r.Byte(more, "parameter indicator"))
            return result;
    }
    quint8 value = 0;
    if (pi & 0x01) {
        if (!r.Byte(value, "protocol identifier"))
            return result;
        s.pid = value;
    }
    if (pi & 0x02) {
        if (!r.Byte(value, "data coding scheme"))
            return result;
        s.dcs = value;
    }
    if (pi & 0x04) {
        Decoded ud;
        QString ignored;
        if (ReadUserData(r, s.firstOctet, s.dcs.value_or(0), ud, ignored))
            s.text = ud.text;
    }
    return result;
}

Delivery DeliveryOf(quint8 status)
{
    if (status <= 0x1F)
        return Delivery::Delivered;
    if (status <= 0x3F)
        return Delivery::Pending;
    return Delivery::Failed;
}

DecodeResult Decode(const QString &hex)
{
    return DecodeHex(hex, -1);
}

DecodeResult DecodeDeliverPdu(const QString &hex)
{
    return DecodeHex(hex, Decoded::Deliver);
}

DecodeResult DecodeSubmitPdu(const QString &hex)
{
    return DecodeHex(hex, Decoded::Submit);
}

SmsRecord ToRecord(const Decoded &pdu)
{
    SmsRecord record;
    record.m_strSCA = pdu.smsc;
    record.m_strTPA = pdu.number;
    // An international sender (type of number 001, TS 23.040 9.1.2.5) is kept as the number
    // rule sends to it: a Chinese one as "86...", one abroad with its "+", so that a reply goes
    // back to the same phone and not to "86" in front of it.
    const bool international = (pdu.numberType & 0x70) == 0x10;
    if (international && !pdu.number.isEmpty() && NumberRules::IsValidNumber(pdu.number))
        record.m_strTPA = pdu.number.startsWith(QLatin1String("86")) ? pdu.number : QLatin1Char('+') + pdu.number;
    record.m_nPID = pdu.pid;
    record.m_nDCS = pdu.dcs;
    record.m_strSCTS = pdu.scts;
    record.m_strUD = pdu.text;
    return record;
}

} // namespace Pdu
