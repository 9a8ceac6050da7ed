// Making the connection of a CDbAccess, and making it again when it is lost or when the
// settings name another database.
#include "CDbAccess.h"

#include "CDbAccessPrivate.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QThread>

#include <atomic>

using namespace DbDetail;

namespace {

std::atomic<quint64> g_nNextConnection{0};

} // namespace

QString CDbAccess::QtDriverName(DbSettings::Driver driver)
{
    return driver == DbSettings::Postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
}

bool CDbAccess::IsDriverAvailable(DbSettings::Driver driver)
{
    return QSqlDatabase::isDriverAvailable(QtDriverName(driver));
}

bool CDbAccess::Connect()
{
    const CallScope call(d->m_nCallDepth, d->m_lastMessages);
    const DbSettings s = d->m_settings ? d->m_settings() : DbSettings();
    d->m_conn.reset(); // recordsets still being read keep the old connection alive

    auto c = std::make_shared<Connection>();
    c->m_strName = QStringLiteral("skevo-db-%1").arg(++g_nNextConnection);
    c->m_driver = s.m_driver;
    c->m_pThread = QThread::currentThread();
    c->m_settings = s;
    c->m_db = QSqlDatabase::addDatabase(QtDriverName(s.m_driver), c->m_strName);
    if (s.m_driver == DbSettings::Sqlite) {
        const QString file = QFileInfo(s.m_strSqliteFile.isEmpty() ? s.m_strData + QStringLiteral(".db")
                                                                   : s.m_strSqliteFile)
                                 .absoluteFilePath();
        c->m_db.setDatabaseName(file);
        // The modem worker writes through a connection of its own: wait for its lock
        // instead of failing at once.
        c->m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kSqliteBusyMs));
        c->m_strTarget = QStringLiteral("sqlite:") + file;
    } else {
        // A host that is a directory is the folder of the server's Unix socket (libpq's rule).
        c->m_db.setHostName(s.m_strHost);
        c->m_db.setPort(s.m_nPort);
        c->m_db.setUserName(s.m_strUser);
        c->m_db.setPassword(s.m_strPsw);
        c->m_db.setDatabaseName(s.m_strData);
        c->m_db.setConnectOptions(QStringLiteral("connect_timeout=5"));
        c->m_strTarget = QStringLiteral("postgres:%1:%2/%3").arg(s.m_strHost).arg(s.m_nPort).arg(s.m_strData);
    }
    d->m_conn = c;
    d->m_bBroken = true; // until the open below succeeds

    QString error;
    if (!c->m_db.open()) {
        error = Describe(c->m_db.lastError());
    } else if (s.m_driver == DbSettings::Sqlite) {
        // The first read is the one that finds a file that is no database. Write-ahead
        // logging lets the modem worker write while the GUI reads.
        if (d->RunPlain(QStringLiteral("PRAGMA schema_version"), &error) && d->SetWal(&error)) {
            d->RunPlain(QStringLiteral("PRAGMA synchronous=NORMAL"), nullptr);
            d->RunPlain(QStringLiteral("PRAGMA foreign_keys=ON"), nullptr);
        } else {
            c->m_db.close();
        }
    } else {
        // As SQLite's busy time-out: a statement waits for another connection's lock this
        // long, then fails and says so, so that no exit or stop waits on a lock for long.
        d->RunPlain(QStringLiteral("SET lock_timeout = %1").arg(kSqliteBusyMs), nullptr);
    }
    if (!c->m_db.isOpen()) {
        d->m_strLastError = error;
        d->Report(ConnectPrefix() + error);
        return false;
    }
    d->m_bBroken = false;
    EnsureSchema();
    d->m_strLastError.clear();
    return true;
}

bool CDbAccess::EnsureConnected()
{
    if (d->Usable()) {
        // Settings saved meanwhile (the login dialog's, say) take effect at the next statement
        // on every connection alike; a transaction finishes where it began.
        if (d->m_nTxDepth > 0 || !d->m_settings || d->m_settings().SameConnection(d->m_conn->m_settings))
            return true;
        d->m_conn.reset(); // recordsets still being read keep the old connection alive
    }
    if (d->m_nTxDepth > 0) {
        // A new connection would run the rest of the transaction's statements outside it.
        d->m_strLastError = LostInTransaction();
        return false;
    }
    return Connect();
}

bool CDbAccess::Recover()
{
    if (d->m_nTxDepth > 0) {
        if (!d->m_conn || !d->m_conn->m_db.isOpen())
            d->m_bBroken = true;
        return false;
    }
    if (!d->Lost())
        return false;
    // Only a statement that never reached the server is tried again: the link was found
    // gone, so the failed statement did not run.
    d->m_bBroken = true;
    return Connect();
}
