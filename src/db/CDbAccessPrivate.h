#pragma once
// The inside of a CDbAccess, shared by the files that implement it: the connection in use and
// the ways of running statements on it.
#include "CDbAccess.h"
#include "DbConnection.h"
#include "DbValues.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QThread>

#include <memory>
#include <optional>

struct CDbAccess::Private
{
    SettingsSource m_settings;
    ErrorSink m_sink;
    QString m_strLastError;
    QStringList m_lastMessages; // what the last call reported, for callers that show it
    int m_nCallDepth = 0;
    std::shared_ptr<DbDetail::Connection> m_conn;
    bool m_bBroken = false;
    int m_nTxDepth = 0;
    mutable int m_nRowsAffected = -1; // of the last statement RunCached ran

    void Report(const QString &text)
    {
        m_lastMessages.append(text);
        if (m_sink)
            m_sink(text);
    }

    bool Usable() const
    {
        return m_conn && !m_bBroken && m_conn->m_db.isOpen() && m_conn->m_pThread == QThread::currentThread();
    }

    bool IsPg() const { return m_conn && m_conn->m_driver == DbSettings::Postgres; }

    // Whether the connection is gone. A PostgreSQL server that restarted or dropped us is
    // only noticed by using the link, so a cheap statement tells; a SQLite file stays open.
    bool Lost() const
    {
        if (!m_conn || !m_conn->m_db.isOpen())
            return true;
        if (!IsPg())
            return false;
        QSqlQuery probe(m_conn->m_db);
        return !probe.exec(QStringLiteral("SELECT 1"));
    }

    bool RunPlain(const QString &sql, QString *error) const
    {
        QSqlQuery q(m_conn->m_db);
        if (q.exec(sql))
            return true;
        if (error)
            *error = DbDetail::Describe(q.lastError());
        return false;
    }

    // Switching a new file to write-ahead logging needs it alone for a moment, and SQLite
    // does not wait for that by itself: two connections meeting a new file at once wait
    // here, within the busy time-out.
    bool SetWal(QString *error) const
    {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            QSqlQuery q(m_conn->m_db);
            if (q.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
                return true;
            const QString code = q.lastError().nativeErrorCode();
            const bool busy = code == QStringLiteral("5") || code == QStringLiteral("6"); // SQLITE_BUSY, SQLITE_LOCKED
            if (!busy || waited.elapsed() > DbDetail::kSqliteBusyMs) {
                *error = DbDetail::Describe(q.lastError());
                return false;
            }
            QThread::msleep(10);
        }
    }

    std::optional<QSqlQuery> RunQuery(const QString &text, const QVariantList &values, QString *error) const
    {
        QSqlQuery q(m_conn->m_db);
        // SQLite steps through its result as it is read. QPSQL reads a forward-only result row
        // by row from the socket and loses it when another statement runs on the connection;
        // callers keep recordsets and read others inside their loops, so PostgreSQL results
        // are fetched whole.
        q.setForwardOnly(m_conn->m_driver == DbSettings::Sqlite);
        if (!q.prepare(text)) {
            *error = DbDetail::Describe(q.lastError());
            return std::nullopt;
        }
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, DbDetail::BindValue(values.at(i)));
        if (!q.exec()) {
            *error = DbDetail::Describe(q.lastError());
            return std::nullopt;
        }
        return q;
    }

    bool RunCached(Sql id, const QVariantList &values, QVector<qint64> *keys, QString *error) const
    {
        m_conn->SettleReads();
        const QString text = SqlCatalogue::Text(id, m_conn->m_driver);
        if (DbDetail::PlaceholderCount(text) != values.size()) {
            *error = QStringLiteral("Parameter count mismatch: the statement takes %1 values, %2 given")
                         .arg(DbDetail::PlaceholderCount(text))
                         .arg(values.size());
            return false;
        }
        auto &prepared = m_conn->m_prepared;
        auto it = prepared.find(id);
        if (it == prepared.end()) {
            QSqlQuery q(m_conn->m_db);
            q.setForwardOnly(true);
            if (!q.prepare(text)) {
                *error = DbDetail::Describe(q.lastError());
                return false;
            }
            it = prepared.emplace(id, std::move(q)).first;
        }
        QSqlQuery &q = it->second;
        m_nRowsAffected = -1;
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, DbDetail::BindValue(values.at(i)));
        if (!q.exec()) {
            *error = DbDetail::Describe(q.lastError());
            // Prepared again next time, in case the tables changed under it. Not inside a
            // transaction: PostgreSQL refuses to free it there once a statement has failed.
            if (m_nTxDepth == 0 && m_conn->m_db.isOpen())
                prepared.erase(it);
            return false;
        }
        m_nRowsAffected = q.numRowsAffected();
        if (keys) {
            keys->clear();
            if (q.isSelect()) {
                // SQLite inserts a RETURNING statement's rows as they are read: read them all.
                while (q.next())
                    keys->append(q.value(0).toLongLong());
            } else {
                const QVariant last = q.lastInsertId();
                keys->append(last.isValid() ? last.toLongLong() : 0);
            }
        }
        q.finish();
        return true;
    }

    bool Begin(QString *error) const
    {
        if (IsPg()) {
            if (m_conn->m_db.transaction())
                return true;
            *error = DbDetail::Describe(m_conn->m_db.lastError());
            return false;
        }
        // Take the write lock at once: a deferred transaction that reads first could find,
        // when it comes to write, that the other connection (the modem worker's) wrote
        // meanwhile, and SQLite would refuse it without waiting.
        m_conn->SettleReads();
        return RunPlain(QStringLiteral("BEGIN IMMEDIATE"), error);
    }

    bool Commit(QString *error) const
    {
        if (IsPg()) {
            // QPSQL notices a COMMIT that the server turned into a ROLLBACK.
            if (m_conn->m_db.commit())
                return true;
            *error = DbDetail::Describe(m_conn->m_db.lastError());
            return false;
        }
        return RunPlain(QStringLiteral("COMMIT"), error);
    }

    void Rollback() const
    {
        if (!m_conn || !m_conn->m_db.isOpen())
            return;
        if (IsPg())
            m_conn->m_db.rollback();
        else
            RunPlain(QStringLiteral("ROLLBACK"), nullptr);
    }
};

namespace DbDetail {
// Marks one call of the public interface: the messages of a call start empty, and those of
// the statements a call runs inside itself (a connect, a transaction's body) belong to it.
class CallScope
{
public:
    CallScope(int &depth, QStringList &messages) : m_depth(depth)
    {
        if (m_depth++ == 0)
            messages.clear();
    }
    ~CallScope() { --m_depth; }

private:
    int &m_depth;
};
} // namespace DbDetail
