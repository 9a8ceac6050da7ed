#pragma once
// What a modem's SIM may send now, as its desk last found it: its counts in the windows of its
// limits (from the journal, shared by every station), whether a window is full and when it
// rolls, and whether the quiet hours hold its bulk messages.
#include "base/SimRules.h"

#include <QDateTime>
#include <QString>

struct SimState
{
    QString port;        // the modem's port, as its status names it
    QString sim;         // IMSI
    bool counted = false; // count holds the journal's counts
    SimCount count;
    QDateTime quietUntil; // valid: inside the quiet hours, bulk and orders wait until then

    bool Held() const { return count.full || quietUntil.isValid(); }
    // When this SIM takes bulk messages again (invalid: it does now).
    QDateTime FreeAt() const
    {
        if (count.full && quietUntil.isValid())
            return qMax(count.roomAt, quietUntil);
        return count.full ? count.roomAt : quietUntil;
    }
    bool operator==(const SimState &o) const
    {
        return port == o.port && sim == o.sim && counted == o.counted && count.hour == o.count.hour
            && count.day == o.count.day && count.month == o.count.month && count.rules == o.count.rules
            && count.full == o.count.full && count.roomAt == o.count.roomAt && quietUntil == o.quietUntil;
    }
};
