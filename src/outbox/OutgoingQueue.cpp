#include "OutgoingQueue.h"

namespace {

// The worker gets text of its own: a record whose strings the producer still shares would
// leave two threads counting and freeing one buffer, partly inside Qt where no race checker
// sees the count.
Outgoing Own(const Outgoing &m)
{
    Outgoing out = m;
    for (QString *s : {&out.record.m_strSCA, &out.record.m_strTPA, &out.record.m_strSCTS, &out.record.m_strUD})
        s->detach();
    return out;
}

} // namespace

void OutgoingQueue::Append(const QVector<Outgoing> &messages)
{
    std::lock_guard lock(m_mutex);
    for (const Outgoing &m : messages) {
        m_queue.push_back(Own(m));
        if (m.outboxKey > 0)
            m_owned.insert(m.outboxKey);
    }
}

void OutgoingQueue::Prepend(const QVector<Outgoing> &messages)
{
    std::lock_guard lock(m_mutex);
    for (auto it = messages.crbegin(); it != messages.crend(); ++it) {
        m_queue.push_front(Own(*it));
        if (it->outboxKey > 0)
            m_owned.insert(it->outboxKey);
    }
}

std::optional<Outgoing> OutgoingQueue::TakeFront(int port)
{
    std::lock_guard lock(m_mutex);
    // Messages bound to another modem stand only at the front (returned there), so the search
    // is short.
    for (auto it = m_queue.begin(); it != m_queue.end(); ++it) {
        if (it->port != 0 && it->port != port)
            continue;
        Outgoing m = std::move(*it);
        m_queue.erase(it);
        ++m_nInHand;
        return m;
    }
    return std::nullopt;
}

void OutgoingQueue::ReturnFront(const Outgoing &message)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_front(message);
        --m_nInHand;
    }
    if (m_returned)
        m_returned();
}

void OutgoingQueue::Done(const Outgoing &message)
{
    std::lock_guard lock(m_mutex);
    if (message.outboxKey > 0)
        m_owned.erase(message.outboxKey);
    --m_nInHand;
}

QVector<Outgoing> OutgoingQueue::TakeQueued(qint32 order)
{
    std::lock_guard lock(m_mutex);
    QVector<Outgoing> taken;
    std::deque<Outgoing> kept;
    for (Outgoing &m : m_queue) {
        if (m.partsSent > 0 || (order != kEveryOrder && m.record.m_nID != order)) {
            kept.push_back(std::move(m));
            continue;
        }
        if (m.outboxKey > 0)
            m_owned.erase(m.outboxKey);
        taken.append(std::move(m));
    }
    m_queue.swap(kept);
    return taken;
}

bool OutgoingQueue::Owns(qint64 outboxKey) const
{
    std::lock_guard lock(m_mutex);
    return m_owned.count(outboxKey) > 0;
}

int OutgoingQueue::Count() const
{
    std::lock_guard lock(m_mutex);
    return int(m_queue.size()) + m_nInHand;
}
