// The statements of the records list and the record query: T_SEND and T_REC read a slice of
// keys at a time, then a page of rows, and deleted one record at a time. The journal writes
// these tables (SqlCatalogueJournal.cpp).
#include "SqlCataloguePrivate.h"

namespace SqlCatalogue {

namespace Detail {

void AddRecordStatements(Statements &s)
{
    const bool pg = s.pg;
    const QString timeValue = pg ? QStringLiteral("CAST(? AS timestamp)") : QStringLiteral("?");
    // The time is selected under another name than its column so that ORDER BY sorts by the
    // stored column and can walk the index.
    s.Rows(Sql::SendKeysBefore, QStringLiteral("SELECT D_NO FROM T_SEND WHERE D_NO<? ORDER BY D_NO DESC LIMIT ?"));
    s.Rows(Sql::RecKeysBefore, QStringLiteral("SELECT D_NO FROM T_REC WHERE D_NO<? ORDER BY D_NO DESC LIMIT ?"));
    s.Rows(Sql::SendKeysByTime, QStringLiteral("SELECT D_NO,%1 AS MYTIME FROM T_SEND WHERE (D_SENDTIME,D_NO)<(%2,?) "
                                               "ORDER BY D_SENDTIME DESC,D_NO DESC LIMIT ?")
                                    .arg(Ts("D_SENDTIME", pg), timeValue));
    s.Rows(Sql::RecKeysByTime, QStringLiteral("SELECT D_NO,%1 AS MYTIME FROM T_REC WHERE (D_RECTIME,D_NO)<(%2,?) "
                                              "ORDER BY D_RECTIME DESC,D_NO DESC LIMIT ?")
                                   .arg(Ts("D_RECTIME", pg), timeValue));
    s.Rows(Sql::SendRowsByNo,
           QStringLiteral("SELECT D_NO,%1 AS MYTIME,D_SENDNUM AS MYNUM,D_SENDCONT AS MYCONT,D_STATE AS MYSTATE,"
                          "D_PORT AS MYPORT,D_REPORT AS MYREPORT,D_SIM AS MYSIM FROM T_SEND WHERE D_NO>=? AND D_NO<=? ORDER BY D_NO")
               .arg(Ts("D_SENDTIME", pg)));
    s.Rows(Sql::RecRowsByNo, QStringLiteral("SELECT D_NO,%1 AS MYTIME,D_RECNUM AS MYNUM,D_RECCONT AS MYCONT,D_PORT AS MYPORT,"
                                            "D_SIM AS MYSIM FROM T_REC WHERE D_NO>=? AND D_NO<=? ORDER BY D_NO")
                                 .arg(Ts("D_RECTIME", pg)));
    s.Rows(Sql::SendFindNewest, QStringLiteral("SELECT D_NO FROM T_SEND WHERE D_SENDTIME=? AND D_SENDNUM=? AND D_SENDCONT=? "
                                               "AND D_PORT=? ORDER BY D_NO DESC LIMIT 1"));
    s.Rows(Sql::RecFindNewest, QStringLiteral("SELECT D_NO FROM T_REC WHERE D_RECTIME=? AND D_RECNUM=? AND D_RECCONT=? "
                                              "AND D_PORT=? ORDER BY D_NO DESC LIMIT 1"));
    s.NoRows(Sql::SendDelete, QStringLiteral("DELETE FROM T_SEND WHERE D_NO=?"));
    s.NoRows(Sql::RecDelete, QStringLiteral("DELETE FROM T_REC WHERE D_NO=?"));
}

} // namespace Detail

QString SendQueryHead(DbSettings::Driver dialect)
{
    return QStringLiteral("SELECT D_NO AS MYNO,%1 AS MYTIME,D_SENDNUM AS MYNUM,D_SENDCONT AS MYCONT,"
                          "D_STATE AS MYSTATE FROM T_SEND WHERE ")
        .arg(Detail::Ts("D_SENDTIME", dialect == DbSettings::Postgres));
}

QString RecQueryHead(DbSettings::Driver dialect)
{
    return QStringLiteral("SELECT D_NO AS MYNO,%1 AS MYTIME,D_RECNUM AS MYNUM,D_RECCONT  AS MYCONT,"
                          "'1' AS MYSTATE FROM T_REC WHERE ")
        .arg(Detail::Ts("D_RECTIME", dialect == DbSettings::Postgres));
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
                      .arg(Detail::Ts(send ? "D_SENDTIME" : "D_RECTIME", pg),
                           send ? QStringLiteral("T_SEND") : QStringLiteral("T_REC"));
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
        case QueryField::Modem:
            sql += c.m_values.size() > 2 ? QStringLiteral("(D_PORT=? OR D_SIM=? OR D_SIM LIKE ?)")
                                         : QStringLiteral("(D_PORT=? OR D_SIM=?)");
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
