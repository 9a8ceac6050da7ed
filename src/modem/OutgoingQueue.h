#pragma once
// The outgoing queue shared by the producers (GUI or command-line thread) and the worker.
// Each message carries the key of its T_OUTBOX row (0 when it could not be kept there).
#include "base/SmsRecord.h"

#include <QVector>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <set>

struct Outgoing
{
    SmsRecord record;
    qint64 outboxKey = 0;
    // A concatenated message whose first parts went before the network went away goes on
    // from where it stopped, with the same reference, so that the phone joins all its parts.
    int partsSent = 0;
    quint8 concatRef = 0;
    QVector<int> references; // "+CMGS: <mr>" of the parts sent so far (TS 27.005 3.5.1)
    QString started;         // local time its first part went, once one has
};

class OutgoingQueue
{
public:
    void Append(const QVector<Outgoing> &messages);
    // In front of everything queued, in the order given.
    void Prepend(const QVector<Outgoing> &messages);
    // The oldest message, now in the worker's hands.
    std::optional<Outgoing> TakeFront();
    // A message the worker could not hand to the modem: first again.
    void ReturnFront(const Outgoing &message);
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
};
