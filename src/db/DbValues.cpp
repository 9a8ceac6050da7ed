#include "DbValues.h"

#include "DbTime.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace DbDetail {

QString ExecutePrefix()
{
    return QStringLiteral("SQL数据错误,");
}

QString ConnectPrefix()
{
    return QStringLiteral("无法连接数据库: ");
}

QString ReadPrefix()
{
    return QStringLiteral("读取数据库出错: ");
}

QString Describe(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    if (text.isEmpty())
        text = QStringLiteral("Unknown database error");
    return text;
}

QString LostInTransaction()
{
    return QStringLiteral("事务进行中与数据库的连接断开了");
}

QVariant BindValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        if (value.toString().isNull())
            return QVariant(QStringLiteral(""));
        return value;
    case QMetaType::QDateTime:
        return DbTime::Format(value.toDateTime());
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    default:
        return value;
    }
}

QString ValueText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QDateTime:
        return DbTime::Format(value.toDateTime());
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return value.toString();
    }
}

int PlaceholderCount(const QString &text)
{
    return int(text.count(QLatin1Char('?')));
}

} // namespace DbDetail
