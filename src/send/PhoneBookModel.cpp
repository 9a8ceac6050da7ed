#include "PhoneBookModel.h"

#include <algorithm>

PhoneBookModel::PhoneBookModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int PhoneBookModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count();
}

int PhoneBookModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PhoneBookModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const PhoneBookEntry &e = Entry(index.row());
    switch (index.column()) {
    case NameColumn:
        return e.m_strName;
    case NumberColumn:
        return e.m_strNumber;
    default:
        return e.m_strRelation;
    }
}

QVariant PhoneBookModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case NameColumn:
        return QStringLiteral("名字");
    case NumberColumn:
        return QStringLiteral("电话号码");
    case RelationColumn:
        return QStringLiteral("关系");
    default:
        return {};
    }
}

void PhoneBookModel::SetEntries(QList<PhoneBookEntry> entries)
{
    beginResetModel();
    m_entries = std::move(entries);
    m_chosen = QList<bool>(m_entries.size(), false);
    m_shown.clear();
    for (int i = 0; i < m_entries.size(); ++i) {
        if (Matches(m_entries.at(i)))
            m_shown.append(i);
    }
    endResetModel();
}

void PhoneBookModel::Append(const QList<PhoneBookEntry> &entries)
{
    if (entries.isEmpty())
        return;
    beginInsertRows(QModelIndex(), Count(), Count() + int(entries.size()) - 1);
    for (const PhoneBookEntry &e : entries) {
        m_shown.append(int(m_entries.size()));
        m_entries.append(e);
        m_chosen.append(false);
    }
    endInsertRows();
}

void PhoneBookModel::Replace(int row, const PhoneBookEntry &entry)
{
    m_entries[m_shown.at(row)] = entry;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void PhoneBookModel::Remove(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    const int gone = m_shown.at(row);
    m_entries.removeAt(gone);
    m_chosen.removeAt(gone);
    m_shown.removeAt(row);
    for (qsizetype i = row; i < m_shown.size(); ++i)
        --m_shown[i];
    endRemoveRows();
}

bool PhoneBookModel::Matches(const PhoneBookEntry &e) const
{
    return m_strFilter.isEmpty() || e.m_strName.contains(m_strFilter, Qt::CaseInsensitive)
        || e.m_strNumber.contains(m_strFilter, Qt::CaseInsensitive)
        || e.m_strRelation.contains(m_strFilter, Qt::CaseInsensitive);
}

void PhoneBookModel::SetFilter(const QString &text)
{
    if (text == m_strFilter)
        return;
    // Typing on only narrows: the rows shown now are the only candidates.
    const bool narrower = !m_strFilter.isEmpty() && text.contains(m_strFilter, Qt::CaseInsensitive);
    beginResetModel();
    m_strFilter = text;
    QList<int> shown;
    if (narrower) {
        for (int i : std::as_const(m_shown)) {
            if (Matches(m_entries.at(i)))
                shown.append(i);
        }
    } else {
        for (int i = 0; i < m_entries.size(); ++i) {
            if (Matches(m_entries.at(i)))
                shown.append(i);
        }
    }
    m_shown = std::move(shown);
    endResetModel();
}

QList<int> PhoneBookModel::RowsOfGroup(const QString &relation) const
{
    QList<int> rows;
    for (int row = 0; row < m_shown.size(); ++row) {
        if (m_entries.at(m_shown.at(row)).m_strRelation == relation)
            rows.append(row);
    }
    return rows;
}

int PhoneBookModel::RowOfEntry(int entry) const
{
    const auto it = std::lower_bound(m_shown.cbegin(), m_shown.cend(), entry);
    return it != m_shown.cend() && *it == entry ? int(it - m_shown.cbegin()) : -1;
}

void PhoneBookModel::SetChosen(int row, bool chosen)
{
    if (row >= 0 && row < m_shown.size())
        m_chosen[m_shown.at(row)] = chosen;
}

void PhoneBookModel::ClearChosen()
{
    m_chosen.fill(false);
}

QList<int> PhoneBookModel::ChosenRows() const
{
    QList<int> rows;
    for (int row = 0; row < m_shown.size(); ++row) {
        if (m_chosen.at(m_shown.at(row)))
            rows.append(row);
    }
    return rows;
}

QList<int> PhoneBookModel::ChosenEntries() const
{
    QList<int> entries;
    for (int i = 0; i < m_chosen.size(); ++i) {
        if (m_chosen.at(i))
            entries.append(i);
    }
    return entries;
}

int PhoneBookModel::HiddenChosenCount() const
{
    return int(ChosenEntries().size() - ChosenRows().size());
}
