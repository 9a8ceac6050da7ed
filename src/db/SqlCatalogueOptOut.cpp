// The statements of the opt-out list (T_OPTOUT): the phones that asked to get no more bulk
// messages, looked up by the number rule's key.
#include "SqlCataloguePrivate.h"

namespace SqlCatalogue::Detail {

void AddOptOutStatements(Statements &s)
{
    const bool pg = s.pg;
    const QString columns = QStringLiteral("D_KEY,D_NUMBER,%1 AS MYTIME,D_SOURCE,D_TEXT").arg(Ts("D_TIME", pg));
    // "Holds the filter" literally: no LIKE, so that no character of the filter is a wildcard.
    const QString holds = pg ? QStringLiteral("(?='' OR strpos(D_NUMBER,?)>0)") : QStringLiteral("(?='' OR instr(D_NUMBER,?)>0)");

    s.NoRows(Sql::OptOutAdd, QStringLiteral("INSERT INTO T_OPTOUT(D_KEY,D_NUMBER,D_TIME,D_SOURCE,D_TEXT) VALUES(?,?,?,?,?) "
                                            "ON CONFLICT DO NOTHING"));
    // Many rows a round trip, bound as one JSON array as the queue's rows are. (SQLite reads
    // "ON CONFLICT" after a SELECT as a join's unless a WHERE comes between.)
    s.NoRows(Sql::OptOutAddBatch,
             pg ? QStringLiteral("INSERT INTO T_OPTOUT(D_KEY,D_NUMBER,D_TIME,D_SOURCE,D_TEXT) "
                                 "SELECT j.v->>0,j.v->>1,CAST(j.v->>2 AS timestamp),CAST(j.v->>3 AS integer),j.v->>4 "
                                 "FROM json_array_elements(CAST(? AS json)) AS j(v) ON CONFLICT DO NOTHING")
                : QStringLiteral("INSERT INTO T_OPTOUT(D_KEY,D_NUMBER,D_TIME,D_SOURCE,D_TEXT) "
                                 "SELECT json_extract(j.value,'$[0]'),json_extract(j.value,'$[1]'),json_extract(j.value,'$[2]'),"
                                 "json_extract(j.value,'$[3]'),json_extract(j.value,'$[4]') FROM json_each(?) AS j "
                                 "WHERE 1 ON CONFLICT DO NOTHING"));
    s.NoRows(Sql::OptOutDelete, QStringLiteral("DELETE FROM T_OPTOUT WHERE D_KEY=?"));
    // A whole send list in one statement: each of its keys is one probe of the primary key's
    // index, however long the list is.
    s.Rows(Sql::OptOutListed,
           pg ? QStringLiteral("SELECT j.k AS D_KEY FROM json_array_elements_text(CAST(? AS json)) AS j(k) "
                               "WHERE EXISTS (SELECT 1 FROM T_OPTOUT o WHERE o.D_KEY=j.k)")
              : QStringLiteral("SELECT j.value AS D_KEY FROM json_each(?) AS j "
                               "WHERE EXISTS (SELECT 1 FROM T_OPTOUT o WHERE o.D_KEY=j.value)"));
    s.Rows(Sql::OptOutSelect, QStringLiteral("SELECT %1 FROM T_OPTOUT WHERE %2 ORDER BY D_TIME DESC,D_KEY LIMIT ?")
                                  .arg(columns, holds));
    s.Rows(Sql::OptOutCount, QStringLiteral("SELECT COUNT(*) AS NUM FROM T_OPTOUT WHERE %1").arg(holds));
    s.Rows(Sql::OptOutSelectAll, QStringLiteral("SELECT %1 FROM T_OPTOUT ORDER BY D_TIME,D_KEY").arg(columns));
}

} // namespace SqlCatalogue::Detail
