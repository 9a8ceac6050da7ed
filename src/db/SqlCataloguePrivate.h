#pragma once
// The inside of the catalogue, shared by its files. Each area file states its statements into
// the table of one dialect; SqlCatalogue.cpp builds a table per dialect once and answers
// from it.
//
// Both dialects share most texts. They differ where PostgreSQL needs its own words:
// identity columns, "RETURNING" for the new key (SQLite reports it through the driver), and
// date-times, which PostgreSQL keeps as timestamp(0) and hands back through to_char so every
// reader gets the same canonical text SQLite stores.
#include "SqlCatalogue.h"

#include <array>

namespace SqlCatalogue::Detail {

class Statements
{
public:
    explicit Statements(DbSettings::Driver dialect) : pg(dialect == DbSettings::Postgres) {}

    const bool pg; // the texts are PostgreSQL's

    // A statement and how it is run; each id is stated once.
    void Rows(Sql id, const QString &text) { Add(id, Kind::Rows, text); }
    void NoRows(Sql id, const QString &text) { Add(id, Kind::NoRows, text); }
    void Key(Sql id, const QString &text) { Add(id, Kind::Key, text); }
    void Keys(Sql id, const QString &text) { Add(id, Kind::Keys, text); }

    QString Text(Sql id) const;
    Kind KindOf(Sql id) const;

private:
    void Add(Sql id, Kind kind, const QString &text);

    std::array<QString, size_t(Sql::Count_)> m_texts;
    std::array<Kind, size_t(Sql::Count_)> m_kinds{};
};

// A date-time column as the canonical text "YYYY-MM-DD HH:MM:SS".
QString Ts(const char *column, bool pg);
// The database clock in whole seconds since 1970: one clock for every program that shares
// the database, whatever their own clocks and time zones say.
QString EpochNow(bool pg);
// What an insert whose new key CDbAccess::Insert reads ends with: PostgreSQL returns the
// key column, SQLite's driver reports it without being asked.
QString ReturningKey(const char *column, bool pg);

// The areas, one file each.
void AddUserStatements(Statements &s);    // accounts, phrases, phone book, last numbers
void AddRecordStatements(Statements &s);  // the records list: reading and deleting records
void AddQueueStatements(Statements &s);   // the queue: messages, stations, runs, SIMs
void AddJournalStatements(Statements &s); // the journal and delivery reports
void AddOrderStatements(Statements &s);   // orders, their numbers and their starts
void AddOptOutStatements(Statements &s);  // the opt-out list
void AddSchemaStatements(Statements &s);  // the steps a database has been through
void AddApiStatements(Statements &s);     // the HTTP API: tokens, batches, what it reads

} // namespace SqlCatalogue::Detail
