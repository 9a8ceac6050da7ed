#pragma once
// The two databases every database case runs against: a SQLite file in a fresh temporary
// folder, and the PostgreSQL server scripts/test starts. On PostgreSQL each test process
// works in a database of its own (the test role may create databases), so two executables
// running at once never meet each other's tables; each case starts from dropped tables.
#include "base/DbSettings.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QTest>
#include <QTemporaryDir>
#include <QVariantList>
#include <memory>
#include <optional>
#include <vector>

class DbTargets
{
public:
    // For initTestCase: creates this process's PostgreSQL database (when a server runs).
    void Init();
    // For cleanupTestCase: drops it again.
    void Cleanup();
    // For _data(): column "dialect" (int, DbSettings::Driver) and the rows "sqlite", "postgres".
    static void AddDialectRows();
    // For _data() with more columns: the row once a dialect, named "<name>, sqlite" and
    // "<name>, postgres", the dialect first and then the values.
    template <typename... T> static void AddDialectRows(const char *name, const T &...values)
    {
        ((QTest::addRow("%s, sqlite", name) << int(DbSettings::Sqlite)) << ... << values);
        ((QTest::addRow("%s, postgres", name) << int(DbSettings::Postgres)) << ... << values);
    }
    // Settings of an empty database; nullopt when no PostgreSQL server was started.
    std::optional<DbSettings> Fresh(DbSettings::Driver dialect);
    bool HavePostgres() const { return m_pg.has_value(); }
    QString InitError() const { return m_strInitError; }

private:
    std::optional<DbSettings> m_pg;
    QString m_strInitError;
    std::vector<std::unique_ptr<QTemporaryDir>> m_dirs;
};

// A connection of its own, beside the one under test, to look at what was stored.
class DbProbe
{
public:
    explicit DbProbe(const DbSettings &settings);
    ~DbProbe();
    bool IsOpen() const;
    bool Exec(const QString &sql, const QVariantList &values = {});
    // The first column of every row.
    QVariantList Column(const QString &sql, const QVariantList &values = {});
    // Every column of every row.
    QList<QVariantList> Rows(const QString &sql, const QVariantList &values = {});
    QVariant Value(const QString &sql, const QVariantList &values = {});
    QString Error() const { return m_strError; }

private:
    QString m_strName;
    QString m_strError;
};

#define SKEVO_FRESH_DB(targets, var)                                                              \
    QFETCH(int, dialect);                                                                         \
    const std::optional<DbSettings> var = (targets).Fresh(DbSettings::Driver(dialect));           \
    if (!var)                                                                                     \
        QSKIP("No PostgreSQL server for this run (SKEVO_PG_HOST unset): scripts/test starts one, " \
              "or scripts/pg-test-server start DIR and export SKEVO_PG_*");                       \
    QVERIFY2((targets).InitError().isEmpty() || dialect == DbSettings::Sqlite, qPrintable((targets).InitError()))

// For a case about the server itself: var is a fresh PostgreSQL database; skipped when no
// server was started.
#define SKEVO_FRESH_PG(targets, var, why)                                                         \
    const std::optional<DbSettings> var = (targets).Fresh(DbSettings::Postgres);                  \
    if (!var)                                                                                     \
        QSKIP("No PostgreSQL server for this run; " why);                                         \
    QVERIFY2((targets).InitError().isEmpty(), qPrintable((targets).InitError()))
