// The program's one CSV form: how a cell is written (quoted, made inert where a spreadsheet
// would run it as a formula) and read back as the text it was.
#include "base/CsvText.h"

#include <QTest>

class tst_CsvText : public QObject
{
    Q_OBJECT
private slots:
    void cells_data();
    void cells();
    void linesAndBothLineEnds();
};

void tst_CsvText::cells_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain text") << QStringLiteral("你好") << QStringLiteral("你好");
    QTest::newRow("a formula") << QStringLiteral("=HYPERLINK(\"http://x\",\"y\")")
                               << QStringLiteral("\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"");
    QTest::newRow("plus") << QStringLiteral("+1+1") << QStringLiteral("'+1+1");
    QTest::newRow("minus") << QStringLiteral("-2+3") << QStringLiteral("'-2+3");
    QTest::newRow("at") << QStringLiteral("@SUM(A1)") << QStringLiteral("'@SUM(A1)");
    QTest::newRow("tab first") << QStringLiteral("\t=1") << QStringLiteral("'\t=1");
    QTest::newRow("CR first, so quoted too") << QStringLiteral("\r=1") << QStringLiteral("\"'\r=1\"");
    QTest::newRow("a phone number stays a number") << QStringLiteral("+8613800000000") << QStringLiteral("+8613800000000");
    QTest::newRow("a lone plus is no number") << QStringLiteral("+") << QStringLiteral("'+");
    QTest::newRow("plus, digits and a letter") << QStringLiteral("+86a") << QStringLiteral("'+86a");
    QTest::newRow("a formula sign later on") << QStringLiteral("1=1") << QStringLiteral("1=1");
    QTest::newRow("a quote before a formula keeps its own quote") << QStringLiteral("'=1") << QStringLiteral("''=1");
    QTest::newRow("a quote before text") << QStringLiteral("'a") << QStringLiteral("'a");
    QTest::newRow("comma, quote, line break") << QStringLiteral("a,\"b\"\nc") << QStringLiteral("\"a,\"\"b\"\"\nc\"");
    QTest::newRow("empty") << QString() << QString();
}

void tst_CsvText::cells()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(CsvText::Field(text), field);
    const QList<CsvText::Record> back = CsvText::Parse(CsvText::Line({text, QStringLiteral("x")}));
    QCOMPARE(back.size(), 1);
    QCOMPARE(back.first().m_fields, (QStringList{text, QStringLiteral("x")}));
}

void tst_CsvText::linesAndBothLineEnds()
{
    QCOMPARE(CsvText::Bom(), QByteArray("\xEF\xBB\xBF"));
    QCOMPARE(CsvText::Line({QStringLiteral("a"), QStringLiteral("b")}), QStringLiteral("a,b\r\n"));
    for (const QString &text : {QStringLiteral("a,b\n\"c\nd\",e\n"), QStringLiteral("a,b\r\n\"c\nd\",e\r\n")}) {
        const QList<CsvText::Record> records = CsvText::Parse(text);
        QCOMPARE(records.size(), 2);
        QCOMPARE(records.at(1).m_nLine, 2);
        QCOMPARE(records.at(1).m_fields, (QStringList{QStringLiteral("c\nd"), QStringLiteral("e")}));
    }
}

QTEST_APPLESS_MAIN(tst_CsvText)
#include "tst_csvtext.moc"
