// Personal texts from the command line, as separate processes on both databases: skevo-cli
// send with a CSV number file through the simulated modem (each recipient's filled text in
// its own coding, kept by the journal and written by the export), the refusals made before
// the modem is spoken to, and orders add with a CSV file keeping each number's fields.
#include "CliDbTest.h"
#include "CliRun.h"
#include "EngineRig.h"

#include "base/GbkText.h"
#include "base/PersonalTexts.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QString WriteFile(const CliPlace &place, const QString &name, const QByteArray &bytes)
{
    QFile f(place.File(name));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName() : QString();
}

// A file put together by hand from two sources: a UTF-8 header, a GBK line with a quoted comma.
QByteArray MixedCsv()
{
    return QStringLiteral("号码, 名字 ,金额\r\n13800000001,,12.50\r\n").toUtf8()
        + GbkText::ToGbk(QStringLiteral("13800000002,李四,\"1,000\"\r\n"));
}
} // namespace

class tst_PersonalCli : public CliDbTest
{
    Q_OBJECT
private slots:
    void sendWithCsvFile_data() { DbTargets::AddDialectRows(); }
    void sendWithCsvFile();
    void refusedBeforeConnecting_data();
    void refusedBeforeConnecting();
    void ordersAddWithCsvFile_data() { DbTargets::AddDialectRows(); }
    void ordersAddWithCsvFile();
};

void tst_PersonalCli::sendWithCsvFile()
{
    FRESH_DB(db);
    CliPlace place(db);
    QCOMPARE(Cli(place).Run({QStringLiteral("init-db")}), 0);
    QVERIFY(DbProbe(db).Exec(QStringLiteral("INSERT INTO T_BOOK(D_NAME,D_NUMBER,D_RELATION) VALUES('Zhang','13800000001','')")));
    ModemSimulator sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorString()));
    const QString csv = WriteFile(place, QStringLiteral("numbers.csv"), MixedCsv());
    QVERIFY(!csv.isEmpty());

    QStringList args{QStringLiteral("send")};
    args << ModemArgs(sim) << QStringLiteral("--numbers") << csv << QStringLiteral("--text")
         << QStringLiteral("Dear {名字}, you owe {金额}");
    Cli cli(place);
    QCOMPARE(cli.Run(args), 0);
    QCOMPARE(cli.Lines().size(), 2);

    const QStringList texts{QStringLiteral("Dear Zhang, you owe 12.50"), QStringLiteral("Dear 李四, you owe 1,000")};
    QStringList sent;
    QList<int> codings;
    for (const ModemSimulator::Submit &s : sim.Submits()) {
        QVERIFY2(s.decoded, qPrintable(s.error));
        sent << s.message.text;
        codings << int(s.message.dcs);
    }
    QCOMPARE(sent, texts);
    QCOMPARE(codings, (QList<int>{0, 8}));

    // The journal keeps what each recipient got, and the export writes it.
    QVariantList journal = DbProbe(db).Column(QStringLiteral("SELECT D_SENDCONT FROM T_SEND ORDER BY D_NO"));
    QCOMPARE(journal, QVariantList(texts.begin(), texts.end()));
    Cli exporter(place);
    QCOMPARE(exporter.Run({QStringLiteral("export"), QStringLiteral("--sent"), QStringLiteral("--csv"), QStringLiteral("-")}), 0);
    const QString exported = exporter.Lines().join(u'\n');
    for (const QString &t : texts)
        QVERIFY2(exported.contains(t), qPrintable(exported));
}

void tst_PersonalCli::refusedBeforeConnecting_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("a field the file does not have")
        << MixedCsv() << QStringLiteral("{名字} {日期}") << QStringLiteral("未知的字段: {日期}");
    QTest::newRow("a filled text past 140 bytes")
        << MixedCsv() << QString(68, QChar(0x4E2D)) + QStringLiteral("{金额}")
        << QStringLiteral("2 条短信超过140字节, 例如: ") + QString(68, QChar(0x4E2D))
               + QStringLiteral("12.50\n(8613800000001, 141字节)");
    QTest::newRow("a CSV file without a number column")
        << QStringLiteral("名字,金额\n张三,1\n").toUtf8() << QStringLiteral("{金额}")
        << QStringLiteral("该文件无效\nCSV文件的第一行应是各列的名字, 其中一列名为\"号码\"");
    QTest::newRow("a row whose number is none stops the run")
        << QStringLiteral("号码,金额\n13800000001,1\n1380000000a,2\n").toUtf8() << QStringLiteral("{金额}")
        << QStringLiteral("手机号码不能超过24位并且不能包含非数字字符");
}

// Nothing is sent, and the modem is not even spoken to.
void tst_PersonalCli::refusedBeforeConnecting()
{
    QFETCH(QByteArray, csv);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    CliPlace place(db);
    ModemSimulator sim;
    QVERIFY(sim.Start());
    QStringList args{QStringLiteral("send")};
    args << ModemArgs(sim) << QStringLiteral("--numbers") << WriteFile(place, QStringLiteral("n.csv"), csv)
         << QStringLiteral("--text") << text;
    Cli cli(place);
    QCOMPARE(cli.Run(args), 2);
    QVERIFY2(cli.Err().contains(message), qPrintable(cli.Err()));
    QVERIFY(cli.Lines().isEmpty());
    QVERIFY(sim.Commands().isEmpty());
}

void tst_PersonalCli::ordersAddWithCsvFile()
{
    FRESH_DB(db);
    CliPlace place(db);
    const QString csv = WriteFile(place, QStringLiteral("numbers.csv"), MixedCsv());
    const QString day = QDate::currentDate().addDays(1).toString(QStringLiteral("yyyy-MM-dd"));
    const QStringList times{QStringLiteral("--start"), day + QStringLiteral(" 10:00"), QStringLiteral("--end"),
                            day + QStringLiteral(" 11:00"), QStringLiteral("--numbers"), csv};

    Cli refused(place);
    QCOMPARE(refused.Run(QStringList{QStringLiteral("orders"), QStringLiteral("add"), QStringLiteral("--text"),
                                     QStringLiteral("{日期}")} + times),
             2);
    QVERIFY2(refused.Err().contains(QStringLiteral("未知的字段: {日期}")), qPrintable(refused.Err()));

    Cli cli(place);
    QCOMPARE(cli.Run(QStringList{QStringLiteral("orders"), QStringLiteral("add"), QStringLiteral("--text"),
                                 QStringLiteral("尊敬的{名字}: {金额}元")} + times),
             0);
    QCOMPARE(cli.Lines(), QStringList{QStringLiteral("1")});
    DbProbe probe(db);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_ORDER")).toInt(), 1);
    const QList<QVariantList> rows = probe.Rows(QStringLiteral("SELECT D_NUMBER,D_FIELDS FROM T_PHONENUMBER ORDER BY D_NO"));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).at(0).toString(), QStringLiteral("8613800000001"));
    QCOMPARE(RecipientFields::Decode(rows.at(0).at(1).toString()),
             (FieldValues{{QStringLiteral("号码"), QStringLiteral("13800000001")}, {QStringLiteral("名字"), QString()},
                          {QStringLiteral("金额"), QStringLiteral("12.50")}}));
    QCOMPARE(RecipientFields::Decode(rows.at(1).at(1).toString()).value(QStringLiteral("金额")), QStringLiteral("1,000"));
}

QTEST_GUILESS_MAIN(tst_PersonalCli)
#include "tst_personal_cli.moc"
