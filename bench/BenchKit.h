#pragma once
// What the benchmarks share: a message box that prints, the PostgreSQL server named by the
// environment, and a count of the rows a statement gives.
#include "base/DbSettings.h"
#include "base/IMessageBox.h"
#include "db/CDbAccess.h"

#include <QFile>
#include <cstdio>
#include <malloc.h>

class PrintedMessages : public IMessageBox
{
public:
    Answer Show(const QString &text, const QString & = QString(), Icon = NoIcon, Buttons = Ok) override
    {
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
        ++count;
        return AnswerOk;
    }
    int count = 0;
};

// SKEVO_PG_HOST/PORT/USER/PASSWORD/DB.
inline DbSettings PostgresFromEnvironment()
{
    DbSettings s;
    s.m_driver = DbSettings::Postgres;
    s.m_strHost = qEnvironmentVariable("SKEVO_PG_HOST");
    s.m_nPort = qEnvironmentVariableIntValue("SKEVO_PG_PORT");
    s.m_strUser = qEnvironmentVariable("SKEVO_PG_USER");
    s.m_strPsw = qEnvironmentVariable("SKEVO_PG_PASSWORD");
    s.m_strData = qEnvironmentVariable("SKEVO_PG_DB");
    return s;
}

// -1 when reading fails.
inline qint64 CountRows(CDbAccess &db, Sql sql, const QVariantList &values = {})
{
    const RecordsetPtr rs = db.OpenRecordset(sql, values);
    qint64 n = 0;
    try {
        for (; !rs->IsEOF(); rs->MoveNext())
            ++n;
    } catch (const CDbError &) {
        return -1;
    }
    return n;
}

// Every key of a journal, read the way the records list reads its keys.
inline qint64 CountJournal(CDbAccess &db, Sql keys)
{
    return CountRows(db, keys, {std::numeric_limits<qint64>::max(), std::numeric_limits<int>::max()});
}

// A line of /proc/self/status in kB ("VmRSS:"), -1 when not there.
inline long StatusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Resident memory once what was freed went back to the system, in kB.
inline long ResidentKb()
{
    malloc_trim(0);
    return StatusKb("VmRSS:");
}
