#include "CDbAccess.h"

#include "DbTime.h"
#include "Schema.h"
#include "base/PasswordHash.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>

namespace {

QString ExecutePrefix()
{
    return QStringLiteral("SQL数据错误,");
}

// The server's own words when there are any, else the Qt driver's.
QString Describe(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    if (text.isEmpty())
        text = QStringLiteral("Unknown database error");
    return text;
}

QString LostInTransaction()
{
    return QStringLiteral("The connection to the database was lost during a transaction");
}

// A value as it goes to the driver. A null QString would be bound as SQL NULL, which no
// column of ours holds (a NULL makes every later reader fail), so it goes as empty text;
// date-times go in the canonical text both dialects compare correctly.
QVariant BindValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        if (value.toString().isNull())
            return QVariant(QStringLiteral(""));
        return value;
    case QMetaType::QDateTime:
        return DbTime::Format(value.toDateTime());
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    default:
        return value;
    }
}

QString ValueText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QDateTime:
        return DbTime::Format(value.toDateTime());
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return value.toString();
    }
}

int PlaceholderCount(const QString &text)
{
    return int(text.count(QLatin1Char('?')));
}

struct RecordsetState;

// One Qt SQL connection, opened or failed. Recordsets share it, so that it is removed only
// after the last query that reads from it is gone.
struct Connection
{
    QString m_strName;
    QSqlDatabase m_db;
    QThread *m_pThread = nullptr;
    DbSettings::Driver m_driver = DbSettings::Sqlite;
    QString m_strTarget; // which database: the key of the once-per-process schema check
    DbSettings m_settings; // what it was made with
    // Statements run by Execute/Insert stay prepared for the life of the connection: bulk
    // writes (a send list, an order's numbers) then cost one round trip a row.
    std::map<Sql, QSqlQuery> m_prepared;
    // SQLite results still being stepped through. Each holds a read snapshot of the file; a
    // write from this connection after another connection wrote would be refused at once
    // ("database is locked", no waiting helps), so before a write they are read to their end
    // into memory and closed. Only the thread of the connection touches this list.
    QList<RecordsetState *> m_active;

    void SettleReads();

    ~Connection()
    {
        m_prepared.clear();
        if (m_db.isValid())
            m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_strName);
    }
};

std::atomic<quint64> g_nNextConnection{0};

// How long a SQLite statement waits for the other connection's write lock.
constexpr int kSqliteBusyMs = 5000;

std::mutex &SchemaMutex()
{
    static std::mutex mutex;
    return mutex;
}

QSet<QString> &SchemaChecked()
{
    static QSet<QString> targets;
    return targets;
}

// Any number distinct from other users of advisory locks on the server; it serialises the
// schema check of two programs that meet an empty database at the same moment.
constexpr qint64 kSchemaLockKey = 0x536b65766f; // "Skevo"

} // namespace

// ---------------------------------------------------------------------------------------
// CRecordset

namespace {

// What a recordset reads from: a live query, or (once settled) the rows read in advance.
struct RecordsetState
{
    std::shared_ptr<Connection> m_conn; // declared before the query, so destroyed after it
    std::optional<QSqlQuery> m_query;
    bool m_bOpen = false;
    bool m_bEOF = true;
    bool m_bBOF = true;
    QString m_strError;
    QHash<QString, int> m_columns; // as the driver names them, and upper-cased
    int m_nColumns = 0;
    // Settled: the current row and every one after it, the query closed.
    bool m_bSettled = false;
    QList<QVector<QVariant>> m_rows;
    qsizetype m_nRow = 0;
    QString m_strPendingError; // a read error met while settling, raised when reached

    ~RecordsetState() { Detach(); }

    void Detach()
    {
        if (m_conn)
            m_conn->m_active.removeOne(this);
    }

    void CheckOpen() const
    {
        if (!m_bOpen)
            throw CDbError(m_strError.isEmpty() ? QStringLiteral("The recordset is not open") : m_strError);
    }

    void CheckRow() const
    {
        CheckOpen();
        if (m_bEOF)
            throw CDbError(QStringLiteral("No current row: the recordset is past its last row"));
    }

    QVariant Value(int index) const
    {
        CheckRow();
        if (index < 0 || index >= m_nColumns)
            throw CDbError(QStringLiteral("No column number %1 in the recordset").arg(index));
        return m_bSettled ? m_rows.at(m_nRow).at(index) : m_query->value(index);
    }

    // name: the column as the caller named it; nullptr for a number (named only on failure,
    // since reading a large result asks for millions of values).
    QString Text(int index, const QString *name) const
    {
        const QVariant value = Value(index);
        if (value.isNull())
            throw CDbError(QStringLiteral("Column %1 holds no value (NULL)").arg(name ? *name : QString::number(index)));
        return ValueText(value);
    }

    // Moves to the next row; at the end the result is released at once, so an unread tail
    // holds no lock and no memory.
    void Advance()
    {
        if (m_bSettled) {
            if (++m_nRow < m_rows.size())
                return;
            m_bEOF = true;
            m_rows.clear();
            if (!m_strPendingError.isEmpty())
                throw CDbError(m_strPendingError);
            return;
        }
        if (m_query->next())
            return;
        m_bEOF = true;
        const QSqlError error = m_query->lastError();
        m_query->finish();
        Detach();
        if (error.type() != QSqlError::NoError)
            throw CDbError(Describe(error));
    }

    // Reads the current row and the rest into memory and closes the query.
    void Settle()
    {
        Detach();
        if (m_bSettled || m_bEOF || !m_query)
            return;
        const auto row = [this] {
            QVector<QVariant> values(m_nColumns);
            for (int i = 0; i < m_nColumns; ++i)
                values[i] = m_query->value(i);
            return values;
        };
        m_rows.append(row());
        while (m_query->next())
            m_rows.append(row());
        if (m_query->lastError().type() != QSqlError::NoError)
            m_strPendingError = Describe(m_query->lastError());
        m_query->finish();
        m_nRow = 0;
        m_bSettled = true;
    }
};

void Connection::SettleReads()
{
    while (!m_active.isEmpty())
        m_active.first()->Settle();
}

} // namespace

struct CRecordset::Private : RecordsetState
{
};

CRecordset::CRecordset() : d(std::make_unique<Private>()) {}
CRecordset::~CRecordset() = default;

bool CRecordset::IsOpen() const
{
    return d->m_bOpen;
}

bool CRecordset::IsEOF() const
{
    d->CheckOpen();
    return d->m_bEOF;
}

bool CRecordset::IsBOF() const
{
    d->CheckOpen();
    return d->m_bBOF;
}

void CRecordset::MoveNext()
{
    d->CheckRow();
    d->m_bBOF = false;
    d->Advance();
}

QString CRecordset::GetFieldText(const QString &column) const
{
    d->CheckRow();
    auto it = d->m_columns.constFind(column);
    if (it == d->m_columns.constEnd())
        it = d->m_columns.constFind(column.toUpper());
    if (it == d->m_columns.constEnd())
        throw CDbError(QStringLiteral("No column %1 in the recordset").arg(column));
    return d->Text(it.value(), &column);
}

QString CRecordset::GetFieldText(int index) const
{
    return d->Text(index, nullptr);
}

QVariant CRecordset::GetFieldValue(int index) const
{
    return d->Value(index);
}

// ---------------------------------------------------------------------------------------
// CDbAccess

struct CDbAccess::Private
{
    SettingsSource m_settings;
    ErrorSink m_sink;
    QString m_strLastError;
    QStringList m_lastMessages; // what the last call reported, for callers that show it
    int m_nCallDepth = 0;
    std::shared_ptr<Connection> m_conn;
    bool m_bBroken = false;
    int m_nTxDepth = 0;

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
            *error = Describe(q.lastError());
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
            if (!busy || waited.elapsed() > kSqliteBusyMs) {
                *error = Describe(q.lastError());
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
            *error = Describe(q.lastError());
            return std::nullopt;
        }
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, BindValue(values.at(i)));
        if (!q.exec()) {
            *error = Describe(q.lastError());
            return std::nullopt;
        }
        return q;
    }

    bool RunCached(Sql id, const QVariantList &values, qint64 *key, QString *error) const
    {
        m_conn->SettleReads();
        const QString text = SqlCatalogue::Text(id, m_conn->m_driver);
        if (PlaceholderCount(text) != values.size()) {
            *error = QStringLiteral("Parameter count mismatch: the statement takes %1 values, %2 given")
                         .arg(PlaceholderCount(text))
                         .arg(values.size());
            return false;
        }
        auto &prepared = m_conn->m_prepared;
        auto it = prepared.find(id);
        if (it == prepared.end()) {
            QSqlQuery q(m_conn->m_db);
            q.setForwardOnly(true);
            if (!q.prepare(text)) {
                *error = Describe(q.lastError());
                return false;
            }
            it = prepared.emplace(id, std::move(q)).first;
        }
        QSqlQuery &q = it->second;
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, BindValue(values.at(i)));
        if (!q.exec()) {
            *error = Describe(q.lastError());
            // Prepared again next time, in case the tables changed under it. Not inside a
            // transaction: PostgreSQL refuses to free it there once a statement has failed.
            if (m_nTxDepth == 0 && m_conn->m_db.isOpen())
                prepared.erase(it);
            return false;
        }
        if (key) {
            if (q.isSelect() && q.next()) {
                *key = q.value(0).toLongLong();
            } else {
                const QVariant last = q.lastInsertId();
                *key = last.isValid() ? last.toLongLong() : 0;
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
            *error = Describe(m_conn->m_db.lastError());
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
            *error = Describe(m_conn->m_db.lastError());
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

namespace {
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
} // namespace

CDbAccess::CDbAccess(SettingsSource settings) : d(std::make_unique<Private>())
{
    d->m_settings = std::move(settings);
}

CDbAccess::~CDbAccess() = default;

void CDbAccess::SetErrorSink(ErrorSink sink)
{
    d->m_sink = std::move(sink);
}

QString CDbAccess::LastError() const
{
    return d->m_strLastError;
}

QStringList CDbAccess::LastMessages() const
{
    return d->m_lastMessages;
}

DbSettings::Driver CDbAccess::Dialect() const
{
    if (d->m_conn)
        return d->m_conn->m_driver;
    return d->m_settings ? d->m_settings().m_driver : DbSettings::Sqlite;
}

bool CDbAccess::IsConnected() const
{
    return d->Usable();
}

QString CDbAccess::QtDriverName(DbSettings::Driver driver)
{
    return driver == DbSettings::Postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
}

bool CDbAccess::IsDriverAvailable(DbSettings::Driver driver)
{
    return QSqlDatabase::isDriverAvailable(QtDriverName(driver));
}

void CDbAccess::ForgetSchemaChecks()
{
    std::lock_guard<std::mutex> lock(SchemaMutex());
    SchemaChecked().clear();
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
    }
    if (!c->m_db.isOpen()) {
        d->m_strLastError = error;
        d->Report(error);
        return false;
    }
    d->m_bBroken = false;
    EnsureSchema();
    d->m_strLastError.clear();
    return true;
}

// Creates what is missing: the tables, their indexes and, in an empty T_USER, the first
// administrator. Once per process and database; a failure is left for the statements that
// need the tables to report (a server account may lack the right to create tables that an
// administrator created already).
void CDbAccess::EnsureSchema()
{
    Connection &c = *d->m_conn;
    std::lock_guard<std::mutex> lock(SchemaMutex());
    if (SchemaChecked().contains(c.m_strTarget))
        return;

    const bool pg = c.m_driver == DbSettings::Postgres;
    QString error;
    bool ok = d->Begin(&error);
    if (ok && pg) {
        ok = d->RunPlain(QStringLiteral("SET LOCAL client_min_messages=warning"), &error)
            && d->RunPlain(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLockKey), &error);
    }
    for (const QString &statement : SqlCatalogue::SchemaStatements(c.m_driver)) {
        if (!ok)
            break;
        ok = d->RunPlain(statement, &error);
    }
    // Tables made by an earlier release get the columns they lack.
    for (const SqlCatalogue::SchemaUpgrade &u : SqlCatalogue::SchemaUpgrades(c.m_driver)) {
        if (!ok)
            break;
        if (!u.column.isEmpty()) {
            bool has = false;
            {
                std::optional<QSqlQuery> probe
                    = d->RunQuery(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(u.table), {}, &error);
                ok = probe.has_value();
                has = ok && probe->record().contains(u.column);
            }
            if (!ok || has)
                continue;
        }
        ok = d->RunPlain(u.statement, &error);
    }
    if (ok) {
        std::optional<QSqlQuery> count = d->RunQuery(SqlCatalogue::Text(Sql::UserCount, c.m_driver), {}, &error);
        ok = count && count->next();
        if (ok && count->value(0).toLongLong() == 0) {
            count.reset();
            const QString hash = PasswordHash::Hash(Schema::kFirstAdminPassword);
            ok = !hash.isEmpty()
                && d->RunQuery(SqlCatalogue::Text(Sql::UserInsert, c.m_driver),
                               {Schema::kFirstAdminName, hash, Schema::kFirstAdminLevel, DbTime::Now()}, &error);
        }
    }
    if (ok)
        ok = d->Commit(&error);
    if (!ok) {
        d->Rollback();
        qWarning("Skevo: the tables of %s could not be checked: %s", qPrintable(c.m_strTarget), qPrintable(error));
        return;
    }
    SchemaChecked().insert(c.m_strTarget);
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

RecordsetPtr CDbAccess::OpenRecordset(Sql id, const QVariantList &values)
{
    return Open(id, QString(), values);
}

RecordsetPtr CDbAccess::OpenRecordsetText(const QString &sql, const QVariantList &values)
{
    return Open(std::nullopt, sql, values);
}

RecordsetPtr CDbAccess::Open(std::optional<Sql> id, const QString &sql, const QVariantList &values)
{
    // The instance keeps no recordset of its own: one kept here would hold a SQLite read
    // snapshot, and with it the write-ahead log, for as long as the instance lives.
    const CallScope call(d->m_nCallDepth, d->m_lastMessages);
    auto rs = std::make_shared<CRecordset>();
    CRecordset::Private &r = *rs->d;

    QString error;
    if (EnsureConnected()) {
        for (int attempt = 0;; ++attempt) {
            const QString text = id ? SqlCatalogue::Text(*id, d->m_conn->m_driver) : sql;
            if (id && PlaceholderCount(text) != values.size()) {
                error = QStringLiteral("Parameter count mismatch: the statement takes %1 values, %2 given")
                            .arg(PlaceholderCount(text))
                            .arg(values.size());
                break;
            }
            if (std::optional<QSqlQuery> q = d->RunQuery(text, values, &error)) {
                r.m_conn = d->m_conn;
                r.m_query.emplace(std::move(*q));
                const QSqlRecord record = r.m_query->record();
                r.m_nColumns = record.count();
                for (int i = 0; i < r.m_nColumns; ++i) {
                    const QString name = record.fieldName(i);
                    if (!r.m_columns.contains(name))
                        r.m_columns.insert(name, i);
                    if (!r.m_columns.contains(name.toUpper()))
                        r.m_columns.insert(name.toUpper(), i);
                }
                r.m_bOpen = true;
                r.m_bEOF = false;
                if (d->m_conn->m_driver == DbSettings::Sqlite)
                    d->m_conn->m_active.append(&r);
                try {
                    r.Advance();
                } catch (const CDbError &e) {
                    r.m_bOpen = false;
                    error = e.Description();
                    break;
                }
                r.m_bBOF = r.m_bEOF;
                d->m_strLastError.clear();
                return rs;
            }
            if (attempt > 0 || !Recover())
                break;
        }
    } else {
        error = d->m_strLastError;
    }
    r.m_bOpen = false;
    r.m_strError = error;
    d->m_strLastError = error;
    d->Report(error);
    return rs;
}

bool CDbAccess::Execute(Sql id, const QVariantList &values)
{
    return Run(id, values, nullptr);
}

qint64 CDbAccess::Insert(Sql id, const QVariantList &values)
{
    qint64 key = -1;
    return Run(id, values, &key) ? key : -1;
}

bool CDbAccess::Run(Sql id, const QVariantList &values, qint64 *key)
{
    const CallScope call(d->m_nCallDepth, d->m_lastMessages);
    QString error;
    if (EnsureConnected()) {
        for (int attempt = 0;; ++attempt) {
            if (d->RunCached(id, values, key, &error)) {
                d->m_strLastError.clear();
                return true;
            }
            if (attempt > 0 || !Recover())
                break;
        }
    } else {
        error = d->m_strLastError;
    }
    d->m_strLastError = error;
    d->Report(ExecutePrefix() + error);
    return false;
}

bool CDbAccess::Transaction(const std::function<bool()> &body)
{
    const CallScope call(d->m_nCallDepth, d->m_lastMessages);
    if (d->m_nTxDepth > 0)
        return body(); // part of the transaction already open

    QString error;
    bool begun = false;
    if (EnsureConnected()) {
        for (int attempt = 0;; ++attempt) {
            if ((begun = d->Begin(&error)))
                break;
            if (attempt > 0 || !Recover())
                break;
        }
    } else {
        error = d->m_strLastError;
    }
    if (!begun) {
        d->m_strLastError = error;
        d->Report(ExecutePrefix() + error);
        return false;
    }

    const std::shared_ptr<Connection> conn = d->m_conn;
    d->m_nTxDepth = 1;
    bool ok = false;
    try {
        ok = body();
    } catch (...) {
        d->m_nTxDepth = 0;
        d->Rollback();
        throw;
    }
    d->m_nTxDepth = 0;
    if (ok && d->m_conn == conn) {
        if (!d->Commit(&error)) {
            ok = false;
            d->m_strLastError = error;
            d->Report(ExecutePrefix() + error);
        }
    } else {
        ok = false;
    }
    if (!ok) {
        d->Rollback();
        if (d->Lost())
            d->m_bBroken = true;
    }
    return ok;
}
