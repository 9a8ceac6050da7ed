// The HTTP API of serve: the tokens of the programs that call it (T_TOKEN), the requests that
// queued messages (T_APIBATCH), and what it reads of the queue, the journal and the arrivals.
#include "SqlCataloguePrivate.h"

namespace SqlCatalogue::Detail {

void AddApiStatements(Statements &s)
{
    const bool pg = s.pg;
    s.NoRows(Sql::TokenInsert, QStringLiteral("INSERT INTO T_TOKEN(D_NAME,D_HASH,D_CREATED) VALUES(?,?,?)"));
    s.Rows(Sql::TokenSelect,
           QStringLiteral("SELECT D_NAME,%1 AS D_CREATED,D_REVOKED FROM T_TOKEN ORDER BY D_NO").arg(Ts("D_CREATED", pg)));
    s.Rows(Sql::TokenActiveByName, QStringLiteral("SELECT COUNT(*) AS NUM FROM T_TOKEN WHERE D_NAME=? AND D_REVOKED=0"));
    s.Rows(Sql::TokenActiveCount, QStringLiteral("SELECT COUNT(*) AS NUM FROM T_TOKEN WHERE D_REVOKED=0"));
    s.Rows(Sql::TokenFind, QStringLiteral("SELECT D_NAME FROM T_TOKEN WHERE D_HASH=? AND D_REVOKED=0"));
    s.NoRows(Sql::TokenRevoke, QStringLiteral("UPDATE T_TOKEN SET D_REVOKED=1 WHERE D_NAME=? AND D_REVOKED=0"));

    s.Key(Sql::ApiBatchInsert, QStringLiteral("INSERT INTO T_APIBATCH(D_TOKEN,D_CLIENTID,D_CREATED,D_COUNT) "
                                              "VALUES(?,?,?,?)")
                                   + ReturningKey("D_NO", pg));
    s.NoRows(Sql::ApiBatchAnswer, QStringLiteral("UPDATE T_APIBATCH SET D_ANSWER=? WHERE D_NO=?"));
    s.Rows(Sql::ApiBatchByClient,
           QStringLiteral("SELECT D_NO,D_ANSWER FROM T_APIBATCH WHERE D_TOKEN=? AND D_CLIENTID=? AND D_CLIENTID<>''"));
    s.Rows(Sql::ApiBatchSelect, QStringLiteral("SELECT D_NO,%1 AS D_CREATED,D_COUNT,D_ANSWER FROM T_APIBATCH WHERE D_NO=?")
                                    .arg(Ts("D_CREATED", pg)));

    s.Rows(Sql::ApiOutboxRange, QStringLiteral("SELECT D_NO,D_STATE,D_TPA,D_SIM,D_PORT FROM T_OUTBOX "
                                               "WHERE D_NO>=? AND D_NO<=? ORDER BY D_NO"));
    s.Rows(Sql::ApiSentRange,
           QStringLiteral("SELECT D_MSG,D_STATE,%1 AS D_SENDTIME,D_REPORT,%2 AS D_REPORTTIME,D_PORT,D_SIM,D_SENDNUM "
                          "FROM T_SEND WHERE D_MSG>=? AND D_MSG<=? ORDER BY D_MSG")
               .arg(Ts("D_SENDTIME", pg), pg ? QStringLiteral("COALESCE(to_char(D_REPORTTIME,'YYYY-MM-DD HH24:MI:SS'),'')")
                                             : QStringLiteral("COALESCE(D_REPORTTIME,'')")));
    s.Rows(Sql::ApiInbox, QStringLiteral("SELECT D_NO,D_RECNUM,D_RECCONT,%1 AS D_RECTIME,D_PORT,D_SIM FROM T_REC "
                                         "WHERE D_NO>? ORDER BY D_NO LIMIT ?")
                              .arg(Ts("D_RECTIME", pg)));
    s.Rows(Sql::ApiSentBySim, QStringLiteral("SELECT D_SIM,D_STATE,D_REPORT,COUNT(*) AS NUM FROM T_SEND "
                                             "GROUP BY D_SIM,D_STATE,D_REPORT ORDER BY D_SIM,D_STATE,D_REPORT"));
    s.Rows(Sql::ApiSentSinceBySim,
           QStringLiteral("SELECT D_SIM,COUNT(*) AS NUM FROM T_SEND WHERE D_SENDTIME>=? GROUP BY D_SIM ORDER BY D_SIM"));
    s.Rows(Sql::ApiArrivals, QStringLiteral("SELECT COUNT(*) AS NUM FROM T_REC"));
    s.Rows(Sql::ApiSentByRecord, QStringLiteral("SELECT D_MSG FROM T_SEND WHERE D_NO=?"));

    const QString now = EpochNow(pg);
    s.NoRows(Sql::CallbackInsert, QStringLiteral("INSERT INTO T_CALLBACK(D_EVENT,D_KIND,D_BODY,D_CREATED,D_NEXT) "
                                                 "VALUES(?,?,?,%1,%1)").arg(now));
    s.Rows(Sql::CallbackDue, QStringLiteral("SELECT D_NO,D_EVENT,D_BODY,D_TRIES,%1-D_CREATED AS AGE FROM T_CALLBACK "
                                            "WHERE D_DONE=0 AND D_NEXT<=%1 ORDER BY D_NO LIMIT ?").arg(now));
    s.NoRows(Sql::CallbackDone, QStringLiteral("UPDATE T_CALLBACK SET D_DONE=1 WHERE D_NO=?"));
    s.NoRows(Sql::CallbackRetry, QStringLiteral("UPDATE T_CALLBACK SET D_TRIES=D_TRIES+1,D_NEXT=%1+? WHERE D_NO=?").arg(now));
    s.NoRows(Sql::CallbackGiveUp, QStringLiteral("UPDATE T_CALLBACK SET D_DONE=2 WHERE D_NO=?"));
    s.Rows(Sql::CallbackBacklog, QStringLiteral("SELECT COUNT(*) AS NUM FROM T_CALLBACK WHERE D_DONE=0"));
}

} // namespace SqlCatalogue::Detail
