#pragma once
#include <QString>

class CSettingsFile;

// Connection settings of section SQL of setting.ini. A connection follows them: when they
// change, the next statement runs on a connection made with the new ones.
struct DbSettings
{
    // Section SQL as SqlSettings reads it, turned into values; the SQLite file is where
    // AppPaths::Current() puts it (beside the settings file in the build tree).
    static DbSettings Read(const CSettingsFile &file);

    enum Driver { Sqlite, Postgres };
    Driver m_driver = Sqlite;
    QString m_strHost = QStringLiteral("127.0.0.1");
    int m_nPort = 5432;
    QString m_strUser = QStringLiteral("sa");
    QString m_strPsw = QStringLiteral("749");
    QString m_strData = QStringLiteral("MYSKEVO");
    QString m_strSqliteFile; // SQLite: <Data>.db beside setting.ini or in the data folder (absolute path)
    // Where these settings come from (the absolute path of setting.ini): with the host name
    // it names the installation that kept messages in the outbox belong to. Not part of the
    // connection.
    QString m_strSource;

    // Whether a connection made with these settings reaches the same database as one made
    // with other.
    bool SameConnection(const DbSettings &other) const
    {
        return m_driver == other.m_driver && m_strHost == other.m_strHost && m_nPort == other.m_nPort
            && m_strUser == other.m_strUser && m_strPsw == other.m_strPsw && m_strData == other.m_strData
            && m_strSqliteFile == other.m_strSqliteFile;
    }
};
