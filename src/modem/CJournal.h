#pragma once
// The journal of every message sent (T_SEND) and received (T_REC), written on the modem
// worker's own connection. A row that cannot be written is kept, in order, and written when
// the database is back: tried again every retry interval and before every later row.
#include "base/SmsRecord.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>
#include <deque>
#include <functional>

class CDbAccess;

class CJournal
{
public:
    // Known: the arrival was journalled before (an earlier run, say, whose delete failed or
    // that ended before it); nothing is written, and its places are given back for deletion.
    enum class Outcome { Written, Kept, Known };
    using ErrorFn = std::function<void(const QString &text)>;

    // db: the connection of the thread that writes; onError: the texts the operator must see.
    void Attach(CDbAccess *db, ErrorFn onError);
    void Detach();
    void SetRetryInterval(int ms) { m_nRetryMs = ms; }

    // The sent-message row; when outboxKey > 0 the kept outgoing message ends with it, in
    // the same transaction. references: the "+CMGS: <mr>" of each part the network took, in
    // part order, kept with the row until it is written (a status report names its message by
    // them; the table has no place for them yet).
    Outcome Sent(const SmsRecord &record, const QString &time, bool success, qint64 outboxKey, qint64 nowMs,
                 const QVector<int> &references = {});
    // The received-message row; indexes are the modem storage places to free once it is
    // written; identity (ArrivalIdentity) recognises an arrival journalled already.
    Outcome Received(const SmsRecord &record, const QVector<int> &indexes, const QString &identity, qint64 nowMs);
    // What identifies an arrival whatever run reads it: a digest of its PDUs (TS 23.040 SMS-DELIVER,
    // the service centre's time stamp included), in part order.
    static QString ArrivalIdentity(const QStringList &pdus);

    // D_NO of the row written last: the row just handed over when Sent/Received say Written.
    qint64 LastWrittenKey() const { return m_nLastKey; }

    // Writes kept rows when their retry time has come (or at once with force).
    void Retry(qint64 nowMs, bool force = false);
    bool HasKept() const { return !m_kept.empty(); }
    int KeptCount() const { return int(m_kept.size()); }
    qint64 NextRetryMs() const { return m_nNextRetryMs; }
    // Storage indexes of arrivals whose rows have been written since the last call.
    QVector<int> TakeWrittenIndexes();
    bool HoldsIndex(int index) const;
    void ForgetIndex(int index);

    // The text as a row holds it: U+0000 (zero octets of 8-bit data, a zero UCS2 unit) becomes
    // U+FFFD, since a PostgreSQL text cannot hold it and a row refused for ever would hold up
    // every row after it.
    static QString StorableText(QString text);
    // "%Y-%m-%d %H:%M:%S" of the local clock.
    static QString LocalTime();
    // The service centre's time stamp (TS 23.040 9.2.3.11, digits as the field holds them)
    // as "20YY-MM-DD hh:mm:ss". A stamp that is no date at all gives the local time, so
    // that the row can still be written.
    static QString ReceivedTime(const QString &scts);

private:
    struct Row
    {
        bool sent = true;
        QVariantList values;
        qint64 outboxKey = 0;
        QVector<int> indexes;
        QString identity;
        QVector<int> references;
    };
    Outcome Add(Row row, qint64 nowMs);
    bool Flush(qint64 nowMs);
    bool Write(const Row &row);

    CDbAccess *m_pDb = nullptr;
    ErrorFn m_onError;
    bool m_bSpeak = false;
    int m_nRetryMs = 2000;
    qint64 m_nNextRetryMs = 0;
    qint64 m_nLastKey = 0;
    bool m_bLastKnown = false; // the row written last was there already
    std::deque<Row> m_kept;
    QVector<int> m_written;
};
