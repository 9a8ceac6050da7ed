// The record query: the checks and conditions of every combination of the dialog's inputs,
// and the rows a query gives in the records list on a real SQLite file and PostgreSQL.
#include "FakeMessageBox.h"
#include "Journal.h"
#include "db/CDbAccess.h"
#include "records/RecordQuery.h"
#include "records/RecordsModel.h"
#include "DbTargets.h"

#include <QAbstractItemModelTester>
#include <QTest>

Q_DECLARE_METATYPE(RecordQuery)

namespace {
using SqlCatalogue::QueryField;

QStringList Describe(const QVector<SqlCatalogue::QueryCondition> &conditions)
{
    static const char *const names[] = {"number", "day", "text", "order", "state", "report", "modem"};
    QStringList out;
    for (const auto &c : conditions) {
        QStringList values;
        for (const QVariant &v : c.m_values)
            values << (v.typeId() == QMetaType::QDate ? v.toDate().toString(Qt::ISODate) : v.toString());
        out << QString::fromLatin1(names[int(c.m_field)]) + QLatin1Char('=') + values.join(QLatin1Char(','));
    }
    return out;
}

RecordQuery Sent() { return RecordQuery(); }
RecordQuery Received()
{
    RecordQuery q;
    q.m_nTable = RecordQuery::Received;
    return q;
}
RecordQuery WithNumber(RecordQuery q, const QString &n) { q.m_bNumber = true; q.m_strNumber = n; return q; }
RecordQuery WithDay(RecordQuery q, QDate d) { q.m_bDay = true; q.m_day = d; return q; }
RecordQuery WithText(RecordQuery q, const QString &t) { q.m_bText = true; q.m_strText = t; return q; }
RecordQuery WithOrder(RecordQuery q, const QString &o) { q.m_bOrder = true; q.m_strOrder = o; return q; }
RecordQuery Failed(RecordQuery q) { q.m_bSucceeded = false; return q; }
RecordQuery WithReport(RecordQuery q, int state) { q.m_bReport = true; q.m_nReport = state; return q; }
RecordQuery WithModem(RecordQuery q, const QString &m) { q.m_bModem = true; q.m_strModem = m; return q; }

QStringList Rows(const RecordsModel &m)
{
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r) {
        const RecordsModel::RowTexts t = m.Row(r);
        out << QStringList{t.m_strTime, t.m_strNumber, t.m_strAction, t.m_strResult, t.m_strContent}.join(QLatin1Char('|'));
    }
    return out;
}
} // namespace

class tst_RecordQuery : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }
    void conditionsAndChecks_data();
    void conditionsAndChecks();
    void hitsInTheList_data();
    void hitsInTheList();

private:
    DbTargets m_targets;
};

void tst_RecordQuery::conditionsAndChecks_data()
{
    QTest::addColumn<RecordQuery>("query");
    QTest::addColumn<QStringList>("conditions");
    QTest::addColumn<QString>("message");

    const QDate may5(2009, 5, 5);
    RecordQuery everything = WithOrder(WithText(WithDay(WithNumber(Received(), QStringLiteral("+8613900000001")), may5),
                                                QStringLiteral("it's")), QString());
    everything.m_bSucceeded = false;
    QTest::newRow("received, every box: number, day, text, no order, no state")
        << everything << Strings({"number=8613900000001", "day=2009-05-05", "text=it's"}) << QString();
    QTest::newRow("received, nothing ticked: every record") << Received() << QStringList() << QString();
    QTest::newRow("sent, only the state ticked") << Sent() << Strings({"state=1"}) << QString();
    QTest::newRow("sent, state not ticked: the failed sends") << Failed(Sent()) << Strings({"state=0"}) << QString();
    QTest::newRow("received number with + is searched without it, nothing put in front")
        << WithNumber(Received(), QStringLiteral("+13900000001")) << Strings({"number=13900000001"}) << QString();
    QTest::newRow("received number abroad keeps its +")
        << WithNumber(Received(), QStringLiteral("+85291234567")) << Strings({"number=+85291234567"}) << QString();
    QTest::newRow("sent number abroad keeps its +")
        << WithNumber(Sent(), QStringLiteral("+85291234567")) << Strings({"number=+85291234567", "state=1"}) << QString();
    QTest::newRow("sent number gets 86 in front")
        << WithNumber(Sent(), QStringLiteral("+13900000001")) << Strings({"number=8613900000001", "state=1"}) << QString();
    QTest::newRow("sent number beginning with 86 stays")
        << WithNumber(Sent(), QStringLiteral("8613900000001")) << Strings({"number=8613900000001", "state=1"}) << QString();
    QTest::newRow("all sent conditions in their order")
        << WithOrder(WithText(WithDay(WithNumber(Sent(), QStringLiteral("139")), QDate(2009, 12, 31)), QStringLiteral("50%_")),
                     QStringLiteral("  12"))
        << Strings({"number=86139", "day=2009-12-31", "text=50%_", "order=12", "state=1"}) << QString();
    QTest::newRow("empty text meets every text") << WithText(Received(), QString()) << Strings({"text="}) << QString();
    QTest::newRow("empty number") << WithNumber(Sent(), QString()) << QStringList() << QStringLiteral("请输入手机号码");
    QTest::newRow("number with a letter") << WithNumber(Received(), QStringLiteral("139a")) << QStringList()
                                          << QStringLiteral("手机号码不能超过24位并且不能包含非数字字符");
    QTest::newRow("a lone + is no number") << WithNumber(Sent(), QStringLiteral("+")) << QStringList()
                                           << QStringLiteral("手机号码不能超过24位并且不能包含非数字字符");
    QTest::newRow("+ not first") << WithNumber(Sent(), QStringLiteral("1+39")) << QStringList()
                                 << QStringLiteral("手机号码不能超过24位并且不能包含非数字字符");
    QTest::newRow("25 digits") << WithNumber(Sent(), QString(25, QLatin1Char('1'))) << QStringList()
                               << QStringLiteral("手机号码不能超过24位并且不能包含非数字字符");
    QTest::newRow("order of blanks") << WithOrder(Sent(), QStringLiteral("   ")) << QStringList() << QStringLiteral("请输入订单号!");
    QTest::newRow("order that is no number") << WithOrder(Sent(), QStringLiteral("12a")) << QStringList()
                                             << QStringLiteral("订单号只能是数字!");
    QTest::newRow("sent by 回执, after the state") << WithReport(Sent(), SqlCatalogue::kReportFailed)
                                                << Strings({"state=1", "report=3"}) << QString();
    QTest::newRow("received messages have no 回执") << WithReport(Received(), SqlCatalogue::kReportFailed) << QStringList()
                                                  << QString();
    QTest::newRow("modem by its port, last") << WithModem(WithReport(Sent(), 2), QStringLiteral(" COM2 "))
                                           << Strings({"state=1", "report=2", "modem=COM2,COM2"}) << QString();
    QTest::newRow("modem by the last digits of its SIM") << WithModem(Received(), QStringLiteral("4321"))
                                                         << Strings({"modem=4321,4321,%4321"}) << QString();
    QTest::newRow("three digits are no SIM's tail") << WithModem(Received(), QStringLiteral("321"))
                                                    << Strings({"modem=321,321"}) << QString();
    QTest::newRow("modem left empty") << WithModem(Received(), QStringLiteral(" ")) << QStringList()
                                      << QStringLiteral("请输入短信猫的端口或SIM卡号");
    QTest::newRow("only the first failing check speaks")
        << WithOrder(WithNumber(Sent(), QString()), QString()) << QStringList() << QStringLiteral("请输入手机号码");
}

void tst_RecordQuery::conditionsAndChecks()
{
    QFETCH(RecordQuery, query);
    QFETCH(QStringList, conditions);
    QFETCH(QString, message);
    const RecordQuery::Built b = query.Build();
    QCOMPARE(b.m_message ? b.m_message->m_strText : QString(), message);
    if (b.m_message && message == QStringLiteral("请输入订单号!")) {
        QCOMPARE(b.m_message->m_strCaption, QStringLiteral("提示"));
        QCOMPARE(b.m_message->m_icon, IMessageBox::Critical);
    }
    QCOMPARE(Describe(b.m_conditions), conditions);
    QCOMPARE(b.m_bSend, query.m_nTable == RecordQuery::Sent);
}

void tst_RecordQuery::hitsInTheList_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<RecordQuery>("query");
    QTest::addColumn<QStringList>("rows");

    const QString s1 = QStringLiteral("2009-05-04 23:59:59|8613900000001|发送|成功|早上好");
    const QString s2 = QStringLiteral("2009-05-05 00:00:00|8613900000001|发送|成功|It's 50% off");
    const QString s3 = QStringLiteral("2009-05-05 12:00:00|8613900000002|发送|失败!|it's fine");
    const QString s4 = QStringLiteral("2009-05-06 00:00:00|8613900000001|发送|成功|a_b\\c");
    const QString r1 = QStringLiteral("2009-05-05 08:00:00|13900000001|接收|成功|IT'S OK");
    const QString r2 = QStringLiteral("2009-05-05 09:00:00|8613900000001|接收|成功|50%");
    const QString r3 = QStringLiteral("2009-05-06 00:00:00|13900000001|接收|成功|早上好");
    const QDate may5(2009, 5, 5);
    const struct
    {
        const char *name;
        RecordQuery query;
        QStringList rows;
    } cases[] = {
        {"sent, successful, newest first", Sent(), {s4, s2, s1}},
        {"sent, failed", Failed(Sent()), {s3}},
        {"sent by number", WithNumber(Sent(), QStringLiteral("13900000001")), {s4, s2, s1}},
        {"sent by day: midnight in, next midnight out", WithDay(Sent(), may5), {s2}},
        {"sent by day, failed", Failed(WithDay(Sent(), may5)), {s3}},
        {"text with a quote", WithText(Sent(), QStringLiteral("t's")), {s2}},
        {"capitals and small letters told apart", WithText(Sent(), QStringLiteral("IT'S")), {}},
        {"% and _ match themselves, not any text", WithText(Sent(), QStringLiteral("5_%f")), {}},
        {"a percent sign alone", WithText(Sent(), QStringLiteral("%")), {s2}},
        {"a text ending in %", WithText(Received(), QStringLiteral("50%")), {r2}},
        {"an underscore", WithText(Sent(), QStringLiteral("a_")), {s4}},
        {"the escape character of LIKE is plain", WithText(Sent(), QStringLiteral("!")), {}},
        {"a backslash and GLOB's own characters are plain", WithText(Sent(), QStringLiteral("b\\c")), {s4}},
        {"a star is no wildcard", WithText(Sent(), QStringLiteral("It*")), {}},
        {"order", WithOrder(Sent(), QStringLiteral("7")), {s2}},
        {"order, failed", Failed(WithOrder(Sent(), QStringLiteral(" 7 "))), {s3}},
        {"order beyond any key", WithOrder(Sent(), QStringLiteral("99999999999")), {}},
        {"received, nothing ticked", Received(), {r3, r2, r1}},
        {"received by number as typed", WithNumber(Received(), QStringLiteral("+13900000001")), {r3, r1}},
        {"received by day", WithDay(Received(), may5), {r2, r1}},
        {"received by text", WithText(Received(), QStringLiteral("IT'S")), {r1}},
        {"sent by port", WithModem(Sent(), QStringLiteral("COM2")), {s2}},
        {"sent by the SIM's last digits", WithModem(Sent(), QStringLiteral("7890")), {s4, s2}},
        {"failed, by port", Failed(WithModem(Sent(), QStringLiteral("COM3"))), {s3}},
        {"a port is no pattern", WithModem(Sent(), QStringLiteral("COM%")), {}},
        {"received by its whole IMSI", WithModem(Received(), QStringLiteral("460001234567890")), {r1}},
        {"received by everything", WithText(WithDay(WithNumber(Received(), QStringLiteral("13900000001")), may5),
                                            QStringLiteral("OK")), {r1}},
    };
    for (const char *dialect : {"sqlite", "postgres"}) {
        for (const auto &c : cases) {
            QTest::addRow("%s: %s", dialect, c.name)
                << int(qstrcmp(dialect, "sqlite") == 0 ? DbSettings::Sqlite : DbSettings::Postgres) << c.query << c.rows;
        }
    }
}

void tst_RecordQuery::hitsInTheList()
{
    QFETCH(int, dialect);
    QFETCH(RecordQuery, query);
    QFETCH(QStringList, rows);
    const std::optional<DbSettings> target = m_targets.Fresh(DbSettings::Driver(dialect));
    if (!target)
        QSKIP("No PostgreSQL server for this run (SKEVO_PG_HOST unset)");
    const DbSettings s = *target;
    {
        CDbAccess db([s] { return s; });
        const struct { int id; const char *time; int state; const char *number; const char *text; } sent[] = {
            {-1, "2009-05-04 23:59:59", 1, "8613900000001", "早上好"},
            {7, "2009-05-05 00:00:00", 1, "8613900000001", "It's 50% off"},
            {7, "2009-05-05 12:00:00", 0, "8613900000002", "it's fine"},
            {-1, "2009-05-06 00:00:00", 1, "8613900000001", "a_b\\c"},
        };
        for (const auto &r : sent) {
            QVERIFY(db.Insert(Sql::SendInsert, {r.id, QString::fromUtf8(r.time), r.state, QString::fromUtf8(r.number),
                                                QString::fromUtf8(r.text), QString()}) > 0);
        }
        const char *const rec[][3] = {
            {"13900000001", "IT'S OK", "2009-05-05 08:00:00"},
            {"8613900000001", "50%", "2009-05-05 09:00:00"},
            {"13900000001", "早上好", "2009-05-06 00:00:00"},
        };
        for (const auto &r : rec)
            QVERIFY2(db.Insert(Sql::RecInsert, {QString::fromUtf8(r[0]), QString::fromUtf8(r[1]), QString::fromUtf8(r[2]), QString(), QString()}) > 0, qPrintable(db.LastError()));
    }
    {
        // The modems: the second and fourth sent and the first arrival by one SIM (moved
        // from COM2 to COM4 in between), the third sent by COM3 without a known SIM.
        DbProbe probe(s);
        const QString sim = QStringLiteral("460001234567890");
        QVERIFY(probe.Exec(QStringLiteral("UPDATE T_SEND SET D_PORT='COM2',D_SIM=? WHERE D_SENDCONT LIKE 'It%'"), {sim}));
        QVERIFY(probe.Exec(QStringLiteral("UPDATE T_SEND SET D_PORT='COM4',D_SIM=? WHERE D_SENDCONT LIKE 'a%'"), {sim}));
        QVERIFY(probe.Exec(QStringLiteral("UPDATE T_SEND SET D_PORT='COM3' WHERE D_STATE=0")));
        QVERIFY(probe.Exec(QStringLiteral("UPDATE T_REC SET D_PORT='COM2',D_SIM=? WHERE D_RECCONT='IT''S OK'"), {sim}));
    }

    FakeMessageBox messages;
    RecordsModel model([s] { return s; });
    QObject::connect(&model, &RecordsModel::databaseMessage, [&messages](const QString &t) { messages.Show(t); });
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.SetSliceSize(2); // several statements for one result
    model.SetPageSize(2);
    model.LoadAll();
    model.FinishLoading();
    const RecordQuery::Built built = query.Build();
    QVERIFY(!built.m_message);
    model.LoadQuery(built);
    QTRY_VERIFY(!model.IsLoading());
    QCOMPARE(Rows(model), rows);
    QCOMPARE(messages.Texts(), QStringList());
    QCOMPARE(model.CurrentView(), RecordsModel::View::Query);
}

QTEST_GUILESS_MAIN(tst_RecordQuery)
#include "tst_recordquery.moc"
