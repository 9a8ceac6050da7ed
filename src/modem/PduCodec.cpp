#include "PduCodec.h"
#include "Gsm7Alphabet.h"

#include <vector>

namespace Pdu {
namespace {

// TS 23.040 9.1.2.5: the address value holds at most 10 octets, that is 20 semi-octets.
// TS 24.008 10.5.4.9 gives the service-centre address the same room.
constexpr int kMaxAddressDigits = 20;
constexpr quint8 kTypeInternational = 0x91;

// First-octet bits of TS 23.040 9.2.2.
constexpr quint8 kMtiMask = 0x03;
constexpr quint8 kMtiDeliver = 0x00;
constexpr quint8 kMtiSubmit = 0x01;
constexpr quint8 kUdhi = 0x40;
constexpr quint8 kVpfMask = 0x18;
constexpr quint8 kVpfRelative = 0x10;
constexpr quint8 kVpfEnhanced = 0x08;
constexpr quint8 kVpfAbsolute = 0x18;
// SMS-SUBMIT, relative validity period present, no status report, no reply path.
constexpr quint8 kSubmitFirstOctet = kMtiSubmit | kVpfRelative;

constexpr int kConcatHeaderOctets = 6; // UDHL, IEI 00, IEDL 03, ref, count, seq
constexpr int kMaxParts = 255;

const char kHexDigits[] = "0123456789ABCDEF";
// TS 23.040 9.1.2.3: semi-octet values 10..14 of an address are "*", "#", "a", "b", "c".
const char kAddressDigits[] = "0123456789*#abc";

int HexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

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

// Digits of an address the PDU can carry: one leading "+" is dropped, the rest must be
// ASCII digits, at most kMaxAddressDigits of them.
std::optional<QString> AddressDigits(const QString &number, const char *what, QString &error)
{
    QString digits = number;
    if (digits.startsWith(QLatin1Char('+')))
        digits.remove(0, 1);
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            error = QStringLiteral("%1 number \"%2\" holds a character other than a digit")
                        .arg(QLatin1String(what), number);
            return std::nullopt;
        }
    }
    if (digits.size() > kMaxAddressDigits) {
        error = QStringLiteral("%1 number has %2 digits; an address carries at most %3")
                    .arg(QLatin1String(what))
                    .arg(digits.size())
                    .arg(kMaxAddressDigits);
        return std::nullopt;
    }
    return digits;
}

void AppendSwapped(QByteArray &out, const QString &digits)
{
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const int low = digits[i].unicode() - u'0';
        const int high = i + 1 < digits.size() ? digits[i + 1].unicode() - u'0' : 0x0F;
        out.append(char((high << 4) | low));
    }
}

// One part's payload: the septets, octets or UTF-16 units of its share of the text.
struct Payload
{
    QByteArray bytes; // septets (one a byte) or octets
    QString units;    // UCS2
};

} // namespace

Alphabet AlphabetOf(quint8 dcs)
{
    // TS 23.038 clause 4. Reserved codings read as the default alphabet.
    if ((dcs & 0x80) == 0) {
        // 00xx / 01xx: general data coding; bit 5 compressed, bits 3..2 the alphabet.
        // Compressed text cannot be read as characters, so it is handed over as octets.
        if (dcs & 0x20)
            return Alphabet::EightBit;
        switch ((dcs >> 2) & 0x03) {
        case 1:
            return Alphabet::EightBit;
        case 2:
            return Alphabet::Ucs2;
        default:
            return Alphabet::Gsm7;
        }
    }
    switch (dcs & 0xF0) {
    case 0xE0: // message waiting indication, store message, UCS2
        return Alphabet::Ucs2;
    case 0xF0: // data coding / message class: bit 2 the alphabet
        return (dcs & 0x04) ? Alphabet::EightBit : Alphabet::Gsm7;
    default: // 1000..1011 reserved, 1100 and 1101 message waiting in the default alphabet
        return Alphabet::Gsm7;
    }
}

QString OctetsToHex(const QByteArray &octets)
{
    QString hex(octets.size() * 2, Qt::Uninitialized);
    QChar *p = hex.data();
    for (char c : octets) {
        const quint8 o = quint8(c);
        *p++ = QLatin1Char(kHexDigits[o >> 4]);
        *p++ = QLatin1Char(kHexDigits[o & 0x0F]);
    }
    return hex;
}

std::optional<QByteArray> HexToOctets(const QString &hex)
{
    if (hex.size() % 2 != 0)
        return std::nullopt;
    QByteArray octets(hex.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < octets.size(); ++i) {
        const int high = HexValue(hex[2 * i]);
        const int low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        octets[i] = char((high << 4) | low);
    }
    return octets;
}

QString SwapSemiOctets(const QString &digits)
{
    QString out;
    out.reserve(digits.size() + 1);
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        out.append(i + 1 < digits.size() ? digits[i + 1] : QLatin1Char('F'));
        out.append(digits[i]);
    }
    return out;
}

QString UnswapSemiOctets(const QString &swapped)
{
    QString out;
    out.reserve(swapped.size());
    for (qsizetype i = 0; i < swapped.size(); i += 2) {
        if (i + 1 < swapped.size())
            out.append(swapped[i + 1]);
        out.append(swapped[i]);
    }
    if (out.endsWith(QLatin1Char('F')) || out.endsWith(QLatin1Char('f')))
        out.chop(1);
    return out;
}

QByteArray PackSeptets(const QByteArray &septets, int fillBits)
{
    // TS 23.038 6.1.2.1.1: septets back to back, least significant bit first.
    fillBits = qBound(0, fillBits, 6);
    const qsizetype bits = fillBits + qsizetype(septets.size()) * 7;
    QByteArray out((bits + 7) / 8, '\0');
    for (qsizetype i = 0; i < septets.size(); ++i) {
        const quint8 s = quint8(septets[i]) & 0x7F;
        const qsizetype bit = fillBits + i * 7;
        const qsizetype index = bit / 8;
        const int shift = int(bit % 8);
        out[index] = char(quint8(out[index]) | quint8(s << shift));
        if (shift > 1)
            out[index + 1] = char(quint8(out[index + 1]) | quint8(s >> (8 - shift)));
    }
    return out;
}

QByteArray UnpackSeptets(const QByteArray &octets, int septetCount, int fillBits)
{
    fillBits = qBound(0, fillBits, 6);
    QByteArray out;
    out.reserve(qMax(septetCount, 0));
    for (int i = 0; i < septetCount; ++i) {
        const qsizetype bit = fillBits + qsizetype(i) * 7;
        const qsizetype index = bit / 8;
        const int shift = int(bit % 8);
        if (index >= octets.size())
            break;
        int value = quint8(octets[index]) >> shift;
        if (shift > 1) {
            if (index + 1 >= octets.size())
                break; // the septet's high bits are missing
            value |= quint8(octets[index + 1]) << (8 - shift);
        }
        out.append(char(value & 0x7F));
    }
    return out;
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

EncodeResult EncodeSubmitPdu(const SmsRecord &record, quint8 concatRef)
{
    EncodeResult result;
    const std::optional<QString> smsc = AddressDigits(record.m_strSCA, "service centre", result.error);
    if (!smsc)
        return result;
    const std::optional<QString> to = AddressDigits(record.m_strTPA, "destination", result.error);
    if (!to)
        return result;
    if (to->isEmpty()) {
        result.error = QStringLiteral("destination number is empty");
        return result;
    }

    const Alphabet alphabet = AlphabetOf(record.m_nDCS);
    std::vector<Payload> payloads;
    switch (alphabet) {
    case Alphabet::Ucs2: {
        const QString &text = record.m_strUD;
        if (text.size() <= kMaxOctets / 2) {
            payloads.push_back(Payload{{}, text});
            break;
        }
        for (const QString &units : SplitUcs2(text, kPartUcs2Units))
            payloads.push_back(Payload{{}, units});
        break;
    }
    case Alphabet::Gsm7: {
        QByteArray septets;
        septets.reserve(record.m_strUD.size());
        quint8 buf[2];
        for (QChar c : record.m_strUD) {
            const int n = Gsm7Alphabet::Encode(c.unicode(), buf);
            if (n == 0) {
                result.error = QStringLiteral("character U+%1 is not in the GSM 7-bit alphabet")
                                   .arg(c.unicode(), 4, 16, QLatin1Char('0'))
                                   .toUpper();
                return result;
            }
            septets.append(reinterpret_cast<const char *>(buf), n);
        }
        if (septets.size() <= kMaxSeptets) {
            payloads.push_back(Payload{septets, {}});
            break;
        }
        for (const QByteArray &part : SplitSeptets(septets, kPartSeptets))
            payloads.push_back(Payload{part, {}});
        break;
    }
    case Alphabet::EightBit: {
        QByteArray octets;
        octets.reserve(record.m_strUD.size());
        for (QChar c : record.m_strUD) {
            if (c.unicode() > 0xFF) {
                result.error = QStringLiteral("character U+%1 does not fit 8-bit data")
                                   .arg(c.unicode(), 4, 16, QLatin1Char('0'))
                                   .toUpper();
                return result;
            }
            octets.append(char(c.unicode()));
        }
        if (octets.size() <= kMaxOctets) {
            payloads.push_back(Payload{octets, {}});
            break;
        }
        for (const QByteArray &part : SplitOctets(octets, kPartOctets))
            payloads.push_back(Payload{part, {}});
        break;
    }
    }
    if (payloads.size() > kMaxParts) {
        result.error = QStringLiteral("text needs %1 parts; a concatenated message has at most %2")
                           .arg(payloads.size())
                           .arg(kMaxParts);
        return result;
    }

    // Everything before the user data except the first octet is the same for every part.
    QByteArray smscField;
    if (smsc->isEmpty()) {
        smscField.append('\0');
    } else {
        smscField.append(char((smsc->size() + 1) / 2 + 1));
        smscField.append(char(kTypeInternational));
        AppendSwapped(smscField, *smsc);
    }
    QByteArray addressAndCoding;
    addressAndCoding.append('\0'); // message reference: the modem assigns it
    addressAndCoding.append(char(to->size()));
    addressAndCoding.append(char(kTypeInternational));
    AppendSwapped(addressAndCoding, *to);
    addressAndCoding.append(char(record.m_nPID));
    addressAndCoding.append(char(record.m_nDCS));
    addressAndCoding.append('\0'); // relative validity period 0: five minutes (TS 23.040 9.2.3.12.1)

    const bool concatenated = payloads.size() > 1;
    const int count = int(payloads.size());
    for (int seq = 1; seq <= count; ++seq) {
        const Payload &p = payloads[seq - 1];
        QByteArray pdu = smscField;
        pdu.append(char(kSubmitFirstOctet | (concatenated ? kUdhi : 0)));
        pdu.append(addressAndCoding);

        QByteArray header;
        if (concatenated) {
            // TS 23.040 9.2.3.24.1: concatenated short message, 8-bit reference.
            const char h[kConcatHeaderOctets] = {0x05, 0x00, 0x03, char(concatRef), char(count), char(seq)};
            header = QByteArray(h, kConcatHeaderOctets);
        }
        switch (alphabet) {
        case Alphabet::Gsm7: {
            // The text starts on the septet boundary after the header (TS 23.040 9.2.3.24).
            const int headerSeptets = (int(header.size()) * 8 + 6) / 7;
            const int fill = headerSeptets * 7 - int(header.size()) * 8;
            pdu.append(char(headerSeptets + p.bytes.size()));
            pdu.append(header);
            pdu.append(PackSeptets(p.bytes, fill));
            break;
        }
        case Alphabet::Ucs2:
            pdu.append(char(header.size() + p.units.size() * 2));
            pdu.append(header);
            for (QChar c : p.units) {
                pdu.append(char(c.unicode() >> 8));
                pdu.append(char(c.unicode() & 0xFF));
            }
            break;
        case Alphabet::EightBit:
            pdu.append(char(header.size() + p.bytes.size()));
            pdu.append(header);
            pdu.append(p.bytes);
            break;
        }
        result.parts.append(OctetsToHex(pdu));
    }
    result.ok = true;
    return result;
}

int TpduLength(const QString &hex)
{
    if (hex.size() < 2)
        return -1;
    const int high = HexValue(hex[0]);
    const int low = HexValue(hex[1]);
    if (high < 0 || low < 0)
        return -1;
    return int(hex.size() / 2) - ((high << 4 | low) + 1);
}

SmsRecord ToRecord(const Decoded &pdu)
{
    SmsRecord record;
    record.m_strSCA = pdu.smsc;
    record.m_strTPA = pdu.number;
    record.m_nPID = pdu.pid;
    record.m_nDCS = pdu.dcs;
    record.m_strSCTS = pdu.scts;
    record.m_strUD = pdu.text;
    return record;
}

} // namespace Pdu
