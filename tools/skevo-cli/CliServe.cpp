// skevo-cli serve: the application's session without its windows, for a server: connected
// until stopped, it sends the kept outbox and what is queued, starts due orders, journals every
// arrival and writes one line per report. Here only its options and its lines.
#include "CliCommands.h"
#include "CliHttp.h"
#include "CliModem.h"

#include "app/CSkevoApp.h"
#include "app/EngineSession.h"
#include "orders/OrderForm.h"
#include "outbox/Outbox.h"

#include <QCoreApplication>
#include <QTimer>

using namespace CliModem;

namespace {
// The scheduler looks at the database only when a new minute has begun, so a short period
// costs nothing and starts an order within a second of its minute.
constexpr int kTickMs = 1000;
} // namespace

int RunServe(const QStringList &args)
{
    QString error;
    QStringList rest = args;
    const std::optional<QString> http = CliHttp::TakeOption(&rest);
    const std::optional<StayOptions> options = ParseStayOptions(QStringLiteral("serve"), rest, &error);
    if (!options)
        return CliFail(error);

    CSkevoApp app(CSkevoApp::DefaultSettingsPath());
    CliHttp::Api api;
    if (!api.Plan(app, http, &error))
        return CliFail(error);
    SignalQuit signalQuit;
    app.Db().SetErrorSink(PrintErr);
    EngineSession session(app);
    PrintReports(session);
    api.Watch(app, session);
    QObject::connect(&session, &EngineSession::orderWithdrawn, qApp, [](int order, int count) {
        PrintOut(OrderForm::WithdrawnElsewhereText(order, count));
    });
    // A modem without a usable SIM ends the service (exit 1): a PIN put in setting.ini is
    // then taken at the next start, and a refused one is never entered by any restart.
    Readiness readiness;
    QObject watch;
    WatchStatus(session, &watch, &readiness);
    // No operator answers the reminder question here: due orders start without it.
    OrderScheduler::Hooks hooks;
    hooks.orderStarted = [](const StoredOrder &o, int messages) {
        PrintOut(OrderForm::StartedText(o.m_nId, messages));
    };
    hooks.optedOut = [](const StoredOrder &o, int count) {
        PrintOut(OrderForm::OptedOutText(o.m_nId, count));
    };
    hooks.skipped = [](const StoredOrder &o, OrderScheduler::Skip why) {
        PrintOut(OrderForm::SkippedText(o.m_nId, why));
    };
    session.SetOrderCheckInterval(kTickMs);
    QObject::connect(&session, &EngineSession::orderCheckDue, qApp,
                     [&](const QDateTime &now) { session.CheckOrders(now, false, hooks); });
    if (const int rc = Connect(session, options->modem))
        return rc;
    readiness.ports = session.Link().PortNames();
    PrintOut(QStringLiteral("服务已启动: 到期的订单不经提醒直接开始发送"));
    if (session.Restored() > 0)
        PrintOut(KeptText(session.Restored(), true));
    if (!api.Start(app, session, &error)) {
        PrintErr(error);
        Disconnect(session);
        return 1;
    }

    if (options->seconds > 0)
        QTimer::singleShot(qint64(options->seconds) * 1000, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    // What is still queued stays kept in the outbox for the next run.
    Disconnect(session);
    if (const int kept = app.Queue().KeptCount(); kept > 0)
        PrintOut(KeptText(kept, false));
    PrintOut(QStringLiteral("服务已停止"));
    return TellOperatorNeeded(readiness) ? 1 : 0;
}
