#include "SqlCatalogue.h"

#include <QJsonArray>
#include <QJsonDocument>

// Both dialects share most texts. They differ where PostgreSQL needs its own words:
// identity columns, "RETURNING" for the new key (SQLite reports it through the driver), and
// date-times, which PostgreSQL keeps as timestamp(0) and hands back through to_char so every
// reader gets the same canonical text SQLite stores.

namespace {

// The database clock in whole seconds since 1970: one clock for every program that shares
// the database, whatever their own clocks and time zones say.
QString EpochNow(bool pg)
{
    return pg ? QStringLiteral("CAST(EXTRACT(EPOCH FROM CURRENT_TIMESTAMP) AS bigint)")
              : QStringLiteral("CAST((julianday('now')-2440587.5)*86400 AS INTEGER)");
}

QString Ts(const char *column, bool pg)
{
    const QString c = QString::fromLatin1(column);
    return pg ? QStringLiteral("to_char(%1,'YYYY-MM-DD HH24:MI:SS')").arg(c) : c;
}

} // namespace

namespace SqlCatalogue {

QString Text(Sql id, DbSettings::Driver dialect)
{
    const bool pg = dialect == DbSettings::Postgres;
    const QString returning = pg ? QStringLiteral(" RETURNING ") : QString();
    switch (id) {
    // T_USER
    case Sql::UserSelectAll:
        return QStringLiteral("SELECT D_NAME,D_LEVEL,%1 AS D_CTIME FROM T_USER").arg(Ts("D_CTIME", pg));
    case Sql::UserCountByName:
        return QStringLiteral("SELECT COUNT(D_NAME) AS NUM FROM T_USER WHERE D_NAME=?");
    case Sql::UserInsert:
        return QStringLiteral("INSERT INTO T_USER(D_NAME,D_PSW,D_LEVEL,D_CTIME) VALUES(?,?,?,?)");
    case Sql::UserUpdate:
        return QStringLiteral("UPDATE T_USER SET D_NAME=?,D_PSW=?,D_LEVEL=? WHERE D_NAME=?");
    case Sql::UserDelete:
        return QStringLiteral("DELETE FROM T_USER WHERE D_NAME=?");
    case Sql::UserSelectByName:
        return QStringLiteral("SELECT D_LEVEL,D_NAME,D_PSW FROM T_USER WHERE D_NAME=?");
    case Sql::UserSetPassword:
        return QStringLiteral("UPDATE T_USER SET D_PSW=? WHERE D_NAME=?");
    case Sql::UserUpgradePassword:
        return QStringLiteral("UPDATE T_USER SET D_PSW=? WHERE D_NAME=? AND D_PSW=?");
    case Sql::UserRename:
        return QStringLiteral("UPDATE T_USER SET D_NAME=?,D_PSW=? WHERE D_NAME=?");
    case Sql::UserCount:
        return QStringLiteral("SELECT COUNT(D_NAME) AS NUM FROM T_USER");
    // T_INSERT
    case Sql::PhraseSelect:
        return QStringLiteral("SELECT D_INSERT FROM T_INSERT");
    case Sql::PhraseInsert:
        return QStringLiteral("INSERT INTO T_INSERT(D_INSERT) VALUES(?)");
    case Sql::PhraseUpdate:
        return QStringLiteral("UPDATE T_INSERT SET D_INSERT=? WHERE D_INSERT=?");
    case Sql::PhraseDelete:
        return QStringLiteral("DELETE FROM T_INSERT WHERE D_INSERT=?");
    // T_BOOK
    case Sql::BookGroups:
        return QStringLiteral("SELECT DISTINCT D_RELATION FROM T_BOOK");
    case Sql::BookSelect:
        return QStringLiteral("SELECT D_NAME,D_NUMBER,D_RELATION FROM T_BOOK ORDER BY D_RELATION");
    case Sql::BookCountByNumber:
        return QStringLiteral("SELECT COUNT(D_NUMBER) AS NUM FROM T_BOOK WHERE D_NUMBER=?");
    case Sql::BookInsert:
        return QStringLiteral("INSERT INTO T_BOOK(D_NAME,D_NUMBER,D_RELATION) VALUES(?,?,?)");
    case Sql::BookUpdate:
        return QStringLiteral("UPDATE T_BOOK SET D_NAME=?,D_NUMBER=?,D_RELATION=? WHERE D_NUMBER=?");
    case Sql::BookDelete:
        return QStringLiteral("DELETE FROM T_BOOK WHERE D_NUMBER=?");
    // T_SEND
    case Sql::SendInsert:
        return QStringLiteral("insert into T_SEND(D_ID,D_SENDTIME,D_STATE,D_SENDNUM,D_SENDCONT,D_PORT) values(?,?,?,?,?,?)")
            + (pg ? returning + QStringLiteral("D_NO") : QString());
    case Sql::SendSelect:
        return QStringLiteral("SELECT D_NO,%1 AS D_SENDTIME,D_SENDNUM,D_SENDCONT,D_STATE FROM T_SEND ORDER BY D_NO")
            .arg(Ts("D_SENDTIME", pg));
    case Sql::SendDelete:
        return QStringLiteral("DELETE FROM T_SEND WHERE D_NO=?");
    // T_REC
    case Sql::RecInsert:
        return QStringLiteral("insert into T_REC(D_RECNUM,D_RECCONT,D_RECTIME,D_PORT) values(?,?,?,?)")
            + (pg ? returning + QStringLiteral("D_NO") : QString());
    case Sql::RecSelect:
        return QStringLiteral("SELECT D_NO,%1 AS D_RECTIME,D_RECNUM,D_RECCONT FROM T_REC ORDER BY D_NO")
            .arg(Ts("D_RECTIME", pg));
    case Sql::RecDelete:
        return QStringLiteral("DELETE FROM T_REC WHERE D_NO=?");
    // T_REC and T_SEND. UNION ALL: two identical records are two rows. The second part names
    // its text column MYCOUNT; the result takes the names of the first part.
    case Sql::AllSelect:
        return QStringLiteral("SELECT D_NO AS MYNO,%1 AS MYTIME,D_RECNUM AS MYNUMER,D_RECCONT AS MYCONT,"
                              "'接收' AS MYSHOW,1 AS MYSTATE FROM T_REC UNION ALL "
                              "SELECT D_NO AS MYNO,%2 AS MYTIME,D_SENDNUM AS MYNUMER,D_SENDCONT AS MYCOUNT,"
                              "'发送' AS MYSHOW,D_STATE AS MYSTATE FROM T_SEND ORDER BY MYTIME,MYNO")
            .arg(Ts("D_RECTIME", pg), Ts("D_SENDTIME", pg));
    // T_ORDER, T_PHONENUMBER
    case Sql::OrderInsert:
        return QStringLiteral("INSERT INTO T_ORDER(D_START,D_END,D_CONT) VALUES(?,?,?)")
            + (pg ? returning + QStringLiteral("D_ID") : QString());
    case Sql::OrderSelect:
        // With the time its present start was claimed, "" while it has not started.
        return QStringLiteral("SELECT T_ORDER.D_ID,%1 AS D_START,%2 AS D_END,D_CONT,COALESCE(%3,'') AS D_STARTED "
                              "FROM T_ORDER LEFT JOIN T_ORDERSTART ON T_ORDERSTART.D_ID=T_ORDER.D_ID "
                              "AND T_ORDERSTART.D_START=T_ORDER.D_START ORDER BY T_ORDER.D_ID")
            .arg(Ts("T_ORDER.D_START", pg), Ts("T_ORDER.D_END", pg), Ts("T_ORDERSTART.D_TIME", pg));
    case Sql::OrderDelete:
        return QStringLiteral("DELETE FROM T_ORDER WHERE D_ID=?");
    case Sql::OrderDue:
        // The range compares the stored column (the WHERE clause does not see the aliases).
        return QStringLiteral("select D_ID,D_CONT,%1 AS D_END,%2 AS D_START from T_ORDER "
                              "where ((D_START>=? AND D_START<?) OR (D_ID>? AND D_START<?)) AND NOT EXISTS "
                              "(SELECT 1 FROM T_ORDERSTART WHERE T_ORDERSTART.D_ID=T_ORDER.D_ID "
                              "AND T_ORDERSTART.D_START=T_ORDER.D_START) ORDER BY D_START,D_ID")
            .arg(Ts("D_END", pg), Ts("D_START", pg));
    case Sql::NumberInsert:
        return QStringLiteral("INSERT INTO T_PHONENUMBER(D_ID,D_NUMBER,D_FIELDS) VALUES(?,?,?)");
    case Sql::NumberDeleteByOrder:
        return QStringLiteral("DELETE FROM T_PHONENUMBER WHERE D_ID=?");
    case Sql::NumberCount:
        return QStringLiteral("SELECT COUNT(D_NUMBER) AS NUM FROM T_PHONENUMBER WHERE D_ID=?");
    case Sql::NumberSelect:
        return QStringLiteral("select D_NUMBER,D_FIELDS from T_PHONENUMBER where D_ID=? ORDER BY D_NO");
    // T_LASTNO
    case Sql::LastNoSelect:
        return QStringLiteral("SELECT D_LASTNO FROM T_LASTNO ORDER BY D_POS");
    case Sql::LastNoDelete:
        return QStringLiteral("DELETE FROM T_LASTNO");
    case Sql::LastNoInsert:
        return QStringLiteral("INSERT INTO T_LASTNO(D_POS,D_LASTNO) VALUES(?,?)");
    // T_OUTBOX
    case Sql::OutboxInsert:
        return QStringLiteral("INSERT INTO T_OUTBOX(D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID,D_HOST,D_PLACE,D_OWNER,D_LEASE) "
                              "VALUES(?,?,?,?,?,?,?,?,?,%1)").arg(EpochNow(pg))
            + (pg ? returning + QStringLiteral("D_NO") : QString());
    case Sql::OutboxInsertBatch:
        // The rows come as one JSON array bound as one value: a statement of thousands of rows
        // costs one round trip and no per-value binding. Both dialects number the rows in the
        // order they are inserted, which ORDER BY fixes; RETURNING may list them in any order.
        if (pg)
            return QStringLiteral("INSERT INTO T_OUTBOX(D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID,D_HOST,D_PLACE,D_OWNER,D_LEASE) "
                                  "SELECT j.v->>0,j.v->>1,CAST(j.v->>2 AS integer),CAST(j.v->>3 AS integer),j.v->>4,"
                                  "CAST(j.v->>5 AS integer),CAST(? AS text),CAST(? AS text),CAST(? AS text),%1 "
                                  "FROM json_array_elements(CAST(? AS json)) WITH ORDINALITY AS j(v,n) ORDER BY j.n "
                                  "RETURNING D_NO")
                .arg(EpochNow(pg));
        return QStringLiteral("INSERT INTO T_OUTBOX(D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID,D_HOST,D_PLACE,D_OWNER,D_LEASE) "
                              "SELECT json_extract(j.value,'$[0]'),json_extract(j.value,'$[1]'),json_extract(j.value,'$[2]'),"
                              "json_extract(j.value,'$[3]'),json_extract(j.value,'$[4]'),json_extract(j.value,'$[5]'),?,?,?,%1 "
                              "FROM json_each(?) AS j ORDER BY j.key RETURNING D_NO")
            .arg(EpochNow(pg));
    case Sql::OutboxDeleteBatch:
        if (pg)
            return QStringLiteral("DELETE FROM T_OUTBOX WHERE D_NO IN "
                                  "(SELECT CAST(k AS bigint) FROM json_array_elements_text(CAST(? AS json)) AS k)");
        return QStringLiteral("DELETE FROM T_OUTBOX WHERE D_NO IN (SELECT value FROM json_each(?))");
    case Sql::OutboxSelect:
        return QStringLiteral("SELECT D_NO,D_SCA,D_TPA,D_PID,D_DCS,D_TEXT,D_ID,D_STATE,D_PORT FROM T_OUTBOX WHERE D_OWNER=? "
                              "ORDER BY D_NO");
    case Sql::OutboxOwners:
        return QStringLiteral("SELECT D_OWNER,%1-MAX(D_LEASE) AS AGE FROM T_OUTBOX "
                              "WHERE (D_HOST=? AND D_PLACE=?) OR D_OWNER='' GROUP BY D_OWNER").arg(EpochNow(pg));
    case Sql::OutboxClaim:
        return QStringLiteral("UPDATE T_OUTBOX SET D_OWNER=?,D_HOST=?,D_PLACE=?,D_LEASE=%1 "
                              "WHERE D_OWNER=? AND (D_OWNER='' OR (D_HOST=? AND D_PLACE=?))").arg(EpochNow(pg));
    case Sql::OutboxRenew:
        return QStringLiteral("UPDATE T_OUTBOX SET D_LEASE=%1 WHERE D_OWNER=?").arg(EpochNow(pg));
    case Sql::OutboxMarkInFlight:
        return QStringLiteral("UPDATE T_OUTBOX SET D_STATE=1,D_PORT=? WHERE D_NO=? AND (D_ID<=0 OR EXISTS "
                              "(SELECT 1 FROM T_ORDER WHERE T_ORDER.D_ID=T_OUTBOX.D_ID))");
    case Sql::OutboxMarkQueued:
        return QStringLiteral("UPDATE T_OUTBOX SET D_STATE=0 WHERE D_NO=?");
    case Sql::OutboxDelete:
        return QStringLiteral("DELETE FROM T_OUTBOX WHERE D_NO=?");
    // Keys and pages of the records list. The time is selected under another name than its
    // column so that ORDER BY sorts by the stored column and can walk the index.
    case Sql::SendKeysBefore:
        return QStringLiteral("SELECT D_NO FROM T_SEND WHERE D_NO<? ORDER BY D_NO DESC LIMIT ?");
    case Sql::RecKeysBefore:
        return QStringLiteral("SELECT D_NO FROM T_REC WHERE D_NO<? ORDER BY D_NO DESC LIMIT ?");
    case Sql::SendKeysByTime:
        return QStringLiteral("SELECT D_NO,%1 AS MYTIME FROM T_SEND WHERE (D_SENDTIME,D_NO)<(%2,?) "
                              "ORDER BY D_SENDTIME DESC,D_NO DESC LIMIT ?")
            .arg(Ts("D_SENDTIME", pg), pg ? QStringLiteral("CAST(? AS timestamp)") : QStringLiteral("?"));
    case Sql::RecKeysByTime:
        return QStringLiteral("SELECT D_NO,%1 AS MYTIME FROM T_REC WHERE (D_RECTIME,D_NO)<(%2,?) "
                              "ORDER BY D_RECTIME DESC,D_NO DESC LIMIT ?")
            .arg(Ts("D_RECTIME", pg), pg ? QStringLiteral("CAST(? AS timestamp)") : QStringLiteral("?"));
    case Sql::SendRowsByNo:
        return QStringLiteral("SELECT D_NO,%1 AS MYTIME,D_SENDNUM AS MYNUM,D_SENDCONT AS MYCONT,D_STATE AS MYSTATE,"
                              "D_PORT AS MYPORT,D_REPORT AS MYREPORT FROM T_SEND WHERE D_NO>=? AND D_NO<=? ORDER BY D_NO")
            .arg(Ts("D_SENDTIME", pg));
    case Sql::RecRowsByNo:
        return QStringLiteral("SELECT D_NO,%1 AS MYTIME,D_RECNUM AS MYNUM,D_RECCONT AS MYCONT,D_PORT AS MYPORT "
                              "FROM T_REC WHERE D_NO>=? AND D_NO<=? ORDER BY D_NO")
            .arg(Ts("D_RECTIME", pg));
    case Sql::SendFindNewest:
        return QStringLiteral("SELECT D_NO FROM T_SEND WHERE D_SENDTIME=? AND D_SENDNUM=? AND D_SENDCONT=? AND D_PORT=? "
                              "ORDER BY D_NO DESC LIMIT 1");
    case Sql::RecFindNewest:
        return QStringLiteral("SELECT D_NO FROM T_REC WHERE D_RECTIME=? AND D_RECNUM=? AND D_RECCONT=? AND D_PORT=? "
                              "ORDER BY D_NO DESC LIMIT 1");
    case Sql::RecFindByIdentity:
        return QStringLiteral("SELECT D_NO FROM T_REC WHERE D_PDU=? AND (D_PORT=? OR D_PORT='') ORDER BY D_NO LIMIT 1");
    case Sql::RecInsertArrival:
        return QStringLiteral("insert into T_REC(D_RECNUM,D_RECCONT,D_RECTIME,D_PORT,D_PDU) values(?,?,?,?,?)")
            + (pg ? returning + QStringLiteral("D_NO") : QString());
    // T_ORDER, T_PHONENUMBER, T_ORDERSTART
    case Sql::OrderUpdate:
        return QStringLiteral("UPDATE T_ORDER SET D_START=?,D_END=?,D_CONT=? WHERE D_ID=?");
    case Sql::OrderClaim:
        // Of two programs claiming at once, the second waits for the first one's transaction
        // and then inserts nothing.
        return QStringLiteral("INSERT INTO T_ORDERSTART(D_ID,D_START,D_TIME,D_BY) VALUES(?,?,?,?) "
                              "ON CONFLICT DO NOTHING");
    case Sql::OrderClaimant:
        return QStringLiteral("SELECT D_BY FROM T_ORDERSTART WHERE D_ID=? AND D_START=?");
    case Sql::OrderClaimDelete:
        return QStringLiteral("DELETE FROM T_ORDERSTART WHERE D_ID=?");
    case Sql::NumberInsertBatch: {
        QStringList rows;
        for (int i = 0; i < kNumberBatch; ++i)
            rows << QStringLiteral("(?,?,?)");
        return QStringLiteral("INSERT INTO T_PHONENUMBER(D_ID,D_NUMBER,D_FIELDS) VALUES") + rows.join(QLatin1Char(','));
    }
    // T_USER, account administration
    case Sql::UserUpdateKeepPassword:
        return QStringLiteral("UPDATE T_USER SET D_NAME=?,D_LEVEL=? WHERE D_NAME=?");
    case Sql::UserCountOtherAdmins:
        return QStringLiteral("SELECT COUNT(D_NAME) AS NUM FROM T_USER WHERE D_LEVEL=0 AND D_NAME<>?");
    case Sql::OrderMaxId:
        return QStringLiteral("SELECT COALESCE(MAX(D_ID),0) AS ID FROM T_ORDER");
    case Sql::OutboxWithdrawOrder:
        return QStringLiteral("DELETE FROM T_OUTBOX WHERE D_ID=? AND D_STATE=0");
    // T_SCHEMA
    case Sql::SchemaVersion:
        return QStringLiteral("SELECT COALESCE(MAX(D_VERSION),0) AS VERSION FROM T_SCHEMA");
    case Sql::SchemaVersionAdd:
        return QStringLiteral("INSERT INTO T_SCHEMA(D_VERSION,D_TIME) VALUES(?,?)");
    // Delivery reports
    case Sql::SendInsertReported:
        return QStringLiteral("insert into T_SEND(D_ID,D_SENDTIME,D_STATE,D_SENDNUM,D_SENDCONT,D_PORT,D_REPORT,D_REFS) "
                              "values(?,?,?,?,?,?,?,?)")
            + (pg ? returning + QStringLiteral("D_NO") : QString());
    case Sql::PartInsert:
        return QStringLiteral("INSERT INTO T_SENDPART(D_SEND,D_PART,D_PORT,D_MR,D_NUM,D_TIME) VALUES(?,?,?,?,?,?)");
    case Sql::PartMatch:
        // One statement, one round trip: the lookup walks IX_T_SENDPART_REF to its newest entry.
        return QStringLiteral("UPDATE T_SENDPART SET D_REPORT=CASE WHEN ?=1 THEN D_REPORT ELSE ? END "
                              "WHERE (D_SEND,D_PART)=(SELECT D_SEND,D_PART FROM T_SENDPART WHERE D_PORT=? AND D_MR=? "
                              "AND D_NUM=? AND D_TIME>=? ORDER BY D_TIME DESC,D_SEND DESC LIMIT 1) RETURNING D_SEND");
    case Sql::PartSetReport:
        return QStringLiteral("UPDATE T_SENDPART SET D_REPORT=? WHERE D_SEND=? AND D_PART=?");
    case Sql::SendSetFailed:
        return QStringLiteral("UPDATE T_SEND SET D_REPORT=3,D_REPORTTIME=? WHERE D_NO=? AND D_REPORT<>3");
    case Sql::SendSetDelivered:
        return QStringLiteral("UPDATE T_SEND SET D_REPORT=2,D_REPORTTIME=? WHERE D_NO=? AND D_REPORT=1 "
                              "AND NOT EXISTS(SELECT 1 FROM T_SENDPART WHERE D_SEND=? AND D_REPORT<>2)");
    case Sql::ReportKeep:
        return QStringLiteral("INSERT INTO T_REPORT(D_PORT,D_MR,D_NUM,D_STATUS,D_DONE,D_TIME,D_PDU) VALUES(?,?,?,?,?,?,?)");
    case Sql::ReportFindKept:
        return QStringLiteral("SELECT D_NO,D_STATUS,%1 AS MYDONE FROM T_REPORT WHERE D_PORT=? AND D_MR=? AND D_NUM=? "
                              "AND D_TIME>=? ORDER BY D_NO")
            .arg(Ts("D_DONE", pg));
    case Sql::ReportDeleteKept:
        return QStringLiteral("DELETE FROM T_REPORT WHERE D_NO=?");
    case Sql::ReportPruneKept:
        return QStringLiteral("DELETE FROM T_REPORT WHERE D_TIME<?");
    case Sql::Count_:
        break;
    }
    return QString();
}

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

QStringList SchemaStatements(DbSettings::Driver dialect)
{
    if (dialect == DbSettings::Postgres) {
        // Texts are unbounded (numbers up to 26 characters, message texts of thousands);
        // identity columns are generated by the server but accept a given value on import.
        // Journal keys are bigint so that a key bound as a 64-bit value always compares.
        return {
            QStringLiteral("CREATE TABLE IF NOT EXISTS T_USER (D_NAME text NOT NULL, D_PSW text NOT NULL, "
                           "D_LEVEL integer NOT NULL, D_CTIME timestamp(0) NOT NULL)"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS T_INSERT (D_INSERT text NOT NULL)"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS T_BOOK (D_NAME text NOT NULL, D_NUMBER text NOT NULL, "
                           "D_RELATION text NOT NULL)"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS T_SEND (D_NO bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
                           "D_ID integer NOT NULL DEFAULT -1, D_SENDTIME timestamp(0) NOT NULL, D_STATE integer NOT NULL, "
                           "D_SENDNUM text NOT NULL, D_SENDCONT text NOT NULL)"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS T_REC (D_NO bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
                           "D_RECNUM text NOT NULL, D_RECCONT text NOT NULL, D_RECTIME timestamp(0) NOT NULL, "
                           "D_PDU text NOT NULL DEFAULT '')"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS T_ORDER (D_ID integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
                           "D_START timestamp(0) NOT NULL, D_END timestamp(0) NOT NULL, D_CONT text NOT NULL)"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS T_PHONENUMBER (D_NO bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
                           "D_ID integer NOT NULL, D_NUMBER text NOT NULL)"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS T_LASTNO (D_POS integer NOT NULL, D_LASTNO text NOT NULL)"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS T_OUTBOX (D_NO bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
                           "D_SCA text NOT NULL, D_TPA text NOT NULL, D_PID integer NOT NULL DEFAULT 0, "
                           "D_DCS integer NOT NULL DEFAULT 8, D_TEXT text NOT NULL, D_ID integer NOT NULL DEFAULT -1, "
                           "D_STATE integer NOT NULL DEFAULT 0, D_HOST text NOT NULL DEFAULT '', "
                           "D_PLACE text NOT NULL DEFAULT '', D_OWNER text NOT NULL DEFAULT '', "
                           "D_LEASE bigint NOT NULL DEFAULT 0)"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS T_ORDERSTART (D_ID integer NOT NULL, D_START timestamp(0) NOT NULL, "
                           "D_TIME timestamp(0) NOT NULL, D_BY text NOT NULL, PRIMARY KEY (D_ID, D_START))"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_USER_NAME ON T_USER(D_NAME)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_BOOK_NUMBER ON T_BOOK(D_NUMBER)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_SEND_TIME ON T_SEND(D_SENDTIME,D_NO)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_SEND_NUM ON T_SEND(D_SENDNUM)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_SEND_ID ON T_SEND(D_ID)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_REC_TIME ON T_REC(D_RECTIME,D_NO)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_REC_NUM ON T_REC(D_RECNUM)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_ORDER_START ON T_ORDER(D_START)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_PHONENUMBER_ID ON T_PHONENUMBER(D_ID)"),
        };
    }
    // SQLite: AUTOINCREMENT so that a key is never given out twice, even after the newest row
    // was deleted (an order number that came back would adopt the old order's journal rows).
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS T_USER (D_NAME TEXT NOT NULL, D_PSW TEXT NOT NULL, "
                       "D_LEVEL INTEGER NOT NULL, D_CTIME TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS T_INSERT (D_INSERT TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS T_BOOK (D_NAME TEXT NOT NULL, D_NUMBER TEXT NOT NULL, "
                       "D_RELATION TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS T_SEND (D_NO INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "D_ID INTEGER NOT NULL DEFAULT -1, D_SENDTIME TEXT NOT NULL, D_STATE INTEGER NOT NULL, "
                       "D_SENDNUM TEXT NOT NULL, D_SENDCONT TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS T_REC (D_NO INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "D_RECNUM TEXT NOT NULL, D_RECCONT TEXT NOT NULL, D_RECTIME TEXT NOT NULL, "
                       "D_PDU TEXT NOT NULL DEFAULT '')"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS T_ORDER (D_ID INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "D_START TEXT NOT NULL, D_END TEXT NOT NULL, D_CONT TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS T_PHONENUMBER (D_NO INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "D_ID INTEGER NOT NULL, D_NUMBER TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS T_LASTNO (D_POS INTEGER NOT NULL, D_LASTNO TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS T_OUTBOX (D_NO INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "D_SCA TEXT NOT NULL, D_TPA TEXT NOT NULL, D_PID INTEGER NOT NULL DEFAULT 0, "
                       "D_DCS INTEGER NOT NULL DEFAULT 8, D_TEXT TEXT NOT NULL, D_ID INTEGER NOT NULL DEFAULT -1, "
                       "D_STATE INTEGER NOT NULL DEFAULT 0, D_HOST TEXT NOT NULL DEFAULT '', "
                       "D_PLACE TEXT NOT NULL DEFAULT '', D_OWNER TEXT NOT NULL DEFAULT '', "
                       "D_LEASE INTEGER NOT NULL DEFAULT 0)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS T_ORDERSTART (D_ID INTEGER NOT NULL, D_START TEXT NOT NULL, "
                       "D_TIME TEXT NOT NULL, D_BY TEXT NOT NULL, PRIMARY KEY (D_ID, D_START))"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_USER_NAME ON T_USER(D_NAME)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_BOOK_NUMBER ON T_BOOK(D_NUMBER)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_SEND_TIME ON T_SEND(D_SENDTIME,D_NO)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_SEND_NUM ON T_SEND(D_SENDNUM)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_SEND_ID ON T_SEND(D_ID)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_REC_TIME ON T_REC(D_RECTIME,D_NO)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_REC_NUM ON T_REC(D_RECNUM)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_ORDER_START ON T_ORDER(D_START)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_PHONENUMBER_ID ON T_PHONENUMBER(D_ID)"),
    };
}

QString SchemaVersionTable(DbSettings::Driver dialect)
{
    if (dialect == DbSettings::Postgres)
        return QStringLiteral("CREATE TABLE IF NOT EXISTS T_SCHEMA (D_VERSION integer NOT NULL PRIMARY KEY, "
                              "D_TIME timestamp(0) NOT NULL)");
    return QStringLiteral("CREATE TABLE IF NOT EXISTS T_SCHEMA (D_VERSION INTEGER NOT NULL PRIMARY KEY, "
                          "D_TIME TEXT NOT NULL)");
}

QList<SchemaStep> SchemaSteps(DbSettings::Driver dialect)
{
    const bool pg = dialect == DbSettings::Postgres;
    const QString text = pg ? QStringLiteral("text") : QStringLiteral("TEXT");
    const QString big = pg ? QStringLiteral("bigint") : QStringLiteral("INTEGER");
    const QString time = pg ? QStringLiteral("timestamp(0)") : QStringLiteral("TEXT");
    const auto column = [&](const char *table, const char *name, const QString &type, const char *def) {
        return QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3 NOT NULL DEFAULT %4")
            .arg(QString::fromLatin1(table), QString::fromLatin1(name), type, QString::fromLatin1(def));
    };
    const auto missing = [&](const char *table, const char *name, const QString &type, const char *def) {
        return SchemaUpgrade{QString::fromLatin1(table), QString::fromLatin1(name), column(table, name, type, def)};
    };
    const auto always = [](const char *statement) {
        return SchemaUpgrade{QString(), QString(), QString::fromLatin1(statement)};
    };
    return {
        // The tables as the releases before numbered steps left them. Of those releases' own
        // shapes only some columns may be missing: rows they kept name no owner, and the first
        // program that restores takes them.
        {1, SchemaStatements(dialect),
         {
             missing("T_OUTBOX", "D_HOST", text, "''"),
             missing("T_OUTBOX", "D_PLACE", text, "''"),
             missing("T_OUTBOX", "D_OWNER", text, "''"),
             missing("T_OUTBOX", "D_LEASE", big, "0"),
             missing("T_REC", "D_PDU", text, "''"),
             always("CREATE INDEX IF NOT EXISTS IX_T_OUTBOX_OWNER ON T_OUTBOX(D_OWNER)"),
             always("CREATE INDEX IF NOT EXISTS IX_T_REC_PDU ON T_REC(D_PDU)"),
         }},
        // The modem (its port) of each message: of a journal row, and of a kept message once a
        // modem has it in hand, so that an outcome journalled later still names it.
        {2,
         {column("T_SEND", "D_PORT", text, "''"), column("T_REC", "D_PORT", text, "''"),
          column("T_OUTBOX", "D_PORT", text, "''")},
         {}},
        // Delivery reports: the state of each sent message, the reference of each of its parts
        // (looked up by modem, reference and recipient), and the reports that found no row.
        {3,
         {column("T_SEND", "D_REPORT", pg ? QStringLiteral("integer") : QStringLiteral("INTEGER"), "0"),
          QStringLiteral("ALTER TABLE T_SEND ADD COLUMN D_REPORTTIME %1").arg(time),
          column("T_SEND", "D_REFS", text, "''"),
          QStringLiteral("CREATE TABLE IF NOT EXISTS T_SENDPART (D_SEND %1 NOT NULL, D_PART integer NOT NULL, "
                         "D_PORT %2 NOT NULL, D_MR integer NOT NULL, D_NUM %2 NOT NULL, D_TIME %3 NOT NULL, "
                         "D_REPORT integer NOT NULL DEFAULT 1, PRIMARY KEY (D_SEND, D_PART))")
              .arg(big, text, time),
          QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_SENDPART_REF ON T_SENDPART(D_PORT,D_MR,D_NUM,D_TIME)"),
          QStringLiteral("CREATE TABLE IF NOT EXISTS T_REPORT (D_NO %1, D_PORT %2 NOT NULL, D_MR integer NOT NULL, "
                         "D_NUM %2 NOT NULL, D_STATUS integer NOT NULL, D_DONE %3 NOT NULL, D_TIME %3 NOT NULL, "
                         "D_PDU %2 NOT NULL)")
              .arg(pg ? QStringLiteral("bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                      : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"),
                   text, time),
          QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_REPORT_REF ON T_REPORT(D_PORT,D_MR,D_NUM)")},
         {}},
        // An order's numbers with their own fields (a CSV number file's row), filled in when the
        // order starts.
        {4, {column("T_PHONENUMBER", "D_FIELDS", text, "''")}, {}},
    };
}

int SchemaVersion(DbSettings::Driver dialect)
{
    return SchemaSteps(dialect).constLast().version;
}

Kind KindOf(Sql id)
{
    switch (id) {
    case Sql::UserSelectAll:
    case Sql::UserCountByName:
    case Sql::UserSelectByName:
    case Sql::UserCount:
    case Sql::PhraseSelect:
    case Sql::BookGroups:
    case Sql::BookSelect:
    case Sql::BookCountByNumber:
    case Sql::SendSelect:
    case Sql::RecSelect:
    case Sql::AllSelect:
    case Sql::OrderSelect:
    case Sql::OrderDue:
    case Sql::NumberCount:
    case Sql::NumberSelect:
    case Sql::LastNoSelect:
    case Sql::OutboxSelect:
    case Sql::SendKeysBefore:
    case Sql::RecKeysBefore:
    case Sql::SendKeysByTime:
    case Sql::RecKeysByTime:
    case Sql::SendRowsByNo:
    case Sql::RecRowsByNo:
    case Sql::SendFindNewest:
    case Sql::RecFindNewest:
    case Sql::RecFindByIdentity:
    case Sql::ReportFindKept:
    case Sql::OutboxOwners:
    case Sql::OrderClaimant:
    case Sql::UserCountOtherAdmins:
    case Sql::OrderMaxId:
    case Sql::SchemaVersion:
        return Kind::Rows;
    case Sql::SendInsert:
    case Sql::SendInsertReported:
    case Sql::RecInsert:
    case Sql::RecInsertArrival:
    case Sql::OrderInsert:
    case Sql::OutboxInsert:
        return Kind::Key;
    case Sql::OutboxInsertBatch:
    case Sql::PartMatch:
        return Kind::Keys;
    case Sql::UserInsert:
    case Sql::UserUpdate:
    case Sql::UserDelete:
    case Sql::UserSetPassword:
    case Sql::UserUpgradePassword:
    case Sql::UserRename:
    case Sql::PhraseInsert:
    case Sql::PhraseUpdate:
    case Sql::PhraseDelete:
    case Sql::BookInsert:
    case Sql::BookUpdate:
    case Sql::BookDelete:
    case Sql::SendDelete:
    case Sql::RecDelete:
    case Sql::OrderDelete:
    case Sql::NumberInsert:
    case Sql::NumberDeleteByOrder:
    case Sql::LastNoDelete:
    case Sql::LastNoInsert:
    case Sql::OutboxMarkInFlight:
    case Sql::OutboxMarkQueued:
    case Sql::OutboxDelete:
    case Sql::OutboxDeleteBatch:
    case Sql::OutboxClaim:
    case Sql::OutboxRenew:
    case Sql::OrderUpdate:
    case Sql::OrderClaim:
    case Sql::OrderClaimDelete:
    case Sql::NumberInsertBatch:
    case Sql::UserUpdateKeepPassword:
    case Sql::OutboxWithdrawOrder:
    case Sql::SchemaVersionAdd:
    case Sql::PartInsert:
    case Sql::PartSetReport:
    case Sql::SendSetFailed:
    case Sql::SendSetDelivered:
    case Sql::ReportKeep:
    case Sql::ReportDeleteKept:
    case Sql::ReportPruneKept:
    case Sql::Count_:
        break;
    }
    return Kind::NoRows;
}

QString SendQueryHead(DbSettings::Driver dialect)
{
    return QStringLiteral("SELECT D_NO AS MYNO,%1 AS MYTIME,D_SENDNUM AS MYNUM,D_SENDCONT AS MYCONT,"
                          "D_STATE AS MYSTATE FROM T_SEND WHERE ")
        .arg(Ts("D_SENDTIME", dialect == DbSettings::Postgres));
}

QString RecQueryHead(DbSettings::Driver dialect)
{
    return QStringLiteral("SELECT D_NO AS MYNO,%1 AS MYTIME,D_RECNUM AS MYNUM,D_RECCONT  AS MYCONT,"
                          "'1' AS MYSTATE FROM T_REC WHERE ")
        .arg(Ts("D_RECTIME", dialect == DbSettings::Postgres));
}

QString RecordQueryTail()
{
    return QStringLiteral("1=1 ORDER BY MYTIME,MYNO");
}

QString DayRangeCondition(const QString &column, DbSettings::Driver dialect)
{
    if (dialect == DbSettings::Postgres)
        return QStringLiteral("%1>=CAST(? AS timestamp) AND %1<CAST(? AS timestamp)+INTERVAL '1 day'").arg(column);
    return QStringLiteral("%1>=? AND %1<datetime(?,'+1 day')").arg(column);
}

QVariantList DayRangeValues(const QDate &day)
{
    const QString midnight = day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00");
    return {midnight, midnight};
}

// Record query. The time of the paging condition and of the order is the stored column, so
// that a day range and the walk newest first both use the time index.
QString RecordQueryKeys(bool send, const QVector<QueryCondition> &conditions, DbSettings::Driver dialect)
{
    const bool pg = dialect == DbSettings::Postgres;
    const QString time = send ? QStringLiteral("D_SENDTIME") : QStringLiteral("D_RECTIME");
    QString sql = QStringLiteral("SELECT D_NO,%1 AS MYTIME FROM %2 WHERE ")
                      .arg(Ts(send ? "D_SENDTIME" : "D_RECTIME", pg), send ? QStringLiteral("T_SEND") : QStringLiteral("T_REC"));
    for (const QueryCondition &c : conditions) {
        switch (c.m_field) {
        case QueryField::Number:
            sql += send ? QStringLiteral("D_SENDNUM=?") : QStringLiteral("D_RECNUM=?");
            break;
        case QueryField::Day:
            sql += DayRangeCondition(time, dialect);
            break;
        case QueryField::Text:
            // The same rows in both: PostgreSQL's LIKE with an escape character that no
            // server setting reads otherwise, and in SQLite, whose LIKE ignores the case of
            // ASCII letters, GLOB. Either way the typed text is matched literally
            // (RecordQueryValues makes the pattern). ILIKE would cost PostgreSQL twice the time.
            sql += (send ? QStringLiteral("D_SENDCONT") : QStringLiteral("D_RECCONT"))
                + (pg ? QStringLiteral(" LIKE ? ESCAPE '!'") : QStringLiteral(" GLOB ?"));
            break;
        case QueryField::Order:
            // An order number beyond the column's range matches nothing rather than failing.
            sql += pg ? QStringLiteral("D_ID=CAST(? AS bigint)") : QStringLiteral("D_ID=?");
            break;
        case QueryField::State:
            sql += QStringLiteral("D_STATE=?");
            break;
        case QueryField::Report:
            sql += QStringLiteral("D_REPORT=?");
            break;
        }
        sql += QStringLiteral(" AND ");
    }
    return sql
        + QStringLiteral("(%1,D_NO)<(%2,?) ORDER BY %1 DESC,D_NO DESC LIMIT ?")
              .arg(time, pg ? QStringLiteral("CAST(? AS timestamp)") : QStringLiteral("?"));
}

// "Contains text" as a pattern that matches the text literally. GLOB has no escape
// character: its *, ? and [ stand for themselves inside brackets. LIKE takes "!" as its
// escape character here (the statement says so), in front of %, _ and itself.
static QString ContainsPattern(const QString &text, DbSettings::Driver dialect)
{
    const bool pg = dialect == DbSettings::Postgres;
    const QChar any = pg ? QLatin1Char('%') : QLatin1Char('*');
    QString pattern;
    pattern.reserve(text.size() + 8);
    pattern += any;
    for (const QChar c : text) {
        if (pg && (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('!')))
            pattern += QLatin1Char('!') + c;
        else if (!pg && (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('[')))
            pattern += QLatin1Char('[') + c + QLatin1Char(']');
        else
            pattern += c;
    }
    pattern += any;
    return pattern;
}

QVariantList RecordQueryValues(const QVector<QueryCondition> &conditions, DbSettings::Driver dialect)
{
    QVariantList values;
    for (const QueryCondition &c : conditions) {
        if (c.m_field == QueryField::Day)
            values += DayRangeValues(c.m_values.value(0).toDate());
        else if (c.m_field == QueryField::Text)
            values += ContainsPattern(c.m_values.value(0).toString(), dialect);
        else
            values += c.m_values;
    }
    return values;
}

} // namespace SqlCatalogue
