#include "OrderListModel.h"

#include <algorithm>

OrderListModel::OrderListModel(QObject *parent) : QAbstractTableModel(parent) {}

void OrderListModel::SetOrders(const QVector<StoredOrder> &orders, const QDateTime &now)
{
    beginResetModel();
    m_rows = orders;
    m_now = now;
    std::reverse(m_rows.begin(), m_rows.end());
    endResetModel();
}

void OrderListModel::UpdateStarts(const QVector<StoredOrder> &orders, const QDateTime &now)
{
    m_now = now;
    for (int row = 0; row < m_rows.size(); ++row) {
        StoredOrder &shown = m_rows[row];
        const auto read = std::find_if(orders.cbegin(), orders.cend(), [&shown](const StoredOrder &o) { return o.m_nId == shown.m_nId; });
        if (read != orders.cend() && read->m_strStart == shown.m_strStart)
            shown.m_strStarted = read->m_strStarted;
    }
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, StateColumn), index(int(m_rows.size()) - 1, StateColumn));
}

QString OrderListModel::StateText(const StoredOrder &order, const QDateTime &now)
{
    if (!order.m_strStarted.isEmpty())
        return QStringLiteral("已开始 %1").arg(order.m_strStarted);
    const QDateTime end = QDateTime::fromString(order.m_strEnd, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (end.isValid() && end <= now)
        return QStringLiteral("未发送 (结束时间已过)");
    return QStringLiteral("未开始");
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
    return parent.isValid() ? 0 : ColumnCount;
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
    case IdColumn:
        return QString::number(o.m_nId);
    case StartColumn:
        return o.m_strStart;
    case EndColumn:
        return o.m_strEnd;
    case TextColumn:
        return o.m_strText;
    case StateColumn:
        return StateText(o, m_now);
    default:
        return {};
    }
}

QVariant OrderListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    static const char *const kHeads[] = {"订单编号", "开始时间", "结束时间", "发送状态", "订单内容"};
    return QString::fromUtf8(kHeads[section]);
}
