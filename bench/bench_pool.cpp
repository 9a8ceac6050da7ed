// Messages a second through a pool of N simulated modems (N = 1, 2, 4, 8), each answering a
// send one second after its PDU, as a real modem does: the pool is connected through
// ModemLink as the application connects it, the journal and the kept outbox on SQLite (and on
// PostgreSQL when SKEVO_PG_HOST names a server). Run by hand, from a Release build:
// bench_pool [messages per modem]
#include "BenchKit.h"
#include "ModemSimulator.h"
#include "pool/ModemLink.h"
#include "outbox/Outbox.h"
#include "sms/PduCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kAnswerMs = 1000;

std::optional<DbSettings> Postgres()
{
    if (qEnvironmentVariableIsEmpty("SKEVO_PG_HOST"))
        return std::nullopt;
    return PostgresFromEnvironment();
}

// Waits until every modem is ready (registered), then returns the seconds the queued messages
// took from Enqueue to their last report; -1 on failure.
double Run(const DbSettings &db, int modems, int perModem)
{
    std::vector<std::unique_ptr<ModemSimulator>> sims;
    QStringList devices;
    for (int i = 0; i < modems; ++i) {
        sims.push_back(std::make_unique<ModemSimulator>());
        if (!sims.back()->Start())
            return -1;
        sims.back()->SetLateAnswer(ModemSimulator::Fault::Always(), kAnswerMs);
        devices << sims.back()->DevicePath();
    }
    Outbox outbox([db] { return db; });
    ModemLink link([&outbox] { return outbox.MakeDesk(); });
    ModemTimeouts t;
    t.listIntervalMs = 0;
    link.SetTimeouts(t);
    link.SetPortOverride(devices);
    QSet<QString> ready;
    QEventLoop loop;
    QObject::connect(&link, &ModemLink::statusChanged, &loop, [&](const ModemStatus &s) {
        if (s.IsReady())
            ready.insert(s.port);
        if (ready.size() == modems)
            loop.quit();
    });
    if (!link.Connect(QVector<DeviceSettings>{DeviceSettings()}).m_bOk)
        return -1;
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (ready.size() < modems)
        loop.exec();
    if (ready.size() < modems)
        return -1;

    const int n = modems * perModem;
    QVector<SmsRecord> records;
    for (int i = 0; i < n; ++i)
        records.append(Pdu::MakeRecord(QStringLiteral("8613800100500"), QStringLiteral("86138%1").arg(i, 8, 10, QLatin1Char('0')),
                                          QStringLiteral("短信猫池 %1").arg(i), -1));
    int seen = 0, failed = 0;
    QEventLoop done;
    QObject::connect(&outbox, &Outbox::reportReady, &done, [&] {
        if (const std::optional<SmsReport> r = outbox.PopReport()) {
            ++seen;
            failed += r->IsSuccess() ? 0 : 1;
        }
        if (seen >= n)
            done.quit();
    });
    QElapsedTimer clock;
    clock.start();
    outbox.Enqueue(records);
    QTimer::singleShot(600000, &done, &QEventLoop::quit);
    if (seen < n)
        done.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    link.Disconnect();
    if (seen < n || failed > 0) {
        std::fprintf(stderr, "%d modems: %d of %d reported, %d failed\n", modems, seen, n, failed);
        return -1;
    }
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int perModem = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20;
    QTemporaryDir dir;
    QVector<std::pair<const char *, DbSettings>> targets;
    DbSettings sqlite;
    sqlite.m_driver = DbSettings::Sqlite;
    sqlite.m_strSqliteFile = QDir(dir.path()).filePath(QStringLiteral("BENCH.db"));
    targets.append({"sqlite", sqlite});
    if (const std::optional<DbSettings> pg = Postgres())
        targets.append({"postgres", *pg});

    std::printf("modem pool: each simulated modem answers a send %d ms after its PDU, %d messages a modem\n",
                kAnswerMs, perModem);
    std::printf("%-9s %7s %9s %9s %10s %8s\n", "database", "modems", "messages", "seconds", "msg/s", "aim");
    bool allMet = true;
    for (const auto &[name, db] : targets) {
        for (const int modems : {1, 2, 4, 8}) {
            const double seconds = Run(db, modems, perModem);
            if (seconds < 0) {
                std::fprintf(stderr, "%s, %d modems: the run failed\n", name, modems);
                return 1;
            }
            const double rate = modems * perModem / seconds;
            const double aim = 0.95 * modems;
            allMet = allMet && rate >= aim;
            std::printf("%-9s %7d %9d %9.2f %10.2f %8.2f%s\n", name, modems, modems * perModem, seconds, rate, aim,
                        rate >= aim ? "" : "  BELOW");
        }
    }
    return allMet ? 0 : 2;
}
