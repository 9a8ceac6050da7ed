// What the engine tells besides reports: the signal strength, asked only while the worker
// is idle and at most once an interval, and the counts of a run once it is over.
#include "DbTargets.h"
#include "EngineRig.h"
#include "TestEnv.h"

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

QTEST_MAIN(tst_ModemStatus)
// A report of a delivery counts once, for the run its message went in, whenever it comes.
void tst_ModemStatus::deliveriesCountForTheirRun()
{
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    Outbox outbox([db] { return db; });
    const auto finish = [&](const QString &number, qint64 row) {
        std::optional<Outgoing> m = outbox.Queue().TakeFront();
        QVERIFY(m && m->record.m_strTPA == number);
        SmsReport r;
        r.m_nRecordNo = row;
        r.m_nDelivery = SqlCatalogue::kReportWaiting;
        outbox.Finished(*m, r);
    };
    const auto delivery = [&](qint64 row, int state) {
        SmsReport r;
        r.m_kind = SmsReport::DeliveryChanged;
        r.m_outcome = state == SqlCatalogue::kReportDelivered ? SmsReport::Outcome::Success : SmsReport::Outcome::Failure;
        r.m_nRecordNo = row;
        r.m_nDelivery = state;
        outbox.Report(r);
    };
    QCOMPARE(outbox.Enqueue(QVector<SmsRecord>{OutMessage(Number(1), QStringLiteral("a")), OutMessage(Number(2), QStringLiteral("b"))}), 1);
    finish(Number(1), 11);
    finish(Number(2), 12);
    QCOMPARE(outbox.Tally().state, RunTally::State::Finished);
    delivery(11, SqlCatalogue::kReportDelivered);
    delivery(11, SqlCatalogue::kReportDelivered); // told twice, counted once
    delivery(12, SqlCatalogue::kReportFailed);
    delivery(99, SqlCatalogue::kReportDelivered); // a message of no run of this program
    QCOMPARE(outbox.Tally().delivered, 1);
    QCOMPARE(outbox.Tally().undelivered, 1);
    // A new run starts from nothing; a late report of the old one does not count for it.
    QCOMPARE(outbox.Enqueue(OutMessage(Number(3), QStringLiteral("c"))), 1);
    delivery(12, SqlCatalogue::kReportDelivered);
    QCOMPARE(outbox.Tally().delivered, 0);
    int reports = 0;
    while (outbox.PopReport())
        ++reports;
    QCOMPARE(reports, 2 + 5); // every report still reaches the window, the list updates its row
}

#include "tst_modemstatus.moc"
