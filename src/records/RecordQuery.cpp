#include "RecordQuery.h"

#include "base/NumberRules.h"

#include <QRegularExpression>

RecordsMessage RecordQuery::EmptyNumber()
{
    return {QStringLiteral("请输入手机号码"), QString(), IMessageBox::NoIcon};
}

RecordsMessage RecordQuery::BadNumber()
{
    return {QStringLiteral("手机号码不能超过24位并且不能包含非数字字符"), QString(), IMessageBox::NoIcon};
}

RecordsMessage RecordQuery::EmptyOrder()
{
    return {QStringLiteral("请输入订单号!"), QStringLiteral("提示"), IMessageBox::Critical};
}

RecordsMessage RecordQuery::BadOrder()
{
    return {QStringLiteral("订单号只能是数字!"), QStringLiteral("提示"), IMessageBox::Critical};
}

RecordsMessage RecordQuery::EmptyModem()
{
    return {QStringLiteral("请输入短信猫的端口或SIM卡号"), QStringLiteral("提示"), IMessageBox::Critical};
}

RecordQuery::Built RecordQuery::Build() const
{
    using SqlCatalogue::QueryCondition;
    using SqlCatalogue::QueryField;
    Built b;
    b.m_bSend = m_nTable == Sent;
    auto fail = [&b](const RecordsMessage &m) {
        b.m_message = m;
        b.m_conditions.clear();
        return b;
    };

    if (m_bNumber) {
        if (m_strNumber.isEmpty())
            return fail(EmptyNumber());
        if (!NumberRules::IsValidNumber(m_strNumber))
            return fail(BadNumber());
        // Sent records carry the number as sent. Arrivals carry the sender as the network wrote
        // it, searched as typed without a leading "+"; one from abroad keeps its "+".
        const QString asSent = NumberRules::NumberAsSent(m_strNumber);
        const QString number = b.m_bSend || asSent.startsWith(QLatin1Char('+'))
            ? asSent
            : m_strNumber.mid(m_strNumber.startsWith(QLatin1Char('+')) ? 1 : 0);
        b.m_conditions.append({QueryField::Number, {number}});
    }
    if (m_bDay)
        b.m_conditions.append({QueryField::Day, {m_day}});
    if (m_bText)
        b.m_conditions.append({QueryField::Text, {m_strText}});
    if (b.m_bSend && m_bOrder) {
        qsizetype first = 0;
        while (first < m_strOrder.size() && m_strOrder.at(first) == QLatin1Char(' '))
            ++first;
        const QString order = m_strOrder.mid(first);
        if (order.isEmpty())
            return fail(EmptyOrder());
        // The number is bound, so a text that is none would make the statement fail with a
        // driver message the operator cannot act on; a blank after it changed nothing before.
        bool ok = false;
        const qint64 id = order.trimmed().toLongLong(&ok);
        if (!ok)
            return fail(BadOrder());
        b.m_conditions.append({QueryField::Order, {id}});
    }
    if (b.m_bSend)
        b.m_conditions.append({QueryField::State, {m_bSucceeded ? 1 : 0}});
    if (b.m_bSend && m_bReport)
        b.m_conditions.append({QueryField::Report, {m_nReport}});
    if (m_bModem) {
        const QString modem = m_strModem.trimmed();
        if (modem.isEmpty())
            return fail(EmptyModem());
        // The records list shows a SIM by the last digits of its IMSI ("SIM…1234").
        static const QRegularExpression digits(QStringLiteral("^[0-9]{4,15}$"));
        QVariantList values{modem, modem};
        if (digits.match(modem).hasMatch())
            values.append(QLatin1Char('%') + modem);
        b.m_conditions.append({QueryField::Modem, values});
    }
    return b;
}
