// The desk's side of what keeps a SIM alive: the windows of its limits counted from the
// journal (so every station and every restart sees the same count, and the count follows the
// SIM to another port), the pause between two of its submits, and the quiet hours.
#include "Outbox.h"
#include "OutboxDesk.h"
#include "sms/PduCodec.h"

namespace {
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
}

void OutboxDesk::SetRules(const SimRules &rules)
{
    std::lock_guard lock(m_rulesMutex);
    m_rules = rules;
}

SimRules OutboxDesk::Rules() const
{
    std::lock_guard lock(m_rulesMutex);
    return m_rules;
}

QString OutboxDesk::LocalTime() const
{
    return m_outbox.Now().toString(kTimeFormat);
}

bool OutboxDesk::MayClaim(qint64 nowMs, const QDateTime &now, bool *repliesOnly)
{
    const SimRules rules = Rules();
    const QDateTime quiet = rules.IsQuiet(now) ? rules.QuietEnds(now) : QDateTime();
    *repliesOnly = quiet.isValid();
    if (quiet != m_sim.quietUntil) {
        m_sim.quietUntil = quiet;
        Publish();
    }
    if (nowMs < m_nPauseUntilMs)
        return false;
    if (m_strSim.isEmpty())
        return true; // a SIM that gives no identity cannot be counted
    if (!rules.HasLimit()) {
        if (m_sim.count.full || !(m_sim.count.rules == rules)) {
            m_sim.count.rules = rules;
            m_sim.count.Judge(now);
            Publish();
        }
        return true;
    }
    // A full window is not counted again before it rolls, unless the limits changed.
    if (m_sim.count.full && m_sim.count.rules == rules && now < m_sim.count.roomAt)
        return false;
    Recount(now);
    return m_sim.counted && !m_sim.count.full;
}

bool OutboxDesk::Fits(const Outgoing &message, const QDateTime &now)
{
    if (m_strSim.isEmpty() || !m_sim.count.rules.HasLimit())
        return true;
    const int parts = qMax(1, Pdu::MessageCount(message.record.m_strUD));
    if (parts == 1)
        return true; // MayClaim found room for one
    SimCount judged = m_sim.count;
    judged.Judge(now, parts);
    if (!judged.full)
        return true;
    m_sim.count = judged;
    Publish();
    return false;
}

void OutboxDesk::Recount(const QDateTime &now)
{
    if (!m_pDb || m_strSim.isEmpty())
        return;
    SimCount count;
    count.rules = Rules();
    const QDateTime hour = SimRules::HourStart(now);
    const QDateTime day = SimRules::DayStart(now);
    // Today's count is always told. The month's days before today no longer change: they are
    // read once a day (the SIM's whole month), and each count after that reads today only.
    const bool month = count.rules.limitMonth > 0 && !(m_monthBefore.first == day);
    const QDateTime earliest = month ? SimRules::MonthStart(now) : qMin(hour, day);
    RecordsetPtr rs = m_pDb->OpenRecordset(Sql::SendSimCount, {hour.toString(kTimeFormat), day.toString(kTimeFormat),
                                                              m_strSim, earliest.toString(kTimeFormat)});
    try {
        if (!rs->IsOpen() || rs->IsEOF()) {
            m_sim.counted = false; // not known: a limited SIM waits until it is
            return;
        }
        count.hour = rs->GetFieldValue(0).toInt();
        count.day = rs->GetFieldValue(1).toInt();
        if (month)
            m_monthBefore = {day, rs->GetFieldValue(2).toInt() - count.day};
        count.month = count.rules.limitMonth > 0 ? m_monthBefore.second + count.day : 0;
    } catch (const CDbError &) {
        m_sim.counted = false;
        return;
    }
    count.Judge(now);
    m_sim.count = count;
    m_sim.counted = true;
    Publish();
}

void OutboxDesk::Publish()
{
    if (!m_sim.sim.isEmpty() || !m_sim.port.isEmpty())
        m_outbox.SimChanged(m_nQueuePort, m_sim);
}
