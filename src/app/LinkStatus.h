#pragma once
// What the operator reads about the modem: the link pane of the status bar (the port, what
// the modem waits for, the SIM, the network with its operator, the signal), the tray's tip,
// the device window's status, skevo-cli's lines, and the line after a run of messages.
#include "modem/ModemStatus.h"

#include <QString>

namespace LinkStatus {
// port "" means not connected ("未连接").
QString PaneText(const QString &port, const ModemStatus &status);
// What a modem that is not ready waits for, e.g. "SIM卡需要PIN码, 请在设备管理中填写" or
// "短信猫未注册到网络, 正在等待..."; "" when it is ready, starting or not connected.
QString ReadinessText(ModemReadiness readiness);
// The same in a few words, for "已放弃: ... (<cause>)"; "" when there is none.
QString CauseText(ModemReadiness readiness);
// What the command line says when the modem is ready again after the readiness given; "" none.
QString BackText(ModemReadiness before);
QString SimText(ModemStatus::Sim sim);                       // "就绪", "需要PIN码", ...; "" unknown
QString RegistrationText(ModemStatus::Registration reg);     // "本地网络", "漫游", ...; "" unknown
QString SignalText(const ModemStatus &status);               // "65%", "未知"; "" not asked
// "发送完成: 成功 N 条, 失败 M 条"
QString RunDoneText(int succeeded, int failed);
} // namespace LinkStatus
