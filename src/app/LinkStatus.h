#pragma once
// What the operator reads about the modems: the link panes of the status bar (each modem's
// port, what it waits for, its SIM, its network with the operator, its signal and the messages
// it sent), the tray's tip, the device window's status, skevo-cli's lines, and the line that
// follows a run of messages.
#include "modem/ModemStatus.h"
#include "outbox/OutboxError.h"
#include "outbox/RunTally.h"
#include "outbox/SimState.h"
#include "pool/ModemLink.h"

#include <QString>
#include <QVector>

namespace LinkStatus {
// port "" means not connected ("未连接").
QString PaneText(const QString &port, const ModemStatus &status);
// What a modem that is not ready waits for, e.g. "SIM卡需要PIN码, 请在设备管理中填写" or
// "短信猫未注册到网络, 正在等待..."; "正在连接..." while the modem is first reached; "" when
// it is ready, starting or not connected.
QString ReadinessText(ModemReadiness readiness);
// The same in a few words, for "已放弃: ... (<cause>)"; "" when there is none.
QString CauseText(ModemReadiness readiness);
// What the command line says when the modem is ready again after the readiness given; "" none.
QString BackText(ModemReadiness before);
QString SimText(ModemStatus::Sim sim);                       // "就绪", "需要PIN码", ...; "" unknown
QString RegistrationText(ModemStatus::Registration reg);     // "本地网络", "漫游", ...; "" unknown
QString SignalText(const ModemStatus &status);               // "65%", "未知"; "" not asked
// Why one modem did not connect at the first try: "串口不存在: /dev/ttyUSB0",
// "请检查短信猫是否连接正确", ...
QString FailureText(const ModemLink::Failure &failure);
// The same with the modem named, on one line: "短信猫 COM2: 串口不存在: /dev/ttyS1".
QString FailureLine(const ModemLink::Failure &failure);
// "其余 N 台短信猫已连接"
QString OthersConnectedText(int connected);
// What the operator is told of a connect's first round: "" when every modem answered; for one
// modem why it did not; for a pool each one that did not, and how many others did.
QString ConnectText(const ModemLink::Result &result);
// What the queue or the journal complains of: "发送短信插入数据库出错", "接收短信插入数据库出错",
// or what the database said.
QString ErrorText(const OutboxError &error);

// "发送完成: 成功 N 条, 失败 M 条"
QString RunDoneText(int succeeded, int failed);
// What the message pane says of a run: "正在发送..." while it goes, RunDoneText once it is
// over, "已停止, N 条未发送" after 停止 (until the next run starts); "" before the first run.
QString RunText(const RunTally &tally);

// What a modem is like in a word or two: "就绪", "正在连接", "已断开", "无响应", "需要PIN码",
// "未注册", ...
QString StateWord(ModemReadiness readiness);

// One connected modem as the status bar and the tray show it: its port, its short name, its
// status, what it sent.
struct ModemLine
{
    QString port;
    ModemStatus status;
    int sent = 0;  // messages sent since the connect
    QString name;  // as given in 设备管理; "" : the port's last part
    SimState sim;  // its SIM's counts and limits (sim.counted false: not known)
    QString Name() const;
};
// What a SIM sent today, beside its daily limit, and a limit reached: "今日 120", "今日 120/500",
// "今日 500/500, 已达上限", "今日 80/500, 已达上限 (11:00 恢复)" when the hour or the month is
// full; "" when not counted.
QString SimCountText(const SimState &sim);
// The quiet hours hold the SIM's bulk: "静默时段至 08:00"; "" when they do not.
QString QuietText(const SimState &sim);
// Every SIM is held (HeldUntil()): "所有SIM卡已达发送上限, 将于 2026-12-08 11:00 继续发送", or for
// the quiet hours "静默时段, 群发将于 2026-12-09 08:00 继续"; "" when until is not valid.
QString HeldText(const QVector<SimState> &sims, const QDateTime &until);
// "<name> <state word>" and the signal of a ready modem, then (for a SIM with limits)
// SimCountText and QuietText; brief: "<state word> <name>", so that
// a narrow pane, shortened at its end, still tells what its modem is like.
QString ShortLine(const ModemLine &modem, bool brief = false);
// PaneText and "已发送: N": everything the link knows of the modem.
QString FullLine(const ModemLine &modem);

struct Pane
{
    QString text;
    QString toolTip;
};
// One pane a modem: ShortLine (brief for more than kMaxLinkPanes modems), FullLine in its
// tooltip; the window shortens a pane that does not fit and puts its text in the tooltip too.
// None connected: one pane, "未连接".
QVector<Pane> Panes(const QVector<ModemLine> &modems);
constexpr int kMaxLinkPanes = 4;
} // namespace LinkStatus
