#pragma once
// What the producers of messages see of the outbox: the send run, the reply dialog, the order
// scheduler and the order book queue messages, take back what is not yet in a modem's hands,
// and ask whether anything is able to send at all. None of them knows of ports or workers.
#include "base/SmsRecord.h"

#include <QVector>
#include <functional>

class CDbAccess;

class IOutbox
{
public:
    virtual ~IOutbox() = default;

    // Appends to the queue, kept in T_OUTBOX in one transaction. Returns 1 (a message the
    // database could not keep still goes, only not over a restart).
    virtual int Enqueue(const QVector<SmsRecord> &records) = 0;
    // The same, with a claim run first inside that transaction on the queue's connection (a
    // scheduled order marks itself started there). When the claim returns false, or the
    // records cannot be kept, nothing is queued and 0 is returned. Runs even for no records.
    // between: called after each statement of many rows (a window lets itself repaint there;
    // it must not queue anything itself).
    using Claim = std::function<bool(CDbAccess &db)>;
    virtual int Enqueue(const QVector<SmsRecord> &records, const Claim &claim,
                        const std::function<void()> &between = {}) = 0;
    // Takes out of the queue every message not yet handed to a modem (the operator's 停止),
    // with their kept rows in one transaction; they are neither journalled nor reported.
    // Messages a modem is sending finish as usual. Returns the number withdrawn.
    virtual int Withdraw() = 0;
    // The same for the messages of one order (deleted): only those leave the queue.
    virtual int WithdrawOrder(qint32 order) = 0;
    // A modem is connected (ready or waiting to be): what is queued will go.
    virtual bool CanSend() const = 0;
    // Messages queued and being sent.
    virtual int QueuedCount() const = 0;
};
