// The catalogue joined: every area's statements in one table per dialect, built once. A
// statement is looked up at each run, so the lookup is an index and a shared copy.
#include "SqlCataloguePrivate.h"

namespace SqlCatalogue {

namespace Detail {

void Statements::Add(Sql id, Kind kind, const QString &text)
{
    const auto i = size_t(id);
    if (i >= m_texts.size() || !m_texts[i].isNull())
        qFatal("SQL catalogue: statement %d stated twice or out of range", int(id));
    m_texts[i] = text;
    m_kinds[i] = kind;
}

QString Statements::Text(Sql id) const
{
    const auto i = size_t(id);
    return i < m_texts.size() ? m_texts[i] : QString();
}

Kind Statements::KindOf(Sql id) const
{
    const auto i = size_t(id);
    return i < m_kinds.size() ? m_kinds[i] : Kind::NoRows;
}

QString Ts(const char *column, bool pg)
{
    const QString c = QString::fromLatin1(column);
    return pg ? QStringLiteral("to_char(%1,'YYYY-MM-DD HH24:MI:SS')").arg(c) : c;
}

QString EpochNow(bool pg)
{
    // Whole seconds gone, in both: PostgreSQL's cast would round half a second up.
    return pg ? QStringLiteral("CAST(FLOOR(EXTRACT(EPOCH FROM CURRENT_TIMESTAMP)) AS bigint)")
              : QStringLiteral("CAST((julianday('now')-2440587.5)*86400 AS INTEGER)");
}

QString ReturningKey(const char *column, bool pg)
{
    return pg ? QStringLiteral(" RETURNING ") + QString::fromLatin1(column) : QString();
}

} // namespace Detail

namespace {

Detail::Statements Build(DbSettings::Driver dialect)
{
    Detail::Statements s(dialect);
    Detail::AddUserStatements(s);
    Detail::AddRecordStatements(s);
    Detail::AddQueueStatements(s);
    Detail::AddJournalStatements(s);
    Detail::AddOrderStatements(s);
    Detail::AddOptOutStatements(s);
    Detail::AddSchemaStatements(s);
    Detail::AddApiStatements(s);
    return s;
}

const Detail::Statements &Table(DbSettings::Driver dialect)
{
    static const Detail::Statements sqlite = Build(DbSettings::Sqlite);
    static const Detail::Statements postgres = Build(DbSettings::Postgres);
    return dialect == DbSettings::Postgres ? postgres : sqlite;
}

} // namespace

QString Text(Sql id, DbSettings::Driver dialect)
{
    return Table(dialect).Text(id);
}

// An area states each statement's kind once, for both dialects alike.
Kind KindOf(Sql id)
{
    return Table(DbSettings::Sqlite).KindOf(id);
}

} // namespace SqlCatalogue
