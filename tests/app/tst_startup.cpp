// The start-up sequence: options, the single-instance guard, a cancelled login that leaves
// no trace, and a whole run from the login to the closed main window.
#include "FakeMessageBox.h"
#include "app/CMainFrame.h"
#include "base/CSettingsFile.h"
#include "app/SingleInstance.h"
#include "app/SkevoStartup.h"
#include "app/StartupOptions.h"
#include "db/CDbAccess.h"

#include <QAction>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QToolButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QLockFile>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {
// Runs f as soon as a window of type T is on screen, from the event loop.
template<class T> void WhenShown(std::function<void(T *)> f, int triesLeft = 500)
{
    QTimer::singleShot(20, [f, triesLeft] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *t = qobject_cast<T *>(w); t && t->isVisible()) {
                f(t);
                return;
            }
        }
        if (triesLeft > 0)
            WhenShown<T>(f, triesLeft - 1);
    });
}
} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void options_data();
    void options();
    void singleInstance();
    void deadOwnersLockIsTakenOver();
    void installedDriversAreFound();
    void qtsOwnDialogsSpeakChinese();
    void programLocale_data();
    void programLocale();
    void calendarsSpeakChinese();
    void secondInstanceIsRefused();
    void cancelledLoginLeavesNoTrace();
    void wholeRunFromLoginToClose();

private:
    QTemporaryDir m_runtime;
    QTemporaryDir m_config;
};

void tst_Startup::initTestCase()
{
    // The lock and the per-user profile go to folders of this test, not the user's.
    QVERIFY(m_runtime.isValid() && m_config.isValid());
    qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
}

void tst_Startup::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("error");
    QTest::newRow("none") << QStringList() << "" << "" << false;
    auto list = [](std::initializer_list<const char *> words) {
        QStringList out;
        for (const char *w : words)
            out << QString::fromLatin1(w);
        return out;
    };
    QTest::newRow("config file") << list({"--config", "/tmp/demo/setting.ini"}) << "/tmp/demo/setting.ini" << "" << false;
    QTest::newRow("config file, with =") << list({"--config=/a/b.ini"}) << "/a/b.ini" << "" << false;
    QTest::newRow("config without a file") << list({"--config"}) << "" << "" << true;
    QTest::newRow("settings file, the older name") << list({"--settings", "/tmp/demo/setting.ini"}) << "/tmp/demo/setting.ini" << "" << false;
    QTest::newRow("device") << list({"--device", "/dev/pts/7"}) << "" << "/dev/pts/7" << false;
    QTest::newRow("both, with =") << list({"--device=/dev/ttyUSB0", "--settings=/a/b.ini"}) << "/a/b.ini" << "/dev/ttyUSB0" << false;
    QTest::newRow("two devices: two modems, in order") << list({"--device", "/dev/pts/7", "--device=/dev/pts/8"}) << "" << "/dev/pts/7 /dev/pts/8" << false;
    QTest::newRow("missing value") << list({"--device"}) << "" << "" << true;
    QTest::newRow("unknown option") << list({"--verbose"}) << "" << "" << true;
}

void tst_Startup::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, settings);
    QFETCH(QString, device);
    QFETCH(bool, error);
    const StartupOptions o = StartupOptions::Parse(arguments);
    QCOMPARE(!o.m_strError.isEmpty(), error);
    if (error)
        return;
    QCOMPARE(o.m_strSettingsPath, settings);
    QCOMPARE(o.m_devices.join(QLatin1Char(' ')), device);
}

void tst_Startup::singleInstance()
{
    QTemporaryDir dir;
    auto first = std::make_unique<SingleInstance>(dir.path());
    QVERIFY(first->TryAcquire());
    QVERIFY(first->TryAcquire()); // holding it already
    SingleInstance second(dir.path());
    QVERIFY(!second.TryAcquire());
    first.reset();
    QVERIFY(second.TryAcquire());
    QCOMPARE(SingleInstance::AlreadyRunningText(), QStringLiteral("应用程序已经在运行!"));
}

void tst_Startup::deadOwnersLockIsTakenOver()
{
    QTemporaryDir dir;
    SingleInstance probe(dir.path());
    // A lock file left by a process that no longer exists (a crash).
    QFile lock(probe.LockPath());
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write("999999\n" + QCoreApplication::applicationName().toUtf8() + "\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();
    QVERIFY(probe.TryAcquire());
}

void tst_Startup::installedDriversAreFound()
{
    QCOMPARE(SkevoStartup::MissingDriverText(DbSettings::Sqlite), QString());
    QCOMPARE(SkevoStartup::MissingDriverText(DbSettings::Postgres), QString());
}

// The file dialogs and the edit fields' menus come from Qt: they speak the program's
// language, whatever the machine's locale.
void tst_Startup::qtsOwnDialogsSpeakChinese()
{
    QVERIFY(SkevoStartup::InstallQtTranslations());
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("查找范围："));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "&Open"), QStringLiteral("打开(&O)"));
    QCOMPARE(QCoreApplication::translate("QWidgetTextControl", "&Copy"), QStringLiteral("复制(&C)"));
}

void tst_Startup::programLocale_data()
{
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QString>("program");
    QTest::newRow("C.UTF-8: Chinese") << QStringLiteral("C") << QStringLiteral("zh_CN");
    QTest::newRow("Chinese of Taiwan: kept") << QStringLiteral("zh_TW") << QStringLiteral("zh_TW");
}

void tst_Startup::programLocale()
{
    QFETCH(QString, machine);
    QFETCH(QString, program);
    QCOMPARE(SkevoStartup::ProgramLocale(QLocale(machine)).name(), program);
}

// The date pickers' calendars name months and days in Chinese, whatever the machine's locale.
void tst_Startup::calendarsSpeakChinese()
{
    const QLocale before;
    SkevoStartup::UseChineseLocale();
    QDateEdit picker(QDate(2026, 12, 7));
    picker.setCalendarPopup(true);
    QCalendarWidget *calendar = picker.calendarWidget();
    auto *month = calendar->findChild<QToolButton *>(QStringLiteral("qt_calendar_monthbutton"));
    QVERIFY(month);
    const QLocale program = SkevoStartup::ProgramLocale(QLocale::system());
    QCOMPARE(program.language(), QLocale::Chinese);
    QCOMPARE(month->text(), program.standaloneMonthName(12));
    QVERIFY(month->text() != QStringLiteral("December"));
    QLocale::setDefault(before);
}

void tst_Startup::secondInstanceIsRefused()
{
    QTemporaryDir dir;
    SingleInstance running; // the user's runtime folder, as the program uses it
    QVERIFY(running.TryAcquire());
    FakeMessageBox messages;
    const int code = SkevoStartup::Run({QStringLiteral("--settings"), dir.filePath(QStringLiteral("setting.ini"))}, messages);
    QCOMPARE(code, 1);
    QCOMPARE(messages.Texts(), QStringList({QStringLiteral("应用程序已经在运行!")}));
    QCOMPARE(messages.shown.at(0).icon, IMessageBox::Warning);
    QCOMPARE(messages.shown.at(0).caption, QStringLiteral("Skevo"));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

void tst_Startup::cancelledLoginLeavesNoTrace()
{
    QTemporaryDir dir;
    FakeMessageBox messages;
    bool sawLogin = false;
    WhenShown<QDialog>([&](QDialog *login) {
        sawLogin = login->windowTitle() == QStringLiteral("登录");
        login->findChild<QPushButton *>(QStringLiteral("cancelButton"))->click();
    });
    const int code = SkevoStartup::Run({QStringLiteral("--settings"), dir.filePath(QStringLiteral("setting.ini"))}, messages);
    QCOMPARE(code, 0);
    QVERIFY(sawLogin);
    QVERIFY(messages.shown.isEmpty());
    QVERIFY2(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty(),
             qPrintable(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).join(u',')));
    // After the first run has ended, a new start gets past the guard.
    SingleInstance next;
    QVERIFY(next.TryAcquire());
}

void tst_Startup::wholeRunFromLoginToClose()
{
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("setting.ini"));
    FakeMessageBox messages;
    QString portUsed;
    WhenShown<QDialog>([&](QDialog *login) {
        login->findChild<QLineEdit *>(QStringLiteral("nameEdit"))->setText(QStringLiteral("admin"));
        login->findChild<QLineEdit *>(QStringLiteral("passwordEdit"))->setText(QStringLiteral("admin"));
        login->findChild<QPushButton *>(QStringLiteral("loginButton"))->click();
        WhenShown<CMainFrame>([&](CMainFrame *frame) {
            portUsed = frame->Link().PortOverride().join(u',');
            frame->findChild<QAction *>(QStringLiteral("actionExit"))->trigger();
        });
    });
    const int code = SkevoStartup::Run({QStringLiteral("--settings"), settings, QStringLiteral("--device"), QStringLiteral("/dev/pts/999")},
                                       messages);
    QCOMPARE(code, 0);
    QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.Texts().join(u'|')));
    QCOMPARE(portUsed, QStringLiteral("/dev/pts/999"));
    // The database was made beside the settings file; the device given for the run was
    // not written anywhere; the closing steps wrote the text and the ring switch.
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("MYSKEVO.db"))));
    CSettingsFile file(settings);
    QCOMPARE(file.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("COM"), QStringLiteral("(none)")), QStringLiteral("(none)"));
    QCOMPARE(file.ReadString(QStringLiteral("MSG"), QStringLiteral("MESSAGE"), QString()), QStringLiteral("在做一个短信软件,测试短信"));
    QCOMPARE(file.ReadString(QStringLiteral("Check"), QStringLiteral("Play"), QString()), QStringLiteral("1"));
    QSettings profile(QStringLiteral("Kavrel"), QStringLiteral("Skevo"));
    QVERIFY2(profile.fileName().startsWith(m_config.path()), qPrintable(profile.fileName()));
    QCOMPARE(profile.value(QStringLiteral("WNDSTATUS/LEFT")).toInt(), 100);
    QCOMPARE(profile.value(QStringLiteral("WNDSTATUS/RIGHT")).toInt(), 1200);
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
