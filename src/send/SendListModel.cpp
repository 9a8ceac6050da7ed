#include "SendListModel.h"

#include "CRandGenerator.h"
#include "base/NumberRules.h"

#include <QStringEncoder>
#include <algorithm>
#include <numeric>
#include <vector>

SendListModel::SendListModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

int SendListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant SendListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_entries.at(index.row());
    return {};
}

Qt::ItemFlags SendListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void SendListModel::Append(const QString &entry)
{
    Append(QStringList{entry});
}

void SendListModel::Append(const QStringList &entries)
{
    if (entries.isEmpty())
        return;
    const int first = int(m_entries.size());
    beginInsertRows(QModelIndex(), first, first + int(entries.size()) - 1);
    m_entries += entries;
    endInsertRows();
}

void SendListModel::Append(const QStringList &entries, const RecipientFields &fields)
{
    m_fields.Merge(fields);
    Append(entries);
}

void SendListModel::DropLostFields()
{
    if (m_fields.IsEmpty())
        return;
    QSet<QString> numbers;
    numbers.reserve(m_entries.size());
    for (const QString &e : std::as_const(m_entries)) {
        if (NumberRules::IsValidNumber(e))
            numbers.insert(NumberRules::NumberAsSent(e));
    }
    m_fields.Retain(numbers);
}

void SendListModel::SetAll(const QStringList &entries)
{
    beginResetModel();
    m_entries = entries;
    endResetModel();
}

void SendListModel::Clear()
{
    m_fields.Clear();
    if (m_entries.isEmpty())
        return;
    SetAll({});
}

void SendListModel::RemoveDuplicates()
{
    if (m_entries.isEmpty())
        return;
    QStringList entries = m_entries;
    RemoveDuplicateEntries(entries);
    SetAll(entries);
}

void SendListModel::Sort()
{
    if (m_entries.isEmpty())
        return;
    QStringList entries = m_entries;
    SortEntries(entries);
    SetAll(entries);
}

void SendListModel::Shuffle(CRandGenerator &generator)
{
    if (m_entries.isEmpty())
        return;
    QStringList entries = m_entries;
    ShuffleEntries(entries, generator);
    SetAll(entries);
}

void SendListModel::MoveToFront(const QList<int> &rows)
{
    const QList<int> clean = CleanRows(rows);
    if (clean.isEmpty())
        return;
    SetAll(MovedToFront(m_entries, clean));
}

void SendListModel::RemoveRows(const QList<int> &rows)
{
    const QList<int> clean = CleanRows(rows);
    if (clean.isEmpty())
        return;

    // A few blocks of rows are removed as such, which keeps the view's scroll position and
    // the rest of its state; a scattered selection rebuilds the list once.
    QList<QPair<int, int>> blocks; // first, last
    for (int row : clean) {
        if (!blocks.isEmpty() && blocks.last().second + 1 == row)
            blocks.last().second = row;
        else
            blocks.append({row, row});
    }
    constexpr qsizetype kMaxBlockSignals = 16;
    if (blocks.size() <= kMaxBlockSignals) {
        for (auto it = blocks.crbegin(); it != blocks.crend(); ++it) {
            beginRemoveRows(QModelIndex(), it->first, it->second);
            m_entries.remove(it->first, it->second - it->first + 1);
            endRemoveRows();
        }
        DropLostFields();
        return;
    }
    QStringList kept;
    kept.reserve(m_entries.size() - clean.size());
    qsizetype next = 0;
    for (int i = 0; i < m_entries.size(); ++i) {
        if (next < clean.size() && clean.at(next) == i) {
            ++next;
            continue;
        }
        kept.append(m_entries.at(i));
    }
    SetAll(kept);
    DropLostFields();
}

QList<int> SendListModel::CleanRows(const QList<int> &rows) const
{
    QList<int> clean;
    clean.reserve(rows.size());
    for (int row : rows) {
        if (row >= 0 && row < m_entries.size())
            clean.append(row);
    }
    std::sort(clean.begin(), clean.end());
    clean.erase(std::unique(clean.begin(), clean.end()), clean.end());
    return clean;
}

namespace {
bool AllAscii(const QStringList &entries)
{
    for (const QString &e : entries) {
        for (QChar c : e) {
            if (c.unicode() >= 0x80)
                return false;
        }
    }
    return true;
}
} // namespace

void SendListModel::SortEntries(QStringList &entries)
{
    // For ASCII text the GBK bytes are the UTF-16 code units, so the ordinal comparison of
    // QString gives the byte order without encoding anything.
    if (AllAscii(entries)) {
        std::sort(entries.begin(), entries.end(), [](const QString &a, const QString &b) {
            return QString::compare(a, b, Qt::CaseSensitive) < 0;
        });
        return;
    }
    QStringEncoder encoder("GB18030", QStringEncoder::Flag::Stateless);
    std::vector<QByteArray> keys;
    keys.reserve(size_t(entries.size()));
    for (const QString &e : entries)
        keys.push_back(encoder.encode(e));
    std::vector<int> order(size_t(entries.size()));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        // QByteArray compares bytes as unsigned values; equal bytes fall back to the text so
        // that equal entries always end up next to each other.
        const int c = keys[size_t(a)].compare(keys[size_t(b)]);
        if (c != 0)
            return c < 0;
        return QString::compare(entries.at(a), entries.at(b), Qt::CaseSensitive) < 0;
    });
    QStringList sorted;
    sorted.reserve(entries.size());
    for (int i : order)
        sorted.append(entries.at(i));
    entries = std::move(sorted);
}

void SendListModel::RemoveDuplicateEntries(QStringList &entries)
{
    SortEntries(entries);
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
}

void SendListModel::ShuffleEntries(QStringList &entries, CRandGenerator &generator)
{
    for (qsizetype i = 1; i < entries.size(); ++i) {
        qint64 r = generator.Next();
        if (i > CRandGenerator::kMax)
            r = r * (CRandGenerator::kMax + 1) + generator.Next();
        entries.swapItemsAt(i, qsizetype(r % i));
    }
}

QStringList SendListModel::MovedToFront(const QStringList &entries, const QList<int> &rows)
{
    std::vector<bool> chosen(size_t(entries.size()), false);
    for (int row : rows) {
        if (row >= 0 && row < entries.size())
            chosen[size_t(row)] = true;
    }
    QStringList front, rest;
    for (int i = 0; i < entries.size(); ++i)
        (chosen[size_t(i)] ? front : rest).append(entries.at(i));
    return front + rest;
}
