#pragma once
// Values and texts of the database layer: how a value is bound and read back as text, and
// how a driver's error is described to the operator.
#include <QSqlError>
#include <QString>
#include <QVariant>

namespace DbDetail {

// What the operator reads before the database's own (mostly English) words: which kind of
// call failed. A statement's is the older "SQL数据错误,".
QString ExecutePrefix();
QString ConnectPrefix();
QString ReadPrefix();
// The server's own words when there are any, else the Qt driver's.
QString Describe(const QSqlError &error);
QString LostInTransaction();
// A value as it goes to the driver. A null QString would be bound as SQL NULL, which no
// column of ours holds (a NULL makes every later reader fail), so it goes as empty text;
// date-times go in the canonical text both dialects compare correctly.
QVariant BindValue(const QVariant &value);
QString ValueText(const QVariant &value);
int PlaceholderCount(const QString &text);

} // namespace DbDetail
