// skevo-cli init-db / send / listen as a separate process, against the simulated modem in
// this process and a real database, including a run killed in the middle of a bulk send.
#include "CliDbTest.h"
#include "CliRun.h"
#include "DbTargets.h"
#include "EngineRig.h"
#include "TestEnv.h"

#include "base/CSettingsFile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

const QString kBadNumber = QStringLiteral("手机号码不能超过24位并且不能包含非数字字符");
const QString kOpenFailed = QStringLiteral("打开串口失败,别一个程序正在使用该串口\n请先关闭使用该串口的应用程序");
const QString kNoModem = QStringLiteral("请检查短信猫是否连接正确");
constexpr int kWaitMs = 60000;

QString Number(int i)
{
    return RangeNumber(QStringLiteral("86139"), i);
}

QStringList Column(const DbSettings &db, const QString &sql)
{
    QStringList out;
    for (const QVariant &v : DbProbe(db).Column(sql))
        out << v.toString();
    return out;
}

} // namespace

class TestSmsModemCli : public CliDbTest
{
    Q_OBJECT
private slots:
    void initDb_data() { DbTargets::AddDialectRows(); }
    void initDb();
    void refusedBeforeConnecting_data();
    void refusedBeforeConnecting();
    void connectFailures_data();
    void connectFailures();
    void send_data() { DbTargets::AddDialectRows(); }
    void send();
    void sendThroughSeveralModems_data();
    void sendThroughSeveralModems();
    void killedInTheMiddle_data();
    void killedInTheMiddle();
    void sendGivesUpWhenTheDeviceVanishes();
    void listen_data() { DbTargets::AddDialectRows(); }
    void listen();
    void secondProgramLeavesTheFirstsMessages_data() { DbTargets::AddDialectRows(); }
    void secondProgramLeavesTheFirstsMessages();
    void listenEndsOnTerminate();
};

void TestSmsModemCli::initDb()
{
    FRESH_DB(db);
    CliPlace place(db);
    Cli cli(place);
    QCOMPARE(cli.Run({QStringLiteral("init-db")}), 0);
    QVERIFY2(cli.Lines().join(QLatin1Char('\n')).contains(QStringLiteral("administrator: admin")),
             qPrintable(cli.Lines().join(QLatin1Char('\n'))));
    QCOMPARE(Column(db, QStringLiteral("SELECT D_NAME FROM T_USER")), QStringList{QStringLiteral("admin")});
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0); // the tables are there
}

void TestSmsModemCli::refusedBeforeConnecting_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("letter in a number") << QStringList{QStringLiteral("--to"), QStringLiteral("13800000000"),
                                                       QStringLiteral("--to"), QStringLiteral("1380000000a")}
                                        << QString() << kBadNumber;
    QTest::newRow("25 digits") << QStringList{QStringLiteral("--to"), QStringLiteral("1234567890123456789012345")}
                               << QString() << kBadNumber;
    QTest::newRow("bad line in the number file") << QStringList{} << QStringLiteral("start\n13800000000\n138-0000\nend")
                                                 << kBadNumber;
    QTest::newRow("number file without end") << QStringList{} << QStringLiteral("start\n13800000000\n")
                                             << QStringLiteral("该文件无效");
    QTest::newRow("no text") << QStringList{QStringLiteral("--to"), QStringLiteral("13800000000")} << QString()
                             << QStringLiteral("短信内容不能为空");
    QTest::newRow("a lone +") << QStringList{QStringLiteral("--to"), QStringLiteral("+")} << QString() << kBadNumber;
    QTest::newRow("141 bytes") << QStringList{QStringLiteral("--to"), QStringLiteral("13800000000"), QStringLiteral("--text"),
                                              QStringLiteral("a\nb\n") + QString(137, QLatin1Char('x'))}
                               << QString() << QStringLiteral("“请填入不多于140个的字符。”");
}

// Nothing is sent, and the modem is not even spoken to.
void TestSmsModemCli::refusedBeforeConnecting()
{
    QFETCH(QStringList, args);
    QFETCH(QString, file);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    CliPlace place(db);
    ModemSimulator sim;
    QVERIFY(sim.Start());
    QStringList all{QStringLiteral("send")};
    all << ModemArgs(sim) << args;
    if (!file.isEmpty()) {
        const QString numbers = place.Numbers(file.toUtf8());
        QVERIFY(!numbers.isEmpty());
        all << QStringLiteral("--numbers") << numbers << QStringLiteral("--text") << QStringLiteral("x");
    } else if (!message.startsWith(QStringLiteral("短信")) && !args.contains(QStringLiteral("--text"))) {
        all << QStringLiteral("--text") << QStringLiteral("x");
    }
    Cli cli(place);
    QCOMPARE(cli.Run(all), 2);
    QVERIFY2(cli.Err().contains(message), qPrintable(cli.Err()));
    QVERIFY(cli.Lines().isEmpty());
    QVERIFY(sim.Commands().isEmpty());
}

void TestSmsModemCli::connectFailures_data()
{
    QTest::addColumn<QString>("device"); // "" the simulated modem, else a name in the test's folder
    QTest::addColumn<QString>("message"); // %1: the device's path
    QTest::newRow("no such device") << QStringLiteral("no-such-tty") << QStringLiteral("串口不存在: %1");
    QTest::newRow("not a serial device: the cause is added")
        << QStringLiteral("setting.ini") << kOpenFailed + QStringLiteral("\n原因: %1: not a terminal device");
    QTest::newRow("modem does not answer") << QString() << kNoModem;
}

void TestSmsModemCli::connectFailures()
{
    QFETCH(QString, device);
    QFETCH(QString, message);
    QTemporaryDir dir;
    CliPlace place(TestEnv::Sqlite(dir.path()));
    ModemSimulator sim;
    QVERIFY(sim.Start());
    sim.SetDropLine(ModemSimulator::Fault::Always());
    device = device.isEmpty() ? sim.DevicePath() : place.File(device);
    message = message.arg(device);
    Cli cli(place);
    QCOMPARE(cli.Run({QStringLiteral("send"), QStringLiteral("--device"), device, QStringLiteral("--to"),
                      QStringLiteral("13800000000"), QStringLiteral("--text"), QStringLiteral("x")}),
             1);
    QVERIFY2(cli.Err().contains(message), qPrintable(cli.Err()));
    QCOMPARE(sim.SubmitCount(), 0);
}

void TestSmsModemCli::send()
{
    FRESH_DB(db);
    CliPlace place(db);
    ModemSimulator sim;
    QVERIFY(sim.Start());
    sim.SetCmsErrorTo({QStringLiteral("8613800000003")});
    const QString numbersFile = place.Numbers("start\n13800000002\n+8613800000003\nend");
    QVERIFY(!numbersFile.isEmpty());
    Cli cli(place);
    QStringList args{QStringLiteral("send")};
    args << ModemArgs(sim) << QStringLiteral("--to") << QStringLiteral("+13800000001") << QStringLiteral("--numbers")
         << numbersFile << QStringLiteral("--text") << QStringLiteral("群发 it's");
    // One message refused by the network: not everything was sent.
    QCOMPARE(cli.Run(args), 1);
    const QStringList lines = cli.Lines();
    QCOMPARE(lines.size(), 3);
    const QStringList numbers{QStringLiteral("8613800000001"), QStringLiteral("8613800000002"),
                              QStringLiteral("8613800000003")};
    const QStringList results{QStringLiteral("成功"), QStringLiteral("成功"), QStringLiteral("失败")};
    for (int i = 0; i < 3; ++i) {
        const QStringList fields = lines[i].split(QLatin1Char('\t'));
        QCOMPARE(fields.size(), 4);
        QCOMPARE(fields[1], numbers[i]);
        QCOMPARE(fields[2], QStringLiteral("发送"));
        QCOMPARE(fields[3], results[i]);
    }
    QCOMPARE(Column(db, QStringLiteral("SELECT D_SENDNUM FROM T_SEND ORDER BY D_NO")), numbers);
    QCOMPARE(Column(db, QStringLiteral("SELECT D_STATE FROM T_SEND ORDER BY D_NO")),
             (QStringList{QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("0")}));
    QCOMPARE(Column(db, QStringLiteral("SELECT D_SENDCONT FROM T_SEND WHERE D_NO=1")),
             QStringList{QStringLiteral("群发 it's")});
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);

    // All good this time: exit code 0. One phone spelled three ways gets one message; Hong Kong
    // keeps its country code, and the same digits without "+" are a Chinese number.
    sim.SetCmsErrorTo({});
    sim.ClearLog();
    Cli again(place);
    QStringList to;
    for (const char *n : {"13800000004", "8613800000004", "+8613800000004", "+85291234567", "8685291234567", "+85291234567"})
        to << QStringLiteral("--to") << QString::fromLatin1(n);
    QCOMPARE(again.Run(QStringList{QStringLiteral("send"), QStringLiteral("--device"), sim.DevicePath()} + to
                       + QStringList{QStringLiteral("--text"), QStringLiteral("ok")}),
             0);
    QCOMPARE(again.Lines().size(), 3);
    QStringList addresses;
    for (const ModemSimulator::Submit &s : sim.Submits())
        addresses << s.message.number;
    QCOMPARE(addresses, (QStringList{QStringLiteral("8613800000004"), QStringLiteral("85291234567"), QStringLiteral("8685291234567")}));
    QCOMPARE(Column(db, QStringLiteral("SELECT D_SENDNUM FROM T_SEND WHERE D_NO>3 ORDER BY D_NO")),
             (QStringList{QStringLiteral("8613800000004"), QStringLiteral("+85291234567"), QStringLiteral("8685291234567")}));

    // The first list again with --skip-sent: only the number it failed for goes, although
    // another text went out since.
    sim.ClearLog();
    Cli rest(place);
    QCOMPARE(rest.Run(args + QStringList{QStringLiteral("--skip-sent")}), 0);
    QVERIFY2(rest.Err().contains(QStringLiteral("2 个号码已发送过此内容, 只发送其余 1 个")), qPrintable(rest.Err()));
    QCOMPARE(rest.Lines().size(), 1);
    QCOMPARE(sim.Submits().size(), 1);
    QCOMPARE(sim.Submits().first().message.number, QStringLiteral("8613800000003"));
}

void TestSmsModemCli::sendThroughSeveralModems_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("--device twice") << QStringLiteral("given");
    QTest::newRow("the configured list, SYSTEM and MODEM2") << QStringLiteral("configured");
    QTest::newRow("one of them missing: named, the other sends") << QStringLiteral("missing");
}

void TestSmsModemCli::sendThroughSeveralModems()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    CliPlace place(db);
    ModemSimulator a, b;
    QVERIFY(a.Start() && b.Start());
    a.SetLateAnswer(ModemSimulator::Fault::Always(), 100);
    b.SetLateAnswer(ModemSimulator::Fault::Always(), 100);
    const QString missing = place.File(QStringLiteral("no-such-tty"));
    QStringList args{QStringLiteral("send")};
    if (how == QStringLiteral("configured")) {
        QVERIFY(place.SetSystem(QStringLiteral("COM"), a.DevicePath()));
        QVERIFY(place.SetSystem(QStringLiteral("SMSC"), QStringLiteral("8613800100500")));
        CSettingsFile file(place.File(QStringLiteral("setting.ini")));
        QVERIFY(file.WriteString(QStringLiteral("MODEM2"), QStringLiteral("COM"), b.DevicePath()));
        // Its SIM is another operator's: its own service centre.
        QVERIFY(file.WriteString(QStringLiteral("MODEM2"), QStringLiteral("SMSC"), QStringLiteral("8613010381500")));
    } else {
        args << QStringLiteral("--device") << a.DevicePath() << QStringLiteral("--device")
             << (how == QStringLiteral("missing") ? missing : b.DevicePath());
    }
    QStringList numbers;
    for (int i = 0; i < 8; ++i)
        numbers << Number(i);
    args << QStringLiteral("--numbers") << place.Numbers(numbers) << QStringLiteral("--text") << QStringLiteral("池");
    Cli cli(place);
    QCOMPARE(cli.Run(args), 0);
    QCOMPARE(cli.Lines().size(), 8);
    QCOMPARE(a.SubmitCount() + b.SubmitCount(), 8);
    QStringList sent = SubmittedNumbers(a) + SubmittedNumbers(b);
    sent.sort();
    QCOMPARE(sent, numbers);
    if (how == QStringLiteral("missing")) {
        QCOMPARE(b.SubmitCount(), 0);
        const QStringList err = cli.ErrLines();
        QCOMPARE(err.value(0), QStringLiteral("短信猫 %1: 串口不存在: %1").arg(missing));
        QVERIFY2(err.value(1).startsWith(QStringLiteral("原因: ")), qPrintable(err.join(u'\n')));
        QCOMPARE(err.value(2), QStringLiteral("其余 1 台短信猫已连接"));
    } else {
        QVERIFY2(a.SubmitCount() >= 2 && b.SubmitCount() >= 2, qPrintable(cli.Lines().join(u'\n')));
        QCOMPARE(Column(db, QStringLiteral("SELECT DISTINCT D_PORT FROM T_SEND ORDER BY D_PORT")).size(), 2);
        if (how == QStringLiteral("configured")) {
            for (const ModemSimulator::Submit &submit : a.Submits())
                QCOMPARE(submit.message.smsc, QStringLiteral("8613800100500"));
            for (const ModemSimulator::Submit &submit : b.Submits())
                QCOMPARE(submit.message.smsc, QStringLiteral("8613010381500"));
        }
    }
}

void TestSmsModemCli::killedInTheMiddle_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<bool>("whileAwaitingAnswer");
    DbTargets::AddDialectRows("while a pdu awaits its answer", true);
    DbTargets::AddDialectRows("at any moment", false);
}

// The process dies in the middle of a bulk send; the next run sends what the first did not
// hand to the modem, exactly once, and journals the one in the modem's hands as failed.
void TestSmsModemCli::killedInTheMiddle()
{
    QFETCH(bool, whileAwaitingAnswer);
    FRESH_DB(db);
    CliPlace place(db);
    ModemSimulator sim;
    QVERIFY(sim.Start());
    if (whileAwaitingAnswer)
        sim.SetLateAnswer(ModemSimulator::Fault::Always(), 1500);
    else
        sim.SetLatency(30);
    constexpr int kTotal = 12;
    QStringList numbers;
    for (int i = 0; i < kTotal; ++i)
        numbers << Number(i);
    const QString numbersFile = place.Numbers(numbers);
    QVERIFY(!numbersFile.isEmpty());

    Cli first(place);
    QStringList args{QStringLiteral("send")};
    args << ModemArgs(sim) << QStringLiteral("--numbers") << numbersFile << QStringLiteral("--text")
         << QStringLiteral("bulk");
    first.Start(args);
    QTRY_VERIFY_WITH_TIMEOUT(first.Lines().size() >= 2, kWaitMs);
    first.Process().kill(); // SIGKILL: no clean-up of any kind
    QVERIFY(first.Process().waitForFinished(10000));
    const int journalledBefore = RowCount(db, QStringLiteral("T_SEND"));
    QVERIFY(journalledBefore < kTotal);

    sim.SetLateAnswer(ModemSimulator::Fault::Off(), 0);
    sim.SetLatency(0);
    Cli second(place);
    QStringList args2{QStringLiteral("send")};
    args2 << ModemArgs(sim);
    const int rc = second.Run(args2);

    // Every message journalled once, in the first run or the second.
    const QStringList sendNums = Column(db, QStringLiteral("SELECT D_SENDNUM FROM T_SEND ORDER BY D_NO"));
    const QStringList states = Column(db, QStringLiteral("SELECT D_STATE FROM T_SEND ORDER BY D_NO"));
    QCOMPARE(sendNums.size(), kTotal);
    QStringList sorted = sendNums;
    sorted.sort();
    QCOMPARE(sorted, numbers);
    QCOMPARE(second.Lines().size(), kTotal - journalledBefore);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);

    QStringList failed;
    for (qsizetype i = 0; i < sendNums.size(); ++i) {
        if (states[i] == QStringLiteral("0"))
            failed << sendNums[i];
    }
    QVERIFY2(failed.size() <= 1, qPrintable(failed.join(QLatin1Char(' '))));
    if (whileAwaitingAnswer)
        QCOMPARE(failed.size(), 1); // the one the modem held when the process died
    QCOMPARE(rc, failed.isEmpty() ? 0 : 1);

    // What the modem got: each message not in flight exactly once, the one in flight never again.
    QMap<QString, int> submitted;
    for (const ModemSimulator::Submit &s : sim.Submits()) {
        QVERIFY2(s.decoded, qPrintable(s.error));
        ++submitted[s.message.number];
    }
    for (const QString &n : numbers) {
        if (failed.contains(n))
            QVERIFY2(submitted.value(n) <= 1, qPrintable(n));
        else
            QVERIFY2(submitted.value(n) == 1, qPrintable(QStringLiteral("%1 sent %2 times").arg(n).arg(submitted.value(n))));
    }
    // The second run reported the one in flight as failed before anything else.
    if (!failed.isEmpty())
        QVERIFY(second.Lines().first().contains(failed.first() + QStringLiteral("\t发送\t失败")));
}

// The device goes away in the middle of a send and stays away: the run ends by itself after
// --timeout seconds without a report, says why in one line and keeps what it did not send.
void TestSmsModemCli::sendGivesUpWhenTheDeviceVanishes()
{
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    CliPlace place(db);
    ModemSimulator sim;
    QVERIFY(sim.Start());
    sim.SetLatency(300);
    Cli cli(place);
    QStringList args{QStringLiteral("send")};
    args << ModemArgs(sim) << QStringLiteral("--timeout") << QStringLiteral("2") << QStringLiteral("--text")
         << QStringLiteral("x");
    for (int i = 1; i <= 4; ++i)
        args << QStringLiteral("--to") << Number(i);
    cli.Start(args);
    QTRY_VERIFY_WITH_TIMEOUT(!cli.Lines().isEmpty(), kWaitMs);
    sim.Stop();
    QCOMPARE(cli.Wait(30000), 1);
    const QStringList err = cli.Err().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(!err.isEmpty());
    QVERIFY(err.size() >= 2);
    QVERIFY2(err.at(err.size() - 2).startsWith(QStringLiteral("已放弃: 2 秒没有进展 (短信猫已断开)")), qPrintable(cli.Err()));
    const int sent = RowCount(db, QStringLiteral("T_SEND"));
    QVERIFY(sent < 4);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 4 - sent);
    QCOMPARE(err.last(), QStringLiteral("%1 条短信留在队列中, 下次运行时发送").arg(4 - sent));
}

void TestSmsModemCli::listen()
{
    FRESH_DB(db);
    CliPlace place(db);
    {
        // Kept by an earlier run (of this installation) that never connected.
        DbSettings same = db;
        same.m_strSource = place.File(QStringLiteral("setting.ini"));
        Outbox earlier([same] { return same; });
        earlier.Enqueue(OutMessage(Number(1), QStringLiteral("kept")));
    }
    ModemSimulator sim;
    QVERIFY(sim.Start());
    DeliverSpec stored;
    stored.from = QStringLiteral("+8613911111111");
    stored.text = QStringLiteral("stored before");
    stored.scts = QStringLiteral("09010321000032");
    QVERIFY(sim.StoreArrival(stored).ok);

    Cli cli(place);
    QStringList args{QStringLiteral("listen")};
    args << ModemArgs(sim) << QStringLiteral("--seconds") << QStringLiteral("4");
    cli.Start(args);
    QTRY_VERIFY_WITH_TIMEOUT(cli.Lines().size() >= 2, kWaitMs);
    DeliverSpec live = stored;
    live.text = QStringLiteral("实时到达");
    QVERIFY(sim.InjectArrival(live).ok);
    QCOMPARE(cli.Wait(), 0);

    const QStringList lines = cli.Lines();
    QCOMPARE(lines.size(), 3);
    QStringList received;
    for (const QString &l : lines) {
        const QStringList fields = l.split(QLatin1Char('\t'));
        if (fields.value(2) == QStringLiteral("接收")) {
            QCOMPARE(fields.size(), 5);
            QCOMPARE(fields[0], QStringLiteral("2009-01-03 21:00:00"));
            QCOMPARE(fields[1], QStringLiteral("8613911111111"));
            received << fields[4];
        } else {
            QCOMPARE(fields.value(1), Number(1));
            QCOMPARE(fields.value(3), QStringLiteral("成功"));
        }
    }
    QCOMPARE(received, (QStringList{QStringLiteral("stored before"), QStringLiteral("实时到达")}));
    QCOMPARE(Column(db, QStringLiteral("SELECT D_RECCONT FROM T_REC ORDER BY D_NO")), received);
    QCOMPARE(RowCount(db, QStringLiteral("T_SEND")), 1);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
    QCOMPARE(sim.Storage().size(), 0);
    QCOMPARE(sim.SubmitCount(), 1);
}

// Two runs of skevo-cli from one folder, each with its own modem: the second starts while the
// first sends and takes up nothing of it; the first is then killed, and the next start sends
// what it left, each message once.
void TestSmsModemCli::secondProgramLeavesTheFirstsMessages()
{
    FRESH_DB(db);
    CliPlace place(db);
    ModemSimulator simA;
    ModemSimulator simB;
    QVERIFY(simA.Start());
    QVERIFY(simB.Start());
    simA.SetLateAnswer(ModemSimulator::Fault::Always(), 700);
    constexpr int kTotal = 8;
    QStringList numbers;
    for (int i = 0; i < kTotal; ++i)
        numbers << Number(i);
    const QString numbersFile = place.Numbers(numbers);
    QVERIFY(!numbersFile.isEmpty());

    Cli a(place);
    a.Start(QStringList{QStringLiteral("send")} << ModemArgs(simA) << QStringLiteral("--numbers") << numbersFile
                                                << QStringLiteral("--text") << QStringLiteral("A"));
    QTRY_VERIFY_WITH_TIMEOUT(a.Lines().size() >= 1, kWaitMs);
    Cli b(place);
    QCOMPARE(b.Run(QStringList{QStringLiteral("listen")} << ModemArgs(simB) << QStringLiteral("--seconds")
                                                         << QStringLiteral("2")),
             0);
    QCOMPARE(b.Lines(), QStringList());
    QCOMPARE(simB.SubmitCount(), 0);

    a.Process().kill(); // SIGKILL
    QVERIFY(a.Process().waitForFinished(10000));
    simA.SetLateAnswer(ModemSimulator::Fault::Off(), 0);
    Cli c(place);
    c.Run(QStringList{QStringLiteral("send")} << ModemArgs(simA));
    QVERIFY2(!c.Lines().isEmpty(), qPrintable(c.Err()));
    QStringList journalled = Column(db, QStringLiteral("SELECT D_SENDNUM FROM T_SEND"));
    journalled.sort();
    QCOMPARE(journalled, numbers);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

void TestSmsModemCli::listenEndsOnTerminate()
{
    QTemporaryDir dir;
    CliPlace place(TestEnv::Sqlite(dir.path()));
    ModemSimulator sim;
    QVERIFY(sim.Start());
    Cli cli(place);
    QStringList args{QStringLiteral("listen")};
    args << ModemArgs(sim);
    cli.Start(args);
    QTRY_VERIFY_WITH_TIMEOUT(sim.Commands().contains(QStringLiteral("AT+CMGL=4")), kWaitMs);
    cli.Process().terminate(); // SIGTERM
    QCOMPARE(cli.Wait(10000), 0);
}

QTEST_GUILESS_MAIN(TestSmsModemCli)
#include "tst_smsmodem_cli.moc"
