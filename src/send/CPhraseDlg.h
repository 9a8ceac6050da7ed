#pragma once
// "插入常用短语": the stored phrases, a field for the text, and the commands of PhraseBook.
// "插入" (or a double-click) closes with the field's text, whatever it holds.
#include "db/CDbAccess.h"

#include <QDialog>
#include <memory>

class IMessageBox;
class PhraseBook;
class QLineEdit;
class QListWidget;

class CPhraseDlg : public QDialog
{
    Q_OBJECT
public:
    CPhraseDlg(CDbAccess::SettingsSource settings, IMessageBox &messages, QWidget *parent = nullptr);
    ~CPhraseDlg() override;

    // The text to insert (the field's text when the dialog closed with "插入").
    QString Text() const;

private:
    void Fill();
    int SelectedRow() const;
    // The list as the logic has it; no entry selected, the field untouched.
    void Refill();
    void OnSelectionChanged();
    void OnChange();
    void OnDelete();
    void OnAdd();
    // What the database said of the last statement that failed.
    void ShowDatabaseTexts();

    IMessageBox &m_messages;
    CDbAccess m_db;
    std::unique_ptr<PhraseBook> m_book;
    QListWidget *m_pList;
    QLineEdit *m_pEdit;
    bool m_bQuiet = false; // selection changes made by the dialog itself copy nothing
};
