#include "PinMemory.h"
#include "CSettingsFile.h"

#include <QCryptographicHash>

namespace {
const QString kKey = QStringLiteral("PinRefused");
}

namespace PinMemory {

QString Digest(const QString &pin)
{
    return QString::fromLatin1(
        QCryptographicHash::hash("skevo-pin:" + pin.toUtf8(), QCryptographicHash::Sha256).toHex());
}

bool IsRefused(const CSettingsFile &file, const QString &section, const QString &pin)
{
    return !pin.isEmpty() && file.ReadString(section, kKey, QString()) == Digest(pin);
}

bool Remember(CSettingsFile &file, const QString &section, const QString &pin)
{
    return file.WriteString(section, kKey, Digest(pin));
}

bool Forget(CSettingsFile &file, const QString &section)
{
    if (file.ReadString(section, kKey, QString()).isEmpty())
        return true;
    return file.WriteString(section, kKey, QString());
}

} // namespace PinMemory
