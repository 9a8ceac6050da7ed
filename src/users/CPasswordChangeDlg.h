#pragma once
// A normal user's password change: it copies its fields into PasswordChangeLogic and shows
// what that returns. Ends with OK only when the account was changed.
#include <QDialog>

class CDbAccess;
class IMessageBox;
class QLineEdit;
class QPushButton;

class CPasswordChangeDlg : public QDialog
{
    Q_OBJECT
public:
    CPasswordChangeDlg(CDbAccess &db, IMessageBox &messages, const QString &user, QWidget *parent = nullptr);

    // The account's name after the change (quotes removed), for the logged-in user.
    QString UserName() const { return m_strUserName; }

private:
    void OnOk();

    CDbAccess &m_db;
    IMessageBox &m_messages;
    QString m_strCurrentUser;
    QString m_strUserName;
    QLineEdit *m_pName, *m_pPassword, *m_pRepeat;
    QPushButton *m_pOk, *m_pCancel;
};
