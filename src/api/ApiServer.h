#pragma once
// The HTTP side of the API: Qt HttpServer (a technology preview in Qt 6.4) routes each path to
// ApiService and writes its answer. Qt 6.4's server has no hook that runs before a route, so
// every route checks "Authorization: Bearer" itself (Serve) before it calls the service, and
// writes the request's one log line: method, path, status, milliseconds, the token's name
// (never the token).
#include "ApiReply.h"
#include "ApiSettings.h"

#include <QObject>
#include <functional>
#include <memory>

class ApiService;
class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponse;

class ApiServer : public QObject
{
    Q_OBJECT
public:
    using LogSink = std::function<void(const QString &line)>;
    ApiServer(ApiService &service, LogSink log, QObject *parent = nullptr);
    ~ApiServer() override;

    // Listens; the port it listens on (the one given, or a free one for port 0), 0 when it
    // could not, with the reason in *error.
    quint16 Listen(const ApiSettings::Address &address, QString *error);
    // /metrics needs no token only while the server listens on a loopback address.
    bool OnLoopback() const { return m_bLoopback; }

private:
    enum class Token { Required, UnlessLoopback };
    QHttpServerResponse Serve(const QHttpServerRequest &request, Token token,
                              const std::function<ApiReply(const QString &name)> &handler);
    void Log(const QHttpServerRequest &request, int status, qint64 nanoseconds, const QString &name) const;

    ApiService &m_service;
    LogSink m_log;
    std::unique_ptr<QHttpServer> m_server;
    bool m_bLoopback = true;
};
