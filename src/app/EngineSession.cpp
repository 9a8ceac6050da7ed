#include "EngineSession.h"
#include "CSkevoApp.h"

#include <QTimer>
#include <utility>

namespace {
constexpr int kDefaultOrderCheckMs = 60000;
}

EngineSession::EngineSession(CSkevoApp &app, QObject *parent)
    : QObject(parent)
    , m_app(app)
    , m_link([&app] { return app.Queue().MakeDesk(); }, &app.Settings())
    , m_scheduler(app.Db(), app.Queue())
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    qRegisterMetaType<OutboxError>();
    qRegisterMetaType<SmsReport>();
    qRegisterMetaType<ModemStatus>();
    m_pOrderTimer = new QTimer(this);
    m_pOrderTimer->setObjectName(QStringLiteral("orderTimer"));
    m_pOrderTimer->setInterval(kDefaultOrderCheckMs);
    connect(m_pOrderTimer, &QTimer::timeout, this, [this] { emit orderCheckDue(m_clock()); });

    Outbox &outbox = app.Queue();
    // The workers tell from their own threads: one queued call per report, in order.
    connect(&outbox, &Outbox::reportReady, this, &EngineSession::TakeReports, Qt::QueuedConnection);
    connect(&outbox, &Outbox::errorEvent, this, &EngineSession::failed, Qt::QueuedConnection);
    connect(&outbox, &Outbox::runChanged, this, &EngineSession::runChanged, Qt::AutoConnection);
    connect(&outbox, &Outbox::simsChanged, this, [this] { emit simsChanged(); }, Qt::QueuedConnection);
    connect(&outbox, &Outbox::orderWithdrawn, this, &EngineSession::orderWithdrawn, Qt::QueuedConnection);
    // A status that comes in after a disconnect is of no interest any more.
    connect(&m_link, &ModemLink::statusChanged, this, [this](const ModemStatus &status) {
        if (m_link.IsConnected() && status.link != ModemStatus::Link::Down)
            emit modemStatus(status);
    }, Qt::QueuedConnection);
    connect(&m_link, &ModemLink::tried, this, &EngineSession::tried);
}

EngineSession::~EngineSession()
{
    // The workers must not outlive whoever takes their reports.
    Disconnect();
}

Outbox &EngineSession::Queue()
{
    return m_app.Queue();
}

void EngineSession::SetOrderCheckInterval(int ms)
{
    m_pOrderTimer->setInterval(ms);
}

void EngineSession::Connect()
{
    if (m_link.IsConnected())
        return;
    if (!m_bRestored) {
        // Before any worker can take a message: what an earlier run left goes first.
        int journalled = 0;
        m_nRestored = m_app.Queue().Restore(&journalled);
        m_nRestored += journalled;
        m_bRestored = true;
    }
    m_link.Begin(m_app.Devices());
    // Orders whose minute begins from now on start while the modems are still being reached.
    m_scheduler.Connected(m_clock());
    m_pOrderTimer->start();
}

ModemLink::Result EngineSession::ConnectAndWait()
{
    Connect();
    return m_link.WaitTried();
}

void EngineSession::Disconnect()
{
    m_pOrderTimer->stop();
    m_scheduler.Disconnected();
    m_link.Disconnect();
}

int EngineSession::CheckOrders(const QDateTime &now, bool ask, const OrderScheduler::Hooks &hooks)
{
    if (!m_link.IsConnected() || m_bHolding)
        return 0;
    m_bHolding = true;
    const int started = m_scheduler.Check(now, ask, m_app.Device().m_strSMSC, hooks);
    m_bHolding = false;
    TakeReports();
    return started;
}

void EngineSession::TakeReports()
{
    // One report a notification; those held while an order was being queued come all at once.
    while (!m_bHolding) {
        const std::optional<SmsReport> report = m_app.Queue().PopReport();
        if (!report)
            return;
        emit reported(*report);
        if (!m_app.Queue().HasReport())
            return;
    }
}
