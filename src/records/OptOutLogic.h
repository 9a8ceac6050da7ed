#pragma once
// The 黑名单 dialog without the window: the rows it shows (filtered by a part of the number,
// newest first, at most kShown of them) with the count, and its actions on the opt-out list,
// each answered with what to tell the operator ("" when there is nothing to tell).
#include "RecordsMessage.h"
#include "outbox/OptOutList.h"

#include <QString>
#include <QStringList>
#include <QVector>

class CDbAccess;

class OptOutLogic
{
public:
    static constexpr int kShown = 10000;

    explicit OptOutLogic(CDbAccess &db);

    // Reads the rows again with this filter ("" every number). False when the database
    // refused: Rows() are then empty and LastMessage() says why.
    bool Load(const QString &filter);
    const QVector<OptOutList::Entry> &Rows() const { return m_rows; }
    const QString &Filter() const { return m_strFilter; }
    int Total() const { return m_nTotal; }
    // "共 N 个号码" (with "显示前 M 个" when not every row is shown).
    QString CountText() const;

    // Each action reloads the rows.
    RecordsMessage Add(const QString &number);
    RecordsMessage Delete(const QStringList &numbers);
    RecordsMessage Import(const QString &path);
    RecordsMessage Export(const QString &path);
    // "加入黑名单" on a record of the list: its number, by hand; the filter becomes the number.
    RecordsMessage AddRecordNumber(const QString &number);

    static QStringList Headers(); // 号码, 时间, 来源, 内容
    RecordsMessage LastMessage() const { return m_lastMessage; }

private:
    RecordsMessage DatabaseFailure(const QString &what);

    OptOutList m_list;
    QString m_strFilter;
    QVector<OptOutList::Entry> m_rows;
    int m_nTotal = 0;
    RecordsMessage m_lastMessage;
};
