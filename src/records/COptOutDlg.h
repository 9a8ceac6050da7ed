#pragma once
// The 黑名单 dialog: the opt-out list with a filter and its count; 增加 (the number typed),
// 删除 (the rows chosen), 导入 and 导出 CSV. A thin window over OptOutLogic.
#include "OptOutLogic.h"

#include <QDialog>
#include <functional>

class IMessageBox;
class QLabel;
class QLineEdit;
class QTimer;
class QTableWidget;

class COptOutDlg : public QDialog
{
    Q_OBJECT
public:
    // A file to read (save false) or write; "" when the operator cancelled.
    using FileChooser = std::function<QString(QWidget *parent, bool save)>;

    COptOutDlg(CDbAccess &db, IMessageBox &messages, QWidget *parent = nullptr);
    // Files chosen otherwise than by the program's file dialog (a test).
    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    OptOutLogic &Logic() { return m_logic; }
    // "加入黑名单" of a record: its number goes on the list, the dialog shows it.
    void AddRecordNumber(const QString &number);

    void OnFilter();
    void OnAdd();
    void OnDelete();
    void OnImport();
    void OnExport();

private:
    void Show(const RecordsMessage &message);
    void Fill();

    OptOutLogic m_logic;
    IMessageBox &m_messages;
    FileChooser m_chooseFile;
    QLineEdit *m_pFilter = nullptr;
    QTimer *m_pFilterDelay = nullptr; // a list of a million is read once typing pauses
    QLineEdit *m_pNumber = nullptr;
    QTableWidget *m_pTable = nullptr;
    QLabel *m_pCount = nullptr;
};
