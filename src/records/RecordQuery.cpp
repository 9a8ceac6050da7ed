#include "RecordQuery.h"

namespace {
// Not empty, decimal digits with an optional leading "+", at most 24 characters: the number
// rule of the whole program.
bool IsValidNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > 24)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!(c >= QLatin1Char('0') && c <= QLatin1Char('9')) && !(i == 0 && c == QLatin1Char('+')))
            return false;
    }
    return true;
}
} // namespace

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
        if (!IsValidNumber(m_strNumber))
            return fail(BadNumber());
        QString number = m_strNumber;
        if (number.startsWith(QLatin1Char('+')))
            number.remove(0, 1);
        // Sent records carry the country code the send run put in front; arrivals are
        // searched as typed.
        if (b.m_bSend && !number.startsWith(QLatin1String("86")))
            number.prepend(QLatin1String("86"));
        b.m_conditions.append({QueryField::Number, {number}});
    }
    if (m_bDay)
        b.m_conditions.append({QueryField::Day, {m_day}});
    if (m_bText)
        b.m_conditions.append({QueryField::Text, {QLatin1Char('%') + m_strText + QLatin1Char('%')}});
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
    return b;
}
