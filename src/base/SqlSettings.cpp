#include "SqlSettings.h"

#include "CSettingsFile.h"

namespace {
const QString kSql = QStringLiteral("SQL");
// The keys after Driver, which is read on its own.
const SettingsKey<SqlSettings> kKeys[] = {
    {"Host", &SqlSettings::m_strHost}, {"Port", &SqlSettings::m_strPort}, {"User", &SqlSettings::m_strUser},
    {"Psw", &SqlSettings::m_strPsw},   {"Data", &SqlSettings::m_strData},
};
} // namespace

SqlSettings SqlSettings::Read(const CSettingsFile &file)
{
    SqlSettings s;
    const QString driver = file.ReadString(kSql, QStringLiteral("Driver"), s.m_strDriver).trimmed().toLower();
    const bool pg = driver == QStringLiteral("postgres") || driver == QStringLiteral("postgresql")
        || driver == QStringLiteral("psql");
    s.m_strDriver = pg ? QStringLiteral("postgres") : QStringLiteral("sqlite");
    file.ReadKeys(kSql, kKeys, s);
    return s;
}

bool SqlSettings::Write(CSettingsFile &file) const
{
    return file.WriteString(kSql, QStringLiteral("Driver"), m_strDriver) && file.WriteKeys(kSql, kKeys, *this);
}
