// What the tray says of the modems, without a tray: its tooltip, and which changes give a
// notification (once, not at every try of a worker that tries again).
#include "app/LinkNotices.h"

#include <QTest>

namespace {
using R = ModemReadiness;

ModemStatus StatusOf(R readiness)
{
    ModemStatus s;
    s.link = ModemStatus::Link::Answering;
    s.sim = ModemStatus::Sim::Ready;
    s.registration = ModemStatus::Registration::Home;
    switch (readiness) {
    case R::Ready:
        s.signal = SignalQuality{20, 99};
        break;
    case R::NotConnected:
        s = ModemStatus();
        break;
    case R::Starting:
        s.sim = ModemStatus::Sim::Unknown;
        s.registration = ModemStatus::Registration::Unknown;
        break;
    case R::DeviceGone:
        s.link = ModemStatus::Link::DeviceGone;
        break;
    case R::NotAnswering:
        s.link = ModemStatus::Link::NotAnswering;
        break;
    case R::PinNeeded:
        s.sim = ModemStatus::Sim::PinNeeded;
        break;
    case R::PinRefused:
        s.sim = ModemStatus::Sim::PinRefused;
        break;
    case R::Searching:
        s.registration = ModemStatus::Registration::Searching;
        break;
    default:
        QTest::qFail("state not made by this test", __FILE__, __LINE__);
    }
    return s;
}

// Each step: the readiness of every modem, in order ("A", "B", ...).
QVector<LinkStatus::ModemLine> Lines(const QVector<R> &states)
{
    QVector<LinkStatus::ModemLine> lines;
    for (int i = 0; i < states.size(); ++i) {
        const QString name = QString(QChar(u'A' + i));
        lines.append({QStringLiteral("/dev/tty") + name, StatusOf(states.at(i)), 0, name});
    }
    return lines;
}
} // namespace

using States = QVector<ModemReadiness>;
using Steps = QVector<States>;
Q_DECLARE_METATYPE(States)
Q_DECLARE_METATYPE(Steps)

class tst_LinkNotices : public QObject
{
    Q_OBJECT
private slots:
    void notices_data();
    void notices();
    void disconnectForgetsWhatWasTold();
    void tip_data();
    void tip();
};

void tst_LinkNotices::notices_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QStringList>("told"); // the notices' texts, in order
    const QString lost = QStringLiteral("A: 短信猫已断开, 正在重新连接...");
    const QString allWait = QStringLiteral("所有短信猫都在等待, 暂时不能发送短信");
    QTest::newRow("connect and register: nothing to tell")
        << Steps{{R::NotConnected, R::NotConnected}, {R::Starting, R::Starting}, {R::Searching, R::Searching}, {R::Ready, R::Ready}}
        << QStringList();
    QTest::newRow("one modem lost, tried again and again: told once")
        << Steps{{R::Ready}, {R::DeviceGone}, {R::NotAnswering}, {R::Starting}, {R::DeviceGone}, {R::NotAnswering}}
        << QStringList{lost};
    QTest::newRow("lost, back, lost again: told twice")
        << Steps{{R::Ready}, {R::DeviceGone}, {R::Ready}, {R::DeviceGone}} << QStringList{lost, lost};
    QTest::newRow("a SIM waiting for its PIN, then refusing it")
        << Steps{{R::Starting, R::Ready}, {R::Ready, R::PinNeeded}, {R::Ready, R::PinNeeded}, {R::Ready, R::PinRefused}}
        << QStringList{QStringLiteral("B: SIM卡需要PIN码, 请在设备管理中填写"), QStringLiteral("B: SIM卡PIN码错误")};
    QTest::newRow("a pool that sent and now waits for the network: told once")
        << Steps{{R::Ready, R::Ready}, {R::Searching, R::Ready}, {R::Searching, R::Searching}, {R::Searching, R::Searching}}
        << QStringList{allWait};
    QTest::newRow("both lost at once: one notice")
        << Steps{{R::Ready, R::Ready}, {R::DeviceGone, R::DeviceGone}, {R::NotAnswering, R::DeviceGone}}
        << QStringList{lost + QLatin1Char('\n') + QStringLiteral("B: 短信猫已断开, 正在重新连接...") + QLatin1Char('\n') + allWait};
    QTest::newRow("one modem waiting for the network: the tip says it")
        << Steps{{R::Ready}, {R::Searching}, {R::Ready}} << QStringList();
}

void tst_LinkNotices::notices()
{
    QFETCH(Steps, steps);
    QFETCH(QStringList, told);
    LinkNotices notices;
    QStringList got;
    for (const QVector<R> &step : steps) {
        if (const std::optional<LinkNotices::Notice> n = notices.Update(Lines(step))) {
            QCOMPARE(n->title, QStringLiteral("Skevo 短信猫"));
            got << n->text;
        }
    }
    QCOMPARE(got, told);
}

void tst_LinkNotices::disconnectForgetsWhatWasTold()
{
    LinkNotices notices;
    QVERIFY(!notices.Update(Lines({R::Starting})));
    QVERIFY(notices.Update(Lines({R::PinNeeded})));
    QVERIFY(!notices.Update(Lines({R::PinNeeded})));
    notices.Reset();
    QVERIFY(notices.Update(Lines({R::PinNeeded})));
}

void tst_LinkNotices::tip_data()
{
    QTest::addColumn<States>("states");
    QTest::addColumn<QString>("tip");
    QTest::newRow("not connected") << States{} << QStringLiteral("电脑与短信猫未连接");
    QTest::newRow("each modem's state")
        << States{R::Ready, R::DeviceGone, R::PinNeeded, R::Starting}
        << QStringLiteral("电脑与短信猫已连接\nA: 就绪, 信号 65%\nB: 短信猫已断开, 正在重新连接...\n"
                          "C: SIM卡需要PIN码, 请在设备管理中填写\nD: 正在连接...");
    QTest::newRow("none can send") << States{R::Searching, R::NotAnswering}
                                   << QStringLiteral("短信猫都未就绪, 暂时不能发送\nA: 短信猫未注册到网络, 正在等待...\n"
                                                     "B: 短信猫没有响应, 正在重新连接...");
}

void tst_LinkNotices::tip()
{
    QFETCH(States, states);
    QFETCH(QString, tip);
    QCOMPARE(LinkNotices::TipText(Lines(states)), tip);
}

QTEST_GUILESS_MAIN(tst_LinkNotices)
#include "tst_linknotices.moc"
