// libFuzzer target for the PDU codec: arbitrary input must never crash the decoder or read
// past its buffer, and whatever text the encoder accepts must come back whole from its parts.
#include "sms/PduCodec.h"

#include <cstdint>
#include <cstdlib>
#include <cstdio>

namespace {

void CheckDecoded(const Pdu::DecodeResult &r)
{
    if (!r.ok) {
        if (r.error.isEmpty())
            abort();
        return;
    }
    if (r.pdu.concat && (r.pdu.concat->part < 1 || r.pdu.concat->part > r.pdu.concat->count || !r.pdu.udh))
        abort();
    if (r.pdu.kind == Pdu::Decoded::Deliver && r.pdu.scts.size() != 14)
        abort();
}

// The first octet picks the coding scheme, the second the reference; the rest is the text.
void RoundTrip(const uint8_t *data, size_t size)
{
    if (size < 2)
        return;
    static const quint8 kCodings[] = {0x00, 0x08, 0x04, 0x10, 0x18, 0x14, 0xF0, 0xE0, 0xF4, 0x48};
    const quint8 dcs = kCodings[data[0] % (sizeof kCodings)];
    const quint8 ref = data[1];
    const QByteArray rest(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));

    QString text;
    switch (Pdu::AlphabetOf(dcs)) {
    case Pdu::Alphabet::Ucs2:
        // Any UTF-16 units, lone surrogates included.
        for (qsizetype i = 0; i + 1 < rest.size(); i += 2)
            text.append(QChar(char16_t((quint8(rest[i]) << 8) | quint8(rest[i + 1]))));
        break;
    case Pdu::Alphabet::Gsm7:
        text = Pdu::FromGsm7(rest);
        break;
    case Pdu::Alphabet::EightBit:
        text = QString::fromLatin1(rest);
        break;
    }

    SmsRecord record;
    record.m_strSCA = QStringLiteral("8613800591500");
    record.m_strTPA = QStringLiteral("8613912345678");
    record.m_nDCS = dcs;
    record.m_strUD = text;
    const Pdu::EncodeResult enc = Pdu::EncodeSubmitPdu(record, ref);
    if (!enc.ok)
        return; // only over 255 parts, which a fuzz input of this size cannot reach
    QString joined;
    for (qsizetype i = 0; i < enc.parts.size(); ++i) {
        const Pdu::DecodeResult d = Pdu::Decode(enc.parts[i]);
        if (!d.ok || d.pdu.kind != Pdu::Decoded::Submit || d.pdu.dcs != dcs) {
            fprintf(stderr, "part %lld does not decode: %s\n", (long long)i, qPrintable(d.error));
            abort();
        }
        if (enc.parts.size() > 1
            && d.pdu.concat != Pdu::ConcatInfo{ref, int(i + 1), int(enc.parts.size())}) {
            fprintf(stderr, "part %lld carries the wrong concatenation header\n", (long long)i);
            abort();
        }
        joined += d.pdu.text;
    }
    if (joined != text) {
        fprintf(stderr, "round trip changed the text\n");
        abort();
    }
}

} // namespace

// A status report never reads past its buffer, and one that decodes is written back to the
// same fields.
void CheckStatusReport(const QString &hex)
{
    const Pdu::StatusReportResult r = Pdu::DecodeStatusReport(hex);
    if (!r.ok) {
        if (r.error.isEmpty())
            abort();
        return;
    }
    if (r.report.scts.size() != 14 || r.report.discharge.size() != 14)
        abort();
    if (r.report.text || r.report.recipientType != 0x91 || r.report.recipient.size() > 20)
        return; // texts and other address types are not what the encoder writes
    for (QChar c : r.report.recipient) {
        if (!c.isDigit())
            return;
    }
    const Pdu::StatusReportResult again = Pdu::DecodeStatusReport(Pdu::EncodeStatusReport(r.report));
    if (!again.ok || again.report.messageRef != r.report.messageRef || again.report.status != r.report.status
        || again.report.recipient != r.report.recipient) {
        fprintf(stderr, "status report changed on the way back\n");
        abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // The input read as the hex text a modem would print, and as the octets of a PDU.
    CheckDecoded(Pdu::Decode(QString::fromLatin1(bytes)));
    CheckDecoded(Pdu::Decode(Pdu::OctetsToHex(bytes)));
    CheckStatusReport(Pdu::OctetsToHex(bytes));
    Pdu::MessageTypeOf(QString::fromLatin1(bytes));
    RoundTrip(data, size);
    return 0;
}
