#include "PasswordChangeLogic.h"

#include "base/PasswordHash.h"
#include "UserAdminLogic.h"
#include "db/CDbAccess.h"

namespace {
const QChar kQuote = QLatin1Char('\'');
const QString kEmpty = QStringLiteral("用户名或密码不能为空!");

int CountByName(CDbAccess &db, const QString &name)
{
    const RecordsetPtr rs = db.OpenRecordset(Sql::UserCountByName, {name});
    return rs->IsEOF() ? 0 : rs->GetFieldText(QStringLiteral("NUM")).toInt();
}
} // namespace

QString PasswordChangeLogic::validate()
{
    if (m_strName.isEmpty() || m_strPassword.isEmpty() || m_strRepeat.isEmpty())
        return kEmpty;
    if (const QString mismatch = CheckRepeat(m_strPassword, m_strRepeat); !mismatch.isEmpty())
        return mismatch;
    m_strName = UserAdminLogic::TypedName(m_strName);
    m_strPassword.remove(kQuote);
    // A name or password of quotes alone would be stored empty, and the login refuses an
    // empty one: the account could not be used again.
    if (m_strName.isEmpty() || m_strPassword.isEmpty())
        return kEmpty;
    if (const std::optional<AccountMessage> bad = UserAdminLogic::CheckName(m_strName))
        return bad->m_strText;
    return QString();
}

QString PasswordChangeLogic::RepeatMismatch()
{
    return QStringLiteral("两次输入密码不一致!");
}

QString PasswordChangeLogic::CheckRepeat(const QString &password, const QString &repeat)
{
    return password == repeat ? QString() : RepeatMismatch();
}

AccountMessage PasswordChangeLogic::Apply(CDbAccess &db, const QString &currentUser)
{
    m_bKeepOpen = true;
    const QString invalid = validate();
    if (!invalid.isEmpty())
        return AccountMessage::Refused(invalid, IMessageBox::Critical);
    const QString hash = PasswordHash::Hash(m_strPassword);
    if (hash.isEmpty())
        return AccountMessage::Refused(QStringLiteral("内存不足, 无法保存密码"), IMessageBox::Critical);

    AccountMessage refusal;
    bool written = false;
    bool committed = false;
    try {
        committed = db.Transaction([&] {
            if (m_strName != currentUser && CountByName(db, m_strName) > 0) {
                refusal = UserAdminLogic::Exists(m_strName);
                return false;
            }
            if (CountByName(db, currentUser) < 1) {
                m_bKeepOpen = false;
                refusal = UserAdminLogic::Missing(currentUser);
                return false;
            }
            written = db.Execute(Sql::UserRename, {m_strName, hash, currentUser});
            return written;
        });
    } catch (const CDbError &e) {
        m_bKeepOpen = false;
        // A statement that could not run has said why; a read that failed later has not.
        AccountMessage failed = AccountMessage::Refused(db.LastError().isEmpty() ? e.Description() : QString(), IMessageBox::Critical);
        failed.m_databaseTexts = db.LastMessages();
        return failed;
    }
    if (!refusal.m_strText.isEmpty())
        return refusal;
    m_bKeepOpen = false;
    if (!written || !committed) {
        AccountMessage failed = AccountMessage::Refused(QString(), IMessageBox::NoIcon);
        failed.m_databaseTexts = db.LastMessages();
        return failed;
    }
    return AccountMessage::Done(QStringLiteral("密码修改成功!"));
}
