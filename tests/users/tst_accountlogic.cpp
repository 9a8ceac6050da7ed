// Account administration and the password change on a real SQLite file and the real
// PostgreSQL server: hashes only, unique names, at least one account and one administrator kept.
#include "FakeMessageBox.h"
#include "TestEnv.h"
#include "db/CDbAccess.h"
#include "db/Schema.h"
#include "users/LoginLogic.h"
#include "users/PasswordChangeLogic.h"
#include "base/PasswordHash.h"
#include "users/UserAdminLogic.h"
#include "DbTargets.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class tst_AccountLogic : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }

    void addStoresAHashAndKeepsNamesUnique_data() { DbTargets::AddDialectRows(); }
    void addStoresAHashAndKeepsNamesUnique();
    void formChecks_data();
    void formChecks();
    void changeKeepsNamesUniqueAndPasswordsWhenEmpty_data() { DbTargets::AddDialectRows(); }
    void changeKeepsNamesUniqueAndPasswordsWhenEmpty();
    void deleteKeepsOneAccountAndOneAdministrator_data() { DbTargets::AddDialectRows(); }
    void deleteKeepsOneAccountAndOneAdministrator();
    void passwordChangeChecks_data();
    void passwordChangeChecks();
    void passwordChangeRenamesAndRefusesAnotherAccountsName_data() { DbTargets::AddDialectRows(); }
    void passwordChangeRenamesAndRefusesAnotherAccountsName();
    void unreachableDatabase();

private:
    CDbAccess &Db(const DbSettings &s)
    {
        m_db = std::make_unique<CDbAccess>([s] { return s; });
        m_db->SetErrorSink([this](const QString &t) { m_messages.Show(t); });
        m_messages.Clear();
        return *m_db;
    }
    static bool LogsIn(CDbAccess &db, const QString &name, const QString &password)
    {
        LoginLogic l;
        l.m_strName = name;
        l.m_strPassword = password;
        return l.Check(db).m_bOk;
    }
    static AccountMessage Add(UserAdminLogic &logic, const QString &name, const QString &password, int level)
    {
        logic.m_strName = name;
        logic.m_strPassword = password;
        logic.m_nLevel = level;
        return logic.Add();
    }

    DbTargets m_targets;
    FakeMessageBox m_messages;
    std::unique_ptr<CDbAccess> m_db;
};

void tst_AccountLogic::addStoresAHashAndKeepsNamesUnique()
{
    SKEVO_FRESH_DB(m_targets, s);
    CDbAccess &db = Db(*s);
    UserAdminLogic logic(db);
    QVERIFY(logic.Load().m_bOk);
    QCOMPARE(logic.Accounts().size(), 1);
    QCOMPARE(logic.Accounts().at(0).m_strName, Schema::kFirstAdminName);
    QCOMPARE(logic.Accounts().at(0).LevelText(), QStringLiteral("管理员"));

    AccountMessage r = Add(logic, QStringLiteral("张'三"), QStringLiteral("p'w"), UserAdminLogic::NormalUser);
    QVERIFY(r.m_bOk);
    QCOMPARE(r.m_strText, QStringLiteral("增加成功!"));
    QCOMPARE(r.m_icon, IMessageBox::Information);
    const UserAdminLogic::Account added = logic.Accounts().last();
    QCOMPARE(added.m_strName, QStringLiteral("张三"));
    QCOMPARE(added.LevelText(), QStringLiteral("一般用户"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")).match(added.m_strCreated).hasMatch());
    DbProbe probe(*s);
    const QString stored = probe.Value(QStringLiteral("SELECT D_PSW FROM T_USER WHERE D_NAME=?"), {added.m_strName}).toString();
    QVERIFY2(PasswordHash::IsHash(stored), qPrintable(stored));
    QVERIFY(LogsIn(db, QStringLiteral("张三"), QStringLiteral("pw")));

    r = Add(logic, QStringLiteral("张三"), QStringLiteral("other"), UserAdminLogic::Administrator);
    QVERIFY(!r.m_bOk);
    QCOMPARE(r.m_strText, QStringLiteral("该用户 张三 已经存在"));
    QCOMPARE(r.m_strCaption, QStringLiteral("提示"));
    QCOMPARE(r.m_icon, IMessageBox::Critical);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_USER")).toInt(), 2);

    // No level chosen: stored as -1, listed (and logged in) as a normal user.
    QVERIFY(Add(logic, QStringLiteral("无级别"), QStringLiteral("x"), UserAdminLogic::NoLevel).m_bOk);
    QCOMPARE(probe.Value(QStringLiteral("SELECT D_LEVEL FROM T_USER WHERE D_NAME=?"), {QStringLiteral("无级别")}).toInt(), -1);
    UserAdminLogic reread(db);
    QVERIFY(reread.Load().m_bOk);
    QCOMPARE(reread.Accounts().size(), 3);
    QCOMPARE(reread.Accounts().at(reread.Find(QStringLiteral("无级别"))).LevelText(), QStringLiteral("一般用户"));
    QVERIFY(m_messages.shown.isEmpty());
}

void tst_AccountLogic::formChecks_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::newRow("add, empty name") << "add" << "" << "pw" << "用户名不能为空!";
    QTest::newRow("add, name of quotes") << "add" << "''" << "pw" << "用户名不能为空!";
    QTest::newRow("add, name of blanks") << "add" << " \t " << "pw" << "用户名不能为空!";
    QTest::newRow("add, escape sequence in the name") << "add" << "a\x1b]0;x\x07" << "pw" << "用户名不能包含控制字符!";
    QTest::newRow("change, line break in the name") << "change" << "a\nb" << "pw" << "用户名不能包含控制字符!";
    QTest::newRow("add, empty password") << "add" << "n" << "" << "密码不能为空!";
    QTest::newRow("add, password of quotes") << "add" << "n" << "'" << "密码不能为空!";
    QTest::newRow("change, empty name") << "change" << "" << "pw" << "用户名不能为空!";
    QTest::newRow("change, nothing marked") << "unmarked" << "n" << "pw" << "请选择要修改的用户名!";
    QTest::newRow("delete, nothing marked") << "delete" << "" << "" << "请选择要删除的用户";
}

void tst_AccountLogic::formChecks()
{
    QFETCH(QString, action);
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, message);
    QTemporaryDir dir;
    CDbAccess &db = Db(TestEnv::Sqlite(dir.path()));
    UserAdminLogic logic(db);
    QVERIFY(logic.Load().m_bOk);
    logic.m_strName = name;
    logic.m_strPassword = password;
    const AccountMessage r = action == QStringLiteral("add") ? logic.Add()
        : action == QStringLiteral("change")                 ? logic.Change(0)
        : action == QStringLiteral("unmarked")               ? logic.Change(-1)
                                                             : logic.AskDelete(-1);
    QVERIFY(!r.m_bOk);
    QCOMPARE(r.m_strText, message);
    DbProbe probe(TestEnv::Sqlite(dir.path()));
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_USER")).toInt(), 1);
    QCOMPARE(probe.Value(QStringLiteral("SELECT D_NAME FROM T_USER")).toString(), Schema::kFirstAdminName);
}

void tst_AccountLogic::changeKeepsNamesUniqueAndPasswordsWhenEmpty()
{
    SKEVO_FRESH_DB(m_targets, s);
    CDbAccess &db = Db(*s);
    UserAdminLogic logic(db);
    QVERIFY(logic.Load().m_bOk);
    QVERIFY(Add(logic, QStringLiteral("op"), QStringLiteral("old"), UserAdminLogic::NormalUser).m_bOk);
    const int row = logic.Find(QStringLiteral("op"));

    // Another account's name is refused.
    logic.Mark(row);
    QCOMPARE(logic.m_strPassword, QString());
    QCOMPARE(logic.m_nLevel, int(UserAdminLogic::NormalUser));
    logic.m_strName = Schema::kFirstAdminName;
    AccountMessage r = logic.Change(row);
    QCOMPARE(r.m_strText, QStringLiteral("该用户 admin 已经存在"));
    QCOMPARE(r.m_strCaption, QStringLiteral("提示"));
    QVERIFY(LogsIn(db, QStringLiteral("op"), QStringLiteral("old")));

    // Its own name: level and password change; an empty password keeps the stored one.
    logic.Mark(row);
    logic.m_nLevel = UserAdminLogic::Administrator;
    r = logic.Change(row);
    QCOMPARE(r.m_strText, QStringLiteral("修改成功!"));
    QVERIFY(LogsIn(db, QStringLiteral("op"), QStringLiteral("old")));
    QCOMPARE(logic.Accounts().at(row).LevelText(), QStringLiteral("管理员"));
    logic.m_strName = QStringLiteral("o'p2");
    logic.m_strPassword = QStringLiteral("new");
    QVERIFY(logic.Change(row).m_bOk);
    QCOMPARE(logic.Accounts().at(row).m_strName, QStringLiteral("op2"));
    QVERIFY(!LogsIn(db, QStringLiteral("op2"), QStringLiteral("old")));
    QVERIFY(LogsIn(db, QStringLiteral("op2"), QStringLiteral("new")));

    // Renamed meanwhile by another workstation: said so, nothing written.
    UserAdminLogic other(db);
    QVERIFY(other.Load().m_bOk);
    other.Mark(other.Find(QStringLiteral("op2")));
    other.m_strName = QStringLiteral("op3");
    QVERIFY(other.Change(other.Find(QStringLiteral("op2"))).m_bOk);
    logic.Mark(row);
    r = logic.Change(row);
    QCOMPARE(r.m_strText, QStringLiteral("该用户 op2 不存在"));
    QVERIFY(m_messages.shown.isEmpty());
}

void tst_AccountLogic::deleteKeepsOneAccountAndOneAdministrator()
{
    SKEVO_FRESH_DB(m_targets, s);
    CDbAccess &db = Db(*s);
    UserAdminLogic logic(db);
    QVERIFY(logic.Load().m_bOk);
    AccountMessage r = logic.AskDelete(0);
    QCOMPARE(r.m_strText, QStringLiteral("将所有的用户删除后将无法登录系统!"));
    QCOMPARE(r.m_icon, IMessageBox::Critical);
    QVERIFY(!logic.Delete(0).m_bOk);

    // The last administrator can be neither deleted nor demoted while a normal user stays.
    const QString lastAdmin = QStringLiteral("至少要保留一个管理员账户");
    QVERIFY(Add(logic, QStringLiteral("second"), QStringLiteral("pw"), UserAdminLogic::NormalUser).m_bOk);
    r = logic.AskDelete(0);
    QCOMPARE(r.m_strText, lastAdmin);
    QCOMPARE(r.m_strCaption, QStringLiteral("提示"));
    QCOMPARE(r.m_icon, IMessageBox::Critical);
    QCOMPARE(logic.Delete(0).m_strText, lastAdmin);
    logic.Mark(0);
    logic.m_nLevel = UserAdminLogic::NormalUser;
    QCOMPARE(logic.Change(0).m_strText, lastAdmin);
    logic.Mark(logic.Find(QStringLiteral("second")));
    QVERIFY(logic.Change(logic.Find(QStringLiteral("second"))).m_bOk); // a normal user stays one

    QVERIFY(Add(logic, QStringLiteral("third"), QStringLiteral("pw"), UserAdminLogic::Administrator).m_bOk);
    r = logic.AskDelete(0);
    QVERIFY(r.m_bOk);
    QCOMPARE(r.m_strText, QStringLiteral("您真的要删除 admin 吗?"));
    QCOMPARE(r.m_strCaption, QStringLiteral("提示"));
    QCOMPARE(r.m_icon, IMessageBox::Question);
    QCOMPARE(r.m_buttons, IMessageBox::OkCancel);

    // Another workstation deletes "third" meanwhile: the database, not the older list, counts.
    UserAdminLogic other(db);
    QVERIFY(other.Load().m_bOk);
    QVERIFY(other.Delete(other.Find(QStringLiteral("third"))).m_bOk);
    QCOMPARE(logic.Delete(0).m_strText, lastAdmin);

    QVERIFY(Add(logic, QStringLiteral("fourth"), QStringLiteral("pw"), UserAdminLogic::Administrator).m_bOk);
    r = logic.Delete(0);
    QVERIFY(r.m_bOk);
    QVERIFY(r.m_strText.isEmpty());
    QCOMPARE(logic.Find(Schema::kFirstAdminName), -1);
    DbProbe probe(*s);
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_NAME FROM T_USER ORDER BY D_NAME")),
             QVariantList({QStringLiteral("fourth"), QStringLiteral("second")}));
}

void tst_AccountLogic::passwordChangeChecks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("repeat");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty name") << "" << "a" << "a" << "用户名或密码不能为空!";
    QTest::newRow("empty password") << "u" << "" << "a" << "用户名或密码不能为空!";
    QTest::newRow("empty repetition") << "u" << "a" << "" << "用户名或密码不能为空!";
    QTest::newRow("different") << "u" << "a" << "b" << "两次输入密码不一致!";
    QTest::newRow("compared before the quotes go") << "u" << "a'" << "a" << "两次输入密码不一致!";
    QTest::newRow("password of quotes only") << "u" << "''" << "''" << "用户名或密码不能为空!";
    QTest::newRow("name of quotes only") << "'" << "a" << "a" << "用户名或密码不能为空!";
    QTest::newRow("name with a control character") << "u\x07" << "a" << "a" << "用户名不能包含控制字符!";
    QTest::newRow("fine") << "u'" << "a'b" << "a'b" << "";
}

void tst_AccountLogic::passwordChangeChecks()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, repeat);
    QFETCH(QString, message);
    PasswordChangeLogic l;
    l.m_strName = name;
    l.m_strPassword = password;
    l.m_strRepeat = repeat;
    QCOMPARE(l.validate(), message);
    if (message.isEmpty()) {
        QCOMPARE(l.m_strName, QStringLiteral("u"));
        QCOMPARE(l.m_strPassword, QStringLiteral("ab"));
    }
}

void tst_AccountLogic::passwordChangeRenamesAndRefusesAnotherAccountsName()
{
    SKEVO_FRESH_DB(m_targets, s);
    CDbAccess &db = Db(*s);
    UserAdminLogic admin(db);
    QVERIFY(admin.Load().m_bOk);
    QVERIFY(Add(admin, QStringLiteral("user"), QStringLiteral("pw"), UserAdminLogic::NormalUser).m_bOk);

    PasswordChangeLogic taken;
    taken.m_strName = Schema::kFirstAdminName;
    taken.m_strPassword = taken.m_strRepeat = QStringLiteral("mine");
    AccountMessage r = taken.Apply(db, QStringLiteral("user"));
    QVERIFY(!r.m_bOk);
    QCOMPARE(r.m_strText, QStringLiteral("该用户 admin 已经存在"));
    QCOMPARE(r.m_strCaption, QStringLiteral("提示"));
    QVERIFY(taken.m_bKeepOpen);
    DbProbe probe(*s);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_USER WHERE D_NAME=?"), {Schema::kFirstAdminName}).toInt(), 1);
    QVERIFY(LogsIn(db, QStringLiteral("user"), QStringLiteral("pw")));

    PasswordChangeLogic same;
    same.m_strName = QStringLiteral("user");
    same.m_strPassword = same.m_strRepeat = QStringLiteral("new");
    QCOMPARE(same.Apply(db, QStringLiteral("user")).m_strText, QStringLiteral("密码修改成功!"));
    QVERIFY(LogsIn(db, QStringLiteral("user"), QStringLiteral("new")));

    PasswordChangeLogic rename;
    rename.m_strName = QStringLiteral("用'户");
    rename.m_strPassword = rename.m_strRepeat = QStringLiteral("newer");
    r = rename.Apply(db, QStringLiteral("user"));
    QVERIFY(r.m_bOk);
    QCOMPARE(r.m_icon, IMessageBox::Information);
    QCOMPARE(rename.m_strName, QStringLiteral("用户"));
    QVERIFY(LogsIn(db, QStringLiteral("用户"), QStringLiteral("newer")));
    QCOMPARE(probe.Value(QStringLiteral("SELECT D_LEVEL FROM T_USER WHERE D_NAME=?"), {QStringLiteral("用户")}).toInt(), 1);
    QVERIFY(PasswordHash::IsHash(probe.Value(QStringLiteral("SELECT D_PSW FROM T_USER WHERE D_NAME=?"), {QStringLiteral("用户")}).toString()));

    // The account under the old name is gone: said so, and the window need not stay.
    r = same.Apply(db, QStringLiteral("user"));
    QCOMPARE(r.m_strText, QStringLiteral("该用户 user 不存在"));
    QVERIFY(!same.m_bKeepOpen);
    QVERIFY(m_messages.shown.isEmpty());
}

void tst_AccountLogic::unreachableDatabase()
{
    QTemporaryDir dir;
    CDbAccess &db = Db(TestEnv::Sqlite(dir.filePath(QStringLiteral("no/such/folder"))));
    UserAdminLogic logic(db);
    // The database layer tells its own description once; the logic adds nothing to it.
    AccountMessage r = logic.Load();
    QVERIFY(!r.m_bOk);
    QVERIFY(r.m_strText.isEmpty());
    QVERIFY(!m_messages.shown.isEmpty());
    m_messages.Clear();
    r = Add(logic, QStringLiteral("n"), QStringLiteral("p"), UserAdminLogic::NormalUser);
    QVERIFY(!r.m_bOk);
    QVERIFY(r.m_strText.isEmpty());
    QVERIFY(!m_messages.shown.isEmpty());
    PasswordChangeLogic change;
    change.m_strName = QStringLiteral("n");
    change.m_strPassword = change.m_strRepeat = QStringLiteral("p");
    QVERIFY(!change.Apply(db, QStringLiteral("n")).m_bOk);
    QVERIFY(!change.m_bKeepOpen);
}

QTEST_MAIN(tst_AccountLogic)
#include "tst_accountlogic.moc"
