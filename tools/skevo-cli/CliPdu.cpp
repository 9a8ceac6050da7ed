// skevo-cli pdu: the codec from the command line, for checking what a modem printed
// and what the engine will send.
#include "CliCommands.h"
#include "sms/PduCodec.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

const QString kUsage = QStringLiteral(
    "usage: skevo-cli pdu decode HEX | skevo-cli pdu encode [--smsc S] --to N --text T [--dcs D] [--ref R]");

void PrintLine(const QByteArray &utf8)
{
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stdout);
    std::fputc('\n', stdout);
}

int Decode(const QStringList &args)
{
    if (args.size() != 1)
        return CliFail(kUsage);
    const Pdu::DecodeResult r = Pdu::Decode(args.first());
    if (!r.ok)
        return CliFail(QStringLiteral("cannot decode PDU: %1").arg(r.error));

    const Pdu::Decoded &d = r.pdu;
    QJsonObject o;
    o.insert(QStringLiteral("kind"), d.kind == Pdu::Decoded::Deliver ? QStringLiteral("deliver") : QStringLiteral("submit"));
    o.insert(QStringLiteral("smsc"), d.smsc);
    o.insert(QStringLiteral("number"), d.number);
    o.insert(QStringLiteral("number_type"), int(d.numberType));
    o.insert(QStringLiteral("pid"), int(d.pid));
    o.insert(QStringLiteral("dcs"), int(d.dcs));
    o.insert(QStringLiteral("scts"), d.scts);
    o.insert(QStringLiteral("udh"), d.udh ? QJsonValue(Pdu::OctetsToHex(*d.udh)) : QJsonValue(QJsonValue::Null));
    if (d.concat) {
        QJsonObject c;
        c.insert(QStringLiteral("ref"), d.concat->ref);
        c.insert(QStringLiteral("part"), d.concat->part);
        c.insert(QStringLiteral("count"), d.concat->count);
        o.insert(QStringLiteral("concat"), c);
    } else {
        o.insert(QStringLiteral("concat"), QJsonValue(QJsonValue::Null));
    }
    o.insert(QStringLiteral("text"), d.text);
    PrintLine(QJsonDocument(o).toJson(QJsonDocument::Compact));
    return 0;
}

// An octet given in decimal or with a 0x prefix.
std::optional<quint8> ParseOctet(const QString &text)
{
    bool ok = false;
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const uint value = hex ? text.mid(2).toUInt(&ok, 16) : text.toUInt(&ok, 10);
    if (!ok || value > 0xFF)
        return std::nullopt;
    return quint8(value);
}

int Encode(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption smsc(QStringLiteral("smsc"), QString(), QStringLiteral("S"));
    const QCommandLineOption to(QStringLiteral("to"), QString(), QStringLiteral("N"));
    const QCommandLineOption text(QStringLiteral("text"), QString(), QStringLiteral("T"));
    const QCommandLineOption dcs(QStringLiteral("dcs"), QString(), QStringLiteral("D"), QStringLiteral("8"));
    const QCommandLineOption ref(QStringLiteral("ref"), QString(), QStringLiteral("R"), QStringLiteral("0"));
    parser.addOptions({smsc, to, text, dcs, ref});
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(QStringList{QStringLiteral("skevo-cli pdu encode")} + args))
        return CliFail(QStringLiteral("%1; %2").arg(parser.errorText(), kUsage));
    if (!parser.positionalArguments().isEmpty())
        return CliFail(QStringLiteral("unexpected argument \"%1\"; %2").arg(parser.positionalArguments().first(), kUsage));
    if (!parser.isSet(to) || !parser.isSet(text))
        return CliFail(QStringLiteral("--to and --text are required; %1").arg(kUsage));

    const std::optional<quint8> dcsValue = ParseOctet(parser.value(dcs));
    if (!dcsValue)
        return CliFail(QStringLiteral("--dcs must be an octet (0..255), not \"%1\"").arg(parser.value(dcs)));
    const std::optional<quint8> refValue = ParseOctet(parser.value(ref));
    if (!refValue)
        return CliFail(QStringLiteral("--ref must be an octet (0..255), not \"%1\"").arg(parser.value(ref)));

    SmsRecord record;
    record.m_strSCA = parser.value(smsc);
    record.m_strTPA = parser.value(to);
    record.m_nDCS = *dcsValue;
    record.m_strUD = parser.value(text);
    const Pdu::EncodeResult r = Pdu::EncodeSubmitPdu(record, *refValue);
    if (!r.ok)
        return CliFail(QStringLiteral("cannot encode: %1").arg(r.error));
    for (const QString &part : r.parts)
        PrintLine(part.toLatin1());
    return 0;
}

} // namespace

int RunPdu(const QStringList &args)
{
    if (args.isEmpty())
        return CliFail(kUsage);
    if (args.first() == QLatin1String("decode"))
        return Decode(args.mid(1));
    if (args.first() == QLatin1String("encode"))
        return Encode(args.mid(1));
    return CliFail(QStringLiteral("unknown pdu command \"%1\"; %2").arg(args.first(), kUsage));
}
