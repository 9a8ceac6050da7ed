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
    return DbSettings::Read(m_settings);
}

CDbAccess::SettingsSource CSkevoApp::DbSettingsSource() const
{
    const QString path = m_settings.Path();
    return [path] { return DbSettings::Read(CSettingsFile(path)); };
}
