#include "SqlSettings.h"

#include "CSettingsFile.h"

namespace {
const QString kSql = QStringLiteral("SQL");
} // namespace

SqlSettings SqlSettings::Read(const CSettingsFile &file)
{
    SqlSettings s;
    const QString driver = file.ReadString(kSql, QStringLiteral("Driver"), s.m_strDriver).trimmed().toLower();
    const bool pg = driver == QStringLiteral("postgres") || driver == QStringLiteral("postgresql")
        || driver == QStringLiteral("psql");
    s.m_strDriver = pg ? QStringLiteral("postgres") : QStringLiteral("sqlite");
    s.m_strHost = file.ReadString(kSql, QStringLiteral("Host"), s.m_strHost);
    s.m_strPort = file.ReadString(kSql, QStringLiteral("Port"), s.m_strPort);
    s.m_strUser = file.ReadString(kSql, QStringLiteral("User"), s.m_strUser);
    s.m_strPsw = file.ReadString(kSql, QStringLiteral("Psw"), s.m_strPsw);
    s.m_strData = file.ReadString(kSql, QStringLiteral("Data"), s.m_strData);
    return s;
}

bool SqlSettings::Write(CSettingsFile &file) const
{
    return file.WriteString(kSql, QStringLiteral("Driver"), m_strDriver)
        && file.WriteString(kSql, QStringLiteral("Host"), m_strHost)
        && file.WriteString(kSql, QStringLiteral("Port"), m_strPort)
        && file.WriteString(kSql, QStringLiteral("User"), m_strUser)
        && file.WriteString(kSql, QStringLiteral("Psw"), m_strPsw)
        && file.WriteString(kSql, QStringLiteral("Data"), m_strData);
}
