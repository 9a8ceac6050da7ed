// Times the send orders: an order of 100,000 numbers stored (order and numbers in one
// transaction), then queued when due (numbers read, order claimed, 100,000 messages kept in
// T_OUTBOX and queued, one transaction), withdrawn again as "停止" does, then the order dialog
// opened over 10,000 orders.
// Run by hand on a Release build:
//   bench_orders [numbers] [orders] [sqlite|postgres]   (defaults: 100000, 10000, sqlite)
// postgres uses the server named by SKEVO_PG_HOST/PORT/USER/PASSWORD/DB (an empty database).
#include "BenchKit.h"
#include "base/CSettingsFile.h"
#include "outbox/Outbox.h"
#include "orders/COrderDlg.h"
#include "orders/OrderForm.h"
#include "orders/OrderListModel.h"
#include "orders/OrderScheduler.h"
#include "orders/OrderStore.h"
#include "sms/PduCodec.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {
void Report(const char *what, qint64 ms, qint64 limitMs)
{
    std::printf("%-44s %7lld ms  (limit %lld ms)%s\n", what, static_cast<long long>(ms), static_cast<long long>(limitMs),
                ms <= limitMs ? "" : "  OVER");
}
} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int numberCount = args.value(1, QStringLiteral("100000")).toInt();
    const int orderCount = args.value(2, QStringLiteral("10000")).toInt();
    const bool pg = args.value(3) == QStringLiteral("postgres");

    QTemporaryDir dir;
    DbSettings s;
    if (pg) {
        s = PostgresFromEnvironment();
    } else {
        s.m_strSqliteFile = dir.filePath(QStringLiteral("bench.db"));
    }
    CDbAccess db([s] { return s; });
    PrintedMessages messages;
    db.SetErrorSink([&messages](const QString &t) { messages.Show(t); });
    if (!db.Connect())
        return 1;
    std::printf("%s, %d numbers, %d orders\n", pg ? "postgres" : "sqlite", numberCount, orderCount);

    // Store.
    OrderStore store(db);
    OrderForm form;
    form.m_start = QDateTime(QDate(2030, 1, 1), QTime(10, 0));
    form.m_end = form.m_start.addSecs(3600);
    form.m_strText = QStringLiteral("订单短信");
    for (int i = 0; i < numberCount; ++i)
        form.m_numbers << QStringLiteral("86139%1").arg(i, 8, 10, QLatin1Char('0'));
    QElapsedTimer t;
    t.start();
    const OrderForm::Outcome added = form.Add(store, form.m_start.addSecs(-60));
    Report("order stored (order + numbers)", t.elapsed(), 2000);
    if (!added.m_bOk)
        return 1;

    // Queue when due: first the parts alone, for a breakdown.
    {
        QStringList numbers;
        t.restart();
        store.Numbers(added.m_nId, &numbers);
        Report("  of which: the numbers read", t.elapsed(), 2000);
        Outbox alone([s] { return s; });
        QVector<SmsRecord> records;
        for (const QString &n : numbers)
            records.append(Pdu::MakeRecord(QStringLiteral("8613800100500"), n, form.m_strText, added.m_nId));
        t.restart();
        alone.Enqueue(records);
        Report("  of which: the messages kept and queued", t.elapsed(), 2000);
    }
    Outbox modem([s] { return s; });
    OrderScheduler scheduler(db, modem);
    scheduler.Connected(form.m_start.addSecs(-30));
    // The window repaints at every busy call: the longest stretch without one is how long it
    // stands still.
    OrderScheduler::Hooks hooks;
    QElapsedTimer sincePaint;
    qint64 longestStill = 0;
    hooks.busy = [&] {
        longestStill = qMax(longestStill, sincePaint.restart());
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    const long emptyKb = ResidentKb();
    t.restart();
    sincePaint.start();
    const int started = scheduler.Check(form.m_start.addSecs(5), false, QStringLiteral("8613800100500"), hooks);
    longestStill = qMax(longestStill, sincePaint.elapsed());
    Report("order queued when due (read, claim, keep)", t.elapsed(), 2000);
    Report("  the window's longest stretch unpainted", longestStill, 250);
    if (started != 1 || modem.QueuedCount() != numberCount)
        return 1;
    // The queue is the database's: a station holding it keeps none of it in memory.
    std::printf("resident memory, queue empty / %d queued: %ld / %ld kB\n", numberCount, emptyKb, ResidentKb());
    // What "停止" does to a run of that size.
    t.restart();
    const int withdrawn = modem.Withdraw().count;
    Report("the queued messages withdrawn", t.elapsed(), 2000);
    if (withdrawn != numberCount)
        return 1;

    // The dialog over many orders.
    db.Transaction([&] {
        for (int i = 1; i < orderCount; ++i) {
            if (store.Add(QStringLiteral("2030-1-2 10:0"), QStringLiteral("2030-1-2 11:0"),
                          QStringLiteral("订单 %1").arg(i), {QStringLiteral("8613900000000")}) <= 0)
                return false;
        }
        return true;
    });
    CSettingsFile settings(dir.filePath(QStringLiteral("setting.ini")));
    t.restart();
    COrderDlg dialog(db, settings, messages, [](const QString &, QStringList *, int *) { return false; });
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog))
        return 1;
    QApplication::processEvents();
    Report("order dialog opened and listed", t.elapsed(), 500);
    std::printf("rows listed: %d\n", dialog.Model().rowCount());
    return 0;
}
