#include "MessageSender.h"
#include "SubmitDialogue.h"
#include "sms/PduCodec.h"

#include <QDebug>
#include <algorithm>

MessageSender::MessageSender(WorkerContext &context)
    : m_ctx(context)
{
}

MessageSender::After MessageSender::Send(Outgoing message)
{
    const ModemTimeouts &timeouts = m_ctx.Timeouts();
    const QString time = message.started.isEmpty() ? m_ctx.desk.LocalTime() : message.started;
    if (message.partsSent == 0)
        message.concatRef = m_ctx.state.concatRef;
    // A modem with a service centre of its own (its SIM's operator) sends through it.
    SmsRecord record = message.record;
    if (!m_ctx.config.smsc.isEmpty())
        record.m_strSCA = m_ctx.config.smsc;
    const Pdu::EncodeResult encoded = Pdu::EncodeSubmitPdu(record, message.concatRef, m_ctx.config.requestReports);
    if (!encoded.ok) {
        // Nothing the modem could carry (a number over 20 digits, say): failed, not written.
        qWarning() << "message to" << message.record.m_strTPA << "not sent:" << encoded.error;
        Finish(message, time, false);
        return {};
    }
    if (message.partsSent == 0 && encoded.parts.size() > 1)
        ++m_ctx.state.concatRef;

    // The kept row must say the message is in the modem's hands before its first PDU goes:
    // unmarked, it would say the message never went, and the next run would send it again.
    IModemDesk::Hold hold = IModemDesk::Hold::Go;
    bool marked = false;
    const auto mark = [&] {
        if (message.partsSent > 0)
            return true; // marked before its first part went
        hold = m_ctx.desk.BeforeFirstPdu(message);
        marked = hold == IModemDesk::Hold::Go;
        return marked;
    };
    SubmitDialogue dialogue(m_ctx.channel, timeouts);
    const SubmitDialogue::Result r = dialogue.Send(encoded.parts, message.partsSent, mark);
    if (r.partsSent > message.partsSent && message.started.isEmpty())
        message.started = time;
    message.references += r.references;
    message.partsSent = r.partsSent;
    switch (r.outcome) {
    case SubmitDialogue::Outcome::Sent:
        m_nNetworkWaitMs = 0;
        Finish(message, time, true);
        return {};
    case SubmitDialogue::Outcome::Refused:
    case SubmitDialogue::Outcome::NoAnswer:
        if (r.outcome == SubmitDialogue::Outcome::Refused && !r.answer.finalLine.isEmpty())
            qWarning() << "message to" << message.record.m_strTPA << "refused:" << r.answer.finalLine;
        Finish(message, time, false);
        return {};
    case SubmitDialogue::Outcome::NotHandedOver:
        // Nothing of it reached the modem (since the parts that went): first again in the
        // queue, for the next free modem.
        m_ctx.desk.GiveBack(message, false);
        return {};
    case SubmitDialogue::Outcome::Held:
        if (hold == IModemDesk::Hold::Withdrawn)
            return {}; // the desk dropped it: nobody wants it any more
        m_ctx.desk.GiveBack(message, false);
        return {Then::Nothing, WorkerContext::NowMs() + timeouts.dbRetryMs};
    case SubmitDialogue::Outcome::NetworkMissing:
    case SubmitDialogue::Outcome::SimNotReady:
        break;
    }
    // It never reached the network: sent again once the modem is ready, which is no
    // duplicate; its kept row says so again, so that a run ending meanwhile leaves it to the
    // next to send. Another modem that is ready takes it meanwhile; this one takes nothing
    // while it waits.
    qWarning() << "message to" << message.record.m_strTPA << "waits:" << r.answer.finalLine;
    m_ctx.desk.GiveBack(message, marked && message.partsSent == 0);
    // The modem is asked what it lacks. Should it say it has it all the same, the next try
    // waits a little longer each time.
    m_nNetworkWaitMs = std::clamp<qint64>(2 * m_nNetworkWaitMs, timeouts.registrationPollMs,
                                          qMax(timeouts.registrationPollMs, timeouts.networkRetryMaxMs));
    const bool network = r.outcome == SubmitDialogue::Outcome::NetworkMissing;
    return {network ? Then::CheckRegistration : Then::CheckSim, WorkerContext::NowMs() + m_nNetworkWaitMs};
}

void MessageSender::Finish(const Outgoing &message, const QString &time, bool sent)
{
    m_ctx.desk.Finished(message, time, sent, m_ctx.config.requestReports);
}
