// skevo-cli serve --http driven as another program drives it: an HTTP client over loopback,
// the program as a process, the simulated modem on a pseudo-terminal, both databases. Sends
// and follows a request to 成功 and 已送达; a client id repeated (also after a restart) sends
// once; a bad number refuses all; 401, 413, 415, 400, 503; arrivals; status; /metrics parsed.
#include "CliDbTest.h"
#include "CliRun.h"
#include "EngineRig.h"
#include "base/CSettingsFile.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kWaitMs = 60000;

struct Answer
{
    int status = 0;
    QByteArray body;
    QJsonObject json;
    QByteArray Header(const QByteArray &name) const { return headers.value(name.toLower()); }
    QHash<QByteArray, QByteArray> headers;
};

// A client of the API on the port serve said it listens on.
class Client
{
public:
    Answer Call(const QByteArray &method, const QString &path, const QString &token = QString(),
                const QByteArray &body = QByteArray(), const QByteArray &type = "application/json")
    {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)));
        if (!token.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + token.toLatin1());
        if (!body.isEmpty() || method == "POST")
            request.setRawHeader("Content-Type", type);
        QNetworkReply *reply = m_net.sendCustomRequest(request, method, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
        loop.exec();
        Answer a;
        a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        a.body = reply->readAll();
        a.json = QJsonDocument::fromJson(a.body).object();
        for (const auto &h : reply->rawHeaderPairs())
            a.headers.insert(h.first.toLower(), h.second);
        reply->deleteLater();
        return a;
    }
    Answer Post(const QString &token, const QJsonObject &request)
    {
        return Call("POST", QStringLiteral("/api/v1/messages"), token, QJsonDocument(request).toJson());
    }
    int port = 0;

private:
    QNetworkAccessManager m_net;
};

// serve with the API on a free loopback port, its port read from its line.
struct Serve
{
    explicit Serve(const CliPlace &place) : cli(place) {}
    bool Start(const ModemSimulator &sim)
    {
        cli.Start(QStringList{QStringLiteral("serve"), QStringLiteral("--http"), QStringLiteral("127.0.0.1:0")}
                  + ModemArgs(sim));
        static const QRegularExpression listening(QStringLiteral("^http: listening on 127\\.0\\.0\\.1:(\\d+)$"));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kWaitMs && cli.Process().state() != QProcess::NotRunning) {
            QTest::qWait(50);
            for (const QString &line : cli.Lines()) {
                if (const auto m = listening.match(line); m.hasMatch()) {
                    client.port = m.captured(1).toInt();
                    return true;
                }
            }
        }
        return false;
    }
    int Stop()
    {
        ::kill(pid_t(cli.Process().processId()), SIGTERM);
        return cli.Wait();
    }
    Cli cli;
    Client client;
};

QString AddToken(const CliPlace &place, const QString &name)
{
    Cli add(place);
    if (add.Run({QStringLiteral("token"), QStringLiteral("add"), name}) != 0)
        return QString();
    return add.Lines().value(0);
}

bool WriteHttp(const CliPlace &place, const QString &key, const QString &value)
{
    CSettingsFile file(place.File(QStringLiteral("setting.ini")));
    return file.WriteString(QStringLiteral("HTTP"), key, value);
}

// Every message of the batch, by state and report, once each has one of the wanted.
QJsonObject WaitBatch(Client &client, const QString &token, const QString &location, const QString &state,
                      const QString &report)
{
    QJsonObject batch;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kWaitMs) {
        batch = client.Call("GET", location, token).json;
        bool all = !batch.value(QStringLiteral("messages")).toArray().isEmpty();
        for (const QJsonValue &m : batch.value(QStringLiteral("messages")).toArray())
            all = all && m[QStringLiteral("state")] == state && m[QStringLiteral("report")] == report;
        if (all)
            return batch;
        QTest::qWait(100);
    }
    return batch;
}

// The Prometheus text format, strictly: HELP and TYPE before a family's samples, names and
// labels as the format allows, integer values; the samples by name and labels.
bool ParseMetrics(const QByteArray &text, QHash<QString, qint64> *samples, QString *why)
{
    static const QRegularExpression help(QStringLiteral("^# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) .+$"));
    static const QRegularExpression type(QStringLiteral("^# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge)$"));
    static const QRegularExpression sample(QStringLiteral(
        "^([a-zA-Z_:][a-zA-Z0-9_:]*)(\\{(?:[a-zA-Z_][a-zA-Z0-9_]*=\"(?:[^\"\\\\\\n]|\\\\.)*\"(?:,(?!\\}))?)*\\})? (-?[0-9]+)$"));
    QSet<QString> typed;
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    if (lines.last() != QString()) {
        *why = QStringLiteral("no line feed at the end");
        return false;
    }
    for (const QString &line : lines.mid(0, lines.size() - 1)) {
        if (help.match(line).hasMatch())
            continue;
        if (const auto t = type.match(line); t.hasMatch()) {
            typed.insert(t.captured(1));
            continue;
        }
        const auto s = sample.match(line);
        if (!s.hasMatch() || !typed.contains(s.captured(1))) {
            *why = QStringLiteral("line refused: ") + line;
            return false;
        }
        samples->insert(s.captured(1) + s.captured(2), s.captured(3).toLongLong());
    }
    return true;
}

// The other program's end of the callbacks: an HTTP server on a free loopback port that
// answers 500 while failing is set, else 200, and keeps every post it got.
class Receiver
{
public:
    struct Post
    {
        QHash<QByteArray, QByteArray> headers;
        QByteArray body;
        int answered = 0;
    };
    Receiver()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    const qsizetype end = buffer->indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    Post post;
                    for (const QByteArray &line : buffer->left(end).split('\n').mid(1)) {
                        const qsizetype colon = line.indexOf(':');
                        if (colon > 0)
                            post.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
                    }
                    const int length = post.headers.value("content-length").toInt();
                    if (buffer->size() < end + 4 + length)
                        return;
                    post.body = buffer->mid(end + 4, length);
                    buffer->remove(0, end + 4 + length);
                    post.answered = failing ? 500 : 200;
                    posts.append(post);
                    socket->write(QByteArray("HTTP/1.1 ") + QByteArray::number(post.answered)
                                  + " X\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString Url() const { return QStringLiteral("http://127.0.0.1:%1/hook").arg(m_server.serverPort()); }
    // The events taken (answered 2xx), by id.
    QMap<QString, QJsonObject> Taken(int *repeats) const
    {
        QMap<QString, QJsonObject> taken;
        *repeats = 0;
        for (const Post &p : posts) {
            if (p.answered != 200)
                continue;
            const QJsonObject event = QJsonDocument::fromJson(p.body).object();
            *repeats += taken.contains(event.value(QStringLiteral("id")).toString()) ? 1 : 0;
            taken.insert(event.value(QStringLiteral("id")).toString(), event);
        }
        return taken;
    }
    bool failing = true;
    QVector<Post> posts;

private:
    QTcpServer m_server;
};

} // namespace

class tst_ApiServe : public CliDbTest
{
    Q_OBJECT
private slots:
    void sendFollowAndRefuse_data() { DbTargets::AddDialectRows(); }
    void sendFollowAndRefuse();
    void clientIdAcrossRestart_data() { DbTargets::AddDialectRows(); }
    void clientIdAcrossRestart();
    void serveRefusesToStart_data();
    void serveRefusesToStart();
    void callbacksSignedRetriedKept_data() { DbTargets::AddDialectRows(); }
    void callbacksSignedRetriedKept();
};

void tst_ApiServe::sendFollowAndRefuse()
{
    FRESH_DB(db);
    CliPlace place(db);
    QVERIFY(place.SetSystem(QStringLiteral("Report"), QStringLiteral("1")));
    QVERIFY(WriteHttp(place, QStringLiteral("MaxQueued"), QStringLiteral("3")));
    QVERIFY(WriteHttp(place, QStringLiteral("MaxBody"), QStringLiteral("4096")));
    const QString token = AddToken(place, QStringLiteral("订单系统"));
    QVERIFY(token.startsWith(QStringLiteral("skv_")));
    ModemSimulator sim;
    sim.SetStatusReports(ModemSimulator::Reports::Delivered, 200);
    QVERIFY(sim.Start());
    Serve serve(place);
    QVERIFY2(serve.Start(sim), qPrintable(serve.cli.Err()));
    Client &api = serve.client;
    DbProbe probe(db);

    // Refusals before anything is queued.
    const QJsonObject good{{QStringLiteral("to"), QJsonArray{QStringLiteral("13900000001"), QStringLiteral("+8613900000002")}},
                           {QStringLiteral("text"), QStringLiteral("取件码 1234")},
                           {QStringLiteral("client_id"), QStringLiteral("order-1")},
                           {QStringLiteral("report"), true}};
    struct Refusal
    {
        const char *what;
        Answer answer;
        int status;
        const char *code;
    };
    QJsonObject badNumbers = good;
    badNumbers.insert(QStringLiteral("to"), QJsonArray{QStringLiteral("13900000001"), QStringLiteral("139-0000"), 42});
    QJsonObject tooLong = good;
    tooLong.insert(QStringLiteral("text"), QString(71, QChar(0x4e2d)));
    QJsonObject many = good;
    many.insert(QStringLiteral("to"), QJsonArray{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});
    many.remove(QStringLiteral("client_id"));
    QJsonObject noOffset = good;
    noOffset.insert(QStringLiteral("send_at"), QStringLiteral("2030-01-01 18:00:00"));
    const Refusal refusals[] = {
        {"no token", api.Post(QString(), good), 401, "unauthorized"},
        {"wrong token", api.Post(token + QStringLiteral("x"), good), 401, "unauthorized"},
        {"bad numbers", api.Post(token, badNumbers), 400, "bad_number"},
        {"text too long", api.Post(token, tooLong), 400, "text_too_long"},
        {"not JSON", api.Call("POST", QStringLiteral("/api/v1/messages"), token, "{\"to\":", "application/json"), 400, "bad_json"},
        {"not a JSON type", api.Call("POST", QStringLiteral("/api/v1/messages"), token, "to=1", "text/plain"), 415, "not_json"},
        {"too large", api.Call("POST", QStringLiteral("/api/v1/messages"), token, QByteArray(5000, ' ')), 413, "too_large"},
        {"over MaxQueued", api.Post(token, many), 503, "queue_full"},
        {"status without token", api.Call("GET", QStringLiteral("/api/v1/status")), 401, "unauthorized"},
        {"send_at without its offset", api.Post(token, noOffset), 400, "bad_field"},
    };
    for (const Refusal &r : refusals) {
        QVERIFY2(r.answer.status == r.status, qPrintable(QStringLiteral("%1: %2 %3").arg(QLatin1String(r.what)).arg(r.answer.status).arg(QString::fromUtf8(r.answer.body))));
        QCOMPARE(r.answer.json.value(QStringLiteral("error")).toString(), QLatin1String(r.code));
        QVERIFY2(!r.answer.json.value(QStringLiteral("message")).toString().isEmpty(), r.what);
    }
    QCOMPARE(refusals[2].answer.json.value(QStringLiteral("message")).toString(),
             QStringLiteral("手机号码不能超过24位并且不能包含非数字字符"));
    QCOMPARE(refusals[2].answer.json.value(QStringLiteral("bad")).toArray().size(), 2);
    QCOMPARE(refusals[2].answer.json.value(QStringLiteral("bad")).toArray().at(0)[QStringLiteral("to")].toString(),
             QStringLiteral("139-0000"));
    QVERIFY(!refusals[7].answer.Header("Retry-After").isEmpty());
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_OUTBOX")).toInt(), 0);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_APIBATCH")).toInt(), 0);

    // Queued, then followed to 成功 and 已送达: a phone named twice gets one message, one on
    // the opt-out list none, and the answer says so.
    QCOMPARE(Cli(place).Run({QStringLiteral("optout"), QStringLiteral("add"), QStringLiteral("13900000008")}), 0);
    QJsonObject withRepeats = good;
    withRepeats.insert(QStringLiteral("to"), QJsonArray{QStringLiteral("13900000001"), QStringLiteral("+8613900000002"),
                                                       QStringLiteral("8613900000001"), QStringLiteral("13900000008")});
    const Answer accepted = api.Post(token, withRepeats);
    QCOMPARE(accepted.status, 202);
    QCOMPARE(accepted.json.value(QStringLiteral("opted_out")).toInt(), 1);
    QCOMPARE(accepted.json.value(QStringLiteral("message")).toString(), QStringLiteral("已跳过黑名单号码 1 个"));
    const QJsonArray messages = accepted.json.value(QStringLiteral("messages")).toArray();
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages.at(1)[QStringLiteral("to")].toString(), QStringLiteral("8613900000002"));
    const QString location = QString::fromLatin1(accepted.Header("Location"));
    QCOMPARE(location, QStringLiteral("/api/v1/batches/%1").arg(accepted.json.value(QStringLiteral("batch")).toInteger()));
    const QJsonObject done = WaitBatch(api, token, location, QStringLiteral("成功"), QStringLiteral("已送达"));
    QVERIFY2(done.value(QStringLiteral("counts")).toObject().value(QStringLiteral("已送达")).toInt() == 2,
             QJsonDocument(done).toJson().constData());
    const Answer one = api.Call("GET", QStringLiteral("/api/v1/messages/%1").arg(messages.at(0)[QStringLiteral("id")].toInteger()), token);
    QCOMPARE(one.status, 200);
    QCOMPARE(one.json.value(QStringLiteral("state")).toString(), QStringLiteral("成功"));
    QCOMPARE(one.json.value(QStringLiteral("to")).toString(), QStringLiteral("8613900000001"));
    QVERIFY(!one.json.value(QStringLiteral("sent_at")).toString().isEmpty());
    QCOMPARE(api.Call("GET", QStringLiteral("/api/v1/messages/999999"), token).status, 404);

    // The same client id again: the first answer, nothing queued.
    const Answer again = api.Post(token, withRepeats);
    QCOMPARE(again.status, 200);
    QCOMPARE(again.body, accepted.body);
    QCOMPARE(SubmittedNumbers(sim).size(), 2);

    // Arrivals in order, paged by the last id.
    DeliverSpec arrival;
    arrival.from = QStringLiteral("13700000001");
    arrival.text = QStringLiteral("收到, 谢谢");
    QVERIFY(sim.InjectArrival(arrival).ok);
    Answer inbox;
    QTRY_VERIFY_WITH_TIMEOUT((inbox = api.Call("GET", QStringLiteral("/api/v1/inbox?after=0"), token))
                                     .json.value(QStringLiteral("messages")).toArray().size() == 1, kWaitMs);
    QCOMPARE(inbox.json.value(QStringLiteral("messages")).toArray().at(0)[QStringLiteral("text")].toString(),
             QStringLiteral("收到, 谢谢"));
    const qint64 last = inbox.json.value(QStringLiteral("after")).toInteger();
    QCOMPARE(api.Call("GET", QStringLiteral("/api/v1/inbox?after=%1").arg(last), token)
                 .json.value(QStringLiteral("messages")).toArray().size(), 0);

    // The modems and the queue; the metrics, parsed strictly, with no token on loopback.
    const Answer status = api.Call("GET", QStringLiteral("/api/v1/status"), token);
    QCOMPARE(status.status, 200);
    const QJsonArray modems = status.json.value(QStringLiteral("modems")).toArray();
    QCOMPARE(modems.size(), 1);
    QCOMPARE(modems.at(0)[QStringLiteral("port")].toString(), sim.DevicePath());
    QCOMPARE(modems.at(0)[QStringLiteral("sent_today")].toInt(), 2);
    const Answer metrics = api.Call("GET", QStringLiteral("/metrics"));
    QCOMPARE(metrics.status, 200);
    QHash<QString, qint64> samples;
    QString why;
    QVERIFY2(ParseMetrics(metrics.body, &samples, &why), qPrintable(why + QLatin1Char('\n') + QString::fromUtf8(metrics.body)));
    qint64 sent = 0, delivered = 0;
    for (auto it = samples.cbegin(); it != samples.cend(); ++it) {
        sent += it.key().startsWith(QStringLiteral("skevo_messages_sent_total{")) ? it.value() : 0;
        delivered += it.key().startsWith(QStringLiteral("skevo_messages_delivered_total{")) ? it.value() : 0;
    }
    QCOMPARE(sent, 2);
    QCOMPARE(delivered, 2);

    // send_at: the message waits in the queue for its time, then goes.
    const QDateTime due = QDateTime::currentDateTimeUtc().addSecs(3);
    const Answer later = api.Post(token, QJsonObject{{QStringLiteral("to"), QJsonArray{QStringLiteral("13900000003")}},
                                                     {QStringLiteral("text"), QStringLiteral("稍后发送")},
                                                     {QStringLiteral("send_at"), due.toString(Qt::ISODate)}});
    QCOMPARE(later.status, 202);
    const QString sentTime = QStringLiteral("SELECT %1 FROM T_SEND WHERE D_SENDCONT=?")
                                 .arg(db.m_driver == DbSettings::Postgres
                                          ? QStringLiteral("to_char(D_SENDTIME,'YYYY-MM-DD HH24:MI:SS')")
                                          : QStringLiteral("D_SENDTIME"));
    QString sentAt;
    QTRY_VERIFY_WITH_TIMEOUT(!(sentAt = probe.Value(sentTime, {QStringLiteral("稍后发送")}).toString()).isEmpty(), kWaitMs);
    QVERIFY2(sentAt >= due.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), qPrintable(sentAt));
    QCOMPARE(samples.value(QStringLiteral("skevo_arrivals_total")), 1);
    QCOMPARE(samples.value(QStringLiteral("skevo_queue_length")), 0);
    QVERIFY(QString::fromUtf8(metrics.body).contains(QStringLiteral("Messages journalled 失败, by SIM.")));

    // A revoked token is refused at once.
    Cli revoke(place);
    QCOMPARE(revoke.Run({QStringLiteral("token"), QStringLiteral("revoke"), QStringLiteral("订单系统")}), 0);
    QCOMPARE(api.Call("GET", QStringLiteral("/api/v1/status"), token).status, 401);
    Cli list(place);
    QCOMPARE(list.Run({QStringLiteral("token"), QStringLiteral("list")}), 0);
    QCOMPARE(list.Lines().size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^订单系统\t\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\t已吊销$"))
                 .match(list.Lines().value(0)).hasMatch(),
             qPrintable(list.Lines().value(0)));
    QVERIFY(!list.Lines().value(0).contains(token));
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_HASH FROM T_TOKEN")).size(), 1);
    QVERIFY(!probe.Column(QStringLiteral("SELECT D_HASH FROM T_TOKEN")).contains(token));

    QCOMPARE(serve.Stop(), 0);
    // One line a request, with the token's name and never the token.
    const QStringList lines = serve.cli.Lines();
    QVERIFY2(lines.filter(QRegularExpression(QStringLiteral("^http POST /api/v1/messages 202 [0-9.]+ms 订单系统$"))).size() == 2,
             qPrintable(lines.join(QLatin1Char('\n'))));
    QVERIFY(lines.filter(QRegularExpression(QStringLiteral("^http GET /api/v1/status 401 [0-9.]+ms -$"))).size() == 2);
    QVERIFY(!serve.cli.Lines().join(QLatin1Char('\n')).contains(token));
    QVERIFY(!serve.cli.Err().contains(token));
}

// A request repeated after serve was stopped and started again queues nothing; what the first
// one queued and serve did not send goes after the restart, once.
void tst_ApiServe::clientIdAcrossRestart()
{
    FRESH_DB(db);
    CliPlace place(db);
    const QString token = AddToken(place, QStringLiteral("crm"));
    QVERIFY(!token.isEmpty());
    ModemSimulator sim;
    // The network is away: the request is queued and stays queued over the stop.
    sim.SetRegistrationDelay(600000);
    QVERIFY(sim.Start());
    const QJsonObject request{{QStringLiteral("to"), QJsonArray{QStringLiteral("13900000005")}},
                              {QStringLiteral("text"), QStringLiteral("提醒: 明天 9 点")},
                              {QStringLiteral("client_id"), QStringLiteral("reminder-77")}};
    QByteArray first;
    {
        Serve serve(place);
        QVERIFY2(serve.Start(sim), qPrintable(serve.cli.Err()));
        const Answer a = serve.client.Post(token, request);
        QCOMPARE(a.status, 202);
        first = a.body;
        QCOMPARE(serve.Stop(), 0);
    }
    QVERIFY(SubmittedNumbers(sim).isEmpty());
    sim.SetRegistrationDelay(0);
    Serve serve(place);
    QVERIFY2(serve.Start(sim), qPrintable(serve.cli.Err()));
    const Answer again = serve.client.Post(token, request);
    QCOMPARE(again.status, 200);
    QCOMPARE(again.body, first);
    const QString location = QString::fromLatin1(again.Header("Location"));
    const QJsonObject done = WaitBatch(serve.client, token, location, QStringLiteral("成功"), QString());
    QCOMPARE(done.value(QStringLiteral("counts")).toObject().value(QStringLiteral("成功")).toInt(), 1);
    // Another token may use the same client id for a request of its own.
    const QString other = AddToken(place, QStringLiteral("billing"));
    QCOMPARE(serve.client.Post(other, request).status, 202);
    QTRY_COMPARE_WITH_TIMEOUT(SubmittedNumbers(sim).size(), 2, kWaitMs);
    QCOMPARE(serve.Stop(), 0);
    DbProbe probe(db);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND")).toInt(), 2);
}

void tst_ApiServe::serveRefusesToStart_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("listen");
    QTest::addColumn<QString>("callback");
    QTest::addColumn<QString>("said");
    DbTargets::AddDialectRows("beyond loopback without a token", QStringLiteral("0.0.0.0:0"), QString(),
                              QStringLiteral("监听非本机地址 0.0.0.0 需要至少一个令牌 (skevo-cli token add NAME)"));
    DbTargets::AddDialectRows("no address", QStringLiteral("localhost:http"), QString(),
                              QStringLiteral("HTTP 监听地址无效: localhost:http"));
    DbTargets::AddDialectRows("a callback without its secret", QStringLiteral("127.0.0.1:0"),
                              QStringLiteral("http://127.0.0.1:9/hook"),
                              QStringLiteral("[HTTP] Callback= 需要 CallbackSecret= (回调签名的密钥)"));
}

// Before any modem is reached: the settings that cannot work end serve with exit 2.
void tst_ApiServe::serveRefusesToStart()
{
    QFETCH(QString, listen);
    QFETCH(QString, callback);
    QFETCH(QString, said);
    FRESH_DB(db);
    CliPlace place(db);
    if (!callback.isEmpty())
        QVERIFY(WriteHttp(place, QStringLiteral("Callback"), callback));
    Cli serve(place);
    QCOMPARE(serve.Run({QStringLiteral("serve"), QStringLiteral("--http"), listen, QStringLiteral("--device"),
                        QStringLiteral("/dev/null")}),
             2);
    QCOMPARE(serve.ErrLines().value(serve.ErrLines().size() - 1), said);
}

// An arrival and a delivery report are posted, signed; the receiver fails the first posts,
// serve is stopped and started again meanwhile, and each event is taken once, by its id.
void tst_ApiServe::callbacksSignedRetriedKept()
{
    FRESH_DB(db);
    CliPlace place(db);
    Receiver receiver;
    QVERIFY(place.SetSystem(QStringLiteral("Report"), QStringLiteral("1")));
    QVERIFY(WriteHttp(place, QStringLiteral("Callback"), receiver.Url()));
    QVERIFY(WriteHttp(place, QStringLiteral("CallbackSecret"), QStringLiteral("s3cret")));
    const QString token = AddToken(place, QStringLiteral("crm"));
    ModemSimulator sim;
    sim.SetStatusReports(ModemSimulator::Reports::Delivered, 200);
    QVERIFY(sim.Start());
    {
        Serve serve(place);
        QVERIFY2(serve.Start(sim), qPrintable(serve.cli.Err()));
        const Answer a = serve.client.Post(token, QJsonObject{{QStringLiteral("to"), QJsonArray{QStringLiteral("13900000007")}},
                                                             {QStringLiteral("text"), QStringLiteral("验证码 5678")}});
        QCOMPARE(a.status, 202);
        DeliverSpec arrival;
        arrival.from = QStringLiteral("13700000002");
        arrival.text = QStringLiteral("好的");
        QVERIFY(sim.InjectArrival(arrival).ok);
        // Both events tried, and refused, at least twice in all.
        QTRY_VERIFY_WITH_TIMEOUT(receiver.posts.size() >= 3, kWaitMs);
        QCOMPARE(serve.Stop(), 0);
    }
    DbProbe probe(db);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_CALLBACK WHERE D_DONE=0")).toInt(), 2);
    receiver.failing = false;
    Serve serve(place);
    QVERIFY2(serve.Start(sim), qPrintable(serve.cli.Err()));
    int repeats = 0;
    QTRY_VERIFY_WITH_TIMEOUT(receiver.Taken(&repeats).size() == 2, kWaitMs);
    // Nothing more comes for them.
    const qsizetype posted = receiver.posts.size();
    QTest::qWait(3000);
    QCOMPARE(receiver.posts.size(), posted);
    QCOMPARE(serve.Stop(), 0);
    const QMap<QString, QJsonObject> taken = receiver.Taken(&repeats);
    QCOMPARE(repeats, 0);
    QStringList types;
    for (const QJsonObject &event : taken)
        types << event.value(QStringLiteral("type")).toString();
    types.sort();
    QCOMPARE(types, (QStringList{QStringLiteral("arrival"), QStringLiteral("delivery")}));
    for (const QJsonObject &event : taken) {
        const QJsonObject data = event.value(QStringLiteral("data")).toObject();
        if (event.value(QStringLiteral("type")) == QStringLiteral("delivery")) {
            QCOMPARE(data.value(QStringLiteral("report")).toString(), QStringLiteral("已送达"));
            QCOMPARE(data.value(QStringLiteral("state")).toString(), QStringLiteral("成功"));
        } else {
            QCOMPARE(data.value(QStringLiteral("text")).toString(), QStringLiteral("好的"));
        }
    }
    // Every post signed: HMAC-SHA256 of the timestamp, ".", and the body.
    for (const Receiver::Post &p : receiver.posts) {
        const QByteArray expected = "sha256="
            + QMessageAuthenticationCode::hash(p.headers.value("x-skevo-timestamp") + '.' + p.body, "s3cret",
                                               QCryptographicHash::Sha256)
                  .toHex();
        QCOMPARE(p.headers.value("x-skevo-signature"), expected);
        QCOMPARE(p.headers.value("x-skevo-event"),
                 QJsonDocument::fromJson(p.body).object().value(QStringLiteral("id")).toString().toLatin1());
    }
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_CALLBACK WHERE D_DONE=1")).toInt(), 2);
}

QTEST_GUILESS_MAIN(tst_ApiServe)
#include "tst_api_serve.moc"
