// Times the phone book dialog over a large book: a SQLite database with 100,000 entries is
// filled once and kept; then the dialog is built and shown (its list read and laid out), the
// filter field is typed into one key at a time (each key's handling and repaint timed), the
// filter is cleared, and "全选" + "插入(&I)" hands every number back. Run by hand on a
// Release build:
//   bench_phonebook [entries] [data folder]     (defaults: 100000, /tmp/skevo-bench-phonebook)
#include "BenchKit.h"
#include "send/CPhoneBookDlg.h"
#include "send/PhoneBook.h"
#include "send/PhoneBookModel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {
const char *const kSurnames[] = {"张", "王", "李", "赵", "刘", "陈", "杨", "黄", "周", "吴"};
const char *const kGivenNames[] = {"伟", "芳", "娜", "敏", "静", "磊", "洋", "勇", "艳", "杰", "涛", "明"};
const char *const kRelations[] = {"同事", "朋友", "家人", "客户", "同学", "供应商", "VIP客户", "物业"};

bool Fill(CDbAccess &db, int entries)
{
    return db.Transaction([&] {
        for (int i = 0; i < entries; ++i) {
            const QString name = QString::fromUtf8(kSurnames[i % 10]) + QString::fromUtf8(kGivenNames[(i / 10) % 12])
                + (i % 3 ? QString() : QString::fromUtf8(kGivenNames[(i / 120) % 12]));
            const QString number = QStringLiteral("13%1").arg(qint64(i) * 7919 % 1000000000, 9, 10, QLatin1Char('0'));
            if (!db.Execute(Sql::BookInsert, {name, number, QString::fromUtf8(kRelations[i % 8])}))
                return false;
        }
        return true;
    });
}

// Wall-clock time and the time this thread ran on a processor since the timer's start. On a
// machine shared with other work the second is what an otherwise idle machine would take.
class Timer
{
public:
    Timer() { restart(); }
    void restart()
    {
        m_wall.start();
        m_cpu = ThreadCpuNs();
    }
    double WallMs() const { return double(m_wall.nsecsElapsed()) / 1e6; }
    double CpuMs() const { return double(ThreadCpuNs() - m_cpu) / 1e6; }

private:
    static qint64 ThreadCpuNs()
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }
    QElapsedTimer m_wall;
    qint64 m_cpu = 0;
};

void Report(const QString &what, const Timer &t)
{
    std::printf("%-50s %9.1f ms wall %9.1f ms cpu\n", what.toUtf8().constData(), t.WallMs(), t.CpuMs());
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int entries = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/tmp/skevo-bench-phonebook");
    QDir().mkpath(folder);
    DbSettings settings;
    settings.m_driver = DbSettings::Sqlite;
    settings.m_strData = QStringLiteral("BOOK%1").arg(entries);
    settings.m_strSqliteFile = QDir(folder).absoluteFilePath(settings.m_strData + QStringLiteral(".db"));
    const CDbAccess::SettingsSource source = [settings] { return settings; };
    PrintedMessages messages;
    {
        CDbAccess db(source);
        db.SetErrorSink([&messages](const QString &text) { messages.Show(text); });
        const qint64 have = CountRows(db, Sql::BookSelect);
        if (have != 0 && have != entries) {
            std::fprintf(stderr, "%s holds %lld entries; remove it first\n", qPrintable(settings.m_strSqliteFile), have);
            return 1;
        }
        if (have == 0) {
            std::fprintf(stderr, "filling %d entries into %s\n", entries, qPrintable(settings.m_strSqliteFile));
            if (!Fill(db, entries))
                return 1;
        }
    }

    Timer t;
    {
        CDbAccess db(source);
        PhoneBookModel model;
        PhoneBook book(db, model);
        db.Connect();
        t.restart();
        book.Load();
        Report(QStringLiteral("read alone: %1 entries, %2 relations").arg(model.AllEntries().size()).arg(book.Groups().size()),
               t);
    }
    t.restart();
    CPhoneBookDlg dlg(source, messages);
    Report(QStringLiteral("open: dialog built (book read into the model)"), t);
    dlg.show();
    if (!QTest::qWaitForWindowExposed(&dlg))
        return 1;
    QCoreApplication::processEvents();
    Report(QStringLiteral("open: built, shown and painted"), t);
    auto *list = dlg.findChild<QTableView *>(QStringLiteral("entryList"));
    std::printf("%d entries, %d rows shown\n", entries, list->model()->rowCount());

    auto *filter = dlg.findChild<QLineEdit *>(QStringLiteral("filterEdit"));
    double slowestWall = 0;
    double slowestCpu = 0;
    auto typeKeys = [&](const QString &keys) {
        for (QChar c : keys) {
            t.restart();
            // As a key or an input method commits it: one character at the caret.
            filter->insert(QString(c));
            list->viewport()->repaint();
            QCoreApplication::processEvents();
            slowestWall = std::max(slowestWall, t.WallMs());
            slowestCpu = std::max(slowestCpu, t.CpuMs());
            Report(QStringLiteral("key \"%1\" -> filter \"%2\", %3 rows").arg(c).arg(filter->text()).arg(list->model()->rowCount()), t);
        }
    };
    typeKeys(QStringLiteral("138"));
    typeKeys(QStringLiteral("5"));
    t.restart();
    filter->clear();
    list->viewport()->repaint();
    QCoreApplication::processEvents();
    Report(QStringLiteral("filter cleared, %1 rows").arg(list->model()->rowCount()), t);
    typeKeys(QStringLiteral("同事"));
    filter->clear();
    typeKeys(QStringLiteral("张伟"));
    filter->clear();
    std::printf("%-50s %9.1f ms wall %9.1f ms cpu\n", "slowest key", slowestWall, slowestCpu);

    t.restart();
    QTest::mouseClick(dlg.findChild<QPushButton *>(QStringLiteral("selectAllButton")), Qt::LeftButton);
    QTest::mouseClick(dlg.findChild<QPushButton *>(QStringLiteral("insertButton")), Qt::LeftButton);
    Report(QStringLiteral("全选 + 插入: %1 numbers handed back").arg(dlg.m_selectedNumbers.size()), t);
    return 0;
}
