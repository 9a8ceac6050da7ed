#pragma once
// The events serve posts to another program ([HTTP] Callback=URL): each arrival and each
// delivery report, as JSON with an id of its own, kept in the database (T_CALLBACK) from the
// moment it is known until the receiver answers 2xx, so that a restart of serve loses none.
// Each post is signed: X-Skevo-Timestamp (Unix seconds), X-Skevo-Event (the id) and
// X-Skevo-Signature: "sha256=" and the hex HMAC-SHA256, keyed with [HTTP] CallbackSecret=,
// of the timestamp, ".", and the body. A failed post (no answer, not 2xx) is tried again
// after 2, 4, 8 ... seconds (at most 5 minutes apart) for [HTTP] CallbackHours= (24) hours,
// then given up. One post at a time, oldest first. A receiver may be sent an event twice
// (its 2xx lost, two serve on one database): it drops a repeat by the id.
#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <functional>

class CDbAccess;
class QNetworkAccessManager;
class QTimer;

class ApiCallbacks : public QObject
{
    Q_OBJECT
public:
    using LogSink = std::function<void(const QString &line)>;
    struct Config
    {
        QString url;
        QByteArray secret;
        int giveUpSeconds = 24 * 3600;
        int pollMs = 1000;
    };
    ApiCallbacks(CDbAccess &db, const Config &config, LogSink log, QObject *parent = nullptr);
    ~ApiCallbacks() override;

    // Keeps an event ("arrival", "delivery") with what it says; false when the database
    // refused it.
    bool Keep(const QString &kind, const QJsonObject &data);
    // Posts what is due from now on, every pollMs.
    void Start();

    static QByteArray Signature(const QByteArray &secret, const QByteArray &timestamp, const QByteArray &body);
    static int RetrySeconds(int tries); // after the tries-th failure

private:
    void Post();

    CDbAccess &m_db;
    Config m_config;
    LogSink m_log;
    QNetworkAccessManager *m_pNet = nullptr;
    QTimer *m_pTimer = nullptr;
    bool m_bPosting = false;
};
