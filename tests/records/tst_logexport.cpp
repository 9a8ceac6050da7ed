// The log export: its exact bytes (heading, tabs, CR LF, GBK, a text of several lines), the
// CSV form, the rows in display order, a file that appears whole or not at all, and the
// command line writing the same bytes as the window's export of the same rows.
#include "FakeMessageBox.h"
#include "Journal.h"
#include "TestEnv.h"
#include "records/LogExport.h"
#include "records/RecordsModel.h"
#include "DbTargets.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

const QByteArray kGbkHeading("\xCA\xB1\xBC\xE4\t\t\t\xBA\xC5\xC2\xEB\t\t\xB6\xAF\xD7\xF7\t\xD7\xB4\xCC\xAC\t\xC4\xDA\xC8\xDD\r\n");
} // namespace

class tst_LogExport : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void bytesOfTheRows_data();
    void bytesOfTheRows();
    void rowsInDisplayOrderWithReportsOnTop();
    void strangersTexts_data();
    void strangersTexts();
    void cancelOrFailureLeavesNothingBehind_data();
    void cancelOrFailureLeavesNothingBehind();
    void commandLine_data();
    void commandLine();

private:
    std::unique_ptr<RecordsModel> Model()
    {
        auto m = ModelShowingOn(m_settings, m_messages);
        m->SetSliceSize(2);
        m->SetPageSize(2);
        return m;
    }
    std::unique_ptr<QTemporaryDir> m_dir;
    DbSettings m_settings;
    FakeMessageBox m_messages;
};

void tst_LogExport::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = TestEnv::Sqlite(m_dir->path());
    m_messages.Clear();
    Journal j(m_settings);
    QVERIFY(j.Received({QStringLiteral("2009-05-05 08:00:00"), QStringLiteral("13900000001"), QStringLiteral("第一行\n第二行"),
                        QString(), QStringLiteral("460001234567890")}) > 0);
    QVERIFY(j.Sent({QStringLiteral("2009-05-05 09:00:00"), QStringLiteral("8613900000002"), QStringLiteral("a,\"b\"\tc€"), 0, -1,
                    QStringLiteral("/dev/ttyUSB1")}) > 0);
}

void tst_LogExport::bytesOfTheRows_data()
{
    QTest::addColumn<int>("view");
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray received("2009-05-05 08:00:00\t13900000001\t\xBD\xD3\xCA\xD5\t\xB3\xC9\xB9\xA6\t"
                              "\xB5\xDA\xD2\xBB\xD0\xD0\r\n\xB5\xDA\xB6\xFE\xD0\xD0\t\r\n");
    QTest::newRow("one received row: heading, a tab after every field, CR LF, a text of two lines on two lines")
        << int(RecordsModel::View::Received) << int(LogExport::Text) << kGbkHeading + received;
    QTest::newRow("all view: newest first, \"失败!\", a tab inside a text unquoted, the euro as GBK has it, no modem")
        << int(RecordsModel::View::All) << int(LogExport::Text)
        << kGbkHeading + QByteArray("2009-05-05 09:00:00\t8613900000002\t\xB7\xA2\xCB\xCD\t\xCA\xA7\xB0\xDC!\ta,\"b\"\tc\x80\t\r\n")
            + received;
    // The modem: its port, and the last digits of its SIM where the row knows it.
    QTest::newRow("CSV: UTF-8 with its mark, quoted where needed, the report, the modem last")
        << int(RecordsModel::View::All) << int(LogExport::Csv)
        << QStringLiteral("\uFEFF时间,号码,动作,状态,内容,回执,短信猫\r\n"
                          "2009-05-05 09:00:00,8613900000002,发送,失败!,\"a,\"\"b\"\"\tc€\",,/dev/ttyUSB1\r\n"
                          "2009-05-05 08:00:00,13900000001,接收,成功,\"第一行\n第二行\",,SIM…7890\r\n").toUtf8();
}

void tst_LogExport::bytesOfTheRows()
{
    QFETCH(int, view);
    QFETCH(int, format);
    QFETCH(QByteArray, bytes);
    auto model = Model();
    if (view == int(RecordsModel::View::Received))
        model->LoadReceived();
    else
        model->LoadAll();
    const QString path = m_dir->filePath(QStringLiteral("短信收发日志.txt"));
    const LogExport::Result r = LogExport::Write(*model, model->TakeSnapshot(), path, LogExport::Format(format));
    QVERIFY(r.m_bOk);
    QCOMPARE(r.m_message->m_strText, QStringLiteral("导出到文件成功！"));
    QCOMPARE(ReadAll(path), bytes);
    QCOMPARE(m_messages.Texts(), QStringList());
}

void tst_LogExport::rowsInDisplayOrderWithReportsOnTop()
{
    auto model = Model();
    model->LoadReceived();
    const RecordsModel::Snapshot before = model->TakeSnapshot();
    SmsReport report;
    report.m_strTime = QStringLiteral("2009-05-06 10:00:00");
    report.m_strNumber = QStringLiteral("8613900000003");
    report.m_kind = SmsReport::Sent;
    report.m_outcome = SmsReport::Outcome::Failure;
    report.m_strContent = QStringLiteral("x");
    model->AddReportRow(report);
    // A report that arrives while an export runs does not shift what it writes.
    QCOMPARE(model->SnapshotRows(before, 0, 10).size(), 1);
    const QString path = m_dir->filePath(QStringLiteral("out.txt"));
    QVERIFY(LogExport::Write(*model, model->TakeSnapshot(), path, LogExport::Text).m_bOk);
    const QList<QByteArray> lines = ReadAll(path).split('\n');
    QCOMPARE(lines.value(1), QByteArray("2009-05-06 10:00:00\t8613900000003\t\xB7\xA2\xCB\xCD\t\xCA\xA7\xB0\xDC\tx\t\r"));
    QVERIFY(lines.value(2).startsWith("2009-05-05 08:00:00\t13900000001\t"));
}

// A stranger's message: an alphanumeric sender that a spreadsheet would take for a formula,
// a formula text, an emoji and a soft hyphen GBK does not have.
void tst_LogExport::strangersTexts_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("text: GBK alone, \"?\" for what it lacks, counted")
        << int(LogExport::Text)
        << QByteArray("2009-05-06 08:00:00\t@evil\t\xBD\xD3\xCA\xD5\t\xB3\xC9\xB9\xA6\t=1+1\r\n\xC4\xE3?x?\t\r\n")
        << QStringLiteral("导出到文件成功！\n2个字符不属于GBK字符集,已写成\"?\"");
    QTest::newRow("CSV: every character, formula cells inert")
        << int(LogExport::Csv) << QStringLiteral("2009-05-06 08:00:00,'@evil,接收,成功,\"'=1+1\n你😀x\u00AD\",,\r\n").toUtf8()
        << QStringLiteral("导出到文件成功！");
}

void tst_LogExport::strangersTexts()
{
    QFETCH(int, format);
    QFETCH(QByteArray, line);
    QFETCH(QString, message);
    QVERIFY(Journal(m_settings).Received({QStringLiteral("2009-05-06 08:00:00"), QStringLiteral("@evil"),
                                          QStringLiteral("=1+1\n你😀x\u00AD")}) > 0);
    auto model = Model();
    model->LoadReceived();
    const QString path = m_dir->filePath(QStringLiteral("log"));
    const LogExport::Result r = LogExport::Write(*model, model->TakeSnapshot(), path, LogExport::Format(format));
    QVERIFY(r.m_bOk);
    QCOMPARE(r.m_message->m_strText, message);
    const QByteArray bytes = ReadAll(path);
    QCOMPARE(bytes.mid(bytes.indexOf("\r\n") + 2, line.size()), line);
    if (format == LogExport::Text) {
        // What readers of GBK make of it: all of it.
        QProcess iconv;
        iconv.start(QStringLiteral("iconv"), {QStringLiteral("-f"), QStringLiteral("GBK"), QStringLiteral("-t"),
                                               QStringLiteral("UTF-8"), path});
        QVERIFY(iconv.waitForFinished(30000));
        QCOMPARE(iconv.exitCode(), 0);
        QVERIFY(QString::fromUtf8(iconv.readAllStandardOutput()).contains(QStringLiteral("=1+1\r\n你?x?\t\r\n")));
    }
}

void tst_LogExport::cancelOrFailureLeavesNothingBehind_data()
{
    QTest::addColumn<bool>("existing");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("cancelled, new file") << false << "cancel" << QString();
    QTest::newRow("cancelled, the old file stays as it was") << true << "cancel" << QString();
    QTest::newRow("records gone while writing, the old file stays") << true << "database"
                                                                     << QStringLiteral("读取短信记录失败,没有导出文件");
    QTest::newRow("folder missing: the message names the file") << false << "folder" << QStringLiteral("无法写入文件 %1");
}

void tst_LogExport::cancelOrFailureLeavesNothingBehind()
{
    QFETCH(bool, existing);
    QFETCH(QString, fault);
    QFETCH(QString, message);
    auto model = Model();
    model->LoadAll();
    const QString folder = m_dir->filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = QDir(folder).filePath(fault == QStringLiteral("folder") ? QStringLiteral("gone/log.txt")
                                                                                 : QStringLiteral("log.txt"));
    if (existing) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    const RecordsModel::Snapshot rows = model->TakeSnapshot();
    if (fault == QStringLiteral("database")) {
        DbProbe probe(m_settings);
        QVERIFY(probe.Exec(QStringLiteral("DROP TABLE T_SEND")));
    }
    int calls = 0;
    const LogExport::Result r = LogExport::Write(*model, rows, path, LogExport::Text, [&](qint64, qint64) {
        return fault != QStringLiteral("cancel") || ++calls < 2;
    });
    QVERIFY(!r.m_bOk);
    QCOMPARE(r.m_bCancelled, fault == QStringLiteral("cancel"));
    QCOMPARE(r.m_message ? r.m_message->m_strText.section(QLatin1Char('\n'), 0, 0) : QString(),
             message.contains(QLatin1String("%1")) ? message.arg(path) : message);
    QCOMPARE(QDir(folder).entryList(QDir::Files), existing ? QStringList{QStringLiteral("log.txt")} : QStringList());
    if (existing)
        QCOMPARE(ReadAll(path), QByteArray("old"));
}

void tst_LogExport::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("view"); // the window's rows to compare with; -1 none
    QTest::addColumn<int>("format");

    QTest::newRow("all view, text") << Strings({"--all"}) << 0 << QString() << int(RecordsModel::View::All)
                                    << int(LogExport::Text);
    QTest::newRow("all view to standard output") << Strings({"--all", "--to-stdout"}) << 0 << QString()
                                                 << int(RecordsModel::View::All) << int(LogExport::Text);
    QTest::newRow("received view, CSV") << Strings({"--received", "--csv"}) << 0 << QString()
                                        << int(RecordsModel::View::Received) << int(LogExport::Csv);
    QTest::newRow("query: failed sends") << Strings({"--sent", "--failed", "--day", "2009-05-05"}) << 0 << QString()
                                         << int(RecordsModel::View::Query) << int(LogExport::Text);
    QTest::newRow("the query's own check") << Strings({"--sent", "--number", "12a"}) << 2
                                           << QStringLiteral("手机号码不能超过24位并且不能包含非数字字符") << -1 << 0;
    QTest::newRow("bad day") << Strings({"--received", "--day", "2009-5-5"}) << 2 << QStringLiteral("YYYY-MM-DD") << -1 << 0;
    QTest::newRow("order on received") << Strings({"--received", "--order", "1"}) << 2 << QStringLiteral("sent records only")
                                       << -1 << 0;
    QTest::newRow("two tables") << Strings({"--sent", "--all"}) << 2 << QStringLiteral("usage") << -1 << 0;
    QTest::newRow("file not writable") << Strings({"--all", "--out-of-reach"}) << 1 << QStringLiteral("无法写入文件") << -1 << 0;
}

void tst_LogExport::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QFETCH(int, view);
    QFETCH(int, format);
    QVERIFY2(QFileInfo(TestEnv::CliPath()).isExecutable(), "SKEVO_CLI must name the built skevo-cli");
    QFile ini(m_dir->filePath(QStringLiteral("setting.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[SQL]\nDriver=sqlite\nData=%1\n").arg(m_settings.m_strData).toUtf8());
    ini.close();

    QString out = m_dir->filePath(QStringLiteral("cli.out"));
    if (args.removeAll(QStringLiteral("--out-of-reach")))
        out = m_dir->filePath(QStringLiteral("no/such/folder/cli.out"));
    const bool toStdout = args.removeAll(QStringLiteral("--to-stdout"));
    QProcess cli;
    cli.setWorkingDirectory(m_dir->path());
    cli.start(TestEnv::CliPath(), QStringList{QStringLiteral("export")} + args + QStringList{toStdout ? QStringLiteral("-") : out});
    QVERIFY(cli.waitForFinished(60000));
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    QCOMPARE(cli.exitCode(), exitCode);
    QVERIFY2(error.isEmpty() ? err.isEmpty() : err.contains(error), qPrintable(err));
    if (view < 0)
        return;

    auto model = Model();
    if (view == int(RecordsModel::View::All))
        model->LoadAll();
    else if (view == int(RecordsModel::View::Received))
        model->LoadReceived();
    else {
        RecordQuery failedThatDay;
        failedThatDay.m_bDay = true;
        failedThatDay.m_day = QDate(2009, 5, 5);
        failedThatDay.m_bSucceeded = false;
        model->LoadQuery(failedThatDay.Build());
    }
    const QString window = m_dir->filePath(QStringLiteral("window.out"));
    QVERIFY(LogExport::Write(*model, model->TakeSnapshot(), window, LogExport::Format(format)).m_bOk);
    QVERIFY(model->rowCount() > 0);
    QCOMPARE(toStdout ? cli.readAllStandardOutput() : ReadAll(out), ReadAll(window));
}

QTEST_GUILESS_MAIN(tst_LogExport)
#include "tst_logexport.moc"
