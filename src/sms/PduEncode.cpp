// Writing SMS-SUBMIT PDUs (TS 23.040 9.2.2.2), split into concatenated parts when long.
#include "PduCodec.h"
#include "PduFormat.h"
#include "Gsm7Alphabet.h"
#include "base/NumberRules.h"

#include <vector>

namespace Pdu {

using namespace Format;

namespace {

// Digits of an address the PDU can carry: one leading "+" is dropped, the rest must be
// ASCII digits, at most kMaxAddressDigits of them. A destination goes through the number
// rule first, so that a number as typed and the number as sent (which the rule leaves as it
// is) give the same address.
std::optional<QString> AddressDigits(const QString &number, const char *what, QString &error, bool destination = false)
{
    QString digits = number;
    if (digits.startsWith(QLatin1Char('+')))
        digits.remove(0, 1);
    if (destination && !digits.isEmpty() && NumberRules::IsValidNumber(number))
        digits = NumberRules::InternationalDigits(NumberRules::NumberAsSent(number));
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

// The parts a text takes in an alphabet: one payload for a text that fits one message, else
// the parts of a concatenated message. Empty with *error set when a character does not fit.
std::vector<Payload> Payloads(const QString &text, Alphabet alphabet, QString *error)
{
    std::vector<Payload> payloads;
    switch (alphabet) {
    case Alphabet::Ucs2: {
        if (text.size() <= kMaxOctets / 2) {
            payloads.push_back(Payload{{}, text});
            break;
        }
        for (const QString &units : SplitUcs2(text, kPartUcs2Units))
            payloads.push_back(Payload{{}, units});
        break;
    }
    case Alphabet::Gsm7: {
        const std::optional<QByteArray> septets = ToGsm7(text);
        if (!septets) {
            for (QChar c : text) {
                quint8 buf[2];
                if (Gsm7Alphabet::Encode(c.unicode(), buf) == 0) {
                    *error = QStringLiteral("character U+%1 is not in the GSM 7-bit alphabet")
                                 .arg(c.unicode(), 4, 16, QLatin1Char('0'))
                                 .toUpper();
                    break;
                }
            }
            return {};
        }
        if (septets->size() <= kMaxSeptets) {
            payloads.push_back(Payload{*septets, {}});
            break;
        }
        for (const QByteArray &part : SplitSeptets(*septets, kPartSeptets))
            payloads.push_back(Payload{part, {}});
        break;
    }
    case Alphabet::EightBit: {
        QByteArray octets;
        octets.reserve(text.size());
        for (QChar c : text) {
            if (c.unicode() > 0xFF) {
                *error = QStringLiteral("character U+%1 does not fit 8-bit data")
                             .arg(c.unicode(), 4, 16, QLatin1Char('0'))
                             .toUpper();
                return {};
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
    return payloads;
}

} // namespace

EncodeResult EncodeSubmitPdu(const SmsRecord &record, quint8 concatRef, bool statusReport)
{
    EncodeResult result;
    const std::optional<QString> smsc = AddressDigits(record.m_strSCA, "service centre", result.error);
    if (!smsc)
        return result;
    const std::optional<QString> to = AddressDigits(record.m_strTPA, "destination", result.error, true);
    if (!to)
        return result;
    if (to->isEmpty()) {
        result.error = QStringLiteral("destination number is empty");
        return result;
    }

    const Alphabet alphabet = AlphabetOf(record.m_nDCS);
    const std::vector<Payload> payloads = Payloads(record.m_strUD, alphabet, &result.error);
    if (payloads.empty())
        return result;
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
        pdu.append(char(kSubmitFirstOctet | (concatenated ? kUdhi : 0) | (statusReport ? kSrr : 0)));
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

SmsRecord MakeRecord(const QString &smsc, const QString &number, const QString &text, qint32 id)
{
    SmsRecord record;
    record.m_strSCA = smsc;
    record.m_strTPA = number;
    record.m_strUD = text;
    record.m_nPID = 0;
    record.m_nDCS = DcsFor(text);
    record.m_nID = id;
    return record;
}

quint8 DcsFor(const QString &text)
{
    return ToGsm7(text) ? quint8(0x00) : quint8(0x08);
}

int MessageCount(const QString &text)
{
    if (text.isEmpty())
        return 0;
    QString error;
    return int(Payloads(text, AlphabetOf(DcsFor(text)), &error).size());
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

} // namespace Pdu

namespace Pdu {

QString EncodeStatusReport(const StatusReport &report)
{
    // TS 23.040 9.2.2.3: MR, RA, SCTS, DT, ST, then PI and the fields it announces.
    const auto digitsOnly = [](const QString &s) {
        QString d;
        for (QChar c : s) {
            if (c.isDigit())
                d.append(c);
        }
        return d;
    };
    const auto stamp = [](QByteArray &out, const QString &digits) {
        for (int i = 0; i < 14; i += 2)
            out.append(char((HexValue(i + 1 < digits.size() ? digits[i + 1] : QLatin1Char('0')) << 4)
                            | HexValue(i < digits.size() ? digits[i] : QLatin1Char('0'))));
    };
    QByteArray pdu;
    const QString smsc = digitsOnly(report.smsc);
    if (smsc.isEmpty()) {
        pdu.append('\0');
    } else {
        pdu.append(char((smsc.size() + 1) / 2 + 1));
        pdu.append(char(kTypeInternational));
        AppendSwapped(pdu, smsc);
    }
    const QString to = digitsOnly(report.recipient).left(kMaxAddressDigits);
    pdu.append(char(report.firstOctet));
    pdu.append(char(report.messageRef & 0xFF));
    pdu.append(char(to.size()));
    pdu.append(char(report.recipientType));
    AppendSwapped(pdu, to);
    stamp(pdu, report.scts);
    stamp(pdu, report.discharge);
    pdu.append(char(report.status));
    if (report.pid || report.dcs || report.text) {
        pdu.append(char((report.pid ? 0x01 : 0) | (report.dcs ? 0x02 : 0) | (report.text ? 0x04 : 0)));
        if (report.pid)
            pdu.append(char(*report.pid));
        if (report.dcs)
            pdu.append(char(*report.dcs));
        if (report.text) {
            const QByteArray septets = ToGsm7(*report.text).value_or(QByteArray());
            pdu.append(char(septets.size()));
            pdu.append(PackSeptets(septets));
        }
    }
    return OctetsToHex(pdu);
}

} // namespace Pdu
