#include "sms/PduCodec.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Pdu;

Q_DECLARE_METATYPE(Pdu::Alphabet)
Q_DECLARE_METATYPE(std::optional<Pdu::ConcatInfo>)

namespace Pdu {
// Readable failure messages for QCOMPARE.
char *toString(const std::optional<ConcatInfo> &c)
{
    if (!c)
        return qstrdup("no concatenation");
    return qstrdup(QByteArray("ref %1 part %2 of %3").replace("%1", QByteArray::number(c->ref))
                       .replace("%2", QByteArray::number(c->part)).replace("%3", QByteArray::number(c->count)));
}
char *toString(Alphabet a)
{
    return qstrdup(a == Alphabet::Gsm7 ? "Gsm7" : a == Alphabet::Ucs2 ? "Ucs2" : "EightBit");
}
} // namespace Pdu

namespace {

QString L(const char *latin1)
{
    return QString::fromLatin1(latin1);
}

// Default service centre and a mobile number in the swapped form the PDU carries them.
const char kSmscField[] = "0891683108501905F0"; // 8613800591500
const char kNumber[] = "8613912345678";
const char kNumberField[] = "0D91683119325476F8";

SmsRecord Record(const QString &text, quint8 dcs = 8, const QString &to = L(kNumber),
                 const QString &sca = QStringLiteral("8613800591500"))
{
    SmsRecord r;
    r.m_strSCA = sca;
    r.m_strTPA = to;
    r.m_nDCS = dcs;
    r.m_strUD = text;
    return r;
}

QString Repeat(const QString &s, int times)
{
    QString out;
    for (int i = 0; i < times; ++i)
        out += s;
    return out;
}

// 150 distinct Chinese characters, so a misplaced cut shows in the comparison.
QString ChineseText(int count)
{
    const QString base = QStringLiteral("短信猫群发系统测试中文字符你好世界今天天气很好我们一起去公园散步吧");
    QString out;
    for (int i = 0; out.size() < count; ++i)
        out += base[i % base.size()];
    return out;
}

// Parses every part and joins the texts back together; fails the test on any bad part.
QString JoinParts(const QStringList &parts)
{
    QString text;
    for (const QString &hex : parts) {
        const DecodeResult d = Decode(hex);
        if (!d.ok)
            qWarning("part failed to decode: %s", qPrintable(d.error));
        text += d.pdu.text;
    }
    return text;
}

} // namespace

class tst_PduCodec : public QObject
{
    Q_OBJECT
private slots:
    void octetsToHex();
    void hexToOctets_data();
    void hexToOctets();
    void swap_data();
    void swap();
    void unswap_data();
    void unswap();
    void packSeptets_data();
    void packSeptets();
    void unpackStopsAtTheEnd();
    void gsm7_data();
    void gsm7();
    void gsm7Refuses_data();
    void gsm7Refuses();
    void gsm7EscapeOddities_data();
    void gsm7EscapeOddities();
    void alphabetOf_data();
    void alphabetOf();

    void encodeSingle_data();
    void encodeSingle();
    void encodeRefuses_data();
    void encodeRefuses();
    void encodeUcs2Limit();
    void encodeChineseInThreeParts();
    void encodeNeverSplitsSurrogatePair();
    void encodeSevenBitParts();
    void encodeNeverSplitsEscape();
    void encodeEightBitParts();
    void encodePartLimit();
    void codingAndMessageCount_data();
    void codingAndMessageCount();
    void tpduLength_data();
    void tpduLength();

    void decode_data();
    void decode();
    void decodeSubmitValidityFormats_data();
    void decodeSubmitValidityFormats();
    void decodeSevenBitLengths_data();
    void decodeSevenBitLengths();
    void decodeAlphanumericSender_data();
    void decodeAlphanumericSender();
    void decodeHeader_data();
    void decodeHeader();
    void decodeRefuses_data();
    void decodeRefuses();
    void decodeKindChecks();
    void truncationsFail_data();
    void truncationsFail();
    void toRecord();
    void senderKeptAsARecordSendsToIt_data();
    void senderKeptAsARecordSendsToIt();

    void roundTrip_data();
    void roundTrip();
    void randomHexNeverCrashes();
    void randomTextsRoundTrip();

    // SMS-STATUS-REPORT and the request for it
    void statusReport_data();
    void statusReport();
    void statusReportTruncated();
    void messageType_data();
    void messageType();
    void deliveryOf_data();
    void deliveryOf();
    void reportRequest();
};

void tst_PduCodec::octetsToHex()
{
    QCOMPARE(OctetsToHex(QByteArray::fromHex("000aff7f80")), L("000AFF7F80"));
    QCOMPARE(OctetsToHex(QByteArray()), QString());
}

void tst_PduCodec::hexToOctets_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("octets");
    QTest::newRow("upper case") << L("0AFF10") << true << QByteArray::fromHex("0aff10");
    QTest::newRow("lower case") << L("0aff10") << true << QByteArray::fromHex("0aff10");
    QTest::newRow("empty") << QString() << true << QByteArray();
    QTest::newRow("odd length") << L("0AF") << false << QByteArray();
    QTest::newRow("letter past F") << L("0G") << false << QByteArray();
    QTest::newRow("blank inside") << L("0A FF") << false << QByteArray();
    QTest::newRow("colon") << L("0:") << false << QByteArray();
    QTest::newRow("full-width digit") << QStringLiteral("０１") << false << QByteArray();
}

void tst_PduCodec::hexToOctets()
{
    QFETCH(QString, hex);
    QFETCH(bool, valid);
    QFETCH(QByteArray, octets);
    const std::optional<QByteArray> got = HexToOctets(hex);
    QCOMPARE(got.has_value(), valid);
    if (valid)
        QCOMPARE(*got, octets);
}

void tst_PduCodec::swap_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("swapped");
    QTest::newRow("service centre of 13 digits") << L("8613800591500") << L("683108501905F0");
    QTest::newRow("even count") << L("1234") << L("2143");
    QTest::newRow("one digit") << L("7") << L("F7");
    QTest::newRow("empty") << QString() << QString();
}

void tst_PduCodec::swap()
{
    QFETCH(QString, digits);
    QFETCH(QString, swapped);
    QCOMPARE(SwapSemiOctets(digits), swapped);
}

void tst_PduCodec::unswap_data()
{
    QTest::addColumn<QString>("swapped");
    QTest::addColumn<QString>("digits");
    QTest::newRow("trailing filler dropped") << L("683108501905F0") << L("8613800591500");
    QTest::newRow("lower-case filler dropped") << L("683108501905f0") << L("8613800591500");
    QTest::newRow("even count") << L("2143") << L("1234");
    QTest::newRow("time stamp keeps its digits") << L("90103012000023") << L("09010321000032");
    QTest::newRow("empty") << QString() << QString();
}

void tst_PduCodec::unswap()
{
    QFETCH(QString, swapped);
    QFETCH(QString, digits);
    QCOMPARE(UnswapSemiOctets(swapped), digits);
}

void tst_PduCodec::packSeptets_data()
{
    QTest::addColumn<QByteArray>("septets");
    QTest::addColumn<int>("fillBits");
    QTest::addColumn<QString>("packed");
    // The classic 23.040 illustration: ten septets in nine octets.
    QTest::newRow("hellohello") << QByteArray("hellohello") << 0 << L("E8329BFD4697D9EC37");
    QTest::newRow("eight septets in seven octets") << QByteArray("12345678") << 0 << L("31D98C56B3DD70");
    QTest::newRow("seven septets leave seven zero bits") << QByteArray("1234567") << 0 << L("31D98C56B3DD00");
    QTest::newRow("one fill bit after a header") << QByteArray("a") << 1 << L("C2");
    QTest::newRow("fill bit then two septets") << QByteArray("aa") << 1 << L("C261");
    QTest::newRow("nothing") << QByteArray() << 0 << QString();
}

void tst_PduCodec::packSeptets()
{
    QFETCH(QByteArray, septets);
    QFETCH(int, fillBits);
    QFETCH(QString, packed);
    QCOMPARE(OctetsToHex(PackSeptets(septets, fillBits)), packed);
    QCOMPARE(UnpackSeptets(*HexToOctets(packed), int(septets.size()), fillBits), septets);
}

void tst_PduCodec::unpackStopsAtTheEnd()
{
    // Asking for more septets than the octets hold yields only the whole ones.
    const QByteArray octets = *HexToOctets(L("E8329BFD4697D9EC37"));
    QCOMPARE(UnpackSeptets(octets, 200), QByteArray("hellohello"));
    QCOMPARE(UnpackSeptets(octets.left(1), 5), QByteArray("h"));
    QCOMPARE(UnpackSeptets(QByteArray(), 3), QByteArray());
    QCOMPARE(UnpackSeptets(octets, -1), QByteArray());
}

void tst_PduCodec::gsm7_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("septets");
    QTest::newRow("plain ASCII") << L("Hello") << QByteArray("Hello");
    QTest::newRow("at sign is code 0 and does not cut") << L("a@b") << QByteArray("a\x00" "b", 3);
    QTest::newRow("currency signs") << QStringLiteral("£$¥¤") << QByteArray("\x01\x02\x03\x24", 4);
    QTest::newRow("accented letters")
        << QStringLiteral("èéùìòÇØøÅåÆæßÉÄÖÑÜäöñüà")
        << QByteArray::fromHex("0405060708090b0c0e0f1c1d1e1f5b5c5d5e7b7c7d7e7f");
    QTest::newRow("Greek capitals") << QStringLiteral("ΔΦΓΛΩΠΨΣΘΞ") << QByteArray::fromHex("1012131415161718191a");
    QTest::newRow("section and inverted marks") << QStringLiteral("§¡¿_") << QByteArray::fromHex("5f406011");
    QTest::newRow("line breaks") << L("a\r\nb") << QByteArray("a\r\nb");
    QTest::newRow("extension characters")
        << QStringLiteral("€[]{}^~\\|")
        << QByteArray::fromHex("1b651b3c1b3e1b281b291b141b3d1b2f1b40");
    QTest::newRow("form feed is the page break") << L("\f") << QByteArray::fromHex("1b0a");
    QTest::newRow("empty") << QString() << QByteArray();
}

void tst_PduCodec::gsm7()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, septets);
    const std::optional<QByteArray> encoded = ToGsm7(text);
    QVERIFY(encoded);
    QCOMPARE(*encoded, septets);
    QCOMPARE(FromGsm7(septets), text);
}

void tst_PduCodec::gsm7Refuses_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("Chinese") << QStringLiteral("你");
    QTest::newRow("backquote") << L("`");
    QTest::newRow("small c cedilla") << QStringLiteral("ç");
    QTest::newRow("emoji") << QStringLiteral("😀");
    QTest::newRow("tab") << L("\t");
}

void tst_PduCodec::gsm7Refuses()
{
    QFETCH(QString, text);
    QVERIFY(!ToGsm7(L("ok") + text));
}

void tst_PduCodec::gsm7EscapeOddities_data()
{
    QTest::addColumn<QByteArray>("septets");
    QTest::addColumn<QString>("text");
    QTest::newRow("escape at the end reads as a space") << QByteArray("a\x1b", 2) << L("a ");
    QTest::newRow("undefined extension code shows the default character") << QByteArray("\x1b" "A", 2) << L("A");
    QTest::newRow("double escape reads as a space") << QByteArray("\x1b\x1b" "b", 3) << L(" b");
    QTest::newRow("high bit ignored") << QByteArray("\xC1", 1) << L("A");
}

void tst_PduCodec::gsm7EscapeOddities()
{
    QFETCH(QByteArray, septets);
    QFETCH(QString, text);
    QCOMPARE(FromGsm7(septets), text);
}

void tst_PduCodec::alphabetOf_data()
{
    QTest::addColumn<int>("dcs");
    QTest::addColumn<Alphabet>("alphabet");
    QTest::newRow("0x00 default alphabet") << 0x00 << Alphabet::Gsm7;
    QTest::newRow("0x04 8-bit") << 0x04 << Alphabet::EightBit;
    QTest::newRow("0x08 UCS2") << 0x08 << Alphabet::Ucs2;
    QTest::newRow("0x0C reserved reads as default") << 0x0C << Alphabet::Gsm7;
    QTest::newRow("0x10 default alphabet, class 0") << 0x10 << Alphabet::Gsm7;
    QTest::newRow("0x11 default alphabet, class 1") << 0x11 << Alphabet::Gsm7;
    QTest::newRow("0x14 8-bit, class 0") << 0x14 << Alphabet::EightBit;
    QTest::newRow("0x16 8-bit, class 2") << 0x16 << Alphabet::EightBit;
    QTest::newRow("0x18 UCS2, class 0") << 0x18 << Alphabet::Ucs2;
    QTest::newRow("0x19 UCS2, class 1") << 0x19 << Alphabet::Ucs2;
    QTest::newRow("0x20 compressed") << 0x20 << Alphabet::EightBit;
    QTest::newRow("0x40 automatic deletion, default") << 0x40 << Alphabet::Gsm7;
    QTest::newRow("0x48 automatic deletion, UCS2") << 0x48 << Alphabet::Ucs2;
    QTest::newRow("0x80 reserved group") << 0x80 << Alphabet::Gsm7;
    QTest::newRow("0xC0 waiting, discard") << 0xC0 << Alphabet::Gsm7;
    QTest::newRow("0xD8 waiting, store") << 0xD8 << Alphabet::Gsm7;
    QTest::newRow("0xE0 waiting, store, UCS2") << 0xE0 << Alphabet::Ucs2;
    QTest::newRow("0xF0 class group, default") << 0xF0 << Alphabet::Gsm7;
    QTest::newRow("0xF4 class group, 8-bit") << 0xF4 << Alphabet::EightBit;
    QTest::newRow("0xF6 class group, 8-bit, class 2") << 0xF6 << Alphabet::EightBit;
}

void tst_PduCodec::alphabetOf()
{
    QFETCH(int, dcs);
    QFETCH(Alphabet, alphabet);
    QCOMPARE(AlphabetOf(quint8(dcs)), alphabet);
}

void tst_PduCodec::encodeSingle_data()
{
    QTest::addColumn<SmsRecord>("record");
    QTest::addColumn<QString>("hex");
    const QString submitHead = L(kSmscField) + L("1100") + L(kNumberField);
    QTest::newRow("UCS2 Chinese") << Record(QStringLiteral("你好")) << submitHead + L("00080004") + L("4F60597D");
    QTest::newRow("leading plus dropped") << Record(QStringLiteral("你好"), 8, L("+8613912345678"))
                                          << submitHead + L("00080004") + L("4F60597D");
    QTest::newRow("plus on the service centre dropped")
        << Record(QStringLiteral("你好"), 8, L(kNumber), L("+8613800591500")) << submitHead + L("00080004") + L("4F60597D");
    QTest::newRow("7-bit hellohello") << Record(L("hellohello"), 0) << submitHead + L("0000000A") + L("E8329BFD4697D9EC37");
    QTest::newRow("7-bit with class 0") << Record(L("hellohello"), 0x10) << submitHead + L("0010000A") + L("E8329BFD4697D9EC37");
    QTest::newRow("8-bit Latin-1") << Record(QStringLiteral("A\u00FF"), 4) << submitHead + L("00040002") + L("41FF");
    QTest::newRow("UCS2 by class group") << Record(QStringLiteral("好"), 0x18) << submitHead + L("00180002") + L("597D");
    QTest::newRow("empty service centre") << Record(QStringLiteral("好"), 8, L(kNumber), QString())
                                          << L("00") + L("1100") + L(kNumberField) + L("00080002597D");
    QTest::newRow("even destination") << Record(QStringLiteral("好"), 8, L("861391234567"))
                                      << L(kSmscField) + L("1100") + L("0C91683119325476") + L("00080002597D");
    QTest::newRow("20-digit destination abroad") << Record(QStringLiteral("好"), 8, L("+12345678901234567890"))
                                          << L(kSmscField) + L("1100") + L("1491") + L("21436587092143658709")
                                                 + L("00080002597D");
    QTest::newRow("20 digits with the 86 put in front") << Record(QStringLiteral("好"), 8, L("345678901234567890"))
                                                       << L(kSmscField) + L("1100") + L("1491") + L("68436587092143658709")
                                                              + L("00080002597D");
    QTest::newRow("empty text") << Record(QString()) << submitHead + L("00080000");
    QTest::newRow("emoji as a surrogate pair") << Record(QStringLiteral("😀")) << submitHead + L("00080004") + L("D83DDE00");
    SmsRecord withPid = Record(QStringLiteral("好"));
    withPid.m_nPID = 0x41;
    QTest::newRow("PID from the record") << withPid << submitHead + L("41080002597D");
}

void tst_PduCodec::encodeSingle()
{
    QFETCH(SmsRecord, record);
    QFETCH(QString, hex);
    const EncodeResult r = EncodeSubmitPdu(record);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.parts, QStringList{hex});
}

void tst_PduCodec::encodeRefuses_data()
{
    QTest::addColumn<SmsRecord>("record");
    QTest::newRow("21-digit destination") << Record(L("x"), 8, QString(21, QLatin1Char('1')));
    QTest::newRow("plus and 21 digits") << Record(L("x"), 8, L("+") + QString(21, QLatin1Char('1')));
    QTest::newRow("60-digit destination") << Record(L("x"), 8, QString(60, QLatin1Char('9')));
    QTest::newRow("dash in destination") << Record(L("x"), 8, L("138-0000"));
    QTest::newRow("letter in destination") << Record(L("x"), 8, L("1380000000a"));
    QTest::newRow("full-width digits") << Record(L("x"), 8, QStringLiteral("１３８"));
    QTest::newRow("two plus signs") << Record(L("x"), 8, L("++8613800000000"));
    QTest::newRow("empty destination") << Record(L("x"), 8, QString());
    QTest::newRow("plus alone") << Record(L("x"), 8, L("+"));
    QTest::newRow("21-digit service centre") << Record(L("x"), 8, L(kNumber), QString(21, QLatin1Char('1')));
    QTest::newRow("letter in service centre") << Record(L("x"), 8, L(kNumber), L("86138A"));
    QTest::newRow("Chinese as 7-bit") << Record(QStringLiteral("你好"), 0);
    QTest::newRow("Chinese as 8-bit") << Record(QStringLiteral("你好"), 4);
}

void tst_PduCodec::encodeRefuses()
{
    QFETCH(SmsRecord, record);
    const EncodeResult r = EncodeSubmitPdu(record);
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
    QVERIFY(r.parts.isEmpty());
}

void tst_PduCodec::encodeUcs2Limit()
{
    const EncodeResult seventy = EncodeSubmitPdu(Record(ChineseText(70)));
    QVERIFY(seventy.ok);
    QCOMPARE(seventy.parts.size(), 1);
    // The user-data length follows PID, DCS and VP and counts 140 octets.
    const QString head = L(kSmscField) + L("1100") + L(kNumberField) + L("000800");
    QVERIFY(seventy.parts[0].startsWith(head + L("8C")));
    QCOMPARE(seventy.parts[0].size(), head.size() + 2 + 280);

    const EncodeResult seventyOne = EncodeSubmitPdu(Record(ChineseText(71)));
    QVERIFY(seventyOne.ok);
    QCOMPARE(seventyOne.parts.size(), 2);
    QCOMPARE(JoinParts(seventyOne.parts), ChineseText(71));
}

void tst_PduCodec::encodeChineseInThreeParts()
{
    const QString text = ChineseText(150);
    const EncodeResult r = EncodeSubmitPdu(Record(text), 0x2A);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.parts.size(), 3);
    const QList<int> sizes{67, 67, 16};
    QString joined;
    for (int i = 0; i < 3; ++i) {
        // First octet 0x51: the user-data header is flagged.
        QVERIFY(r.parts[i].startsWith(L(kSmscField) + L("5100") + L(kNumberField) + L("000800")));
        const DecodeResult d = Decode(r.parts[i]);
        QVERIFY2(d.ok, qPrintable(d.error));
        QCOMPARE(d.pdu.kind, Decoded::Submit);
        QCOMPARE(d.pdu.firstOctet, quint8(0x51));
        QCOMPARE(d.pdu.number, L(kNumber));
        QCOMPARE(d.pdu.smsc, L("8613800591500"));
        QCOMPARE(d.pdu.udh, std::optional<QByteArray>(QByteArray::fromHex("00032A03") + char(i + 1)));
        QCOMPARE(d.pdu.concat, std::optional<ConcatInfo>(ConcatInfo{0x2A, i + 1, 3}));
        QCOMPARE(d.pdu.text.size(), sizes[i]);
        QCOMPARE(d.pdu.text, text.mid(i * 67, sizes[i]));
        joined += d.pdu.text;
    }
    QCOMPARE(joined, text);
    // The header sits right after the user-data length: 6 + 2 * 67 octets.
    QCOMPARE(r.parts[0].mid(L(kSmscField).size() + 4 + L(kNumberField).size() + 6, 14), L("8C0500032A0301"));
}

void tst_PduCodec::encodeNeverSplitsSurrogatePair()
{
    const QString emoji = QStringLiteral("😀");
    const QString text = QString(66, QLatin1Char('a')) + emoji + QString(10, QLatin1Char('b'));
    const EncodeResult r = EncodeSubmitPdu(Record(text));
    QVERIFY(r.ok);
    QCOMPARE(r.parts.size(), 2);
    const DecodeResult first = Decode(r.parts[0]);
    const DecodeResult second = Decode(r.parts[1]);
    QCOMPARE(first.pdu.text, QString(66, QLatin1Char('a')));
    QCOMPARE(second.pdu.text, emoji + QString(10, QLatin1Char('b')));
}

void tst_PduCodec::encodeSevenBitParts()
{
    QString text;
    for (int i = 0; i < 200; ++i)
        text += QChar(u'A' + i % 26);
    const EncodeResult r = EncodeSubmitPdu(Record(text, 0), 7);
    QVERIFY(r.ok);
    QCOMPARE(r.parts.size(), 2);
    const DecodeResult first = Decode(r.parts[0]);
    QVERIFY(first.ok);
    QCOMPARE(first.pdu.text, text.left(153));
    QCOMPARE(first.pdu.concat, std::optional<ConcatInfo>(ConcatInfo{7, 1, 2}));
    // 7 header septets (six octets and one fill bit) plus 153 text septets.
    const QString head = L(kSmscField) + L("5100") + L(kNumberField) + L("000000");
    QVERIFY(r.parts[0].startsWith(head + L("A0") + L("050003070201")));
    // 'A' (0x41) after one fill bit.
    QCOMPARE(r.parts[0].mid(head.size() + 14, 2), L("82"));
    QCOMPARE(r.parts[0].size(), head.size() + 2 + 2 * 140);
    QCOMPARE(Decode(r.parts[1]).pdu.text, text.mid(153));
    QCOMPARE(JoinParts(r.parts), text);

    // 160 septets still fit one message.
    const EncodeResult single = EncodeSubmitPdu(Record(text.left(160), 0));
    QCOMPARE(single.parts.size(), 1);
    QVERIFY(single.parts[0].startsWith(L(kSmscField) + L("1100") + L(kNumberField) + L("000000A0")));
}

void tst_PduCodec::encodeNeverSplitsEscape()
{
    // Septets 153 and 154 are the escape and code of the euro sign.
    const QString text = QString(152, QLatin1Char('a')) + QStringLiteral("€") + QString(20, QLatin1Char('b'));
    const EncodeResult r = EncodeSubmitPdu(Record(text, 0));
    QVERIFY(r.ok);
    QCOMPARE(r.parts.size(), 2);
    const DecodeResult first = Decode(r.parts[0]);
    QCOMPARE(first.pdu.text, QString(152, QLatin1Char('a')));
    QCOMPARE(Decode(r.parts[1]).pdu.text, QStringLiteral("€") + QString(20, QLatin1Char('b')));

    // Extension characters count two septets each: 80 of them fill one message.
    const QString braces = Repeat(L("{}"), 40);
    const EncodeResult full = EncodeSubmitPdu(Record(braces, 0));
    QCOMPARE(full.parts.size(), 1);
    QCOMPARE(Decode(full.parts[0]).pdu.text, braces);
    QCOMPARE(EncodeSubmitPdu(Record(braces + L("x"), 0)).parts.size(), 2);
}

void tst_PduCodec::encodeEightBitParts()
{
    QString text;
    for (int i = 0; i < 300; ++i)
        text += QChar(char16_t(i % 256));
    const EncodeResult r = EncodeSubmitPdu(Record(text, 4));
    QVERIFY(r.ok);
    QCOMPARE(r.parts.size(), 3);
    const QList<int> sizes{134, 134, 32};
    for (int i = 0; i < 3; ++i) {
        const DecodeResult d = Decode(r.parts[i]);
        QVERIFY(d.ok);
        QCOMPARE(d.pdu.rawUserData.size(), sizes[i]);
        QCOMPARE(d.pdu.text, text.mid(i * 134, sizes[i]));
    }
    QCOMPARE(EncodeSubmitPdu(Record(text.left(140), 4)).parts.size(), 1);
    QCOMPARE(EncodeSubmitPdu(Record(text.left(141), 4)).parts.size(), 2);
}

void tst_PduCodec::encodePartLimit()
{
    const EncodeResult most = EncodeSubmitPdu(Record(QString(255 * 67, QLatin1Char('x'))));
    QVERIFY(most.ok);
    QCOMPARE(most.parts.size(), 255);
    QCOMPARE(Decode(most.parts.last()).pdu.concat, std::optional<ConcatInfo>(ConcatInfo{0, 255, 255}));
    const EncodeResult tooMany = EncodeSubmitPdu(Record(QString(255 * 67 + 1, QLatin1Char('x'))));
    QVERIFY(!tooMany.ok);
    QVERIFY(!tooMany.error.isEmpty());
}

void tst_PduCodec::codingAndMessageCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("dcs");
    QTest::addColumn<int>("messages");
    QTest::newRow("no text") << QString() << 0 << 0;
    QTest::newRow("160 GSM characters: one message") << QString(160, QLatin1Char('a')) << 0 << 1;
    QTest::newRow("161 GSM characters: two parts") << QString(161, QLatin1Char('a')) << 0 << 2;
    QTest::newRow("307 GSM characters: three parts of 153") << QString(307, QLatin1Char('a')) << 0 << 3;
    QTest::newRow("81 extension characters: two parts") << QString(81, QChar(0x20AC)) << 0 << 2;
    QTest::newRow("GSM letters beyond ASCII: @ é Ä ¥") << QStringLiteral("@éÄ¥ Δ") << 0 << 1;
    QTest::newRow("71 characters with Chinese: two UCS2 parts") << QStringLiteral("中") + QString(70, QLatin1Char('a')) << 8 << 2;
    QTest::newRow("a character outside the GSM alphabet: UCS2") << QStringLiteral("a`b") << 8 << 1;
}

// A text goes out in 7-bit when the GSM alphabet holds every character; the count is what
// the encoder then makes of it.
void tst_PduCodec::codingAndMessageCount()
{
    QFETCH(QString, text);
    QFETCH(int, dcs);
    QFETCH(int, messages);
    QCOMPARE(int(DcsFor(text)), dcs);
    QCOMPARE(MessageCount(text), messages);
    if (text.isEmpty())
        return;
    const EncodeResult r = EncodeSubmitPdu(Record(text, DcsFor(text)));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(int(r.parts.size()), messages);
}

void tst_PduCodec::tpduLength_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<int>("length");
    QTest::newRow("with service centre")
        << L(kSmscField) + L("1100") + L(kNumberField) + L("00080004") + L("4F60597D") << 19;
    QTest::newRow("without service centre") << L("00") + L("1100") + L(kNumberField) + L("00080002597D") << 17;
    QTest::newRow("not hex") << L("zz11") << -1;
    QTest::newRow("empty") << QString() << -1;
}

void tst_PduCodec::tpduLength()
{
    QFETCH(QString, hex);
    QFETCH(int, length);
    QCOMPARE(TpduLength(hex), length);
}

void tst_PduCodec::decode_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("smsc");
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("numberType");
    QTest::addColumn<int>("dcs");
    QTest::addColumn<QString>("scts");
    QTest::addColumn<QString>("text");

    const QString oa = L("0D91683119325476F8");
    QTest::newRow("UCS2 Chinese")
        << L(kSmscField) + L("04") + oa + L("0008") + L("52103141250023") + L("04") + L("4F60597D")
        << L("8613800591500") << L(kNumber) << 0x91 << 8 << L("25011314520032") << QStringLiteral("你好");
    QTest::newRow("lower-case hex")
        << (L(kSmscField) + L("04") + oa + L("0008") + L("52103141250023") + L("04") + L("4F60597D")).toLower()
        << L("8613800591500") << L(kNumber) << 0x91 << 8 << L("25011314520032") << QStringLiteral("你好");
    QTest::newRow("line ending around the text")
        << L("\r\n") + L(kSmscField) + L("04") + oa + L("0008") + L("52103141250023") + L("02") + L("597D") + L("\r\n")
        << L("8613800591500") << L(kNumber) << 0x91 << 8 << L("25011314520032") << QStringLiteral("好");
    QTest::newRow("time stamp of 3 January 2009")
        << L(kSmscField) + L("04") + oa + L("0008") + L("90103012000023") + L("02") + L("597D")
        << L("8613800591500") << L(kNumber) << 0x91 << 8 << L("09010321000032") << QStringLiteral("好");
    QTest::newRow("no service centre")
        << L("00") + L("04") + oa + L("0008") + L("52103141250023") + L("02") + L("597D")
        << QString() << L(kNumber) << 0x91 << 8 << L("25011314520032") << QStringLiteral("好");
    QTest::newRow("national number of 11 digits loses its filler")
        << L("00") + L("04") + L("0B813112325476F8") + L("0008") + L("52103141250023") + L("02") + L("597D")
        << QString() << L("13212345678") << 0x81 << 8 << L("25011314520032") << QStringLiteral("好");
    QTest::newRow("short code of 5 digits")
        << L("00") + L("04") + L("05A10180F6") + L("0008") + L("52103141250023") + L("02") + L("597D")
        << QString() << L("10086") << 0xA1 << 8 << L("25011314520032") << QStringLiteral("好");
    QTest::newRow("odd UCS2 length drops the dangling octet")
        << L(kSmscField) + L("04") + oa + L("0008") + L("52103141250023") + L("05") + L("4F60597D41")
        << L("8613800591500") << L(kNumber) << 0x91 << 8 << L("25011314520032") << QStringLiteral("你好");
    QTest::newRow("7-bit hellohello")
        << L("07917283010010F5") + L("040BC87238880900F1") + L("0000") + L("99309251619580") + L("0A")
               + L("E8329BFD4697D9EC37")
        << L("27381000015") << L("27838890001") << 0xC8 << 0 << L("99032915165908") << L("hellohello");
    QTest::newRow("7-bit with the at sign inside")
        << L("00") + L("04") + oa + L("0000") + L("52103141250023") + L("03") + L("618018")
        << QString() << L(kNumber) << 0x91 << 0 << L("25011314520032") << L("a@b");
    QTest::newRow("7-bit extension characters")
        << L("00") + L("04") + oa + L("0000") + L("52103141250023") + L("12")
               + OctetsToHex(PackSeptets(QByteArray::fromHex("1b651b3c1b3e1b281b291b141b3d1b2f1b40")))
        << QString() << L(kNumber) << 0x91 << 0 << L("25011314520032") << QStringLiteral("€[]{}^~\\|");
    QTest::newRow("DCS 0x10 is 7-bit")
        << L("00") + L("04") + oa + L("0010") + L("52103141250023") + L("0A") + L("E8329BFD4697D9EC37")
        << QString() << L(kNumber) << 0x91 << 0x10 << L("25011314520032") << L("hellohello");
    QTest::newRow("DCS 0x11 is 7-bit class 1")
        << L("00") + L("04") + oa + L("0011") + L("52103141250023") + L("0A") + L("E8329BFD4697D9EC37")
        << QString() << L(kNumber) << 0x91 << 0x11 << L("25011314520032") << L("hellohello");
    QTest::newRow("DCS 0x14 is 8-bit")
        << L("00") + L("04") + oa + L("0014") + L("52103141250023") + L("03") + L("41E942")
        << QString() << L(kNumber) << 0x91 << 0x14 << L("25011314520032") << QStringLiteral("AéB");
    QTest::newRow("DCS 0x18 is UCS2")
        << L("00") + L("04") + oa + L("0018") + L("52103141250023") + L("04") + L("4F60597D")
        << QString() << L(kNumber) << 0x91 << 0x18 << L("25011314520032") << QStringLiteral("你好");
    QTest::newRow("8-bit DCS 4 byte for byte")
        << L("00") + L("04") + oa + L("0004") + L("52103141250023") + L("03") + L("00FF41")
        << QString() << L(kNumber) << 0x91 << 4 << L("25011314520032") << QStringLiteral("\u0000\u00FFA");
    QTest::newRow("empty user data")
        << L("00") + L("04") + oa + L("0008") + L("52103141250023") + L("00")
        << QString() << L(kNumber) << 0x91 << 8 << L("25011314520032") << QString();
    QTest::newRow("octets after the user data are ignored")
        << L("00") + L("04") + oa + L("0008") + L("52103141250023") + L("02") + L("597D") + L("FFFF")
        << QString() << L(kNumber) << 0x91 << 8 << L("25011314520032") << QStringLiteral("好");
}

void tst_PduCodec::decode()
{
    QFETCH(QString, hex);
    QFETCH(QString, smsc);
    QFETCH(QString, number);
    QFETCH(int, numberType);
    QFETCH(int, dcs);
    QFETCH(QString, scts);
    QFETCH(QString, text);
    for (const DecodeResult &r : {Decode(hex), DecodeDeliverPdu(hex)}) {
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.pdu.kind, Decoded::Deliver);
        QCOMPARE(r.pdu.smsc, smsc);
        QCOMPARE(r.pdu.number, number);
        QCOMPARE(int(r.pdu.numberType), numberType);
        QCOMPARE(int(r.pdu.dcs), dcs);
        QCOMPARE(r.pdu.scts, scts);
        QCOMPARE(r.pdu.text, text);
        QVERIFY(!r.pdu.udh);
        QVERIFY(!r.pdu.concat);
        if (AlphabetOf(quint8(dcs)) == Alphabet::EightBit)
            QCOMPARE(r.pdu.rawUserData, text.toLatin1());
        else
            QVERIFY(r.pdu.rawUserData.isEmpty());
    }
}

void tst_PduCodec::decodeSubmitValidityFormats_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<int>("firstOctet");
    const QString da = L(kNumberField);
    QTest::newRow("no validity period") << L("00") + L("01") + L("2A") + da + L("0008") + L("04") + L("4F60597D") << 0x01;
    QTest::newRow("relative") << L("00") + L("11") + L("2A") + da + L("0008") + L("AA") + L("04") + L("4F60597D") << 0x11;
    QTest::newRow("enhanced") << L("00") + L("09") + L("2A") + da + L("0008") + L("01000000000000") + L("04") + L("4F60597D")
                              << 0x09;
    QTest::newRow("absolute") << L("00") + L("19") + L("2A") + da + L("0008") + L("52103141250023") + L("04") + L("4F60597D")
                              << 0x19;
    QTest::newRow("with service centre")
        << L(kSmscField) + L("11") + L("2A") + da + L("0008") + L("00") + L("04") + L("4F60597D") << 0x11;
}

void tst_PduCodec::decodeSubmitValidityFormats()
{
    QFETCH(QString, hex);
    QFETCH(int, firstOctet);
    for (const DecodeResult &r : {Decode(hex), DecodeSubmitPdu(hex)}) {
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.pdu.kind, Decoded::Submit);
        QCOMPARE(int(r.pdu.firstOctet), firstOctet);
        QCOMPARE(r.pdu.messageRef, 0x2A);
        QCOMPARE(r.pdu.number, L(kNumber));
        QCOMPARE(int(r.pdu.numberType), 0x91);
        QCOMPARE(int(r.pdu.dcs), 8);
        QCOMPARE(r.pdu.scts, QString());
        QCOMPARE(r.pdu.text, QStringLiteral("你好"));
    }
}

void tst_PduCodec::decodeSevenBitLengths_data()
{
    QTest::addColumn<int>("udl");
    QTest::addColumn<int>("octets");
    QTest::newRow("7 septets in 7 octets") << 7 << 7;
    QTest::newRow("8 septets in 7 octets") << 8 << 7;
    QTest::newRow("9 septets in 8 octets") << 9 << 8;
    QTest::newRow("160 septets in 140 octets") << 160 << 140;
    QTest::newRow("1 septet in 1 octet") << 1 << 1;
}

void tst_PduCodec::decodeSevenBitLengths()
{
    QFETCH(int, udl);
    QFETCH(int, octets);
    QByteArray septets;
    for (int i = 0; i < udl; ++i)
        septets.append(char('0' + i % 10));
    const QByteArray packed = PackSeptets(septets);
    QCOMPARE(packed.size(), octets);
    const QString head = L("00") + L("04") + L(kNumberField) + L("0000") + L("52103141250023")
                         + OctetsToHex(QByteArray(1, char(udl)));
    const DecodeResult r = Decode(head + OctetsToHex(packed));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.pdu.text, QString::fromLatin1(septets));
    // One octet short of what the length promises.
    QVERIFY(!Decode(head + OctetsToHex(packed.left(octets - 1))).ok);
}

void tst_PduCodec::decodeAlphanumericSender_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("hand-packed Skevo") << L("Skevo");
    for (int n = 1; n <= 11; ++n)
        QTest::addRow("%d characters", n) << QStringLiteral("Kavrel@Info").left(n);
    QTest::newRow("with extension character") << QStringLiteral("Pay€");
}

void tst_PduCodec::decodeAlphanumericSender()
{
    QFETCH(QString, name);
    const QByteArray septets = *ToGsm7(name);
    const QByteArray packed = PackSeptets(septets);
    if (name == L("Skevo"))
        QCOMPARE(OctetsToHex(packed), L("D375D9FE06"));
    // The length counts the useful semi-octets (TS 23.040 9.1.2.5).
    const int semiOctets = (int(septets.size()) * 7 + 3) / 4;
    const QString oa = OctetsToHex(QByteArray(1, char(semiOctets))) + L("D0") + OctetsToHex(packed);
    const QString hex = L("00") + L("04") + oa + L("0008") + L("52103141250023") + L("02") + L("597D");
    const DecodeResult r = Decode(hex);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.pdu.number, name);
    QCOMPARE(int(r.pdu.numberType), 0xD0);
    QCOMPARE(r.pdu.text, QStringLiteral("好"));
}

void tst_PduCodec::decodeHeader_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QByteArray>("udh");
    QTest::addColumn<std::optional<ConcatInfo>>("concat");
    QTest::addColumn<QString>("text");
    const QString head = L("00") + L("44") + L("0B813112325476F8");
    const QString ts = L("52103141250023");
    QTest::newRow("7-bit with 8-bit reference and a fill bit")
        << head + L("0000") + ts + L("09") + L("050003070201") + L("D069") << QByteArray::fromHex("0003070201")
        << std::optional<ConcatInfo>(ConcatInfo{7, 1, 2}) << L("hi");
    QTest::newRow("UCS2 with 16-bit reference")
        << head + L("0008") + ts + L("0B") + L("060804123403024F60597D") << QByteArray::fromHex("080412340302")
        << std::optional<ConcatInfo>(ConcatInfo{0x1234, 2, 3}) << QStringLiteral("你好");
    QTest::newRow("8-bit with a port header only")
        << head + L("0004") + ts + L("09") + L("0605040B840B844142") << QByteArray::fromHex("05040B840B84")
        << std::optional<ConcatInfo>() << L("AB");
    QTest::newRow("concatenation after another element")
        << head + L("0008") + ts + L("0E") + L("090102AA0000030903034F60597D")
        << QByteArray::fromHex("0102AA000003090303")
        << std::optional<ConcatInfo>(ConcatInfo{9, 3, 3}) << QStringLiteral("你好");
    QTest::newRow("sequence past the count is ignored")
        << head + L("0008") + ts + L("08") + L("050003090304597D") << QByteArray::fromHex("0003090304")
        << std::optional<ConcatInfo>() << QStringLiteral("好");
    QTest::newRow("count 0 is ignored")
        << head + L("0008") + ts + L("08") + L("050003090000597D") << QByteArray::fromHex("0003090000")
        << std::optional<ConcatInfo>() << QStringLiteral("好");
    QTest::newRow("element running past the header is ignored")
        << head + L("0008") + ts + L("08") + L("050007090201597D") << QByteArray::fromHex("0007090201")
        << std::optional<ConcatInfo>() << QStringLiteral("好");
    QTest::newRow("header and no text") << head + L("0008") + ts + L("06") + L("050003010101")
                                        << QByteArray::fromHex("0003010101")
                                        << std::optional<ConcatInfo>(ConcatInfo{1, 1, 1}) << QString();
    QTest::newRow("empty header") << head + L("0008") + ts + L("03") + L("00597D") << QByteArray()
                                  << std::optional<ConcatInfo>() << QStringLiteral("好");
    QTest::newRow("7-bit header of exactly seven septets' worth")
        << head + L("0000") + ts + L("09") + L("0600040000000000") << QByteArray::fromHex("000400000000")
        << std::optional<ConcatInfo>() << L("@");
}

void tst_PduCodec::decodeHeader()
{
    QFETCH(QString, hex);
    QFETCH(QByteArray, udh);
    QFETCH(std::optional<ConcatInfo>, concat);
    QFETCH(QString, text);
    const DecodeResult r = Decode(hex);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.pdu.number, L("13212345678"));
    QCOMPARE(r.pdu.udh, std::optional<QByteArray>(udh));
    QCOMPARE(r.pdu.concat, concat);
    QCOMPARE(r.pdu.text, text);
}

void tst_PduCodec::decodeRefuses_data()
{
    QTest::addColumn<QString>("hex");
    const QString oa = L("0D91683119325476F8");
    const QString ts = L("52103141250023");
    QTest::newRow("empty") << QString();
    QTest::newRow("one digit") << L("0");
    QTest::newRow("odd length") << L(kSmscField) + L("04") + oa + L("0008") + ts + L("02") + L("597D0");
    QTest::newRow("non-hex character") << L(kSmscField) + L("04") + oa + L("0008") + ts + L("02") + L("597G");
    QTest::newRow("blank inside") << L(kSmscField) + L("04 ") + oa + L("0008") + ts + L("02") + L("597");
    QTest::newRow("service-centre length only") << L("08");
    QTest::newRow("service-centre length past the end") << L("0A91683108501905F0");
    QTest::newRow("no first octet") << L("00");
    QTest::newRow("status report") << L("00") + L("06") + oa + L("0008") + ts + L("02") + L("597D");
    QTest::newRow("reserved message type") << L("00") + L("07") + oa + L("0008") + ts + L("02") + L("597D");
    QTest::newRow("address length past the end") << L("0004") + L("FF91") + L("683119325476F8");
    QTest::newRow("no time stamp") << L("00") + L("04") + oa + L("0008") + L("5210");
    QTest::newRow("user-data length past the end") << L("00") + L("04") + oa + L("0008") + ts + L("8C") + L("597D");
    QTest::newRow("7-bit length past the end") << L("00") + L("04") + oa + L("0000") + ts + L("A0") + L("E8329BFD4697D9EC37");
    QTest::newRow("header length past the user data")
        << L("00") + L("44") + oa + L("0008") + ts + L("04") + L("20000301");
    QTest::newRow("header length past the 7-bit septets")
        << L("00") + L("44") + oa + L("0000") + ts + L("02") + L("0500");
    QTest::newRow("header flagged on empty user data") << L("00") + L("44") + oa + L("0008") + ts + L("00");
    QTest::newRow("submit without validity period") << L("00") + L("11") + L("00") + oa + L("0008");
    QTest::newRow("submit absolute validity cut") << L("00") + L("19") + L("00") + oa + L("0008") + L("5210");
}

void tst_PduCodec::decodeRefuses()
{
    QFETCH(QString, hex);
    const DecodeResult r = Decode(hex);
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
    QVERIFY(!r.error.contains(QLatin1Char('\n')));
}

void tst_PduCodec::decodeKindChecks()
{
    const QString deliver = L("00") + L("04") + L(kNumberField) + L("0008") + L("52103141250023") + L("02") + L("597D");
    const QString submit = EncodeSubmitPdu(Record(QStringLiteral("好"))).parts.value(0);
    QVERIFY(DecodeDeliverPdu(deliver).ok);
    QVERIFY(!DecodeSubmitPdu(deliver).ok);
    QVERIFY(DecodeSubmitPdu(submit).ok);
    QVERIFY(!DecodeDeliverPdu(submit).ok);
    QVERIFY(!DecodeDeliverPdu(submit).error.isEmpty());
}

void tst_PduCodec::truncationsFail_data()
{
    QTest::addColumn<QString>("hex");
    const QString oa = L("0D91683119325476F8");
    const QString ts = L("52103141250023");
    QTest::newRow("deliver UCS2") << L(kSmscField) + L("04") + oa + L("0008") + ts + L("04") + L("4F60597D");
    QTest::newRow("deliver 7-bit") << L("07917283010010F5") + L("040BC87238880900F1") + L("0000") + L("99309251619580")
                                          + L("0A") + L("E8329BFD4697D9EC37");
    QTest::newRow("deliver with header") << L("00") + L("44") + L("0B813112325476F8") + L("0000") + ts + L("09")
                                                + L("050003070201") + L("D069");
    QTest::newRow("deliver alphanumeric") << L("00") + L("04") + L("09D0D375D9FE06") + L("0008") + ts + L("02") + L("597D");
    QTest::newRow("submit absolute") << L("00") + L("19") + L("2A") + oa + L("0008") + ts + L("04") + L("4F60597D");
    QTest::newRow("submit enhanced") << L("00") + L("09") + L("2A") + oa + L("0008") + ts + L("04") + L("4F60597D");
    QTest::newRow("encoded part") << EncodeSubmitPdu(Record(ChineseText(100))).parts.value(0);
    QTest::newRow("encoded 7-bit part") << EncodeSubmitPdu(Record(QString(170, QLatin1Char('x')), 0)).parts.value(0);
}

void tst_PduCodec::truncationsFail()
{
    QFETCH(QString, hex);
    QVERIFY(Decode(hex).ok);
    // Every length field is checked, so a cut anywhere leaves the user data short.
    for (qsizetype n = 0; n < hex.size(); ++n) {
        const DecodeResult r = Decode(hex.left(n));
        if (r.ok)
            QFAIL(qPrintable(QStringLiteral("prefix of %1 characters decoded").arg(n)));
        QVERIFY(!r.error.isEmpty());
    }
}

void tst_PduCodec::toRecord()
{
    const DecodeResult d = Decode(L(kSmscField) + L("04") + L(kNumberField) + L("0008") + L("90103012000023") + L("04")
                                  + L("4F60597D"));
    QVERIFY(d.ok);
    const SmsRecord r = ToRecord(d.pdu);
    QCOMPARE(r.m_strSCA, L("8613800591500"));
    QCOMPARE(r.m_strTPA, L(kNumber));
    QCOMPARE(r.m_nPID, quint8(0));
    QCOMPARE(r.m_nDCS, quint8(8));
    QCOMPARE(r.m_strSCTS, L("09010321000032"));
    QCOMPARE(r.m_strUD, QStringLiteral("你好"));
    QCOMPARE(r.m_nID, -1);
}

void tst_PduCodec::senderKeptAsARecordSendsToIt_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("kept");
    QTest::newRow("international, Chinese") << 0x91 << L("8613800000000") << L("8613800000000");
    QTest::newRow("international, Hong Kong") << 0x91 << L("85291234567") << L("+85291234567");
    QTest::newRow("national") << 0xA1 << L("13800000000") << L("13800000000");
    QTest::newRow("unknown type, service number") << 0x81 << L("10086") << L("10086");
}

// An arrival from abroad is kept with its "+": the reply goes to that phone, not to "86" before it.
void tst_PduCodec::senderKeptAsARecordSendsToIt()
{
    QFETCH(int, type);
    QFETCH(QString, digits);
    QFETCH(QString, kept);
    const QString address = QStringLiteral("%1%2").arg(digits.size(), 2, 16, QLatin1Char('0')).arg(type, 2, 16, QLatin1Char('0')).toUpper()
        + SwapSemiOctets(digits);
    const DecodeResult d = Decode(L(kSmscField) + L("04") + address + L("0008") + L("90103012000023") + L("02") + L("597D"));
    QVERIFY2(d.ok, qPrintable(d.error));
    QCOMPARE(ToRecord(d.pdu).m_strTPA, kept);
}

void tst_PduCodec::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("dcs");
    QTest::newRow("UCS2 mixed") << QStringLiteral("会议改到下午3点, OK? 😀") << 8;
    QTest::newRow("7-bit full alphabet")
        << QStringLiteral("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà")
        << 0;
    QTest::newRow("7-bit extension") << QStringLiteral("Price: 5€ [a] {b} ^c~ \\d|") << 0;
    QTest::newRow("7-bit at signs only") << L("@@@@@@@@") << 0;
    QTest::newRow("7-bit long with extension") << Repeat(QStringLiteral("ab€"), 90) << 0;
    QTest::newRow("8-bit") << QStringLiteral("Ünïcødé\u0000\u00FF") << 4;
    QTest::newRow("UCS2 long") << ChineseText(200) << 8;
}

void tst_PduCodec::roundTrip()
{
    QFETCH(QString, text);
    QFETCH(int, dcs);
    const EncodeResult r = EncodeSubmitPdu(Record(text, quint8(dcs)));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(JoinParts(r.parts), text);
}

void tst_PduCodec::randomHexNeverCrashes()
{
    // Random strings and mutations of valid PDUs; whatever decodes must be self-consistent.
    QRandomGenerator rng(20240611);
    QStringList seeds;
    seeds << EncodeSubmitPdu(Record(ChineseText(100))).parts << EncodeSubmitPdu(Record(QString(200, QLatin1Char('q')), 0)).parts
          << EncodeSubmitPdu(Record(QString(150, QLatin1Char('r')), 4)).parts
          << L("07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37")
          << L("00440B813112325476F800005210314125002309050003070201D069")
          << L("000409D0D375D9FE06000852103141250023") + L("02597D");
    const QString hexChars = L("0123456789ABCDEFabcdef");
    int decoded = 0;
    for (int i = 0; i < 200000; ++i) {
        QString hex;
        if (i % 2 == 0) {
            const int len = int(rng.bounded(0, 400));
            hex.reserve(len);
            for (int k = 0; k < len; ++k)
                hex += hexChars[int(rng.bounded(hexChars.size()))];
        } else {
            hex = seeds[int(rng.bounded(int(seeds.size())))];
            const int edits = int(rng.bounded(1, 6));
            for (int e = 0; e < edits && !hex.isEmpty(); ++e) {
                const int pos = int(rng.bounded(int(hex.size())));
                switch (rng.bounded(4)) {
                case 0:
                    hex[pos] = hexChars[int(rng.bounded(16))];
                    break;
                case 1:
                    hex.truncate(pos - pos % 2);
                    break;
                case 2:
                    hex.remove(pos - pos % 2, 2);
                    break;
                default:
                    hex.insert(pos - pos % 2, OctetsToHex(QByteArray(1, char(rng.bounded(256)))));
                    break;
                }
            }
        }
        const DecodeResult r = Decode(hex);
        if (!r.ok) {
            QVERIFY(!r.error.isEmpty());
            continue;
        }
        ++decoded;
        if (r.pdu.concat) {
            QVERIFY(r.pdu.concat->part >= 1);
            QVERIFY(r.pdu.concat->part <= r.pdu.concat->count);
            QVERIFY(r.pdu.udh);
        }
        QVERIFY(r.pdu.scts.size() == 14 || r.pdu.kind == Decoded::Submit);
        QVERIFY(r.pdu.text.size() <= 255);
    }
    // The mutations keep enough PDUs whole that the decoding paths are exercised too.
    QVERIFY(decoded > 1000);
}

void tst_PduCodec::randomTextsRoundTrip()
{
    QRandomGenerator rng(777);
    const QString gsm = QStringLiteral("@£$¥èéAbc 019\n€[]{}^~\\|ΔΩ");
    const QString wide = QStringLiteral("短信你好世界Ab1 ") + QStringLiteral("😀");
    const quint8 codings[] = {0x00, 0x04, 0x08, 0x10, 0x14, 0x18, 0xF0, 0xF4};
    for (int i = 0; i < 2000; ++i) {
        const quint8 dcs = codings[rng.bounded(8)];
        const int len = int(rng.bounded(0, 700));
        QString text;
        const QString &pool = AlphabetOf(dcs) == Alphabet::Ucs2 ? wide : gsm;
        for (int k = 0; k < len; ++k) {
            if (AlphabetOf(dcs) == Alphabet::EightBit)
                text += QChar(char16_t(rng.bounded(256)));
            else
                text += pool[int(rng.bounded(pool.size()))];
        }
        const quint8 ref = quint8(rng.bounded(256));
        const EncodeResult r = EncodeSubmitPdu(Record(text, dcs), ref);
        QVERIFY2(r.ok, qPrintable(r.error));
        QString joined;
        for (int p = 0; p < r.parts.size(); ++p) {
            const DecodeResult d = Decode(r.parts[p]);
            QVERIFY2(d.ok, qPrintable(d.error));
            QCOMPARE(int(d.pdu.dcs), int(dcs));
            // No part's user data exceeds 140 octets.
            QVERIFY(TpduLength(r.parts[p]) <= 15 + 140);
            if (r.parts.size() > 1)
                QCOMPARE(d.pdu.concat, std::optional<ConcatInfo>(ConcatInfo{ref, p + 1, int(r.parts.size())}));
            else
                QVERIFY(!d.pdu.concat);
            joined += d.pdu.text;
        }
        QCOMPARE(joined, text);
    }
}

// TS 23.040 9.2.2.3: SMSC, first octet, MR, RA, SCTS, DT, ST [, PI [, PID] [, DCS] [, UDL, UD]].
const char kReportHead[] = "07917283010010F5" "06" "2A" "0D91683108000000F1" "52103141250023" "52103141350023";

void tst_PduCodec::statusReport_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<int>("reference");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("smsc");
    QTest::addColumn<int>("pid"); // -1 absent
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("canonical"); // the encoder writes these very octets
    QTest::newRow("delivered, nothing optional") << L(kReportHead) + L("00") << 42 << 0x00 << L("27381000015") << -1
                                                 << QString() << true;
    QTest::newRow("failed, with PID and DCS") << L(kReportHead) + L("41") + L("03") + L("00") + L("00") << 42 << 0x41
                                              << L("27381000015") << 0 << QString() << true;
    QTest::newRow("with a 7-bit text") << L(kReportHead) + L("00") + L("07") + L("00") + L("00") + L("02") + L("C834") << 42
                                       << 0x00 << L("27381000015") << 0 << L("Hi") << true;
    QTest::newRow("no SMSC, reference 255")
        << L("00") + L("06") + L("FF") + L("0D91683108000000F1") + L("52103141250023") + L("52103141350023") + L("30") << 255
        << 0x30 << QString() << -1 << QString() << true;
    QTest::newRow("indicator extended by a reserved octet")
        << L(kReportHead) + L("00") + L("81") + L("00") + L("7F") << 42 << 0x00 << L("27381000015") << 0x7F << QString()
        << false;
}

void tst_PduCodec::statusReport()
{
    QFETCH(QString, hex);
    QFETCH(int, reference);
    QFETCH(int, status);
    QFETCH(QString, smsc);
    QFETCH(int, pid);
    QFETCH(QString, text);
    QFETCH(bool, canonical);
    const StatusReportResult r = DecodeStatusReport(hex);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.report.messageRef, reference);
    QCOMPARE(r.report.recipient, L("8613800000001"));
    QCOMPARE(r.report.scts, L("25011314520032"));
    QCOMPARE(r.report.discharge, L("25011314530032"));
    QCOMPARE(int(r.report.status), status);
    QCOMPARE(r.report.smsc, smsc);
    QCOMPARE(r.report.pid.has_value(), pid >= 0);
    if (pid >= 0)
        QCOMPARE(int(*r.report.pid), pid);
    QCOMPARE(r.report.text.value_or(QString()), text);
    // Never taken for a message.
    QVERIFY(!Decode(hex).ok);
    QVERIFY(!DecodeDeliverPdu(hex).ok);
    if (canonical)
        QCOMPARE(EncodeStatusReport(r.report), hex);
}

// Every cut inside the mandatory fields fails; a cut inside the optional ones (as from a
// service centre whose TP-PI announces fields it does not send) leaves the report whole.
void tst_PduCodec::statusReportTruncated()
{
    const QString full = L(kReportHead) + L("41") + L("07") + L("00") + L("00") + L("02") + L("C834");
    const qsizetype mandatory = qsizetype(sizeof kReportHead - 1) + 2;
    for (qsizetype n = 0; n < full.size(); n += 2) {
        const StatusReportResult r = DecodeStatusReport(full.left(n));
        QVERIFY2(r.ok == (n >= mandatory), qPrintable(QStringLiteral("%1 digits: %2").arg(n).arg(r.error)));
        if (r.ok) {
            QCOMPARE(int(r.report.status), 0x41);
            QVERIFY(!r.report.text);
        } else {
            QVERIFY(!r.error.isEmpty());
        }
    }
    QCOMPARE(DecodeStatusReport(L(kReportHead) + L("00") + L("FF")).report.status, quint8(0));
    QCOMPARE(DecodeStatusReport(full).report.text, std::optional<QString>(L("Hi")));
}

void tst_PduCodec::messageType_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<int>("type");
    QTest::newRow("SMS-DELIVER") << L("0004") << 0;
    QTest::newRow("SMS-SUBMIT after an SMSC") << L("07917283010010F511") << 1;
    QTest::newRow("SMS-STATUS-REPORT") << L(kReportHead) + L("00") << kStatusReportType;
    QTest::newRow("ends inside the SMSC") << L("079172") << -1;
    QTest::newRow("no hex") << L("zz06") << -1;
    QTest::newRow("empty") << QString() << -1;
}

void tst_PduCodec::messageType()
{
    QFETCH(QString, hex);
    QFETCH(int, type);
    QCOMPARE(MessageTypeOf(hex), type);
}

void tst_PduCodec::deliveryOf_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("delivery");
    QTest::newRow("received by the phone") << 0x00 << int(Delivery::Delivered);
    QTest::newRow("replaced, last of the completed") << 0x1F << int(Delivery::Delivered);
    QTest::newRow("congestion, still trying") << 0x20 << int(Delivery::Pending);
    QTest::newRow("last of still trying") << 0x3F << int(Delivery::Pending);
    QTest::newRow("remote procedure error") << 0x40 << int(Delivery::Failed);
    QTest::newRow("temporary, no longer trying") << 0x60 << int(Delivery::Failed);
    QTest::newRow("reserved") << 0x80 << int(Delivery::Failed);
}

void tst_PduCodec::deliveryOf()
{
    QFETCH(int, status);
    QFETCH(int, delivery);
    QCOMPARE(int(DeliveryOf(quint8(status))), delivery);
}

// TP-SRR (TS 23.040 9.2.3.5) in every part when asked, in none otherwise.
void tst_PduCodec::reportRequest()
{
    for (const bool asked : {true, false}) {
        const EncodeResult r = EncodeSubmitPdu(Record(ChineseText(100)), 7, asked);
        QVERIFY(r.ok);
        QCOMPARE(r.parts.size(), 2);
        for (const QString &part : r.parts) {
            const DecodeResult d = DecodeSubmitPdu(part);
            QVERIFY(d.ok);
            QCOMPARE(bool(d.pdu.firstOctet & 0x20), asked);
            QCOMPARE(d.pdu.firstOctet & 0xDF, 0x51); // the rest as before: SUBMIT, VP relative, UDHI
        }
    }
}

QTEST_GUILESS_MAIN(tst_PduCodec)
#include "tst_pducodec.moc"
