#pragma once
// The outgoing queue shared by the producers (GUI or command-line thread) and the workers of
// every modem: each free modem takes the next message. Each message carries the key of its
// T_OUTBOX row (0 when it could not be kept there).
#include "modem/Outgoing.h"

#include <QVector>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <set>

class OutgoingQueue
{
public:
    void Append(const QVector<Outgoing> &messages);
    // In front of everything queued, in the order given.
    void Prepend(const QVector<Outgoing> &messages);
    // The oldest message the modem numbered port may send, now in its worker's hands.
    std::optional<Outgoing> TakeFront(int port = 0);
    // A message the worker could not hand to the modem: first again, for the next free modem
    // (or, when bound to a port, for that one). Then returned is called.
    void ReturnFront(const Outgoing &message);
    void SetReturned(std::function<void()> returned) { m_returned = std::move(returned); }
    // The worker is done with a message (journalled).
    void Done(const Outgoing &message);
    // Every message still waiting (not the one in the worker's hands, nor one partly sent,
    // which finishes as one in flight does), taken out of the queue; with an order's number
    // only the messages of that order.
    static constexpr qint32 kEveryOrder = std::numeric_limits<qint32>::min();
    QVector<Outgoing> TakeQueued(qint32 order = kEveryOrder);
    // Whether this queue holds (or is sending) the kept row with that key.
    bool Owns(qint64 outboxKey) const;
    int Count() const; // queued and being sent

private:
    mutable std::mutex m_mutex;
    std::deque<Outgoing> m_queue;
    std::set<qint64> m_owned;
    int m_nInHand = 0;
    std::function<void()> m_returned;
};
