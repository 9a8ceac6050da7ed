#include "CSkevoApp.h"

#include "base/AppPaths.h"

#include <QFile>
#include <QFileInfo>

#include <memory>
#include <mutex>
#include <sys/stat.h>

CSkevoApp::CSkevoApp(const QString &settingsPath)
    : m_settings(QFileInfo(settingsPath).absoluteFilePath())
    , m_device(DeviceSettings::Read(m_settings))
    , m_moreDevices(DeviceSettings::ReadList(m_settings).mid(1))
    , m_db(DbSettingsSource())
    , m_outbox(DbSettingsSource())
{
    m_outbox.SetShare(m_device.m_bShare);
    m_outbox.SetOptOutWords(m_device.m_strOptOutWords);
    // [SYSTEM] Lease: seconds this station may go without renewing its heartbeat before the
    // other stations take it for gone (60 when not set).
    bool ok = false;
    const int lease = m_settings.ReadString(DeviceSettings::kSection, QStringLiteral("Lease"), QString()).trimmed().toInt(&ok);
    if (ok && lease > 0)
        m_outbox.SetLease(lease * 1000);
}

QVector<DeviceSettings> CSkevoApp::Devices() const
{
    return QVector<DeviceSettings>{m_device} + m_moreDevices;
}

void CSkevoApp::SetDevices(const QVector<DeviceSettings> &devices)
{
    if (devices.isEmpty())
        return;
    m_device = devices.first();
    m_moreDevices = devices.mid(1);
    m_outbox.SetShare(m_device.m_bShare);
    m_outbox.SetOptOutWords(m_device.m_strOptOutWords);
}

void CSkevoApp::SetUser(const QString &name, bool admin)
{
    m_strUser = name;
    m_bAdmin = admin;
}

QString CSkevoApp::DefaultSettingsPath()
{
    return AppPaths::Current().m_strSettings;
}

DbSettings CSkevoApp::ReadDbSettings() const
{
    return DbSettings::Read(m_settings);
}

CDbAccess::SettingsSource CSkevoApp::DbSettingsSource() const
{
    // Every connection asks before every statement, from the GUI thread and the worker's: the
    // file is parsed again only when it is another file than last time (setting.ini is
    // replaced whole when saved) or its size or modification time changed.
    struct Cache
    {
        std::mutex mutex;
        bool valid = false;
        struct stat seen = {};
        DbSettings settings;
    };
    const QString path = m_settings.Path();
    const auto cache = std::make_shared<Cache>();
    return [path, cache] {
        struct stat now = {};
        const bool exists = ::stat(QFile::encodeName(path).constData(), &now) == 0;
        std::lock_guard lock(cache->mutex);
        const struct stat &was = cache->seen;
        const bool same = exists && cache->valid && now.st_dev == was.st_dev && now.st_ino == was.st_ino
            && now.st_size == was.st_size && now.st_mtim.tv_sec == was.st_mtim.tv_sec
            && now.st_mtim.tv_nsec == was.st_mtim.tv_nsec;
        if (!same) {
            cache->settings = DbSettings::Read(CSettingsFile(path));
            cache->seen = now;
            cache->valid = exists;
        }
        return cache->settings;
    };
}
