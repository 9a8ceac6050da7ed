// The statements of the order book and its scheduler: the orders (T_ORDER), their numbers
// (T_PHONENUMBER) and the claims of their starts (T_ORDERSTART).
#include "SqlCataloguePrivate.h"

namespace SqlCatalogue::Detail {

void AddOrderStatements(Statements &s)
{
    const bool pg = s.pg;
    // T_ORDER
    s.Key(Sql::OrderInsert, QStringLiteral("INSERT INTO T_ORDER(D_START,D_END,D_CONT) VALUES(?,?,?)") + ReturningKey("D_ID", pg));
    s.NoRows(Sql::OrderUpdate, QStringLiteral("UPDATE T_ORDER SET D_START=?,D_END=?,D_CONT=? WHERE D_ID=?"));
    s.NoRows(Sql::OrderDelete, QStringLiteral("DELETE FROM T_ORDER WHERE D_ID=?"));
    // With the time its present start was claimed, "" while it has not started.
    s.Rows(Sql::OrderSelect, QStringLiteral("SELECT T_ORDER.D_ID,%1 AS D_START,%2 AS D_END,D_CONT,COALESCE(%3,'') AS D_STARTED "
                                            "FROM T_ORDER LEFT JOIN T_ORDERSTART ON T_ORDERSTART.D_ID=T_ORDER.D_ID "
                                            "AND T_ORDERSTART.D_START=T_ORDER.D_START ORDER BY T_ORDER.D_ID")
                                 .arg(Ts("T_ORDER.D_START", pg), Ts("T_ORDER.D_END", pg), Ts("T_ORDERSTART.D_TIME", pg)));
    s.Rows(Sql::OrderMaxId, QStringLiteral("SELECT COALESCE(MAX(D_ID),0) AS ID FROM T_ORDER"));
    // The range compares the stored column (the WHERE clause does not see the aliases).
    s.Rows(Sql::OrderDue, QStringLiteral("select D_ID,D_CONT,%1 AS D_END,%2 AS D_START from T_ORDER "
                                         "where ((D_START>=? AND D_START<?) OR (D_ID>? AND D_START<?)) AND NOT EXISTS "
                                         "(SELECT 1 FROM T_ORDERSTART WHERE T_ORDERSTART.D_ID=T_ORDER.D_ID "
                                         "AND T_ORDERSTART.D_START=T_ORDER.D_START) ORDER BY D_START,D_ID")
                              .arg(Ts("D_END", pg), Ts("D_START", pg)));

    // T_ORDERSTART. Of two programs claiming at once, the second waits for the first one's
    // transaction and then inserts nothing.
    s.NoRows(Sql::OrderClaim, QStringLiteral("INSERT INTO T_ORDERSTART(D_ID,D_START,D_TIME,D_BY) VALUES(?,?,?,?) "
                                             "ON CONFLICT DO NOTHING"));
    s.Rows(Sql::OrderClaimant, QStringLiteral("SELECT D_BY FROM T_ORDERSTART WHERE D_ID=? AND D_START=?"));
    s.NoRows(Sql::OrderClaimDelete, QStringLiteral("DELETE FROM T_ORDERSTART WHERE D_ID=?"));

    // T_PHONENUMBER
    s.NoRows(Sql::NumberInsert, QStringLiteral("INSERT INTO T_PHONENUMBER(D_ID,D_NUMBER,D_FIELDS) VALUES(?,?,?)"));
    QStringList rows;
    for (int i = 0; i < kNumberBatch; ++i)
        rows << QStringLiteral("(?,?,?)");
    s.NoRows(Sql::NumberInsertBatch, QStringLiteral("INSERT INTO T_PHONENUMBER(D_ID,D_NUMBER,D_FIELDS) VALUES") + rows.join(QLatin1Char(',')));
    s.NoRows(Sql::NumberDeleteByOrder, QStringLiteral("DELETE FROM T_PHONENUMBER WHERE D_ID=?"));
    s.Rows(Sql::NumberSelect, QStringLiteral("select D_NUMBER,D_FIELDS from T_PHONENUMBER where D_ID=? ORDER BY D_NO"));
}

} // namespace SqlCatalogue::Detail
