// The SMS-DELIVER builder of the simulated modem, checked against a vector worked out by
// hand and read back with the codec.
#include "DeliverBuilder.h"

#include <QTest>

class tst_DeliverBuilder : public QObject
{
    Q_OBJECT
private slots:
    void fixedVector();
    void roundTrip_data();
    void roundTrip();
    void concatenation_data();
    void concatenation();
    void timeStampDigits_data();
    void timeStampDigits();
    void refused_data();
    void refused();
};

void tst_DeliverBuilder::fixedVector()
{
    DeliverSpec spec;
    spec.from = QStringLiteral("+8613800138000");
    spec.text = QStringLiteral("hellohello");
    spec.scts = QStringLiteral("24031512304532");
    spec.smsc = QStringLiteral("8613800100500");
    const DeliverBuilder::Result r = DeliverBuilder::Build(spec);
    QVERIFY(r.ok);
    // SMSC 08 91 683108100005F0, first octet 04, OA 0D 91 683108108300F0, PID 00, DCS 00,
    // SCTS 42 30 51 21 03 54 23, UDL 0A, "hellohello" packed (TS 23.038 6.1.2.1.1).
    QCOMPARE(r.parts, QStringList {QStringLiteral("0891683108100005F0040D91683108108300F00000423051210354230AE8329BFD4697D9EC37")});
}

void tst_DeliverBuilder::roundTrip_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("fromType"); // -1: chosen by the builder
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("alphabet"); // -1: chosen by the builder
    QTest::addColumn<QString>("smsc");
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("numberType");
    QTest::addColumn<int>("dcs");

    QTest::newRow("international 7-bit") << QStringLiteral("+8613912345678") << -1 << QStringLiteral("Meet at 5?") << -1
                                         << QStringLiteral("8613800100500") << QStringLiteral("8613912345678") << 0x91 << 0x00;
    QTest::newRow("national digits") << QStringLiteral("13912345678") << -1 << QStringLiteral("ok") << -1
                                     << QStringLiteral("8613800100500") << QStringLiteral("13912345678") << 0x81 << 0x00;
    QTest::newRow("national type forced") << QStringLiteral("13912345678") << 0xA1 << QStringLiteral("ok") << -1
                                          << QStringLiteral("8613800100500") << QStringLiteral("13912345678") << 0xA1 << 0x00;
    QTest::newRow("alphanumeric sender") << QStringLiteral("ChinaBank") << -1 << QStringLiteral("Balance 10") << -1
                                         << QStringLiteral("8613800100500") << QStringLiteral("ChinaBank") << 0xD0 << 0x00;
    QTest::newRow("alphanumeric eleven") << QStringLiteral("ABCDEFGHIJK") << -1 << QStringLiteral("x") << -1
                                         << QStringLiteral("8613800100500") << QStringLiteral("ABCDEFGHIJK") << 0xD0 << 0x00;
    QTest::newRow("7-bit with at and extension") << QStringLiteral("10086") << -1 << QStringLiteral("@home {5€} ^_^") << -1
                                                 << QStringLiteral("8613800100500") << QStringLiteral("10086") << 0x81 << 0x00;
    QTest::newRow("chinese goes ucs2") << QStringLiteral("+8613912345678") << -1 << QStringLiteral("你好，世界") << -1
                                       << QStringLiteral("8613800100500") << QStringLiteral("8613912345678") << 0x91 << 0x08;
    QTest::newRow("ucs2 asked for") << QStringLiteral("10086") << -1 << QStringLiteral("plain") << int(Pdu::Alphabet::Ucs2)
                                    << QStringLiteral("8613800100500") << QStringLiteral("10086") << 0x81 << 0x08;
    QTest::newRow("8-bit") << QStringLiteral("10086") << -1 << QStringLiteral("caf\u00e9 data") << int(Pdu::Alphabet::EightBit)
                           << QStringLiteral("8613800100500") << QStringLiteral("10086") << 0x81 << 0x04;
    QTest::newRow("no smsc field") << QStringLiteral("10086") << -1 << QStringLiteral("hi") << -1 << QString()
                                   << QStringLiteral("10086") << 0x81 << 0x00;
    QTest::newRow("empty text") << QStringLiteral("10086") << -1 << QString() << -1
                                << QStringLiteral("8613800100500") << QStringLiteral("10086") << 0x81 << 0x00;
    QTest::newRow("emoji in ucs2") << QStringLiteral("10086") << -1 << QStringLiteral("ok \U0001F600") << -1
                                   << QStringLiteral("8613800100500") << QStringLiteral("10086") << 0x81 << 0x08;
}

void tst_DeliverBuilder::roundTrip()
{
    QFETCH(QString, from);
    QFETCH(int, fromType);
    QFETCH(QString, text);
    QFETCH(int, alphabet);
    QFETCH(QString, smsc);
    QFETCH(QString, number);
    QFETCH(int, numberType);
    QFETCH(int, dcs);

    DeliverSpec spec;
    spec.from = from;
    if (fromType >= 0)
        spec.fromType = quint8(fromType);
    spec.text = text;
    if (alphabet >= 0)
        spec.alphabet = Pdu::Alphabet(alphabet);
    spec.smsc = smsc;
    spec.scts = QStringLiteral("24123123595932");
    spec.pid = 0;
    const DeliverBuilder::Result r = DeliverBuilder::Build(spec);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.parts.size(), 1);

    const Pdu::DecodeResult d = Pdu::DecodeDeliverPdu(r.parts.first());
    QVERIFY2(d.ok, qPrintable(d.error));
    QCOMPARE(d.pdu.kind, Pdu::Decoded::Deliver);
    QCOMPARE(d.pdu.smsc, smsc);
    QCOMPARE(d.pdu.number, number);
    QCOMPARE(int(d.pdu.numberType), numberType);
    QCOMPARE(int(d.pdu.dcs), dcs);
    QCOMPARE(d.pdu.scts, QStringLiteral("24123123595932"));
    QCOMPARE(d.pdu.text, text);
    QVERIFY(!d.pdu.udh);
    QVERIFY(!d.pdu.concat);
    QCOMPARE(Pdu::TpduLength(r.parts.first()), int(r.parts.first().size() / 2) - (smsc.isEmpty() ? 1 : 9));
}

void tst_DeliverBuilder::concatenation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("force");
    QTest::addColumn<int>("partLimit");
    QTest::addColumn<int>("parts");

    QTest::newRow("160 septets fit one") << QString(160, QLatin1Char('a')) << false << 0 << 1;
    QTest::newRow("161 septets need two") << QString(161, QLatin1Char('a')) << false << 0 << 2;
    QTest::newRow("306 septets two parts") << QString(306, QLatin1Char('b')) << false << 0 << 2;
    QTest::newRow("307 septets three parts") << QString(307, QLatin1Char('b')) << false << 0 << 3;
    // 152 plain septets then an escape pair: the pair must not straddle the cut.
    QTest::newRow("escape pair kept whole") << QString(152, QLatin1Char('c')) + QStringLiteral("€") + QString(20, QLatin1Char('d'))
                                            << false << 0 << 2;
    QTest::newRow("70 chinese fit one") << QString(70, QChar(0x4F60)) << false << 0 << 1;
    QTest::newRow("71 chinese need two") << QString(71, QChar(0x4F60)) << false << 0 << 2;
    QTest::newRow("surrogate pair kept whole") << QString(66, QChar(0x4F60)) + QStringLiteral("\U0001F600") + QStringLiteral("好好好好好")
                                               << false << 0 << 2;
    QTest::newRow("short text forced into one part") << QStringLiteral("hi") << true << 0 << 1;
    QTest::newRow("small parts asked for") << QStringLiteral("abcdefghij") << false << 4 << 3;
    QTest::newRow("small ucs2 parts") << QStringLiteral("你好世界再见") << false << 2 << 3;
}

void tst_DeliverBuilder::concatenation()
{
    QFETCH(QString, text);
    QFETCH(bool, force);
    QFETCH(int, partLimit);
    QFETCH(int, parts);

    DeliverSpec spec;
    spec.from = QStringLiteral("+8613912345678");
    spec.text = text;
    spec.forceConcat = force;
    spec.partLimit = partLimit;
    spec.concatRef = 0xA7;
    const DeliverBuilder::Result r = DeliverBuilder::Build(spec);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.parts.size(), parts);

    QString joined;
    for (int i = 0; i < r.parts.size(); ++i) {
        const Pdu::DecodeResult d = Pdu::DecodeDeliverPdu(r.parts[i]);
        QVERIFY2(d.ok, qPrintable(d.error));
        QVERIFY(Pdu::TpduLength(r.parts[i]) <= 164);
        if (parts == 1 && !force) {
            QVERIFY(!d.pdu.concat);
        } else {
            QVERIFY(d.pdu.concat.has_value());
            QCOMPARE(d.pdu.concat->ref, 0xA7);
            QCOMPARE(d.pdu.concat->count, parts);
            QCOMPARE(d.pdu.concat->part, i + 1);
            QCOMPARE(d.pdu.udh.value_or(QByteArray()).toHex(), QByteArray("0003a7") + QByteArray::number(parts, 16).rightJustified(2, '0')
                                                                  + QByteArray::number(i + 1, 16).rightJustified(2, '0'));
        }
        joined += d.pdu.text;
    }
    QCOMPARE(joined, text);
}

void tst_DeliverBuilder::timeStampDigits_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("digits");
    const QDate day(2024, 3, 15);
    const QTime at(12, 30, 45);
    QTest::newRow("china standard time") << QDateTime(day, at, Qt::OffsetFromUTC, 8 * 3600)
                                         << QStringLiteral("24031512304532");
    QTest::newRow("utc") << QDateTime(day, at, Qt::UTC) << QStringLiteral("24031512304500");
    QTest::newRow("india half hour") << QDateTime(day, at, Qt::OffsetFromUTC, 5 * 3600 + 1800)
                                     << QStringLiteral("24031512304522");
    // West of Greenwich: five hours are 20 quarters, the sign in bit 3 of the first digit.
    QTest::newRow("new york winter") << QDateTime(day, at, Qt::OffsetFromUTC, -5 * 3600)
                                     << QStringLiteral("240315123045A0");
}

void tst_DeliverBuilder::timeStampDigits()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, digits);
    QCOMPARE(DeliverBuilder::TimeStampDigits(time), digits);

    DeliverSpec spec;
    spec.from = QStringLiteral("10086");
    spec.text = QStringLiteral("t");
    spec.time = time;
    const DeliverBuilder::Result r = DeliverBuilder::Build(spec);
    QVERIFY(r.ok);
    QCOMPARE(Pdu::DecodeDeliverPdu(r.parts.first()).pdu.scts, digits);
}

void tst_DeliverBuilder::refused_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("alphabet");
    QTest::addColumn<QString>("scts");
    QTest::newRow("number of 21 digits") << QString(21, QLatin1Char('1')) << QStringLiteral("x") << -1 << QString();
    QTest::newRow("name of 12 characters") << QStringLiteral("ABCDEFGHIJKL") << QStringLiteral("x") << -1 << QString();
    QTest::newRow("name outside gsm") << QStringLiteral("银行") << QStringLiteral("x") << -1 << QString();
    QTest::newRow("no sender") << QString() << QStringLiteral("x") << -1 << QString();
    QTest::newRow("chinese forced to 7-bit") << QStringLiteral("10086") << QStringLiteral("你好") << int(Pdu::Alphabet::Gsm7) << QString();
    QTest::newRow("short time stamp") << QStringLiteral("10086") << QStringLiteral("x") << -1 << QStringLiteral("2403151230");
}

void tst_DeliverBuilder::refused()
{
    QFETCH(QString, from);
    QFETCH(QString, text);
    QFETCH(int, alphabet);
    QFETCH(QString, scts);
    DeliverSpec spec;
    spec.from = from;
    spec.text = text;
    if (alphabet >= 0)
        spec.alphabet = Pdu::Alphabet(alphabet);
    spec.scts = scts;
    const DeliverBuilder::Result r = DeliverBuilder::Build(spec);
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
    QVERIFY(r.parts.isEmpty());
}

QTEST_GUILESS_MAIN(tst_DeliverBuilder)
#include "tst_deliverbuilder.moc"
