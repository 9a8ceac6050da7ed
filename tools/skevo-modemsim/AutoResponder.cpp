#include "AutoResponder.h"

namespace {

constexpr quint8 kTypeMask = 0x70;
constexpr quint8 kTypeInternational = 0x10;
constexpr quint8 kTypeAlphanumeric = 0x50;

// The whole text of the message the last submit completes, or nullopt while parts are missing.
std::optional<QString> CompletedText(const QVector<ModemSimulator::Submit> &submits)
{
    const ModemSimulator::Submit &last = submits.constLast();
    if (!last.message.concat)
        return last.message.text;
    const Pdu::ConcatInfo c = *last.message.concat;
    QStringList parts(c.count);
    QVector<bool> have(c.count, false);
    for (auto it = submits.crbegin(); it != submits.crend(); ++it) {
        if (it->messageRef < 0 || !it->message.concat || it->message.number != last.message.number)
            continue;
        const Pdu::ConcatInfo &o = *it->message.concat;
        if (o.ref != c.ref || o.count != c.count || have[o.part - 1])
            continue;
        have[o.part - 1] = true;
        parts[o.part - 1] = it->message.text;
    }
    if (have.contains(false))
        return std::nullopt;
    return parts.join(QString());
}

} // namespace

void AutoResponder::Set(const ModemSimulator::AutoReply &reply)
{
    m_reply = reply;
    m_seen = 0;
}

std::optional<DeliverSpec> AutoResponder::ReplyTo(const QVector<ModemSimulator::Submit> &submits, int concatRef)
{
    if (!m_reply.enabled || submits.isEmpty())
        return std::nullopt;
    const ModemSimulator::Submit &last = submits.constLast();
    if ((last.message.numberType & kTypeMask) == kTypeAlphanumeric)
        return std::nullopt; // no one to answer
    const std::optional<QString> text = CompletedText(submits);
    if (!text)
        return std::nullopt;
    if (m_reply.keyword.isEmpty()) {
        if (m_reply.every <= 0 || ++m_seen % m_reply.every != 0)
            return std::nullopt;
    } else if (!text->contains(m_reply.keyword)) {
        return std::nullopt;
    }
    DeliverSpec spec;
    spec.from = ((last.message.numberType & kTypeMask) == kTypeInternational ? QStringLiteral("+") : QString())
                + last.message.number;
    spec.text = QString(m_reply.text).replace(QStringLiteral("%1"), *text);
    spec.concatRef = concatRef;
    return spec;
}
