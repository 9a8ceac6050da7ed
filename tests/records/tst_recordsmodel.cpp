// The records list's model on a real SQLite file and the real PostgreSQL server: the three
// views, newest on top, report rows, one-record deletes, clearing and the sliced loading.
#include "FakeMessageBox.h"
#include "Journal.h"
#include "TestEnv.h"
#include "records/CMyList.h"
#include "records/RecordsModel.h"
#include "DbTargets.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

// A report as the engine makes it; the direction and result given as the list shows them.
SmsReport MakeReport(const QString &time, const QString &number, const QString &direction, const QString &result,
                     const QString &text)
{
    SmsReport r;
    r.m_strTime = time;
    r.m_strNumber = number;
    r.m_kind = direction == ReportText::kReceive ? SmsReport::Received : SmsReport::Sent;
    r.m_outcome = result == ReportText::kSuccess ? SmsReport::Outcome::Success : SmsReport::Outcome::Failure;
    r.m_strContent = text;
    return r;
}


QStringList RowStrings(const RecordsModel &m, int row)
{
    const RecordsModel::RowTexts t = m.Row(row);
    return {t.m_strTime, t.m_strNumber, t.m_strAction, t.m_strResult, t.m_strContent};
}

// The model as the records list holds it: the list shows what the model's delete asks and
// says, and the messages of a failed load.
struct ListedModel
{
    std::unique_ptr<CMyList> list;
    RecordsModel *operator->() const { return &list->Model(); }
    RecordsModel &operator*() const { return list->Model(); }
    RecordsModel *get() const { return &list->Model(); }
};

} // namespace

class tst_RecordsModel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }

    void headings();
    void emptyJournalsGiveEmptyViews_data() { DbTargets::AddDialectRows(); }
    void emptyJournalsGiveEmptyViews();
    void receivedView_data() { DbTargets::AddDialectRows(); }
    void receivedView();
    void sentView_data() { DbTargets::AddDialectRows(); }
    void sentView();
    void allViewMergesByTimeAndShowsIdenticalRecords_data() { DbTargets::AddDialectRows(); }
    void allViewMergesByTimeAndShowsIdenticalRecords();
    void reportRowGoesOnTopOfAnyView_data();
    void reportRowGoesOnTopOfAnyView();
    void deleteRemovesExactlyOneOfTwoIdenticalRecords_data() { DbTargets::AddDialectRows(); }
    void deleteRemovesExactlyOneOfTwoIdenticalRecords();
    void deleteTakesTheRowsOwnJournal_data() { DbTargets::AddDialectRows(); }
    void deleteTakesTheRowsOwnJournal();
    void deleteOfReportRowRemovesItsNewestRecord_data() { DbTargets::AddDialectRows(); }
    void deleteOfReportRowRemovesItsNewestRecord();
    void deleteOfReportRowNamingItsRecord_data() { DbTargets::AddDialectRows(); }
    void deleteOfReportRowNamingItsRecord();
    void deleteWithoutSelectionOrCancelled();
    void deliveryChangesItsRow_data() { DbTargets::AddDialectRows(); }
    void deliveryChangesItsRow();
    void failingDeleteKeepsTheRow_data() { DbTargets::AddDialectRows(); }
    void failingDeleteKeepsTheRow();
    void clearRowsThenShowAllBringsEverythingBack_data() { DbTargets::AddDialectRows(); }
    void clearRowsThenShowAllBringsEverythingBack();
    void loadsInSlicesAndPagesTexts_data();
    void loadsInSlicesAndPagesTexts();
    void reportDuringLoadStaysOnTop();
    void newLoadDuringDeleteQuestionLeavesNothingDeleted();
    void unreachableDatabaseLeavesAnEmptyUsableList();

private:
    ListedModel Model(const DbSettings &s)
    {
        ListedModel m{std::make_unique<CMyList>([s] { return s; }, m_messages)};
        m_tester = std::make_unique<QAbstractItemModelTester>(&*m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        return m;
    }
    static void WaitLoaded(RecordsModel &m) { QTRY_VERIFY_WITH_TIMEOUT(!m.IsLoading(), 30000); }

    DbTargets m_targets;
    FakeMessageBox m_messages;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void tst_RecordsModel::headings()
{
    const DbSettings s = TestEnv::Sqlite(QDir::tempPath(), QStringLiteral("unused"));
    RecordsModel m([s] { return s; });
    QStringList headings;
    for (int c = 0; c < m.columnCount(); ++c)
        headings << m.headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headings, Strings({"时间", "号码", "动作", "状态", "内容", "回执", "短信猫"}));
}

void tst_RecordsModel::emptyJournalsGiveEmptyViews()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    auto m = Model(*s);
    for (auto load : {&RecordsModel::LoadReceived, &RecordsModel::LoadSent, &RecordsModel::LoadAll}) {
        ((*m).*load)();
        WaitLoaded(*m);
        QCOMPARE(m->rowCount(), 0);
    }
    QVERIFY2(m_messages.shown.isEmpty(), qPrintable(m_messages.Texts().join(u'|')));
}

void tst_RecordsModel::receivedView()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    Journal j(*s);
    QVERIFY(j.Received({QStringLiteral("2024-03-01 08:00:00"), QStringLiteral("8613800000001"), QStringLiteral("第一条")}) > 0);
    QVERIFY(j.Received({QStringLiteral("2024-03-01 09:00:00"), QStringLiteral("8613800000002"), QStringLiteral("第二条")}) > 0);
    QVERIFY(j.Sent({QStringLiteral("2024-03-01 10:00:00"), QStringLiteral("8613900000000"), QStringLiteral("发出"), 0}) > 0);

    auto m = Model(*s);
    m->LoadReceived();
    WaitLoaded(*m);
    QCOMPARE(m->rowCount(), 2);
    QCOMPARE(RowStrings(*m, 0), Strings({"2024-03-01 09:00:00", "8613800000002", "接收", "成功", "第二条"}));
    QCOMPARE(RowStrings(*m, 1), Strings({"2024-03-01 08:00:00", "8613800000001", "接收", "成功", "第一条"}));
    QCOMPARE(m->index(0, 0).data(RecordsModel::ImageRole).toInt(), 1);
    QCOMPARE(m->index(0, 0).data(RecordsModel::RecordTableRole).toString(), QStringLiteral("T_REC"));
    QVERIFY(m_messages.shown.isEmpty());
}

void tst_RecordsModel::sentView()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    Journal j(*s);
    QVERIFY(j.Sent({QStringLiteral("2024-03-01 10:00:00"), QStringLiteral("8613900000001"), QStringLiteral("好的"), 1}) > 0);
    QVERIFY(j.Sent({QStringLiteral("2024-03-01 10:00:05"), QStringLiteral("8613900000002"), QStringLiteral("没发出去"), 0}) > 0);
    QVERIFY(j.Received({QStringLiteral("2024-03-01 08:00:00"), QStringLiteral("8613800000001"), QStringLiteral("收到")}) > 0);

    auto m = Model(*s);
    m->LoadSent();
    WaitLoaded(*m);
    QCOMPARE(m->rowCount(), 2);
    QCOMPARE(RowStrings(*m, 0), Strings({"2024-03-01 10:00:05", "8613900000002", "发送", "失败", "没发出去"}));
    QCOMPARE(RowStrings(*m, 1), Strings({"2024-03-01 10:00:00", "8613900000001", "发送", "成功", "好的"}));
    QCOMPARE(m->index(1, 0).data(RecordsModel::ImageRole).toInt(), 0);
    QCOMPARE(m->index(1, 0).data(RecordsModel::RecordTableRole).toString(), QStringLiteral("T_SEND"));
}

void tst_RecordsModel::allViewMergesByTimeAndShowsIdenticalRecords()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    Journal j(*s);
    const SendRow twice{QStringLiteral("2024-03-01 10:00:00"), QStringLiteral("8613900000001"), QStringLiteral("同一条"), 1};
    QVERIFY(j.Sent(twice) > 0);
    QVERIFY(j.Sent(twice) > 0);
    QVERIFY(j.Sent({QStringLiteral("2024-03-02 12:00:00"), QStringLiteral("8613900000002"), QStringLiteral("失败的"), 0}) > 0);
    // Written later but older: the all view goes by time.
    QVERIFY(j.Received({QStringLiteral("2024-03-01 11:30:00"), QStringLiteral("8613800000001"), QStringLiteral("回复")}) > 0);
    QVERIFY(j.Received({QStringLiteral("2024-02-28 23:59:59"), QStringLiteral("8613800000002"), QStringLiteral("更早")}) > 0);

    auto m = Model(*s);
    m->LoadAll();
    WaitLoaded(*m);
    QCOMPARE(m->rowCount(), 5);
    QCOMPARE(RowStrings(*m, 0), Strings({"2024-03-02 12:00:00", "8613900000002", "发送", "失败!", "失败的"}));
    QCOMPARE(RowStrings(*m, 1), Strings({"2024-03-01 11:30:00", "8613800000001", "接收", "成功", "回复"}));
    QCOMPARE(RowStrings(*m, 2), Strings({"2024-03-01 10:00:00", "8613900000001", "发送", "成功", "同一条"}));
    QCOMPARE(RowStrings(*m, 3), RowStrings(*m, 2));
    QCOMPARE(RowStrings(*m, 4), Strings({"2024-02-28 23:59:59", "8613800000002", "接收", "成功", "更早"}));
    QVERIFY(m->index(2, 0).data(RecordsModel::RecordKeyRole) != m->index(3, 0).data(RecordsModel::RecordKeyRole));
    QCOMPARE(m->index(1, 0).data(RecordsModel::ImageRole).toInt(), 1);
    QCOMPARE(m->index(0, 0).data(RecordsModel::ImageRole).toInt(), 0);
}

void tst_RecordsModel::reportRowGoesOnTopOfAnyView_data()
{
    QTest::addColumn<int>("view");
    QTest::addColumn<QString>("direction");
    QTest::newRow("received view, sent report") << 0 << QStringLiteral("发送");
    QTest::newRow("sent view, received report") << 1 << QStringLiteral("接收");
    QTest::newRow("all view, received report") << 2 << QStringLiteral("接收");
    QTest::newRow("cleared list, sent report") << 3 << QStringLiteral("发送");
}

void tst_RecordsModel::reportRowGoesOnTopOfAnyView()
{
    QFETCH(int, view);
    QFETCH(QString, direction);
    QTemporaryDir dir;
    const DbSettings s = TestEnv::Sqlite(dir.path());
    Journal j(s);
    QVERIFY(j.Sent({QStringLiteral("2024-03-01 10:00:00"), QStringLiteral("8613900000001"), QStringLiteral("a"), 1}) > 0);
    QVERIFY(j.Received({QStringLiteral("2024-03-01 11:00:00"), QStringLiteral("8613800000001"), QStringLiteral("b")}) > 0);
    auto m = Model(s);
    switch (view) {
    case 0: m->LoadReceived(); break;
    case 1: m->LoadSent(); break;
    case 2: m->LoadAll(); break;
    default: m->LoadAll(); WaitLoaded(*m); m->ClearRows(); break;
    }
    WaitLoaded(*m);
    const int before = m->rowCount();
    SmsReport first;
    first.m_strTime = QStringLiteral("2024-03-05 09:00:00");
    first.m_strNumber = QStringLiteral("8613700000000");
    first.m_strContent = QStringLiteral("报告一");
    first.m_outcome = SmsReport::Outcome::Failure;
    first.m_kind = direction == QStringLiteral("接收") ? SmsReport::Received : SmsReport::Sent;
    SmsReport second = first;
    second.m_strContent = QStringLiteral("报告二");
    second.m_outcome = SmsReport::Outcome::Success;
    m->AddReportRow(first);
    m->AddReportRow(second);
    QCOMPARE(m->rowCount(), before + 2);
    QCOMPARE(RowStrings(*m, 0), QStringList({second.m_strTime, second.m_strNumber, direction, QStringLiteral("成功"), QStringLiteral("报告二")}));
    QCOMPARE(RowStrings(*m, 1), QStringList({first.m_strTime, first.m_strNumber, direction, QStringLiteral("失败"), QStringLiteral("报告一")}));
    QCOMPARE(m->index(0, 0).data(RecordsModel::ImageRole).toInt(), direction == QStringLiteral("接收") ? 1 : 0);
    QCOMPARE(m->index(0, 0).data(RecordsModel::RecordKeyRole).toLongLong(), 0);
}

void tst_RecordsModel::deleteRemovesExactlyOneOfTwoIdenticalRecords()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    Journal j(*s);
    const SendRow twice{QStringLiteral("2024-03-01 10:00:00"), QStringLiteral("8613900000001"), QStringLiteral("重复"), 1};
    QVERIFY(j.Sent(twice) > 0);
    QVERIFY(j.Sent(twice) > 0);
    auto m = Model(*s);
    m->LoadSent();
    WaitLoaded(*m);
    QCOMPARE(m->rowCount(), 2);
    const qint64 kept = m->index(0, 0).data(RecordsModel::RecordKeyRole).toLongLong();
    const qint64 gone = m->index(1, 0).data(RecordsModel::RecordKeyRole).toLongLong();

    QVERIFY(m.list->DeleteRow(1));
    QCOMPARE(m_messages.shown.size(), 1);
    QCOMPARE(m_messages.shown.at(0).text, QStringLiteral("您真的要永远删除这条短信?"));
    QCOMPARE(m_messages.shown.at(0).caption, QStringLiteral("提示"));
    QCOMPARE(m_messages.shown.at(0).icon, IMessageBox::Question);
    QCOMPARE(m_messages.shown.at(0).buttons, IMessageBox::OkCancel);
    QCOMPARE(m->rowCount(), 1);
    QCOMPARE(m->index(0, 0).data(RecordsModel::RecordKeyRole).toLongLong(), kept);

    DbProbe probe(*s);
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_NO FROM T_SEND")), QVariantList({kept}));
    QVERIFY(kept != gone);
    m->LoadSent();
    WaitLoaded(*m);
    QCOMPARE(m->rowCount(), 1);
}

void tst_RecordsModel::deleteTakesTheRowsOwnJournal()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    Journal j(*s);
    // The same number and time in both journals: only the row's own record goes.
    const QString t = QStringLiteral("2024-03-01 10:00:00");
    const QString n = QStringLiteral("8613900000001");
    QVERIFY(j.Sent({t, n, QStringLiteral("发"), 1}) > 0);
    QVERIFY(j.Received({t, n, QStringLiteral("收")}) > 0);
    auto m = Model(*s);
    m->LoadAll();
    WaitLoaded(*m);
    QCOMPARE(m->rowCount(), 2);
    const int receivedRow = m->Row(0).m_strAction == QStringLiteral("接收") ? 0 : 1;
    QVERIFY(m.list->DeleteRow(receivedRow));
    DbProbe probe(*s);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_REC")).toInt(), 0);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND")).toInt(), 1);
    QCOMPARE(m->rowCount(), 1);
    QCOMPARE(m->Row(0).m_strAction, QStringLiteral("发送"));
    QVERIFY(m.list->DeleteRow(0));
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND")).toInt(), 0);
    QCOMPARE(m->rowCount(), 0);
}

void tst_RecordsModel::deleteOfReportRowRemovesItsNewestRecord()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    Journal j(*s);
    const SendRow row{QStringLiteral("2024-03-01 10:00:00"), QStringLiteral("8613900000001"), QStringLiteral("又一次"), 1};
    const qint64 older = j.Sent(row);
    auto m = Model(*s);
    m->LoadAll();
    WaitLoaded(*m);
    QCOMPARE(m->rowCount(), 1);
    // The engine journals the same text to the same number within the same second, and
    // reports it.
    const qint64 newer = j.Sent(row);
    QVERIFY(newer > older);
    m->AddReportRow(MakeReport(row.time, row.number, QStringLiteral("发送"), QStringLiteral("成功"), row.text));
    QCOMPARE(m->rowCount(), 2);

    QVERIFY(m.list->DeleteRow(0));
    DbProbe probe(*s);
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_NO FROM T_SEND")), QVariantList({older}));
    QCOMPARE(m->rowCount(), 1);
    QCOMPARE(m->index(0, 0).data(RecordsModel::RecordKeyRole).toLongLong(), older);

    // A received report whose row never reached the journal: nothing to delete, the row goes.
    m->AddReportRow(MakeReport(QStringLiteral("2024-03-02 10:00:00"), QStringLiteral("8613800000009"), QStringLiteral("接收"),
                     QStringLiteral("成功"), QStringLiteral("未入库")));
    QVERIFY(m.list->DeleteRow(0));
    QCOMPARE(m->rowCount(), 1);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND")).toInt(), 1);
}

void tst_RecordsModel::deleteOfReportRowNamingItsRecord()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    Journal j(*s);
    // Two attempts to one number with one text within one second: the first failed, the
    // second went. The report of the failed one names its own row, so deleting that report
    // row deletes that record, not the newer one that looks the same.
    const qint64 failed = j.Sent({QStringLiteral("2024-03-01 10:00:00"), QStringLiteral("8613900000001"), QStringLiteral("同一秒"), 0});
    const qint64 sent = j.Sent({QStringLiteral("2024-03-01 10:00:00"), QStringLiteral("8613900000001"), QStringLiteral("同一秒"), 1});
    QVERIFY(failed > 0 && sent > failed);
    auto m = Model(*s);
    m->ClearRows();
    SmsReport report;
    report.m_strTime = QStringLiteral("2024-03-01 10:00:00");
    report.m_strNumber = QStringLiteral("8613900000001");
    report.m_strContent = QStringLiteral("同一秒");
    report.m_outcome = SmsReport::Outcome::Failure;
    report.m_kind = SmsReport::Sent;
    report.m_nRecordNo = failed;
    m->AddReportRow(report);
    QVERIFY(m.list->DeleteRow(0));
    DbProbe probe(*s);
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_NO FROM T_SEND")), QVariantList({sent}));
    QCOMPARE(m->rowCount(), 0);
}

void tst_RecordsModel::deleteWithoutSelectionOrCancelled()
{
    QTemporaryDir dir;
    const DbSettings s = TestEnv::Sqlite(dir.path());
    Journal j(s);
    QVERIFY(j.Sent({QStringLiteral("2024-03-01 10:00:00"), QStringLiteral("8613900000001"), QStringLiteral("x"), 1}) > 0);
    auto m = Model(s);
    m->LoadAll();
    WaitLoaded(*m);
    m_messages.Clear();

    QVERIFY(!m.list->DeleteRow(-1));
    QCOMPARE(m_messages.shown.size(), 1);
    QCOMPARE(m_messages.shown.at(0).text, QStringLiteral("请选中要删除的短信"));
    QCOMPARE(m_messages.shown.at(0).icon, IMessageBox::Critical);

    m_messages.Clear();
    m_messages.answers.enqueue(IMessageBox::AnswerCancel);
    QVERIFY(!m.list->DeleteRow(0));
    QCOMPARE(m_messages.Texts(), QStringList({QStringLiteral("您真的要永远删除这条短信?")}));
    QCOMPARE(m->rowCount(), 1);
    DbProbe probe(s);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND")).toInt(), 1);
}

void tst_RecordsModel::failingDeleteKeepsTheRow()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    Journal j(*s);
    QVERIFY(j.Sent({QStringLiteral("2024-03-01 10:00:00"), QStringLiteral("8613900000001"), QStringLiteral("留下"), 1}) > 0);
    auto m = Model(*s);
    m->LoadSent();
    WaitLoaded(*m);
    DbProbe probe(*s);
    // The server refuses the delete.
    if (s->m_driver == DbSettings::Sqlite) {
        QVERIFY2(probe.Exec(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON T_SEND BEGIN SELECT RAISE(ABORT, 'refused'); END")),
                 qPrintable(probe.Error()));
    } else {
        QVERIFY2(probe.Exec(QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION 'refused'; END $$ LANGUAGE plpgsql")),
                 qPrintable(probe.Error()));
        QVERIFY2(probe.Exec(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON T_SEND FOR EACH ROW EXECUTE FUNCTION refuse()")),
                 qPrintable(probe.Error()));
    }
    m_messages.Clear();
    QVERIFY(!m.list->DeleteRow(0));
    const QStringList texts = m_messages.Texts();
    QCOMPARE(texts.size(), 3);
    QCOMPARE(texts.at(0), QStringLiteral("您真的要永远删除这条短信?"));
    QVERIFY2(texts.at(1).startsWith(QStringLiteral("SQL数据错误,")) && texts.at(1).contains(QStringLiteral("refused")),
             qPrintable(texts.at(1)));
    QCOMPARE(texts.at(2), QStringLiteral("删除失败!SQL数据库错误"));
    QCOMPARE(m_messages.shown.at(2).icon, IMessageBox::Critical);
    QCOMPARE(m->rowCount(), 1);
    QCOMPARE(m->Row(0).m_strContent, QStringLiteral("留下"));
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND")).toInt(), 1);
}

void tst_RecordsModel::clearRowsThenShowAllBringsEverythingBack()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    Journal j(*s);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(j.Sent({QStringLiteral("2024-03-01 10:00:0%1").arg(i), QStringLiteral("861390000000%1").arg(i), QStringLiteral("发%1").arg(i), 1}) > 0);
        QVERIFY(j.Received({QStringLiteral("2024-03-01 11:00:0%1").arg(i), QStringLiteral("861380000000%1").arg(i), QStringLiteral("收%1").arg(i)}) > 0);
    }
    auto m = Model(*s);
    m->LoadAll();
    WaitLoaded(*m);
    QCOMPARE(m->rowCount(), 6);
    m->ClearRows();
    QCOMPARE(m->rowCount(), 0);
    // A message sent now adds exactly one row.
    const SendRow now{QStringLiteral("2024-03-02 08:00:00"), QStringLiteral("8613900000009"), QStringLiteral("新的"), 1};
    QVERIFY(j.Sent(now) > 0);
    m->AddReportRow(MakeReport(now.time, now.number, QStringLiteral("发送"), QStringLiteral("成功"), now.text));
    QCOMPARE(m->rowCount(), 1);
    DbProbe probe(*s);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND")).toInt(), 4);
    m->LoadAll();
    WaitLoaded(*m);
    QCOMPARE(m->rowCount(), 7);
    QCOMPARE(RowStrings(*m, 0), Strings({"2024-03-02 08:00:00", "8613900000009", "发送", "成功", "新的"}));
}

void tst_RecordsModel::loadsInSlicesAndPagesTexts_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<int>("slice");
    QTest::addColumn<int>("page");
    QTest::newRow("sqlite, small slices and pages") << int(DbSettings::Sqlite) << 7 << 5;
    QTest::newRow("sqlite, one slice, large pages") << int(DbSettings::Sqlite) << 1000 << 300;
    QTest::newRow("postgres, small slices and pages") << int(DbSettings::Postgres) << 7 << 5;
}

void tst_RecordsModel::loadsInSlicesAndPagesTexts()
{
    QFETCH(int, slice);
    QFETCH(int, page);
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    Journal j(*s);
    // 120 sent and 80 received records; received times interleave with the sent ones, and
    // some are written out of time order.
    struct Expected
    {
        QString time, number, action, result, text;
    };
    QVector<Expected> all;
    QVERIFY(j.Db().Transaction([&] {
        for (int i = 0; i < 120; ++i) {
            const SendRow r{QStringLiteral("2024-01-01 %1:%2:00").arg(10 + i / 60, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0')),
                            QStringLiteral("86139%1").arg(i, 8, 10, QLatin1Char('0')), QStringLiteral("发送第%1条").arg(i), i % 5 ? 1 : 0};
            if (j.Sent(r) <= 0)
                return false;
            all.append({r.time, r.number, QStringLiteral("发送"), r.state ? QStringLiteral("成功") : QStringLiteral("失败!"), r.text});
        }
        for (int i = 0; i < 80; ++i) {
            const int minute = (i * 37) % 120; // not in the order they are written
            const RecRow r{QStringLiteral("2024-01-01 %1:%2:30").arg(10 + minute / 60, 2, 10, QLatin1Char('0')).arg(minute % 60, 2, 10, QLatin1Char('0')),
                           QStringLiteral("86138%1").arg(i, 8, 10, QLatin1Char('0')), QStringLiteral("收到第%1条").arg(i)};
            if (j.Received(r) <= 0)
                return false;
            all.append({r.time, r.number, QStringLiteral("接收"), QStringLiteral("成功"), r.text});
        }
        return true;
    }));
    std::stable_sort(all.begin(), all.end(), [](const Expected &a, const Expected &b) { return a.time > b.time; });

    auto m = Model(*s);
    m->SetSliceSize(slice);
    m->SetPageSize(page);
    QSignalSpy finished(m.get(), &RecordsModel::loadFinished);
    m->LoadAll();
    if (slice < 200) {
        QVERIFY(m->IsLoading());
        QVERIFY(m->rowCount() < 200);
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QCOMPARE(m->rowCount(), 200);
    // Read from the bottom up and from the middle, so that pages are fetched out of order.
    for (int row : {199, 100, 0, 57, 150}) {
        const Expected &e = all.at(row);
        QCOMPARE(RowStrings(*m, row), QStringList({e.time, e.number, e.action, e.result, e.text}));
    }
    for (int row = 0; row < 200; ++row) {
        const Expected &e = all.at(row);
        QCOMPARE(RowStrings(*m, row), QStringList({e.time, e.number, e.action, e.result, e.text}));
    }

    m->LoadSent();
    WaitLoaded(*m);
    QCOMPARE(m->rowCount(), 120);
    QCOMPARE(m->Row(0).m_strContent, QStringLiteral("发送第119条"));
    QCOMPARE(m->Row(119).m_strContent, QStringLiteral("发送第0条"));
    QCOMPARE(m->Row(119).m_strResult, QStringLiteral("失败"));
    QVERIFY(m_messages.shown.isEmpty());
}

void tst_RecordsModel::reportDuringLoadStaysOnTop()
{
    QTemporaryDir dir;
    const DbSettings s = TestEnv::Sqlite(dir.path());
    Journal j(s);
    QVERIFY(j.Db().Transaction([&] {
        for (int i = 0; i < 50; ++i) {
            if (j.Received({QStringLiteral("2024-01-01 10:00:%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("8613800000000"), QString::number(i)}) <= 0)
                return false;
        }
        return true;
    }));
    auto m = Model(s);
    m->SetSliceSize(10);
    m->LoadReceived();
    QVERIFY(m->IsLoading());
    m->AddReportRow(MakeReport(QStringLiteral("2024-01-02 00:00:00"), QStringLiteral("8613900000000"), QStringLiteral("发送"),
                     QStringLiteral("成功"), QStringLiteral("报告")));
    WaitLoaded(*m);
    QCOMPARE(m->rowCount(), 51);
    QCOMPARE(m->Row(0).m_strContent, QStringLiteral("报告"));
    QCOMPARE(m->Row(1).m_strContent, QStringLiteral("49"));
    QCOMPARE(m->Row(50).m_strContent, QStringLiteral("0"));
}

void tst_RecordsModel::newLoadDuringDeleteQuestionLeavesNothingDeleted()
{
    QTemporaryDir dir;
    const DbSettings s = TestEnv::Sqlite(dir.path());
    Journal j(s);
    QVERIFY(j.Sent({QStringLiteral("2024-03-01 10:00:00"), QStringLiteral("8613900000001"), QStringLiteral("x"), 1}) > 0);
    QVERIFY(j.Received({QStringLiteral("2024-03-01 11:00:00"), QStringLiteral("8613800000001"), QStringLiteral("y")}) > 0);
    auto m = Model(s);
    m->LoadSent();
    WaitLoaded(*m);
    // While the question is open the operator switches to the received view: the row asked
    // about is no longer there, so nothing is deleted.
    m_messages.Clear();
    m_messages.duringShow = [&](const QString &) {
        m->LoadReceived();
        WaitLoaded(*m);
    };
    QVERIFY(!m.list->DeleteRow(0));
    m_messages.duringShow = nullptr;
    DbProbe probe(s);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND")).toInt(), 1);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_REC")).toInt(), 1);
    QCOMPARE(m->rowCount(), 1);
}

void tst_RecordsModel::unreachableDatabaseLeavesAnEmptyUsableList()
{
    QTemporaryDir dir;
    DbSettings s = TestEnv::Sqlite(dir.filePath(QStringLiteral("missing/folder")));
    auto m = Model(s);
    m_messages.Clear();
    m->LoadAll();
    WaitLoaded(*m);
    QCOMPARE(m->rowCount(), 0);
    QVERIFY(!m_messages.shown.isEmpty());
    // Still usable: report rows and clearing work.
    m->AddReportRow(MakeReport(QStringLiteral("2024-01-02 00:00:00"), QStringLiteral("8613900000000"), QStringLiteral("发送"),
                     QStringLiteral("成功"), QStringLiteral("报告")));
    QCOMPARE(m->rowCount(), 1);
    m->ClearRows();
    QCOMPARE(m->rowCount(), 0);
}

// 回执: empty where no report was asked for; a report of a delivery changes the row it names,
// loaded or reported, and adds none.
void tst_RecordsModel::deliveryChangesItsRow()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    Journal j(*s);
    QVERIFY(j.Sent({QStringLiteral("2024-03-01 10:00:00"), QStringLiteral("8613900000001"), QStringLiteral("没要回执"), 1}) > 0);
    const qint64 asked = j.Db().Insert(Sql::SendInsertReported, {-1, QStringLiteral("2024-03-01 10:00:05"), 1,
                                                                QStringLiteral("8613900000002"), QStringLiteral("要回执"),
                                                                QStringLiteral("COM1"), SqlCatalogue::kReportWaiting,
                                                                QStringLiteral("7"), 0, 0, QString(), 1});
    QVERIFY(asked > 0);
    auto m = Model(*s);
    m->LoadSent();
    WaitLoaded(*m);
    QCOMPARE(m->Row(0).m_strReport, QStringLiteral("等待回执"));
    QCOMPARE(m->Row(1).m_strReport, QString());
    QCOMPARE(m->headerData(RecordsModel::ReportColumn, Qt::Horizontal).toString(), QStringLiteral("回执"));
    SmsReport sent = MakeReport(QStringLiteral("2024-03-01 10:00:05"), QStringLiteral("8613900000002"), ReportText::kSend,
                                ReportText::kSuccess, QStringLiteral("要回执"));
    sent.m_nRecordNo = asked;
    sent.m_nDelivery = SqlCatalogue::kReportWaiting;
    m->AddReportRow(sent);
    QCOMPARE(m->rowCount(), 3);

    QSignalSpy changed(m.get(), &QAbstractItemModel::dataChanged);
    SmsReport delivered;
    delivered.m_kind = SmsReport::DeliveryChanged;
    delivered.m_nRecordNo = asked;
    delivered.m_nDelivery = SqlCatalogue::kReportDelivered;
    m->AddReportRow(delivered);
    QCOMPARE(m->rowCount(), 3);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(m->index(0, RecordsModel::ReportColumn).data().toString(), QStringLiteral("已送达"));
    QCOMPARE(m->Row(1).m_strReport, QStringLiteral("已送达"));
    QCOMPARE(m->Row(2).m_strReport, QString());
}

QTEST_MAIN(tst_RecordsModel)
#include "tst_recordsmodel.moc"
