#pragma once
// What the HTTP API answers, without HTTP: each route of ApiServer is one call here, which
// reads or queues through the database and returns the answer. A request to send is checked
// as the send button checks the panel (SendRun: the numbers, the text and its 140 bytes, the
// fields) and queued in one transaction with the row of its request (T_APIBATCH), so that it
// is queued whole or not at all, and a repeat of its client id is known even after a restart.
// One thread only: the one that also owns the outbox's producing side (serve's).
#include "ApiReply.h"
#include "ApiSettings.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>

class CDbAccess;
class IOutbox;

// One modem as GET /api/v1/status and /metrics show it; the caller fills it from the engine.
struct ApiModem
{
    QString port;
    QString sim;       // IMSI, "" while not known
    bool ready = false;
    QString readiness; // the status bar's words ("就绪", "SIM卡需要PIN码, ...")
    int signal = -1;   // AT+CSQ rssi 0..31; -1 not known
};

// What a message is now, as the API tells it.
struct MessageState
{
    qint64 id = 0;
    QString to;
    QString state;     // "queued", "sending", "成功", "失败"
    QString report;    // "", "等待回执", "已送达", "未送达"
    QString sentAt;    // when it was journalled; ""
    QString reportAt;  // when its delivery was known; ""
    QString port;
    QString sim;
};

class ApiService
{
public:
    struct Hooks
    {
        std::function<QString()> smsc;                // the service centre of the device settings
        std::function<bool()> reports;                // whether the modems ask for delivery reports
        std::function<QVector<ApiModem>()> modems;    // the modems of this serve
    };
    ApiService(CDbAccess &db, IOutbox &outbox, const ApiSettings &settings, Hooks hooks);

    const ApiSettings &Settings() const { return m_settings; }

    // The name of the token in "Authorization: Bearer <token>"; "" when there is none or it
    // is not valid (or revoked); nullopt when the database could not be asked.
    std::optional<QString> Authorize(const QByteArray &authorization);

    // POST /api/v1/messages: contentType the request's header, token the caller's name.
    ApiReply PostMessages(const QString &token, const QByteArray &contentType, const QByteArray &body);
    // GET /api/v1/messages/{id}, /api/v1/batches/{id}
    ApiReply Message(qint64 id);
    ApiReply Batch(qint64 id);
    // GET /api/v1/inbox?after=ID&limit=N: arrivals after that one, oldest first.
    ApiReply Inbox(const QString &after, const QString &limit);
    // GET /api/v1/status
    ApiReply Status();
    // What a delivery report's event tells: the message (as GET /api/v1/messages/{id}) whose
    // journal row (T_SEND.D_NO) it is; nullopt when the row or the database is not there.
    std::optional<QJsonObject> MessageOfRecord(qint64 recordNo);
    // GET /metrics: the Prometheus text format.
    ApiReply Metrics();

    static constexpr int kInboxDefault = 100;
    static constexpr int kInboxMax = 1000;
    static constexpr int kRetryAfterSeconds = 30;

private:
    ApiReply Refuse(const QString &text);
    // The messages with these ids, by id: queued, sending, or journalled.
    bool ReadMessages(qint64 from, qint64 to, QVector<MessageState> *out);
    int QueuedCount(bool *ok);
    // The same for the check against MaxQueued: counted again at most once a second (a count
    // of a long queue is not free), what this server queued since added.
    int QueuedForLimit(bool *ok);

    CDbAccess &m_db;
    IOutbox &m_outbox;
    ApiSettings m_settings;
    Hooks m_hooks;
    QElapsedTimer m_countedAt;
    int m_nCounted = 0;
};

