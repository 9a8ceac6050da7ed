// A real modem is not always ready: a SIM that wants its PIN, a network that comes late or goes
// for a while, a modem that announces no arrival, a phone memory beside the SIM's. Over the
// pseudo-terminal, against the simulated modem, on SQLite and PostgreSQL; skevo-cli as the
// operator runs it where what it says matters.
#include "CliDbTest.h"
#include "CliRun.h"
#include "DbTargets.h"
#include "EngineRig.h"
#include "TestEnv.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

constexpr int kWaitMs = 60000;
const QString kPin = QStringLiteral("1234");
const QString kOk = QStringLiteral("成功");

QString Number(int i)
{
    return RangeNumber(QStringLiteral("86137"), i);
}

QStringList Numbers(int count)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << Number(i);
    return out;
}

QStringList SendArgs(const ModemSimulator &sim, const QStringList &more)
{
    return QStringList{QStringLiteral("send")} + ModemArgs(sim) + more;
}

} // namespace

class TestRealModem : public CliDbTest
{
    Q_OBJECT
private slots:
    void pinRight_data() { DbTargets::AddDialectRows(); }
    void pinRight();
    void pinMissingOrWrong_data();
    void pinMissingOrWrong();
    void refusedPinSurvivesReconnects();
    void registrationLateAndCoverageLost_data() { DbTargets::AddDialectRows(); }
    void registrationLateAndCoverageLost();
    void waitingForTheNetworkIsNoProgress();
    void indicationsOff_data();
    void indicationsOff();
    void simAndPhoneStorage_data() { DbTargets::AddDialectRows(); }
    void simAndPhoneStorage();
};

// The SIM asks for its PIN, setting.ini has the right one: it is entered once, and every
// message goes.
void TestRealModem::pinRight()
{
    FRESH_DB(db);
    CliPlace place(db);
    QVERIFY(place.SetSystem(QStringLiteral("PIN"), kPin));
    ModemSimulator sim;
    QVERIFY(sim.Start());
    sim.SetSimPin(kPin);
    Cli cli(place);
    QStringList args = SendArgs(sim, {QStringLiteral("--text"), QStringLiteral("你好")});
    for (const QString &n : Numbers(3))
        args << QStringLiteral("--to") << n;
    QCOMPARE(cli.Run(args), 0);
    QCOMPARE(SubmittedNumbers(sim), Numbers(3));
    QCOMPARE(CommandCount(sim, QStringLiteral("AT+CPIN=")), 1);
    QCOMPARE(DbProbe(db).Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND WHERE D_STATE=1")).toInt(), 3);
}

void TestRealModem::pinMissingOrWrong_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("words");
    QTest::addColumn<int>("entries");
    DbTargets::AddDialectRows("no PIN given", QString(), QStringLiteral("SIM卡需要PIN码, 请在设备管理中填写"), 0);
    DbTargets::AddDialectRows("a wrong PIN", QStringLiteral("4321"), QStringLiteral("SIM卡PIN码错误"), 1);
}

// Without the right PIN nothing is sent and nothing journalled; the run says why and ends
// well within its --timeout; a second run (a service restarted) enters no refused PIN again;
// once the right PIN is set, the next run sends each kept message exactly once.
void TestRealModem::pinMissingOrWrong()
{
    QFETCH(QString, pin);
    QFETCH(QString, words);
    QFETCH(int, entries);
    FRESH_DB(db);
    CliPlace place(db);
    QVERIFY(place.SetSystem(QStringLiteral("PIN"), pin));
    ModemSimulator sim;
    QVERIFY(sim.Start());
    sim.SetSimPin(kPin);
    const QString numbers = place.Numbers(Numbers(3));
    QVERIFY(!numbers.isEmpty());
    const QStringList timeout{QStringLiteral("--timeout"), QStringLiteral("30")};
    for (int run = 0; run < 2; ++run) {
        Cli cli(place);
        QElapsedTimer took;
        took.start();
        const QStringList more = run == 0 ? timeout + QStringList{QStringLiteral("--numbers"), numbers, QStringLiteral("--text"), QStringLiteral("x")}
                                          : timeout;
        QCOMPARE(cli.Run(SendArgs(sim, more)), 1);
        QVERIFY2(took.elapsed() < 30000, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(cli.ErrLines().mid(cli.ErrLines().size() - 2),
                 (QStringList{QStringLiteral("3 条短信留在队列中, 下次运行时发送"), words}));
        QCOMPARE(cli.Lines(), QStringList());
        QCOMPARE(RowCount(db, QStringLiteral("T_SEND")), 0);
        QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 3);
        QCOMPARE(CommandCount(sim, QStringLiteral("AT+CPIN=")), entries);
    }
    QCOMPARE(sim.SubmitCount(), 0);

    QVERIFY(place.SetSystem(QStringLiteral("PIN"), kPin));
    Cli right(place);
    QCOMPARE(right.Run(SendArgs(sim, timeout)), 0);
    QCOMPARE(right.Lines().size(), 3);
    QCOMPARE(SubmittedNumbers(sim), Numbers(3));
    QCOMPARE(CommandCount(sim, QStringLiteral("AT+CPIN=")), entries + 1);
    QCOMPARE(DbProbe(db).Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND WHERE D_STATE=1")).toInt(), 3);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

// A wrong PIN is entered once, whatever the engine goes through afterwards: the modem lost
// and back, a disconnect and a connect.
void TestRealModem::refusedPinSurvivesReconnects()
{
    QTemporaryDir dir;
    EngineRig rig(TestEnv::Sqlite(dir.path()));
    rig.link = dir.filePath(QStringLiteral("ttyModem"));
    ModemConfig config = rig.port->Config();
    config.pin = QStringLiteral("4321");
    rig.port->SetConfig(config);
    rig.sim.SetSimPin(kPin);
    const auto readiness = [&rig] { return rig.port->Status().Readiness(); };
    QVERIFY(rig.ConnectAndStart());
    rig.outbox->Enqueue(OutMessage(Number(1), QStringLiteral("waits")));
    QTRY_COMPARE_WITH_TIMEOUT(readiness(), ModemReadiness::PinRefused, kWaitMs);

    rig.sim.Stop();
    QTRY_COMPARE_WITH_TIMEOUT(readiness(), ModemReadiness::DeviceGone, kWaitMs);
    QVERIFY(rig.sim.Start());
    QVERIFY(rig.sim.MakeLink(rig.link));
    QTRY_COMPARE_WITH_TIMEOUT(readiness(), ModemReadiness::PinRefused, kWaitMs);
    rig.Disconnect();
    QVERIFY(rig.ConnectAndStart());
    QTRY_COMPARE_WITH_TIMEOUT(readiness(), ModemReadiness::PinRefused, kWaitMs);

    QCOMPARE(CommandCount(rig.sim, QStringLiteral("AT+CPIN=")), 1);
    QCOMPARE(rig.sim.SubmitCount(), 0);
    QCOMPARE(rig.outbox->QueuedCount(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(rig.sink->reports.size(), 0);

    // The operator gives the right one: entered at once, and the message goes.
    rig.port->SetPin(kPin, false);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 1, kWaitMs);
    QCOMPARE(ResultOf(rig.sink->reports[0]), kOk);
    QCOMPARE(CommandCount(rig.sim, QStringLiteral("AT+CPIN=")), 2);
}

// The modem registers 8 s after the start, and loses coverage for 6 s in the middle of a run
// of 12: the messages wait, and each goes once, none failed.
void TestRealModem::registrationLateAndCoverageLost()
{
    FRESH_DB(db);
    EngineRig rig(db);
    rig.sim.SetLatency(100);
    rig.sim.SetRegistrationDelay(8000);
    QVector<ModemReadiness> seen;
    QObject context;
    connect(rig.port.get(), &ModemPort::statusChanged, &context, [&seen](const ModemStatus &s) {
        if (seen.isEmpty() || seen.last() != s.Readiness())
            seen.append(s.Readiness());
    });
    QVERIFY(rig.ConnectAndStart());
    QVector<SmsRecord> records;
    for (const QString &n : Numbers(12))
        records.append(OutMessage(n, QStringLiteral("run")));
    rig.outbox->Enqueue(records);
    QTRY_VERIFY_WITH_TIMEOUT(rig.sink->reports.size() >= 4, kWaitMs);
    rig.sim.LoseCoverage(6000);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 12, kWaitMs);

    for (const SmsReport &r : rig.sink->reports)
        QCOMPARE(ResultOf(r), kOk);
    QCOMPARE(SubmittedNumbers(rig.sim), Numbers(12));
    QCOMPARE(DbProbe(db).Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND WHERE D_STATE=1")).toInt(), 12);
    QCOMPARE(RowCount(db, QStringLiteral("T_SEND")), 12);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
    // Waited for the network twice, and said so.
    QCOMPARE(seen.count(ModemReadiness::Searching), 2);
}

// skevo-cli send counts the wait for the network as no progress: it gives up after --timeout
// seconds, says why, and keeps the messages.
void TestRealModem::waitingForTheNetworkIsNoProgress()
{
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    CliPlace place(db);
    ModemSimulator sim;
    QVERIFY(sim.Start());
    sim.SetRegistrationDelay(120000);
    Cli cli(place);
    QCOMPARE(cli.Run(SendArgs(sim, {QStringLiteral("--timeout"), QStringLiteral("2"), QStringLiteral("--to"), Number(1),
                                   QStringLiteral("--text"), QStringLiteral("x")})),
             1);
    QVERIFY2(cli.Err().contains(QStringLiteral("短信猫未注册到网络, 正在等待...")), qPrintable(cli.Err()));
    QCOMPARE(cli.ErrLines().mid(cli.ErrLines().size() - 2),
             (QStringList{QStringLiteral("已放弃: 2 秒没有进展 (短信猫未注册到网络)"), QStringLiteral("1 条短信留在队列中, 下次运行时发送")}));
    QCOMPARE(RowCount(db, QStringLiteral("T_SEND")), 0);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 1);
}

void TestRealModem::indicationsOff_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<bool>("noticeEver");
    DbTargets::AddDialectRows("off at power-up", true);
    DbTargets::AddDialectRows("no notice ever comes", false);
}

// A modem that powers up with its new-message indications off is set to announce arrivals;
// one that never announces anything is listed while idle: either way an arrival during
// skevo-cli listen is journalled within 30 s.
void TestRealModem::indicationsOff()
{
    QFETCH(bool, noticeEver);
    FRESH_DB(db);
    CliPlace place(db);
    ModemSimulator sim;
    QVERIFY(sim.Start());
    sim.SetIndications(false);
    if (!noticeEver)
        sim.SetSwallowNotice(ModemSimulator::Fault::Always());
    Cli cli(place);
    cli.Start(QStringList{QStringLiteral("listen")} + ModemArgs(sim) + QStringList{QStringLiteral("--seconds"), QStringLiteral("120")});
    QTRY_VERIFY_WITH_TIMEOUT(sim.Commands().contains(QStringLiteral("AT+CMGL=4")), kWaitMs);
    QTest::qWait(100); // the listing is answered
    DeliverSpec spec;
    spec.from = QStringLiteral("+8613900000001");
    spec.text = QStringLiteral("静默的短信猫");
    QElapsedTimer took;
    took.start();
    QVERIFY(sim.InjectArrival(spec).ok);
    QTRY_COMPARE_WITH_TIMEOUT(RowCount(db, QStringLiteral("T_REC")), 1, 31000);
    QVERIFY2(took.elapsed() <= 30500, qPrintable(QString::number(took.elapsed())));
    if (noticeEver)
        QVERIFY(sim.Commands().contains(QStringLiteral("AT+CNMI=2,1,0,0,0")));
    QTRY_COMPARE_WITH_TIMEOUT(sim.Storage().size(), 0, kWaitMs);
    cli.Process().terminate();
    QCOMPARE(cli.Wait(), 0);
    QVERIFY2(cli.Lines().join(QLatin1Char('\n')).contains(QStringLiteral("静默的短信猫")), qPrintable(cli.Lines().join(u'\n')));
}

// Arrivals in the SIM's memory and in the phone's, stored before the connect and announced
// after it: each is journalled once and deleted from where it was.
void TestRealModem::simAndPhoneStorage()
{
    FRESH_DB(db);
    EngineRig rig(db);
    QVERIFY(rig.sim.Start());
    rig.sim.SetPhoneStorage(true);
    const auto arrival = [](const QString &text) {
        DeliverSpec spec;
        spec.from = QStringLiteral("+8613900000002");
        spec.text = text;
        return spec;
    };
    QVERIFY(rig.sim.StoreArrival(arrival(QStringLiteral("in SM"))).ok);
    QVERIFY(rig.sim.SetArrivalStorage(QStringLiteral("ME")));
    QVERIFY(rig.sim.StoreArrival(arrival(QStringLiteral("in ME"))).ok);
    QVERIFY(rig.ConnectAndStart());
    QTRY_COMPARE_WITH_TIMEOUT(RowCount(db, QStringLiteral("T_REC")), 2, kWaitMs);
    const ModemSimulator::Arrival live = rig.sim.InjectArrival(arrival(QStringLiteral("announced in ME")));
    QVERIFY(live.ok);
    QTRY_COMPARE_WITH_TIMEOUT(RowCount(db, QStringLiteral("T_REC")), 3, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Storage().size(), 0, kWaitMs);
    QStringList texts;
    for (const QVariant &v : DbProbe(db).Column(QStringLiteral("SELECT D_RECCONT FROM T_REC ORDER BY D_NO")))
        texts << v.toString();
    QCOMPARE(texts, (QStringList{QStringLiteral("in SM"), QStringLiteral("in ME"), QStringLiteral("announced in ME")}));
    QVERIFY(rig.sim.Commands().contains(QStringLiteral("AT+CPMS=\"ME\"")));
    QTest::qWait(300);
    QCOMPARE(rig.sink->reports.size(), 3);
}

QTEST_GUILESS_MAIN(TestRealModem)
#include "tst_realmodem.moc"
