// Where the settings file and the SQLite database live: in the working directory when run
// from the build tree, in the user's XDG folders when installed, and where --config says.
// The rules as a table, then skevo-cli as a process, copied into a bin folder like an
// installed program.
#include "TestEnv.h"
#include "base/AppPaths.h"
#include "base/CSettingsFile.h"
#include "base/DbSettings.h"
#include "base/DeviceSettings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class tst_InstalledMode : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void resolve_data();
    void resolve();
    void sqliteFile_data();
    void sqliteFile();
    void firstInstalledStartWritesDefaultsOnce();
    void buildTreeStartWritesNothing();
    void packagedServiceSettingsNameItsDatabase();
    void cliFindsItsFiles_data();
    void cliFindsItsFiles();
};

namespace {
const QString kHome = QStringLiteral("/home/ann");
const QString kWork = QStringLiteral("/srv/work");
} // namespace

void tst_InstalledMode::cleanup()
{
    // Back to the build tree's rule for the other cases.
    AppPaths::SetCurrent(AppPaths::Resolve(AppPaths::OfProcess()));
}

void tst_InstalledMode::resolve_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("xdgConfig");
    QTest::addColumn<QString>("xdgData");
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("dataDir");

    const QString build = QStringLiteral("/home/ann/skevo/build/src/app/skevo");
    const QString usr = QStringLiteral("/usr/bin/skevo");
    QTest::newRow("build tree: the working directory") << build << "" << "" << "" << "/srv/work/setting.ini" << "";
    QTest::newRow("build tree ignores XDG") << build << "/x/cfg" << "/x/data" << "" << "/srv/work/setting.ini" << "";
    QTest::newRow("build tree with --config") << build << "" << "" << "demo/a.ini" << "/srv/work/demo/a.ini" << "";
    QTest::newRow("package: the user's folders") << usr << "" << ""
        << "" << "/home/ann/.config/skevo/setting.ini" << "/home/ann/.local/share/skevo";
    QTest::newRow("package follows XDG") << usr << "/x/cfg" << "/x/data" << "" << "/x/cfg/skevo/setting.ini" << "/x/data/skevo";
    QTest::newRow("package ignores relative XDG") << usr << "cfg" << "data"
        << "" << "/home/ann/.config/skevo/setting.ini" << "/home/ann/.local/share/skevo";
    QTest::newRow("package with --config keeps its data folder") << usr << "" << ""
        << "/etc/skevo/setting.ini" << "/etc/skevo/setting.ini" << "/home/ann/.local/share/skevo";
    QTest::newRow("installed by hand in /usr/local") << "/usr/local/bin/skevo-cli" << "" << ""
        << "" << "/home/ann/.config/skevo/setting.ini" << "/home/ann/.local/share/skevo";
    QTest::newRow("installed in the user's own bin") << "/home/ann/.local/bin/skevo-cli" << "" << ""
        << "" << "/home/ann/.config/skevo/setting.ini" << "/home/ann/.local/share/skevo";
    QTest::newRow("a build folder under /usr") << "/usr/src/skevo/build/tools/skevo-cli/skevo-cli" << "" << ""
        << "" << "/srv/work/setting.ini" << "";
}

void tst_InstalledMode::resolve()
{
    QFETCH(QString, executable);
    QFETCH(QString, xdgConfig);
    QFETCH(QString, xdgData);
    QFETCH(QString, config);
    QFETCH(QString, settings);
    QFETCH(QString, dataDir);
    const AppPaths p = AppPaths::Resolve({executable, kWork, kHome, xdgConfig, xdgData}, config);
    QCOMPARE(p.m_strSettings, settings);
    QCOMPARE(p.m_strDataDir, dataDir);
    QCOMPARE(p.m_bInstalled, !dataDir.isEmpty());
}

void tst_InstalledMode::sqliteFile_data()
{
    QTest::addColumn<QString>("dataDir");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("file");
    QTest::newRow("build tree: beside the settings") << "" << "MYSKEVO" << "/etc/skevo/MYSKEVO.db";
    QTest::newRow("installed: in the data folder") << "/home/ann/.local/share/skevo" << "MYSKEVO"
                                                   << "/home/ann/.local/share/skevo/MYSKEVO.db";
    QTest::newRow("absolute Data names the file") << "/home/ann/.local/share/skevo" << "/var/lib/skevo/skevo"
                                                  << "/var/lib/skevo/skevo.db";
}

void tst_InstalledMode::sqliteFile()
{
    QFETCH(QString, dataDir);
    QFETCH(QString, data);
    QFETCH(QString, file);
    AppPaths p;
    p.m_strDataDir = dataDir;
    p.m_bInstalled = !dataDir.isEmpty();
    QCOMPARE(p.SqliteFile(QStringLiteral("/etc/skevo/setting.ini"), data), file);
    // Every connection reads it so.
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("setting.ini"));
    CSettingsFile settings(ini);
    QVERIFY(settings.WriteString(QStringLiteral("SQL"), QStringLiteral("Data"), data));
    AppPaths::SetCurrent(p);
    const QString expected = dataDir.isEmpty() ? QDir(dir.path()).filePath(data + QStringLiteral(".db")) : file;
    QCOMPARE(DbSettings::Read(settings).m_strSqliteFile, expected);
}

void tst_InstalledMode::firstInstalledStartWritesDefaultsOnce()
{
    QTemporaryDir home;
    const AppPaths p = AppPaths::Resolve({QStringLiteral("/usr/bin/skevo"), kWork, home.path(), {}, {}});
    QCOMPARE(p.Prepare(), QString());
    CSettingsFile file(p.m_strSettings);
    QCOMPARE(file.ReadString(QStringLiteral("SQL"), QStringLiteral("Driver"), {}), QStringLiteral("sqlite"));
    QCOMPARE(file.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("COM"), {}), QStringLiteral("COM1"));
    QVERIFY(QFileInfo(p.m_strDataDir).isDir());
    // An edited file stays as the operator left it.
    QVERIFY(file.WriteString(QStringLiteral("SYSTEM"), QStringLiteral("COM"), QStringLiteral("/dev/ttyUSB3")));
    QCOMPARE(p.Prepare(), QString());
    QCOMPARE(DeviceSettings::Read(file).m_strCOM, QStringLiteral("/dev/ttyUSB3"));
}

void tst_InstalledMode::buildTreeStartWritesNothing()
{
    QTemporaryDir work;
    const AppPaths p = AppPaths::Resolve({QStringLiteral("/x/build/src/app/skevo"), work.path(), work.path(), {}, {}});
    QCOMPARE(p.Prepare(), QString());
    QVERIFY(QDir(work.path()).isEmpty());
}

// The service's settings file, as the package installs it in /etc/skevo.
void tst_InstalledMode::packagedServiceSettingsNameItsDatabase()
{
    AppPaths::SetCurrent(AppPaths::Resolve({QStringLiteral("/usr/bin/skevo-cli"), QStringLiteral("/"),
                                            QStringLiteral("/var/lib/skevo"), {}, {}},
                                           QStringLiteral("/etc/skevo/setting.ini")));
    const CSettingsFile file(QStringLiteral(SKEVO_SOURCE_DIR "/packaging/setting.ini"));
    const DbSettings db = DbSettings::Read(file);
    QCOMPARE(db.m_driver, DbSettings::Sqlite);
    QCOMPARE(db.m_strSqliteFile, QStringLiteral("/var/lib/skevo/skevo.db"));
    QCOMPARE(DeviceSettings::Read(file).m_strCOM, QStringLiteral("/dev/ttyUSB0"));
}

void tst_InstalledMode::cliFindsItsFiles_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("xdg");
    QTest::addColumn<QString>("config");   // relative to the test's folder
    QTest::addColumn<QString>("settings"); // the file that must exist afterwards; "" = none
    QTest::addColumn<QString>("database");
    QTest::newRow("build tree") << false << false << "" << "" << "work/MYSKEVO.db";
    QTest::newRow("build tree with --config") << false << false << "other/x.ini" << "" << "other/MYSKEVO.db";
    QTest::newRow("installed") << true << false << ""
                               << "home/.config/skevo/setting.ini" << "home/.local/share/skevo/MYSKEVO.db";
    QTest::newRow("installed, XDG set") << true << true << "" << "cfg/skevo/setting.ini" << "data/skevo/MYSKEVO.db";
    QTest::newRow("installed with --config") << true << false << "other/x.ini" << "other/x.ini"
                                             << "home/.local/share/skevo/MYSKEVO.db";
}

void tst_InstalledMode::cliFindsItsFiles()
{
    QFETCH(bool, installed);
    QFETCH(bool, xdg);
    QFETCH(QString, config);
    QFETCH(QString, settings);
    QFETCH(QString, database);
    QTemporaryDir root;
    const QDir r(root.path());
    for (const char *folder : {"bin", "home", "work", "other"})
        QVERIFY(r.mkpath(QString::fromLatin1(folder)));
    QString program = TestEnv::CliPath();
    if (installed) {
        program = r.filePath(QStringLiteral("bin/skevo-cli"));
        QVERIFY(QFile::copy(TestEnv::CliPath(), program));
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), r.filePath(QStringLiteral("home")));
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    if (xdg) {
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), r.filePath(QStringLiteral("cfg")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), r.filePath(QStringLiteral("data")));
    }
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(r.filePath(QStringLiteral("work")));
    QStringList args;
    if (!config.isEmpty())
        args << QStringLiteral("--config") << QStringLiteral("../") + config;
    p.start(program, args << QStringLiteral("init-db"));
    QVERIFY(p.waitForFinished(30000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(p.exitCode() == 0, qPrintable(err));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(out.startsWith(QStringLiteral("database ready: sqlite ") + r.filePath(database)), qPrintable(out));
    QVERIFY(QFileInfo::exists(r.filePath(database)));
    if (!settings.isEmpty())
        QVERIFY2(QFileInfo::exists(r.filePath(settings)), qPrintable(settings));
    // An installed program leaves the working directory alone.
    if (installed)
        QVERIFY(QDir(r.filePath(QStringLiteral("work"))).isEmpty());
}

QTEST_GUILESS_MAIN(tst_InstalledMode)
#include "tst_installedmode.moc"
