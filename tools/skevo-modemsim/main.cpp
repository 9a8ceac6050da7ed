// skevo-modemsim: a simulated GSM modem on a pseudo-terminal, for tests and the demo.
#include "ModemSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <optional>
#include <cstdio>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

const char kControlHelp[] = R"(
Runs until killed, or until "quit" or the end of standard input (with --stay it keeps
running when standard input ends). The device path is the first line on standard output.

Control commands on standard input, one a line; each is answered "ok ..." or "error: ...":
  deliver FROM TEXT           an arrival from FROM (+digits, digits or a short name),
                              7-bit when every character allows it, else UCS2; stored in
                              "SM" and announced with +CMTI (or +CMT with direct delivery)
  deliver-ucs2 FROM TEXT      the same, always UCS2
  deliver-8bit FROM TEXT      the same, 8-bit data (Latin-1)
  deliver-reversed FROM TEXT  a long text whose parts arrive last part first
  deliver-pdu HEX...          SMS-DELIVER PDUs as given
  store FROM TEXT             stored without announcement
  set latency MS              delay before every answer
  set pace N                  at most N bytes a second to the line (960 is 9600 baud);
                              0: as fast as the client reads
  set late-ms MS              how late a late answer comes
  set cms-code N              the code of +CMS ERROR answers (500)
  set cms-error-to N[,N...]   +CMS ERROR for sends to these numbers; "off" clears
  set FAULT on|off|next N|every K
                              FAULT: cms-error, silent, late, split-prompt,
                              swallow-notice, garbage, drop-line
  set refuse PREFIX on|off|next N|every K
                              +CMS ERROR (of cms-code) for commands beginning with
                              PREFIX (e.g. AT+CMGD), which are not carried out
  set lose-answer PREFIX on|off|next N|every K
                              commands beginning with PREFIX are carried out, their
                              answer is lost
  set direct-delivery on|off
  set echo on|off
  set auto-reply on|off|every K|keyword WORD
  list                        the stored messages: index, stat, PDU
  submits                     the number of PDUs received, and the last one
  quit
)";

void Reply(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::optional<ModemSimulator::Fault> ParseFault(const QStringList &words, QString &error)
{
    const QString how = words.value(0);
    bool ok = true;
    const int n = words.value(1).toInt(&ok);
    if (how == QLatin1String("on"))
        return ModemSimulator::Fault::Always();
    if (how == QLatin1String("off"))
        return ModemSimulator::Fault::Off();
    if (how == QLatin1String("next") && ok && n > 0)
        return ModemSimulator::Fault::Next(n);
    if (how == QLatin1String("every") && ok && n > 0)
        return ModemSimulator::Fault::Every(n);
    error = QStringLiteral("expected on, off, next N or every K");
    return std::nullopt;
}

class Control
{
public:
    explicit Control(ModemSimulator &sim) : m_sim(sim) {}

    // False for "quit".
    bool Handle(const QString &input)
    {
        const QString line = input.trimmed();
        if (line.isEmpty())
            return true;
        const QString cmd = line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
        const QString rest = line.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
        if (cmd == QLatin1String("quit"))
            return false;
        if (cmd.startsWith(QLatin1String("deliver")) || cmd == QLatin1String("store"))
            Deliver(cmd, rest);
        else if (cmd == QLatin1String("set"))
            Set(rest.split(QLatin1Char(' '), Qt::SkipEmptyParts));
        else if (cmd == QLatin1String("list"))
            List();
        else if (cmd == QLatin1String("submits"))
            Submits();
        else if (cmd == QLatin1String("help"))
            Reply(QString::fromLatin1(kControlHelp).trimmed());
        else
            Reply(QStringLiteral("error: unknown command \"%1\"").arg(cmd));
        return true;
    }

private:
    void Deliver(const QString &cmd, const QString &rest)
    {
        ModemSimulator::Arrival a;
        if (cmd == QLatin1String("deliver-pdu")) {
            a = m_sim.InjectPdus(rest.split(QLatin1Char(' '), Qt::SkipEmptyParts));
        } else {
            DeliverSpec spec;
            spec.from = rest.section(QLatin1Char(' '), 0, 0);
            spec.text = rest.section(QLatin1Char(' '), 1);
            if (cmd == QLatin1String("deliver-ucs2"))
                spec.alphabet = Pdu::Alphabet::Ucs2;
            else if (cmd == QLatin1String("deliver-8bit"))
                spec.alphabet = Pdu::Alphabet::EightBit;
            else if (cmd != QLatin1String("deliver") && cmd != QLatin1String("store")
                     && cmd != QLatin1String("deliver-reversed")) {
                Reply(QStringLiteral("error: unknown command \"%1\"").arg(cmd));
                return;
            }
            if (spec.from.isEmpty()) {
                Reply(QStringLiteral("error: %1 FROM TEXT").arg(cmd));
                return;
            }
            if (cmd == QLatin1String("store")) {
                a = m_sim.StoreArrival(spec);
            } else if (cmd == QLatin1String("deliver-reversed")) {
                const DeliverBuilder::Result built = DeliverBuilder::Build(spec);
                if (!built.ok) {
                    a.error = built.error;
                } else {
                    QStringList parts = built.parts;
                    std::reverse(parts.begin(), parts.end());
                    a = m_sim.InjectPdus(parts);
                }
            } else {
                a = m_sim.InjectArrival(spec);
            }
        }
        if (!a.ok) {
            Reply(QStringLiteral("error: %1").arg(a.error));
            return;
        }
        QStringList where;
        for (int i : a.indexes)
            where.append(QString::number(i));
        Reply(QStringLiteral("ok %1 part(s)%2").arg(a.pdus.size()).arg(where.isEmpty() ? QString() : QStringLiteral(" at ") + where.join(QLatin1Char(','))));
    }

    void Set(const QStringList &w)
    {
        const QString what = w.value(0);
        const QStringList args = w.mid(1);
        bool isNumber = false;
        const int n = args.value(0).toInt(&isNumber);
        const bool on = args.value(0) == QLatin1String("on");
        const bool off = args.value(0) == QLatin1String("off");
        QString error;
        if (what == QLatin1String("latency") && isNumber) {
            m_sim.SetLatency(n);
        } else if (what == QLatin1String("pace") && isNumber && n >= 0) {
            m_sim.SetPace(n);
        } else if (what == QLatin1String("late-ms") && isNumber) {
            m_nLateMs = n;
            if (m_lateFault)
                m_sim.SetLateAnswer(*m_lateFault, m_nLateMs);
        } else if (what == QLatin1String("cms-code") && isNumber) {
            m_nCmsCode = n;
            m_sim.SetCmsError(m_cmsFault, m_nCmsCode);
        } else if (what == QLatin1String("cms-error-to")) {
            m_sim.SetCmsErrorTo(off ? QStringList() : args.value(0).split(QLatin1Char(','), Qt::SkipEmptyParts), m_nCmsCode);
        } else if (what == QLatin1String("direct-delivery") && (on || off)) {
            m_sim.SetDirectDelivery(on);
        } else if (what == QLatin1String("echo") && (on || off)) {
            m_sim.SetEcho(on);
        } else if (what == QLatin1String("auto-reply")) {
            ModemSimulator::AutoReply r;
            r.enabled = !off;
            if (args.value(0) == QLatin1String("every") && args.value(1).toInt() > 0)
                r.every = args.value(1).toInt();
            else if (args.value(0) == QLatin1String("keyword") && args.size() > 1)
                r.keyword = args.mid(1).join(QLatin1Char(' '));
            else if (!on && !off) {
                Reply(QStringLiteral("error: set auto-reply on|off|every K|keyword WORD"));
                return;
            }
            m_sim.SetAutoReply(r);
        } else if (what == QLatin1String("refuse") || what == QLatin1String("lose-answer")) {
            const std::optional<ModemSimulator::Fault> f = args.isEmpty() ? std::nullopt : ParseFault(args.mid(1), error);
            if (!f) {
                Reply(QStringLiteral("error: set %1 PREFIX on|off|next N|every K").arg(what));
                return;
            }
            if (what == QLatin1String("refuse"))
                m_sim.SetRefuseCommand(args.value(0), *f, m_nCmsCode);
            else
                m_sim.SetLoseAnswerTo(args.value(0), *f);
        } else if (const auto f = ParseFault(args, error); f) {
            if (what == QLatin1String("cms-error")) {
                m_cmsFault = *f;
                m_sim.SetCmsError(*f, m_nCmsCode);
            } else if (what == QLatin1String("silent")) {
                m_sim.SetSilentAfterPdu(*f);
            } else if (what == QLatin1String("late")) {
                m_lateFault = *f;
                m_sim.SetLateAnswer(*f, m_nLateMs);
            } else if (what == QLatin1String("split-prompt")) {
                m_sim.SetSplitPrompt(*f);
            } else if (what == QLatin1String("swallow-notice")) {
                m_sim.SetSwallowNotice(*f);
            } else if (what == QLatin1String("garbage")) {
                m_sim.SetGarbage(*f);
            } else if (what == QLatin1String("drop-line")) {
                m_sim.SetDropLine(*f);
            } else {
                Reply(QStringLiteral("error: nothing to set called \"%1\"").arg(what));
                return;
            }
        } else {
            Reply(QStringLiteral("error: set %1: %2").arg(what, error.isEmpty() ? QStringLiteral("bad value") : error));
            return;
        }
        Reply(QStringLiteral("ok"));
    }

    void List()
    {
        const auto stored = m_sim.Storage();
        for (const auto &m : stored)
            Reply(QStringLiteral("%1 %2 %3").arg(m.index).arg(m.stat).arg(m.pdu));
        Reply(QStringLiteral("ok %1 stored").arg(stored.size()));
    }

    void Submits()
    {
        const auto all = m_sim.Submits();
        if (!all.isEmpty()) {
            const auto &s = all.constLast();
            Reply(QStringLiteral("%1 \"%2\" %3").arg(s.message.number, s.message.text, s.answer));
        }
        Reply(QStringLiteral("ok %1 received").arg(all.size()));
    }

public:
    int m_nCmsCode = 500;
    int m_nLateMs = 70000;
    ModemSimulator::Fault m_cmsFault;
    std::optional<ModemSimulator::Fault> m_lateFault;

private:
    ModemSimulator &m_sim;
};

} // namespace

int main(int argc, char *argv[])
{
    // Every thread leaves these signals to the main thread, which waits for them below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
        sigaddset(&stopSignals, s);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("skevo-modemsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated GSM modem on a pseudo-terminal. It answers AT, ATE0/ATE1, AT+CMGF=0, "
                       "AT+CMGS (prompt, PDU, Ctrl-Z or ESC), AT+CMGR, AT+CMGD, AT+CMGL, AT+CNMI, AT+CPMS in PDU "
                       "mode, announces arrivals with +CMTI: \"SM\",<index>, and misbehaves on request.\n")
        + QString::fromLatin1(kControlHelp));
    parser.addHelpOption();
    const QCommandLineOption link(QStringLiteral("link"), QStringLiteral("Make PATH a symbolic link to the device."), QStringLiteral("PATH"));
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("Append a JSON object per line to FILE for every command, PDU and arrival."), QStringLiteral("FILE"));
    const QCommandLineOption latency(QStringLiteral("latency"), QStringLiteral("Wait MS milliseconds before every answer."), QStringLiteral("MS"));
    const QCommandLineOption pace(QStringLiteral("pace"), QStringLiteral("Write at most N bytes a second to the line, as a slow serial line does (960 for 9600 baud); 0 for as fast as the client reads."), QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption cmsError(QStringLiteral("cms-error"), QStringLiteral("Answer sends with +CMS ERROR: N (all of them unless --cms-error-every or --cms-error-to narrows it)."), QStringLiteral("N"));
    const QCommandLineOption cmsEvery(QStringLiteral("cms-error-every"), QStringLiteral("Answer every K-th send with +CMS ERROR."), QStringLiteral("K"));
    const QCommandLineOption cmsTo(QStringLiteral("cms-error-to"), QStringLiteral("Answer sends to NUMBER with +CMS ERROR (repeatable)."), QStringLiteral("NUMBER"));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Give no final answer after a PDU."));
    const QCommandLineOption late(QStringLiteral("late"), QStringLiteral("Give the final answer after a PDU MS milliseconds late."), QStringLiteral("MS"));
    const QCommandLineOption splitPrompt(QStringLiteral("split-prompt"), QStringLiteral("Send the prompt as \"\\r\\n\", a pause, then \"> \"."));
    const QCommandLineOption swallow(QStringLiteral("swallow-notice"), QStringLiteral("Store arrivals without announcing them."));
    const QCommandLineOption garbage(QStringLiteral("garbage"), QStringLiteral("Send stray bytes before answers."));
    const QCommandLineOption drop(QStringLiteral("drop-line"), QStringLiteral("Lose answers whole."));
    const QCommandLineOption refuse(QStringLiteral("refuse"), QStringLiteral("Refuse commands beginning with PREFIX (e.g. AT+CMGD) with +CMS ERROR, without carrying them out."), QStringLiteral("PREFIX"));
    const QCommandLineOption loseAnswer(QStringLiteral("lose-answer"), QStringLiteral("Carry out commands beginning with PREFIX but lose their answer."), QStringLiteral("PREFIX"));
    const QCommandLineOption every(QStringLiteral("fault-every"), QStringLiteral("The faults switched on by --silent, --late, --split-prompt, --swallow-notice, --garbage, --drop-line, --refuse and --lose-answer strike every K-th time instead of every time."), QStringLiteral("K"), QStringLiteral("1"));
    const QCommandLineOption directDelivery(QStringLiteral("direct-delivery"), QStringLiteral("Deliver arrivals with +CMT instead of storing them."));
    const QCommandLineOption autoReply(QStringLiteral("auto-reply"), QStringLiteral("A second after every third message sent, an answer arrives from its destination."));
    const QCommandLineOption autoEvery(QStringLiteral("auto-reply-every"), QStringLiteral("Answer every K-th message instead (implies --auto-reply)."), QStringLiteral("K"));
    const QCommandLineOption autoKeyword(QStringLiteral("auto-reply-keyword"), QStringLiteral("Answer each message containing WORD instead (implies --auto-reply)."), QStringLiteral("WORD"));
    const QCommandLineOption autoText(QStringLiteral("auto-reply-text"), QStringLiteral("The answer's text; %1 stands for the text sent."), QStringLiteral("TEXT"));
    const QCommandLineOption store(QStringLiteral("store"), QStringLiteral("A message held in \"SM\" before anyone connects (repeatable)."), QStringLiteral("FROM:TEXT"));
    const QCommandLineOption capacity(QStringLiteral("capacity"), QStringLiteral("Size of the \"SM\" memory (50)."), QStringLiteral("N"));
    const QCommandLineOption stay(QStringLiteral("stay"), QStringLiteral("Keep running when standard input ends."));
    parser.addOptions({link, log, latency, pace, cmsError, cmsEvery, cmsTo, silent, late, splitPrompt, swallow, garbage, drop,
                       refuse, loseAnswer, every, directDelivery, autoReply, autoEvery, autoKeyword, autoText, store, capacity, stay});
    parser.process(app);

    const auto number = [&](const QCommandLineOption &o, int min) {
        bool ok = false;
        const int v = parser.value(o).toInt(&ok);
        if (!ok || v < min) {
            std::fprintf(stderr, "skevo-modemsim: --%s needs a number of at least %d\n", qPrintable(o.names().constFirst()), min);
            std::exit(2);
        }
        return v;
    };

    ModemSimulator sim;
    Control control(sim);
    if (parser.isSet(capacity))
        sim.SetCapacity(number(capacity, 1));
    if (parser.isSet(latency))
        sim.SetLatency(number(latency, 0));
    if (parser.isSet(pace))
        sim.SetPace(number(pace, 0));
    if (parser.isSet(cmsError))
        control.m_nCmsCode = number(cmsError, 0);
    if (parser.isSet(cmsEvery)) {
        control.m_cmsFault = ModemSimulator::Fault::Every(number(cmsEvery, 1));
    } else if (parser.isSet(cmsError) && !parser.isSet(cmsTo)) {
        control.m_cmsFault = ModemSimulator::Fault::Always();
    }
    sim.SetCmsError(control.m_cmsFault, control.m_nCmsCode);
    if (parser.isSet(cmsTo))
        sim.SetCmsErrorTo(parser.values(cmsTo), control.m_nCmsCode);
    const ModemSimulator::Fault fault = ModemSimulator::Fault::Every(number(every, 1));
    if (parser.isSet(silent))
        sim.SetSilentAfterPdu(fault);
    if (parser.isSet(late)) {
        control.m_nLateMs = number(late, 0);
        control.m_lateFault = fault;
        sim.SetLateAnswer(fault, control.m_nLateMs);
    }
    if (parser.isSet(splitPrompt))
        sim.SetSplitPrompt(fault);
    if (parser.isSet(swallow))
        sim.SetSwallowNotice(fault);
    if (parser.isSet(garbage))
        sim.SetGarbage(fault);
    if (parser.isSet(drop))
        sim.SetDropLine(fault);
    if (parser.isSet(refuse))
        sim.SetRefuseCommand(parser.value(refuse), fault, control.m_nCmsCode);
    if (parser.isSet(loseAnswer))
        sim.SetLoseAnswerTo(parser.value(loseAnswer), fault);
    sim.SetDirectDelivery(parser.isSet(directDelivery));
    if (parser.isSet(autoReply) || parser.isSet(autoEvery) || parser.isSet(autoKeyword)) {
        ModemSimulator::AutoReply r;
        r.enabled = true;
        if (parser.isSet(autoEvery))
            r.every = number(autoEvery, 1);
        r.keyword = parser.value(autoKeyword);
        if (parser.isSet(autoText))
            r.text = parser.value(autoText);
        sim.SetAutoReply(r);
    }
    if (parser.isSet(log) && !sim.SetLogFile(parser.value(log))) {
        std::fprintf(stderr, "skevo-modemsim: %s\n", qPrintable(sim.ErrorString()));
        return 1;
    }
    for (const QString &s : parser.values(store)) {
        DeliverSpec spec;
        spec.from = s.section(QLatin1Char(':'), 0, 0);
        spec.text = s.section(QLatin1Char(':'), 1);
        const ModemSimulator::Arrival a = sim.StoreArrival(spec);
        if (!a.ok) {
            std::fprintf(stderr, "skevo-modemsim: --store %s: %s\n", qPrintable(s), qPrintable(a.error));
            return 2;
        }
    }

    if (!sim.Start()) {
        std::fprintf(stderr, "skevo-modemsim: %s\n", qPrintable(sim.ErrorString()));
        return 1;
    }
    if (parser.isSet(link) && !sim.MakeLink(parser.value(link))) {
        std::fprintf(stderr, "skevo-modemsim: %s\n", qPrintable(sim.ErrorString()));
        sim.Stop();
        return 1;
    }
    Reply(sim.DevicePath());

    const bool stayOnEof = parser.isSet(stay);
    std::thread input([&control, stayOnEof] {
        QByteArray pending;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (!stayOnEof)
                    ::kill(::getpid(), SIGUSR1);
                return;
            }
            pending.append(buf, int(n));
            qsizetype eol;
            while ((eol = pending.indexOf('\n')) >= 0) {
                const QString line = QString::fromUtf8(pending.left(eol));
                pending.remove(0, eol + 1);
                if (!control.Handle(line)) {
                    ::kill(::getpid(), SIGUSR1);
                    return;
                }
            }
        }
    });
    input.detach();

    int sig = 0;
    sigwait(&stopSignals, &sig);
    sim.Stop(); // also removes the link
    std::fflush(stdout);
    // The input thread may still sit in read(); nothing is left to tidy that it could touch.
    ::_exit(0);
}
