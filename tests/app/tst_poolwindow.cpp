// What the operator sees of the run and of the modems in the main window: "停止" and the
// status bar, the device window under --device, and the list of modems it edits. Offscreen,
// against simulated modems on pseudo-terminals.
#include "ModemSimulator.h"
#include "WindowKit.h"
#include "app/CMainFrame.h"
#include "base/DeviceSettings.h"
#include "records/CMyList.h"
#include "records/RecordsModel.h"
#include "send/CSkevoView.h"
#include "send/SendListModel.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

namespace {

// A main window whose modems answer the handshake quickly.
struct Window
{
    Window()
    {
        ModemTimeouts t = frame.Link().Timeouts();
        t.handshakeMs = 500;
        frame.Link().SetTimeouts(t);
    }
    QLabel *Pane(const char *name) { return Child<QLabel>(frame, name); }
    QString Message() { return Pane("paneMessage")->text(); }
    QProgressBar *Bar() { return frame.View().ProgressBar(); }
    void Press(const char *button) { QTest::mouseClick(Child<QPushButton>(frame.View(), button), Qt::LeftButton); }
    void Trigger(const char *action) { Child<QAction>(frame, action)->trigger(); }
    int SentReports() const
    {
        int n = 0;
        for (int r = 0; r < frame.List().Model().rowCount(); ++r)
            n += frame.List().Model().Row(r).m_strAction == QStringLiteral("发送") ? 1 : 0;
        return n;
    }
    QStringList Numbers(int count) const
    {
        QStringList out;
        for (int i = 0; i < count; ++i)
            out << QStringLiteral("1390000%1").arg(i, 4, 10, QLatin1Char('0'));
        return out;
    }

    FramePlace place;
    CMainFrame frame{place.app, place.messages, place.ring, &place.profile};
};

} // namespace

class tst_PoolWindow : public QObject
{
    Q_OBJECT
private slots:
    void stopMessageStaysUntilTheNextRun_data();
    void stopMessageStaysUntilTheNextRun();
    void deviceWindowShowsThePortInUse();
    void modemListInTheDeviceWindow();
};

void tst_PoolWindow::stopMessageStaysUntilTheNextRun_data()
{
    QTest::addColumn<bool>("inFlight");
    QTest::newRow("a message in flight finishes after the stop") << true;
    QTest::newRow("nothing in flight: the modem waits for its PIN") << false;
}

// After 停止 the status bar says how many were not sent, counting the one in flight as
// finishing, and says it until the next run starts; the bar keeps the stopped run's place
// (what went of the whole) and agrees with the words; the next run's summary counts only it.
void tst_PoolWindow::stopMessageStaysUntilTheNextRun()
{
    QFETCH(bool, inFlight);
    Window w;
    ModemSimulator sim;
    QVERIFY(sim.Start());
    if (inFlight)
        sim.SetLateAnswer(ModemSimulator::Fault::Always(), 400);
    else
        sim.SetSimPin(QStringLiteral("1234"));
    w.frame.Link().SetPortOverride(sim.DevicePath());
    w.Trigger("actionConnect");
    QVERIFY(w.frame.IsConnected());
    w.frame.View().Model().Append(w.Numbers(20));
    w.Press("sendButton");
    QCOMPARE(w.Message(), QStringLiteral("正在发送..."));
    QCOMPARE(w.Bar()->maximum(), 20);
    if (inFlight) {
        QTRY_VERIFY_WITH_TIMEOUT(w.SentReports() >= 1, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(sim.SubmitCount() > w.SentReports(), 30000); // one in the modem's hands
    }
    w.Press("stopButton");
    const QString stopped = w.Message();
    QVERIFY2(stopped.startsWith(QStringLiteral("已停止, ")) && stopped.endsWith(QStringLiteral(" 条未发送")), qPrintable(stopped));
    const int notSent = stopped.section(QLatin1Char(' '), 1, 1).toInt();
    // What went and what was in the modem's hands count as going; the rest is not sent.
    QVERIFY2(inFlight ? notSent <= 18 : notSent == 20, qPrintable(stopped));
    QTRY_COMPARE_WITH_TIMEOUT(w.place.app.Queue().QueuedCount(), 0, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(w.SentReports(), 20 - notSent, 30000);
    // The words stay, and the bar shows what went of the twenty: the two agree.
    QTRY_COMPARE(w.Bar()->value(), 20 - notSent);
    QCOMPARE(w.Bar()->maximum(), 20);
    QCOMPARE(w.Message(), stopped);
    QCOMPARE(w.frame.statusBar()->currentMessage(), QString());
    QCOMPARE(sim.SubmitCount(), 20 - notSent);

    // The next run (numbers the stopped one never reached): new words at once, the bar from
    // nothing, and its summary its own.
    sim.SetSimPin(QString());
    w.frame.View().Model().Clear();
    w.frame.View().Model().Append(w.Numbers(23).mid(20));
    if (!inFlight) {
        w.Trigger("actionDisconnect");
        w.Trigger("actionConnect");
    }
    w.Press("sendButton");
    QCOMPARE(w.Message(), QStringLiteral("正在发送..."));
    QCOMPARE(w.Bar()->maximum(), 3);
    QCOMPARE(w.Bar()->value(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(w.Message(), QStringLiteral("发送完成: 成功 3 条, 失败 0 条"), 30000);
    QCOMPARE(w.Bar()->value(), 3);
    QVERIFY2(w.place.messages.shown.isEmpty(), qPrintable(w.place.messages.Texts().join(u'|')));
}

// Started with --device, the device window shows that port, not the configured one; a port
// chosen there is the one the next connect opens, and the --device port is no longer used.
void tst_PoolWindow::deviceWindowShowsThePortInUse()
{
    Window w;
    ModemSimulator given, chosen;
    QVERIFY(given.Start() && chosen.Start());
    w.frame.Link().SetPortOverride(given.DevicePath()); // as "skevo --device" does
    w.Trigger("actionConnect");
    QVERIFY(w.frame.IsConnected());

    QString shown;
    OnNextModal([&](QWidget *dialog) {
        shown = Child<QComboBox>(*dialog, "portCombo")->currentText();
        QTest::mouseClick(Child<QPushButton>(*dialog, "cancelButton"), Qt::LeftButton);
    });
    w.Trigger("actionDevice");
    QCOMPARE(shown, given.DevicePath());
    QCOMPARE(w.frame.Link().PortOverride(), QStringList{given.DevicePath()}); // cancelled: as it was

    OnNextModal([&](QWidget *dialog) {
        Child<QComboBox>(*dialog, "portCombo")->setEditText(chosen.DevicePath());
        QTest::mouseClick(Child<QPushButton>(*dialog, "okButton"), Qt::LeftButton);
    });
    w.Trigger("actionDevice");
    QCOMPARE(DeviceSettings::Read(w.place.app.Settings()).m_strCOM, chosen.DevicePath());
    // The open port stays until the next connect.
    QVERIFY(w.Pane("paneLink")->toolTip().startsWith(given.DevicePath()));
    w.Trigger("actionDisconnect");
    given.ClearLog();
    w.Trigger("actionConnect");
    QVERIFY(w.frame.IsConnected());
    QTRY_VERIFY(w.Pane("paneLink")->toolTip().startsWith(chosen.DevicePath()));
    QTRY_VERIFY(chosen.Commands().contains(QStringLiteral("AT"))); // reached off the window's thread
    QCOMPARE(given.Commands(), QStringList());
    QVERIFY2(w.place.messages.shown.isEmpty(), qPrintable(w.place.messages.Texts().join(u'|')));
}

// The device window's list of modems: one added with its own port (everything else as the
// first), two modems connected with a pane each and the records naming the modem, two modems
// on one port refused, one removed.
void tst_PoolWindow::modemListInTheDeviceWindow()
{
    Window w;
    ModemSimulator first, second;
    QVERIFY(first.Start() && second.Start());
    DeviceSettings configured;
    configured.m_strCOM = first.DevicePath();
    QVERIFY(configured.Write(w.place.app.Settings()));
    w.place.app.SetDevices({configured});

    QStringList listed, placeholder;
    OnNextModal([&](QWidget *dialog) {
        auto *list = Child<QListWidget>(*dialog, "modemList");
        QTest::mouseClick(Child<QPushButton>(*dialog, "addModemButton"), Qt::LeftButton);
        for (int i = 0; i < list->count(); ++i)
            listed << list->item(i)->text();
        placeholder << Child<QComboBox>(*dialog, "baudCombo")->lineEdit()->placeholderText();
        Child<QComboBox>(*dialog, "portCombo")->setEditText(second.DevicePath());
        QTest::mouseClick(Child<QPushButton>(*dialog, "okButton"), Qt::LeftButton);
    });
    w.Trigger("actionDevice");
    QCOMPARE(listed, (QStringList{QStringLiteral("1. ") + first.DevicePath(), QStringLiteral("2. (未设置串口)")}));
    QCOMPARE(placeholder, QStringList{QStringLiteral("同第一台")});
    const CSettingsFile &file = w.place.app.Settings();
    QCOMPARE(file.ReadString(QStringLiteral("MODEM2"), QStringLiteral("COM"), QString()), second.DevicePath());
    QCOMPARE(file.ReadString(QStringLiteral("MODEM2"), QStringLiteral("BaudRate"), QStringLiteral("x")), QString());

    w.Trigger("actionConnect");
    QVERIFY(w.frame.IsConnected());
    QTRY_VERIFY_WITH_TIMEOUT(w.Pane("paneLink")->toolTip().startsWith(first.DevicePath() + QStringLiteral("  SIM卡就绪")), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(w.Pane("paneLink2")->toolTip().startsWith(second.DevicePath() + QStringLiteral("  SIM卡就绪")), 30000);
    first.SetLateAnswer(ModemSimulator::Fault::Always(), 100);
    second.SetLateAnswer(ModemSimulator::Fault::Always(), 100);
    w.frame.View().Model().Append(w.Numbers(6));
    w.Press("sendButton");
    QTRY_COMPARE_WITH_TIMEOUT(w.Message(), QStringLiteral("发送完成: 成功 6 条, 失败 0 条"), 30000);
    QStringList ports;
    for (int r = 0; r < 6; ++r)
        ports << w.frame.List().Model().index(r, RecordsModel::PortColumn).data().toString();
    // Each row names its modem by port and SIM.
    const int byFirst = int(ports.count(ReportText::Modem(first.DevicePath(), first.Imsi())));
    QCOMPARE(byFirst + int(ports.count(ReportText::Modem(second.DevicePath(), second.Imsi()))), 6);
    QTRY_VERIFY(w.Pane("paneLink")->toolTip().endsWith(QStringLiteral("已发送: %1").arg(byFirst)));
    QTRY_VERIFY(w.Pane("paneLink2")->toolTip().endsWith(QStringLiteral("已发送: %1").arg(6 - byFirst)));

    // A third modem on the second one's port is refused, and shown; then the second goes.
    QString refusedRow;
    QStringList after;
    OnNextModal([&](QWidget *dialog) {
        auto *list = Child<QListWidget>(*dialog, "modemList");
        QTest::mouseClick(Child<QPushButton>(*dialog, "addModemButton"), Qt::LeftButton);
        Child<QComboBox>(*dialog, "portCombo")->setEditText(second.DevicePath());
        list->setCurrentRow(0);
        QTest::mouseClick(Child<QPushButton>(*dialog, "okButton"), Qt::LeftButton);
        refusedRow = list->currentItem()->text();
        list->setCurrentRow(1);
        QTest::mouseClick(Child<QPushButton>(*dialog, "removeModemButton"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(*dialog, "removeModemButton"), Qt::LeftButton);
        for (int i = 0; i < list->count(); ++i)
            after << list->item(i)->text();
        QTest::mouseClick(Child<QPushButton>(*dialog, "okButton"), Qt::LeftButton);
    });
    w.Trigger("actionDevice");
    QCOMPARE(w.place.messages.Texts(), QStringList{QStringLiteral("两台短信猫不能使用同一个串口: ") + second.DevicePath()});
    QCOMPARE(refusedRow, QStringLiteral("3. ") + second.DevicePath());
    QCOMPARE(after, QStringList{QStringLiteral("1. ") + first.DevicePath()});
    QCOMPARE(file.ReadString(QStringLiteral("MODEM2"), QStringLiteral("COM"), QString()), QString());
    QCOMPARE(DeviceSettings::ReadList(file).size(), 1);
}

QTEST_MAIN(tst_PoolWindow)
#include "tst_poolwindow.moc"
