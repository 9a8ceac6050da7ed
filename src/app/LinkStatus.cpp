#include "LinkStatus.h"

#include "base/DeviceSettings.h"

#include <QStringList>
#include <algorithm>

namespace LinkStatus {

QString CauseText(ModemReadiness readiness)
{
    switch (readiness) {
    case ModemReadiness::DeviceGone:
        return QStringLiteral("短信猫已断开");
    case ModemReadiness::NotAnswering:
        return QStringLiteral("短信猫没有响应");
    case ModemReadiness::NoPduMode:
        return QStringLiteral("短信猫不支持PDU模式");
    case ModemReadiness::NoSim:
        return QStringLiteral("没有SIM卡");
    case ModemReadiness::SimUnusable:
        return QStringLiteral("SIM卡不可用");
    case ModemReadiness::PinNeeded:
        return QStringLiteral("SIM卡需要PIN码, 请在设备管理中填写");
    case ModemReadiness::PinRefused:
        return QStringLiteral("SIM卡PIN码错误");
    case ModemReadiness::PukNeeded:
        return QStringLiteral("SIM卡已锁定(需要PUK码)");
    case ModemReadiness::Searching:
    case ModemReadiness::Denied:
    case ModemReadiness::NotRegistered:
        return QStringLiteral("短信猫未注册到网络");
    case ModemReadiness::PortMissing:
        return QStringLiteral("串口不存在");
    case ModemReadiness::PortUnavailable:
        return QStringLiteral("串口无法打开");
    case ModemReadiness::Ready:
    case ModemReadiness::NotConnected:
    case ModemReadiness::Starting:
    case ModemReadiness::Connecting:
        break;
    }
    return QString();
}

QString ReadinessText(ModemReadiness readiness)
{
    switch (readiness) {
    case ModemReadiness::Connecting:
        return QStringLiteral("正在连接...");
    case ModemReadiness::DeviceGone:
    case ModemReadiness::NotAnswering:
    case ModemReadiness::PortMissing:
    case ModemReadiness::PortUnavailable:
        return CauseText(readiness) + QStringLiteral(", 正在重新连接...");
    case ModemReadiness::Searching:
    case ModemReadiness::Denied:
    case ModemReadiness::NotRegistered:
        return CauseText(readiness) + QStringLiteral(", 正在等待...");
    default:
        return CauseText(readiness);
    }
}

QString BackText(ModemReadiness before)
{
    switch (before) {
    case ModemReadiness::DeviceGone:
    case ModemReadiness::NotAnswering:
    case ModemReadiness::PortMissing:
    case ModemReadiness::PortUnavailable:
        return QStringLiteral("短信猫已重新连接");
    case ModemReadiness::Searching:
    case ModemReadiness::Denied:
    case ModemReadiness::NotRegistered:
        return QStringLiteral("短信猫已注册到网络");
    default:
        return QString();
    }
}

QString SimText(ModemStatus::Sim sim)
{
    switch (sim) {
    case ModemStatus::Sim::Ready:
        return QStringLiteral("就绪");
    case ModemStatus::Sim::PinNeeded:
        return QStringLiteral("需要PIN码");
    case ModemStatus::Sim::PinRefused:
        return QStringLiteral("PIN码错误");
    case ModemStatus::Sim::PukNeeded:
        return QStringLiteral("已锁定(需要PUK码)");
    case ModemStatus::Sim::Absent:
        return QStringLiteral("没有SIM卡");
    case ModemStatus::Sim::Unusable:
        return QStringLiteral("不可用");
    case ModemStatus::Sim::Unknown:
        break;
    }
    return QString();
}

QString RegistrationText(ModemStatus::Registration reg)
{
    switch (reg) {
    case ModemStatus::Registration::Home:
        return QStringLiteral("本地网络");
    case ModemStatus::Registration::Roaming:
        return QStringLiteral("漫游");
    case ModemStatus::Registration::Searching:
        return QStringLiteral("正在搜索");
    case ModemStatus::Registration::Denied:
        return QStringLiteral("被拒绝");
    case ModemStatus::Registration::NotSearching:
        return QStringLiteral("未注册");
    case ModemStatus::Registration::Unknown:
        break;
    }
    return QString();
}

QString SignalText(const ModemStatus &status)
{
    if (!status.signal)
        return QString();
    if (!status.signal->IsKnown())
        return QStringLiteral("未知");
    return QStringLiteral("%1%").arg(status.signal->Percent());
}

QString PaneText(const QString &port, const ModemStatus &status)
{
    if (port.isEmpty())
        return QStringLiteral("未连接");
    QStringList parts{port};
    const ModemReadiness readiness = status.Readiness();
    const QString waiting = ReadinessText(readiness);
    if (!waiting.isEmpty())
        parts << waiting;
    else if (readiness == ModemReadiness::Ready)
        parts << QStringLiteral("SIM卡就绪");
    const bool answering = status.link == ModemStatus::Link::Answering;
    if (answering && status.sim == ModemStatus::Sim::Ready) {
        const QString network = RegistrationText(status.registration);
        if (!network.isEmpty()) {
            QString text = QStringLiteral("网络: ") + network;
            if (!status.operatorName.isEmpty())
                text += QLatin1Char(' ') + status.operatorName;
            parts << text;
        }
    }
    const QString signal = SignalText(status);
    if (answering && !signal.isEmpty())
        parts << QStringLiteral("信号: ") + signal;
    return parts.join(QStringLiteral("  "));
}

QString FailureText(const ModemLink::Failure &failure)
{
    switch (failure.kind) {
    case ModemLink::Failure::Kind::PortShared:
        return QStringLiteral("该串口已被另一台短信猫使用");
    case ModemLink::Failure::Kind::PortMissing:
        return QStringLiteral("串口不存在: ") + CSerialPort::DevicePath(failure.port);
    case ModemLink::Failure::Kind::PortUnavailable:
        // Another program holding the port is the usual cause.
        return QStringLiteral("打开串口失败,别一个程序正在使用该串口\n请先关闭使用该串口的应用程序");
    case ModemLink::Failure::Kind::NoAnswer:
        break;
    }
    return QStringLiteral("请检查短信猫是否连接正确");
}

QString FailureLine(const ModemLink::Failure &failure)
{
    return QStringLiteral("短信猫 %1: %2").arg(failure.port, FailureText(failure).replace(QLatin1Char('\n'), QLatin1Char(' ')));
}

QString OthersConnectedText(int connected)
{
    return QStringLiteral("其余 %1 台短信猫已连接").arg(connected);
}

QString ConnectText(const ModemLink::Result &result)
{
    if (result.m_failures.isEmpty())
        return QString();
    if (result.m_nPlanned == 1)
        return FailureText(result.m_failures.first());
    QStringList lines;
    for (const ModemLink::Failure &f : result.m_failures)
        lines << FailureLine(f);
    if (result.m_bOk)
        lines << OthersConnectedText(result.m_nConnected);
    return lines.join(QLatin1Char('\n'));
}

QString ErrorText(const OutboxError &error)
{
    switch (error.kind) {
    case OutboxError::Kind::SentNotJournalled:
        return QStringLiteral("发送短信插入数据库出错");
    case OutboxError::Kind::ReceivedNotJournalled:
        return QStringLiteral("接收短信插入数据库出错");
    case OutboxError::Kind::Database:
        break;
    }
    return error.text;
}

QString RunDoneText(int succeeded, int failed)
{
    return QStringLiteral("发送完成: 成功 %1 条, 失败 %2 条").arg(succeeded).arg(failed);
}

QString RunText(const RunTally &tally)
{
    switch (tally.state) {
    case RunTally::State::Sending:
        return QStringLiteral("正在发送...");
    case RunTally::State::Finished:
        // Reports of delivery keep coming after the last send: counted as they come.
        if (tally.delivered + tally.undelivered > 0)
            return RunDoneText(tally.succeeded, tally.failed)
                + QStringLiteral(", 已送达 %1 条, 未送达 %2 条").arg(tally.delivered).arg(tally.undelivered);
        return RunDoneText(tally.succeeded, tally.failed);
    case RunTally::State::Stopped:
        return QStringLiteral("已停止, %1 条未发送").arg(tally.withdrawn);
    case RunTally::State::None:
        break;
    }
    return QString();
}

QString StateWord(ModemReadiness readiness)
{
    switch (readiness) {
    case ModemReadiness::Ready:
        return QStringLiteral("就绪");
    case ModemReadiness::NotConnected:
    case ModemReadiness::Starting:
    case ModemReadiness::Connecting:
        return QStringLiteral("正在连接");
    case ModemReadiness::PortMissing:
        return QStringLiteral("串口不存在");
    case ModemReadiness::PortUnavailable:
        return QStringLiteral("串口无法打开");
    case ModemReadiness::DeviceGone:
        return QStringLiteral("已断开");
    case ModemReadiness::NotAnswering:
        return QStringLiteral("无响应");
    case ModemReadiness::NoPduMode:
        return QStringLiteral("不支持PDU");
    case ModemReadiness::NoSim:
        return QStringLiteral("没有SIM卡");
    case ModemReadiness::SimUnusable:
        return QStringLiteral("SIM卡不可用");
    case ModemReadiness::PinNeeded:
        return QStringLiteral("需要PIN码");
    case ModemReadiness::PinRefused:
        return QStringLiteral("PIN码错误");
    case ModemReadiness::PukNeeded:
        return QStringLiteral("需要PUK码");
    case ModemReadiness::Searching:
    case ModemReadiness::Denied:
    case ModemReadiness::NotRegistered:
        return QStringLiteral("未注册");
    }
    return QString();
}

QString ModemLine::Name() const
{
    return DeviceSettings::ShortName(name, port);
}

namespace {
QString When(const QDateTime &at, const QDateTime &now)
{
    return at.date() == now.date() ? at.toString(QStringLiteral("HH:mm")) : at.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

// The SIM's words after the modem's, for a SIM with limits (its count beside them) or held
// by the quiet hours.
QString SimWords(const ModemLine &m, const QString &separator)
{
    QStringList words;
    if (m.sim.count.rules.HasLimit())
        words << SimCountText(m.sim);
    words << QuietText(m.sim);
    words.removeAll(QString());
    return words.isEmpty() ? QString() : separator + words.join(separator);
}
} // namespace

QString SimCountText(const SimState &sim)
{
    if (!sim.counted)
        return QString();
    const SimCount &c = sim.count;
    QString text = QStringLiteral("今日 %1").arg(c.day);
    if (c.rules.limitDay > 0)
        text += QStringLiteral("/%1").arg(c.rules.limitDay);
    if (!c.full)
        return text;
    text += QStringLiteral(", 已达上限");
    // The day's own limit needs no time: it is tomorrow.
    if (!(c.rules.limitDay > 0 && c.day >= c.rules.limitDay && c.roomAt == SimRules::DayStart(c.roomAt)))
        text += QStringLiteral(" (%1 恢复)").arg(When(c.roomAt, c.roomAt.addSecs(-1)));
    return text;
}

QString QuietText(const SimState &sim)
{
    if (!sim.quietUntil.isValid())
        return QString();
    return QStringLiteral("静默时段至 %1").arg(sim.quietUntil.toString(QStringLiteral("HH:mm")));
}

QString HeldText(const QVector<SimState> &sims, const QDateTime &until)
{
    if (!until.isValid())
        return QString();
    const QString at = until.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const bool anyFull = std::any_of(sims.cbegin(), sims.cend(), [](const SimState &s) { return s.count.full; });
    if (!anyFull)
        return QStringLiteral("静默时段, 群发将于 %1 继续").arg(at);
    return QStringLiteral("所有SIM卡已达发送上限, 将于 %1 继续发送").arg(at);
}

QString ShortLine(const ModemLine &m, bool brief)
{
    const ModemReadiness readiness = m.status.Readiness();
    if (brief)
        return StateWord(readiness) + QLatin1Char(' ') + m.Name();
    QString line = m.Name() + QLatin1Char(' ') + StateWord(readiness);
    if (readiness == ModemReadiness::Ready && m.status.signal && m.status.signal->IsKnown())
        line += QLatin1Char(' ') + SignalText(m.status);
    return line + SimWords(m, QStringLiteral(" "));
}

QString FullLine(const ModemLine &m)
{
    return PaneText(m.port, m.status) + QStringLiteral("  已发送: %1").arg(m.sent) + SimWords(m, QStringLiteral("  "));
}

QVector<Pane> Panes(const QVector<ModemLine> &modems)
{
    if (modems.isEmpty())
        return {Pane{PaneText(QString(), ModemStatus()), QString()}};
    const bool brief = modems.size() > kMaxLinkPanes;
    QVector<Pane> panes;
    for (const ModemLine &m : modems)
        panes.append({ShortLine(m, brief), FullLine(m)});
    return panes;
}

} // namespace LinkStatus
