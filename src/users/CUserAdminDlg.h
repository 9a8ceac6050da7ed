#pragma once
// The account window of administrators: the list of accounts and a form below it. It
// copies the form into UserAdminLogic and shows what that returns.
#include "UserAdminLogic.h"
#include "db/CDbAccess.h"

#include <QDialog>

class IMessageBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

class CUserAdminDlg : public QDialog
{
    Q_OBJECT
public:
    // The window has a database connection of its own, made from settings.
    CUserAdminDlg(CDbAccess::SettingsSource settings, IMessageBox &messages, QWidget *parent = nullptr);
    ~CUserAdminDlg() override;

    int MarkedRow() const { return m_nMarked; }

private:
    void Fill();
    void OnRowClicked(int row);
    void OnAdd();
    void OnChange();
    void OnDelete();
    void TakeForm();

    IMessageBox &m_messages;
    CDbAccess m_db;
    UserAdminLogic m_logic;
    int m_nMarked = -1;

    QTableWidget *m_pList;
    QLineEdit *m_pName, *m_pPassword;
    QComboBox *m_pLevel;
    QPushButton *m_pChange, *m_pAdd, *m_pDelete, *m_pOk, *m_pCancel;
};
