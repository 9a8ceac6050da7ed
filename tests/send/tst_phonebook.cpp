#include "DbTargets.h"
#include "TestEnv.h"
#include "base/GbkText.h"
#include "db/CDbAccess.h"
#include "send/PhoneBook.h"
#include "send/PhoneBookModel.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using Entries = QList<PhoneBookEntry>;
Q_DECLARE_METATYPE(Entries)

namespace {
PhoneBookEntry E(const char *name, const char *number, const char *relation)
{
    return {QString::fromUtf8(name), QString::fromUtf8(number), QString::fromUtf8(relation)};
}

// A book over a database, read the way the dialog reads it.
struct Book
{
    explicit Book(const DbSettings &s) : db([s] { return s; }), book(db, model)
    {
        db.SetErrorSink([this](const QString &text) { errors << text; });
    }
    Entries Reload()
    {
        book.Load();
        return model.AllEntries();
    }
    CDbAccess db;
    PhoneBookModel model;
    PhoneBook book;
    QStringList errors;
};
} // namespace

class tst_PhoneBook : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }

    void importChecksEveryRow_data();
    void importChecksEveryRow();
    void exportReadsBackTheSame_data() { DbTargets::AddDialectRows(); }
    void exportReadsBackTheSame();
    void filterNarrowsAndWidens();
    void commandLine();

private:
    DbTargets m_targets;
};

void tst_PhoneBook::importChecksEveryRow_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QList<int>>("counts");  // added, existing, refused
    QTest::addColumn<QList<int>>("refused"); // the lines named as refused
    QTest::addColumn<Entries>("stored");     // the book afterwards, by relation; it held B,139,y
    QTest::newRow("heading, quotes removed, a repeat within the file")
        << QByteArray("名字,电话号码,关系\nO'Neil,138,同事\nC,138,x\n") << QList<int>{1, 1, 0} << QList<int>{}
        << Entries{E("B", "139", "y"), E("ONeil", "138", "同事")};
    QTest::newRow("number already in the book") << QByteArray("A,139,x\nD,140,\n") << QList<int>{1, 1, 0} << QList<int>{}
                                                << Entries{E("D", "140", ""), E("B", "139", "y")};
    QTest::newRow("refused rows, every one named")
        << QByteArray("A,141,x\n\"M\nN\",13a,x\nF,1,z,more\n\"D, Jr\",142\n,,r\n") << QList<int>{3, 0, 2}
        << QList<int>{2, 4} << Entries{E("D, Jr", "142", ""), E("", "", "r"), E("A", "141", "x"), E("B", "139", "y")};
    QTest::newRow("number over 24 digits") << QByteArray("A,1234567890123456789012345,x\n") << QList<int>{0, 0, 1}
                                           << QList<int>{1} << Entries{E("B", "139", "y")};
    QTest::newRow("GBK with CR LF") << GbkText::ToGbk(QStringLiteral("张三,138,朋友\r\n")) << QList<int>{1, 0, 0}
                                    << QList<int>{} << Entries{E("B", "139", "y"), E("张三", "138", "朋友")};
    QTest::newRow("UTF-8 mark, quoted fields") << QByteArray("\xEF\xBB\xBF\"A\",\" 143 \",\"g\"\"1\"\n")
                                               << QList<int>{1, 0, 0} << QList<int>{}
                                               << Entries{E("A", "143", "g\"1"), E("B", "139", "y")};
    QTest::newRow("UTF-8 with one GBK line: each line in its own encoding")
        << QByteArray("\xEF\xBB\xBF名字,电话号码,关系\r\n张三,138,朋友\r\n") + GbkText::ToGbk(QStringLiteral("李四,150,朋友\r\n"))
        << QList<int>{2, 0, 0} << QList<int>{}
        << Entries{E("B", "139", "y"), E("张三", "138", "朋友"), E("李四", "150", "朋友")};
    QTest::newRow("lines neither UTF-8 nor GBK: refused, every one named")
        << QByteArray("A,151,x\n\xFF\xFE,152,x\nC,153,y\nD\x81,154\n") << QList<int>{2, 0, 2} << QList<int>{2, 4}
        << Entries{E("A", "151", "x"), E("B", "139", "y"), E("C", "153", "y")};
    QTest::newRow("cells made inert by the export read back")
        << QByteArray("'=1+2,155,'@组\n\"'-3,4\",156,x\n") << QList<int>{2, 0, 0} << QList<int>{}
        << Entries{E("=1+2", "155", "@组"), E("-3,4", "156", "x"), E("B", "139", "y")};
}

void tst_PhoneBook::importChecksEveryRow()
{
    QFETCH(QByteArray, csv);
    QFETCH(QList<int>, counts);
    QFETCH(QList<int>, refused);
    QFETCH(Entries, stored);
    for (const DbSettings::Driver dialect : {DbSettings::Sqlite, DbSettings::Postgres}) {
        const std::optional<DbSettings> settings = m_targets.Fresh(dialect);
        if (!settings)
            continue;
        Book b(*settings);
        QVERIFY(b.db.Execute(Sql::BookInsert, {QStringLiteral("B"), QStringLiteral("139"), QStringLiteral("y")}));
        b.book.Load();
        const PhoneBook::ImportOutcome o = b.book.Import(csv);
        QVERIFY(o.m_bStored);
        QCOMPARE((QList<int>{o.m_nAdded, o.m_nExisting, o.m_nRefused}), counts);
        QCOMPARE(o.RefusedLines(), refused);
        for (int line : refused)
            QVERIFY(o.Summary().m_strText.contains(QStringLiteral("第%1行被拒绝").arg(line)));
        QCOMPARE(b.model.AllEntries().size(), 1 + counts.at(0)); // the added rows go to the end of the list
        QCOMPARE(b.Reload(), stored);
        QCOMPARE(b.errors, QStringList());
    }
}

void tst_PhoneBook::exportReadsBackTheSame()
{
    SKEVO_FRESH_DB(m_targets, settings);
    const Entries entries{E("Li, Lei", "138", "a \"b\""), E("多\n行", "", "同事"), E("x", "139", ""),
                          E("=HYPERLINK(\"http://x\",\"y\")", "140", "@组")};
    Book b(*settings);
    for (const PhoneBookEntry &e : entries)
        QVERIFY(b.book.Add(e));
    const QByteArray csv = b.book.ExportCsv();
    QVERIFY(csv.startsWith("\xEF\xBB\xBF名字,电话号码,关系\r\n\"Li, Lei\",138,\"a \"\"b\"\"\"\r\n"));
    QVERIFY(csv.endsWith("\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",140,'@组\r\n"));

    QVERIFY(b.db.Execute(Sql::BookDelete, {QStringLiteral("138")}));
    QVERIFY(b.db.Execute(Sql::BookDelete, {QStringLiteral("")}));
    QVERIFY(b.db.Execute(Sql::BookDelete, {QStringLiteral("140")}));
    b.book.Load();
    const PhoneBook::ImportOutcome o = b.book.Import(csv);
    QCOMPARE((QList<int>{o.m_nAdded, o.m_nExisting, o.m_nRefused}), (QList<int>{3, 1, 0}));
    Entries back = b.Reload();
    QCOMPARE(back.size(), 4);
    for (const PhoneBookEntry &e : entries)
        QVERIFY(back.contains(e));
}

void tst_PhoneBook::filterNarrowsAndWidens()
{
    PhoneBookModel model;
    QAbstractItemModelTester tester(&model);
    model.SetEntries({E("Zhang", "138", "同事"), E("li", "139", "朋友"), E("Wang", "186", "家人")});
    auto shown = [&model] {
        QStringList numbers;
        for (int row = 0; row < model.Count(); ++row)
            numbers << model.Entry(row).m_strNumber;
        return numbers.join(u',');
    };
    const QList<std::pair<QString, QString>> steps{
        {QStringLiteral("13"), QStringLiteral("138,139")}, {QStringLiteral("139"), QStringLiteral("139")},
        {QStringLiteral("1"), QStringLiteral("138,139,186")}, {QStringLiteral("L"), QStringLiteral("139")},
        {QStringLiteral("朋"), QStringLiteral("139")}, {QStringLiteral("an"), QStringLiteral("138,186")},
        {QString(), QStringLiteral("138,139,186")}};
    for (const auto &[filter, expected] : steps) {
        model.SetFilter(filter);
        QCOMPARE(shown(), expected);
    }
    // What is added or changed under a filter stays shown until the filter changes.
    model.SetFilter(QStringLiteral("Wang"));
    model.Append({E("Sun", "150", "")});
    model.Replace(0, E("Zhou", "186", "家人"));
    QCOMPARE(shown(), QStringLiteral("186,150"));
    model.Remove(0);
    QCOMPARE(model.AllEntries().size(), 3);
    model.SetFilter(QStringLiteral("n"));
    QCOMPARE(shown(), QStringLiteral("138,150"));
    QCOMPARE(model.RowsOfGroup(QStringLiteral("同事")), QList<int>{0});
}

void tst_PhoneBook::commandLine()
{
    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("setting.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[SQL]\nDriver=sqlite\nData=BOOK\n");
    ini.close();
    auto run = [&dir](const QStringList &args, const QByteArray &input, QByteArray *out, QByteArray *err) {
        QProcess cli;
        cli.setWorkingDirectory(dir.path());
        cli.start(TestEnv::CliPath(), QStringList{QStringLiteral("phonebook")} + args);
        cli.write(input);
        cli.closeWriteChannel();
        if (!cli.waitForFinished(30000))
            return -1;
        *out = cli.readAllStandardOutput();
        *err = cli.readAllStandardError();
        return cli.exitCode();
    };
    QByteArray out, err;
    QCOMPARE(run({QStringLiteral("import"), QStringLiteral("-")}, "名字,电话号码,关系\nA,138,x\nB,139,y\n", &out, &err), 0);
    QCOMPARE(out, QByteArray("added\t2\nexisting\t0\nrefused\t0\n"));
    QCOMPARE(run({QStringLiteral("import"), QStringLiteral("-")}, "A,138,x\nC,1-2,y\n", &out, &err), 1);
    QCOMPARE(out, QByteArray("added\t0\nexisting\t1\nrefused\t1\n"));
    QVERIFY2(err.startsWith("line 2: C,1-2,y"), err.constData());
    QCOMPARE(run({QStringLiteral("list")}, {}, &out, &err), 0);
    QCOMPARE(out, QByteArray("A\t138\tx\nB\t139\ty\n"));
    QCOMPARE(run({QStringLiteral("export"), QStringLiteral("book.csv")}, {}, &out, &err), 0);
    QFile csv(dir.filePath(QStringLiteral("book.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll(), QByteArray("\xEF\xBB\xBF名字,电话号码,关系\r\nA,138,x\r\nB,139,y\r\n"));
    QCOMPARE(run({QStringLiteral("import")}, {}, &out, &err), 2);
}

QTEST_GUILESS_MAIN(tst_PhoneBook)
#include "tst_phonebook.moc"
