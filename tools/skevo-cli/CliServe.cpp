// skevo-cli serve: the application's work without its windows, for a server: connected until
// stopped, it sends the kept outbox and what is queued, starts due orders with the
// application's scheduler, journals every arrival and writes one line per report.
#include "CliCommands.h"
#include "CliModem.h"

#include "app/CSkevoApp.h"
#include "pool/ModemLink.h"
#include "outbox/Outbox.h"
#include "orders/OrderScheduler.h"

#include <QCoreApplication>
#include <QTimer>

using namespace CliModem;

namespace {
// The scheduler looks at the database only when a new minute has begun, so a short period
// costs nothing and starts an order within a second of its minute.
constexpr int kTickMs = 1000;

QString SkipText(OrderScheduler::Skip why)
{
    switch (why) {
    case OrderScheduler::Skip::Ended:
        return QStringLiteral("not started: its end time has passed");
    case OrderScheduler::Skip::Declined:
        return QStringLiteral("not started: declined");
    case OrderScheduler::Skip::StartedElsewhere:
        return QStringLiteral("started by another program");
    case OrderScheduler::Skip::Failed:
        break;
    }
    return QStringLiteral("not started: database error (tried again at the next check)");
}
} // namespace

int RunServe(const QStringList &args)
{
    QString error;
    const std::optional<StayOptions> options = ParseStayOptions(QStringLiteral("serve"), args, &error);
    if (!options)
        return CliFail(error);

    CSkevoApp app(CSkevoApp::DefaultSettingsPath());
    SignalQuit signalQuit;
    app.Db().SetErrorSink(PrintErr);
    QObject::connect(&app.Queue(), &Outbox::errorEvent, qApp, PrintErr);
    PrintReports(app);
    QObject::connect(&app.Queue(), &Outbox::orderWithdrawn, qApp, [](int order, int count) {
        PrintOut(QStringLiteral("order %1 deleted: %2 queued messages withdrawn").arg(order).arg(count));
    });
    // A modem without a usable SIM ends the service (exit 1): a PIN put in setting.ini is
    // then taken at the next start, and a refused one is never entered by any restart.
    ModemLink modemLink(app.Queue(), app.DbSettingsSource(), &app.Settings());
    Readiness readiness;
    QObject watch;
    WatchStatus(modemLink, &watch, &readiness);
    int restored = 0;
    if (const int rc = Connect(app, modemLink, options->modem, &restored))
        return rc;
    readiness.ports = modemLink.PortNames();

    // No operator answers the reminder question here: due orders start without it.
    PrintOut(QStringLiteral("serving; due orders start without the reminder question (Check/Rem)"));
    PrintOut(KeptText(restored, true));
    OrderScheduler scheduler(app.Db(), app.Queue());
    OrderScheduler::Hooks hooks;
    hooks.orderStarted = [](const StoredOrder &o, int messages) {
        PrintOut(QStringLiteral("order %1 started: %2 messages").arg(o.m_nId).arg(messages));
    };
    hooks.skipped = [](const StoredOrder &o, OrderScheduler::Skip why) {
        PrintOut(QStringLiteral("order %1 %2").arg(o.m_nId).arg(SkipText(why)));
    };
    scheduler.Connected(QDateTime::currentDateTime());
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, qApp, [&] {
        scheduler.Check(QDateTime::currentDateTime(), false, app.Device().m_strSMSC, hooks);
    });
    tick.start(kTickMs);

    if (options->seconds > 0)
        QTimer::singleShot(qint64(options->seconds) * 1000, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    tick.stop();
    scheduler.Disconnected();
    // What is still queued stays kept in the outbox for the next run.
    Disconnect(modemLink);
    while (const std::optional<SmsReport> r = app.Queue().PopReport())
        PrintOut(ReportLine(*r));
    PrintOut(KeptText(app.Queue().QueuedCount(), false));
    return TellOperatorNeeded(readiness) ? 1 : 0;
}
