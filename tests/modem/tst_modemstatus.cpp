// What the engine tells besides reports: the signal strength, asked only while the worker
// is idle and at most once an interval, and the counts of a run once it is over.
#include "DbTargets.h"
#include "EngineRig.h"
#include "TestEnv.h"
#include "outbox/CJournal.h"
#include "outbox/QueueChores.h"
#include "modem/ModemSetup.h"

#include <QSet>
#include <QtTest>

namespace {
constexpr int kWaitMs = 30000;

QString Number(int i)
{
    return RangeNumber(QStringLiteral("86139"), i);
}

int CsqCount(const QStringList &commands)
{
    return int(commands.count(QStringLiteral("AT+CSQ")));
}
} // namespace

class tst_ModemStatus : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }

    void parse_data();
    void parse();
    void simIdentity_data();
    void simIdentity();
    void signalOnlyWhenIdleAndRunCounts_data();
    void signalOnlyWhenIdleAndRunCounts();
    void noSignalQueryUnlessAsked();
    void deliveriesCountForTheirRun();

private:
    DbTargets m_targets;
};

void tst_ModemStatus::parse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("rssi");    // -1: not a +CSQ line
    QTest::addColumn<int>("percent"); // -1: not known
    QTest::newRow("middle") << "+CSQ: 20,99" << 20 << 65;
    QTest::newRow("no space") << "+CSQ:31,0" << 31 << 100;
    QTest::newRow("weakest") << "+CSQ: 0,99" << 0 << 0;
    QTest::newRow("not known") << "+CSQ: 99,99" << 99 << -1;
    QTest::newRow("another answer") << "+CSCA: \"+8613800100500\",145" << -1 << -1;
    QTest::newRow("one field") << "+CSQ: 20" << -1 << -1;
    QTest::newRow("not numbers") << "+CSQ: a,b" << -1 << -1;
}

void tst_ModemStatus::parse()
{
    QFETCH(QString, line);
    QFETCH(int, rssi);
    QFETCH(int, percent);
    const std::optional<SignalQuality> q = SignalQuality::Parse(line);
    QCOMPARE(q.has_value(), rssi >= 0);
    if (q) {
        QCOMPARE(q->m_nRssi, rssi);
        QCOMPARE(q->Percent(), percent);
    }
}

void tst_ModemStatus::signalOnlyWhenIdleAndRunCounts_data()
{
    QTest::addColumn<int>("intervalMs");
    QTest::newRow("once a minute: one query after the connect") << 60000;
    QTest::newRow("every 20 ms: still never while the queue has work") << 20;
}

void tst_ModemStatus::signalOnlyWhenIdleAndRunCounts()
{
    QFETCH(int, intervalMs);
    QTemporaryDir dir;
    EngineRig rig(TestEnv::Sqlite(dir.path()));
    ModemTimeouts t = FastTimeouts();
    t.signalIntervalMs = intervalMs;
    rig.port->SetTimeouts(t);
    QList<SignalQuality> qualities;
    QList<QPair<int, int>> runs;
    QObject context; // in this thread: the worker's signals arrive queued, as in the window
    connect(rig.port.get(), &ModemPort::statusChanged, &context, [&](const ModemStatus &s) {
        if (s.signal)
            qualities << *s.signal;
    });
    QSet<quint64> over;
    connect(rig.outbox.get(), &Outbox::runChanged, &context, [&] {
        const RunTally t = rig.outbox->Tally();
        if (t.state == RunTally::State::Finished && !over.contains(t.run)) {
            over.insert(t.run);
            runs << qMakePair(t.succeeded, t.failed);
        }
    });
    QVERIFY(rig.ConnectAndStart());
    QTRY_VERIFY_WITH_TIMEOUT(!qualities.isEmpty(), kWaitMs);
    QCOMPARE(qualities.first().m_nRssi, 20);

    rig.sim.SetLatency(30); // a run long enough for many intervals
    rig.sim.SetCmsErrorTo({Number(2)});
    rig.sim.ClearLog();
    rig.outbox->Enqueue(QVector<SmsRecord>{OutMessage(Number(1), QStringLiteral("a")),
                                          OutMessage(Number(2), QStringLiteral("b")),
                                          OutMessage(Number(3), QStringLiteral("c"))});
    QTRY_COMPARE_WITH_TIMEOUT(runs.size(), 1, kWaitMs);
    QCOMPARE(runs.first(), qMakePair(2, 1));
    QTRY_COMPARE(rig.sink->Count(QStringLiteral("发送")), 3);
    const QStringList commands = rig.sim.Commands();
    qsizetype firstSend = -1, lastSend = -1;
    for (qsizetype i = 0; i < commands.size(); ++i) {
        if (commands.at(i).startsWith(QStringLiteral("AT+CMGS="))) {
            lastSend = i;
            if (firstSend < 0)
                firstSend = i;
        }
    }
    QVERIFY(firstSend >= 0);
    QCOMPARE(CsqCount(commands.mid(firstSend, lastSend - firstSend + 1)), 0);
    if (intervalMs >= 60000) {
        QTest::qWait(300);
        QCOMPARE(CsqCount(rig.sim.Commands()), 0); // the minute has not come round again
        QCOMPARE(qualities.size(), 1);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(CsqCount(rig.sim.Commands().mid(lastSend)) >= 2, kWaitMs);
    }
}

void tst_ModemStatus::noSignalQueryUnlessAsked()
{
    QTemporaryDir dir;
    EngineRig rig(TestEnv::Sqlite(dir.path()));
    QVERIFY(rig.ConnectAndStart());
    rig.outbox->Enqueue(OutMessage(Number(1), QStringLiteral("a")));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 1, kWaitMs);
    QTest::qWait(200);
    QCOMPARE(CsqCount(rig.sim.Commands()), 0);
}

// The SIM's identity as modems of several makers answer it.
void tst_ModemStatus::simIdentity_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("imsi");
    QTest::addColumn<QString>("iccid");
    const QString imsi = QStringLiteral("460001234567890");
    const QString iccid = QStringLiteral("89860012345678901234");
    QTest::newRow("bare digits") << QStringList{imsi} << imsi << QString();
    QTest::newRow("+CIMI: prefix") << QStringList{QStringLiteral("+CIMI: ") + imsi} << imsi << QString();
    QTest::newRow("+CCID with quotes") << QStringList{QStringLiteral("+CCID: \"%1\"").arg(iccid)} << QString() << iccid;
    QTest::newRow("^ICCID, swapped-nibble padding F") << QStringList{QStringLiteral("^ICCID: 8986001234567890123F")} << QString()
                                                     << QStringLiteral("8986001234567890123");
    QTest::newRow("+QCCID") << QStringList{QStringLiteral("+QCCID: ") + iccid} << QString() << iccid;
    QTest::newRow("an echo and an error text are no identity")
        << QStringList{QStringLiteral("AT+CIMI"), QStringLiteral("ERROR")} << QString() << QString();
}

void tst_ModemStatus::simIdentity()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, imsi);
    QFETCH(QString, iccid);
    QCOMPARE(ModemSetup::ReadImsi(lines), imsi);
    QCOMPARE(ModemSetup::ReadIccid(lines), iccid);
}

QTEST_MAIN(tst_ModemStatus)
// A report of a delivery counts once, for the run its message went in, whenever it comes:
// the runs count in the database, whichever station's modem sent and whichever got the report.
void tst_ModemStatus::deliveriesCountForTheirRun()
{
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    Outbox outbox([db] { return db; });
    const IOutbox::Queued first = outbox.Enqueue(
        {OutMessage(Number(1), QStringLiteral("a")), OutMessage(Number(2), QStringLiteral("b")), OutMessage(Number(3), QStringLiteral("c"))});
    QVERIFY(first);
    CDbAccess access([db] { return db; });
    CJournal journal;
    journal.Attach(&access, {});
    const QString sim = QStringLiteral("460001234567890");
    for (int i = 0; i < 3; ++i) {
        SentRow row;
        row.record = OutMessage(Number(i + 1), QStringLiteral("x"));
        row.time = CJournal::LocalTime();
        row.outcome = SentRow::Outcome::Sent;
        row.sim = sim;
        row.references = {11 + i};
        row.reportRequested = true;
        row.outboxKey = first.keys.at(i);
        row.run = first.run;
        QCOMPARE(journal.Sent(row, 0), CJournal::Outcome::Written);
    }
    const auto report = [&](int reference, int i, quint8 status) {
        ReportRow r;
        r.sim = sim;
        r.reference = reference;
        r.recipient = Number(i);
        r.status = status;
        r.discharge = r.time = CJournal::LocalTime();
        QCOMPARE(journal.Report(r, {}, 0), CJournal::Outcome::Written);
    };
    QTRY_COMPARE(outbox.Tally().state, RunTally::State::Finished);
    report(11, 1, 0x00);
    report(11, 1, 0x00); // told twice, counted once
    report(12, 2, 0x41);
    report(99, 1, 0x00); // a message of no run at all
    QCOMPARE(QueueChores::ReadTally(access, first.run)->delivered, 1);
    QCOMPARE(QueueChores::ReadTally(access, first.run)->undelivered, 1);
    // A new run starts from nothing; a late report of the old one counts for the old one.
    const IOutbox::Queued second = outbox.Enqueue(OutMessage(Number(4), QStringLiteral("d")));
    QVERIFY(second && second.run != first.run);
    report(13, 3, 0x00);
    QCOMPARE(QueueChores::ReadTally(access, first.run)->delivered, 2);
    QCOMPARE(QueueChores::ReadTally(access, second.run)->delivered, 0);
    QCOMPARE(outbox.Tally().run, quint64(second.run));
    QCOMPARE(outbox.Tally().delivered, 0);
}

#include "tst_modemstatus.moc"
