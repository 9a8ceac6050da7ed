// The order dialog offscreen against a SQLite file and PostgreSQL: its buttons are clicked,
// its messages answered by the recording fake, and what it stored is read back.
#include "DbTargets.h"
#include "TestEnv.h"
#include "FakeMessageBox.h"
#include "base/CSettingsFile.h"
#include "base/PersonalTexts.h"
#include "db/CDbAccess.h"
#include "orders/COrderDlg.h"
#include "orders/OrderListModel.h"
#include "orders/OrderStore.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimer>
#include <QtTest>

namespace {

const QString kHint = QStringLiteral("要打开的txt文件以start开始\t\n以end结束,\t\n电话号码换行");

// The dialog with its services: a database, setting.ini in a folder of its own, the fake box
// and a number file reader that hands back what the test put in.
struct Rig
{
    explicit Rig(const DbSettings &s)
        : db([s] { return s; })
        , settings(dir.filePath(QStringLiteral("setting.ini")))
    {
    }
    std::unique_ptr<COrderDlg> Open()
    {
        auto dlg = std::make_unique<COrderDlg>(db, settings, box, [this](const QString &, QStringList *numbers, int *failures) {
            *numbers = fileNumbers;
            *failures = fileFailures;
            return fileValid;
        });
        dlg->SetFileChooser([this](QWidget *) { return chosenFile; });
        tester = std::make_unique<QAbstractItemModelTester>(&dlg->Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        return dlg;
    }
    template<class T> static T *Find(const COrderDlg &dlg, const char *name)
    {
        return dlg.findChild<T *>(QString::fromLatin1(name));
    }
    static void Click(const COrderDlg &dlg, const char *button) { Find<QPushButton>(dlg, button)->click(); }
    static void SetTimes(const COrderDlg &dlg, const QDateTime &start, const QDateTime &end)
    {
        Find<QDateEdit>(dlg, "startDate")->setDate(start.date());
        Find<QTimeEdit>(dlg, "startTime")->setTime(start.time());
        Find<QDateEdit>(dlg, "endDate")->setDate(end.date());
        Find<QTimeEdit>(dlg, "endTime")->setTime(end.time());
    }
    static void Select(const COrderDlg &dlg, int row)
    {
        QTableView *list = Find<QTableView>(dlg, "orderList");
        list->selectionModel()->setCurrentIndex(list->model()->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    void Import(const COrderDlg &dlg, const QStringList &numbers, int failures = 0)
    {
        fileNumbers = numbers;
        fileFailures = failures;
        Click(dlg, "importButton");
    }

    QTemporaryDir dir;
    CDbAccess db;
    CSettingsFile settings;
    FakeMessageBox box;
    QStringList fileNumbers;
    int fileFailures = 0;
    bool fileValid = true;
    QString chosenFile = QStringLiteral("numbers.txt");
    std::unique_ptr<QAbstractItemModelTester> tester;
};

QDateTime At(const QString &text)
{
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Number, start, end and text of a row.
QStringList RowTexts(const COrderDlg &dlg, int row)
{
    QStringList out;
    for (int c : {OrderListModel::IdColumn, OrderListModel::StartColumn, OrderListModel::EndColumn, OrderListModel::TextColumn})
        out << dlg.Model().index(row, c).data().toString();
    return out;
}

} // namespace

class tst_OrderDlg : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }

    void opensWithTheNewestFirst_data() { DbTargets::AddDialectRows(); }
    void opensWithTheNewestFirst();
    void addChecks_data();
    void addChecks();
    void addStoresOrderAndNumbers_data() { DbTargets::AddDialectRows(); }
    void addStoresOrderAndNumbers();
    void importReplacesThePreviousOne();
    void csvImportCarriesTheFields_data() { DbTargets::AddDialectRows(); }
    void csvImportCarriesTheFields();
    void modifyAndDelete_data() { DbTargets::AddDialectRows(); }
    void modifyAndDelete();
    void aClickBringsTheOrderIntoTheFields();
    void listShowsWhatStarted_data() { DbTargets::AddDialectRows(); }
    void listShowsWhatStarted();
    void countStandsApartFromTheCaption();
    void reminderIsWrittenAtOnce();
    void textHoldsAtMost140Bytes();
    void databaseTextShownOnceByTheDialog_data();
    void databaseTextShownOnceByTheDialog();

private:
    DbTargets m_targets;
};

void tst_OrderDlg::opensWithTheNewestFirst()
{
    SKEVO_FRESH_DB(m_targets, s);
    Rig rig(*s);
    OrderStore store(rig.db);
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(store.Add(QStringLiteral("2030-1-%1 9:5").arg(i), QStringLiteral("2030-1-%1 10:0").arg(i),
                           QStringLiteral("order %1").arg(i), {QStringLiteral("13900000000")}),
                 i);
    rig.settings.WriteString(QStringLiteral("Check"), QStringLiteral("Rem"), QStringLiteral("0"));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    auto dlg = rig.Open();
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    QCOMPARE(dlg->windowTitle(), QStringLiteral("短信发送订单管理"));
    QCOMPARE(RowTexts(*dlg, 0), (QStringList{QStringLiteral("3"), QStringLiteral("2030-01-03 09:05:00"),
                                             QStringLiteral("2030-01-03 10:00:00"), QStringLiteral("order 3")}));
    QCOMPARE(dlg->Model().rowCount(), 3);
    QCOMPARE(RowTexts(*dlg, 2).first(), QStringLiteral("1"));
    QTableView *list = Rig::Find<QTableView>(*dlg, "orderList");
    QStringList heads;
    QList<int> widths;
    for (int c = 0; c < dlg->Model().columnCount(); ++c) {
        heads << dlg->Model().headerData(c, Qt::Horizontal).toString();
        widths << list->columnWidth(c);
    }
    QCOMPARE(heads, (QStringList{QStringLiteral("订单编号"), QStringLiteral("开始时间"), QStringLiteral("结束时间"),
                                 QStringLiteral("发送状态"), QStringLiteral("订单内容")}));
    QCOMPARE(widths, (QList<int>{100, 200, 200, 220, 500}));
    for (const char *picker : {"startTime", "endTime"}) {
        const QDateTime shown(Rig::Find<QDateEdit>(*dlg, picker[0] == 's' ? "startDate" : "endDate")->date(),
                              Rig::Find<QTimeEdit>(*dlg, picker)->time());
        QVERIFY(shown >= before.addMSecs(-before.time().msec()) && shown <= after);
    }
    QVERIFY(!Rig::Find<QCheckBox>(*dlg, "reminderCheck")->isChecked());
    QCOMPARE(Rig::Find<QLabel>(*dlg, "byteCount")->text(), QStringLiteral("0 (0条)"));
    QVERIFY(rig.box.shown.isEmpty());
}

void tst_OrderDlg::addChecks_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<bool>("imported");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString t = QStringLiteral("2030-01-01 10:00:00");
    QTest::newRow("end equal to start, and nothing else right") << t << t << false << QString()
                                                               << QStringLiteral("结束时间必须大于开始时间");
    QTest::newRow("end before start") << t << QStringLiteral("2030-01-01 09:59:59") << true << QStringLiteral("x")
                                      << QStringLiteral("结束时间必须大于开始时间");
    QTest::newRow("no numbers imported") << t << QStringLiteral("2030-01-01 10:30:00") << false << QString()
                                         << QStringLiteral("未将号码导入\n请导入");
    QTest::newRow("empty text") << t << QStringLiteral("2030-01-01 10:30:00") << true << QString()
                                << QStringLiteral("订单内容不能为空!\n请填写订单内容");
    QTest::newRow("same minute, end seconds later") << QStringLiteral("2030-01-01 10:00:10")
                                                    << QStringLiteral("2030-01-01 10:00:50") << true << QStringLiteral("x")
                                                    << QStringLiteral("短信订单增加成功!");
    // An order that can never run is refused; one whose start has passed starts late, and says so.
    const QDateTime now = QDateTime::currentDateTime();
    const auto ago = [&now](int hours) { return now.addSecs(-3600 * hours).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); };
    QTest::newRow("end has passed") << ago(2) << ago(1) << true << QStringLiteral("x")
                                    << QStringLiteral("结束时间已过, 订单将不会发送");
    QTest::newRow("start has passed, end ahead")
        << ago(1) << ago(-1) << true << QStringLiteral("x")
        << QStringLiteral("短信订单增加成功!\n开始时间已过: 订单将在下一次检查时开始发送(须已连接短信猫)");
}

// The checks in order; the first that fails is the only message.
void tst_OrderDlg::addChecks()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(bool, imported);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QTemporaryDir dir;
    Rig rig(TestEnv::Sqlite(dir.path()));
    auto dlg = rig.Open();
    if (imported)
        rig.Import(*dlg, {QStringLiteral("8613900000000")});
    rig.box.Clear();
    Rig::SetTimes(*dlg, At(start), At(end));
    Rig::Find<QPlainTextEdit>(*dlg, "orderText")->setPlainText(text);
    Rig::Click(*dlg, "addButton");
    QCOMPARE(rig.box.Texts(), QStringList{message});
    const bool added = message.startsWith(QStringLiteral("短信订单增加成功!"));
    QCOMPARE(dlg->Model().rowCount(), added ? 1 : 0);
    if (added && start.startsWith(QStringLiteral("2030"))) // seconds play no part in what is stored
        QCOMPARE(RowTexts(*dlg, 0).mid(1, 2), (QStringList{QStringLiteral("2030-01-01 10:00:00"), QStringLiteral("2030-01-01 10:00:00")}));
}

void tst_OrderDlg::addStoresOrderAndNumbers()
{
    SKEVO_FRESH_DB(m_targets, s);
    Rig rig(*s);
    OrderStore(rig.db).Add(QStringLiteral("2030-1-1 8:0"), QStringLiteral("2030-1-1 9:0"), QStringLiteral("old"),
                           {QStringLiteral("1")});
    auto dlg = rig.Open();
    const QStringList numbers{QStringLiteral("8613900000002"), QStringLiteral("8613900000001"), QStringLiteral("8613900000003")};
    rig.Import(*dlg, numbers, 1);
    QCOMPARE(rig.box.shown.size(), 2);
    QCOMPARE(rig.box.shown[0].text, kHint);
    QCOMPARE(rig.box.shown[0].caption, QStringLiteral("消息提示"));
    QCOMPARE(rig.box.shown[0].icon, IMessageBox::Information);
    QCOMPARE(rig.box.shown[1].text, QStringLiteral("成功加载了3个,加载失败1个"));

    const QString text = QStringLiteral("it's 订单\n第二行");
    Rig::SetTimes(*dlg, At(QStringLiteral("2030-02-03 04:05:59")), At(QStringLiteral("2030-02-03 05:06:00")));
    Rig::Find<QPlainTextEdit>(*dlg, "orderText")->setPlainText(text);
    rig.box.Clear();
    Rig::Click(*dlg, "addButton");
    QCOMPARE(rig.box.Texts(), QStringList{QStringLiteral("短信订单增加成功!")});
    QCOMPARE(rig.box.shown[0].icon, IMessageBox::Information);
    QCOMPARE(RowTexts(*dlg, 0), (QStringList{QStringLiteral("2"), QStringLiteral("2030-02-03 04:05:00"),
                                             QStringLiteral("2030-02-03 05:06:00"), text}));

    DbProbe probe(*s);
    QCOMPARE(probe.Value(QStringLiteral("SELECT D_CONT FROM T_ORDER WHERE D_ID=2")).toString(), text);
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_NUMBER FROM T_PHONENUMBER WHERE D_ID=2 ORDER BY D_NO")),
             QVariantList(numbers.begin(), numbers.end()));
    // The import went with the order; the text and the times stay for the next one.
    QVERIFY(dlg->ImportedNumbers().isEmpty());
    QCOMPARE(Rig::Find<QPlainTextEdit>(*dlg, "orderText")->toPlainText(), text);
    rig.box.Clear();
    Rig::Click(*dlg, "addButton");
    QCOMPARE(rig.box.Texts(), QStringList{QStringLiteral("未将号码导入\n请导入")});

    // A new dialog lists it as stored.
    auto again = rig.Open();
    QCOMPARE(RowTexts(*again, 0), RowTexts(*dlg, 0));
}

void tst_OrderDlg::importReplacesThePreviousOne()
{
    QTemporaryDir dir;
    Rig rig(TestEnv::Sqlite(dir.path()));
    auto dlg = rig.Open();
    rig.Import(*dlg, {QStringLiteral("861"), QStringLiteral("862")});
    rig.Import(*dlg, {QStringLiteral("863")}, 2);
    QCOMPARE(dlg->ImportedNumbers(), QStringList{QStringLiteral("863")});
    QCOMPARE(rig.box.Last(), QStringLiteral("成功加载了1个,加载失败2个"));
    // Cancelled: only the hint, the import stays.
    rig.box.Clear();
    rig.chosenFile.clear();
    rig.Import(*dlg, {});
    QCOMPARE(rig.box.Texts(), QStringList{kHint});
    QCOMPARE(dlg->ImportedNumbers(), QStringList{QStringLiteral("863")});
    // Not a number file: the import is gone.
    rig.chosenFile = QStringLiteral("bad.txt");
    rig.fileValid = false;
    rig.Import(*dlg, {});
    QCOMPARE(rig.box.Last(), QStringLiteral("该文件无效"));
    QVERIFY(dlg->ImportedNumbers().isEmpty());
}

// A CSV file is read with its columns, whatever reader the window was given for number
// files; a text is checked against them on adding and on changing the order.
void tst_OrderDlg::csvImportCarriesTheFields()
{
    SKEVO_FRESH_DB(m_targets, s);
    Rig rig(*s);
    auto dlg = rig.Open();
    QFile csv(rig.dir.filePath(QStringLiteral("bills.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write(QStringLiteral("号码,金额\n13900000001,12.50\n13900000001,9\n13900000002,3\n").toUtf8());
    csv.close();
    rig.chosenFile = csv.fileName();
    rig.fileValid = false; // the reader of number files is not asked
    rig.Import(*dlg, {});
    QCOMPARE(rig.box.Last(), QStringLiteral("成功加载了2个,加载失败0个"));
    QCOMPARE(dlg->ImportedNumbers(), (QStringList{QStringLiteral("8613900000001"), QStringLiteral("8613900000002")}));

    Rig::SetTimes(*dlg, At(QStringLiteral("2030-02-03 04:05:00")), At(QStringLiteral("2030-02-03 05:06:00")));
    auto *text = Rig::Find<QPlainTextEdit>(*dlg, "orderText");
    text->setPlainText(QStringLiteral("{名字}: {日期}"));
    rig.box.Clear();
    Rig::Click(*dlg, "addButton");
    QCOMPARE(rig.box.Texts(), QStringList{QStringLiteral("未知的字段: {日期}")});
    text->setPlainText(QStringLiteral("{名字}: {金额}元"));
    rig.box.Clear();
    Rig::Click(*dlg, "addButton");
    QCOMPARE(rig.box.Texts(), QStringList{QStringLiteral("短信订单增加成功!")});
    DbProbe probe(*s);
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_FIELDS FROM T_PHONENUMBER ORDER BY D_NO")).size(), 2);
    QCOMPARE(RecipientFields::Decode(probe.Value(QStringLiteral("SELECT D_FIELDS FROM T_PHONENUMBER ORDER BY D_NO")).toString())
                 .value(QStringLiteral("金额")),
             QStringLiteral("12.50"));

    // The order keeps its numbers and their columns: a change is checked against them.
    Rig::Select(*dlg, 0);
    text->setPlainText(QStringLiteral("{金额} {日期}"));
    rig.box.Clear();
    Rig::Click(*dlg, "modifyButton");
    QCOMPARE(rig.box.Texts(), QStringList{QStringLiteral("未知的字段: {日期}")});
    text->setPlainText(QStringLiteral("{金额}"));
    rig.box.Clear();
    Rig::Click(*dlg, "modifyButton");
    QCOMPARE(rig.box.Texts(), QStringList{QStringLiteral("短信订单修改成功!")});
}

void tst_OrderDlg::modifyAndDelete()
{
    SKEVO_FRESH_DB(m_targets, s);
    Rig rig(*s);
    OrderStore store(rig.db);
    for (int i = 1; i <= 2; ++i)
        store.Add(QStringLiteral("2030-1-1 8:0"), QStringLiteral("2030-1-1 9:0"), QStringLiteral("t%1").arg(i),
                  {QStringLiteral("8613900000001"), QStringLiteral("8613900000002")});
    auto dlg = rig.Open();

    Rig::Click(*dlg, "deleteButton");
    Rig::Click(*dlg, "modifyButton");
    QCOMPARE(rig.box.Texts(), (QStringList{QStringLiteral("请选择要删除的订单"), QStringLiteral("请选择要修改的订单")}));
    QCOMPARE(rig.box.shown[0].caption, QStringLiteral("提示"));
    QCOMPARE(rig.box.shown[0].icon, IMessageBox::Critical);

    // Order 1 (the second row) gets new times and text and keeps its number and numbers.
    rig.box.Clear();
    Rig::Select(*dlg, 1);
    Rig::SetTimes(*dlg, At(QStringLiteral("2031-05-06 07:08:00")), At(QStringLiteral("2031-05-06 08:00:00")));
    Rig::Find<QPlainTextEdit>(*dlg, "orderText")->setPlainText(QStringLiteral("changed"));
    Rig::Click(*dlg, "modifyButton");
    QCOMPARE(rig.box.Texts(), QStringList{QStringLiteral("短信订单修改成功!")});
    QCOMPARE(RowTexts(*dlg, 1), (QStringList{QStringLiteral("1"), QStringLiteral("2031-05-06 07:08:00"),
                                             QStringLiteral("2031-05-06 08:00:00"), QStringLiteral("changed")}));
    DbProbe probe(*s);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_PHONENUMBER WHERE D_ID=1")).toInt(), 2);

    // Deleting order 2 (the first row) takes its numbers and its start record with it.
    QVERIFY(probe.Exec(QStringLiteral("INSERT INTO T_ORDERSTART(D_ID,D_START,D_TIME,D_BY) VALUES(2,'2030-01-01 08:00:00','2030-01-01 08:00:00','x')")));
    rig.box.Clear();
    Rig::Select(*dlg, 0);
    Rig::Click(*dlg, "deleteButton");
    QCOMPARE(rig.box.Texts(), QStringList{QStringLiteral("删除订单成功!")});
    QCOMPARE(dlg->Model().rowCount(), 1);
    QCOMPARE(RowTexts(*dlg, 0).first(), QStringLiteral("1"));
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_ID FROM T_ORDER")), QVariantList{1});
    QCOMPARE(probe.Column(QStringLiteral("SELECT DISTINCT D_ID FROM T_PHONENUMBER")), QVariantList{1});
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_ORDERSTART")).toInt(), 0);
    // The selection went with the row.
    rig.box.Clear();
    Rig::Click(*dlg, "deleteButton");
    QCOMPARE(rig.box.Texts(), QStringList{QStringLiteral("请选择要删除的订单")});
}

// One click on an order shows its times and text, and "修改(&S)" then changes only what the
// operator changed.
void tst_OrderDlg::aClickBringsTheOrderIntoTheFields()
{
    QTemporaryDir dir;
    Rig rig(TestEnv::Sqlite(dir.path()));
    OrderStore store(rig.db);
    store.Add(QStringLiteral("2030-1-1 8:0"), QStringLiteral("2030-1-1 9:0"), QStringLiteral("first"), {QStringLiteral("1")});
    store.Add(QStringLiteral("2030-2-2 10:30"), QStringLiteral("2030-2-2 12:0"), QStringLiteral("second"), {QStringLiteral("2")});
    auto dlg = rig.Open();
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    QTableView *list = Rig::Find<QTableView>(*dlg, "orderList");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualRect(list->model()->index(1, 1)).center());
    QPlainTextEdit *text = Rig::Find<QPlainTextEdit>(*dlg, "orderText");
    QCOMPARE(text->toPlainText(), QStringLiteral("first"));
    QCOMPARE(QDateTime(Rig::Find<QDateEdit>(*dlg, "startDate")->date(), Rig::Find<QTimeEdit>(*dlg, "startTime")->time()),
             At(QStringLiteral("2030-01-01 08:00:00")));
    QCOMPARE(QDateTime(Rig::Find<QDateEdit>(*dlg, "endDate")->date(), Rig::Find<QTimeEdit>(*dlg, "endTime")->time()),
             At(QStringLiteral("2030-01-01 09:00:00")));
    text->setPlainText(QStringLiteral("first, changed"));
    Rig::Click(*dlg, "modifyButton");
    QCOMPARE(rig.box.Texts(), QStringList{QStringLiteral("短信订单修改成功!")});
    QCOMPARE(RowTexts(*dlg, 1), (QStringList{QStringLiteral("1"), QStringLiteral("2030-01-01 08:00:00"),
                                             QStringLiteral("2030-01-01 09:00:00"), QStringLiteral("first, changed")}));
    // The arrow keys pick the other one the same way.
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(text->toPlainText(), QStringLiteral("second"));
}

// The list says which orders have started and when, and learns of a start while it is open.
void tst_OrderDlg::listShowsWhatStarted()
{
    SKEVO_FRESH_DB(m_targets, s);
    Rig rig(*s);
    OrderStore store(rig.db);
    const QString ahead = QDateTime::currentDateTime().addDays(1).toString(QStringLiteral("yyyy-MM-dd HH:mm:00"));
    const QString later = QDateTime::currentDateTime().addDays(2).toString(QStringLiteral("yyyy-MM-dd HH:mm:00"));
    store.Add(QStringLiteral("2020-1-1 8:0"), QStringLiteral("2020-1-1 9:0"), QStringLiteral("ran"), {QStringLiteral("1")});
    store.Add(QStringLiteral("2020-1-2 8:0"), QStringLiteral("2020-1-2 9:0"), QStringLiteral("missed"), {QStringLiteral("2")});
    store.Add(ahead, later, QStringLiteral("to come"), {QStringLiteral("3")});
    DbProbe probe(*s);
    const auto claim = [&probe](int id, const QString &start, const QString &time) {
        return probe.Exec(QStringLiteral("INSERT INTO T_ORDERSTART(D_ID,D_START,D_TIME,D_BY) VALUES(%1,'%2','%3','x')").arg(id).arg(start, time));
    };
    QVERIFY(claim(1, QStringLiteral("2020-01-01 08:00:00"), QStringLiteral("2020-01-01 08:00:02")));
    QVERIFY(claim(2, QStringLiteral("2019-12-31 08:00:00"), QStringLiteral("2019-12-31 08:00:01"))); // an earlier start of it
    auto dlg = rig.Open();
    const auto states = [&dlg] {
        QStringList out;
        for (int row = 0; row < dlg->Model().rowCount(); ++row)
            out << dlg->Model().index(row, OrderListModel::StateColumn).data().toString();
        return out;
    };
    QCOMPARE(states(), (QStringList{QStringLiteral("未开始"), QStringLiteral("未发送 (结束时间已过)"),
                                    QStringLiteral("已开始 2020-01-01 08:00:02")}));
    QVERIFY(claim(3, ahead, QStringLiteral("2030-01-01 00:00:00")));
    dlg->findChild<QTimer *>(QStringLiteral("startsTimer"))->setInterval(10);
    QTRY_COMPARE(states().first(), QStringLiteral("已开始 2030-01-01 00:00:00"));
    QVERIFY(rig.box.shown.isEmpty());
}

// "字数:" and its count stand apart from the caption of the times beside them.
void tst_OrderDlg::countStandsApartFromTheCaption()
{
    QTemporaryDir dir;
    Rig rig(TestEnv::Sqlite(dir.path()));
    auto dlg = rig.Open();
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    QLabel *count = Rig::Find<QLabel>(*dlg, "byteCount");
    QWidget *times = Rig::Find<QWidget>(*dlg, "timesBox");
    const int countEnd = count->mapTo(dlg.get(), QPoint(count->fontMetrics().horizontalAdvance(count->text()), 0)).x();
    const int captionStart = times->mapTo(dlg.get(), QPoint(0, 0)).x();
    QVERIFY2(captionStart - countEnd >= 2 * count->fontMetrics().horizontalAdvance(QStringLiteral("字")),
             qPrintable(QStringLiteral("%1 .. %2").arg(countEnd).arg(captionStart)));
}

void tst_OrderDlg::reminderIsWrittenAtOnce()
{
    QTemporaryDir dir;
    Rig rig(TestEnv::Sqlite(dir.path()));
    auto dlg = rig.Open();
    QCheckBox *check = Rig::Find<QCheckBox>(*dlg, "reminderCheck");
    QCOMPARE(check->text(), QStringLiteral("当有订单发送时间到时,弹出确认框提醒"));
    QVERIFY(check->isChecked()); // no key: on
    check->click();
    QCOMPARE(rig.settings.ReadString(QStringLiteral("Check"), QStringLiteral("Rem"), QString()), QStringLiteral("0"));
    check->click();
    QCOMPARE(rig.settings.ReadString(QStringLiteral("Check"), QStringLiteral("Rem"), QString()), QStringLiteral("1"));
    check->click();
    Rig::Click(*dlg, "cancelButton");
    QCOMPARE(rig.settings.ReadString(QStringLiteral("Check"), QStringLiteral("Rem"), QString()), QStringLiteral("0"));
}

void tst_OrderDlg::textHoldsAtMost140Bytes()
{
    QTemporaryDir dir;
    Rig rig(TestEnv::Sqlite(dir.path()));
    auto dlg = rig.Open();
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    QPlainTextEdit *edit = Rig::Find<QPlainTextEdit>(*dlg, "orderText");
    QLabel *count = Rig::Find<QLabel>(*dlg, "byteCount");
    QTest::keyClicks(edit, QStringLiteral("ab"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(count->text(), QStringLiteral("3 (1条)")); // a line break is the one LF sent
    edit->clear();
    const QString full = QString(70, QChar(0x6c49)); // 汉: two bytes each
    edit->insertPlainText(full);
    QCOMPARE(count->text(), QStringLiteral("140 (1条)"));
    QTest::keyClicks(edit, QStringLiteral("a"));
    edit->insertPlainText(QStringLiteral("汉"));
    QCOMPARE(edit->toPlainText(), full);
    QCOMPARE(count->text(), QStringLiteral("140 (1条)"));
}

QTEST_MAIN(tst_OrderDlg)
#include "tst_orderdlg.moc"

void tst_OrderDlg::databaseTextShownOnceByTheDialog_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("table");  // dropped before the button, or before the opening
    QTest::addColumn<QString>("button"); // "" the opening
    QTest::addColumn<QString>("then");   // the dialog's own text after the database's
    const struct { const char *name; const char *table; const char *button; const char *then; } rows[] = {
        {"opening", "T_ORDER", "", ""},
        {"add", "T_PHONENUMBER", "addButton", "插入数据出错,请查看是否以连接数据库"},
        {"modify", "T_ORDER", "modifyButton", "SQL数据库错误!"},
        {"delete", "T_ORDERSTART", "deleteButton", "SQL数据库错误!"},
    };
    for (const auto &r : rows) {
        for (const auto dialect : {DbSettings::Sqlite, DbSettings::Postgres}) {
            QTest::addRow("%s %s", r.name, dialect == DbSettings::Sqlite ? "sqlite" : "postgres")
                << int(dialect) << QString::fromLatin1(r.table) << QString::fromLatin1(r.button) << QString::fromUtf8(r.then);
        }
    }
}

// What the database said of a failed statement is shown by the dialog once, before its own
// text, with no error sink on the connection.
void tst_OrderDlg::databaseTextShownOnceByTheDialog()
{
    QFETCH(QString, table);
    QFETCH(QString, button);
    QFETCH(QString, then);
    SKEVO_FRESH_DB(m_targets, s);
    Rig rig(*s);
    QVERIFY(OrderStore(rig.db).Add(QStringLiteral("2030-1-1 8:0"), QStringLiteral("2030-1-1 9:0"), QStringLiteral("t"),
                                   {QStringLiteral("8613900000001")}) > 0);
    DbProbe probe(*s);
    const QString drop = QStringLiteral("DROP TABLE ") + table;
    if (button.isEmpty())
        QVERIFY2(probe.Exec(drop), qPrintable(probe.Error()));
    auto dlg = rig.Open();
    if (!button.isEmpty()) {
        QVERIFY2(probe.Exec(drop), qPrintable(probe.Error()));
        rig.Import(*dlg, {QStringLiteral("8613900000002")});
        Rig::Select(*dlg, 0);
        Rig::SetTimes(*dlg, At(QStringLiteral("2031-05-06 07:08:00")), At(QStringLiteral("2031-05-06 08:00:00")));
        Rig::Find<QPlainTextEdit>(*dlg, "orderText")->setPlainText(QStringLiteral("changed"));
        rig.box.Clear();
        Rig::Click(*dlg, button.toLatin1().constData());
    }
    QCOMPARE(rig.box.shown.size(), then.isEmpty() ? 1 : 2);
    QVERIFY2(rig.box.shown.at(0).text.contains(table, Qt::CaseInsensitive), qPrintable(rig.box.shown.at(0).text));
    QVERIFY2(SaysWhatFailed(rig.box.shown.at(0).text), qPrintable(rig.box.shown.at(0).text));
    QCOMPARE(rig.box.shown.at(0).icon, IMessageBox::NoIcon);
    if (!then.isEmpty())
        QCOMPARE(rig.box.Last(), then);
}
