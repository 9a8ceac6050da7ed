// The main window at an operator's size, offscreen, against simulated modems on
// pseudo-terminals: the status bar with a pane per modem (none over another, each text whole
// or whole in its tooltip, the run's summary too), the tray's tooltip and its notifications
// (once, not at every try), and the records list after a restart (at least eight rows).
// With SKEVO_SCREENSHOTS=<folder> it also saves the screens of docs/screenshots there.
#include "ModemSimulator.h"
#include "WindowKit.h"
#include "app/CMainFrame.h"
#include "app/StatusPane.h"
#include "app/WindowPlacement.h"
#include "base/DeviceSettings.h"
#include "records/CMyList.h"
#include "send/CSkevoView.h"
#include "send/CTrayIcon.h"
#include "send/SendListModel.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <memory>
#include <vector>

namespace {

// count simulated modems, each behind a link named like a USB modem (ttyUSB0, ...) and
// configured in the device settings under that name's port.
struct Pool
{
    explicit Pool(FramePlace &place, int count)
    {
        QVector<DeviceSettings> devices;
        for (int i = 0; i < count; ++i) {
            sims.push_back(std::make_unique<ModemSimulator>());
            const QString link = place.dir.filePath(QStringLiteral("ttyUSB%1").arg(i));
            started = started && sims.back()->Start() && sims.back()->MakeLink(link);
            DeviceSettings d = i == 0 ? DeviceSettings() : DeviceSettings::AsFirst();
            d.m_strCOM = link;
            d.m_strBaudRate = QStringLiteral("115200");
            devices.append(d);
        }
        place.app.SetDevices(devices);
    }
    std::vector<std::unique_ptr<ModemSimulator>> sims;
    bool started = true;
};

struct Window
{
    Window()
    {
        ModemTimeouts t = frame.Link().Timeouts();
        t.handshakeMs = 500;
        frame.Link().SetTimeouts(t);
    }
    QList<QLabel *> Panes() const
    {
        QList<QLabel *> shown;
        for (QLabel *l : frame.statusBar()->findChildren<QLabel *>()) {
            if (l->isVisible())
                shown << l;
        }
        return shown;
    }
    QList<StatusPane *> LinkPanes() const
    {
        QList<StatusPane *> panes;
        for (StatusPane *p : frame.statusBar()->findChildren<StatusPane *>()) {
            if (p->objectName().startsWith(QStringLiteral("paneLink")))
                panes << p;
        }
        return panes;
    }
    bool AllReady(int count) const
    {
        const QList<StatusPane *> panes = LinkPanes();
        return panes.size() == count && std::all_of(panes.cbegin(), panes.cend(), [](const StatusPane *p) {
                   return p->toolTip().contains(QStringLiteral("SIM卡就绪"));
               });
    }
    StatusPane *Message() const { return frame.statusBar()->findChild<StatusPane *>(QStringLiteral("paneMessage")); }
    void Show(int width, int height)
    {
        frame.resize(width, height);
        frame.show();
    }

    FramePlace place;
    CMainFrame frame{place.app, place.messages, place.ring, &place.profile};
};

// No pane over another, and each shows its whole text or has it whole in its tooltip.
QString Crowding(const QList<QLabel *> &panes)
{
    for (qsizetype i = 0; i < panes.size(); ++i) {
        const QLabel *p = panes.at(i);
        for (qsizetype j = i + 1; j < panes.size(); ++j) {
            if (p->geometry().intersects(panes.at(j)->geometry()))
                return p->objectName() + QStringLiteral(" over ") + panes.at(j)->objectName();
        }
        const auto *pane = qobject_cast<const StatusPane *>(p);
        const QString full = pane ? pane->FullText() : p->text();
        const bool fits = p->text() == full && p->fontMetrics().horizontalAdvance(full) <= p->contentsRect().width();
        if (!fits && !p->toolTip().contains(full))
            return p->objectName() + QStringLiteral(" cuts \"") + full + QLatin1Char('"');
    }
    return QString();
}

void Screenshot(QWidget *w, const QString &name)
{
    const QString folder = qEnvironmentVariable("SKEVO_SCREENSHOTS");
    if (!folder.isEmpty())
        QVERIFY(w->grab().save(folder + QLatin1Char('/') + name));
}

// The tray's tooltip as a desktop shows it: the text on the tooltip's colours.
void TooltipScreenshot(const QString &tip, const QString &name)
{
    QLabel shown(tip);
    shown.setWindowFlags(Qt::ToolTip);
    shown.setMargin(6);
    shown.setAutoFillBackground(true);
    shown.setStyleSheet(QStringLiteral("QLabel { background: #ffffdc; color: black; border: 1px solid #767676; }"));
    shown.adjustSize();
    Screenshot(&shown, name);
}

} // namespace

class tst_StatusBar : public QObject
{
    Q_OBJECT
private slots:
    void fourModemsAt1100();
    void sixteenModems();
    void trayTellsALostModemOnce();
    void trayTellsAPinOnce();
    void listKeepsEightRowsAfterARestart_data();
    void listKeepsEightRowsAfterARestart();
};

// Four modems at 1100 pixels: a pane each, whole, beside the run's summary.
void tst_StatusBar::fourModemsAt1100()
{
    Window w;
    Pool pool(w.place, 4);
    QVERIFY(pool.started);
    w.Show(1100, 700);
    QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
    Child<QAction>(w.frame, "actionConnect")->trigger();
    QVERIFY(w.frame.IsConnected());
    QTRY_VERIFY_WITH_TIMEOUT(w.AllReady(4), 30000);
    QStringList numbers;
    for (int i = 0; i < 8; ++i)
        numbers << QStringLiteral("1390000%1").arg(i, 4, 10, QLatin1Char('0'));
    w.frame.View().Model().Append(numbers);
    QTest::mouseClick(Child<QPushButton>(w.frame.View(), "sendButton"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w.Message()->FullText(), QStringLiteral("发送完成: 成功 8 条, 失败 0 条"), 30000);

    QCOMPARE(w.frame.width(), 1100);
    QTRY_COMPARE(Crowding(w.Panes()), QString());
    for (const StatusPane *p : w.LinkPanes()) {
        QVERIFY2(!p->IsShortened(), qPrintable(p->FullText()));
        QVERIFY(p->text().startsWith(QStringLiteral("ttyUSB")));
        QVERIFY(p->text().endsWith(QStringLiteral(" 就绪 65%")));
    }
    QVERIFY(!w.Message()->IsShortened());
    Screenshot(w.frame.statusBar(), QStringLiteral("statusbar-4-modems.png"));

    // Narrower: the summary gives way first, and is whole in its tooltip.
    w.frame.resize(760, 700);
    QTRY_COMPARE(w.frame.width(), 760);
    QTRY_COMPARE(Crowding(w.Panes()), QString());
    QVERIFY(w.Message()->IsShortened());
    QVERIFY(w.Message()->toolTip().contains(QStringLiteral("发送完成: 成功 8 条, 失败 0 条")));

    // One modem lost: its pane says so; the tray lists every modem.
    pool.sims[1]->Stop();
    QTRY_COMPARE_WITH_TIMEOUT(w.LinkPanes().at(1)->FullText(), QStringLiteral("ttyUSB1 已断开"), 10000);
    const QString tip = w.frame.View().Tray().Tip();
    QCOMPARE(tip.split(u'\n').size(), 5);
    QVERIFY2(tip.contains(QStringLiteral("ttyUSB1: 短信猫已断开, 正在重新连接...")), qPrintable(tip));
    QVERIFY2(tip.contains(QStringLiteral("ttyUSB0: 就绪, 信号 65%")), qPrintable(tip));
    w.frame.resize(1100, 700);
    QTRY_COMPARE(Crowding(w.Panes()), QString());
    Screenshot(w.frame.statusBar(), QStringLiteral("statusbar-4-modems-one-lost.png"));
    TooltipScreenshot(tip, QStringLiteral("tray-tooltip.png"));
}

// Sixteen modems: a pane each, none over another; a pane too narrow for its text has it in its
// tooltip with everything its modem says.
void tst_StatusBar::sixteenModems()
{
    Window w;
    Pool pool(w.place, 16);
    QVERIFY(pool.started);
    w.Show(1100, 700);
    QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
    Child<QAction>(w.frame, "actionConnect")->trigger();
    QVERIFY(w.frame.IsConnected());
    QTRY_VERIFY_WITH_TIMEOUT(w.AllReady(16), 60000);
    QTRY_COMPARE(Crowding(w.Panes()), QString());
    for (const StatusPane *p : w.LinkPanes()) {
        QVERIFY(p->toolTip().contains(QStringLiteral("SIM卡就绪")));
        QVERIFY2(p->text().startsWith(QStringLiteral("就绪 ")), qPrintable(p->text()));
    }
    Screenshot(w.frame.statusBar(), QStringLiteral("statusbar-16-modems.png"));
    w.frame.resize(1600, 700);
    QTRY_COMPARE(w.frame.width(), 1600);
    QTRY_COMPARE(Crowding(w.Panes()), QString());
    Screenshot(w.frame.statusBar(), QStringLiteral("statusbar-16-modems-1600.png"));
}

// A modem lost is told; once more after it came back and was lost again (the tries between
// are LinkNotices' table).
void tst_StatusBar::trayTellsALostModemOnce()
{
    Window w;
    Pool pool(w.place, 2);
    QVERIFY(pool.started);
    Child<QAction>(w.frame, "actionConnect")->trigger();
    QVERIFY(w.frame.IsConnected());
    QTRY_VERIFY_WITH_TIMEOUT(w.AllReady(2), 30000);
    QSignalSpy told(&w.frame.View().Tray(), &CTrayIcon::notified);

    pool.sims[0]->Stop();
    QTRY_COMPARE_WITH_TIMEOUT(told.count(), 1, 10000);
    QCOMPARE(told.at(0).at(1).toString(), QStringLiteral("ttyUSB0: 短信猫已断开, 正在重新连接..."));

    QVERIFY(pool.sims[0]->Start());
    QVERIFY(pool.sims[0]->MakeLink(w.place.dir.filePath(QStringLiteral("ttyUSB0"))));
    QTRY_VERIFY_WITH_TIMEOUT(w.AllReady(2), 30000);
    pool.sims[0]->Stop();
    QTRY_COMPARE_WITH_TIMEOUT(told.count(), 2, 10000);
    Child<QAction>(w.frame, "actionDisconnect")->trigger();
    QCOMPARE(w.frame.View().Tray().Tip(), QStringLiteral("电脑与短信猫未连接"));
}

void tst_StatusBar::trayTellsAPinOnce()
{
    Window w;
    Pool pool(w.place, 2);
    QVERIFY(pool.started);
    pool.sims[1]->SetSimPin(QStringLiteral("1234"));
    QSignalSpy told(&w.frame.View().Tray(), &CTrayIcon::notified);
    Child<QAction>(w.frame, "actionConnect")->trigger();
    QVERIFY(w.frame.IsConnected());
    QTRY_COMPARE_WITH_TIMEOUT(w.LinkPanes().value(1) ? w.LinkPanes().at(1)->FullText() : QString(),
                              QStringLiteral("ttyUSB1 需要PIN码"), 30000);
    QTRY_COMPARE(told.count(), 1);
    QCOMPARE(told.at(0).at(1).toString(), QStringLiteral("ttyUSB1: SIM卡需要PIN码, 请在设备管理中填写"));
    QTRY_VERIFY_WITH_TIMEOUT(w.LinkPanes().at(0)->toolTip().contains(QStringLiteral("SIM卡就绪")), 30000);
    QCOMPARE(told.count(), 1);
}

void tst_StatusBar::listKeepsEightRowsAfterARestart_data()
{
    QTest::addColumn<int>("savedPanel"); // 0: none saved
    QTest::newRow("nothing saved") << 0;
    QTest::newRow("a panel saved in a larger window") << 700;
    QTest::newRow("a panel saved small") << 120;
}

// At 1100×700, whatever panel height the last run left, the records list shows at least
// eight rows and the panel is whole.
void tst_StatusBar::listKeepsEightRowsAfterARestart()
{
    QFETCH(int, savedPanel);
    FramePlace place;
    WindowPlacement p;
    p.SetNormalRect(QRect(50, 50, 1100, 700));
    p.m_nPanelHeight = savedPanel;
    p.Write(place.profile);
    CMainFrame frame(place.app, place.messages, place.ring, &place.profile);
    frame.ShowWithPlacement();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    CMyList &list = frame.List();
    const int rows = (list.viewport()->height()) / list.verticalHeader()->defaultSectionSize();
    QVERIFY2(rows >= 8, qPrintable(QString::number(rows)));
    // And the panel whole beside it, its bar and 停止 in sight.
    auto *splitter = qobject_cast<QSplitter *>(frame.centralWidget());
    QVERIFY(splitter->sizes().at(1) >= frame.View().minimumSizeHint().height());

    // What the operator leaves is what the next start finds, within the same rule.
    frame.close();
    QVERIFY(WindowPlacement::Read(place.profile).m_nPanelHeight == splitter->sizes().at(1));
}

QTEST_MAIN(tst_StatusBar)
#include "tst_statusbar.moc"
