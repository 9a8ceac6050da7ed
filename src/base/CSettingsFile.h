#pragma once
// setting.ini: sections of key=value lines, read and written in place on every call
// (nothing is cached, so an edit by hand or by another process is seen at once).
// Written as UTF-8; a file that is not valid UTF-8 is read as GBK, as the Windows program wrote it.
#include <QString>

#include <cstddef>

// A key of a section and the text member of a settings structure that holds its value.
template <typename S> struct SettingsKey
{
    const char *name;
    QString S::*member;
};

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
    // Removes the section with its keys (true when there is none). False when the file cannot
    // be written.
    bool RemoveSection(const QString &section);

    // Each key into its member; the member's present value is the default.
    template <typename S, std::size_t N>
    void ReadKeys(const QString &section, const SettingsKey<S> (&keys)[N], S &into) const
    {
        for (const SettingsKey<S> &k : keys)
            into.*k.member = ReadString(section, QLatin1String(k.name), into.*k.member);
    }
    // The keys in the order given; stops at the first that cannot be written.
    template <typename S, std::size_t N>
    bool WriteKeys(const QString &section, const SettingsKey<S> (&keys)[N], const S &from)
    {
        for (const SettingsKey<S> &k : keys) {
            if (!WriteString(section, QLatin1String(k.name), from.*k.member))
                return false;
        }
        return true;
    }

private:
    QString m_strPath;
};
