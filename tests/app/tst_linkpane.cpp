// The main window's view of the link: the pane with the port and the signal strength, and
// the line with the counts after a run, against the simulated modem.
#include "ModemSimulator.h"
#include "WindowKit.h"
#include "app/CMainFrame.h"
#include "app/LinkStatus.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QTest>

class tst_LinkPane : public QObject
{
    Q_OBJECT
private slots:
    void texts();
    void paneFollowsTheLinkAndRunsAreCounted();
};

void tst_LinkPane::texts()
{
    QCOMPARE(LinkStatus::PaneText(QString(), SignalQuality{20, 99}), QStringLiteral("未连接"));
    QCOMPARE(LinkStatus::PaneText(QStringLiteral("COM1"), std::nullopt), QStringLiteral("COM1"));
    QCOMPARE(LinkStatus::PaneText(QStringLiteral("COM1"), SignalQuality{99, 99}), QStringLiteral("COM1  信号: 未知"));
    QCOMPARE(LinkStatus::RunDoneText(12, 0), QStringLiteral("发送完成: 成功 12 条, 失败 0 条"));
}

void tst_LinkPane::paneFollowsTheLinkAndRunsAreCounted()
{
    FramePlace place;
    ModemSimulator sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorString()));
    CMainFrame frame(place.app, place.messages, place.ring, &place.profile);
    auto *pane = frame.findChild<QLabel *>(QStringLiteral("paneLink"));
    QVERIFY(pane);
    QCOMPARE(pane->text(), QStringLiteral("未连接"));

    frame.Link().SetPortOverride(sim.DevicePath());
    frame.findChild<QAction *>(QStringLiteral("actionConnect"))->trigger();
    QVERIFY2(frame.IsConnected(), qPrintable(place.messages.Texts().join(u'|')));
    QTRY_COMPARE_WITH_TIMEOUT(pane->text(), sim.DevicePath() + QStringLiteral("  信号: 65%"), 30000);

    sim.SetCmsErrorTo({QStringLiteral("8613900000002")});
    place.app.Modem().Enqueue(QVector<SmsRecord>{CSmsModem::MakeRecord(place.app.Device().m_strSMSC, QStringLiteral("8613900000001"), QStringLiteral("a"), -1),
                                           CSmsModem::MakeRecord(place.app.Device().m_strSMSC, QStringLiteral("8613900000002"), QStringLiteral("b"), -1)});
    QTRY_COMPARE_WITH_TIMEOUT(frame.statusBar()->currentMessage(), QStringLiteral("发送完成: 成功 1 条, 失败 1 条"), 30000);

    frame.findChild<QAction *>(QStringLiteral("actionDisconnect"))->trigger();
    QCOMPARE(pane->text(), QStringLiteral("未连接"));
    QVERIFY(place.messages.shown.isEmpty());
}

QTEST_MAIN(tst_LinkPane)
#include "tst_linkpane.moc"
