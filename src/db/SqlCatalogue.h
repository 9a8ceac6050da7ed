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

    // The queue (SqlCatalogueQueue.cpp). T_OUTBOX holds every message queued and not yet
    // journalled, whoever queued it (D_STATION, a row of T_STATION) and in which run (D_RUN,
    // a row of T_RUN). A modem takes its next message by claiming a row for its station and
    // SIM (D_CLAIM, D_SIM, D_UNTIL); D_STATE 0 queued, 1 claimed, 2 in a modem's hands (its
    // PDU may have gone). Every step after the claim names the claiming station and changes
    // nothing once the claim is lost. D_SHARE: any sharing station may send it; D_WANTSIM: it
    // goes from that SIM while the SIM is connected anywhere (a reply). Times and leases in
    // the database clock's seconds.
    OutboxInsertBatch,    // (station, share, run, kind, wantSim, host, place, rows) — rows: a JSON array of
                          // [sca, tpa, pid, dcs, text, D_ID] arrays (OutboxBatchRows). The keys are returned
                          // one a row (CDbAccess::InsertRows): sorted, they follow the rows' order
    OutboxClaimNext,      // D_NO; (station, sim, port, lease, station, share, host, place, sim, sim, lease,
                          // only, kind) — only 1: of messages of that kind alone (the quiet hours' replies)
                          // — the oldest queued message this station may send from this SIM, claimed: the
                          // station's own, a shared one when the station shares, one of its installation
                          // whose station is gone, or one wanting this SIM; one wanting another SIM only
                          // while that SIM is connected nowhere. None when there is none
    OutboxClaimed,        // D_NO, D_SCA, D_TPA, D_PID, D_DCS, D_TEXT, D_ID, D_RUN, D_KIND; (D_NO, station)
    OutboxMarkInFlight,   // (lease, D_NO, station) — in the modem's hands; changes no row when the claim is
                          // lost, the row is gone or its order (D_ID above 0) no longer exists
    OutboxGiveBack,       // (D_NO, station) — queued again: the network never saw it
    OutboxDeleteClaimed,  // (D_NO, station) — journalled: the row ends, while the claim holds
    OutboxRequeueClaims,  // (station) — the claimed rows of a station that is gone, not yet in a modem's hands
    OutboxInFlightOf,     // D_NO, D_SCA, D_TPA, D_PID, D_DCS, D_TEXT, D_ID, D_RUN, D_SIM, D_PORT; (station) —
                          // in the hands of a modem of that station (0: of a release before stations,
                          // with the installation's host and place as well)
    OutboxOldInFlight,    // the same columns; (host, place) — rows an older release left in a modem's hands
    OutboxLostClaims,     // D_CLAIM; claims of stations that no longer exist
    OutboxAdopt,          // (station, run, host, place) — queued rows of the installation whose station is
                          // gone become this station's, in run; RowsAffected counts them
    OutboxWithdrawRun,    // (D_RUN) — every message of the run not yet in a modem's hands; RowsAffected
    OutboxWithdrawOrder,  // (D_ID) — every kept message of the order not yet in a modem's hands, whoever
                          // queued it; RowsAffected counts them
    OutboxKept,           // NUM; (station) — messages the station queued that no modem has sent yet
    OutboxQueuedCount,    // NUM — messages waiting for a modem
    // T_STATION: one row per running program; D_BEAT its heartbeat.
    StationInsert,        // (token, host, place, pid, started, share) — key returned
    StationBeat,          // (D_NO) — changes no row once the station was taken for dead
    StationList,          // D_NO, D_TOKEN, AGE (seconds since its heartbeat), D_ENDED
    StationDelete,        // (D_NO)
    StationDeleteStale,   // (D_NO, lease) — only while its heartbeat is older than the lease
    StationEnded,         // (D_NO) — ended, with journal rows left for the next start of its installation
    // T_RUN: a press of 发送, an order's start, a reply, what a start took up.
    RunInsert,            // (station, kind, order, total, created) — key returned
    RunAdd,               // (count, D_NO)
    RunLessForOrder,      // (D_ID) — the runs lose the order's messages not yet in a modem's hands
    RunStop,              // (withdrawn, D_NO)
    RunCount,             // (ok, failed, D_NO) — added to the run's counts
    RunDelivery,          // (delivered, undelivered, T_SEND.D_NO) — added to the counts of that row's run
    RunSelect,            // D_TOTAL, D_OK, D_FAILED, D_WITHDRAWN, D_STOPPED, D_DELIVERED, D_UNDELIVERED; (D_NO)
    // T_SIM: the SIMs of the modems, by IMSI, and the station that has each now.
    SimSeen,              // (imsi, iccid, station, port) — inserted or updated
    SimOnline,            // D_PORT, D_STATION; (imsi, lease) — where the SIM is while its station lives
    // The journal (SqlCatalogueJournal.cpp). T_SEND, T_REC: the journal row and the end of its
    // kept message belong together: run the insert and OutboxDeleteClaimed in one transaction.
    SendInsert,           // (D_ID, time, state, number, text, port) — key (D_NO) returned by Insert;
                          // port: the modem's port, "" when not known
    SendInsertReported,   // (D_ID, time, state, number, text, port, report, refs, run, message, sim, parts) — key
    SendSimCount,         // H, D, M; (hour start, day start, sim, earliest start) — the parts the SIM sent since
                          // each start (M: since the earliest), failed messages' parts that went included
    SendSentOfRun,        // D_SENDNUM, D_SENDCONT; (run) — the messages of a run that went
    SendSentOfNumbers,    // D_RUN, D_SENDNUM, D_SENDCONT; (kSentOfNumbersCount numbers) — what went to them in runs
                          // returned; message: the T_OUTBOX key it had, sim: the IMSI that sent it
    RecInsert,            // (number, text, time, port, sim) — key (D_NO) returned by Insert
    RecInsertArrival,     // (number, text, time, port, sim, identity) — key returned; identity: a digest of
                          // the arrival's PDUs (D_PDU), by which it is journalled once
    RecFindByIdentity,    // D_NO; (identity, sim, sim, port) — an arrival journalled already by that SIM
                          // (or the modem on port, or a release that kept no port): the same message
                          // sent to two SIMs of a pool is two arrivals
    // Delivery reports (TS 23.040 SMS-STATUS-REPORT). T_SEND.D_REPORT: 0 none asked, 1 waiting,
    // 2 delivered, 3 not delivered (SqlCatalogue::kReport*); D_REPORTTIME the discharge time;
    // D_REFS the message reference of each part ("12,13"). T_SENDPART: one row per part the
    // network took, by which a report finds its message in one indexed lookup. T_REPORT: a
    // report that matched no row (yet): a row written later still finds it.
    PartInsert,           // (D_SEND, part, port, reference, numberKey, time, sim)
    PartMatch,            // D_SEND; (report, report, port, reference, numberKey, since) — of a modem whose
                          // SIM is not known: the newest part of that port, reference and recipient
                          // sent since then takes the report (1 waiting leaves it as it is); its
                          // message's key returned, none when none matched
    PartMatchSim,         // D_SEND; (report, report, sim, reference, numberKey, since, submitted) — of that
                          // SIM, reference and recipient since then, the part sent nearest to the time
                          // the service centre took it (a reference repeats after 255)
    PartSetReport,        // (report, D_SEND, part)
    SendSetFailed,        // (dischargeTime, D_NO) — 未送达, unless it was already
    SendSetDelivered,     // (dischargeTime, D_NO, D_NO) — 已送达 once every part is; changes no row before
    ReportKeep,           // (port, reference, numberKey, status, dischargeTime, time, pdu, sim)
    ReportFindKept,       // D_NO, D_STATUS, MYDONE; (sim, port, reference, numberKey, since) — kept for that
                          // SIM (or, with none, that port) since then (a message's own reports come
                          // after it went), oldest first
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

    // The opt-out list (SqlCatalogueOptOut.cpp): T_OPTOUT, one row a phone that asked to get
    // no more bulk messages, by the number rule's key (CJournal::NumberKey): D_NUMBER as it was
    // given, D_SOURCE 0 by hand, 1 by a reply, 2 from a file; D_TEXT the reply's text.
    OptOutAdd,            // (key, number, time, source, text) — a key listed already stays as it was;
                          // RowsAffected says whether it was added
    OptOutAddBatch,       // (rows) — rows: a JSON array of [key, number, time, source, text] arrays;
                          // keys listed already are left; RowsAffected counts the added ones
    OptOutDelete,         // (key)
    OptOutListed,         // D_KEY; (keys) — keys: a JSON array of keys; those of them listed, in any order
    OptOutSelect,         // D_KEY, D_NUMBER, MYTIME, D_SOURCE, D_TEXT; (filter, filter, limit) — the
                          // rows whose number holds filter ("" all), newest first
    OptOutCount,          // NUM; (filter, filter)
    OptOutSelectAll,      // D_KEY, D_NUMBER, MYTIME, D_SOURCE, D_TEXT — oldest first
    // The HTTP API of serve (SqlCatalogueApi.cpp). T_TOKEN: the tokens other programs present,
    // kept only as their digest (D_HASH); D_REVOKED 1 once revoked. T_APIBATCH: one row per
    // request that queued messages, with the token's name and the caller's client id (unique
    // per token when not ""), and the answer it got (D_ANSWER, the JSON given again to a
    // repeat). A message's id is its T_OUTBOX key, which its journal row keeps as D_MSG.
    TokenInsert,          // (name, hash, created)
    TokenSelect,          // D_NAME, D_CREATED, D_REVOKED — by D_NO
    TokenActiveByName,    // NUM; (name) — tokens of that name not revoked
    TokenActiveCount,     // NUM — tokens not revoked
    TokenFind,            // D_NAME; (hash) — the token with that digest, unless revoked
    TokenRevoke,          // (name) — RowsAffected counts them
    ApiBatchInsert,       // (token, clientId, created, count) — key returned
    ApiBatchAnswer,       // (answer, D_NO)
    ApiBatchByClient,     // D_NO, D_ANSWER; (token, clientId)
    ApiBatchSelect,       // D_NO, D_CREATED, D_COUNT, D_ANSWER; (D_NO)
    ApiOutboxRange,       // D_NO, D_STATE, D_TPA, D_SIM, D_PORT; (fromNo, toNo) — queued or in a modem's hands
    ApiSentRange,         // D_MSG, D_STATE, D_SENDTIME, D_REPORT, D_REPORTTIME, D_PORT, D_SIM, D_SENDNUM;
                          // (fromMsg, toMsg) — journalled, by the T_OUTBOX key they had
    ApiInbox,             // D_NO, D_RECNUM, D_RECCONT, D_RECTIME, D_PORT, D_SIM; (afterNo, limit) — oldest first
    ApiSentBySim,         // D_SIM, D_STATE, D_REPORT, NUM — the journal counted by SIM, result and delivery
    ApiSentSinceBySim,    // D_SIM, NUM; (since) — sent since then, by SIM
    ApiArrivals,          // NUM — arrivals journalled
    ApiSentByRecord,      // D_MSG; (D_NO) — the T_OUTBOX key a journal row's message had
    // T_CALLBACK: the events (an arrival, a delivery report) kept for the receiver until it
    // answers 2xx. D_EVENT the event's id, D_BODY what is posted; D_NEXT when it is tried
    // next and D_CREATED, in the database clock's seconds; D_DONE 0 waiting, 1 delivered,
    // 2 given up.
    CallbackInsert,       // (event, kind, body)
    CallbackDue,          // D_NO, D_EVENT, D_BODY, D_TRIES, AGE (seconds since made); (limit) — oldest first
    CallbackDone,         // (D_NO)
    CallbackRetry,        // (seconds, D_NO) — one more try made, the next that many seconds from now
    CallbackGiveUp,       // (D_NO)
    CallbackBacklog,      // NUM — events waiting

    // T_SCHEMA: the numbered steps a database has been through (SqlCatalogueSchema.cpp)
    SchemaVersion,        // VERSION: the last step, 0 for none
    SchemaVersionAdd,     // (step, time)
    Count_
};

namespace SqlCatalogue {
constexpr int kNumberBatch = 100; // rows of one Sql::NumberInsertBatch
constexpr int kOutboxBatch = 1000; // rows at most of one Sql::OutboxInsertBatch
constexpr int kSentOfNumbersCount = 50; // numbers of one Sql::SendSentOfNumbers
QString Text(Sql id, DbSettings::Driver dialect);
// The rows value of Sql::OutboxInsertBatch for count records from first.
QString OutboxBatchRows(const SmsRecord *first, qsizetype count);
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
    Modem,  // (port, IMSI[, IMSI pattern]) — its port, its SIM, or a SIM whose IMSI ends so
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
