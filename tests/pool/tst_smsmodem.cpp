// The modem engine against the simulated modem over a real pseudo-terminal, journalling
// into a real SQLite file and a real PostgreSQL server.
#include "DbTargets.h"
#include "EngineRig.h"
#include "TestEnv.h"
#include "at/CSerialPort.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString kSend = QStringLiteral("发送");
const QString kReceive = QStringLiteral("接收");
const QString kOk = QStringLiteral("成功");
const QString kFailed = QStringLiteral("失败");
const QString kSendRowError = QStringLiteral("发送短信插入数据库出错");
const QString kRecRowError = QStringLiteral("接收短信插入数据库出错");
// Waits for what the worker does; generous, since the machine may be loaded.
constexpr int kWaitMs = 30000;

QString Number(int i)
{
    return RangeNumber(QStringLiteral("86138"), i);
}

struct SendRow
{
    int id = 0;
    int state = 0;
    QString number;
    QString text;
    QString time;
    QString port;
};

QVector<SendRow> SendRows(const DbSettings &db)
{
    QVector<SendRow> rows;
    for (const QVariantList &r : DbProbe(db).Rows(QStringLiteral(
             "SELECT D_ID, D_STATE, D_SENDNUM, D_SENDCONT, CAST(D_SENDTIME AS TEXT), D_PORT FROM T_SEND ORDER BY D_NO")))
        rows.append({r[0].toInt(), r[1].toInt(), r[2].toString(), r[3].toString(), r[4].toString(), r[5].toString()});
    return rows;
}

struct RecRow
{
    QString number;
    QString text;
    QString time;
};

QVector<RecRow> RecRows(const DbSettings &db)
{
    QVector<RecRow> rows;
    for (const QVariantList &r :
         DbProbe(db).Rows(QStringLiteral("SELECT D_RECNUM, D_RECCONT, CAST(D_RECTIME AS TEXT) FROM T_REC ORDER BY D_NO")))
        rows.append({r[0].toString(), r[1].toString(), r[2].toString()});
    return rows;
}

// 3 January 2009, 21:00:00, zone +8 h, as the time-stamp field holds it.
const QString kScts = QStringLiteral("09010321000032");
const QString kSctsText = QStringLiteral("2009-01-03 21:00:00");

DeliverSpec Arrival(const QString &from, const QString &text, std::optional<Pdu::Alphabet> alphabet = std::nullopt)
{
    DeliverSpec spec;
    spec.from = from;
    spec.text = text;
    spec.alphabet = alphabet;
    spec.scts = kScts;
    return spec;
}

// The order a test's messages name: a message whose order no longer exists is not sent.
void StoreOrder(const DbSettings &db, int id)
{
    QVERIFY(CDbAccess([db] { return db; }).Connect()); // the tables
    QVERIFY(DbProbe(db).Exec(QStringLiteral("INSERT INTO T_ORDER(D_ID,D_START,D_END,D_CONT) "
                                            "VALUES(?,'2030-01-01 10:00:00','2030-01-01 11:00:00','x')"),
                             {id}));
}
} // namespace

#define FRESH_DB(var)                                                                                              \
    SKEVO_FRESH_DB(m_targets, var##Opt);                                                                           \
    const DbSettings var = *var##Opt

class TestSmsModem : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }

    void handshake_data();
    void handshake();
    void bulkSend_data() { DbTargets::AddDialectRows(); }
    void bulkSend();
    void failureDoesNotHoldUpTheNext_data();
    void failureDoesNotHoldUpTheNext();
    void lateAnswerIsNotTakenForTheNext_data() { DbTargets::AddDialectRows(); }
    void lateAnswerIsNotTakenForTheNext();
    void splitPrompt_data() { DbTargets::AddDialectRows(); }
    void splitPrompt();
    void noticeDuringSendIsNotLost_data() { DbTargets::AddDialectRows(); }
    void noticeDuringSendIsNotLost();
    void storedBeforeConnectAreRead_data() { DbTargets::AddDialectRows(); }
    void storedBeforeConnectAreRead();
    void longListingOnASlowLine_data() { DbTargets::AddDialectRows(); }
    void longListingOnASlowLine();
    void arrivals_data();
    void arrivals();
    void placeUsedAgainAfterDelete();
    void refusedDeleteIsNotJournalledTwice();
    void zeroOctetsInAnArrival_data() { DbTargets::AddDialectRows(); }
    void zeroOctetsInAnArrival();
    void lostDeleteAnswerSparesTheNextArrival();
    void databaseOutageDuringSend_data() { DbTargets::AddDialectRows(); }
    void databaseOutageDuringSend();
    void databaseOutageDuringArrival_data() { DbTargets::AddDialectRows(); }
    void databaseOutageDuringArrival();
    void disconnectAndReconnect_data() { DbTargets::AddDialectRows(); }
    void disconnectAndReconnect();
    void stopWhileWaiting_data();
    void stopWhileWaiting();
    void stopWaitsForTheAnswerInFlight();
    void promptLeftByAKilledProgram();
    void deviceGoneKeepsTheQueue();
    void modemLostAndBack_data();
    void modemLostAndBack();
    void restoreOutbox_data() { DbTargets::AddDialectRows(); }
    void restoreOutbox();
    void enqueueWithoutDatabase();
    void unmarkedMessageIsNotSent_data() { DbTargets::AddDialectRows(); }
    void unmarkedMessageIsNotSent();

private:
    DbTargets m_targets;
};

// ------------------------------------------------------------------------------- handshake

void TestSmsModem::handshake_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("ok");
    QTest::newRow("answering modem") << QString() << true;
    QTest::newRow("silent modem") << QStringLiteral("silent") << false;
    QTest::newRow("modem left waiting for a pdu") << QStringLiteral("pdu entry") << true;
    QTest::newRow("noise before the answers") << QStringLiteral("garbage") << true;
}

void TestSmsModem::handshake()
{
    QFETCH(QString, fault);
    QFETCH(bool, ok);
    QTemporaryDir dir;
    EngineRig rig(TestEnv::Sqlite(dir.path()));
    QVERIFY(rig.sim.Start());
    QVERIFY(rig.port->Open(rig.sim.DevicePath(), 9600, 8, CSerialPort::NoParity, CSerialPort::OneStop));
    if (fault == QStringLiteral("silent"))
        rig.sim.SetDropLine(ModemSimulator::Fault::Always());
    if (fault == QStringLiteral("garbage"))
        rig.sim.SetGarbage(ModemSimulator::Fault::Always());
    if (fault == QStringLiteral("pdu entry")) {
        const QByteArray cmgs = "AT+CMGS=20\r";
        QCOMPARE(rig.port->Serial().Write(cmgs.constData(), int(cmgs.size())), int(cmgs.size()));
        QTRY_VERIFY(rig.sim.Commands().contains(QStringLiteral("AT+CMGS=20")));
    }
    QCOMPARE(rig.port->InitModem(), ok);
    if (ok) {
        const QStringList commands = rig.sim.Commands();
        QVERIFY(commands.contains(QStringLiteral("AT")));
        QVERIFY(commands.indexOf(QStringLiteral("AT")) < commands.indexOf(QStringLiteral("ATE0")));
        QVERIFY(commands.indexOf(QStringLiteral("ATE0")) < commands.indexOf(QStringLiteral("AT+CMEE=1")));
        // Ends with the distinctive read of the mode, after which every answer is in step.
        QCOMPARE(commands.last(), QStringLiteral("AT+CMGF?"));
        QVERIFY(!rig.sim.Echo());
        QCOMPARE(rig.sim.SubmitCount(), 0); // the handshake never completes a PDU
    }
}

// ------------------------------------------------------------------------------- sending

void TestSmsModem::bulkSend()
{
    FRESH_DB(db);
    StoreOrder(db, 7);
    EngineRig rig(db);
    QSignalSpy taken(rig.sink.get(), &ReportSink::reportTaken);
    QVERIFY(rig.ConnectAndStart());

    // 140 characters; the Chinese stop keeps it UCS2, three parts.
    const QString longText = QString(QStringLiteral("0123456789ABCDE")).repeated(10).left(139) + QStringLiteral("。");
    QVector<SmsRecord> records;
    for (int i = 0; i < 100; ++i) {
        QString text = QStringLiteral("第%1条消息").arg(i);
        if (i % 10 == 3)
            text = QStringLiteral("it's O'Brien's '%1' ''quoted''").arg(i);
        if (i == 50)
            text = longText;
        records.append(OutMessage(Number(i), text, i % 7 == 0 ? 7 : -1));
    }
    // Queued while the worker idles: it must start at once.
    rig.outbox->Enqueue(records);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 100, 60000);

    // One notification per report, in queue order.
    QCOMPARE(rig.sink->notifications, 100);
    QCOMPARE(rig.sink->emptyPops, 0);
    QCOMPARE(taken.count(), 100);
    QVERIFY(!rig.outbox->PopReport());
    QCOMPARE(rig.outbox->QueuedCount(), 0);
    const QRegularExpression timeForm(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    for (int i = 0; i < 100; ++i) {
        const SmsReport &r = rig.sink->reports[i];
        QCOMPARE(taken[i][0].toString(), Number(i));
        QCOMPARE(r.m_strNumber, Number(i));
        QCOMPARE(ReportText::Direction(r), kSend);
        QCOMPARE(ResultOf(r), kOk);
        QCOMPARE(r.m_strContent, records[i].m_strUD);
        QVERIFY2(timeForm.match(r.m_strTime).hasMatch(), qPrintable(r.m_strTime));
    }

    // One journal row per message, with the order identifier, the number and the text intact.
    const QVector<SendRow> rows = SendRows(db);
    QCOMPARE(rows.size(), 100);
    for (int i = 0; i < 100; ++i) {
        QCOMPARE(rows[i].id, i % 7 == 0 ? 7 : -1);
        QCOMPARE(rows[i].state, 1);
        QCOMPARE(rows[i].number, Number(i));
        QCOMPARE(rows[i].text, records[i].m_strUD);
        QCOMPARE(rows[i].time, rig.sink->reports[i].m_strTime);
    }
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
    // Each report names its own journal row, so the list deletes exactly that record.
    const QVariantList keys = DbProbe(db).Column(QStringLiteral("SELECT D_NO FROM T_SEND ORDER BY D_NO"));
    for (int i = 0; i < 100; ++i)
        QCOMPARE(rig.sink->reports[i].m_nRecordNo, keys[i].toLongLong());

    // What the modem got: 100 messages, the long one as three parts of one message.
    QCOMPARE(rig.sim.SubmitCount(), 102);
    QStringList texts;
    for (const SmsRecord &r : records)
        texts << r.m_strUD;
    QCOMPARE(SubmittedTexts(rig.sim), texts);
    int parts = 0;
    for (const ModemSimulator::Submit &s : rig.sim.Submits()) {
        QVERIFY2(s.decoded, qPrintable(s.error));
        if (s.message.concat) {
            ++parts;
            QCOMPARE(s.message.concat->count, 3);
            QCOMPARE(s.message.concat->part, parts);
            QCOMPARE(s.message.number, Number(50));
        }
    }
    QCOMPARE(parts, 3);
    QCOMPARE(CommandCount(rig.sim, QStringLiteral("AT+CMGS=")), 102);
}

void TestSmsModem::failureDoesNotHoldUpTheNext_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("fault");
    const QStringList faults{QStringLiteral("cms error"), QStringLiteral("silence"), QStringLiteral("no prompt"),
                             QStringLiteral("number too long")};
    for (const QString &f : faults)
        DbTargets::AddDialectRows(qPrintable(f), f);
}

// Messages A, B, C: the modem misbehaves for B only. B is reported and journalled failed,
// A and C go out and are answered correctly.
void TestSmsModem::failureDoesNotHoldUpTheNext()
{
    QFETCH(QString, fault);
    FRESH_DB(db);
    EngineRig rig(db);
    QVERIFY(rig.ConnectAndStart());
    const QString a = Number(1), c = Number(3);
    QString b = Number(2);
    if (fault == QStringLiteral("number too long"))
        b = QStringLiteral("8613800000000000000002"); // 22 digits: no address field carries it

    rig.outbox->Enqueue(OutMessage(a, QStringLiteral("A")));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 1, kWaitMs);
    const int commandsBefore = int(rig.sim.Commands().size());
    if (fault == QStringLiteral("cms error"))
        rig.sim.SetCmsErrorTo({b}, 500);
    if (fault == QStringLiteral("silence"))
        rig.sim.SetSilentAfterPdu(ModemSimulator::Fault::Next(1));
    // The modem answers everything but AT+CMGS (one that answers nothing at all is taken
    // for gone, and the message waits for it).
    if (fault == QStringLiteral("no prompt"))
        rig.sim.SetLoseAnswerTo(QStringLiteral("AT+CMGS"), ModemSimulator::Fault::Always());
    rig.outbox->Enqueue(OutMessage(b, QStringLiteral("B's text")));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 2, kWaitMs);
    rig.sim.SetLoseAnswerTo(QString(), ModemSimulator::Fault::Off());
    rig.sim.SetCmsErrorTo({});
    rig.outbox->Enqueue(OutMessage(c, QStringLiteral("C")));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 3, kWaitMs);

    const QVector<SmsReport> &r = rig.sink->reports;
    QCOMPARE(ResultOf(r[0]), kOk);
    QCOMPARE(r[1].m_strNumber, b);
    QCOMPARE(ResultOf(r[1]), kFailed);
    QCOMPARE(r[2].m_strNumber, c);
    QCOMPARE(ResultOf(r[2]), kOk);

    const QVector<SendRow> rows = SendRows(db);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].state, 1);
    QCOMPARE(rows[1].state, 0);
    QCOMPARE(rows[1].number, b);
    QCOMPARE(rows[1].text, QStringLiteral("B's text"));
    QCOMPARE(rows[2].state, 1);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);

    // C reached the modem whole, as its own message.
    const QVector<ModemSimulator::Submit> submits = rig.sim.Submits();
    QVERIFY(!submits.isEmpty());
    QVERIFY(submits.last().decoded);
    QCOMPARE(submits.last().message.number, c);
    QCOMPARE(submits.last().message.text, QStringLiteral("C"));
    const QStringList during = rig.sim.Commands().mid(commandsBefore);
    if (fault == QStringLiteral("number too long")) {
        QCOMPARE(rig.sim.SubmitCount(), 2); // nothing of B was written
        QCOMPARE(CommandCount(rig.sim, QStringLiteral("AT+CMGS=")), 2);
    } else if (fault == QStringLiteral("no prompt")) {
        // Each try cancelled with ESC; tried as often as allowed, then given up.
        QCOMPARE(rig.sim.SubmitCount(), 2);
        QCOMPARE(CommandCount(during, QStringLiteral("AT+CMGS=")), FastTimeouts().promptAttempts + 1); // B's tries and C's one
        QVERIFY(during.contains(QStringLiteral("<ESC>")));
    } else {
        QCOMPARE(rig.sim.SubmitCount(), 3);
        QCOMPARE(submits[1].message.number, b);
    }
}

// B's answer comes after the engine gave up on it, and C is refused by the network: C must be
// reported failed, not take B's late OK for its own.
void TestSmsModem::lateAnswerIsNotTakenForTheNext()
{
    FRESH_DB(db);
    EngineRig rig(db);
    QVERIFY(rig.ConnectAndStart());
    const QString b = Number(2), c = Number(3), d = Number(4);
    rig.sim.SetLateAnswer(ModemSimulator::Fault::Next(1), FastTimeouts().finalAnswerMs + 600);
    rig.sim.SetCmsErrorTo({c}, 500);
    rig.outbox->Enqueue(QVector<SmsRecord>{OutMessage(b, QStringLiteral("B")), OutMessage(c, QStringLiteral("C")),
                                          OutMessage(d, QStringLiteral("D"))});
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 3, kWaitMs);
    const QVector<SmsReport> &r = rig.sink->reports;
    QCOMPARE(ResultOf(r[0]), kFailed); // no answer in time: outcome unknown
    QCOMPARE(r[1].m_strNumber, c);
    QCOMPARE(ResultOf(r[1]), kFailed);
    QCOMPARE(r[2].m_strNumber, d);
    QCOMPARE(ResultOf(r[2]), kOk);
    const QVector<SendRow> rows = SendRows(db);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].state, 0);
    QCOMPARE(rows[1].state, 0);
    QCOMPARE(rows[2].state, 1);
    QCOMPARE(rig.sim.SubmitCount(), 3);
}

void TestSmsModem::splitPrompt()
{
    FRESH_DB(db);
    EngineRig rig(db);
    rig.sim.SetSplitPrompt(ModemSimulator::Fault::Always(), 300);
    QVERIFY(rig.ConnectAndStart());
    rig.outbox->Enqueue(QVector<SmsRecord>{OutMessage(Number(1), QStringLiteral("one")),
                                          OutMessage(Number(2), QStringLiteral("two")),
                                          OutMessage(Number(3), QStringLiteral("three"))});
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 3, kWaitMs);
    for (const SmsReport &r : rig.sink->reports)
        QCOMPARE(ResultOf(r), kOk);
    // One AT+CMGS per message: the prompt in two reads still counts.
    QCOMPARE(CommandCount(rig.sim, QStringLiteral("AT+CMGS=")), 3);
    QCOMPARE(SubmittedTexts(rig.sim), (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}));
    QCOMPARE(RowCount(db, QStringLiteral("T_SEND")), 3);
}

// ------------------------------------------------------------------------------- arrivals

void TestSmsModem::noticeDuringSendIsNotLost()
{
    FRESH_DB(db);
    EngineRig rig(db);
    rig.sim.SetLatency(300);
    QVERIFY(rig.ConnectAndStart());
    rig.outbox->Enqueue(OutMessage(Number(1), QStringLiteral("out")));
    // The notice comes while the engine waits for the prompt or the answer.
    QTRY_VERIFY_WITH_TIMEOUT(CommandCount(rig.sim, QStringLiteral("AT+CMGS=")) == 1, kWaitMs);
    const ModemSimulator::Arrival in = rig.sim.InjectArrival(Arrival(QStringLiteral("+8613912345678"), QStringLiteral("in")));
    QVERIFY2(in.ok, qPrintable(in.error));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 2, kWaitMs);
    QCOMPARE(rig.sink->Count(kSend), 1);
    QCOMPARE(ResultOf(rig.sink->Of(kSend)[0]), kOk);
    QCOMPARE(rig.sink->Count(kReceive), 1);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Storage().size(), 0, kWaitMs);
    const QVector<RecRow> rows = RecRows(db);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].text, QStringLiteral("in"));
    QCOMPARE(rows[0].number, QStringLiteral("8613912345678"));
    QVERIFY(rig.sim.Commands().contains(QStringLiteral("AT+CMGR=%1").arg(in.indexes.value(0))));
    QVERIFY(rig.sim.Commands().contains(QStringLiteral("AT+CMGD=%1").arg(in.indexes.value(0))));
}

void TestSmsModem::storedBeforeConnectAreRead()
{
    FRESH_DB(db);
    EngineRig rig(db);
    QVERIFY(rig.sim.Start());
    QVERIFY(rig.sim.StoreArrival(Arrival(QStringLiteral("+8613900000001"), QStringLiteral("first"))).ok);
    QVERIFY(rig.sim.StoreArrival(Arrival(QStringLiteral("+8613900000002"), QStringLiteral("第二条"))).ok);
    QCOMPARE(rig.sim.Storage().size(), 2);
    QVERIFY(rig.ConnectAndStart());
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 2, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Storage().size(), 0, kWaitMs);
    const QVector<RecRow> rows = RecRows(db);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].text, QStringLiteral("first"));
    QCOMPARE(rows[1].text, QStringLiteral("第二条"));
    QCOMPARE(ReportText::Direction(rig.sink->reports[0]), kReceive);
    QCOMPARE(ResultOf(rig.sink->reports[0]), kOk);
    QCOMPARE(rig.sink->reports[1].m_strContent, QStringLiteral("第二条"));
    QVERIFY(rig.sim.Commands().contains(QStringLiteral("AT+CMGL=4")));
}

// A listing of 25 stored messages of 150 characters on a line of 9600 baud takes many times
// the command time-out to arrive. It is not cut off and asked again from the start: listed
// once, every message journalled and deleted.
void TestSmsModem::longListingOnASlowLine()
{
    FRESH_DB(db);
    EngineRig rig(db);
    QVERIFY(rig.sim.Start());
    constexpr int kCount = 25;
    for (int i = 0; i < kCount; ++i)
        QVERIFY(rig.sim.StoreArrival(Arrival(Number(i), QString(150, QLatin1Char('a' + i)))).ok);
    rig.sim.SetPace(960);
    QVERIFY(rig.ConnectAndStart());
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), kCount, 2 * kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Storage().size(), 0, kWaitMs);
    QCOMPARE(CommandCount(rig.sim, QStringLiteral("AT+CMGL")), 1);
    const QVector<RecRow> rows = RecRows(db);
    QCOMPARE(rows.size(), kCount);
    for (int i = 0; i < kCount; ++i) {
        QCOMPARE(rows[i].number, Number(i));
        QCOMPARE(rows[i].text, QString(150, QLatin1Char('a' + i)));
    }
}

void TestSmsModem::arrivals_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("alphabet"); // -1: the builder's choice
    QTest::addColumn<bool>("reversed");
    QTest::addColumn<bool>("direct");
    const QString sevenBit = QStringLiteral("Hello @ {world} [5€] ~ it's");
    const QString ucs2 = QStringLiteral("你好，世界 'quoted'");
    const QString longUcs2 = QStringLiteral("长消息的一部分。").repeated(20); // 160 characters: 3 parts
    const QString long7 = QStringLiteral("A long seven-bit text, ").repeated(12);  // 276 septets: 2 parts
    struct Case
    {
        const char *name;
        QString text;
        int alphabet;
        bool reversed;
        bool direct;
    };
    const Case cases[] = {
        {"seven bit", sevenBit, int(Pdu::Alphabet::Gsm7), false, false},
        {"ucs2", ucs2, int(Pdu::Alphabet::Ucs2), false, false},
        {"concatenated ucs2, last part first", longUcs2, int(Pdu::Alphabet::Ucs2), true, false},
        {"concatenated seven bit", long7, int(Pdu::Alphabet::Gsm7), false, false},
        {"direct delivery", ucs2, -1, false, true},
        {"direct delivery, concatenated, last part first", longUcs2, -1, true, true},
    };
    for (const Case &c : cases)
        DbTargets::AddDialectRows(c.name, c.text, c.alphabet, c.reversed, c.direct);
}

void TestSmsModem::arrivals()
{
    QFETCH(QString, text);
    QFETCH(int, alphabet);
    QFETCH(bool, reversed);
    QFETCH(bool, direct);
    FRESH_DB(db);
    EngineRig rig(db);
    rig.sim.SetDirectDelivery(direct);
    QVERIFY(rig.ConnectAndStart());

    DeliverSpec spec = Arrival(QStringLiteral("+8613912345678"), text);
    if (alphabet >= 0)
        spec.alphabet = Pdu::Alphabet(alphabet);
    const DeliverBuilder::Result built = DeliverBuilder::Build(spec);
    QVERIFY2(built.ok, qPrintable(built.error));
    QStringList pdus = built.parts;
    if (reversed)
        std::reverse(pdus.begin(), pdus.end());
    const ModemSimulator::Arrival in = rig.sim.InjectPdus(pdus);
    QVERIFY2(in.ok, qPrintable(in.error));

    QTRY_COMPARE_WITH_TIMEOUT(RecRows(db).size(), 1, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 1, kWaitMs);
    const RecRow row = RecRows(db)[0];
    QCOMPARE(row.text, text);
    QCOMPARE(row.number, QStringLiteral("8613912345678"));
    QCOMPARE(row.time, kSctsText); // the service centre's clock, not ours
    const SmsReport r = rig.sink->reports[0];
    QCOMPARE(ReportText::Direction(r), kReceive);
    QCOMPARE(ResultOf(r), kOk);
    QCOMPARE(r.m_strTime, kSctsText);
    QCOMPARE(r.m_strNumber, QStringLiteral("8613912345678"));
    QCOMPARE(r.m_strContent, text);
    QCOMPARE(r.m_nRecordNo, DbProbe(db).Value(QStringLiteral("SELECT D_NO FROM T_REC")).toLongLong());
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Storage().size(), 0, kWaitMs);
    if (!direct)
        QCOMPARE(CommandCount(rig.sim, QStringLiteral("AT+CMGD=")), int(pdus.size()));
    // Nothing more comes of it: a message queued now is the next thing the worker reports.
    rig.outbox->Enqueue(OutMessage(Number(1), QStringLiteral("after")));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 2, kWaitMs);
    QCOMPARE(rig.sink->Count(kReceive), 1);
    QCOMPARE(RecRows(db).size(), 1);
}

// The modem gives the place it freed to the next arrival: a second message at index 1 is a
// new message, not one handled already.
void TestSmsModem::placeUsedAgainAfterDelete()
{
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    EngineRig rig(db);
    QVERIFY(rig.ConnectAndStart());
    const QStringList texts{QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third")};
    for (int i = 0; i < texts.size(); ++i) {
        const ModemSimulator::Arrival in = rig.sim.InjectArrival(Arrival(QStringLiteral("+8613900000001"), texts[i]));
        QCOMPARE(in.indexes, QVector<int>{1});
        QTRY_COMPARE_WITH_TIMEOUT(RecRows(db).size(), i + 1, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Storage().size(), 0, kWaitMs);
    }
    QStringList stored;
    for (const RecRow &r : RecRows(db))
        stored << r.text;
    QCOMPARE(stored, texts);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->Count(kReceive), 3, kWaitMs);
}

// The modem refuses to delete an arrival (its storage busy, say). The message is deleted
// later, and the listings that find it meanwhile do not journal it a second time.
void TestSmsModem::refusedDeleteIsNotJournalledTwice()
{
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    EngineRig rig(db);
    ModemTimeouts t = FastTimeouts();
    t.listIntervalMs = 300; // listings while the message may still be in the modem
    rig.port->SetTimeouts(t);
    rig.sim.SetRefuseCommand(QStringLiteral("AT+CMGD"), ModemSimulator::Fault::Next(2), 500);
    QVERIFY(rig.ConnectAndStart());
    QVERIFY(rig.sim.InjectArrival(Arrival(QStringLiteral("+8613900000001"), QStringLiteral("once"))).ok);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Storage().size(), 0, kWaitMs);
    QVERIFY(CommandCount(rig.sim, QStringLiteral("AT+CMGD=")) >= 3); // refused twice, then done
    // Listings after the delete find nothing more.
    const int lists = CommandCount(rig.sim, QStringLiteral("AT+CMGL=4"));
    QTRY_VERIFY_WITH_TIMEOUT(CommandCount(rig.sim, QStringLiteral("AT+CMGL=4")) >= lists + 2, kWaitMs);
    QCoreApplication::processEvents();
    const QVector<RecRow> rows = RecRows(db);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].text, QStringLiteral("once"));
    QCOMPARE(rig.sink->reports.size(), 1);
}

// The modem deletes an arrival but the answer is lost on the line, and the next arrival takes
// the freed place. That one must be read and journalled, not deleted by a repeated delete.
void TestSmsModem::lostDeleteAnswerSparesTheNextArrival()
{
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    EngineRig rig(db);
    ModemTimeouts t = FastTimeouts();
    t.commandMs = 5000; // the next arrival comes while the engine still waits for the answer
    rig.port->SetTimeouts(t);
    QVERIFY(rig.ConnectAndStart());
    rig.sim.SetLoseAnswerTo(QStringLiteral("AT+CMGD"), ModemSimulator::Fault::Next(1));
    const ModemSimulator::Arrival first = rig.sim.InjectArrival(Arrival(QStringLiteral("+8613900000001"), QStringLiteral("first")));
    QCOMPARE(first.indexes, QVector<int>{1});
    QTRY_COMPARE_WITH_TIMEOUT(CommandCount(rig.sim, QStringLiteral("AT+CMGD=")), 1, kWaitMs);
    QVERIFY(rig.sim.Storage().isEmpty()); // carried out, unanswered
    const ModemSimulator::Arrival second = rig.sim.InjectArrival(Arrival(QStringLiteral("+8613900000002"), QStringLiteral("second")));
    QCOMPARE(second.indexes, QVector<int>{1}); // the same place

    QTRY_COMPARE_WITH_TIMEOUT(RecRows(db).size(), 2, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Storage().size(), 0, kWaitMs);
    const QVector<RecRow> rows = RecRows(db);
    QCOMPARE(rows[0].text, QStringLiteral("first"));
    QCOMPARE(rows[1].text, QStringLiteral("second"));
    QCOMPARE(rows[1].number, QStringLiteral("8613900000002"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 2, kWaitMs);
}

// 8-bit data with zero octets: a PostgreSQL text cannot hold U+0000. The row is written with
// U+FFFD in their place, and the rows after it are written too.
void TestSmsModem::zeroOctetsInAnArrival()
{
    FRESH_DB(db);
    EngineRig rig(db);
    QVERIFY(rig.ConnectAndStart());
    DeliverSpec binary = Arrival(QStringLiteral("+8613900000001"), QString(), Pdu::Alphabet::EightBit);
    binary.data = QByteArray("\x05\x00\x03" "ab\x00", 6);
    QVERIFY(rig.sim.InjectArrival(binary).ok);
    QVERIFY(rig.sim.InjectArrival(Arrival(QStringLiteral("+8613900000002"), QStringLiteral("after"))).ok);
    rig.outbox->Enqueue(OutMessage(Number(1), QStringLiteral("sent after")));

    QTRY_COMPARE_WITH_TIMEOUT(RecRows(db).size(), 2, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(RowCount(db, QStringLiteral("T_SEND")), 1, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Storage().size(), 0, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 3, kWaitMs);
    const QString replaced = QString(QChar(0x05)) + QChar(0xFFFD) + QChar(0x03) + QStringLiteral("ab") + QChar(0xFFFD);
    const QVector<RecRow> rows = RecRows(db);
    QCOMPARE(rows[0].text, replaced);
    QCOMPARE(rows[0].number, QStringLiteral("8613900000001"));
    QCOMPARE(rows[1].text, QStringLiteral("after"));
    QCOMPARE(rig.sink->Of(kReceive).value(0).m_strContent, replaced); // the list shows what is stored
    QCOMPARE(rig.sink->errors, QStringList());
}

// ------------------------------------------------------------------------------- database

void TestSmsModem::databaseOutageDuringSend()
{
    FRESH_DB(db);
    EngineRig rig(db);
    QVERIFY(rig.ConnectAndStart());
    rig.outbox->Enqueue(OutMessage(Number(0), QStringLiteral("before")));
    QTRY_COMPARE_WITH_TIMEOUT(RowCount(db, QStringLiteral("T_SEND")), 1, kWaitMs);

    // The table goes away under the worker's connection.
    DbProbe probe(db);
    QVERIFY2(probe.Exec(QStringLiteral("ALTER TABLE T_SEND RENAME TO T_SEND_AWAY")), qPrintable(probe.Error()));
    QVector<SmsRecord> during;
    for (int i = 1; i <= 5; ++i)
        during.append(OutMessage(Number(i), QStringLiteral("during '%1'").arg(i)));
    rig.outbox->Enqueue(during);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 6, kWaitMs);
    for (const SmsReport &r : rig.sink->reports)
        QCOMPARE(ResultOf(r), kOk); // sending goes on
    // Several retries pass; each row is announced once, with the database's own text before.
    QTest::qWait(5 * FastTimeouts().dbRetryMs);
    QCOMPARE(rig.sink->ErrorCount(kSendRowError), 5);
    bool described = false;
    for (const QString &e : rig.sink->errors)
        described = described || e.startsWith(QStringLiteral("SQL数据错误,"));
    QVERIFY2(described, qPrintable(rig.sink->errors.join(QLatin1Char('\n'))));
    // The kept messages stay kept until their rows are written.
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 5);

    QVERIFY2(probe.Exec(QStringLiteral("ALTER TABLE T_SEND_AWAY RENAME TO T_SEND")), qPrintable(probe.Error()));
    rig.outbox->Enqueue(OutMessage(Number(6), QStringLiteral("after")));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 7, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(RowCount(db, QStringLiteral("T_SEND")), 7, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(RowCount(db, QStringLiteral("T_OUTBOX")), 0, kWaitMs);
    const QVector<SendRow> rows = SendRows(db);
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(rows[i].number, Number(i));
        QCOMPARE(rows[i].state, 1);
        QCOMPARE(rows[i].time, rig.sink->reports[i].m_strTime);
    }
    QCOMPARE(rows[3].text, QStringLiteral("during '3'"));
    QCOMPARE(rig.sink->ErrorCount(kSendRowError), 5);
}

void TestSmsModem::databaseOutageDuringArrival()
{
    FRESH_DB(db);
    EngineRig rig(db);
    QVERIFY(rig.ConnectAndStart());
    QVERIFY(rig.sim.InjectArrival(Arrival(QStringLiteral("+8613900000001"), QStringLiteral("before"))).ok);
    QTRY_COMPARE_WITH_TIMEOUT(RowCount(db, QStringLiteral("T_REC")), 1, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Storage().size(), 0, kWaitMs);

    DbProbe probe(db);
    QVERIFY2(probe.Exec(QStringLiteral("ALTER TABLE T_REC RENAME TO T_REC_AWAY")), qPrintable(probe.Error()));
    QVERIFY(rig.sim.InjectArrival(Arrival(QStringLiteral("+8613900000002"), QStringLiteral("during"))).ok);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 2, kWaitMs);
    QCOMPARE(rig.sink->reports[1].m_strContent, QStringLiteral("during"));
    QTest::qWait(5 * FastTimeouts().dbRetryMs);
    // Reported once, announced once, and left in the modem while it is not journalled.
    QCOMPARE(rig.sink->reports.size(), 2);
    QCOMPARE(rig.sink->ErrorCount(kRecRowError), 1);
    QCOMPARE(rig.sim.Storage().size(), 1);

    QVERIFY2(probe.Exec(QStringLiteral("ALTER TABLE T_REC_AWAY RENAME TO T_REC")), qPrintable(probe.Error()));
    QTRY_COMPARE_WITH_TIMEOUT(RowCount(db, QStringLiteral("T_REC")), 2, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Storage().size(), 0, kWaitMs);
    const QVector<RecRow> rows = RecRows(db);
    QCOMPARE(rows[1].text, QStringLiteral("during"));
    QCOMPARE(rows[1].time, kSctsText);
    QCOMPARE(rig.sink->reports.size(), 2);
    QCOMPARE(rig.sink->ErrorCount(kRecRowError), 1);
}

// ------------------------------------------------------------------------------- lifecycle

void TestSmsModem::disconnectAndReconnect()
{
    FRESH_DB(db);
    EngineRig rig(db);
    rig.sim.SetLatency(40);
    QVERIFY(rig.ConnectAndStart());
    QVector<SmsRecord> records;
    QStringList numbers;
    for (int i = 0; i < 20; ++i) {
        records.append(OutMessage(Number(i), QStringLiteral("message %1").arg(i)));
        numbers << Number(i);
    }
    rig.outbox->Enqueue(records);
    QTRY_VERIFY_WITH_TIMEOUT(rig.sink->reports.size() >= 5, kWaitMs);
    rig.Disconnect();
    QVERIFY(!rig.port->IsRunning());
    QCoreApplication::processEvents();
    const int done = int(rig.sink->reports.size());
    QVERIFY(done < 20);
    QTRY_COMPARE_WITH_TIMEOUT(rig.outbox->QueuedCount(), 20 - done, kWaitMs);

    // Messages queued while disconnected go behind the rest.
    rig.outbox->Enqueue(OutMessage(Number(20), QStringLiteral("while disconnected")));
    numbers << Number(20);
    QVERIFY(rig.ConnectAndStart());
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 21, kWaitMs);
    for (int i = 0; i < 21; ++i) {
        QCOMPARE(rig.sink->reports[i].m_strNumber, numbers[i]);
        QCOMPARE(ResultOf(rig.sink->reports[i]), kOk);
    }
    // In order, none twice, none lost.
    QCOMPARE(SubmittedNumbers(rig.sim), numbers);
    const QVector<SendRow> rows = SendRows(db);
    QCOMPARE(rows.size(), 21);
    for (int i = 0; i < 21; ++i)
        QCOMPARE(rows[i].number, numbers[i]);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

// Quitting (or SIGTERM, or 断开) just after a PDU went, with a modem that answers a second
// later: the stop waits for the answer, and the message the network took stands 成功.
void TestSmsModem::stopWaitsForTheAnswerInFlight()
{
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    EngineRig rig(db);
    rig.sim.SetLateAnswer(ModemSimulator::Fault::Always(), 1000);
    QVERIFY(rig.ConnectAndStart());
    rig.outbox->Enqueue(QVector<SmsRecord>{OutMessage(Number(1), QStringLiteral("in flight")),
                                           OutMessage(Number(2), QStringLiteral("not yet"))});
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.SubmitCount(), 1, kWaitMs);
    rig.Disconnect();
    QCoreApplication::processEvents();
    QTRY_COMPARE(rig.sink->reports.size(), 1);
    QCOMPARE(ResultOf(rig.sink->reports[0]), kOk);
    const QVector<SendRow> rows = SendRows(db);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].state, 1);
    QCOMPARE(rig.sim.SubmitCount(), 1); // the second stays queued
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 1);
}

// A program killed while its modem showed the "> " prompt leaves the modem waiting for PDU text;
// the next connect gets it out with an ESC of its own, which this modem takes only when nothing
// follows it at once, and sends.
void TestSmsModem::promptLeftByAKilledProgram()
{
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    EngineRig rig(db);
    QVERIFY(rig.sim.Start());
    rig.sim.SetEscAloneOnly(true);
    {
        CSerialPort killed;
        QVERIFY(killed.Open(rig.sim.DevicePath(), 9600, 8, 0, 0));
        const QByteArray command("AT+CMGS=20\r");
        QCOMPARE(killed.Write(command.constData(), int(command.size())), int(command.size()));
        QByteArray got;
        char buffer[64];
        for (int i = 0; i < 50 && !got.contains("> "); ++i) {
            const int n = killed.ReadTimed(buffer, int(sizeof buffer), 100, 20);
            if (n > 0)
                got.append(buffer, n);
        }
        QVERIFY2(got.contains("> "), got.constData());
        killed.Close();
    }
    QVERIFY(rig.ConnectAndStart());
    rig.outbox->Enqueue(OutMessage(Number(1), QStringLiteral("after the prompt")));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 1, kWaitMs);
    QCOMPARE(ResultOf(rig.sink->reports[0]), kOk);
    QCOMPARE(SubmittedNumbers(rig.sim), QStringList{Number(1)});
}

void TestSmsModem::stopWhileWaiting_data()
{
    QTest::addColumn<QString>("waitingFor");
    QTest::newRow("the answer after the pdu") << QStringLiteral("answer");
    QTest::newRow("the prompt") << QStringLiteral("prompt");
    QTest::newRow("the list of stored messages") << QStringLiteral("list");
    QTest::newRow("nothing") << QStringLiteral("idle");
}

// Whatever the worker waits for, and however long its time-outs, a stop ends it at once.
void TestSmsModem::stopWhileWaiting()
{
    QFETCH(QString, waitingFor);
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    EngineRig rig(db);
    ModemTimeouts t = FastTimeouts();
    t.promptMs = t.finalAnswerMs = t.commandMs = 120000;
    rig.port->SetTimeouts(t);
    QVERIFY(rig.Connect());
    if (waitingFor == QStringLiteral("list"))
        rig.sim.SetLoseAnswerTo(QStringLiteral("AT+CMGL"), ModemSimulator::Fault::Always());
    QVERIFY(rig.port->StartThread());
    QTRY_VERIFY(rig.sim.Commands().contains(QStringLiteral("AT+CMGL=4")));
    if (waitingFor == QStringLiteral("answer"))
        rig.sim.SetSilentAfterPdu(ModemSimulator::Fault::Always());
    if (waitingFor == QStringLiteral("prompt"))
        rig.sim.SetLoseAnswerTo(QStringLiteral("AT+CMGS"), ModemSimulator::Fault::Always());
    if (waitingFor == QStringLiteral("answer") || waitingFor == QStringLiteral("prompt")) {
        rig.outbox->Enqueue(OutMessage(Number(1), QStringLiteral("stuck")));
        QTRY_VERIFY(CommandCount(rig.sim, QStringLiteral("AT+CMGS=")) == 1);
        if (waitingFor == QStringLiteral("answer"))
            QTRY_COMPARE(rig.sim.SubmitCount(), 1);
    }

    QElapsedTimer timer;
    timer.start();
    rig.port->StopThread();
    // Far below any of the time-outs set above.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!rig.port->IsRunning());
    QCoreApplication::processEvents();

    if (waitingFor == QStringLiteral("answer")) {
        // Handed to the modem: the outcome is unknown, so it counts as failed.
        QTRY_COMPARE(rig.sink->reports.size(), 1);
        QCOMPARE(ResultOf(rig.sink->reports[0]), kFailed);
        QTRY_COMPARE(rig.outbox->QueuedCount(), 0);
        QCOMPARE(SendRows(db).size(), 1);
        QCOMPARE(SendRows(db)[0].state, 0);
    }
    if (waitingFor == QStringLiteral("prompt")) {
        // Never handed over: first in the queue, still kept, and sent after the next start.
        QCOMPARE(rig.sink->reports.size(), 0);
        QCOMPARE(rig.outbox->QueuedCount(), 1);
        QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 1);
        QCOMPARE(DbProbe(db).Value(QStringLiteral("SELECT D_STATE FROM T_OUTBOX")).toInt(), 0);
        rig.sim.SetLoseAnswerTo(QString(), ModemSimulator::Fault::Off());
        rig.port->SetTimeouts(FastTimeouts());
        QVERIFY(rig.port->StartThread());
        QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 1, kWaitMs);
        QCOMPARE(ResultOf(rig.sink->reports[0]), kOk);
        QCOMPARE(rig.sim.SubmitCount(), 1);
    }
}

// The device goes away under a running engine (a modem unplugged): queued messages are not
// burnt through as failures but wait, in order, for the next connect.
void TestSmsModem::deviceGoneKeepsTheQueue()
{
    QTemporaryDir dir;
    const DbSettings db = TestEnv::Sqlite(dir.path());
    EngineRig rig(db);
    QVERIFY(rig.ConnectAndStart());
    rig.outbox->Enqueue(OutMessage(Number(0), QStringLiteral("before")));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 1, kWaitMs);
    rig.sim.Stop();
    QVector<SmsRecord> records;
    for (int i = 1; i <= 3; ++i)
        records.append(OutMessage(Number(i), QStringLiteral("queued %1").arg(i)));
    rig.outbox->Enqueue(records);
    // The worker finds the device gone (at the first write) and only tries to get it back.
    QTRY_COMPARE_WITH_TIMEOUT(rig.port->Status().Readiness(), ModemReadiness::DeviceGone, kWaitMs);
    QCoreApplication::processEvents();
    QCOMPARE(rig.sink->reports.size(), 1);
    QCOMPARE(rig.outbox->QueuedCount(), 3);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 3);
    QCOMPARE(DbProbe(db).Value(QStringLiteral("SELECT MAX(D_STATE) FROM T_OUTBOX")).toInt(), 0);

    rig.Disconnect();
    QVERIFY(rig.ConnectAndStart()); // a new device
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 4, kWaitMs);
    for (const SmsReport &r : rig.sink->reports)
        QCOMPARE(ResultOf(r), kOk);
    QCOMPARE(SubmittedNumbers(rig.sim), (QStringList{Number(0), Number(1), Number(2), Number(3)}));
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

void TestSmsModem::modemLostAndBack_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<bool>("unplugged");
    for (const bool unplugged : {true, false}) {
        const char *how = unplugged ? "device unplugged and plugged in" : "modem silent, then answering";
        DbTargets::AddDialectRows(how, unplugged);
    }
}

// In the middle of a bulk send the device goes away and comes back under the same path (a
// USB modem plugged out and in), or the modem stops answering altogether and then answers
// again. The worker says so, keeps the queue and goes on by itself where it stopped: nothing
// is burnt through as failed, nothing goes twice.
void TestSmsModem::modemLostAndBack()
{
    QFETCH(bool, unplugged);
    FRESH_DB(db);
    QTemporaryDir dir;
    EngineRig rig(db);
    rig.link = dir.filePath(QStringLiteral("ttyModem"));
    rig.sim.SetLatency(50);
    QVERIFY(rig.ConnectAndStart());
    QVector<ModemReadiness> states;
    QObject context; // in this thread: the worker's changes arrive queued, as in the window
    connect(rig.port.get(), &ModemPort::statusChanged, &context, [&](const ModemStatus &s) {
        if (states.isEmpty() ? s.Readiness() != ModemReadiness::Ready : states.last() != s.Readiness())
            states.append(s.Readiness());
    });
    constexpr int kCount = 8;
    QVector<SmsRecord> records;
    for (int i = 0; i < kCount; ++i)
        records.append(OutMessage(Number(i), QStringLiteral("bulk %1").arg(i)));
    rig.outbox->Enqueue(records);
    QTRY_VERIFY_WITH_TIMEOUT(rig.sink->reports.size() >= 2, kWaitMs);

    if (unplugged)
        rig.sim.Stop();
    else
        rig.sim.SetDropLine(ModemSimulator::Fault::Always());
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), 1, kWaitMs);
    QCOMPARE(states[0], unplugged ? ModemReadiness::DeviceGone : ModemReadiness::NotAnswering);
    QCoreApplication::processEvents();
    const int reported = int(rig.sink->reports.size());
    QTest::qWait(1500); // several tries to get it back
    QCOMPARE(rig.sink->reports.size(), reported);
    QVERIFY(rig.outbox->QueuedCount() > 0);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), rig.outbox->QueuedCount());

    if (unplugged) {
        QVERIFY(rig.sim.Start());
        QVERIFY(rig.sim.MakeLink(rig.link));
    } else {
        rig.sim.SetDropLine(ModemSimulator::Fault::Off());
    }
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), 2, kWaitMs);
    QCOMPARE(states[1], ModemReadiness::Ready);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), kCount, kWaitMs);

    // In order; at most the one in the modem's hands when it went is failed (its outcome is
    // unknown); every message went to the modem at most once, each one reported sent exactly once.
    const QStringList submitted = SubmittedNumbers(rig.sim);
    int failed = 0;
    for (int i = 0; i < kCount; ++i) {
        const SmsReport &r = rig.sink->reports[i];
        QCOMPARE(r.m_strNumber, Number(i));
        QVERIFY(submitted.count(r.m_strNumber) <= 1);
        if (ResultOf(r) == kOk)
            QCOMPARE(submitted.count(r.m_strNumber), 1);
        else
            ++failed;
    }
    QVERIFY(failed <= 1);
    QCOMPARE(RowCount(db, QStringLiteral("T_SEND")), kCount);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

void TestSmsModem::restoreOutbox()
{
    FRESH_DB(db);
    StoreOrder(db, 7);
    {
        // An earlier run: queued three messages, then ended; the first was in the modem's hands.
        Outbox earlier([db] { return db; });
        earlier.Enqueue(QVector<SmsRecord>{OutMessage(Number(1), QStringLiteral("in flight")),
                                           OutMessage(Number(2), QStringLiteral("kept 'two'"), 7),
                                           OutMessage(Number(3), QStringLiteral("kept three"))});
        QCOMPARE(earlier.QueuedCount(), 3);
    }
    DbProbe probe(db);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 3);
    QVERIFY(probe.Exec(QStringLiteral("UPDATE T_OUTBOX SET D_STATE=2,D_PORT='/dev/ttyUSB3' "
                                      "WHERE D_NO=(SELECT MIN(D_NO) FROM T_OUTBOX)")));

    EngineRig rig(db);
    QVERIFY(rig.Connect());
    QCOMPARE(rig.outbox->Restore(), 2);
    QCOMPARE(rig.outbox->Restore(), 0); // nothing queued twice
    QCoreApplication::processEvents();
    QCOMPARE(rig.sink->reports.size(), 1);
    QCOMPARE(rig.sink->reports[0].m_strNumber, Number(1));
    QCOMPARE(ResultOf(rig.sink->reports[0]), kFailed);
    QCOMPARE(rig.sink->reports[0].m_strPort, QStringLiteral("/dev/ttyUSB3")); // the modem that had it
    rig.outbox->Enqueue(OutMessage(Number(4), QStringLiteral("new")));
    QVERIFY(rig.port->StartThread());
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 4, kWaitMs);
    QCOMPARE(SubmittedNumbers(rig.sim), (QStringList{Number(2), Number(3), Number(4)}));
    const QVector<SendRow> rows = SendRows(db);
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0].number, Number(1));
    QCOMPARE(rows[0].state, 0);
    QCOMPARE(rows[0].port, QStringLiteral("/dev/ttyUSB3"));
    QCOMPARE(rows[1].port, rig.Device()); // the modem that sent it
    QCOMPARE(rows[1].id, 7);
    QCOMPARE(rows[1].text, QStringLiteral("kept 'two'"));
    QCOMPARE(rows[1].state, 1);
    QCOMPARE(rows[3].number, Number(4));
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

void TestSmsModem::enqueueWithoutDatabase()
{
    QTemporaryDir dir;
    DbSettings db = TestEnv::Sqlite(dir.path());
    db.m_strSqliteFile = dir.filePath(QStringLiteral("missing/folder/none.db"));
    EngineRig rig(db);
    QVERIFY(rig.ConnectAndStart());
    // The queue is the database: without it nothing is queued, and the operator hears so.
    QVERIFY(!rig.outbox->Enqueue(OutMessage(Number(1), QStringLiteral("no database"))));
    QVERIFY(!rig.sink->errors.isEmpty());
    QTest::qWait(500);
    QCOMPARE(rig.sim.SubmitCount(), 0);
    QCOMPARE(rig.sink->reports.size(), 0);
    QCOMPARE(rig.outbox->QueuedCount(), 0);
}

// The queue's table cannot be reached while the modem is ready. A message sent without its
// claim would go a second time after the program ended, its row saying it never went: nothing
// goes until the table answers, then each message once.
void TestSmsModem::unmarkedMessageIsNotSent()
{
    FRESH_DB(db);
    EngineRig rig(db);
    QVERIFY(rig.Connect());
    rig.outbox->Enqueue(QVector<SmsRecord>{OutMessage(Number(1), QStringLiteral("one")), OutMessage(Number(2), QStringLiteral("two"))});
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 2);
    DbProbe probe(db);
    QVERIFY2(probe.Exec(QStringLiteral("ALTER TABLE T_OUTBOX RENAME TO T_OUTBOX_AWAY")), qPrintable(probe.Error()));
    QVERIFY(rig.port->StartThread());
    // No message can be claimed: the modem is not even asked for a prompt.
    QTRY_VERIFY_WITH_TIMEOUT(rig.sim.Commands().contains(QStringLiteral("AT+CMGL=4")), kWaitMs);
    QTest::qWait(500);
    QCOMPARE(CommandCount(rig.sim, QStringLiteral("AT+CMGS=")), 0);
    QCOMPARE(rig.sim.SubmitCount(), 0);
    QCOMPARE(rig.outbox->QueuedCount(), 2);

    // The program ends; the database comes back; the next run sends each message once.
    rig.Disconnect();
    QCoreApplication::processEvents();
    QCOMPARE(rig.sink->reports.size(), 0);
    rig.NewEngine();
    QVERIFY2(probe.Exec(QStringLiteral("ALTER TABLE T_OUTBOX_AWAY RENAME TO T_OUTBOX")), qPrintable(probe.Error()));
    QVERIFY(rig.Connect());
    QCOMPARE(rig.outbox->Restore(), 2);
    QVERIFY(rig.port->StartThread());
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink->reports.size(), 2, kWaitMs);
    for (const SmsReport &r : rig.sink->reports)
        QCOMPARE(ResultOf(r), kOk);
    QCOMPARE(SubmittedNumbers(rig.sim), (QStringList{Number(1), Number(2)}));
    QCOMPARE(rig.sim.SubmitCount(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(RowCount(db, QStringLiteral("T_SEND")), 2, kWaitMs);
    QCOMPARE(RowCount(db, QStringLiteral("T_OUTBOX")), 0);
}

QTEST_GUILESS_MAIN(TestSmsModem)
#include "tst_smsmodem.moc"
