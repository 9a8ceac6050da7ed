#pragma once
// What the modem commands of skevo-cli share: their options, connecting the modems of
// setting.ini (or those given with --device), one line per report, and a clean stop on SIGINT
// or SIGTERM.
#include "base/SmsRecord.h"
#include "modem/ModemStatus.h"

#include <QCommandLineParser>
#include <QMap>
#include <QSocketNotifier>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class EngineSession;

namespace CliModem {

struct ModemOptions
{
    QStringList devices; // --device, repeatable: the modems of this run; none: the configured list
    quint32 baud = 0;
    int finalAnswerMs = 0;
    int promptMs = 0;
};

// One line, flushed at once, so that a reader sees each as it happens.
void PrintOut(const QString &line);
void PrintErr(const QString &line);
// time, number, direction, result; an arrival adds its text.
QString ReportLine(const SmsReport &r);

void AddModemOptions(QCommandLineParser &p);
bool Parse(QCommandLineParser &p, const QString &command, const QStringList &args, QString *error);
// 0 when the option is not given.
std::optional<int> PositiveInt(const QCommandLineParser &p, const QString &name, QString *error);
std::optional<ModemOptions> ReadModemOptions(const QCommandLineParser &p, QString *error);

// The options of a command that stays connected (listen, serve): the modem's, and
// --seconds S (0: until a signal).
struct StayOptions
{
    ModemOptions modem;
    int seconds = 0;
};
std::optional<StayOptions> ParseStayOptions(const QString &command, const QStringList &args, QString *error);
// Prints one line per report, in order, and the queue's complaints on stderr.
void PrintReports(EngineSession &session);

// Sets the ports' waits from the options, then connects as the application does: the modems
// of setting.ini (or --device, --baud) side by side, the kept outbox, the workers, and waits
// for each modem's first try. A modem that does not answer is named with the reason and tried
// again meanwhile; the others work. Connect to the session's reports before: those of kept
// messages journalled failed come from this call. Returns 0 when at least one modem
// answered, else the exit code after the messages (and the session is disconnected).
int Connect(EngineSession &session, const ModemOptions &o);
// Every worker first, then the ports; the queue stays kept. The reports still waiting are
// handed on.
void Disconnect(EngineSession &session);
// What a run found kept by an earlier one (restored), or leaves kept for the next one.
QString KeptText(int count, bool restored);
// The readiness of each modem of the run, as its status last said.
struct Readiness
{
    QStringList ports;                   // the connected modems, in order
    QMap<QString, ModemReadiness> last;  // by port; missing: not told yet
    // Every modem waits for the operator (a SIM to put in, a PIN to give, the PUK).
    bool AllNeedOperator() const;
    // What the first modem that cannot send waits for; Ready when every one can.
    ModemReadiness FirstWaiting() const;
};
// Writes each change of a modem's readiness to stderr (with its port when there are several)
// and keeps it in *book. Once every modem waits for the operator, the event loop ends:
// nothing changes by itself, and a service restarted for it enters no refused PIN; a pool
// works on with the modems that can send. changed: called at each change. Watched while
// context lives.
void WatchStatus(EngineSession &session, QObject *context, Readiness *book, const std::function<void()> &changed = {});
// After the loop: when every modem waits for the operator, their words as the last lines
// (exit 1); false otherwise.
bool TellOperatorNeeded(const Readiness &book);

// While it lives, SIGINT and SIGTERM end the event loop.
class SignalQuit
{
public:
    SignalQuit();
    ~SignalQuit();
    bool Interrupted() const { return m_bInterrupted; }

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_bInterrupted = false;
};

} // namespace CliModem
