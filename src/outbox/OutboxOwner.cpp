#include "OutboxOwner.h"

#include <QFile>
#include <QMutex>
#include <QSet>
#include <QStringList>
#include <QSysInfo>

#include <atomic>
#include <cerrno>
#include <unistd.h>

namespace {

QMutex g_mutex;
QSet<QString> &LiveTokens()
{
    static QSet<QString> tokens;
    return tokens;
}
std::atomic<quint64> g_nSerial{0};

QByteArray ReadSmall(const QString &path, int *error = nullptr)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.error() == QFileDevice::OpenError && !QFile::exists(path) ? ENOENT : EACCES;
        return {};
    }
    return f.readAll();
}

// This boot of this kernel, and the process namespace: process ids compare only within both.
QString Machine()
{
    static const QString machine = [] {
        const QString boot = QString::fromLatin1(ReadSmall(QStringLiteral("/proc/sys/kernel/random/boot_id")).trimmed());
        const QString ns = QFile::symLinkTarget(QStringLiteral("/proc/self/ns/pid"));
        QString m = boot + QLatin1Char('|') + ns;
        m.remove(QLatin1Char(':'));
        return m;
    }();
    return machine;
}

// Field 22 of /proc/<pid>/stat: the start time in clock ticks after boot. The command name
// (field 2) may hold spaces and parentheses, so fields are counted after its last ')'.
QString StartTime(qint64 pid, int *error)
{
    const QByteArray stat = ReadSmall(QStringLiteral("/proc/%1/stat").arg(pid), error);
    const int close = int(stat.lastIndexOf(')'));
    if (close < 0)
        return {};
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    return fields.size() > 19 ? QString::fromLatin1(fields[19]) : QString();
}

} // namespace

OutboxOwner::OutboxOwner()
{
    int error = 0;
    const qint64 pid = ::getpid();
    m_strToken = QStringLiteral("%1:%2:%3:%4").arg(Machine()).arg(pid).arg(StartTime(pid, &error)).arg(++g_nSerial);
    QMutexLocker lock(&g_mutex);
    LiveTokens().insert(m_strToken);
}

OutboxOwner::~OutboxOwner()
{
    QMutexLocker lock(&g_mutex);
    LiveTokens().remove(m_strToken);
}

OutboxOwner::Liveness OutboxOwner::Check(const QString &token)
{
    if (token.isEmpty() || token.startsWith(QLatin1String("ended:")))
        return Liveness::Dead;
    const QStringList parts = token.split(QLatin1Char(':'));
    if (parts.size() != 4 || parts[0] != Machine())
        return Liveness::Unknown;
    bool ok = false;
    const qint64 pid = parts[1].toLongLong(&ok);
    if (!ok || pid <= 0)
        return Liveness::Unknown;
    if (pid == ::getpid()) {
        int error = 0;
        if (StartTime(pid, &error) != parts[2])
            return Liveness::Dead; // an earlier process that had our id
        QMutexLocker lock(&g_mutex);
        return LiveTokens().contains(token) ? Liveness::Alive : Liveness::Dead;
    }
    int error = 0;
    const QString started = StartTime(pid, &error);
    if (started.isEmpty())
        return error == ENOENT ? Liveness::Dead : Liveness::Unknown;
    return started == parts[2] ? Liveness::Alive : Liveness::Dead;
}

QString OutboxOwner::HostName()
{
    return QSysInfo::machineHostName();
}
