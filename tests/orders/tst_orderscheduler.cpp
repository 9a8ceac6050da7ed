// The order scheduler with the clock in the test's hand, against a SQLite file and
// PostgreSQL; the engine is not connected, so queued messages stay in its queue and T_OUTBOX.
#include "DbTargets.h"
#include "EngineRig.h"
#include "TestEnv.h"
#include "db/CDbAccess.h"
#include "db/SqlCatalogue.h"
#include "outbox/Outbox.h"
#include "orders/OrderForm.h"
#include "orders/OrderScheduler.h"
#include "outbox/OptOutList.h"
#include "orders/OrderStore.h"
#include "base/NumberFile.h"

#include <QtTest>

#include <barrier>
#include <thread>

namespace {

const QString kSmsc = QStringLiteral("8613800100500");
const QString kDay = QStringLiteral("2030-01-01 ");

QDateTime At(const QString &time)
{
    return QDateTime::fromString(kDay + time, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// One program on the database: its connection, its engine, its scheduler.
struct Program
{
    explicit Program(const DbSettings &s)
        : db([s] { return s; })
        , modem([s] { return s; })
        , store(db)
        , scheduler(db, modem)
    {
    }
    // The numbers of the orders started, in the order they started.
    QList<int> started;
    QStringList asked;
    bool answer = true;
    int startedCalls = 0;
    int startedMessages = 0;
    int busyCalls = 0;
    QStringList told; // what the database said, as the window would show it
    QList<OrderScheduler::Skip> skips;
    int optedOut = 0;

    OrderScheduler::Hooks Hooks()
    {
        OrderScheduler::Hooks h;
        h.confirm = [this](const StoredOrder &o) {
            asked << QString::number(o.m_nId);
            return answer;
        };
        h.orderStarted = [this](const StoredOrder &o, int) { started << o.m_nId; };
        h.started = [this](int, int messages) {
            ++startedCalls;
            startedMessages += messages;
        };
        h.busy = [this] { ++busyCalls; };
        h.databaseTexts = [this](const QStringList &texts) { told << texts; };
        h.skipped = [this](const StoredOrder &, OrderScheduler::Skip why) { skips << why; };
        h.optedOut = [this](const StoredOrder &, int count) { optedOut += count; };
        return h;
    }
    int Tick(const QString &time, bool ask = false) { return scheduler.Check(At(time), ask, kSmsc, Hooks()); }

    CDbAccess db;
    Outbox modem;
    OrderStore store;
    OrderScheduler scheduler;
};

QStringList TwoNumbers(int order)
{
    return {QStringLiteral("1390000%1").arg(order, 4, 10, QLatin1Char('0')),
            QStringLiteral("861380000%1").arg(order, 4, 10, QLatin1Char('0'))};
}

} // namespace

class tst_OrderScheduler : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }

    void minutes_data();
    void minutes();
    void queuesEveryStoredNumberOnce_data() { DbTargets::AddDialectRows(); }
    void queuesEveryStoredNumberOnce();
    void numbersListedSinceStoredAreLeftOut_data() { DbTargets::AddDialectRows(); }
    void numbersListedSinceStoredAreLeftOut();
    void reminder_data();
    void reminder();
    void twoProgramsStartEachOrderOnce_data() { DbTargets::AddDialectRows(); }
    void twoProgramsStartEachOrderOnce();
    void databaseFailureIsTold_data();
    void databaseFailureIsTold();
    void claimRefusedUnderALockIsTriedAgain();
    void orderAddedAfterItsStartStartsAtTheNextCheck_data() { DbTargets::AddDialectRows(); }
    void orderAddedAfterItsStartStartsAtTheNextCheck();
    void deletedOrderLeavesAnotherProgramsQueue_data() { DbTargets::AddDialectRows(); }
    void deletedOrderLeavesAnotherProgramsQueue();
    void personalTextsFilledAtTheStart_data();
    void personalTextsFilledAtTheStart();
    void personalTextsRefusedWhenAdded_data();
    void personalTextsRefusedWhenAdded();

private:
    DbTargets m_targets;
};

void tst_OrderScheduler::minutes_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("connect");
    QTest::addColumn<QStringList>("orders"); // "start end", numbered 1, 2, ... in this order
    QTest::addColumn<QStringList>("ticks");
    QTest::addColumn<QList<int>>("started");
    const QString end = QStringLiteral(" 11:00");
    for (int dialect : {int(DbSettings::Sqlite), int(DbSettings::Postgres)}) {
        const char *db = dialect == DbSettings::Sqlite ? "sqlite" : "postgres";
        QTest::addRow("%s: late tick catches up the minute without a tick", db)
            << dialect << QStringLiteral("09:59:30")
            << QStringList{QStringLiteral("10:00") + end, QStringLiteral("10:01") + end, QStringLiteral("10:02") + end}
            << QStringList{QStringLiteral("10:00:59"), QStringLiteral("10:02:01")} << QList<int>{1, 2, 3};
        QTest::addRow("%s: two ticks in one minute start it once", db)
            << dialect << QStringLiteral("09:59:30") << QStringList{QStringLiteral("10:00") + end}
            << QStringList{QStringLiteral("10:00:05"), QStringLiteral("10:00:50"), QStringLiteral("10:01:10")}
            << QList<int>{1};
        QTest::addRow("%s: every order of the minute, by start then number", db)
            << dialect << QStringLiteral("09:59:30")
            << QStringList{QStringLiteral("10:01") + end, QStringLiteral("10:00") + end, QStringLiteral("10:00") + end}
            << QStringList{QStringLiteral("10:01:30")} << QList<int>{2, 3, 1};
        QTest::addRow("%s: early tick, then the minute itself", db)
            << dialect << QStringLiteral("09:58:00") << QStringList{QStringLiteral("10:00") + end}
            << QStringList{QStringLiteral("09:59:59"), QStringLiteral("10:00:00")} << QList<int>{1};
        QTest::addRow("%s: start passed before connecting", db)
            << dialect << QStringLiteral("10:00:30") << QStringList{QStringLiteral("10:00") + end}
            << QStringList{QStringLiteral("10:00:40"), QStringLiteral("10:01:40")} << QList<int>{};
        QTest::addRow("%s: connected on the minute", db)
            << dialect << QStringLiteral("10:00:00") << QStringList{QStringLiteral("10:00") + end}
            << QStringList{QStringLiteral("10:00:59")} << QList<int>{1};
        QTest::addRow("%s: an order that ended before its minute was checked", db)
            << dialect << QStringLiteral("09:59:30")
            << QStringList{QStringLiteral("10:00 10:30"), QStringLiteral("10:00 12:00")}
            << QStringList{QStringLiteral("11:00:00")} << QList<int>{2};
        QTest::addRow("%s: clock put back", db)
            << dialect << QStringLiteral("09:59:30") << QStringList{QStringLiteral("10:00") + end}
            << QStringList{QStringLiteral("10:00:30"), QStringLiteral("09:58:00"), QStringLiteral("10:00:40")}
            << QList<int>{1};
    }
}

void tst_OrderScheduler::minutes()
{
    QFETCH(QString, connect);
    QFETCH(QStringList, orders);
    QFETCH(QStringList, ticks);
    QFETCH(QList<int>, started);
    SKEVO_FRESH_DB(m_targets, settings);
    Program p(*settings);
    for (int i = 0; i < orders.size(); ++i) {
        const QString start = kDay + orders[i].section(QLatin1Char(' '), 0, 0);
        const QString end = kDay + orders[i].section(QLatin1Char(' '), 1, 1);
        QCOMPARE(p.store.Add(start, end, QStringLiteral("text"), TwoNumbers(i)), i + 1);
    }
    p.scheduler.Connected(At(connect));
    for (const QString &t : ticks)
        p.Tick(t);
    QCOMPARE(p.started, started);
    QCOMPARE(p.modem.QueuedCount(), 2 * int(started.size()));
    QCOMPARE(p.startedMessages, 2 * int(started.size()));
}

void tst_OrderScheduler::queuesEveryStoredNumberOnce()
{
    SKEVO_FRESH_DB(m_targets, settings);
    Program p(*settings);
    // Enough numbers to be stored and queued in several statements of many rows.
    QStringList numbers{QStringLiteral("13900000001"), QStringLiteral("8613900000002"), QStringLiteral("13900000001")};
    for (int i = 0; i < SqlCatalogue::kOutboxBatch + 7; ++i)
        numbers << QStringLiteral("86137%1").arg(i, 8, 10, QLatin1Char('0'));
    const int id = p.store.Add(kDay + QStringLiteral("10:00"), kDay + QStringLiteral("10:30"), QStringLiteral("it's 订单"),
                               numbers);
    const int other = p.store.Add(kDay + QStringLiteral("10:05"), kDay + QStringLiteral("10:30"), QStringLiteral("x"),
                                  {QStringLiteral("13900000009")});
    QVERIFY(id > 0 && other > id);
    p.scheduler.Connected(At(QStringLiteral("09:59:00")));
    QCOMPARE(p.Tick(QStringLiteral("10:00:10")), 1);
    QCOMPARE(p.startedCalls, 1);
    QCOMPARE(p.busyCalls, 2 + 2); // around making the messages, then after each of two statements

    // Exactly as stored (no "86" added), each with the order's number, in stored order.
    DbProbe probe(*settings);
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_TPA FROM T_OUTBOX ORDER BY D_NO")), QVariantList(numbers.begin(), numbers.end()));
    QCOMPARE(probe.Column(QStringLiteral("SELECT DISTINCT D_ID FROM T_OUTBOX")), QVariantList{id});
    QCOMPARE(probe.Column(QStringLiteral("SELECT DISTINCT D_TEXT FROM T_OUTBOX")), QVariantList{QStringLiteral("it's 订单")});
    QCOMPARE(probe.Column(QStringLiteral("SELECT DISTINCT D_SCA FROM T_OUTBOX")), QVariantList{kSmsc});

    // Disconnected across the other order's minute: it never starts, and reconnecting in the
    // first order's minute again does not start that one twice.
    p.scheduler.Disconnected();
    QCOMPARE(p.Tick(QStringLiteral("10:05:10")), 0);
    p.scheduler.Connected(At(QStringLiteral("10:06:00")));
    QCOMPARE(p.Tick(QStringLiteral("10:07:00")), 0);
    QCOMPARE(p.modem.QueuedCount(), int(numbers.size()));
}

// A number that went on the opt-out list (in another program) after the order was stored is
// left out when the order starts, and the start says how many.
void tst_OrderScheduler::numbersListedSinceStoredAreLeftOut()
{
    SKEVO_FRESH_DB(m_targets, settings);
    Program p(*settings);
    const int id = p.store.Add(kDay + QStringLiteral("10:00"), kDay + QStringLiteral("10:30"), QStringLiteral("x"),
                               {QStringLiteral("8613900000001"), QStringLiteral("8613900000002"), QStringLiteral("8613900000003")});
    QVERIFY(id > 0);
    const DbSettings s = *settings;
    CDbAccess elsewhere([s] { return s; });
    QVERIFY(OptOutList(elsewhere).Add(QStringLiteral("+8613900000002"), OptOutList::Source::Manual));
    p.scheduler.Connected(At(QStringLiteral("09:59:00")));
    QCOMPARE(p.Tick(QStringLiteral("10:00:10")), 1);
    QCOMPARE(p.optedOut, 1);
    QCOMPARE(p.startedMessages, 2);
    QCOMPARE(DbProbe(s).Column(QStringLiteral("SELECT D_TPA FROM T_OUTBOX ORDER BY D_NO")),
             (QVariantList{QStringLiteral("8613900000001"), QStringLiteral("8613900000003")}));
}

void tst_OrderScheduler::reminder_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<bool>("ask");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("questions");
    QTest::addColumn<QList<int>>("started");
    for (int dialect : {int(DbSettings::Sqlite), int(DbSettings::Postgres)}) {
        const char *db = dialect == DbSettings::Sqlite ? "sqlite" : "postgres";
        QTest::addRow("%s: Rem 0 starts without asking", db) << dialect << false << false << 0 << QList<int>{1, 2};
        QTest::addRow("%s: Rem 1, OK", db) << dialect << true << true << 2 << QList<int>{1, 2};
        QTest::addRow("%s: Rem 1, Cancel", db) << dialect << true << false << 2 << QList<int>{};
    }
}

void tst_OrderScheduler::reminder()
{
    QFETCH(bool, ask);
    QFETCH(bool, answer);
    QFETCH(int, questions);
    QFETCH(QList<int>, started);
    SKEVO_FRESH_DB(m_targets, settings);
    Program p(*settings);
    for (int i = 0; i < 2; ++i)
        QVERIFY(p.store.Add(kDay + QStringLiteral("10:00"), kDay + QStringLiteral("10:30"), QStringLiteral("t"), TwoNumbers(i)) > 0);
    p.answer = answer;
    p.scheduler.Connected(At(QStringLiteral("09:59:00")));
    p.Tick(QStringLiteral("10:00:01"), ask);
    p.Tick(QStringLiteral("10:00:40"), ask); // the minute is over for this program
    QCOMPARE(p.asked.size(), questions);
    QCOMPARE(p.started, started);
    QCOMPARE(p.startedCalls, started.isEmpty() ? 0 : 1);
    QCOMPARE(p.modem.QueuedCount(), 2 * int(started.size()));
    // A declined order is not claimed: another program may still start it.
    QCOMPARE(DbProbe(*settings).Value(QStringLiteral("SELECT COUNT(*) FROM T_ORDERSTART")).toInt(), int(started.size()));
}

// Two programs on one database check the same minute at the same moment, each in its own
// thread with its own connections: every order is queued by exactly one of them.
void tst_OrderScheduler::twoProgramsStartEachOrderOnce()
{
    SKEVO_FRESH_DB(m_targets, settings);
    constexpr int kOrders = 12;
    {
        CDbAccess db([s = *settings] { return s; });
        OrderStore store(db);
        for (int i = 0; i < kOrders; ++i)
            QVERIFY(store.Add(kDay + QStringLiteral("10:00"), kDay + QStringLiteral("10:30"), QStringLiteral("t"), TwoNumbers(i)) > 0);
    }
    std::barrier meet(2);
    QList<int> started[2];
    int queued[2] = {0, 0};
    const auto run = [&](int which) {
        Program p(*settings);
        p.scheduler.Connected(At(QStringLiteral("09:59:00")));
        meet.arrive_and_wait();
        p.Tick(QStringLiteral("10:00:05"));
        started[which] = p.started;
        queued[which] = p.modem.QueuedCount();
    };
    std::thread a(run, 0);
    std::thread b(run, 1);
    a.join();
    b.join();

    QList<int> all = started[0] + started[1];
    std::sort(all.begin(), all.end());
    QList<int> each;
    for (int i = 1; i <= kOrders; ++i)
        each << i;
    QCOMPARE(all, each);
    QCOMPARE(queued[0] + queued[1], 2 * kOrders);
    DbProbe probe(*settings);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_OUTBOX")).toInt(), 2 * kOrders);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(DISTINCT D_TPA) FROM T_OUTBOX")).toInt(), 2 * kOrders);

    // A third program that comes later finds them all started.
    Program late(*settings);
    late.scheduler.Connected(At(QStringLiteral("09:59:50")));
    QCOMPARE(late.Tick(QStringLiteral("10:00:20")), 0);
    QCOMPARE(late.modem.QueuedCount(), 0);
}

void tst_OrderScheduler::databaseFailureIsTold_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("gone");
    QTest::addColumn<bool>("skipped");
    for (int dialect : {int(DbSettings::Sqlite), int(DbSettings::Postgres)}) {
        const char *db = dialect == DbSettings::Sqlite ? "sqlite" : "postgres";
        QTest::addRow("%s: the orders cannot be read", db) << dialect << QStringLiteral("T_ORDER") << false;
        QTest::addRow("%s: an order's numbers cannot be read", db) << dialect << QStringLiteral("T_PHONENUMBER") << true;
    }
}

void tst_OrderScheduler::databaseFailureIsTold()
{
    QFETCH(QString, gone);
    QFETCH(bool, skipped);
    SKEVO_FRESH_DB(m_targets, settings);
    Program p(*settings);
    QVERIFY(p.store.Add(kDay + QStringLiteral("10:00"), kDay + QStringLiteral("10:30"), QStringLiteral("x"), TwoNumbers(1)) > 0);
    p.scheduler.Connected(At(QStringLiteral("09:59:00")));
    DbProbe probe(*settings);
    QVERIFY(probe.Exec(QStringLiteral("DROP TABLE ") + gone));
    QCOMPARE(p.Tick(QStringLiteral("10:00:10")), 0);
    QCOMPARE(p.told.size(), 1);
    QVERIFY2(p.told.first().contains(gone, Qt::CaseInsensitive), qPrintable(p.told.first()));
    QCOMPARE(p.skips, skipped ? QList<OrderScheduler::Skip>{OrderScheduler::Skip::Failed} : QList<OrderScheduler::Skip>{});
    QCOMPARE(p.modem.QueuedCount(), 0);
}

// Another program holds the SQLite file's write lock for longer than a statement waits, just
// when an order's minute comes: the claim fails, and the next check starts the order.
void tst_OrderScheduler::claimRefusedUnderALockIsTriedAgain()
{
    QTemporaryDir dir;
    const DbSettings s = TestEnv::Sqlite(dir.path());
    Program p(s);
    QCOMPARE(p.store.Add(kDay + QStringLiteral("10:00"), kDay + QStringLiteral("10:30"), QStringLiteral("t"), TwoNumbers(1)), 1);
    p.scheduler.Connected(At(QStringLiteral("09:59:00")));
    DbProbe other(s);
    QVERIFY(other.Exec(QStringLiteral("BEGIN IMMEDIATE")));
    QCOMPARE(p.Tick(QStringLiteral("10:00:05"), true), 0);
    QCOMPARE(p.skips, QList<OrderScheduler::Skip>{OrderScheduler::Skip::Failed});
    QVERIFY(other.Exec(QStringLiteral("COMMIT")));
    QCOMPARE(p.Tick(QStringLiteral("10:01:05"), true), 1);
    QCOMPARE(p.started, QList<int>{1});
    QCOMPARE(p.asked, QStringList{QStringLiteral("1")}); // the operator said yes once
    QCOMPARE(p.modem.QueuedCount(), 2);
    QCOMPARE(p.Tick(QStringLiteral("10:02:05"), true), 0);
}

void tst_OrderScheduler::orderAddedAfterItsStartStartsAtTheNextCheck()
{
    SKEVO_FRESH_DB(m_targets, settings);
    Program p(*settings);
    const QString end = kDay + QStringLiteral("11:00");
    QCOMPARE(p.store.Add(kDay + QStringLiteral("09:00"), end, QStringLiteral("passed while away"), TwoNumbers(1)), 1);
    p.scheduler.Connected(At(QStringLiteral("10:00:30")));
    QCOMPARE(p.Tick(QStringLiteral("10:01:00")), 0);
    QCOMPARE(p.store.Add(kDay + QStringLiteral("09:30"), end, QStringLiteral("added late"), TwoNumbers(2)), 2);
    QCOMPARE(p.Tick(QStringLiteral("10:02:00")), 1);
    QCOMPARE(p.Tick(QStringLiteral("10:03:00")), 0);
    QCOMPARE(p.started, QList<int>{2});
    QCOMPARE(p.modem.QueuedCount(), 2);
}

// An order is sending in one program (its engine on the simulated modem) when another one
// deletes it: what had not reached the modem is withdrawn there, counted, and never sent.
void tst_OrderScheduler::deletedOrderLeavesAnotherProgramsQueue()
{
    SKEVO_FRESH_DB(m_targets, settings);
    CDbAccess db([s = *settings] { return s; });
    OrderStore store(db);
    QStringList numbers;
    for (int i = 0; i < 12; ++i)
        numbers << RangeNumber(QStringLiteral("86139"), i);
    const int id = store.Add(kDay + QStringLiteral("10:00"), kDay + QStringLiteral("11:00"), QStringLiteral("t"), numbers);
    QVERIFY(id > 0);

    EngineRig sending(*settings);
    sending.sim.SetLatency(150);
    QVERIFY(sending.ConnectAndStart());
    QSignalSpy withdrawn(sending.outbox.get(), &Outbox::orderWithdrawn);
    QVector<SmsRecord> records;
    for (const QString &n : numbers)
        records << OutMessage(n, QStringLiteral("t"), id);
    sending.outbox->Enqueue(records);
    QTRY_VERIFY_WITH_TIMEOUT(sending.sink->Count(ReportText::kSend) >= 1, 30000);

    const OrderForm::Outcome out = OrderForm::Delete(store, id);
    QVERIFY(out.m_bOk);
    QVERIFY2(out.m_nWithdrawn > 0, "the order went out too fast for the test");
    QCOMPARE(out.m_message.m_strText, QStringLiteral("删除订单成功!\n已撤回 %1 条尚未发送的短信").arg(out.m_nWithdrawn));
    QTRY_COMPARE_WITH_TIMEOUT(sending.outbox->QueuedCount(), 0, 30000);
    // The other program's worker hears of the withdrawal when it next looks at the queue.
    QTRY_COMPARE_WITH_TIMEOUT(withdrawn.size(), 1, 30000);
    QCOMPARE(withdrawn[0][0].toInt(), id);
    QCOMPARE(withdrawn[0][1].toInt(), out.m_nWithdrawn);
    // The message the modem had in hand when the order went still finishes.
    QTRY_COMPARE_WITH_TIMEOUT(sending.sink->Count(ReportText::kSend) + out.m_nWithdrawn, int(numbers.size()), 30000);
    const int sent = sending.sink->Count(ReportText::kSend);
    QCOMPARE(sending.sim.SubmitCount(), sent);
    QCOMPARE(RowCount(*settings, QStringLiteral("T_OUTBOX")), 0);

    QCOMPARE(OrderForm::Delete(store, id).m_message.m_strText, QStringLiteral("订单 %1 不存在").arg(id));
}


void tst_OrderScheduler::personalTextsFilledAtTheStart_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("name"); // 张三's name when the order starts
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<int>>("dcs");
    const QString lines = QString(60, QChar(0x4E2D)); // 120 bytes
    DbTargets::AddDialectRows("the phone book of the start, not of the adding", QStringLiteral("张三丰"),
                              QStringList{lines + QStringLiteral("张三丰:12.50 {x}"), lines + QStringLiteral("李四:1,000 {x}")},
                              QList<int>{8, 8});
    // Nobody is there to shorten it: it goes cut at the limit.
    DbTargets::AddDialectRows("a name made too long since is cut at the limit", QStringLiteral("Zhang San Feng the Third"),
                              QStringList{lines + QStringLiteral("Zhang San Feng the T"), lines + QStringLiteral("李四:1,000 {x}")},
                              QList<int>{8, 8});
}

// An order's CSV numbers keep their fields in the database, and {名字} is filled with the
// phone book as it is when the order starts.
void tst_OrderScheduler::personalTextsFilledAtTheStart()
{
    QFETCH(QString, name);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, dcs);
    SKEVO_FRESH_DB(m_targets, settings);
    Program p(*settings);
    QVERIFY(p.db.Execute(Sql::BookInsert, {QStringLiteral("张三"), QStringLiteral("13900000001"), QStringLiteral("客户")}));
    OrderForm form;
    form.m_strText = QString(60, QChar(0x4E2D)) + QStringLiteral("{名字}:{金额} {{x}}");
    form.m_start = At(QStringLiteral("10:00:00"));
    form.m_end = At(QStringLiteral("10:30:00"));
    form.TakeImport(NumberFile::ReadCsv(QStringLiteral("号码, 金额\r\n13900000001,12.50\r\n13900000002,\"1,000\"\r\n").toUtf8()));
    const OrderForm::Outcome added = form.Add(p.store, At(QStringLiteral("09:00:00")));
    QVERIFY2(added.m_bOk, qPrintable(added.m_message.m_strText));

    // Between the adding and the start, the phone book changes.
    QVERIFY(p.db.Execute(Sql::BookUpdate, {name, QStringLiteral("13900000001"), QStringLiteral("客户"), QStringLiteral("13900000001")}));
    QVERIFY(p.db.Execute(Sql::BookInsert, {QStringLiteral("李四"), QStringLiteral("8613900000002"), QString()}));

    // Another program (a restart) reads the order with its fields from the database.
    Program other(*settings);
    other.scheduler.Connected(At(QStringLiteral("09:59:00")));
    QCOMPARE(other.Tick(QStringLiteral("10:00:10")), 1);
    QVERIFY(other.told.isEmpty());
    DbProbe probe(*settings);
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_TPA FROM T_OUTBOX ORDER BY D_NO")),
             (QVariantList{QStringLiteral("8613900000001"), QStringLiteral("8613900000002")}));
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_TEXT FROM T_OUTBOX ORDER BY D_NO")), QVariantList(texts.begin(), texts.end()));
    QVariantList codings;
    for (int d : dcs)
        codings << d;
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_DCS FROM T_OUTBOX ORDER BY D_NO")), codings);
}

void tst_OrderScheduler::personalTextsRefusedWhenAdded_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    DbTargets::AddDialectRows("a field the numbers do not have", QStringLiteral("{名字} {日期}"),
                              QStringLiteral("未知的字段: {日期}"));
    const QString near = QString(68, QChar(0x4E2D));
    DbTargets::AddDialectRows("too long with the phone book of now", near + QStringLiteral("{名字}"),
                              QStringLiteral("1 条短信超过140字节, 例如: %1欧阳大\n(8613900000002, 142字节)").arg(near));
}

// Nothing is stored.
void tst_OrderScheduler::personalTextsRefusedWhenAdded()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    SKEVO_FRESH_DB(m_targets, settings);
    Program p(*settings);
    QVERIFY(p.db.Execute(Sql::BookInsert, {QStringLiteral("王五"), QStringLiteral("13900000001"), QString()}));
    QVERIFY(p.db.Execute(Sql::BookInsert, {QStringLiteral("欧阳大"), QStringLiteral("13900000002"), QString()}));
    OrderForm form;
    form.m_strText = text;
    form.m_start = At(QStringLiteral("10:00:00"));
    form.m_end = At(QStringLiteral("10:30:00"));
    form.TakeImport(NumberFile::ReadCsv(QStringLiteral("号码,金额\n13900000001,1\n13900000002,2\n").toUtf8()));
    const OrderForm::Outcome out = form.Add(p.store, At(QStringLiteral("09:00:00")));
    QVERIFY(!out.m_bOk);
    QCOMPARE(out.m_message.m_strText, message);
    DbProbe probe(*settings);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_ORDER")).toInt(), 0);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_PHONENUMBER")).toInt(), 0);
    QCOMPARE(form.m_numbers.size(), 2); // kept for the next try
}

QTEST_GUILESS_MAIN(tst_OrderScheduler)
#include "tst_orderscheduler.moc"
