#pragma once
// The send and reply dialog without its window: the row it answers (or sends again), the
// typed text, the checks on confirming in their order and the one message it queues.
#include "RecordsMessage.h"
#include "RecordsModel.h"
#include "base/SmsRecord.h"

#include <QString>
#include <optional>

class ReplyLogic
{
public:
    QString m_strTime;
    QString m_strNumber;
    QString m_strOriginal;
    QString m_strReply;
    bool m_bReceived = false;

    // From the texts of a list row; the reply starts empty, also when sending again.
    static ReplyLogic FromRow(const RecordsModel::RowTexts &row);

    QString Title() const;

    // The first failing check on confirming: not connected, empty text, too long, a number
    // that is none.
    std::optional<RecordsMessage> Validate(bool modemOpen) const;
    // True when the failed check leaves the dialog open (only the length; the others end the
    // command, as before).
    static bool KeepsDialogOpen(const RecordsMessage &message);
    // The row's number as the number rule sends it (a Chinese number with "86" in front).
    QString Destination() const;
    // The one message to queue: the configured service centre, no order (-1).
    SmsRecord Record(const QString &smsc) const;

    static RecordsMessage NoSelection();
    static RecordsMessage NotConnected();
    static RecordsMessage EmptyText();
    static RecordsMessage TooLong();
    static RecordsMessage BadNumber();
};
