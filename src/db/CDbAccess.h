#pragma once
// The one way the program reaches its database. Each owner has its own instance and so
// its own connection; an instance connects on its first statement and, after a failure or
// a broken link, connects again at the next one. Statements come from SqlCatalogue with
// every value bound. This layer shows no window: the texts to show of a call that failed are
// kept for its caller (LastMessages) and, when one is set, also handed to the error sink.
// The settings source is asked before every statement outside a transaction, so a source
// should be cheap; when what it gives names another database, the statement runs on a new
// connection to that one.
//
// A PostgreSQL connection the server dropped (a restart) is noticed when a statement fails:
// outside a transaction that statement is run once more on a new connection, so the operator
// sees nothing; inside one the transaction fails and the next statement connects again.
//
// Threads: an instance is used by one thread at a time, and its connection belongs to the
// thread that made it (Qt SQL's rule). The connection is made at the first statement, in the
// thread that runs it; a statement from another thread later makes a new connection there.
// Recordsets are read in the thread that opened them. The instance may be constructed and
// destroyed in any thread.
#include "base/DbSettings.h"
#include "CRecordset.h"
#include "SqlCatalogue.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

class QSqlQuery;

class CDbAccess
{
public:
    using SettingsSource = std::function<DbSettings()>;
    using ErrorSink = std::function<void(const QString &text)>;

    explicit CDbAccess(SettingsSource settings);
    ~CDbAccess();
    CDbAccess(const CDbAccess &) = delete;
    CDbAccess &operator=(const CDbAccess &) = delete;

    // Opens the connection (creating missing tables and the first administrator on first
    // contact with a database). On failure the driver's description goes to the sink.
    bool Connect();
    bool IsConnected() const;

    // Row-returning statement. On failure the description goes to the sink and the
    // returned recordset is unopened: its first read throws CDbError.
    RecordsetPtr OpenRecordset(Sql id, const QVariantList &values = {});
    // Same with statement text built by a caller from catalogue pieces (the record query);
    // every value still bound.
    RecordsetPtr OpenRecordsetText(const QString &sql, const QVariantList &values = {});

    // Statement without rows. On failure "SQL数据错误," + description goes to the sink.
    bool Execute(Sql id, const QVariantList &values = {});
    // The rows the last successful Execute (or Insert) inserted, changed or deleted.
    int RowsAffected() const;
    // Inserts and returns the new row's own key (-1 on failure, reported as Execute does).
    qint64 Insert(Sql id, const QVariantList &values);
    // Inserts many rows with one statement (Kind::Keys) and gives their keys, one a row, in
    // the order the statement returns them. False on failure, reported as Execute does.
    bool InsertRows(Sql id, const QVariantList &values, QVector<qint64> *keys);

    // Runs body inside one transaction: committed when body returns true, rolled back
    // otherwise or when the commit fails (a failed begin or commit is reported as Execute
    // reports). A CDbError thrown by body rolls back and goes on to the caller. Called inside
    // another Transaction's body it simply runs body as part of that one.
    bool Transaction(const std::function<bool()> &body);

    QString LastError() const;    // description of the last failure (without the "SQL数据错误,"
                                  // prefix), "" after a success
    // The texts the last call reported, in order, as the operator is to be told them (what the
    // sink is given): empty after a success. A connect that a statement needed belongs to it.
    QStringList LastMessages() const;
    DbSettings::Driver Dialect() const;
    void SetErrorSink(ErrorSink sink);

    // The name of the Qt SQL driver for a setting, and whether this Qt has it.
    static QString QtDriverName(DbSettings::Driver driver);
    static bool IsDriverAvailable(DbSettings::Driver driver);

    // The tables are checked (and created when missing) once per process and database. After
    // a database has been emptied or replaced behind the program's back, this makes the next
    // connection to any database check again.
    static void ForgetSchemaChecks();

private:
    bool EnsureConnected();
    bool Recover();
    void EnsureSchema();
    RecordsetPtr Open(std::optional<Sql> id, const QString &sql, const QVariantList &values);
    bool Run(Sql id, const QVariantList &values, QVector<qint64> *keys);

    struct Private;
    std::unique_ptr<Private> d;
};
