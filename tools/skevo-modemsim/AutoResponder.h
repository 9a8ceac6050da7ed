#pragma once
// Answers sent messages as their recipients would: every n-th message, or each one whose
// text holds a keyword, brings an arrival from its destination. A concatenated message
// counts once, when its last part is in. Called with the simulator's mutex held.
#include "ModemSimulator.h"

#include <optional>

class AutoResponder
{
public:
    void Set(const ModemSimulator::AutoReply &reply);
    int DelayMs() const { return m_reply.delayMs; }
    // The arrival that answers the last of submits, or nullopt when none is due.
    // concatRef: the reference its parts carry when it is long.
    std::optional<DeliverSpec> ReplyTo(const QVector<ModemSimulator::Submit> &submits, int concatRef);

private:
    ModemSimulator::AutoReply m_reply;
    int m_seen = 0;
};
