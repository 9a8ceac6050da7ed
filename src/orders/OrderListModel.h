#pragma once
// The rows of the order list: "订单编号", "开始时间", "结束时间", "发送状态" (whether the order
// has started and when, so the operator sees what ran) and "订单内容". The newest order
// stands first: the list shows the orders in the reverse of the order they are read, and a
// new one goes on top.
#include "OrderStore.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QVector>

class OrderListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit OrderListModel(QObject *parent = nullptr);

    enum Column { IdColumn, StartColumn, EndColumn, StateColumn, TextColumn, ColumnCount };

    // orders as read (by number); shown reversed. now: what "已过结束时间" is measured against.
    void SetOrders(const QVector<StoredOrder> &orders, const QDateTime &now = QDateTime::currentDateTime());
    // The start of each listed order as orders (read anew) have it; the rows stay as they are.
    void UpdateStarts(const QVector<StoredOrder> &orders, const QDateTime &now = QDateTime::currentDateTime());
    static QString StateText(const StoredOrder &order, const QDateTime &now);
    void InsertTop(const StoredOrder &order);
    void ReplaceAt(int row, const StoredOrder &order);
    void RemoveAt(int row);
    const StoredOrder &At(int row) const { return m_rows.at(row); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QVector<StoredOrder> m_rows; // as shown
    QDateTime m_now;
};
