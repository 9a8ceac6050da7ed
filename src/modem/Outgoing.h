#pragma once
// One outgoing message as a modem's worker has it in hand: the record to send and how far it
// got. Whoever queued and claimed it numbers it (its kept row, its run, the claim); the worker
// only reads those.
#include "base/SmsRecord.h"

#include <QString>
#include <QVector>

struct Outgoing
{
    SmsRecord record;
    qint64 outboxKey = 0;    // its kept row; 0 when it could not be kept
    // A concatenated message whose first parts went before the network went away goes on
    // from where it stopped, with the same reference, so that the phone joins all its parts.
    int partsSent = 0;
    quint8 concatRef = 0;
    QVector<int> references; // "+CMGS: <mr>" of the parts sent so far (TS 27.005 3.5.1)
    QString started;         // local time its first part went, once one has
    // The modem it must go through (0: any). A message whose first parts went out goes on
    // through the same modem: the phone joins the parts of one sender only.
    int port = 0;
    quint64 run = 0;         // the run it was queued in
    qint64 claim = 0;        // the station that claimed it for this modem: every later step needs it
};
