// The main window's view of the link: the pane with the port, what the modem waits for, its
// SIM, network and signal, and the line with the counts after a run, against the simulated modem.
#include "EngineRig.h"
#include "ModemSimulator.h"
#include "WindowKit.h"
#include "app/CMainFrame.h"
#include "app/LinkStatus.h"
#include "send/CSkevoView.h"
#include "send/CTrayIcon.h"
#include "sms/PduCodec.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

Q_DECLARE_METATYPE(SimState)

class tst_LinkPane : public QObject
{
    Q_OBJECT
private slots:
    void texts_data();
    void texts();
    void panes_data();
    void panes();
    void paneFollowsTheLinkAndRunsAreCounted();
    void runSummaryCountsDeliveries();
    void simTexts_data();
    void simTexts();
    void pinGivenInTheDeviceWindow();
};

void tst_LinkPane::simTexts_data()
{
    QTest::addColumn<SimState>("sim");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("held"); // HeldText when this is the only SIM
    const QDateTime now(QDate(2026, 3, 2), QTime(10, 20));
    const auto sim = [now](int hour, int day, int limitHour, int limitDay, bool quiet) {
        SimState s;
        s.port = QStringLiteral("/dev/ttyUSB0");
        s.counted = true;
        s.count.hour = hour;
        s.count.day = day;
        s.count.rules.limitHour = limitHour;
        s.count.rules.limitDay = limitDay;
        s.count.Judge(now);
        if (quiet)
            s.quietUntil = QDateTime(QDate(2026, 3, 3), QTime(8, 0));
        return s;
    };
    QTest::newRow("no limit: today's count") << sim(3, 40, 0, 0, false) << QStringLiteral("今日 40") << QString();
    QTest::newRow("beside the daily limit") << sim(3, 40, 0, 500, false) << QStringLiteral("今日 40/500") << QString();
    QTest::newRow("the day full") << sim(20, 500, 0, 500, false) << QStringLiteral("今日 500/500, 已达上限")
                                  << QStringLiteral("所有SIM卡已达发送上限, 将于 2026-03-03 00:00 继续发送");
    QTest::newRow("the hour full: when it rolls") << sim(60, 120, 60, 500, false)
                                                  << QStringLiteral("今日 120/500, 已达上限 (11:00 恢复)")
                                                  << QStringLiteral("所有SIM卡已达发送上限, 将于 2026-03-02 11:00 继续发送");
    QTest::newRow("quiet hours") << sim(0, 10, 0, 0, true) << QStringLiteral("今日 10")
                                 << QStringLiteral("静默时段, 群发将于 2026-03-03 08:00 继续");
    SimState unknown;
    QTest::newRow("not counted") << unknown << QString() << QString();
}

void tst_LinkPane::simTexts()
{
    QFETCH(SimState, sim);
    QFETCH(QString, count);
    QFETCH(QString, held);
    QCOMPARE(LinkStatus::SimCountText(sim), count);
    const QDateTime until = sim.Held() ? sim.FreeAt() : QDateTime();
    QCOMPARE(LinkStatus::HeldText({sim}, until), held);
    // The pane shows the count of a SIM with limits beside the modem's words, always.
    ModemStatus ready;
    ready.link = ModemStatus::Link::Answering;
    ready.sim = ModemStatus::Sim::Ready;
    ready.registration = ModemStatus::Registration::Home;
    const LinkStatus::ModemLine line{QStringLiteral("/dev/ttyUSB0"), ready, 0, QString(), sim};
    QCOMPARE(LinkStatus::ShortLine(line).contains(QStringLiteral("今日")), sim.count.rules.HasLimit());
    QVERIFY(!sim.count.rules.HasLimit() || LinkStatus::ShortLine(line).endsWith(count));
}

void tst_LinkPane::texts_data()
{
    using L = ModemStatus::Link;
    using S = ModemStatus::Sim;
    using R = ModemStatus::Registration;
    QTest::addColumn<QString>("port");
    QTest::addColumn<ModemStatus>("status");
    QTest::addColumn<QString>("pane");
    const auto status = [](L link, S sim, R reg, const QString &op, std::optional<SignalQuality> signal) {
        ModemStatus s;
        s.link = link;
        s.sim = sim;
        s.registration = reg;
        s.operatorName = op;
        s.signal = signal;
        return s;
    };
    const QString op = QStringLiteral("CHINA MOBILE");
    QTest::newRow("not connected") << QString() << status(L::Answering, S::Ready, R::Home, op, SignalQuality{20, 99})
                                   << QStringLiteral("未连接");
    QTest::newRow("connecting") << QStringLiteral("COM1") << ModemStatus() << QStringLiteral("COM1");
    QTest::newRow("ready at home") << QStringLiteral("COM1") << status(L::Answering, S::Ready, R::Home, op, SignalQuality{20, 99})
                                   << QStringLiteral("COM1  SIM卡就绪  网络: 本地网络 CHINA MOBILE  信号: 65%");
    QTest::newRow("roaming, strength not known") << QStringLiteral("COM1") << status(L::Answering, S::Ready, R::Roaming, op, SignalQuality{99, 99})
                                                 << QStringLiteral("COM1  SIM卡就绪  网络: 漫游 CHINA MOBILE  信号: 未知");
    QTest::newRow("searching") << QStringLiteral("COM1") << status(L::Answering, S::Ready, R::Searching, QString(), std::nullopt)
                               << QStringLiteral("COM1  短信猫未注册到网络, 正在等待...  网络: 正在搜索");
    QTest::newRow("denied") << QStringLiteral("COM1") << status(L::Answering, S::Ready, R::Denied, QString(), std::nullopt)
                            << QStringLiteral("COM1  短信猫未注册到网络, 正在等待...  网络: 被拒绝");
    QTest::newRow("pin needed") << QStringLiteral("COM1") << status(L::Answering, S::PinNeeded, R::NotSearching, QString(), std::nullopt)
                                << QStringLiteral("COM1  SIM卡需要PIN码, 请在设备管理中填写");
    QTest::newRow("pin refused") << QStringLiteral("COM1") << status(L::Answering, S::PinRefused, R::Unknown, QString(), std::nullopt)
                                 << QStringLiteral("COM1  SIM卡PIN码错误");
    QTest::newRow("puk needed") << QStringLiteral("COM1") << status(L::Answering, S::PukNeeded, R::Unknown, QString(), std::nullopt)
                                << QStringLiteral("COM1  SIM卡已锁定(需要PUK码)");
    QTest::newRow("no sim") << QStringLiteral("COM1") << status(L::Answering, S::Absent, R::Unknown, QString(), std::nullopt)
                            << QStringLiteral("COM1  没有SIM卡");
    QTest::newRow("unplugged: nothing stale") << QStringLiteral("COM1") << status(L::DeviceGone, S::Ready, R::Home, op, SignalQuality{20, 99})
                                              << QStringLiteral("COM1  短信猫已断开, 正在重新连接...");
    QTest::newRow("silent") << QStringLiteral("COM1") << status(L::NotAnswering, S::Ready, R::Home, op, std::nullopt)
                            << QStringLiteral("COM1  短信猫没有响应, 正在重新连接...");
}

// The run's summary: deliveries only once a report came, counted as they come.
void tst_LinkPane::runSummaryCountsDeliveries()
{
    RunTally t;
    t.run = 1;
    t.state = RunTally::State::Finished;
    t.total = 3;
    t.succeeded = 2;
    t.failed = 1;
    QCOMPARE(LinkStatus::RunText(t), QStringLiteral("发送完成: 成功 2 条, 失败 1 条"));
    t.delivered = 1;
    QCOMPARE(LinkStatus::RunText(t), QStringLiteral("发送完成: 成功 2 条, 失败 1 条, 已送达 1 条, 未送达 0 条"));
    t.undelivered = 1;
    QCOMPARE(LinkStatus::RunText(t), QStringLiteral("发送完成: 成功 2 条, 失败 1 条, 已送达 1 条, 未送达 1 条"));
}

void tst_LinkPane::texts()
{
    QFETCH(QString, port);
    QFETCH(ModemStatus, status);
    QFETCH(QString, pane);
    QCOMPARE(LinkStatus::PaneText(port, status), pane);
}

void tst_LinkPane::panes_data()
{
    QTest::addColumn<int>("modems");
    QTest::addColumn<int>("waiting"); // the modem that waits for its PIN, -1 none
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("tips");
    const QString full = QStringLiteral("  SIM卡就绪  网络: 本地网络 CHINA MOBILE  信号: 65%  已发送: ");
    const QString pin = QStringLiteral("SIM卡需要PIN码, 请在设备管理中填写");
    const auto port = [](int i) { return QStringLiteral("/dev/ttyUSB%1").arg(i); };
    QTest::newRow("none connected") << 0 << -1 << QStringList{QStringLiteral("未连接")} << QStringList{QString()};
    QTest::newRow("one modem: its port's last part, state and signal; all it says in the tooltip")
        << 1 << -1 << QStringList{QStringLiteral("ttyUSB1 就绪 65%")} << QStringList{port(1) + full + QStringLiteral("1")};
    QTest::newRow("two: the second named in 设备管理, waiting for its PIN")
        << 2 << 1 << QStringList{QStringLiteral("ttyUSB1 就绪 65%"), QStringLiteral("二号猫 需要PIN码")}
        << QStringList{port(1) + full + QStringLiteral("1"), port(2) + QStringLiteral("  ") + pin + QStringLiteral("  已发送: 2")};
    QStringList five, fiveTips;
    for (int i = 1; i <= 5; ++i) {
        five << (i == 2 ? QStringLiteral("就绪 二号猫") : QStringLiteral("就绪 ttyUSB%1").arg(i));
        fiveTips << port(i) + full + QString::number(i);
    }
    QTest::newRow("five: a pane each, what it is like first") << 5 << -1 << five << fiveTips;
}

void tst_LinkPane::panes()
{
    QFETCH(int, modems);
    QFETCH(int, waiting);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, tips);
    QVector<LinkStatus::ModemLine> lines;
    for (int i = 0; i < modems; ++i) {
        ModemStatus s;
        s.link = ModemStatus::Link::Answering;
        s.sim = i == waiting ? ModemStatus::Sim::PinNeeded : ModemStatus::Sim::Ready;
        s.registration = i == waiting ? ModemStatus::Registration::Unknown : ModemStatus::Registration::Home;
        s.operatorName = QStringLiteral("CHINA MOBILE");
        if (i != waiting)
            s.signal = SignalQuality{20, 99};
        lines.append({QStringLiteral("/dev/ttyUSB%1").arg(i + 1), s, i + 1, i == 1 ? QStringLiteral("二号猫") : QString()});
    }
    QStringList shownTexts, shownTips;
    for (const LinkStatus::Pane &p : LinkStatus::Panes(lines)) {
        shownTexts << p.text;
        shownTips << p.toolTip;
    }
    QCOMPARE(shownTexts, texts);
    QCOMPARE(shownTips, tips);
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
    const QString ready = sim.DevicePath() + QStringLiteral("  SIM卡就绪  网络: 本地网络 CHINA MOBILE  信号: 65%");
    QTRY_COMPARE_WITH_TIMEOUT(pane->toolTip(), ready + QStringLiteral("  已发送: 0"), 30000);
    QCOMPARE(pane->text(), QFileInfo(sim.DevicePath()).fileName() + QStringLiteral(" 就绪 65%"));

    sim.SetCmsErrorTo({QStringLiteral("8613900000002")});
    place.app.Queue().Enqueue(QVector<SmsRecord>{Pdu::MakeRecord(place.app.Device().m_strSMSC, QStringLiteral("8613900000001"), QStringLiteral("a"), -1),
                                           Pdu::MakeRecord(place.app.Device().m_strSMSC, QStringLiteral("8613900000002"), QStringLiteral("b"), -1)});
    auto *message = frame.findChild<QLabel *>(QStringLiteral("paneMessage"));
    QTRY_COMPARE_WITH_TIMEOUT(message->text(), QStringLiteral("发送完成: 成功 1 条, 失败 1 条"), 30000);
    QTRY_COMPARE(pane->toolTip(), ready + QStringLiteral("  已发送: 1")); // the one the network took

    frame.findChild<QAction *>(QStringLiteral("actionDisconnect"))->trigger();
    QCOMPARE(pane->text(), QStringLiteral("未连接"));
    QVERIFY(place.messages.shown.isEmpty());
}

// A SIM that waits for its PIN: the link pane, the tray and the device window say so; the PIN
// typed into the device window is entered at once, and the modem is ready without a reconnect.
void tst_LinkPane::pinGivenInTheDeviceWindow()
{
    FramePlace place;
    ModemSimulator sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorString()));
    sim.SetSimPin(QStringLiteral("1234"));
    CMainFrame frame(place.app, place.messages, place.ring, &place.profile);
    auto *pane = frame.findChild<QLabel *>(QStringLiteral("paneLink"));
    frame.Link().SetPortOverride(sim.DevicePath());
    frame.findChild<QAction *>(QStringLiteral("actionConnect"))->trigger();
    QVERIFY(frame.IsConnected());
    const QString waits = QStringLiteral("SIM卡需要PIN码, 请在设备管理中填写");
    QTRY_COMPARE_WITH_TIMEOUT(pane->toolTip(), sim.DevicePath() + QStringLiteral("  ") + waits + QStringLiteral("  已发送: 0"), 30000);
    const QString name = QFileInfo(sim.DevicePath()).fileName();
    QCOMPARE(pane->text(), name + QStringLiteral(" 需要PIN码"));
    QCOMPARE(frame.View().Tray().Tip(), QStringLiteral("短信猫都未就绪, 暂时不能发送\n") + name + QStringLiteral(": ") + waits);

    QString shownSim;
    OnNextModal([&shownSim](QWidget *dialog) {
        shownSim = dialog->findChild<QLabel *>(QStringLiteral("statusSim"))->text();
        QTest::keyClicks(dialog->findChild<QLineEdit *>(QStringLiteral("pinEdit")), QStringLiteral("1234"));
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("okButton")), Qt::LeftButton);
    });
    frame.findChild<QAction *>(QStringLiteral("actionDevice"))->trigger();
    QCOMPARE(shownSim, QStringLiteral("需要PIN码"));
    QTRY_VERIFY_WITH_TIMEOUT(pane->toolTip().startsWith(sim.DevicePath() + QStringLiteral("  SIM卡就绪")), 30000);
    QCOMPARE(frame.View().Tray().Tip().section(u'\n', 0, 0), QStringLiteral("电脑与短信猫已连接"));
    QCOMPARE(CommandCount(sim, QStringLiteral("AT+CPIN=")), 1);
    QCOMPARE(DeviceSettings::Read(place.app.Settings()).m_strPIN, QStringLiteral("1234"));
    QVERIFY(place.messages.shown.isEmpty());
}

QTEST_MAIN(tst_LinkPane)
#include "tst_linkpane.moc"
