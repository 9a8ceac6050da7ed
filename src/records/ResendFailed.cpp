#include "ResendFailed.h"

#include "ReplyLogic.h"
#include "base/NumberRules.h"
#include "outbox/IOutbox.h"
#include "sms/PduCodec.h"

#include <QSet>

#include <algorithm>

namespace ResendFailed {

QVector<SmsRecord> Of(const RecordsModel &list, const QVector<int> &rows, const QString &smsc)
{
    QVector<int> ordered = rows;
    std::sort(ordered.begin(), ordered.end());
    QVector<SmsRecord> out;
    QSet<QString> seen; // phone and text
    for (const int row : ordered) {
        if (row < 0 || row >= list.rowCount())
            continue;
        const RecordsModel::RowTexts t = list.Row(row);
        // 失败 in the sent view, 失败! where sends and arrivals stand together.
        const bool failedSend = t.m_strAction == ReportText::kSend && !t.m_strResult.isEmpty()
            && t.m_strResult != ReportText::kSuccess;
        if (!failedSend || !NumberRules::IsValidNumber(t.m_strNumber))
            continue;
        const QString number = NumberRules::NumberAsSent(t.m_strNumber);
        if (!seen.contains(NumberRules::PhoneKey(number) + QLatin1Char('\n') + t.m_strContent)) {
            seen.insert(NumberRules::PhoneKey(number) + QLatin1Char('\n') + t.m_strContent);
            out.append(Pdu::MakeRecord(smsc, number, t.m_strContent, -1));
        }
    }
    return out;
}

OperatorMessage Question(int count)
{
    return {QStringLiteral("重发选中的 %1 条失败短信?").arg(count), QString(), IMessageBox::Question,
            IMessageBox::YesNoDefaultNo};
}

OperatorMessage NoneFailed()
{
    return {QStringLiteral("选中的记录中没有发送失败的短信"), QString(), IMessageBox::Information};
}

int Run(const RecordsModel &list, const QVector<int> &rows, const QString &smsc, IOutbox &outbox, IMessageBox &messages)
{
    const QVector<SmsRecord> records = Of(list, rows, smsc);
    if (records.isEmpty()) {
        NoneFailed().ShowOn(messages);
        return 0;
    }
    if (!outbox.CanSend()) {
        ReplyLogic::NotConnected().ShowOn(messages);
        return 0;
    }
    if (Question(int(records.size())).ShowOn(messages) != IMessageBox::AnswerYes)
        return 0;
    IOutbox::Options options;
    options.kind = IOutbox::RunKind::Send;
    return outbox.Enqueue(records, options) ? int(records.size()) : 0;
}

} // namespace ResendFailed
