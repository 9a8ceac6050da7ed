#include "ApiReply.h"

#include <QJsonDocument>

ApiReply ApiReply::Json(int status, const QJsonObject &object)
{
    ApiReply r;
    r.status = status;
    r.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return r;
}

ApiReply ApiReply::Error(int status, const char *code, const QString &message)
{
    return Json(status, QJsonObject{{QStringLiteral("error"), QString::fromLatin1(code)},
                                    {QStringLiteral("message"), message}});
}

ApiReply ApiReply::Unauthorized()
{
    ApiReply r = Error(401, "unauthorized", QStringLiteral("令牌无效或已吊销, 请在请求头 Authorization 中提供有效的令牌"));
    r.headers.append(qMakePair(QByteArray("WWW-Authenticate"), QByteArray("Bearer")));
    return r;
}

ApiReply ApiReply::NotFound()
{
    return Error(404, "not_found", QStringLiteral("没有找到"));
}

ApiReply ApiReply::DatabaseError(const QString &cause)
{
    QString message = QStringLiteral("读取数据库出错: ") + cause;
    return Error(500, "database", message);
}
