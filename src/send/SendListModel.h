#pragma once
// The send list: the ordered destination entries of the bulk-send panel, as the operator
// added them (duplicates allowed, never sorted by itself; list order is sending order).
// Operations on the whole list reset the model once, so a view of 100,000 entries stays
// quick; an append is one insertion of all its rows. Numbers that came from a CSV file carry
// their fields (by normalised number) for personal texts.
#include "base/PersonalTexts.h"

#include <QAbstractListModel>
#include <QList>
#include <QStringList>

class CRandGenerator;

class SendListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit SendListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    int Count() const { return int(m_entries.size()); }
    bool IsEmpty() const { return m_entries.isEmpty(); }
    QString Entry(int row) const { return m_entries.value(row); }
    // All entries in list order.
    QStringList GetAllNumbers() const { return m_entries; }

    void Append(const QString &entry);
    void Append(const QStringList &entries);
    // Entries of a file with columns, and each one's fields.
    void Append(const QStringList &entries, const RecipientFields &fields);
    const RecipientFields &Fields() const { return m_fields; }
    void SetAll(const QStringList &entries);
    void Clear();
    // Sorted, every run of equal entries reduced to one.
    void RemoveDuplicates();
    void Sort();
    void Shuffle(CRandGenerator &generator);
    // The given rows, in their list order, go to the top; the others follow in theirs.
    void MoveToFront(const QList<int> &rows);
    void RemoveRows(const QList<int> &rows);

    // The same algorithms on a plain list.
    // Ascending by the unsigned bytes of the GBK text; a prefix sorts first ("10086" < "9").
    static void SortEntries(QStringList &entries);
    static void RemoveDuplicateEntries(QStringList &entries);
    // Position i (1 .. n-1, increasing) is exchanged with position r mod i, r the next value
    // of the generator (two values, high one first, once i exceeds 32767). The modulus i
    // moves every entry off its place: two entries always swap.
    static void ShuffleEntries(QStringList &entries, CRandGenerator &generator);
    static QStringList MovedToFront(const QStringList &entries, const QList<int> &rows);

private:
    // Rows within the list, ascending, each once.
    QList<int> CleanRows(const QList<int> &rows) const;

    // The fields of numbers no longer in the list go with them.
    void DropLostFields();

    QStringList m_entries;
    RecipientFields m_fields;
};
