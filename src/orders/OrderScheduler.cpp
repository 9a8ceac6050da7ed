#include "OrderScheduler.h"

#include "db/CDbAccess.h"
#include "base/MessageText.h"
#include "base/TextTemplate.h"
#include "db/DbTime.h"
#include "outbox/OptOutList.h"
#include "outbox/Outbox.h"
#include "sms/PduCodec.h"

#include <QCoreApplication>
#include <QSysInfo>

#include <atomic>

namespace {
// The first minute that begins at or after time.
QString MinuteFrom(const QDateTime &time)
{
    const auto [start, next] = DbTime::MinuteRange(time);
    const QTime t = time.time();
    return t.second() == 0 && t.msec() == 0 ? start : next;
}
} // namespace

OrderScheduler::OrderScheduler(CDbAccess &db, IOutbox &outbox) : m_db(db), m_outbox(outbox), m_store(db) {}

void OrderScheduler::Connected(const QDateTime &now)
{
    // Minutes are compared as text: wall-clock minutes, so a clock put back (the end of summer
    // time) does not bring a checked minute round again.
    const QString from = MinuteFrom(now);
    m_strNext = std::max(m_strNext, from);
    if (!m_bConnected) {
        m_strFrom = from;
        // Orders numbered above this one are added from now on. Should the database not
        // answer, the first check asks again.
        ReadKnownId(nullptr);
    }
    m_bConnected = true;
}

bool OrderScheduler::ReadKnownId(const Hooks *hooks)
{
    m_nKnownId = -1;
    const RecordsetPtr rs = m_db.OpenRecordset(Sql::OrderMaxId);
    try {
        if (!rs->IsEOF())
            m_nKnownId = rs->GetFieldText(0).toInt();
    } catch (const CDbError &e) {
        if (hooks && hooks->databaseTexts)
            hooks->databaseTexts(rs->IsOpen() ? QStringList{e.Description()} : m_db.LastMessages());
        return false;
    }
    return true;
}

QString OrderScheduler::Key(const StoredOrder &order)
{
    return QString::number(order.m_nId) + QLatin1Char(' ') + order.m_strStart;
}

void OrderScheduler::Disconnected()
{
    m_bConnected = false;
    m_confirmed.clear();
}

QString OrderScheduler::Claimant()
{
    return QStringLiteral("%1 %2").arg(QSysInfo::machineHostName()).arg(QCoreApplication::applicationPid());
}

int OrderScheduler::Check(const QDateTime &now, bool ask, const QString &smsc, const Hooks &hooks)
{
    if (!m_bConnected || m_bChecking)
        return 0;
    const auto [current, next] = DbTime::MinuteRange(now);
    if (current < m_strNext)
        return 0;
    struct Busy
    {
        bool &flag;
        ~Busy() { flag = false; }
    } busy{m_bChecking = true};

    if (m_nKnownId < 0 && !ReadKnownId(&hooks))
        return 0; // the next check tries again
    QVector<StoredOrder> due;
    const RecordsetPtr rs = m_db.OpenRecordset(Sql::OrderDue, {m_strFrom, next, m_nKnownId, next});
    try {
        while (!rs->IsEOF()) {
            StoredOrder o;
            o.m_nId = rs->GetFieldText(QStringLiteral("D_ID")).toInt();
            o.m_strText = rs->GetFieldText(QStringLiteral("D_CONT"));
            o.m_strEnd = rs->GetFieldText(QStringLiteral("D_END"));
            o.m_strStart = rs->GetFieldText(QStringLiteral("D_START"));
            due.append(o);
            rs->MoveNext();
        }
    } catch (const CDbError &e) {
        // The next check tries these minutes again.
        if (hooks.databaseTexts)
            hooks.databaseTexts(rs->IsOpen() ? QStringList{e.Description()} : m_db.LastMessages());
        return 0;
    }
    m_strNext = next;

    // Every question first: while one is open, reports of an order already queued would
    // step a progress bar that is about to be reset.
    QVector<StoredOrder> accepted;
    for (const StoredOrder &o : due) {
        const QString key = Key(o);
        if (m_settled.contains(key))
            continue;
        if (o.m_strEnd < current) {
            m_settled.insert(key);
            if (hooks.skipped)
                hooks.skipped(o, Skip::Ended);
        } else if (ask && hooks.confirm && !m_confirmed.contains(key) && !hooks.confirm(o)) {
            m_settled.insert(key);
            if (hooks.skipped)
                hooks.skipped(o, Skip::Declined);
        } else {
            // Asked once: a start that fails is tried again without a second question.
            m_confirmed.insert(key);
            accepted.append(o);
        }
    }

    int orders = 0;
    int messages = 0;
    for (const StoredOrder &o : accepted) {
        int count = 0;
        const StartResult r = Start(o, smsc, hooks, &count);
        if (r != StartResult::Failed)
            m_confirmed.remove(Key(o));
        if (r == StartResult::Started) {
            ++orders;
            messages += count;
            if (hooks.orderStarted)
                hooks.orderStarted(o, count);
        } else if (hooks.skipped) {
            hooks.skipped(o, r == StartResult::Elsewhere ? Skip::StartedElsewhere : Skip::Failed);
        }
    }
    if (orders > 0 && hooks.started)
        hooks.started(orders, messages);
    return orders;
}

bool OrderScheduler::Fill(const StoredOrder &order, const QStringList &numbers, const RecipientFields &fields,
                          const Hooks &hooks, QStringList *texts)
{
    const TextTemplate personal(order.m_strText);
    if (personal.IsPlain())
        return true;
    BookIndex book;
    QString error;
    if ((personal.Uses(TextFields::kName) || personal.Uses(TextFields::kRelation)) && !m_store.Book(&book, &error)) {
        if (hooks.databaseTexts)
            hooks.databaseTexts(QStringList{error});
        return false;
    }
    FilledTexts filled = PersonalTexts::Fill(personal, PersonalTexts::Keys(numbers), numbers, fields, book);
    // Nobody is there to shorten a text that the phone book has made too long since the order
    // was stored: it is cut at the limit, as the text field cuts what does not fit.
    if (filled.m_nTooLong > 0) {
        for (QString &t : filled.m_texts) {
            if (!MessageText::Fits(t))
                t = MessageText::Truncate(t);
        }
    }
    *texts = std::move(filled.m_texts);
    return true;
}

OrderScheduler::StartResult OrderScheduler::Start(const StoredOrder &order, const QString &smsc, const Hooks &hooks,
                                                  int *messages)
{
    QStringList numbers;
    RecipientFields fields;
    QString readError;
    if (!m_store.Numbers(order.m_nId, &numbers, &readError, &fields)) {
        // A failed statement left its texts; a read that broke off only its description.
        QStringList texts = m_store.DatabaseTexts();
        if (texts.isEmpty())
            texts << readError;
        if (hooks.databaseTexts)
            hooks.databaseTexts(texts);
        return StartResult::Failed;
    }
    // The list as it is at the start: a number listed since the order was stored is left out.
    OptOutList optOut(m_db);
    const std::optional<QVector<int>> listed = optOut.Listed(numbers);
    if (!listed) {
        if (hooks.databaseTexts)
            hooks.databaseTexts(QStringList{optOut.Error()});
        return StartResult::Failed;
    }
    if (!listed->isEmpty()) {
        QStringList rest;
        rest.reserve(numbers.size() - listed->size());
        for (qsizetype i = 0, next = 0; i < numbers.size(); ++i) {
            if (next < listed->size() && listed->at(next) == i)
                ++next;
            else
                rest.append(numbers.at(i));
        }
        numbers = std::move(rest);
    }
    if (hooks.busy)
        hooks.busy();
    QStringList texts;
    if (!Fill(order, numbers, fields, hooks, &texts))
        return StartResult::Failed;
    QVector<SmsRecord> records;
    records.reserve(numbers.size());
    for (qsizetype i = 0; i < numbers.size(); ++i)
        records.append(Pdu::MakeRecord(smsc, numbers.at(i), texts.isEmpty() ? order.m_strText : texts.at(i), order.m_nId));
    if (hooks.busy)
        hooks.busy();

    // Unique to this attempt, even beside another scheduler of the same process.
    static std::atomic<quint64> attempts{0};
    const QString claimant = QStringLiteral("%1 #%2 %3").arg(Claimant()).arg(++attempts).arg(DbTime::Now());
    bool elsewhere = false;
    IOutbox::Options options;
    options.kind = IOutbox::RunKind::Order;
    options.between = hooks.busy;
    options.claim = [&](CDbAccess &db) {
        if (!db.Execute(Sql::OrderClaim, {order.m_nId, order.m_strStart, DbTime::Now(), claimant}))
            return false;
        const RecordsetPtr rs = db.OpenRecordset(Sql::OrderClaimant, {order.m_nId, order.m_strStart});
        try {
            const bool ours = !rs->IsEOF() && rs->GetFieldText(0) == claimant;
            while (!rs->IsEOF())
                rs->MoveNext();
            elsewhere = !ours;
            return ours;
        } catch (const CDbError &) {
            return false;
        }
    };
    if (!m_outbox.Enqueue(records, options))
        return elsewhere ? StartResult::Elsewhere : StartResult::Failed;
    *messages = int(records.size());
    if (!listed->isEmpty() && hooks.optedOut)
        hooks.optedOut(order, int(listed->size()));
    return StartResult::Started;
}
