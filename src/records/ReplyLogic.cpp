#include "ReplyLogic.h"

#include "base/MessageText.h"
#include "base/NumberRules.h"
#include "base/TextTemplate.h"
#include "outbox/Outbox.h"
#include "sms/PduCodec.h"

ReplyLogic ReplyLogic::FromRow(const RecordsModel::RowTexts &row)
{
    ReplyLogic r;
    r.m_strTime = row.m_strTime;
    r.m_strNumber = row.m_strNumber;
    r.m_strOriginal = row.m_strContent;
    r.m_bReceived = row.m_strAction == ReportText::kReceive;
    // An answer goes back through the SIM the message came in on, while it is connected.
    if (r.m_bReceived) {
        r.m_strSim = row.m_strSim;
        r.m_strModem = row.m_strPort;
    }
    return r;
}

QString ReplyLogic::FromText() const
{
    if (m_strSim.isEmpty())
        return QStringLiteral("由任一已连接的短信猫发送");
    return QStringLiteral("由收到此短信的 %1 发送 (它未连接时由任一短信猫发送)").arg(m_strModem);
}

QString ReplyLogic::Title() const
{
    return m_bReceived ? QStringLiteral("回复短信内容") : QStringLiteral("再次发送短信");
}

RecordsMessage ReplyLogic::NoSelection()
{
    return {QStringLiteral("请选中要发送或回复的短信"), QString(), IMessageBox::Critical};
}

RecordsMessage ReplyLogic::NotConnected()
{
    return {QStringLiteral("还未连接猫\n请连接猫"), QString(), IMessageBox::NoIcon};
}

RecordsMessage ReplyLogic::EmptyText()
{
    return {QStringLiteral("短信内容不能为空"), QString(), IMessageBox::NoIcon};
}

RecordsMessage ReplyLogic::TooLong()
{
    const OperatorMessage m = MessageText::TooLong();
    return {m.m_strText, m.m_strCaption, m.m_icon};
}

RecordsMessage ReplyLogic::BadNumber()
{
    return {QStringLiteral("手机号码不能超过24位并且不能包含非数字字符"), QString(), IMessageBox::Warning};
}

std::optional<RecordsMessage> ReplyLogic::Validate(bool modemOpen) const
{
    if (!modemOpen)
        return NotConnected();
    if (m_strReply.isEmpty())
        return EmptyText();
    const TextTemplate personal(m_strReply);
    if (const QString unknown = personal.UnknownField({}); !unknown.isEmpty()) {
        const OperatorMessage m = TextTemplate::UnknownFieldMessage(unknown);
        return RecordsMessage{m.m_strText, m.m_strCaption, m.m_icon};
    }
    if (personal.IsPlain()) {
        if (MessageText::ByteCount(m_strReply) > MessageText::kMaxBytes)
            return TooLong();
    } else {
        const QStringList numbers{Destination()};
        const FilledTexts filled = PersonalTexts::Fill(personal, numbers, {m_strNumber}, {}, m_book);
        if (filled.m_nTooLong > 0) {
            const OperatorMessage m = PersonalTexts::TooLong(filled, numbers);
            return RecordsMessage{m.m_strText, m.m_strCaption, m.m_icon};
        }
    }
    // An alphanumeric sender, say, cannot be answered.
    if (!NumberRules::IsValidNumber(m_strNumber))
        return BadNumber();
    return std::nullopt;
}

bool ReplyLogic::KeepsDialogOpen(const RecordsMessage &message)
{
    // What the operator can put right in the dialog keeps it open.
    return message != NotConnected() && message != BadNumber() && message != NoSelection();
}

QString ReplyLogic::Filled() const
{
    const TextTemplate personal(m_strReply);
    if (personal.IsPlain())
        return m_strReply;
    return PersonalTexts::Fill(personal, {Destination()}, {m_strNumber}, {}, m_book).m_texts.value(0);
}

QString ReplyLogic::Destination() const
{
    return NumberRules::NumberAsSent(m_strNumber);
}

SmsRecord ReplyLogic::Record(const QString &smsc) const
{
    return Pdu::MakeRecord(smsc, Destination(), Filled(), -1);
}
