// The records list window: its look, its context menu, and its commands on the selection mark.
#include "FakeMessageBox.h"
#include "Journal.h"
#include "TestEnv.h"
#include "db/CDbAccess.h"
#include "records/CMyList.h"
#include "records/RecordsModel.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QScrollBar>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

class tst_MyList : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void columnsAndLook();
    void lastColumnFillsTheWidth();
    void contextMenuEntries_data();
    void contextMenuEntries();
    void contextMenuPromptsInTheStatusBar_data();
    void contextMenuPromptsInTheStatusBar();
    void commandsActOnTheSelectionMark();
    void deleteWithoutSelectionMark();
    void deleteAfterDeleteNeedsANewSelection();
    void goToEntriesLoadTheirViews();
    void rowsShowTheirPictures();
    void newRowsKeepTheReadRowsStill();

private:
    QAction *Action(CMyList &list, const char *name)
    {
        return list.findChild<QAction *>(QString::fromLatin1(name));
    }
    std::unique_ptr<CMyList> List()
    {
        const DbSettings s = m_settings;
        auto list = std::make_unique<CMyList>([s] { return s; }, m_messages);
        new QAbstractItemModelTester(&list->Model(), QAbstractItemModelTester::FailureReportingMode::QtTest, list.get());
        list->resize(900, 300);
        list->InitialUpdate();
        if (!QTest::qWaitFor([&] { return !list->Model().IsLoading(); }, 10000))
            return nullptr;
        return list;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    DbSettings m_settings;
    FakeMessageBox m_messages;
};

void tst_MyList::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = TestEnv::Sqlite(m_dir->path());
    Journal j(m_settings);
    QVERIFY(j.Sent({QStringLiteral("2024-03-01 10:00:00"), QStringLiteral("8613900000001"), QStringLiteral("发出的"), 1}) > 0);
    QVERIFY(j.Received({QStringLiteral("2024-03-01 11:00:00"), QStringLiteral("8613800000001"), QStringLiteral("收到的")}) > 0);
    m_messages.Clear();
}

void tst_MyList::columnsAndLook()
{
    auto list = List();
    QVERIFY(list);
    QCOMPARE(list->objectName(), QStringLiteral("recordsList"));
    QCOMPARE(list->Model().rowCount(), 2); // the all view at start
    // The laid-out widths, or more where the font needs it for a whole time or number.
    const int widths[] = {150, 100, 100, 100, 500};
    for (int c = 0; c < 5; ++c)
        QVERIFY(list->columnWidth(c) >= widths[c]);
    for (int c = 2; c < 5; ++c)
        QCOMPARE(list->columnWidth(c), widths[c]);
    const QFontMetrics fm = list->fontMetrics();
    QVERIFY(list->columnWidth(0) > fm.horizontalAdvance(QStringLiteral("2024-03-01 10:00:00")) + 16);
    QVERIFY(list->columnWidth(1) > fm.horizontalAdvance(QStringLiteral("8613800000001")));
    QCOMPARE(list->model()->headerData(5, Qt::Horizontal).toString(), QStringLiteral("回执"));
    QCOMPARE(list->model()->headerData(6, Qt::Horizontal).toString(), QStringLiteral("短信猫"));
    QVERIFY(list->columnWidth(6) > fm.horizontalAdvance(QStringLiteral("/dev/ttyUSB10")));
    QVERIFY(list->showGrid());
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(list->verticalHeader()->isHidden());
}

// No empty strip right of the last column (the modem's): the content column takes what the
// others leave, and never less than its laid-out 500 pixels.
void tst_MyList::lastColumnFillsTheWidth()
{
    auto list = List();
    QVERIFY(list);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    for (int width : {1500, 1800, 900}) {
        list->resize(width, 300);
        const int others = list->columnViewportPosition(3) + list->columnWidth(3) + list->columnWidth(5)
            + list->columnWidth(6);
        QTRY_COMPARE(list->columnViewportPosition(6) + list->columnWidth(6),
                     std::max(list->viewport()->width(), others + 500));
        QVERIFY(list->columnWidth(4) >= 500);
    }
    QCOMPARE(list->columnWidth(4), 500); // narrower than all columns: the laid-out width
}

void tst_MyList::contextMenuEntries_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("reply") << "actionReply" << "发送/回复(&S)" << "发送/回复" << true;
    QTest::newRow("opt-out") << "actionOptOut" << "加入黑名单(&B)" << "把这个号码加入黑名单, 群发时跳过" << true;
    QTest::newRow("delete") << "actionDelete" << "永远删除这条记录(&D)" << "永远删除这条记录" << true;
    QTest::newRow("clear") << "actionClear" << "清空列表(&R)" << "清空列表" << true;
    QTest::newRow("received") << "actionLoadReceived" << "收信记录(&R)" << "收信记录" << true;
    QTest::newRow("sent") << "actionLoadSent" << "发信记录(&S)" << "发信记录" << true;
    QTest::newRow("all") << "actionLoadAll" << "显示全部(&A)" << "显示全部" << true;
    QTest::newRow("query") << "actionQuery" << "查询短信记录(&F)" << "查询短信记录" << true;
    QTest::newRow("export") << "actionExport" << "导出(&E)" << "导出" << true;
    QTest::newRow("resend failed") << "actionResendFailed" << "重发失败(&W)" << "重发选中记录中发送失败的短信" << true;
}

void tst_MyList::contextMenuEntries()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, prompt);
    QFETCH(bool, enabled);
    auto list = List();
    QVERIFY(list);
    QAction *a = list->findChild<QAction *>(name);
    QVERIFY(a);
    QCOMPARE(a->text(), text);
    QCOMPARE(a->statusTip(), prompt);
    QCOMPARE(a->isEnabled(), enabled);

    // The order of the popup: four entries, a separator, the submenu, then query, export and
    // 重发失败.
    const QList<QAction *> top = list->ContextMenu()->actions();
    QCOMPARE(top.size(), 9);
    QCOMPARE(top.at(0)->objectName(), QStringLiteral("actionReply"));
    QCOMPARE(top.at(1)->objectName(), QStringLiteral("actionOptOut"));
    QCOMPARE(top.at(2)->objectName(), QStringLiteral("actionDelete"));
    QCOMPARE(top.at(3)->objectName(), QStringLiteral("actionClear"));
    QVERIFY(top.at(4)->isSeparator());
    QVERIFY(top.at(5)->menu());
    QCOMPARE(top.at(5)->text(), QStringLiteral("转到(&T)"));
    QCOMPARE(top.at(6)->objectName(), QStringLiteral("actionQuery"));
    QCOMPARE(top.at(7)->objectName(), QStringLiteral("actionExport"));
    QCOMPARE(top.at(8)->objectName(), QStringLiteral("actionResendFailed"));
    const QList<QAction *> go = top.at(5)->menu()->actions();
    QCOMPARE(go.size(), 4);
    QCOMPARE(go.at(0)->objectName(), QStringLiteral("actionLoadReceived"));
    QCOMPARE(go.at(1)->objectName(), QStringLiteral("actionLoadSent"));
    QVERIFY(go.at(2)->isSeparator());
    QCOMPARE(go.at(3)->objectName(), QStringLiteral("actionLoadAll"));
}

void tst_MyList::contextMenuPromptsInTheStatusBar_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<bool>("inSubmenu");
    // Entries not yet enabled cannot be highlighted, as in the menu bar's menus.
    QTest::newRow("delete") << "actionDelete" << "永远删除这条记录" << false;
    QTest::newRow("clear") << "actionClear" << "清空列表" << false;
    QTest::newRow("received, in the submenu") << "actionLoadReceived" << "收信记录" << true;
    QTest::newRow("sent, in the submenu") << "actionLoadSent" << "发信记录" << true;
    QTest::newRow("all, in the submenu") << "actionLoadAll" << "显示全部" << true;
}

// The list sits in a main window, as in the program: the entry under the mouse puts its
// prompt into the window's status bar, and closing the menu takes it away.
void tst_MyList::contextMenuPromptsInTheStatusBar()
{
    QFETCH(QString, name);
    QFETCH(QString, prompt);
    QFETCH(bool, inSubmenu);
    QMainWindow window;
    window.statusBar()->showMessage(QString());
    auto owned = List();
    QVERIFY(owned);
    CMyList *list = owned.release();
    window.setCentralWidget(list);
    window.resize(900, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QMenu *menu = list->ContextMenu();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20), list->viewport()->mapToGlobal(QPoint(20, 20)));
    QCoreApplication::sendEvent(list->viewport(), &event);
    QTRY_VERIFY(menu->isVisible());
    QMenu *holder = menu;
    if (inSubmenu) {
        QAction *go = menu->actions().at(5);
        QTest::mouseMove(menu, menu->actionGeometry(go).center());
        holder = go->menu();
        QTRY_VERIFY(holder->isVisible());
    }
    QAction *a = list->findChild<QAction *>(name);
    QVERIFY(a);
    QTest::mouseMove(holder, holder->actionGeometry(a).center());
    QTRY_COMPARE(window.statusBar()->currentMessage(), prompt);

    menu->close();
    QTRY_VERIFY(!menu->isVisible());
    QTRY_COMPARE(window.statusBar()->currentMessage(), QString());
}

void tst_MyList::commandsActOnTheSelectionMark()
{
    auto list = List();
    QVERIFY(list);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    // Click the second row: it becomes the selection mark.
    const QRect second = list->visualRect(list->model()->index(1, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(list->SelectionMark(), 1);
    const QString kept = list->Model().Row(0).m_strContent;
    Action(*list, "actionDelete")->trigger();
    QCOMPARE(m_messages.Texts(), QStringList({QStringLiteral("您真的要永远删除这条短信?")}));
    QCOMPARE(list->Model().rowCount(), 1);
    QCOMPARE(list->Model().Row(0).m_strContent, kept);

    Action(*list, "actionClear")->trigger();
    QCOMPARE(list->Model().rowCount(), 0);
    Action(*list, "actionLoadAll")->trigger();
    QTRY_VERIFY(!list->Model().IsLoading());
    QCOMPARE(list->Model().rowCount(), 1);
}

void tst_MyList::deleteWithoutSelectionMark()
{
    auto list = List();
    QVERIFY(list);
    list->setCurrentIndex(QModelIndex());
    Action(*list, "actionDelete")->trigger();
    QCOMPARE(m_messages.Texts(), QStringList({QStringLiteral("请选中要删除的短信")}));
    QCOMPARE(list->Model().rowCount(), 2);
}

// After a delete the row that followed takes the deleted one's place without being
// selected: a right click on the empty area below the rows must not delete it.
void tst_MyList::deleteAfterDeleteNeedsANewSelection()
{
    auto list = List();
    QVERIFY(list);
    list->resize(900, 400);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 1)).center());
    Action(*list, "actionDelete")->trigger();
    QCOMPARE(list->Model().rowCount(), 1);
    m_messages.Clear();

    const QPoint below(20, list->visualRect(list->model()->index(0, 1)).bottom() + 40);
    QTest::mousePress(list->viewport(), Qt::RightButton, {}, below);
    QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, below);
    QCOMPARE(list->SelectionMark(), -1);
    Action(*list, "actionDelete")->trigger();
    QCOMPARE(m_messages.Texts(), QStringList({QStringLiteral("请选中要删除的短信")}));
    QCOMPARE(list->Model().rowCount(), 1);

    // Selected again, it is the one deleted.
    m_messages.Clear();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 1)).center());
    QCOMPARE(list->SelectionMark(), 0);
    Action(*list, "actionDelete")->trigger();
    QCOMPARE(m_messages.Texts(), QStringList({QStringLiteral("您真的要永远删除这条短信?")}));
    QCOMPARE(list->Model().rowCount(), 0);
}

void tst_MyList::goToEntriesLoadTheirViews()
{
    auto list = List();
    QVERIFY(list);
    Action(*list, "actionLoadReceived")->trigger();
    QTRY_VERIFY(!list->Model().IsLoading());
    QCOMPARE(list->Model().rowCount(), 1);
    QCOMPARE(list->Model().Row(0).m_strContent, QStringLiteral("收到的"));
    Action(*list, "actionLoadSent")->trigger();
    QTRY_VERIFY(!list->Model().IsLoading());
    QCOMPARE(list->Model().rowCount(), 1);
    QCOMPARE(list->Model().Row(0).m_strContent, QStringLiteral("发出的"));
}

void tst_MyList::rowsShowTheirPictures()
{
    auto list = List();
    QVERIFY(list);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    // The delegate draws the sent and received pictures; the two rows differ.
    const QImage shot = list->viewport()->grab().toImage();
    const QRect r0 = list->visualRect(list->model()->index(0, 0));
    const QRect r1 = list->visualRect(list->model()->index(1, 0));
    const QImage icon0 = shot.copy(QRect(r0.left() + 2, r0.top() + (r0.height() - 16) / 2, 18, 16));
    const QImage icon1 = shot.copy(QRect(r1.left() + 2, r1.top() + (r1.height() - 16) / 2, 18, 16));
    QVERIFY(icon0 != icon1);
    QCOMPARE(list->model()->index(0, 0).data(RecordsModel::ImageRole).toInt(), 1);
    QCOMPARE(list->model()->index(1, 0).data(RecordsModel::ImageRole).toInt(), 0);
}

// Scrolled down, the operator keeps reading the same rows while reports come in on top; at
// the top they see each new row; a view loaded anew starts at its top.
void tst_MyList::newRowsKeepTheReadRowsStill()
{
    {
        CDbAccess db([s = m_settings] { return s; });
        for (int i = 0; i < 60; ++i)
            QVERIFY(db.Insert(Sql::SendInsert, {-1, QStringLiteral("2024-03-02 10:00:00"), 1, QStringLiteral("8613900000002"),
                                                QStringLiteral("第%1条").arg(i), QString()}) > 0);
    }
    auto list = List();
    QVERIFY(list);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    const auto report = [](const QString &text) {
        SmsReport r;
        r.m_kind = SmsReport::Received;
        r.m_strTime = QStringLiteral("2024-03-03 09:00:00");
        r.m_strNumber = QStringLiteral("8613900000003");
        r.m_strContent = text;
        return r;
    };
    const auto topText = [&] { return list->indexAt(QPoint(5, 2)).siblingAtColumn(4).data().toString(); };

    list->AddReportRow(report(QStringLiteral("at the top")));
    QTRY_COMPARE(topText(), QStringLiteral("at the top"));

    list->scrollTo(list->model()->index(30, 0), QAbstractItemView::PositionAtTop);
    const QString reading = topText();
    QVERIFY(!reading.isEmpty() && reading != QStringLiteral("at the top"));
    for (int i = 0; i < 3; ++i)
        list->AddReportRow(report(QStringLiteral("new %1").arg(i)));
    QApplication::processEvents();
    QCOMPARE(topText(), reading);

    for (QAction *load : {Action(*list, "actionLoadSent"), Action(*list, "actionLoadAll")}) {
        list->scrollTo(list->model()->index(30, 0), QAbstractItemView::PositionAtTop);
        load->trigger();
        QTRY_VERIFY(!list->Model().IsLoading());
        QApplication::processEvents();
        QCOMPARE(list->verticalScrollBar()->value(), 0);
        QCOMPARE(list->indexAt(QPoint(5, 2)).row(), 0);
    }
}

QTEST_MAIN(tst_MyList)
#include "tst_mylist.moc"
