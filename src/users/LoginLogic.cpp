#include "LoginLogic.h"

#include "base/CSettingsFile.h"
#include "base/PasswordHash.h"
#include "db/CDbAccess.h"
#include "db/Schema.h"

namespace {
const QChar kQuote = QLatin1Char('\'');
} // namespace

QString LoginLogic::validate()
{
    m_strName.remove(kQuote);
    m_strPassword.remove(kQuote);
    if (m_strName.isEmpty())
        return QStringLiteral("用户名不能为空!");
    if (m_strPassword.isEmpty())
        return QStringLiteral("密码不能为空!");
    return QString();
}

LoginLogic::Result LoginLogic::Check(CDbAccess &db)
{
    Result result;
    m_strUserFound.clear();
    m_bAdminFound = false;
    QString level, name, stored;
    bool found = false;
    try {
        const RecordsetPtr rs = db.OpenRecordset(Sql::UserSelectByName, {m_strName});
        result.m_databaseTexts = db.LastMessages();
        while (!rs->IsEOF()) {
            stored = rs->GetFieldText(QStringLiteral("D_PSW"));
            if (PasswordHash::Verify(stored, m_strPassword)) {
                level = rs->GetFieldText(QStringLiteral("D_LEVEL"));
                name = rs->GetFieldText(QStringLiteral("D_NAME"));
                found = true;
                break;
            }
            rs->MoveNext();
        }
    } catch (const CDbError &e) {
        result.m_strMessage = QStringLiteral("连接数据库出错\n请重新设置SQL相关信息\n") + e.Description();
        return result;
    }
    if (!found) {
        result.m_strMessage = QStringLiteral("用户名密码不正确!");
        result.m_icon = IMessageBox::Information;
        return result;
    }
    if (PasswordHash::NeedsUpgrade(stored)) {
        // Only the row that still holds this stored value; a failure is shown and leaves the
        // row as it was, which still logs in.
        const QString hash = PasswordHash::Hash(m_strPassword);
        if (!hash.isEmpty() && !db.Execute(Sql::UserUpgradePassword, {hash, name, stored}))
            result.m_databaseTexts += db.LastMessages();
    }
    m_strUserFound = name;
    m_bAdminFound = level == QStringLiteral("0");
    result.m_bOk = true;
    return result;
}

LoginLogic::Result LoginLogic::Login(CDbAccess &db)
{
    const QString invalid = validate();
    if (!invalid.isEmpty()) {
        Result r;
        r.m_strMessage = invalid;
        r.m_icon = IMessageBox::Information;
        return r;
    }
    return Check(db);
}

LoginLogic::Result LoginLogic::SaveSqlSettings(CSettingsFile &file, const SqlSettings &s)
{
    Result r;
    if (!s.Write(file)) {
        r.m_strMessage = QStringLiteral("无法写入设置文件 ") + file.Path();
        r.m_icon = IMessageBox::Warning;
        return r;
    }
    r.m_bOk = true;
    r.m_strMessage = QStringLiteral("SQL数据库设置保存成功!");
    r.m_icon = IMessageBox::Information;
    return r;
}

QString LoginLogic::FirstAdministratorHint()
{
    return QStringLiteral("初始管理员: %1  密码: %2").arg(Schema::kFirstAdminName, Schema::kFirstAdminPassword);
}
