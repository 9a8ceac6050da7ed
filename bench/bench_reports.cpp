// Times the matching of delivery reports: a journal of sent messages (default 1,000,000 rows,
// each with its part's message reference, over four modems and the last three days) is
// written, then reports for random rows of it (default 100,000) go through the journal one by
// one, as the modem's worker hands them over: each is matched and its row changed in a
// transaction of its own. Run by hand on a Release build:
//   bench_reports [rows] [reports] [sqlite|postgres|both]
// PostgreSQL is the server SKEVO_PG_* name, in a database without journal rows (a throw-away
// server of scripts/pg-test-server).
#include "BenchKit.h"
#include "outbox/CJournal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>
#include <ctime>

namespace {

double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

QString Port(int i) { return QStringLiteral("/dev/ttyUSB%1").arg(i % 4); }
QString Number(int i) { return QStringLiteral("86139%1").arg(i % 199999, 8, 10, QLatin1Char('0')); }

bool Fill(CDbAccess &db, int rows, const QDateTime &now)
{
    // Spread over the last 71 hours, newest last; references wrap at 256 per modem.
    const qint64 stepMs = qint64(71) * 3600 * 1000 / rows;
    for (int chunk = 0; chunk < rows; chunk += 20000) {
        const bool ok = db.Transaction([&] {
            for (int i = chunk; i < std::min(rows, chunk + 20000); ++i) {
                const QString time = now.addMSecs(-qint64(rows - i) * stepMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                const int reference = (i / 4) % 256;
                const qint64 key = db.Insert(Sql::SendInsertReported, {-1, time, 1, Number(i), QStringLiteral("bench"), Port(i),
                                                                       SqlCatalogue::kReportWaiting, QString::number(reference), 0, 0, QString(), 1});
                if (key < 0
                    || !db.Execute(Sql::PartInsert, {key, 1, Port(i), reference, CJournal::NumberKey(Number(i)), time, QString()}))
                    return false;
            }
            return true;
        });
        if (!ok) {
            std::fprintf(stderr, "fill failed: %s\n", qPrintable(db.LastError()));
            return false;
        }
        if (chunk % 200000 == 0)
            std::fprintf(stderr, "filling: %d of %d\n", chunk, rows);
    }
    return true;
}

int Run(const char *name, const DbSettings &settings, int rows, int reports)
{
    CDbAccess db([settings] { return settings; });
    if (!db.Connect()) {
        std::fprintf(stderr, "%s: no connection: %s\n", name, qPrintable(db.LastError()));
        return 1;
    }
    const QDateTime now = QDateTime::currentDateTime();
    QElapsedTimer fill;
    fill.start();
    if (!Fill(db, rows, now))
        return 1;
    std::printf("%s: %d sent rows with their parts written in %.1f s\n", name, rows, fill.elapsed() / 1000.0);

    CJournal journal;
    journal.Attach(&db, [](const OutboxError &e) { std::fprintf(stderr, "journal: %d %s\n", int(e.kind), qPrintable(e.text)); });
    QRandomGenerator random(21);
    const QString time = now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    int matched = 0;
    QElapsedTimer wall;
    wall.start();
    const double cpu = CpuMs();
    for (int n = 0; n < reports; ++n) {
        // The newest rows of a reference are the ones reports name; any row of the journal will do.
        const int i = rows - 1 - int(random.bounded(rows));
        ReportRow r;
        r.port = Port(i);
        r.reference = (i / 4) % 256;
        r.recipient = Number(i);
        r.status = n % 10 ? 0x00 : 0x41;
        r.discharge = time;
        r.time = time;
        r.pdu = QStringLiteral("00");
        if (journal.Report(r, {}, 0) != CJournal::Outcome::Written)
            return 1;
        matched += int(journal.TakeDeliveryChanges().size());
    }
    const double ms = wall.nsecsElapsed() / 1e6;
    std::printf("%s: %d reports matched against %d rows in %.1f s: %.3f ms each (CPU %.3f ms); %d rows changed\n", name,
                reports, rows, ms / 1000.0, ms / reports, (CpuMs() - cpu) / reports, matched);
    journal.Detach();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = args.value(1, QStringLiteral("1000000")).toInt();
    const int reports = args.value(2, QStringLiteral("100000")).toInt();
    const QString which = args.value(3, QStringLiteral("both"));
    int rc = 0;
    if (which != QLatin1String("postgres")) {
        const QString dir = QDir::temp().filePath(QStringLiteral("skevo-bench-reports"));
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        DbSettings s;
        s.m_driver = DbSettings::Sqlite;
        s.m_strData = QStringLiteral("REPORTS");
        s.m_strSqliteFile = QDir(dir).filePath(QStringLiteral("reports.db"));
        rc |= Run("SQLite", s, rows, reports);
    }
    if (which != QLatin1String("sqlite")) {
        const DbSettings pg = PostgresFromEnvironment();
        rc |= Run("PostgreSQL", pg, rows, reports);
    }
    return rc;
}
