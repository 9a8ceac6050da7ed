#include "TestEnv.h"
#include "send/NumberGenerator.h"

#include <QProcess>
#include <QTest>

namespace {
struct Expected
{
    int count;
    const char *first;
    const char *last;
};

// Endings that pass, by the digits in force (need 6, need 8, avoid 4, avoid 7), counted
// independently of the generator.
Expected ExpectedFor(bool need6, bool need8, bool avoid4, bool avoid7)
{
    static const Expected table[16] = {
        {10000, "0000", "9999"}, {6561, "0000", "9999"}, {6561, "0000", "9999"}, {4096, "0000", "9999"},
        {3439, "0008", "9998"},  {2465, "0008", "9998"}, {2465, "0008", "9998"}, {1695, "0008", "9998"},
        {3439, "0006", "9996"},  {2465, "0006", "9996"}, {2465, "0006", "9996"}, {1695, "0006", "9996"},
        {974, "0068", "9986"},   {770, "0068", "9986"},  {770, "0068", "9986"},  {590, "0068", "9986"},
    };
    return table[(need6 ? 8 : 0) + (need8 ? 4 : 0) + (avoid4 ? 1 : 0) + (avoid7 ? 2 : 0)];
}

QString Ticks(bool on)
{
    return on ? QStringLiteral("x") : QStringLiteral("-");
}
} // namespace

class tst_NumberGenerator : public QObject
{
    Q_OBJECT
private slots:
    void everyCombinationOfTheSixBoxes_data();
    void everyCombinationOfTheSixBoxes();
    void hints_data();
    void hints();
    void segmentChecks_data();
    void segmentChecks();
    void commandLine_data();
    void commandLine();
};

void tst_NumberGenerator::everyCombinationOfTheSixBoxes_data()
{
    QTest::addColumn<int>("boxes");
    for (int boxes = 0; boxes < 64; ++boxes) {
        const QString name = QStringLiteral("keep%1 6%2 8%3 drop%4 4%5 7%6")
                                 .arg(Ticks(boxes & 1), Ticks(boxes & 2), Ticks(boxes & 4), Ticks(boxes & 8),
                                      Ticks(boxes & 16), Ticks(boxes & 32));
        QTest::newRow(qPrintable(name)) << boxes;
    }
}

void tst_NumberGenerator::everyCombinationOfTheSixBoxes()
{
    QFETCH(int, boxes);
    NumberGenerator g;
    g.m_bKeep = boxes & 1;
    g.m_bNeed6 = boxes & 2;
    g.m_bNeed8 = boxes & 4;
    g.m_bDrop = boxes & 8;
    g.m_bAvoid4 = boxes & 16;
    g.m_bAvoid7 = boxes & 32;
    g.m_strSegment = QStringLiteral("1391234");
    QCOMPARE(g.validate(), QString());

    // A switch that is off makes its digit boxes count for nothing.
    const Expected e = ExpectedFor(g.m_bKeep && g.m_bNeed6, g.m_bKeep && g.m_bNeed8, g.m_bDrop && g.m_bAvoid4,
                                   g.m_bDrop && g.m_bAvoid7);
    const QStringList numbers = g.Generate();
    QCOMPARE(numbers.size(), e.count);
    QCOMPARE(numbers.first(), QStringLiteral("1391234") + QLatin1String(e.first));
    QCOMPARE(numbers.last(), QStringLiteral("1391234") + QLatin1String(e.last));
    QStringList sorted = numbers;
    sorted.sort();
    QCOMPARE(numbers, sorted);
}

void tst_NumberGenerator::hints_data()
{
    QTest::addColumn<bool>("first");
    QTest::addColumn<bool>("second");
    QTest::addColumn<QString>("keep");
    QTest::addColumn<QString>("drop");
    QTest::newRow("both") << true << true << QStringLiteral("提示:后4位必须有6和8") << QStringLiteral("提示:后4位一定没有4或7");
    QTest::newRow("first only") << true << false << QStringLiteral("提示:后4位必须有6") << QStringLiteral("提示:后4位一定没有4");
    QTest::newRow("second only") << false << true << QStringLiteral("提示:后4位必须有8") << QStringLiteral("提示:后4位一定没有7");
    QTest::newRow("neither") << false << false << QStringLiteral("提示:后4位必须有") << QStringLiteral("提示:后4位一定没有");
}

void tst_NumberGenerator::hints()
{
    QFETCH(bool, first);
    QFETCH(bool, second);
    QFETCH(QString, keep);
    QFETCH(QString, drop);
    QCOMPARE(NumberGenerator::KeepHint(first, second), keep);
    QCOMPARE(NumberGenerator::DropHint(first, second), drop);
}

void tst_NumberGenerator::segmentChecks_data()
{
    QTest::addColumn<QString>("segment");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("firstNumber");
    QTest::newRow("empty") << QString() << QStringLiteral("请输入号码段") << QString();
    QTest::newRow("blanks only") << QStringLiteral("   ") << QStringLiteral("请输入号码段") << QString();
    QTest::newRow("letter") << QStringLiteral("139a") << QStringLiteral("号码段只能包含数字") << QString();
    QTest::newRow("plus") << QStringLiteral("+86139") << QStringLiteral("号码段只能包含数字") << QString();
    QTest::newRow("blank inside") << QStringLiteral("139 12") << QStringLiteral("号码段只能包含数字") << QString();
    QTest::newRow("full-width digit") << QStringLiteral("13９") << QStringLiteral("号码段只能包含数字") << QString();
    QTest::newRow("21 digits: 25 with the ending") << QString(21, u'1') << QStringLiteral("号码段加后4位不能超过24位")
                                                   << QString();
    QTest::newRow("20 digits: 24 with the ending") << QString(20, u'1') << QString()
                                                   << QString(20, u'1') + QStringLiteral("0068");
    QTest::newRow("blanks around are dropped") << QStringLiteral(" 139 ") << QString() << QStringLiteral("1390068");
}

void tst_NumberGenerator::segmentChecks()
{
    QFETCH(QString, segment);
    QFETCH(QString, message);
    QFETCH(QString, firstNumber);
    NumberGenerator g;
    g.m_strSegment = segment;
    QCOMPARE(g.validate(), message);
    if (message.isEmpty())
        QCOMPARE(g.Generate().first(), firstNumber);
}

void tst_NumberGenerator::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("error");
    QTest::newRow("defaults are the dialog's") << QStringList{QStringLiteral("139")} << 0 << 590
                                               << QStringLiteral("1390068") << QString();
    QTest::newRow("need 6, avoid 7") << QStringList{QStringLiteral("139"), QStringLiteral("--need"), QStringLiteral("6"),
                                                    QStringLiteral("--avoid=7")}
                                     << 0 << 2465 << QStringLiteral("1390006") << QString();
    QTest::newRow("empty values turn both filters off")
        << QStringList{QStringLiteral("139"), QStringLiteral("--need="), QStringLiteral("--avoid=")} << 0 << 10000
        << QStringLiteral("1390000") << QString();
    QTest::newRow("bad segment: the dialog's message")
        << QStringList{QStringLiteral("13a")} << 2 << 0 << QString() << QStringLiteral("号码段只能包含数字");
    QTest::newRow("digit outside the filter") << QStringList{QStringLiteral("139"), QStringLiteral("--need=5")} << 2 << 0
                                              << QString() << QStringLiteral("--need takes digits among 6 and 8");
}

void tst_NumberGenerator::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(int, lines);
    QFETCH(QString, first);
    QFETCH(QString, error);
    QProcess cli;
    cli.start(TestEnv::CliPath(), QStringList{QStringLiteral("generate")} + args);
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), exitCode);
    const QStringList out = QString::fromUtf8(cli.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(out.size(), lines);
    if (lines > 0)
        QCOMPARE(out.first(), first);
    QCOMPARE(QString::fromUtf8(cli.readAllStandardError()).trimmed(), error);
}

QTEST_GUILESS_MAIN(tst_NumberGenerator)
#include "tst_numbergenerator.moc"
