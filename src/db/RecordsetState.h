#pragma once
// The inside of a CRecordset, which CDbAccess fills when it opens one.
#include "CRecordset.h"
#include "DbConnection.h"
#include "DbValues.h"

#include <QHash>
#include <QList>
#include <QSqlError>
#include <QSqlQuery>
#include <QVector>
#include <memory>
#include <optional>

namespace DbDetail {

// What a recordset reads from: a live query, or (once settled) the rows read in advance.
struct RecordsetState
{
    std::shared_ptr<Connection> m_conn; // declared before the query, so destroyed after it
    std::optional<QSqlQuery> m_query;
    bool m_bOpen = false;
    bool m_bEOF = true;
    bool m_bBOF = true;
    QString m_strError;
    QHash<QString, int> m_columns; // as the driver names them, and upper-cased
    int m_nColumns = 0;
    // Settled: the current row and every one after it, the query closed.
    bool m_bSettled = false;
    QList<QVector<QVariant>> m_rows;
    qsizetype m_nRow = 0;
    QString m_strPendingError; // a read error met while settling, raised when reached

    ~RecordsetState() { Detach(); }

    void Detach()
    {
        if (m_conn)
            m_conn->m_active.removeOne(this);
    }

    void CheckOpen() const
    {
        if (!m_bOpen)
            throw CDbError(m_strError.isEmpty() ? QStringLiteral("The recordset is not open") : m_strError);
    }

    void CheckRow() const
    {
        CheckOpen();
        if (m_bEOF)
            throw CDbError(QStringLiteral("No current row: the recordset is past its last row"));
    }

    QVariant Value(int index) const
    {
        CheckRow();
        if (index < 0 || index >= m_nColumns)
            throw CDbError(QStringLiteral("No column number %1 in the recordset").arg(index));
        return m_bSettled ? m_rows.at(m_nRow).at(index) : m_query->value(index);
    }

    // name: the column as the caller named it; nullptr for a number (named only on failure,
    // since reading a large result asks for millions of values).
    QString Text(int index, const QString *name) const
    {
        const QVariant value = Value(index);
        if (value.isNull())
            throw CDbError(QStringLiteral("Column %1 holds no value (NULL)").arg(name ? *name : QString::number(index)));
        return ValueText(value);
    }

    // Moves to the next row; at the end the result is released at once, so an unread tail
    // holds no lock and no memory.
    void Advance()
    {
        if (m_bSettled) {
            if (++m_nRow < m_rows.size())
                return;
            m_bEOF = true;
            m_rows.clear();
            if (!m_strPendingError.isEmpty())
                throw CDbError(m_strPendingError);
            return;
        }
        if (m_query->next())
            return;
        m_bEOF = true;
        const QSqlError error = m_query->lastError();
        m_query->finish();
        Detach();
        if (error.type() != QSqlError::NoError)
            throw CDbError(Describe(error));
    }

    // Reads the current row and the rest into memory and closes the query.
    void Settle()
    {
        Detach();
        if (m_bSettled || m_bEOF || !m_query)
            return;
        const auto row = [this] {
            QVector<QVariant> values(m_nColumns);
            for (int i = 0; i < m_nColumns; ++i)
                values[i] = m_query->value(i);
            return values;
        };
        m_rows.append(row());
        while (m_query->next())
            m_rows.append(row());
        if (m_query->lastError().type() != QSqlError::NoError)
            m_strPendingError = Describe(m_query->lastError());
        m_query->finish();
        m_nRow = 0;
        m_bSettled = true;
    }
};

} // namespace DbDetail

struct CRecordset::Private : DbDetail::RecordsetState
{
};
