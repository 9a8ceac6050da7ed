// "skevo-cli orders" and "skevo-cli serve" as processes: the order book from the command
// line, and a due order sent by serve through the simulated modem with its journal rows
// carrying the order's number.
#include "DbTargets.h"
#include "EngineRig.h"
#include "TestEnv.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kWaitMs = 60000;

// A working directory with setting.ini naming a SQLite database there.
struct Place
{
    Place() : db(TestEnv::Sqlite(dir.path()))
    {
        Write(QStringLiteral("setting.ini"),
              QStringLiteral("[SQL]\nDriver=sqlite\nData=%1\n[SYSTEM]\nCOM=COM9\nBaudRate=115200\nSMSC=8613800100500\n"
                             "ByteSize=8\nStopBits=1\n[Check]\nRem=1\n")
                  .arg(db.m_strData));
    }
    QString Write(const QString &name, const QString &text) const
    {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(text.toUtf8());
        return f.fileName();
    }
    QTemporaryDir dir;
    DbSettings db;
};

struct Cli
{
    explicit Cli(const Place &place)
    {
        process.setWorkingDirectory(place.dir.path());
        process.setProgram(TestEnv::CliPath());
    }
    void Start(const QStringList &args)
    {
        process.setArguments(args);
        process.start();
    }
    int Run(const QStringList &args)
    {
        Start(args);
        return Wait();
    }
    int Wait(int ms = kWaitMs)
    {
        if (!process.waitForFinished(ms))
            return -2;
        Read();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QStringList Lines()
    {
        Read();
        return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void Read()
    {
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
    }
    QString Err() const { return QString::fromUtf8(err); }

    QProcess process;
    QByteArray out;
    QByteArray err;
};

QString TimeText(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace

class tst_OrdersCli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(QFileInfo(TestEnv::CliPath()).isExecutable(), "SKEVO_CLI must name skevo-cli"); }
    void addRefuses_data();
    void addRefuses();
    void addListDelete();
    void serveSendsTheDueOrder();
    void orderAddedWhileServeConnects();
};

void tst_OrdersCli::addRefuses_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    const QStringList times{QStringLiteral("--start"), QStringLiteral("2030-01-01 10:00"), QStringLiteral("--end"),
                            QStringLiteral("2030-01-01 11:00")};
    QTest::newRow("end not after start") << QStringList{QStringLiteral("--start"), QStringLiteral("2030-01-01 10:00"),
                                                        QStringLiteral("--end"), QStringLiteral("2030-01-01 10:00")}
                                         << QStringLiteral("start\n13900000001\nend") << QStringLiteral("结束时间必须大于开始时间");
    QTest::newRow("not a number file") << times << QStringLiteral("13900000001\nend") << QStringLiteral("该文件无效");
    QTest::newRow("not a time") << QStringList{QStringLiteral("--start"), QStringLiteral("tomorrow"), QStringLiteral("--end"),
                                               QStringLiteral("2030-01-01 10:00")}
                                << QString() << QStringLiteral("--start needs a time");
    const QDateTime now = QDateTime::currentDateTime();
    QTest::newRow("end has passed") << QStringList{QStringLiteral("--start"), TimeText(now.addSecs(-7200)),
                                                   QStringLiteral("--end"), TimeText(now.addSecs(-3600))}
                                    << QStringLiteral("start\n13900000001\nend") << QStringLiteral("结束时间已过, 订单将不会发送");
}

void tst_OrdersCli::addRefuses()
{
    QFETCH(QStringList, args);
    QFETCH(QString, file);
    QFETCH(QString, message);
    Place place;
    Cli cli(place);
    QStringList all{QStringLiteral("orders"), QStringLiteral("add")};
    all << args;
    if (!file.isEmpty())
        all << QStringLiteral("--numbers") << place.Write(QStringLiteral("n.txt"), file);
    all << QStringLiteral("--text") << QStringLiteral("x");
    QCOMPARE(cli.Run(all), 2);
    QVERIFY2(cli.Err().contains(message), qPrintable(cli.Err()));
    QVERIFY(cli.Lines().isEmpty());
}

void tst_OrdersCli::addListDelete()
{
    Place place;
    const QString numbers = place.Write(QStringLiteral("n.txt"), QStringLiteral("start\n13900000001\n+8613900000002\n12a\nend"));
    for (const char *text : {"first", "it's\tsecond"}) {
        Cli add(place);
        QCOMPARE(add.Run({QStringLiteral("orders"), QStringLiteral("add"), QStringLiteral("--start"),
                          QStringLiteral("2030-1-2 3:04"), QStringLiteral("--end"), QStringLiteral("2030-01-02 04:00"),
                          QStringLiteral("--text"), QString::fromUtf8(text), QStringLiteral("--numbers"), numbers}),
                 0);
        QCOMPARE(add.Lines(), QStringList{QString::number(text[0] == 'f' ? 1 : 2)});
        QVERIFY2(add.Err().contains(QStringLiteral("成功加载了2个,加载失败1个")), qPrintable(add.Err()));
    }
    QCOMPARE(DbProbe(place.db).Column(QStringLiteral("SELECT D_NUMBER FROM T_PHONENUMBER WHERE D_ID=2 ORDER BY D_NO")),
             (QVariantList{QStringLiteral("8613900000001"), QStringLiteral("8613900000002")}));
    Cli list(place);
    QCOMPARE(list.Run({QStringLiteral("orders"), QStringLiteral("list")}), 0);
    QCOMPARE(list.Lines(), (QStringList{QStringLiteral("1\t2030-01-02 03:04:00\t2030-01-02 04:00:00\tfirst\t未开始"),
                                        QStringLiteral("2\t2030-01-02 03:04:00\t2030-01-02 04:00:00\tit's second\t未开始")}));
    Cli remove(place);
    QCOMPARE(remove.Run({QStringLiteral("orders"), QStringLiteral("delete"), QStringLiteral("1")}), 0);
    QCOMPARE(remove.Lines(), (QStringList{QStringLiteral("删除订单成功!"), QStringLiteral("已撤回 0 条尚未发送的短信")}));
    QCOMPARE(DbProbe(place.db).Column(QStringLiteral("SELECT DISTINCT D_ID FROM T_PHONENUMBER")), QVariantList{2});
    Cli bad(place);
    QCOMPARE(bad.Run({QStringLiteral("orders"), QStringLiteral("delete"), QStringLiteral("x")}), 2);
    Cli unknown(place);
    QCOMPARE(unknown.Run({QStringLiteral("orders"), QStringLiteral("delete"), QStringLiteral("999")}), 1);
    QCOMPARE(unknown.Err().trimmed(), QStringLiteral("订单 999 不存在"));

    // Its start has passed, its end not: it starts at the next check, and the command says so.
    const QDateTime now = QDateTime::currentDateTime();
    Cli late(place);
    QCOMPARE(late.Run({QStringLiteral("orders"), QStringLiteral("add"), QStringLiteral("--start"), TimeText(now.addSecs(-600)),
                       QStringLiteral("--end"), TimeText(now.addSecs(3600)), QStringLiteral("--text"), QStringLiteral("x"),
                       QStringLiteral("--numbers"), numbers}),
             0);
    QCOMPARE(late.Lines(), QStringList{QStringLiteral("3")});
    QVERIFY2(late.Err().contains(QStringLiteral("开始时间已过: 订单将在下一次检查时开始发送")), qPrintable(late.Err()));

    // Once a program has started it, the list says when, as 订单管理 does (order 1 is gone).
    const QString started = TimeText(now.addSecs(-5)) + QStringLiteral(":00");
    QVERIFY(DbProbe(place.db).Exec(QStringLiteral("INSERT INTO T_ORDERSTART(D_ID,D_START,D_TIME,D_BY) VALUES(3,?,?,'other')"),
                                   {TimeText(now.addSecs(-600)) + QStringLiteral(":00"), started}));
    Cli listed(place);
    QCOMPARE(listed.Run({QStringLiteral("orders"), QStringLiteral("list")}), 0);
    QVERIFY2(listed.Lines().value(1).endsWith(QStringLiteral("\t已开始 ") + started), qPrintable(listed.Lines().join(u'|')));

    // Another program queued order 3 and handed one of its messages to a modem: the two it
    // still holds are withdrawn, and the command says so.
    for (int state : {0, 0, 2}) {
        QVERIFY(DbProbe(place.db).Exec(QStringLiteral("INSERT INTO T_OUTBOX(D_SCA,D_TPA,D_TEXT,D_ID,D_STATE) VALUES('','8613900000001','x',3,?)"),
                                       {state}));
    }
    Cli withdraw(place);
    QCOMPARE(withdraw.Run({QStringLiteral("orders"), QStringLiteral("delete"), QStringLiteral("3")}), 0);
    QCOMPARE(withdraw.Lines(), (QStringList{QStringLiteral("删除订单成功!"), QStringLiteral("已撤回 2 条尚未发送的短信")}));
}

// serve connects, starts the order when its minute comes (without the question, which
// setting.ini switches on), and its journal rows carry the order's number.
void tst_OrdersCli::serveSendsTheDueOrder()
{
    Place place;
    ModemSimulator sim;
    QVERIFY(sim.Start());
    // The order's minute must begin after serve has connected.
    if (QTime::currentTime().second() >= 50)
        QTest::qWait((61 - QTime::currentTime().second()) * 1000);
    const QDateTime next = QDateTime::currentDateTime().addSecs(60);
    const QString numbers = place.Write(QStringLiteral("n.txt"), QStringLiteral("start\n8613900000001\n13900000002\nend"));
    Cli add(place);
    QCOMPARE(add.Run({QStringLiteral("orders"), QStringLiteral("add"), QStringLiteral("--start"), TimeText(next),
                      QStringLiteral("--end"), TimeText(next.addSecs(600)), QStringLiteral("--text"),
                      QStringLiteral("订单短信"), QStringLiteral("--numbers"), numbers}),
             0);
    const int id = add.Lines().value(0).toInt();
    QVERIFY(id > 0);
    {
        // Kept by an earlier run of this installation: serve restores it first.
        DbSettings same = place.db;
        same.m_strSource = place.dir.filePath(QStringLiteral("setting.ini"));
        Outbox earlier([same] { return same; });
        earlier.Enqueue(OutMessage(QStringLiteral("8613900000009"), QStringLiteral("kept")));
    }

    Cli serve(place);
    serve.Start({QStringLiteral("serve"), QStringLiteral("--device"), sim.DevicePath(), QStringLiteral("--timeout-ms"),
                 QStringLiteral("10000")});
    QVERIFY(serve.process.waitForStarted());
    DbProbe probe(place.db);
    QTRY_VERIFY_WITH_TIMEOUT(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND")).toInt() == 3, 2 * kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(serve.Lines().size() >= 6, kWaitMs);
    ::kill(pid_t(serve.process.processId()), SIGTERM);
    QCOMPARE(serve.Wait(), 0);

    QCOMPARE(SubmittedNumbers(sim), (QStringList{QStringLiteral("8613900000009"), QStringLiteral("8613900000001"),
                                                 QStringLiteral("8613900000002")}));
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_ID FROM T_SEND ORDER BY D_NO")), (QVariantList{-1, id, id}));
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_SENDCONT FROM T_SEND ORDER BY D_NO")),
             (QVariantList{QStringLiteral("kept"), QStringLiteral("订单短信"), QStringLiteral("订单短信")}));
    const QString out = serve.Lines().join(QLatin1Char('\n'));
    QVERIFY2(out.contains(QStringLiteral("订单 %1 开始发送: 2 条短信").arg(id)), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("不经提醒")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("上次运行留下的 1 条短信已恢复到队列中")), qPrintable(out));
    // Nothing kept: no line counts zero messages.
    QVERIFY2(!out.contains(QStringLiteral("留在队列中")), qPrintable(out));
    QCOMPARE(serve.Lines().last(), QStringLiteral("服务已停止"));
    QCOMPARE(serve.Lines().filter(QStringLiteral("\t成功")).size(), 3);
}

// An order added for the current minute while serve is still connecting (its modem answers
// slowly) starts at the first check after the connect.
void tst_OrdersCli::orderAddedWhileServeConnects()
{
    Place place;
    ModemSimulator sim;
    QVERIFY(sim.Start());
    sim.SetLatency(400);
    // serve must begin to connect in the minute the order starts.
    if (QTime::currentTime().second() >= 45)
        QTest::qWait((61 - QTime::currentTime().second()) * 1000);
    Cli serve(place);
    serve.Start({QStringLiteral("serve"), QStringLiteral("--device"), sim.DevicePath()});
    QVERIFY(serve.process.waitForStarted());
    QTest::qWait(300);
    const QDateTime now = QDateTime::currentDateTime();
    Cli add(place);
    QCOMPARE(add.Run({QStringLiteral("orders"), QStringLiteral("add"), QStringLiteral("--start"), TimeText(now),
                      QStringLiteral("--end"), TimeText(now.addSecs(3600)), QStringLiteral("--text"),
                      QStringLiteral("连接中加的订单"), QStringLiteral("--numbers"),
                      place.Write(QStringLiteral("n.txt"), QStringLiteral("start\n13900000003\nend"))}),
             0);
    QVERIFY2(!serve.Lines().join(QLatin1Char('\n')).contains(QStringLiteral("服务已启动")),
             "the connect was over before the order was added");
    QTRY_VERIFY_WITH_TIMEOUT(serve.Lines().join(QLatin1Char('\n')).contains(QStringLiteral("服务已启动")), kWaitMs);
    sim.SetLatency(0);
    QTRY_VERIFY_WITH_TIMEOUT(serve.Lines().filter(QStringLiteral("\t成功")).size() == 1, kWaitMs);
    ::kill(pid_t(serve.process.processId()), SIGTERM);
    QCOMPARE(serve.Wait(), 0);
    QVERIFY2(serve.Lines().contains(QStringLiteral("订单 1 开始发送: 1 条短信")), qPrintable(serve.Lines().join(QLatin1Char('\n'))));
    QCOMPARE(SubmittedNumbers(sim), QStringList{QStringLiteral("8613900000003")});
}

QTEST_GUILESS_MAIN(tst_OrdersCli)
#include "tst_orders_cli.moc"
