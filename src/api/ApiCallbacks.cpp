#include "ApiCallbacks.h"

#include "db/CDbAccess.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUuid>

namespace {
constexpr int kMaxRetrySeconds = 300;
constexpr int kPostTimeoutMs = 10000;
} // namespace

ApiCallbacks::ApiCallbacks(CDbAccess &db, const Config &config, LogSink log, QObject *parent)
    : QObject(parent)
    , m_db(db)
    , m_config(config)
    , m_log(std::move(log))
    , m_pNet(new QNetworkAccessManager(this))
    , m_pTimer(new QTimer(this))
{
    m_pNet->setTransferTimeout(kPostTimeoutMs);
    m_pTimer->setInterval(m_config.pollMs);
    connect(m_pTimer, &QTimer::timeout, this, &ApiCallbacks::Post);
}

ApiCallbacks::~ApiCallbacks() = default;

QByteArray ApiCallbacks::Signature(const QByteArray &secret, const QByteArray &timestamp, const QByteArray &body)
{
    return QMessageAuthenticationCode::hash(timestamp + '.' + body, secret, QCryptographicHash::Sha256).toHex();
}

int ApiCallbacks::RetrySeconds(int tries)
{
    return tries >= 9 ? kMaxRetrySeconds : qMin(kMaxRetrySeconds, 1 << qMax(1, tries));
}

bool ApiCallbacks::Keep(const QString &kind, const QJsonObject &data)
{
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QJsonObject event{{QStringLiteral("id"), id}, {QStringLiteral("type"), kind}, {QStringLiteral("data"), data}};
    const QString body = QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact));
    return m_db.Execute(Sql::CallbackInsert, {id, kind, body});
}

void ApiCallbacks::Start()
{
    m_pTimer->start();
    Post();
}

void ApiCallbacks::Post()
{
    if (m_bPosting)
        return;
    qint64 no = 0;
    QString id;
    QByteArray body;
    int tries = 0;
    qint64 age = 0;
    try {
        const RecordsetPtr rs = m_db.OpenRecordset(Sql::CallbackDue, {1});
        if (rs->IsEOF())
            return;
        no = rs->GetFieldValue(0).toLongLong();
        id = rs->GetFieldText(1);
        body = rs->GetFieldText(2).toUtf8();
        tries = rs->GetFieldValue(3).toInt();
        age = rs->GetFieldValue(4).toLongLong();
    } catch (const CDbError &) {
        return; // the sink said why; tried again at the next tick
    }
    if (age > m_config.giveUpSeconds) {
        m_db.Execute(Sql::CallbackGiveUp, {no});
        if (m_log)
            m_log(QStringLiteral("callback %1 given up after %2 tries").arg(id).arg(tries));
        return;
    }
    const QByteArray timestamp = QByteArray::number(QDateTime::currentSecsSinceEpoch());
    QNetworkRequest request{QUrl(m_config.url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
    request.setRawHeader("X-Skevo-Event", id.toLatin1());
    request.setRawHeader("X-Skevo-Timestamp", timestamp);
    request.setRawHeader("X-Skevo-Signature", "sha256=" + Signature(m_config.secret, timestamp, body));
    m_bPosting = true;
    QNetworkReply *reply = m_pNet->post(request, body);
    connect(reply, &QNetworkReply::finished, this, [this, reply, no, id, tries] {
        reply->deleteLater();
        m_bPosting = false;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 200 && status < 300) {
            m_db.Execute(Sql::CallbackDone, {no});
            if (m_log)
                m_log(QStringLiteral("callback %1 %2").arg(id).arg(status));
            // The next one at once: a backlog goes as fast as the receiver takes it.
            QTimer::singleShot(0, this, &ApiCallbacks::Post);
            return;
        }
        const int wait = RetrySeconds(tries + 1);
        m_db.Execute(Sql::CallbackRetry, {wait, no});
        if (m_log)
            m_log(QStringLiteral("callback %1 %2, again in %3 s")
                      .arg(id, status ? QString::number(status) : reply->errorString())
                      .arg(wait));
    });
}
