#include "base/FileWriter.h"
#include "send/CRandGenerator.h"
#include "send/SendListLogic.h"
#include "send/SendListModel.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

Q_DECLARE_METATYPE(IMessageBox::Icon)

class tst_SendListLogic : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void manualEntry_data();
    void manualEntry();
    void importNotice();
    void import_data();
    void import();
    void importTwiceAppendsTwice();
    void importKeepsEntriesAlreadyThere();
    void selectionCommandsNeedASelection();
    void moveToFrontAndRemoveSelected();
    void clearQuestion();
    void exportOfEmptyList();
    void exportWritesTheNumberFile();
    void exportTruncatesAnExistingFile();
    void exportFailures_data();
    void exportFailures();
    void fileErrorTexts_data();
    void fileErrorTexts();

private:
    QString Write(const QString &name, const QByteArray &content);

    QTemporaryDir m_dir;
    SendListModel m_model;
    QAbstractItemModelTester m_tester{&m_model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    CRandGenerator m_generator;
};

QString tst_SendListLogic::Write(const QString &name, const QByteArray &content)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the test file");
    file.write(content);
    return path;
}

void tst_SendListLogic::init()
{
    m_model.Clear();
}

void tst_SendListLogic::manualEntry_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<bool>("refused");
    QTest::newRow("blanks around 138") << QStringLiteral("  138 ") << QStringList{QStringLiteral("138")} << false;
    QTest::newRow("tab and line breaks trimmed") << QStringLiteral("\t138\r\n") << QStringList{QStringLiteral("138")} << false;
    QTest::newRow("not checked, not normalised") << QStringLiteral("abc") << QStringList{QStringLiteral("abc")} << false;
    QTest::newRow("plus kept") << QStringLiteral("+8613800000000") << QStringList{QStringLiteral("+8613800000000")} << false;
    QTest::newRow("blanks only") << QStringLiteral("   ") << QStringList() << true;
    QTest::newRow("nothing") << QString() << QStringList() << true;
}

void tst_SendListLogic::manualEntry()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, entries);
    QFETCH(bool, refused);
    SendListLogic logic(m_model, m_generator);
    m_model.Append(QStringLiteral("first"));
    const std::optional<PanelMessage> message = logic.ManualEntry(typed);
    QCOMPARE(message.has_value(), refused);
    if (refused) {
        QCOMPARE(message->m_strText, QStringLiteral("电话号码不能为空"));
        QCOMPARE(message->m_strCaption, QStringLiteral("提示"));
        QCOMPARE(message->m_icon, IMessageBox::Critical);
    }
    QCOMPARE(m_model.GetAllNumbers(), QStringList{QStringLiteral("first")} + entries);
}

void tst_SendListLogic::importNotice()
{
    const PanelMessage notice = SendListLogic::ImportNotice();
    QCOMPARE(notice.m_strText, QStringLiteral("要打开的txt文件以start开始\t\n以end结束,\t\n电话号码换行"));
    QCOMPARE(notice.m_strCaption, QStringLiteral("消息提式"));
    QCOMPARE(notice.m_icon, IMessageBox::Information);
}

void tst_SendListLogic::import_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QString>("status");
    const QStringList one{QStringLiteral("8613800000000")};
    QTest::newRow("mixed lines")
        << QByteArray("start\n13800000000\n+8613800000000\n138 0000\nabc\n\nend\n") << one
        << QStringLiteral("成功加载了1个,加载失败2个");
    QTest::newRow("CR LF line ends")
        << QByteArray("start\r\n13800000000\r\n+8613800000000\r\n138 0000\r\nabc\r\n\r\nend\r\n") << one
        << QStringLiteral("成功加载了1个,加载失败2个");
    QTest::newRow("words after start, lines after end")
        << QByteArray("start of the list\n10086\nend\n13900000000\n") << QStringList{QStringLiteral("8610086")}
        << QStringLiteral("成功加载了1个,加载失败0个");
    QTest::newRow("plus alone") << QByteArray("start\n+\nend") << QStringList() << QStringLiteral("成功加载了0个,加载失败1个");
    QTest::newRow("no number") << QByteArray("start\nEND\nend") << QStringList() << QStringLiteral("成功加载了0个,加载失败1个");
    QTest::newRow("no end line") << QByteArray("start\n13800000000\n") << QStringList() << QString();
    QTest::newRow("upper-case start") << QByteArray("START\n13800000000\nend\n") << QStringList() << QString();
    QTest::newRow("blank before start") << QByteArray(" start\n13800000000\nend\n") << QStringList() << QString();
}

void tst_SendListLogic::import()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, added);
    QFETCH(QString, status);
    SendListLogic logic(m_model, m_generator);
    m_model.Append(QStringLiteral("kept"));
    const SendListLogic::ImportOutcome outcome = logic.Import(Write(QStringLiteral("numbers.txt"), content));
    QCOMPARE(m_model.GetAllNumbers(), QStringList{QStringLiteral("kept")} + added);
    QCOMPARE(outcome.m_strStatus, status);
    if (status.isEmpty()) {
        QVERIFY(outcome.m_message.has_value());
        QCOMPARE(outcome.m_message->m_strText, QStringLiteral("该文件无效"));
    } else {
        QVERIFY(!outcome.m_message.has_value());
        QCOMPARE(outcome.m_nLoaded, int(added.size()));
    }
}

void tst_SendListLogic::importTwiceAppendsTwice()
{
    SendListLogic logic(m_model, m_generator);
    const QString path = Write(QStringLiteral("twice.txt"), "start\n13800000000\n13900000000\nend");
    logic.Import(path);
    logic.Import(path);
    QCOMPARE(m_model.GetAllNumbers(), (QStringList{QStringLiteral("8613800000000"), QStringLiteral("8613900000000"),
                                                   QStringLiteral("8613800000000"), QStringLiteral("8613900000000")}));
}

void tst_SendListLogic::importKeepsEntriesAlreadyThere()
{
    SendListLogic logic(m_model, m_generator);
    m_model.Append(QStringLiteral("8613800000000"));
    const auto outcome = logic.Import(Write(QStringLiteral("same.txt"), "start\n13800000000\nend\n"));
    QCOMPARE(outcome.m_strStatus, QStringLiteral("成功加载了1个,加载失败0个"));
    QCOMPARE(m_model.Count(), 2);

    const auto missing = logic.Import(m_dir.filePath(QStringLiteral("missing.txt")));
    QCOMPARE(missing.m_message->m_strText, QStringLiteral("该文件无效"));
    QCOMPARE(m_model.Count(), 2);
}

void tst_SendListLogic::selectionCommandsNeedASelection()
{
    SendListLogic logic(m_model, m_generator);
    m_model.Append({QStringLiteral("a"), QStringLiteral("b")});
    const auto front = logic.MoveToFront({});
    QVERIFY(front.has_value());
    QCOMPARE(front->m_strText, QStringLiteral("请选择要优先发送的号码"));
    QCOMPARE(front->m_icon, IMessageBox::Information);
    const auto remove = logic.RemoveSelected({});
    QVERIFY(remove.has_value());
    QCOMPARE(remove->m_strText, QStringLiteral("请先选择要取消发送的号码!"));
    QCOMPARE(remove->m_strCaption, QString()); // the application's title
    QCOMPARE(remove->m_icon, IMessageBox::Warning);
    QCOMPARE(m_model.GetAllNumbers(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

void tst_SendListLogic::moveToFrontAndRemoveSelected()
{
    SendListLogic logic(m_model, m_generator);
    m_model.Append({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("e")});
    QVERIFY(!logic.MoveToFront({1, 3}));
    QCOMPARE(m_model.GetAllNumbers(), (QStringList{QStringLiteral("b"), QStringLiteral("d"), QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("e")}));
    QVERIFY(!logic.RemoveSelected({0, 4}));
    QCOMPARE(m_model.GetAllNumbers(), (QStringList{QStringLiteral("d"), QStringLiteral("a"), QStringLiteral("c")}));
    logic.Clear();
    QCOMPARE(m_model.Count(), 0);
}

void tst_SendListLogic::clearQuestion()
{
    const PanelMessage question = SendListLogic::ClearQuestion();
    QCOMPARE(question.m_strText, QStringLiteral("真的要删除清除列表中的发送号码吗？"));
    QCOMPARE(question.m_icon, IMessageBox::Question);
    QCOMPARE(question.m_buttons, IMessageBox::OkCancel);
}

void tst_SendListLogic::exportOfEmptyList()
{
    SendListLogic logic(m_model, m_generator);
    const auto refusal = logic.ExportCheck();
    QVERIFY(refusal.has_value());
    QCOMPARE(refusal->m_strText, QStringLiteral("无号码可导出"));
    QCOMPARE(refusal->m_icon, IMessageBox::Information);
    m_model.Append(QStringLiteral("1"));
    QVERIFY(!logic.ExportCheck().has_value());
}

void tst_SendListLogic::exportWritesTheNumberFile()
{
    SendListLogic logic(m_model, m_generator);
    m_model.Append({QStringLiteral("13800000000"), QStringLiteral("abc")});
    const QString path = m_dir.filePath(QStringLiteral("export.txt"));
    const PanelMessage result = logic.Export(path);
    QCOMPARE(result.m_strText, QStringLiteral("导出到文件成功！"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("start\n13800000000\nabc\nend"));
    QCOMPARE(m_model.Count(), 2);
}

void tst_SendListLogic::exportTruncatesAnExistingFile()
{
    SendListLogic logic(m_model, m_generator);
    const QString path = Write(QStringLiteral("old.txt"), QByteArray(4096, 'x'));
    m_model.Append({QStringLiteral("+8613800000000"), QStringLiteral("张三")});
    QCOMPARE(logic.Export(path).m_strText, QStringLiteral("导出到文件成功！"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    // Entries as they stand, in GBK.
    QCOMPARE(file.readAll(), QByteArray("start\n+8613800000000\n\xd5\xc5\xc8\xfd\nend"));
}

void tst_SendListLogic::exportFailures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text");
    const QString noDir = m_dir.filePath(QStringLiteral("no/such/dir/x.txt"));
    QTest::newRow("missing folder") << noDir << QStringLiteral("未能找到 %1 的一部分路径。").arg(noDir);
    QTest::newRow("a folder") << m_dir.path() << QStringLiteral("对 %1 的存取被拒绝。").arg(m_dir.path());
}

void tst_SendListLogic::exportFailures()
{
    QFETCH(QString, path);
    QFETCH(QString, text);
    SendListLogic logic(m_model, m_generator);
    m_model.Append(QStringLiteral("13800000000"));
    const PanelMessage result = logic.Export(path);
    QCOMPARE(result.m_strText, text);
    QCOMPARE(result.m_icon, IMessageBox::Warning);
    QCOMPARE(m_model.Count(), 1);
}

void tst_SendListLogic::fileErrorTexts_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("permission denied") << int(EACCES) << QStringLiteral("对 /x/保存号码.txt 的存取被拒绝。");
    QTest::newRow("read-only file system") << int(EROFS) << QStringLiteral("对 /x/保存号码.txt 的存取被拒绝。");
    QTest::newRow("no such folder") << int(ENOENT) << QStringLiteral("未能找到 /x/保存号码.txt 的一部分路径。");
    QTest::newRow("disk full") << int(ENOSPC) << QStringLiteral("/x/保存号码.txt 所在的磁盘已满。");
    QTest::newRow("too many files") << int(EMFILE) << QStringLiteral("由于打开的文件太多，无法打开 /x/保存号码.txt。");
    QTest::newRow("name too long") << int(ENAMETOOLONG) << QStringLiteral("/x/保存号码.txt 包含不正确的路径。");
    QTest::newRow("hardware") << int(EIO) << QStringLiteral("读写 /x/保存号码.txt 时出现硬件 I/O 错误。");
    QTest::newRow("anything else") << int(EXDEV) << QStringLiteral("访问 /x/保存号码.txt 时发生未知错误。");
}

void tst_SendListLogic::fileErrorTexts()
{
    QFETCH(int, error);
    QFETCH(QString, text);
    QCOMPARE(FileWriter::ErrorText(error, QStringLiteral("/x/保存号码.txt")), text);
}

QTEST_GUILESS_MAIN(tst_SendListLogic)
#include "tst_sendlistlogic.moc"
