// Times the record query and the log export over a large journal: T_SEND with 1,000,000
// rows, one in ten holding "快递" (all successful) and another one in ten failed, so both
// "内容: 快递" and the failed sends give 100,000 hits. The journal is filled once per database
// and kept. Run by hand on a Release build:
//   bench_query sqlite [rows] [folder]          (defaults: 1000000, /tmp/skevo-bench-query)
//   bench_query postgres [rows]                 (server from SKEVO_PG_HOST/PORT/USER/PASSWORD/DB)
#include "BenchKit.h"
#include "BenchSql.h"
#include "records/CMyList.h"
#include "records/LogExport.h"
#include "records/RecordQuery.h"
#include "records/RecordsModel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {
void Report(const char *what, double ms)
{
    std::printf("%-66s %9.1f ms\n", what, ms);
    std::fflush(stdout);
}

double Ms(const QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e6; }

// The machine may be shared: the process's own CPU time says what the work costs.
double CpuMs(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// The bench's own connection, for filling only.
bool Fill(const DbSettings &s, int rows)
{
    const bool pg = s.m_driver == DbSettings::Postgres;
    {
        QSqlDatabase db = RawConnection(s, QStringLiteral("fill"));
        if (!db.open())
            return false;
        QSqlQuery q(db);
        auto run = [&q](const QString &sql) {
            if (q.exec(sql))
                return true;
            std::fprintf(stderr, "%s\n%s\n", qPrintable(sql), qPrintable(q.lastError().text()));
            return false;
        };
        const QString text = QStringLiteral("CASE WHEN i%10=0 THEN '您的快递已到达小区门口驿站,取件码 '||i "
                                            "ELSE '今晚七点在三楼会议室开会,请准时参加。'||i END");
        const QString state = QStringLiteral("CASE WHEN i%10=3 THEN 0 ELSE 1 END");
        bool ok = run(QStringLiteral("DELETE FROM T_SEND"));
        if (pg) {
            ok = ok && run(QStringLiteral("INSERT INTO T_SEND(D_ID,D_SENDTIME,D_STATE,D_SENDNUM,D_SENDCONT) "
                                          "SELECT -1,timestamp '2015-01-01 08:00:00'+i*interval '300 seconds',%1,"
                                          "'86139'||lpad((i%99991)::text,8,'0'),%2 FROM generate_series(1,%3) i")
                                .arg(state, text).arg(rows))
                && run(QStringLiteral("ANALYZE T_SEND"));
        } else {
            ok = ok && run(QStringLiteral("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM c WHERE i<%3) "
                                          "INSERT INTO T_SEND(D_ID,D_SENDTIME,D_STATE,D_SENDNUM,D_SENDCONT) "
                                          "SELECT -1,datetime('2015-01-01 08:00:00','+'||(i*300)||' seconds'),%1,"
                                          "'86139'||printf('%08d',i%99991),%2 FROM c")
                                .arg(state, text).arg(rows))
                && run(QStringLiteral("ANALYZE"));
        }
        if (!ok)
            return false;
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return true;
}

// PostgreSQL does its part of the work in its own processes: the CPU time of every child of
// the postmaster (its pid is the first line of postmaster.pid in the data folder, which the
// test server keeps under SKEVO_PG_HOST). -1 when it cannot be read.
double ServerCpuMs()
{
    QFile pidFile(qEnvironmentVariable("SKEVO_PG_HOST") + QStringLiteral("/data/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray postmaster = pidFile.readLine().trimmed();
    const double tick = 1000.0 / double(sysconf(_SC_CLK_TCK));
    double ms = 0;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        // After the name: state, ppid, ..., utime (14th field of the line), stime (15th).
        if (f.size() > 12 && (f.at(1) == postmaster || entry.toLatin1() == postmaster))
            ms += (f.at(11).toDouble() + f.at(12).toDouble()) * tick;
    }
    return ms;
}

// Gives the event loop a turn until f() holds; the longest turn is the longest freeze.
std::pair<double, double> WaitFor(const std::function<bool()> &f)
{
    QElapsedTimer total, turn;
    total.start();
    double longest = 0;
    while (!f()) {
        turn.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        longest = std::max(longest, Ms(turn));
    }
    return {Ms(total), longest};
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const bool pg = argc > 1 && qstrcmp(argv[1], "postgres") == 0;
    const int rows = argc > 2 ? QByteArray(argv[2]).toInt() : 1000000;
    const QString folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("/tmp/skevo-bench-query");
    QDir().mkpath(folder);

    DbSettings s;
    if (pg) {
        s = PostgresFromEnvironment();
    } else {
        s.m_strData = QStringLiteral("QUERY%1").arg(rows);
        s.m_strSqliteFile = QDir(folder).absoluteFilePath(s.m_strData + QStringLiteral(".db"));
    }
    PrintedMessages messages;
    {
        CDbAccess db([s] { return s; });
        db.SetErrorSink([](const QString &t) { std::fprintf(stderr, "%s\n", qPrintable(t)); });
        if (!db.Connect())
            return 1;
        if (CountJournal(db, Sql::SendKeysBefore) != rows) {
            std::fprintf(stderr, "filling %d sent rows...\n", rows);
            if (!Fill(s, rows))
                return 1;
        }
    }
    std::printf("T_SEND: %d rows, %s\n", rows, pg ? "PostgreSQL" : "SQLite");

    CMyList list([s] { return s; }, messages);
    list.resize(1000, 700);
    list.show();
    if (!QTest::qWaitForWindowExposed(&list))
        return 1;
    RecordsModel &model = list.Model();

    auto query = [&, pg](const char *what, const RecordQuery &q) {
        const RecordQuery::Built built = q.Build();
        QElapsedTimer t;
        t.start();
        const double cpu0 = CpuMs(), server0 = pg ? ServerCpuMs() : 0;
        model.LoadQuery(built);
        list.repaint(); // the first screen: keys and the texts of the rows in sight
        const double first = Ms(t), firstCpu = CpuMs() - cpu0;
        const auto [all, stall] = WaitFor([&] { return !model.IsLoading(); });
        const double allCpu = CpuMs() - cpu0;
        char line[200];
        std::snprintf(line, sizeof line, "%s: first screen", what);
        Report(line, first);
        Report("  (CPU time of the process)", firstCpu);
        std::snprintf(line, sizeof line, "%s: all %d hits", what, model.rowCount());
        Report(line, first + all);
        Report("  (CPU time of the process)", allCpu);
        if (pg)
            Report("  (CPU time of the database server)", ServerCpuMs() - server0);
        std::snprintf(line, sizeof line, "%s: longest time the window did not answer", what);
        Report(line, stall);
    };
    for (int round = 0; round < 2; ++round) {
        std::printf("-- round %d%s\n", round + 1, round ? "" : " (cold caches)");
        RecordQuery text;
        text.m_bText = true;
        text.m_strText = QStringLiteral("快递");
        query("内容: 快递 (LIKE, successful sends)", text);
        RecordQuery failed;
        failed.m_bSucceeded = false;
        query("发送状态 not ticked (failed sends)", failed);
        RecordQuery number;
        number.m_bNumber = true;
        number.m_strNumber = QStringLiteral("13900000042");
        query("对方号码 (one number)", number);
    }

    // Export of the whole sent view.
    QElapsedTimer t;
    t.start();
    model.LoadSent();
    const RecordsModel::Snapshot snapshot = model.TakeSnapshot();
    Report("sent view: every key loaded", Ms(t));
    {
        double read = 0, line = 0, encode = 0;
        qint64 bytes = 0;
        for (int first = 0; first < snapshot.Count(); first += 4096) {
            double c = CpuMs();
            const auto rows = model.SnapshotRows(snapshot, first, 4096);
            read += CpuMs() - c;
            c = CpuMs();
            QByteArray chunk;
            QString text;
            for (const auto &r : rows)
                text += r.m_strTime + r.m_strNumber + r.m_strAction + r.m_strResult + r.m_strContent;
            line += CpuMs() - c;
            c = CpuMs();
            bytes += LogExport::Line({text, {}, {}, {}, {}, {}, {}, {}, 0}, LogExport::Text).size();
            encode += CpuMs() - c;
        }
        Report("export parts (CPU): reading the rows", read);
        Report("export parts (CPU): joining the texts", line);
        Report("export parts (CPU): GBK encoding", encode);
    }
    for (const LogExport::Format format : {LogExport::Text, LogExport::Csv}) {
        const QString path = QDir(folder).filePath(format == LogExport::Text ? QStringLiteral("export.txt") : QStringLiteral("export.csv"));
        t.start();
        const double cpu0 = CpuMs(), thread0 = CpuMs(CLOCK_THREAD_CPUTIME_ID), server0 = pg ? ServerCpuMs() : 0;
        double stall = 0;
        QElapsedTimer turn;
        turn.start();
        const LogExport::Result r = LogExport::Write(model, snapshot, path, format, [&](qint64, qint64) {
            stall = std::max(stall, Ms(turn));
            QCoreApplication::processEvents();
            turn.start();
            return true;
        });
        char line[200];
        std::snprintf(line, sizeof line, "export of %d rows, %s (%.0f MB)%s", snapshot.Count(),
                      format == LogExport::Text ? "GBK text" : "UTF-8 CSV", double(QFileInfo(path).size()) / 1e6,
                      r.m_bOk ? "" : " FAILED");
        Report(line, Ms(t));
        Report("  (CPU time of the process, both threads)", CpuMs() - cpu0);
        Report("  (CPU time of the window's thread: reading the rows)", CpuMs(CLOCK_THREAD_CPUTIME_ID) - thread0);
        if (pg)
            Report("  (CPU time of the database server)", ServerCpuMs() - server0);
        Report("  longest time between two progress steps", stall);
    }
    const QString cancelled = QDir(folder).filePath(QStringLiteral("cancelled.txt"));
    QFile::remove(cancelled);
    t.start();
    const LogExport::Result r = LogExport::Write(model, snapshot, cancelled, LogExport::Text,
                                                 [](qint64 done, qint64 total) { return done < total / 2; });
    Report("export cancelled half-way", Ms(t));
    std::printf("  cancelled: %s, file left behind: %s, other files: %s\n", r.m_bCancelled ? "yes" : "no",
                QFile::exists(cancelled) ? "YES" : "no",
                qPrintable(QDir(folder).entryList({QStringLiteral("cancelled*")}, QDir::Files).join(QLatin1Char(' '))));
    return 0;
}
