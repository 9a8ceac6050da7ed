// The queue in the database: the messages waiting for a modem and those a modem has in hand
// (T_OUTBOX), the programs that send them (T_STATION), the runs they belong to (T_RUN) and
// the SIMs of the modems (T_SIM).
#include "SqlCataloguePrivate.h"

namespace SqlCatalogue::Detail {

void AddQueueStatements(Statements &s)
{
    const bool pg = s.pg;
    const QString now = EpochNow(pg);

    // The rows come as one JSON array bound as one value: a statement of thousands of rows
    // costs one round trip and no per-value binding. Both dialects number the rows in the
    // order they are inserted, which ORDER BY fixes; RETURNING may list them in any order.
    s.Keys(Sql::OutboxInsertBatch,
           pg ? QStringLiteral("INSERT INTO T_OUTBOX(D_STATION,D_SHARE,D_RUN,D_KIND,D_WANTSIM,D_NOTBEFORE,D_HOST,D_PLACE,"
                               "D_LEASE,D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID) "
                               "SELECT CAST(? AS bigint),CAST(? AS integer),CAST(? AS bigint),CAST(? AS integer),"
                               "CAST(? AS text),CAST(? AS bigint),CAST(? AS text),CAST(? AS text),%1,"
                               "j.v->>0,j.v->>1,CAST(j.v->>2 AS integer),CAST(j.v->>3 AS integer),j.v->>4,"
                               "CAST(j.v->>5 AS integer) "
                               "FROM json_array_elements(CAST(? AS json)) WITH ORDINALITY AS j(v,n) ORDER BY j.n "
                               "RETURNING D_NO")
                    .arg(now)
              : QStringLiteral("INSERT INTO T_OUTBOX(D_STATION,D_SHARE,D_RUN,D_KIND,D_WANTSIM,D_NOTBEFORE,D_HOST,D_PLACE,"
                               "D_LEASE,D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID) "
                               "SELECT ?,?,?,?,?,?,?,?,%1,json_extract(j.value,'$[0]'),json_extract(j.value,'$[1]'),"
                               "json_extract(j.value,'$[2]'),json_extract(j.value,'$[3]'),json_extract(j.value,'$[4]'),"
                               "json_extract(j.value,'$[5]') FROM json_each(?) AS j ORDER BY j.key RETURNING D_NO")
                    .arg(now));

    // A SIM is connected somewhere while the station that has it renews its heartbeat.
    const QString simAlive = QStringLiteral("SELECT 1 FROM T_SIM m JOIN T_STATION t ON t.D_NO=m.D_STATION "
                                            "WHERE m.D_IMSI=o.D_WANTSIM AND %1-t.D_BEAT<=?")
                                 .arg(now);
    // A row an earlier release queued carries its program's owner and the time of its last
    // renewal: while that program may still run (its 60 s lease is fresh) the row is its own.
    const auto olderReleaseGone = [now](const QString &table) {
        return QStringLiteral("(%1.D_OWNER='' OR %2-%1.D_LEASE>60)").arg(table, now);
    };
    // A message that is not due yet (D_NOTBEFORE, in the database's clock) is no one's to claim.
    // PostgreSQL: the rows other stations are claiming at this moment are stepped over, not
    // waited for. SQLite: the statement holds the one write lock while it runs.
    s.Keys(Sql::OutboxClaimNext,
           QStringLiteral("UPDATE T_OUTBOX SET D_STATE=1,D_CLAIM=?,D_SIM=?,D_PORT=?,D_UNTIL=%1+? "
                          "WHERE D_STATE=0 AND D_NO=(SELECT o.D_NO FROM T_OUTBOX o WHERE o.D_STATE=0 AND o.D_NOTBEFORE<=%1 AND "
                          "(o.D_STATION=? OR (?=1 AND o.D_SHARE=1) OR (((o.D_HOST=? AND o.D_PLACE=?) OR o.D_HOST='') "
                          "AND NOT EXISTS (SELECT 1 FROM T_STATION t WHERE t.D_NO=o.D_STATION) AND %4) OR (o.D_WANTSIM<>'' AND "
                          "o.D_WANTSIM=?)) AND (o.D_WANTSIM='' OR o.D_WANTSIM=? OR NOT EXISTS (%2)) AND (?=0 OR o.D_KIND=?) "
                          "ORDER BY o.D_NO LIMIT 1%3) RETURNING D_NO")
               .arg(now, simAlive, pg ? QStringLiteral(" FOR UPDATE SKIP LOCKED") : QString(), olderReleaseGone(QStringLiteral("o"))));
    s.Rows(Sql::OutboxClaimed, QStringLiteral("SELECT D_NO,D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID,D_RUN,D_KIND FROM T_OUTBOX "
                                              "WHERE D_NO=? AND D_CLAIM=?"));
    s.NoRows(Sql::OutboxMarkInFlight,
             QStringLiteral("UPDATE T_OUTBOX SET D_STATE=2,D_UNTIL=%1+? WHERE D_NO=? AND D_CLAIM=? AND D_STATE=1 AND "
                            "(D_ID<=0 OR EXISTS (SELECT 1 FROM T_ORDER WHERE T_ORDER.D_ID=T_OUTBOX.D_ID))")
                 .arg(now));
    s.NoRows(Sql::OutboxGiveBack, QStringLiteral("UPDATE T_OUTBOX SET D_STATE=0,D_CLAIM=0,D_SIM='',D_UNTIL=0 "
                                                 "WHERE D_NO=? AND D_CLAIM=? AND D_STATE IN (1,2)"));
    s.NoRows(Sql::OutboxDeleteClaimed, QStringLiteral("DELETE FROM T_OUTBOX WHERE D_NO=? AND D_CLAIM=?"));
    s.NoRows(Sql::OutboxRequeueClaims, QStringLiteral("UPDATE T_OUTBOX SET D_STATE=0,D_CLAIM=0,D_SIM='',D_UNTIL=0 "
                                                      "WHERE D_CLAIM=? AND D_STATE=1"));
    const QString inFlight = QStringLiteral("SELECT D_NO,D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID,D_RUN,D_SIM,D_PORT FROM T_OUTBOX ");
    s.Rows(Sql::OutboxInFlightOf, inFlight + QStringLiteral("WHERE D_CLAIM=? AND D_CLAIM<>0 AND D_STATE=2 ORDER BY D_NO"));
    s.Rows(Sql::OutboxOldInFlight, inFlight + QStringLiteral("WHERE D_CLAIM=0 AND D_STATE=2 AND ((D_HOST=? AND D_PLACE=?) "
                                                             "OR D_HOST='') ORDER BY D_NO"));
    s.Rows(Sql::OutboxLostClaims, QStringLiteral("SELECT DISTINCT D_CLAIM FROM T_OUTBOX o WHERE D_CLAIM<>0 AND NOT EXISTS "
                                                 "(SELECT 1 FROM T_STATION t WHERE t.D_NO=o.D_CLAIM)"));
    s.NoRows(Sql::OutboxAdopt, QStringLiteral("UPDATE T_OUTBOX SET D_STATION=?,D_RUN=? WHERE D_STATE=0 AND "
                                              "((D_HOST=? AND D_PLACE=?) OR D_HOST='') AND NOT EXISTS "
                                              "(SELECT 1 FROM T_STATION t WHERE t.D_NO=T_OUTBOX.D_STATION) AND ")
                                   + olderReleaseGone(QStringLiteral("T_OUTBOX")));
    s.NoRows(Sql::OutboxWithdrawRun, QStringLiteral("DELETE FROM T_OUTBOX WHERE D_RUN=? AND D_STATE IN (0,1)"));
    s.NoRows(Sql::OutboxWithdrawOrder, QStringLiteral("DELETE FROM T_OUTBOX WHERE D_ID=? AND D_STATE IN (0,1)"));
    s.Rows(Sql::OutboxKept, QStringLiteral("SELECT COUNT(*) AS NUM FROM T_OUTBOX WHERE D_STATION=? AND D_STATE IN (0,1)"));
    s.Rows(Sql::OutboxQueuedCount, QStringLiteral("SELECT COUNT(*) AS NUM FROM T_OUTBOX WHERE D_STATE=0"));

    // T_STATION
    s.Key(Sql::StationInsert, QStringLiteral("INSERT INTO T_STATION(D_TOKEN,D_HOST,D_PLACE,D_PID,D_STARTED,D_SHARE,D_BEAT) "
                                             "VALUES(?,?,?,?,?,?,%1)")
                                      .arg(now)
                                  + ReturningKey("D_NO", pg));
    s.NoRows(Sql::StationBeat, QStringLiteral("UPDATE T_STATION SET D_BEAT=%1 WHERE D_NO=? AND D_ENDED=0").arg(now));
    s.Rows(Sql::StationList, QStringLiteral("SELECT D_NO,D_TOKEN,%1-D_BEAT AS AGE,D_ENDED FROM T_STATION ORDER BY D_NO").arg(now));
    s.NoRows(Sql::StationDelete, QStringLiteral("DELETE FROM T_STATION WHERE D_NO=?"));
    s.NoRows(Sql::StationDeleteStale, QStringLiteral("DELETE FROM T_STATION WHERE D_NO=? AND %1-D_BEAT>?").arg(now));
    s.NoRows(Sql::StationEnded, QStringLiteral("UPDATE T_STATION SET D_ENDED=1,D_BEAT=%1 WHERE D_NO=?").arg(now));

    // T_RUN
    s.Key(Sql::RunInsert, QStringLiteral("INSERT INTO T_RUN(D_STATION,D_KIND,D_ORDER,D_TOTAL,D_CREATED) VALUES(?,?,?,?,?)")
                              + ReturningKey("D_NO", pg));
    s.NoRows(Sql::RunAdd, QStringLiteral("UPDATE T_RUN SET D_TOTAL=D_TOTAL+? WHERE D_NO=?"));
    s.NoRows(Sql::RunLessForOrder,
             QStringLiteral("UPDATE T_RUN SET D_TOTAL=D_TOTAL-(SELECT COUNT(*) FROM T_OUTBOX o WHERE o.D_RUN=T_RUN.D_NO "
                            "AND o.D_ID=? AND o.D_STATE IN (0,1)) WHERE D_NO IN (SELECT D_RUN FROM T_OUTBOX WHERE D_ID=?)"));
    s.NoRows(Sql::RunStop, QStringLiteral("UPDATE T_RUN SET D_STOPPED=1,D_WITHDRAWN=D_WITHDRAWN+? WHERE D_NO=?"));
    s.NoRows(Sql::RunCount, QStringLiteral("UPDATE T_RUN SET D_OK=D_OK+?,D_FAILED=D_FAILED+? WHERE D_NO=?"));
    s.NoRows(Sql::RunDelivery, QStringLiteral("UPDATE T_RUN SET D_DELIVERED=D_DELIVERED+?,D_UNDELIVERED=D_UNDELIVERED+? "
                                              "WHERE D_NO=(SELECT D_RUN FROM T_SEND WHERE D_NO=?)"));
    s.Rows(Sql::RunSelect, QStringLiteral("SELECT D_TOTAL,D_OK,D_FAILED,D_WITHDRAWN,D_STOPPED,D_DELIVERED,D_UNDELIVERED "
                                          "FROM T_RUN WHERE D_NO=?"));

    // T_SIM
    s.NoRows(Sql::SimSeen, QStringLiteral("INSERT INTO T_SIM(D_IMSI,D_ICCID,D_STATION,D_PORT,D_SEEN) VALUES(?,?,?,?,%1) "
                                          "ON CONFLICT (D_IMSI) DO UPDATE SET D_ICCID=excluded.D_ICCID,"
                                          "D_STATION=excluded.D_STATION,D_PORT=excluded.D_PORT,D_SEEN=excluded.D_SEEN")
                               .arg(now));
    s.Rows(Sql::SimOnline, QStringLiteral("SELECT m.D_PORT,m.D_STATION FROM T_SIM m JOIN T_STATION t ON t.D_NO=m.D_STATION "
                                          "WHERE m.D_IMSI=? AND %1-t.D_BEAT<=?")
                               .arg(now));
}

} // namespace SqlCatalogue::Detail
