#pragma once
// Who a kept outgoing message belongs to. Every engine instance has a token of its own; a
// row of T_OUTBOX carries the token of the instance that queued it, the host and the
// installation (setting.ini) it runs from. Another instance may take such a row over only
// when the owner is no longer running.
//
// On the owner's own machine that is known at once: the token holds the boot, the process
// id and the process's start time (so that a process id given out again is not taken for
// the owner), and, within one process, a registry of live instances. A token of another
// machine (another boot id or process namespace: a host of the same name, a container, a
// reboot) cannot be checked so; the owner then renews a lease on its rows, and a lease that
// ran out means the owner is gone.
#include <QString>

class OutboxOwner
{
public:
    enum class Liveness { Alive, Dead, Unknown };

    OutboxOwner();  // a new token, alive until destruction
    ~OutboxOwner();
    OutboxOwner(const OutboxOwner &) = delete;
    OutboxOwner &operator=(const OutboxOwner &) = delete;

    const QString &Token() const { return m_strToken; }
    // What the rows of an instance that ended normally carry instead of its token: its
    // process may still run, but nothing in it will send them.
    QString EndedToken() const { return QStringLiteral("ended:") + m_strToken; }

    // Whether the instance that made token is still running, as far as this machine can
    // tell. "" (rows of a release that kept no owner) and an ended token are Dead.
    static Liveness Check(const QString &token);
    static QString HostName();

private:
    QString m_strToken;
};
