#include "DbTargets.h"

#include "TestEnv.h"
#include "db/CDbAccess.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace {

QSqlDatabase OpenRaw(const QString &name, const DbSettings &s)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(CDbAccess::QtDriverName(s.m_driver), name);
    if (s.m_driver == DbSettings::Sqlite) {
        db.setDatabaseName(s.m_strSqliteFile);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    } else {
        db.setHostName(s.m_strHost);
        db.setPort(s.m_nPort);
        db.setUserName(s.m_strUser);
        db.setPassword(s.m_strPsw);
        db.setDatabaseName(s.m_strData);
    }
    db.open();
    return db;
}

QString OwnDatabaseName()
{
    // One database per test process, named after its executable.
    return QStringLiteral("skevo_%1_%2")
        .arg(QCoreApplication::applicationName().toLower().remove(QLatin1Char('-')))
        .arg(QCoreApplication::applicationPid());
}

int g_nProbe = 0;

} // namespace

void DbTargets::Init()
{
    const std::optional<DbSettings> server = TestEnv::Postgres();
    if (!server)
        return;
    const QString own = OwnDatabaseName();
    {
        DbProbe admin(*server);
        if (!admin.IsOpen()) {
            m_strInitError = QStringLiteral("cannot reach the PostgreSQL test server: ") + admin.Error();
        } else if (!admin.Exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(own))
                   || !admin.Exec(QStringLiteral("CREATE DATABASE %1").arg(own))) {
            m_strInitError = QStringLiteral("cannot create the database %1 (the test role needs CREATEDB, "
                                            "as scripts/pg-test-server gives it): %2")
                                 .arg(own, admin.Error());
        }
    }
    m_pg = *server;
    if (m_strInitError.isEmpty())
        m_pg->m_strData = own;
}

void DbTargets::Cleanup()
{
    if (!m_pg || !m_strInitError.isEmpty())
        return;
    DbSettings server = *TestEnv::Postgres();
    DbProbe admin(server);
    admin.Exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_pg->m_strData));
}

void DbTargets::AddDialectRows()
{
    QTest::addColumn<int>("dialect");
    QTest::newRow("sqlite") << int(DbSettings::Sqlite);
    QTest::newRow("postgres") << int(DbSettings::Postgres);
}

std::optional<DbSettings> DbTargets::Fresh(DbSettings::Driver dialect)
{
    CDbAccess::ForgetSchemaChecks();
    if (dialect == DbSettings::Sqlite) {
        m_dirs.push_back(std::make_unique<QTemporaryDir>());
        return TestEnv::Sqlite(m_dirs.back()->path());
    }
    if (!m_pg)
        return std::nullopt;
    if (m_strInitError.isEmpty()) {
        DbProbe probe(*m_pg);
        probe.Exec(QStringLiteral("DROP TABLE IF EXISTS T_USER, T_INSERT, T_BOOK, T_SEND, T_REC, T_ORDER, "
                                  "T_PHONENUMBER, T_LASTNO, T_OUTBOX, T_ORDERSTART, T_SENDPART, T_REPORT, T_OPTOUT, T_SCHEMA, "
                                  "T_TOKEN, T_APIBATCH, T_CALLBACK CASCADE"));
    }
    return m_pg;
}

DbProbe::DbProbe(const DbSettings &settings) : m_strName(QStringLiteral("probe-%1").arg(++g_nProbe))
{
    QSqlDatabase db = OpenRaw(m_strName, settings);
    if (!db.isOpen())
        m_strError = db.lastError().text();
    else if (settings.m_driver == DbSettings::Postgres)
        QSqlQuery(db).exec(QStringLiteral("SET client_min_messages=warning"));
}

DbProbe::~DbProbe()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_strName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_strName);
}

bool DbProbe::IsOpen() const
{
    return QSqlDatabase::database(m_strName, false).isOpen();
}

namespace {

// Statements without values run as they are: PostgreSQL prepares only queries and changes
// of rows, not DROP or CREATE.
bool Run(QSqlQuery &q, const QString &sql, const QVariantList &values)
{
    if (values.isEmpty())
        return q.exec(sql);
    bool ok = q.prepare(sql);
    for (int i = 0; ok && i < values.size(); ++i)
        q.bindValue(i, values.at(i));
    return ok && q.exec();
}

} // namespace

bool DbProbe::Exec(const QString &sql, const QVariantList &values)
{
    QSqlQuery q(QSqlDatabase::database(m_strName, false));
    const bool ok = Run(q, sql, values);
    m_strError = ok ? QString() : q.lastError().text();
    return ok;
}

QList<QVariantList> DbProbe::Rows(const QString &sql, const QVariantList &values)
{
    QSqlQuery q(QSqlDatabase::database(m_strName, false));
    const bool ok = Run(q, sql, values);
    m_strError = ok ? QString() : q.lastError().text();
    QList<QVariantList> out;
    while (ok && q.next()) {
        QVariantList row;
        for (int c = 0; c < q.record().count(); ++c)
            row.append(q.value(c));
        out.append(row);
    }
    return out;
}

QVariantList DbProbe::Column(const QString &sql, const QVariantList &values)
{
    QVariantList out;
    for (const QVariantList &row : Rows(sql, values))
        out.append(row.value(0));
    return out;
}

QVariant DbProbe::Value(const QString &sql, const QVariantList &values)
{
    const QVariantList column = Column(sql, values);
    return column.isEmpty() ? QVariant() : column.first();
}
