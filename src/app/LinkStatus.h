#pragma once
// The status bar's texts about the modem: the link pane (the port, or "未连接", and the
// signal strength while connected) and the line after a run of messages has gone out.
#include "modem/SignalQuality.h"

#include <QString>
#include <optional>

namespace LinkStatus {
// port "" means not connected. The strength is shown once the modem has told it.
QString PaneText(const QString &port, const std::optional<SignalQuality> &signal);
// "发送完成: 成功 N 条, 失败 M 条"
QString RunDoneText(int succeeded, int failed);
} // namespace LinkStatus
