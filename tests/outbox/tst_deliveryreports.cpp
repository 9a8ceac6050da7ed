// Delivery reports: the journal's matching of SMS-STATUS-REPORTs to sent messages on both
// databases, and the whole road over the pseudo-terminal with skevo-cli as a separate
// process: the request in every submit, reports stored while no program was connected,
// reports handed over while one is, the 回执 column of the CSV export.
#include "CliDbTest.h"
#include "CliRun.h"
#include "DbTargets.h"
#include "EngineRig.h"
#include "TestEnv.h"

#include "outbox/CJournal.h"
#include "sms/PduCodec.h"

#include <QDateTime>
#include <QFileInfo>
#include <QtTest>

namespace {

constexpr int kWaitMs = 60000;
const QString kTo = QStringLiteral("8613900000001");

QString Ago(int days)
{
    return QDateTime::currentDateTime().addDays(-days).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// "port,reference,recipient,status[,days ago]" a report.
ReportRow ReportOf(const QString &line)
{
    const QStringList f = line.split(QLatin1Char(','));
    ReportRow r;
    r.port = f.value(0);
    r.reference = f.value(1).toInt();
    r.recipient = f.value(2);
    r.status = quint8(f.value(3).toInt(nullptr, 16));
    r.discharge = Ago(f.value(4).toInt());
    r.time = Ago(f.value(4).toInt());
    r.pdu = QStringLiteral("00");
    return r;
}

// The CSV export's 回执 of each sent number.
QMap<QString, QString> ReportsInCsv(const QStringList &lines)
{
    QMap<QString, QString> out;
    for (const QString &line : lines.mid(1)) {
        const QStringList f = line.split(QLatin1Char(','));
        if (f.size() >= 7)
            out[f[1]] = f[5];
    }
    return out;
}

} // namespace

class TestDeliveryReports : public CliDbTest
{
    Q_OBJECT
private slots:
    void journalMatches_data();
    void journalMatches();
    void wrappedReferenceFindsItsMessage_data();
    void wrappedReferenceFindsItsMessage();
    void overTheLine_data() { DbTargets::AddDialectRows(); }
    void overTheLine();
    void handedOverWhileConnected_data() { DbTargets::AddDialectRows(); }
    void handedOverWhileConnected();
    void storedReportIsNoArrival_data() { DbTargets::AddDialectRows(); }
    void storedReportIsNoArrival();
};

void TestDeliveryReports::journalMatches_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QList<int>>("references");
    QTest::addColumn<int>("sentDaysAgo");
    QTest::addColumn<QStringList>("reports");
    QTest::addColumn<bool>("reportsFirst"); // the reports are journalled before the sent row
    QTest::addColumn<int>("state");         // D_REPORT at the end
    QTest::addColumn<int>("kept");          // reports left unmatched in T_REPORT

    const QList<int> one{5};
    const QList<int> two{5, 6};
    const auto rows = [&](const char *name, QList<int> refs, int days, QStringList reports, bool first, int state, int kept) {
        DbTargets::AddDialectRows(name, refs, days, reports, first, state, kept);
    };
    rows("delivered", one, 0, {QStringLiteral("COM1,5,8613900000001,00")}, false, 2, 0);
    rows("failed for good", one, 0, {QStringLiteral("COM1,5,8613900000001,41")}, false, 3, 0);
    rows("still trying keeps it waiting", one, 0, {QStringLiteral("COM1,5,8613900000001,30")}, false, 1, 0);
    rows("still trying, then delivered", one, 0,
         {QStringLiteral("COM1,5,8613900000001,30"), QStringLiteral("COM1,5,8613900000001,00")}, false, 2, 0);
    rows("recipient in national form", one, 0, {QStringLiteral("COM1,5,13900000001,00")}, false, 2, 0);
    rows("two parts, both delivered", two, 0,
         {QStringLiteral("COM1,5,8613900000001,00"), QStringLiteral("COM1,6,8613900000001,00")}, false, 2, 0);
    rows("two parts, one report so far", two, 0, {QStringLiteral("COM1,6,8613900000001,00")}, false, 1, 0);
    rows("two parts, one failed", two, 0,
         {QStringLiteral("COM1,5,8613900000001,00"), QStringLiteral("COM1,6,8613900000001,60")}, false, 3, 0);
    rows("the reference of another modem", one, 0, {QStringLiteral("COM2,5,8613900000001,00")}, false, 1, 1);
    rows("another recipient", one, 0, {QStringLiteral("COM1,5,8613900000009,00")}, false, 1, 1);
    rows("a kept report past three days is forgotten", one, 0,
         {QStringLiteral("COM1,5,8613900000009,00,4"), QStringLiteral("COM1,5,8613900000008,00")}, false, 1, 1);
    rows("a row older than three days", one, 4, {QStringLiteral("COM1,5,8613900000001,00")}, false, 1, 1);
    rows("reports before the row", two, 0,
         {QStringLiteral("COM1,5,8613900000001,00"), QStringLiteral("COM1,6,8613900000001,00")}, true, 2, 0);
}

void TestDeliveryReports::journalMatches()
{
    QFETCH(QList<int>, references);
    QFETCH(int, sentDaysAgo);
    QFETCH(QStringList, reports);
    QFETCH(bool, reportsFirst);
    QFETCH(int, state);
    QFETCH(int, kept);
    FRESH_DB(s);
    CDbAccess db([s] { return s; });
    CJournal journal;
    QStringList errors;
    journal.Attach(&db, [&errors](const OutboxError &e) { errors << e.text; });

    // An older message of the same modem, reference and recipient: the newest row is the one.
    SentRow older;
    older.record.m_strTPA = kTo;
    older.time = Ago(sentDaysAgo + 1);
    older.outcome = SentRow::Outcome::Sent;
    older.port = QStringLiteral("COM1");
    older.references = QVector<int>(references.begin(), references.end());
    older.reportRequested = sentDaysAgo == 0 && !reportsFirst;
    QVERIFY2(journal.Sent(older, 0) == CJournal::Outcome::Written, qPrintable(errors.join(QLatin1Char('\n'))));
    const qint64 olderNo = journal.LastWrittenKey();

    SentRow sent = older;
    sent.time = Ago(sentDaysAgo);
    sent.reportRequested = true;
    const auto writeSent = [&] { return journal.Sent(sent, 0); };
    if (!reportsFirst)
        QCOMPARE(writeSent(), CJournal::Outcome::Written);
    for (const QString &r : reports)
        QCOMPARE(journal.Report(ReportOf(r), {}, 0), CJournal::Outcome::Written);
    if (reportsFirst)
        QCOMPARE(writeSent(), CJournal::Outcome::Written);
    const qint64 sentNo = journal.LastWrittenKey();
    QVERIFY(errors.isEmpty());

    DbProbe probe(s);
    QCOMPARE(probe.Value(QStringLiteral("SELECT D_REPORT FROM T_SEND WHERE D_NO=?"), {sentNo}).toInt(), state);
    if (older.reportRequested)
        QCOMPARE(probe.Value(QStringLiteral("SELECT D_REPORT FROM T_SEND WHERE D_NO=?"), {olderNo}).toInt(), 1);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_REPORT")).toInt(), kept);
    QCOMPARE(probe.Value(QStringLiteral("SELECT D_REFS FROM T_SEND WHERE D_NO=?"), {sentNo}).toString(),
             references.size() == 1 ? QStringLiteral("5") : QStringLiteral("5,6"));
    // The window hears of a change only when the message's state changed.
    const QVector<DeliveryChange> changes = journal.TakeDeliveryChanges();
    QCOMPARE(changes.isEmpty(), state == 1);
    if (!changes.isEmpty())
        QCOMPARE(changes.constLast().sendNo, sentNo);
    journal.Detach();
}

void TestDeliveryReports::wrappedReferenceFindsItsMessage_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("reportPort"); // the port the SIM is on when its reports come
    QTest::addColumn<QString>("recipient");  // as the report names it
    for (const int dialect : {int(DbSettings::Sqlite), int(DbSettings::Postgres)}) {
        const QString db = dialect == DbSettings::Sqlite ? QStringLiteral("sqlite") : QStringLiteral("postgres");
        QTest::newRow(qPrintable(QStringLiteral("same port, ") + db)) << dialect << QStringLiteral("/dev/ttyUSB0") << kTo;
        QTest::newRow(qPrintable(QStringLiteral("the SIM moved to another port, ") + db))
            << dialect << QStringLiteral("/dev/ttyUSB5") << kTo;
        QTest::newRow(qPrintable(QStringLiteral("recipient in national form, ") + db))
            << dialect << QStringLiteral("/dev/ttyUSB0") << QStringLiteral("13900000001");
    }
}

// The SIM's references wrapped at 255: two messages to one number carry reference 5, an hour
// apart. Each report lands on the message the service centre took nearest its time stamp,
// whichever port the SIM is on by then; a number abroad that ends in the same digits is
// another number.
void TestDeliveryReports::wrappedReferenceFindsItsMessage()
{
    QFETCH(QString, reportPort);
    QFETCH(QString, recipient);
    FRESH_DB(s);
    CDbAccess db([s] { return s; });
    CJournal journal;
    QStringList errors;
    journal.Attach(&db, [&errors](const OutboxError &e) { errors << e.text; });
    const QDateTime now = QDateTime::currentDateTime();
    const auto at = [&now](int minutesAgo) {
        return now.addSecs(-60 * minutesAgo).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    };
    QVector<qint64> rows;
    for (const auto &[number, minutesAgo] : {std::pair{QStringLiteral("+864413900000001"), 70}, std::pair{kTo, 60},
                                             std::pair{kTo, 1}}) {
        SentRow sent;
        sent.record.m_strTPA = number;
        sent.time = at(minutesAgo);
        sent.outcome = SentRow::Outcome::Sent;
        sent.port = QStringLiteral("/dev/ttyUSB0");
        sent.sim = QStringLiteral("460001234567890");
        sent.references = {5};
        sent.reportRequested = true;
        QVERIFY2(journal.Sent(sent, 0) == CJournal::Outcome::Written, qPrintable(errors.join(QLatin1Char('\n'))));
        rows << journal.LastWrittenKey();
    }
    // The older message's report comes last, after the newer one was answered.
    for (const auto &[minutesAgo, status] : {std::pair{1, 0x00}, std::pair{60, 0x40}}) {
        ReportRow r = ReportOf(QStringLiteral("%1,5,%2,%3").arg(reportPort, recipient).arg(status, 2, 16, QLatin1Char('0')));
        r.sim = QStringLiteral("460001234567890");
        r.submitted = at(minutesAgo);
        QCOMPARE(journal.Report(r, {}, 0), CJournal::Outcome::Written);
    }
    QVERIFY(errors.isEmpty());
    DbProbe probe(s);
    const auto state = [&probe](qint64 no) {
        return probe.Value(QStringLiteral("SELECT D_REPORT FROM T_SEND WHERE D_NO=?"), {no}).toInt();
    };
    QCOMPARE(state(rows[0]), SqlCatalogue::kReportWaiting);
    QCOMPARE(state(rows[1]), SqlCatalogue::kReportFailed);
    QCOMPARE(state(rows[2]), SqlCatalogue::kReportDelivered);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_REPORT")).toInt(), 0);
    journal.Detach();
}

// Report=1: every part asks for a report; reports the network sent while no program was
// connected wait in the modem and are matched at the next connect, none becomes an arrival;
// the export says 已送达 / 未送达 / 等待回执. Report=0: no part asks.
void TestDeliveryReports::overTheLine()
{
    FRESH_DB(db);
    CliPlace place(db);
    QVERIFY(place.SetSystem(QStringLiteral("Report"), QStringLiteral("1")));
    ModemSimulator sim;
    QVERIFY(sim.Start());
    sim.HoldStatusReports(true);
    using R = ModemSimulator::Reports;
    sim.SetStatusReportsTo({QStringLiteral("8613900000001")}, R::TryingThenDelivered);
    sim.SetStatusReportsTo({QStringLiteral("8613900000002")}, R::Failed);
    sim.SetStatusReportsTo({QStringLiteral("8613900000003")}, R::None);
    sim.SetStatusReportsTo({QStringLiteral("8613900000004")}, R::Delivered);

    Cli short_(place);
    QCOMPARE(short_.Run(QStringList{QStringLiteral("send")} << ModemArgs(sim) << QStringLiteral("--numbers")
                                                            << place.Numbers(QStringList{QStringLiteral("8613900000001"),
                                                                                         QStringLiteral("8613900000002"),
                                                                                         QStringLiteral("8613900000003")})
                                                            << QStringLiteral("--text") << QStringLiteral("到了吗")),
             0);
    Cli long_(place);
    QCOMPARE(long_.Run(QStringList{QStringLiteral("send")} << ModemArgs(sim) << QStringLiteral("--to")
                                                           << QStringLiteral("8613900000004") << QStringLiteral("--text")
                                                           << QStringLiteral("中") + QString(100, QLatin1Char('a'))), // two parts
             0);
    QCOMPARE(sim.SubmitCount(), 5);
    for (const ModemSimulator::Submit &submit : sim.Submits())
        QVERIFY2(submit.message.firstOctet & 0x20, qPrintable(submit.pdu));

    // Sent while nobody listens: stored in the modem, as the program asked.
    QCOMPARE(sim.ReleaseStatusReports(), 5);
    QCOMPARE(sim.Storage().size(), 5);
    Cli listen(place);
    listen.Start(QStringList{QStringLiteral("listen")} << ModemArgs(sim) << QStringLiteral("--seconds") << QStringLiteral("60"));
    QTRY_COMPARE_WITH_TIMEOUT(sim.Storage().size(), 0, kWaitMs); // deleted once journalled
    listen.Process().terminate();
    QCOMPARE(listen.Wait(), 0);
    QCOMPARE(DbProbe(db).Value(QStringLiteral("SELECT COUNT(*) FROM T_REC")).toInt(), 0);

    // Off again: nothing asks, and nothing waits.
    QVERIFY(place.SetSystem(QStringLiteral("Report"), QStringLiteral("0")));
    sim.ClearLog();
    Cli off(place);
    QCOMPARE(off.Run(QStringList{QStringLiteral("send")} << ModemArgs(sim) << QStringLiteral("--to")
                                                         << QStringLiteral("8613900000005") << QStringLiteral("--text")
                                                         << QStringLiteral("no report")),
             0);
    QCOMPARE(sim.SubmitCount(), 1);
    QCOMPARE(sim.Submits().first().message.firstOctet & 0x20, 0);

    Cli exported(place);
    QCOMPARE(exported.Run({QStringLiteral("export"), QStringLiteral("--all"), QStringLiteral("--csv"), QStringLiteral("-")}), 0);
    const QStringList lines = exported.Lines();
    QVERIFY2(lines.value(0).contains(QStringLiteral(",内容,回执,短信猫")), qPrintable(lines.value(0)));
    const QMap<QString, QString> expected{{QStringLiteral("8613900000001"), QStringLiteral("已送达")},
                                          {QStringLiteral("8613900000002"), QStringLiteral("未送达")},
                                          {QStringLiteral("8613900000003"), QStringLiteral("等待回执")},
                                          {QStringLiteral("8613900000004"), QStringLiteral("已送达")},
                                          {QStringLiteral("8613900000005"), QString()}};
    QCOMPARE(ReportsInCsv(lines), expected);

    // The query selects by it.
    Cli query(place);
    QCOMPARE(query.Run({QStringLiteral("export"), QStringLiteral("--sent"), QStringLiteral("--report"),
                        QStringLiteral("delivered"), QStringLiteral("--csv"), QStringLiteral("-")}),
             0);
    QCOMPARE(ReportsInCsv(query.Lines()).keys(), (QStringList{QStringLiteral("8613900000001"), QStringLiteral("8613900000004")}));
}

// A modem that stores no reports hands them over ("+CDS"); the program that listens says so.
void TestDeliveryReports::handedOverWhileConnected()
{
    FRESH_DB(db);
    CliPlace place(db);
    QVERIFY(place.SetSystem(QStringLiteral("Report"), QStringLiteral("1")));
    ModemSimulator sim;
    QVERIFY(sim.Start());
    sim.SetReportsDirectOnly(true);
    sim.HoldStatusReports(true);
    sim.SetStatusReports(ModemSimulator::Reports::Failed);
    Cli send(place);
    QCOMPARE(send.Run(QStringList{QStringLiteral("send")} << ModemArgs(sim) << QStringLiteral("--to") << kTo
                                                          << QStringLiteral("--text") << QStringLiteral("x")),
             0);
    QVERIFY(sim.Commands().contains(QStringLiteral("AT+CNMI=2,1,0,1,0")));

    Cli listen(place);
    listen.Start(QStringList{QStringLiteral("listen")} << ModemArgs(sim) << QStringLiteral("--seconds") << QStringLiteral("30"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.Commands().count(QStringLiteral("AT+CNMI=2,1,0,1,0")) == 2, kWaitMs);
    QCOMPARE(sim.ReleaseStatusReports(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(listen.Lines().join(QLatin1Char('\n')).contains(QStringLiteral("回执\t未送达")), kWaitMs);
    listen.Process().terminate();
    listen.Wait();
    DbProbe probe(db);
    QCOMPARE(probe.Value(QStringLiteral("SELECT D_REPORT FROM T_SEND")).toInt(), 3);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_REC")).toInt(), 0);
}

// A report in the modem's storage beside an arrival, of a message this program does not know
// (another program sent it, or Report was off since): listed with the arrivals, it becomes no
// received message, is kept for a later row, and leaves the modem.
void TestDeliveryReports::storedReportIsNoArrival()
{
    FRESH_DB(db);
    EngineRig rig(db);
    QVERIFY(rig.sim.Start());
    Pdu::StatusReport report;
    report.messageRef = 7;
    report.recipient = QStringLiteral("8613900000009");
    report.scts = report.discharge = QStringLiteral("25011314520032");
    QVERIFY(rig.sim.StorePdus({Pdu::EncodeStatusReport(report)}).ok);
    DeliverSpec arrival;
    arrival.from = QStringLiteral("+8613900000002");
    arrival.text = QStringLiteral("一条短信");
    QVERIFY(rig.sim.StoreArrival(arrival).ok);
    QVERIFY(rig.ConnectAndStart());
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Storage().size(), 0, kWaitMs);
    QCOMPARE(RowCount(db, QStringLiteral("T_REC")), 1);
    QCOMPARE(RowCount(db, QStringLiteral("T_REPORT")), 1);
    rig.Disconnect();
}

QTEST_GUILESS_MAIN(TestDeliveryReports)
#include "tst_deliveryreports.moc"
