#pragma once
// One text with fields filled in for each of many recipients, and the checks made before any
// of them is queued: every filled text within the 140-byte limit, how many recipients have a
// field that came out empty. The send panel, skevo-cli, the orders and the reply all fill
// here; a recipient's number is the key of its fields and of the phone book, normalised by
// the number rule, so "13800000000" and "8613800000000" are one recipient.
#include "OperatorMessage.h"
#include "TextTemplate.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// A phone book entry's fields, by normalised number.
struct BookFields
{
    QString m_strName;
    QString m_strRelation;
};
using BookIndex = QHash<QString, BookFields>;

// A recipient's own columns by name, as one row of a CSV number file gives them.
using FieldValues = QHash<QString, QString>;

// The columns of the recipients' files and each recipient's values. A number given by two
// files takes each column from the last file that has it.
class RecipientFields
{
public:
    const QStringList &Columns() const { return m_columns; }
    int ColumnIndex(const QString &column) const { return int(m_columns.indexOf(column)); }
    bool IsEmpty() const { return m_rows.isEmpty(); }
    int Count() const { return int(m_rows.size()); }
    bool Has(const QString &number) const { return m_rows.contains(number); }

    // Columns a file names, whether or not any row holds a value in them.
    void AddColumns(const QStringList &columns) { IndexesOf(columns); }
    // One file's rows: columns its header, values of each row in the same order (a short row
    // lacks the last columns). number: normalised.
    void Add(const QString &number, const QStringList &columns, const QStringList &values);
    void Add(const QString &number, const FieldValues &values);
    // Every number of other, with its columns.
    void Merge(const RecipientFields &other);
    // The values of number in Columns()' order (a short row lacks the last ones); nullptr
    // when it has none.
    const QStringList *Row(const QString &number) const;
    // The value of Columns().at(column) for number; "" when it has none.
    QString Value(const QString &number, int column) const;
    FieldValues Values(const QString &number) const;
    // Keeps the rows of these numbers alone (the columns stay known).
    void Retain(const QSet<QString> &numbers);
    void Clear();

    // A row as the order book stores it ("" for none), and back.
    static QString Encode(const FieldValues &values);
    static FieldValues Decode(const QString &stored);

private:
    QVector<int> IndexesOf(const QStringList &columns);

    QStringList m_columns;
    QHash<QString, QStringList> m_rows; // by number, values in m_columns' order
};

struct FilledTexts
{
    QStringList m_texts; // one per recipient, in order
    int m_nTooLong = 0;  // over MessageText::kMaxBytes
    qsizetype m_nFirstTooLong = -1;
    int m_nEmptyField = 0; // recipients with at least one field that came out empty
    qsizetype m_nLongest = -1; // the first of the longest texts (in bytes)
    int m_nLongestBytes = 0;

    QString Longest() const { return m_texts.value(m_nLongest); }
};

namespace PersonalTexts {
// numbers: normalised (the keys of fields and book); given: each number as the operator gave
// it, for {号码}. A column of the recipient's own file wins over the phone book where it holds
// something; a column of the files that its row lacks is empty; a field no file and no phone
// book knows stays as written.
FilledTexts Fill(const TextTemplate &text, const QStringList &numbers, const QStringList &given,
                 const RecipientFields &fields, const BookIndex &book);
// The same with each number's fields as a map, keyed by the number in any form the number
// rule reads ({"13800000000": {"金额": "12.50"}}); FieldsByNumber(fields).Columns() are the
// columns it knows.
FilledTexts Fill(const TextTemplate &text, const QStringList &numbers, const QHash<QString, FieldValues> &fields,
                 const BookIndex &book);
RecipientFields FieldsByNumber(const QHash<QString, FieldValues> &fields);

// The key of a number's fields and phone book entry: normalised when the number rule takes it.
QString Key(const QString &number);
QStringList Keys(const QStringList &numbers);

// "3 条短信超过140字节, 例如: …" with the first of them and its recipient.
OperatorMessage TooLong(const FilledTexts &filled, const QStringList &numbers);
// The phone book's entry for a number as T_BOOK holds it (digits, as typed): those the
// number rule refuses (an empty number) are left out; of two entries for one number the
// first stays.
void AddToBook(BookIndex &book, const QString &number, const QString &name, const QString &relation);
} // namespace PersonalTexts
