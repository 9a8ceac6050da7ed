// Times what a modem with limits does before each claim: counting its SIM's parts in the hour
// and the day from the journal; and the count of a whole month, which a SIM with a monthly
// limit reads once a day (its days before today are kept, today's added at each claim). A journal of sent messages (default
// 10,000,000 rows over 50 SIMs and the last 400 days, about 500 a SIM a day, every seventh
// message of two parts) is written, then the counts of random SIMs (default 2,000) are read
// as the desk reads them, on one connection. The plan the database chose is printed too. Run
// by hand on a Release build:
//   bench_simcount [rows] [counts] [sqlite|postgres|both]
// PostgreSQL is the server SKEVO_PG_* name, in a database without journal rows (a throw-away
// server of scripts/pg-test-server).
#include "BenchKit.h"
#include "BenchSql.h"
#include "BenchSql.h"
#include "base/SimRules.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSims = 50;
constexpr int kDays = 400;
const QString kFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString Sim(int i) { return QStringLiteral("4600000000%1").arg(i, 5, 10, QLatin1Char('0')); }

bool Exec(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    std::fprintf(stderr, "%s\n  %s\n", qPrintable(sql), qPrintable(q.lastError().text()));
    return false;
}

QStringList Column(QSqlDatabase &db, const QString &sql)
{
    QStringList out;
    QSqlQuery q(db);
    if (!q.exec(sql))
        std::fprintf(stderr, "%s\n  %s\n", qPrintable(sql), qPrintable(q.lastError().text()));
    while (q.next())
        out << q.value(0).toString();
    return out;
}

// The journal's rows in one statement, its indexes dropped meanwhile and made again after.
bool Fill(const DbSettings &s, int rows, const QDateTime &start)
{
    const bool pg = s.m_driver == DbSettings::Postgres;
    QSqlDatabase db = RawConnection(s, QStringLiteral("fill"));
    if (!db.open()) {
        std::fprintf(stderr, "fill: %s\n", qPrintable(db.lastError().text()));
        return false;
    }
    const QStringList indexes = pg ? Column(db, QStringLiteral("SELECT indexdef FROM pg_indexes WHERE tablename='t_send' "
                                                               "AND indexname<>'t_send_pkey'"))
                                   : Column(db, QStringLiteral("SELECT sql FROM sqlite_master WHERE type='index' AND "
                                                               "tbl_name='T_SEND' AND sql IS NOT NULL"));
    const QStringList names = pg ? Column(db, QStringLiteral("SELECT indexname FROM pg_indexes WHERE tablename='t_send' "
                                                             "AND indexname<>'t_send_pkey'"))
                                 : Column(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type='index' AND "
                                                             "tbl_name='T_SEND' AND sql IS NOT NULL"));
    // A journal of this benchmark's rows only (the database is a throw-away one).
    if (!Exec(db, pg ? QStringLiteral("TRUNCATE T_SEND") : QStringLiteral("DELETE FROM T_SEND")))
        return false;
    for (const QString &name : names) {
        if (!Exec(db, QStringLiteral("DROP INDEX %1").arg(name)))
            return false;
    }
    const double step = double(kDays) * 86400 / rows;
    const QString from = start.toString(kFormat);
    // Built by concatenation: the modulo signs would read as QString::arg's markers.
    const QString sims = QString::number(kSims);
    const QString last = QString::number(rows - 1);
    const QString stepText = QString::number(step, 'f', 6);
    const QString values = QStringLiteral("1,'86139'||(i%1000000),'bench','/dev/ttyUSB'||(i%") + sims
        + QStringLiteral("),'4600000000'||") + (pg ? QStringLiteral("lpad((i%") + sims + QStringLiteral(")::text,5,'0')")
                                                   : QStringLiteral("substr('00000'||(i%") + sims + QStringLiteral("),-5)"))
        + QStringLiteral(",CASE WHEN i%7=0 THEN 2 ELSE 1 END");
    const QString insert = QStringLiteral("INSERT INTO T_SEND(D_ID,D_SENDTIME,D_STATE,D_SENDNUM,D_SENDCONT,D_PORT,D_SIM,D_PARTS) ");
    const QString text = pg
        ? insert + QStringLiteral("SELECT -1,timestamp '") + from + QStringLiteral("'+make_interval(secs=>floor(i*") + stepText
            + QStringLiteral(")),") + values + QStringLiteral(" FROM generate_series(0,") + last + QStringLiteral(") AS i")
        : insert + QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE i<") + last
            + QStringLiteral(") SELECT -1,datetime('") + from + QStringLiteral("','+'||CAST(i*") + stepText
            + QStringLiteral(" AS INTEGER)||' seconds'),") + values + QStringLiteral(" FROM n");
    if (!Exec(db, text))
        return false;
    for (const QString &index : indexes) {
        if (!Exec(db, index))
            return false;
    }
    Exec(db, pg ? QStringLiteral("ANALYZE T_SEND") : QStringLiteral("ANALYZE"));
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return true;
}

int Run(const char *name, const DbSettings &settings, int rows, int counts)
{
    CDbAccess db([settings] { return settings; });
    if (!db.Connect()) { // makes the tables and the program's indexes
        std::fprintf(stderr, "%s: no connection: %s\n", name, qPrintable(db.LastError()));
        return 1;
    }
    const QDateTime now = QDateTime::currentDateTime();
    QElapsedTimer fill;
    fill.start();
    if (!Fill(settings, rows, now.addDays(-kDays)))
        return 1;
    std::printf("%s: %d sent rows over %d SIMs and %d days written in %.1f s\n", name, rows, kSims, kDays,
                fill.elapsed() / 1000.0);

    // The day twice: right after the fill (the index not yet in memory), then as a running
    // program finds it.
    for (const int pass : {0, 1, 2}) {
        const bool month = pass == 2;
        QRandomGenerator random(28 + pass);
        std::vector<double> ms;
        qint64 parts = 0;
        for (int n = 0; n < counts; ++n) {
            const QString sim = Sim(int(random.bounded(kSims)));
            const QDateTime at = now.addSecs(-qint64(random.bounded(3600)));
            const QDateTime hour = SimRules::HourStart(at), day = SimRules::DayStart(at);
            const QDateTime earliest = month ? SimRules::MonthStart(at) : qMin(hour, day);
            QElapsedTimer t;
            t.start();
            const RecordsetPtr rs = db.OpenRecordset(Sql::SendSimCount,
                                                     {hour.toString(kFormat), day.toString(kFormat), sim, earliest.toString(kFormat)});
            try {
                if (rs->IsEOF())
                    return 1;
                parts += rs->GetFieldValue(1).toLongLong();
            } catch (const CDbError &) {
                return 1;
            }
            ms.push_back(t.nsecsElapsed() / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        double sum = 0;
        for (double v : ms)
            sum += v;
        std::printf("%s: %s: %d counts, mean %.3f ms, median %.3f ms, p99 %.3f ms (a SIM's day: %lld parts on average)\n",
                    name, month ? "the whole month (once a day)" : pass == 0 ? "hour and day (each claim), cold" : "hour and day (each claim), warm", counts, sum / counts, ms[ms.size() / 2],
                    ms[ms.size() * 99 / 100], parts / counts);
    }
    // The plan, as the database explains it.
    const DbSettings s = settings;
    const bool pg = s.m_driver == DbSettings::Postgres;
    {
        QSqlDatabase plan = RawConnection(s, QStringLiteral("plan"));
        if (plan.open()) {
            const QString day = SimRules::DayStart(now).toString(kFormat);
            const QString text = SqlCatalogue::Text(Sql::SendSimCount, s.m_driver);
            QString bound = text;
            for (const QString &v : {day, day, Sim(7), day})
                bound.replace(bound.indexOf(QLatin1Char('?')), 1, QLatin1Char('\'') + v + QLatin1Char('\''));
            QSqlQuery q(plan);
            if (q.exec((pg ? QStringLiteral("EXPLAIN ") : QStringLiteral("EXPLAIN QUERY PLAN ")) + bound)) {
                while (q.next()) // SQLite's detail is its fourth column
                    std::printf("%s plan: %s\n", name, qPrintable(q.value(pg ? 0 : 3).toString()));
            }
            plan.close();
        }
        plan = QSqlDatabase();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("plan"));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = args.value(1, QStringLiteral("10000000")).toInt();
    const int counts = args.value(2, QStringLiteral("2000")).toInt();
    const QString which = args.value(3, QStringLiteral("both"));
    int rc = 0;
    if (which != QLatin1String("postgres")) {
        const QString dir = QDir::temp().filePath(QStringLiteral("skevo-bench-simcount"));
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        DbSettings s;
        s.m_driver = DbSettings::Sqlite;
        s.m_strData = QStringLiteral("SIMCOUNT");
        s.m_strSqliteFile = QDir(dir).filePath(QStringLiteral("simcount.db"));
        rc |= Run("SQLite", s, rows, counts);
    }
    if (which != QLatin1String("sqlite")) {
        const DbSettings pg = PostgresFromEnvironment();
        rc |= Run("PostgreSQL", pg, rows, counts);
    }
    return rc;
}
