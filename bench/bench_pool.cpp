// Messages a second through a pool of N simulated modems (N = 1, 4, 16, 64) of one station,
// and through two stations of four modems sharing one list on PostgreSQL, each modem
// answering a send one second after its PDU, as a real modem does: each pool is connected
// through ModemLink as the application connects it, the queue and the journal on SQLite (and
// on PostgreSQL when SKEVO_PG_HOST names a server). It also says how long the modems took to
// be ready after the connect began, and the longest the connecting thread stood still meanwhile.
// Run by hand, from a Release build:
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
#include <sys/resource.h>
#include <memory>
#include <vector>

namespace {

constexpr int kAnswerMs = 1000;

double ProcessCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::optional<DbSettings> Postgres()
{
    if (qEnvironmentVariableIsEmpty("SKEVO_PG_HOST"))
        return std::nullopt;
    return PostgresFromEnvironment();
}

// Waits until every modem of every station is ready (registered), then returns the seconds
// the queued messages took from Enqueue to their last report; -1 on failure. The first station
// queues them all; with more than one station every station shares its pool. cpu gets the
// process's processor time over the same span (the simulated modems' included), in cores.
double Run(const DbSettings &db, int stations, int modemsEach, int perModem, double *cpu, double *readySeconds,
           qint64 *stallMs)
{
    const int modems = stations * modemsEach;
    std::vector<std::unique_ptr<ModemSimulator>> sims;
    for (int i = 0; i < modems; ++i) {
        sims.push_back(std::make_unique<ModemSimulator>());
        if (!sims.back()->Start())
            return -1;
        sims.back()->SetLateAnswer(ModemSimulator::Fault::Always(), kAnswerMs);
    }
    std::vector<std::unique_ptr<Outbox>> outboxes;
    std::vector<std::unique_ptr<ModemLink>> links;
    QSet<QString> ready;
    QEventLoop loop;
    // The caller's thread (a window's) must go on while the modems are reached: the longest
    // gap between the ticks of a 10 ms timer is how long it stood still.
    QElapsedTimer connecting;
    connecting.start();
    QElapsedTimer sinceTick;
    sinceTick.start();
    *stallMs = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] { *stallMs = qMax(*stallMs, sinceTick.restart()); });
    tick.start(10);
    for (int s = 0; s < stations; ++s) {
        outboxes.push_back(std::make_unique<Outbox>([db] { return db; }));
        Outbox &outbox = *outboxes.back();
        outbox.SetShare(stations > 1);
        links.push_back(std::make_unique<ModemLink>([&outbox] { return outbox.MakeDesk(); }));
        ModemLink &link = *links.back();
        ModemTimeouts t;
        t.listIntervalMs = 0;
        link.SetTimeouts(t);
        QStringList devices;
        for (int i = s * modemsEach; i < (s + 1) * modemsEach; ++i)
            devices << sims.at(size_t(i))->DevicePath();
        link.SetPortOverride(devices);
        QObject::connect(&link, &ModemLink::statusChanged, &loop, [&](const ModemStatus &st) {
            if (st.IsReady())
                ready.insert(st.port);
            if (ready.size() == modems)
                loop.quit();
        });
        // As the window connects: the workers reach their modems while this thread goes on.
        link.Begin(QVector<DeviceSettings>{DeviceSettings()});
    }
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    if (ready.size() < modems)
        loop.exec();
    *stallMs = qMax(*stallMs, sinceTick.elapsed());
    tick.stop();
    *readySeconds = connecting.nsecsElapsed() / 1e9;
    if (ready.size() < modems)
        return -1;

    const int n = modems * perModem;
    QVector<SmsRecord> records;
    for (int i = 0; i < n; ++i)
        records.append(Pdu::MakeRecord(QStringLiteral("8613800100500"), QStringLiteral("86138%1").arg(i, 8, 10, QLatin1Char('0')),
                                          QStringLiteral("短信猫池 %1").arg(i), -1));
    int seen = 0, failed = 0;
    QEventLoop done;
    for (const std::unique_ptr<Outbox> &o : outboxes) {
        Outbox *outbox = o.get();
        QObject::connect(outbox, &Outbox::reportReady, &done, [&, outbox] {
            if (const std::optional<SmsReport> r = outbox->PopReport()) {
                ++seen;
                failed += r->IsSuccess() ? 0 : 1;
            }
            if (seen >= n)
                done.quit();
        });
    }
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = ProcessCpuSeconds();
    if (!outboxes.front()->Enqueue(records))
        return -1;
    QTimer::singleShot(900000, &done, &QEventLoop::quit);
    if (seen < n)
        done.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    *cpu = (ProcessCpuSeconds() - cpuBefore) / seconds;
    for (const std::unique_ptr<ModemLink> &link : links)
        link->Disconnect();
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
    std::printf("%-9s %9s %9s %9s %10s %8s %6s %8s %9s\n", "database", "stations", "messages", "seconds", "msg/s", "aim",
                "cores", "ready s", "stall ms");
    bool allMet = true;
    const auto row = [&](const char *name, const DbSettings &db, int stations, int modemsEach, double aim) {
        double cpu = 0;
        double ready = 0;
        qint64 stall = 0;
        const double seconds = Run(db, stations, modemsEach, perModem, &cpu, &ready, &stall);
        if (seconds < 0) {
            std::fprintf(stderr, "%s, %d x %d modems: the run failed\n", name, stations, modemsEach);
            return false;
        }
        const double rate = stations * modemsEach * perModem / seconds;
        allMet = allMet && rate >= aim;
        std::printf("%-9s %4d x %-3d %9d %9.2f %10.2f %8.2f %6.2f %8.2f %9lld%s\n", name, stations, modemsEach,
                    stations * modemsEach * perModem, seconds, rate, aim, cpu, ready, static_cast<long long>(stall),
                    rate >= aim ? "" : "  BELOW");
        std::fflush(stdout);
        return true;
    };
    for (const auto &[name, db] : targets) {
        for (const int modems : {1, 4, 16, 64}) {
            if (!row(name, db, 1, modems, (modems >= 64 ? 0.9 : 0.95) * modems))
                return 1;
        }
    }
    // Two stations of four modems each pour one list out of one PostgreSQL database.
    if (targets.size() > 1 && !row("postgres", targets.back().second, 2, 4, 7.6))
        return 1;
    return allMet ? 0 : 2;
}
