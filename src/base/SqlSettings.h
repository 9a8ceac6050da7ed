#pragma once
// Section SQL of setting.ini as its texts stand (the login dialog's settings panel shows and
// saves them so). The one reader of the section: DbSettings::Read takes its values from here.
#include <QString>

class CSettingsFile;

struct SqlSettings
{
    QString m_strDriver = QStringLiteral("sqlite"); // "sqlite" or "postgres"
    QString m_strHost = QStringLiteral("127.0.0.1");
    QString m_strPort = QStringLiteral("5432");
    QString m_strUser = QStringLiteral("sa");
    QString m_strPsw = QStringLiteral("749");
    QString m_strData = QStringLiteral("MYSKEVO");

    // A missing key gives its default. Driver "postgres", "postgresql" or "psql" (in any
    // case) reads as "postgres", anything else as "sqlite".
    static SqlSettings Read(const CSettingsFile &file);
    // Writes the six keys as given (empty ones as empty). False when the file cannot be written.
    bool Write(CSettingsFile &file) const;
};
