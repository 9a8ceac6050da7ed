#include "CDbAccess.h"

#include "CDbAccessPrivate.h"
#include "RecordsetState.h"

#include <QSqlRecord>

using namespace DbDetail;

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
                    error = e.Cause();
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
    d->Report(ReadPrefix() + error);
    return rs;
}

bool CDbAccess::Execute(Sql id, const QVariantList &values)
{
    return Run(id, values, nullptr);
}

int CDbAccess::RowsAffected() const
{
    return d->m_nRowsAffected;
}

qint64 CDbAccess::Insert(Sql id, const QVariantList &values)
{
    QVector<qint64> keys;
    return Run(id, values, &keys) ? keys.value(0) : -1;
}

bool CDbAccess::InsertRows(Sql id, const QVariantList &values, QVector<qint64> *keys)
{
    return Run(id, values, keys);
}

bool CDbAccess::Run(Sql id, const QVariantList &values, QVector<qint64> *keys)
{
    const CallScope call(d->m_nCallDepth, d->m_lastMessages);
    QString error;
    if (EnsureConnected()) {
        for (int attempt = 0;; ++attempt) {
            if (d->RunCached(id, values, keys, &error)) {
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
