// The journal: the rows of sent and received messages (T_SEND, T_REC written) and the
// delivery reports (T_SENDPART, T_REPORT, T_SEND.D_REPORT).
#include "SqlCataloguePrivate.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace SqlCatalogue {

namespace Detail {

void AddJournalStatements(Statements &s)
{
    const bool pg = s.pg;

    // T_SEND, T_REC: the journal
    s.Key(Sql::SendInsert, QStringLiteral("insert into T_SEND(D_ID,D_SENDTIME,D_STATE,D_SENDNUM,D_SENDCONT,D_PORT) "
                                          "values(?,?,?,?,?,?)")
                               + ReturningKey("D_NO", pg));
    s.Key(Sql::SendInsertReported, QStringLiteral("insert into T_SEND(D_ID,D_SENDTIME,D_STATE,D_SENDNUM,D_SENDCONT,D_PORT,"
                                                  "D_REPORT,D_REFS,D_RUN,D_MSG,D_SIM,D_PARTS) values(?,?,?,?,?,?,?,?,?,?,?,?)")
                                       + ReturningKey("D_NO", pg));
    // A SIM's parts in the windows of its limits: IX_T_SEND_SIM (D_SIM, D_SENDTIME, D_PARTS)
    // holds every value read, so only that SIM's entries since the earliest window are walked.
    const QString since = pg ? QStringLiteral("CAST(? AS timestamp)") : QStringLiteral("?");
    s.Rows(Sql::SendSimCount, QStringLiteral("SELECT COALESCE(SUM(CASE WHEN D_SENDTIME>=%1 THEN D_PARTS ELSE 0 END),0) AS H,"
                                             "COALESCE(SUM(CASE WHEN D_SENDTIME>=%1 THEN D_PARTS ELSE 0 END),0) AS D,"
                                             "COALESCE(SUM(D_PARTS),0) AS M FROM T_SEND WHERE D_SIM=? AND D_SENDTIME>=%1")
                                  .arg(since));
    s.Rows(Sql::SendSentOfRun, QStringLiteral("SELECT D_SENDNUM,D_SENDCONT FROM T_SEND WHERE D_RUN=? AND D_STATE=1"));
    // IX_T_SEND_NUM finds the rows of a few numbers at a time; the unused places are bound ''.
    QStringList places;
    for (int i = 0; i < kSentOfNumbersCount; ++i)
        places << QStringLiteral("?");
    s.Rows(Sql::SendSentOfNumbers, QStringLiteral("SELECT D_RUN,D_SENDNUM,D_SENDCONT FROM T_SEND WHERE D_STATE=1 AND D_RUN>0 "
                                                  "AND D_SENDNUM IN (%1)")
                                       .arg(places.join(QLatin1Char(','))));
    s.Key(Sql::RecInsert, QStringLiteral("insert into T_REC(D_RECNUM,D_RECCONT,D_RECTIME,D_PORT,D_SIM) values(?,?,?,?,?)")
                              + ReturningKey("D_NO", pg));
    s.Key(Sql::RecInsertArrival,
          QStringLiteral("insert into T_REC(D_RECNUM,D_RECCONT,D_RECTIME,D_PORT,D_SIM,D_PDU) values(?,?,?,?,?,?)")
              + ReturningKey("D_NO", pg));
    s.Rows(Sql::RecFindByIdentity, QStringLiteral("SELECT D_NO FROM T_REC WHERE D_PDU=? AND ((?<>'' AND D_SIM=?) OR D_PORT=? "
                                                  "OR D_PORT='') ORDER BY D_NO LIMIT 1"));

    // Delivery reports
    s.NoRows(Sql::PartInsert,
             QStringLiteral("INSERT INTO T_SENDPART(D_SEND,D_PART,D_PORT,D_MR,D_NUM,D_TIME,D_SIM) VALUES(?,?,?,?,?,?,?)"));
    // One statement, one round trip: the lookup walks IX_T_SENDPART_REF to its newest entry.
    s.Keys(Sql::PartMatch, QStringLiteral("UPDATE T_SENDPART SET D_REPORT=CASE WHEN ?=1 THEN D_REPORT ELSE ? END "
                                          "WHERE (D_SEND,D_PART)=(SELECT D_SEND,D_PART FROM T_SENDPART WHERE D_SIM='' AND D_PORT=? "
                                          "AND D_MR=? AND D_NUM=? AND D_TIME>=? ORDER BY D_TIME DESC,D_SEND DESC LIMIT 1) "
                                          "RETURNING D_SEND"));
    // IX_T_SENDPART_SIM narrows to the few parts of that SIM and reference since then; of those
    // the one sent nearest to when the service centre took the message (its TP-SCTS) is it.
    const QString distance = pg ? QStringLiteral("ABS(EXTRACT(EPOCH FROM D_TIME-CAST(? AS timestamp)))")
                                : QStringLiteral("ABS(julianday(D_TIME)-julianday(?))");
    s.Keys(Sql::PartMatchSim, QStringLiteral("UPDATE T_SENDPART SET D_REPORT=CASE WHEN ?=1 THEN D_REPORT ELSE ? END "
                                             "WHERE (D_SEND,D_PART)=(SELECT D_SEND,D_PART FROM T_SENDPART WHERE D_SIM=? "
                                             "AND D_MR=? AND D_NUM=? AND D_TIME>=? ORDER BY %1,D_SEND DESC LIMIT 1) "
                                             "RETURNING D_SEND")
                                  .arg(distance));
    s.NoRows(Sql::PartSetReport, QStringLiteral("UPDATE T_SENDPART SET D_REPORT=? WHERE D_SEND=? AND D_PART=?"));
    s.NoRows(Sql::SendSetFailed, QStringLiteral("UPDATE T_SEND SET D_REPORT=3,D_REPORTTIME=? WHERE D_NO=? AND D_REPORT<>3"));
    s.NoRows(Sql::SendSetDelivered, QStringLiteral("UPDATE T_SEND SET D_REPORT=2,D_REPORTTIME=? WHERE D_NO=? AND D_REPORT=1 "
                                                   "AND NOT EXISTS(SELECT 1 FROM T_SENDPART WHERE D_SEND=? AND D_REPORT<>2)"));
    s.NoRows(Sql::ReportKeep, QStringLiteral("INSERT INTO T_REPORT(D_PORT,D_MR,D_NUM,D_STATUS,D_DONE,D_TIME,D_PDU,D_SIM) "
                                             "VALUES(?,?,?,?,?,?,?,?)"));
    s.Rows(Sql::ReportFindKept, QStringLiteral("SELECT D_NO,D_STATUS,%1 AS MYDONE FROM T_REPORT WHERE D_SIM=? AND "
                                               "(D_SIM<>'' OR D_PORT=?) AND D_MR=? AND D_NUM=? AND D_TIME>=? ORDER BY D_NO")
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

} // namespace SqlCatalogue
