#pragma once
// The accounts of T_USER as an administrator manages them: the list, and adding, changing
// and deleting one account with the checks the operator is told about. The account
// window and `skevo-cli user` both work through this class.
//
// Passwords are stored only as hashes, so the list carries none and a change with an empty
// password field keeps the account's password.
#include "AccountMessage.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

class CDbAccess;

class UserAdminLogic
{
public:
    // Positions of the level list; what D_LEVEL stores.
    enum Level { NoLevel = -1, Administrator = 0, NormalUser = 1 };

    struct Account
    {
        QString m_strName;
        QString m_strLevel;   // D_LEVEL as text
        QString m_strCreated; // D_CTIME, "YYYY-MM-DD HH:MM:SS"
        bool IsAdministrator() const { return m_strLevel == QStringLiteral("0"); }
        QString LevelText() const { return UserAdminLogic::LevelText(m_strLevel); }
    };

    explicit UserAdminLogic(CDbAccess &db);

    // The form, as typed: Add and Change remove the single quotes from name and password.
    // No change or deletion leaves the accounts without an administrator.
    QString m_strName;
    QString m_strPassword;
    int m_nLevel = NoLevel;

    // Reads every account, in the order the database returns them. On a failure the rows
    // read so far stay and the message says why.
    AccountMessage Load();
    const QList<Account> &Accounts() const { return m_accounts; }
    // The row of the first account of that name, -1 when there is none.
    int Find(const QString &name) const;
    // Puts a row into the form: its name and level, and an empty password (kept on Change).
    void Mark(int row);

    AccountMessage Add();            // a new account from the form, appended to the list
    AccountMessage Change(int row);  // the account of that row (-1: none marked) takes the form
    // Whether the row may be deleted: a refusal, or (m_bOk) the question to ask first.
    AccountMessage AskDelete(int row);
    AccountMessage Delete(int row);  // removes the row from the list on success; shows nothing
    // A new password (m_strPassword) for the account of that row, name and level kept: what an
    // administrator who has lost every password runs from a shell.
    AccountMessage SetPassword(int row);

    static QString LevelText(const QString &storedLevel); // "管理员" for "0", else "一般用户"
    static QString LevelText(int position);
    static QString ExistsText(const QString &name);       // "该用户 <name> 已经存在"
    static QString MissingText(const QString &name);      // "该用户 <name> 不存在"
    static AccountMessage Exists(const QString &name);
    static AccountMessage Missing(const QString &name);
    // A name as typed, without the single quotes that are never stored.
    static QString TypedName(QString typed);
    // Refuses a name that is blank or holds control characters.
    static std::optional<AccountMessage> CheckName(const QString &name);

private:
    int CountByName(const QString &name);
    int CountAll();
    int CountOtherAdministrators(const QString &name);
    bool IsLastAdministrator(const QString &name);
    std::optional<AccountMessage> DeleteRefusal(const QString &name);
    AccountMessage ReadFailure(const QString &description) const;
    AccountMessage WriteFailure() const; // what the database said of the write
    // The check and, when it lets the write go ahead, the write, in one transaction: nothing
    // when the write is committed, otherwise what to show.
    std::optional<AccountMessage> Guarded(const std::function<std::optional<AccountMessage>()> &check,
                                          const std::function<bool()> &write);

    CDbAccess &m_db;
    QList<Account> m_accounts;
};
