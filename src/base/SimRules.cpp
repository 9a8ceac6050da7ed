#include "SimRules.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>

bool SimRules::IsQuiet(const QDateTime &now) const
{
    if (!HasQuiet())
        return false;
    const QTime t = now.time();
    if (quietFrom < quietTo)
        return t >= quietFrom && t < quietTo;
    return t >= quietFrom || t < quietTo;
}

QDateTime SimRules::QuietEnds(const QDateTime &now) const
{
    QDateTime end(now.date(), quietTo);
    if (end <= now)
        end = end.addDays(1);
    return end;
}

qint64 SimRules::PauseMs() const
{
    const int lo = std::max(0, std::min(intervalMin, intervalMax));
    const int hi = std::max({0, intervalMin, intervalMax});
    if (hi <= 0)
        return 0;
    return QRandomGenerator::global()->bounded(qint64(lo) * 1000, qint64(hi) * 1000 + 1);
}

bool SimRules::IsNumber(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^\\d{0,9}$"));
    return digits.match(text.trimmed()).hasMatch();
}

int SimRules::Number(const QString &text)
{
    return IsNumber(text) ? text.trimmed().toInt() : 0;
}

bool SimRules::IsTimeOfDay(const QString &text)
{
    return text.trimmed().isEmpty() || TimeOfDay(text).isValid();
}

QTime SimRules::TimeOfDay(const QString &text)
{
    static const QRegularExpression hm(QStringLiteral("^(\\d{1,2}):(\\d{2})$"));
    const QRegularExpressionMatch m = hm.match(text.trimmed());
    if (!m.hasMatch())
        return {};
    return QTime(m.captured(1).toInt(), m.captured(2).toInt());
}

QDateTime SimRules::HourStart(const QDateTime &now)
{
    return QDateTime(now.date(), QTime(now.time().hour(), 0));
}

QDateTime SimRules::DayStart(const QDateTime &now)
{
    return QDateTime(now.date(), QTime(0, 0));
}

QDateTime SimRules::MonthStart(const QDateTime &now)
{
    return QDateTime(QDate(now.date().year(), now.date().month(), 1), QTime(0, 0));
}

void SimCount::Judge(const QDateTime &now, int parts)
{
    full = false;
    roomAt = QDateTime();
    // The longest full window decides when there is room again.
    // A message of more parts than a whole window holds goes alone in an empty one.
    const auto over = [parts](int count, int limit) {
        return limit > 0 && (count >= limit || (count > 0 && count + parts > limit));
    };
    if (over(month, rules.limitMonth))
        roomAt = SimRules::MonthStart(now).addMonths(1);
    else if (over(day, rules.limitDay))
        roomAt = SimRules::DayStart(now).addDays(1);
    else if (over(hour, rules.limitHour))
        roomAt = SimRules::HourStart(now).addSecs(3600);
    full = roomAt.isValid();
}
