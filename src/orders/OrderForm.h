#pragma once
// What the order dialog (and "skevo-cli orders") does, without the window: the fields of the
// next order, the checks with the texts to show, the numbers imported for it, and the
// actions on the order book. The reminder switch of the scheduler lives in setting.ini.
#include "base/IMessageBox.h"
#include "base/NumberFile.h"
#include "OrderScheduler.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

class CSettingsFile;
class OrderStore;

// A text for the window to show, as IMessageBox takes it.
struct OrderMessage
{
    QString m_strText;
    QString m_strCaption; // "" = the application title
    IMessageBox::Icon m_icon = IMessageBox::NoIcon;

    bool IsEmpty() const { return m_strText.isEmpty(); }
    void ShowOn(IMessageBox &box) const { box.Show(m_strText, m_strCaption, m_icon); }
};

class OrderForm
{
public:
    // "%d-%d-%d %d:%d": no leading zeros, no seconds.
    static QString TimeText(const QDateTime &time);

    // Check/Rem of setting.ini, default on: whether the scheduler asks before it sends.
    static bool ReadReminder(const CSettingsFile &settings);
    static void WriteReminder(CSettingsFile &settings, bool on);

    static OrderMessage ImportHint();

    // The first failing check of "增加(&A)", in order: times, numbers, text, an end that has
    // passed by now (such an order would never be sent), a field the numbers do not have.
    // Empty when none. Whether the filled texts fit is checked when the order is stored.
    OrderMessage ValidateAdd(const QDateTime &now) const;
    // "修改(&S)" keeps the order's numbers: times and text only.
    OrderMessage ValidateModify(const QDateTime &now) const;
    // Whether an order stored now with this start has missed its start minute: a connected
    // program starts it at its next check.
    bool StartsLate(const QDateTime &now) const;

    // The result of a number file read: replaces the imported numbers (emptied when invalid).
    OrderMessage TakeImport(bool valid, const QStringList &numbers, int failures);
    // The same for a file of either kind, a CSV file's fields with its numbers.
    OrderMessage TakeImport(const NumberFile::Contents &file);

    struct Outcome
    {
        bool m_bOk = false;
        bool m_bGone = false;     // Delete: no such order (another program deleted it)
        int m_nId = 0;            // the order's number
        int m_nWithdrawn = 0;     // Delete: its queued messages that will not be sent now
        int m_nOptedOut = 0;      // Add: its numbers on the opt-out list, not stored
        QString m_strStart, m_strEnd; // as stored
        OrderMessage m_message;
        QStringList m_databaseTexts; // what the database said of a failure, shown first

        void ShowOn(IMessageBox &box) const
        {
            for (const QString &t : m_databaseTexts)
                box.Show(t);
            m_message.ShowOn(box);
        }
    };
    // Checks, stores the order with the imported numbers, and empties them when stored. An
    // order that starts late says so in its message (LateStartText). A text with fields is
    // filled for every number with the phone book of now: one that comes out too long keeps
    // the order from being stored. It is filled again when the order starts.
    Outcome Add(OrderStore &store, const QDateTime &now);
    Outcome Modify(OrderStore &store, int id, const QDateTime &now) const;
    // Deletes the order and withdraws what of it is still queued, in whichever program.
    static Outcome Delete(OrderStore &store, int id);
    // "删除订单成功!", then "已撤回 N 条尚未发送的短信" on its own line: the box says the count
    // when it is not 0, skevo-cli always.
    static QString DeletedText();
    static QString WithdrawnText(int withdrawn);
    static QString LateStartText();
    // The lines a log (skevo-cli serve) and the status pane give an order's start, its
    // skipping and its deletion in another program; each begins "订单 <id> ".
    static QString StartedText(int id, int messages);
    static QString SkippedText(int id, OrderScheduler::Skip why);
    static QString WithdrawnElsewhereText(int id, int count);
    static QString OptedOutText(int id, int count);
    static OrderMessage NothingToDelete();
    static OrderMessage NothingToModify();

    QString m_strText;
    QDateTime m_start;
    QDateTime m_end;
    QStringList m_numbers; // imported for the next order, as sent, in file order
    RecipientFields m_fields; // their own fields, when they came from a CSV file

private:
    // Fills the text for the numbers with the phone book of now: the first refusal (a field
    // the numbers do not have, a text too long, a phone book that cannot be read), or none.
    std::optional<Outcome> CheckFilled(OrderStore &store, const QStringList &numbers, const RecipientFields &fields) const;
};
