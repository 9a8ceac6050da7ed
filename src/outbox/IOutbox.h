#pragma once
// What the producers of messages see of the outbox: the send run, the reply dialog, the order
// scheduler and the order book queue messages, take back what is not yet in a modem's hands,
// and ask whether anything is able to send at all. None of them knows of ports or workers.
#include "RunTally.h"
#include "base/SmsRecord.h"

#include <QString>
#include <QVector>
#include <functional>

class CDbAccess;

class IOutbox
{
public:
    // What a run is: a press of 发送, an order's start, a reply, a request of another program.
    enum class RunKind { Send = 0, Order = 1, Reply = 2, Api = 3, Restored = 4 };
    struct Options
    {
        // Run first inside the queueing transaction on the queue's connection (a scheduled
        // order marks itself started there): when it returns false nothing is queued.
        std::function<bool(CDbAccess &db)> claim;
        // Run last inside the queueing transaction, with each message's key in the order
        // given (a request of another program notes its answer there): when it returns false
        // nothing is queued.
        std::function<bool(CDbAccess &db, const QVector<qint64> &keys)> done;
        // Called after each statement of many rows (a window lets itself repaint there; it
        // must not queue anything itself).
        std::function<void()> between;
        RunKind kind = RunKind::Send;
        // A reply goes from the SIM (IMSI) the message came in on while it is connected
        // anywhere; "" any.
        QString wantSim;
        // Seconds since the epoch (the database's clock) before which no modem takes the
        // messages; 0: at once.
        qint64 notBefore = 0;
    };
    struct Queued
    {
        bool ok = false;
        qint64 run = 0;           // the run the messages count in
        QVector<qint64> keys;     // each message's key, in the order given
        explicit operator bool() const { return ok; }
    };
    struct Withdrawn
    {
        bool ok = false;
        int count = 0;   // messages taken back
        QString error;   // what the database said when it refused
    };

    virtual ~IOutbox() = default;

    // Queues the records in one transaction (the run goes on when it has not ended, else a
    // new one begins). Not ok when the database refused them (nothing queued, the error sink
    // said why) or the claim returned false. Runs the claim even for no records.
    virtual Queued Enqueue(const QVector<SmsRecord> &records, const Options &options) = 0;
    Queued Enqueue(const QVector<SmsRecord> &records) { return Enqueue(records, Options{}); }
    // Takes back every message of the current run not yet in a modem's hands, whichever
    // station would have sent it (the operator's 停止): neither journalled nor reported.
    // Messages a modem is sending finish as usual.
    virtual Withdrawn Withdraw() = 0;
    // The same for the messages of one order (deleted): only those leave the queue.
    virtual int WithdrawOrder(qint32 order) = 0;
    // A modem is connected (ready or waiting to be): what is queued will go.
    virtual bool CanSend() const = 0;
    // Messages of the current run still to go or in a modem's hands.
    virtual int QueuedCount() const = 0;
    // The current run (the last this program began or took up), whoever's modems send it.
    virtual RunTally Tally() const = 0;
};
