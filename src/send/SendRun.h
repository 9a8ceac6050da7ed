#pragma once
// The checks of the send button and the messages it queues, without the window: the panel
// shows m_messages in order and, when m_bQueue, sets its progress bar to 0..n and hands
// m_records to the modem engine in one Enqueue.
#include "PanelMessage.h"
#include "base/PersonalTexts.h"
#include "base/SmsRecord.h"

#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

struct SendRunPlan
{
    QVector<PanelMessage> m_messages; // to show, in this order
    bool m_bQueue = false;            // the run goes ahead (possibly with no number at all)
    QStringList m_numbers;            // the destinations as sent, in list order
    QVector<SmsRecord> m_records;     // one per number, each with its own text
    int m_nEmptyField = 0;            // recipients with a field that came out empty
};

class CDbAccess;
class IOutbox;

class SendRun
{
public:
    // Reads the phone book for {名字} and {关系}, only when the text uses them. False, with
    // what the database said in *error, when it could not; an empty function is a book with
    // no entry.
    using BookReader = std::function<bool(BookIndex *book, QString *error)>;
    // The phone book (T_BOOK) of db, read each time it is asked for.
    static BookReader BookOf(CDbAccess &db);

    // text: the message field; entries: the send list in order; smsc: the service centre
    // of the device settings. Checks, in order: text (empty, too long), list, link, then
    // every entry.
    static SendRunPlan Plan(const QString &text, const QStringList &entries, bool modemOpen, const QString &smsc);
    // The same for a text with fields, each entry's filled in (fields: those of the numbers
    // that came from a CSV file). An unknown field is refused after the text's checks, a
    // filled text over the limit after the entries': either way nothing is queued.
    static SendRunPlan Plan(const QString &text, const QStringList &entries, bool modemOpen, const QString &smsc,
                            const RecipientFields &fields, const BookReader &book);
    // The same checks for a run without the panel (skevo-cli send), made before the caller
    // connects, so the link is not among them: the numbers typed as list entries, then those
    // of numberFile ("" for none) imported as the panel imports a file. Nobody is there to
    // read the import's count of refused lines, so a file with one stops the run like a bad
    // entry. A phone named more than once, in whatever spelling (NumberRules::PhoneKey), gets
    // one message. With no text, no number and no file the run goes ahead without a number:
    // only what an earlier run kept is sent.
    static SendRunPlan PlanUnattended(const QString &text, const QStringList &typed, const QString &numberFile,
                                      const QString &smsc, const BookReader &book = {});
    // The entries with each phone once, however often and however it was spelled
    // (NumberRules::PhoneKey), as a number file keeps it; an entry that is no number stays,
    // for Plan to refuse.
    static QStringList OncePerPhone(const QStringList &entries);
    // Hands the plan's records to the outbox in one transaction; the number queued.
    static int Queue(IOutbox &outbox, const SendRunPlan &plan);

    static PanelMessage EmptyText();
    static PanelMessage EmptyList();
    static PanelMessage NotConnected();
    static PanelMessage EmptyEntry();
    static PanelMessage BadNumber();
    static PanelMessage BookUnread(const QString &error);
    // Asked before a run is queued behind messages still waiting to go: pressing "发送" twice
    // would send every number twice.
    static PanelMessage AgainQuestion();
    // The messages of the plan whose number (as a phone) already got that very text in the
    // given run: the send list sent again after 停止, or after the run ended.
    static QVector<int> SentInRun(CDbAccess &db, qint64 run, const SendRunPlan &plan);
    // The same for the last run in which any message of the plan went to its number (a list
    // sent again from the command line). Nothing when none did, or the journal cannot be read.
    static QVector<int> SentInLastRun(CDbAccess &db, const SendRunPlan &plan);
    // "N 个号码已发送过此内容: 只发送其余 M 个?" 是: the rest; 否: all; 取消: none.
    static PanelMessage SentBeforeQuestion(int sent, int rest);
    // The plan without the messages at those indexes (ascending).
    static void Leave(SendRunPlan &plan, const QVector<int> &indexes);
    // The plan without its numbers on the opt-out list, and what to tell: "已跳过黑名单号码 N 个"
    // when it left any out. A list that cannot be read sends nothing (the plan no longer
    // queues) and tells what the database said.
    static std::optional<PanelMessage> LeaveOptedOut(CDbAccess &db, SendRunPlan &plan);
};
