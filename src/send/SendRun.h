#pragma once
// The checks of the send button and the messages it queues, without the window: the panel
// shows m_messages in order and, when m_bQueue, sets its progress bar to 0..n and hands
// m_records to the modem engine in one Enqueue.
#include "PanelMessage.h"
#include "base/SmsRecord.h"

#include <QStringList>
#include <QVector>

struct SendRunPlan
{
    QVector<PanelMessage> m_messages; // to show, in this order
    bool m_bQueue = false;            // the run goes ahead (possibly with no number at all)
    QStringList m_numbers;            // the destinations as sent, in list order
    QVector<SmsRecord> m_records;     // one per number
};

class IOutbox;

class SendRun
{
public:
    // text: the message field; entries: the send list in order; smsc: the service centre
    // of the device settings. Checks, in order: text (empty, too long), list, link, then
    // every entry.
    static SendRunPlan Plan(const QString &text, const QStringList &entries, bool modemOpen, const QString &smsc);
    // The same checks for a run without the panel (skevo-cli send), made before the caller
    // connects, so the link is not among them: the numbers typed as list entries, then those
    // of numberFile ("" for none) imported as the panel imports a file. Nobody is there to
    // read the import's count of refused lines, so a file with one stops the run like a bad
    // entry. A phone named more than once, in whatever spelling (NumberRules::PhoneKey), gets
    // one message. With no text, no number and no file the run goes ahead without a number:
    // only what an earlier run kept is sent.
    static SendRunPlan PlanUnattended(const QString &text, const QStringList &typed, const QString &numberFile,
                                      const QString &smsc);
    // Hands the plan's records to the outbox in one transaction; the number queued.
    static int Queue(IOutbox &outbox, const SendRunPlan &plan);

    static PanelMessage EmptyText();
    static PanelMessage EmptyList();
    static PanelMessage NotConnected();
    static PanelMessage EmptyEntry();
    static PanelMessage BadNumber();
    // Asked before a run is queued behind messages still waiting to go: pressing "发送" twice
    // would send every number twice.
    static PanelMessage AgainQuestion();
};
