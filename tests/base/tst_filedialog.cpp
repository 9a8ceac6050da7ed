// The program's file dialog: it shows every file the filters let through and leaves the
// database's files to SQLite. Opening one of them, even only to read, would drop SQLite's
// locks (see CFileDialog.h); the end-to-end case below shows what that costs.
#include "FileDialogKit.h"
#include "TestEnv.h"
#include "base/CFileDialog.h"
#include "db/CDbAccess.h"
#include "send/CSendPanelDialogs.h"

#include <QApplication>
#include <QFile>
#include <QFileSystemModel>
#include <QProcess>
#include <QMap>
#include <QRegularExpression>
#include <QTreeView>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kName = QStringLiteral("FILEDLG");

// This test program run again as another process, on the database in dir.
QString OtherProcess(const QString &what, const QString &dir)
{
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), {what, dir});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QStringLiteral("failed: ") + QString::fromUtf8(p.readAllStandardError());
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}
} // namespace

class tst_FileDialog : public QObject
{
    Q_OBJECT
private slots:
    void numberFileFiltersShowEveryFile_data();
    void numberFileFiltersShowEveryFile();
    void listInChinese();
    void databaseKeepsItsLocks();
};

void tst_FileDialog::numberFileFiltersShowEveryFile_data()
{
    QTest::addColumn<int>("filter");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("number files, CSV ones too") << 0 << QStringList{QStringLiteral("numbers.txt"), QStringLiteral("x.csv")};
    QTest::newRow("all files, names without a dot too")
        << 1 << QStringList{QStringLiteral("numbers"), QStringLiteral("numbers.txt"), QStringLiteral("x.csv")};
}

void tst_FileDialog::numberFileFiltersShowEveryFile()
{
    QFETCH(int, filter);
    QFETCH(QStringList, shown);
    QTemporaryDir dir;
    for (const char *name : {"numbers", "numbers.txt", "x.csv"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QStringList filters = CSendPanelDialogs::OpenFilters();
    CFileDialog dlg(nullptr, CFileDialog::NumberFile, filters);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.selectNameFilter(filters.at(filter));
    QVERIFY(ShowFilled(dlg, dir.path(), int(shown.size())));
    auto *model = dlg.findChild<QFileSystemModel *>();
    const QModelIndex root = model->index(dir.path());
    QStringList names;
    for (int r = 0; r < model->rowCount(root); ++r)
        names << model->fileName(model->index(r, 0, root));
    names.sort();
    QCOMPARE(names, shown);
}

// The list's titles, types and times in Chinese, as the rest of the program, whatever the
// machine's locale; and the filter for every file.
void tst_FileDialog::listInChinese()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    for (const char *name : {"numbers", "numbers.txt"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QStringList filters = CSendPanelDialogs::OpenFilters();
    QCOMPARE(filters.last(), QStringLiteral("所有文件(*)"));
    CFileDialog dlg(nullptr, CFileDialog::NumberFile, filters);
    dlg.selectNameFilter(filters.last());
    QVERIFY(ShowFilled(dlg, dir.path(), 3));
    auto *view = dlg.findChild<QTreeView *>(QStringLiteral("treeView"));
    QVERIFY(view);
    const QAbstractItemModel *shown = view->model();
    QStringList titles;
    for (int c = 0; c < 4; ++c)
        titles << shown->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(titles, (QStringList{QStringLiteral("名称"), QStringLiteral("大小"), QStringLiteral("类型"), QStringLiteral("修改日期")}));
    QMap<QString, QString> types;
    const QModelIndex root = view->rootIndex();
    for (int r = 0; r < shown->rowCount(root); ++r) {
        types.insert(shown->index(r, 0, root).data().toString(), shown->index(r, 2, root).data().toString());
        const QString time = shown->index(r, 3, root).data().toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d$")).match(time).hasMatch(), qPrintable(time));
    }
    QCOMPARE(types.value(QStringLiteral("numbers.txt")), QStringLiteral("txt 文件"));
    QCOMPARE(types.value(QStringLiteral("numbers")), QStringLiteral("文件"));
    QCOMPARE(types.value(QStringLiteral("sub")), QStringLiteral("文件夹"));
}

// The program holds its database open (SQLite, write-ahead log) and shows its file dialog on
// the database's folder. Another program then opens the same database, writes and closes
// it; as the last one to close it would checkpoint and delete the log if it found no other
// connection. The program writes again: a third connection, in a third process, must see it.
void tst_FileDialog::databaseKeepsItsLocks()
{
    QTemporaryDir dir;
    const DbSettings settings = TestEnv::Sqlite(dir.path(), kName);
    CDbAccess program([settings] { return settings; });
    QVERIFY(WriteRow(program, QStringLiteral("before the dialog")) > 0);
    QVERIFY(QFile::exists(settings.m_strSqliteFile + QStringLiteral("-wal")));

    OpenWatch watch(dir.path());
    QVERIFY(watch.IsValid());
    {
        CFileDialog dlg(nullptr, CFileDialog::NumberFile, {CFileDialog::AllFiles()});
        QVERIFY(ShowFilled(dlg, dir.path(), 3)); // the database, its log and its shared memory
        dlg.reject();
    }
    QApplication::processEvents();
    QCOMPARE(watch.Opened(), QSet<QString>());

    QCOMPARE(OtherProcess(QStringLiteral("--write"), dir.path()), QStringLiteral("1"));
    QVERIFY(WriteRow(program, QStringLiteral("after the other program")) > 0);
    QCOMPARE(OtherProcess(QStringLiteral("--count"), dir.path()), QStringLiteral("3"));
}

// Run as the other program: "--write DIR" adds a row, "--count DIR" prints how many there are.
int main(int argc, char **argv)
{
    if (argc == 3 && (qstrcmp(argv[1], "--write") == 0 || qstrcmp(argv[1], "--count") == 0)) {
        QCoreApplication app(argc, argv);
        const DbSettings settings = TestEnv::Sqlite(QString::fromLocal8Bit(argv[2]), kName);
        CDbAccess db([settings] { return settings; });
        if (qstrcmp(argv[1], "--write") == 0)
            return std::printf("%d\n", WriteRow(db, QStringLiteral("other program")) > 0 ? 1 : 0) > 0 ? 0 : 1;
        std::printf("%d\n", SentRowCount(db));
        return 0;
    }
    QApplication app(argc, argv);
    tst_FileDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_filedialog.moc"
