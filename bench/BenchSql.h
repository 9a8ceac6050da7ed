#pragma once
// A bench's own Qt SQL connection to the database of s, beside the program's, for filling
// tables fast and asking the planner; the caller opens it and removes it by name.
#include "base/DbSettings.h"

#include <QSqlDatabase>

inline QSqlDatabase RawConnection(const DbSettings &s, const QString &name)
{
    const bool pg = s.m_driver == DbSettings::Postgres;
    QSqlDatabase db = QSqlDatabase::addDatabase(pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name);
    if (pg) {
        db.setHostName(s.m_strHost);
        db.setPort(s.m_nPort);
        db.setUserName(s.m_strUser);
        db.setPassword(s.m_strPsw);
        db.setDatabaseName(s.m_strData);
    } else {
        db.setDatabaseName(s.m_strSqliteFile);
    }
    return db;
}
