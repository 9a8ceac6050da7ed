#include "AppPaths.h"

#include "CSettingsFile.h"
#include "DeviceSettings.h"
#include "SqlSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <mutex>
#include <optional>
#include <pwd.h>
#include <unistd.h>

namespace {

std::mutex g_mutex;
std::optional<AppPaths> g_current;

// An XDG base-directory variable that is unset, empty or relative counts as unset: the
// default folder under home is used instead.
QString XdgFolder(const QString &variable, const QString &home, const QString &fallback)
{
    if (!variable.isEmpty() && QDir::isAbsolutePath(variable))
        return QDir::cleanPath(variable);
    return QDir::cleanPath(home + QLatin1Char('/') + fallback);
}

} // namespace

AppPaths::Environment AppPaths::OfProcess()
{
    Environment env;
    env.m_strExecutable = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    env.m_strWorkingDir = QDir::currentPath();
    env.m_strHome = qEnvironmentVariable("HOME");
    if (env.m_strHome.isEmpty()) {
        // A service started without HOME still has a home in the password database.
        if (const passwd *pw = ::getpwuid(::getuid()))
            env.m_strHome = QFile::decodeName(pw->pw_dir);
    }
    env.m_strXdgConfigHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    env.m_strXdgDataHome = qEnvironmentVariable("XDG_DATA_HOME");
    return env;
}

bool AppPaths::IsInstalledLocation(const QString &executable)
{
    // The build tree puts programs beside their sources (build/src/app, build/tools/...);
    // every installation puts them in a bin folder.
    const QString folder = QFileInfo(executable).path();
    return QFileInfo(folder).fileName() == QLatin1String("bin");
}

AppPaths AppPaths::Resolve(const Environment &env, const QString &config)
{
    AppPaths p;
    const QDir work(env.m_strWorkingDir);
    p.m_bInstalled = IsInstalledLocation(env.m_strExecutable);
    if (p.m_bInstalled) {
        const QString configHome = XdgFolder(env.m_strXdgConfigHome, env.m_strHome, QStringLiteral(".config"));
        const QString dataHome = XdgFolder(env.m_strXdgDataHome, env.m_strHome, QStringLiteral(".local/share"));
        p.m_strSettings = configHome + QStringLiteral("/skevo/setting.ini");
        p.m_strDataDir = dataHome + QStringLiteral("/skevo");
    } else {
        p.m_strSettings = work.absoluteFilePath(QStringLiteral("setting.ini"));
    }
    if (!config.isEmpty())
        p.m_strSettings = QDir::cleanPath(work.absoluteFilePath(config));
    return p;
}

AppPaths AppPaths::Current()
{
    {
        std::lock_guard lock(g_mutex);
        if (g_current)
            return *g_current;
    }
    AppPaths p;
    p.m_strSettings = QDir::current().absoluteFilePath(QStringLiteral("setting.ini"));
    return p;
}

void AppPaths::SetCurrent(const AppPaths &paths)
{
    std::lock_guard lock(g_mutex);
    g_current = paths;
}

QString AppPaths::SqliteFile(const QString &settingsPath, const QString &data) const
{
    const QDir folder = m_strDataDir.isEmpty() ? QFileInfo(settingsPath).absoluteDir() : QDir(m_strDataDir);
    return QDir::cleanPath(folder.absoluteFilePath(data + QStringLiteral(".db")));
}

QString AppPaths::Prepare() const
{
    if (!m_bInstalled)
        return QString();
    CSettingsFile file(m_strSettings);
    if (!QFileInfo::exists(m_strSettings)) {
        // The operator finds every key to edit, with its default, at the first look.
        const QString folder = QFileInfo(m_strSettings).absolutePath();
        if (!QDir().mkpath(folder) || !SqlSettings().Write(file) || !DeviceSettings().Write(file))
            return QStringLiteral("无法写入设置文件 %1").arg(m_strSettings);
    }
    const SqlSettings sql = SqlSettings::Read(file);
    if (sql.m_strDriver != QLatin1String("sqlite"))
        return QString();
    const QString folder = QFileInfo(SqliteFile(m_strSettings, sql.m_strData)).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("无法创建数据库文件夹 %1").arg(folder);
    return QString();
}
