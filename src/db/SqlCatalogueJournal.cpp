// The statements of the engine's own tables: the messages kept until their attempt is
// journalled (T_OUTBOX), the journal rows of sent and received messages (T_SEND, T_REC
// written) and the delivery reports (T_SENDPART, T_REPORT, T_SEND.D_REPORT).
#include "SqlCataloguePrivate.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace SqlCatalogue {

namespace Detail {

void AddJournalStatements(Statements &s)
{
    const bool pg = s.pg;
    const QString now = EpochNow(pg);

    // T_OUTBOX
    // The rows come as one JSON array bound as one value: a statement of thousands of rows
    // costs one round trip and no per-value binding. Both dialects number the rows in the
    // order they are inserted, which ORDER BY fixes; RETURNING may list them in any order.
    s.Keys(Sql::OutboxInsertBatch,
           pg ? QStringLiteral("INSERT INTO T_OUTBOX(D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID,D_HOST,D_PLACE,D_OWNER,D_LEASE) "
                               "SELECT j.v->>0,j.v->>1,CAST(j.v->>2 AS integer),CAST(j.v->>3 AS integer),j.v->>4,"
                               "CAST(j.v->>5 AS integer),CAST(? AS text),CAST(? AS text),CAST(? AS text),%1 "
                               "FROM json_array_elements(CAST(? AS json)) WITH ORDINALITY AS j(v,n) ORDER BY j.n "
                               "RETURNING D_NO")
                    .arg(now)
              : QStringLiteral("INSERT INTO T_OUTBOX(D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID,D_HOST,D_PLACE,D_OWNER,D_LEASE) "
                               "SELECT json_extract(j.value,'$[0]'),json_extract(j.value,'$[1]'),json_extract(j.value,'$[2]'),"
                               "json_extract(j.value,'$[3]'),json_extract(j.value,'$[4]'),json_extract(j.value,'$[5]'),?,?,?,%1 "
                               "FROM json_each(?) AS j ORDER BY j.key RETURNING D_NO")
                    .arg(now));
    s.Rows(Sql::OutboxSelect, QStringLiteral("SELECT D_NO,D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID,D_STATE,D_PORT FROM T_OUTBOX "
                                             "WHERE D_OWNER=? ORDER BY D_NO"));
    s.Rows(Sql::OutboxOwners, QStringLiteral("SELECT D_OWNER,%1-MAX(D_LEASE) AS AGE FROM T_OUTBOX "
                                             "WHERE (D_HOST=? AND D_PLACE=?) OR D_OWNER='' GROUP BY D_OWNER")
                                  .arg(now));
    s.NoRows(Sql::OutboxClaim, QStringLiteral("UPDATE T_OUTBOX SET D_OWNER=?,D_HOST=?,D_PLACE=?,D_LEASE=%1 "
                                              "WHERE D_OWNER=? AND (D_OWNER='' OR (D_HOST=? AND D_PLACE=?))")
                                   .arg(now));
    s.NoRows(Sql::OutboxRenew, QStringLiteral("UPDATE T_OUTBOX SET D_LEASE=%1 WHERE D_OWNER=?").arg(now));
    s.NoRows(Sql::OutboxMarkInFlight, QStringLiteral("UPDATE T_OUTBOX SET D_STATE=1,D_PORT=? WHERE D_NO=? AND (D_ID<=0 OR EXISTS "
                                                     "(SELECT 1 FROM T_ORDER WHERE T_ORDER.D_ID=T_OUTBOX.D_ID))"));
    s.NoRows(Sql::OutboxMarkQueued, QStringLiteral("UPDATE T_OUTBOX SET D_STATE=0 WHERE D_NO=?"));
    s.NoRows(Sql::OutboxDelete, QStringLiteral("DELETE FROM T_OUTBOX WHERE D_NO=?"));
    s.NoRows(Sql::OutboxDeleteBatch,
             pg ? QStringLiteral("DELETE FROM T_OUTBOX WHERE D_NO IN "
                                 "(SELECT CAST(k AS bigint) FROM json_array_elements_text(CAST(? AS json)) AS k)")
                : QStringLiteral("DELETE FROM T_OUTBOX WHERE D_NO IN (SELECT value FROM json_each(?))"));
    s.NoRows(Sql::OutboxWithdrawOrder, QStringLiteral("DELETE FROM T_OUTBOX WHERE D_ID=? AND D_STATE=0"));

    // T_SEND, T_REC: the journal
    s.Key(Sql::SendInsert, QStringLiteral("insert into T_SEND(D_ID,D_SENDTIME,D_STATE,D_SENDNUM,D_SENDCONT,D_PORT) "
                                          "values(?,?,?,?,?,?)")
                               + ReturningKey("D_NO", pg));
    s.Key(Sql::SendInsertReported, QStringLiteral("insert into T_SEND(D_ID,D_SENDTIME,D_STATE,D_SENDNUM,D_SENDCONT,D_PORT,"
                                                  "D_REPORT,D_REFS) values(?,?,?,?,?,?,?,?)")
                                       + ReturningKey("D_NO", pg));
    s.Key(Sql::RecInsert, QStringLiteral("insert into T_REC(D_RECNUM,D_RECCONT,D_RECTIME,D_PORT) values(?,?,?,?)")
                              + ReturningKey("D_NO", pg));
    s.Key(Sql::RecInsertArrival, QStringLiteral("insert into T_REC(D_RECNUM,D_RECCONT,D_RECTIME,D_PORT,D_PDU) values(?,?,?,?,?)")
                                     + ReturningKey("D_NO", pg));
    s.Rows(Sql::RecFindByIdentity,
           QStringLiteral("SELECT D_NO FROM T_REC WHERE D_PDU=? AND (D_PORT=? OR D_PORT='') ORDER BY D_NO LIMIT 1"));

    // Delivery reports
    s.NoRows(Sql::PartInsert, QStringLiteral("INSERT INTO T_SENDPART(D_SEND,D_PART,D_PORT,D_MR,D_NUM,D_TIME) VALUES(?,?,?,?,?,?)"));
    // One statement, one round trip: the lookup walks IX_T_SENDPART_REF to its newest entry.
    s.Keys(Sql::PartMatch, QStringLiteral("UPDATE T_SENDPART SET D_REPORT=CASE WHEN ?=1 THEN D_REPORT ELSE ? END "
                                          "WHERE (D_SEND,D_PART)=(SELECT D_SEND,D_PART FROM T_SENDPART WHERE D_PORT=? AND D_MR=? "
                                          "AND D_NUM=? AND D_TIME>=? ORDER BY D_TIME DESC,D_SEND DESC LIMIT 1) RETURNING D_SEND"));
    s.NoRows(Sql::PartSetReport, QStringLiteral("UPDATE T_SENDPART SET D_REPORT=? WHERE D_SEND=? AND D_PART=?"));
    s.NoRows(Sql::SendSetFailed, QStringLiteral("UPDATE T_SEND SET D_REPORT=3,D_REPORTTIME=? WHERE D_NO=? AND D_REPORT<>3"));
    s.NoRows(Sql::SendSetDelivered, QStringLiteral("UPDATE T_SEND SET D_REPORT=2,D_REPORTTIME=? WHERE D_NO=? AND D_REPORT=1 "
                                                   "AND NOT EXISTS(SELECT 1 FROM T_SENDPART WHERE D_SEND=? AND D_REPORT<>2)"));
    s.NoRows(Sql::ReportKeep,
             QStringLiteral("INSERT INTO T_REPORT(D_PORT,D_MR,D_NUM,D_STATUS,D_DONE,D_TIME,D_PDU) VALUES(?,?,?,?,?,?,?)"));
    s.Rows(Sql::ReportFindKept, QStringLiteral("SELECT D_NO,D_STATUS,%1 AS MYDONE FROM T_REPORT WHERE D_PORT=? AND D_MR=? "
                                               "AND D_NUM=? AND D_TIME>=? ORDER BY D_NO")
                                    .arg(Ts("D_DONE", pg)));
    s.NoRows(Sql::ReportDeleteKept, QStringLiteral("DELETE FROM T_REPORT WHERE D_NO=?"));
    s.NoRows(Sql::ReportPruneKept, QStringLiteral("DELETE FROM T_REPORT WHERE D_TIME<?"));
}

} // namespace Detail

QString OutboxBatchRows(const SmsRecord *first, qsizetype count)
{
    QJsonArray rows;
    for (const SmsRecord *r = first; r != first + count; ++r)
        rows.append(QJsonArray{r->m_strSCA, r->m_strTPA, int(r->m_nPID), int(r->m_nDCS), r->m_strUD, r->m_nID});
    return QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Compact));
}

QString OutboxBatchKeys(const qint64 *first, qsizetype count)
{
    QStringList keys;
    keys.reserve(count);
    for (const qint64 *k = first; k != first + count; ++k)
        keys << QString::number(*k);
    return QLatin1Char('[') + keys.join(QLatin1Char(',')) + QLatin1Char(']');
}

} // namespace SqlCatalogue
