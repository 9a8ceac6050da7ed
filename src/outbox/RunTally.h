#pragma once
// One run of messages as the operator follows it: what a press of 发送 (an order's start, a
// reply, what an earlier program left) queued, and whatever joined it before it was over. The
// outbox keeps the tally of the latest run; the progress bar and the status text both show it,
// so they never say different things. A message belongs to the run it was queued in: when it
// finishes after a newer run began (it was in flight at 停止), it counts for its own run.
#include <QMetaType>

struct RunTally
{
    enum class State {
        None,     // nothing queued yet
        Sending,  // messages of the run still to go or in a modem's hands
        Finished, // every message of the run went or failed
        Stopped,  // 停止 took back what had not gone; those in flight still finish
    };

    quint64 run = 0;   // numbered from 1; 0 before the first
    State state = State::None;
    int total = 0;     // messages of the run; those withdrawn by 停止 included, those of a
                       // deleted order not
    int succeeded = 0;
    int failed = 0;
    int withdrawn = 0; // taken back by 停止
    // Of the messages that went, those whose status report said 已送达 / 未送达 so far; they
    // keep coming after the run is over.
    int delivered = 0;
    int undelivered = 0;

    int Done() const { return succeeded + failed; }
    // Still to go or in a modem's hands.
    int Open() const { return total - Done() - withdrawn; }
    bool operator==(const RunTally &) const = default;
};

Q_DECLARE_METATYPE(RunTally)
