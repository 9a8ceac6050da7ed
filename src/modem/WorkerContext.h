#pragma once
// What the three jobs of one modem's worker share while it runs: the line, the desk the work
// comes from and goes to, what outlives the run, and the modem's settings.
#include "IModemDesk.h"
#include "ModemConfig.h"
#include "WorkerState.h"
#include "at/AtChannel.h"

#include <QByteArray>
#include <QString>

struct WorkerContext
{
    AtChannel &channel;
    IModemDesk &desk;
    WorkerState &state;
    ModemConfig &config;

    const ModemTimeouts &Timeouts() const { return config.timeouts; }
    // A command with its retries: a time-out is followed by a resynchronisation and another try.
    AtChannel::Answer Command(const QByteArray &command);
    // One try: an answer lost costs nothing but the next look.
    AtChannel::Answer CommandOnce(const QByteArray &command);

    static qint64 NowMs(); // the steady clock
    static QString LocalTime(); // "%Y-%m-%d %H:%M:%S" of the local clock
};
