#include "ConcatAssembler.h"

std::optional<ConcatAssembler::Whole> ConcatAssembler::Add(int ref, int part, int count, const SmsRecord &record,
                                                           int index, qint64 nowMs, const QString &pdu)
{
    const Key key{record.m_strTPA, ref, count};
    auto it = m_sets.find(key);
    if (it == m_sets.end()) {
        Set set;
        set.count = count;
        set.firstSeenMs = nowMs;
        it = m_sets.emplace(key, std::move(set)).first;
    }
    Set &set = it->second;
    if (index >= 0 && !set.indexes.contains(index))
        set.indexes.append(index);
    // A part delivered twice keeps its first copy; the second one is deleted with the rest.
    set.parts.emplace(part, record);
    set.pdus.emplace(part, pdu);
    if (int(set.parts.size()) < count)
        return std::nullopt;
    Whole whole = Join(set, true);
    m_sets.erase(it);
    return whole;
}

QVector<ConcatAssembler::Whole> ConcatAssembler::TakeExpired(qint64 nowMs, qint64 maxAgeMs)
{
    QVector<Whole> expired;
    for (auto it = m_sets.begin(); it != m_sets.end();) {
        if (nowMs - it->second.firstSeenMs >= maxAgeMs) {
            expired.append(Join(it->second, false));
            it = m_sets.erase(it);
        } else {
            ++it;
        }
    }
    return expired;
}

bool ConcatAssembler::HoldsIndex(int index) const
{
    for (const auto &[key, set] : m_sets) {
        if (set.indexes.contains(index))
            return true;
    }
    return false;
}

void ConcatAssembler::ForgetIndex(int index)
{
    for (auto &[key, set] : m_sets)
        set.indexes.removeAll(index);
}

ConcatAssembler::Whole ConcatAssembler::Join(const Set &set, bool complete)
{
    Whole whole;
    whole.complete = complete;
    whole.indexes = set.indexes;
    for (const auto &[number, pdu] : set.pdus)
        whole.pdus << pdu;
    bool first = true;
    for (const auto &[number, part] : set.parts) {
        if (first) {
            whole.record = part;
            whole.record.m_strUD.clear();
            first = false;
        }
        whole.record.m_strUD += part.m_strUD;
    }
    return whole;
}
