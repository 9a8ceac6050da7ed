// Times the HTTP API of skevo-cli serve as a caller sees it, over loopback: 1,000 requests of
// one recipient each from 8 clients at once (throughput, p50 and p99 of the time to the
// answer), then one request of 10,000 recipients (time to its 202). serve runs as a process
// against the simulated modem, which stays unregistered so that no modem competes for the
// queue while the requests are timed.
// Run by hand on a Release build:
//   SKEVO_CLI=build/tools/skevo-cli/skevo-cli bench_api [sqlite|postgres] [requests] [clients] [recipients]
// postgres uses the server named by SKEVO_PG_HOST/PORT/USER/PASSWORD/DB (an empty database).
#include "BenchKit.h"
#include "ModemSimulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

QString Ini(const DbSettings &db, const QString &sqliteData)
{
    QString ini = QStringLiteral("[SQL]\n");
    if (db.m_driver == DbSettings::Postgres)
        ini += QStringLiteral("Driver=postgres\nHost=%1\nPort=%2\nUser=%3\nPsw=%4\nData=%5\n")
                   .arg(db.m_strHost).arg(db.m_nPort).arg(db.m_strUser, db.m_strPsw, db.m_strData);
    else
        ini += QStringLiteral("Driver=sqlite\nData=%1\n").arg(sqliteData);
    return ini + QStringLiteral("[SYSTEM]\nCOM=COM9\nBaudRate=115200\nSMSC=8613800100500\n[HTTP]\nMaxQueued=1000000\n"
                                "MaxBody=8388608\n");
}

QByteArray Body(int first, int count)
{
    QJsonArray to;
    for (int i = 0; i < count; ++i)
        to.append(QStringLiteral("139%1").arg(first + i, 8, 10, QLatin1Char('0')));
    return QJsonDocument(QJsonObject{{QStringLiteral("to"), to}, {QStringLiteral("text"), QStringLiteral("取件码 4711")}})
        .toJson(QJsonDocument::Compact);
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool pg = args.value(1) == QStringLiteral("postgres");
    const int requests = args.value(2, QStringLiteral("1000")).toInt();
    const int clients = args.value(3, QStringLiteral("8")).toInt();
    const int recipients = args.value(4, QStringLiteral("10000")).toInt();
    const QString cliPath = qEnvironmentVariable("SKEVO_CLI");
    if (cliPath.isEmpty()) {
        std::fprintf(stderr, "SKEVO_CLI must name the built skevo-cli\n");
        return 2;
    }

    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("setting.ini")));
    if (!ini.open(QIODevice::WriteOnly) || ini.write(Ini(pg ? PostgresFromEnvironment() : DbSettings(), QStringLiteral("bench")).toUtf8()) < 0)
        return 1;
    ini.close();
    QProcess token;
    token.setWorkingDirectory(dir.path());
    token.start(cliPath, {QStringLiteral("token"), QStringLiteral("add"), QStringLiteral("bench")});
    token.waitForFinished(60000);
    const QByteArray bearer = "Bearer " + token.readAllStandardOutput().trimmed();
    if (token.exitCode() != 0 || bearer.size() < 20) {
        std::fprintf(stderr, "token add failed: %s\n", token.readAllStandardError().constData());
        return 1;
    }

    ModemSimulator sim;
    sim.SetRegistrationDelay(24 * 3600 * 1000);
    if (!sim.Start())
        return 1;
    QProcess serve;
    serve.setWorkingDirectory(dir.path());
    serve.setProcessChannelMode(QProcess::SeparateChannels);
    serve.start(cliPath, {QStringLiteral("serve"), QStringLiteral("--http"), QStringLiteral("127.0.0.1:0"),
                          QStringLiteral("--device"), sim.DevicePath()});
    int port = 0;
    QByteArray out;
    static const QRegularExpression listening(QStringLiteral("http: listening on 127\\.0\\.0\\.1:(\\d+)"));
    QElapsedTimer wait;
    wait.start();
    while (port == 0 && wait.elapsed() < 60000 && serve.state() != QProcess::NotRunning) {
        serve.waitForReadyRead(200);
        out += serve.readAllStandardOutput();
        if (const auto m = listening.match(QString::fromUtf8(out)); m.hasMatch())
            port = m.captured(1).toInt();
    }
    if (port == 0) {
        std::fprintf(stderr, "serve did not listen: %s\n", serve.readAllStandardError().constData());
        return 1;
    }
    // serve's log lines are read and dropped as they come, so its pipe never fills.
    QObject::connect(&serve, &QProcess::readyReadStandardOutput, [&serve] { serve.readAllStandardOutput(); });
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/api/v1/messages").arg(port));

    // 8 clients, each with its own connection, each sending its next request when the last
    // was answered.
    std::vector<std::unique_ptr<QNetworkAccessManager>> nets;
    std::vector<double> latencies;
    int started = 0, finished = 0, refused = 0;
    QEventLoop loop;
    QElapsedTimer total;
    std::function<void(QNetworkAccessManager *)> next = [&](QNetworkAccessManager *net) {
        if (started >= requests)
            return;
        const int i = started++;
        QNetworkRequest request(url);
        request.setRawHeader("Authorization", bearer);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        QNetworkReply *reply = net->post(request, Body(i, 1));
        QObject::connect(reply, &QNetworkReply::finished, [&, reply, clock, net] {
            latencies.push_back(double(clock->nsecsElapsed()) / 1e6);
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 202)
                ++refused;
            reply->deleteLater();
            if (++finished == requests)
                loop.quit();
            else
                next(net);
        });
    };
    total.start();
    for (int c = 0; c < clients; ++c) {
        nets.push_back(std::make_unique<QNetworkAccessManager>());
        next(nets.back().get());
    }
    loop.exec();
    const double seconds = double(total.nsecsElapsed()) / 1e9;
    std::printf("%s: %d POSTs of 1 recipient from %d clients: %.0f requests/s, p50 %.1f ms, p99 %.1f ms, "
                "max %.1f ms, %d not 202\n",
                pg ? "postgres" : "sqlite", requests, clients, requests / seconds, Percentile(latencies, 0.5),
                Percentile(latencies, 0.99), Percentile(latencies, 1.0), refused);

    // One request of many recipients.
    QNetworkAccessManager net;
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", bearer);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
    const QByteArray body = Body(50000000, recipients);
    QElapsedTimer clock;
    clock.start();
    QNetworkReply *reply = net.post(request, body);
    QEventLoop one;
    QObject::connect(reply, &QNetworkReply::finished, &one, &QEventLoop::quit);
    one.exec();
    std::printf("%s: one POST of %d recipients (%lld bytes): %d in %.0f ms\n", pg ? "postgres" : "sqlite", recipients,
                static_cast<long long>(body.size()), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                double(clock.nsecsElapsed()) / 1e6);

    ::kill(pid_t(serve.processId()), SIGTERM);
    serve.waitForFinished(60000);
    return 0;
}
