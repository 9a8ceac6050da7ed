// What keeps a SIM alive, over the simulated modem and both databases: a SIM at its limit
// takes nothing while the others send; every SIM at a limit journals nothing 失败 and goes on
// when a window rolls (a clock handed in) or the limit is raised; the counts are the
// journal's, so another station and another port with the same SIM see them; the pause
// between two submits of a SIM; the quiet hours hold bulk messages and orders and let a reply
// through; skevo-cli says when every SIM is at its limit and keeps the rest queued.
#include "CliDbTest.h"
#include "CliRun.h"
#include "EngineRig.h"
#include "TestEnv.h"

#include <QtTest>
#include <atomic>

namespace {

constexpr int kWaitMs = 60000;

// The local clock the outboxes go by, moved by the test.
class TestClock
{
public:
    explicit TestClock(const QDateTime &start) : m_ms(start.toMSecsSinceEpoch()) {}
    void Set(const QDateTime &at) { m_ms = at.toMSecsSinceEpoch(); }
    std::function<QDateTime()> Fn()
    {
        return [this] { return QDateTime::fromMSecsSinceEpoch(m_ms.load()); };
    }

private:
    std::atomic<qint64> m_ms;
};

QDateTime At(int day, const char *time)
{
    return QDateTime(QDate(2026, 3, day), QTime::fromString(QString::fromLatin1(time), QStringLiteral("HH:mm:ss")));
}

SimRules HourLimit(int n)
{
    SimRules r;
    r.limitHour = n;
    return r;
}

QVector<SmsRecord> Messages(int count, int from = 0)
{
    QVector<SmsRecord> out;
    for (int i = from; i < from + count; ++i)
        out.append(OutMessage(RangeNumber(QStringLiteral("86137"), i), QStringLiteral("limit %1").arg(i)));
    return out;
}

// A station of this process that shares the pool, goes by the clock and keeps its SIM's rules.
void Prepare(EngineRig &rig, TestClock &clock, const SimRules &rules, bool share = true)
{
    rig.outbox->SetShare(share);
    rig.outbox->SetClock(clock.Fn());
    rig.port->SetRules(rules);
}

int Failed(const DbSettings &db)
{
    DbProbe probe(db);
    return probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND WHERE D_STATE=0")).toInt();
}

std::optional<SimState> SimOf(const Outbox &outbox)
{
    const QVector<SimState> sims = outbox.Sims();
    if (sims.isEmpty())
        return std::nullopt;
    return sims.first();
}

} // namespace

class TestSimLimits : public CliDbTest
{
    Q_OBJECT
private slots:
    void fullSimLeavesTheRestToOthers_data() { DbTargets::AddDialectRows(); }
    void fullSimLeavesTheRestToOthers();
    void everySimFullWaits_data();
    void everySimFullWaits();
    void countFollowsTheSim_data() { DbTargets::AddDialectRows(); }
    void countFollowsTheSim();
    void pacingSpacesSubmits_data() { DbTargets::AddDialectRows(); }
    void pacingSpacesSubmits();
    void quietHoursHoldBulk_data() { DbTargets::AddDialectRows(); }
    void quietHoursHoldBulk();
    void cliSaysWhenTheSimsHaveRoom_data() { DbTargets::AddDialectRows(); }
    void cliSaysWhenTheSimsHaveRoom();
};

// Two stations share a list; A's SIM may send 2 an hour: it sends 2, B's SIM the rest, and
// nothing fails.
void TestSimLimits::fullSimLeavesTheRestToOthers()
{
    FRESH_DB(db);
    constexpr int kCount = 8;
    TestClock clock(At(2, "10:20:00"));
    EngineRig a(db);
    EngineRig b(db);
    Prepare(a, clock, HourLimit(2));
    Prepare(b, clock, SimRules());
    a.sim.SetLatency(30);
    b.sim.SetLatency(30);
    QVERIFY(a.ConnectAndStart());
    QVERIFY(b.ConnectAndStart());
    QVERIFY(a.outbox->Enqueue(Messages(kCount)));
    QTRY_COMPARE_WITH_TIMEOUT(a.sink->reports.size() + b.sink->reports.size(), kCount, kWaitMs);
    QCOMPARE(a.sim.SubmitCount(), 2);
    QCOMPARE(b.sim.SubmitCount(), kCount - 2);
    QCOMPARE(Failed(db), 0);
    QTRY_VERIFY_WITH_TIMEOUT(SimOf(*a.outbox) && SimOf(*a.outbox)->count.full, kWaitMs);
    QCOMPARE(SimOf(*a.outbox)->count.hour, 2);
    QCOMPARE(SimOf(*a.outbox)->count.roomAt, At(2, "11:00:00"));
    QVERIFY(!b.outbox->HeldUntil().isValid()); // B's SIM still has room
}

void TestSimLimits::everySimFullWaits_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<bool>("raise"); // the limit is raised instead of the hour rolling
    DbTargets::AddDialectRows("the hour rolls", false);
    DbTargets::AddDialectRows("the limit raised", true);
}

// The only SIM reaches its hourly limit of 3: the rest waits, nothing is journalled 失败, the
// outbox says when the SIM has room again; then it sends the rest.
void TestSimLimits::everySimFullWaits()
{
    QFETCH(bool, raise);
    FRESH_DB(db);
    TestClock clock(At(2, "10:59:00"));
    EngineRig rig(db);
    Prepare(rig, clock, HourLimit(3), false);
    QVERIFY(rig.ConnectAndStart());
    QVERIFY(rig.outbox->Enqueue(Messages(5)));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 3, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.outbox->HeldUntil(), At(2, "11:00:00"), kWaitMs);
    QTest::qWait(1500); // the modem looks again meanwhile, and finds no room
    QCOMPARE(rig.sim.SubmitCount(), 3);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 2);
    QCOMPARE(Failed(db), 0);

    if (raise)
        rig.port->SetRules(HourLimit(6));
    else
        clock.Set(At(2, "11:00:01"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 5, kWaitMs);
    QCOMPARE(Failed(db), 0);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.outbox->HeldUntil().isValid(), kWaitMs);
    QCOMPARE(SimOf(*rig.outbox)->count.hour, raise ? 5 : 2); // the new hour counts from 0
}

// The counts are the journal's: another station, with the SIM in a modem on another port,
// sees what the SIM sent through the first one; a long text counts each of its parts.
void TestSimLimits::countFollowsTheSim()
{
    FRESH_DB(db);
    TestClock clock(At(3, "14:10:00"));
    EngineRig a(db);
    Prepare(a, clock, SimRules(), false);
    QVERIFY(a.ConnectAndStart());
    const QString imsi = a.sim.Imsi();
    QVector<SmsRecord> first = Messages(1);
    first.append(OutMessage(RangeNumber(QStringLiteral("86137"), 50), QString(100, QChar(0x4F60)))); // two parts
    QVERIFY(a.outbox->Enqueue(first));
    QTRY_COMPARE_WITH_TIMEOUT(a.sink->reports.size(), 2, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(SimOf(*a.outbox) ? SimOf(*a.outbox)->count.day : -1, 3, kWaitMs);
    a.Disconnect();

    // The SIM moves to another modem, on another port of another station.
    EngineRig b(db);
    b.sim.SetSim(imsi, QString());
    SimRules rules;
    rules.limitDay = 4;
    rules.limitMonth = 100;
    Prepare(b, clock, rules, false);
    QVERIFY(b.ConnectAndStart());
    QVERIFY(b.Device() != a.Device());
    QVERIFY(b.outbox->Enqueue(Messages(3, 10)));
    QTRY_COMPARE_WITH_TIMEOUT(b.sink->reports.size(), 1, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(b.outbox->HeldUntil(), At(4, "00:00:00"), kWaitMs);
    QCOMPARE(b.sim.SubmitCount(), 1);
    QCOMPARE(SimOf(*b.outbox)->count.day, 4);
    QCOMPARE(SimOf(*b.outbox)->count.month, 4);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 2);
}

// One SIM's submits are spaced by a pause in [IntervalMin, IntervalMax] seconds, as the
// modem saw them arrive.
void TestSimLimits::pacingSpacesSubmits()
{
    FRESH_DB(db);
    TestClock clock(At(5, "09:00:00"));
    SimRules rules;
    rules.intervalMin = 1;
    rules.intervalMax = 2;
    EngineRig rig(db);
    Prepare(rig, clock, rules, false);
    QVERIFY(rig.ConnectAndStart());
    QVERIFY(rig.outbox->Enqueue(Messages(4)));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 4, kWaitMs);
    const QVector<ModemSimulator::Submit> submits = rig.sim.Submits();
    QCOMPARE(submits.size(), 4);
    // The pause runs from the answer to the next AT+CMGS: the gap is the pause and a little.
    constexpr qint64 kDialogueSlackMs = 2500;
    for (int i = 1; i < submits.size(); ++i) {
        const qint64 gap = submits.at(i).receivedMs - submits.at(i - 1).receivedMs;
        QVERIFY2(gap >= 1000 && gap <= 2000 + kDialogueSlackMs, qPrintable(QString::number(gap)));
    }
}

// 22:00 inside the quiet hours 21:00-08:00: the bulk message and the order's wait, the reply
// goes; at 08:00 the rest goes.
void TestSimLimits::quietHoursHoldBulk()
{
    FRESH_DB(db);
    TestClock clock(At(6, "22:00:00"));
    SimRules rules;
    rules.quietFrom = QTime(21, 0);
    rules.quietTo = QTime(8, 0);
    EngineRig rig(db);
    Prepare(rig, clock, rules, false);
    QVERIFY(rig.ConnectAndStart());
    IOutbox::Options order;
    order.kind = IOutbox::RunKind::Order;
    IOutbox::Options reply;
    reply.kind = IOutbox::RunKind::Reply;
    QVERIFY(rig.outbox->Enqueue(Messages(1, 0)));
    QVERIFY(rig.outbox->Enqueue(Messages(1, 1), order));
    QVERIFY(rig.outbox->Enqueue(Messages(1, 2), reply));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 1, kWaitMs);
    QCOMPARE(SubmittedNumbers(rig.sim), QStringList{RangeNumber(QStringLiteral("86137"), 2)});
    QTRY_COMPARE_WITH_TIMEOUT(rig.outbox->HeldUntil(), At(7, "08:00:00"), kWaitMs);
    QCOMPARE(SimOf(*rig.outbox)->quietUntil, At(7, "08:00:00"));
    QTest::qWait(1500);
    QCOMPARE(rig.sim.SubmitCount(), 1);

    clock.Set(At(7, "08:00:00"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 3, kWaitMs);
    QCOMPARE(Failed(db), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.outbox->HeldUntil().isValid(), kWaitMs);
}

// skevo-cli send, another program, with a SIM that may send two messages a day and sent one
// through this program already: it sends one, says that every SIM is at its limit and until
// when, and at its time-out keeps the rest queued; nothing fails.
void TestSimLimits::cliSaysWhenTheSimsHaveRoom()
{
    FRESH_DB(db);
    // This program's station sends one message from the SIM today.
    EngineRig here(db);
    QVERIFY(here.ConnectAndStart());
    QVERIFY(here.outbox->Enqueue(Messages(1, 9)));
    QTRY_COMPARE_WITH_TIMEOUT(here.sink->reports.size(), 1, kWaitMs);
    here.Disconnect();

    CliPlace place(db);
    QVERIFY(place.SetSystem(QStringLiteral("LimitDay"), QStringLiteral("2")));
    ModemSimulator sim;
    sim.SetSim(here.sim.Imsi(), QString());
    QVERIFY(sim.Start());
    QStringList numbers;
    for (int i = 0; i < 3; ++i)
        numbers << RangeNumber(QStringLiteral("86137"), i);
    Cli cli(place);
    const int rc = cli.Run(QStringList{QStringLiteral("send")} + ModemArgs(sim)
                           + QStringList{QStringLiteral("--numbers"), place.Numbers(numbers), QStringLiteral("--text"),
                                         QStringLiteral("x"), QStringLiteral("--timeout"), QStringLiteral("3")});
    QCOMPARE(rc, 1);
    QCOMPARE(sim.SubmitCount(), 1);
    const QString tomorrow = QDateTime(QDate::currentDate().addDays(1), QTime(0, 0)).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const QString said = QStringLiteral("所有SIM卡已达发送上限, 将于 %1 继续发送").arg(tomorrow);
    QVERIFY2(cli.ErrLines().contains(said), qPrintable(cli.Err()));
    QVERIFY2(cli.Err().contains(QStringLiteral("已放弃: 3 秒没有进展 (%1)").arg(said)), qPrintable(cli.Err()));
    QCOMPARE(Failed(db), 0);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 2);
}

QTEST_MAIN(TestSimLimits)
#include "tst_simlimits.moc"
