#pragma once
// The HTTP API's settings, section [HTTP] of setting.ini:
//   Listen=ADDRESS:PORT  where serve listens; empty (the default): no API. A port alone
//                        ("8080") or ":8080" listens on 127.0.0.1; port 0 takes a free one.
//   MaxQueued=N          a request that would leave more messages waiting for a modem than
//                        this is refused (503, Retry-After); default 100000
//   MaxBody=BYTES        a larger request body is refused (413); default 2097152 (2 MiB)
//   Callback=URL         each arrival and delivery report is posted there (ApiCallbacks);
//                        empty (the default): none
//   CallbackSecret=TEXT  the key of the posts' HMAC-SHA256 signature; needed with Callback
//   CallbackHours=H      how long a post that fails is tried again; default 24
#include <QHostAddress>
#include <QString>
#include <optional>

class CSettingsFile;

struct ApiSettings
{
    static constexpr int kDefaultPort = 8080;
    static constexpr int kDefaultMaxQueued = 100000;
    static constexpr qint64 kDefaultMaxBody = 2 * 1024 * 1024;

    QString listen;
    int maxQueued = kDefaultMaxQueued;
    qint64 maxBody = kDefaultMaxBody;
    QString callback;
    QString callbackSecret;
    int callbackHours = 24;

    static ApiSettings Read(const CSettingsFile &file);

    // Where a listen text points: "ADDRESS:PORT", "[v6]:PORT", ":PORT" or "PORT" (127.0.0.1);
    // "" (the switch given without a value) is 127.0.0.1:8080. nullopt when it is no address.
    struct Address
    {
        QHostAddress host;
        quint16 port = 0;
    };
    static std::optional<Address> ParseListen(const QString &text);
};
