#include "DbSettings.h"

#include "AppPaths.h"
#include "CSettingsFile.h"
#include "SqlSettings.h"

#include <QFileInfo>

DbSettings DbSettings::Read(const CSettingsFile &file)
{
    const SqlSettings sql = SqlSettings::Read(file);
    DbSettings s;
    s.m_driver = sql.m_strDriver == QStringLiteral("postgres") ? Postgres : Sqlite;
    s.m_strHost = sql.m_strHost;
    s.m_nPort = CSettingsFile::ToInt(sql.m_strPort, 5432);
    s.m_strUser = sql.m_strUser;
    s.m_strPsw = sql.m_strPsw;
    s.m_strData = sql.m_strData;
    s.m_strSqliteFile = AppPaths::Current().SqliteFile(file.Path(), s.m_strData);
    s.m_strSource = QFileInfo(file.Path()).absoluteFilePath();
    return s;
}
