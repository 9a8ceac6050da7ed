#include "LoginLogic.h"

#include "PasswordHash.h"
#include "app/CSettingsFile.h"
#include "app/CSkevoApp.h"
#include "db/CDbAccess.h"
#include "db/Schema.h"

namespace {
const QString kSql = QStringLiteral("SQL");
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
        // Only the row that still holds this stored value; a failure has been reported by
        // the database layer and leaves the row as it was, which still logs in.
        const QString hash = PasswordHash::Hash(m_strPassword);
        if (!hash.isEmpty())
            db.Execute(Sql::UserUpgradePassword, {hash, name, stored});
    }
    m_strUserFound = name;
    m_bAdminFound = level == QStringLiteral("0");
    result.m_bOk = true;
    return result;
}

LoginLogic::Result LoginLogic::Login(CSkevoApp &app)
{
    const QString invalid = validate();
    if (!invalid.isEmpty()) {
        Result r;
        r.m_strMessage = invalid;
        r.m_icon = IMessageBox::Information;
        return r;
    }
    const Result r = Check(app.m_db);
    if (r.m_bOk) {
        app.m_strUser = m_strUserFound;
        app.m_bAdmin = m_bAdminFound;
    }
    return r;
}

LoginLogic::SqlSettings LoginLogic::ReadSqlSettings(const CSettingsFile &file)
{
    SqlSettings s;
    const QString driver = file.ReadString(kSql, QStringLiteral("Driver"), QStringLiteral("sqlite")).trimmed().toLower();
    const bool pg = driver == QStringLiteral("postgres") || driver == QStringLiteral("postgresql")
        || driver == QStringLiteral("psql");
    s.m_strDriver = pg ? QStringLiteral("postgres") : QStringLiteral("sqlite");
    s.m_strHost = file.ReadString(kSql, QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    s.m_strPort = file.ReadString(kSql, QStringLiteral("Port"), QStringLiteral("5432"));
    s.m_strUser = file.ReadString(kSql, QStringLiteral("User"), QStringLiteral("sa"));
    s.m_strPsw = file.ReadString(kSql, QStringLiteral("Psw"), QStringLiteral("749"));
    s.m_strData = file.ReadString(kSql, QStringLiteral("Data"), QStringLiteral("MYSKEVO"));
    return s;
}

LoginLogic::Result LoginLogic::SaveSqlSettings(CSettingsFile &file, const SqlSettings &s)
{
    Result r;
    const bool written = file.WriteString(kSql, QStringLiteral("Driver"), s.m_strDriver)
        && file.WriteString(kSql, QStringLiteral("Host"), s.m_strHost)
        && file.WriteString(kSql, QStringLiteral("Port"), s.m_strPort)
        && file.WriteString(kSql, QStringLiteral("User"), s.m_strUser)
        && file.WriteString(kSql, QStringLiteral("Psw"), s.m_strPsw)
        && file.WriteString(kSql, QStringLiteral("Data"), s.m_strData);
    if (!written) {
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
