// Times the opt-out list: a list of 1,000,000 numbers imported from CSV (one transaction), then
// a send of 100,000 numbers in no order, a tenth of them listed, planned as the send button plans it and
// its listed numbers left out (one statement against T_OPTOUT's primary key), and the CSV
// export of the whole list.
// Run by hand on a Release build:
//   bench_optout [listed] [sent] [sqlite|postgres]   (defaults: 1000000, 100000, sqlite)
// postgres uses the server named by SKEVO_PG_HOST/PORT/USER/PASSWORD/DB (an empty database).
#include "BenchKit.h"
#include "outbox/OptOutList.h"
#include "send/SendRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <random>

namespace {
void Report(const char *what, qint64 ms, qint64 limitMs)
{
    std::printf("%-52s %7lld ms%s\n", what, static_cast<long long>(ms),
                limitMs <= 0 ? "" : (ms <= limitMs ? QByteArray("  (limit ") + QByteArray::number(limitMs) + " ms)"
                                                  : QByteArray("  (limit ") + QByteArray::number(limitMs) + " ms)  OVER")
                                        .constData());
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int listedCount = args.value(1, QStringLiteral("1000000")).toInt();
    const int sentCount = args.value(2, QStringLiteral("100000")).toInt();
    const bool pg = args.value(3) == QStringLiteral("postgres");

    QTemporaryDir dir;
    DbSettings s;
    if (pg)
        s = PostgresFromEnvironment();
    else
        s.m_strSqliteFile = dir.filePath(QStringLiteral("bench.db"));
    CDbAccess db([s] { return s; });
    PrintedMessages messages;
    db.SetErrorSink([&messages](const QString &t) { messages.Show(t); });
    if (!db.Connect())
        return 1;
    std::printf("%s, %d listed, %d sent\n", pg ? "postgres" : "sqlite", listedCount, sentCount);

    // The list: every even number of 139xxxxxxxx from the first, as a file of the export's form.
    QByteArray csv = "号码,时间,来源,内容\r\n";
    csv.reserve(qsizetype(listedCount) * 40);
    for (int i = 0; i < listedCount; ++i)
        csv += "139" + QByteArray::number(qint64(i) * 2).rightJustified(8, '0') + ",2026-12-01 10:00:00,导入,\r\n";
    OptOutList list(db);
    QElapsedTimer t;
    t.start();
    const OptOutList::Imported imported = list.ImportCsv(csv);
    Report("list imported (one transaction)", t.elapsed(), 0);
    if (!imported.ok || imported.added != listedCount) {
        std::printf("import failed: %d added: %s\n", imported.added, qPrintable(list.Error()));
        return 1;
    }
    if (pg)
        db.Execute(Sql::OptOutDelete, {QStringLiteral("none")}); // (the server's statistics follow by themselves)

    // The send: numbers 0, 1, 2, ... from the list's start spread by 10, so that every tenth is
    // listed (an even number below twice the list's length).
    QStringList entries;
    for (int i = 0; i < sentCount; ++i) {
        const qint64 n = qint64(i) * 10 + (i % 10 == 0 ? 0 : 1);
        entries << QStringLiteral("139%1").arg(n, 8, 10, QLatin1Char('0'));
    }
    // In no order, as after 打乱 (the server's index likes its own order best).
    std::mt19937 shuffle(28);
    std::shuffle(entries.begin(), entries.end(), shuffle);
    int expected = 0;
    for (int i = 0; i < sentCount; ++i)
        expected += (i % 10 == 0 && qint64(i) * 10 < qint64(listedCount) * 2) ? 1 : 0;

    for (int round = 0; round < 3; ++round) {
        SendRunPlan plan = SendRun::Plan(QStringLiteral("通知"), entries, true, QStringLiteral("8613800100500"));
        t.restart();
        const std::optional<QVector<int>> listed = list.Listed(plan.m_numbers);
        const qint64 query = t.elapsed();
        t.restart();
        const std::clock_t cpu = std::clock();
        const std::optional<PanelMessage> said = SendRun::LeaveOptedOut(db, plan);
        const qint64 whole = t.elapsed();
        const qint64 wholeCpu = qint64(std::clock() - cpu) * 1000 / CLOCKS_PER_SEC;
        if (!listed || int(listed->size()) != expected || int(plan.m_records.size()) != sentCount - expected) {
            std::printf("wrong: %lld listed, %lld left, %d expected listed\n", listed ? static_cast<long long>(listed->size()) : -1LL,
                        static_cast<long long>(plan.m_records.size()), expected);
            return 1;
        }
        std::printf("round %d: %s\n", round + 1, said ? qPrintable(said->m_strText) : "(nothing said)");
        Report("  listed numbers of the send found (the query)", query, 500);
        Report("  the send planned without them (query + leaving out)", whole, 500);
        Report("    of which this program's own processor time", wholeCpu, 0);
    }

    t.restart();
    const std::optional<QByteArray> exported = list.ExportCsv();
    Report("list exported as CSV", t.elapsed(), 0);
    return exported && messages.count == 0 ? 0 : 1;
}
