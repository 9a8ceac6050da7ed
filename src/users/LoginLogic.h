#pragma once
// The login: who works with the program for the rest of the run, and whether as
// administrator. Also the connection settings the login dialog lets the operator change,
// since the first statement of the run is the login's and a wrong server shows up there.
#include "base/IMessageBox.h"
#include "base/SqlSettings.h"

#include <QString>
#include <QStringList>

class CDbAccess;
class CSettingsFile;

class LoginLogic
{
public:
    struct Result
    {
        bool m_bOk = false;
        QString m_strMessage; // to show when not ok ("" when there is nothing to show)
        IMessageBox::Icon m_icon = IMessageBox::NoIcon;
        // What the database said of statements that failed, to show before the message
        // (also when ok: a password left unhashed still logs in).
        QStringList m_databaseTexts;
    };

    // As typed; validate() removes the single quotes.
    QString m_strName;
    QString m_strPassword;

    // Removes every single quote from name and password; "" when both are left non-empty,
    // otherwise "用户名不能为空!" or "密码不能为空!".
    QString validate();

    // Looks the name up in T_USER and checks the password against each row of that name in
    // turn; the first row that matches decides. A row still holding the plain password is
    // upgraded to a hash. On success m_strUserFound and m_bAdminFound hold the result.
    Result Check(CDbAccess &db);
    // validate(), then Check() on db.
    Result Login(CDbAccess &db);

    QString m_strUserFound;  // D_NAME as the database returned it
    bool m_bAdminFound = false;

    // The settings panel: section SQL of setting.ini (read with SqlSettings::Read). Writes
    // the fields as given (empty ones as empty). The next statement of the program connects
    // with them. Returns the message to show.
    static Result SaveSqlSettings(CSettingsFile &file, const SqlSettings &settings);

    // The hint under the fields: the account a new database starts with.
    static QString FirstAdministratorHint();
};
