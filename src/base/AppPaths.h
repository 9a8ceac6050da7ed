#pragma once
// Where a run keeps its settings file and its SQLite database.
//
// Run from the build tree (build/src/app/skevo, scripts/run), both stay in the working
// directory, where developers and the demo expect them. Run from an installed location (the
// program lies in a folder named bin: /usr/bin, /usr/local/bin, ~/.local/bin), they go to the
// user's own folders of the XDG base directories: $XDG_CONFIG_HOME/skevo/setting.ini
// (~/.config/skevo/setting.ini) and $XDG_DATA_HOME/skevo/ (~/.local/share/skevo/), so that
// a program started from the desktop menu, whose working directory is anywhere, finds the
// same files every time. --config FILE names another settings file in either mode.
#include <QString>

struct AppPaths
{
    QString m_strSettings; // absolute path of setting.ini
    QString m_strDataDir;  // installed: the folder of the SQLite files; "" = beside setting.ini
    bool m_bInstalled = false;

    // What the paths are decided from.
    struct Environment
    {
        QString m_strExecutable;    // the running program, symbolic links resolved
        QString m_strWorkingDir;
        QString m_strHome;
        QString m_strXdgConfigHome; // as set; "" when unset
        QString m_strXdgDataHome;
    };
    static Environment OfProcess();
    static bool IsInstalledLocation(const QString &executable);
    // config: the --config option as given ("" when not given), relative to the working directory.
    static AppPaths Resolve(const Environment &env, const QString &config = QString());

    // The paths of this run: what SetCurrent was given, else setting.ini in the working
    // directory (the build tree's rule).
    static AppPaths Current();
    // Called once at start-up, before any other thread runs.
    static void SetCurrent(const AppPaths &paths);

    // The SQLite file that section SQL's Data names for the settings file settingsPath:
    // <Data>.db in the data folder, or beside the settings file when there is none. An
    // absolute Data names the file itself (a service keeps it under /var/lib).
    QString SqliteFile(const QString &settingsPath, const QString &data) const;

    // The first start of an installed run: makes the settings file with the defaults when
    // it is missing, and the folder of the SQLite file. Nothing in the build tree's mode.
    // "" when done, else what failed.
    QString Prepare() const;
};
