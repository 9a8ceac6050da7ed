// The panel's send button and skevo-cli send take and refuse the same numbers and send them
// as the same numbers: each row is planned as the panel plans its list, then given to
// skevo-cli (a separate process) as --to arguments, against the simulated modem and a SQLite
// file.
#include "EngineRig.h"
#include "TestEnv.h"
#include "send/SendRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kText = QStringLiteral("群发测试");
const QString kSmsc = QStringLiteral("8613800100500");

QStringList Texts(const QVector<PanelMessage> &messages)
{
    QStringList out;
    for (const PanelMessage &m : messages)
        out << m.m_strText;
    return out;
}
} // namespace

class tst_SendRunCli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(TestEnv::CliPath()).isExecutable(), "SKEVO_CLI must name the built skevo-cli");
    }
    void sameNumbersSameOutcome_data();
    void sameNumbersSameOutcome();
};

void tst_SendRunCli::sameNumbersSameOutcome_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("plain and with plus") << QStringList{QStringLiteral("13800000001"), QStringLiteral("+8613800000002")};
    QTest::newRow("letter") << QStringList{QStringLiteral("13800000001"), QStringLiteral("1380000000a")};
    QTest::newRow("inner blank") << QStringList{QStringLiteral("138 0000")};
    QTest::newRow("plus inside") << QStringList{QStringLiteral("138+0000")};
    QTest::newRow("24 digits, too long for a PDU once 86 is put in front") << QStringList{QString(24, QLatin1Char('1'))};
    QTest::newRow("25 digits") << QStringList{QString(25, QLatin1Char('1'))};
    QTest::newRow("empty entry among good ones") << QStringList{QStringLiteral("13800000001"), QString()};
    QTest::newRow("empty entry before a bad one") << QStringList{QString(), QStringLiteral("abc")};
    QTest::newRow("plus alone") << QStringList{QStringLiteral("+")};
    QTest::newRow("repeated") << QStringList{QStringLiteral("10086"), QStringLiteral("10086")};
    QTest::newRow("one phone spelled three ways")
        << QStringList{QStringLiteral("13900000001"), QStringLiteral("8613900000001"), QStringLiteral("+8613900000001")};
    QTest::newRow("Hong Kong, and its digits taken as Chinese")
        << QStringList{QStringLiteral("+85291234567"), QStringLiteral("85291234567"), QStringLiteral("+85291234567")};
}

void tst_SendRunCli::sameNumbersSameOutcome()
{
    QFETCH(QStringList, entries);
    const SendRunPlan panel = SendRun::Plan(kText, entries, true, kSmsc);

    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    QFile ini(dir.filePath(QStringLiteral("setting.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[SQL]\nDriver=sqlite\nData=%1\n[SYSTEM]\nCOM=COM9\nBaudRate=115200\nSMSC=%2\n")
                  .arg(db.m_strData, kSmsc)
                  .toUtf8());
    ini.close();
    ModemSimulator sim;
    QVERIFY(sim.Start());

    QStringList args{QStringLiteral("send"), QStringLiteral("--device"), sim.DevicePath(), QStringLiteral("--text"), kText};
    for (const QString &e : entries)
        args << QStringLiteral("--to") << e;
    QProcess cli;
    cli.setWorkingDirectory(dir.path());
    cli.start(TestEnv::CliPath(), args);
    QVERIFY(cli.waitForFinished(60000));
    const int rc = cli.exitCode();
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    QStringList sentTo;
    for (const QString &line : QString::fromUtf8(cli.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        sentTo << line.section(QLatin1Char('\t'), 1, 1);

    // What the panel shows, the command line writes first, in the same order.
    const QStringList errLines = err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(errLines.mid(0, panel.m_messages.size()), Texts(panel.m_messages));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    if (!panel.m_bQueue) {
        QCOMPARE(errLines.size(), panel.m_messages.size());
        QCOMPARE(rc, 2);
        QVERIFY(sim.Commands().isEmpty());
        return;
    }
    QVERIFY2(rc == 0 || rc == 1, qPrintable(err));
    // The panel sends what its list holds ("去除重复" is the operator's); the command line
    // sends to each phone once.
    QStringList once;
    for (const QString &n : panel.m_numbers) {
        if (!once.contains(n))
            once << n;
    }
    QCOMPARE(sentTo, once);
}

QTEST_GUILESS_MAIN(tst_SendRunCli)
#include "tst_sendrun_cli.moc"
