// What an engine takes up from the database when it starts, and what it leaves alone: the
// kept outgoing messages of other programs on one database, messages withdrawn by a stop,
// and arrivals an earlier run journalled already. Engines run over real pseudo-terminals
// against the simulated modem, with a real SQLite file and a real PostgreSQL server.
#include "DbTargets.h"
#include "EngineRig.h"
#include "TestEnv.h"
#include "outbox/OutboxOwner.h"

#include <QDateTime>
#include <QtTest>

namespace {

constexpr int kWaitMs = 30000;

QString Number(int i)
{
    return RangeNumber(QStringLiteral("86137"), i);
}

SmsRecord Message(int i)
{
    return OutMessage(Number(i), QStringLiteral("message %1").arg(i));
}

QVector<SmsRecord> Messages(int from, int count)
{
    QVector<SmsRecord> out;
    for (int i = from; i < from + count; ++i)
        out.append(Message(i));
    return out;
}

DbSettings Installation(DbSettings db, const QString &settingsFile)
{
    db.m_strSource = settingsFile;
    return db;
}

// A new engine over the same simulated modem and database, as after the program ended.
void Restart(EngineRig &rig)
{
    rig.Disconnect();
    rig.NewEngine();
}

} // namespace

#define FRESH_DB(var)                                                                                              \
    SKEVO_FRESH_DB(m_targets, var##Opt);                                                                           \
    const DbSettings var = Installation(*var##Opt, QStringLiteral("/srv/a/setting.ini"))

class TestSmsModemRestore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }

    void restoreTakesOnlyAbandonedRows_data();
    void restoreTakesOnlyAbandonedRows();
    void runningEngineKeepsItsMessages_data() { DbTargets::AddDialectRows(); }
    void runningEngineKeepsItsMessages();
    void withdrawLeavesOnlyTheMessageInFlight_data() { DbTargets::AddDialectRows(); }
    void withdrawLeavesOnlyTheMessageInFlight();
    void arrivalJournalledOnceOverRuns_data();
    void arrivalJournalledOnceOverRuns();

private:
    DbTargets m_targets;
};

void TestSmsModemRestore::restoreTakesOnlyAbandonedRows_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<bool>("restored");
    const QList<std::pair<const char *, bool>> owners = {
        {"engine of this installation still running", false},
        {"engine of this installation that ended", true},
        {"engine of another installation that ended", false},
        {"program on another machine, lease fresh", false},
        {"program on another machine, lease run out", true},
        {"row of the previous release", true},
    };
    for (const int dialect : {int(DbSettings::Sqlite), int(DbSettings::Postgres)}) {
        for (const auto &[owner, restored] : owners) {
            const QString name = QStringLiteral("%1, %2").arg(QString::fromLatin1(owner),
                                                                dialect == DbSettings::Sqlite ? QStringLiteral("sqlite")
                                                                                              : QStringLiteral("postgres"));
            QTest::newRow(qPrintable(name)) << dialect << QString::fromLatin1(owner) << restored;
        }
    }
}

void TestSmsModemRestore::restoreTakesOnlyAbandonedRows()
{
    QFETCH(QString, owner);
    QFETCH(bool, restored);
    FRESH_DB(db);
    DbProbe probe(db);
    std::unique_ptr<Outbox> running;
    if (owner.startsWith(QStringLiteral("engine"))) {
        const bool other = owner.contains(QStringLiteral("another"));
        auto earlier = FastOutbox(other ? Installation(db, QStringLiteral("/srv/b/setting.ini")) : db);
        earlier->Enqueue(Messages(0, 2));
        if (owner.contains(QStringLiteral("running")))
            running = std::move(earlier);
    } else if (owner.startsWith(QStringLiteral("program"))) {
        // A machine of the same name whose processes this one cannot see.
        QVERIFY(CDbAccess([db] { return db; }).Connect());
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        const qint64 lease = owner.contains(QStringLiteral("fresh")) ? now : now - 3600;
        for (int i = 0; i < 2; ++i) {
            QVERIFY2(probe.Exec(QStringLiteral("INSERT INTO T_OUTBOX(D_SCA,D_TPA,D_TEXT,D_HOST,D_PLACE,D_OWNER,D_LEASE) "
                                               "VALUES(?,?,?,?,?,?,?)"),
                                {kTestSmsc, Number(i), QStringLiteral("x"), OutboxOwner::HostName(), db.m_strSource,
                                 QStringLiteral("another-boot|pid:[1]:4242:99:1"), lease}),
                     qPrintable(probe.Error()));
        }
    } else {
        // The table as the previous release made it, without owners; the engine adds them.
        const bool pg = db.m_driver == DbSettings::Postgres;
        QVERIFY2(probe.Exec(QStringLiteral("CREATE TABLE T_OUTBOX (D_NO %1, D_SCA TEXT NOT NULL, D_TPA TEXT NOT NULL, "
                                           "D_PID INTEGER NOT NULL DEFAULT 0, D_DCS INTEGER NOT NULL DEFAULT 8, "
                                           "D_TEXT TEXT NOT NULL, D_ID INTEGER NOT NULL DEFAULT -1, "
                                           "D_STATE INTEGER NOT NULL DEFAULT 0)")
                                .arg(pg ? QStringLiteral("bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                                        : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"))),
                 qPrintable(probe.Error()));
        for (int i = 0; i < 2; ++i) {
            QVERIFY2(probe.Exec(QStringLiteral("INSERT INTO T_OUTBOX(D_SCA,D_TPA,D_TEXT) VALUES(?,?,?)"),
                                {kTestSmsc, Number(i), QStringLiteral("x")}),
                     qPrintable(probe.Error()));
        }
    }
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 2);
    const QVariantList before
        = restored ? QVariantList() : probe.Column(QStringLiteral("SELECT D_OWNER FROM T_OUTBOX ORDER BY D_NO"));

    auto engine = FastOutbox(db);
    QCOMPARE(engine->Restore(), restored ? 2 : 0);
    QCOMPARE(engine->QueuedCount(), restored ? 2 : 0);
    QCOMPARE(engine->Restore(), 0); // nothing twice
    if (!restored)
        QCOMPARE(probe.Column(QStringLiteral("SELECT D_OWNER FROM T_OUTBOX ORDER BY D_NO")), before);
    if (running)
        QCOMPARE(running->QueuedCount(), 2);
}

// Two programs of one installation on one database, each with its own modem: the second
// starts while the first sends and takes up nothing of it. Then the first dies; the next
// start takes up what it left.
void TestSmsModemRestore::runningEngineKeepsItsMessages()
{
    FRESH_DB(db);
    EngineRig a(db);
    a.sim.SetLateAnswer(ModemSimulator::Fault::Always(), 300);
    QVERIFY(a.ConnectAndStart());
    a.outbox->Enqueue(Messages(0, 6));
    QTRY_VERIFY_WITH_TIMEOUT(a.sink->reports.size() >= 1, kWaitMs);

    EngineRig b(db);
    QVERIFY(b.Connect());
    QCOMPARE(b.outbox->Restore(), 0);
    QVERIFY(b.port->StartThread());
    QTRY_COMPARE_WITH_TIMEOUT(a.sink->reports.size(), 6, kWaitMs);
    QCOMPARE(RowCount(db, QStringLiteral("T_SEND")), 6);
    QCOMPARE(b.sim.SubmitCount(), 0);
    QCOMPARE(b.sink->reports.size(), 0);

    // A ends with messages queued; B, of the same installation, takes them up.
    a.Disconnect();
    a.outbox->Enqueue(Messages(6, 3));
    Restart(a); // A's engine ends
    QCOMPARE(b.outbox->Restore(), 3); // A's engine is gone: B of the same installation may take them
    QTRY_COMPARE_WITH_TIMEOUT(b.sink->reports.size(), 3, kWaitMs);
    QCOMPARE(SubmittedNumbers(b.sim), (QStringList{Number(6), Number(7), Number(8)}));
    QTRY_COMPARE_WITH_TIMEOUT(RowCount(db, QStringLiteral("T_SEND")), 9, kWaitMs);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

void TestSmsModemRestore::withdrawLeavesOnlyTheMessageInFlight()
{
    FRESH_DB(db);
    EngineRig rig(db);
    rig.sim.SetLateAnswer(ModemSimulator::Fault::Always(), 800);
    ModemTimeouts t = FastTimeouts();
    t.finalAnswerMs = 10000;
    rig.port->SetTimeouts(t);
    QVERIFY(rig.ConnectAndStart());
    rig.outbox->Enqueue(Messages(0, 20));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.SubmitCount(), 1, kWaitMs); // the first awaits its answer

    QCOMPARE(rig.outbox->Withdraw().count, 19);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 1); // the one in flight
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 1, kWaitMs);
    QCOMPARE(ResultOf(rig.sink->reports[0]), QStringLiteral("成功"));
    QTRY_COMPARE_WITH_TIMEOUT(RowCount(db, QStringLiteral("T_OUTBOX")), 0, kWaitMs);
    QCOMPARE(rig.outbox->QueuedCount(), 0);
    // Nothing else goes, nothing withdrawn is journalled, and nothing comes back at a restart.
    rig.outbox->Enqueue(Message(99));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 2, kWaitMs);
    QCOMPARE(SubmittedNumbers(rig.sim), (QStringList{Number(0), Number(99)}));
    QCOMPARE(RowCount(db, QStringLiteral("T_SEND")), 2);
    Restart(rig);
    QCOMPARE(rig.outbox->Restore(), 0);
}

void TestSmsModemRestore::arrivalJournalledOnceOverRuns_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<int>("length");
    DbTargets::AddDialectRows("one part", 20);
    DbTargets::AddDialectRows("three parts", 200);
}

// The modem refuses every delete; each later run finds the arrival still stored and
// recognises it as journalled.
void TestSmsModemRestore::arrivalJournalledOnceOverRuns()
{
    QFETCH(int, length);
    FRESH_DB(db);
    EngineRig rig(db);
    rig.sim.SetRefuseCommand(QStringLiteral("AT+CMGD"), ModemSimulator::Fault::Always());
    DeliverSpec spec;
    spec.from = QStringLiteral("+8613900000001");
    spec.text = QString(length, QChar(0x4E2D));
    spec.scts = QStringLiteral("09010321000032");
    const qsizetype parts = rig.sim.StoreArrival(spec).pdus.size();
    QVERIFY(parts >= 1);
    for (int run = 0; run < 2; ++run) {
        if (run > 0)
            Restart(rig);
        QVERIFY(rig.ConnectAndStart());
        QTRY_VERIFY_WITH_TIMEOUT(CommandCount(rig.sim, QStringLiteral("AT+CMGD=")) >= parts * (run + 1), kWaitMs);
        QCOMPARE(RowCount(db, QStringLiteral("T_REC")), 1);
        QTRY_COMPARE(rig.sink->reports.size(), run == 0 ? 1 : 0);
    }
    QCOMPARE(rig.sim.Storage().size(), parts);

    // Once the modem deletes again, the stored copy goes, still without a second row.
    rig.sim.SetRefuseCommand(QString(), ModemSimulator::Fault::Off());
    Restart(rig);
    QVERIFY(rig.ConnectAndStart());
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Storage().size(), 0, kWaitMs);
    QCOMPARE(RowCount(db, QStringLiteral("T_REC")), 1);
}

QTEST_GUILESS_MAIN(TestSmsModemRestore)
#include "tst_smsmodem_restore.moc"
