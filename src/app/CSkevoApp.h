#pragma once
// The application object: what the whole program shares. Built before anything else;
// reads the device settings once, holds the database instance, the logged-in user and the
// one outbox every modem sends from. No widgets: the command line and the tests drive it too.
#include "base/CSettingsFile.h"
#include "base/DeviceSettings.h"
#include "db/CDbAccess.h"
#include "outbox/Outbox.h"

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

    // The first modem's settings as read at start; the device settings dialog changes them here.
    DeviceSettings &Device() { return m_device; }
    const DeviceSettings &Device() const { return m_device; }
    // Every modem of the pool, the first one first (further ones as written: empty keys mean
    // "as the first modem").
    QVector<DeviceSettings> Devices() const;
    void SetDevices(const QVector<DeviceSettings> &devices);

    // The GUI thread's database instance; other threads make their own.
    CDbAccess &Db() { return m_db; }
    // The queue of outgoing messages and the engine's reports.
    Outbox &Queue() { return m_outbox; }

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
    QVector<DeviceSettings> m_moreDevices;
    QString m_strUser;
    bool m_bAdmin = false;
    CDbAccess m_db;
    Outbox m_outbox;
};
