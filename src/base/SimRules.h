#pragma once
// What keeps a SIM alive at its operator: at most so many messages an hour, a day and a month
// (every part counts, as the operator counts them; 0 no limit), a random pause between two of
// its submits, and the quiet hours in which only replies go. The limits and the pause are each
// modem's own ([MODEMn] LimitHour=, LimitDay=, LimitMonth=, IntervalMin=, IntervalMax=, empty
// as the first modem); the quiet hours are the pool's ([SYSTEM] QuietFrom=, QuietTo=). The
// windows are the clock's: the hour from its full hour, the day from midnight, the month from
// its first day.
#include <QDateTime>
#include <QString>
#include <QTime>

struct SimRules
{
    int limitHour = 0;
    int limitDay = 0;
    int limitMonth = 0;
    int intervalMin = 0; // seconds
    int intervalMax = 0;
    QTime quietFrom;     // both valid and different: the window; else none
    QTime quietTo;

    bool operator==(const SimRules &) const = default;

    bool HasLimit() const { return limitHour > 0 || limitDay > 0 || limitMonth > 0; }
    bool HasQuiet() const { return quietFrom.isValid() && quietTo.isValid() && quietFrom != quietTo; }
    // Inside the quiet hours at now (a window past midnight when it ends before it begins).
    bool IsQuiet(const QDateTime &now) const;
    // When the quiet hours that hold now end.
    QDateTime QuietEnds(const QDateTime &now) const;
    // The pause before the next submit, in ms: uniform in [intervalMin, intervalMax] seconds
    // (the larger taken for both when they are the wrong way round); 0 none.
    qint64 PauseMs() const;

    // The settings' texts: a limit or a pause is whole digits ("" 0); a quiet bound is "H:MM"
    // ("" none). Not valid: the text 设备管理 shows, else "".
    static int Number(const QString &text);
    static QTime TimeOfDay(const QString &text);
    static bool IsNumber(const QString &text);
    static bool IsTimeOfDay(const QString &text);

    // The starts of the windows now falls in.
    static QDateTime HourStart(const QDateTime &now);
    static QDateTime DayStart(const QDateTime &now);
    static QDateTime MonthStart(const QDateTime &now);
};

// A SIM's counts in its windows, as the journal has them, with its limits.
struct SimCount
{
    int hour = 0;
    int day = 0;
    int month = 0;
    SimRules rules;
    // The window that is full, if one is: the SIM takes nothing before roomAt.
    bool full = false;
    QDateTime roomAt;

    // Fills full and roomAt for a message of parts parts at now.
    void Judge(const QDateTime &now, int parts = 1);
};
