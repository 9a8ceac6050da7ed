#include "DbTime.h"

#include <QRegularExpression>

namespace DbTime {

QString Canonical(const QString &text)
{
    static const QRegularExpression re(QStringLiteral(
        "^\\s*(\\d{4})[-/](\\d{1,2})[-/](\\d{1,2})"
        "(?:[ T]+(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2})(?:\\.\\d+)?)?)?\\s*$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return QString();
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return QString();
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + time.toString(QStringLiteral("HH:mm:ss"));
}

QString Format(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString Now()
{
    return Format(QDateTime::currentDateTime());
}

std::pair<QString, QString> MinuteRange(const QDateTime &time)
{
    // Worked on the wall clock (date and time apart), so a clock change cannot turn the
    // minute into none or two.
    const QDate date = time.date();
    const QTime start(time.time().hour(), time.time().minute());
    const QTime next = start.addSecs(60);
    const QDate nextDate = next < start ? date.addDays(1) : date;
    const auto text = [](const QDate &d, const QTime &t) {
        return d.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + t.toString(QStringLiteral("HH:mm:ss"));
    };
    return {text(date, start), text(nextDate, next)};
}

} // namespace DbTime
