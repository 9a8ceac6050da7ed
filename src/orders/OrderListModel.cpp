#include "OrderListModel.h"

#include <algorithm>

OrderListModel::OrderListModel(QObject *parent) : QAbstractTableModel(parent) {}

void OrderListModel::SetOrders(const QVector<StoredOrder> &orders)
{
    beginResetModel();
    m_rows = orders;
    std::reverse(m_rows.begin(), m_rows.end());
    endResetModel();
}

void OrderListModel::InsertTop(const StoredOrder &order)
{
    beginInsertRows(QModelIndex(), 0, 0);
    m_rows.prepend(order);
    endInsertRows();
}

void OrderListModel::ReplaceAt(int row, const StoredOrder &order)
{
    m_rows[row] = order;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void OrderListModel::RemoveAt(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.removeAt(row);
    endRemoveRows();
}

int OrderListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int OrderListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant OrderListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const StoredOrder &o = m_rows.at(index.row());
    switch (index.column()) {
    case 0:
        return QString::number(o.m_nId);
    case 1:
        return o.m_strStart;
    case 2:
        return o.m_strEnd;
    case 3:
        return o.m_strText;
    default:
        return {};
    }
}

QVariant OrderListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section > 3)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    static const char *const kHeads[] = {"订单编号", "开始时间", "结束时间", "订单内容"};
    return QString::fromUtf8(kHeads[section]);
}
