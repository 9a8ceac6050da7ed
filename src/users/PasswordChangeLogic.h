#pragma once
// A normal user's own account: a new password, and the name if the user wants another one.
// The new name must not be another account's.
#include "AccountMessage.h"

#include <QString>

class CDbAccess;

class PasswordChangeLogic
{
public:
    // As typed; Apply removes the single quotes from the name and the password.
    QString m_strName;
    QString m_strPassword;
    QString m_strRepeat;

    // "" when the fields may be applied, else "用户名或密码不能为空!" or RepeatMismatch().
    // The two passwords are compared as typed (CheckRepeat); the quotes go afterwards.
    QString validate();

    // "两次输入密码不一致!": the password typed again is not the first one.
    static QString RepeatMismatch();
    // "" when repeat is password as typed, else RepeatMismatch().
    static QString CheckRepeat(const QString &password, const QString &repeat);

    // validate(), then the account now named currentUser takes the name and password.
    // m_bKeepOpen tells whether the operator can mend the fields and try again.
    AccountMessage Apply(CDbAccess &db, const QString &currentUser);
    bool m_bKeepOpen = false;
};
