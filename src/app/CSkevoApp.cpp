#include "CSkevoApp.h"

#include <QDir>
#include <QFileInfo>

CSkevoApp::CSkevoApp(const QString &settingsPath)
    : m_settings(QFileInfo(settingsPath).absoluteFilePath())
    , m_device(DeviceSettings::Read(m_settings))
    , m_db(DbSettingsSource())
    , m_modem(DbSettingsSource())
{
}

QString CSkevoApp::DefaultSettingsPath()
{
    return QDir::current().absoluteFilePath(QStringLiteral("setting.ini"));
}

DbSettings CSkevoApp::ReadDbSettings() const
{
    return ReadDbSettings(m_settings);
}

CDbAccess::SettingsSource CSkevoApp::DbSettingsSource() const
{
    const QString path = m_settings.Path();
    return [path] { return ReadDbSettings(CSettingsFile(path)); };
}

DbSettings CSkevoApp::ReadDbSettings(const CSettingsFile &file)
{
    const QString sql = QStringLiteral("SQL");
    DbSettings s;
    const QString driver = file.ReadString(sql, QStringLiteral("Driver"), QStringLiteral("sqlite")).trimmed().toLower();
    s.m_driver = (driver == QStringLiteral("postgres") || driver == QStringLiteral("postgresql") || driver == QStringLiteral("psql"))
        ? DbSettings::Postgres : DbSettings::Sqlite;
    s.m_strHost = file.ReadString(sql, QStringLiteral("Host"), s.m_strHost);
    s.m_nPort = file.ReadInt(sql, QStringLiteral("Port"), 5432);
    s.m_strUser = file.ReadString(sql, QStringLiteral("User"), s.m_strUser);
    s.m_strPsw = file.ReadString(sql, QStringLiteral("Psw"), s.m_strPsw);
    s.m_strData = file.ReadString(sql, QStringLiteral("Data"), s.m_strData);
    s.m_strSqliteFile = QFileInfo(file.Path()).absoluteDir().absoluteFilePath(s.m_strData + QStringLiteral(".db"));
    return s;
}
