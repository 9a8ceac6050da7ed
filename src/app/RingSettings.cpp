#include "RingSettings.h"

#include "base/CSettingsFile.h"
#include "RingTune.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString kCheck = QStringLiteral("Check");
const QString kMid = QStringLiteral("Mid");
} // namespace

namespace RingSettings {

QString StoredName(const CSettingsFile &file)
{
    return file.ReadString(kCheck, kMid, RingTune::kFileName);
}

QString Resolve(const CSettingsFile &file, const QString &stored)
{
    if (stored.isEmpty())
        return stored;
    return QFileInfo(file.Path()).absoluteDir().absoluteFilePath(stored);
}

QString NameFor(const CSettingsFile &file, const QString &chosen)
{
    const QFileInfo info(chosen);
    if (info.absoluteDir() == QFileInfo(file.Path()).absoluteDir())
        return info.fileName();
    return info.absoluteFilePath();
}

bool Write(CSettingsFile &file, const QString &stored)
{
    return file.WriteString(kCheck, kMid, stored);
}

} // namespace RingSettings
