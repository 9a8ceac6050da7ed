// The once-per-process check of a database's tables by CDbAccess.
#include "CDbAccess.h"

#include "CDbAccessPrivate.h"
#include "DbTime.h"
#include "Schema.h"
#include "base/PasswordHash.h"

#include <QSet>
#include <QSqlQuery>
#include <QSqlRecord>

#include <mutex>
#include <optional>

using namespace DbDetail;

namespace {

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

void CDbAccess::ForgetSchemaChecks()
{
    std::lock_guard<std::mutex> lock(SchemaMutex());
    SchemaChecked().clear();
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
