#include "DeliverBuilder.h"

namespace DeliverBuilder {
namespace {

using Pdu::kMaxOctets;
using Pdu::kMaxSeptets;
using Pdu::kMaxUcs2Units;
using Pdu::kPartOctets;
using Pdu::kPartSeptets;
using Pdu::kPartUcs2Units;
constexpr int kMaxAlphanumeric = 11; // ten octets of address value hold eleven septets

bool AllDigits(const QString &s)
{
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return !s.isEmpty();
}

// TS 23.040 9.1.2.5: length in useful semi-octets, type of address, value.
std::optional<QByteArray> Address(const DeliverSpec &spec, QString &error)
{
    QByteArray out;
    QString digits = spec.from;
    const bool plus = digits.startsWith(QLatin1Char('+'));
    if (plus)
        digits.remove(0, 1);
    if (AllDigits(digits)) {
        if (digits.size() > 20) {
            error = QStringLiteral("originating number has more than 20 digits");
            return std::nullopt;
        }
        out.append(char(digits.size()));
        out.append(char(spec.fromType.value_or(plus ? 0x91 : 0x81)));
        out.append(*Pdu::HexToOctets(Pdu::SwapSemiOctets(digits)));
        return out;
    }
    // Alphanumeric originator: type of number 101, GSM 7-bit packed.
    const std::optional<QByteArray> septets = Pdu::ToGsm7(spec.from);
    if (spec.from.isEmpty() || !septets || septets->size() > kMaxAlphanumeric) {
        error = QStringLiteral("originator \"%1\" is neither a number nor a short GSM text").arg(spec.from);
        return std::nullopt;
    }
    const QByteArray packed = Pdu::PackSeptets(*septets);
    out.append(char((septets->size() * 7 + 3) / 4));
    out.append(char(spec.fromType.value_or(0xD0)));
    out.append(packed);
    return out;
}

std::optional<QByteArray> TimeStampOctets(const DeliverSpec &spec, QString &error)
{
    const QString digits = spec.scts.isEmpty()
                               ? TimeStampDigits(spec.time.isValid() ? spec.time : QDateTime::currentDateTime())
                               : spec.scts;
    const std::optional<QByteArray> swapped = Pdu::HexToOctets(Pdu::SwapSemiOctets(digits));
    if (digits.size() != 14 || !swapped) {
        error = QStringLiteral("time stamp \"%1\" is not 14 digits").arg(digits);
        return std::nullopt;
    }
    return swapped;
}

} // namespace

QString TimeStampDigits(const QDateTime &time)
{
    const int offsetSeconds = time.offsetFromUtc();
    const int quarters = qAbs(offsetSeconds) / 900;
    QString tz = QStringLiteral("%1").arg(quarters, 2, 10, QLatin1Char('0'));
    if (offsetSeconds < 0) // TS 23.040 9.2.3.11: bit 3 of the first time-zone semi-octet is the sign
        tz[0] = QLatin1Char("0123456789ABCDEF"[(tz[0].unicode() - u'0') | 8]);
    return time.toString(QStringLiteral("yyMMddHHmmss")) + tz;
}

Result Build(const DeliverSpec &spec)
{
    Result result;
    QByteArray smscField;
    if (spec.smsc.isEmpty()) {
        smscField.append('\0');
    } else {
        QString digits = spec.smsc;
        if (digits.startsWith(QLatin1Char('+')))
            digits.remove(0, 1);
        if (!AllDigits(digits) || digits.size() > 20) {
            result.error = QStringLiteral("SMSC \"%1\" is not a number").arg(spec.smsc);
            return result;
        }
        const QByteArray value = *Pdu::HexToOctets(Pdu::SwapSemiOctets(digits));
        smscField.append(char(value.size() + 1));
        smscField.append(char(0x91));
        smscField.append(value);
    }
    const std::optional<QByteArray> address = Address(spec, result.error);
    if (!address)
        return result;
    const std::optional<QByteArray> scts = TimeStampOctets(spec, result.error);
    if (!scts)
        return result;

    Pdu::Alphabet alphabet = spec.alphabet.value_or(Pdu::ToGsm7(spec.text) ? Pdu::Alphabet::Gsm7
                                                                             : Pdu::Alphabet::Ucs2);
    // TS 23.038 clause 4, general data coding, no class.
    const quint8 dcs = alphabet == Pdu::Alphabet::Gsm7 ? 0x00 : alphabet == Pdu::Alphabet::EightBit ? 0x04 : 0x08;

    // The user data of each part, without header.
    QList<QByteArray> septetParts; // 7-bit: septets, one a byte
    QList<QByteArray> octetParts;  // 8-bit and UCS2: octets
    bool concat = spec.forceConcat;
    switch (alphabet) {
    case Pdu::Alphabet::Gsm7: {
        const std::optional<QByteArray> septets = Pdu::ToGsm7(spec.text);
        if (!septets) {
            result.error = QStringLiteral("text has a character outside the GSM 7-bit alphabet");
            return result;
        }
        concat = concat || septets->size() > kMaxSeptets;
        const int limit = spec.partLimit > 0 ? qMin(spec.partLimit, kPartSeptets) : concat ? kPartSeptets : kMaxSeptets;
        septetParts = Pdu::SplitSeptets(*septets, limit);
        break;
    }
    case Pdu::Alphabet::EightBit: {
        const QByteArray data = spec.data.isEmpty() ? spec.text.toLatin1() : spec.data;
        concat = concat || data.size() > kMaxOctets;
        const int limit = spec.partLimit > 0 ? qMin(spec.partLimit, kPartOctets) : concat ? kPartOctets : kMaxOctets;
        octetParts = Pdu::SplitOctets(data, limit);
        break;
    }
    case Pdu::Alphabet::Ucs2: {
        concat = concat || spec.text.size() > kMaxUcs2Units;
        const int limit = spec.partLimit > 0 ? qMin(spec.partLimit, kPartUcs2Units) : concat ? kPartUcs2Units : kMaxUcs2Units;
        for (const QString &units : Pdu::SplitUcs2(spec.text, limit)) {
            QByteArray octets;
            for (QChar c : units) {
                octets.append(char(c.unicode() >> 8));
                octets.append(char(c.unicode() & 0xFF));
            }
            octetParts.append(octets);
        }
        break;
    }
    }
    const qsizetype count = alphabet == Pdu::Alphabet::Gsm7 ? septetParts.size() : octetParts.size();
    concat = concat || count > 1;
    if (count > 255) {
        result.error = QStringLiteral("text needs more than 255 parts");
        return result;
    }

    for (qsizetype i = 0; i < count; ++i) {
        QByteArray pdu = smscField;
        // TS 23.040 9.2.2.1: SMS-DELIVER, no more messages to send, UDHI for the header.
        pdu.append(char(0x04 | (concat ? 0x40 : 0x00)));
        pdu.append(*address);
        pdu.append(char(spec.pid));
        pdu.append(char(dcs));
        pdu.append(*scts);
        QByteArray header;
        if (concat) {
            const char h[6] = {0x05, 0x00, 0x03, char(spec.concatRef), char(count), char(i + 1)};
            header = QByteArray(h, 6);
        }
        if (alphabet == Pdu::Alphabet::Gsm7) {
            // The text starts on the septet boundary after the header (TS 23.040 9.2.3.24).
            const int headerSeptets = (int(header.size()) * 8 + 6) / 7;
            const int fill = headerSeptets * 7 - int(header.size()) * 8;
            pdu.append(char(headerSeptets + septetParts[i].size()));
            pdu.append(header);
            pdu.append(Pdu::PackSeptets(septetParts[i], fill));
        } else {
            pdu.append(char(header.size() + octetParts[i].size()));
            pdu.append(header);
            pdu.append(octetParts[i]);
        }
        result.parts.append(Pdu::OctetsToHex(pdu));
    }
    result.ok = true;
    return result;
}

} // namespace DeliverBuilder
