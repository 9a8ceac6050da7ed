// skevo-cli token add NAME | list | revoke NAME: the tokens other programs present to the
// HTTP API of serve. A new token is printed once; the database keeps only its digest.
#include "CliCommands.h"

#include "api/ApiTokens.h"
#include "app/CSkevoApp.h"
#include "db/CDbAccess.h"

namespace {
const QString kUsage = QStringLiteral("usage: skevo-cli token add NAME | list | revoke NAME");
}

int RunToken(const QStringList &args)
{
    const QString verb = args.value(0);
    const bool named = verb == QLatin1String("add") || verb == QLatin1String("revoke");
    if (!(named && args.size() == 2) && !(verb == QLatin1String("list") && args.size() == 1))
        return CliFail(kUsage);
    const QString name = args.value(1).trimmed();
    if (named && name.isEmpty())
        return CliFail(kUsage);

    CSkevoApp app(CSkevoApp::DefaultSettingsPath());
    app.Db().SetErrorSink([](const QString &text) { PrintLine(stderr, text); });
    if (verb == QLatin1String("add")) {
        const QString token = ApiTokens::Add(app.Db(), name);
        if (token.isEmpty())
            return 1;
        PrintLine(stdout, token);
        PrintLine(stderr, QStringLiteral("令牌 \"%1\" 已创建; 它只显示这一次, 请妥善保存").arg(name));
        return 0;
    }
    if (verb == QLatin1String("revoke")) {
        const int revoked = ApiTokens::Revoke(app.Db(), name);
        if (revoked < 0)
            return 1;
        if (revoked == 0) {
            PrintLine(stderr, QStringLiteral("没有名为 \"%1\" 的有效令牌").arg(name));
            return 2;
        }
        PrintLine(stdout, QStringLiteral("已吊销 %1 个令牌").arg(revoked));
        return 0;
    }
    const std::optional<QVector<ApiTokens::Listed>> tokens = ApiTokens::List(app.Db());
    if (!tokens)
        return 1;
    for (const ApiTokens::Listed &t : *tokens)
        PrintLine(stdout, QStringLiteral("%1\t%2\t%3")
                              .arg(OneLine(t.name), t.created, t.revoked ? QStringLiteral("已吊销") : QStringLiteral("有效")));
    return 0;
}
