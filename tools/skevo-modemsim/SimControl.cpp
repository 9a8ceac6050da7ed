#include "SimControl.h"

#include <algorithm>
#include <map>

namespace {

const char kUsage[] = R"(
Control commands on standard input, one a line; each is answered "ok ..." or "error: ...":
  deliver FROM TEXT           an arrival from FROM (+digits, digits or a short name),
                              7-bit when every character allows it, else UCS2; stored in
                              "SM" and announced with +CMTI (or +CMT with direct delivery)
  deliver-ucs2 FROM TEXT      the same, always UCS2
  deliver-8bit FROM TEXT      the same, 8-bit data (Latin-1)
  deliver-reversed FROM TEXT  a long text whose parts arrive last part first
  deliver-pdu HEX...          SMS-DELIVER PDUs as given
  store FROM TEXT             stored without announcement
  lose-coverage MS            not registered for MS milliseconds (sends refused with
                              +CMS ERROR: 331, +CREG: 2 then +CREG: 1 announced)
  set latency MS              delay before every answer
  set pace N                  at most N bytes a second to the line (960 is 9600 baud);
                              0: as fast as the client reads
  set late-ms MS              how late a late answer comes
  set cms-code N              the code of +CMS ERROR answers (500)
  set cms-error-to N[,N...]   +CMS ERROR for sends to these numbers; "off" clears
  set FAULT on|off|next N|every K
%1%2  set direct-delivery on|off
  set indications on|off      new-message indications (off: as AT+CNMI=0,0 until set)
  set status-reports none|delivered|failed|trying [MS]
                              the network's answer to a send that asks for a report, MS
                              later: stored and "+CDSI" or handed over with "+CDS", as
                              AT+CNMI <ds> says (trying: still trying, then delivered)
  set reports-direct-only on|off  AT+CNMI takes no <ds> 2: reports come as "+CDS"
  set pin PIN|off             the SIM waits for PIN (three wrong ones: its PUK)
  set sim absent|present
  set registration-delay MS   registered MS from now (or from the right PIN)
  set phone-storage on|off    a phone memory "ME" beside "SM"
  set arrival-storage SM|ME   where arrivals are stored
  set echo on|off
  set auto-reply on|off|every K|keyword WORD
  list                        the stored messages: index, stat, PDU
  submits                     the number of PDUs received, and the last one
  quit
)";

const QString kFaultUsage = QStringLiteral("on|off|next N|every K");

std::optional<SimControl::Fault> ParseFault(const QStringList &words)
{
    const QString how = words.value(0);
    bool ok = true;
    const int n = words.value(1).toInt(&ok);
    if (how == QLatin1String("on"))
        return SimControl::Fault::Always();
    if (how == QLatin1String("off"))
        return SimControl::Fault::Off();
    if (how == QLatin1String("next") && ok && n > 0)
        return SimControl::Fault::Next(n);
    if (how == QLatin1String("every") && ok && n > 0)
        return SimControl::Fault::Every(n);
    return std::nullopt;
}

std::optional<bool> OnOff(const QStringList &args)
{
    if (args.value(0) == QLatin1String("on"))
        return true;
    if (args.value(0) == QLatin1String("off"))
        return false;
    return std::nullopt;
}

std::optional<int> Number(const QStringList &args, int min)
{
    bool ok = false;
    const int n = args.value(0).toInt(&ok);
    return ok && n >= min ? std::optional<int>(n) : std::nullopt;
}

} // namespace

const std::vector<SimControl::Misbehaviour> &SimControl::Misbehaviours()
{
    static const std::vector<Misbehaviour> list = {
        {"cms-error", false, "N",
         "Answer sends with +CMS ERROR: N (all of them unless --cms-error-every or --cms-error-to narrows it).", nullptr,
         [](SimControl &c, Fault f, const QString &) {
             c.cmsFault = f;
             c.sim.SetCmsError(f, c.cmsCode);
         }},
        {"silent", false, nullptr, "Give no final answer after a PDU.", nullptr,
         [](SimControl &c, Fault f, const QString &) { c.sim.SetSilentAfterPdu(f); }},
        {"late", false, "MS", "Give the final answer after a PDU MS milliseconds late.", nullptr,
         [](SimControl &c, Fault f, const QString &) {
             c.lateFault = f;
             c.sim.SetLateAnswer(f, c.lateMs);
         }},
        {"split-prompt", false, nullptr, "Send the prompt as \"\\r\\n\", a pause, then \"> \".", nullptr,
         [](SimControl &c, Fault f, const QString &) { c.sim.SetSplitPrompt(f); }},
        {"swallow-notice", false, nullptr, "Store arrivals without announcing them.", nullptr,
         [](SimControl &c, Fault f, const QString &) { c.sim.SetSwallowNotice(f); }},
        {"garbage", false, nullptr, "Send stray bytes before answers.", nullptr,
         [](SimControl &c, Fault f, const QString &) { c.sim.SetGarbage(f); }},
        {"drop-line", false, nullptr, "Lose answers whole.", nullptr,
         [](SimControl &c, Fault f, const QString &) { c.sim.SetDropLine(f); }},
        {"refuse", true, "PREFIX",
         "Refuse commands beginning with PREFIX (e.g. AT+CMGD) with +CMS ERROR, without carrying them out.",
         "+CMS ERROR (of cms-code) for commands beginning with\nPREFIX (e.g. AT+CMGD), which are not carried out",
         [](SimControl &c, Fault f, const QString &prefix) { c.sim.SetRefuseCommand(prefix, f, c.cmsCode); }},
        {"lose-answer", true, "PREFIX", "Carry out commands beginning with PREFIX but lose their answer.",
         "commands beginning with PREFIX are carried out, their\nanswer is lost",
         [](SimControl &c, Fault f, const QString &prefix) { c.sim.SetLoseAnswerTo(prefix, f); }},
    };
    return list;
}

const SimControl::Misbehaviour *SimControl::FindMisbehaviour(const QString &name)
{
    for (const Misbehaviour &m : Misbehaviours())
        if (name == QLatin1String(m.name))
            return &m;
    return nullptr;
}

QString SimControl::Help()
{
    QStringList plain;
    QString prefixed;
    const QString indent(30, QLatin1Char(' '));
    for (const Misbehaviour &m : Misbehaviours()) {
        if (!m.prefixed) {
            plain.append(QLatin1String(m.name));
            continue;
        }
        prefixed += QStringLiteral("  set %1 PREFIX %2\n").arg(QLatin1String(m.name), kFaultUsage);
        for (const QString &line : QString::fromLatin1(m.commandHelp).split(QLatin1Char('\n')))
            prefixed += indent + line + QLatin1Char('\n');
    }
    // The names, wrapped as the lines around them are.
    QString faults;
    QString line = QStringLiteral("FAULT:");
    for (qsizetype i = 0; i < plain.size(); ++i) {
        const QString word = plain[i] + (i + 1 < plain.size() ? QStringLiteral(",") : QString());
        if (line.size() + 1 + word.size() > 58) {
            faults += indent + line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    faults += indent + line + QLatin1Char('\n');
    return QString::fromLatin1(kUsage).arg(faults, prefixed);
}

SimControl::SimControl(ModemSimulator &simulator, std::function<void(const QString &)> reply)
    : sim(simulator), m_reply(std::move(reply))
{
}

void SimControl::SetMisbehaviour(const Misbehaviour &m, Fault when, const QString &prefix)
{
    m.apply(*this, when, prefix);
}

bool SimControl::Handle(const QString &input)
{
    const QString line = input.trimmed();
    if (line.isEmpty())
        return true;
    const QString cmd = line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    const QString rest = line.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
    using Handler = std::function<void(SimControl &, const QString &cmd, const QString &rest)>;
    static const std::map<QString, Handler> commands = {
        {QStringLiteral("deliver"), &SimControl::Deliver},
        {QStringLiteral("deliver-ucs2"), &SimControl::Deliver},
        {QStringLiteral("deliver-8bit"), &SimControl::Deliver},
        {QStringLiteral("deliver-reversed"), &SimControl::Deliver},
        {QStringLiteral("deliver-pdu"), &SimControl::Deliver},
        {QStringLiteral("store"), &SimControl::Deliver},
        {QStringLiteral("set"),
         [](SimControl &c, const QString &, const QString &r) { c.Set(r.split(QLatin1Char(' '), Qt::SkipEmptyParts)); }},
        {QStringLiteral("list"), [](SimControl &c, const QString &, const QString &) { c.List(); }},
        {QStringLiteral("submits"), [](SimControl &c, const QString &, const QString &) { c.Submits(); }},
        {QStringLiteral("lose-coverage"),
         [](SimControl &c, const QString &, const QString &r) {
             bool ok = false;
             const int ms = r.trimmed().toInt(&ok);
             if (!ok || ms < 0) {
                 c.m_reply(QStringLiteral("error: lose-coverage MS"));
                 return;
             }
             c.sim.LoseCoverage(ms);
             c.m_reply(QStringLiteral("ok"));
         }},
        {QStringLiteral("help"), [](SimControl &c, const QString &, const QString &) { c.m_reply(Help().trimmed()); }},
    };
    if (cmd == QLatin1String("quit"))
        return false;
    const auto it = commands.find(cmd);
    if (it == commands.end())
        m_reply(QStringLiteral("error: unknown command \"%1\"").arg(cmd));
    else
        it->second(*this, cmd, rest);
    return true;
}

void SimControl::Deliver(const QString &cmd, const QString &rest)
{
    ModemSimulator::Arrival a;
    if (cmd == QLatin1String("deliver-pdu")) {
        a = sim.InjectPdus(rest.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    } else {
        DeliverSpec spec;
        spec.from = rest.section(QLatin1Char(' '), 0, 0);
        spec.text = rest.section(QLatin1Char(' '), 1);
        if (cmd == QLatin1String("deliver-ucs2"))
            spec.alphabet = Pdu::Alphabet::Ucs2;
        else if (cmd == QLatin1String("deliver-8bit"))
            spec.alphabet = Pdu::Alphabet::EightBit;
        if (spec.from.isEmpty()) {
            m_reply(QStringLiteral("error: %1 FROM TEXT").arg(cmd));
            return;
        }
        if (cmd == QLatin1String("store")) {
            a = sim.StoreArrival(spec);
        } else if (cmd == QLatin1String("deliver-reversed")) {
            const DeliverBuilder::Result built = DeliverBuilder::Build(spec);
            if (!built.ok) {
                a.error = built.error;
            } else {
                QStringList parts = built.parts;
                std::reverse(parts.begin(), parts.end());
                a = sim.InjectPdus(parts);
            }
        } else {
            a = sim.InjectArrival(spec);
        }
    }
    if (!a.ok) {
        m_reply(QStringLiteral("error: %1").arg(a.error));
        return;
    }
    QStringList where;
    for (int i : a.indexes)
        where.append(QString::number(i));
    m_reply(QStringLiteral("ok %1 part(s)%2")
                .arg(a.pdus.size())
                .arg(where.isEmpty() ? QString() : QStringLiteral(" at ") + where.join(QLatin1Char(','))));
}

void SimControl::Set(const QStringList &words)
{
    const QString name = words.value(0);
    const QString wrong = SetValue(name, words.mid(1));
    if (wrong.isNull())
        m_reply(QStringLiteral("ok"));
    else if (wrong.isEmpty())
        m_reply(QStringLiteral("error: nothing to set called \"%1\"").arg(name));
    else
        m_reply(QStringLiteral("error: set %1").arg(wrong));
}

// Null when done, "" for an unknown name, else the usage of the setting.
QString SimControl::SetValue(const QString &name, const QStringList &args)
{
    if (const Misbehaviour *m = FindMisbehaviour(name)) {
        const std::optional<Fault> f = m->prefixed ? (args.isEmpty() ? std::nullopt : ParseFault(args.mid(1)))
                                                   : ParseFault(args);
        if (!f)
            return name + (m->prefixed ? QStringLiteral(" PREFIX ") : QStringLiteral(" ")) + kFaultUsage;
        SetMisbehaviour(*m, *f, args.value(0));
        return QString();
    }
    using Setter = QString (*)(SimControl &, const QStringList &);
    static const std::map<QString, Setter> settings = {
        {QStringLiteral("latency"), [](SimControl &c, const QStringList &a) {
             const auto n = Number(a, 0);
             return n ? (c.sim.SetLatency(*n), QString()) : QStringLiteral("latency MS");
         }},
        {QStringLiteral("pace"), [](SimControl &c, const QStringList &a) {
             const auto n = Number(a, 0);
             return n ? (c.sim.SetPace(*n), QString()) : QStringLiteral("pace N");
         }},
        {QStringLiteral("late-ms"), [](SimControl &c, const QStringList &a) {
             const auto n = Number(a, 0);
             if (!n)
                 return QStringLiteral("late-ms MS");
             c.lateMs = *n;
             if (c.lateFault)
                 c.sim.SetLateAnswer(*c.lateFault, c.lateMs);
             return QString();
         }},
        {QStringLiteral("cms-code"), [](SimControl &c, const QStringList &a) {
             const auto n = Number(a, 0);
             if (!n)
                 return QStringLiteral("cms-code N");
             c.cmsCode = *n;
             c.sim.SetCmsError(c.cmsFault, c.cmsCode);
             return QString();
         }},
        {QStringLiteral("cms-error-to"), [](SimControl &c, const QStringList &a) {
             const bool off = a.value(0) == QLatin1String("off");
             c.sim.SetCmsErrorTo(off ? QStringList() : a.value(0).split(QLatin1Char(','), Qt::SkipEmptyParts), c.cmsCode);
             return QString();
         }},
        {QStringLiteral("direct-delivery"), [](SimControl &c, const QStringList &a) {
             const auto on = OnOff(a);
             return on ? (c.sim.SetDirectDelivery(*on), QString()) : QStringLiteral("direct-delivery on|off");
         }},
        {QStringLiteral("indications"), [](SimControl &c, const QStringList &a) {
             const auto on = OnOff(a);
             return on ? (c.sim.SetIndications(*on), QString()) : QStringLiteral("indications on|off");
         }},
        {QStringLiteral("status-reports"), [](SimControl &c, const QStringList &a) {
             using R = ModemSimulator::Reports;
             static const std::map<QString, R> kinds{{QStringLiteral("none"), R::None},
                                                     {QStringLiteral("delivered"), R::Delivered},
                                                     {QStringLiteral("failed"), R::Failed},
                                                     {QStringLiteral("trying"), R::TryingThenDelivered}};
             const auto kind = kinds.find(a.value(0));
             const auto ms = a.size() > 1 ? Number(a.mid(1), 0) : std::optional<int>(0);
             if (kind == kinds.end() || !ms)
                 return QStringLiteral("status-reports none|delivered|failed|trying [MS]");
             c.sim.SetStatusReports(kind->second, *ms);
             return QString();
         }},
        {QStringLiteral("reports-direct-only"), [](SimControl &c, const QStringList &a) {
             const auto on = OnOff(a);
             return on ? (c.sim.SetReportsDirectOnly(*on), QString()) : QStringLiteral("reports-direct-only on|off");
         }},
        {QStringLiteral("pin"), [](SimControl &c, const QStringList &a) {
             if (a.isEmpty())
                 return QStringLiteral("pin PIN|off");
             c.sim.SetSimPin(a.value(0) == QLatin1String("off") ? QString() : a.value(0));
             return QString();
         }},
        {QStringLiteral("sim"), [](SimControl &c, const QStringList &a) {
             if (a.value(0) != QLatin1String("absent") && a.value(0) != QLatin1String("present"))
                 return QStringLiteral("sim absent|present");
             c.sim.SetSimAbsent(a.value(0) == QLatin1String("absent"));
             return QString();
         }},
        {QStringLiteral("registration-delay"), [](SimControl &c, const QStringList &a) {
             const auto n = Number(a, 0);
             return n ? (c.sim.SetRegistrationDelay(*n), QString()) : QStringLiteral("registration-delay MS");
         }},
        {QStringLiteral("phone-storage"), [](SimControl &c, const QStringList &a) {
             const auto on = OnOff(a);
             return on ? (c.sim.SetPhoneStorage(*on), QString()) : QStringLiteral("phone-storage on|off");
         }},
        {QStringLiteral("arrival-storage"), [](SimControl &c, const QStringList &a) {
             return c.sim.SetArrivalStorage(a.value(0)) ? QString() : QStringLiteral("arrival-storage SM|ME (ME with phone-storage on)");
         }},
        {QStringLiteral("echo"), [](SimControl &c, const QStringList &a) {
             const auto on = OnOff(a);
             return on ? (c.sim.SetEcho(*on), QString()) : QStringLiteral("echo on|off");
         }},
        {QStringLiteral("auto-reply"), [](SimControl &c, const QStringList &a) {
             ModemSimulator::AutoReply r;
             const auto on = OnOff(a);
             r.enabled = on.value_or(true);
             if (a.value(0) == QLatin1String("every") && a.value(1).toInt() > 0)
                 r.every = a.value(1).toInt();
             else if (a.value(0) == QLatin1String("keyword") && a.size() > 1)
                 r.keyword = a.mid(1).join(QLatin1Char(' '));
             else if (!on)
                 return QStringLiteral("auto-reply on|off|every K|keyword WORD");
             c.sim.SetAutoReply(r);
             return QString();
         }},
    };
    const auto it = settings.find(name);
    return it == settings.end() ? QStringLiteral("") : it->second(*this, args);
}

void SimControl::List()
{
    const auto stored = sim.Storage();
    for (const auto &m : stored)
        m_reply(QStringLiteral("%1 %2 %3").arg(m.index).arg(m.stat).arg(m.pdu));
    m_reply(QStringLiteral("ok %1 stored").arg(stored.size()));
}

void SimControl::Submits()
{
    const auto all = sim.Submits();
    if (!all.isEmpty()) {
        const auto &s = all.constLast();
        m_reply(QStringLiteral("%1 \"%2\" %3").arg(s.message.number, s.message.text, s.answer));
    }
    m_reply(QStringLiteral("ok %1 received").arg(all.size()));
}
