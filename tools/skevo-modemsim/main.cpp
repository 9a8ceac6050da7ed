// skevo-modemsim: a simulated GSM modem on a pseudo-terminal, for tests and the demo.
#include "ModemSimulator.h"
#include "SimControl.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <vector>
#include <cstdio>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

const char kRunHelp[] = R"(
Runs until killed, or until "quit" or the end of standard input (with --stay it keeps
running when standard input ends). The device path is the first line on standard output.
)";

void Reply(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

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
    QCoreApplication::setApplicationVersion(QStringLiteral(SKEVO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated GSM modem on a pseudo-terminal. It answers AT, ATE0/ATE1, AT+CMGF=0, "
                       "AT+CMGS (prompt, PDU, Ctrl-Z or ESC), AT+CMGR, AT+CMGD, AT+CMGL, AT+CNMI, AT+CPMS in PDU "
                       "mode and AT+CPIN, AT+CREG, AT+COPS, AT+CSQ, announces arrivals with +CMTI: \"SM\",<index>, "
                       "and misbehaves on request.\n")
        + QString::fromLatin1(kRunHelp) + SimControl::Help());
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption link(QStringLiteral("link"), QStringLiteral("Make PATH a symbolic link to the device."), QStringLiteral("PATH"));
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("Append a JSON object per line to FILE for every command, PDU and arrival."), QStringLiteral("FILE"));
    const QCommandLineOption latency(QStringLiteral("latency"), QStringLiteral("Wait MS milliseconds before every answer."), QStringLiteral("MS"));
    const QCommandLineOption pace(QStringLiteral("pace"), QStringLiteral("Write at most N bytes a second to the line, as a slow serial line does (960 for 9600 baud); 0 for as fast as the client reads."), QStringLiteral("N"), QStringLiteral("0"));
    parser.addOptions({link, log, latency, pace});
    // One option for each misbehaviour of the list the control commands use.
    const std::vector<SimControl::Misbehaviour> &misbehaviours = SimControl::Misbehaviours();
    std::vector<QCommandLineOption> faultOptions;
    QStringList everyNames;
    const SimControl::Misbehaviour *cms = SimControl::FindMisbehaviour(QStringLiteral("cms-error"));
    const SimControl::Misbehaviour *late = SimControl::FindMisbehaviour(QStringLiteral("late"));
    for (const SimControl::Misbehaviour &m : misbehaviours) {
        const QString name = QLatin1String(m.name);
        faultOptions.emplace_back(name, QString::fromLatin1(m.optionHelp),
                                  m.optionValue ? QString::fromLatin1(m.optionValue) : QString());
        parser.addOption(faultOptions.back());
        if (&m != cms)
            everyNames.append(QStringLiteral("--") + name);
    }
    const QString lastEvery = everyNames.takeLast();
    const QCommandLineOption cmsEvery(QStringLiteral("cms-error-every"), QStringLiteral("Answer every K-th send with +CMS ERROR."), QStringLiteral("K"));
    const QCommandLineOption cmsTo(QStringLiteral("cms-error-to"), QStringLiteral("Answer sends to NUMBER with +CMS ERROR (repeatable)."), QStringLiteral("NUMBER"));
    const QCommandLineOption every(QStringLiteral("fault-every"), QStringLiteral("The faults switched on by %1 and %2 strike every K-th time instead of every time.").arg(everyNames.join(QStringLiteral(", ")), lastEvery), QStringLiteral("K"), QStringLiteral("1"));
    const QCommandLineOption directDelivery(QStringLiteral("direct-delivery"), QStringLiteral("Deliver arrivals with +CMT instead of storing them."));
    const QCommandLineOption autoReply(QStringLiteral("auto-reply"), QStringLiteral("A second after every third message sent, an answer arrives from its destination."));
    const QCommandLineOption autoEvery(QStringLiteral("auto-reply-every"), QStringLiteral("Answer every K-th message instead (implies --auto-reply)."), QStringLiteral("K"));
    const QCommandLineOption autoKeyword(QStringLiteral("auto-reply-keyword"), QStringLiteral("Answer each message containing WORD instead (implies --auto-reply)."), QStringLiteral("WORD"));
    const QCommandLineOption autoText(QStringLiteral("auto-reply-text"), QStringLiteral("The answer's text; %1 stands for the text sent."), QStringLiteral("TEXT"));
    const QCommandLineOption store(QStringLiteral("store"), QStringLiteral("A message held in \"SM\" before anyone connects (repeatable)."), QStringLiteral("FROM:TEXT"));
    const QCommandLineOption capacity(QStringLiteral("capacity"), QStringLiteral("Size of the \"SM\" memory (50)."), QStringLiteral("N"));
    const QCommandLineOption stay(QStringLiteral("stay"), QStringLiteral("Keep running when standard input ends."));
    const QCommandLineOption pin(QStringLiteral("pin"), QStringLiteral("The SIM waits for this PIN (three wrong ones lock it behind its PUK)."), QStringLiteral("PIN"));
    const QCommandLineOption registrationDelay(QStringLiteral("registration-delay"), QStringLiteral("Register with the network MS milliseconds after start (or after the right PIN); sends are refused with +CMS ERROR: 331 until then."), QStringLiteral("MS"));
    const QCommandLineOption indicationsOff(QStringLiteral("indications-off"), QStringLiteral("Power up with new-message indications off (AT+CNMI=0,0,...)."));
    const QCommandLineOption phoneStorage(QStringLiteral("phone-storage"), QStringLiteral("Have a phone memory \"ME\" beside \"SM\"."));
    parser.addOptions({cmsEvery, cmsTo, every, directDelivery, autoReply, autoEvery, autoKeyword, autoText, store, capacity, stay,
                       pin, registrationDelay, indicationsOff, phoneStorage});
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
    SimControl control(sim, Reply);
    if (parser.isSet(capacity))
        sim.SetCapacity(number(capacity, 1));
    if (parser.isSet(latency))
        sim.SetLatency(number(latency, 0));
    if (parser.isSet(pace))
        sim.SetPace(number(pace, 0));
    const QCommandLineOption &cmsError = faultOptions[size_t(cms - misbehaviours.data())];
    if (parser.isSet(cmsError))
        control.cmsCode = number(cmsError, 0);
    ModemSimulator::Fault cmsFault;
    if (parser.isSet(cmsEvery))
        cmsFault = ModemSimulator::Fault::Every(number(cmsEvery, 1));
    else if (parser.isSet(cmsError) && !parser.isSet(cmsTo))
        cmsFault = ModemSimulator::Fault::Always();
    control.SetMisbehaviour(*cms, cmsFault);
    if (parser.isSet(cmsTo))
        sim.SetCmsErrorTo(parser.values(cmsTo), control.cmsCode);
    const ModemSimulator::Fault fault = ModemSimulator::Fault::Every(number(every, 1));
    for (size_t i = 0; i < misbehaviours.size(); ++i) {
        const SimControl::Misbehaviour &m = misbehaviours[i];
        if (&m == cms || !parser.isSet(faultOptions[i]))
            continue;
        if (&m == late)
            control.lateMs = number(faultOptions[i], 0);
        control.SetMisbehaviour(m, fault, m.prefixed ? parser.value(faultOptions[i]) : QString());
    }
    sim.SetDirectDelivery(parser.isSet(directDelivery));
    if (parser.isSet(indicationsOff))
        sim.SetIndications(false);
    sim.SetPhoneStorage(parser.isSet(phoneStorage));
    if (parser.isSet(pin))
        sim.SetSimPin(parser.value(pin));
    if (parser.isSet(registrationDelay))
        sim.SetRegistrationDelay(number(registrationDelay, 0));
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
