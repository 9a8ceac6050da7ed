// Several modems and one queue: the pool connected through ModemLink as the application and
// skevo-cli connect it, simulated modems on real pseudo-terminals, a real SQLite file and a
// real PostgreSQL server.
#include "DbTargets.h"
#include "EngineRig.h"
#include "TestEnv.h"
#include "app/LinkStatus.h"
#include "pool/ModemLink.h"

#include <QMap>
#include <QtTest>

namespace {

constexpr int kWaitMs = 60000;

QString Number(int i)
{
    return RangeNumber(QStringLiteral("86136"), i);
}

QVector<SmsRecord> Messages(int count, const QString &text = QStringLiteral("池"))
{
    QVector<SmsRecord> out;
    for (int i = 0; i < count; ++i)
        out.append(OutMessage(Number(i), text));
    return out;
}

// Modems of one program: an outbox, a link over the simulators, the reports as the window
// takes them.
struct Pool
{
    Pool(const DbSettings &settings, int modems) : db(settings)
    {
        for (int i = 0; i < modems; ++i) {
            sims.push_back(std::make_unique<ModemSimulator>());
            sims.back()->Start();
        }
        outbox = FastOutbox(db);
        link = std::make_unique<ModemLink>([o = outbox.get()] { return o->MakeDesk(); });
        link->SetTimeouts(FastTimeouts());
        sink = std::make_unique<ReportSink>(*outbox);
    }
    ~Pool() { link->Disconnect(); }

    QStringList Devices() const
    {
        QStringList out;
        for (const auto &sim : sims)
            out << sim->DevicePath();
        return out;
    }
    // As the session connects: what an earlier run kept first, then every modem.
    ModemLink::Result Connect(const QStringList &devices)
    {
        int journalled = 0;
        restored = outbox->Restore(&journalled) + journalled;
        link->SetPortOverride(devices);
        return link->Connect(QVector<DeviceSettings>{DeviceSettings()});
    }
    // Every number the modems were handed a PDU of, answered or not, over the whole pool.
    QMap<QString, int> Handed() const
    {
        QMap<QString, int> handed;
        for (const auto &sim : sims) {
            QSet<QString> messages; // the parts of one message count once
            for (const ModemSimulator::Submit &s : sim->Submits()) {
                if (s.decoded && s.answer.startsWith(QStringLiteral("+CMS ERROR")))
                    continue; // refused before the network took it
                if (s.decoded && !messages.contains(s.message.number + QString::number(s.message.concat ? s.message.concat->ref : -1))) {
                    messages.insert(s.message.number + QString::number(s.message.concat ? s.message.concat->ref : -1));
                    ++handed[s.message.number];
                }
            }
        }
        return handed;
    }
    // Journal rows: number -> port.
    QMap<QString, QString> Ports() const
    {
        QMap<QString, QString> out;
        for (const QVariantList &r : DbProbe(db).Rows(QStringLiteral("SELECT D_SENDNUM, D_PORT FROM T_SEND")))
            out.insert(r[0].toString(), r[1].toString());
        return out;
    }

    DbSettings db;
    std::vector<std::unique_ptr<ModemSimulator>> sims;
    std::unique_ptr<Outbox> outbox;
    std::unique_ptr<ModemLink> link;
    std::unique_ptr<ReportSink> sink;
    int restored = 0;
};

} // namespace

#define FRESH_DB(var)                                                                                              \
    SKEVO_FRESH_DB(m_targets, var##Opt);                                                                           \
    const DbSettings var = *var##Opt

class tst_ModemPool : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }

    void fourModemsShareOneList_data() { DbTargets::AddDialectRows(); }
    void fourModemsShareOneList();
    void modemMissingAtConnectSendsOnceThere_data() { DbTargets::AddDialectRows(); }
    void modemMissingAtConnectSendsOnceThere();
    void modemThatCannotSendTakesNothing_data();
    void modemThatCannotSendTakesNothing();
    void modemKilledInTheMiddle_data() { DbTargets::AddDialectRows(); }
    void modemKilledInTheMiddle();
    void longMessageGoesThroughOneModem_data() { DbTargets::AddDialectRows(); }
    void longMessageGoesThroughOneModem();
    void arrivalsOnEveryModem_data() { DbTargets::AddDialectRows(); }
    void arrivalsOnEveryModem();

private:
    DbTargets m_targets;
};

// Forty numbers and four modems, with what an ended program of this installation kept: each
// number goes once, each modem takes its share, and the journal names the modem of each row.
void tst_ModemPool::fourModemsShareOneList()
{
    FRESH_DB(db);
    {
        Outbox earlier([db] { return db; });
        earlier.Enqueue(QVector<SmsRecord>{OutMessage(Number(100), QStringLiteral("kept")),
                                           OutMessage(Number(101), QStringLiteral("kept"))});
    }
    Pool pool(db, 4);
    for (const auto &sim : pool.sims)
        sim->SetLateAnswer(ModemSimulator::Fault::Always(), 100); // each modem busy a while per message
    const ModemLink::Result r = pool.Connect(pool.Devices());
    QVERIFY2(r.m_bOk && r.m_failures.isEmpty(), qPrintable(LinkStatus::ConnectText(r)));
    QCOMPARE(r.m_nConnected, 4);
    QCOMPARE(pool.restored, 2); // once for the pool, not once a modem
    pool.outbox->Enqueue(Messages(40));
    QTRY_COMPARE_WITH_TIMEOUT(pool.sink->reports.size(), 42, kWaitMs);

    const QMap<QString, int> handed = pool.Handed();
    QCOMPARE(handed.size(), 42);
    for (auto it = handed.cbegin(); it != handed.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key()));
    const QMap<QString, QString> ports = pool.Ports();
    QCOMPARE(ports.size(), 42);
    for (const auto &sim : pool.sims) {
        const int sent = pool.sink->SentBy(sim->DevicePath());
        QVERIFY2(sent >= 5, qPrintable(QStringLiteral("%1 sent %2 of 42").arg(sim->DevicePath()).arg(sent)));
        QCOMPARE(sim->SubmitCount(), sent);
        QCOMPARE(int(std::count(ports.cbegin(), ports.cend(), sim->DevicePath())), sent);
    }
    for (const SmsReport &report : pool.sink->reports)
        QCOMPARE(ResultOf(report), QStringLiteral("成功"));
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
    QCOMPARE(pool.outbox->Tally().state, RunTally::State::Finished);
    QCOMPARE(pool.outbox->Tally().succeeded, 42);
}

// A modem not there at the connect (not plugged in yet) is looked for again like one lost
// later: once its device appears it is set up and takes its share of the run.
void tst_ModemPool::modemMissingAtConnectSendsOnceThere()
{
    FRESH_DB(db);
    Pool pool(db, 2);
    QStringList devices = pool.Devices();
    QTemporaryDir dir;
    devices[1] = dir.filePath(QStringLiteral("ttyUSB1"));
    const ModemLink::Result r = pool.Connect(devices);
    QVERIFY(r.m_bOk);
    QCOMPARE(r.m_nConnected, 1);
    for (const auto &sim : pool.sims)
        sim->SetLateAnswer(ModemSimulator::Fault::Always(), 100);
    pool.outbox->Enqueue(Messages(30));
    QTRY_VERIFY_WITH_TIMEOUT(pool.sink->reports.size() >= 2, kWaitMs);
    QVERIFY(QFile::link(pool.sims[1]->DevicePath(), devices[1])); // plugged in
    QTRY_COMPARE_WITH_TIMEOUT(pool.sink->reports.size(), 30, kWaitMs);
    QVERIFY(pool.sink->SentBy(devices[1]) > 0);
    QCOMPARE(pool.Handed().size(), 30);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

void tst_ModemPool::modemThatCannotSendTakesNothing_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("trouble");
    for (const char *t : {"missing at connect", "SIM waits for its PIN", "no network", "network lost during the run"})
        DbTargets::AddDialectRows(t, QString::fromLatin1(t));
}

// Three modems, the second one in trouble: the others send every message, once; what the
// second one held without the network taking it goes through another one.
void tst_ModemPool::modemThatCannotSendTakesNothing()
{
    QFETCH(QString, trouble);
    FRESH_DB(db);
    Pool pool(db, 3);
    ModemSimulator &second = *pool.sims[1];
    QStringList devices = pool.Devices();
    if (trouble == QStringLiteral("missing at connect"))
        devices[1] = QDir(QDir::tempPath()).filePath(QStringLiteral("skevo-no-such-modem"));
    else if (trouble == QStringLiteral("SIM waits for its PIN"))
        second.SetSimPin(QStringLiteral("1234"));
    else if (trouble == QStringLiteral("no network"))
        second.SetRegistrationDelay(3600 * 1000);
    for (const auto &sim : pool.sims)
        sim->SetLateAnswer(ModemSimulator::Fault::Always(), 50);
    const ModemLink::Result r = pool.Connect(devices);
    QVERIFY(r.m_bOk);
    if (trouble == QStringLiteral("missing at connect")) {
        // The operator is told which modem and why; the others work.
        QCOMPARE(r.m_nConnected, 2);
        QCOMPARE(LinkStatus::ConnectText(r), QStringLiteral("短信猫 %1: 串口不存在: %1\n其余 2 台短信猫已连接").arg(devices[1]));
    } else {
        QVERIFY2(r.m_failures.isEmpty(), qPrintable(LinkStatus::ConnectText(r)));
    }
    pool.outbox->Enqueue(Messages(4));
    if (trouble == QStringLiteral("network lost during the run")) {
        QTRY_VERIFY_WITH_TIMEOUT(second.SubmitCount() >= 1, kWaitMs);
        second.LoseCoverage(3600 * 1000);
    }
    pool.outbox->Enqueue(Messages(24).mid(4));
    QTRY_COMPARE_WITH_TIMEOUT(pool.sink->reports.size(), 24, kWaitMs);

    const QMap<QString, int> handed = pool.Handed();
    QCOMPARE(handed.size(), 24);
    for (auto it = handed.cbegin(); it != handed.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key()));
    for (const SmsReport &report : pool.sink->reports)
        QCOMPARE(ResultOf(report), QStringLiteral("成功"));
    if (trouble != QStringLiteral("network lost during the run"))
        QCOMPARE(pool.sink->SentBy(devices[1]), 0);
    QCOMPARE(pool.sink->SentBy(devices[0]) + pool.sink->SentBy(devices[1]) + pool.sink->SentBy(devices[2]), 24);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

// A modem that goes away in the middle of a run: the others send the rest, and no message is
// handed to two modems; the one it may have had in the air is journalled failed, not sent again.
void tst_ModemPool::modemKilledInTheMiddle()
{
    FRESH_DB(db);
    Pool pool(db, 3);
    for (const auto &sim : pool.sims)
        sim->SetLateAnswer(ModemSimulator::Fault::Always(), 200);
    QVERIFY(pool.Connect(pool.Devices()).m_bOk);
    pool.outbox->Enqueue(Messages(30));
    QTRY_VERIFY_WITH_TIMEOUT(pool.sims[1]->SubmitCount() >= 2, kWaitMs);
    const QString killed = pool.sims[1]->DevicePath();
    pool.sims[1]->Stop();
    const int killedHad = pool.sims[1]->SubmitCount();
    QTRY_COMPARE_WITH_TIMEOUT(pool.sink->reports.size(), 30, kWaitMs);

    const QMap<QString, int> handed = pool.Handed();
    QCOMPARE(handed.size(), 30);
    for (auto it = handed.cbegin(); it != handed.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key()));
    int failed = 0;
    for (const SmsReport &report : pool.sink->reports) {
        if (!report.IsSuccess()) {
            ++failed;
            QCOMPARE(report.m_strPort, killed); // the one it had in the air
        }
    }
    QVERIFY(failed <= 1);
    QCOMPARE(pool.sims[1]->SubmitCount(), killedHad);
    QCOMPARE(RowCount(db, QStringLiteral("T_SEND")), 30);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

// Every part of a concatenated message goes through one modem, even when that modem loses its
// network between two parts and is disconnected and connected again meanwhile: the rest waits
// for it, with the same reference, while the other modem sends what else is queued.
void tst_ModemPool::longMessageGoesThroughOneModem()
{
    FRESH_DB(db);
    Pool pool(db, 2);
    ModemSimulator &first = *pool.sims[0];
    first.SetLateAnswer(ModemSimulator::Fault::Always(), 300);
    pool.sims[1]->SetRegistrationDelay(1000); // the first one takes the long message
    QVERIFY(pool.Connect(pool.Devices()).m_bOk);
    const QString text = QString(QStringLiteral("长短信")).repeated(50); // three UCS2 parts
    pool.outbox->Enqueue(QVector<SmsRecord>{OutMessage(Number(0), text)});
    QTRY_VERIFY_WITH_TIMEOUT(first.SubmitCount() >= 1, kWaitMs);
    first.LoseCoverage(1500); // the second part meets no network
    pool.outbox->Enqueue(Messages(6).mid(1));
    QTRY_VERIFY_WITH_TIMEOUT(pool.sink->reports.size() >= 2, kWaitMs);
    pool.link->Disconnect();
    QVERIFY(pool.Connect(pool.Devices()).m_bOk);
    QTRY_COMPARE_WITH_TIMEOUT(pool.sink->reports.size(), 6, kWaitMs);

    int parts = 0;
    QSet<int> refs;
    for (const ModemSimulator::Submit &s : first.Submits()) {
        if (s.decoded && s.message.concat && s.messageRef >= 0) {
            ++parts;
            refs.insert(s.message.concat->ref);
        }
    }
    QCOMPARE(parts, 3);
    QCOMPARE(refs.size(), 1);
    for (const ModemSimulator::Submit &s : pool.sims[1]->Submits())
        QVERIFY(!s.message.concat);
    QCOMPARE(SubmittedTexts(first).count(text), 1);
    QCOMPARE(pool.sink->reports.size(), 6);
    for (const SmsReport &report : pool.sink->reports)
        QCOMPARE(ResultOf(report), QStringLiteral("成功"));
    QCOMPARE(pool.Ports().value(Number(0)), first.DevicePath());
}

// What arrives on each modem is read, journalled with that modem and deleted from it: one
// stored before the connect, one announced while connected, and one message that reached two
// SIMs of the pool at the same second (the same PDU on both), which is two arrivals.
void tst_ModemPool::arrivalsOnEveryModem()
{
    FRESH_DB(db);
    Pool pool(db, 2);
    DeliverSpec stored;
    stored.from = QStringLiteral("+8613900000001");
    stored.text = QStringLiteral("早到的");
    QVERIFY(pool.sims[0]->StoreArrival(stored).ok);
    QVERIFY(pool.Connect(pool.Devices()).m_bOk);
    DeliverSpec announced;
    announced.from = QStringLiteral("+8613900000002");
    announced.text = QStringLiteral("后到的");
    QVERIFY(pool.sims[1]->InjectArrival(announced).ok);
    DeliverSpec both;
    both.from = QStringLiteral("10086");
    both.text = QStringLiteral("尊敬的客户");
    both.scts = QStringLiteral("24030109153000");
    QVERIFY(pool.sims[0]->InjectArrival(both).ok);
    QVERIFY(pool.sims[1]->InjectArrival(both).ok);
    QTRY_COMPARE_WITH_TIMEOUT(pool.sink->Count(ReportText::kReceive), 4, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(pool.sims[0]->Storage().size(), 0, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(pool.sims[1]->Storage().size(), 0, kWaitMs);
    QStringList rows; // text and modem
    for (const QVariantList &r : DbProbe(db).Rows(QStringLiteral("SELECT D_RECCONT, D_PORT FROM T_REC")))
        rows << r[0].toString() + QLatin1Char('|') + r[1].toString();
    rows.sort();
    const QString first = pool.sims[0]->DevicePath(), second = pool.sims[1]->DevicePath();
    QStringList expected{announced.text + QLatin1Char('|') + second, both.text + QLatin1Char('|') + first,
                         both.text + QLatin1Char('|') + second, stored.text + QLatin1Char('|') + first};
    expected.sort();
    QCOMPARE(rows, expected);
    for (const SmsReport &r : pool.sink->Of(ReportText::kReceive))
        QVERIFY(rows.contains(r.m_strContent + QLatin1Char('|') + r.m_strPort));
    // Each modem deleted only its own.
    QCOMPARE(CommandCount(*pool.sims[0], QStringLiteral("AT+CMGD=")), 2);
    QCOMPARE(CommandCount(*pool.sims[1], QStringLiteral("AT+CMGD=")), 2);
}

QTEST_GUILESS_MAIN(tst_ModemPool)
#include "tst_modempool.moc"
