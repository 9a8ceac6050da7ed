#include "ModemSetup.h"

#include <QDebug>
#include <QRegularExpression>
#include <chrono>

namespace {

using Final = AtResponseParser::Final;

// A SIM that is busy (TS 27.007 9.2 +CME 14, TS 27.005 3.2.5 +CMS 314) is asked again this
// often (at most the command time-out), at most this many times.
constexpr int kBusyPauseMs = 500;
constexpr int kMaxRetries = 60;
// How long a stop waits for the answer to a PIN the SIM is checking.
constexpr int kPinGraceMs = 3000;
// AT+CMGF=0 refused this often in a row (a pause apart) means no PDU mode.
constexpr int kPduModeTries = 10;

bool IsBusy(const AtChannel::Answer &a)
{
    return a.IsCme(14) || a.IsCms(314);
}

// "(0-3),(0,1),0" -> the values of each parenthesised (or bare) group.
QVector<QVector<int>> Groups(const QString &text)
{
    QVector<QVector<int>> groups;
    static const QRegularExpression group(QStringLiteral("\\(([^)]*)\\)|([^,()\\s]+)"));
    for (auto it = group.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString body = m.captured(1).isNull() ? m.captured(2) : m.captured(1);
        QVector<int> values;
        for (const QString &item : body.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QStringList range = item.trimmed().split(QLatin1Char('-'));
            bool okLow = false, okHigh = false;
            const int low = range.value(0).toInt(&okLow);
            const int high = range.size() > 1 ? range.value(1).toInt(&okHigh) : low;
            if (!okLow || (range.size() > 1 && !okHigh))
                continue;
            for (int v = low; v <= high && v - low < 256; ++v)
                values.append(v);
        }
        groups.append(values);
    }
    return groups;
}

// The first of the wanted values the group allows; when the modem did not say, the first wanted.
QVector<int> Allowed(const QVector<QVector<int>> &groups, int i, const QVector<int> &wanted)
{
    if (i >= groups.size() || groups[i].isEmpty())
        return wanted;
    QVector<int> out;
    for (int w : wanted) {
        if (groups[i].contains(w))
            out.append(w);
    }
    return out;
}

QStringList Quoted(const QString &text)
{
    QStringList out;
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]*)\""));
    for (auto it = quoted.globalMatch(text); it.hasNext();)
        out.append(it.next().captured(1));
    return out;
}

} // namespace

const QVector<ModemSetup::Step> &ModemSetup::Table()
{
    using S = ModemSetup;
    using T = ModemTimeouts;
    using G = Group;
    // In the order of the groups: a step is added to its group, and no other step moves.
    static const QVector<Step> table = {
        // The handshake (TS 27.007 / V.250): the modem answers, echo off, numeric +CME codes.
        {G::Attention, "AT", nullptr, &T::handshakeMs, 1, &S::Required},
        {G::Handshake, "ATE0", nullptr, &T::handshakeMs, 1, &S::Required},
        {G::Handshake, "AT+CMEE=1", nullptr, &T::handshakeMs, 1, &S::Optional},
        // TS 27.007 8.3: the SIM, and its PIN once.
        {G::Sim, "AT+CPIN?", nullptr, &T::commandMs, 2, &S::HandleSim},
        {G::Sim, {}, &S::PinCommand, &T::pinMs, 1, &S::HandlePinEntry},
        {G::Sim, {}, &S::PinCheckCommand, &T::commandMs, 2, &S::HandleSimAfterPin},
        // TS 27.007 7.1: the SIM's IMSI, the modem's identity; the card's ICCID where the modem
        // has a command for it (none is standard: AT+CCID, AT^ICCID?, AT+QCCID).
        {G::Identity, "AT+CIMI", nullptr, &T::commandMs, 2, &S::HandleImsi},
        {G::Identity, {}, &S::IccidCommand, &T::commandMs, 1, &S::HandleIccid},
        // TS 27.005 3.2.3: PDU mode.
        {G::Mode, "AT+CMGF=0", nullptr, &T::commandMs, 2, &S::HandlePduMode},
        // TS 27.007 7.2, 7.3: registration notices where taken, the registration, the operator.
        {G::RegistrationNotices, "AT+CREG=1", nullptr, &T::commandMs, 1, &S::Optional},
        {G::Registration, "AT+CREG?", nullptr, &T::commandMs, 2, &S::HandleRegistration},
        {G::Registration, {}, &S::OperatorFormatCommand, &T::commandMs, 1, &S::Optional},
        {G::Registration, {}, &S::OperatorCommand, &T::commandMs, 1, &S::HandleOperator},
        // TS 27.005 3.4.1: the new-message indications nearest to +CMTI the modem takes.
        {G::Indications, "AT+CNMI=?", nullptr, &T::commandMs, 1, &S::HandleIndicationTest},
        {G::Indications, {}, &S::IndicationCommand, &T::commandMs, 1, &S::HandleIndicationSet},
        // TS 27.005 3.2.2: the storages arrivals are read from.
        {G::Storages, "AT+CPMS=?", nullptr, &T::commandMs, 1, &S::HandleStorages},
        // TS 27.007 8.5, when the strength is shown.
        {G::Signal, {}, &S::SignalCommand, &T::commandMs, 1, &S::HandleSignal},
    };
    return table;
}

int ModemSetup::BusyPauseMs() const
{
    return qMin(kBusyPauseMs, m_config.timeouts.commandMs);
}

ModemSetup::ModemSetup(AtChannel &channel, ModemConfig &config, ModemStatus &status)
    : m_channel(channel)
    , m_config(config)
    , m_status(status)
{
}

bool ModemSetup::Handshake()
{
    // Whatever the modem still had to say belongs to no command of ours.
    m_channel.Drain(50, 500);
    if (!RunSteps(Group::Attention, Group::Attention)) {
        if (m_channel.Stopped() || m_channel.LinkLost())
            return false;
        // A modem left waiting for a PDU takes "AT" as part of it; ESC ends that (TS 27.005 3.5.1).
        m_channel.Escape();
        if (!RunSteps(Group::Attention, Group::Attention))
            return false;
    }
    if (!RunSteps(Group::Handshake, Group::Handshake))
        return false;
    // An answer still owed from before (a PDU sent just before the last run ended) could have
    // been taken for one of the OKs above; a distinctive exchange puts the dialogue in step
    // before the next command.
    m_channel.Resync(m_config.timeouts.handshakeMs, 1);
    m_status.link = ModemStatus::Link::Answering;
    return true;
}

ModemReadiness ModemSetup::Run()
{
    m_bEnterPin = m_bPinEntered = m_bPinTaken = false;
    m_nPduModeRefusals = 0;
    RunSteps(Group::Sim, Group::Signal);
    return Readiness();
}

ModemReadiness ModemSetup::CheckRegistration()
{
    RunSteps(Group::Registration, Group::Registration);
    return Readiness();
}

bool ModemSetup::RunSteps(Group first, Group last)
{
    for (const Step &step : Table()) {
        if (step.group < first || step.group > last)
            continue;
        int tries = 0;
        int retries = 0;
        for (;;) {
            const QByteArray command = step.make ? (this->*step.make)() : step.command;
            if (command.isEmpty())
                break;
            // Nothing is written to a link that is down or being stopped: a Stopped or LinkDown
            // answer below then means the command went out.
            if (m_channel.Stopped() || m_channel.LinkLost())
                return false;
            AtChannel::Answer answer = m_channel.Command(command + '\r', m_config.timeouts.*step.timeout);
            if (step.handle == &ModemSetup::HandlePinEntry && !PinAnswered(answer))
                return false;
            if (answer.status == AtChannel::Status::Stopped || answer.status == AtChannel::Status::LinkDown)
                return false;
            // A late answer must not be taken for the next command's; the handshake has its
            // own way back in step, and a silent modem is not kept waiting for twice over.
            const bool resync = answer.status == AtChannel::Status::Timeout && step.group > Group::Handshake;
            if (answer.status == AtChannel::Status::Timeout && ++tries < step.attempts) {
                if (resync)
                    m_channel.Resync(m_config.timeouts.commandMs, 1);
                continue;
            }
            const Go go = (this->*step.handle)(answer);
            if (resync)
                m_channel.Resync(m_config.timeouts.commandMs, 1);
            if (go == Go::Stop)
                return false;
            if (go == Go::Retry && ++retries < kMaxRetries && !m_channel.Stopped())
                continue;
            break;
        }
    }
    return true;
}

// ------------------------------------------------------------------------------- commands

QByteArray ModemSetup::PinCommand() const
{
    // TS 27.007 8.3: +CPIN=<pin>, a string.
    return m_bEnterPin ? "AT+CPIN=\"" + m_config.pin.toLatin1() + '"' : QByteArray();
}

QByteArray ModemSetup::PinCheckCommand() const
{
    return m_bPinEntered ? QByteArrayLiteral("AT+CPIN?") : QByteArray();
}

QByteArray ModemSetup::OperatorFormatCommand() const
{
    // Long alphanumeric names (TS 27.007 7.3 <format> 0), asked once registered.
    const bool registered = m_status.registration == ModemStatus::Registration::Home
        || m_status.registration == ModemStatus::Registration::Roaming;
    return registered ? QByteArrayLiteral("AT+COPS=3,0") : QByteArray();
}

QByteArray ModemSetup::OperatorCommand() const
{
    return OperatorFormatCommand().isEmpty() ? QByteArray() : QByteArrayLiteral("AT+COPS?");
}

QByteArray ModemSetup::IndicationCommand() const
{
    return m_indicationCandidates.value(0);
}

QByteArray ModemSetup::IccidCommand() const
{
    static const QByteArray variants[] = {"AT+CCID", "AT^ICCID?", "AT+QCCID"};
    return m_nIccidCommand < int(std::size(variants)) ? variants[m_nIccidCommand] : QByteArray();
}

QByteArray ModemSetup::SignalCommand() const
{
    return m_config.timeouts.signalIntervalMs > 0 ? QByteArrayLiteral("AT+CSQ") : QByteArray();
}

// ------------------------------------------------------------------------------- handlers

ModemSetup::Go ModemSetup::Required(const AtChannel::Answer &answer)
{
    return answer.status == AtChannel::Status::Ok ? Go::Next : Go::Stop;
}

ModemSetup::Go ModemSetup::Optional(const AtChannel::Answer &)
{
    return Go::Next;
}

bool ModemSetup::SimError(const AtChannel::Answer &a)
{
    using Sim = ModemStatus::Sim;
    if (a.IsCme(10) || a.IsCms(310))
        m_status.sim = Sim::Absent;
    else if (a.IsCme(11) || a.IsCms(311))
        m_status.sim = m_config.pinRefused ? Sim::PinRefused : Sim::PinNeeded;
    else if (a.IsCme(12) || a.IsCms(316))
        m_status.sim = Sim::PukNeeded;
    else if (a.IsCme(13) || a.IsCme(15) || a.IsCms(313) || a.IsCms(315))
        m_status.sim = Sim::Unusable;
    else
        return false;
    return true;
}

ModemSetup::Go ModemSetup::SimState(const QString &state)
{
    using Sim = ModemStatus::Sim;
    // TS 27.007 8.3 <code>. PIN2 and PUK2 guard other functions than messages.
    if (state == QLatin1String("READY") || state == QLatin1String("SIM PIN2") || state == QLatin1String("SIM PUK2")) {
        m_status.sim = Sim::Ready;
        return Go::Next;
    }
    if (state == QLatin1String("SIM PIN")) {
        static const QRegularExpression digits(QStringLiteral("^[0-9]{4,8}$"));
        if (m_config.pinRefused) {
            m_status.sim = Sim::PinRefused;
        } else if (!digits.match(m_config.pin).hasMatch()) {
            // None given, or nothing a SIM would take: it is not tried.
            m_status.sim = Sim::PinNeeded;
        } else {
            m_bEnterPin = true;
            return Go::Next;
        }
        return Go::Stop;
    }
    m_status.sim = state == QLatin1String("SIM PUK") ? Sim::PukNeeded : Sim::Unusable;
    return Go::Stop;
}

ModemSetup::Go ModemSetup::HandleSim(const AtChannel::Answer &answer)
{
    if (answer.status == AtChannel::Status::Ok) {
        const QString state = answer.Info(QStringLiteral("+CPIN:"));
        if (!state.isNull())
            return SimState(state);
    }
    if (IsBusy(answer)) {
        m_channel.Idle(BusyPauseMs());
        return Go::Retry;
    }
    if (SimError(answer)) {
        if (m_status.sim == ModemStatus::Sim::PinNeeded)
            return SimState(QStringLiteral("SIM PIN"));
        return Go::Stop;
    }
    // A modem that does not know AT+CPIN? (or says nothing to it): its SIM is taken to be
    // ready, and a send will tell otherwise.
    m_status.sim = ModemStatus::Sim::Ready;
    return Go::Next;
}

void ModemSetup::PinRefused()
{
    if (m_config.pinRefused)
        return;
    m_config.pinRefused = true;
    qWarning() << "the SIM refused the configured PIN; it is not entered again";
    if (m_config.onPinRefused)
        m_config.onPinRefused(m_config.pin);
}

bool ModemSetup::PinAnswered(AtChannel::Answer &answer)
{
    if (answer.status == AtChannel::Status::Stopped) {
        // The SIM is checking the PIN: its answer is waited for a moment, stop or not.
        m_channel.IgnoreStop(true);
        answer = m_channel.WaitFinal(qMin(kPinGraceMs, m_config.timeouts.pinMs));
        m_channel.IgnoreStop(false);
        if (answer.status == AtChannel::Status::Timeout)
            answer.status = AtChannel::Status::Stopped;
    }
    if (answer.status != AtChannel::Status::Stopped && answer.status != AtChannel::Status::LinkDown)
        return true;
    // Gone before the SIM said whether it took the PIN: counted as refused, since a second
    // wrong entry could be one of the three that lock the SIM.
    m_bPinEntered = true;
    PinRefused();
    return false;
}

ModemSetup::Go ModemSetup::HandlePinEntry(const AtChannel::Answer &answer)
{
    m_bEnterPin = false;
    m_bPinEntered = true;
    AtChannel::Answer a = answer;
    if (a.status == AtChannel::Status::Timeout) {
        // Said nothing in time: whether the SIM took it is for AT+CPIN? to tell.
        return Go::Next;
    }
    if (a.status == AtChannel::Status::Ok) {
        m_bPinTaken = true;
        return Go::Next;
    }
    if (IsBusy(a)) {
        // The SIM did not look at it: given again after a pause.
        m_bEnterPin = true;
        m_bPinEntered = false;
        m_channel.Idle(BusyPauseMs());
        return Go::Retry;
    }
    // TS 27.007 9.2: 16 incorrect password, or any other refusal: never given again.
    PinRefused();
    return Go::Next; // AT+CPIN? tells whether the PUK is wanted now
}

ModemSetup::Go ModemSetup::HandleSimAfterPin(const AtChannel::Answer &answer)
{
    const QString state = answer.status == AtChannel::Status::Ok ? answer.Info(QStringLiteral("+CPIN:")) : QString();
    if (state == QLatin1String("READY")) {
        m_status.sim = ModemStatus::Sim::Ready;
        return Go::Next;
    }
    if (IsBusy(answer)) {
        // A SIM is busy for a moment after it took the PIN.
        m_channel.Idle(BusyPauseMs());
        return Go::Retry;
    }
    if (state == QLatin1String("SIM PIN") || state == QLatin1String("SIM PUK") || !m_bPinTaken) {
        // Still locked after the PIN, or locked behind the PUK now, or an entry whose answer
        // never came: counted as refused, so it is never risked a second time.
        PinRefused();
        return SimState(state.isEmpty() ? QStringLiteral("SIM PIN") : state);
    }
    if (!state.isNull())
        return SimState(state);
    m_status.sim = ModemStatus::Sim::Ready; // taken, and the modem says nothing more
    return Go::Next;
}

ModemSetup::Go ModemSetup::HandlePduMode(const AtChannel::Answer &answer)
{
    if (answer.status == AtChannel::Status::Error) {
        if (SimError(answer))
            return Go::Stop;
        // Many modems refuse message commands for a few seconds after the SIM took its PIN:
        // only a refusal that lasts says the modem has no PDU mode.
        if (++m_nPduModeRefusals < kPduModeTries) {
            m_channel.Idle(BusyPauseMs());
            return Go::Retry;
        }
        m_status.pduMode = false;
        return Go::Stop;
    }
    m_status.pduMode = true;
    return Go::Next;
}

ModemSetup::Go ModemSetup::HandleRegistration(const AtChannel::Answer &answer)
{
    // "+CREG: <n>,<stat>[,<lac>,<ci>[,<AcT>]]"
    const QString info = answer.status == AtChannel::Status::Ok ? answer.Info(QStringLiteral("+CREG:")) : QString();
    bool ok = false;
    const int stat = info.section(QLatin1Char(','), 1, 1).trimmed().toInt(&ok);
    m_status.registration = ok ? ModemStatus::RegistrationOf(stat) : ModemStatus::Registration::Unknown;
    if (OperatorFormatCommand().isEmpty())
        m_status.operatorName.clear();
    return Go::Next;
}

ModemSetup::Go ModemSetup::HandleOperator(const AtChannel::Answer &answer)
{
    // "+COPS: <mode>[,<format>,<oper>[,<AcT>]]"
    if (answer.status == AtChannel::Status::Ok) {
        const QString info = answer.Info(QStringLiteral("+COPS:"));
        const QStringList names = Quoted(info);
        m_status.operatorName = names.value(0).trimmed();
    }
    return Go::Next;
}

ModemSetup::Go ModemSetup::HandleIndicationTest(const AtChannel::Answer &answer)
{
    const QString info = answer.status == AtChannel::Status::Ok ? answer.Info(QStringLiteral("+CNMI:")) : QString();
    m_indicationCandidates = IndicationCandidates(info, m_config.requestReports);
    return Go::Next;
}

ModemSetup::Go ModemSetup::HandleIndicationSet(const AtChannel::Answer &answer)
{
    const QByteArray tried = m_indicationCandidates.value(0);
    if (!m_indicationCandidates.isEmpty())
        m_indicationCandidates.removeFirst();
    if (answer.status == AtChannel::Status::Ok) {
        m_found.indications = tried;
        m_indicationCandidates.clear();
        return Go::Next;
    }
    // Not taken: the next nearest, and when none is left the storage is listed while idle.
    return m_indicationCandidates.isEmpty() ? Go::Next : Go::Retry;
}

ModemSetup::Go ModemSetup::HandleStorages(const AtChannel::Answer &answer)
{
    const QString info = answer.status == AtChannel::Status::Ok ? answer.Info(QStringLiteral("+CPMS:")) : QString();
    m_found.storages = ReadStorages(info, m_config.requestReports);
    return Go::Next;
}

ModemSetup::Go ModemSetup::HandleImsi(const AtChannel::Answer &answer)
{
    // A modem without the command (or a SIM that does not say) is known by its port.
    m_status.imsi = answer.status == AtChannel::Status::Ok ? ReadImsi(answer.lines) : QString();
    m_nIccidCommand = 0;
    return Go::Next;
}

ModemSetup::Go ModemSetup::HandleIccid(const AtChannel::Answer &answer)
{
    m_status.iccid = answer.status == AtChannel::Status::Ok ? ReadIccid(answer.lines) : QString();
    if (answer.status == AtChannel::Status::Error) {
        ++m_nIccidCommand; // another maker's command, and after the last none
        return Go::Retry;
    }
    return Go::Next;
}

ModemSetup::Go ModemSetup::HandleSignal(const AtChannel::Answer &answer)
{
    for (const QString &line : answer.lines) {
        if (const std::optional<SignalQuality> q = SignalQuality::Parse(line))
            m_status.signal = q;
    }
    return Go::Next;
}

// --------------------------------------------------------------------------------- parsing

QVector<QByteArray> ModemSetup::IndicationCandidates(const QString &testAnswer, bool reports)
{
    // TS 27.005 3.4.1: +CNMI=<mode>,<mt>,<bm>,<ds>,<bfr>. <mode> 2 buffers indications while
    // the line is busy and gives them afterwards, 1 drops them then (the listing finds the
    // message), 3 sends them in-band; <mt> 1 stores and announces (+CMTI), 2 hands the message
    // over (+CMT); no cell broadcasts; <ds> 2 stores status reports and announces them
    // ("+CDSI: <mem>,<index>"), 1 hands them over ("+CDS: <length>" and the PDU), 0 none;
    // <bfr> 0 flushes what was buffered.
    const QVector<QVector<int>> groups = Groups(testAnswer);
    const QVector<int> modes = Allowed(groups, 0, {2, 1, 3});
    const QVector<int> mts = Allowed(groups, 1, {1, 2});
    const int bm = Allowed(groups, 2, {0}).value(0, 0);
    // Reports asked for: stored ones first, since a stored report waits for a program that
    // is not connected; a modem that takes neither sends none, and says so by refusing.
    QVector<int> dss = reports ? Allowed(groups, 3, {2, 1}) : QVector<int>{};
    dss.append(0); // arrivals still announced where no report setting is taken
    const QVector<int> bfr = Allowed(groups, 4, {0});
    // A modem that lists four parameters takes no <bfr>.
    const bool withBfr = groups.size() != 4 && !bfr.isEmpty();
    QVector<QByteArray> out;
    // Arrivals kept in the modem come before reports kept there: a report lost with the line
    // costs a 回执, an arrival lost costs a message.
    for (int mt : mts) {
        for (int ds : dss) {
            for (int mode : modes) {
                QByteArray c = "AT+CNMI=" + QByteArray::number(mode) + ',' + QByteArray::number(mt) + ','
                    + QByteArray::number(bm) + ',' + QByteArray::number(ds);
                if (withBfr)
                    c += ',' + QByteArray::number(bfr.first());
                out.append(c);
            }
        }
    }
    return out;
}

namespace {
// The first capture of the first line the pattern matches whole, trimmed; "" none.
QString FirstCaptured(const QStringList &lines, const QRegularExpression &pattern)
{
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = pattern.match(line.trimmed());
        if (m.hasMatch())
            return m.captured(1);
    }
    return QString();
}
} // namespace

QString ModemSetup::ReadImsi(const QStringList &lines)
{
    static const QRegularExpression imsi(QStringLiteral("^(?:\\+CIMI:\\s*)?([0-9]{6,15})$"));
    return FirstCaptured(lines, imsi);
}

QString ModemSetup::ReadIccid(const QStringList &lines)
{
    static const QRegularExpression iccid(QStringLiteral("^(?:[+^][A-Z]*CCID:\\s*)?\"?([0-9]{18,20})[Ff]?\"?$"));
    return FirstCaptured(lines, iccid);
}

QStringList ModemSetup::ReadStorages(const QString &testAnswer, bool reports)
{
    // The first list is <mem1>, where messages are read and deleted.
    const QString first = testAnswer.section(QLatin1Char(')'), 0, 0);
    const QStringList offered = Quoted(first);
    QStringList out;
    for (const QString &mem : {QStringLiteral("SM"), QStringLiteral("ME")}) {
        if (offered.contains(mem))
            out.append(mem);
    }
    if (out.isEmpty() && !offered.isEmpty())
        out.append(offered.first());
    // Status reports (<ds> 2) are stored in "SR" by the modems that have it.
    if (reports && offered.contains(QStringLiteral("SR")) && !out.contains(QStringLiteral("SR")))
        out.append(QStringLiteral("SR"));
    return out;
}
