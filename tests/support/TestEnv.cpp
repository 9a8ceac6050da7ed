#include "TestEnv.h"

#include <QDir>

namespace TestEnv {

std::optional<DbSettings> Postgres()
{
    const QString host = qEnvironmentVariable("SKEVO_PG_HOST");
    if (host.isEmpty())
        return std::nullopt;
    DbSettings s;
    s.m_driver = DbSettings::Postgres;
    s.m_strHost = host;
    s.m_nPort = qEnvironmentVariableIntValue("SKEVO_PG_PORT");
    s.m_strUser = qEnvironmentVariable("SKEVO_PG_USER");
    s.m_strPsw = qEnvironmentVariable("SKEVO_PG_PASSWORD");
    s.m_strData = qEnvironmentVariable("SKEVO_PG_DB");
    return s;
}

DbSettings Sqlite(const QString &dir, const QString &name)
{
    DbSettings s;
    s.m_driver = DbSettings::Sqlite;
    s.m_strData = name;
    s.m_strSqliteFile = QDir(dir).absoluteFilePath(name + QStringLiteral(".db"));
    return s;
}

QString ModemSimPath() { return qEnvironmentVariable("SKEVO_MODEMSIM"); }
QString CliPath() { return qEnvironmentVariable("SKEVO_CLI"); }

} // namespace TestEnv
