#include "ApiServer.h"
#include "ApiService.h"

#include <QElapsedTimer>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QUrlQuery>

namespace {

QString MethodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get: return QStringLiteral("GET");
    case QHttpServerRequest::Method::Put: return QStringLiteral("PUT");
    case QHttpServerRequest::Method::Delete: return QStringLiteral("DELETE");
    case QHttpServerRequest::Method::Post: return QStringLiteral("POST");
    case QHttpServerRequest::Method::Head: return QStringLiteral("HEAD");
    case QHttpServerRequest::Method::Options: return QStringLiteral("OPTIONS");
    case QHttpServerRequest::Method::Patch: return QStringLiteral("PATCH");
    default: break;
    }
    return QStringLiteral("OTHER");
}

// A header of the request, its name in any case.
QByteArray Header(const QHttpServerRequest &request, const QByteArray &name)
{
    for (const auto &h : request.headers()) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return QByteArray();
}

QHttpServerResponse ToResponse(const ApiReply &reply)
{
    QHttpServerResponse response(reply.contentType, reply.body, QHttpServerResponse::StatusCode(reply.status));
    for (const auto &h : reply.headers)
        response.addHeader(h.first, h.second);
    return response;
}

} // namespace

ApiServer::ApiServer(ApiService &service, LogSink log, QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_log(std::move(log))
    , m_server(std::make_unique<QHttpServer>())
{
    using Method = QHttpServerRequest::Method;
    m_server->route(QStringLiteral("/api/v1/messages"), Method::Post, [this](const QHttpServerRequest &request) {
        return Serve(request, Token::Required, [&](const QString &name) {
            return m_service.PostMessages(name, Header(request, "Content-Type"), request.body());
        });
    });
    m_server->route(QStringLiteral("/api/v1/messages/<arg>"), Method::Get,
                    [this](qint64 id, const QHttpServerRequest &request) {
                        return Serve(request, Token::Required, [&](const QString &) { return m_service.Message(id); });
                    });
    m_server->route(QStringLiteral("/api/v1/batches/<arg>"), Method::Get,
                    [this](qint64 id, const QHttpServerRequest &request) {
                        return Serve(request, Token::Required, [&](const QString &) { return m_service.Batch(id); });
                    });
    m_server->route(QStringLiteral("/api/v1/inbox"), Method::Get, [this](const QHttpServerRequest &request) {
        return Serve(request, Token::Required, [&](const QString &) {
            const QUrlQuery query = request.query();
            return m_service.Inbox(query.queryItemValue(QStringLiteral("after")),
                                   query.queryItemValue(QStringLiteral("limit")));
        });
    });
    m_server->route(QStringLiteral("/api/v1/status"), Method::Get, [this](const QHttpServerRequest &request) {
        return Serve(request, Token::Required, [&](const QString &) { return m_service.Status(); });
    });
    m_server->route(QStringLiteral("/metrics"), Method::Get, [this](const QHttpServerRequest &request) {
        return Serve(request, Token::UnlessLoopback, [&](const QString &) { return m_service.Metrics(); });
    });
    m_server->setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        QElapsedTimer clock;
        clock.start();
        const ApiReply reply = ApiReply::Error(404, "not_found", QStringLiteral("没有这个接口: %1 %2")
                                                                      .arg(MethodName(request.method()), request.url().path()));
        ToResponse(reply).write(std::move(responder));
        Log(request, reply.status, clock.nsecsElapsed(), QString());
    });
}

ApiServer::~ApiServer() = default;

quint16 ApiServer::Listen(const ApiSettings::Address &address, QString *error)
{
    const quint16 port = m_server->listen(address.host, address.port);
    if (port == 0) {
        *error = QStringLiteral("无法在 %1:%2 上监听").arg(address.host.toString()).arg(address.port);
        return 0;
    }
    m_bLoopback = address.host.isLoopback();
    return port;
}

QHttpServerResponse ApiServer::Serve(const QHttpServerRequest &request, Token token,
                                     const std::function<ApiReply(const QString &name)> &handler)
{
    QElapsedTimer clock;
    clock.start();
    QString name;
    ApiReply reply;
    const QByteArray authorization = Header(request, "Authorization");
    const bool open = token == Token::UnlessLoopback && m_bLoopback && authorization.isEmpty();
    if (!open) {
        const std::optional<QString> who = m_service.Authorize(authorization);
        if (!who)
            reply = ApiReply::Error(503, "database", QStringLiteral("无法连接数据库, 请稍后再试"));
        else if (who->isEmpty())
            reply = ApiReply::Unauthorized();
        else
            name = *who;
    }
    if (open || !name.isEmpty())
        reply = handler(name);
    Log(request, reply.status, clock.nsecsElapsed(), name);
    return ToResponse(reply);
}

void ApiServer::Log(const QHttpServerRequest &request, int status, qint64 nanoseconds, const QString &name) const
{
    if (!m_log)
        return;
    m_log(QStringLiteral("http %1 %2 %3 %4ms %5")
              .arg(MethodName(request.method()), request.url().path())
              .arg(status)
              .arg(double(nanoseconds) / 1e6, 0, 'f', 1)
              .arg(name.isEmpty() ? QStringLiteral("-") : name));
}
