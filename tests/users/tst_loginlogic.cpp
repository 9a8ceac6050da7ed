// The login's logic on a real SQLite file and the real PostgreSQL server: the field checks,
// the password check against T_USER (hashes, old plain-text rows), the level, failures.
#include "FakeMessageBox.h"
#include "TestEnv.h"
#include "base/CSettingsFile.h"
#include "app/CSkevoApp.h"
#include "db/CDbAccess.h"
#include "db/Schema.h"
#include "users/LoginLogic.h"
#include "base/PasswordHash.h"
#include "DbTargets.h"

#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kCreated = QStringLiteral("2024-01-01 00:00:00");
}

class tst_LoginLogic : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }

    void validate_data();
    void validate();
    void firstAdministratorLogsIn_data() { DbTargets::AddDialectRows(); }
    void firstAdministratorLogsIn();
    void wrongPasswordOrName_data() { DbTargets::AddDialectRows(); }
    void wrongPasswordOrName();
    void levelDecidesAdministrator_data();
    void levelDecidesAdministrator();
    void plainTextRowLogsInOnceAndIsUpgraded_data() { DbTargets::AddDialectRows(); }
    void plainTextRowLogsInOnceAndIsUpgraded();
    void firstMatchingRowOfANameDecides_data() { DbTargets::AddDialectRows(); }
    void firstMatchingRowOfANameDecides();
    void databaseFailureGivesTheConnectionMessage_data();
    void databaseFailureGivesTheConnectionMessage();
    void sqlSettingsDefaultsAndSave();
    void savedSettingsReachTheLoginCheck();

private:
    CDbAccess &Db(const DbSettings &s)
    {
        m_db = std::make_unique<CDbAccess>([s] { return s; });
        m_db->SetErrorSink([this](const QString &t) { m_messages.Show(t); });
        return *m_db;
    }
    static void AddUser(CDbAccess &db, const QString &name, const QString &stored, int level)
    {
        QVERIFY(db.Execute(Sql::UserInsert, {name, stored, level, kCreated}));
    }

    DbTargets m_targets;
    FakeMessageBox m_messages;
    std::unique_ptr<CDbAccess> m_db;
};

void tst_LoginLogic::validate_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("nameAfter");
    QTest::newRow("both given") << "admin" << "admin" << "" << "admin";
    QTest::newRow("empty name") << "" << "x" << "用户名不能为空!" << "";
    QTest::newRow("name of quotes only") << "'''" << "x" << "用户名不能为空!" << "";
    QTest::newRow("empty password") << "admin" << "" << "密码不能为空!" << "admin";
    QTest::newRow("password of quotes only") << "admin" << "''" << "密码不能为空!" << "admin";
    QTest::newRow("both empty: the name first") << "" << "" << "用户名不能为空!" << "";
    QTest::newRow("quote inside the name") << "ad'min" << "a'b" << "" << "admin";
}

void tst_LoginLogic::validate()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, message);
    QFETCH(QString, nameAfter);
    LoginLogic l;
    l.m_strName = name;
    l.m_strPassword = password;
    QCOMPARE(l.validate(), message);
    QCOMPARE(l.m_strName, nameAfter);
    QVERIFY(!l.m_strPassword.contains(QLatin1Char('\'')));
}

void tst_LoginLogic::firstAdministratorLogsIn()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    CDbAccess &db = Db(*s);
    LoginLogic l;
    l.m_strName = Schema::kFirstAdminName;
    l.m_strPassword = Schema::kFirstAdminPassword;
    QCOMPARE(l.validate(), QString());
    const LoginLogic::Result r = l.Check(db);
    QVERIFY2(r.m_bOk, qPrintable(r.m_strMessage));
    QCOMPARE(l.m_strUserFound, Schema::kFirstAdminName);
    QVERIFY(l.m_bAdminFound);
    QVERIFY(m_messages.shown.isEmpty());
    QVERIFY(LoginLogic::FirstAdministratorHint().contains(Schema::kFirstAdminName));
    QVERIFY(LoginLogic::FirstAdministratorHint().contains(Schema::kFirstAdminPassword));
}

void tst_LoginLogic::wrongPasswordOrName()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    CDbAccess &db = Db(*s);
    AddUser(db, QStringLiteral("张三"), PasswordHash::Hash(QStringLiteral("正确")), 1);
    const struct { const char *name, *password; } tries[] = {{"张三", "错误"}, {"李四", "正确"}, {"张", "正确"}};
    for (const auto &t : tries) {
        LoginLogic l;
        l.m_strName = QString::fromUtf8(t.name);
        l.m_strPassword = QString::fromUtf8(t.password);
        const LoginLogic::Result r = l.Check(db);
        QVERIFY(!r.m_bOk);
        QCOMPARE(r.m_strMessage, QStringLiteral("用户名密码不正确!"));
        QCOMPARE(r.m_icon, IMessageBox::Information);
        QVERIFY(l.m_strUserFound.isEmpty());
    }
    LoginLogic l;
    l.m_strName = QStringLiteral("张三");
    l.m_strPassword = QStringLiteral("正确");
    QVERIFY(l.Check(db).m_bOk);
    QCOMPARE(l.m_strUserFound, QStringLiteral("张三"));
    QVERIFY(!l.m_bAdminFound);
}

void tst_LoginLogic::levelDecidesAdministrator_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("admin");
    for (int d : {int(DbSettings::Sqlite), int(DbSettings::Postgres)}) {
        const char *dn = d == DbSettings::Sqlite ? "sqlite" : "postgres";
        QTest::addRow("%s, level 0 is an administrator", dn) << d << 0 << true;
        QTest::addRow("%s, level 1 is a normal user", dn) << d << 1 << false;
        QTest::addRow("%s, level 2 is a normal user", dn) << d << 2 << false;
        QTest::addRow("%s, level -1 is a normal user", dn) << d << -1 << false;
    }
}

void tst_LoginLogic::levelDecidesAdministrator()
{
    QFETCH(int, level);
    QFETCH(bool, admin);
    SKEVO_FRESH_DB(m_targets, s);
    CDbAccess &db = Db(*s);
    AddUser(db, QStringLiteral("operator"), PasswordHash::Hash(QStringLiteral("pw")), level);
    LoginLogic l;
    l.m_strName = QStringLiteral("operator");
    l.m_strPassword = QStringLiteral("pw");
    QVERIFY(l.Check(db).m_bOk);
    QCOMPARE(l.m_bAdminFound, admin);
}

void tst_LoginLogic::plainTextRowLogsInOnceAndIsUpgraded()
{
    SKEVO_FRESH_DB(m_targets, s);
    m_messages.Clear();
    CDbAccess &db = Db(*s);
    AddUser(db, QStringLiteral("old"), QStringLiteral("plain749"), 0);
    DbProbe probe(*s);

    LoginLogic wrong;
    wrong.m_strName = QStringLiteral("old");
    wrong.m_strPassword = QStringLiteral("plain74");
    QVERIFY(!wrong.Check(db).m_bOk);
    QCOMPARE(probe.Value(QStringLiteral("SELECT D_PSW FROM T_USER WHERE D_NAME='old'")).toString(), QStringLiteral("plain749"));

    LoginLogic l;
    l.m_strName = QStringLiteral("old");
    l.m_strPassword = QStringLiteral("plain749");
    QVERIFY(l.Check(db).m_bOk);
    QVERIFY(l.m_bAdminFound);
    const QString stored = probe.Value(QStringLiteral("SELECT D_PSW FROM T_USER WHERE D_NAME='old'")).toString();
    QVERIFY2(PasswordHash::IsHash(stored), qPrintable(stored));
    QVERIFY(PasswordHash::Verify(stored, QStringLiteral("plain749")));
    // The next login goes through the hash.
    LoginLogic again;
    again.m_strName = QStringLiteral("old");
    again.m_strPassword = QStringLiteral("plain749");
    QVERIFY(again.Check(db).m_bOk);
    QVERIFY(m_messages.shown.isEmpty());
}

void tst_LoginLogic::firstMatchingRowOfANameDecides()
{
    SKEVO_FRESH_DB(m_targets, s);
    CDbAccess &db = Db(*s);
    AddUser(db, QStringLiteral("twin"), PasswordHash::Hash(QStringLiteral("first")), 1);
    AddUser(db, QStringLiteral("twin"), QStringLiteral("second"), 0); // an old plain row
    LoginLogic a;
    a.m_strName = QStringLiteral("twin");
    a.m_strPassword = QStringLiteral("first");
    QVERIFY(a.Check(db).m_bOk);
    QVERIFY(!a.m_bAdminFound);
    LoginLogic b;
    b.m_strName = QStringLiteral("twin");
    b.m_strPassword = QStringLiteral("second");
    QVERIFY(b.Check(db).m_bOk);
    QVERIFY(b.m_bAdminFound);
    // Only the plain row was upgraded: the first one still takes its own password.
    DbProbe probe(*s);
    const QVariantList stored = probe.Column(QStringLiteral("SELECT D_PSW FROM T_USER WHERE D_NAME='twin'"));
    QCOMPARE(stored.size(), 2);
    for (const QVariant &v : stored)
        QVERIFY(PasswordHash::IsHash(v.toString()));
    QVERIFY(a.Check(db).m_bOk);
    QVERIFY(!a.m_bAdminFound);
}

void tst_LoginLogic::databaseFailureGivesTheConnectionMessage_data()
{
    QTest::addColumn<int>("dialect");
    QTest::newRow("sqlite file in a missing folder") << int(DbSettings::Sqlite);
    QTest::newRow("postgres server not there") << int(DbSettings::Postgres);
}

void tst_LoginLogic::databaseFailureGivesTheConnectionMessage()
{
    QFETCH(int, dialect);
    QTemporaryDir dir;
    DbSettings s = TestEnv::Sqlite(dir.filePath(QStringLiteral("no/such/folder")));
    if (dialect == DbSettings::Postgres) {
        s.m_driver = DbSettings::Postgres;
        s.m_strHost = dir.path(); // a socket folder with no server in it
        s.m_nPort = 54999;
        s.m_strData = QStringLiteral("skevo");
        s.m_strUser = QStringLiteral("skevo");
    }
    m_messages.Clear();
    CDbAccess &db = Db(s);
    LoginLogic l;
    l.m_strName = QStringLiteral("admin");
    l.m_strPassword = QStringLiteral("admin");
    const LoginLogic::Result r = l.Check(db);
    QVERIFY(!r.m_bOk);
    const QString head = QStringLiteral("连接数据库出错\n请重新设置SQL相关信息\n");
    QVERIFY2(r.m_strMessage.startsWith(head), qPrintable(r.m_strMessage));
    QVERIFY(r.m_strMessage.size() > head.size());
    // The database layer has told its own description first.
    QVERIFY(!m_messages.shown.isEmpty());
}

void tst_LoginLogic::sqlSettingsDefaultsAndSave()
{
    QTemporaryDir dir;
    CSettingsFile file(dir.filePath(QStringLiteral("setting.ini")));
    const SqlSettings d = SqlSettings::Read(file);
    QCOMPARE(d.m_strDriver, QStringLiteral("sqlite"));
    QCOMPARE(d.m_strHost, QStringLiteral("127.0.0.1"));
    QCOMPARE(d.m_strUser, QStringLiteral("sa"));
    QCOMPARE(d.m_strPsw, QStringLiteral("749"));
    QCOMPARE(d.m_strPort, QStringLiteral("5432"));
    QCOMPARE(d.m_strData, QStringLiteral("MYSKEVO"));

    SqlSettings s;
    s.m_strDriver = QStringLiteral("postgres");
    s.m_strHost = QString();
    s.m_strPort = QStringLiteral("6543");
    s.m_strUser = QString();
    s.m_strPsw = QStringLiteral("秘密");
    s.m_strData = QStringLiteral("skevo");
    const LoginLogic::Result r = LoginLogic::SaveSqlSettings(file, s);
    QVERIFY(r.m_bOk);
    QCOMPARE(r.m_strMessage, QStringLiteral("SQL数据库设置保存成功!"));
    QCOMPARE(r.m_icon, IMessageBox::Information);
    const QString sql = QStringLiteral("SQL");
    QCOMPARE(file.ReadString(sql, QStringLiteral("Driver"), QString()), QStringLiteral("postgres"));
    // Empty fields are written as empty, not left at their defaults.
    QCOMPARE(file.ReadString(sql, QStringLiteral("Host"), QStringLiteral("default")), QString());
    QCOMPARE(file.ReadString(sql, QStringLiteral("User"), QStringLiteral("default")), QString());
    QCOMPARE(file.ReadString(sql, QStringLiteral("Psw"), QString()), QStringLiteral("秘密"));
    QCOMPARE(file.ReadInt(sql, QStringLiteral("Port"), 0), 6543);
    const SqlSettings back = SqlSettings::Read(file);
    QCOMPARE(back.m_strDriver, QStringLiteral("postgres"));
    QCOMPARE(back.m_strData, QStringLiteral("skevo"));
}

// A failed attempt connects to the database named then; settings saved afterwards (another
// database) must be what the next attempt checks against, as every other connection does.
void tst_LoginLogic::savedSettingsReachTheLoginCheck()
{
    QTemporaryDir dir;
    CSkevoApp app(dir.filePath(QStringLiteral("setting.ini")));
    SqlSettings s = SqlSettings::Read(app.Settings());
    s.m_strData = QStringLiteral("FIRST");
    QVERIFY(LoginLogic::SaveSqlSettings(app.Settings(), s).m_bOk);
    {
        CDbAccess other([&] {
            DbSettings o = app.ReadDbSettings();
            o.m_strSqliteFile = dir.filePath(QStringLiteral("OTHER.db"));
            return o;
        });
        AddUser(other, QStringLiteral("bob"), PasswordHash::Hash(QStringLiteral("pw")), 1);
    }
    LoginLogic l;
    l.m_strName = QStringLiteral("bob");
    l.m_strPassword = QStringLiteral("pw");
    QVERIFY(!l.Login(app.Db()).m_bOk); // no bob in FIRST

    s.m_strData = QStringLiteral("OTHER");
    QVERIFY(LoginLogic::SaveSqlSettings(app.Settings(), s).m_bOk);
    const LoginLogic::Result r = l.Login(app.Db());
    QVERIFY2(r.m_bOk, qPrintable(r.m_strMessage));
    QCOMPARE(l.m_strUserFound, QStringLiteral("bob"));
}

QTEST_MAIN(tst_LoginLogic)
#include "tst_loginlogic.moc"
