#include "ApiSettings.h"

#include "base/CSettingsFile.h"

namespace {
const QString kSection = QStringLiteral("HTTP");
}

ApiSettings ApiSettings::Read(const CSettingsFile &file)
{
    ApiSettings s;
    s.listen = file.ReadString(kSection, QStringLiteral("Listen"), QString()).trimmed();
    s.maxQueued = qMax(0, file.ReadInt(kSection, QStringLiteral("MaxQueued"), kDefaultMaxQueued));
    const int body = file.ReadInt(kSection, QStringLiteral("MaxBody"), int(kDefaultMaxBody));
    s.maxBody = body > 0 ? body : kDefaultMaxBody;
    s.callback = file.ReadString(kSection, QStringLiteral("Callback"), QString()).trimmed();
    s.callbackSecret = file.ReadString(kSection, QStringLiteral("CallbackSecret"), QString());
    s.callbackHours = qMax(1, file.ReadInt(kSection, QStringLiteral("CallbackHours"), 24));
    return s;
}

std::optional<ApiSettings::Address> ApiSettings::ParseListen(const QString &given)
{
    const QString text = given.trimmed();
    Address a;
    a.host = QHostAddress(QHostAddress::LocalHost);
    if (text.isEmpty()) {
        a.port = kDefaultPort;
        return a;
    }
    QString host, port;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0) {
        port = text;
    } else {
        host = text.left(colon);
        port = text.mid(colon + 1);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
    }
    bool ok = false;
    const uint number = port.toUInt(&ok);
    if (!ok || number > 65535)
        return std::nullopt;
    a.port = quint16(number);
    if (!host.isEmpty()) {
        if (host == QLatin1String("localhost"))
            host = QStringLiteral("127.0.0.1");
        if (!a.host.setAddress(host))
            return std::nullopt;
    }
    return a;
}
