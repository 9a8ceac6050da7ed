#include "FrameSettings.h"

#include "CSettingsFile.h"

#include <QDir>
#include <QFileInfo>

namespace FrameSettings {

bool ReadPlayFlag(const CSettingsFile &file)
{
    return file.ReadInt(QStringLiteral("Check"), QStringLiteral("Play"), 1) != 0;
}

QString ReadRingFile(const CSettingsFile &file)
{
    const QString name = file.ReadString(QStringLiteral("Check"), QStringLiteral("Mid"), QStringLiteral("skevo.mid"));
    if (name.isEmpty())
        return name;
    return QFileInfo(file.Path()).absoluteDir().absoluteFilePath(name);
}

bool WriteOnClose(CSettingsFile &file, const QString &message, bool play)
{
    // The text may hold line breaks: written as they are they would end the value and turn
    // the following lines into keys and sections of the file.
    const bool a = file.WriteString(QStringLiteral("MSG"), QStringLiteral("MESSAGE"), EncodeMessage(message));
    const bool b = file.WriteString(QStringLiteral("Check"), QStringLiteral("Play"),
                                    play ? QStringLiteral("1") : QStringLiteral("0"));
    return a && b;
}

QString ReadMessage(const CSettingsFile &file, const QString &defaultText)
{
    return DecodeMessage(file.ReadString(QStringLiteral("MSG"), QStringLiteral("MESSAGE"), defaultText));
}

QString EncodeMessage(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            continue;
        else
            out += c;
    }
    // Reading trims blanks around a value and takes off one pair of double quotes.
    auto keepsEnds = [](QChar c) { return c.isSpace() || c == QLatin1Char('"'); };
    if (!out.isEmpty() && (keepsEnds(out.front()) || keepsEnds(out.back())))
        out = QLatin1Char('"') + out + QLatin1Char('"');
    return out;
}

QString DecodeMessage(const QString &stored)
{
    QString out;
    out.reserve(stored.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const QChar c = stored.at(i);
        if (c == QLatin1Char('\\') && i + 1 < stored.size()) {
            const QChar next = stored.at(i + 1);
            if (next == QLatin1Char('n')) {
                out += QLatin1Char('\n');
                ++i;
                continue;
            }
            if (next == QLatin1Char('\\')) {
                out += QLatin1Char('\\');
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString UserPaneText(const QString &user)
{
    return QStringLiteral("当前管理员:") + user;
}

} // namespace FrameSettings
