// The main window's side of the orders: its minute check over the simulated modem (question,
// status text, progress bar, journal rows with the order's number) and the "订单管理" command.
#include "DbTargets.h"
#include "ModemSimulator.h"
#include "WindowKit.h"
#include "app/CMainFrame.h"
#include "db/SqlCatalogue.h"
#include "orders/COrderDlg.h"
#include "orders/OrderStore.h"
#include "records/CMyList.h"
#include "send/CSkevoView.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QtTest>

namespace {
// A main window connected to a simulated modem, with the reminder switch as given.
struct ConnectedFrame
{
    explicit ConnectedFrame(const QString &rem)
    {
        place.app.Settings().WriteString(QStringLiteral("Check"), QStringLiteral("Rem"), rem);
        if (sim.Start()) {
            frame.Link().SetPortOverride(sim.DevicePath());
            frame.OnConnect();
        }
    }
    // An order of numbers starting at start's minute and ending ten minutes later.
    int AddOrder(const QDateTime &start, const QStringList &numbers)
    {
        const QString format = QStringLiteral("yyyy-MM-dd HH:mm");
        return OrderStore(place.app.Db()).Add(start.toString(format), start.addSecs(600).toString(format),
                                              QStringLiteral("订单"), numbers);
    }
    FramePlace place;
    CMainFrame frame{place.app, place.messages, place.ring, &place.profile};
    ModemSimulator sim;
};
} // namespace

class tst_OrderFrame : public QObject
{
    Q_OBJECT
private slots:
    void dueOrderCheck_data();
    void dueOrderCheck();
    void ordersCommandOpensTheDialog();
    void largeOrderKeepsTheWindowGoing();
    void databaseComplaintHoldsNoCheck();
};

void tst_OrderFrame::dueOrderCheck_data()
{
    QTest::addColumn<QString>("rem");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("sent");
    QTest::newRow("Rem 1, OK") << QStringLiteral("1") << true << true << true;
    QTest::newRow("Rem 1, Cancel") << QStringLiteral("1") << false << true << false;
    QTest::newRow("Rem 0") << QStringLiteral("0") << false << false << true;
}

void tst_OrderFrame::dueOrderCheck()
{
    QFETCH(QString, rem);
    QFETCH(bool, ok);
    QFETCH(bool, asked);
    QFETCH(bool, sent);
    ConnectedFrame connected(rem);
    QVERIFY(connected.frame.IsConnected());
    FramePlace &place = connected.place;
    CMainFrame &frame = connected.frame;
    const QDateTime next = QDateTime::currentDateTime().addSecs(60);
    const QStringList numbers{QStringLiteral("8613900000001"), QStringLiteral("8613900000002"), QStringLiteral("13900000003")};
    const int id = connected.AddOrder(next, numbers);
    QVERIFY(id > 0);
    place.messages.answers.enqueue(ok ? IMessageBox::AnswerOk : IMessageBox::AnswerCancel);
    QLabel *status = frame.findChild<QLabel *>(QStringLiteral("paneMessage"));
    QProgressBar *progress = frame.View().ProgressBar();
    frame.View().ShowRun(RunTally{9, RunTally::State::Sending, 7, 5, 0, 0}); // another run's place

    frame.CheckDueOrder(next);
    QCOMPARE(place.messages.shown.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(place.messages.shown[0].text, QStringLiteral("短信订单发送时间到,是否现在发送?\t\n如果不想再提醒,请在订单管理里设置"));
        QCOMPARE(place.messages.shown[0].caption, QStringLiteral("短信订单提醒"));
        QCOMPARE(place.messages.shown[0].icon, IMessageBox::Question);
        QCOMPARE(place.messages.shown[0].buttons, IMessageBox::OkCancel);
    }
    if (!sent) {
        QCOMPARE(status->text(), QStringLiteral("就绪"));
        QCOMPARE(progress->value(), 5);
        QCOMPARE(place.app.Queue().QueuedCount(), 0);
        return;
    }
    QCOMPARE(status->text(), QStringLiteral("发送时间到"));
    QCOMPARE(progress->maximum(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(progress->value(), 3, 30000);
    QCOMPARE(frame.List().model()->rowCount(), 3);
    frame.OnDisconnect();
    RecordsetPtr rs = place.app.Db().OpenRecordsetText(QStringLiteral("SELECT D_SENDNUM FROM T_SEND ORDER BY D_NO"));
    QStringList journalled;
    for (; !rs->IsEOF(); rs->MoveNext())
        journalled << rs->GetFieldText(QStringLiteral("D_SENDNUM"));
    QCOMPARE(journalled, numbers); // as stored: no "86" put in front of the third
    QCOMPARE(place.app.Db().OpenRecordsetText(QStringLiteral("SELECT COUNT(*) AS NUM FROM T_SEND WHERE D_ID=?"), {id})
                 ->GetFieldText(0),
             QStringLiteral("3"));
}

void tst_OrderFrame::ordersCommandOpensTheDialog()
{
    FramePlace place;
    CMainFrame frame(place.app, place.messages, place.ring, &place.profile);
    QAction *orders = frame.findChild<QAction *>(QStringLiteral("actionOrders"));
    QVERIFY(orders->isEnabled());
    QString title;
    QTimer::singleShot(0, this, [&] {
        auto *dlg = qobject_cast<COrderDlg *>(QApplication::activeModalWidget());
        QVERIFY(dlg);
        title = dlg->windowTitle();
        dlg->reject();
    });
    orders->trigger();
    QCOMPARE(title, QStringLiteral("短信发送订单管理"));
}

// An order of several statements' worth: the window's timers run while it is queued; a
// complaint of the worker and a close asked for meanwhile wait until every message is queued
// and kept (the close then asks, the run going, and is answered Yes).
void tst_OrderFrame::largeOrderKeepsTheWindowGoing()
{
    ConnectedFrame connected(QStringLiteral("0"));
    QVERIFY(connected.frame.IsConnected());
    FramePlace &place = connected.place;
    CMainFrame &frame = connected.frame;
    const QDateTime next = QDateTime::currentDateTime().addSecs(60);
    QStringList numbers;
    for (int i = 0; i < 2 * SqlCatalogue::kOutboxBatch + 1; ++i)
        numbers << QStringLiteral("86137%1").arg(i, 8, 10, QLatin1Char('0'));
    QVERIFY(connected.AddOrder(next, numbers) > 0);
    int ticks = 0;
    qsizetype shownWhileQueueing = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        ++ticks;
        shownWhileQueueing = qMax(shownWhileQueueing, place.messages.shown.size());
    });
    ticker.start(0);
    const QString complaint = QStringLiteral("短信猫没有响应");
    QTimer::singleShot(0, &place.app.Queue(), [&] { emit place.app.Queue().errorEvent({OutboxError::Kind::Database, complaint}); });
    int queuedAtClose = -1;
    connect(&frame, &CMainFrame::closed, this, [&] { queuedAtClose = place.app.Queue().QueuedCount(); });
    QTimer::singleShot(0, &frame, &QWidget::close);
    place.messages.answers.enqueue(IMessageBox::AnswerOk);
    place.messages.answers.enqueue(IMessageBox::AnswerYes);

    frame.CheckDueOrder(next);
    QVERIFY(ticks > 0);
    QCOMPARE(shownWhileQueueing, 0);
    QCOMPARE(place.messages.Texts(), (QStringList{complaint, QStringLiteral("正在发送, 确定要退出吗?")}));
    QVERIFY2(queuedAtClose > 0, qPrintable(QString::number(queuedAtClose)));
    QCOMPARE(frame.View().ProgressBar()->maximum(), int(numbers.size()));
    const auto count = [&](const char *table) {
        return place.app.Db().OpenRecordsetText(QStringLiteral("SELECT COUNT(*) AS NUM FROM ") + QLatin1String(table))->GetFieldText(0).toInt();
    };
    QCOMPARE(count("T_OUTBOX") + count("T_SEND"), int(numbers.size()));
}

// What the database said of a failed start is shown once the check is over: while its box
// waits for the operator, the next minute's check runs and starts the order.
void tst_OrderFrame::databaseComplaintHoldsNoCheck()
{
    ConnectedFrame connected(QStringLiteral("0"));
    QVERIFY(connected.frame.IsConnected());
    FramePlace &place = connected.place;
    const QDateTime next = QDateTime::currentDateTime().addSecs(60);
    QVERIFY(connected.AddOrder(next, {QStringLiteral("8613900000001")}) > 0);
    DbProbe probe(place.app.ReadDbSettings());
    QVERIFY(probe.Exec(QStringLiteral("ALTER TABLE T_PHONENUMBER RENAME TO T_AWAY")));
    QLabel *status = connected.frame.findChild<QLabel *>(QStringLiteral("paneMessage"));
    QString statusMeanwhile;
    place.messages.duringShow = [&](const QString &) {
        if (!statusMeanwhile.isEmpty())
            return;
        QVERIFY(probe.Exec(QStringLiteral("ALTER TABLE T_AWAY RENAME TO T_PHONENUMBER")));
        connected.frame.CheckDueOrder(next.addSecs(60)); // the timer, while the box is open
        statusMeanwhile = status->text();
    };
    connected.frame.CheckDueOrder(next);
    QCOMPARE(place.messages.shown.size(), 1);
    QVERIFY2(place.messages.shown[0].text.contains(QStringLiteral("T_PHONENUMBER"), Qt::CaseInsensitive),
             qPrintable(place.messages.shown[0].text));
    QCOMPARE(statusMeanwhile, QStringLiteral("发送时间到"));
}

QTEST_MAIN(tst_OrderFrame)
#include "tst_orderframe.moc"
