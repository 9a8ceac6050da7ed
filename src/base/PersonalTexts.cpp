#include "PersonalTexts.h"

#include "MessageText.h"
#include "NumberRules.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringEncoder>

QVector<int> RecipientFields::IndexesOf(const QStringList &columns)
{
    QVector<int> indexes;
    indexes.reserve(columns.size());
    for (const QString &c : columns) {
        qsizetype i = m_columns.indexOf(c);
        if (i < 0) {
            i = m_columns.size();
            m_columns.append(c);
        }
        indexes.append(int(i));
    }
    return indexes;
}

void RecipientFields::Add(const QString &number, const QStringList &columns, const QStringList &values)
{
    // A file's columns are usually the columns known already, in the same order: its row is
    // then taken as it is.
    const bool same = columns.size() <= m_columns.size() && std::equal(columns.cbegin(), columns.cend(), m_columns.cbegin());
    const auto existing = m_rows.find(number);
    if (same && existing == m_rows.end()) {
        m_rows.insert(number, values.mid(0, columns.size()));
        return;
    }
    const QVector<int> indexes = IndexesOf(columns);
    QStringList row = existing == m_rows.end() ? QStringList() : *existing;
    for (qsizetype i = 0; i < indexes.size() && i < values.size(); ++i) {
        const int at = indexes.at(i);
        while (row.size() <= at)
            row.append(QString());
        row[at] = values.at(i);
    }
    m_rows.insert(number, row);
}

void RecipientFields::Add(const QString &number, const FieldValues &values)
{
    Add(number, values.keys(), values.values());
}

void RecipientFields::Merge(const RecipientFields &other)
{
    if (m_rows.isEmpty() && m_columns.isEmpty()) {
        *this = other;
        return;
    }
    IndexesOf(other.m_columns);
    for (auto it = other.m_rows.cbegin(); it != other.m_rows.cend(); ++it)
        Add(it.key(), other.m_columns.mid(0, it.value().size()), it.value());
}

const QStringList *RecipientFields::Row(const QString &number) const
{
    if (m_rows.isEmpty())
        return nullptr;
    const auto it = m_rows.constFind(number);
    return it == m_rows.cend() ? nullptr : &*it;
}

QString RecipientFields::Value(const QString &number, int column) const
{
    const auto it = m_rows.constFind(number);
    if (it == m_rows.cend() || column < 0 || column >= it->size())
        return QStringLiteral("");
    return it->at(column);
}

FieldValues RecipientFields::Values(const QString &number) const
{
    FieldValues values;
    const auto it = m_rows.constFind(number);
    if (it == m_rows.cend())
        return values;
    for (qsizetype i = 0; i < it->size(); ++i)
        values.insert(m_columns.at(i), it->at(i));
    return values;
}

void RecipientFields::Retain(const QSet<QString> &numbers)
{
    m_rows.removeIf([&numbers](const QHash<QString, QStringList>::iterator &it) { return !numbers.contains(it.key()); });
}

void RecipientFields::Clear()
{
    m_columns.clear();
    m_rows.clear();
}

QString RecipientFields::Encode(const FieldValues &values)
{
    if (values.isEmpty())
        return QStringLiteral("");
    QJsonObject o;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        o.insert(it.key(), it.value());
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

FieldValues RecipientFields::Decode(const QString &stored)
{
    FieldValues values;
    if (stored.isEmpty())
        return values;
    const QJsonObject o = QJsonDocument::fromJson(stored.toUtf8()).object();
    for (auto it = o.constBegin(); it != o.constEnd(); ++it)
        values.insert(it.key(), it.value().toString());
    return values;
}

namespace {
// GBK bytes of a value: the texts are summed piece by piece, which is exact since every
// character has its own bytes. ASCII, the usual case of amounts and codes, without the codec.
class ByteCounter
{
public:
    int Count(const QString &text)
    {
        int bytes = 0;
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u < 0x80)
                bytes += 1;
            else if (u >= 0x4E00 && u <= 0x9FA5) // the ideographs GBK has, every one of them
                bytes += 2;
            else
                return int(QByteArray(m_encoder.encode(text)).size());
        }
        return bytes;
    }

private:
    QStringEncoder m_encoder{"GB18030", QStringEncoder::Flag::Stateless};
};

enum class Source { Column, Name, Relation, Number, None };
struct FieldSource
{
    Source m_source = Source::None;
    int m_nColumn = -1; // a column of the files that goes first, -1 for none
};
} // namespace

namespace PersonalTexts {

FilledTexts Fill(const TextTemplate &text, const QStringList &numbers, const QStringList &given,
                 const RecipientFields &fields, const BookIndex &book)
{
    FilledTexts out;
    const qsizetype n = numbers.size();
    out.m_texts.reserve(n);
    if (!text.HasFields()) {
        const QString same = text.Fill({});
        const int bytes = MessageText::ByteCount(same);
        for (qsizetype i = 0; i < n; ++i)
            out.m_texts.append(same);
        if (n > 0) {
            out.m_nLongest = 0;
            out.m_nLongestBytes = bytes;
            if (bytes > MessageText::kMaxBytes) {
                out.m_nTooLong = int(n);
                out.m_nFirstTooLong = 0;
            }
        }
        return out;
    }

    const QStringList &names = text.Fields();
    QVector<FieldSource> sources;
    for (const QString &f : names) {
        FieldSource s;
        s.m_nColumn = fields.ColumnIndex(f);
        if (f == TextFields::kName)
            s.m_source = Source::Name;
        else if (f == TextFields::kRelation)
            s.m_source = Source::Relation;
        else if (f == TextFields::kNumber)
            s.m_source = Source::Number;
        else if (s.m_nColumn >= 0)
            s.m_source = Source::Column;
        sources.append(s);
    }

    ByteCounter counter;
    QStringList values(names.size());
    for (qsizetype i = 0; i < n; ++i) {
        const QString &number = numbers.at(i);
        const QStringList *row = fields.Row(number);
        const BookFields *entry = nullptr;
        bool looked = false;
        bool empty = false;
        int bytes = text.LiteralBytes();
        for (qsizetype f = 0; f < sources.size(); ++f) {
            const FieldSource &s = sources.at(f);
            QString &value = values[f];
            if (s.m_source == Source::None) {
                // No file and no phone book knows it: left as written.
                value = QString();
                bytes += counter.Count(TextTemplate::AsWritten(names.at(f)));
                continue;
            }
            value = row && s.m_nColumn >= 0 ? row->value(s.m_nColumn) : QString();
            if (value.isEmpty() && s.m_source == Source::Number) {
                value = given.value(i, number);
            } else if (value.isEmpty() && s.m_source != Source::Column) {
                if (!looked) {
                    const auto it = book.constFind(number);
                    entry = it == book.cend() ? nullptr : &*it;
                    looked = true;
                }
                if (entry)
                    value = s.m_source == Source::Name ? entry->m_strName : entry->m_strRelation;
            }
            if (value.isEmpty()) {
                empty = true;
                value = QStringLiteral("");
            }
            bytes += counter.Count(value);
        }
        out.m_texts.append(text.Fill(values));
        if (empty)
            ++out.m_nEmptyField;
        if (bytes > MessageText::kMaxBytes && out.m_nTooLong++ == 0)
            out.m_nFirstTooLong = i;
        if (bytes > out.m_nLongestBytes || out.m_nLongest < 0) {
            out.m_nLongest = i;
            out.m_nLongestBytes = bytes;
        }
    }
    return out;
}

QString Key(const QString &number)
{
    return NumberRules::IsValidNumber(number) ? NumberRules::NumberAsSent(number) : number;
}

QStringList Keys(const QStringList &numbers)
{
    QStringList keys;
    keys.reserve(numbers.size());
    for (const QString &n : numbers)
        keys.append(Key(n));
    return keys;
}

RecipientFields FieldsByNumber(const QHash<QString, FieldValues> &fields)
{
    RecipientFields byNumber;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        if (NumberRules::IsValidNumber(it.key()))
            byNumber.Add(NumberRules::NumberAsSent(it.key()), it.value());
    }
    return byNumber;
}

FilledTexts Fill(const TextTemplate &text, const QStringList &numbers, const QHash<QString, FieldValues> &fields,
                 const BookIndex &book)
{
    return Fill(text, Keys(numbers), numbers, FieldsByNumber(fields), book);
}

OperatorMessage TooLong(const FilledTexts &filled, const QStringList &numbers)
{
    const QString example = filled.m_texts.value(filled.m_nFirstTooLong);
    // One pass: a "%1" in the example is the recipient's text, not a place to fill.
    return {QStringLiteral("%1 条短信超过%2字节, 例如: %3\n(%4, %5字节)")
                .arg(QString::number(filled.m_nTooLong), QString::number(MessageText::kMaxBytes), example,
                     numbers.value(filled.m_nFirstTooLong), QString::number(MessageText::ByteCount(example))),
            QString(), IMessageBox::Warning};
}

void AddToBook(BookIndex &book, const QString &number, const QString &name, const QString &relation)
{
    if (!NumberRules::IsValidNumber(number))
        return;
    const QString key = NumberRules::NumberAsSent(number);
    if (!book.contains(key))
        book.insert(key, {name, relation});
}

} // namespace PersonalTexts
