#include "SubmitDialogue.h"
#include "sms/PduCodec.h"

namespace {

using Status = AtChannel::Status;

// A stop request (quitting, SIGTERM, 断开) while a PDU awaits its answer still gives the modem
// this long to answer, so that a message the network is just taking (a modem answers within a
// second or two) is not journalled failed for nothing.
constexpr int kStopGraceMs = 3000;

// "+CMGS: <mr>[,<scts>]" (TS 27.005 3.5.1); -1 when the modem gave none.
int Reference(const AtChannel::Answer &answer)
{
    const QString info = answer.Info(QStringLiteral("+CMGS:"));
    bool ok = false;
    const int mr = info.section(QLatin1Char(','), 0, 0).trimmed().toInt(&ok);
    return ok ? mr : -1;
}

} // namespace

SubmitDialogue::SubmitDialogue(AtChannel &channel, const ModemTimeouts &timeouts)
    : m_channel(channel)
    , m_timeouts(timeouts)
{
}

bool SubmitDialogue::NetworkMissing(const AtChannel::Answer &a)
{
    // TS 27.005 3.2.5: 330 SMSC address unknown, 331 no network service, 332 network time-out;
    // TS 27.007 9.2.1: 30 no network service, 31 network time-out, 32 emergency calls only.
    return a.IsCms(330) || a.IsCms(331) || a.IsCms(332) || a.IsCme(30) || a.IsCme(31) || a.IsCme(32);
}

bool SubmitDialogue::SimNotReady(const AtChannel::Answer &a)
{
    // TS 27.005 3.2.5: 310 SIM not inserted .. 318 SIM PUK2 required; TS 27.007 9.2.1: 10 SIM
    // not inserted .. 15 SIM wrong.
    if (a.kind == AtResponseParser::Final::CmsError)
        return a.code >= 310 && a.code <= 318;
    return a.kind == AtResponseParser::Final::CmeError && a.code >= 10 && a.code <= 15;
}

AtChannel::Answer SubmitDialogue::AwaitPrompt(int tpduLength)
{
    const QByteArray command = "AT+CMGS=" + QByteArray::number(tpduLength) + '\r';
    AtChannel::Answer answer;
    for (int attempt = 0; attempt < qMax(1, m_timeouts.promptAttempts); ++attempt) {
        if (m_channel.Stopped()) {
            answer.status = Status::Stopped;
            return answer;
        }
        m_channel.DiscardAnswers();
        if (m_channel.LinkLost() || !m_channel.Write(command)) {
            answer.status = Status::LinkDown;
            return answer;
        }
        answer = m_channel.WaitPrompt(m_timeouts.promptMs);
        if (answer.status != Status::Timeout)
            return answer;
        // No prompt: the modem may still be waiting for a PDU, or answer late. ESC and a
        // distinctive exchange put the dialogue back in step before the next try.
        m_channel.Resync(m_timeouts.commandMs, m_timeouts.commandAttempts);
        if (m_channel.LinkLost()) {
            answer.status = Status::LinkDown; // not a byte back: the modem is gone, not this message
            return answer;
        }
    }
    return answer;
}

SubmitDialogue::Result SubmitDialogue::Send(const QStringList &parts, int from, const std::function<bool()> &beforePdu)
{
    Result result;
    // What went before stays said: the references of the parts already taken.
    const auto ended = [&result](Outcome outcome, int partsSent, const AtChannel::Answer &answer = {}) {
        Result r = result;
        r.outcome = outcome;
        r.partsSent = partsSent;
        r.answer = answer;
        return r;
    };
    result.partsSent = qMax(0, from);
    for (int i = qMax(0, from); i < parts.size(); ++i) {
        const QString &part = parts[i];
        const AtChannel::Answer prompt = AwaitPrompt(Pdu::TpduLength(part));
        switch (prompt.status) {
        case Status::Ok:
            break;
        case Status::Stopped:
            m_channel.Escape(); // cancels the AT+CMGS
            [[fallthrough]];
        case Status::LinkDown:
            // Nothing of this part reached the modem: it waits for the next try.
            return ended(Outcome::NotHandedOver, i);
        case Status::Error:
            if (NetworkMissing(prompt))
                return ended(Outcome::NetworkMissing, i, prompt);
            if (SimNotReady(prompt))
                return ended(Outcome::SimNotReady, i, prompt);
            return ended(Outcome::Refused, i, prompt);
        case Status::Timeout:
            return ended(Outcome::Refused, i, prompt);
        }
        // From here on the outcome is uncertain should the program end before the answer:
        // whoever keeps the message must say so before the PDU goes.
        if (i == qMax(0, from) && beforePdu && !beforePdu()) {
            m_channel.Resync(m_timeouts.commandMs, m_timeouts.commandAttempts); // ESC ends the PDU entry
            return ended(Outcome::Held, i);
        }
        if (!m_channel.Write(part.toLatin1() + '\x1a'))
            return ended(Outcome::NoAnswer, i);
        AtChannel::Answer answer = m_channel.WaitFinal(m_timeouts.finalAnswerMs);
        if (answer.status == Status::Stopped) {
            m_channel.IgnoreStop(true);
            answer = m_channel.WaitFinal(qMin(kStopGraceMs, m_timeouts.finalAnswerMs));
            m_channel.IgnoreStop(false);
        }
        if (answer.status == Status::Ok) {
            result.references.append(Reference(answer));
            result.partsSent = i + 1;
            continue;
        }
        if (answer.status == Status::Error) {
            // A later part is never sent after a refused one; a part refused for want of
            // network or SIM did not go, and the message may go on from it later.
            return ended(NetworkMissing(answer) ? Outcome::NetworkMissing
                             : SimNotReady(answer) ? Outcome::SimNotReady
                                                   : Outcome::Refused,
                         i, answer);
        }
        if (answer.status == Status::Timeout) {
            if (m_channel.Stopped())
                m_channel.Escape();
            else
                m_channel.Resync(m_timeouts.commandMs, m_timeouts.commandAttempts);
        }
        return ended(Outcome::NoAnswer, i, answer);
    }
    result.outcome = Outcome::Sent;
    result.partsSent = int(parts.size());
    return result;
}
