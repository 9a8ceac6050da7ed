// The two account windows offscreen, and the main window's account command that opens the
// one that fits the logged-in user.
#include "DbTargets.h"
#include "TestEnv.h"
#include "WindowKit.h"
#include "app/CMainFrame.h"
#include "app/CSkevoApp.h"
#include "app/IRingPlayer.h"
#include "db/Schema.h"
#include "users/CPasswordChangeDlg.h"
#include "users/CUserAdminDlg.h"
#include "users/LoginLogic.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

class tst_AccountDlgs : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void adminWindowListsAddsChangesDeletes();
    void passwordWindowStaysOnMistakesAndReturnsTheName();
    void frameOpensTheWindowForTheLevel_data();
    void frameOpensTheWindowForTheLevel();
    void databaseTextShownOnceByEachWindow();

private:
    bool LogsIn(const QString &name, const QString &password)
    {
        LoginLogic l;
        l.m_strName = name;
        l.m_strPassword = password;
        return l.Check(m_app->Db()).m_bOk;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CSkevoApp> m_app;
    FakeMessageBox m_messages;
};

void tst_AccountDlgs::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_app = std::make_unique<CSkevoApp>(m_dir->filePath(QStringLiteral("setting.ini")));
    m_messages.Clear();
    m_messages.answers.clear();
}

void tst_AccountDlgs::cleanup()
{
    m_app.reset();
    m_dir.reset();
}

void tst_AccountDlgs::adminWindowListsAddsChangesDeletes()
{
    CUserAdminDlg dlg(m_app->DbSettingsSource(), m_messages);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("账户管理"));
    auto *list = Child<QTableWidget>(dlg, "accountList");
    auto *name = Child<QLineEdit>(dlg, "nameEdit");
    auto *password = Child<QLineEdit>(dlg, "passwordEdit");
    auto *level = Child<QComboBox>(dlg, "levelCombo");
    QCOMPARE(password->echoMode(), QLineEdit::Normal);
    QCOMPARE(level->currentIndex(), -1);
    QCOMPARE(level->count(), 2);
    QCOMPARE(level->itemText(0), QStringLiteral("管理员"));
    QCOMPARE(level->itemText(1), QStringLiteral("一般用户"));
    QStringList headers;
    for (int c = 0; c < list->columnCount(); ++c)
        headers << list->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, QStringList({QStringLiteral("用户名"), QStringLiteral("权限"), QStringLiteral("创建时间")}));
    QCOMPARE(list->rowCount(), 1);
    QCOMPARE(list->item(0, 0)->text(), Schema::kFirstAdminName);
    QCOMPARE(list->item(0, 1)->text(), QStringLiteral("管理员"));

    // Delete with nothing marked, then of the only account.
    QTest::mouseClick(Child<QPushButton>(dlg, "deleteButton"), Qt::LeftButton);
    QCOMPARE(m_messages.Last(), QStringLiteral("请选择要删除的用户"));
    list->setCurrentCell(0, 0);
    QCOMPARE(dlg.MarkedRow(), 0);
    QCOMPARE(name->text(), Schema::kFirstAdminName);
    QCOMPARE(level->currentIndex(), 0);
    QTest::mouseClick(Child<QPushButton>(dlg, "deleteButton"), Qt::LeftButton);
    QCOMPARE(m_messages.Last(), QStringLiteral("将所有的用户删除后将无法登录系统!"));

    // Add: the typed quotes stay in the edit, the list and the table have none.
    name->setText(QStringLiteral("王'五"));
    password->setText(QStringLiteral("pw"));
    level->setCurrentIndex(1);
    QTest::mouseClick(Child<QPushButton>(dlg, "addButton"), Qt::LeftButton);
    QCOMPARE(m_messages.Last(), QStringLiteral("增加成功!"));
    QCOMPARE(name->text(), QStringLiteral("王'五"));
    QCOMPARE(list->rowCount(), 2);
    QCOMPARE(list->item(1, 0)->text(), QStringLiteral("王五"));
    QCOMPARE(list->item(1, 1)->text(), QStringLiteral("一般用户"));
    QVERIFY(LogsIn(QStringLiteral("王五"), QStringLiteral("pw")));

    // Change the new account: the password edit comes empty and an empty one keeps it.
    list->setCurrentCell(1, 0);
    QCOMPARE(password->text(), QString());
    QCOMPARE(level->currentIndex(), 1);
    level->setCurrentIndex(0);
    QTest::mouseClick(Child<QPushButton>(dlg, "changeButton"), Qt::LeftButton);
    QCOMPARE(m_messages.Last(), QStringLiteral("修改成功!"));
    QCOMPARE(list->item(1, 1)->text(), QStringLiteral("管理员"));
    QVERIFY(LogsIn(QStringLiteral("王五"), QStringLiteral("pw")));

    // Delete asks first; Cancel keeps the account.
    m_messages.Clear();
    m_messages.answers.enqueue(IMessageBox::AnswerCancel);
    QTest::mouseClick(Child<QPushButton>(dlg, "deleteButton"), Qt::LeftButton);
    QCOMPARE(m_messages.Texts(), QStringList({QStringLiteral("您真的要删除 王五 吗?")}));
    QCOMPARE(list->rowCount(), 2);
    QTest::mouseClick(Child<QPushButton>(dlg, "deleteButton"), Qt::LeftButton);
    QCOMPARE(m_messages.shown.size(), 2);
    QCOMPARE(list->rowCount(), 1);
    QCOMPARE(dlg.MarkedRow(), -1);
    QVERIFY(!LogsIn(QStringLiteral("王五"), QStringLiteral("pw")));
}

void tst_AccountDlgs::passwordWindowStaysOnMistakesAndReturnsTheName()
{
    CPasswordChangeDlg dlg(m_app->Db(), m_messages, Schema::kFirstAdminName);
    dlg.show();
    QCOMPARE(dlg.windowTitle(), QStringLiteral("一般用户修改密码"));
    auto *name = Child<QLineEdit>(dlg, "nameEdit");
    QCOMPARE(name->text(), Schema::kFirstAdminName);
    QCOMPARE(Child<QLineEdit>(dlg, "passwordEdit")->echoMode(), QLineEdit::Password);
    QCOMPARE(Child<QLineEdit>(dlg, "repeatEdit")->echoMode(), QLineEdit::Password);
    Child<QLineEdit>(dlg, "passwordEdit")->setText(QStringLiteral("a"));
    Child<QLineEdit>(dlg, "repeatEdit")->setText(QStringLiteral("b"));
    QTest::mouseClick(Child<QPushButton>(dlg, "okButton"), Qt::LeftButton);
    QCOMPARE(m_messages.Last(), QStringLiteral("两次输入密码不一致!"));
    QCOMPARE(m_messages.shown.last().icon, IMessageBox::Critical);
    QVERIFY(dlg.isVisible());
    Child<QLineEdit>(dlg, "repeatEdit")->setText(QStringLiteral("a"));
    name->setText(QStringLiteral("'root'"));
    QTest::mouseClick(Child<QPushButton>(dlg, "okButton"), Qt::LeftButton);
    QCOMPARE(m_messages.Last(), QStringLiteral("密码修改成功!"));
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.UserName(), QStringLiteral("root"));
    QVERIFY(LogsIn(QStringLiteral("root"), QStringLiteral("a")));
}

void tst_AccountDlgs::frameOpensTheWindowForTheLevel_data()
{
    QTest::addColumn<bool>("admin");
    QTest::newRow("administrator: account administration") << true;
    QTest::newRow("normal user: password change") << false;
}

void tst_AccountDlgs::frameOpensTheWindowForTheLevel()
{
    QFETCH(bool, admin);
    m_app->SetUser(Schema::kFirstAdminName, admin);
    FakeRing ring;
    QSettings profile(m_dir->filePath(QStringLiteral("profile.ini")), QSettings::IniFormat);
    CMainFrame frame(*m_app, m_messages, ring, &profile);
    auto *action = frame.findChild<QAction *>(QStringLiteral("actionAccounts"));
    QVERIFY(action->isEnabled());
    QString title;
    OnNextModal([&title](QWidget *w) {
        title = w->windowTitle();
        if (auto *pw = w->findChild<QLineEdit *>(QStringLiteral("passwordEdit")); pw && w->findChild<QLineEdit *>(QStringLiteral("repeatEdit"))) {
            w->findChild<QLineEdit *>(QStringLiteral("nameEdit"))->setText(QStringLiteral("新名字"));
            pw->setText(QStringLiteral("x"));
            w->findChild<QLineEdit *>(QStringLiteral("repeatEdit"))->setText(QStringLiteral("x"));
            w->findChild<QPushButton *>(QStringLiteral("okButton"))->click();
        } else {
            w->findChild<QPushButton *>(QStringLiteral("cancelButton"))->click();
        }
    });
    action->trigger();
    QCOMPARE(title, admin ? QStringLiteral("账户管理") : QStringLiteral("一般用户修改密码"));
    const QString user = admin ? Schema::kFirstAdminName : QStringLiteral("新名字");
    QCOMPARE(m_app->User(), user);
    QCOMPARE(frame.findChild<QLabel *>(QStringLiteral("paneUser"))->text(), QStringLiteral("当前管理员:") + user);
}

QTEST_MAIN(tst_AccountDlgs)
#include "tst_accountdlgs.moc"

// Without the accounts table both windows show what the database said, once, as they are
// the ones that asked.
void tst_AccountDlgs::databaseTextShownOnceByEachWindow()
{
    QVERIFY(m_app->Db().Connect());
    {
        DbProbe probe(m_app->ReadDbSettings());
        QVERIFY2(probe.Exec(QStringLiteral("DROP TABLE T_USER")), qPrintable(probe.Error()));
    }
    {
        CUserAdminDlg admin(m_app->DbSettingsSource(), m_messages);
        QCOMPARE(m_messages.shown.size(), 1);
        QVERIFY2(m_messages.Last().contains(QStringLiteral("T_USER")), qPrintable(m_messages.Last()));
        QCOMPARE(m_messages.shown.last().icon, IMessageBox::NoIcon);
    }
    m_messages.Clear();
    CPasswordChangeDlg dlg(m_app->Db(), m_messages, Schema::kFirstAdminName);
    dlg.show();
    Child<QLineEdit>(dlg, "passwordEdit")->setText(QStringLiteral("a"));
    Child<QLineEdit>(dlg, "repeatEdit")->setText(QStringLiteral("a"));
    QTest::mouseClick(Child<QPushButton>(dlg, "okButton"), Qt::LeftButton);
    QCOMPARE(m_messages.shown.size(), 1);
    QVERIFY2(m_messages.Last().contains(QStringLiteral("T_USER")), qPrintable(m_messages.Last()));
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(!dlg.isVisible());
}
