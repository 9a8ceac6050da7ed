#pragma once
// The HTTP API of skevo-cli serve: --http [ADDRESS:]PORT or [HTTP] Listen=, the service over
// the session's database and queue, and the modems' last status for /api/v1/status.
#include "api/ApiCallbacks.h"
#include "api/ApiServer.h"
#include "api/ApiService.h"
#include "modem/ModemStatus.h"

#include <QMap>
#include <QStringList>
#include <memory>
#include <optional>

class CSkevoApp;
class EngineSession;

namespace CliHttp {
// Takes "--http [VALUE]" or "--http=VALUE" out of args: nullopt when not given, "" when given
// without a value.
std::optional<QString> TakeOption(QStringList *args);

class Api
{
public:
    // Where to listen: the option, else [HTTP] Listen=; nothing when neither is given.
    // Refuses (false, *error) a listen address that is no address, or one beyond loopback
    // while no token exists, and a callback without its secret.
    bool Plan(CSkevoApp &app, const std::optional<QString> &option, QString *error);
    bool Planned() const { return m_address.has_value() || !m_settings.callback.isEmpty(); }
    // Keeps each modem's last status from now on (before the connect: its first ones too),
    // and with a callback each arrival and delivery report as its event.
    void Watch(CSkevoApp &app, EngineSession &session);
    // Serves the API over the session (after its connect); false with *error when it could
    // not listen. Writes "http: listening on ADDRESS:PORT" and one line per request.
    bool Start(CSkevoApp &app, EngineSession &session, QString *error);

private:
    std::optional<ApiSettings::Address> m_address;
    ApiSettings m_settings;
    QMap<QString, ModemStatus> m_modems;
    QStringList m_ports;
    std::unique_ptr<ApiService> m_service;
    std::unique_ptr<ApiServer> m_server;
    std::unique_ptr<ApiCallbacks> m_callbacks;
};
} // namespace CliHttp
