#pragma once
// The record query without its window: the inputs of the query dialog, their checks and the
// conditions they give, in their fixed order (number, day, text, order number, state, 回执, modem), each
// with its values to bind. The records list runs the result (RecordsModel::LoadQuery); the
// command line's export builds the same object from its options.
#include "RecordsMessage.h"
#include "db/SqlCatalogue.h"

#include <QDate>
#include <QString>
#include <QVector>
#include <optional>

class RecordQuery
{
public:
    enum Table { Sent, Received };

    struct Built
    {
        std::optional<RecordsMessage> m_message; // the first failing check: no query
        bool m_bSend = true;
        QVector<SqlCatalogue::QueryCondition> m_conditions;
    };

    Table m_nTable = Sent;
    bool m_bNumber = false;
    QString m_strNumber;
    bool m_bDay = false;
    QDate m_day;
    bool m_bText = false;
    QString m_strText;
    bool m_bOrder = false;  // sent records only
    QString m_strOrder;
    bool m_bSucceeded = true; // sent records only: successful sends, or failed ones
    bool m_bReport = false;   // sent records only: those whose 回执 is m_nReport
    int m_nReport = SqlCatalogue::kReportDelivered;
    bool m_bModem = false;    // by the modem: its port, or its SIM (IMSI, or its last 4 digits or more)
    QString m_strModem;

    Built Build() const;

    static RecordsMessage EmptyNumber();
    static RecordsMessage BadNumber();
    static RecordsMessage EmptyOrder();
    static RecordsMessage BadOrder();
    static RecordsMessage EmptyModem();
    // The longest inputs the dialog's number and order edits take.
    static constexpr int kMaxNumberInput = 15;
    static constexpr int kMaxOrderInput = 15;
};
