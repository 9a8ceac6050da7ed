#pragma once
// "短信发送订单管理": the order list, the next order's text, times and imported numbers, and
// the scheduler's reminder switch. A thin window over OrderForm and OrderStore.
#include "OrderForm.h"
#include "OrderStore.h"

#include <QDialog>
#include <functional>

class CDbAccess;
class CSettingsFile;
class IMessageBox;
class OrderListModel;
class QCheckBox;
class QDateEdit;
class QLabel;
class QPlainTextEdit;
class QTableView;
class QTimeEdit;

class COrderDlg : public QDialog
{
    Q_OBJECT
public:
    // Reads a number file: accepted numbers (as sent, file order), rejected line count;
    // false when the file is not a number file.
    using NumberFileReader = std::function<bool(const QString &path, QStringList *numbers, int *failures)>;
    // The number file to import; "" when the operator cancelled.
    using FileChooser = std::function<QString(QWidget *parent)>;

    COrderDlg(CDbAccess &db, CSettingsFile &settings, IMessageBox &messages, NumberFileReader reader,
              QWidget *parent = nullptr);
    ~COrderDlg() override;

    void SetFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }
    // Takes a deleted order's messages out of this program's queue.
    using Withdraw = std::function<void(int order)>;
    void SetWithdraw(Withdraw withdraw) { m_withdraw = std::move(withdraw); }
    OrderListModel &Model() const { return *m_pModel; }
    const QStringList &ImportedNumbers() const { return m_form.m_numbers; }

    void ImportOrderNumbers();
    void AddOrder();
    void ModifyOrder();
    void DeleteOrder();

private:
    void LoadOrders();
    void RefreshStarts();
    void ShowOrder(const StoredOrder &order);
    void TakeControls();
    void OnTextChanged();
    int SelectedRow() const;

    OrderStore m_store;
    CSettingsFile &m_settings;
    IMessageBox &m_messages;
    NumberFileReader m_reader;
    FileChooser m_chooser;
    Withdraw m_withdraw;
    OrderForm m_form;
    QString m_strAccepted; // the text within the limit

    OrderListModel *m_pModel = nullptr;
    QTableView *m_pList = nullptr;
    QPlainTextEdit *m_pText = nullptr;
    QLabel *m_pCount = nullptr;
    QDateEdit *m_pStartDate = nullptr, *m_pEndDate = nullptr;
    QTimeEdit *m_pStartTime = nullptr, *m_pEndTime = nullptr;
    QCheckBox *m_pReminder = nullptr;
};
