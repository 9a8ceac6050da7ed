#include "OutgoingQueue.h"

void OutgoingQueue::Append(const QVector<Outgoing> &messages)
{
    std::lock_guard lock(m_mutex);
    for (const Outgoing &m : messages) {
        m_queue.push_back(m);
        if (m.outboxKey > 0)
            m_owned.insert(m.outboxKey);
    }
}

void OutgoingQueue::Prepend(const QVector<Outgoing> &messages)
{
    std::lock_guard lock(m_mutex);
    for (auto it = messages.crbegin(); it != messages.crend(); ++it) {
        m_queue.push_front(*it);
        if (it->outboxKey > 0)
            m_owned.insert(it->outboxKey);
    }
}

std::optional<Outgoing> OutgoingQueue::TakeFront()
{
    std::lock_guard lock(m_mutex);
    if (m_queue.empty())
        return std::nullopt;
    Outgoing m = std::move(m_queue.front());
    m_queue.pop_front();
    ++m_nInHand;
    return m;
}

void OutgoingQueue::ReturnFront(const Outgoing &message)
{
    std::lock_guard lock(m_mutex);
    m_queue.push_front(message);
    --m_nInHand;
}

void OutgoingQueue::Done(const Outgoing &message)
{
    std::lock_guard lock(m_mutex);
    if (message.outboxKey > 0)
        m_owned.erase(message.outboxKey);
    --m_nInHand;
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
