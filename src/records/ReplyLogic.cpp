#include "ReplyLogic.h"

#include "base/GbkText.h"
#include "modem/CSmsModem.h"

ReplyLogic ReplyLogic::FromRow(const RecordsModel::RowTexts &row)
{
    ReplyLogic r;
    r.m_strTime = row.m_strTime;
    r.m_strNumber = row.m_strNumber;
    r.m_strOriginal = row.m_strContent;
    r.m_bReceived = row.m_strAction == ReportText::kReceive;
    return r;
}

QString ReplyLogic::Title() const
{
    return m_bReceived ? QStringLiteral("回复短信内容") : QStringLiteral("再次发送短信");
}

int ReplyLogic::ByteCount(const QString &text)
{
    return GbkText::ByteLength(text);
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
    return {QStringLiteral("“请填入不多于%1个的字符。”").arg(kMaxBytes), QString(), IMessageBox::Warning};
}

std::optional<RecordsMessage> ReplyLogic::Validate(bool modemOpen) const
{
    if (!modemOpen)
        return NotConnected();
    if (m_strReply.isEmpty())
        return EmptyText();
    if (ByteCount(m_strReply) > kMaxBytes)
        return TooLong();
    return std::nullopt;
}

bool ReplyLogic::KeepsDialogOpen(const RecordsMessage &message)
{
    return message == TooLong();
}

QString ReplyLogic::Destination() const
{
    return m_strNumber.startsWith(QLatin1String("86")) ? m_strNumber : QStringLiteral("86") + m_strNumber;
}

SmsRecord ReplyLogic::Record(const QString &smsc) const
{
    return CSmsModem::MakeRecord(smsc, Destination(), m_strReply, -1);
}
