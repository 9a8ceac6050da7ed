#pragma once
// One answer of the HTTP API, before the server writes it: its status, its JSON (or text)
// body and headers. Every refusal is {"error": "<code>", "message": "<what the window says>"}.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>

struct ApiReply
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    QList<QPair<QByteArray, QByteArray>> headers;

    static ApiReply Json(int status, const QJsonObject &object);
    static ApiReply Error(int status, const char *code, const QString &message);
    // The refusals every route shares.
    static ApiReply Unauthorized();
    static ApiReply NotFound();
    static ApiReply DatabaseError(const QString &cause);
};
