#include "WorkerContext.h"

#include <QDateTime>
#include <chrono>

AtChannel::Answer WorkerContext::Command(const QByteArray &command)
{
    const ModemTimeouts &t = Timeouts();
    AtChannel::Answer answer;
    for (int attempt = 0; attempt < qMax(1, t.commandAttempts); ++attempt) {
        answer = channel.Command(command, t.commandMs);
        if (answer.status != AtChannel::Status::Timeout)
            return answer;
        channel.Resync(t.commandMs, t.commandAttempts);
    }
    return answer;
}

AtChannel::Answer WorkerContext::CommandOnce(const QByteArray &command)
{
    const ModemTimeouts &t = Timeouts();
    const AtChannel::Answer answer = channel.Command(command, t.commandMs);
    if (answer.status == AtChannel::Status::Timeout)
        channel.Resync(t.commandMs, t.commandAttempts);
    return answer;
}

qint64 WorkerContext::NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString WorkerContext::LocalTime()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
