#pragma once
// The two command-line options of skevo: --settings FILE (another setting.ini, e.g. for a
// demonstration) and --device PATH (the modem's port for this run only, not saved).
#include <QString>
#include <QStringList>

struct StartupOptions
{
    QString m_strSettingsPath; // absolute; "" = setting.ini in the working directory
    QString m_strDevice;
    QString m_strError;        // "" when the arguments were understood

    // arguments without the program name.
    static StartupOptions Parse(const QStringList &arguments);
    static QString Usage();
};
