#include "ApiService.h"
#include "ApiTokens.h"

#include "base/MessageText.h"
#include "base/NumberRules.h"
#include "db/CDbAccess.h"
#include "db/DbTime.h"
#include "outbox/IOutbox.h"
#include "send/SendRun.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QJsonParseError>

namespace {
constexpr int kMaxClientId = 128;

QString Location(qint64 batch)
{
    return QStringLiteral("/api/v1/batches/%1").arg(batch);
}

ApiReply WithLocation(ApiReply reply, qint64 batch)
{
    reply.headers.append(qMakePair(QByteArray("Location"), Location(batch).toLatin1()));
    return reply;
}

// The answer kept for a repeat: given again as it was, with the status of a repeat.
ApiReply Repeat(qint64 batch, const QString &answer)
{
    ApiReply r;
    r.status = 200;
    r.body = answer.toUtf8();
    return WithLocation(r, batch);
}
} // namespace

ApiService::ApiService(CDbAccess &db, IOutbox &outbox, const ApiSettings &settings, Hooks hooks)
    : m_db(db)
    , m_outbox(outbox)
    , m_settings(settings)
    , m_hooks(std::move(hooks))
{
}

std::optional<QString> ApiService::Authorize(const QByteArray &authorization)
{
    const QByteArray value = authorization.trimmed();
    if (value.size() < 8 || value.left(7).toLower() != "bearer ")
        return QString();
    return ApiTokens::NameOf(m_db, QString::fromLatin1(value.mid(7).trimmed()));
}

ApiReply ApiService::Refuse(const QString &text)
{
    // The send button's words; the code names which check refused.
    const char *code = "refused";
    if (text == SendRun::EmptyText().m_strText)
        code = "empty_text";
    else if (text == SendRun::EmptyList().m_strText)
        code = "no_recipients";
    else if (text == MessageText::TooLong().m_strText || text.contains(QStringLiteral("超过140字节")))
        code = "text_too_long";
    else if (text.startsWith(QStringLiteral("未知的字段")))
        code = "unknown_field";
    return ApiReply::Error(400, code, text);
}

int ApiService::QueuedCount(bool *ok)
{
    const RecordsetPtr rs = m_db.OpenRecordset(Sql::OutboxQueuedCount);
    try {
        *ok = true;
        return rs->IsEOF() ? 0 : rs->GetFieldValue(0).toInt();
    } catch (const CDbError &) {
        *ok = false;
        return 0;
    }
}

int ApiService::QueuedForLimit(bool *ok)
{
    constexpr qint64 kRecountMs = 1000;
    if (!m_countedAt.isValid() || m_countedAt.elapsed() >= kRecountMs) {
        m_nCounted = QueuedCount(ok);
        if (!*ok)
            return 0;
        m_countedAt.start();
    }
    *ok = true;
    return m_nCounted;
}

ApiReply ApiService::PostMessages(const QString &token, const QByteArray &contentType, const QByteArray &body)
{
    if (body.size() > m_settings.maxBody)
        return ApiReply::Error(413, "too_large",
                               QStringLiteral("请求内容太大 (最多 %1 字节)").arg(m_settings.maxBody));
    const QByteArray type = contentType.split(';').value(0).trimmed().toLower();
    if (type != "application/json")
        return ApiReply::Error(415, "not_json", QStringLiteral("请求内容必须是 JSON (Content-Type: application/json)"));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return ApiReply::Error(400, "bad_json", QStringLiteral("请求内容不是有效的 JSON 对象"));
    const QJsonObject request = document.object();

    const QJsonValue textValue = request.value(QStringLiteral("text"));
    if (!textValue.isUndefined() && !textValue.isString())
        return ApiReply::Error(400, "bad_field", QStringLiteral("text 必须是字符串"));
    const QString text = textValue.toString();
    const QJsonValue toValue = request.value(QStringLiteral("to"));
    if (!toValue.isUndefined() && !toValue.isArray())
        return ApiReply::Error(400, "bad_field", QStringLiteral("to 必须是号码的数组"));
    const QJsonValue clientValue = request.value(QStringLiteral("client_id"));
    if (!clientValue.isUndefined() && !clientValue.isNull()
        && (!clientValue.isString() || clientValue.toString().size() > kMaxClientId))
        return ApiReply::Error(400, "bad_field", QStringLiteral("client_id 必须是不超过 %1 个字符的字符串").arg(kMaxClientId));
    const QString clientId = clientValue.toString();
    const QJsonValue reportValue = request.value(QStringLiteral("report"));
    if (!reportValue.isUndefined() && !reportValue.isBool())
        return ApiReply::Error(400, "bad_field", QStringLiteral("report 必须是 true 或 false"));
    // Whether a message asks for its delivery report is the modems' setting (Report=), the
    // same for every message: a request cannot ask for one the modems do not.
    if (reportValue.toBool() && !(m_hooks.reports && m_hooks.reports()))
        return ApiReply::Error(400, "report_off", QStringLiteral("短信猫未设置要求回执 (Report=0), 无法要求回执"));
    // The messages wait in the queue until send_at; one in the past goes at once. Only a time
    // that says its offset: the server's local time is no agreement with the caller.
    qint64 notBefore = 0;
    const QJsonValue sendAtValue = request.value(QStringLiteral("send_at"));
    if (!sendAtValue.isUndefined() && !sendAtValue.isNull()) {
        static const QRegularExpression withOffset(QStringLiteral("(Z|[+-][0-9]{2}:?[0-9]{2})$"));
        const QString sendAt = sendAtValue.toString().trimmed();
        const QDateTime at = QDateTime::fromString(sendAt, Qt::ISODate);
        if (!sendAtValue.isString() || !at.isValid() || !withOffset.match(sendAt).hasMatch())
            return ApiReply::Error(400, "bad_field",
                                   QStringLiteral("send_at 必须是带时区的 ISO 8601 时间, 如 2026-12-08T18:00:00+08:00"));
        notBefore = at.toSecsSinceEpoch();
    }

    // A repeat of a client id queues nothing: the first answer again.
    if (!clientId.isEmpty()) {
        const RecordsetPtr rs = m_db.OpenRecordset(Sql::ApiBatchByClient, {token, clientId});
        try {
            if (!rs->IsEOF())
                return Repeat(rs->GetFieldValue(0).toLongLong(), rs->GetFieldText(1));
        } catch (const CDbError &e) {
            return ApiReply::DatabaseError(e.Description());
        }
    }

    // Every entry that is no number is named; one of them refuses the whole request.
    const QJsonArray to = toValue.toArray();
    QStringList entries;
    QJsonArray bad;
    for (qsizetype i = 0; i < to.size(); ++i) {
        const QJsonValue v = to.at(i);
        const QString entry = v.isString() ? v.toString().trimmed() : QString();
        if (!v.isString() || !NumberRules::IsValidNumber(entry))
            bad.append(QJsonObject{{QStringLiteral("index"), int(i)}, {QStringLiteral("to"), v}});
        entries.append(entry);
    }
    if (text.isEmpty())
        return Refuse(SendRun::EmptyText().m_strText);
    if (!bad.isEmpty()) {
        ApiReply r = ApiReply::Error(400, "bad_number", SendRun::BadNumber().m_strText);
        QJsonObject object = QJsonDocument::fromJson(r.body).object();
        object.insert(QStringLiteral("bad"), bad);
        return ApiReply::Json(400, object);
    }
    // One phone gets one message, as with skevo-cli send and a number file.
    const QString smsc = m_hooks.smsc ? m_hooks.smsc() : QString();
    SendRunPlan plan = SendRun::Plan(text, SendRun::OncePerPhone(entries), true, smsc, RecipientFields(), SendRun::BookOf(m_db));
    if (!plan.m_bQueue || plan.m_records.isEmpty())
        return Refuse(plan.m_messages.isEmpty() ? SendRun::EmptyList().m_strText : plan.m_messages.first().m_strText);
    // Numbers on the opt-out list are left out, and the answer says how many.
    const qsizetype planned = plan.m_records.size();
    const std::optional<PanelMessage> optedOut = SendRun::LeaveOptedOut(m_db, plan);
    if (!plan.m_bQueue)
        return ApiReply::DatabaseError(optedOut ? optedOut->m_strText : m_db.LastError());
    if (plan.m_records.isEmpty())
        return ApiReply::Error(400, "opted_out", optedOut ? optedOut->m_strText : SendRun::EmptyList().m_strText);
    const int skipped = int(planned - plan.m_records.size());

    bool counted = false;
    const int waiting = QueuedForLimit(&counted);
    if (!counted)
        return ApiReply::DatabaseError(m_db.LastError());
    if (qint64(waiting) + plan.m_records.size() > m_settings.maxQueued) {
        ApiReply r = ApiReply::Error(503, "queue_full",
                                     QStringLiteral("队列已满 (%1 条等待发送), 请稍后再试").arg(waiting));
        r.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray::number(kRetryAfterSeconds)));
        return r;
    }

    // The request's row, its messages and its answer: one transaction.
    qint64 batch = 0;
    QString answer;
    IOutbox::Options options;
    options.kind = IOutbox::RunKind::Api;
    options.notBefore = notBefore;
    options.claim = [&](CDbAccess &db) {
        batch = db.Insert(Sql::ApiBatchInsert, {token, clientId, DbTime::Now(), int(plan.m_records.size())});
        return batch > 0;
    };
    options.done = [&](CDbAccess &db, const QVector<qint64> &keys) {
        QJsonArray messages;
        for (qsizetype i = 0; i < keys.size(); ++i)
            messages.append(QJsonObject{{QStringLiteral("id"), keys.at(i)}, {QStringLiteral("to"), plan.m_numbers.value(i)}});
        QJsonObject object{{QStringLiteral("batch"), batch},
                           {QStringLiteral("count"), int(keys.size())},
                           {QStringLiteral("messages"), messages}};
        if (skipped > 0) {
            object.insert(QStringLiteral("opted_out"), skipped);
            object.insert(QStringLiteral("message"), optedOut->m_strText);
        }
        answer = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
        return db.Execute(Sql::ApiBatchAnswer, {answer, batch});
    };
    if (!m_outbox.Enqueue(plan.m_records, options)) {
        // Another station took this client id at the same moment: its answer stands.
        if (!clientId.isEmpty()) {
            const RecordsetPtr rs = m_db.OpenRecordset(Sql::ApiBatchByClient, {token, clientId});
            try {
                if (!rs->IsEOF())
                    return Repeat(rs->GetFieldValue(0).toLongLong(), rs->GetFieldText(1));
            } catch (const CDbError &) {
            }
        }
        return ApiReply::Error(500, "database", QStringLiteral("SQL数据错误, 没有排队任何短信"));
    }
    m_nCounted += int(plan.m_records.size());
    ApiReply r;
    r.status = 202;
    r.body = answer.toUtf8();
    return WithLocation(r, batch);
}
