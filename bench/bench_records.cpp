// Times the records list over a large journal: a SQLite database with 1,000,000 rows (half
// sent, half received) is filled once and kept; then, after a real login, the main window
// is built and shown, "显示全部" is given, the list is scrolled to its oldest row, and the
// process's peak resident memory is read. Run by hand on a Release build:
//   bench_records [rows] [data folder]     (defaults: 1000000, /tmp/skevo-bench-records)
#include "BenchKit.h"
#include "app/CMainFrame.h"
#include "app/CSkevoApp.h"
#include "app/IRingPlayer.h"
#include "records/CMyList.h"
#include "records/RecordsModel.h"
#include "users/LoginLogic.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {
class SilentRing : public IRingPlayer
{
public:
    void PlayRing(const QString &) override {}
    void StopRing() override {}
};

bool Fill(CDbAccess &db, int rows)
{
    static const char *const texts[] = {
        "今晚七点在三楼会议室开会,请准时参加,收到请回复。",
        "您的快递已到达小区门口驿站,取件码 5-2-1038,请于今日18点前领取。",
        "收到,谢谢!",
        "明天上午九点出发,记得带上身份证和合同原件。",
        "Your verification code is 482913. It expires in 10 minutes.",
        "好的,我马上过去。",
    };
    const QDateTime start(QDate(2015, 1, 1), QTime(8, 0));
    const int half = rows / 2;
    for (int chunk = 0; chunk < half; chunk += 20000) {
        const bool ok = db.Transaction([&] {
            for (int i = chunk; i < std::min(half, chunk + 20000); ++i) {
                const QString sendTime = start.addSecs(qint64(i) * 300).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                const QString recTime = start.addSecs(qint64(i) * 300 + 97).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                const QString number = QStringLiteral("86139%1").arg(i % 99991, 8, 10, QLatin1Char('0'));
                const QString text = QString::fromUtf8(texts[i % 6]);
                if (db.Insert(Sql::SendInsert, {-1, sendTime, i % 17 ? 1 : 0, number, text, QString()}) < 0)
                    return false;
                if (db.Insert(Sql::RecInsert, {number, QString::fromUtf8(texts[(i + 2) % 6]), recTime, QString(), QString()}) < 0)
                    return false;
            }
            return true;
        });
        if (!ok)
            return false;
        if (chunk % 100000 == 0)
            std::fprintf(stderr, "filling: %d of %d\n", 2 * chunk, rows);
    }
    return true;
}

// Gives the event loop a chance until f() holds. A turn of the loop that takes long is a
// time the window could not answer: the longest one is the longest freeze.
struct Waited
{
    double ms = 0;
    double longestStallMs = 0;
};
Waited WaitFor(const std::function<bool()> &f, int timeoutMs = 120000)
{
    QElapsedTimer total, turn;
    total.start();
    Waited w;
    while (!f() && total.elapsed() < timeoutMs) {
        turn.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        w.longestStallMs = std::max(w.longestStallMs, double(turn.nsecsElapsed()) / 1e6);
    }
    w.ms = double(total.nsecsElapsed()) / 1e6;
    return w;
}

void Report(const char *what, double ms)
{
    std::printf("%-62s %9.1f ms\n", what, ms);
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/tmp/skevo-bench-records");
    QDir().mkpath(folder);
    const QString settingsPath = QDir(folder).absoluteFilePath(QStringLiteral("setting.ini"));
    {
        CSettingsFile settings(settingsPath);
        settings.WriteString(QStringLiteral("SQL"), QStringLiteral("Data"), QStringLiteral("BENCH%1").arg(rows));
    }

    // The journal is filled once, then the program starts itself again, so that the measured
    // run starts without the filling in its memory.
    {
        const CSkevoApp probe(settingsPath);
        qint64 have = 0;
        {
            CDbAccess db(probe.DbSettingsSource());
            have = CountJournal(db, Sql::SendKeysBefore) + CountJournal(db, Sql::RecKeysBefore);
        }
        if (have != rows) {
            const QString file = probe.ReadDbSettings().m_strSqliteFile;
            std::fprintf(stderr, "journal has %lld rows; filling %d into %s\n", qlonglong(have), rows, qPrintable(file));
            QFile::remove(file);
            CDbAccess::ForgetSchemaChecks();
            CDbAccess db(probe.DbSettingsSource());
            db.SetErrorSink([](const QString &t) { std::fprintf(stderr, "%s\n", t.toUtf8().constData()); });
            if (!Fill(db, rows))
                return 1;
            std::fflush(stderr);
            execv("/proc/self/exe", argv);
            return 1;
        }
    }

    PrintedMessages messages;
    SilentRing ring;
    CSkevoApp app(settingsPath);
    app.Db().SetErrorSink([&](const QString &t) { messages.Show(t); });
    LoginLogic login;
    login.m_strName = QStringLiteral("admin");
    login.m_strPassword = QStringLiteral("admin");
    if (!login.Login(app.Db()).m_bOk)
        return 1;
    app.SetUser(login.m_strUserFound, login.m_bAdminFound);
    std::printf("journal: %d rows (%d sent, %d received), SQLite\n", rows, rows / 2, rows / 2);
    std::printf("after the login: VmRSS %ld kB\n", StatusKb("VmRSS:"));

    // From the end of the login to the main window on screen with its first rows painted.
    QSettings profile(QDir(folder).absoluteFilePath(QStringLiteral("profile.ini")), QSettings::IniFormat);
    QElapsedTimer timer;
    timer.start();
    CMainFrame frame(app, messages, ring, &profile);
    frame.ShowWithPlacement();
    if (!QTest::qWaitForWindowExposed(&frame))
        return 1;
    frame.repaint();
    const double shown = double(timer.nsecsElapsed()) / 1e6;
    CMyList &list = frame.List();
    RecordsModel &model = list.Model();
    const Waited startLoad = WaitFor([&] { return !model.IsLoading(); });
    Report("login -> main window shown, first rows painted", shown);
    Report("  ... every key of the start-up view read", shown + startLoad.ms);
    Report("  longest freeze of the window while the keys were read", startLoad.longestStallMs);
    std::printf("  rows: %d\n", model.rowCount());

    // "显示全部": the command returns with the newest rows; the rest follows in slices.
    QAction *all = list.findChild<QAction *>(QStringLiteral("actionLoadAll"));
    timer.restart();
    all->trigger();
    list.viewport()->repaint();
    const double firstScreen = double(timer.nsecsElapsed()) / 1e6;
    const Waited allLoad = WaitFor([&] { return !model.IsLoading(); });
    Report("显示全部 -> first screen painted", firstScreen);
    Report("显示全部 -> every row in the list", firstScreen + allLoad.ms);
    Report("  longest freeze of the window meanwhile", allLoad.longestStallMs);
    std::printf("  rows: %d, top: %s %s\n", model.rowCount(), qPrintable(model.Row(0).m_strTime),
                qPrintable(model.Row(0).m_strAction));

    // The oldest row: its page is read on demand.
    timer.restart();
    list.scrollToBottom();
    list.viewport()->repaint();
    Report("scroll to the oldest row, painted", double(timer.nsecsElapsed()) / 1e6);
    std::printf("  bottom: %s %s\n", qPrintable(model.Row(model.rowCount() - 1).m_strTime),
                qPrintable(model.Row(model.rowCount() - 1).m_strAction));
    timer.restart();
    for (int i = 1; i <= 20; ++i) {
        list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum() / 20 * i - 1);
        list.viewport()->repaint();
    }
    Report("20 jumps through the list, each painted (per jump)", double(timer.nsecsElapsed()) / 1e6 / 20);

    std::printf("peak resident memory (VmHWM): %ld kB\n", StatusKb("VmHWM:"));
    std::printf("resident memory now (VmRSS): %ld kB\n", StatusKb("VmRSS:"));
    std::printf("messages shown: %d\n", messages.count);
    frame.close();
    return messages.count == 0 ? 0 : 1;
}
