// The statements of the small tables: accounts (T_USER), phrases (T_INSERT), the phone book
// (T_BOOK) and the last numbers typed (T_LASTNO).
#include "SqlCataloguePrivate.h"

namespace SqlCatalogue::Detail {

void AddUserStatements(Statements &s)
{
    const bool pg = s.pg;
    // T_USER. Login reads the hash and checks it; the list never reads the password column.
    s.Rows(Sql::UserSelectAll, QStringLiteral("SELECT D_NAME,D_LEVEL,%1 AS D_CTIME FROM T_USER").arg(Ts("D_CTIME", pg)));
    s.Rows(Sql::UserCountByName, QStringLiteral("SELECT COUNT(D_NAME) AS NUM FROM T_USER WHERE D_NAME=?"));
    s.Rows(Sql::UserSelectByName, QStringLiteral("SELECT D_LEVEL,D_NAME,D_PSW FROM T_USER WHERE D_NAME=?"));
    s.Rows(Sql::UserCount, QStringLiteral("SELECT COUNT(D_NAME) AS NUM FROM T_USER"));
    s.Rows(Sql::UserCountOtherAdmins, QStringLiteral("SELECT COUNT(D_NAME) AS NUM FROM T_USER WHERE D_LEVEL=0 AND D_NAME<>?"));
    s.NoRows(Sql::UserInsert, QStringLiteral("INSERT INTO T_USER(D_NAME,D_PSW,D_LEVEL,D_CTIME) VALUES(?,?,?,?)"));
    s.NoRows(Sql::UserUpdate, QStringLiteral("UPDATE T_USER SET D_NAME=?,D_PSW=?,D_LEVEL=? WHERE D_NAME=?"));
    s.NoRows(Sql::UserUpdateKeepPassword, QStringLiteral("UPDATE T_USER SET D_NAME=?,D_LEVEL=? WHERE D_NAME=?"));
    s.NoRows(Sql::UserDelete, QStringLiteral("DELETE FROM T_USER WHERE D_NAME=?"));
    s.NoRows(Sql::UserUpgradePassword, QStringLiteral("UPDATE T_USER SET D_PSW=? WHERE D_NAME=? AND D_PSW=?"));
    s.NoRows(Sql::UserRename, QStringLiteral("UPDATE T_USER SET D_NAME=?,D_PSW=? WHERE D_NAME=?"));

    // T_INSERT
    s.Rows(Sql::PhraseSelect, QStringLiteral("SELECT D_INSERT FROM T_INSERT"));
    s.NoRows(Sql::PhraseInsert, QStringLiteral("INSERT INTO T_INSERT(D_INSERT) VALUES(?)"));
    s.NoRows(Sql::PhraseUpdate, QStringLiteral("UPDATE T_INSERT SET D_INSERT=? WHERE D_INSERT=?"));
    s.NoRows(Sql::PhraseDelete, QStringLiteral("DELETE FROM T_INSERT WHERE D_INSERT=?"));

    // T_BOOK
    s.Rows(Sql::BookGroups, QStringLiteral("SELECT DISTINCT D_RELATION FROM T_BOOK"));
    s.Rows(Sql::BookSelect, QStringLiteral("SELECT D_NAME,D_NUMBER,D_RELATION FROM T_BOOK ORDER BY D_RELATION"));
    s.Rows(Sql::BookCountByNumber, QStringLiteral("SELECT COUNT(D_NUMBER) AS NUM FROM T_BOOK WHERE D_NUMBER=?"));
    s.NoRows(Sql::BookInsert, QStringLiteral("INSERT INTO T_BOOK(D_NAME,D_NUMBER,D_RELATION) VALUES(?,?,?)"));
    s.NoRows(Sql::BookUpdate, QStringLiteral("UPDATE T_BOOK SET D_NAME=?,D_NUMBER=?,D_RELATION=? WHERE D_NUMBER=?"));
    s.NoRows(Sql::BookDelete, QStringLiteral("DELETE FROM T_BOOK WHERE D_NUMBER=?"));

    // T_LASTNO
    s.Rows(Sql::LastNoSelect, QStringLiteral("SELECT D_LASTNO FROM T_LASTNO ORDER BY D_POS"));
    s.NoRows(Sql::LastNoDelete, QStringLiteral("DELETE FROM T_LASTNO"));
    s.NoRows(Sql::LastNoInsert, QStringLiteral("INSERT INTO T_LASTNO(D_POS,D_LASTNO) VALUES(?,?)"));
}

} // namespace SqlCatalogue::Detail
