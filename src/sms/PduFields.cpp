// The building blocks of a PDU: hexadecimal text, semi-octets, packed septets, the alphabet
// of a coding scheme.
#include "PduCodec.h"
#include "PduFormat.h"

namespace Pdu {

namespace Format {

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

} // namespace Format

using namespace Format;

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

} // namespace Pdu
