#pragma once
// The engine as the application runs it, without a window: the one session the main window and
// `skevo-cli send|listen|serve` drive. It connects the modems of the device settings side by
// side (each in its own thread, so the caller never waits for one), takes up at the first
// connect what an earlier run left in the outbox, runs the order scheduler on a clock it is
// handed while connected, and hands on the engine's news as values, in its own thread and in
// order: each report, each modem's status, how the first try of each modem went, the queue's
// troubles. The window words them in its panes and boxes, skevo-cli in its lines.
#include "orders/OrderScheduler.h"
#include "outbox/OutboxError.h"
#include "outbox/RunTally.h"
#include "pool/ModemLink.h"

#include <QDateTime>
#include <QObject>
#include <functional>
#include <memory>

class CSkevoApp;
class Outbox;
class QTimer;

class EngineSession : public QObject
{
    Q_OBJECT
public:
    explicit EngineSession(CSkevoApp &app, QObject *parent = nullptr);
    ~EngineSession() override; // disconnects

    ModemLink &Link() { return m_link; }
    const ModemLink &Link() const { return m_link; }
    Outbox &Queue();
    OrderScheduler &Scheduler() { return m_scheduler; }

    // Starts every modem of the device settings (or of the link's override) and returns at
    // once; tried() follows once each modem was tried once. The first connect of the session
    // takes up the outbox an earlier run left (the in-flight ones are journalled failed, their
    // reports come at once). The order clock starts.
    void Connect();
    // The same, waiting for each modem's first try, and saying how it went.
    ModemLink::Result ConnectAndWait();
    // Messages the first connect took up: queued again, and journalled failed.
    int Restored() const { return m_nRestored; }
    // Every worker stops (what a modem has in hand finishes first); the queue stays kept.
    void Disconnect();
    bool IsConnected() const { return m_link.IsConnected(); }

    // The clock the orders are checked on (default: the local clock) and how often.
    void SetClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    QDateTime Now() const { return m_clock(); }
    void SetOrderCheckInterval(int ms);
    QTimer *OrderTimer() const { return m_pOrderTimer; }
    // Starts the orders due by now (a check does nothing while not connected). Reports that
    // come while an order is being queued wait until it is, as they may belong to the run it
    // is about to begin. ask: the reminder switch; hooks: the caller's part (the question,
    // what the window does while a large order is queued...). Returns the orders started.
    int CheckOrders(const QDateTime &now, bool ask, const OrderScheduler::Hooks &hooks);
    bool IsCheckingOrders() const { return m_bHolding; }
    // Hands on every report still waiting (after a Disconnect, before the program ends: the
    // notifications of the last ones may not have been delivered yet).
    void FlushReports() { TakeReports(); }

signals:
    // Every modem was tried once since Connect.
    void tried(const ModemLink::Result &result);
    // A modem's status changed (while connected).
    void modemStatus(const ModemStatus &status);
    // Each report, in order: a message sent or failed, an arrival, a delivery changed.
    void reported(const SmsReport &report);
    void failed(const OutboxError &error);
    void runChanged();
    // A SIM's counts, a limit reached or the quiet hours (Queue().Sims(), HeldUntil()).
    void simsChanged();
    // An order deleted while messages of it were queued here.
    void orderWithdrawn(int order, int count);
    // The order clock ticked: time for the owner to call CheckOrders(now, ...).
    void orderCheckDue(const QDateTime &now);

private:
    void TakeReports();

    CSkevoApp &m_app;
    ModemLink m_link;
    OrderScheduler m_scheduler;
    std::function<QDateTime()> m_clock;
    QTimer *m_pOrderTimer = nullptr;
    bool m_bRestored = false;
    int m_nRestored = 0;
    bool m_bHolding = false;
};
