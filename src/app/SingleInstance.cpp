#include "SingleInstance.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

SingleInstance::SingleInstance(const QString &dir)
{
    QString where = dir;
    if (where.isEmpty())
        where = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (where.isEmpty())
        where = QDir::tempPath();
    QDir().mkpath(where);
    m_strPath = QDir(where).absoluteFilePath(QStringLiteral("skevo.lock"));
    m_lock = std::make_unique<QLockFile>(m_strPath);
    // A running instance may hold the lock for months: only a dead owner makes it stale.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::TryAcquire()
{
    return m_lock->isLocked() || m_lock->tryLock(0);
}
