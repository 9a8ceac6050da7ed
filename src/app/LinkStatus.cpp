#include "LinkStatus.h"

namespace LinkStatus {

QString PaneText(const QString &port, const std::optional<SignalQuality> &signal)
{
    if (port.isEmpty())
        return QStringLiteral("未连接");
    if (!signal)
        return port;
    if (!signal->IsKnown())
        return port + QStringLiteral("  信号: 未知");
    return port + QStringLiteral("  信号: %1%").arg(signal->Percent());
}

QString RunDoneText(int succeeded, int failed)
{
    return QStringLiteral("发送完成: 成功 %1 条, 失败 %2 条").arg(succeeded).arg(failed);
}

} // namespace LinkStatus
