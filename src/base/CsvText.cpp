#include "CsvText.h"

#include <algorithm>

namespace {
bool StartsFormula(QStringView text)
{
    if (text.isEmpty())
        return false;
    const QChar c = text.front();
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

// "+" and at least one digit, nothing else: a number, which a spreadsheet shows as it is.
bool IsPlainNumber(QStringView text)
{
    return text.size() >= 2 && text.front() == u'+'
        && std::all_of(text.begin() + 1, text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

qsizetype LeadingQuotes(QStringView text)
{
    qsizetype n = 0;
    while (n < text.size() && text.at(n) == u'\'')
        ++n;
    return n;
}
} // namespace

namespace CsvText {

QByteArray Bom()
{
    return QByteArrayLiteral("\xEF\xBB\xBF");
}

void AppendField(QString &out, const QString &text)
{
    const bool inert = StartsFormula(QStringView(text).mid(LeadingQuotes(text))) && !IsPlainNumber(text);
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\n' || c == u'\r') {
            quoted = true;
            break;
        }
    }
    if (quoted)
        out += u'"';
    if (inert)
        out += u'\'';
    if (quoted) {
        for (const QChar c : text) {
            if (c == u'"')
                out += u'"';
            out += c;
        }
        out += u'"';
    } else {
        out += text;
    }
}

QString Field(const QString &text)
{
    QString field;
    AppendField(field, text);
    return field;
}

QString Line(const QStringList &fields)
{
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i)
            line += u',';
        AppendField(line, fields.at(i));
    }
    return line + QStringLiteral("\r\n");
}

QString Unescaped(const QString &field)
{
    const qsizetype quotes = LeadingQuotes(field);
    if (quotes > 0 && StartsFormula(QStringView(field).mid(quotes)))
        return field.mid(1);
    return field;
}

QList<Record> Parse(const QString &text)
{
    QList<Record> records;
    qsizetype i = 0;
    int line = 1;
    const qsizetype n = text.size();
    while (i < n) {
        Record r;
        r.m_nLine = line;
        const qsizetype start = i;
        QString field;
        bool quoted = false;
        bool ended = false;
        while (i < n && !ended) {
            const QChar c = text.at(i);
            if (quoted) {
                if (c == u'"') {
                    if (i + 1 < n && text.at(i + 1) == u'"') {
                        field += u'"';
                        ++i;
                    } else {
                        quoted = false;
                    }
                } else {
                    if (c == u'\n')
                        ++line;
                    field += c;
                }
            } else if (c == u'"') {
                quoted = true;
            } else if (c == u',') {
                r.m_fields.append(Unescaped(field));
                field.clear();
            } else if (c == u'\n' || c == u'\r') {
                if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
                    ++i;
                ++line;
                ended = true;
            } else {
                field += c;
            }
            ++i;
        }
        r.m_fields.append(Unescaped(field));
        r.m_strText = text.mid(start, i - start).trimmed();
        records.append(r);
    }
    return records;
}

} // namespace CsvText
