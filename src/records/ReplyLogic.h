#pragma once
// The send and reply dialog without its window: the row it answers (or sends again), the
// typed text, the checks on confirming in their order and the one message it queues.
#include "RecordsMessage.h"
#include "RecordsModel.h"
#include "base/PersonalTexts.h"
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
    QString m_strSim; // the SIM (IMSI) an answer goes from while it is connected; "" any
    QString m_strModem; // that SIM as the list shows it ("COM2 SIM…1234")
    bool m_bReceived = false;
    // The phone book, for a reply with fields: {名字} and {关系} of the one number.
    BookIndex m_book;

    // From the texts of a list row; the reply starts empty, also when sending again.
    static ReplyLogic FromRow(const RecordsModel::RowTexts &row);

    QString Title() const;
    // Which modem the message goes from, for the dialog.
    QString FromText() const;

    // The first failing check on confirming: not connected, empty text, an unknown field, too
    // long (once filled), a number that is none.
    std::optional<RecordsMessage> Validate(bool modemOpen) const;
    // True when the failed check leaves the dialog open (what is wrong with the text; the
    // others end the command, as before).
    static bool KeepsDialogOpen(const RecordsMessage &message);
    // The reply as it goes out: its fields filled in for the number.
    QString Filled() const;
    // The row's number as the number rule sends it (a Chinese number with "86" in front).
    QString Destination() const;
    // The one message to queue, with the filled text: the configured service centre, no order (-1).
    SmsRecord Record(const QString &smsc) const;

    static RecordsMessage NoSelection();
    static RecordsMessage NotConnected();
    static RecordsMessage EmptyText();
    static RecordsMessage TooLong();
    static RecordsMessage BadNumber();
};
