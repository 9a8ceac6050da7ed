// Every command that shows a file dialog, driven from the main window as the operator does,
// with the dialog on the folder of the SQLite database while a second program holds that
// database open: no dialog opens the database's files, the program keeps its locks on them,
// and nothing written afterwards is lost when the other program closes. Each kind of file
// comes back to the folder it was last chosen in, after a restart too.
#include "FileDialogKit.h"
#include "TestEnv.h"
#include "WindowKit.h"
#include "app/CMainFrame.h"
#include "base/CFileDialog.h"
#include "db/CDbAccess.h"
#include "send/CSkevoView.h"
#include "send/SendListModel.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QtTest>

#include <cstdio>

namespace {
const QString kName = QStringLiteral("MYSKEVO"); // the default Data of setting.ini

// From the main window through the named command and buttons of each modal window that opens,
// until a file dialog shows: look at it, close it with accept (true) or cancel, and cancel
// every window opened on the way. The first name is an action of the window or a button.
void WalkToFileDialog(CMainFrame &frame, const QStringList &path, const std::function<bool(QFileDialog &)> &look)
{
    std::function<void(int)> next = [&](int i) {
        OnNextModal([&, i](QWidget *w) {
            if (auto *dialog = qobject_cast<QFileDialog *>(w)) {
                QDialog *shown = dialog; // accept() as the dialog's own button does
                look(*dialog) ? shown->accept() : shown->reject();
                return;
            }
            next(i + 1);
            if (auto *button = Child<QAbstractButton>(*w, qPrintable(path.value(i))))
                button->click();
            if (auto *dialog = qobject_cast<QDialog *>(w); dialog && dialog->isVisible())
                dialog->reject();
        });
    };
    next(1);
    if (auto *action = frame.findChild<QAction *>(path.first()))
        action->trigger();
    else if (auto *button = Child<QAbstractButton>(frame, qPrintable(path.first())))
        button->click();
}
} // namespace

class tst_FileDialogs : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void everyFileDialogLeavesTheDatabaseItsLocks_data();
    void everyFileDialogLeavesTheDatabaseItsLocks();
    void eachKindComesBackToItsFolder_data();
    void eachKindComesBackToItsFolder();

private:
    std::unique_ptr<FramePlace> m_place;
};

void tst_FileDialogs::init()
{
    m_place = std::make_unique<FramePlace>();
    // A row for the log export, a number for the number export; the log in WAL mode exists.
    QVERIFY(WriteRow(m_place->app.Db(), QStringLiteral("before the dialog")) > 0);
}

void tst_FileDialogs::cleanup()
{
    m_place.reset();
}

void tst_FileDialogs::everyFileDialogLeavesTheDatabaseItsLocks_data()
{
    QTest::addColumn<QStringList>("path");
    QTest::newRow("导入文件") << QStringList{QStringLiteral("importButton")};
    QTest::newRow("导出号码") << QStringList{QStringLiteral("exportButton")};
    QTest::newRow("电话本导入 → 导入") << QStringList{QStringLiteral("phoneBookButton"), QStringLiteral("importButton")};
    QTest::newRow("电话本导入 → 导出") << QStringList{QStringLiteral("phoneBookButton"), QStringLiteral("exportButton")};
    QTest::newRow("订单管理 → 发送号码导入") << QStringList{QStringLiteral("actionOrders"), QStringLiteral("importButton")};
    QTest::newRow("日志导出") << QStringList{QStringLiteral("actionExport")};
    QTest::newRow("设置短信铃声 → 选择铃声文件")
        << QStringList{QStringLiteral("actionRingSettings"), QStringLiteral("chooseButton")};
}

void tst_FileDialogs::everyFileDialogLeavesTheDatabaseItsLocks()
{
    QFETCH(QStringList, path);
    const QString dir = m_place->dir.path();
    const QString db = TestEnv::Sqlite(dir, kName).m_strSqliteFile;
    const QStringList files{db, db + QStringLiteral("-wal"), db + QStringLiteral("-shm")};

    // The other program: it holds the database until told to write once more and close.
    QProcess other;
    other.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), dir});
    QVERIFY(other.waitForReadyRead(30000));
    QCOMPARE(other.readLine().trimmed(), QByteArray("holding"));

    CMainFrame frame(m_place->app, m_place->messages, m_place->ring, &m_place->profile);
    frame.View().Model().Append(QStringLiteral("13800000000"));
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    const QStringList locks = LocksOf(QCoreApplication::applicationPid(), files);
    QVERIFY2(!locks.isEmpty(), "the program holds no lock on its database");

    bool shown = false;
    WalkToFileDialog(frame, path, [&](QFileDialog &dialog) {
        shown = true;
        // The operator goes to the database's folder and shows every file.
        const QStringList filters = dialog.nameFilters();
        dialog.selectNameFilter(filters.contains(CFileDialog::AllFiles()) ? CFileDialog::AllFiles() : filters.first());
        OpenWatch watch(dir);
        [&] { QVERIFY(ShowFilled(dialog, dir)); }();
        QCoreApplication::processEvents();
        [&] {
            QVERIFY(watch.IsValid());
            QCOMPARE(watch.Opened().intersect({kName + QStringLiteral(".db"), kName + QStringLiteral(".db-wal"),
                                               kName + QStringLiteral(".db-shm")}),
                     QSet<QString>());
            QCOMPARE(LocksOf(QCoreApplication::applicationPid(), files), locks);
        }();
        return false;
    });
    QVERIFY(shown);
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(LocksOf(QCoreApplication::applicationPid(), files), locks);

    // The other program closes; had it found itself the last one, it would have taken the
    // log with our rows away. A third program sees every row.
    other.write("close\n");
    QVERIFY(other.waitForFinished(30000));
    QCOMPARE(other.exitCode(), 0);
    QVERIFY(WriteRow(m_place->app.Db(), QStringLiteral("after the other program")) > 0);
    QProcess third;
    third.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--count"), dir});
    QVERIFY(third.waitForFinished(30000));
    QCOMPARE(third.readAllStandardOutput().trimmed(), QByteArray("4"));
}

void tst_FileDialogs::eachKindComesBackToItsFolder_data()
{
    QTest::addColumn<QStringList>("choose"); // the command whose dialog a file is chosen in
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("again"); // the command shown after the restart
    QTest::addColumn<bool>("there");        // whether it starts in the chosen file's folder
    QTest::newRow("number files: 导入文件, then 订单管理's import")
        << QStringList{QStringLiteral("importButton")} << QStringLiteral("numbers.txt")
        << QStringList{QStringLiteral("actionOrders"), QStringLiteral("importButton")} << true;
    QTest::newRow("phone book: 导入, then 导出")
        << QStringList{QStringLiteral("phoneBookButton"), QStringLiteral("importButton")} << QStringLiteral("book.csv")
        << QStringList{QStringLiteral("phoneBookButton"), QStringLiteral("exportButton")} << true;
    QTest::newRow("log export: its own folder") << QStringList{QStringLiteral("actionExport")}
                                                << QStringLiteral("new log.txt") << QStringList{QStringLiteral("actionExport")}
                                                << true;
    QTest::newRow("ring tones keep away from the number files' folder")
        << QStringList{QStringLiteral("importButton")} << QStringLiteral("numbers.txt")
        << QStringList{QStringLiteral("actionRingSettings"), QStringLiteral("chooseButton")} << false;
}

void tst_FileDialogs::eachKindComesBackToItsFolder()
{
    QFETCH(QStringList, choose);
    QFETCH(QString, file);
    QFETCH(QStringList, again);
    QFETCH(bool, there);
    QTemporaryDir elsewhere;
    const QString chosen = elsewhere.filePath(file);
    if (!file.startsWith(QLatin1String("new"))) { // a file to open; a new one to save
        QFile f(chosen);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("start\n13800000000\nend\n");
    }
    const QString profilePath = m_place->dir.filePath(QStringLiteral("profile.ini"));
    {
        CMainFrame frame(m_place->app, m_place->messages, m_place->ring, &m_place->profile);
        frame.View().Model().Append(QStringLiteral("13800000000"));
        WalkToFileDialog(frame, choose, [&](QFileDialog &dialog) {
            // The operator types the file's path into the name field.
            Child<QLineEdit>(dialog, "fileNameEdit")->setText(chosen);
            return true;
        });
    }
    // A restart: a new window over the profile as it stands on disk.
    QSettings profile(profilePath, QSettings::IniFormat);
    CMainFrame frame(m_place->app, m_place->messages, m_place->ring, &profile);
    QString offered;
    WalkToFileDialog(frame, again, [&](QFileDialog &dialog) {
        offered = dialog.directory().absolutePath();
        return false;
    });
    QCOMPARE(offered == QDir(elsewhere.path()).absolutePath(), there);
}

// Run as the other program: "--hold DIR" writes a row, says "holding", waits for a line,
// writes a row and closes; "--count DIR" prints how many rows there are.
int main(int argc, char **argv)
{
    if (argc == 3 && (qstrcmp(argv[1], "--hold") == 0 || qstrcmp(argv[1], "--count") == 0)) {
        QCoreApplication app(argc, argv);
        const DbSettings settings = TestEnv::Sqlite(QString::fromLocal8Bit(argv[2]), kName);
        CDbAccess db([settings] { return settings; });
        if (qstrcmp(argv[1], "--hold") == 0) {
            if (WriteRow(db, QStringLiteral("other program")) <= 0)
                return 1;
            std::printf("holding\n");
            std::fflush(stdout);
            char line[64];
            if (!std::fgets(line, sizeof line, stdin))
                return 1;
            return WriteRow(db, QStringLiteral("other program, last")) > 0 ? 0 : 1;
        }
        std::printf("%d\n", SentRowCount(db));
        return 0;
    }
    QApplication app(argc, argv);
    tst_FileDialogs test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_filedialogs.moc"
