#pragma once
// Starts stored orders at their start minute while the modem is connected. A check runs once
// each minute that begins while connected; it starts every order not started yet whose start
// minute has come since the program connected, by start time and then by number, so a late
// check catches up, and an order whose start failed (a database locked for longer than a
// statement waits, say) is tried again at each check until it starts or its end has passed.
// An order added while connected whose start has already passed starts at the next check.
// An order whose start passed while the program was not connected is left, as is one the
// operator declined. Starting an order claims it in the database in the same transaction that
// queues its messages, so that of several programs on one database (two workstations, the
// application and "skevo-cli serve") exactly one starts it.
//
// An order whose end time has passed by the time it would start is not started. The time of
// each check is an argument, so tests set the clock.
//
// A text with fields is filled in when the order starts, for each number with its own fields
// and the phone book as it is then.
#include "OrderStore.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <functional>

class CDbAccess;
class IOutbox;

class OrderScheduler
{
public:
    enum class Skip {
        Ended,            // its end passed before its minute was checked
        Declined,         // the operator answered Cancel
        StartedElsewhere, // another program (or an earlier check) claimed it
        Failed,           // a statement failed (databaseTexts said why): tried again at the next check
    };

    struct Hooks
    {
        // Asked only when the reminder is on: whether to send the order now.
        std::function<bool(const StoredOrder &)> confirm;
        // After the check has queued what it started: orders started, messages queued.
        std::function<void(int orders, int messages)> started;
        // Each order started, with its message count (for a log).
        std::function<void(const StoredOrder &, int messages)> orderStarted;
        std::function<void(const StoredOrder &, Skip)> skipped;
        // An order started without its numbers on the opt-out list: how many it left out.
        std::function<void(const StoredOrder &, int optedOut)> optedOut;
        // What the database said of a statement that failed, for the operator.
        std::function<void(const QStringList &texts)> databaseTexts;
        // Called now and then while a large order is being queued (a window repaints there).
        std::function<void()> busy;
    };

    // db: reads the orders and their numbers; outbox: queues the messages (its own connection
    // holds the claims).
    OrderScheduler(CDbAccess &db, IOutbox &outbox);

    // Orders whose start minute begins from now on are started, and those added from now on
    // (a minute checked already stays so). Reads the highest order number there is.
    void Connected(const QDateTime &now);
    void Disconnected();
    bool IsConnected() const { return m_bConnected; }

    // One check at now. ask: the reminder switch, read by the caller each time. Returns the
    // number of orders started. A check that comes while another one waits for its answer
    // does nothing; the next one catches up.
    int Check(const QDateTime &now, bool ask, const QString &smsc, const Hooks &hooks);

    // What the claim row names: this host and process.
    static QString Claimant();

    // The question asked when the reminder is on, its caption, and the status text of a start.
    static QString QuestionText() { return QStringLiteral("短信订单发送时间到,是否现在发送?\t\n如果不想再提醒,请在订单管理里设置"); }
    static QString QuestionCaption() { return QStringLiteral("短信订单提醒"); }
    static QString StartedText() { return QStringLiteral("发送时间到"); }

private:
    enum class StartResult { Started, Elsewhere, Failed };
    StartResult Start(const StoredOrder &order, const QString &smsc, const Hooks &hooks, int *messages);
    // The filled texts of a text with fields (*texts stays empty for one without); false when
    // the phone book could not be read.
    bool Fill(const StoredOrder &order, const QStringList &numbers, const RecipientFields &fields, const Hooks &hooks,
              QStringList *texts);
    bool ReadKnownId(const Hooks *hooks);
    static QString Key(const StoredOrder &order);

    CDbAccess &m_db;
    IOutbox &m_outbox;
    OrderStore m_store;
    bool m_bConnected = false;
    bool m_bChecking = false;
    QString m_strFrom; // the first minute of the connection: orders starting before it are left
    QString m_strNext; // the first minute not checked yet, "YYYY-MM-DD HH:MM:00"
    int m_nKnownId = -1; // the highest order number when connected; -1 until read
    QSet<QString> m_settled;   // orders (number and start) ended or declined: not asked again
    QSet<QString> m_confirmed; // orders the operator said yes to, whose start is still to work
};
