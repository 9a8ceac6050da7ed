#pragma once
// The record query window: modeless, made hidden with the main window and kept for its whole
// life; closing it only hides it, so the inputs are there the next time. It copies its
// controls into a RecordQuery and shows the hits in the records list.
#include "RecordQuery.h"
#include "base/SmsRecord.h"

#include <QDialog>

class IMessageBox;
class RecordsModel;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CQueryDlg : public QDialog
{
    Q_OBJECT
public:
    CQueryDlg(RecordsModel &list, IMessageBox &messages, QWidget *parent = nullptr);

    // "查询(&S)" (or Enter): the checks, then the hits replace the list's rows.
    void RunQuery();
    // The controls as a query (what RunQuery runs).
    RecordQuery Inputs() const;

signals:
    // The hits have replaced the list's rows (the list shows them from the top).
    void queryLoaded();

private:
    void OnTableChosen();

    RecordsModel &m_list;
    IMessageBox &m_messages;
    QRadioButton *m_pSent = nullptr, *m_pReceived = nullptr;
    QCheckBox *m_pNumberBox = nullptr, *m_pDayBox = nullptr, *m_pTextBox = nullptr, *m_pOrderBox = nullptr;
    QCheckBox *m_pSucceeded = nullptr, *m_pReportBox = nullptr;
    QComboBox *m_pReport = nullptr;
    QCheckBox *m_pModemBox = nullptr;
    QLineEdit *m_pModem = nullptr;
    QLineEdit *m_pNumber = nullptr, *m_pText = nullptr, *m_pOrder = nullptr;
    QDateEdit *m_pDay = nullptr;
    QPushButton *m_pRun = nullptr;
};
