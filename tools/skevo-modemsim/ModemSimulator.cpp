#include "ModemSimulator.h"

#include <QCoreApplication>
#include <atomic>

#include "AtCommandTable.h"
#include "AutoResponder.h"
#include "LineFramer.h"
#include "MessageStore.h"
#include "Misbehaviours.h"
#include "ModemDialogue.h"
#include "PseudoTerminal.h"
#include "RadioState.h"
#include "SimulatorLog.h"

#include <mutex>
#include <utility>

namespace {

using Kind = Misbehaviours::Kind;

// Text that crosses between the modem's thread and a caller's gets data of its own: an
// implicitly shared copy would leave the two threads one buffer to count and free.
QString Own(const QString &s)
{
    return s.isNull() ? QString() : QString(s.constData(), s.size());
}

QByteArray Own(const QByteArray &b)
{
    return b.isNull() ? QByteArray() : QByteArray(b.constData(), b.size());
}

QStringList Own(const QStringList &list)
{
    QStringList out;
    out.reserve(list.size());
    for (const QString &s : list)
        out.append(Own(s));
    return out;
}

Pdu::Decoded Own(const Pdu::Decoded &m)
{
    Pdu::Decoded out = m;
    out.smsc = Own(m.smsc);
    out.number = Own(m.number);
    out.scts = Own(m.scts);
    if (m.udh)
        out.udh = Own(*m.udh);
    out.text = Own(m.text);
    out.rawUserData = Own(m.rawUserData);
    return out;
}

} // namespace

// The parts of the modem, wired together. One mutex guards them all: the line's thread
// holds it while it feeds what arrives through them, a caller while it asks or sets.
struct ModemSimulator::Private
{
    std::mutex mutex;
    QString error;
    SimulatorLog log;
    Storages storages;
    RadioState radio;
    Misbehaviours faults;
    AutoResponder autoResponder;
    bool keepsPrompt = false; // SetEscAloneOnly: a client that lets go leaves the prompt open
    PseudoTerminal line {mutex, {[this](const char *data, qsizetype size) { framer.Feed(data, size); },
                                 [this] {
                                     if (!keepsPrompt)
                                         framer.Reset();
                                 }}};
    // After each line and each PDU, what is due leaves before the echo of what follows, as
    // a modem answers before it echoes the next command.
    LineFramer framer {{[this](const QByteArray &bytes) { line.Send(bytes); },
                        [this](const QByteArray &text, bool overflow) {
                            dialogue.CommandLine(text, overflow);
                            line.RunDue();
                        },
                        [this](const QByteArray &pduText) {
                            dialogue.PduSent(pduText);
                            line.RunDue();
                        },
                        [this] {
                            dialogue.PduCancelled();
                            line.RunDue();
                        }}};
    AtCommandTable commands {{framer, storages, radio, dialogue.indications, [this](int length) { dialogue.Prompt(length); },
                              [this] { dialogue.RadioChanged(); }}};
    ModemDialogue dialogue {line, framer, commands, storages, radio, faults, log, autoResponder};
};

ModemSimulator::ModemSimulator() : d(std::make_unique<Private>())
{
    // A SIM of its own for every simulated modem of every process: a test or a pool of many
    // never sees two modems with one SIM unless it moves one.
    static std::atomic<int> serial{0};
    const qint64 n = (qint64(QCoreApplication::applicationPid()) % 100000) * 10000 + (++serial % 10000);
    d->radio.imsi = QStringLiteral("46000%1").arg(n, 10, 10, QLatin1Char('0'));
    d->radio.iccid = QStringLiteral("8986000%1").arg(n, 13, 10, QLatin1Char('0'));
}

ModemSimulator::~ModemSimulator() { Stop(); }

bool ModemSimulator::Start()
{
    std::unique_lock lock(d->mutex);
    if (d->line.IsOpen())
        return true;
    d->error.clear();
    return d->line.Open(d->error);
}

void ModemSimulator::Stop()
{
    std::unique_lock lock(d->mutex);
    d->line.Close(lock);
    d->framer.Reset();
}

bool ModemSimulator::IsRunning() const
{
    std::unique_lock lock(d->mutex);
    return d->line.IsOpen();
}

QString ModemSimulator::ErrorString() const
{
    std::unique_lock lock(d->mutex);
    return Own(d->error);
}

QString ModemSimulator::DevicePath() const
{
    std::unique_lock lock(d->mutex);
    return Own(d->line.DevicePath());
}

bool ModemSimulator::MakeLink(const QString &linkPath)
{
    std::unique_lock lock(d->mutex);
    return d->line.MakeLink(linkPath, d->error);
}

void ModemSimulator::SetEcho(bool on)
{
    std::unique_lock lock(d->mutex);
    d->framer.echo = on;
}

void ModemSimulator::SetEscAloneOnly(bool on)
{
    std::unique_lock lock(d->mutex);
    d->framer.escAloneOnly = on;
    d->keepsPrompt = on;
}

bool ModemSimulator::Echo() const
{
    std::unique_lock lock(d->mutex);
    return d->framer.echo;
}

void ModemSimulator::SetCapacity(int count)
{
    std::unique_lock lock(d->mutex);
    d->storages.sm.SetCapacity(count);
    d->storages.me.SetCapacity(count);
}

int ModemSimulator::Capacity() const
{
    std::unique_lock lock(d->mutex);
    return d->storages.sm.Capacity();
}

void ModemSimulator::SetDirectDelivery(bool on)
{
    std::unique_lock lock(d->mutex);
    d->dialogue.indications.mt = on ? 2 : 1;
    d->dialogue.indications.directOnly = on;
}

void ModemSimulator::SetIndications(bool on)
{
    std::unique_lock lock(d->mutex);
    d->dialogue.indications.mt = !on ? 0 : d->dialogue.indications.directOnly ? 2 : 1;
}

void ModemSimulator::SetPhoneStorage(bool on)
{
    std::unique_lock lock(d->mutex);
    d->storages.phone = on;
    if (!on)
        d->storages.selected = d->storages.arrivals = "SM";
}

bool ModemSimulator::SetArrivalStorage(const QString &memory)
{
    std::unique_lock lock(d->mutex);
    const QByteArray name = memory.toLatin1().toUpper();
    if (!d->storages.Find(name))
        return false;
    d->storages.arrivals = name;
    return true;
}

void ModemSimulator::SetSimPin(const QString &pin)
{
    std::unique_lock lock(d->mutex);
    d->radio.SetPin(Own(pin));
    d->dialogue.RadioChanged();
}

void ModemSimulator::SetSim(const QString &imsi, const QString &iccid)
{
    std::unique_lock lock(d->mutex);
    d->radio.imsi = Own(imsi);
    d->radio.iccid = Own(iccid);
}

QString ModemSimulator::Imsi() const
{
    std::unique_lock lock(d->mutex);
    return Own(d->radio.imsi);
}

void ModemSimulator::SetSimAbsent(bool absent)
{
    std::unique_lock lock(d->mutex);
    d->radio.SetAbsent(absent);
    d->dialogue.RadioChanged();
}

void ModemSimulator::SetRegistrationDelay(int ms)
{
    std::unique_lock lock(d->mutex);
    d->radio.SetRegistrationDelay(ms);
    d->dialogue.RadioChanged();
}

void ModemSimulator::LoseCoverage(int ms)
{
    std::unique_lock lock(d->mutex);
    d->radio.LoseCoverage(ms);
    d->dialogue.RadioChanged();
}

void ModemSimulator::SetPace(int bytesPerSecond)
{
    std::unique_lock lock(d->mutex);
    d->line.SetPace(bytesPerSecond);
}

void ModemSimulator::SetLatency(int ms)
{
    std::unique_lock lock(d->mutex);
    d->faults.latencyMs = qMax(ms, 0);
}

void ModemSimulator::SetCmsError(Fault when, int code)
{
    std::unique_lock lock(d->mutex);
    d->faults.Set(Kind::CmsError, when);
    d->faults.cmsCode = code;
}

void ModemSimulator::SetStatusReports(Reports what, int delayMs)
{
    std::unique_lock lock(d->mutex);
    d->dialogue.reports = what;
    d->dialogue.reportDelayMs = delayMs;
}

void ModemSimulator::SetStatusReportsTo(const QStringList &numbers, Reports what)
{
    std::unique_lock lock(d->mutex);
    for (const QString &n : numbers)
        d->dialogue.reportsTo.append({Own(Misbehaviours::Digits(n.trimmed())), what});
}

void ModemSimulator::SetReportsDirectOnly(bool on)
{
    std::unique_lock lock(d->mutex);
    d->dialogue.indications.reportsDirectOnly = on;
}

void ModemSimulator::HoldStatusReports(bool on)
{
    std::unique_lock lock(d->mutex);
    d->dialogue.holdReports = on;
}

int ModemSimulator::ReleaseStatusReports()
{
    std::unique_lock lock(d->mutex);
    const auto held = std::exchange(d->dialogue.heldReports, {});
    for (const auto &r : held)
        d->dialogue.DeliverReport(r.reference, r.recipient, r.status, r.submitted);
    return int(held.size());
}

void ModemSimulator::SetCmsErrorTo(const QStringList &numbers, int code)
{
    std::unique_lock lock(d->mutex);
    d->faults.cmsTo.clear();
    for (const QString &n : numbers)
        d->faults.cmsTo.append(Own(Misbehaviours::Digits(n.trimmed())));
    d->faults.cmsToCode = code;
}

void ModemSimulator::SetSilentAfterPdu(Fault when)
{
    std::unique_lock lock(d->mutex);
    d->faults.Set(Kind::Silent, when);
}

void ModemSimulator::SetLateAnswer(Fault when, int delayMs)
{
    std::unique_lock lock(d->mutex);
    d->faults.Set(Kind::Late, when);
    d->faults.lateMs = qMax(delayMs, 0);
}

void ModemSimulator::SetSplitPrompt(Fault when, int pauseMs)
{
    std::unique_lock lock(d->mutex);
    d->faults.Set(Kind::SplitPrompt, when);
    d->faults.splitPauseMs = qMax(pauseMs, 0);
}

void ModemSimulator::SetSwallowNotice(Fault when)
{
    std::unique_lock lock(d->mutex);
    d->faults.Set(Kind::SwallowNotice, when);
}

void ModemSimulator::SetGarbage(Fault when, const QByteArray &bytes)
{
    std::unique_lock lock(d->mutex);
    d->faults.Set(Kind::Garbage, when);
    d->faults.garbageBytes = Own(bytes);
}

void ModemSimulator::SetDropLine(Fault when)
{
    std::unique_lock lock(d->mutex);
    d->faults.Set(Kind::DropLine, when);
}

void ModemSimulator::SetRefuseCommand(const QString &prefix, Fault when, int code)
{
    std::unique_lock lock(d->mutex);
    d->faults.refusePrefix = prefix.trimmed().toUpper().toLatin1();
    d->faults.Set(Kind::Refuse, when);
    d->faults.refuseCode = code;
}

void ModemSimulator::SetLoseAnswerTo(const QString &prefix, Fault when)
{
    std::unique_lock lock(d->mutex);
    d->faults.losePrefix = prefix.trimmed().toUpper().toLatin1();
    d->faults.Set(Kind::LoseAnswer, when);
}

void ModemSimulator::SetAutoReply(const AutoReply &reply)
{
    std::unique_lock lock(d->mutex);
    AutoReply own = reply;
    own.keyword = Own(reply.keyword);
    own.text = Own(reply.text);
    d->autoResponder.Set(own);
}

ModemSimulator::Arrival ModemSimulator::InjectArrival(const DeliverSpec &spec)
{
    const DeliverBuilder::Result built = DeliverBuilder::Build(spec);
    if (!built.ok) {
        Arrival a;
        a.error = built.error;
        return a;
    }
    return InjectPdus(built.parts);
}

ModemSimulator::Arrival ModemSimulator::InjectPdus(const QStringList &pdus)
{
    std::unique_lock lock(d->mutex);
    return d->dialogue.Deliver(pdus, true);
}

ModemSimulator::Arrival ModemSimulator::StoreArrival(const DeliverSpec &spec)
{
    const DeliverBuilder::Result built = DeliverBuilder::Build(spec);
    if (!built.ok) {
        Arrival a;
        a.error = built.error;
        return a;
    }
    return StorePdus(built.parts);
}

ModemSimulator::Arrival ModemSimulator::StorePdus(const QStringList &pdus)
{
    std::unique_lock lock(d->mutex);
    return d->dialogue.Deliver(pdus, false);
}

void ModemSimulator::SendUnsolicited(const QByteArray &bytes)
{
    std::unique_lock lock(d->mutex);
    d->dialogue.Notice(Own(bytes));
}

// What the log holds is copied whole under the lock: the modem's thread goes on appending
// to (and reallocating) its own lists while the caller reads the copy.
QVector<ModemSimulator::Submit> ModemSimulator::Submits() const
{
    std::unique_lock lock(d->mutex);
    QVector<Submit> out;
    out.reserve(d->log.Submits().size());
    for (const Submit &s : d->log.Submits()) {
        Submit c = s;
        c.pdu = Own(s.pdu);
        c.error = Own(s.error);
        c.answer = Own(s.answer);
        c.message = Own(s.message);
        out.append(std::move(c));
    }
    return out;
}

int ModemSimulator::SubmitCount() const
{
    std::unique_lock lock(d->mutex);
    return int(d->log.Submits().size());
}

QStringList ModemSimulator::Commands() const
{
    std::unique_lock lock(d->mutex);
    return Own(d->log.Commands());
}

QVector<ModemSimulator::Stored> ModemSimulator::Storage() const
{
    std::unique_lock lock(d->mutex);
    QVector<Stored> held;
    for (const Stored &m : d->storages.sm.Held())
        held.append(Stored {m.index, m.stat, Own(m.pdu), QStringLiteral("SM")});
    for (const Stored &m : d->storages.me.Held())
        held.append(Stored {m.index, m.stat, Own(m.pdu), QStringLiteral("ME")});
    return held;
}

void ModemSimulator::ClearLog()
{
    std::unique_lock lock(d->mutex);
    d->log.Clear();
}

bool ModemSimulator::SetLogFile(const QString &path)
{
    std::unique_lock lock(d->mutex);
    return d->log.SetFile(path, d->error);
}
