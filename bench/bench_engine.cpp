// The modem engine's own cost per message: sends and arrivals through the simulated modem on
// a pseudo-terminal (answering at once), journalled into a SQLite file. Run by hand, from a
// Release build: bench_engine [messages]
#include "ModemSimulator.h"
#include "pool/ModemPort.h"
#include "outbox/Outbox.h"
#include "sms/PduCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

DbSettings Sqlite(const QString &dir)
{
    DbSettings s;
    s.m_driver = DbSettings::Sqlite;
    s.m_strData = QStringLiteral("BENCH");
    s.m_strSqliteFile = QDir(dir).filePath(QStringLiteral("BENCH.db"));
    return s;
}

// Waits until the engine has reported `count` messages; false on time-out.
bool AwaitReports(Outbox &outbox, int count, int *failures, int timeoutMs)
{
    int seen = 0;
    QEventLoop loop;
    const QMetaObject::Connection c = QObject::connect(&outbox, &Outbox::reportReady, &loop, [&] {
        if (const std::optional<SmsReport> r = outbox.PopReport()) {
            ++seen;
            if (!r->IsSuccess())
                ++*failures;
        }
        if (seen >= count)
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (seen < count)
        loop.exec();
    QObject::disconnect(c);
    return seen >= count;
}

struct Rig
{
    QTemporaryDir dir;
    ModemSimulator sim;
    std::unique_ptr<Outbox> outbox;
    std::unique_ptr<ModemPort> modem;

    bool Start()
    {
        const DbSettings db = Sqlite(dir.path());
        outbox = std::make_unique<Outbox>([db] { return db; });
        modem = std::make_unique<ModemPort>(outbox->MakeDesk());
        ModemTimeouts t;
        t.listIntervalMs = 0;
        modem->SetTimeouts(t);
        return (sim.IsRunning() || sim.Start()) && modem->Open(sim.DevicePath(), 115200, 8, 0, 0) && modem->InitModem();
    }
};

void Line(const char *what, int n, qint64 ns)
{
    std::printf("%-44s %6d  %8.1f ms total  %7.3f ms per message\n", what, n, double(ns) / 1e6, double(ns) / 1e6 / n);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    std::printf("modem engine, simulated modem without latency, SQLite journal, %d messages\n", n);

    {
        Rig rig;
        if (!rig.Start() || !rig.modem->StartThread()) {
            std::fprintf(stderr, "cannot start the simulated modem or the engine\n");
            return 1;
        }
        QVector<SmsRecord> records;
        for (int i = 0; i < n; ++i)
            records.append(Pdu::MakeRecord(QStringLiteral("8613800100500"),
                                                 QStringLiteral("86138%1").arg(i, 8, 10, QLatin1Char('0')),
                                                 QStringLiteral("基准测试消息 %1").arg(i), -1));
        int failures = 0;
        QElapsedTimer t;
        t.start();
        rig.outbox->Enqueue(records); // kept in T_OUTBOX, one transaction
        const qint64 enqueued = t.nsecsElapsed();
        const bool done = AwaitReports(*rig.outbox, n, &failures, 120000);
        const qint64 all = t.nsecsElapsed();
        rig.modem->StopThread();
        if (!done || failures > 0 || rig.sim.SubmitCount() != n) {
            std::fprintf(stderr, "sends: done %d, failures %d, submits %d\n", int(done), failures, rig.sim.SubmitCount());
            return 1;
        }
        Line("enqueue (T_OUTBOX insert)", n, enqueued);
        Line("send: queued to reported and journalled", n, all);
    }

    {
        Rig rig;
        rig.sim.SetCapacity(n + 10);
        if (!rig.Start() || !rig.modem->StartThread()) {
            std::fprintf(stderr, "cannot start the simulated modem or the engine\n");
            return 1;
        }
        int failures = 0;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < n; ++i) {
            DeliverSpec spec;
            spec.from = QStringLiteral("+86139%1").arg(i, 8, 10, QLatin1Char('0'));
            spec.text = QStringLiteral("到达 %1").arg(i);
            if (!rig.sim.InjectArrival(spec).ok) {
                std::fprintf(stderr, "injection %d failed\n", i);
                return 1;
            }
        }
        const bool done = AwaitReports(*rig.outbox, n, &failures, 120000);
        const qint64 all = t.nsecsElapsed();
        rig.modem->StopThread();
        if (!done || !rig.sim.Storage().isEmpty()) {
            std::fprintf(stderr, "arrivals: done %d, left in the modem %d\n", int(done), int(rig.sim.Storage().size()));
            return 1;
        }
        Line("arrival: +CMTI, read, journalled, deleted", n, all);
    }

    {
        // The whole list is one answer; the simulated modem keeps at most 64 KiB of output
        // unread, so this case stores fewer (a SIM holds a few dozen anyway).
        const int stored = qMin(n, 300);
        Rig rig;
        rig.sim.SetCapacity(stored + 10);
        if (!rig.sim.Start()) {
            std::fprintf(stderr, "cannot start the simulated modem\n");
            return 1;
        }
        for (int i = 0; i < stored; ++i) {
            DeliverSpec spec;
            spec.from = QStringLiteral("+86139%1").arg(i, 8, 10, QLatin1Char('0'));
            spec.text = QStringLiteral("存储 %1").arg(i);
            rig.sim.StoreArrival(spec);
        }
        if (!rig.Start()) {
            std::fprintf(stderr, "cannot start the engine\n");
            return 1;
        }
        int failures = 0;
        QElapsedTimer t;
        t.start();
        rig.modem->StartThread();
        const bool done = AwaitReports(*rig.outbox, stored, &failures, 120000);
        const qint64 all = t.nsecsElapsed();
        rig.modem->StopThread();
        if (!done || !rig.sim.Storage().isEmpty()) {
            std::fprintf(stderr, "stored: done %d, left in the modem %d\n", int(done), int(rig.sim.Storage().size()));
            return 1;
        }
        Line("stored arrival: listed, journalled, deleted", stored, all);
    }
    std::printf("the simulated modem answers at once: the figures are the engine's own cost\n");
    return 0;
}
