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

    // setting.ini in the working directory, as an absolute path.
    static QString DefaultSettingsPath();

    CSettingsFile m_settings;
    DeviceSettings m_device;
    QString m_strUser;
    bool m_bAdmin = false;
    CDbAccess m_db;
    CSmsModem m_modem;
};
