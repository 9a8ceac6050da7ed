#include "MessageStore.h"

void MessageStore::SetCapacity(int count)
{
    int highest = 0;
    for (const auto &place : m_places)
        if (place)
            highest = place->index;
    m_places.resize(qMax(qMax(count, 1), highest));
}

int MessageStore::Used() const
{
    int used = 0;
    for (const auto &place : m_places)
        used += place ? 1 : 0;
    return used;
}

std::optional<int> MessageStore::Put(const QString &pdu)
{
    for (int i = 0; i < m_places.size(); ++i) {
        if (!m_places[i]) {
            // A copy of its own: the caller's text may be shared with another thread.
            m_places[i] = Message {i + 1, 0, QString(pdu.constData(), pdu.size())};
            return i + 1;
        }
    }
    return std::nullopt;
}

MessageStore::Message *MessageStore::At(int index)
{
    if (index < 1 || index > m_places.size() || !m_places[index - 1])
        return nullptr;
    return &*m_places[index - 1];
}

bool MessageStore::Delete(int index)
{
    if (index < 1 || index > m_places.size())
        return false;
    m_places[index - 1].reset();
    return true;
}

void MessageStore::DeleteMany(int flag)
{
    for (auto &place : m_places)
        if (place && (flag >= 4 || place->stat == 1))
            place.reset();
}

QVector<MessageStore::Message> MessageStore::List(int stat)
{
    QVector<Message> listed;
    for (auto &place : m_places) {
        if (!place || (stat != 4 && place->stat != stat))
            continue;
        listed.append(*place);
        if (place->stat == 0)
            place->stat = 1;
    }
    return listed;
}

QVector<MessageStore::Message> MessageStore::Held() const
{
    QVector<Message> held;
    for (const auto &place : m_places)
        if (place)
            held.append(*place);
    return held;
}
