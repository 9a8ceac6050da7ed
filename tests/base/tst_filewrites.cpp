// Every file the program writes, on a disk that fills up part of the way through: the write
// fails as a whole, the old file stays as it was and no piece of the new one is left, the
// operator is told what failed (a write, not a read), and skevo-cli exits 1. The disk fills
// up through the file size limit of the writing process (its writes fail with EFBIG once
// SIGXFSZ is ignored); standard output fills up as /dev/full.
#include "Journal.h"
#include "TestEnv.h"
#include "base/CSettingsFile.h"
#include "base/FileWriter.h"
#include "records/LogExport.h"
#include "send/SendListLogic.h"
#include "send/SendListModel.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {
// Files of this process may grow to this size and no further.
constexpr rlim_t kLimit = 64 * 1024;

void LimitFileSize()
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = kLimit;
    setrlimit(RLIMIT_FSIZE, &limit);
}

// The limit for as long as it lives.
class FullDisk
{
public:
    FullDisk()
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        LimitFileSize();
    }
    ~FullDisk()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old;
    void (*m_oldHandler)(int);
};

enum Export { LogText, LogCsv, NumberFile, SettingsFile, CliLog, CliLogCsv, CliLogOut, CliBook, CliBookOut, CliGenerateOut };

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

class tst_FileWrites : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void failedWriteLeavesTheOldFile_data();
    void failedWriteLeavesTheOldFile();
    void unwritablePathNamesTheCause_data();
    void unwritablePathNamesTheCause();

private:
    // skevo-cli in the folder of the database; the code it exited with, what it said on stderr.
    enum Place { Plain, DiskFull, OutputFull, AsNobody };
    int Cli(const QStringList &args, QString *said, Place place = Plain);

    QTemporaryDir m_dir;
    DbSettings m_settings;
};

void tst_FileWrites::initTestCase()
{
    QVERIFY2(QFileInfo(TestEnv::CliPath()).isExecutable(), "SKEVO_CLI must name the built skevo-cli");
    m_settings = TestEnv::Sqlite(m_dir.path(), QStringLiteral("FULL"));
    QFile ini(m_dir.filePath(QStringLiteral("setting.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[SQL]\nDriver=sqlite\nData=FULL\n");
    ini.close();
    // Far more than the limit of every kind.
    Journal j(m_settings);
    const QString text = QStringLiteral("一条很长的短信,").repeated(8);
    QVERIFY(j.Db().Transaction([&] {
        for (int i = 0; i < 2000; ++i) {
            const QString number = QStringLiteral("86139%1").arg(i, 8, 10, QLatin1Char('0'));
            if (j.Received({QStringLiteral("2009-05-05 08:00:00"), number, text}) <= 0
                || !j.Db().Execute(Sql::BookInsert, {text, number, QStringLiteral("同事")}))
                return false;
        }
        return true;
    }));
}

int tst_FileWrites::Cli(const QStringList &args, QString *said, Place place)
{
    QProcess cli;
    cli.setWorkingDirectory(m_dir.path());
    if (place == OutputFull)
        cli.setStandardOutputFile(QStringLiteral("/dev/full"));
    if (place == DiskFull)
        cli.setChildProcessModifier(LimitFileSize);
    QTemporaryDir own;
    if (place == AsNobody) {
        // Another user, with a database of its own, who may look into this folder but not write in it.
        const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
        QFile::setPermissions(own.path(), all | QFile::WriteOther);
        QFile::setPermissions(m_dir.path(), all);
        QFile::copy(m_dir.filePath(QStringLiteral("setting.ini")), own.filePath(QStringLiteral("setting.ini")));
        cli.setWorkingDirectory(own.path());
        cli.setChildProcessModifier([] {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(99);
        });
    }
    cli.start(TestEnv::CliPath(), args);
    if (!cli.waitForFinished(60000))
        return -1;
    *said = QString::fromUtf8(cli.readAllStandardError());
    return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -2;
}

void tst_FileWrites::failedWriteLeavesTheOldFile_data()
{
    QTest::addColumn<int>("what");
    QTest::addColumn<QString>("said");
    const QString full = QStringLiteral("所在的磁盘已满。");
    const QString fullOutput = QStringLiteral("写入标准输出失败: 标准输出 所在的磁盘已满。");
    QTest::newRow("日志导出, text") << int(LogText) << full;
    QTest::newRow("日志导出, CSV") << int(LogCsv) << full;
    QTest::newRow("导出号码") << int(NumberFile) << full;
    QTest::newRow("setting.ini") << int(SettingsFile) << QString();
    QTest::newRow("skevo-cli export") << int(CliLog) << full;
    QTest::newRow("skevo-cli export --csv") << int(CliLogCsv) << full;
    QTest::newRow("skevo-cli export -") << int(CliLogOut) << fullOutput;
    QTest::newRow("skevo-cli phonebook export") << int(CliBook) << full;
    QTest::newRow("skevo-cli phonebook export -") << int(CliBookOut) << fullOutput;
    QTest::newRow("skevo-cli generate") << int(CliGenerateOut) << fullOutput;
}

void tst_FileWrites::failedWriteLeavesTheOldFile()
{
    QFETCH(int, what);
    QFETCH(QString, said);
    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("old.out"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("[old]\nkept=1\n");
    old.close();

    QString told;
    switch (what) {
    case LogText:
    case LogCsv: {
        auto model = std::make_unique<RecordsModel>([this] { return m_settings; });
        model->LoadReceived();
        const RecordsModel::Snapshot rows = model->TakeSnapshot();
        FullDisk disk;
        const LogExport::Result r = LogExport::Write(*model, rows, path, what == LogText ? LogExport::Text : LogExport::Csv);
        QVERIFY(!r.m_bOk);
        told = r.m_message ? r.m_message->m_strText : QString();
        break;
    }
    case NumberFile: {
        SendListModel list;
        for (int i = 0; i < 10000; ++i)
            list.Append(QStringLiteral("8613800%1").arg(i, 6, 10, QLatin1Char('0')));
        SendListLogic logic(list);
        FullDisk disk;
        told = logic.Export(path).m_strText;
        break;
    }
    case SettingsFile: {
        CSettingsFile settings(path);
        FullDisk disk;
        QVERIFY(!settings.WriteString(QStringLiteral("MSG"), QStringLiteral("MESSAGE"), QString(100000, u'x')));
        break;
    }
    case CliLogOut:
    case CliBookOut:
    case CliGenerateOut: {
        const QStringList args = what == CliLogOut ? QStringList{QStringLiteral("export"), QStringLiteral("--received"), QStringLiteral("-")}
            : what == CliBookOut ? QStringList{QStringLiteral("phonebook"), QStringLiteral("export"), QStringLiteral("-")}
                                 : QStringList{QStringLiteral("generate"), QStringLiteral("1380013")};
        QCOMPARE(Cli(args, &told, OutputFull), 1);
        QVERIFY2(!told.contains(QStringLiteral("读取")), qPrintable(told));
        break;
    }
    default: {
        const QStringList args = what == CliBook ? QStringList{QStringLiteral("phonebook"), QStringLiteral("export"), path}
            : what == CliLogCsv ? QStringList{QStringLiteral("export"), QStringLiteral("--received"), QStringLiteral("--csv"), path}
                                : QStringList{QStringLiteral("export"), QStringLiteral("--received"), path};
        QCOMPARE(Cli(args, &told, DiskFull), 1);
        break;
    }
    }
    QVERIFY2(told.contains(said), qPrintable(told));
    QCOMPARE(ReadAll(path), QByteArray("[old]\nkept=1\n"));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("old.out")});
}

void tst_FileWrites::unwritablePathNamesTheCause_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("nobody"); // written by a user who may not write there
    QTest::addColumn<QString>("said");
    QTest::newRow("a folder that is not there") << QStringLiteral("no/such/log.txt") << false
                                                << QStringLiteral("未能找到 %1 的一部分路径。");
    QTest::newRow("a folder") << QStringLiteral("a folder") << false << QStringLiteral("对 %1 的存取被拒绝。");
    QTest::newRow("under a file") << QStringLiteral("setting.ini/log.txt") << false
                                  << QStringLiteral("未能找到 %1 的一部分路径。");
    QTest::newRow("a folder the user may not write in") << QStringLiteral("locked/log.txt") << true
                                                        << QStringLiteral("对 %1 的存取被拒绝。");
}

void tst_FileWrites::unwritablePathNamesTheCause()
{
    QFETCH(QString, where);
    QFETCH(bool, nobody);
    QFETCH(QString, said);
    if (nobody && ::geteuid() != 0)
        QSKIP("needs root to write as another user");
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("a folder")));
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("locked")));
    const QString path = m_dir.filePath(where);
    QString told;
    QCOMPARE(Cli({QStringLiteral("export"), QStringLiteral("--received"), path}, &told, nobody ? AsNobody : Plain), 1);
    QVERIFY2(told.contains(said.arg(path)), qPrintable(told));
}

QTEST_GUILESS_MAIN(tst_FileWrites)
#include "tst_filewrites.moc"
