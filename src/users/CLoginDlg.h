#pragma once
// The login window: name and password, and a fold-out panel with the database settings.
// It copies its fields into LoginLogic and shows what that returns.
#include "LoginLogic.h"

#include <QDialog>

class CDbAccess;
class CSettingsFile;
class IMessageBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

class CLoginDlg : public QDialog
{
    Q_OBJECT
public:
    // A successful login writes the account's name and whether it is an administrator
    // into user and admin.
    CLoginDlg(CSettingsFile &settings, CDbAccess &db, QString &user, bool &admin, IMessageBox &messages,
              QWidget *parent = nullptr);

    bool IsUnfolded() const;

private:
    void OnLogin();
    void OnFold();
    void OnSave();

    CSettingsFile &m_settings;
    CDbAccess &m_db;
    QString &m_strUser;
    bool &m_bAdmin;
    IMessageBox &m_messages;
    QLineEdit *m_pName, *m_pPassword;
    QPushButton *m_pLogin, *m_pCancel, *m_pFold, *m_pSave;
    QGroupBox *m_pPanel;
    QComboBox *m_pDriver;
    QLineEdit *m_pHost, *m_pPort, *m_pSqlUser, *m_pSqlPsw, *m_pData;
};
