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
    const bool a = file.WriteString(QStringLiteral("MSG"), QStringLiteral("MESSAGE"), message);
    const bool b = file.WriteString(QStringLiteral("Check"), QStringLiteral("Play"),
                                    play ? QStringLiteral("1") : QStringLiteral("0"));
    return a && b;
}

QString UserPaneText(const QString &user)
{
    return QStringLiteral("当前管理员:") + user;
}

} // namespace FrameSettings
