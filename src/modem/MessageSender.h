#pragma once
// The sending job of one modem's worker: builds a message's PDUs, has the desk mark it as in
// the modem's hands before the first PDU goes, hands its parts over (SubmitDialogue) and gives
// the desk what became of it. What the modem's refusal says of the modem itself (no network,
// the SIM not ready) goes back to the worker's loop, which asks the modem again.
#include "WorkerContext.h"

class MessageSender
{
public:
    explicit MessageSender(WorkerContext &context);

    enum class Then { Nothing, CheckRegistration, CheckSim };
    struct After
    {
        Then then = Then::Nothing;
        qint64 holdUntilMs = 0; // no send before this (steady clock); 0: none
    };
    After Send(Outgoing message);

private:
    void Finish(const Outgoing &message, const QString &time, bool sent);

    WorkerContext &m_ctx;
    qint64 m_nNetworkWaitMs = 0; // how long the next refusal for want of network holds the sends
};
