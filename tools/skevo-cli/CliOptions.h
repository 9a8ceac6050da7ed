#pragma once
// The options of skevo-cli itself, before its command: --config FILE (another settings
// file; the packaged service names /etc/skevo/setting.ini), --help and --version.
#include <QString>
#include <QStringList>

struct CliOptions
{
    QString m_strConfig;   // as given; "" = the run's default settings file (AppPaths)
    bool m_bHelp = false;
    bool m_bVersion = false;
    QStringList m_command; // the command and its arguments
    QString m_strError;    // "" when the options were understood

    // arguments without the program name.
    static CliOptions Parse(const QStringList &arguments);
    // The text of --help: what help2man makes the manual page skevo-cli(1) of.
    static QString Help();
};
