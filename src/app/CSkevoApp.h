#pragma once
// The application object: what the whole program shares. Built before anything else;
// reads the device settings once, holds the database instance, the logged-in user and
// the one modem engine. No widgets: the command line and the tests drive it too.
#include "base/CSettingsFile.h"
#include "base/DeviceSettings.h"
#include "db/CDbAccess.h"
#include "modem/CSmsModem.h"

#include <QString>

class CSkevoApp
{
public:
    // settingsPath: absolute path of setting.ini, fixed for the whole run.
    explicit CSkevoApp(const QString &settingsPath);

    CSettingsFile &Settings() { return m_settings; }
    const CSettingsFile &Settings() const { return m_settings; }
    DbSettings ReadDbSettings() const;
    CDbAccess::SettingsSource DbSettingsSource() const;

    // The device settings as read at start; the device settings dialog changes them here.
    DeviceSettings &Device() { return m_device; }
    const DeviceSettings &Device() const { return m_device; }

    // The GUI thread's database instance; other threads make their own.
    CDbAccess &Db() { return m_db; }
    CSmsModem &Modem() { return m_modem; }

    // The account logged in: empty before the login.
    const QString &User() const { return m_strUser; }
    bool IsAdmin() const { return m_bAdmin; }
    void SetUser(const QString &name, bool admin);

    // The settings file of this run (AppPaths::Current()): --config's, the user's when
    // installed, else setting.ini in the working directory. An absolute path.
    static QString DefaultSettingsPath();

private:
    CSettingsFile m_settings;
    DeviceSettings m_device;
    QString m_strUser;
    bool m_bAdmin = false;
    CDbAccess m_db;
    CSmsModem m_modem;
};
