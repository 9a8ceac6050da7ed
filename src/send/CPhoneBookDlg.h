#pragma once
// "电话本": the phone book's list (a view over PhoneBookModel, filtered as one types), the
// three fields and the commands of PhoneBook. "插入(&I)" closes with the numbers of the
// chosen entries in m_selectedNumbers: a choice outlasts the filter, so the operator can
// choose across groups; a line under the list says how many are chosen. Enter in the fields
// never closes the dialog: it adds the entry when its number is new to the book.
#include "db/CDbAccess.h"

#include <QDialog>
#include <QStringList>
#include <functional>
#include <memory>

class IMessageBox;
class PhoneBook;
class PhoneBookModel;
struct PhoneBookEntry;
class QComboBox;
class QItemSelection;
class QLineEdit;
class QTableView;

class CPhoneBookDlg : public QDialog
{
    Q_OBJECT
public:
    CPhoneBookDlg(CDbAccess::SettingsSource settings, IMessageBox &messages, QWidget *parent = nullptr);
    ~CPhoneBookDlg() override;

    // The numbers handed back by "插入(&I)", top to bottom.
    QStringList m_selectedNumbers;

    // Asks for the CSV file to read (save false) or write (save true); "" on cancel. The
    // default shows the file dialogs; a test puts its own answer in.
    using FileChooser = std::function<QString(QWidget *parent, bool save)>;
    void SetFileChooser(FileChooser chooser);

    PhoneBookModel &Model();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int MarkedRow() const;
    PhoneBookEntry Fields() const;
    void OnRowClicked();
    void OnFilter(const QString &text);
    void OnSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected);
    void ShowChosenCount();
    bool IsNewNumber() const;
    void OnAdd();
    void OnModify();
    void OnDelete();
    void OnSelectAll();
    void OnSelectGroup();
    void OnInsert();
    void OnImport();
    void OnExport();

    struct Private;
    std::unique_ptr<Private> d;
};
