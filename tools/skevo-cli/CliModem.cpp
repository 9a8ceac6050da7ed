// skevo-cli init-db / send / listen: the modem engine and the journal without the windows,
// configured by setting.ini in the working directory like the application.
#include "CliCommands.h"
#include "CliModem.h"

#include "app/CSkevoApp.h"
#include "app/EngineSession.h"
#include "app/LinkStatus.h"
#include "db/CDbAccess.h"
#include "db/Schema.h"
#include "outbox/Outbox.h"
#include "send/SendRun.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

QString Target(const DbSettings &s)
{
    if (s.m_driver == DbSettings::Sqlite)
        return QStringLiteral("sqlite ") + s.m_strSqliteFile;
    return QStringLiteral("postgres %1:%2/%3").arg(s.m_strHost).arg(s.m_nPort).arg(s.m_strData);
}

// SIGINT and SIGTERM end the event loop through a pipe, so the worker is stopped cleanly.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

} // namespace

namespace CliModem {

void PrintOut(const QString &line)
{
    PrintLine(stdout, line); // flushed: a reader sees each report as it happens
}

void PrintErr(const QString &line)
{
    PrintLine(stderr, line);
}

QString ReportLine(const SmsReport &r)
{
    if (r.m_kind == SmsReport::DeliveryChanged)
        return QStringList{r.m_strTime, r.m_strNumber, QStringLiteral("回执"), ReportText::Delivery(r.m_nDelivery)}
            .join(QLatin1Char('\t'));
    QStringList fields{r.m_strTime, r.m_strNumber, ReportText::Direction(r), ReportText::Result(r)};
    if (r.IsArrival())
        fields << OneLine(r.m_strContent);
    return fields.join(QLatin1Char('\t'));
}

SignalQuit::SignalQuit()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
        char c;
        while (::read(g_signalPipe[0], &c, 1) > 0) {
        }
        m_bInterrupted = true;
        QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

SignalQuit::~SignalQuit()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    m_notifier.reset();
    for (int &fd : g_signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void AddModemOptions(QCommandLineParser &p)
{
    p.addOption({QStringLiteral("device"),
                 QStringLiteral("Serial device or COMn of a modem, repeatable: the modems of this run "
                                "(default: SYSTEM/COM, MODEM2/COM, ... of setting.ini)."),
                 QStringLiteral("DEV")});
    p.addOption({QStringLiteral("baud"), QStringLiteral("Speed of every modem (default: each one's BaudRate)."),
                 QStringLiteral("B")});
    p.addOption({QStringLiteral("timeout-ms"), QStringLiteral("Wait for the answer after a PDU (default 60000)."),
                 QStringLiteral("MS")});
    p.addOption({QStringLiteral("prompt-ms"), QStringLiteral("Wait for the \"> \" prompt (default 5000)."),
                 QStringLiteral("MS")});
}

bool Parse(QCommandLineParser &p, const QString &command, const QStringList &args, QString *error)
{
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!p.parse(QStringList{QStringLiteral("skevo-cli ") + command} + args)) {
        *error = p.errorText();
        return false;
    }
    if (!p.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"").arg(p.positionalArguments().first());
        return false;
    }
    return true;
}

std::optional<int> PositiveInt(const QCommandLineParser &p, const QString &name, QString *error)
{
    if (!p.isSet(name))
        return 0;
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v <= 0) {
        *error = QStringLiteral("--%1 needs a positive number").arg(name);
        return std::nullopt;
    }
    return v;
}

std::optional<ModemOptions> ReadModemOptions(const QCommandLineParser &p, QString *error)
{
    ModemOptions o;
    o.devices = p.values(QStringLiteral("device"));
    const std::optional<int> baud = PositiveInt(p, QStringLiteral("baud"), error);
    const std::optional<int> final = baud ? PositiveInt(p, QStringLiteral("timeout-ms"), error) : std::nullopt;
    const std::optional<int> prompt = final ? PositiveInt(p, QStringLiteral("prompt-ms"), error) : std::nullopt;
    if (!prompt)
        return std::nullopt;
    o.baud = quint32(*baud);
    o.finalAnswerMs = *final;
    o.promptMs = *prompt;
    return o;
}

int Connect(EngineSession &session, const ModemOptions &o)
{
    ModemLink &link = session.Link();
    ModemTimeouts t = link.Timeouts();
    if (o.finalAnswerMs > 0)
        t.finalAnswerMs = o.finalAnswerMs;
    if (o.promptMs > 0)
        t.promptMs = o.promptMs;
    link.SetTimeouts(t);
    link.SetPortOverride(o.devices);
    link.SetBaudOverride(o.baud);
    const ModemLink::Result r = session.ConnectAndWait();
    const auto cause = [](const ModemLink::Failure &f) {
        if (!f.cause.isEmpty())
            PrintErr(QStringLiteral("原因: ") + f.cause);
    };
    if (r.m_failures.size() == 1 && !r.m_bOk) {
        PrintErr(LinkStatus::ConnectText(r));
        cause(r.m_failures.first());
    } else {
        // Each modem that did not connect, with the system's cause; the others work.
        for (const ModemLink::Failure &f : r.m_failures) {
            PrintErr(LinkStatus::FailureLine(f));
            cause(f);
        }
    }
    if (!r.m_bOk) {
        Disconnect(session);
        return 1;
    }
    if (!r.m_failures.isEmpty())
        PrintErr(LinkStatus::OthersConnectedText(r.m_nConnected));
    return 0;
}

bool Readiness::AllNeedOperator() const
{
    if (ports.isEmpty())
        return false;
    for (const QString &port : ports) {
        if (!ModemStatus::NeedsOperator(last.value(port, ModemReadiness::Starting)))
            return false;
    }
    return true;
}

ModemReadiness Readiness::FirstWaiting() const
{
    for (const QString &port : ports) {
        const ModemReadiness r = last.value(port, ModemReadiness::Starting);
        if (r != ModemReadiness::Ready)
            return r;
    }
    return ModemReadiness::Ready;
}

// Each worker gets a lost modem back by itself and waits for its network; the operator is
// told on stderr meanwhile. How a modem's first try went is Connect's to say.
void WatchStatus(EngineSession &session, QObject *context, Readiness *book, const std::function<void()> &changed)
{
    QObject::connect(&session, &EngineSession::modemStatus, context, [&session, book, changed](const ModemStatus &status) {
        book->ports = session.Link().PortNames();
        const ModemReadiness now = status.Readiness();
        const ModemReadiness before = book->last.value(status.port, ModemReadiness::NotConnected);
        const bool reaching = before == ModemReadiness::NotConnected || before == ModemReadiness::Connecting;
        const bool notYet = now == ModemReadiness::Connecting || now == ModemReadiness::PortMissing
            || now == ModemReadiness::PortUnavailable || now == ModemReadiness::NotAnswering;
        if (now == before || now == ModemReadiness::NotConnected || !book->ports.contains(status.port))
            return;
        if (reaching && notYet) {
            // Not reached yet: Connect named it; a later answer is the news.
            book->last.insert(status.port, now == ModemReadiness::Connecting ? now : ModemReadiness::NotAnswering);
            return;
        }
        book->last.insert(status.port, now);
        if (changed)
            changed();
        const bool pool = book->ports.size() > 1;
        if (book->AllNeedOperator()) {
            QCoreApplication::quit();
            return;
        }
        QString text = now == ModemReadiness::Ready ? LinkStatus::BackText(before) : LinkStatus::ReadinessText(now);
        if (!text.isEmpty())
            PrintErr(pool ? status.port + QStringLiteral(": ") + text : text);
    });
}

bool TellOperatorNeeded(const Readiness &book)
{
    if (!book.AllNeedOperator())
        return false;
    for (const QString &port : book.ports) {
        const QString text = LinkStatus::ReadinessText(book.last.value(port));
        PrintErr(book.ports.size() > 1 ? port + QStringLiteral(": ") + text : text);
    }
    return true;
}

QString KeptText(int count, bool restored)
{
    return restored ? QStringLiteral("上次运行留下的 %1 条短信已恢复到队列中").arg(count)
                    : QStringLiteral("%1 条短信留在队列中, 下次运行时发送").arg(count);
}

void Disconnect(EngineSession &session)
{
    // Joined before the port closes, so the worker never meets a closed descriptor.
    session.Disconnect();
    session.FlushReports();
}

std::optional<StayOptions> ParseStayOptions(const QString &command, const QStringList &args, QString *error)
{
    QCommandLineParser p;
    AddModemOptions(p);
    p.addOption({QStringLiteral("seconds"), QStringLiteral("Stop after this many seconds (default: until a signal)."),
                 QStringLiteral("S")});
    if (!Parse(p, command, args, error))
        return std::nullopt;
    const std::optional<ModemOptions> options = ReadModemOptions(p, error);
    if (!options)
        return std::nullopt;
    const std::optional<int> seconds = PositiveInt(p, QStringLiteral("seconds"), error);
    if (!seconds)
        return std::nullopt;
    return StayOptions{*options, *seconds};
}

void PrintReports(EngineSession &session)
{
    QObject::connect(&session, &EngineSession::reported, qApp, [](const SmsReport &r) { PrintOut(ReportLine(r)); });
    QObject::connect(&session, &EngineSession::failed, qApp,
                     [](const OutboxError &error) { PrintErr(LinkStatus::ErrorText(error)); });
}

} // namespace CliModem

using namespace CliModem;

int RunInitDb(const QStringList &args)
{
    QCommandLineParser p;
    QString error;
    if (!Parse(p, QStringLiteral("init-db"), args, &error))
        return CliFail(error);
    CSkevoApp app(CSkevoApp::DefaultSettingsPath());
    const DbSettings settings = app.ReadDbSettings();
    if (!CDbAccess::IsDriverAvailable(settings.m_driver)) {
        PrintErr(QStringLiteral("Qt SQL driver %1 is missing").arg(CDbAccess::QtDriverName(settings.m_driver)));
        return 1;
    }
    CDbAccess db(app.DbSettingsSource());
    db.SetErrorSink(PrintErr);
    // The first connection creates what is missing, the first administrator included.
    if (!db.Connect())
        return 1;
    RecordsetPtr rs = db.OpenRecordset(Sql::UserCountByName, {Schema::kFirstAdminName});
    int admins = 0;
    try {
        if (rs->IsOpen() && !rs->IsEOF())
            admins = rs->GetFieldText(QStringLiteral("NUM")).toInt();
    } catch (const CDbError &e) {
        PrintErr(e.Description());
        return 1;
    }
    PrintOut(QStringLiteral("database ready: ") + Target(settings));
    if (admins > 0)
        PrintOut(QStringLiteral("administrator: %1 (initial password: %2)").arg(Schema::kFirstAdminName,
                                                                                 Schema::kFirstAdminPassword));
    else
        PrintOut(QStringLiteral("T_USER holds other accounts; no first administrator was created"));
    return 0;
}

int RunSend(const QStringList &args)
{
    QCommandLineParser p;
    AddModemOptions(p);
    p.addOption({QStringLiteral("to"), QStringLiteral("Destination number (repeatable)."), QStringLiteral("NUMBER")});
    p.addOption({QStringLiteral("numbers"), QStringLiteral("Number file (\"start\" ... \"end\")."),
                 QStringLiteral("FILE")});
    p.addOption({QStringLiteral("text"), QStringLiteral("Message text."), QStringLiteral("TEXT")});
    p.addOption({QStringLiteral("skip-sent"),
                 QStringLiteral("Leave out the numbers this text already went to in the last run that sent it "
                                "(a list sent again after an interruption).")});
    p.addOption({QStringLiteral("timeout"),
                 QStringLiteral("Give up after this many seconds without a report (default 120); "
                                "what is not sent stays queued for the next run."),
                 QStringLiteral("SECONDS")});
    QString error;
    if (!Parse(p, QStringLiteral("send"), args, &error))
        return CliFail(error);
    const std::optional<ModemOptions> options = ReadModemOptions(p, &error);
    if (!options)
        return CliFail(error);
    const std::optional<int> timeout = PositiveInt(p, QStringLiteral("timeout"), &error);
    if (!timeout)
        return CliFail(error);
    const int timeoutSeconds = *timeout > 0 ? *timeout : 120;

    CSkevoApp app(CSkevoApp::DefaultSettingsPath());
    // The send button's checks, made before the modem is spoken to: a refusal sends nothing.
    SendRunPlan plan =
        SendRun::PlanUnattended(p.value(QStringLiteral("text")), p.values(QStringLiteral("to")),
                                p.value(QStringLiteral("numbers")), app.Device().m_strSMSC, SendRun::BookOf(app.Db()));
    for (const PanelMessage &m : plan.m_messages)
        PrintErr(m.m_strText);
    if (const std::optional<PanelMessage> skipped = SendRun::LeaveOptedOut(app.Db(), plan))
        PrintErr(skipped->m_strText);
    if (!plan.m_bQueue)
        return 2;
    if (p.isSet(QStringLiteral("skip-sent"))) {
        const QVector<int> sent = SendRun::SentInLastRun(app.Db(), plan);
        if (!sent.isEmpty()) {
            PrintErr(QStringLiteral("%1 个号码已发送过此内容, 只发送其余 %2 个").arg(sent.size()).arg(plan.m_records.size() - sent.size()));
            SendRun::Leave(plan, sent);
        }
    }

    SignalQuit signalQuit;
    int expected = -1; // sent reports to wait for, known once everything is queued
    int sendReports = 0;
    bool allSent = true;
    // A vanished or silent modem, or one without network, is waited for, but not for ever: a
    // run without a report or a change of the modem for timeoutSeconds ends, its messages kept
    // for the next one. The clock starts once the modem is set up and has said how it is.
    bool gaveUp = false;
    QTimer progress;
    progress.setSingleShot(true);
    progress.setInterval(std::chrono::seconds(timeoutSeconds));
    QObject::connect(&progress, &QTimer::timeout, qApp, [&] {
        gaveUp = true;
        QCoreApplication::quit();
    });
    EngineSession session(app);
    Readiness readiness;
    WatchStatus(session, &progress, &readiness, [&progress] { progress.start(); });
    QObject::connect(&session, &EngineSession::failed, qApp,
                     [](const OutboxError &error) { PrintErr(LinkStatus::ErrorText(error)); });
    // One call per report, in order.
    QObject::connect(&session, &EngineSession::reported, qApp, [&](const SmsReport &r) {
        progress.start();
        PrintOut(ReportLine(r));
        if (r.m_kind != SmsReport::Sent)
            return;
        ++sendReports;
        if (!r.IsSuccess())
            allSent = false;
        if (expected >= 0 && sendReports >= expected)
            QCoreApplication::quit();
    });

    // Every SIM at a limit (or in the quiet hours): said once, with when the first goes on.
    QString held;
    QObject::connect(&session, &EngineSession::simsChanged, qApp, [&] {
        const QString now = LinkStatus::HeldText(app.Queue().Sims(), app.Queue().HeldUntil());
        if (now != held && !now.isEmpty() && sendReports < expected)
            PrintErr(now);
        held = now;
    });

    // What an earlier run kept goes first; what it had in flight is reported failed now.
    if (const int rc = Connect(session, *options))
        return rc;
    readiness.ports = session.Link().PortNames();
    expected = session.Restored() + SendRun::Queue(app.Queue(), plan);
    if (sendReports < expected)
        QCoreApplication::exec();
    // Read before the modems leave the outbox.
    const QString heldAtEnd = LinkStatus::HeldText(app.Queue().Sims(), app.Queue().HeldUntil());
    // With the reports that came between the quit and the stop.
    Disconnect(session);
    const int kept = app.Queue().KeptCount();
    if (gaveUp && sendReports < expected) {
        QString cause = LinkStatus::CauseText(readiness.FirstWaiting());
        if (cause.isEmpty())
            cause = heldAtEnd;
        if (cause.isEmpty())
            cause = QStringLiteral("没有发送结果");
        PrintErr(QStringLiteral("已放弃: %1 秒没有进展 (%2)").arg(timeoutSeconds).arg(cause));
    }
    if (kept > 0)
        PrintErr(KeptText(kept, false));
    // The SIM's trouble is the run's last word: what the operator has to do.
    if (TellOperatorNeeded(readiness) || signalQuit.Interrupted() || (gaveUp && sendReports < expected))
        return 1;
    return allSent && sendReports >= expected ? 0 : 1;
}

int RunListen(const QStringList &args)
{
    QString error;
    const std::optional<StayOptions> options = ParseStayOptions(QStringLiteral("listen"), args, &error);
    if (!options)
        return CliFail(error);

    CSkevoApp app(CSkevoApp::DefaultSettingsPath());
    SignalQuit signalQuit;
    EngineSession session(app);
    Readiness readiness;
    QObject watch;
    WatchStatus(session, &watch, &readiness);
    PrintReports(session);
    if (const int rc = Connect(session, options->modem))
        return rc;
    readiness.ports = session.Link().PortNames();
    if (options->seconds > 0)
        QTimer::singleShot(qint64(options->seconds) * 1000, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    Disconnect(session);
    return TellOperatorNeeded(readiness) ? 1 : 0;
}
