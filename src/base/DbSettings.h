#pragma once
#include <QString>

class CSettingsFile;

// Connection settings of section SQL of setting.ini, read anew for every connection.
struct DbSettings
{
    // Section SQL as SqlSettings reads it, turned into values; the SQLite file lies beside
    // the settings file.
    static DbSettings Read(const CSettingsFile &file);

    enum Driver { Sqlite, Postgres };
    Driver m_driver = Sqlite;
    QString m_strHost = QStringLiteral("127.0.0.1");
    int m_nPort = 5432;
    QString m_strUser = QStringLiteral("sa");
    QString m_strPsw = QStringLiteral("749");
    QString m_strData = QStringLiteral("MYSKEVO");
    QString m_strSqliteFile; // SQLite: <Data>.db beside setting.ini (absolute path)
};
