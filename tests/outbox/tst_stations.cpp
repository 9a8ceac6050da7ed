// Several stations on one database: one list poured into the modems of two stations, a
// station that is killed or frozen past its lease while the other goes on, and 停止 while the
// database is locked. Stations are engines of this process or skevo-cli as a process of its
// own, each with the simulated modem over a real pseudo-terminal.
#include "CliDbTest.h"
#include "CliRun.h"
#include "EngineRig.h"
#include "TestEnv.h"

#include <QDir>
#include <QtTest>
#include <csignal>

namespace {

constexpr int kWaitMs = 60000;

QString Number(int i)
{
    return RangeNumber(QStringLiteral("86135"), i);
}

QVector<SmsRecord> Messages(int count)
{
    QVector<SmsRecord> out;
    for (int i = 0; i < count; ++i)
        out.append(OutMessage(Number(i), QStringLiteral("list %1").arg(i)));
    return out;
}

// A station of this process that shares the pool, with a short lease.
void Share(EngineRig &rig)
{
    rig.outbox->SetShare(true);
    rig.outbox->SetLease(2000);
}

// T_SEND rows per number, and the state of each (1 成功, 0 失败).
QMap<QString, QList<int>> Journalled(const DbSettings &db)
{
    QMap<QString, QList<int>> out;
    DbProbe probe(db);
    for (const QVariantList &row : probe.Rows(QStringLiteral("SELECT D_SENDNUM,D_STATE FROM T_SEND ORDER BY D_NO")))
        out[row.value(0).toString()] << row.value(1).toInt();
    return out;
}

} // namespace

class TestStations : public CliDbTest
{
    Q_OBJECT
private slots:
    void twoStationsShareOneList_data() { DbTargets::AddDialectRows(); }
    void twoStationsShareOneList();
    void stationGoneMidRun_data();
    void stationGoneMidRun();
    void stopUnderLock_data() { DbTargets::AddDialectRows(); }
    void stopUnderLock();
    void sigtermUnderLockKeepsItsRow_data() { DbTargets::AddDialectRows(); }
    void sigtermUnderLockKeepsItsRow();
    void replyGoesFromItsSim_data();
    void replyGoesFromItsSim();
};

// Station A queues the list; the modems of A and B both take from it: each number goes once,
// each station's modem sends a share, and A's tally counts what B's modem sent.
void TestStations::twoStationsShareOneList()
{
    FRESH_DB(db);
    constexpr int kCount = 30;
    EngineRig a(db);
    EngineRig b(db);
    Share(a);
    Share(b);
    a.sim.SetLatency(30);
    b.sim.SetLatency(30);
    QVERIFY(a.ConnectAndStart());
    QVERIFY(b.ConnectAndStart());
    QVERIFY(a.outbox->Enqueue(Messages(kCount)));
    QTRY_COMPARE_WITH_TIMEOUT(a.sink->reports.size() + b.sink->reports.size(), kCount, kWaitMs);

    const QStringList fromA = SubmittedNumbers(a.sim);
    const QStringList fromB = SubmittedNumbers(b.sim);
    QVERIFY2(!fromA.isEmpty() && !fromB.isEmpty(), qPrintable(QStringLiteral("%1 / %2").arg(fromA.size()).arg(fromB.size())));
    QStringList all = fromA + fromB;
    all.sort();
    QStringList expected;
    for (int i = 0; i < kCount; ++i)
        expected << Number(i);
    QCOMPARE(all, expected);
    const QMap<QString, QList<int>> rows = Journalled(db);
    QCOMPARE(rows.size(), kCount);
    for (const QList<int> &states : rows)
        QCOMPARE(states, QList<int>{1});
    QTRY_COMPARE_WITH_TIMEOUT(a.outbox->Tally().succeeded, kCount, kWaitMs);
    QCOMPARE(a.outbox->Tally().state, RunTally::State::Finished);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

void TestStations::stationGoneMidRun_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<bool>("frozen");
    QTest::newRow("killed -9, sqlite") << int(DbSettings::Sqlite) << false;
    QTest::newRow("killed -9, postgres") << int(DbSettings::Postgres) << false;
    // A SQLite file is locked while a frozen program holds its write lock: the frozen case
    // is the server's.
    QTest::newRow("frozen past the lease, then woken, postgres") << int(DbSettings::Postgres) << true;
}

// skevo-cli sends a shared list and stops in the middle (killed, or frozen past its lease);
// station B takes over. Every number is journalled exactly once: sent by one of the two, or
// 失败 when A had it in its modem's hands. Nothing goes twice, nothing A lost goes from A
// when it wakes.
void TestStations::stationGoneMidRun()
{
    QFETCH(bool, frozen);
    FRESH_DB(db);
    constexpr int kCount = 24;
    CliPlace place(db);
    QVERIFY(place.SetSystem(QStringLiteral("Share"), QStringLiteral("1")));
    QVERIFY(place.SetSystem(QStringLiteral("Lease"), QStringLiteral("2")));
    ModemSimulator simA;
    QVERIFY(simA.Start());
    simA.SetLatency(60);
    QStringList numbers;
    for (int i = 0; i < kCount; ++i)
        numbers << Number(i);
    Cli a(place);
    a.Start(QStringList{QStringLiteral("send")} + ModemArgs(simA)
            + QStringList{QStringLiteral("--numbers"), place.Numbers(numbers), QStringLiteral("--text"), QStringLiteral("x")});
    QTRY_VERIFY_WITH_TIMEOUT(simA.SubmitCount() >= 3, kWaitMs);
    const qint64 pid = a.Process().processId();
    QVERIFY(pid > 0);
    ::kill(pid_t(pid), frozen ? SIGSTOP : SIGKILL);
    const int beforeB = simA.SubmitCount();

    EngineRig b(db);
    Share(b);
    QVERIFY(b.ConnectAndStart());
    QTRY_COMPARE_WITH_TIMEOUT(Journalled(db).size(), kCount, kWaitMs);
    if (frozen) {
        // A wakes: its claims are void, its modem writes nothing it held.
        ::kill(pid_t(pid), SIGCONT);
        QTest::qWait(4000);
        QVERIFY(simA.SubmitCount() <= beforeB + 1);
        ::kill(pid_t(pid), SIGKILL);
    }
    a.Wait(10000);

    const QMap<QString, QList<int>> rows = Journalled(db);
    const QStringList fromA = SubmittedNumbers(simA);
    const QStringList fromB = SubmittedNumbers(b.sim);
    QVERIFY(!fromB.isEmpty());
    int failed = 0;
    for (const QString &n : numbers) {
        QCOMPARE(rows.value(n).size(), 1);
        const int went = int(fromA.count(n) + fromB.count(n));
        QVERIFY2(went <= 1, qPrintable(n));
        if (rows.value(n).first() == 1)
            QCOMPARE(went, 1);
        else
            ++failed;
    }
    QVERIFY(failed <= 1); // the one A's modem had in hand
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

// 停止 while another connection holds the queue locked: the operator hears that it failed,
// the run is not stopped and its messages stay; once the lock is gone 停止 takes them all.
void TestStations::stopUnderLock()
{
    FRESH_DB(db);
    auto outbox = FastOutbox(db);
    QVERIFY(outbox->Enqueue(Messages(5)));
    DbProbe lock(db);
    const bool pg = db.m_driver == DbSettings::Postgres;
    QVERIFY2(lock.Exec(pg ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN EXCLUSIVE")), qPrintable(lock.Error()));
    if (pg)
        QVERIFY2(lock.Exec(QStringLiteral("LOCK TABLE T_OUTBOX IN ACCESS EXCLUSIVE MODE")), qPrintable(lock.Error()));
    const IOutbox::Withdrawn refused = outbox->Withdraw();
    QVERIFY(!refused.ok);
    QVERIFY(!refused.error.isEmpty());
    QCOMPARE(refused.count, 0);
    QVERIFY(outbox->Tally().state != RunTally::State::Stopped);
    QVERIFY2(lock.Exec(QStringLiteral("ROLLBACK")), qPrintable(lock.Error()));

    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 5);
    const IOutbox::Withdrawn taken = outbox->Withdraw();
    QVERIFY(taken.ok);
    QCOMPARE(taken.count, 5);
    QCOMPARE(outbox->Tally().state, RunTally::State::Stopped);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

// skevo-cli send is terminated while another connection holds the journal locked, just after
// the modem took a message: the stop waits for its answer, the 成功 row the database refuses is
// left in a file beside setting.ini, and the next start journals it: once, and 成功.
void TestStations::sigtermUnderLockKeepsItsRow()
{
    FRESH_DB(db);
    CliPlace place(db);
    ModemSimulator sim;
    QVERIFY(sim.Start());
    sim.SetLateAnswer(ModemSimulator::Fault::Always(), 1000);
    Cli a(place);
    a.Start(QStringList{QStringLiteral("send")} + ModemArgs(sim)
            + QStringList{QStringLiteral("--numbers"), place.Numbers(QStringList{Number(0), Number(1), Number(2)}),
                          QStringLiteral("--text"), QStringLiteral("x")});
    QTRY_COMPARE_WITH_TIMEOUT(sim.SubmitCount(), 1, kWaitMs);
    DbProbe lock(db);
    const bool pg = db.m_driver == DbSettings::Postgres;
    QVERIFY2(lock.Exec(pg ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN EXCLUSIVE")), qPrintable(lock.Error()));
    if (pg)
        QVERIFY2(lock.Exec(QStringLiteral("LOCK TABLE T_SEND, T_OUTBOX IN ACCESS EXCLUSIVE MODE")), qPrintable(lock.Error()));
    a.Process().terminate();
    QVERIFY(a.Process().waitForFinished(90000));
    const QStringList left = QDir(place.Dir()).entryList({QStringLiteral("skevo-journal-*.pending")}, QDir::Files);
    QCOMPARE(left.size(), 1);
    QVERIFY2(lock.Exec(QStringLiteral("ROLLBACK")), qPrintable(lock.Error()));
    QCOMPARE(Journalled(db).value(Number(0)), QList<int>());

    Cli next(place);
    QCOMPARE(next.Run(QStringList{QStringLiteral("serve")} + ModemArgs(sim) + QStringList{QStringLiteral("--seconds"), QStringLiteral("1")}),
             0);
    QCOMPARE(Journalled(db).value(Number(0)), QList<int>{1});
    QVERIFY(QDir(place.Dir()).entryList({QStringLiteral("skevo-journal-*.pending")}, QDir::Files).isEmpty());
}

void TestStations::replyGoesFromItsSim_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<bool>("connected");
    for (const int dialect : {int(DbSettings::Sqlite), int(DbSettings::Postgres)}) {
        const QString db = dialect == DbSettings::Sqlite ? QStringLiteral("sqlite") : QStringLiteral("postgres");
        QTest::newRow(qPrintable(QStringLiteral("its SIM in the other station's modem, ") + db)) << dialect << true;
        QTest::newRow(qPrintable(QStringLiteral("its SIM nowhere, ") + db)) << dialect << false;
    }
}

// Station A answers a message that came in on a SIM: neither station shares its pool, yet the
// answer goes from that SIM when station B has it in a modem, else from A's own.
void TestStations::replyGoesFromItsSim()
{
    QFETCH(bool, connected);
    FRESH_DB(db);
    EngineRig a(db);
    EngineRig b(db);
    QVERIFY(a.ConnectAndStart());
    QVERIFY(b.ConnectAndStart());
    QTRY_COMPARE_WITH_TIMEOUT(DbProbe(db)
                                  .Value(QStringLiteral("SELECT COUNT(*) FROM T_SIM WHERE D_IMSI IN (?,?)"),
                                         {a.sim.Imsi(), b.sim.Imsi()})
                                  .toInt(),
                              2, kWaitMs);
    IOutbox::Options reply;
    reply.kind = IOutbox::RunKind::Reply;
    reply.wantSim = connected ? b.sim.Imsi() : QStringLiteral("460009999999999");
    QVERIFY(a.outbox->Enqueue(QVector<SmsRecord>{OutMessage(Number(1), QStringLiteral("答复"))}, reply));
    QTRY_COMPARE_WITH_TIMEOUT(a.sink->reports.size() + b.sink->reports.size(), 1, kWaitMs);
    QCOMPARE(SubmittedNumbers(connected ? b.sim : a.sim), QStringList{Number(1)});
    QCOMPARE(SubmittedNumbers(connected ? a.sim : b.sim), QStringList());
    QCOMPARE(DbProbe(db).Value(QStringLiteral("SELECT D_SIM FROM T_SEND")).toString(),
             connected ? b.sim.Imsi() : a.sim.Imsi());
}

QTEST_MAIN(TestStations)
#include "tst_stations.moc"
