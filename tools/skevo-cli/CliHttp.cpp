#include "CliHttp.h"
#include "CliModem.h"

#include "api/ApiTokens.h"
#include "app/CSkevoApp.h"
#include "app/EngineSession.h"
#include "app/LinkStatus.h"
#include "outbox/Outbox.h"

namespace CliHttp {

std::optional<QString> TakeOption(QStringList *args)
{
    for (qsizetype i = 0; i < args->size(); ++i) {
        const QString a = args->at(i);
        if (a.startsWith(QLatin1String("--http="))) {
            args->removeAt(i);
            return a.mid(7);
        }
        if (a != QLatin1String("--http"))
            continue;
        args->removeAt(i);
        if (i < args->size() && !args->at(i).startsWith(QLatin1String("--")))
            return args->takeAt(i);
        return QString();
    }
    return std::nullopt;
}

bool Api::Plan(CSkevoApp &app, const std::optional<QString> &option, QString *error)
{
    m_settings = ApiSettings::Read(app.Settings());
    if (!m_settings.callback.isEmpty() && m_settings.callbackSecret.isEmpty()) {
        *error = QStringLiteral("[HTTP] Callback= 需要 CallbackSecret= (回调签名的密钥)");
        return false;
    }
    if (!option && m_settings.listen.isEmpty())
        return true;
    const QString listen = option ? *option : m_settings.listen;
    m_address = ApiSettings::ParseListen(listen);
    if (!m_address) {
        *error = QStringLiteral("HTTP 监听地址无效: %1").arg(listen);
        return false;
    }
    if (!m_address->host.isLoopback()) {
        const int tokens = ApiTokens::ActiveCount(app.Db());
        if (tokens < 0) {
            *error = QStringLiteral("无法读取令牌");
            return false;
        }
        if (tokens == 0) {
            *error = QStringLiteral("监听非本机地址 %1 需要至少一个令牌 (skevo-cli token add NAME)")
                         .arg(m_address->host.toString());
            return false;
        }
    }
    return true;
}

void Api::Watch(CSkevoApp &app, EngineSession &session)
{
    if (!Planned())
        return;
    QObject::connect(&session, &EngineSession::modemStatus, &session,
                     [this](const ModemStatus &status) { m_modems.insert(status.port, status); });
    ApiService::Hooks hooks;
    hooks.smsc = [&app] { return app.Device().m_strSMSC; };
    hooks.reports = [&app] { return app.Device().m_bReport; };
    hooks.modems = [this] {
        QVector<ApiModem> out;
        for (const QString &port : std::as_const(m_ports)) {
            ApiModem m;
            m.port = port;
            if (const auto it = m_modems.constFind(port); it != m_modems.cend()) {
                m.sim = it->imsi;
                m.ready = it->IsReady();
                m.readiness = m.ready ? QStringLiteral("就绪") : LinkStatus::ReadinessText(it->Readiness());
                m.signal = it->signal && it->signal->IsKnown() ? it->signal->m_nRssi : -1;
            } else {
                m.readiness = LinkStatus::ReadinessText(ModemReadiness::Connecting);
            }
            out.append(m);
        }
        return out;
    };
    m_service = std::make_unique<ApiService>(app.Db(), app.Queue(), m_settings, std::move(hooks));
    if (m_settings.callback.isEmpty())
        return;
    ApiCallbacks::Config config;
    config.url = m_settings.callback;
    config.secret = m_settings.callbackSecret.toUtf8();
    config.giveUpSeconds = m_settings.callbackHours * 3600;
    m_callbacks = std::make_unique<ApiCallbacks>(app.Db(), config, CliModem::PrintOut);
    // Each arrival and each delivery report (已送达, 未送达) is an event for the receiver.
    QObject::connect(&session, &EngineSession::reported, &session, [this](const SmsReport &r) {
        if (r.IsArrival()) {
            m_callbacks->Keep(QStringLiteral("arrival"),
                              QJsonObject{{QStringLiteral("id"), r.m_nRecordNo},
                                          {QStringLiteral("from"), r.m_strNumber},
                                          {QStringLiteral("text"), r.m_strContent},
                                          {QStringLiteral("received_at"), r.m_strTime},
                                          {QStringLiteral("port"), r.m_strPort},
                                          {QStringLiteral("sim"), r.m_strSim}});
        } else if (r.m_kind == SmsReport::DeliveryChanged && r.m_nDelivery >= 2) {
            if (const std::optional<QJsonObject> message = m_service->MessageOfRecord(r.m_nRecordNo))
                m_callbacks->Keep(QStringLiteral("delivery"), *message);
        }
    });
}

bool Api::Start(CSkevoApp &app, EngineSession &session, QString *error)
{
    Q_UNUSED(app);
    if (!m_service)
        return true;
    m_ports = session.Link().PortNames();
    if (m_callbacks)
        m_callbacks->Start();
    if (!m_address)
        return true;
    m_server = std::make_unique<ApiServer>(*m_service, CliModem::PrintOut);
    const quint16 port = m_server->Listen(*m_address, error);
    if (port == 0)
        return false;
    const QString host = m_address->host.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]").arg(m_address->host.toString())
        : m_address->host.toString();
    CliModem::PrintOut(QStringLiteral("http: listening on %1:%2").arg(host).arg(port));
    return true;
}

} // namespace CliHttp
