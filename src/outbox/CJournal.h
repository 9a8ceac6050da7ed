#pragma once
// The journal of every message sent (T_SEND) and received (T_REC): the only code that writes
// them. Each modem's worker writes on its own connection; the queue's keeper writes the
// outcome of a message that a station that is gone left in a modem's hands. A row that cannot
// be written is kept, in order, and written when the database is back: tried again every
// retry interval and before every later row. A sent row ends its message's kept row in the
// same transaction, and only while the claim on it holds: a station that lost its claim (it
// was taken for dead while frozen) journals nothing, since another did.
#include "OutboxError.h"
#include "base/SmsRecord.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>
#include <deque>
#include <functional>

class CDbAccess;

// One send attempt as the journal keeps it.
struct SentRow
{
    enum class Outcome { Sent, Failed };

    SmsRecord record;
    QString time;            // "%Y-%m-%d %H:%M:%S": when its first part went (or the attempt began)
    Outcome outcome = Outcome::Failed;
    QString port;            // the modem's port that had it in hand; "" not known
    QString sim;             // the IMSI of its SIM; "" not known
    // "+CMGS: <mr>" of each part the network took, in part order (TS 27.005 3.5.1), -1 for a
    // part whose reference never came: a status report names its message by them. Kept with
    // the row (D_REFS) whether or not a report was asked for.
    QVector<int> references;
    bool reportRequested = false; // its parts asked for a status report (TP-SRR)
    qint64 outboxKey = 0;    // > 0: the kept outgoing message ends with the row, in its transaction,
    qint64 claim = 0;        // ... while this station's claim on it holds
    qint64 run = 0;          // the run it counts in (T_RUN); 0 none
};

// One SMS-STATUS-REPORT (TS 23.040 9.2.2.3) as the journal keeps it.
struct ReportRow
{
    QString port;       // the modem that received it: references are per modem
    QString sim;        // its SIM (IMSI); "" not known: then the port stands for it
    int reference = 0;  // TP-MR
    QString recipient;  // TP-RA
    quint8 status = 0;  // TP-ST
    QString discharge;  // TP-DT as "YYYY-MM-DD hh:mm:ss"
    QString submitted;  // TP-SCTS in this machine's local time: when the service centre took it
    QString time;       // when it came, local "%Y-%m-%d %H:%M:%S"
    QString pdu;
};

// A sent message whose delivery state (SqlCatalogue::kReport*) a report changed.
struct DeliveryChange
{
    qint64 sendNo = 0;
    int state = 0;
    QString number;    // the recipient as the report named it
    QString discharge; // when it was delivered or failed
    bool operator==(const DeliveryChange &) const = default;
};

class CJournal
{
public:
    // Known: the arrival was journalled before (an earlier run, say, whose delete failed or
    // that ended before it); nothing is written, and its places are given back for deletion.
    // Lost: a sent row whose claim no longer holds: nothing is written.
    enum class Outcome { Written, Kept, Known, Lost };
    using ErrorFn = std::function<void(const OutboxError &error)>;

    // db: the connection of the thread that writes; onError: what the operator must be told.
    void Attach(CDbAccess *db, ErrorFn onError);
    void Detach();
    void SetRetryInterval(int ms) { m_nRetryMs = ms; }

    Outcome Sent(const SentRow &sent, qint64 nowMs);
    // The received-message row of the modem on port with that SIM; indexes are the modem
    // storage places to free once it is written; identity (ArrivalIdentity) recognises an
    // arrival that SIM journalled already (another modem of the pool may well receive the very
    // same PDU).
    Outcome Received(const SmsRecord &record, const QString &port, const QString &sim, const QVector<int> &indexes,
                     const QString &identity, qint64 nowMs);
    // The opt-out words (OptOutWords::Parse): an arrival whose whole text is one of them puts
    // its sender on the opt-out list in the transaction that journals it.
    void SetOptOutWords(const QStringList &words) { m_optOutWords = words; }
    // What identifies an arrival whatever run reads it: a digest of its PDUs (TS 23.040 SMS-DELIVER,
    // the service centre's time stamp included), in part order.
    static QString ArrivalIdentity(const QStringList &pdus);

    // A status report: matched to the sent part of the same SIM, reference and recipient from
    // the last kMatchDays days that went nearest to when the service centre took it (of a
    // modem whose SIM is not known: the newest of its port); kept (T_REPORT) when it matches
    // nothing yet, so that the row it reports on, written later, still finds it. indexes: the
    // modem storage places to free once it is kept.
    Outcome Report(const ReportRow &report, const QVector<int> &indexes, qint64 nowMs);
    static constexpr int kMatchDays = 3;
    // Delivery states changed by the rows written since the last call, in order.
    QVector<DeliveryChange> TakeDeliveryChanges();
    // What a report is matched by: the number rule's key of the recipient, so that a
    // recipient the network writes in national form still finds the message sent to it with
    // "86", and +864413900000001 is not 13900000001.
    static QString NumberKey(const QString &number);
    // A service centre's time stamp (TS 23.040 9.2.3.11, with its time zone) in this
    // machine's local time, "YYYY-MM-DD hh:mm:ss"; "" when it is no date.
    static QString LocalTimeOf(const QString &scts);

    // D_NO of the row written last: the row just handed over when Sent/Received say Written.
    qint64 LastWrittenKey() const { return m_nLastKey; }

    // Writes kept rows when their retry time has come (or at once with force).
    void Retry(qint64 nowMs, bool force = false);
    bool HasKept() const { return !m_kept.empty(); }
    // The sent rows still kept, taken out of the journal: what a program that ends without
    // its database leaves for the next start (ArrivalIdentity rows stay in the modem anyway).
    QVector<SentRow> TakeKeptSent();
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
        bool report = false;
        bool reportRequested = false;
        ReportRow delivery;
        QVariantList values;
        qint64 outboxKey = 0;
        qint64 claim = 0;
        qint64 run = 0;
        QVector<int> indexes;
        QString identity;
        bool optOut = false; // the arrival's sender goes on the opt-out list with it
        QString port;
        QString sim;
        QVector<int> references;
        SentRow sentRow; // as given, for TakeKeptSent
    };
    enum class Wrote { Yes, No, Lost };
    Outcome Add(Row row, qint64 nowMs);
    bool Flush(qint64 nowMs);
    Wrote Write(const Row &row);
    bool WriteReport(const Row &row);
    bool WriteParts(qint64 sendNo, const Row &row, QVector<DeliveryChange> &changes);
    bool Apply(qint64 sendNo, int partState, const QString &discharge, const QString &number,
               QVector<DeliveryChange> &changes);
    static int PartState(quint8 status);

    CDbAccess *m_pDb = nullptr;
    ErrorFn m_onError;
    bool m_bSpeak = false;
    int m_nRetryMs = 2000;
    qint64 m_nNextRetryMs = 0;
    qint64 m_nLastKey = 0;
    bool m_bLastKnown = false; // the row written last was there already
    bool m_bLastLost = false;  // the row given last found its claim lost
    std::deque<Row> m_kept;
    QVector<int> m_written;
    QVector<DeliveryChange> m_changes;
    QStringList m_optOutWords;
};
