#include "CSettingsFile.h"
#include "FileWriter.h"
#include "GbkText.h"

#include <QFile>
#include <QStringList>

namespace {

QStringList ReadLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    // Line by line: a file the older program wrote in GBK and this one extended in UTF-8 reads
    // right in both halves.
    QString text = GbkText::FromUtf8OrGbkLines(bytes).m_strText;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text.split(QLatin1Char('\n'));
}

// Section header "[name]" (names compare without case, as the private-profile functions do).
bool IsSection(const QString &line, QString *name)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')) || !t.endsWith(QLatin1Char(']')))
        return false;
    *name = t.mid(1, t.size() - 2).trimmed();
    return true;
}

bool SplitKey(const QString &line, QString *key, QString *value)
{
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0 || line.trimmed().startsWith(QLatin1Char(';')))
        return false;
    *key = line.left(eq).trimmed();
    *value = line.mid(eq + 1).trimmed();
    return true;
}

} // namespace

CSettingsFile::CSettingsFile(QString path) : m_strPath(std::move(path)) {}

QString CSettingsFile::ReadString(const QString &section, const QString &key, const QString &defaultValue) const
{
    QString current, k, v;
    for (const QString &line : ReadLines(m_strPath)) {
        if (IsSection(line, &current))
            continue;
        if (current.compare(section, Qt::CaseInsensitive) == 0 && SplitKey(line, &k, &v)
            && k.compare(key, Qt::CaseInsensitive) == 0) {
            // A value in double quotes is taken without them, as the profile functions do.
            if (v.size() >= 2 && v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"')))
                v = v.mid(1, v.size() - 2);
            return v;
        }
    }
    return defaultValue;
}

int CSettingsFile::ReadInt(const QString &section, const QString &key, int defaultValue) const
{
    return ToInt(ReadString(section, key, QString()), defaultValue);
}

int CSettingsFile::ToInt(const QString &v, int defaultValue)
{
    int i = 0;
    if (i < v.size() && (v[i] == QLatin1Char('-') || v[i] == QLatin1Char('+')))
        ++i;
    const int digitsStart = i;
    while (i < v.size() && v[i].isDigit() && v[i].unicode() < 128)
        ++i;
    if (i == digitsStart)
        return defaultValue;
    bool ok = false;
    const int n = v.left(i).toInt(&ok);
    return ok ? n : defaultValue;
}

bool CSettingsFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    QStringList lines = ReadLines(m_strPath);
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();

    QString current, k, v;
    int sectionLine = -1, lastInSection = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (IsSection(lines[i], &current)) {
            if (current.compare(section, Qt::CaseInsensitive) == 0 && sectionLine < 0) {
                sectionLine = i;
                lastInSection = i;
            }
            continue;
        }
        if (sectionLine < 0 || current.compare(section, Qt::CaseInsensitive) != 0)
            continue;
        if (!lines[i].trimmed().isEmpty())
            lastInSection = i;
        if (SplitKey(lines[i], &k, &v) && k.compare(key, Qt::CaseInsensitive) == 0) {
            lines[i] = k + QLatin1Char('=') + value;
            sectionLine = -2; // written
            break;
        }
    }
    if (sectionLine >= 0) {
        lines.insert(lastInSection + 1, key + QLatin1Char('=') + value);
    } else if (sectionLine == -1) {
        lines << QLatin1Char('[') + section + QLatin1Char(']') << key + QLatin1Char('=') + value;
    }

    return FileWriter::WriteWhole(m_strPath, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()).isEmpty();
}

bool CSettingsFile::RemoveSection(const QString &section)
{
    QStringList lines = ReadLines(m_strPath);
    QStringList kept;
    QString current;
    bool inside = false, removed = false;
    for (const QString &line : std::as_const(lines)) {
        if (IsSection(line, &current))
            inside = current.compare(section, Qt::CaseInsensitive) == 0;
        if (inside)
            removed = true;
        else
            kept << line;
    }
    if (!removed)
        return true;
    while (!kept.isEmpty() && kept.last().trimmed().isEmpty())
        kept.removeLast();
    return FileWriter::WriteWhole(m_strPath, (kept.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()).isEmpty();
}
