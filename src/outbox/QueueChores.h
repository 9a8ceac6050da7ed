#pragma once
// The queue's housekeeping in the database, each chore a function over a connection: a station
// registers and renews its heartbeat; what a station that is gone left is taken over (its
// claimed messages not yet in a modem's hands queued again, those in a modem's hands journalled
// failed, once, whoever notices first); a start takes up the queued messages of its
// installation whose station is gone; a run's tally is read; sent rows a program could not
// journal before it ended are written to a file and journalled by the next start.
#include "CJournal.h"
#include "RunTally.h"
#include "db/CDbAccess.h"

#include <QString>
#include <QVector>
#include <functional>
#include <optional>

namespace QueueChores {

struct Station
{
    QString token; // OutboxOwner's: tells on this machine at once whether the program runs
    QString host;
    QString place; // the installation: setting.ini, or the database itself
    qint64 pid = 0;
    bool share = false;
};

// A new row for the station; 0 when the database refused (its sink said why).
qint64 Register(CDbAccess &db, const Station &station);

enum class Beat { Renewed, Lost, Failed };
// Lost: the station was taken for gone meanwhile (its claims are void); it registers anew.
Beat Renew(CDbAccess &db, qint64 station);

struct Taken
{
    int requeued = 0;          // claimed messages queued again
    QVector<SmsReport> failed; // messages journalled failed (in a modem's hands when their station went)
};
// Takes over what stations that are gone left: those whose heartbeat is older than the lease,
// and those of this machine whose program no longer runs. Rows an older release left in a
// modem's hands (of this installation) are journalled failed too. run > 0: the failed ones
// count in that run instead of their own (a start's run of what it took up).
Taken TakeOverGone(CDbAccess &db, CJournal &journal, qint64 me, const QString &host, const QString &place,
                   int leaseSeconds, qint64 run = 0);

// The queued messages of this installation whose station is gone become this station's, in a
// new run; the run and the number taken up (0: no run was made).
std::pair<qint64, int> Adopt(CDbAccess &db, qint64 me, const QString &host, const QString &place, int journalled);

// The run's tally as the database counts it; nullopt when it cannot be read.
std::optional<RunTally> ReadTally(CDbAccess &db, qint64 run);

// Sent rows left for the next start, in folder; false when they could not be written.
bool LeaveRows(const QString &folder, qint64 station, const QVector<SentRow> &rows);
// Journals the rows earlier ends left in folder (a row whose claim was taken over meanwhile
// is dropped: the station that took it journalled it); the files done are removed. Returns
// the reports of the rows written.
QVector<SmsReport> JournalLeft(const QString &folder, CJournal &journal, qint64 nowMs);

} // namespace QueueChores
