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

// Brings the tables to the last numbered step: each step the database has not been through
// runs once, in order, and is written down in T_SCHEMA in the same transaction, so two
// programs that meet one database at once never run a step twice. A database made by a newer
// release (a step this program does not know) is left as it is: its steps only add. Then the
// first administrator goes into an empty T_USER. Once per process and database; a failure is
// left for the statements that need the tables to report (a server account may lack the right
// to create tables that an administrator created already).
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
    if (ok)
        ok = d->RunPlain(SqlCatalogue::SchemaVersionTable(c.m_driver), &error);
    int version = 0;
    if (ok) {
        std::optional<QSqlQuery> q = d->RunQuery(SqlCatalogue::Text(Sql::SchemaVersion, c.m_driver), {}, &error);
        ok = q && q->next();
        version = ok ? q->value(0).toInt() : 0;
    }
    for (const SqlCatalogue::SchemaStep &step : SqlCatalogue::SchemaSteps(c.m_driver)) {
        if (!ok)
            break;
        if (step.version <= version)
            continue;
        ok = RunSchemaStep(step, &error)
            && d->RunQuery(SqlCatalogue::Text(Sql::SchemaVersionAdd, c.m_driver), {step.version, DbTime::Now()}, &error);
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

bool CDbAccess::RunSchemaStep(const SqlCatalogue::SchemaStep &step, QString *error)
{
    for (const QString &statement : step.statements) {
        if (!d->RunPlain(statement, error))
            return false;
    }
    for (const SqlCatalogue::SchemaUpgrade &u : step.upgrades) {
        if (!u.column.isEmpty()) {
            std::optional<QSqlQuery> probe = d->RunQuery(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(u.table), {}, error);
            if (!probe)
                return false;
            if (probe->record().contains(u.column))
                continue;
        }
        if (!d->RunPlain(u.statement, error))
            return false;
    }
    return true;
}
