#include "UserAdminLogic.h"

#include "base/PasswordHash.h"
#include "db/CDbAccess.h"

#include <QDateTime>

namespace {
const QChar kQuote = QLatin1Char('\'');
const QString kPrompt = QStringLiteral("提示");

AccountMessage Stop(const QString &text)
{
    return AccountMessage::Refused(text, IMessageBox::Critical, kPrompt);
}

AccountMessage LastAdministrator()
{
    return Stop(QStringLiteral("至少要保留一个管理员账户"));
}
} // namespace

QString UserAdminLogic::TypedName(QString typed)
{
    return typed.remove(kQuote);
}

std::optional<AccountMessage> UserAdminLogic::CheckName(const QString &name)
{
    // A name of blanks looks like no name in every list, and one holding control characters
    // (an escape sequence, a line break) could rewrite a terminal or a list row.
    if (name.trimmed().isEmpty())
        return AccountMessage::Refused(QStringLiteral("用户名不能为空!"), IMessageBox::Information);
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return AccountMessage::Refused(QStringLiteral("用户名不能包含控制字符!"), IMessageBox::Information);
    }
    return std::nullopt;
}

UserAdminLogic::UserAdminLogic(CDbAccess &db) : m_db(db) {}

QString UserAdminLogic::LevelText(const QString &storedLevel)
{
    return storedLevel == QStringLiteral("0") ? QStringLiteral("管理员") : QStringLiteral("一般用户");
}

QString UserAdminLogic::LevelText(int position)
{
    return LevelText(QString::number(position));
}

QString UserAdminLogic::ExistsText(const QString &name)
{
    return QStringLiteral("该用户 ") + name + QStringLiteral(" 已经存在");
}

QString UserAdminLogic::MissingText(const QString &name)
{
    return QStringLiteral("该用户 ") + name + QStringLiteral(" 不存在");
}

AccountMessage UserAdminLogic::Exists(const QString &name)
{
    return Stop(ExistsText(name));
}

AccountMessage UserAdminLogic::Missing(const QString &name)
{
    return Stop(MissingText(name));
}

// A statement that did not run has said why; a read that failed afterwards (a NULL, a
// broken cursor) has not.
AccountMessage UserAdminLogic::ReadFailure(const QString &description) const
{
    AccountMessage m = AccountMessage::Refused(m_db.LastError().isEmpty() ? description : QString(), IMessageBox::Critical);
    m.m_databaseTexts = m_db.LastMessages();
    return m;
}

AccountMessage UserAdminLogic::WriteFailure() const
{
    AccountMessage m = AccountMessage::Refused(QString(), IMessageBox::NoIcon);
    m.m_databaseTexts = m_db.LastMessages();
    return m;
}

// Checks and their write run together, so that another workstation cannot add the same
// name, or delete the other accounts, between the check and the write.
std::optional<AccountMessage> UserAdminLogic::Guarded(const std::function<std::optional<AccountMessage>()> &check,
                                                      const std::function<bool()> &write)
{
    enum class Outcome { Written, Refused, Failed };
    Outcome outcome = Outcome::Failed;
    AccountMessage refusal;
    try {
        const bool committed = m_db.Transaction([&] {
            if (std::optional<AccountMessage> r = check()) {
                refusal = *r;
                outcome = Outcome::Refused;
                return false;
            }
            if (!write())
                return false;
            outcome = Outcome::Written;
            return true;
        });
        if (!committed && outcome == Outcome::Written)
            outcome = Outcome::Failed;
    } catch (const CDbError &e) {
        return ReadFailure(e.Description());
    }
    if (outcome == Outcome::Refused)
        return refusal;
    if (outcome == Outcome::Failed)
        return WriteFailure();
    return std::nullopt;
}

int UserAdminLogic::CountByName(const QString &name)
{
    const RecordsetPtr rs = m_db.OpenRecordset(Sql::UserCountByName, {name});
    return rs->IsEOF() ? 0 : rs->GetFieldText(QStringLiteral("NUM")).toInt();
}

int UserAdminLogic::CountOtherAdministrators(const QString &name)
{
    const RecordsetPtr rs = m_db.OpenRecordset(Sql::UserCountOtherAdmins, {name});
    return rs->IsEOF() ? 0 : rs->GetFieldText(QStringLiteral("NUM")).toInt();
}

int UserAdminLogic::CountAll()
{
    const RecordsetPtr rs = m_db.OpenRecordset(Sql::UserCount);
    return rs->IsEOF() ? 0 : rs->GetFieldText(QStringLiteral("NUM")).toInt();
}

AccountMessage UserAdminLogic::Load()
{
    m_accounts.clear();
    try {
        const RecordsetPtr rs = m_db.OpenRecordset(Sql::UserSelectAll);
        while (!rs->IsEOF()) {
            Account a;
            a.m_strName = rs->GetFieldText(QStringLiteral("D_NAME"));
            a.m_strLevel = rs->GetFieldText(QStringLiteral("D_LEVEL"));
            a.m_strCreated = rs->GetFieldText(QStringLiteral("D_CTIME"));
            m_accounts.append(a);
            rs->MoveNext();
        }
    } catch (const CDbError &e) {
        return ReadFailure(e.Description());
    }
    return AccountMessage::Done();
}

int UserAdminLogic::Find(const QString &name) const
{
    for (qsizetype i = 0; i < m_accounts.size(); ++i) {
        if (m_accounts.at(i).m_strName == name)
            return int(i);
    }
    return -1;
}

void UserAdminLogic::Mark(int row)
{
    if (row < 0 || row >= m_accounts.size())
        return;
    const Account &a = m_accounts.at(row);
    m_strName = a.m_strName;
    m_strPassword.clear();
    m_nLevel = a.IsAdministrator() ? Administrator : NormalUser;
}

AccountMessage UserAdminLogic::Add()
{
    m_strName = TypedName(m_strName);
    m_strPassword.remove(kQuote);
    if (const std::optional<AccountMessage> bad = CheckName(m_strName))
        return *bad;
    if (m_strPassword.isEmpty())
        return AccountMessage::Refused(QStringLiteral("密码不能为空!"), IMessageBox::Information);
    // Hashing takes a moment: done before the transaction holds the database.
    const QString hash = PasswordHash::Hash(m_strPassword);
    if (hash.isEmpty())
        return AccountMessage::Refused(QStringLiteral("内存不足, 无法保存密码"), IMessageBox::Critical);
    const QString created = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const std::optional<AccountMessage> stop = Guarded(
        [&]() -> std::optional<AccountMessage> {
            if (CountByName(m_strName) >= 1)
                return Exists(m_strName);
            return std::nullopt;
        },
        [&] { return m_db.Execute(Sql::UserInsert, {m_strName, hash, m_nLevel, created}); });
    if (stop)
        return *stop;
    m_accounts.append({m_strName, QString::number(m_nLevel), created});
    return AccountMessage::Done(QStringLiteral("增加成功!"));
}

AccountMessage UserAdminLogic::Change(int row)
{
    if (row < 0 || row >= m_accounts.size())
        return Stop(QStringLiteral("请选择要修改的用户名!"));
    m_strName = TypedName(m_strName);
    m_strPassword.remove(kQuote);
    // An account without a name could never log in again.
    if (const std::optional<AccountMessage> bad = CheckName(m_strName))
        return *bad;
    QString hash;
    if (!m_strPassword.isEmpty()) {
        hash = PasswordHash::Hash(m_strPassword);
        if (hash.isEmpty())
            return AccountMessage::Refused(QStringLiteral("内存不足, 无法保存密码"), IMessageBox::Critical);
    }
    const QString marked = m_accounts.at(row).m_strName;
    const std::optional<AccountMessage> stop = Guarded(
        [&]() -> std::optional<AccountMessage> {
            if (m_strName != marked && CountByName(m_strName) > 0)
                return Exists(m_strName);
            // Renamed or deleted meanwhile (another workstation): nothing would change.
            if (CountByName(marked) < 1)
                return Missing(marked);
            // Without an administrator nobody could manage the accounts any more.
            if (m_nLevel != Administrator && IsLastAdministrator(marked))
                return LastAdministrator();
            return std::nullopt;
        },
        [&] {
            return hash.isEmpty() ? m_db.Execute(Sql::UserUpdateKeepPassword, {m_strName, m_nLevel, marked})
                                  : m_db.Execute(Sql::UserUpdate, {m_strName, hash, m_nLevel, marked});
        });
    if (stop)
        return *stop;
    // Every row of that name: the statement changed them all.
    for (Account &a : m_accounts) {
        if (a.m_strName == marked) {
            a.m_strName = m_strName;
            a.m_strLevel = QString::number(m_nLevel);
        }
    }
    return AccountMessage::Done(QStringLiteral("修改成功!"));
}

// What keeps every account of that name from being deleted: it would leave no account, or
// no administrator.
std::optional<AccountMessage> UserAdminLogic::DeleteRefusal(const QString &name)
{
    if (CountAll() - CountByName(name) < 1)
        return Stop(QStringLiteral("将所有的用户删除后将无法登录系统!"));
    if (IsLastAdministrator(name))
        return LastAdministrator();
    return std::nullopt;
}

// Whether an account of that name is an administrator and no account of another name is.
bool UserAdminLogic::IsLastAdministrator(const QString &name)
{
    if (CountOtherAdministrators(name) > 0)
        return false;
    const RecordsetPtr rs = m_db.OpenRecordset(Sql::UserSelectByName, {name});
    for (; !rs->IsEOF(); rs->MoveNext()) {
        if (rs->GetFieldText(QStringLiteral("D_LEVEL")) == QStringLiteral("0"))
            return true;
    }
    return false;
}

AccountMessage UserAdminLogic::AskDelete(int row)
{
    if (row < 0 || row >= m_accounts.size())
        return Stop(QStringLiteral("请选择要删除的用户"));
    const QString name = m_accounts.at(row).m_strName;
    try {
        // Counted in the database: the list may be older than what another workstation did.
        if (const std::optional<AccountMessage> refused = DeleteRefusal(name))
            return *refused;
    } catch (const CDbError &e) {
        return ReadFailure(e.Description());
    }
    AccountMessage ask;
    ask.m_bOk = true;
    ask.m_strText = QStringLiteral("您真的要删除 ") + name + QStringLiteral(" 吗?");
    ask.m_strCaption = kPrompt;
    ask.m_icon = IMessageBox::Question;
    ask.m_buttons = IMessageBox::OkCancel;
    return ask;
}

AccountMessage UserAdminLogic::Delete(int row)
{
    if (row < 0 || row >= m_accounts.size())
        return Stop(QStringLiteral("请选择要删除的用户"));
    const QString name = m_accounts.at(row).m_strName;
    const std::optional<AccountMessage> stop = Guarded(
        [&] { return DeleteRefusal(name); },
        [&] { return m_db.Execute(Sql::UserDelete, {name}); });
    if (stop)
        return *stop;
    m_accounts.removeIf([&name](const Account &a) { return a.m_strName == name; });
    return AccountMessage::Done();
}

AccountMessage UserAdminLogic::SetPassword(int row)
{
    if (row < 0 || row >= m_accounts.size())
        return Stop(QStringLiteral("请选择要修改的用户名!"));
    m_strPassword.remove(kQuote);
    if (m_strPassword.isEmpty()) // Change would keep the old one
        return AccountMessage::Refused(QStringLiteral("密码不能为空!"), IMessageBox::Information);
    const Account &a = m_accounts.at(row);
    m_strName = a.m_strName;
    m_nLevel = a.m_strLevel.toInt();
    return Change(row);
}
