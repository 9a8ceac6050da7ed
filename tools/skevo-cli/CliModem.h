#pragma once
// What the modem commands of skevo-cli share: their options, connecting with the device
// settings of setting.ini, one line per report, and a clean stop on SIGINT or SIGTERM.
#include "base/SmsRecord.h"
#include "modem/CSmsModem.h"

#include <QCommandLineParser>
#include <QSocketNotifier>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class CSkevoApp;
class ModemLink;

namespace CliModem {

struct ModemOptions
{
    QString device;
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
// Prints one line per report, taken in this thread (queued from the worker), in order.
void PrintReports(CSkevoApp &app);

// Sets the engine's waits from the options, then connects as the application does: the
// port of setting.ini (or --device, --baud), the handshake, the kept outbox, the worker.
// Connect to the engine's reports before: those of kept messages journalled failed come
// from this call. Returns 0 when connected, else the exit code after the message.
int Connect(CSkevoApp &app, ModemLink &link, const ModemOptions &o, int *restored = nullptr);
// The worker first, then the port; the queue stays kept.
void Disconnect(ModemLink &link);
// What a run found kept by an earlier one (restored), or leaves kept for the next one.
QString KeptText(int count, bool restored);
// Writes each change of the modem's readiness to stderr and keeps the last one in *last. A
// modem that waits for the operator (a SIM to put in, a PIN to give, the PUK) ends the event
// loop: nothing changes by itself, and a service restarted for it enters no refused PIN.
// changed: called at each change. Watched while context lives.
void WatchStatus(CSkevoApp &app, QObject *context, ModemReadiness *last, const std::function<void()> &changed = {});
// After the loop: for such a modem, its words as the last line (exit 1); false for any other.
bool TellOperatorNeeded(ModemReadiness last);

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
