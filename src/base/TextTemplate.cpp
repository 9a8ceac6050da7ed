#include "TextTemplate.h"

#include "MessageText.h"

namespace TextFields {
bool IsBuiltIn(const QString &field)
{
    return field == kName || field == kRelation || field == kNumber;
}
} // namespace TextFields

TextTemplate::TextTemplate(const QString &text) : m_strText(text)
{
    QString literal;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        const bool doubled = i + 1 < n && text.at(i + 1) == c;
        if (c == u'}') {
            literal += c;
            i += doubled ? 2 : 1;
            continue;
        }
        if (c != u'{') {
            literal += c;
            ++i;
            continue;
        }
        if (doubled) {
            literal += c;
            i += 2;
            continue;
        }
        // A field ends at the first "}"; another "{" or a line break before it means this
        // brace opens none.
        qsizetype end = i + 1;
        while (end < n && text.at(end) != u'}' && text.at(end) != u'{' && text.at(end) != u'\n')
            ++end;
        const QString name = end < n && text.at(end) == u'}' ? text.mid(i + 1, end - i - 1).trimmed() : QString();
        if (name.isEmpty()) {
            literal += c;
            ++i;
            continue;
        }
        qsizetype index = m_fields.indexOf(name);
        if (index < 0) {
            index = m_fields.size();
            m_fields.append(name);
        }
        m_pieces.append({literal, int(index)});
        literal.clear();
        i = end + 1;
    }
    m_bPlain = m_fields.isEmpty() && literal == text;
    m_pieces.append({literal, -1});
    for (const Piece &p : std::as_const(m_pieces))
        m_nLiteralBytes += MessageText::ByteCount(p.m_strText);
}

QString TextTemplate::UnknownField(const QStringList &columns) const
{
    for (const QString &f : m_fields) {
        if (!TextFields::IsBuiltIn(f) && !columns.contains(f))
            return f;
    }
    return {};
}

OperatorMessage TextTemplate::UnknownFieldMessage(const QString &field)
{
    return {QStringLiteral("未知的字段: ") + AsWritten(field), QString(), IMessageBox::Warning};
}

QString TextTemplate::AsWritten(const QString &field)
{
    return u'{' + field + u'}';
}

QString TextTemplate::Fill(const QStringList &values) const
{
    if (m_fields.isEmpty())
        return m_pieces.constFirst().m_strText;
    qsizetype size = 0;
    for (const Piece &p : m_pieces)
        size += p.m_strText.size() + (p.m_nField >= 0 ? values.value(p.m_nField).size() + 2 : 0);
    QString out;
    out.reserve(size);
    for (const Piece &p : m_pieces) {
        out += p.m_strText;
        if (p.m_nField < 0)
            continue;
        const QString value = values.value(p.m_nField);
        if (value.isNull())
            out += AsWritten(m_fields.at(p.m_nField));
        else
            out += value;
    }
    return out;
}
