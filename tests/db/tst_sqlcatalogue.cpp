#include "DbTargets.h"
#include "db/CDbAccess.h"
#include "db/DbTime.h"
#include "db/SqlCatalogue.h"

#include <QTest>
#include <QHash>
#include <algorithm>
#include <limits>

namespace {

constexpr qint64 kMax = std::numeric_limits<qint64>::max();

// Values for each statement, in its bind order, and the columns it returns. The values match
// the rows the statements themselves write, so that on the second pass every query has rows.
struct Case
{
    QVariantList m_values;
    QStringList m_columns;
};

constexpr int kBatchRows = 300;
constexpr qint64 kStation = 7777; // a station that no longer runs: its claims are lost claims
int g_part = 0;                  // the parts PartInsert wrote in this run
qint64 g_claimed = 0;            // the message OutboxClaimNext claimed last
int g_token = 0;                 // the tokens TokenInsert wrote in this run
int g_client = 0;                // the requests ApiBatchInsert wrote in this run

Case CaseOf(Sql id)
{
    const QString t = QStringLiteral("2009-05-05 09:05:00");
    const QString t2 = QStringLiteral("2009-05-05 09:06:00");
    const QString n = QStringLiteral("8613900000000");
    auto cols = [](const char *list) { return QString::fromLatin1(list).split(QLatin1Char(',')); };
    switch (id) {
    case Sql::UserSelectAll: return {{}, cols("D_NAME,D_LEVEL,D_CTIME")};
    case Sql::UserCountByName: return {{QStringLiteral("admin")}, cols("NUM")};
    case Sql::UserInsert: return {{QStringLiteral("u1"), QStringLiteral("h1"), 1, t}, {}};
    case Sql::UserUpdate: return {{QStringLiteral("u2"), QStringLiteral("h2"), 1, QStringLiteral("u1")}, {}};
    case Sql::UserDelete: return {{QStringLiteral("nobody")}, {}};
    case Sql::UserSelectByName: return {{QStringLiteral("admin")}, cols("D_LEVEL,D_NAME,D_PSW")};
    case Sql::UserRename: return {{QStringLiteral("u3"), QStringLiteral("h4"), QStringLiteral("u2")}, {}};
    case Sql::UserCount: return {{}, cols("NUM")};
    case Sql::PhraseSelect: return {{}, cols("D_INSERT")};
    case Sql::PhraseInsert: return {{QStringLiteral("p")}, {}};
    case Sql::PhraseUpdate: return {{QStringLiteral("p2"), QStringLiteral("p")}, {}};
    case Sql::PhraseDelete: return {{QStringLiteral("nothing")}, {}};
    case Sql::BookGroups: return {{}, cols("D_RELATION")};
    case Sql::BookSelect: return {{}, cols("D_NAME,D_NUMBER,D_RELATION")};
    case Sql::BookCountByNumber: return {{n}, cols("NUM")};
    case Sql::BookInsert: return {{QStringLiteral("name"), n, QStringLiteral("g")}, {}};
    case Sql::BookUpdate: return {{QStringLiteral("name2"), QStringLiteral("8613900000001"), QStringLiteral("g2"), n}, {}};
    case Sql::BookDelete: return {{QStringLiteral("none")}, {}};
    case Sql::SendInsert: return {{-1, t, 1, n, QStringLiteral("text"), QStringLiteral("COM1")}, {}};
    case Sql::SendDelete: return {{999999}, {}};
    case Sql::RecInsert: return {{n, QStringLiteral("text"), t, QStringLiteral("COM1"), QStringLiteral("sim1")}, {}};
    case Sql::RecDelete: return {{999999}, {}};
    case Sql::OrderInsert: return {{t, t2, QStringLiteral("c")}, {}};
    case Sql::OrderSelect: return {{}, cols("D_ID,D_START,D_END,D_CONT,D_STARTED")};
    case Sql::OrderDelete: return {{999999}, {}};
    case Sql::OrderDue: return {{t, t2, 0, t2}, cols("D_ID,D_CONT,D_END,D_START")};
    case Sql::NumberInsert: return {{1, n, QStringLiteral("{\"金额\":\"12.50\"}")}, {}};
    case Sql::NumberDeleteByOrder: return {{999999}, {}};
    case Sql::NumberSelect: return {{1}, cols("D_NUMBER,D_FIELDS")};
    case Sql::LastNoSelect: return {{}, cols("D_LASTNO")};
    case Sql::LastNoDelete: return {{}, {}};
    case Sql::LastNoInsert: return {{0, n}, {}};
    case Sql::RecFindByIdentity: return {{QStringLiteral("digest"), QStringLiteral("sim1"), QStringLiteral("sim1"), QStringLiteral("COM1")}, cols("D_NO")};
    case Sql::RecInsertArrival: return {{n, QStringLiteral("text"), t, QStringLiteral("COM1"), QStringLiteral("sim1"), QStringLiteral("digest")}, {}};
    case Sql::OutboxClaimNext:
        return {{kStation, QStringLiteral("sim1"), QStringLiteral("COM1"), 60, kStation, 0, QStringLiteral("host"),
                 QStringLiteral("/place"), QStringLiteral("sim1"), QStringLiteral("sim1"), 60, 0, 2}, {}};
    case Sql::OutboxClaimed: return {{g_claimed, kStation}, cols("D_NO,D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID,D_RUN,D_KIND")};
    case Sql::OutboxMarkInFlight: return {{60, g_claimed, kStation}, {}};
    case Sql::OutboxGiveBack: return {{999999, kStation}, {}};
    case Sql::OutboxDeleteClaimed: return {{999999, kStation}, {}};
    case Sql::OutboxRequeueClaims: return {{kStation}, {}};
    case Sql::OutboxInFlightOf: return {{kStation}, cols("D_NO,D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID,D_RUN,D_SIM,D_PORT")};
    case Sql::OutboxOldInFlight: return {{QStringLiteral("host"), QStringLiteral("/place")}, cols("D_NO,D_SIM,D_PORT")};
    case Sql::OutboxLostClaims: return {{}, cols("D_CLAIM")};
    case Sql::OutboxAdopt: return {{kStation, 1, QStringLiteral("nohost"), QStringLiteral("/place")}, {}};
    case Sql::OutboxWithdrawRun: return {{999999}, {}};
    case Sql::OutboxKept: return {{kStation}, cols("NUM")};
    case Sql::OutboxQueuedCount: return {{}, cols("NUM")};
    case Sql::StationInsert: return {{QStringLiteral("token"), QStringLiteral("host"), QStringLiteral("/place"), 42, t, 0}, {}};
    case Sql::StationBeat: return {{1}, {}};
    case Sql::StationList: return {{}, cols("D_NO,D_TOKEN,AGE,D_ENDED")};
    case Sql::StationDelete: return {{999999}, {}};
    case Sql::StationDeleteStale: return {{999999, 60}, {}};
    case Sql::StationEnded: return {{999999}, {}};
    case Sql::RunInsert: return {{1, 0, -1, 3, t}, {}};
    case Sql::RunAdd: return {{1, 1}, {}};
    case Sql::RunLessForOrder: return {{999999, 999999}, {}};
    case Sql::RunStop: return {{0, 1}, {}};
    case Sql::RunCount: return {{1, 0, 1}, {}};
    case Sql::RunDelivery: return {{1, 0, 999999}, {}};
    case Sql::RunSelect: return {{1}, cols("D_TOTAL,D_OK,D_FAILED,D_WITHDRAWN,D_STOPPED,D_DELIVERED,D_UNDELIVERED")};
    case Sql::SimSeen: return {{QStringLiteral("sim1"), QString(), 1, QStringLiteral("COM1")}, {}};
    case Sql::SimOnline: return {{QStringLiteral("sim1"), 60}, cols("D_PORT,D_STATION")};
    case Sql::UserUpgradePassword: return {{QStringLiteral("h5"), QStringLiteral("u3"), QStringLiteral("h4")}, {}};
    case Sql::SendKeysBefore: return {{kMax, 100}, cols("D_NO")};
    case Sql::RecKeysBefore: return {{kMax, 100}, cols("D_NO")};
    case Sql::SendKeysByTime: return {{QStringLiteral("9999-12-31 23:59:59"), kMax, 100}, cols("D_NO,MYTIME")};
    case Sql::RecKeysByTime: return {{QStringLiteral("9999-12-31 23:59:59"), kMax, 100}, cols("D_NO,MYTIME")};
    case Sql::SendRowsByNo: return {{0, kMax}, cols("D_NO,MYTIME,MYNUM,MYCONT,MYSTATE,MYPORT,MYREPORT")};
    case Sql::RecRowsByNo: return {{0, kMax}, cols("D_NO,MYTIME,MYNUM,MYCONT,MYPORT")};
    case Sql::SendFindNewest: return {{t, n, QStringLiteral("text"), QStringLiteral("COM1")}, cols("D_NO")};
    case Sql::RecFindNewest: return {{t, n, QStringLiteral("text"), QStringLiteral("COM1")}, cols("D_NO")};
    case Sql::OrderUpdate: return {{t, t2, QStringLiteral("c2"), 999999}, {}};
    case Sql::OrderClaim: return {{1, t, t2, QStringLiteral("host 1")}, {}};
    case Sql::OrderClaimant: return {{1, t}, cols("D_BY")};
    case Sql::OrderClaimDelete: return {{999999}, {}};
    case Sql::NumberInsertBatch: {
        QVariantList values;
        for (int i = 0; i < SqlCatalogue::kNumberBatch; ++i)
            values << 1 << n << QString();
        return {values, {}};
    }
    case Sql::OutboxInsertBatch: {
        // Row i carries D_ID i, so the keys' order can be checked against the rows'; the texts
        // carry what JSON must escape.
        QVector<SmsRecord> rows(kBatchRows);
        for (int i = 0; i < kBatchRows; ++i) {
            rows[i].m_strTPA = n;
            rows[i].m_strUD = QStringLiteral("短信 \"%1\"\\\n'").arg(i);
            rows[i].m_nID = i;
        }
        return {{kStation, 0, 1, 0, QString(), 0, QStringLiteral("host"), QStringLiteral("/place"),
                 SqlCatalogue::OutboxBatchRows(rows.constData(), rows.size())}, {}};
    }
    case Sql::UserUpdateKeepPassword: return {{QStringLiteral("u4"), 1, QStringLiteral("u3")}, {}};
    case Sql::UserCountOtherAdmins: return {{QStringLiteral("admin")}, cols("NUM")};
    case Sql::OrderMaxId: return {{}, cols("ID")};
    case Sql::OutboxWithdrawOrder: return {{999999}, {}};
    case Sql::SchemaVersion: return {{}, cols("VERSION")};
    case Sql::SchemaVersionAdd: {
        static int step = 1000; // a step of no release, another at each run of the statement
        return {{++step, t}, {}};
    }
    case Sql::SendSentOfRun: return {{1}, cols("D_SENDNUM,D_SENDCONT")};
    case Sql::SendSentOfNumbers: {
        QVariantList values{n};
        while (values.size() < SqlCatalogue::kSentOfNumbersCount)
            values << QString();
        return {values, cols("D_RUN,D_SENDNUM,D_SENDCONT")};
    }
    case Sql::SendInsertReported:
        return {{-1, t, 1, n, QStringLiteral("text"), QStringLiteral("COM1"), 1, QStringLiteral("7,8"), 1, 0, QStringLiteral("sim1"), 2}, {}};
    case Sql::SendSimCount: return {{t, t, QStringLiteral("sim1"), t}, cols("H,D,M")};
    case Sql::PartInsert: {
        // Another part at each run: the first of a modem whose SIM is not known, the second of SIM sim1.
        const int part = ++g_part;
        return {{999999, part, QStringLiteral("COM1"), 7, n, t, part % 2 ? QString() : QStringLiteral("sim1")}, {}};
    }
    case Sql::PartMatch: return {{2, 2, QStringLiteral("COM1"), 7, n, t}, {}};
    case Sql::PartMatchSim: return {{2, 2, QStringLiteral("sim1"), 7, n, t, t2}, {}};
    case Sql::PartSetReport: return {{2, 999999, 1}, {}};
    case Sql::SendSetFailed: return {{t2, 999999}, {}};
    case Sql::SendSetDelivered: return {{t2, 999999, 999999}, {}};
    case Sql::ReportKeep: return {{QStringLiteral("COM1"), 9, n, 0, t, t2, QStringLiteral("0006"), QString()}, {}};
    case Sql::ReportFindKept: return {{QString(), QStringLiteral("COM1"), 9, n, t}, cols("D_NO,D_STATUS,MYDONE")};
    case Sql::ReportDeleteKept: return {{999999}, {}};
    case Sql::ReportPruneKept: return {{t}, {}};
    case Sql::OptOutAdd: return {{n, n, t, 1, QStringLiteral("退订")}, {}};
    case Sql::OptOutAddBatch:
        return {{QStringLiteral("[[\"8613900000009\",\"13900000009\",\"%1\",2,\"\"],"
                                "[\"8613900000009\",\"+8613900000009\",\"%1\",2,\"\"]]").arg(t)}, {}};
    case Sql::OptOutDelete: return {{QStringLiteral("none")}, {}};
    case Sql::OptOutListed: return {{QStringLiteral("[\"8613900000000\",\"8613900000001\"]")}, cols("D_KEY")};
    case Sql::OptOutSelect: return {{QString(), QString(), 100}, cols("D_KEY,D_NUMBER,MYTIME,D_SOURCE,D_TEXT")};
    case Sql::OptOutCount: return {{QStringLiteral("139"), QStringLiteral("139")}, cols("NUM")};
    case Sql::OptOutSelectAll: return {{}, cols("D_KEY,D_NUMBER,MYTIME,D_SOURCE,D_TEXT")};
    // A digest and a client id of their own at each run: both are unique.
    case Sql::TokenInsert: return {{QStringLiteral("订单系统"), QStringLiteral("digest%1").arg(++g_token), t}, {}};
    case Sql::TokenSelect: return {{}, cols("D_NAME,D_CREATED,D_REVOKED")};
    case Sql::TokenActiveByName: return {{QStringLiteral("订单系统")}, cols("NUM")};
    case Sql::TokenActiveCount: return {{}, cols("NUM")};
    case Sql::TokenFind: return {{QStringLiteral("digest%1").arg(g_token)}, cols("D_NAME")};
    case Sql::TokenRevoke: return {{QStringLiteral("nobody")}, {}};
    case Sql::ApiBatchInsert: return {{QStringLiteral("订单系统"), QStringLiteral("c%1").arg(++g_client), t, 2}, {}};
    case Sql::ApiBatchAnswer: return {{QStringLiteral("{}"), 1}, {}};
    case Sql::ApiBatchByClient: return {{QStringLiteral("订单系统"), QStringLiteral("c%1").arg(g_client)}, cols("D_NO,D_ANSWER")};
    case Sql::ApiBatchSelect: return {{1}, cols("D_NO,D_CREATED,D_COUNT,D_ANSWER")};
    case Sql::ApiOutboxRange: return {{0, kMax}, cols("D_NO,D_STATE,D_TPA,D_SIM,D_PORT")};
    case Sql::ApiSentRange:
        return {{0, kMax}, cols("D_MSG,D_STATE,D_SENDTIME,D_REPORT,D_REPORTTIME,D_PORT,D_SIM,D_SENDNUM")};
    case Sql::ApiInbox: return {{0, 100}, cols("D_NO,D_RECNUM,D_RECCONT,D_RECTIME,D_PORT,D_SIM")};
    case Sql::ApiSentBySim: return {{}, cols("D_SIM,D_STATE,D_REPORT,NUM")};
    case Sql::ApiSentSinceBySim: return {{t}, cols("D_SIM,NUM")};
    case Sql::ApiArrivals: return {{}, cols("NUM")};
    case Sql::ApiSentByRecord: return {{1}, cols("D_MSG")};
    case Sql::CallbackInsert: return {{QStringLiteral("e1"), QStringLiteral("arrival"), QStringLiteral("{}")}, {}};
    case Sql::CallbackDue: return {{10}, cols("D_NO,D_EVENT,D_BODY,D_TRIES,AGE")};
    case Sql::CallbackDone: return {{999999}, {}};
    case Sql::CallbackRetry: return {{0, 999999}, {}};
    case Sql::CallbackGiveUp: return {{999999}, {}};
    case Sql::CallbackBacklog: return {{}, cols("NUM")};
    case Sql::Count_: break;
    }
    return {};
}

QList<Sql> AllStatements()
{
    QList<Sql> all;
    for (int i = 0; i < int(Sql::Count_); ++i)
        all << Sql(i);
    return all;
}

} // namespace

class tst_SqlCatalogue : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }

    void everyStatementHasTextInBothDialects();
    void everyStatementRuns_data() { DbTargets::AddDialectRows(); }
    void everyStatementRuns();
    void schemaStatementsRunTwice_data() { DbTargets::AddDialectRows(); }
    void schemaStatementsRunTwice();
    void schemaSteps_data();
    void schemaSteps();
    void orderDueFindsTheMinute_data() { DbTargets::AddDialectRows(); }
    void orderDueFindsTheMinute();
    void recordQueryDayRange_data() { DbTargets::AddDialectRows(); }
    void recordQueryDayRange();
    void recordsListPaging_data() { DbTargets::AddDialectRows(); }
    void recordsListPaging();

private:
    DbTargets m_targets;
};

void tst_SqlCatalogue::everyStatementHasTextInBothDialects()
{
    for (Sql id : AllStatements()) {
        const Case c = CaseOf(id);
        for (DbSettings::Driver dialect : {DbSettings::Sqlite, DbSettings::Postgres}) {
            const QString text = SqlCatalogue::Text(id, dialect);
            const QByteArray where = QByteArray::number(int(id)) + (dialect ? " postgres: " : " sqlite: ") + text.toUtf8();
            QVERIFY2(!text.isEmpty(), where.constData());
            // Every value is bound: as many placeholders as values, and no text is formatted in.
            QVERIFY2(text.count(QLatin1Char('?')) == c.m_values.size(), where.constData());
            QVERIFY2(!text.contains(QLatin1Char('%')), where.constData());
            const QString verb = text.section(QLatin1Char(' '), 0, 0).toUpper();
            switch (SqlCatalogue::KindOf(id)) {
            case SqlCatalogue::Kind::Rows:
                QVERIFY2(verb == QStringLiteral("SELECT") && !c.m_columns.isEmpty(), where.constData());
                break;
            case SqlCatalogue::Kind::Key:
            case SqlCatalogue::Kind::Keys:
                // Keys of the rows written, or of the rows a change returns.
                QVERIFY2(verb == QStringLiteral("INSERT") || (verb == QStringLiteral("UPDATE") && text.contains(QStringLiteral(" RETURNING "))),
                         where.constData());
                break;
            case SqlCatalogue::Kind::NoRows:
                QVERIFY2(verb == QStringLiteral("INSERT") || verb == QStringLiteral("UPDATE") || verb == QStringLiteral("DELETE"),
                         where.constData());
                break;
            }
        }
    }
    QVERIFY(SqlCatalogue::Text(Sql::Count_, DbSettings::Sqlite).isEmpty());
}

void tst_SqlCatalogue::everyStatementRuns()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    QStringList messages;
    CDbAccess db([s] { return s; });
    db.SetErrorSink([&messages](const QString &text) { messages << text; });
    g_part = 0;
    g_claimed = 0;
    g_token = 0;
    g_client = 0;
    // Twice: on the second pass every query finds the rows the first pass wrote.
    for (int pass = 0; pass < 2; ++pass) {
        for (Sql id : AllStatements()) {
            const Case c = CaseOf(id);
            const QByteArray where = QByteArray::number(pass) + "/" + QByteArray::number(int(id)) + ": "
                + SqlCatalogue::Text(id, db.Dialect()).toUtf8();
            // A value too many is bound to nothing and goes unnoticed by both drivers: every
            // placeholder gets exactly one (none of the statements quotes a question mark).
            QCOMPARE(qsizetype(SqlCatalogue::Text(id, db.Dialect()).count(QLatin1Char('?'))), c.m_values.size());
            switch (SqlCatalogue::KindOf(id)) {
            case SqlCatalogue::Kind::Rows: {
                const RecordsetPtr rs = db.OpenRecordset(id, c.m_values);
                QVERIFY2(rs->IsOpen(), (where + " — " + db.LastError().toUtf8()).constData());
                int rows = 0;
                try {
                    while (!rs->IsEOF()) {
                        for (const QString &column : c.m_columns)
                            rs->GetFieldText(column);
                        ++rows;
                        rs->MoveNext();
                    }
                } catch (const CDbError &e) {
                    QFAIL((where + " — " + e.Description().toUtf8()).constData());
                }
                // Rows only an older release leaves in a modem's hands: none here.
                if (pass == 1 && id != Sql::OutboxOldInFlight)
                    QVERIFY2(rows > 0, where.constData());
                break;
            }
            case SqlCatalogue::Kind::Key:
                QVERIFY2(db.Insert(id, c.m_values) > 0, (where + " — " + db.LastError().toUtf8()).constData());
                break;
            case SqlCatalogue::Kind::NoRows:
                QVERIFY2(db.Execute(id, c.m_values), (where + " — " + db.LastError().toUtf8()).constData());
                break;
            case SqlCatalogue::Kind::Keys: {
                if (id == Sql::OutboxClaimNext) {
                    // The oldest queued message, claimed for the station; the next pass claims another.
                    QVector<qint64> keys;
                    QVERIFY2(db.InsertRows(id, c.m_values, &keys), (where + " — " + db.LastError().toUtf8()).constData());
                    QCOMPARE(keys.size(), 1);
                    QVERIFY(keys.first() != g_claimed);
                    g_claimed = keys.first();
                    break;
                }
                if (id == Sql::PartMatchSim) {
                    // The part of sim1 that the second pass's PartInsert wrote.
                    QVector<qint64> keys;
                    QVERIFY2(db.InsertRows(id, c.m_values, &keys), (where + " — " + db.LastError().toUtf8()).constData());
                    QCOMPARE(keys, pass == 0 ? QVector<qint64>{} : QVector<qint64>{999999});
                    break;
                }
                if (id == Sql::PartMatch) {
                    // The part PartInsert wrote: its message's key.
                    QVector<qint64> keys;
                    QVERIFY2(db.InsertRows(id, c.m_values, &keys), (where + " — " + db.LastError().toUtf8()).constData());
                    QVERIFY2(keys == QVector<qint64>{999999}, where.constData());
                    break;
                }
                // One key a row, and sorted they follow the rows' order (the engine relies on it).
                QVector<qint64> keys;
                QVERIFY2(db.InsertRows(id, c.m_values, &keys), (where + " — " + db.LastError().toUtf8()).constData());
                QCOMPARE(keys.size(), qsizetype(kBatchRows));
                std::sort(keys.begin(), keys.end());
                QHash<qint64, int> rowOf;
                const RecordsetPtr rs = db.OpenRecordsetText(QStringLiteral("SELECT D_NO,D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID "
                                                                            "FROM T_OUTBOX WHERE D_HOST='host' ORDER BY D_NO"));
                for (; !rs->IsEOF(); rs->MoveNext()) {
                    const int i = rs->GetFieldValue(6).toInt();
                    rowOf.insert(rs->GetFieldValue(0).toLongLong(), i);
                    QCOMPARE(rs->GetFieldText(5), QStringLiteral("短信 \"%1\"\\\n'").arg(i));
                    QCOMPARE(rs->GetFieldValue(3).toInt(), 0);
                    QCOMPARE(rs->GetFieldValue(4).toInt(), 8);
                }
                QCOMPARE(rowOf.size(), (pass + 1) * kBatchRows);
                for (int i = 0; i < keys.size(); ++i)
                    QCOMPARE(rowOf.value(keys.at(i), -1), i);
                break;
            }
            }
        }
    }
    QCOMPARE(messages, QStringList());
}

void tst_SqlCatalogue::schemaStatementsRunTwice()
{
    SKEVO_FRESH_DB(m_targets, target);
    DbProbe probe(*target);
    QVERIFY2(probe.IsOpen(), qPrintable(probe.Error()));
    for (int round = 0; round < 2; ++round) {
        for (const QString &statement : SqlCatalogue::SchemaStatements(DbSettings::Driver(dialect)))
            QVERIFY2(probe.Exec(statement), qPrintable(statement + QStringLiteral(" — ") + probe.Error()));
    }
    // The identity columns are the server's to fill.
    QVERIFY(probe.Exec(QStringLiteral("INSERT INTO T_ORDER(D_START,D_END,D_CONT) VALUES('2009-05-05 09:05:00','2009-05-05 09:05:00','x')")));
    QVERIFY(probe.Exec(QStringLiteral("INSERT INTO T_ORDER(D_START,D_END,D_CONT) VALUES('2009-05-05 09:05:00','2009-05-05 09:05:00','x')")));
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_ID FROM T_ORDER ORDER BY D_ID")), (QVariantList{1, 2}));
}

void tst_SqlCatalogue::schemaSteps_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<int>("from"); // 0: tables of a release before numbered steps
    DbTargets::AddDialectRows("tables of a release before the steps", 0);
    DbTargets::AddDialectRows("tables of step 1", 1);
    DbTargets::AddDialectRows("tables of step 2", 2);
    DbTargets::AddDialectRows("tables of step 3", 3);
    DbTargets::AddDialectRows("tables of step 4", 4);
    DbTargets::AddDialectRows("tables of step 5", 5);
    DbTargets::AddDialectRows("tables of step 6", 6);
    DbTargets::AddDialectRows("tables of step 7", 7);
    DbTargets::AddDialectRows("tables of step 8", 8);
}

// Each step runs on the tables the step before it left, keeps their rows, and runs once.
void tst_SqlCatalogue::schemaSteps()
{
    QFETCH(int, from);
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    const DbSettings::Driver driver = s.m_driver;
    const bool pg = driver == DbSettings::Postgres;
    DbProbe probe(s);
    const QString key = pg ? QStringLiteral("bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                           : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    const QString time = pg ? QStringLiteral("timestamp(0)") : QStringLiteral("TEXT");
    if (from == 0) {
        // As the first releases made them: arrivals without their identity, kept messages
        // without owner.
        QVERIFY2(probe.Exec(QStringLiteral("CREATE TABLE T_REC (D_NO %1, D_RECNUM TEXT NOT NULL, D_RECCONT TEXT NOT NULL, "
                                           "D_RECTIME %2 NOT NULL)").arg(key, time)),
                 qPrintable(probe.Error()));
        QVERIFY2(probe.Exec(QStringLiteral("CREATE TABLE T_OUTBOX (D_NO %1, D_SCA TEXT NOT NULL, D_TPA TEXT NOT NULL, "
                                           "D_PID INTEGER NOT NULL DEFAULT 0, D_DCS INTEGER NOT NULL DEFAULT 8, "
                                           "D_TEXT TEXT NOT NULL, D_ID INTEGER NOT NULL DEFAULT -1, "
                                           "D_STATE INTEGER NOT NULL DEFAULT 0)").arg(key)),
                 qPrintable(probe.Error()));
    } else {
        for (const QString &statement : SqlCatalogue::SchemaStatements(driver))
            QVERIFY2(probe.Exec(statement), qPrintable(probe.Error()));
        QVERIFY(probe.Exec(SqlCatalogue::SchemaVersionTable(driver)));
        QVERIFY(probe.Exec(SqlCatalogue::Text(Sql::SchemaVersionAdd, driver), {1, QStringLiteral("2024-01-01 00:00:00")}));
        const QList<SqlCatalogue::SchemaStep> steps = SqlCatalogue::SchemaSteps(driver);
        for (int v = 2; v <= from; ++v) {
            for (const QString &statement : steps.at(v - 1).statements)
                QVERIFY2(probe.Exec(statement), qPrintable(probe.Error()));
            QVERIFY(probe.Exec(SqlCatalogue::Text(Sql::SchemaVersionAdd, driver), {v, QStringLiteral("2024-01-01 00:00:00")}));
        }
        QVERIFY(probe.Exec(QStringLiteral("INSERT INTO T_SEND(D_ID,D_SENDTIME,D_STATE,D_SENDNUM,D_SENDCONT) "
                                          "VALUES(-1,'2024-01-01 10:00:00',1,'8613900000001','sent')")));
    }
    QVERIFY(probe.Exec(QStringLiteral("INSERT INTO T_REC(D_RECNUM,D_RECCONT,D_RECTIME) VALUES('8613900000002','in','2024-01-01 10:00:01')")));
    if (from >= 1)
        QVERIFY(probe.Exec(QStringLiteral("INSERT INTO T_PHONENUMBER(D_ID,D_NUMBER) VALUES(1,'8613900000005')")));
    QVERIFY(probe.Exec(QStringLiteral("INSERT INTO T_OUTBOX(D_SCA,D_TPA,D_TEXT) VALUES('8613800100500','8613900000003','kept')")));
    // In a modem's hands when an older release ended: still so, in the new numbering (2 since
    // step 5 numbered it).
    QVERIFY(probe.Exec(QStringLiteral("INSERT INTO T_OUTBOX(D_SCA,D_TPA,D_TEXT,D_STATE) VALUES('8613800100500','8613900000004','air',%1)")
                           .arg(from >= 5 ? 2 : 1)));

    QList<QVariant> steps;
    for (int v = 1; v <= SqlCatalogue::SchemaVersion(driver); ++v)
        steps << v;
    for (int program = 0; program < 2; ++program) {
        CDbAccess::ForgetSchemaChecks(); // the second program meets the database afresh
        CDbAccess db([s] { return s; });
        QVERIFY(db.Connect());
        QCOMPARE(probe.Column(QStringLiteral("SELECT D_VERSION FROM T_SCHEMA ORDER BY D_VERSION")), steps);
    }
    QCOMPARE(probe.Rows(QStringLiteral("SELECT D_RECNUM,D_RECCONT,D_PDU,D_PORT FROM T_REC")),
             (QList<QVariantList>{{QStringLiteral("8613900000002"), QStringLiteral("in"), QString(), QString()}}));
    QCOMPARE(probe.Rows(QStringLiteral("SELECT D_TPA,D_TEXT,D_OWNER,D_STATE,D_PORT,D_STATION,D_CLAIM,D_RUN,D_WANTSIM FROM T_OUTBOX ORDER BY D_NO")),
             (QList<QVariantList>{{QStringLiteral("8613900000003"), QStringLiteral("kept"), QString(), 0, QString(), 0, 0, 0, QString()},
                                  {QStringLiteral("8613900000004"), QStringLiteral("air"), QString(), 2, QString(), 0, 0, 0, QString()}}));
    // A row sent before reports were asked for has none to wait for; one sent before parts
    // were counted counts as one message.
    if (from >= 1)
        QCOMPARE(probe.Rows(QStringLiteral("SELECT D_PORT,D_REPORT,D_REFS,D_PARTS FROM T_SEND")),
                 (QList<QVariantList>{{QString(), 0, QString(), 1}}));
    // An order's numbers stored before their fields were have none.
    if (from >= 1)
        QCOMPARE(probe.Rows(QStringLiteral("SELECT D_NUMBER,D_FIELDS FROM T_PHONENUMBER")),
                 (QList<QVariantList>{{QStringLiteral("8613900000005"), QString()}}));
    // The journal names the modem from now on.
    CDbAccess db([s] { return s; });
    QVERIFY(db.Insert(Sql::SendInsert, {-1, QStringLiteral("2024-01-02 10:00:00"), 1, QStringLiteral("8613900000004"),
                                        QStringLiteral("x"), QStringLiteral("/dev/ttyUSB1")})
            > 0);
    QCOMPARE(probe.Value(QStringLiteral("SELECT D_PORT FROM T_SEND WHERE D_SENDNUM='8613900000004'")).toString(),
             QStringLiteral("/dev/ttyUSB1"));
    // The opt-out list is there, one row a key.
    for (int i = 0; i < 2; ++i)
        QVERIFY(db.Execute(Sql::OptOutAdd, {QStringLiteral("8613900000004"), QStringLiteral("13900000004"),
                                            QStringLiteral("2024-01-02 10:00:00"), 1, QStringLiteral("TD")}));
    QCOMPARE(db.RowsAffected(), 0);
    QCOMPARE(probe.Rows(QStringLiteral("SELECT D_KEY,D_NUMBER,D_SOURCE,D_TEXT FROM T_OPTOUT")),
             (QList<QVariantList>{{QStringLiteral("8613900000004"), QStringLiteral("13900000004"), 1, QStringLiteral("TD")}}));
    // The API's requests: one per client id and token name; requests without one are many.
    const QString t = QStringLiteral("2024-01-02 10:00:00");
    db.SetErrorSink({});
    QVERIFY2(db.Insert(Sql::ApiBatchInsert, {QStringLiteral("crm"), QStringLiteral("c1"), t, 1}) > 0, qPrintable(db.LastError()));
    QVERIFY(db.Insert(Sql::ApiBatchInsert, {QStringLiteral("crm"), QStringLiteral("c1"), t, 1}) <= 0);
    QVERIFY(db.Insert(Sql::ApiBatchInsert, {QStringLiteral("billing"), QStringLiteral("c1"), t, 1}) > 0);
    QVERIFY(db.Insert(Sql::ApiBatchInsert, {QStringLiteral("crm"), QString(), t, 1}) > 0);
    QVERIFY(db.Insert(Sql::ApiBatchInsert, {QStringLiteral("crm"), QString(), t, 1}) > 0);
}

void tst_SqlCatalogue::orderDueFindsTheMinute()
{
    constexpr int kKnownAll = std::numeric_limits<int>::max(); // no order counts as added later
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    CDbAccess db([s] { return s; });
    // Orders written in the order dialog's form, without leading zeros.
    const auto add = [&db](const char *start, const char *text) {
        return db.Insert(Sql::OrderInsert, {DbTime::Canonical(QString::fromLatin1(start)),
                                            DbTime::Canonical(QStringLiteral("2009-5-6 9:5")), QString::fromLatin1(text)});
    };
    const qint64 a = add("2009-5-5 9:5", "a");
    const qint64 before = add("2009-5-5 9:4", "before");
    const qint64 b = add("2009-5-5 9:5", "b");
    const qint64 after = add("2009-5-5 9:6", "after");
    QVERIFY(a > 0 && before > a && b > before && after > b);

    const auto due = [&db](const QDateTime &now) {
        const auto [from, to] = DbTime::MinuteRange(now);
        QStringList ids;
        const RecordsetPtr rs = db.OpenRecordset(Sql::OrderDue, {from, to, kKnownAll, to});
        while (!rs->IsEOF()) {
            ids << rs->GetFieldText(QStringLiteral("D_ID"));
            if (rs->GetFieldText(QStringLiteral("D_END")) != QStringLiteral("2009-05-06 09:05:00"))
                ids << QStringLiteral("wrong end ") + rs->GetFieldText(QStringLiteral("D_END"));
            rs->MoveNext();
        }
        return ids;
    };
    QCOMPARE(due(QDateTime(QDate(2009, 5, 5), QTime(9, 5, 37))), (QStringList{QString::number(a), QString::number(b)}));
    QCOMPARE(due(QDateTime(QDate(2009, 5, 5), QTime(9, 5, 0))), (QStringList{QString::number(a), QString::number(b)}));
    QCOMPARE(due(QDateTime(QDate(2009, 5, 5), QTime(9, 4, 59))), QStringList{QString::number(before)});
    QCOMPARE(due(QDateTime(QDate(2009, 5, 5), QTime(9, 6, 0))), QStringList{QString::number(after)});
    QCOMPARE(due(QDateTime(QDate(2009, 5, 5), QTime(9, 7, 0))), QStringList());
    QCOMPARE(due(QDateTime(QDate(2009, 5, 6), QTime(9, 5, 0))), QStringList());

    // A late check covers several minutes at once, in start order.
    const QString to = QStringLiteral("2009-05-05 09:07:00");
    const RecordsetPtr rs = db.OpenRecordset(Sql::OrderDue, {QStringLiteral("2009-05-05 09:04:00"), to, kKnownAll, to});
    QStringList ids;
    while (!rs->IsEOF()) {
        ids << rs->GetFieldText(0);
        rs->MoveNext();
    }
    QCOMPARE(ids, (QStringList{QString::number(before), QString::number(a), QString::number(b), QString::number(after)}));
}

void tst_SqlCatalogue::recordQueryDayRange()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    CDbAccess db([s] { return s; });
    const QStringList times = {
        QStringLiteral("2009-05-04 23:59:59"), QStringLiteral("2009-05-05 00:00:00"), QStringLiteral("2009-05-05 12:30:00"),
        QStringLiteral("2009-05-05 23:59:59"), QStringLiteral("2009-05-06 00:00:00"),
    };
    for (const QString &t : times) {
        QVERIFY(db.Insert(Sql::SendInsert, {-1, t, 1, QStringLiteral("8613900000000"), QStringLiteral("x"), QString()}) > 0);
        QVERIFY(db.Insert(Sql::RecInsert, {QStringLiteral("8613900000000"), QStringLiteral("x"), t, QString(), QString()}) > 0);
    }
    const QStringList expected = times.mid(1, 3);
    const DbSettings::Driver d = db.Dialect();
    for (const bool send : {true, false}) {
        const QString statement = (send ? SqlCatalogue::SendQueryHead(d) : SqlCatalogue::RecQueryHead(d))
            + SqlCatalogue::DayRangeCondition(send ? QStringLiteral("D_SENDTIME") : QStringLiteral("D_RECTIME"), d)
            + QStringLiteral(" AND ") + SqlCatalogue::RecordQueryTail();
        const RecordsetPtr rs = db.OpenRecordsetText(statement, SqlCatalogue::DayRangeValues(QDate(2009, 5, 5)));
        QVERIFY2(rs->IsOpen(), qPrintable(statement + QStringLiteral(" — ") + db.LastError()));
        QStringList found;
        while (!rs->IsEOF()) {
            found << rs->GetFieldText(QStringLiteral("MYTIME"));
            QVERIFY(rs->GetFieldText(QStringLiteral("MYNO")).toLongLong() > 0);
            QCOMPARE(rs->GetFieldText(QStringLiteral("MYNUM")), QStringLiteral("8613900000000"));
            QCOMPARE(rs->GetFieldText(QStringLiteral("MYCONT")), QStringLiteral("x"));
            QCOMPARE(rs->GetFieldText(QStringLiteral("MYSTATE")), QStringLiteral("1"));
            rs->MoveNext();
        }
        QCOMPARE(found, expected);
    }
    // With no condition the head and tail alone list everything.
    const RecordsetPtr all = db.OpenRecordsetText(SqlCatalogue::RecQueryHead(d) + SqlCatalogue::RecordQueryTail());
    int rows = 0;
    while (!all->IsEOF()) {
        ++rows;
        all->MoveNext();
    }
    QCOMPARE(rows, times.size());
}

void tst_SqlCatalogue::recordsListPaging()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    CDbAccess db([s] { return s; });
    // Times not in key order, and two records in one second.
    const QStringList times = {
        QStringLiteral("2009-05-05 10:00:00"), QStringLiteral("2009-05-05 09:00:00"), QStringLiteral("2009-05-05 11:00:00"),
        QStringLiteral("2009-05-05 09:00:00"), QStringLiteral("2009-05-05 08:00:00"),
    };
    QList<qint64> keys;
    for (const QString &t : times)
        keys << db.Insert(Sql::SendInsert, {-1, t, 1, QStringLiteral("8613900000000"), t, QString()});

    const auto column = [](const RecordsetPtr &rs, int index) {
        QStringList out;
        while (!rs->IsEOF()) {
            out << rs->GetFieldText(index);
            rs->MoveNext();
        }
        return out;
    };
    // By key, newest first, a page at a time.
    QCOMPARE(column(db.OpenRecordset(Sql::SendKeysBefore, {kMax, 2}), 0),
             (QStringList{QString::number(keys[4]), QString::number(keys[3])}));
    QCOMPARE(column(db.OpenRecordset(Sql::SendKeysBefore, {keys[3], 10}), 0),
             (QStringList{QString::number(keys[2]), QString::number(keys[1]), QString::number(keys[0])}));

    // By time then key, newest first: the all view's order backwards, resumed after a page.
    QStringList byTime;
    QString beforeTime = QStringLiteral("9999-12-31 23:59:59");
    qint64 beforeNo = kMax;
    for (;;) {
        const RecordsetPtr rs = db.OpenRecordset(Sql::SendKeysByTime, {beforeTime, beforeNo, 2});
        int rows = 0;
        while (!rs->IsEOF()) {
            beforeNo = rs->GetFieldText(0).toLongLong();
            beforeTime = rs->GetFieldText(1);
            byTime << rs->GetFieldText(0);
            ++rows;
            rs->MoveNext();
        }
        if (rows < 2)
            break;
    }
    QCOMPARE(byTime, (QStringList{QString::number(keys[2]), QString::number(keys[0]), QString::number(keys[3]),
                                  QString::number(keys[1]), QString::number(keys[4])}));

    // A page of texts by key range, and the newest row of a report's values.
    const RecordsetPtr page = db.OpenRecordset(Sql::SendRowsByNo, {keys[1], keys[3]});
    QCOMPARE(column(page, 1), times.mid(1, 3));
    QCOMPARE(column(db.OpenRecordset(Sql::SendFindNewest, {times[1], QStringLiteral("8613900000000"), times[1], QString()}), 0),
             QStringList{QString::number(keys[3])});
    QCOMPARE(column(db.OpenRecordset(Sql::SendFindNewest, {times[1], QStringLiteral("8613900000001"), times[1], QString()}), 0),
             QStringList());
    // Of another modem: none of these.
    QCOMPARE(column(db.OpenRecordset(Sql::SendFindNewest, {times[1], QStringLiteral("8613900000000"), times[1],
                                                           QStringLiteral("COM2")}), 0),
             QStringList());
}

QTEST_GUILESS_MAIN(tst_SqlCatalogue)
#include "tst_sqlcatalogue.moc"
