#include "at/AtResponseParser.h"

#include <QtTest>

using Notice = AtResponseParser::Notice;
Q_DECLARE_METATYPE(QList<QByteArray>)
Q_DECLARE_METATYPE(QVector<AtResponseParser::Notice>)

namespace {

Notice Stored(const QString &storage, int index)
{
    Notice n;
    n.kind = Notice::Stored;
    n.storage = storage;
    n.index = index;
    return n;
}

Notice Registered(int stat)
{
    Notice n;
    n.kind = Notice::Registration;
    n.index = stat;
    return n;
}

Notice Direct(const QString &pdu)
{
    Notice n;
    n.kind = Notice::Direct;
    n.pdu = pdu;
    return n;
}

const QString kReport = QStringLiteral("0006FF0D91683108000000F15210314125002352103141350023" "00");
const QString kPdu = QStringLiteral("0891683108100005F0040D91683118311332F500082190103012000004592D8BD5");

} // namespace

class TestAtResponseParser : public QObject
{
    Q_OBJECT
private slots:
    void scan_data();
    void scan();
    void finalResults_data();
    void finalResults();
    void discardKeepsNoticesAndUnfinishedLine();
};

void TestAtResponseParser::scan_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("prompt");
    QTest::addColumn<QVector<Notice>>("notices");

    QTest::newRow("ok in one read") << QList<QByteArray>{"\r\nOK\r\n"} << QStringList{QStringLiteral("OK")} << false
                                    << QVector<Notice>{};
    QTest::newRow("echo then ok") << QList<QByteArray>{"ATE0\r\r\nOK\r\n"}
                                  << QStringList{QStringLiteral("ATE0"), QStringLiteral("OK")} << false
                                  << QVector<Notice>{};
    QTest::newRow("line cut over reads") << QList<QByteArray>{"\r\n+CMG", "S: 17\r", "\n\r\nO", "K\r\n"}
                                         << QStringList{QStringLiteral("+CMGS: 17"), QStringLiteral("OK")} << false
                                         << QVector<Notice>{};
    QTest::newRow("prompt whole") << QList<QByteArray>{"\r\n> "} << QStringList{} << true << QVector<Notice>{};
    QTest::newRow("prompt split after line end") << QList<QByteArray>{"\r\n", "> "} << QStringList{} << true
                                                 << QVector<Notice>{};
    QTest::newRow("prompt split after the sign") << QList<QByteArray>{"\r\n>", " "} << QStringList{} << true
                                                 << QVector<Notice>{};
    QTest::newRow("stale ok before prompt") << QList<QByteArray>{"\r\nOK\r\n\r\n> "} << QStringList{QStringLiteral("OK")}
                                            << true << QVector<Notice>{};
    QTest::newRow("notice alone") << QList<QByteArray>{"\r\n+CMTI: \"SM\",3\r\n"} << QStringList{} << false
                                  << QVector<Notice>{Stored(QStringLiteral("SM"), 3)};
    QTest::newRow("notice inside an answer")
        << QList<QByteArray>{"\r\n+CMGS: 5\r\n\r\n+CMTI: \"SM\",12\r\n\r\nOK\r\n"}
        << QStringList{QStringLiteral("+CMGS: 5"), QStringLiteral("OK")} << false
        << QVector<Notice>{Stored(QStringLiteral("SM"), 12)};
    QTest::newRow("two notices cut anywhere")
        << QList<QByteArray>{"\r\n+CMTI: \"S", "M\",1\r\n\r\n+CMTI: \"ME\",", "2\r\n"} << QStringList{} << false
        << QVector<Notice>{Stored(QStringLiteral("SM"), 1), Stored(QStringLiteral("ME"), 2)};
    QTest::newRow("notice while a prompt is awaited") << QList<QByteArray>{"\r\n+CMTI: \"SM\",4\r\n\r\n> "}
                                                       << QStringList{} << true
                                                       << QVector<Notice>{Stored(QStringLiteral("SM"), 4)};
    QTest::newRow("direct delivery") << QList<QByteArray>{"\r\n+CMT: ,24\r\n" + kPdu.toLatin1() + "\r\n"}
                                     << QStringList{} << false << QVector<Notice>{Direct(kPdu)};
    QTest::newRow("direct delivery with alpha, pdu in a later read")
        << QList<QByteArray>{"\r\n+CMT: \"Bank\",24\r\n", kPdu.toLatin1().left(10), kPdu.toLatin1().mid(10) + "\r\n"}
        << QStringList{} << false << QVector<Notice>{Direct(kPdu)};
    QTest::newRow("stored status report") << QList<QByteArray>{"\r\n+CDSI: \"SR\",2\r\n"} << QStringList{} << false
                                          << QVector<Notice>{Stored(QStringLiteral("SR"), 2)};
    QTest::newRow("status report handed over, pdu in a later read")
        << QList<QByteArray>{"\r\n+CDS: 25\r\n", kReport.toLatin1() + "\r\n\r\nOK\r\n"} << QStringList{QStringLiteral("OK")}
        << false << QVector<Notice>{Notice{Notice::DirectReport, {}, -1, kReport}};
    QTest::newRow("direct header without pdu") << QList<QByteArray>{"\r\n+CMT: ,24\r\nOK\r\n"}
                                               << QStringList{QStringLiteral("OK")} << false << QVector<Notice>{};
    QTest::newRow("malformed notice is a line") << QList<QByteArray>{"\r\n+CMTI: \"SM\"\r\n"}
                                                << QStringList{QStringLiteral("+CMTI: \"SM\"")} << false
                                                << QVector<Notice>{};
    QTest::newRow("noise bytes") << QList<QByteArray>{QByteArray("\r\n\0\0OK\r\n", 8)}
                                 << QStringList{QStringLiteral("OK")} << false << QVector<Notice>{};
    QTest::newRow("registration notice") << QList<QByteArray>{"\r\n+CREG: 2\r\n"} << QStringList{} << false
                                         << QVector<Notice>{Registered(2)};
    QTest::newRow("registration notice with the cell") << QList<QByteArray>{"\r\n+CREG: 5,\"00C3\",\"0010\"\r\n"}
                                                       << QStringList{} << false << QVector<Notice>{Registered(5)};
    QTest::newRow("registration answer is no notice") << QList<QByteArray>{"\r\n+CREG: 1,1\r\n\r\nOK\r\n"}
                                                      << QStringList{QStringLiteral("+CREG: 1,1"), QStringLiteral("OK")} << false
                                                      << QVector<Notice>{};
    QTest::newRow("list answer") << QList<QByteArray>{"\r\n+CMGL: 1,0,,24\r\n" + kPdu.toLatin1() + "\r\n\r\nOK\r\n"}
                                 << QStringList{QStringLiteral("+CMGL: 1,0,,24"), kPdu, QStringLiteral("OK")} << false
                                 << QVector<Notice>{};
}

void TestAtResponseParser::scan()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QStringList, lines);
    QFETCH(bool, prompt);
    QFETCH(QVector<Notice>, notices);

    AtResponseParser parser;
    for (const QByteArray &read : reads)
        parser.Feed(read);
    QStringList got;
    while (parser.HasLine())
        got.append(parser.TakeLine());
    QCOMPARE(got, lines);
    QCOMPARE(parser.TakePrompt(), prompt);
    QCOMPARE(parser.TakePrompt(), false); // once per prompt
    const QVector<Notice> gotNotices = parser.TakeNotices();
    QCOMPARE(gotNotices.size(), notices.size());
    for (qsizetype i = 0; i < notices.size(); ++i) {
        QCOMPARE(gotNotices[i].kind, notices[i].kind);
        QCOMPARE(gotNotices[i].storage, notices[i].storage);
        QCOMPARE(gotNotices[i].index, notices[i].index);
        QCOMPARE(gotNotices[i].pdu, notices[i].pdu);
    }
    QVERIFY(parser.TakeNotices().isEmpty());
}

void TestAtResponseParser::finalResults_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("final");
    QTest::addColumn<int>("code");
    using F = AtResponseParser::Final;
    QTest::newRow("ok") << QStringLiteral("OK") << int(F::Ok) << -1;
    QTest::newRow("error") << QStringLiteral("ERROR") << int(F::Error) << -1;
    QTest::newRow("cms error") << QStringLiteral("+CMS ERROR: 500") << int(F::CmsError) << 500;
    QTest::newRow("no network") << QStringLiteral("+CMS ERROR: 331") << int(F::CmsError) << 331;
    QTest::newRow("cme error") << QStringLiteral("+CME ERROR: 10") << int(F::CmeError) << 10;
    QTest::newRow("cme error in words") << QStringLiteral("+CME ERROR: SIM PIN required") << int(F::CmeError) << 11;
    QTest::newRow("cme error in unknown words") << QStringLiteral("+CME ERROR: who knows") << int(F::CmeError) << -1;
    QTest::newRow("message reference") << QStringLiteral("+CMGS: 12") << int(F::None) << -1;
    QTest::newRow("ok inside a word") << QStringLiteral("OKAY") << int(F::None) << -1;
    QTest::newRow("error inside a pdu line") << QStringLiteral("4552524F52") << int(F::None) << -1;
}

void TestAtResponseParser::finalResults()
{
    QFETCH(QString, line);
    QFETCH(int, final);
    QFETCH(int, code);
    QCOMPARE(int(AtResponseParser::FinalOf(line)), final);
    QCOMPARE(AtResponseParser::CodeOf(line), code);
}

void TestAtResponseParser::discardKeepsNoticesAndUnfinishedLine()
{
    AtResponseParser parser;
    parser.Feed("\r\nOK\r\n\r\n+CMTI: \"SM\",7\r\n\r\n> \r\n+CMGS: 3");
    parser.DiscardAnswers();
    QVERIFY(!parser.HasLine());
    QVERIFY(!parser.TakePrompt());
    parser.Feed("\r\n");
    QCOMPARE(parser.TakeLine(), QStringLiteral("+CMGS: 3"));
    QCOMPARE(parser.TakeNotices().size(), 1);
}

QTEST_GUILESS_MAIN(TestAtResponseParser)
#include "tst_atresponseparser.moc"
