#pragma once
// The rows of the order list: "订单编号", "开始时间", "结束时间", "订单内容". The newest order
// stands first: the list shows the orders in the reverse of the order they are read, and a
// new one goes on top.
#include "OrderStore.h"

#include <QAbstractTableModel>
#include <QVector>

class OrderListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit OrderListModel(QObject *parent = nullptr);

    // orders as read (by number); shown reversed.
    void SetOrders(const QVector<StoredOrder> &orders);
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
};
