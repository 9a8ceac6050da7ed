#include "SendRun.h"

#include "base/MessageText.h"
#include "base/NumberRules.h"
#include "SendListLogic.h"
#include "SendListModel.h"
#include "outbox/Outbox.h"

#include <QSet>

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

PanelMessage SendRun::AgainQuestion()
{
    return {QStringLiteral("上次发送还没有完成, 确定要再发送一次吗?"), QString(), IMessageBox::Question,
            IMessageBox::YesNoDefaultNo};
}

SendRunPlan SendRun::Plan(const QString &text, const QStringList &entries, bool modemOpen, const QString &smsc)
{
    SendRunPlan plan;
    if (text.isEmpty()) {
        plan.m_messages.append(EmptyText());
        return plan;
    }
    // The panel's field takes no more; a text given on the command line may hold more.
    if (!MessageText::Fits(text)) {
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

    QStringList numbers;
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
    }

    plan.m_bQueue = true;
    plan.m_records.reserve(numbers.size());
    for (const QString &number : numbers)
        plan.m_records.append(Outbox::MakeRecord(smsc, number, text, -1));
    plan.m_numbers = std::move(numbers);
    return plan;
}

SendRunPlan SendRun::PlanUnattended(const QString &text, const QStringList &typed, const QString &numberFile,
                                    const QString &smsc)
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
    // Nobody is there to press "去除重复": one phone gets one message however often and
    // however it was spelled, as a number file keeps it once. An entry that is no number
    // stays, for Plan to refuse.
    QStringList entries;
    QSet<QString> seen;
    for (const QString &entry : list.GetAllNumbers()) {
        if (!NumberRules::IsValidNumber(entry)) {
            entries.append(entry);
            continue;
        }
        const qsizetype before = seen.size();
        seen.insert(NumberRules::PhoneKey(entry));
        if (seen.size() > before)
            entries.append(entry);
    }
    return Plan(text, entries, true, smsc);
}

int SendRun::Queue(IOutbox &outbox, const SendRunPlan &plan)
{
    if (!plan.m_bQueue || plan.m_records.isEmpty())
        return 0;
    outbox.Enqueue(plan.m_records);
    return int(plan.m_records.size());
}
