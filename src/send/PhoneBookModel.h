#pragma once
// The phone book's list: every entry read once, held in memory, and the rows the filter lets
// through. Filtering walks the entries in memory (a narrower filter only the rows already
// shown) and resets the model once, so a book of 100,000 entries filters as one types.
// Rows are the shown rows; entries added or changed while a filter is set stay shown until
// the filter changes. Each entry also carries whether the operator has chosen it: a choice
// belongs to the entry, not to a shown row, so it outlasts a filter that hides the entry and
// the operator can choose across groups.
#include <QAbstractTableModel>
#include <QList>
#include <QString>

struct PhoneBookEntry
{
    QString m_strName;
    QString m_strNumber;
    QString m_strRelation;
    bool operator==(const PhoneBookEntry &) const = default;
};

class PhoneBookModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn, NumberColumn, RelationColumn, ColumnCount };

    explicit PhoneBookModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Shown rows.
    int Count() const { return int(m_shown.size()); }
    const PhoneBookEntry &Entry(int row) const { return m_entries.at(m_shown.at(row)); }
    // Every entry, shown or not, in list order.
    const QList<PhoneBookEntry> &AllEntries() const { return m_entries; }

    void SetEntries(QList<PhoneBookEntry> entries);
    void Append(const QList<PhoneBookEntry> &entries);
    void Replace(int row, const PhoneBookEntry &entry);
    void Remove(int row);

    // Rows whose name, number or relation holds text (any case); "" shows every entry.
    void SetFilter(const QString &text);
    QString Filter() const { return m_strFilter; }
    bool Matches(const PhoneBookEntry &entry) const;

    // Shown rows whose relation is exactly relation, ascending.
    QList<int> RowsOfGroup(const QString &relation) const;

    // The entry a shown row stands for (an index into AllEntries), and the shown row of an
    // entry (-1 when the filter hides it).
    int EntryIndex(int row) const { return m_shown.at(row); }
    int RowOfEntry(int entry) const;

    // The operator's choice of entries.
    void SetChosen(int row, bool chosen);
    void ClearChosen();
    QList<int> ChosenRows() const;      // shown, ascending
    QList<int> ChosenEntries() const;   // every entry chosen, shown or not, in list order
    int HiddenChosenCount() const;      // chosen entries the filter hides

private:
    QList<PhoneBookEntry> m_entries;
    QList<bool> m_chosen; // beside m_entries
    QList<int> m_shown; // indexes into m_entries, ascending
    QString m_strFilter;
};
