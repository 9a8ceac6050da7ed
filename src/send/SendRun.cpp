#include "SendRun.h"

#include "base/MessageText.h"
#include "base/NumberRules.h"
#include "base/TextTemplate.h"
#include "SendListLogic.h"
#include "SendListModel.h"
#include "db/PhoneBookIndex.h"
#include "outbox/OptOutList.h"
#include "outbox/Outbox.h"
#include "sms/PduCodec.h"

#include <QSet>

SendRun::BookReader SendRun::BookOf(CDbAccess &db)
{
    return [&db](BookIndex *book, QString *error) { return PhoneBookIndex::Read(db, book, error); };
}

PanelMessage SendRun::EmptyText()
{
    return {QStringLiteral("短信内容不能为空"), QString(), IMessageBox::Warning};
}

PanelMessage SendRun::EmptyList()
{
    return {QStringLiteral("请导入号码!"), QString(), IMessageBox::Warning};
}

PanelMessage SendRun::NotConnected()
{
    return {QStringLiteral("还未连接猫\n请连接猫"), QString(), IMessageBox::Warning};
}

PanelMessage SendRun::EmptyEntry()
{
    return {QStringLiteral("请输入手机号码"), QString(), IMessageBox::Warning};
}

PanelMessage SendRun::BadNumber()
{
    return {QStringLiteral("手机号码不能超过24位并且不能包含非数字字符"), QString(), IMessageBox::Warning};
}

PanelMessage SendRun::BookUnread(const QString &error)
{
    QString text = QStringLiteral("读取电话本失败, 没有发送");
    if (!error.isEmpty())
        text += u'\n' + error;
    return {text, QString(), IMessageBox::Warning};
}

QVector<int> SendRun::SentInRun(CDbAccess &db, qint64 run, const SendRunPlan &plan)
{
    QVector<int> sent;
    if (run <= 0 || plan.m_records.isEmpty())
        return sent;
    QSet<QString> went; // phone key and text
    const RecordsetPtr rs = db.OpenRecordset(Sql::SendSentOfRun, {run});
    try {
        for (; rs->IsOpen() && !rs->IsEOF(); rs->MoveNext())
            went.insert(NumberRules::PhoneKey(rs->GetFieldText(0)) + QLatin1Char('\n') + rs->GetFieldText(1));
    } catch (const CDbError &) {
        return {}; // not known: nothing is left out
    }
    for (qsizetype i = 0; i < plan.m_records.size(); ++i) {
        const SmsRecord &r = plan.m_records.at(i);
        if (went.contains(NumberRules::PhoneKey(r.m_strTPA) + QLatin1Char('\n') + r.m_strUD))
            sent.append(int(i));
    }
    return sent;
}

QVector<int> SendRun::SentInLastRun(CDbAccess &db, const SendRunPlan &plan)
{
    QSet<QString> wanted; // phone key and text
    QStringList numbers;  // as sent, each once
    QSet<QString> listed;
    for (const SmsRecord &r : plan.m_records) {
        wanted.insert(NumberRules::PhoneKey(r.m_strTPA) + QLatin1Char('\n') + r.m_strUD);
        if (!listed.contains(r.m_strTPA)) {
            listed.insert(r.m_strTPA);
            numbers.append(r.m_strTPA);
        }
    }
    qint64 last = 0;
    try {
        for (qsizetype from = 0; from < numbers.size(); from += SqlCatalogue::kSentOfNumbersCount) {
            QVariantList values;
            for (int i = 0; i < SqlCatalogue::kSentOfNumbersCount; ++i)
                values.append(from + i < numbers.size() ? numbers.at(from + i) : QString());
            const RecordsetPtr rs = db.OpenRecordset(Sql::SendSentOfNumbers, values);
            for (; rs->IsOpen() && !rs->IsEOF(); rs->MoveNext()) {
                const qint64 run = rs->GetFieldValue(0).toLongLong();
                if (run > last && wanted.contains(NumberRules::PhoneKey(rs->GetFieldText(1)) + QLatin1Char('\n') + rs->GetFieldText(2)))
                    last = run;
            }
            if (!rs->IsOpen())
                return {};
        }
    } catch (const CDbError &) {
        return {};
    }
    return SentInRun(db, last, plan);
}

PanelMessage SendRun::SentBeforeQuestion(int sent, int rest)
{
    return {QStringLiteral("%1 个号码已发送过此内容: 只发送其余 %2 个?").arg(sent).arg(rest), QString(),
            IMessageBox::Question, IMessageBox::YesNoCancel};
}

void SendRun::Leave(SendRunPlan &plan, const QVector<int> &indexes)
{
    // One pass over the plan, however many go: a list of 100,000 may lose thousands.
    const auto keep = [&indexes](auto &list) {
        qsizetype next = 0, to = 0;
        for (qsizetype from = 0; from < list.size(); ++from) {
            if (next < indexes.size() && indexes.at(next) == from) {
                ++next;
                continue;
            }
            if (to != from)
                list[to] = std::move(list[from]);
            ++to;
        }
        list.resize(to);
    };
    keep(plan.m_records);
    keep(plan.m_numbers);
}

std::optional<PanelMessage> SendRun::LeaveOptedOut(CDbAccess &db, SendRunPlan &plan)
{
    if (!plan.m_bQueue || plan.m_numbers.isEmpty())
        return std::nullopt;
    OptOutList list(db);
    const std::optional<QVector<int>> listed = list.Listed(plan.m_numbers);
    if (!listed) {
        plan.m_bQueue = false;
        return PanelMessage{QStringLiteral("读取黑名单失败, 没有发送\n") + list.Error(), QString(), IMessageBox::Warning};
    }
    if (listed->isEmpty())
        return std::nullopt;
    Leave(plan, *listed);
    return PanelMessage{OptOutList::SkippedText(int(listed->size())), QString(), IMessageBox::Information};
}

PanelMessage SendRun::AgainQuestion()
{
    return {QStringLiteral("上次发送还没有完成, 确定要再发送一次吗?"), QString(), IMessageBox::Question,
            IMessageBox::YesNoDefaultNo};
}

SendRunPlan SendRun::Plan(const QString &text, const QStringList &entries, bool modemOpen, const QString &smsc)
{
    return Plan(text, entries, modemOpen, smsc, RecipientFields(), BookReader());
}

SendRunPlan SendRun::Plan(const QString &text, const QStringList &entries, bool modemOpen, const QString &smsc,
                          const RecipientFields &fields, const BookReader &readBook)
{
    SendRunPlan plan;
    if (text.isEmpty()) {
        plan.m_messages.append(EmptyText());
        return plan;
    }
    const TextTemplate personal(text);
    if (const QString unknown = personal.UnknownField(fields.Columns()); !unknown.isEmpty()) {
        plan.m_messages.append(TextTemplate::UnknownFieldMessage(unknown));
        return plan;
    }
    // The panel's field takes no more; a text given on the command line may hold more. A text
    // with fields is measured once filled.
    if (!personal.HasFields() && !MessageText::Fits(personal.Fill({}))) {
        plan.m_messages.append(MessageText::TooLong());
        return plan;
    }
    if (entries.isEmpty()) {
        plan.m_messages.append(EmptyList());
        return plan;
    }
    if (!modemOpen) {
        plan.m_messages.append(NotConnected());
        return plan;
    }

    QStringList numbers, given;
    numbers.reserve(entries.size());
    for (const QString &entry : entries) {
        if (entry.isEmpty()) {
            plan.m_messages.append(EmptyEntry());
            continue;
        }
        if (!NumberRules::IsValidNumber(entry)) {
            plan.m_messages.append(BadNumber());
            return plan;
        }
        // A valid number may still be longer than a PDU address carries once "86" is put in
        // front: the engine refuses that message alone and journals it failed, so one such
        // entry does not keep the others from going.
        numbers.append(NumberRules::NumberAsSent(entry));
        given.append(entry);
    }

    if (personal.IsPlain()) {
        plan.m_records.reserve(numbers.size());
        for (const QString &number : numbers)
            plan.m_records.append(Pdu::MakeRecord(smsc, number, text, -1));
    } else {
        BookIndex book;
        QString error;
        if ((personal.Uses(TextFields::kName) || personal.Uses(TextFields::kRelation)) && readBook
            && !readBook(&book, &error)) {
            plan.m_messages.append(BookUnread(error));
            return plan;
        }
        const FilledTexts filled = PersonalTexts::Fill(personal, numbers, given, fields, book);
        if (filled.m_nTooLong > 0) {
            plan.m_messages.append(PersonalTexts::TooLong(filled, numbers));
            return plan;
        }
        plan.m_nEmptyField = filled.m_nEmptyField;
        plan.m_records.reserve(numbers.size());
        // Each record's coding follows its own text: one recipient's name may need UCS2
        // where the others' go in 7-bit.
        for (qsizetype i = 0; i < numbers.size(); ++i)
            plan.m_records.append(Pdu::MakeRecord(smsc, numbers.at(i), filled.m_texts.at(i), -1));
    }
    plan.m_bQueue = true;
    plan.m_numbers = std::move(numbers);
    return plan;
}

SendRunPlan SendRun::PlanUnattended(const QString &text, const QStringList &typed, const QString &numberFile,
                                    const QString &smsc, const BookReader &book)
{
    if (text.isEmpty() && typed.isEmpty() && numberFile.isEmpty()) {
        SendRunPlan plan;
        plan.m_bQueue = true;
        return plan;
    }
    SendListModel list;
    SendListLogic logic(list);
    logic.AppendNumbers(typed);
    if (!numberFile.isEmpty()) {
        const SendListLogic::ImportOutcome imported = logic.Import(numberFile);
        SendRunPlan refused;
        if (imported.m_message)
            refused.m_messages.append(*imported.m_message);
        else if (imported.m_nFailed > 0)
            refused.m_messages.append(BadNumber());
        if (!refused.m_messages.isEmpty())
            return refused;
    }
    // Nobody is there to press "去除重复".
    return Plan(text, OncePerPhone(list.GetAllNumbers()), true, smsc, list.Fields(), book);
}

QStringList SendRun::OncePerPhone(const QStringList &entries)
{
    QStringList once;
    QSet<QString> seen;
    for (const QString &entry : entries) {
        if (!NumberRules::IsValidNumber(entry)) {
            once.append(entry);
            continue;
        }
        const qsizetype before = seen.size();
        seen.insert(NumberRules::PhoneKey(entry));
        if (seen.size() > before)
            once.append(entry);
    }
    return once;
}

int SendRun::Queue(IOutbox &outbox, const SendRunPlan &plan)
{
    if (!plan.m_bQueue || plan.m_records.isEmpty())
        return 0;
    outbox.Enqueue(plan.m_records);
    return int(plan.m_records.size());
}
