#include "ModemDialogue.h"

#include <QDateTime>

#include "AtCommandTable.h"
#include "AutoResponder.h"
#include "LineFramer.h"
#include "MessageStore.h"
#include "Misbehaviours.h"
#include "PseudoTerminal.h"
#include "RadioState.h"
#include "SimulatorLog.h"

#include <QDateTime>
#include <QJsonObject>

namespace {

using std::chrono::milliseconds;
using Kind = Misbehaviours::Kind;

// V.250 5.7.2 verbose result codes and information text, with S3 = CR and S4 = LF.
QByteArray Final(const char *code) { return QByteArray("\r\n") + code + "\r\n"; }
QByteArray Info(const QByteArray &text) { return "\r\n" + text + "\r\n"; }
// TS 27.005 3.2.5: the final result code of a failed message service command.
QByteArray CmsError(int code) { return "\r\n+CMS ERROR: " + QByteArray::number(code) + "\r\n"; }

} // namespace

ModemDialogue::ModemDialogue(PseudoTerminal &line, LineFramer &framer, AtCommandTable &commands, Storages &storages,
                             RadioState &radio, Misbehaviours &faults, SimulatorLog &log, AutoResponder &autoResponder)
    : m_line(line), m_framer(framer), m_commands(commands), m_storages(storages), m_radio(radio), m_faults(faults),
      m_log(log), m_autoResponder(autoResponder)
{
}

void ModemDialogue::RadioChanged()
{
    const int stat = m_radio.RegistrationStat();
    if (m_radio.cregMode == 1 && stat != m_radio.announced) {
        // TS 27.007 7.2, <n> 1: +CREG: <stat>
        Notice("\r\n+CREG: " + QByteArray::number(stat) + "\r\n");
    }
    m_radio.announced = stat;
    if (const std::optional<PseudoTerminal::Clock::time_point> next = m_radio.NextChange())
        m_line.RunAt(*next + milliseconds(1), [this] { RadioChanged(); });
}

void ModemDialogue::CommandLine(const QByteArray &raw, bool overflow)
{
    // V.250 5.2.1: a command line starts with "AT" (either case); anything before it is
    // line noise, and a line without it gets no answer.
    qsizetype at = -1;
    for (qsizetype i = 0; i + 1 < raw.size(); ++i) {
        if ((raw[i] == 'A' || raw[i] == 'a') && (raw[i + 1] == 'T' || raw[i + 1] == 't')) {
            at = i;
            break;
        }
    }
    if (at < 0)
        return;
    const QByteArray cmdLine = raw.mid(at);
    m_log.Command(QString::fromLatin1(cmdLine));
    if (overflow) {
        Answer(Final("ERROR"));
        return;
    }
    const QByteArray upper = cmdLine.toUpper();
    if (m_faults.Refuses(upper)) {
        Answer(CmsError(m_faults.refuseCode));
        return;
    }
    m_muted = m_faults.LosesAnswerTo(upper);
    if (const std::optional<QByteArray> answer = m_commands.Execute(cmdLine.mid(2)))
        Answer(*answer);
    m_muted = false;
}

void ModemDialogue::Prompt(int length)
{
    m_cmgsLength = length;
    m_framer.ExpectPdu();
    if (m_faults.Fire(Kind::SplitPrompt))
        Answer({QByteArray("\r\n"), QByteArray("> ")}, 0, m_faults.splitPauseMs);
    else
        Answer(QByteArray("\r\n> "));
}

void ModemDialogue::PduCancelled()
{
    m_log.Command(QStringLiteral("<ESC>"));
    Answer(Final("OK"));
}

void ModemDialogue::PduSent(const QByteArray &pduText)
{
    ModemSimulator::Submit s;
    s.receivedMs = QDateTime::currentMSecsSinceEpoch();
    s.declaredLength = m_cmgsLength;
    s.pdu = QString::fromLatin1(pduText);
    const std::optional<QByteArray> octets = Pdu::HexToOctets(s.pdu);
    if (!octets || octets->isEmpty()) {
        s.error = QStringLiteral("not hexadecimal text");
    } else if (Pdu::TpduLength(s.pdu) != m_cmgsLength) {
        s.error = QStringLiteral("TPDU of %1 octets, AT+CMGS said %2").arg(Pdu::TpduLength(s.pdu)).arg(m_cmgsLength);
    } else {
        const Pdu::DecodeResult dec = Pdu::DecodeSubmitPdu(s.pdu);
        if (dec.ok) {
            s.decoded = true;
            s.message = dec.pdu;
        } else {
            s.error = dec.error;
        }
    }
    AnswerSubmit(s);
    m_log.Submit(s);

    if (s.messageRef < 0)
        return;
    ScheduleReports(s);
    if (const std::optional<DeliverSpec> reply = m_autoResponder.ReplyTo(m_log.Submits(), m_nextMr)) {
        m_line.RunAt(PseudoTerminal::Clock::now() + milliseconds(m_autoResponder.DelayMs()), [this, spec = *reply] {
            const DeliverBuilder::Result built = DeliverBuilder::Build(spec);
            if (built.ok)
                Deliver(built.parts, true);
        });
    }
}

void ModemDialogue::AnswerSubmit(ModemSimulator::Submit &s)
{
    if (!s.decoded) {
        // TS 27.005 3.2.5: 304 invalid PDU mode parameter.
        s.answer = QStringLiteral("+CMS ERROR: 304");
        if (!Answer(CmsError(304)))
            s.answer.prepend(QStringLiteral("dropped "));
        return;
    }
    // TS 27.005 3.2.5: 331 no network service, while the modem is not registered.
    const int code = m_radio.Registered() ? m_faults.CmsCodeFor(s.message.number) : 331;
    if (code) {
        s.answer = QStringLiteral("+CMS ERROR: %1").arg(code);
        if (!Answer(CmsError(code)))
            s.answer.prepend(QStringLiteral("dropped "));
        return;
    }
    if (m_faults.Fire(Kind::Silent)) {
        s.answer = QStringLiteral("silent");
        return;
    }
    s.messageRef = m_nextMr;
    m_nextMr = (m_nextMr + 1) % 256;
    s.answer = QStringLiteral("+CMGS: %1").arg(s.messageRef);
    const bool isLate = m_faults.Fire(Kind::Late);
    if (!Answer(Info("+CMGS: " + QByteArray::number(s.messageRef)) + Final("OK"), isLate ? m_faults.lateMs : 0))
        s.answer.prepend(QStringLiteral("dropped "));
    else if (isLate)
        s.answer.prepend(QStringLiteral("late "));
}

void ModemDialogue::ScheduleReports(const ModemSimulator::Submit &s)
{
    // TS 23.040 9.2.3.5: TP-SRR asks for a report.
    if (!(s.message.firstOctet & 0x20))
        return;
    ModemSimulator::Reports what = reports;
    const QString digits = Misbehaviours::Digits(s.message.number);
    for (const auto &[number, chosen] : reportsTo) {
        if (number == digits)
            what = chosen;
    }
    // TS 23.040 9.2.3.15: 0x00 received by the SME, 0x30 still trying (congestion), 0x41
    // incompatible destination (permanent).
    QList<quint8> statuses;
    switch (what) {
    case ModemSimulator::Reports::None:
        return;
    case ModemSimulator::Reports::Delivered:
        statuses = {0x00};
        break;
    case ModemSimulator::Reports::Failed:
        statuses = {0x41};
        break;
    case ModemSimulator::Reports::TryingThenDelivered:
        statuses = {0x30, 0x00};
        break;
    }
    const QString number(s.message.number.constData(), s.message.number.size());
    const QDateTime submitted = QDateTime::currentDateTime();
    if (holdReports) {
        for (quint8 status : statuses)
            heldReports.append({s.messageRef, number, status, submitted});
        return;
    }
    for (int i = 0; i < statuses.size(); ++i) {
        m_line.RunAt(PseudoTerminal::Clock::now() + milliseconds(qMax(1, reportDelayMs) * (i + 1)),
                     [this, mr = s.messageRef, number, status = statuses[i], submitted] {
                         DeliverReport(mr, number, status, submitted);
                     });
    }
}

namespace {

// TS 23.040 9.2.3.11 as the field's digits: local time, then the zone in quarters of an hour
// (the sign in the third bit of its first digit).
QString TimeStampDigits(const QDateTime &t)
{
    const int quarters = t.offsetFromUtc() / (15 * 60);
    const int q = qAbs(quarters);
    return t.toString(QStringLiteral("yyMMddHHmmss")) + QString::number((q / 10) | (quarters < 0 ? 8 : 0), 16).toUpper()
        + QString::number(q % 10);
}

} // namespace

void ModemDialogue::DeliverReport(int reference, const QString &recipient, quint8 status, const QDateTime &submitted)
{
    Pdu::StatusReport r;
    r.firstOctet = 0x06; // SMS-STATUS-REPORT, no more messages waiting
    r.messageRef = reference;
    r.recipient = recipient;
    r.scts = TimeStampDigits(submitted);
    r.discharge = TimeStampDigits(QDateTime::currentDateTime());
    r.status = status;
    const QString pdu = Pdu::EncodeStatusReport(r);
    QJsonObject o {{QStringLiteral("event"), QStringLiteral("status report")}, {QStringLiteral("pdu"), pdu},
                   {QStringLiteral("reference"), reference}, {QStringLiteral("status"), int(status)}};
    if (indications.ds == 1) {
        // TS 27.005 3.4.1, <ds> 1: +CDS: <length><CR><LF><pdu>
        Notice("\r\n+CDS: " + QByteArray::number(Pdu::TpduLength(pdu)) + "\r\n" + pdu.toLatin1() + "\r\n");
        o.insert(QStringLiteral("notice"), QStringLiteral("+CDS"));
    } else if (indications.ds == 2) {
        // <ds> 2: stored, +CDSI: <mem>,<index>
        const std::optional<int> index = m_storages.Find(m_storages.arrivals)->Put(pdu);
        if (index) {
            Notice("\r\n+CDSI: \"" + m_storages.arrivals + "\"," + QByteArray::number(*index) + "\r\n");
            o.insert(QStringLiteral("index"), *index);
        }
        o.insert(QStringLiteral("notice"), index ? QStringLiteral("+CDSI") : QStringLiteral("memory full"));
    } else {
        o.insert(QStringLiteral("notice"), QStringLiteral("reports off"));
    }
    m_log.Write(o);
    m_line.Wake();
}

bool ModemDialogue::Answer(const QList<QByteArray> &pieces, int extraDelayMs, int pauseMs)
{
    if (m_muted || m_faults.DropsAnswer())
        return false;
    QList<QByteArray> out = pieces;
    if (!out.isEmpty())
        out.first().prepend(m_faults.GarbageBefore());
    m_line.SendInOrder(out, milliseconds(m_faults.latencyMs + extraDelayMs), milliseconds(pauseMs));
    return true;
}

void ModemDialogue::Notice(const QByteArray &bytes)
{
    m_line.SendAt(PseudoTerminal::Clock::now(), bytes);
    m_line.Wake();
}

ModemSimulator::Arrival ModemDialogue::Deliver(const QStringList &pdus, bool announce)
{
    ModemSimulator::Arrival a;
    a.ok = true;
    a.pdus = pdus;
    for (const QString &pdu : pdus) {
        const Pdu::DecodeResult dec = Pdu::DecodeDeliverPdu(pdu);
        QJsonObject o {{QStringLiteral("event"), QStringLiteral("arrival")},
                       {QStringLiteral("pdu"), pdu},
                       {QStringLiteral("number"), dec.pdu.number},
                       {QStringLiteral("text"), dec.pdu.text}};
        if (announce && indications.mt == 2) {
            const bool swallowed = m_faults.Fire(Kind::SwallowNotice);
            if (!swallowed) // TS 27.005 3.4.1, <mt> 2: +CMT: [<alpha>],<length><CR><LF><pdu>
                Notice("\r\n+CMT: ," + QByteArray::number(Pdu::TpduLength(pdu)) + "\r\n" + pdu.toLatin1() + "\r\n");
            o.insert(QStringLiteral("notice"), swallowed ? QStringLiteral("swallowed") : QStringLiteral("+CMT"));
            m_log.Write(o);
            continue;
        }
        MessageStore &store = *m_storages.Find(m_storages.arrivals);
        const std::optional<int> index = store.Put(pdu);
        if (!index) {
            a.ok = false;
            a.error = QStringLiteral("the %1 memory is full").arg(QString::fromLatin1(m_storages.arrivals));
            o.insert(QStringLiteral("notice"), QStringLiteral("memory full"));
            m_log.Write(o);
            continue;
        }
        a.indexes.append(*index);
        QString notice = QStringLiteral("none");
        if (announce && indications.mt == 0) {
            notice = QStringLiteral("indications off");
        } else if (announce) {
            if (m_faults.Fire(Kind::SwallowNotice)) {
                notice = QStringLiteral("swallowed");
            } else {
                // TS 27.005 3.4.1, <mt> 1: +CMTI: <mem>,<index>
                Notice("\r\n+CMTI: \"" + m_storages.arrivals + "\"," + QByteArray::number(*index) + "\r\n");
                notice = QStringLiteral("+CMTI");
            }
        }
        o.insert(QStringLiteral("memory"), QString::fromLatin1(m_storages.arrivals));
        o.insert(QStringLiteral("index"), *index);
        o.insert(QStringLiteral("notice"), notice);
        m_log.Write(o);
    }
    m_line.Wake();
    return a;
}
