#pragma once
// Every statement of the program, by table, one text per dialect; values are bound with
// "?" placeholders in the order given beside each entry. Result columns are named beside
// the row-returning entries; PostgreSQL hands column names back in lower case, which the
// recordset reads without regard to case. Date-time columns read back as the text
// "YYYY-MM-DD HH:MM:SS" in both dialects, and date-time values are bound in that form
// (DbTime::Canonical makes it). The statements are kept by area, one file each, in the
// order of the groups below.
#include "base/DbSettings.h"
#include "base/SmsRecord.h"
#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

enum class Sql {
    // Accounts, phrases, phone book, last numbers (SqlCatalogueUsers.cpp)
    // T_USER
    UserSelectAll,        // D_NAME, D_LEVEL, D_CTIME (no password column)
    UserCountByName,      // NUM; (name)
    UserSelectByName,     // D_LEVEL, D_NAME, D_PSW; (name) — login reads the hash and checks it
    UserCount,            // NUM
    UserCountOtherAdmins, // NUM; (name) — administrators (D_LEVEL 0) of another name
    UserInsert,           // (name, passwordHash, level, ctime)
    UserUpdate,           // (name, passwordHash, level, oldName)
    UserUpdateKeepPassword, // (name, level, oldName) — a change that leaves the password alone
    UserDelete,           // (name)
    UserUpgradePassword,  // (passwordHash, name, plainPassword) — only the row still holding
                          // that plain text, so a second account of the same name keeps its own
    UserRename,           // (name, passwordHash, oldName) — password change
    // T_INSERT
    PhraseSelect,         // D_INSERT
    PhraseInsert,         // (text)
    PhraseUpdate,         // (newText, oldText) — every row holding oldText
    PhraseDelete,         // (text) — every row holding text
    // T_BOOK
    BookGroups,           // D_RELATION (distinct)
    BookSelect,           // D_NAME, D_NUMBER, D_RELATION — ordered by D_RELATION
    BookCountByNumber,    // NUM; (number)
    BookInsert,           // (name, number, relation)
    BookUpdate,           // (name, number, relation, oldNumber)
    BookDelete,           // (number)
    // T_LASTNO: replaced in one transaction, LastNoDelete then LastNoInsert per number
    LastNoSelect,         // D_LASTNO in list order
    LastNoDelete,
    LastNoInsert,         // (position, number)

    // The records list (SqlCatalogueRecords.cpp): T_SEND and T_REC read keys in slices and
    // texts a page at a time; the record query's texts are made by the functions below.
    SendKeysBefore,       // D_NO; (beforeNo, limit) — D_NO < beforeNo, newest first
    RecKeysBefore,        // D_NO; (beforeNo, limit)
    SendKeysByTime,       // D_NO, MYTIME; (beforeTime, beforeNo, limit) — (time, D_NO) below
                          // (beforeTime, beforeNo), newest first: the all view's order backwards
    RecKeysByTime,        // D_NO, MYTIME; (beforeTime, beforeNo, limit)
    SendRowsByNo,         // D_NO, MYTIME, MYNUM, MYCONT, MYSTATE, MYPORT, MYREPORT; (fromNo, toNo) — both included
    RecRowsByNo,          // D_NO, MYTIME, MYNUM, MYCONT, MYPORT; (fromNo, toNo)
    SendFindNewest,       // D_NO; (time, number, text, port) — the newest row with these values
    RecFindNewest,        // D_NO; (time, number, text, port)
    SendDelete,           // (D_NO)
    RecDelete,            // (D_NO)

    // The outbox and the journal (SqlCatalogueJournal.cpp)
    // T_OUTBOX: queued messages kept until their attempt is journalled. Each row belongs to the
    // engine instance that queued it (D_OWNER), on a host (D_HOST) and an installation
    // (D_PLACE); D_LEASE is the database clock's second when the owner last said it runs.
    OutboxInsertBatch,    // (host, place, owner, rows) — rows: a JSON array of [sca, tpa, pid, dcs, text,
                          // D_ID] arrays (OutboxBatchRows). The keys are returned one a row
                          // (CDbAccess::InsertRows): sorted, they follow the rows' order
    OutboxSelect,         // D_NO, D_SCA, D_TPA, D_PID, D_DCS, D_TEXT, D_ID, D_STATE, D_PORT; (owner) — queue order
    OutboxOwners,         // D_OWNER, AGE; (host, place) — owners of the installation's rows and of rows
                          // that name no owner, AGE the seconds since the owner's lease was renewed
    OutboxClaim,          // (owner, host, place, oldOwner, host, place) — takes over oldOwner's rows (an
                          // instance that ends hands its own on so: owner = its ended token)
    OutboxRenew,          // (owner) — renews the owner's lease
    OutboxMarkInFlight,   // (port, D_NO) — in the hands of the modem on port; changes no row when the
                          // row is gone or its order (D_ID above 0) no
                          // longer exists: the message was withdrawn
    OutboxMarkQueued,     // (D_NO) — back to not handed over: the modem refused it before the network saw it
    OutboxDelete,         // (D_NO)
    OutboxDeleteBatch,    // (keys) — keys: a JSON array of D_NO values (OutboxBatchKeys)
    OutboxWithdrawOrder,  // (D_ID) — every kept message of the order not yet handed to a modem
                          // (D_STATE 0), of whichever program, when the order is deleted while it
                          // is being sent; RowsAffected counts them
    // T_SEND, T_REC: the journal. The journal row and the end of its kept message belong
    // together: run the insert and OutboxDelete inside one CDbAccess::Transaction.
    SendInsert,           // (D_ID, time, state, number, text, port) — key (D_NO) returned by Insert;
                          // port: the modem's port, "" when not known
    SendInsertReported,   // (D_ID, time, state, number, text, port, report, refs) — key returned
    RecInsert,            // (number, text, time, port) — key (D_NO) returned by Insert
    RecInsertArrival,     // (number, text, time, port, identity) — key returned; identity: a digest of the
                          // arrival's PDUs (D_PDU), by which it is journalled once
    RecFindByIdentity,    // D_NO; (identity, port) — an arrival journalled already by the modem on port
                          // (or by a release that kept no port): the same message sent to two SIMs
                          // of a pool is two arrivals
    // Delivery reports (TS 23.040 SMS-STATUS-REPORT). T_SEND.D_REPORT: 0 none asked, 1 waiting,
    // 2 delivered, 3 not delivered (SqlCatalogue::kReport*); D_REPORTTIME the discharge time;
    // D_REFS the message reference of each part ("12,13"). T_SENDPART: one row per part the
    // network took, by which a report finds its message in one indexed lookup. T_REPORT: a
    // report that matched no row (yet): a row written later still finds it.
    PartInsert,           // (D_SEND, part, port, reference, numberKey, time)
    PartMatch,            // D_SEND; (report, report, port, reference, numberKey, since) — the newest part
                          // of that modem, reference and recipient sent since then takes the report (1
                          // waiting leaves it as it is); its message's key returned, none when none matched
    PartSetReport,        // (report, D_SEND, part)
    SendSetFailed,        // (dischargeTime, D_NO) — 未送达, unless it was already
    SendSetDelivered,     // (dischargeTime, D_NO, D_NO) — 已送达 once every part is; changes no row before
    ReportKeep,           // (port, reference, numberKey, status, dischargeTime, time, pdu)
    ReportFindKept,       // D_NO, D_STATUS, MYDONE; (port, reference, numberKey, since) — kept since
                          // then (a message's own reports come after it went), oldest first
    ReportDeleteKept,     // (D_NO)
    ReportPruneKept,      // (before) — kept reports too old for any message to claim

    // The order book and the scheduler (SqlCatalogueOrders.cpp): T_ORDER, T_PHONENUMBER,
    // T_ORDERSTART. An order's start is claimed (one T_ORDERSTART row per order and start
    // time) in the transaction that queues its messages, so that of several programs on one
    // database one starts it.
    OrderInsert,          // (start, end, text) — key (D_ID) returned by CDbAccess::Insert
    OrderUpdate,          // (start, end, text, D_ID) — its number and its numbers stay
    OrderDelete,          // (D_ID)
    OrderSelect,          // D_ID, D_START, D_END, D_CONT, D_STARTED ("" when not started) — by D_ID
    OrderMaxId,           // ID; the highest order number, 0 when there is none
    OrderDue,             // D_ID, D_CONT, D_END, D_START; (from, to, knownId, to): orders not started yet
                          // (no T_ORDERSTART row for their D_START) whose D_START lies in [from, to), or
                          // before to for an order numbered above knownId (added later), by D_START
                          // then D_ID. Minutes as DbTime::MinuteRange gives them
    OrderClaim,           // (D_ID, start, now, claimant) — leaves an earlier claim as it is
    OrderClaimant,        // D_BY; (D_ID, start) — who holds the claim: equal to the claimant
                          // given to OrderClaim when that call made it
    OrderClaimDelete,     // (D_ID)
    NumberInsert,         // (D_ID, number, fields) — fields: the number's own, RecipientFields::Encode
    NumberInsertBatch,    // (D_ID, number, fields) × SqlCatalogue::kNumberBatch — many rows a round trip,
                          // stored in the order given
    NumberDeleteByOrder,  // (D_ID)
    NumberSelect,         // D_NUMBER, D_FIELDS; (D_ID) — in the order they were stored

    // T_SCHEMA: the numbered steps a database has been through (SqlCatalogueSchema.cpp)
    SchemaVersion,        // VERSION: the last step, 0 for none
    SchemaVersionAdd,     // (step, time)
    Count_
};

namespace SqlCatalogue {
constexpr int kNumberBatch = 100; // rows of one Sql::NumberInsertBatch
constexpr int kOutboxBatch = 1000; // rows at most of one Sql::OutboxInsertBatch
QString Text(Sql id, DbSettings::Driver dialect);
// The rows value of Sql::OutboxInsertBatch for count records from first.
QString OutboxBatchRows(const SmsRecord *first, qsizetype count);
// The keys value of Sql::OutboxDeleteBatch.
QString OutboxBatchKeys(const qint64 *first, qsizetype count);
// The tables as the first numbered step makes them, in order (idempotent).
QStringList SchemaStatements(DbSettings::Driver dialect);
// The table of the steps a database has been through: one row each, D_VERSION the step.
QString SchemaVersionTable(DbSettings::Driver dialect);
// A column that a table of a release before numbered steps may lack: added (statement) when
// table has no column of that name. Entries without a column (indexes) always run.
struct SchemaUpgrade
{
    QString table;
    QString column;
    QString statement;
};
// One change of the tables, run once on a database that has not been through it, in one
// transaction with the steps before and after it: its statements, then its upgrades. Step 1
// alone meets tables of unknown shape (releases without steps); every later step knows the
// tables as the step before it left them.
struct SchemaStep
{
    int version;
    QStringList statements;
    QList<SchemaUpgrade> upgrades;
};
QList<SchemaStep> SchemaSteps(DbSettings::Driver dialect);
// The last step: what this program's statements expect.
int SchemaVersion(DbSettings::Driver dialect);

// How a statement is run: OpenRecordset (Rows), Execute (NoRows), Insert (Key) or
// InsertRows (Keys).
enum class Kind { Rows, NoRows, Key, Keys };
Kind KindOf(Sql id);

// Record query. The heads select MYNO, MYTIME, MYNUM, MYCONT, MYSTATE and end with "WHERE ";
// the caller appends its conditions, each ending with " AND ", then RecordQueryTail().
QString SendQueryHead(DbSettings::Driver dialect);
QString RecQueryHead(DbSettings::Driver dialect);
QString RecordQueryTail(); // "1=1" and the order (newest last)
// "column>=? AND column<(that day + 1)": from midnight of a day to midnight of the next one.
// Binds two values, both DayRangeValues(day).
QString DayRangeCondition(const QString &column, DbSettings::Driver dialect);
QVariantList DayRangeValues(const QDate &day);

// Record query as the records list reads it: the keys of the hits a slice at a time, in the
// all view's order backwards (newest first). The conditions are ANDed in the order given.
enum class QueryField {
    Number, // (number) — equal
    Day,    // (QDate) — from its midnight to the next one, the next one excluded
    Text,   // (text) — the record's text contains it literally (% and _ are no wildcards),
            // capitals and small letters told apart, in both dialects
    Order,  // (D_ID) — sent records only
    State,  // (D_STATE) — sent records only
    Report, // (D_REPORT) — sent records only
};
// T_SEND.D_REPORT values.
constexpr int kReportNone = 0;
constexpr int kReportWaiting = 1;
constexpr int kReportDelivered = 2;
constexpr int kReportFailed = 3;
struct QueryCondition
{
    QueryField m_field;
    QVariantList m_values;
    bool operator==(const QueryCondition &) const = default;
};
// D_NO, MYTIME; binds RecordQueryValues(conditions), then (beforeTime, beforeNo, limit):
// (time, D_NO) below (beforeTime, beforeNo), newest first.
QString RecordQueryKeys(bool send, const QVector<QueryCondition> &conditions, DbSettings::Driver dialect);
QVariantList RecordQueryValues(const QVector<QueryCondition> &conditions, DbSettings::Driver dialect);
} // namespace SqlCatalogue
