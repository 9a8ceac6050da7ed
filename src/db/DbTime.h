#pragma once
// Date-times as the database layer stores and returns them: "YYYY-MM-DD HH:MM:SS".
// SQLite keeps exactly this text and compares it as text, so every time written must be in
// this form; PostgreSQL keeps a timestamp and returns it formatted the same way.
#include <QDateTime>
#include <QString>
#include <utility>

namespace DbTime {
// "2009-5-5 9:5", "2009-05-05 09:05:00", "2009/5/5 9:05:07", "2009-05-05T09:05", "2009-5-5"
// all give "2009-05-05 09:05:00" (or "… 00:00:00" for a date alone); text that is not a
// valid date-time gives "".
QString Canonical(const QString &text);
QString Format(const QDateTime &time);
QString Now();
// The start of time's minute and of the next one: the bounds of Sql::OrderDue for one minute.
std::pair<QString, QString> MinuteRange(const QDateTime &time);
} // namespace DbTime
