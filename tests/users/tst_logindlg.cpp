// The login window: its controls, the fold-out settings panel, logging in through it and
// saving connection settings that the next attempt uses.
#include "DbTargets.h"
#include "FakeMessageBox.h"
#include "app/CSkevoApp.h"
#include "users/CLoginDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class tst_LoginDlg : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void controls();
    void foldButtonShowsAndHidesThePanel();
    void emptyFieldsAreRefused_data();
    void emptyFieldsAreRefused();
    void loginSetsUserAndLevel();
    void wrongPasswordStays();
    void savedSettingsTakeEffectAtTheNextAttempt();
    void cancelWritesNothing();
    void databaseTextsShownByTheDialog_data();
    void databaseTextsShownByTheDialog();

private:
    template<class T> T *Find(const char *name) { return m_dlg->findChild<T *>(QString::fromLatin1(name)); }
    void Type(const char *edit, const QString &text)
    {
        QLineEdit *e = Find<QLineEdit>(edit);
        QVERIFY(e);
        e->setText(text);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CSkevoApp> m_app;
    std::unique_ptr<CLoginDlg> m_dlg;
    QString m_strUser; // what a successful login writes
    bool m_bAdmin = false;
    FakeMessageBox m_messages;
};

void tst_LoginDlg::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_app = std::make_unique<CSkevoApp>(m_dir->filePath(QStringLiteral("setting.ini")));
    m_messages.Clear();
    m_strUser.clear();
    m_bAdmin = false;
    m_dlg = std::make_unique<CLoginDlg>(m_app->Settings(), m_app->Db(), m_strUser, m_bAdmin, m_messages);
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
}

void tst_LoginDlg::cleanup()
{
    m_dlg.reset();
    m_app.reset();
    m_dir.reset();
}

void tst_LoginDlg::controls()
{
    QCOMPARE(m_dlg->windowTitle(), QStringLiteral("登录"));
    QVERIFY(m_dlg->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!Find<QLabel>("banner")->pixmap().isNull());
    QCOMPARE(Find<QLineEdit>("passwordEdit")->echoMode(), QLineEdit::Password);
    QCOMPARE(Find<QLineEdit>("sqlPasswordEdit")->echoMode(), QLineEdit::Normal);
    QCOMPARE(Find<QPushButton>("loginButton")->text(), QStringLiteral("登录(&O)"));
    QVERIFY(Find<QPushButton>("loginButton")->isDefault());
    QCOMPARE(Find<QPushButton>("cancelButton")->text(), QStringLiteral("取消(&C)"));
    QCOMPARE(Find<QPushButton>("saveButton")->text(), QStringLiteral("保存修改(&S)"));
    QCOMPARE(Find<QGroupBox>("sqlGroup")->title(), QStringLiteral("SQL数据库设置"));
    QCOMPARE(Find<QLabel>("hintLabel")->text(), QStringLiteral("初始管理员: admin  密码: admin"));
    QCOMPARE(Find<QLabel>("takesEffectLabel")->text(), QStringLiteral("SQL设置修改保存后生效："));
    // The panel shows the settings file's values (defaults here).
    QCOMPARE(Find<QLineEdit>("hostEdit")->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(Find<QLineEdit>("sqlUserEdit")->text(), QStringLiteral("sa"));
    QCOMPARE(Find<QLineEdit>("sqlPasswordEdit")->text(), QStringLiteral("749"));
    QCOMPARE(Find<QLineEdit>("dataEdit")->text(), QStringLiteral("MYSKEVO"));
    QCOMPARE(Find<QComboBox>("driverCombo")->currentData().toString(), QStringLiteral("sqlite"));
}

void tst_LoginDlg::foldButtonShowsAndHidesThePanel()
{
    QPushButton *fold = Find<QPushButton>("foldButton");
    QGroupBox *panel = Find<QGroupBox>("sqlGroup");
    QCOMPARE(fold->text(), QStringLiteral("设置↓"));
    QVERIFY(!panel->isVisible());
    const int folded = m_dlg->height();
    const QPoint where = m_dlg->pos();

    QTest::mouseClick(fold, Qt::LeftButton);
    QCOMPARE(fold->text(), QStringLiteral("设置↑"));
    QVERIFY(panel->isVisible());
    QTRY_VERIFY(m_dlg->height() > folded);
    QVERIFY(m_dlg->IsUnfolded());

    QTest::mouseClick(fold, Qt::LeftButton);
    QCOMPARE(fold->text(), QStringLiteral("设置↓"));
    QVERIFY(!panel->isVisible());
    QTRY_COMPARE(m_dlg->height(), folded);
    QCOMPARE(m_dlg->pos(), where);
}

void tst_LoginDlg::emptyFieldsAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::newRow("no name") << "" << "admin" << "用户名不能为空!";
    QTest::newRow("no password") << "admin" << "" << "密码不能为空!";
    QTest::newRow("password of quotes") << "admin" << "'" << "密码不能为空!";
}

void tst_LoginDlg::emptyFieldsAreRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, message);
    Type("nameEdit", name);
    Type("passwordEdit", password);
    QTest::mouseClick(Find<QPushButton>("loginButton"), Qt::LeftButton);
    QCOMPARE(m_messages.Texts(), QStringList({message}));
    QCOMPARE(m_messages.shown.at(0).icon, IMessageBox::Information);
    QVERIFY(m_dlg->isVisible());
    QCOMPARE(m_dlg->result(), int(QDialog::Rejected));
    // Nothing was asked of the database.
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("MYSKEVO.db"))));
}

void tst_LoginDlg::loginSetsUserAndLevel()
{
    Type("nameEdit", QStringLiteral("ad'min"));
    Type("passwordEdit", QStringLiteral("admin"));
    QTest::keyClick(Find<QLineEdit>("passwordEdit"), Qt::Key_Return);
    QVERIFY2(m_messages.shown.isEmpty(), qPrintable(m_messages.Texts().join(u'|')));
    QCOMPARE(m_dlg->result(), int(QDialog::Accepted));
    QVERIFY(!m_dlg->isVisible());
    QCOMPARE(m_strUser, QStringLiteral("admin"));
    QVERIFY(m_bAdmin);
}

void tst_LoginDlg::wrongPasswordStays()
{
    Type("nameEdit", QStringLiteral("admin"));
    Type("passwordEdit", QStringLiteral("nimda"));
    QTest::mouseClick(Find<QPushButton>("loginButton"), Qt::LeftButton);
    QCOMPARE(m_messages.Texts(), QStringList({QStringLiteral("用户名密码不正确!")}));
    QVERIFY(m_dlg->isVisible());
    QCOMPARE(Find<QLineEdit>("passwordEdit")->text(), QStringLiteral("nimda"));
    QVERIFY(m_strUser.isEmpty());
}

void tst_LoginDlg::savedSettingsTakeEffectAtTheNextAttempt()
{
    QTest::mouseClick(Find<QPushButton>("foldButton"), Qt::LeftButton);
    // A database the program cannot open: the first attempt fails ...
    Type("dataEdit", QStringLiteral("missing/folder/db"));
    QTest::mouseClick(Find<QPushButton>("saveButton"), Qt::LeftButton);
    QCOMPARE(m_messages.Texts(), QStringList({QStringLiteral("SQL数据库设置保存成功!")}));
    QCOMPARE(m_messages.shown.at(0).icon, IMessageBox::Information);
    CSettingsFile file(m_dir->filePath(QStringLiteral("setting.ini")));
    QCOMPARE(file.ReadString(QStringLiteral("SQL"), QStringLiteral("Data"), QString()), QStringLiteral("missing/folder/db"));
    QCOMPARE(file.ReadString(QStringLiteral("SQL"), QStringLiteral("Host"), QString()), QStringLiteral("127.0.0.1"));
    QCOMPARE(file.ReadString(QStringLiteral("SQL"), QStringLiteral("Driver"), QString()), QStringLiteral("sqlite"));

    m_messages.Clear();
    Type("nameEdit", QStringLiteral("admin"));
    Type("passwordEdit", QStringLiteral("admin"));
    QTest::mouseClick(Find<QPushButton>("loginButton"), Qt::LeftButton);
    QVERIFY(!m_messages.shown.isEmpty());
    QVERIFY2(m_messages.Last().startsWith(QStringLiteral("连接数据库出错\n请重新设置SQL相关信息\n")), qPrintable(m_messages.Last()));
    QVERIFY(m_dlg->isVisible());

    // ... the operator mends the setting, saves, and the next attempt connects.
    Type("dataEdit", QStringLiteral("SKEVO"));
    QTest::mouseClick(Find<QPushButton>("saveButton"), Qt::LeftButton);
    m_messages.Clear();
    QTest::mouseClick(Find<QPushButton>("loginButton"), Qt::LeftButton);
    QVERIFY2(m_messages.shown.isEmpty(), qPrintable(m_messages.Texts().join(u'|')));
    QCOMPARE(m_dlg->result(), int(QDialog::Accepted));
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("SKEVO.db"))));
}

void tst_LoginDlg::cancelWritesNothing()
{
    Type("nameEdit", QStringLiteral("admin"));
    QTest::mouseClick(Find<QPushButton>("cancelButton"), Qt::LeftButton);
    QCOMPARE(m_dlg->result(), int(QDialog::Rejected));
    QVERIFY(!m_dlg->isVisible());
    QVERIFY(m_messages.shown.isEmpty());
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files).isEmpty());
}

QTEST_MAIN(tst_LoginDlg)
#include "tst_logindlg.moc"

void tst_LoginDlg::databaseTextsShownByTheDialog_data()
{
    QTest::addColumn<QString>("breakSql");
    QTest::addColumn<QString>("name"); // with the password "pw" stored as typed
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("databaseSays");
    QTest::addColumn<QString>("then"); // the dialog's own text after it, %1 the database's
    QTest::newRow("lookup fails") << "DROP TABLE T_USER"
                                  << "plain" << false << "T_USER" << "连接数据库出错\n请重新设置SQL相关信息\n%1";
    QTest::newRow("hashing the old password refused")
        << "CREATE TRIGGER refuse BEFORE UPDATE ON T_USER BEGIN SELECT RAISE(ABORT, 'no update'); END"
        << "plain" << true << "SQL数据错误," << "";
}

// Whatever the database said is shown once, in the login's own box, before what the login
// itself has to say.
void tst_LoginDlg::databaseTextsShownByTheDialog()
{
    QFETCH(QString, breakSql);
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    QFETCH(QString, databaseSays);
    QFETCH(QString, then);
    QVERIFY(m_app->Db().Connect());
    {
        DbProbe probe(m_app->ReadDbSettings());
        QVERIFY2(probe.Exec(QStringLiteral("INSERT INTO T_USER(D_NAME,D_PSW,D_LEVEL,D_CTIME) VALUES(?,'pw',1,'2026-01-01 08:00:00')"), {name}),
                 qPrintable(probe.Error()));
        QVERIFY2(probe.Exec(breakSql), qPrintable(probe.Error()));
    }
    Type("nameEdit", name);
    Type("passwordEdit", QStringLiteral("pw"));
    QTest::mouseClick(Find<QPushButton>("loginButton"), Qt::LeftButton);

    QCOMPARE(m_messages.shown.size(), then.isEmpty() ? 1 : 2);
    const QString said = m_messages.shown.at(0).text;
    QVERIFY2(said.contains(databaseSays), qPrintable(said));
    QVERIFY2(SaysWhatFailed(said), qPrintable(said));
    QCOMPARE(m_messages.shown.at(0).icon, IMessageBox::NoIcon);
    if (!then.isEmpty())
        QCOMPARE(m_messages.shown.at(1).text, then.arg(said));
    QCOMPARE(m_dlg->result() == QDialog::Accepted, accepted);
    QCOMPARE(m_strUser, accepted ? name : QString());
}
