#include "LinkNotices.h"

#include <QStringList>

namespace {

bool CanSend(ModemReadiness r)
{
    // A modem still setting up will most likely send in a moment.
    return r == ModemReadiness::Ready || r == ModemReadiness::Starting || r == ModemReadiness::Connecting
        || r == ModemReadiness::NotConnected;
}

// The trouble a notice is about, or Ready for none. A device gone and a device silent are one
// trouble to the operator: the worker's tries go from one to the other.
ModemReadiness Trouble(ModemReadiness r)
{
    if (r == ModemReadiness::DeviceGone || r == ModemReadiness::NotAnswering)
        return ModemReadiness::DeviceGone;
    return ModemStatus::NeedsOperator(r) ? r : ModemReadiness::Ready;
}

QString StateText(const LinkStatus::ModemLine &m)
{
    const ModemReadiness r = m.status.Readiness();
    if (r == ModemReadiness::Ready) {
        const QString signal = LinkStatus::SignalText(m.status);
        return signal.isEmpty() ? QStringLiteral("就绪") : QStringLiteral("就绪, 信号 ") + signal;
    }
    const QString waiting = LinkStatus::ReadinessText(r);
    return waiting.isEmpty() ? QStringLiteral("正在连接...") : waiting;
}

} // namespace

QString LinkNotices::TipText(const QVector<LinkStatus::ModemLine> &modems)
{
    if (modems.isEmpty())
        return QStringLiteral("电脑与短信猫未连接");
    bool up = false;
    for (const LinkStatus::ModemLine &m : modems)
        up = up || CanSend(m.status.Readiness());
    QStringList lines{up ? QStringLiteral("电脑与短信猫已连接") : QStringLiteral("短信猫都未就绪, 暂时不能发送")};
    for (const LinkStatus::ModemLine &m : modems)
        lines << m.Name() + QStringLiteral(": ") + StateText(m);
    return lines.join(QLatin1Char('\n'));
}

std::optional<LinkNotices::Notice> LinkNotices::Update(const QVector<LinkStatus::ModemLine> &modems)
{
    QStringList lines;
    bool up = false;
    for (const LinkStatus::ModemLine &m : modems) {
        const ModemReadiness r = m.status.Readiness();
        up = up || CanSend(r);
        if (r == ModemReadiness::Ready) {
            m_told.remove(m.port);
            m_bServed = true;
            continue;
        }
        const ModemReadiness trouble = Trouble(r);
        if (trouble == ModemReadiness::Ready || m_told.value(m.port, ModemReadiness::Ready) == trouble)
            continue;
        m_told.insert(m.port, trouble);
        lines << m.Name() + QStringLiteral(": ") + LinkStatus::ReadinessText(r);
    }
    if (up) {
        m_bAllWaitingTold = false;
    } else if (modems.size() > 1 && m_bServed && !m_bAllWaitingTold) {
        // A pool that sent and now cannot: the network, or every SIM, waits. At the connect the
        // modems register one after the other, which is no news.
        m_bAllWaitingTold = true;
        lines << QStringLiteral("所有短信猫都在等待, 暂时不能发送短信");
    }
    if (lines.isEmpty())
        return std::nullopt;
    return Notice{QStringLiteral("Skevo 短信猫"), lines.join(QLatin1Char('\n'))};
}

void LinkNotices::Reset()
{
    m_told.clear();
    m_bServed = false;
    m_bAllWaitingTold = false;
}
