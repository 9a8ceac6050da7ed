#pragma once
// setting.ini: sections of key=value lines, read and written in place on every call
// (nothing is cached, so an edit by hand or by another process is seen at once).
// Written as UTF-8; a file that is not valid UTF-8 is read as GBK, as the Windows program wrote it.
#include <QString>

class CSettingsFile
{
public:
    explicit CSettingsFile(QString path);
    const QString &Path() const { return m_strPath; }

    // A missing file, section or key gives the default. Values are used whole.
    QString ReadString(const QString &section, const QString &key, const QString &defaultValue) const;
    // Leading decimal digits (with sign) of the value; the default when there are none.
    int ReadInt(const QString &section, const QString &key, int defaultValue) const;
    // The same conversion for a value already read.
    static int ToInt(const QString &value, int defaultValue);
    // Creates the file and the section when missing. False when the file cannot be written.
    bool WriteString(const QString &section, const QString &key, const QString &value);

private:
    QString m_strPath;
};
