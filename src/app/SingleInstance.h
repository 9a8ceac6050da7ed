#pragma once
// One Skevo per user at a time: a lock file in the user's runtime directory, held for the
// life of the process. A lock left by a process that has died is taken over.
#include <QString>
#include <memory>

class QLockFile;

class SingleInstance
{
public:
    // dir: where the lock lives ("" = the user's runtime directory).
    explicit SingleInstance(const QString &dir = QString());
    ~SingleInstance();

    // False when another running process holds the lock.
    bool TryAcquire();
    QString LockPath() const { return m_strPath; }

    static QString AlreadyRunningText() { return QStringLiteral("应用程序已经在运行!"); }

private:
    QString m_strPath;
    std::unique_ptr<QLockFile> m_lock;
};
