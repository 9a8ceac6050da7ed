// The main window: layout, menus, tool bar and status bar, connecting to a modem (the
// simulated one, a silent pseudo-terminal, a missing device), the engine's reports, the
// tray and what the window writes when it closes.
#include "ModemSimulator.h"
#include "app/CMainFrame.h"
#include "outbox/OptOutList.h"
#include "records/COptOutDlg.h"
#include "app/CSkevoApp.h"
#include "send/CTrayIcon.h"
#include "app/IRingPlayer.h"
#include "app/WindowPlacement.h"
#include "records/CQueryDlg.h"
#include "records/CMyList.h"
#include "records/RecordsModel.h"
#include "send/CSkevoView.h"
#include "send/LastNumbers.h"
#include "send/SendListModel.h"
#include "DbTargets.h"
#include "WindowKit.h"
#include "sms/PduCodec.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {
// The master side of a pseudo-terminal that never answers.
class SilentTerminal
{
public:
    SilentTerminal()
    {
        m_fd = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_fd >= 0 && grantpt(m_fd) == 0 && unlockpt(m_fd) == 0)
            m_strPath = QString::fromLocal8Bit(ptsname(m_fd));
    }
    ~SilentTerminal()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    QString Path() const { return m_strPath; }

private:
    int m_fd = -1;
    QString m_strPath;
};
} // namespace

class tst_MainFrame : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void layout();
    void shortWindowKeepsThePanelWhole();
    void panelShrinksByItsNumberList();
    void smallestWindowKeepsThePanelUsable();
    void menus_data();
    void menus();
    void toolBarOrder();
    void toolBarPicturesFillTheirButtonsAndShowWhenDisabled();
    void barsCanBeHidden();
    void closingFromTheTrayKeepsTheBars();
    void aboutBox();
    void f6MovesBetweenThePanes();
    void statusBarPanes();
    void modemNotReachedAtConnect_data();
    void modemNotReachedAtConnect();
    void connectAndDisconnectTheSimulatedModem();
    void modemUnpluggedAndBackIsShown();
    void arrivalAddsRowNoticeAndRing();
    void optOutByReplyAndFromTheRecordsList();
    void playFlagGatesTheRingAndIsSaved();
    void sendReportsStepTheProgress();
    void restoredMessagesAreARun();
    void quittingMidRunAsksFirst();
    void errorEventsShownOneAtATime();
    void trayMenuAndClicks();
    void closingWritesListTextSwitchAndPlacement();
    void closingGoesOnWhenTheListCannotBeSaved();
    void messageComesBackWhole_data();
    void messageComesBackWhole();
    void emptyListAtCloseKeepsTheStoredOne();
    void placementRestored_data();
    void placementRestored();
    void recordCommandsReachTheirWindows_data();
    void recordCommandsReachTheirWindows();

private:
    CMainFrame &Frame()
    {
        if (!m_frame) {
            m_frame = std::make_unique<CMainFrame>(*m_app, m_messages, m_ring, m_profile.get());
            ModemTimeouts t = m_frame->Link().Timeouts();
            t.handshakeMs = 500;
            t.reconnectMs = 200;
            m_frame->Link().SetTimeouts(t);
        }
        return *m_frame;
    }
    // Shown where the profile places it, and exposed.
    static bool ShownPlaced(CMainFrame &f)
    {
        f.ShowWithPlacement();
        return QTest::qWaitForWindowExposed(&f);
    }
    QAction *Action(const char *name) { return Frame().findChild<QAction *>(QString::fromLatin1(name)); }
    QLabel *Pane(const char *name) { return Frame().findChild<QLabel *>(QString::fromLatin1(name)); }
    QString ProfilePath() const { return m_dir->filePath(QStringLiteral("profile.ini")); }
    void ConnectToSimulator()
    {
        QVERIFY2(m_sim.Start(), qPrintable(m_sim.ErrorString()));
        Frame().Link().SetPortOverride(m_sim.DevicePath());
        Action("actionConnect")->trigger();
        QVERIFY2(m_messages.shown.isEmpty(), qPrintable(m_messages.Texts().join(u'|')));
        QVERIFY(Frame().IsConnected());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CSkevoApp> m_app;
    std::unique_ptr<QSettings> m_profile;
    std::unique_ptr<CMainFrame> m_frame;
    FakeMessageBox m_messages;
    FakeRing m_ring;
    ModemSimulator m_sim;
};

void tst_MainFrame::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_app = std::make_unique<CSkevoApp>(m_dir->filePath(QStringLiteral("setting.ini")));
    m_app->SetUser(QStringLiteral("张三"), false);
    m_profile = std::make_unique<QSettings>(ProfilePath(), QSettings::IniFormat);
    m_messages.Clear();
    m_messages.answers.clear();
    m_ring = FakeRing();
}

void tst_MainFrame::cleanup()
{
    m_frame.reset();
    m_sim.Stop();
    m_app.reset();
    m_profile.reset();
    m_dir.reset();
}

void tst_MainFrame::layout()
{
    WindowPlacement tall;
    tall.SetNormalRect(QRect(50, 50, 1100, 950));
    tall.Write(*m_profile);
    CMainFrame &f = Frame();
    QVERIFY(ShownPlaced(f));
    QCOMPARE(f.windowTitle(), QStringLiteral("Skevo"));
    auto *splitter = qobject_cast<QSplitter *>(f.centralWidget());
    QVERIFY(splitter);
    QCOMPARE(splitter->orientation(), Qt::Vertical);
    QCOMPARE(splitter->count(), 2);
    QCOMPARE(splitter->widget(0), static_cast<QWidget *>(&f.List()));
    auto *form = qobject_cast<QScrollArea *>(splitter->widget(1));
    QVERIFY(form);
    QCOMPARE(form->widget(), static_cast<QWidget *>(&f.View()));
    QCOMPARE(splitter->sizes().at(0), f.List().HeightForRows(8)); // eight rows, the panel the rest
    // The view's first showing has run: the default text is in the field.
    QCOMPARE(f.View().Message(), QStringLiteral("在做一个短信软件,测试短信"));
    QVERIFY(f.View().Tray().IsAdded());
    QCOMPARE(f.View().Tray().Tip(), QStringLiteral("电脑与短信猫未连接"));
}

void tst_MainFrame::shortWindowKeepsThePanelWhole()
{
    CMainFrame &f = Frame();
    f.ShowWithPlacement(); // the default 1100 x 700
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    auto *splitter = qobject_cast<QSplitter *>(f.centralWidget());
    auto *form = qobject_cast<QScrollArea *>(splitter->widget(1));
    QVERIFY(splitter->sizes().at(0) >= f.List().HeightForRows(8));
    QTRY_VERIFY(!form->verticalScrollBar()->isVisible());
    QVERIFY(f.View().ProgressBar()->isVisible());
}

// Dragging the splitter down takes the height from the number list; the message field, the
// progress bar and "停止" stay whole and in sight, without a scroll bar.
void tst_MainFrame::panelShrinksByItsNumberList()
{
    CMainFrame &f = Frame();
    QVERIFY(ShownPlaced(f));
    auto *splitter = qobject_cast<QSplitter *>(f.centralWidget());
    auto *form = qobject_cast<QScrollArea *>(splitter->widget(1));
    auto *numbers = f.View().findChild<QWidget *>(QStringLiteral("sendList"));
    auto *edit = f.View().findChild<QWidget *>(QStringLiteral("messageEdit"));
    auto *stop = f.View().findChild<QWidget *>(QStringLiteral("stopButton"));
    QTRY_VERIFY(!form->verticalScrollBar()->isVisible());
    const int listHeight = numbers->height();
    const int editHeight = edit->height();

    const QList<int> sizes = splitter->sizes();
    splitter->setSizes({sizes.at(0) + 40, sizes.at(1) - 40});
    QTRY_COMPARE(form->widget()->height(), form->viewport()->height());
    QVERIFY(!form->verticalScrollBar()->isVisible());
    QCOMPARE(numbers->height(), listHeight - 40);
    QCOMPARE(edit->height(), editHeight);
    for (QWidget *w : {static_cast<QWidget *>(f.View().ProgressBar()), stop}) {
        const QRect inView(w->mapTo(form->viewport(), QPoint(0, 0)), w->size());
        QVERIFY(form->viewport()->rect().contains(inView));
    }
}

// A window made smaller takes the height from the records list first; it goes no smaller
// than about 640×480, where the message field, 发送, 停止 and the bar are still whole.
void tst_MainFrame::smallestWindowKeepsThePanelUsable()
{
    CMainFrame &f = Frame();
    QVERIFY(ShownPlaced(f));
    auto *splitter = qobject_cast<QSplitter *>(f.centralWidget());
    const QList<int> before = splitter->sizes();
    f.resize(f.width(), f.height() - 100);
    QTRY_COMPARE(splitter->sizes().at(0), before.at(0) - 100);
    QCOMPARE(splitter->sizes().at(1), before.at(1));

    f.resize(70, 231);
    QTRY_VERIFY2(f.width() >= 640 && f.height() >= 480, qPrintable(QStringLiteral("%1x%2").arg(f.width()).arg(f.height())));
    QVERIFY2(f.width() <= 700 && f.height() <= 540, qPrintable(QStringLiteral("%1x%2").arg(f.width()).arg(f.height())));
    for (const char *name : {"messageEdit", "sendButton", "stopButton", "progressBar"}) {
        auto *w = f.View().findChild<QWidget *>(QString::fromLatin1(name));
        QTRY_COMPARE_WITH_TIMEOUT(w->visibleRegion().boundingRect(), w->rect(), 2000);
    }
}

void tst_MainFrame::menus_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("file") << "文件(&F)" << QStringList{QStringLiteral("连接短信猫(&L)\tCtrl+Q"), QString(), QStringLiteral("退出(&X)")};
    QTest::newRow("view") << "查看(&V)" << QStringList{QStringLiteral("工具栏(&T)"), QStringLiteral("状态栏(&S)"), QStringLiteral("最小化到系统托盘(&M)"),
                                                     QStringLiteral("短信来时播放铃声(&R)"), QStringLiteral("设置短信铃声(&O)")};
    QTest::newRow("manage") << "管理(&G)" << QStringList{QStringLiteral("连接短信猫(&L)\tCtrl+Q"), QStringLiteral("订单管理(&O)\tCtrl+O"),
                                                       QStringLiteral("账户管理(&G)\tCtrl+R"), QStringLiteral("设备管理(&S)\tCtrl+T"),
                                                       QStringLiteral("日志导出(&E)\tCtrl+E"), QStringLiteral("查询短信记录(&F)\tCtrl+F"),
                                                       QStringLiteral("黑名单(&B)")};
    QTest::newRow("help") << "帮助(&H)" << QStringList{QStringLiteral("关于 Skevo(&A)...")};
}

void tst_MainFrame::menus()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, items);
    QMenu *found = nullptr;
    for (QAction *a : Frame().menuBar()->actions()) {
        if (a->text() == menu)
            found = a->menu();
    }
    QVERIFY(found);
    QStringList texts;
    for (QAction *a : found->actions())
        texts << (a->isSeparator() ? QString() : a->text());
    QCOMPARE(texts, items);
    // Every command shows its prompt in the status bar; the accelerators are real.
    for (QAction *a : found->actions()) {
        if (!a->isSeparator())
            QVERIFY2(!a->statusTip().isEmpty(), qPrintable(a->text()));
    }
    QCOMPARE(Action("actionConnect")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    QCOMPARE(Action("actionQuery")->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
    QCOMPARE(Action("actionConnect")->statusTip(), QStringLiteral("连接短信猫"));
    QCOMPARE(Action("actionAccounts")->statusTip(), QStringLiteral("管理员账户管理"));
    QCOMPARE(Action("actionAccounts")->toolTip(), QStringLiteral("账户管理"));
    QCOMPARE(Action("actionDisconnect")->toolTip(), QStringLiteral("断开连接"));
    QVERIFY(Action("actionPlayRing")->isCheckable());
}

void tst_MainFrame::toolBarOrder()
{
    auto *bar = Frame().findChild<QToolBar *>(QStringLiteral("toolBar"));
    QVERIFY(bar);
    QStringList names;
    for (QAction *a : bar->actions())
        names << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
    QCOMPARE(names, QStringList({QStringLiteral("actionOrders"), QStringLiteral("actionAccounts"), QStringLiteral("actionDevice"),
                                 QStringLiteral("actionExport"), QStringLiteral("actionQuery"), QStringLiteral("|"),
                                 QStringLiteral("actionAbout"), QStringLiteral("|"), QStringLiteral("actionConnect"),
                                 QStringLiteral("actionDisconnect")}));
    QCOMPARE(bar->iconSize(), QSize(32, 32));
    QVERIFY(Action("actionConnect")->isEnabled());
    QVERIFY(!Action("actionDisconnect")->isEnabled());
}

namespace {
// The picture's extent (pixels not nearly transparent) and its ink: opacity times darkness,
// summed over the pixels.
struct Ink
{
    QSize box;
    double ink = 0;
};
Ink Measure(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    Ink m;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) > 40) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
            m.ink += qAlpha(p) / 255.0 * (255 - qGray(p)) / 255.0 + qAlpha(p) / 255.0 * 0.25;
        }
    }
    m.box = right < 0 ? QSize() : QSize(right - left + 1, bottom - top + 1);
    return m;
}
} // namespace

// Each tool bar picture fills most of its 32-pixel button, and a command that cannot be used
// looks clearly fainter than one that can.
void tst_MainFrame::toolBarPicturesFillTheirButtonsAndShowWhenDisabled()
{
    auto *bar = Frame().findChild<QToolBar *>(QStringLiteral("toolBar"));
    QVERIFY(bar);
    for (QAction *a : bar->actions()) {
        if (a->isSeparator())
            continue;
        const QIcon icon = a->icon();
        const Ink normal = Measure(icon.pixmap(QSize(32, 32), QIcon::Normal));
        const Ink disabled = Measure(icon.pixmap(QSize(32, 32), QIcon::Disabled));
        QVERIFY2(std::max(normal.box.width(), normal.box.height()) >= 26,
                 qPrintable(a->objectName() + QStringLiteral(": %1x%2").arg(normal.box.width()).arg(normal.box.height())));
        QVERIFY2(disabled.ink <= 0.5 * normal.ink,
                 qPrintable(a->objectName() + QStringLiteral(": %1 of %2").arg(disabled.ink).arg(normal.ink)));
    }
}

void tst_MainFrame::barsCanBeHidden()
{
    CMainFrame &f = Frame();
    QVERIFY(ShownPlaced(f));
    auto *bar = f.findChild<QToolBar *>(QStringLiteral("toolBar"));
    QVERIFY(bar->isVisible());
    QVERIFY(f.statusBar()->isVisible());
    Action("actionToolBar")->trigger();
    Action("actionStatusBar")->trigger();
    QVERIFY(!bar->isVisible());
    QVERIFY(!f.statusBar()->isVisible());
    f.close();
    // The next window comes back with both bars as they were left.
    m_frame.reset();
    CMainFrame &again = Frame();
    QVERIFY(ShownPlaced(again));
    QVERIFY(!again.findChild<QToolBar *>(QStringLiteral("toolBar"))->isVisible());
    QVERIFY(!again.statusBar()->isVisible());
    QVERIFY(!Action("actionToolBar")->isChecked());
    QVERIFY(!Action("actionStatusBar")->isChecked());
}

// The window is hidden in the tray when the tray menu's exit closes it: the bars were on
// when it was hidden and come back on.
void tst_MainFrame::closingFromTheTrayKeepsTheBars()
{
    CMainFrame &f = Frame();
    QVERIFY(ShownPlaced(f));
    f.hide();
    QTRY_VERIFY(!f.isVisible());
    f.findChild<QAction *>(QStringLiteral("trayExit"))->trigger();
    m_frame.reset();
    CMainFrame &again = Frame();
    QVERIFY(ShownPlaced(again));
    QVERIFY(again.findChild<QToolBar *>(QStringLiteral("toolBar"))->isVisible());
    QVERIFY(again.statusBar()->isVisible());
    QVERIFY(Action("actionToolBar")->isChecked());
    QVERIFY(Action("actionStatusBar")->isChecked());
}

void tst_MainFrame::aboutBox()
{
    QString title, name, usage;
    QTimer::singleShot(0, this, [&] {
        auto *about = Frame().findChild<QDialog *>(QStringLiteral("aboutDialog"));
        if (!about)
            return;
        title = about->windowTitle();
        name = about->findChild<QLabel *>(QStringLiteral("aboutName"))->text();
        usage = about->findChild<QLabel *>(QStringLiteral("aboutUsage"))->text();
        about->accept();
    });
    Action("actionAbout")->trigger();
    QCOMPARE(title, QStringLiteral("关于 Skevo"));
    QVERIFY(name.contains(QStringLiteral("1.0")));
    QVERIFY(usage.contains(QStringLiteral("SQLite")) && usage.contains(QStringLiteral("PostgreSQL")));
    QVERIFY(usage.contains(QStringLiteral("短信猫")));
}

void tst_MainFrame::f6MovesBetweenThePanes()
{
    CMainFrame &f = Frame();
    QVERIFY(ShownPlaced(f));
    f.activateWindow();
    f.List().setFocus();
    QTRY_VERIFY(f.List().hasFocus());
    QTest::keyClick(&f.List(), Qt::Key_F6);
    QTRY_VERIFY(f.View().isAncestorOf(QApplication::focusWidget()));
    // A control that takes the keyboard, not a label: the send list, the panel's first one.
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("sendList"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
    QTRY_VERIFY(f.List().hasFocus());
}

void tst_MainFrame::statusBarPanes()
{
    CMainFrame &f = Frame();
    QCOMPARE(Pane("paneMessage")->text(), QStringLiteral("就绪"));
    QCOMPARE(Pane("paneCaps")->text(), QStringLiteral("CAP"));
    QCOMPARE(Pane("paneNum")->text(), QStringLiteral("NUM"));
    QCOMPARE(Pane("paneUser")->text(), QStringLiteral("当前管理员:张三"));
    const QRegularExpression clock(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    const QString first = Pane("paneClock")->text();
    QVERIFY2(clock.match(first).hasMatch(), qPrintable(first));
    QTRY_VERIFY_WITH_TIMEOUT(Pane("paneClock")->text() != first, 5000);
    Q_UNUSED(f);
}

void tst_MainFrame::modemNotReachedAtConnect_data()
{
    QTest::addColumn<bool>("silent");
    QTest::newRow("no such device, plugged in later") << false;
    QTest::newRow("a terminal that never answers") << true;
}

// A modem not there at the connect is said once and looked for again, as a modem lost later
// is; the window goes on meanwhile, and a modem plugged in later sends what waited for it.
void tst_MainFrame::modemNotReachedAtConnect()
{
    QFETCH(bool, silent);
    SilentTerminal pty;
    const QString device = silent ? pty.Path() : m_dir->filePath(QStringLiteral("no-such-device"));
    Frame().Link().SetPortOverride(device);
    Action("actionConnect")->trigger();
    QVERIFY(Frame().IsConnected());
    QVERIFY(!Action("actionConnect")->isEnabled());
    QVERIFY(Action("actionDisconnect")->isEnabled());
    QVERIFY(Frame().OrderTimer()->isActive());
    QVERIFY(m_app->Queue().CanSend()); // what is queued waits for the modem
    QTRY_COMPARE(m_messages.Texts(), QStringList{silent ? QStringLiteral("请检查短信猫是否连接正确")
                                                        : QStringLiteral("串口不存在: ") + device});
    QCOMPARE(m_messages.shown.at(0).caption, QString());
    const QString waiting = silent ? QStringLiteral("短信猫没有响应, 正在重新连接...")
                                   : QStringLiteral("串口不存在, 正在重新连接...");
    QTRY_VERIFY2(Pane("paneLink")->toolTip().contains(waiting), qPrintable(Pane("paneLink")->toolTip()));
    if (silent) {
        Action("actionDisconnect")->trigger();
        QVERIFY(!Frame().OrderTimer()->isActive());
        return;
    }
    QVERIFY(m_app->Queue().Enqueue(Pdu::MakeRecord(QString(), QStringLiteral("13900000001"), QStringLiteral("等你"), -1)));
    QVERIFY2(m_sim.Start(), qPrintable(m_sim.ErrorString()));
    QVERIFY(m_sim.MakeLink(device));
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.SubmitCount(), 1, 20000);
    QTRY_VERIFY(Pane("paneLink")->toolTip().contains(QStringLiteral("已发送: 1")));
    QCOMPARE(m_messages.shown.size(), 1); // the modem that came is no news box
}

void tst_MainFrame::connectAndDisconnectTheSimulatedModem()
{
    ConnectToSimulator();
    CMainFrame &f = Frame();
    QCOMPARE(f.Link().Ports().size(), 1);
    QVERIFY(f.Link().Ports().first()->IsRunning());
    QTRY_VERIFY(f.Link().Ports().first()->IsOpen()); // opened by the worker, off this thread
    QVERIFY(m_app->Queue().CanSend());
    QVERIFY(!Action("actionConnect")->isEnabled());
    QVERIFY(Action("actionDisconnect")->isEnabled());
    QVERIFY(!f.TrayMenu()->defaultAction()->isEnabled());
    QVERIFY(f.OrderTimer()->isActive());
    QCOMPARE(f.OrderTimer()->interval(), 60000);
    QCOMPARE(f.View().Tray().Tip().section(u'\n', 0, 0), QStringLiteral("电脑与短信猫已连接"));
    // The handshake went to the simulator.
    QTRY_VERIFY(m_sim.Commands().size() >= 3);
    const QStringList commands = m_sim.Commands();
    QVERIFY2(commands.mid(0, 3) == QStringList({QStringLiteral("AT"), QStringLiteral("ATE0"), QStringLiteral("AT+CMEE=1")}),
             qPrintable(commands.join(u',')));

    Action("actionDisconnect")->trigger();
    QVERIFY(!f.IsConnected());
    QVERIFY(f.Link().Ports().isEmpty());
    QVERIFY(!m_app->Queue().CanSend());
    QVERIFY(Action("actionConnect")->isEnabled());
    QVERIFY(!Action("actionDisconnect")->isEnabled());
    QVERIFY(!f.OrderTimer()->isActive());
    QCOMPARE(f.View().Tray().Tip(), QStringLiteral("电脑与短信猫未连接"));

    // And again: connect is usable after a disconnect.
    Action("actionConnect")->trigger();
    QVERIFY(f.IsConnected());
    QVERIFY(m_messages.shown.isEmpty());
}

// A modem unplugged while connected, and plugged in again: the window stays connected, the
// link pane and the tray say what happened, and the worker gets the modem back by itself. The
// link's state is told in one place: after the disconnect nothing in the status bar still
// speaks of the lost or regained modem.
void tst_MainFrame::modemUnpluggedAndBackIsShown()
{
    const QString link = m_dir->filePath(QStringLiteral("ttyModem"));
    QVERIFY(m_sim.Start());
    QVERIFY(m_sim.MakeLink(link));
    Frame().Link().SetPortOverride(link);
    Action("actionConnect")->trigger();
    QVERIFY(Frame().IsConnected());
    CTrayIcon &tray = Frame().View().Tray();
    QTRY_VERIFY_WITH_TIMEOUT(Pane("paneLink")->toolTip().contains(QStringLiteral("SIM卡就绪")), 10000);

    m_sim.Stop();
    const QString gone = QStringLiteral("短信猫已断开, 正在重新连接...");
    QTRY_COMPARE_WITH_TIMEOUT(Pane("paneLink")->toolTip(), link + QStringLiteral("  ") + gone + QStringLiteral("  已发送: 0"), 10000);
    QCOMPARE(Pane("paneLink")->text(), QStringLiteral("ttyModem 已断开"));
    QCOMPARE(tray.Tip(), QStringLiteral("短信猫都未就绪, 暂时不能发送\nttyModem: ") + gone);
    QVERIFY(!Pane("paneMessage")->text().contains(gone));
    QVERIFY(Frame().IsConnected());
    QVERIFY(Action("actionDisconnect")->isEnabled());

    m_sim.ClearLog();
    QVERIFY(m_sim.Start());
    QVERIFY(m_sim.MakeLink(link));
    QTRY_VERIFY_WITH_TIMEOUT(Pane("paneLink")->toolTip().startsWith(link + QStringLiteral("  SIM卡就绪")), 10000);
    QCOMPARE(tray.Tip().section(u'\n', 0, 0), QStringLiteral("电脑与短信猫已连接"));
    QTRY_VERIFY(m_sim.Commands().contains(QStringLiteral("AT+CMGL=4"))); // handshake again, then on as before
    QCOMPARE(m_sim.Commands().mid(0, 3), QStringList({QStringLiteral("AT"), QStringLiteral("ATE0"), QStringLiteral("AT+CMEE=1")}));
    Action("actionDisconnect")->trigger();
    QVERIFY(!m_app->Queue().CanSend());
    QCoreApplication::processEvents();
    QCOMPARE(Pane("paneLink")->text(), QStringLiteral("未连接"));
    for (const QLabel *pane : Frame().statusBar()->findChildren<QLabel *>()) {
        QVERIFY2(!pane->text().contains(QStringLiteral("短信猫")), qPrintable(pane->text()));
    }
    QCOMPARE(tray.Tip(), QStringLiteral("电脑与短信猫未连接"));
}

void tst_MainFrame::arrivalAddsRowNoticeAndRing()
{
    ConnectToSimulator();
    CMainFrame &f = Frame();
    f.OnMinimizeToTray(); // a hidden window still takes the message
    const int before = f.List().Model().rowCount();
    DeliverSpec spec;
    spec.from = QStringLiteral("+8613800000001");
    spec.text = QStringLiteral("你好,收到请回复");
    spec.scts = QStringLiteral("24030109153000");
    QVERIFY(m_sim.InjectArrival(spec).ok);
    QTRY_COMPARE_WITH_TIMEOUT(f.List().Model().rowCount(), before + 1, 20000);
    const RecordsModel::RowTexts row = f.List().Model().Row(0);
    QCOMPARE(row.m_strAction, QStringLiteral("接收"));
    QCOMPARE(row.m_strResult, QStringLiteral("成功"));
    QCOMPARE(row.m_strContent, QStringLiteral("你好,收到请回复"));
    QCOMPARE(row.m_strTime, QStringLiteral("2024-03-01 09:15:30"));
    QCOMPARE(Pane("paneMessage")->text(), QStringLiteral("收到消息"));
    QCOMPARE(m_ring.played, QStringList({m_dir->filePath(QStringLiteral("skevo.mid"))}));
    QCOMPARE(f.View().ProgressBar()->value(), 0);
}

// The opt-out words changed in 设备管理 while connected count from the next arrival; "加入黑名单"
// of a row puts its number on the list and shows it in the dialog.
void tst_MainFrame::optOutByReplyAndFromTheRecordsList()
{
    ConnectToSimulator();
    CMainFrame &f = Frame();
    QVector<DeviceSettings> devices = m_app->Devices();
    devices[0].m_strOptOutWords = QStringLiteral("QX");
    m_app->SetDevices(devices);
    DeliverSpec spec;
    spec.from = QStringLiteral("+8613800000003");
    spec.text = QStringLiteral("ｑｘ");
    QVERIFY(m_sim.InjectArrival(spec).ok);
    spec.from = QStringLiteral("+8613800000004");
    spec.text = QStringLiteral("TD");
    QVERIFY(m_sim.InjectArrival(spec).ok);
    QTRY_COMPARE_WITH_TIMEOUT(f.List().Model().Row(0).m_strContent, QStringLiteral("TD"), 20000);
    OptOutList list(m_app->Db());
    QVERIFY(list.IsListed(QStringLiteral("13800000003")));
    QVERIFY(!list.IsListed(QStringLiteral("13800000004")));

    QString shown;
    QTimer::singleShot(0, &f, [&shown] {
        auto *dialog = qobject_cast<COptOutDlg *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        shown = dialog->findChild<QLabel *>(QStringLiteral("count"))->text();
        dialog->accept();
    });
    f.OnOptOutRecord(0);
    QCOMPARE(shown, QStringLiteral("共 1 个号码"));
    QVERIFY(list.IsListed(QStringLiteral("13800000004")));
    f.OnOptOutRecord(-1);
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("请选中要加入黑名单的短信")});
}

void tst_MainFrame::playFlagGatesTheRingAndIsSaved()
{
    CSettingsFile &file = m_app->Settings();
    QVERIFY(file.WriteString(QStringLiteral("Check"), QStringLiteral("Play"), QStringLiteral("0")));
    QVERIFY(file.WriteString(QStringLiteral("Check"), QStringLiteral("Mid"), QStringLiteral("/usr/share/skevo/ring.mid")));
    ConnectToSimulator();
    CMainFrame &f = Frame();
    QVERIFY(!f.PlayFlag());
    QVERIFY(!Action("actionPlayRing")->isChecked());
    QCOMPARE(f.RingFile(), QStringLiteral("/usr/share/skevo/ring.mid"));
    DeliverSpec spec;
    spec.from = QStringLiteral("+8613800000002");
    spec.text = QStringLiteral("silent");
    QVERIFY(m_sim.InjectArrival(spec).ok);
    QTRY_COMPARE_WITH_TIMEOUT(f.List().Model().Row(0).m_strContent, QStringLiteral("silent"), 20000);
    QVERIFY(m_ring.played.isEmpty());

    Action("actionPlayRing")->trigger();
    QVERIFY(f.PlayFlag());
    QVERIFY(Action("actionPlayRing")->isChecked());
    spec.text = QStringLiteral("ring");
    QVERIFY(m_sim.InjectArrival(spec).ok);
    QTRY_COMPARE_WITH_TIMEOUT(f.List().Model().Row(0).m_strContent, QStringLiteral("ring"), 20000);
    QCOMPARE(m_ring.played, QStringList({QStringLiteral("/usr/share/skevo/ring.mid")}));

    Action("actionPlayRing")->trigger();
    Action("actionPlayRing")->trigger();
    QVERIFY(f.PlayFlag());
    Action("actionPlayRing")->trigger();
    f.close();
    QCOMPARE(file.ReadString(QStringLiteral("Check"), QStringLiteral("Play"), QString()), QStringLiteral("0"));
}

void tst_MainFrame::sendReportsStepTheProgress()
{
    ConnectToSimulator();
    CMainFrame &f = Frame();
    f.View().Model().Append(QStringList{QStringLiteral("13800000001"), QStringLiteral("13800000002")});
    f.View().StartSendRun();
    QCOMPARE(f.View().ProgressBar()->maximum(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(f.View().ProgressBar()->value(), 2, 60000);
    QCOMPARE(f.List().Model().Row(0).m_strAction, QStringLiteral("发送"));
    QCOMPARE(f.List().Model().Row(0).m_strNumber, QStringLiteral("8613800000002"));
    QCOMPARE(f.List().Model().Row(1).m_strNumber, QStringLiteral("8613800000001"));
    // The run's words once it is over, with the bar full: the two say the same.
    QTRY_COMPARE(Pane("paneMessage")->text(), QStringLiteral("发送完成: 成功 2 条, 失败 0 条"));
    QVERIFY(m_ring.played.isEmpty());
}

// What an earlier run of this installation left (two to send again, one journalled as
// failed) sets the bar's range, and their reports fill it.
void tst_MainFrame::restoredMessagesAreARun()
{
    {
        Outbox earlier(m_app->DbSettingsSource());
        earlier.Enqueue(QVector<SmsRecord>{Pdu::MakeRecord(QString(), QStringLiteral("8613911110001"), QStringLiteral("a"), -1),
                                           Pdu::MakeRecord(QString(), QStringLiteral("8613911110002"), QStringLiteral("b"), -1),
                                           Pdu::MakeRecord(QString(), QStringLiteral("8613911110003"), QStringLiteral("c"), -1)});
        // The first was in a modem's hands when the program ended: its outcome is unknown.
        DbProbe probe(m_app->DbSettingsSource()());
        QVERIFY2(probe.Exec(QStringLiteral("UPDATE T_OUTBOX SET D_STATE=2,D_CLAIM=D_STATION,D_PORT='/dev/ttyUSB9' "
                                           "WHERE D_NO=1")),
                 qPrintable(probe.Error()));
    }
    ConnectToSimulator();
    QProgressBar *bar = Frame().View().ProgressBar();
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(bar->value(), 3, 60000);
    QStringList submitted;
    for (const ModemSimulator::Submit &s : m_sim.Submits()) {
        if (s.message.number.startsWith(QStringLiteral("861391111")))
            submitted << s.message.number;
    }
    QCOMPARE(submitted, (QStringList{QStringLiteral("8613911110002"), QStringLiteral("8613911110003")}));
}

// Quitting while a run is going asks first, No by default: No leaves everything going; Yes
// quits, waits for the message in the modem's hands (成功) and keeps the rest queued.
void tst_MainFrame::quittingMidRunAsksFirst()
{
    m_sim.SetLateAnswer(ModemSimulator::Fault::Always(), 800);
    ConnectToSimulator();
    const int before = m_sim.SubmitCount();
    QVERIFY(m_app->Queue().Enqueue(QVector<SmsRecord>{
        Pdu::MakeRecord(QString(), QStringLiteral("8613922220001"), QStringLiteral("a"), -1),
        Pdu::MakeRecord(QString(), QStringLiteral("8613922220002"), QStringLiteral("b"), -1),
        Pdu::MakeRecord(QString(), QStringLiteral("8613922220003"), QStringLiteral("c"), -1)}));
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.SubmitCount(), before + 1, 20000);
    QVERIFY(!Frame().close());
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("正在发送, 确定要退出吗?")});
    QVERIFY(Frame().IsConnected());

    m_messages.Clear();
    m_messages.answers.enqueue(IMessageBox::AnswerYes);
    QVERIFY(Frame().close());
    const int submitted = m_sim.SubmitCount() - before;
    QVERIFY(!Frame().IsConnected());
    DbProbe probe(m_app->DbSettingsSource()());
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND WHERE D_STATE=1")).toInt(), submitted);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND WHERE D_STATE=0")).toInt(), 0);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_OUTBOX")).toInt(), 3 - submitted);
}

void tst_MainFrame::errorEventsShownOneAtATime()
{
    Frame();
    // While the first box is open more complaints arrive: they wait for it to close, and a
    // text already waiting or on screen is not queued again.
    int nested = 0;
    m_messages.duringShow = [&](const QString &) {
        if (nested++ == 0) {
            emit m_app->Queue().errorEvent({OutboxError::Kind::ReceivedNotJournalled, {}});
            emit m_app->Queue().errorEvent({OutboxError::Kind::SentNotJournalled, {}});
            emit m_app->Queue().errorEvent({OutboxError::Kind::ReceivedNotJournalled, {}});
            emit m_app->Queue().errorEvent({OutboxError::Kind::Database, QStringLiteral("串口读写出错")});
            QCoreApplication::processEvents();
            // Nothing nested: the first box is still the only one.
            QCOMPARE(m_messages.shown.size(), 1);
        }
    };
    emit m_app->Queue().errorEvent({OutboxError::Kind::SentNotJournalled, {}});
    QTRY_COMPARE(m_messages.shown.size(), 3);
    QCOMPARE(m_messages.Texts(), QStringList({QStringLiteral("发送短信插入数据库出错"), QStringLiteral("接收短信插入数据库出错"),
                                              QStringLiteral("串口读写出错")}));
    for (const FakeMessageBox::Shown &s : m_messages.shown)
        QCOMPARE(s.icon, IMessageBox::Warning);
    m_messages.duringShow = nullptr;
    // Once shown, the same text is shown again when it comes again.
    emit m_app->Queue().errorEvent({OutboxError::Kind::SentNotJournalled, {}});
    QTRY_COMPARE(m_messages.shown.size(), 4);
}

void tst_MainFrame::trayMenuAndClicks()
{
    CMainFrame &f = Frame();
    QVERIFY(ShownPlaced(f));
    QStringList texts;
    for (QAction *a : f.TrayMenu()->actions())
        texts << (a->isSeparator() ? QString() : a->text());
    QCOMPARE(texts, QStringList({QStringLiteral("连接短信猫(&Q)"), QStringLiteral("连接设置(&L)"), QStringLiteral("显示窗口(&W)"), QString(),
                                 QStringLiteral("订单管理(&S)"), QStringLiteral("账户管理/修改密码(&A)"), QStringLiteral("短信收发日志导出"),
                                 QStringLiteral("查询短信记录(&F)"), QString(), QStringLiteral("退出(&X)")}));
    QCOMPARE(f.TrayMenu()->defaultAction()->text(), QStringLiteral("连接短信猫(&Q)"));
    QCOMPARE(f.View().Tray().SystemTrayIcon()->contextMenu(), f.TrayMenu());

    f.OnMinimizeToTray();
    QTRY_VERIFY(!f.isVisible() || f.isMinimized());
    emit f.View().Tray().activated(QSystemTrayIcon::Trigger);
    QTRY_VERIFY(f.isVisible() && !f.isMinimized());

    f.hide();
    f.findChild<QAction *>(QStringLiteral("trayShowWindow"))->trigger();
    QTRY_VERIFY(f.isVisible());

    QSignalSpy closed(&f, &CMainFrame::closed);
    f.findChild<QAction *>(QStringLiteral("trayExit"))->trigger();
    QCOMPARE(closed.count(), 1);
}

void tst_MainFrame::closingWritesListTextSwitchAndPlacement()
{
    ConnectToSimulator();
    CMainFrame &f = Frame();
    QVERIFY(ShownPlaced(f));
    f.setGeometry(QRect(150, 120, 1000, 720));
    f.View().Model().Append(QStringList{QStringLiteral("13800000001"), QStringLiteral("+8613800000002"), QString()});
    auto *edit = f.View().findChild<QPlainTextEdit *>(QStringLiteral("messageEdit"));
    QVERIFY(edit);
    edit->setPlainText(QStringLiteral("明天开会"));
    Action("actionPlayRing")->trigger(); // now off

    QSignalSpy closed(&f, &CMainFrame::closed);
    Action("actionExit")->trigger();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!f.isVisible());
    QVERIFY(f.Link().Ports().isEmpty());
    QVERIFY(!m_app->Queue().CanSend());
    QVERIFY2(m_messages.shown.isEmpty(), qPrintable(m_messages.Texts().join(u'|')));

    CDbAccess db(m_app->DbSettingsSource());
    QCOMPARE(LastNumbers::LoadLastNumbers(db),
             QStringList({QStringLiteral("13800000001"), QStringLiteral("+8613800000002"), QString()}));
    CSettingsFile file(m_app->Settings().Path());
    QCOMPARE(file.ReadString(QStringLiteral("MSG"), QStringLiteral("MESSAGE"), QString()), QStringLiteral("明天开会"));
    QCOMPARE(file.ReadString(QStringLiteral("Check"), QStringLiteral("Play"), QString()), QStringLiteral("0"));

    QSettings profile(ProfilePath(), QSettings::IniFormat);
    const WindowPlacement p = WindowPlacement::Read(profile);
    QCOMPARE(p.NormalRect(), QRect(150, 120, 1000, 720));
    QCOMPARE(p.m_nRight, 1150);
    QCOMPARE(p.m_nBottom, 840);
    QCOMPARE(p.m_nShowCmd, int(WindowPlacement::ShowNormal));
    QCOMPARE(p.m_nFlag, 0);
    for (const char *key : {"LEFT", "TOP", "RIGHT", "BOTTOM", "FLAG", "SHOWCMD"})
        QVERIFY2(profile.contains(QStringLiteral("WNDSTATUS/") + QLatin1String(key)), key);
}

void tst_MainFrame::closingGoesOnWhenTheListCannotBeSaved()
{
    CMainFrame &f = Frame();
    f.View().Model().Append(QStringLiteral("13800000001"));
    // The database refuses new T_LASTNO rows.
    {
        CDbAccess db(m_app->DbSettingsSource());
        QVERIFY(db.Connect());
    }
    const QString dbFile = m_app->ReadDbSettings().m_strSqliteFile;
    QVERIFY(QFile::exists(dbFile));
    {
        DbProbe probe(m_app->ReadDbSettings());
        QVERIFY2(probe.Exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON T_LASTNO BEGIN SELECT RAISE(ABORT, 'disk says no'); END")),
                 qPrintable(probe.Error()));
    }
    QSignalSpy closed(&f, &CMainFrame::closed);
    f.close();
    QCOMPARE(closed.count(), 1);
    QCOMPARE(m_messages.shown.size(), 1);
    QVERIFY2(m_messages.Last().startsWith(QStringLiteral("SQL数据错误,")) && m_messages.Last().contains(QStringLiteral("disk says no")),
             qPrintable(m_messages.Last()));
    // The rest of the closing ran.
    CSettingsFile file(m_app->Settings().Path());
    QCOMPARE(file.ReadString(QStringLiteral("MSG"), QStringLiteral("MESSAGE"), QString()), QStringLiteral("在做一个短信软件,测试短信"));
    QSettings profile(ProfilePath(), QSettings::IniFormat);
    QVERIFY(profile.contains(QStringLiteral("WNDSTATUS/LEFT")));
}

void tst_MainFrame::messageComesBackWhole_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("two lines") << QStringLiteral("明天开会\n请准时到场");
    QTest::newRow("lines that look like settings") << QStringLiteral("通知\n[SQL]\nDriver=postgres\nData=elsewhere");
    QTest::newRow("a backslash before n") << QStringLiteral("目录 C:\\new 与 \\\\ 两个");
    QTest::newRow("blanks around") << QStringLiteral("  前后有空格  ");
    QTest::newRow("blanks only") << QStringLiteral("   ");
    QTest::newRow("in double quotes") << QStringLiteral("\"引号\"");
    QTest::newRow("empty line at the end") << QStringLiteral("结尾换行\n");
}

// The message text written when the window closes is the one the next start shows, and it
// never reaches into the other settings of the file.
void tst_MainFrame::messageComesBackWhole()
{
    QFETCH(QString, text);
    CMainFrame &f = Frame();
    auto *edit = f.View().findChild<QPlainTextEdit *>(QStringLiteral("messageEdit"));
    QVERIFY(edit);
    edit->setPlainText(text);
    QCOMPARE(f.View().Message(), text);
    f.close();
    m_frame.reset();

    CSettingsFile file(m_app->Settings().Path());
    QCOMPARE(file.ReadString(QStringLiteral("SQL"), QStringLiteral("Driver"), QStringLiteral("(unset)")), QStringLiteral("(unset)"));
    QCOMPARE(file.ReadString(QStringLiteral("SQL"), QStringLiteral("Data"), QStringLiteral("(unset)")), QStringLiteral("(unset)"));
    QCOMPARE(m_app->ReadDbSettings().m_driver, DbSettings::Sqlite);

    CMainFrame &again = Frame();
    QCOMPARE(again.View().Message(), text);
    QCOMPARE(again.View().findChild<QPlainTextEdit *>(QStringLiteral("messageEdit"))->toPlainText(), text);
}

void tst_MainFrame::emptyListAtCloseKeepsTheStoredOne()
{
    {
        CDbAccess db(m_app->DbSettingsSource());
        QVERIFY(LastNumbers::SaveLastNumbers(db, {QStringLiteral("13911112222"), QStringLiteral("13933334444")}));
    }
    CMainFrame &f = Frame();
    QCOMPARE(f.View().GetAllNumbers().size(), 2);
    f.View().Model().Clear();
    f.close();
    CDbAccess db(m_app->DbSettingsSource());
    QCOMPARE(LastNumbers::LoadLastNumbers(db), QStringList({QStringLiteral("13911112222"), QStringLiteral("13933334444")}));
}

void tst_MainFrame::placementRestored_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("nothing stored: the default rectangle") << false << QRect(QPoint(100, 100), QPoint(1199, 799));
    QTest::newRow("a stored rectangle") << true << QRect(QPoint(30, 40), QPoint(1029, 789));
}

void tst_MainFrame::placementRestored()
{
    QFETCH(bool, stored);
    QFETCH(QRect, expected);
    if (stored) {
        WindowPlacement p;
        p.SetNormalRect(expected);
        p.Write(*m_profile);
    }
    CMainFrame &f = Frame();
    QVERIFY(ShownPlaced(f));
    QCOMPARE(f.geometry(), expected);
}

QTEST_MAIN(tst_MainFrame)
#include "tst_mainframe.moc"

void tst_MainFrame::recordCommandsReachTheirWindows_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("exportLog");
    QTest::newRow("main menu") << "frame" << "actionQuery" << "actionExport";
    QTest::newRow("tray menu") << "frame" << "trayQuery" << "trayExport";
    QTest::newRow("records list popup") << "list" << "actionQuery" << "actionExport";
}

// The query window is made hidden with the main window and shown by each command; the export
// of an empty list is refused before any file dialog.
void tst_MainFrame::recordCommandsReachTheirWindows()
{
    QFETCH(QString, where);
    QFETCH(QString, query);
    QFETCH(QString, exportLog);
    CMainFrame &f = Frame();
    QVERIFY(ShownPlaced(f));
    QObject *owner = where == QStringLiteral("list") ? static_cast<QObject *>(f.List().ContextMenu()) : &f;
    QVERIFY(!f.QueryDialog().isVisible());
    QAction *q = owner->findChild<QAction *>(query);
    QVERIFY(q && q->isEnabled());
    q->trigger();
    QVERIFY(f.QueryDialog().isVisible());
    f.List().ClearRows();
    QAction *e = owner->findChild<QAction *>(exportLog);
    QVERIFY(e && e->isEnabled());
    e->trigger();
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("没有发送日志内容需要导出")});
}
