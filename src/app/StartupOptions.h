#pragma once
// The command-line options of skevo: --config FILE (another setting.ini: a demonstration, a
// second installation; --settings is its older name), --device PATH (a modem's port for this
// run only, not saved; given again, one more modem of the pool), --help and --version.
#include <QString>
#include <QStringList>

struct StartupOptions
{
    QString m_strSettingsPath; // absolute; "" = the run's default settings file (AppPaths)
    QStringList m_devices;     // --device, in the order given; empty = the configured modems
    bool m_bHelp = false;
    bool m_bVersion = false;
    QString m_strError;        // "" when the arguments were understood

    // arguments without the program name.
    static StartupOptions Parse(const QStringList &arguments);
    static QString Usage();
    // The text of --help: what help2man makes the manual page skevo(1) of.
    static QString Help();
    static QString Version();
};
