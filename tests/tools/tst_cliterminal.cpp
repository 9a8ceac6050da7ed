// What skevo-cli prints for a person holds no control character a terminal would obey: texts
// that came from strangers (received messages, imported files, another program's rows) show
// their ESC, BEL and OSC sequences as escapes. An export to standard output is data and stays
// byte for byte.
#include "DbTargets.h"
#include "TestEnv.h"
#include "db/CDbAccess.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Retitles the window and clears the screen when a terminal obeys it.
const QString kHostile = QStringLiteral("\x1b]0;PWNED\x07\x1b[2J\u202e");
const QString kShown = QStringLiteral("\\x1b]0;PWNED\\x07\\x1b[2J\\u202e");
} // namespace

class tst_CliTerminal : public QObject
{
    Q_OBJECT
private slots:
    void controlCharactersAreEscaped_data();
    void controlCharactersAreEscaped();
};

void tst_CliTerminal::controlCharactersAreEscaped_data()
{
    QTest::addColumn<QString>("row");     // a statement that stores kHostile (as ?)
    QTest::addColumn<QStringList>("args"); // %1: kHostile
    QTest::addColumn<bool>("error");      // on standard error rather than output
    QTest::addColumn<bool>("data");       // written as it is
    QTest::newRow("user list") << QStringLiteral("INSERT INTO T_USER(D_NAME,D_PSW,D_LEVEL,D_CTIME) VALUES(?,'x',1,'2030-01-01 00:00:00')")
                               << QStringList{QStringLiteral("user"), QStringLiteral("list")} << false << false;
    QTest::newRow("phonebook list") << QStringLiteral("INSERT INTO T_BOOK(D_NAME,D_NUMBER,D_RELATION) VALUES(?,'13900000001','x')")
                                    << QStringList{QStringLiteral("phonebook"), QStringLiteral("list")} << false << false;
    QTest::newRow("orders list") << QStringLiteral("INSERT INTO T_ORDER(D_START,D_END,D_CONT) VALUES('2030-01-01 00:00:00','2030-01-01 01:00:00',?)")
                                 << QStringList{QStringLiteral("orders"), QStringLiteral("list")} << false << false;
    QTest::newRow("an error line naming a file") << QString()
                                                 << QStringList{QStringLiteral("phonebook"), QStringLiteral("import"), QStringLiteral("%1")}
                                                 << true << false;
    QTest::newRow("export to standard output is data")
        << QStringLiteral("INSERT INTO T_REC(D_RECNUM,D_RECCONT,D_RECTIME) VALUES('13900000001',?,'2030-01-01 00:00:00')")
        << QStringList{QStringLiteral("export"), QStringLiteral("--received"), QStringLiteral("--csv"), QStringLiteral("-")}
        << false << true;
}

void tst_CliTerminal::controlCharactersAreEscaped()
{
    QFETCH(QString, row);
    QFETCH(QStringList, args);
    QFETCH(bool, error);
    QFETCH(bool, data);
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    QFile ini(dir.filePath(QStringLiteral("setting.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[SQL]\nDriver=sqlite\nData=%1\n").arg(db.m_strData).toUtf8());
    ini.close();
    QVERIFY(CDbAccess([db] { return db; }).Connect()); // the tables
    if (!row.isEmpty())
        QVERIFY(DbProbe(db).Exec(row, {kHostile}));

    QProcess cli;
    cli.setWorkingDirectory(dir.path());
    args.replaceInStrings(QStringLiteral("%1"), kHostile);
    cli.start(TestEnv::CliPath(), args);
    QVERIFY(cli.waitForFinished(30000));
    const QByteArray printed = error ? cli.readAllStandardError() : cli.readAllStandardOutput();
    if (data) {
        QVERIFY2(printed.contains(kHostile.toUtf8()), printed.constData());
        return;
    }
    QVERIFY2(QString::fromUtf8(printed).contains(kShown), printed.constData());
    const QByteArray both = printed + (error ? cli.readAllStandardOutput() : cli.readAllStandardError());
    for (const char c : {'\x1b', '\x07', '\r'})
        QVERIFY2(!both.contains(c), both.constData());
}

QTEST_GUILESS_MAIN(tst_CliTerminal)
#include "tst_cliterminal.moc"
