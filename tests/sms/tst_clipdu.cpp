#include "TestEnv.h"
#include "base/NumberRules.h"
#include "sms/PduCodec.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QString CliPath()
{
    const QString fromEnv = TestEnv::CliPath();
    return fromEnv.isEmpty() ? QStringLiteral(SKEVO_CLI_BUILT) : fromEnv;
}

Run RunCli(const QStringList &args)
{
    QProcess p;
    p.start(CliPath(), args);
    Run r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    if (p.exitStatus() == QProcess::NormalExit)
        r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QJsonObject Json(const char *text)
{
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

} // namespace

class tst_CliPdu : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void decode_data();
    void decode();
    void encode_data();
    void encode();
    void encodedPartsDecodeBack();
    void numbersGoOutAsTheEngineSendsThem_data();
    void numbersGoOutAsTheEngineSendsThem();
    void badInput_data();
    void badInput();
};

void tst_CliPdu::initTestCase()
{
    QVERIFY2(QFileInfo::exists(CliPath()), qPrintable(CliPath()));
}

void tst_CliPdu::decode_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QJsonObject>("expected");
    QTest::newRow("deliver in UCS2")
        << QStringLiteral("0891683108501905F0040D91683119325476F8000852103141250023044F60597D")
        << Json(R"({"kind":"deliver","smsc":"8613800591500","number":"8613912345678","number_type":145,)"
                R"("pid":0,"dcs":8,"scts":"25011314520032","udh":null,"concat":null,"text":"你好"})");
    QTest::newRow("deliver in 7-bit, lower case")
        << QStringLiteral("07917283010010f5040bc87238880900f10000993092516195800ae8329bfd4697d9ec37")
        << Json(R"({"kind":"deliver","smsc":"27381000015","number":"27838890001","number_type":200,)"
                R"("pid":0,"dcs":0,"scts":"99032915165908","udh":null,"concat":null,"text":"hellohello"})");
    QTest::newRow("deliver part with header")
        << QStringLiteral("00440B813112325476F800005210314125002309050003070201D069")
        << Json(R"({"kind":"deliver","smsc":"","number":"13212345678","number_type":129,)"
                R"("pid":0,"dcs":0,"scts":"25011314520032","udh":"0003070201",)"
                R"("concat":{"ref":7,"part":1,"count":2},"text":"hi"})");
    QTest::newRow("alphanumeric sender")
        << QStringLiteral("000409D0D375D9FE0600085210314125002302597D")
        << Json(R"({"kind":"deliver","smsc":"","number":"Skevo","number_type":208,)"
                R"("pid":0,"dcs":8,"scts":"25011314520032","udh":null,"concat":null,"text":"好"})");
    QTest::newRow("submit")
        << QStringLiteral("0891683108501905F011000D91683119325476F800080002597D")
        << Json(R"({"kind":"submit","smsc":"8613800591500","number":"8613912345678","number_type":145,)"
                R"("pid":0,"dcs":8,"scts":"","udh":null,"concat":null,"text":"好"})");
}

void tst_CliPdu::decode()
{
    QFETCH(QString, hex);
    QFETCH(QJsonObject, expected);
    QVERIFY(!expected.isEmpty());
    const Run r = RunCli({QStringLiteral("pdu"), QStringLiteral("decode"), hex});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.isEmpty());
    // One compact line.
    QVERIFY(r.out.endsWith('\n'));
    QCOMPARE(r.out.count('\n'), 1);
    QVERIFY(!r.out.contains(": "));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(doc.object(), expected);
}

void tst_CliPdu::encode_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("lines");
    const QString number = QStringLiteral("8613912345678");
    QTest::newRow("UCS2 by default")
        << QStringList{QStringLiteral("--smsc"), QStringLiteral("8613800591500"), QStringLiteral("--to"), number,
                       QStringLiteral("--text"), QStringLiteral("你好")}
        << QStringList{QStringLiteral("0891683108501905F011000D91683119325476F8000800044F60597D")};
    QTest::newRow("7-bit in hex notation")
        << QStringList{QStringLiteral("--smsc"), QStringLiteral("+8613800591500"), QStringLiteral("--to"),
                       QStringLiteral("+") + number, QStringLiteral("--text"), QStringLiteral("hellohello"),
                       QStringLiteral("--dcs"), QStringLiteral("0x00")}
        << QStringList{QStringLiteral("0891683108501905F011000D91683119325476F80000000AE8329BFD4697D9EC37")};
    QTest::newRow("without service centre, value after equals sign")
        << QStringList{QStringLiteral("--to=") + number, QStringLiteral("--text=好")}
        << QStringList{QStringLiteral("0011000D91683119325476F800080002597D")};
    QTest::newRow("8-bit in decimal with leading zero")
        << QStringList{QStringLiteral("--smsc"), QString(), QStringLiteral("--to"), number, QStringLiteral("--text"),
                       QStringLiteral("AB"), QStringLiteral("--dcs"), QStringLiteral("04")}
        << QStringList{QStringLiteral("0011000D91683119325476F8000400024142")};
}

void tst_CliPdu::encode()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, lines);
    const Run r = RunCli(QStringList{QStringLiteral("pdu"), QStringLiteral("encode")} + args);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.isEmpty());
    QCOMPARE(QString::fromLatin1(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts), lines);
}

void tst_CliPdu::numbersGoOutAsTheEngineSendsThem_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("address");
    QTest::newRow("Hong Kong") << QStringLiteral("+85291234567") << QStringLiteral("85291234567");
    QTest::newRow("Macau") << QStringLiteral("+85366123456") << QStringLiteral("85366123456");
    QTest::newRow("Taiwan") << QStringLiteral("+886912345678") << QStringLiteral("886912345678");
    QTest::newRow("USA") << QStringLiteral("+12025550123") << QStringLiteral("12025550123");
    QTest::newRow("UK") << QStringLiteral("+447700900123") << QStringLiteral("447700900123");
    QTest::newRow("Chinese mobile") << QStringLiteral("13800000000") << QStringLiteral("8613800000000");
    QTest::newRow("+ before a Chinese mobile") << QStringLiteral("+13800000000") << QStringLiteral("8613800000000");
    QTest::newRow("+86") << QStringLiteral("+8613800000000") << QStringLiteral("8613800000000");
    QTest::newRow("10086") << QStringLiteral("10086") << QStringLiteral("8610086");
}

// One rule for every path: what skevo-cli encodes for a number as typed is what the engine
// sends for the number as the send run queues it, in international form.
void tst_CliPdu::numbersGoOutAsTheEngineSendsThem()
{
    QFETCH(QString, typed);
    QFETCH(QString, address);
    const Run r = RunCli({QStringLiteral("pdu"), QStringLiteral("encode"), QStringLiteral("--to"), typed,
                          QStringLiteral("--text"), QStringLiteral("好")});
    QCOMPARE(r.exitCode, 0);
    const QString line = QString::fromLatin1(r.out).trimmed();
    const Pdu::DecodeResult d = Pdu::DecodeSubmitPdu(line);
    QVERIFY2(d.ok, qPrintable(d.error));
    QCOMPARE(d.pdu.number, address);
    QCOMPARE(d.pdu.numberType, quint8(0x91));

    SmsRecord queued;
    queued.m_strTPA = NumberRules::NumberAsSent(typed);
    queued.m_strUD = QStringLiteral("好");
    queued.m_nDCS = 8;
    const Pdu::EncodeResult engine = Pdu::EncodeSubmitPdu(queued);
    QVERIFY(engine.ok);
    QCOMPARE(engine.parts, QStringList{line});
}

void tst_CliPdu::encodedPartsDecodeBack()
{
    QString text;
    const QString base = QStringLiteral("短信猫群发测试");
    while (text.size() < 150)
        text += base;
    text.truncate(150);
    const Run enc = RunCli({QStringLiteral("pdu"), QStringLiteral("encode"), QStringLiteral("--smsc"),
                            QStringLiteral("8613800591500"), QStringLiteral("--to"), QStringLiteral("8613912345678"),
                            QStringLiteral("--text"), text, QStringLiteral("--ref"), QStringLiteral("200")});
    QCOMPARE(enc.exitCode, 0);
    const QStringList parts = QString::fromLatin1(enc.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(parts.size(), 3);
    QString joined;
    for (int i = 0; i < parts.size(); ++i) {
        const Run dec = RunCli({QStringLiteral("pdu"), QStringLiteral("decode"), parts[i]});
        QCOMPARE(dec.exitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(dec.out).object();
        QCOMPARE(o.value(QStringLiteral("kind")).toString(), QStringLiteral("submit"));
        const QJsonObject concat = o.value(QStringLiteral("concat")).toObject();
        QCOMPARE(concat.value(QStringLiteral("ref")).toInt(), 200);
        QCOMPARE(concat.value(QStringLiteral("part")).toInt(), i + 1);
        QCOMPARE(concat.value(QStringLiteral("count")).toInt(), 3);
        QCOMPARE(o.value(QStringLiteral("udh")).toString(), QStringLiteral("0003C803") + QStringLiteral("0%1").arg(i + 1));
        joined += o.value(QStringLiteral("text")).toString();
    }
    QCOMPARE(joined, text);
}

void tst_CliPdu::badInput_data()
{
    QTest::addColumn<QStringList>("args");
    const QString to = QStringLiteral("--to");
    const QString number = QStringLiteral("8613912345678");
    const QString textOpt = QStringLiteral("--text");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")};
    QTest::newRow("pdu alone") << QStringList{QStringLiteral("pdu")};
    QTest::newRow("unknown pdu command") << QStringList{QStringLiteral("pdu"), QStringLiteral("split")};
    QTest::newRow("decode without PDU") << QStringList{QStringLiteral("pdu"), QStringLiteral("decode")};
    QTest::newRow("decode with two PDUs")
        << QStringList{QStringLiteral("pdu"), QStringLiteral("decode"), QStringLiteral("00"), QStringLiteral("00")};
    QTest::newRow("decode odd hex") << QStringList{QStringLiteral("pdu"), QStringLiteral("decode"), QStringLiteral("0891683")};
    QTest::newRow("decode non-hex") << QStringList{QStringLiteral("pdu"), QStringLiteral("decode"), QStringLiteral("zz")};
    QTest::newRow("decode truncated")
        << QStringList{QStringLiteral("pdu"), QStringLiteral("decode"),
                       QStringLiteral("0891683108501905F0040D91683119325476F8000852103141250023044F60")};
    QTest::newRow("encode without text") << QStringList{QStringLiteral("pdu"), QStringLiteral("encode"), to, number};
    QTest::newRow("encode without number")
        << QStringList{QStringLiteral("pdu"), QStringLiteral("encode"), textOpt, QStringLiteral("x")};
    QTest::newRow("encode with unknown option")
        << QStringList{QStringLiteral("pdu"), QStringLiteral("encode"), to, number, textOpt, QStringLiteral("x"),
                       QStringLiteral("--class"), QStringLiteral("1")};
    QTest::newRow("encode with stray argument")
        << QStringList{QStringLiteral("pdu"), QStringLiteral("encode"), to, number, textOpt, QStringLiteral("x"),
                       QStringLiteral("extra")};
    QTest::newRow("encode 21-digit number")
        << QStringList{QStringLiteral("pdu"), QStringLiteral("encode"), to, QString(21, QLatin1Char('1')), textOpt,
                       QStringLiteral("x")};
    QTest::newRow("encode number with a dash")
        << QStringList{QStringLiteral("pdu"), QStringLiteral("encode"), to, QStringLiteral("138-0000"), textOpt,
                       QStringLiteral("x")};
    QTest::newRow("encode service centre with a letter")
        << QStringList{QStringLiteral("pdu"), QStringLiteral("encode"), QStringLiteral("--smsc"), QStringLiteral("86x"), to,
                       number, textOpt, QStringLiteral("x")};
    QTest::newRow("encode DCS over 255")
        << QStringList{QStringLiteral("pdu"), QStringLiteral("encode"), to, number, textOpt, QStringLiteral("x"),
                       QStringLiteral("--dcs"), QStringLiteral("256")};
    QTest::newRow("encode DCS not a number")
        << QStringList{QStringLiteral("pdu"), QStringLiteral("encode"), to, number, textOpt, QStringLiteral("x"),
                       QStringLiteral("--dcs"), QStringLiteral("ucs2")};
    QTest::newRow("encode negative reference")
        << QStringList{QStringLiteral("pdu"), QStringLiteral("encode"), to, number, textOpt, QStringLiteral("x"),
                       QStringLiteral("--ref"), QStringLiteral("-1")};
    QTest::newRow("encode Chinese as 7-bit")
        << QStringList{QStringLiteral("pdu"), QStringLiteral("encode"), to, number, textOpt, QStringLiteral("你好"),
                       QStringLiteral("--dcs"), QStringLiteral("0")};
    QTest::newRow("encode option without value")
        << QStringList{QStringLiteral("pdu"), QStringLiteral("encode"), to, number, textOpt};
}

void tst_CliPdu::badInput()
{
    QFETCH(QStringList, args);
    const Run r = RunCli(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.out.isEmpty());
    // One line of explanation.
    QVERIFY(r.err.endsWith('\n'));
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY(r.err.size() > 1);
}

QTEST_GUILESS_MAIN(tst_CliPdu)
#include "tst_clipdu.moc"
