#pragma once
// Every statement of the program, by table, one text per dialect; values are bound with
// "?" placeholders in the order given beside each entry.
#include "DbSettings.h"
#include <QString>
#include <QStringList>

enum class Sql {
    // T_USER
    UserSelectAll,        // D_NAME, D_LEVEL, D_CTIME (no password column)
    UserCountByName,      // NUM; (name)
    UserInsert,           // (name, passwordHash, level, ctime)
    UserUpdate,           // (name, passwordHash, level, oldName)
    UserDelete,           // (name)
    UserSelectByName,     // D_LEVEL, D_NAME, D_PSW; (name) — login reads the hash and checks it
    UserSetPassword,      // (passwordHash, name) — upgrade of a plain-text row
    UserRename,           // (name, passwordHash, oldName) — password change
    UserCount,            // NUM
    // T_INSERT
    PhraseSelect, PhraseInsert, PhraseUpdate, PhraseDelete,
    // T_BOOK
    BookGroups, BookSelect, BookCountByNumber, BookInsert, BookUpdate, BookDelete,
    // T_SEND
    SendInsert,           // (D_ID, time, state, number, text)
    SendSelect,           // D_NO, D_SENDTIME, D_SENDNUM, D_SENDCONT, D_STATE — oldest first
    SendDelete,           // (D_NO)
    // T_REC
    RecInsert,            // (number, text, time)
    RecSelect,            // D_NO, D_RECTIME, D_RECNUM, D_RECCONT — oldest first
    RecDelete,            // (D_NO)
    // T_REC and T_SEND
    AllSelect,            // MYNO, MYTIME, MYNUMER, MYCONT, MYSHOW, MYSTATE — every record
    // T_ORDER, T_PHONENUMBER
    OrderInsert,          // (start, end, text) — key returned by CDbAccess::Insert
    OrderSelect, OrderDelete, OrderDue,
    NumberInsert, NumberDeleteByOrder, NumberCount, NumberSelect,
    // T_LASTNO
    LastNoSelect,         // D_LASTNO in list order
    LastNoDelete,
    LastNoInsert,         // (position, number)
    // T_OUTBOX: queued messages kept until their attempt is journalled
    OutboxInsert,         // (sca, tpa, pid, dcs, text, D_ID) — key returned
    OutboxSelect,         // D_NO, D_SCA, D_TPA, D_PID, D_DCS, D_TEXT, D_ID, D_STATE — queue order
    OutboxMarkInFlight,   // (D_NO)
    OutboxDelete,         // (D_NO)
    // T_SEND and T_OUTBOX: the journal row and the end of the kept message, together
    Count_
};

namespace SqlCatalogue {
QString Text(Sql id, DbSettings::Driver dialect);
// Statements that create the tables when missing, in order (idempotent).
QStringList SchemaStatements(DbSettings::Driver dialect);
} // namespace SqlCatalogue
