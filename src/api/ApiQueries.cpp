// What the API reads back: a message, a request's messages, the arrivals, the modems.
#include "ApiService.h"

#include "base/SmsRecord.h"
#include "db/CDbAccess.h"
#include "db/SqlCatalogue.h"

#include <QDate>
#include <QHash>
#include <QJsonDocument>
#include <QMap>

namespace {

QJsonObject ToJson(const MessageState &m)
{
    QJsonObject o{{QStringLiteral("id"), m.id}, {QStringLiteral("to"), m.to}, {QStringLiteral("state"), m.state}};
    o.insert(QStringLiteral("report"), m.report);
    o.insert(QStringLiteral("sent_at"), m.sentAt);
    o.insert(QStringLiteral("report_at"), m.reportAt);
    o.insert(QStringLiteral("port"), m.port);
    o.insert(QStringLiteral("sim"), m.sim);
    return o;
}

} // namespace

bool ApiService::ReadMessages(qint64 from, qint64 to, QVector<MessageState> *out)
{
    out->clear();
    // Journalled first: a row the journal has and the queue no longer has is done.
    QHash<qint64, MessageState> found;
    try {
        const RecordsetPtr sent = m_db.OpenRecordset(Sql::ApiSentRange, {from, to});
        for (; !sent->IsEOF(); sent->MoveNext()) {
            MessageState m;
            m.id = sent->GetFieldValue(0).toLongLong();
            m.state = sent->GetFieldValue(1).toInt() == 1 ? ReportText::kSuccess : ReportText::kFailure;
            m.sentAt = sent->GetFieldText(2);
            m.report = ReportText::Delivery(sent->GetFieldValue(3).toInt());
            m.reportAt = sent->GetFieldValue(4).toString();
            m.port = sent->GetFieldText(5);
            m.sim = sent->GetFieldText(6);
            m.to = sent->GetFieldText(7);
            found.insert(m.id, m);
        }
        const RecordsetPtr queued = m_db.OpenRecordset(Sql::ApiOutboxRange, {from, to});
        for (; !queued->IsEOF(); queued->MoveNext()) {
            MessageState m;
            m.id = queued->GetFieldValue(0).toLongLong();
            if (found.contains(m.id))
                continue;
            m.state = queued->GetFieldValue(1).toInt() == 0 ? QStringLiteral("queued") : QStringLiteral("sending");
            m.to = queued->GetFieldText(2);
            m.sim = queued->GetFieldText(3);
            m.port = queued->GetFieldText(4);
            found.insert(m.id, m);
        }
    } catch (const CDbError &) {
        return false;
    }
    out->reserve(found.size());
    for (const MessageState &m : std::as_const(found))
        out->append(m);
    std::sort(out->begin(), out->end(), [](const MessageState &a, const MessageState &b) { return a.id < b.id; });
    return true;
}

ApiReply ApiService::Message(qint64 id)
{
    QVector<MessageState> rows;
    if (id <= 0)
        return ApiReply::NotFound();
    if (!ReadMessages(id, id, &rows))
        return ApiReply::DatabaseError(m_db.LastError());
    if (rows.isEmpty())
        return ApiReply::Error(404, "not_found", QStringLiteral("没有这条短信 (已撤回或不存在)"));
    return ApiReply::Json(200, ToJson(rows.first()));
}

std::optional<QJsonObject> ApiService::MessageOfRecord(qint64 recordNo)
{
    qint64 id = 0;
    try {
        const RecordsetPtr rs = m_db.OpenRecordset(Sql::ApiSentByRecord, {recordNo});
        if (rs->IsEOF())
            return std::nullopt;
        id = rs->GetFieldValue(0).toLongLong();
    } catch (const CDbError &) {
        return std::nullopt;
    }
    QVector<MessageState> rows;
    if (id <= 0 || !ReadMessages(id, id, &rows) || rows.isEmpty())
        return std::nullopt;
    return ToJson(rows.first());
}

ApiReply ApiService::Batch(qint64 id)
{
    QString created, answer;
    int count = 0;
    try {
        const RecordsetPtr rs = m_db.OpenRecordset(Sql::ApiBatchSelect, {id});
        if (rs->IsEOF())
            return ApiReply::Error(404, "not_found", QStringLiteral("没有这批短信"));
        created = rs->GetFieldText(1);
        count = rs->GetFieldValue(2).toInt();
        answer = rs->GetFieldText(3);
    } catch (const CDbError &e) {
        return ApiReply::DatabaseError(e.Description());
    }
    // The request's messages, by the ids its answer gave, read in one range.
    QVector<qint64> ids;
    const QJsonArray given = QJsonDocument::fromJson(answer.toUtf8()).object().value(QStringLiteral("messages")).toArray();
    ids.reserve(given.size());
    for (const QJsonValue &v : given)
        ids.append(v.toObject().value(QStringLiteral("id")).toInteger());
    QVector<MessageState> rows;
    if (!ids.isEmpty() && !ReadMessages(*std::min_element(ids.cbegin(), ids.cend()),
                                        *std::max_element(ids.cbegin(), ids.cend()), &rows))
        return ApiReply::DatabaseError(m_db.LastError());
    QHash<qint64, qsizetype> at;
    for (qsizetype i = 0; i < rows.size(); ++i)
        at.insert(rows.at(i).id, i);
    QJsonArray messages;
    QMap<QString, int> states;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        MessageState m;
        if (const auto it = at.constFind(ids.at(i)); it != at.cend()) {
            m = rows.at(*it);
        } else {
            // Taken back before a modem had it (停止, or another station's withdrawal).
            m.id = ids.at(i);
            m.to = given.at(i).toObject().value(QStringLiteral("to")).toString();
            m.state = QStringLiteral("withdrawn");
        }
        ++states[m.state];
        if (!m.report.isEmpty())
            ++states[m.report];
        messages.append(ToJson(m));
    }
    QJsonObject counts;
    for (auto it = states.cbegin(); it != states.cend(); ++it)
        counts.insert(it.key(), it.value());
    return ApiReply::Json(200, QJsonObject{{QStringLiteral("id"), id},
                                           {QStringLiteral("created"), created},
                                           {QStringLiteral("count"), count},
                                           {QStringLiteral("counts"), counts},
                                           {QStringLiteral("messages"), messages}});
}

ApiReply ApiService::Inbox(const QString &afterText, const QString &limitText)
{
    bool ok = true;
    const qint64 after = afterText.isEmpty() ? 0 : afterText.toLongLong(&ok);
    if (!ok || after < 0)
        return ApiReply::Error(400, "bad_parameter", QStringLiteral("after 必须是一条短信的编号"));
    const int limit = limitText.isEmpty() ? kInboxDefault : limitText.toInt(&ok);
    if (!ok || limit < 1 || limit > kInboxMax)
        return ApiReply::Error(400, "bad_parameter", QStringLiteral("limit 必须在 1 到 %1 之间").arg(kInboxMax));
    QJsonArray messages;
    qint64 last = after;
    try {
        const RecordsetPtr rs = m_db.OpenRecordset(Sql::ApiInbox, {after, limit});
        for (; !rs->IsEOF(); rs->MoveNext()) {
            last = rs->GetFieldValue(0).toLongLong();
            messages.append(QJsonObject{{QStringLiteral("id"), last},
                                        {QStringLiteral("from"), rs->GetFieldText(1)},
                                        {QStringLiteral("text"), rs->GetFieldText(2)},
                                        {QStringLiteral("received_at"), rs->GetFieldText(3)},
                                        {QStringLiteral("port"), rs->GetFieldText(4)},
                                        {QStringLiteral("sim"), rs->GetFieldText(5)}});
        }
    } catch (const CDbError &e) {
        return ApiReply::DatabaseError(e.Description());
    }
    // The next page starts after the last arrival given: "after" of the next request.
    return ApiReply::Json(200, QJsonObject{{QStringLiteral("messages"), messages},
                                           {QStringLiteral("next"), QStringLiteral("/api/v1/inbox?after=%1").arg(last)},
                                           {QStringLiteral("after"), last},
                                           {QStringLiteral("more"), messages.size() == limit}});
}

ApiReply ApiService::Status()
{
    bool ok = false;
    const int waiting = QueuedCount(&ok);
    if (!ok)
        return ApiReply::DatabaseError(m_db.LastError());
    // Today's messages of each SIM, from the journal.
    QHash<QString, int> today;
    try {
        const QString midnight = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00");
        const RecordsetPtr rs = m_db.OpenRecordset(Sql::ApiSentSinceBySim, {midnight});
        for (; !rs->IsEOF(); rs->MoveNext())
            today.insert(rs->GetFieldText(0), rs->GetFieldValue(1).toInt());
    } catch (const CDbError &e) {
        return ApiReply::DatabaseError(e.Description());
    }
    QJsonArray modems;
    for (const ApiModem &m : m_hooks.modems ? m_hooks.modems() : QVector<ApiModem>()) {
        modems.append(QJsonObject{{QStringLiteral("port"), m.port},
                                  {QStringLiteral("sim"), m.sim},
                                  {QStringLiteral("ready"), m.ready},
                                  {QStringLiteral("readiness"), m.readiness},
                                  {QStringLiteral("signal"), m.signal},
                                  {QStringLiteral("sent_today"), m.sim.isEmpty() ? 0 : today.value(m.sim)}});
    }
    return ApiReply::Json(200, QJsonObject{{QStringLiteral("modems"), modems}, {QStringLiteral("queued"), waiting}});
}
