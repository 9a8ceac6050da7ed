#include "DbTargets.h"
#include "PanelFakes.h"

#include "ModemSimulator.h"
#include "app/CSkevoApp.h"
#include "outbox/OptOutList.h"
#include "pool/ModemPort.h"
#include "send/CTrayIcon.h"
#include "base/FrameSettings.h"
#include "send/CRandGenerator.h"
#include "send/CSkevoView.h"
#include "send/LastNumbers.h"
#include "base/MessageText.h"
#include "send/SendListModel.h"
#include "sms/PduCodec.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(IMessageBox::Icon)

namespace {
const QString kDefaultText = QStringLiteral("在做一个短信软件,测试短信");

// Typing as an input method commits it (Chinese text comes that way).
void Type(QWidget *widget, const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(widget, char(c.unicode()));
        } else {
            QInputMethodEvent event;
            event.setCommitString(QString(c));
            QApplication::sendEvent(widget, &event);
        }
    }
}

QStringList Letters(const char *letters)
{
    QStringList out;
    for (const char *p = letters; *p; ++p)
        out << QString(QLatin1Char(*p));
    return out;
}
} // namespace

class tst_SkevoView : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void layoutAndCaptions();
    void initialUpdate();
    void initialUpdateRestoresLastNumbersOnce();
    void initialUpdateShowsWhatTheDatabaseSaid();
    void storedMessageComesBackWhole_data();
    void storedMessageComesBackWhole();
    void byteCountFollowsTheField();
    void fieldTakesNoMoreThan140Bytes();
    void cutKeepsTheTextAroundTheCaret();
    void undoTakesBackTheCutEdit();
    void enterStartsANewLine();
    void manualEntry_data();
    void manualEntry();
    void importFile();
    void importInvalidFile();
    void importCancelled();
    void removeDuplicatesButton();
    void orderButton();
    void commandsOnClickedEntries_data();
    void commandsOnClickedEntries();
    void clickTogglesSelection();
    void entriesAreShownWhole_data();
    void entriesAreShownWhole();
    void entriesNarrowAgainWhenTheLongOneGoes();
    void selectionCommandsWithoutSelection();
    void clearList_data();
    void clearList();
    void exportNumbers();
    void exportEmptyList();
    void exportFailure();
    void sendRefusals_data();
    void sendRefusals();
    void progressBar_data();
    void progressBar();
    void stopWithdrawsWhatIsQueued();
    void sendAgainAsksFirst();
    void sendAgainAfterStopSendsTheRest();
    void stopRefusedSaysSo();
    void connectionState();
    void sendThroughSimulatedModem();
    void listedNumbersAreSkipped();
    void textGoesOutInTheFewestMessages_data();
    void textGoesOutInTheFewestMessages();
    void overlongNumberFailsAloneInTheRun();
    void personalPreviewWalksTheList();
    void personalTextRefusals_data();
    void personalTextRefusals();
    void personalTextsGoOutEachInItsCoding();

private:
    QString Preview() const;
    bool PreviewShown() const;
    void Make(const QByteArray &settings = QByteArray());
    QPushButton *Button(const char *name) const;
    void Click(const char *name);
    void ClickEntry(int row);
    QListView *List() const;
    QPlainTextEdit *Edit() const;
    QString ByteCount() const;
    QString CountText() const;
    QString Write(const QString &name, const QByteArray &content);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CSkevoApp> m_app;
    FakeMessageBox m_box;
    ScriptedPanelDialogs m_dialogs;
    std::unique_ptr<CSkevoView> m_view;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void tst_SkevoView::init()
{
    m_box = FakeMessageBox();
    m_dialogs = ScriptedPanelDialogs();
    Make();
}

void tst_SkevoView::Make(const QByteArray &settings)
{
    m_tester.reset();
    m_view.reset();
    m_app.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString ini = m_dir->filePath(QStringLiteral("setting.ini"));
    QFile file(ini);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[SQL]\nDriver=sqlite\nData=PANELTEST\n" + settings);
    file.close();
    m_app = std::make_unique<CSkevoApp>(ini);
}

void tst_SkevoView::cleanup()
{
    m_tester.reset();
    m_view.reset();
    m_app.reset();
    m_dir.reset();
}

QPushButton *tst_SkevoView::Button(const char *name) const
{
    auto *button = m_view->findChild<QPushButton *>(QLatin1String(name));
    if (!button)
        qFatal("no button %s", name);
    return button;
}

void tst_SkevoView::Click(const char *name)
{
    QTest::mouseClick(Button(name), Qt::LeftButton);
}

QListView *tst_SkevoView::List() const
{
    return m_view->findChild<QListView *>(QStringLiteral("sendList"));
}

QPlainTextEdit *tst_SkevoView::Edit() const
{
    return m_view->findChild<QPlainTextEdit *>(QStringLiteral("messageEdit"));
}

// What "字数:" shows, "140 (1条)".
QString tst_SkevoView::CountText() const
{
    return m_view->findChild<QLabel *>(QStringLiteral("byteCountLabel"))->text();
}

// The count alone, without the messages.
QString tst_SkevoView::ByteCount() const
{
    return CountText().section(QLatin1Char(' '), 0, 0);
}

void tst_SkevoView::ClickEntry(int row)
{
    QListView *list = List();
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualRect(index).center());
}

QString tst_SkevoView::Write(const QString &name, const QByteArray &content)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the test file");
    file.write(content);
    return path;
}

// Builds the panel the way the main window does, and shows it.
#define SHOW_PANEL()                                                                                  \
    do {                                                                                              \
        m_view = std::make_unique<CSkevoView>(m_app->Settings(), m_app->Device(), m_app->Db(), m_app->Queue(), m_box); \
        m_tester = std::make_unique<QAbstractItemModelTester>(&m_view->Model(),                       \
                                                              QAbstractItemModelTester::FailureReportingMode::QtTest); \
        m_view->SetDialogs(&m_dialogs);                                                               \
        m_view->resize(900, 520);                                                                     \
        m_view->show();                                                                               \
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));                                          \
        m_view->InitialUpdate();                                                                      \
    } while (false)

void tst_SkevoView::layoutAndCaptions()
{
    SHOW_PANEL();
    const QList<QPair<const char *, QString>> enabled{
        {"manualButton", QStringLiteral("手工输入")},      {"importButton", QStringLiteral("导入文件")},
        {"removeDuplicatesButton", QStringLiteral("清除重号")}, {"orderButton", QStringLiteral("顺序排列")},
        {"moveToFrontButton", QStringLiteral("优先发送")}, {"exportButton", QStringLiteral("导出号码")},
        {"removeSelectedButton", QStringLiteral("删除选中")}, {"clearButton", QStringLiteral("清空列表")},
        {"sendButton", QStringLiteral("发送")},            {"stopButton", QStringLiteral("停止")},
        {"generateButton", QStringLiteral("生成号码")},    {"insertPhraseButton", QStringLiteral("插入短语")},
        {"phoneBookButton", QStringLiteral("电话本导入")}};
    for (const auto &[name, text] : enabled) {
        QCOMPARE(Button(name)->text(), text);
        QVERIFY2(Button(name)->isEnabled(), name);
    }
    QCOMPARE(m_view->findChild<QLabel *>(QStringLiteral("sendListLabel"))->text(), QStringLiteral("发送列表:"));
    QCOMPARE(m_view->findChild<QLabel *>(QStringLiteral("messageLabel"))->text(), QStringLiteral("群发内容:    字数:"));

    QListView *list = List();
    QCOMPARE(list->flow(), QListView::TopToBottom);
    QVERIFY(list->isWrapping());
    QCOMPARE(list->viewMode(), QListView::ListMode);
    QCOMPARE(list->selectionMode(), QAbstractItemView::MultiSelection);
    QVERIFY(list->uniformItemSizes());

    // Buttons to the right of the list, send to the right of the field, stop to the right of the bar.
    const auto right = [this](QWidget *w) { return w->mapTo(m_view.get(), QPoint(0, 0)).x(); };
    QVERIFY(right(Button("manualButton")) > right(list) + list->width() - 1);
    QVERIFY(right(Button("sendButton")) >= right(Edit()) + Edit()->width());
    QVERIFY(right(Button("stopButton")) >= right(m_view->ProgressBar()) + m_view->ProgressBar()->width());
    const auto top = [this](QWidget *w) { return w->mapTo(m_view.get(), QPoint(0, 0)).y(); };
    QVERIFY(top(list) < top(Edit()));
    QVERIFY(top(Edit()) < top(m_view->ProgressBar()));
}

void tst_SkevoView::initialUpdate()
{
    SHOW_PANEL();
    QCOMPARE(Edit()->toPlainText(), kDefaultText);
    QCOMPARE(m_view->Message(), kDefaultText);
    QCOMPARE(ByteCount(), QStringLiteral("25"));
    QCOMPARE(m_view->GetAllNumbers(), QStringList());
    QVERIFY(m_view->Tray().IsAdded());
    QCOMPARE(m_view->Tray().Tip(), QStringLiteral("电脑与短信猫未连接"));
    QVERIFY(!m_view->Tray().Icon().isNull());
    QCOMPARE(m_view->ProgressBar()->minimum(), 0);
    QCOMPARE(m_view->ProgressBar()->maximum(), 100);
    QCOMPARE(m_view->ProgressBar()->value(), 0);
    QVERIFY(m_box.shown.isEmpty());
}

void tst_SkevoView::initialUpdateRestoresLastNumbersOnce()
{
    const QStringList saved{QStringLiteral("9"), QStringLiteral("+8613800000000"), QStringLiteral("abc")};
    QVERIFY(LastNumbers::SaveLastNumbers(m_app->Db(), saved));
    SHOW_PANEL();
    QCOMPARE(m_view->GetAllNumbers(), saved);
    m_view->InitialUpdate();
    QCOMPARE(m_view->GetAllNumbers(), saved);
    QCOMPARE(List()->model()->rowCount(), 3);
    QCOMPARE(List()->model()->index(1, 0).data().toString(), QStringLiteral("+8613800000000"));
}

// The list of the last run cannot be read: the panel shows the database's text, once.
void tst_SkevoView::initialUpdateShowsWhatTheDatabaseSaid()
{
    QVERIFY(m_app->Db().Connect());
    {
        DbProbe probe(m_app->ReadDbSettings());
        QVERIFY2(probe.Exec(QStringLiteral("DROP TABLE T_LASTNO")), qPrintable(probe.Error()));
    }
    SHOW_PANEL();
    QCOMPARE(m_box.shown.size(), 1);
    QVERIFY2(m_box.Last().contains(QStringLiteral("T_LASTNO")), qPrintable(m_box.Last()));
    QCOMPARE(m_box.shown.last().icon, IMessageBox::NoIcon);
    QVERIFY(m_view->GetAllNumbers().isEmpty());
}

void tst_SkevoView::storedMessageComesBackWhole_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    const QString full = QString(69, QChar(0x4E2D)) + QStringLiteral("。");
    QTest::newRow("140 bytes ending in a full stop") << full << full;
    QTest::newRow("140 single bytes") << QString(140, QLatin1Char('x')) << QString(140, QLatin1Char('x'));
    const QString lines = QStringLiteral("a\n") + QString(68, QChar(0x4E2D)) + QStringLiteral("bc"); // 140 bytes
    QTest::newRow("a line break counts one") << lines << lines;
    // Longer than the field takes (a file written by hand): what the field would have taken.
    QTest::newRow("too long for the field") << QString(80, QChar(0x4E2D)) << QString(70, QChar(0x4E2D));
}

// What the panel shows at start is what the main window saved from it at the last exit.
void tst_SkevoView::storedMessageComesBackWhole()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    Make();
    QVERIFY(FrameSettings::WriteOnClose(m_app->Settings(), typed, true));
    SHOW_PANEL();
    QCOMPARE(Edit()->toPlainText(), shown);
    QCOMPARE(m_view->Message(), shown);
    QCOMPARE(ByteCount(), QString::number(MessageText::ByteCount(shown)));
}

void tst_SkevoView::byteCountFollowsTheField()
{
    SHOW_PANEL();
    Edit()->clear();
    QCOMPARE(ByteCount(), QStringLiteral("0"));
    QCOMPARE(m_view->Message(), QString());
    Type(Edit(), QStringLiteral("ab中"));
    QCOMPARE(ByteCount(), QStringLiteral("4"));
    QCOMPARE(m_view->Message(), QStringLiteral("ab中"));
    QTest::keyClick(Edit(), Qt::Key_Backspace);
    QCOMPARE(ByteCount(), QStringLiteral("2"));
    QCOMPARE(m_view->Message(), QStringLiteral("ab"));
}

void tst_SkevoView::fieldTakesNoMoreThan140Bytes()
{
    SHOW_PANEL();
    const QString seventy(70, QChar(0x6587));
    Edit()->setPlainText(seventy);
    QCOMPARE(ByteCount(), QStringLiteral("140"));
    Edit()->moveCursor(QTextCursor::End);
    Type(Edit(), QStringLiteral("字a"));
    QTest::keyClick(Edit(), Qt::Key_Return);
    QCOMPARE(Edit()->toPlainText(), seventy);
    QCOMPARE(ByteCount(), QStringLiteral("140"));
    QCOMPARE(m_view->Message(), seventy);

    // 139 bytes leave room for one ASCII character, not for a Chinese one.
    Edit()->setPlainText(QString(139, QLatin1Char('x')));
    Edit()->moveCursor(QTextCursor::End);
    Type(Edit(), QStringLiteral("字"));
    QCOMPARE(ByteCount(), QStringLiteral("139"));
    QTest::keyClicks(Edit(), QStringLiteral("yz"));
    QCOMPARE(Edit()->toPlainText(), QString(139, QLatin1Char('x')) + QLatin1Char('y'));
    QCOMPARE(ByteCount(), QStringLiteral("140"));

    // Too much set from outside keeps the beginning that fits.
    Edit()->setPlainText(QString(200, QLatin1Char('q')));
    QCOMPARE(Edit()->toPlainText(), QString(140, QLatin1Char('q')));
}

void tst_SkevoView::cutKeepsTheTextAroundTheCaret()
{
    SHOW_PANEL();
    const QString head(10, QChar(0x4E00));
    const QString tail(59, QChar(0x4E8C)); // 69 characters, 138 bytes
    Edit()->setPlainText(head + tail);
    QTextCursor cursor = Edit()->textCursor();
    cursor.setPosition(10);
    Edit()->setTextCursor(cursor);
    Edit()->insertPlainText(QStringLiteral("中文ab"));  // only "中" fits
    QCOMPARE(Edit()->toPlainText(), head + QStringLiteral("中") + tail);
    QCOMPARE(Edit()->textCursor().position(), 11);
    QCOMPARE(ByteCount(), QStringLiteral("140"));

    // Replacing a selection: what is selected makes room.
    cursor = Edit()->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(2, QTextCursor::KeepAnchor);   // two Chinese characters, 4 bytes
    Edit()->setTextCursor(cursor);
    Edit()->insertPlainText(QStringLiteral("abcdefgh"));
    QCOMPARE(Edit()->toPlainText(), QStringLiteral("abcd") + head.mid(2) + QStringLiteral("中") + tail);
    QCOMPARE(Edit()->textCursor().position(), 4);
    QCOMPARE(ByteCount(), QStringLiteral("140"));
}

void tst_SkevoView::undoTakesBackTheCutEdit()
{
    SHOW_PANEL();
    const QString text(69, QChar(0x4E00));
    Edit()->setPlainText(text);
    Edit()->moveCursor(QTextCursor::End);
    QGuiApplication::clipboard()->setText(QStringLiteral("中文"));
    if (QGuiApplication::clipboard()->text() != QStringLiteral("中文"))
        QSKIP("no clipboard on this platform");
    QTest::keyClick(Edit(), Qt::Key_V, Qt::ControlModifier); // only "中" fits
    QCOMPARE(Edit()->toPlainText(), text + QStringLiteral("中"));
    QCOMPARE(Edit()->textCursor().position(), 70);
    QTest::keyClick(Edit(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Edit()->toPlainText(), text);
    QCOMPARE(ByteCount(), QStringLiteral("138"));
    Edit()->redo();
    QCOMPARE(Edit()->toPlainText(), text + QStringLiteral("中"));
    QCOMPARE(ByteCount(), QStringLiteral("140"));

    // A paste with Windows line ends: CR LF is one line break, sent as one LF.
    Edit()->clear();
    QGuiApplication::clipboard()->setText(QStringLiteral("ab\r\ncd"));
    Edit()->paste();
    QCOMPARE(Edit()->toPlainText(), QStringLiteral("ab\ncd"));
    QCOMPARE(ByteCount(), QStringLiteral("5"));
}

void tst_SkevoView::enterStartsANewLine()
{
    SHOW_PANEL();
    Edit()->clear();
    QTest::keyClicks(Edit(), QStringLiteral("ab"));
    QTest::keyClick(Edit(), Qt::Key_Return);
    QTest::keyClicks(Edit(), QStringLiteral("c"));
    QCOMPARE(Edit()->toPlainText(), QStringLiteral("ab\nc"));
    QCOMPARE(m_view->Message(), QStringLiteral("ab\nc"));
    QCOMPARE(ByteCount(), QStringLiteral("4")); // what is sent: the line break is one LF
}

void tst_SkevoView::manualEntry_data()
{
    QTest::addColumn<std::optional<QString>>("typed");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("message");
    QTest::newRow("blanks around 138") << std::optional<QString>(QStringLiteral(" 138  ")) << QStringList{QStringLiteral("138")} << QString();
    QTest::newRow("kept unchanged") << std::optional<QString>(QStringLiteral("1380000000a")) << QStringList{QStringLiteral("1380000000a")} << QString();
    QTest::newRow("blanks only") << std::optional<QString>(QStringLiteral("   ")) << QStringList() << QStringLiteral("电话号码不能为空");
    QTest::newRow("cancel") << std::optional<QString>() << QStringList() << QString();
}

void tst_SkevoView::manualEntry()
{
    QFETCH(std::optional<QString>, typed);
    QFETCH(QStringList, entries);
    QFETCH(QString, message);
    SHOW_PANEL();
    m_dialogs.manual.enqueue(typed);
    Click("manualButton");
    QCOMPARE(m_dialogs.manualAsked, 1);
    QCOMPARE(m_view->GetAllNumbers(), entries);
    if (message.isEmpty()) {
        QVERIFY(m_box.shown.isEmpty());
    } else {
        QCOMPARE(m_box.Texts(), QStringList{message});
        QCOMPARE(m_box.shown.at(0).caption, QStringLiteral("提示"));
        QCOMPARE(m_box.shown.at(0).icon, IMessageBox::Critical);
    }
}

void tst_SkevoView::importFile()
{
    SHOW_PANEL();
    m_view->Model().Append(QStringLiteral("first"));
    m_dialogs.openPath = Write(QStringLiteral("numbers.txt"), "start\n13800000000\n+8613800000000\n138 0000\nabc\n\nend\n");
    const QString cwd = QDir::currentPath();
    const QString elsewhere = m_dir->path();
    m_dialogs.duringDialog = [elsewhere] { QDir::setCurrent(elsewhere); };
    QSignalSpy status(m_view.get(), &CSkevoView::statusMessage);

    Click("importButton");
    QCOMPARE(m_box.shown.size(), 1); // the notice only: the result goes to the status bar
    QCOMPARE(m_box.shown.at(0).text, QStringLiteral("要打开的txt文件以start开始\t\n以end结束,\t\n电话号码换行"));
    QCOMPARE(m_box.shown.at(0).caption, QStringLiteral("消息提式"));
    QCOMPARE(m_box.shown.at(0).icon, IMessageBox::Information);
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("成功加载了1个,加载失败2个"));
    QCOMPARE(m_view->GetAllNumbers(), (QStringList{QStringLiteral("first"), QStringLiteral("8613800000000")}));
    QCOMPARE(QDir::currentPath(), cwd);

    Click("importButton"); // the same file again: its numbers again
    QCOMPARE(m_view->GetAllNumbers(),
             (QStringList{QStringLiteral("first"), QStringLiteral("8613800000000"), QStringLiteral("8613800000000")}));
}

void tst_SkevoView::importInvalidFile()
{
    SHOW_PANEL();
    m_dialogs.openPath = Write(QStringLiteral("noend.txt"), "start\n13800000000\n");
    QSignalSpy status(m_view.get(), &CSkevoView::statusMessage);
    Click("importButton");
    QCOMPARE(m_box.Texts(), (QStringList{QStringLiteral("要打开的txt文件以start开始\t\n以end结束,\t\n电话号码换行"),
                                         QStringLiteral("该文件无效")}));
    QCOMPARE(status.count(), 0);
    QCOMPARE(m_view->GetAllNumbers(), QStringList());
}

void tst_SkevoView::importCancelled()
{
    SHOW_PANEL();
    m_dialogs.openPath.clear();
    QSignalSpy status(m_view.get(), &CSkevoView::statusMessage);
    Click("importButton");
    QCOMPARE(m_dialogs.openAsked, 1);
    QCOMPARE(m_box.shown.size(), 1);
    QCOMPARE(status.count(), 0);
}

void tst_SkevoView::removeDuplicatesButton()
{
    SHOW_PANEL();
    m_view->Model().Append(Letters("bab"));
    Click("removeDuplicatesButton");
    QCOMPARE(m_view->GetAllNumbers(), Letters("ab"));
    QCOMPARE(Button("orderButton")->text(), QStringLiteral("顺序排列"));
}

void tst_SkevoView::orderButton()
{
    SHOW_PANEL();
    Click("orderButton"); // empty list: nothing changes
    QCOMPARE(Button("orderButton")->text(), QStringLiteral("顺序排列"));

    m_view->Model().Append({QStringLiteral("9"), QStringLiteral("13800000000"), QStringLiteral("10086")});
    ClickEntry(0);
    Click("orderButton");
    QCOMPARE(m_view->GetAllNumbers(), (QStringList{QStringLiteral("10086"), QStringLiteral("13800000000"), QStringLiteral("9")}));
    QCOMPARE(Button("orderButton")->text(), QStringLiteral("乱序排列"));
    QVERIFY(!List()->selectionModel()->hasSelection());

    // The shuffle draws from the process's generator, wherever it stands now.
    CRandGenerator copy = CRandGenerator::Instance();
    QStringList expected = m_view->GetAllNumbers();
    SendListModel::ShuffleEntries(expected, copy);
    Click("orderButton");
    QCOMPARE(m_view->GetAllNumbers(), expected);
    QCOMPARE(CRandGenerator::Instance().State(), copy.State());
    QCOMPARE(Button("orderButton")->text(), QStringLiteral("顺序排列"));
}

void tst_SkevoView::clickTogglesSelection()
{
    SHOW_PANEL();
    m_view->Model().Append(Letters("abc"));
    ClickEntry(1);
    ClickEntry(2);
    QCOMPARE(List()->selectionModel()->selectedRows().size(), 2);
    ClickEntry(1);
    const QModelIndexList selected = List()->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.at(0).row(), 2);
}

// The list gives every entry one size: whatever the order the numbers come in, and whichever
// button brings them, every entry shows whole, the list laid out in between as an operator sees it.
void tst_SkevoView::entriesAreShownWhole_data()
{
    QTest::addColumn<QStringList>("steps"); // "typed:N", "file:N,N", "book:N,N"
    QTest::newRow("typed short, then a file of longer ones")
        << QStringList{QStringLiteral("typed:13800000000"), QStringLiteral("file:8613800000000")};
    QTest::newRow("typed short, then longer ones from the phone book")
        << QStringList{QStringLiteral("typed:138"), QStringLiteral("book:8613800000000,+861380000000012345")};
    QTest::newRow("long ones from a file, then typed short")
        << QStringList{QStringLiteral("file:8613800000000,+861380000000012345"), QStringLiteral("typed:138")};
}

void tst_SkevoView::entriesAreShownWhole()
{
    QFETCH(QStringList, steps);
    SHOW_PANEL();
    ScriptedSources sources;
    m_view->SetSourceDialogs(&sources);
    QListView *list = List();
    QStringList entries;
    for (const QString &step : std::as_const(steps)) {
        const QString kind = step.section(QLatin1Char(':'), 0, 0);
        const QStringList numbers = step.section(QLatin1Char(':'), 1).split(QLatin1Char(','));
        if (kind == QLatin1String("typed")) {
            m_dialogs.manual.enqueue(numbers.first());
            Click("manualButton");
        } else if (kind == QLatin1String("file")) {
            m_dialogs.openPath = Write(QStringLiteral("numbers.txt"), "start\n" + numbers.join(QLatin1Char('\n')).toLatin1() + "\nend\n");
            Click("importButton");
        } else {
            sources.numbers = numbers;
            Click("phoneBookButton");
        }
        entries = m_view->GetAllNumbers();
        QTRY_VERIFY(list->visualRect(list->model()->index(int(entries.size()) - 1, 0)).isValid());
    }
    QCOMPARE(entries.size(), steps.join(QLatin1Char(',')).count(QLatin1Char(',')) + 1);
    for (int row = 0; row < entries.size(); ++row) {
        const QRect rect = list->visualRect(list->model()->index(row, 0));
        QVERIFY2(rect.width() > list->fontMetrics().horizontalAdvance(entries.at(row)), qPrintable(entries.at(row)));
    }
    m_view->SetSourceDialogs(nullptr);
}

// Smaller again once the long entry is gone.
void tst_SkevoView::entriesNarrowAgainWhenTheLongOneGoes()
{
    SHOW_PANEL();
    m_view->Model().Append({QStringLiteral("8613800000000"), QStringLiteral("+861380000000012345")});
    QListView *list = List();
    QTRY_VERIFY(list->visualRect(list->model()->index(0, 0)).isValid());
    const int wide = list->visualRect(list->model()->index(0, 0)).width();
    m_view->Model().RemoveRows({1});
    QTRY_VERIFY(list->visualRect(list->model()->index(0, 0)).width() < wide);
    QVERIFY(list->visualRect(list->model()->index(0, 0)).width() > list->fontMetrics().horizontalAdvance(QStringLiteral("8613800000000")));
}

void tst_SkevoView::commandsOnClickedEntries_data()
{
    QTest::addColumn<QList<int>>("clicked");
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("move to front, in the order clicked") << QList<int> {3, 1} << QByteArray("moveToFrontButton")
                                                         << Letters("bdace");
    QTest::newRow("remove selected") << QList<int> {0, 2, 4} << QByteArray("removeSelectedButton") << Letters("bd");
}

void tst_SkevoView::commandsOnClickedEntries()
{
    QFETCH(QList<int>, clicked);
    QFETCH(QByteArray, button);
    QFETCH(QStringList, after);
    SHOW_PANEL();
    m_view->Model().Append(Letters("abcde"));
    for (const int row : clicked)
        ClickEntry(row);
    Click(button.constData());
    QCOMPARE(m_view->GetAllNumbers(), after);
    QVERIFY(!List()->selectionModel()->hasSelection());
    QVERIFY(m_box.shown.isEmpty());
}

void tst_SkevoView::selectionCommandsWithoutSelection()
{
    SHOW_PANEL();
    m_view->Model().Append(Letters("ab"));
    Click("moveToFrontButton");
    Click("removeSelectedButton");
    QCOMPARE(m_box.Texts(), (QStringList{QStringLiteral("请选择要优先发送的号码"), QStringLiteral("请先选择要取消发送的号码!")}));
    QCOMPARE(m_box.shown.at(0).icon, IMessageBox::Information);
    QCOMPARE(m_box.shown.at(1).icon, IMessageBox::Warning);
    QCOMPARE(m_box.shown.at(1).caption, QString());
    QCOMPARE(m_view->GetAllNumbers(), Letters("ab"));
}

void tst_SkevoView::clearList_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("OK empties") << Letters("ab") << int(IMessageBox::AnswerOk) << QStringList();
    QTest::newRow("cancel keeps") << Letters("ab") << int(IMessageBox::AnswerCancel) << Letters("ab");
    QTest::newRow("asked when already empty") << QStringList() << int(IMessageBox::AnswerOk) << QStringList();
}

void tst_SkevoView::clearList()
{
    QFETCH(QStringList, entries);
    QFETCH(int, answer);
    QFETCH(QStringList, after);
    SHOW_PANEL();
    m_view->Model().Append(entries);
    m_box.answers.enqueue(IMessageBox::Answer(answer));
    Click("clearButton");
    QCOMPARE(m_box.Texts(), QStringList{QStringLiteral("真的要删除清除列表中的发送号码吗？")});
    QCOMPARE(m_box.shown.at(0).icon, IMessageBox::Question);
    QCOMPARE(m_box.shown.at(0).buttons, IMessageBox::OkCancel);
    QCOMPARE(m_view->GetAllNumbers(), after);
}

void tst_SkevoView::exportNumbers()
{
    SHOW_PANEL();
    m_view->Model().Append({QStringLiteral("13800000000"), QStringLiteral("abc")});
    m_dialogs.savePath = m_dir->filePath(QStringLiteral("保存号码.txt"));
    const QString cwd = QDir::currentPath();
    const QString elsewhere = m_dir->path();
    m_dialogs.duringDialog = [elsewhere] { QDir::setCurrent(elsewhere); };
    Click("exportButton");
    QCOMPARE(m_box.Texts(), QStringList{QStringLiteral("导出到文件成功！")});
    QFile file(m_dialogs.savePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("start\n13800000000\nabc\nend"));
    QCOMPARE(QDir::currentPath(), cwd);
}

void tst_SkevoView::exportEmptyList()
{
    SHOW_PANEL();
    Click("exportButton");
    QCOMPARE(m_box.Texts(), QStringList{QStringLiteral("无号码可导出")});
    QCOMPARE(m_box.shown.at(0).icon, IMessageBox::Information);
    QCOMPARE(m_dialogs.saveAsked, 0);
}

void tst_SkevoView::exportFailure()
{
    SHOW_PANEL();
    m_view->Model().Append(QStringLiteral("13800000000"));
    m_dialogs.savePath = m_dir->path(); // a folder cannot be written as a file
    Click("exportButton");
    QCOMPARE(m_box.Texts(), QStringList{QStringLiteral("对 %1 的存取被拒绝。").arg(m_dir->path())});
    QCOMPARE(m_view->GetAllNumbers(), QStringList{QStringLiteral("13800000000")});

    m_box.shown.clear();
    m_dialogs.savePath.clear(); // cancelled: nothing at all
    Click("exportButton");
    QVERIFY(m_box.shown.isEmpty());
}

void tst_SkevoView::sendRefusals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty text") << QString() << QStringList{QStringLiteral("1380000000a")} << QStringLiteral("短信内容不能为空");
    QTest::newRow("empty list") << kDefaultText << QStringList() << QStringLiteral("请导入号码!");
    QTest::newRow("not connected, before the numbers")
        << kDefaultText << QStringList{QString(), QStringLiteral("1380000000a")} << QStringLiteral("还未连接猫\n请连接猫");
}

void tst_SkevoView::sendRefusals()
{
    QFETCH(QString, text);
    QFETCH(QStringList, entries);
    QFETCH(QString, message);
    SHOW_PANEL();
    m_view->ProgressBar()->setValue(42);
    Edit()->setPlainText(text);
    m_view->Model().Append(entries);
    Click("sendButton");
    QCOMPARE(m_box.Texts(), QStringList{message});
    QCOMPARE(m_box.shown.at(0).icon, IMessageBox::Warning);
    QCOMPARE(m_view->ProgressBar()->value(), 42);
    QCOMPARE(m_view->ProgressBar()->maximum(), 100);
    QCOMPARE(m_app->Queue().QueuedCount(), 0);
}

void tst_SkevoView::progressBar_data()
{
    using S = RunTally::State;
    QTest::addColumn<RunTally>("tally");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::newRow("nothing sent yet: the bar as it was") << RunTally{} << 100 << 0;
    QTest::newRow("one of three went, one failed") << RunTally{1, S::Sending, 3, 1, 1, 0} << 3 << 2;
    QTest::newRow("over") << RunTally{1, S::Finished, 3, 2, 1, 0} << 3 << 3;
    QTest::newRow("stopped: what went of the whole") << RunTally{2, S::Stopped, 50, 2, 0, 47} << 50 << 2;
    QTest::newRow("a run of nothing: empty, not busy") << RunTally{3, S::Stopped, 0, 0, 0, 0} << 1 << 0;
}

// The bar shows the run's tally: of its messages, those that went or failed.
void tst_SkevoView::progressBar()
{
    QFETCH(RunTally, tally);
    QFETCH(int, maximum);
    QFETCH(int, value);
    SHOW_PANEL();
    m_view->ShowRun(tally);
    QCOMPARE(m_view->ProgressBar()->minimum(), 0);
    QCOMPARE(m_view->ProgressBar()->maximum(), maximum);
    QCOMPARE(m_view->ProgressBar()->value(), value);
}

// "停止" takes back every queued message and keeps the send list; the run is stopped with
// them counted as not sent.
void tst_SkevoView::stopWithdrawsWhatIsQueued()
{
    SHOW_PANEL();
    m_view->Model().Append(QStringList{QStringLiteral("13800000001"), QStringLiteral("13800000002")});
    QVector<SmsRecord> records;
    for (int i = 0; i < 5; ++i)
        records.append(Pdu::MakeRecord(QString(), QStringLiteral("1380000000%1").arg(i), QStringLiteral("x"), -1));
    m_app->Queue().Enqueue(records);
    Click("stopButton");
    QCOMPARE(m_app->Queue().QueuedCount(), 0);
    const RunTally t = m_app->Queue().Tally();
    QCOMPARE(t.state, RunTally::State::Stopped);
    QCOMPARE(t.withdrawn, 5);
    QCOMPARE(m_view->GetAllNumbers().size(), 2);
    RecordsetPtr rs = m_app->Db().OpenRecordsetText(QStringLiteral("SELECT COUNT(*) FROM T_OUTBOX"));
    QCOMPARE(rs->GetFieldText(0), QStringLiteral("0"));
}

// A second "发送" while the last run is still queued asks first, No the default; the second
// press of a double click is no press at all.
void tst_SkevoView::sendAgainAsksFirst()
{
    ModemSimulator sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorString()));
    sim.SetSimPin(QStringLiteral("1234")); // connected, but nothing goes: what is queued stays
    SHOW_PANEL();
    ModemPort port(m_app->Queue().MakeDesk());
    QVERIFY(port.Open(sim.DevicePath(), 9600, 8, 0, 0));
    QVERIFY(port.InitModem());
    QVERIFY(port.StartThread());
    m_view->Model().Append({QStringLiteral("13800000001"), QStringLiteral("13800000002")});
    QPushButton *send = Button("sendButton");
    QTest::mouseClick(send, Qt::LeftButton);
    QTest::mouseDClick(send, Qt::LeftButton);
    QTest::mouseRelease(send, Qt::LeftButton);
    QCOMPARE(m_app->Queue().QueuedCount(), 2);
    QCOMPARE(m_box.Texts(), QStringList());

    Click("sendButton"); // answered as Enter answers
    QCOMPARE(m_box.Texts(), QStringList{QStringLiteral("上次发送还没有完成, 确定要再发送一次吗?")});
    QCOMPARE(m_box.shown.last().buttons, IMessageBox::YesNoDefaultNo);
    QCOMPARE(m_app->Queue().QueuedCount(), 2);
    m_box.answers.enqueue(IMessageBox::AnswerYes);
    Click("sendButton");
    QCOMPARE(m_app->Queue().QueuedCount(), 4);
    QCOMPARE(m_app->Queue().Tally().total, 4); // the same run, still going
    port.StopThread();
}

// 停止 in the middle of a run, then 发送 with the same list and text: the operator is asked
// whether to send only to the numbers that did not get it (是), to all (否), or none (取消).
void tst_SkevoView::sendAgainAfterStopSendsTheRest()
{
    ModemSimulator sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorString()));
    sim.SetLateAnswer(ModemSimulator::Fault::Always(), 300);
    SHOW_PANEL();
    ModemPort port(m_app->Queue().MakeDesk());
    QVERIFY(port.Open(sim.DevicePath(), 9600, 8, 0, 0));
    QVERIFY(port.InitModem());
    QVERIFY(port.StartThread());
    QStringList numbers;
    for (int i = 0; i < 8; ++i)
        numbers << QStringLiteral("1380000001%1").arg(i);
    m_view->Model().Append(numbers);
    Click("sendButton");
    QTRY_VERIFY_WITH_TIMEOUT(sim.SubmitCount() >= 2, 30000);
    Click("stopButton");
    QCOMPARE(m_box.Texts(), QStringList());
    QTRY_COMPARE_WITH_TIMEOUT(m_app->Queue().Tally().Done(), sim.SubmitCount(), 30000);
    const int went = sim.SubmitCount();
    QVERIFY(went < 8);

    m_box.answers.enqueue(IMessageBox::AnswerCancel);
    Click("sendButton");
    QCOMPARE(m_box.Texts(), QStringList{QStringLiteral("%1 个号码已发送过此内容: 只发送其余 %2 个?").arg(went).arg(8 - went)});
    QCOMPARE(m_box.shown.last().buttons, IMessageBox::YesNoCancel);
    QCOMPARE(m_app->Queue().QueuedCount(), 0);

    m_box.answers.enqueue(IMessageBox::AnswerYes);
    Click("sendButton");
    QTRY_COMPARE_WITH_TIMEOUT(sim.SubmitCount(), 8, 30000);
    QStringList submitted;
    for (const ModemSimulator::Submit &s : sim.Submits())
        submitted << s.message.number;
    submitted.sort();
    QStringList expected;
    for (const QString &n : numbers)
        expected << QStringLiteral("86") + n;
    QCOMPARE(submitted, expected); // each number once
    port.StopThread();
}

// 停止 that the database refuses (another program holds it locked) says so, and the run goes on.
void tst_SkevoView::stopRefusedSaysSo()
{
    SHOW_PANEL();
    QVERIFY(m_app->Queue().Enqueue(
        QVector<SmsRecord>{Pdu::MakeRecord(QString(), QStringLiteral("13800000001"), QStringLiteral("x"), -1)}));
    DbProbe lock(m_app->DbSettingsSource()());
    QVERIFY2(lock.Exec(QStringLiteral("BEGIN EXCLUSIVE")), qPrintable(lock.Error()));
    Click("stopButton");
    QVERIFY2(m_box.Texts().size() == 1 && m_box.Texts().first().startsWith(QStringLiteral("停止失败: ")),
             qPrintable(m_box.Texts().join(u'|')));
    QVERIFY(m_app->Queue().Tally().state != RunTally::State::Stopped);
    QVERIFY(lock.Exec(QStringLiteral("ROLLBACK")));
    QCOMPARE(m_app->Queue().QueuedCount(), 1);
}

void tst_SkevoView::connectionState()
{
    SHOW_PANEL();
    const qint64 disconnected = m_view->Tray().Icon().cacheKey();
    m_view->UpdateConnectionState(true);
    QCOMPARE(m_view->Tray().Tip(), QStringLiteral("电脑与短信猫已连接"));
    QVERIFY(m_view->Tray().Icon().cacheKey() != disconnected);
    m_view->UpdateConnectionState(false);
    QCOMPARE(m_view->Tray().Tip(), QStringLiteral("电脑与短信猫未连接"));
    QCOMPARE(m_view->Tray().Icon().cacheKey(), disconnected);
    QVERIFY(m_view->Tray().IsAdded());
}

void tst_SkevoView::sendThroughSimulatedModem()
{
    ModemSimulator sim;
    QVERIFY2(sim.Start(), qPrintable(QStringLiteral("simulated modem: ") + sim.ErrorString()));
    SHOW_PANEL();
    Outbox &outbox = m_app->Queue();
    ModemPort modem(outbox.MakeDesk());
    ModemTimeouts timeouts = modem.Timeouts();
    timeouts.finalAnswerMs = 5000;
    modem.SetTimeouts(timeouts);
    QVERIFY(modem.Open(sim.DevicePath(), 9600, 8, 0, 0));
    QVERIFY(modem.InitModem());
    QVERIFY(modem.StartThread());
    // What the main window does with the run's tally and each report.
    connect(&outbox, &Outbox::runChanged, m_view.get(), [&] { m_view->ShowRun(outbox.Tally()); });
    QStringList numbers;
    connect(&outbox, &Outbox::reportReady, m_view.get(), [&] {
        if (const std::optional<SmsReport> report = outbox.PopReport())
            numbers << report->m_strNumber;
    });

    m_view->Model().Append({QStringLiteral("13800000000"), QStringLiteral("+8613800000000"), QString(),
                            QStringLiteral("8613800000000")});
    Click("sendButton");
    QCOMPARE(m_box.Texts(), QStringList{QStringLiteral("请输入手机号码")});
    QCOMPARE(m_view->ProgressBar()->minimum(), 0);
    QCOMPARE(m_view->ProgressBar()->maximum(), 3);
    QCOMPARE(m_view->GetAllNumbers().size(), 4); // the list is left as it was
    QTRY_COMPARE_WITH_TIMEOUT(m_view->ProgressBar()->value(), 3, 60000);
    QTRY_COMPARE(numbers.size(), 3);
    modem.StopThread();
    modem.Close();
    QCOMPARE(numbers, QStringList(3, QStringLiteral("8613800000000")));
    QCOMPARE(sim.SubmitCount(), 3);
    for (const ModemSimulator::Submit &submit : sim.Submits()) {
        QVERIFY2(submit.decoded, qPrintable(submit.error));
        QCOMPARE(submit.message.text, kDefaultText);
    }
}

// The numbers on the opt-out list, however written, are left out of the run, which says how
// many; the list itself stays as it was.
void tst_SkevoView::listedNumbersAreSkipped()
{
    ModemSimulator sim;
    QVERIFY2(sim.Start(), qPrintable(QStringLiteral("simulated modem: ") + sim.ErrorString()));
    SHOW_PANEL();
    ModemPort modem(m_app->Queue().MakeDesk());
    QVERIFY(modem.Open(sim.DevicePath(), 9600, 8, 0, 0));
    QVERIFY(modem.InitModem());
    QVERIFY(modem.StartThread());
    QVERIFY(OptOutList(m_app->Db()).Add(QStringLiteral("+8613800000001"), OptOutList::Source::Manual));
    m_view->Model().Append({QStringLiteral("13800000000"), QStringLiteral("8613800000001"), QStringLiteral("13800000002")});
    Click("sendButton");
    QCOMPARE(m_box.Texts(), QStringList{QStringLiteral("已跳过黑名单号码 1 个")});
    QCOMPARE(m_app->Queue().Tally().total, 2);
    QCOMPARE(m_view->GetAllNumbers().size(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(sim.SubmitCount(), 2, 60000);
    modem.StopThread();
    modem.Close();
    QStringList numbers;
    for (const ModemSimulator::Submit &submit : sim.Submits())
        numbers << submit.message.number;
    QCOMPARE(numbers, (QStringList{QStringLiteral("8613800000000"), QStringLiteral("8613800000002")}));
}

void tst_SkevoView::textGoesOutInTheFewestMessages_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("count"); // what "字数:" shows
    QTest::addColumn<int>("dcs");
    QTest::addColumn<int>("parts");
    QTest::newRow("140 characters of the GSM alphabet: one 7-bit message")
        << QStringLiteral("Meeting at 9:00, room 301. Bring the report! @all").repeated(3).left(140)
        << QStringLiteral("140 (1条)") << 0 << 1;
    QTest::newRow("你好: one UCS2 message") << QStringLiteral("你好") << QStringLiteral("4 (1条)") << 8 << 1;
    QTest::newRow("an extension character takes two septets: 81 brackets are two parts")
        << QString(81, QLatin1Char('[')) << QStringLiteral("81 (2条)") << 0 << 2;
}

// The text goes out in 7-bit when the GSM alphabet holds it, and "字数:" says how many
// messages it takes before the operator sends.
void tst_SkevoView::textGoesOutInTheFewestMessages()
{
    QFETCH(QString, text);
    QFETCH(QString, count);
    QFETCH(int, dcs);
    QFETCH(int, parts);
    ModemSimulator sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorString()));
    SHOW_PANEL();
    Edit()->setPlainText(text);
    QCOMPARE(CountText(), count);
    ModemPort modem(m_app->Queue().MakeDesk());
    QVERIFY(modem.Open(sim.DevicePath(), 9600, 8, 0, 0));
    QVERIFY(modem.InitModem());
    QVERIFY(modem.StartThread());
    m_view->Model().Append(QStringLiteral("13800000000"));
    Click("sendButton");
    QTRY_COMPARE_WITH_TIMEOUT(sim.SubmitCount(), parts, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(m_app->Queue().QueuedCount(), 0, 30000);
    modem.StopThread();
    modem.Close();
    QString received;
    for (const ModemSimulator::Submit &submit : sim.Submits()) {
        QVERIFY2(submit.decoded, qPrintable(submit.error));
        QCOMPARE(int(submit.message.dcs), dcs);
        QCOMPARE(submit.message.concat.has_value(), parts > 1);
        received += submit.message.text;
    }
    QCOMPARE(sim.SubmitCount(), parts);
    QCOMPARE(received, text);
}

// A number too long for a PDU address does not stop the run: the engine refuses it alone,
// journals and reports it failed, and the numbers around it go.
void tst_SkevoView::overlongNumberFailsAloneInTheRun()
{
    ModemSimulator sim;
    QVERIFY2(sim.Start(), qPrintable(QStringLiteral("simulated modem: ") + sim.ErrorString()));
    SHOW_PANEL();
    Outbox &outbox = m_app->Queue();
    ModemPort modem(outbox.MakeDesk());
    QVERIFY(modem.Open(sim.DevicePath(), 9600, 8, 0, 0));
    QVERIFY(modem.InitModem());
    QVERIFY(modem.StartThread());
    QStringList results;
    connect(&outbox, &Outbox::reportReady, m_view.get(), [&] {
        if (const std::optional<SmsReport> report = outbox.PopReport())
            results << report->m_strNumber + QLatin1Char(' ') + ReportText::Result(*report);
    });
    const QString nineteen = QStringLiteral("1") + QString(18, QLatin1Char('2'));
    const QString twentyFour(24, QLatin1Char('3'));
    m_view->Model().Append({QStringLiteral("13800000001"), nineteen, twentyFour, QStringLiteral("13800000002")});
    Click("sendButton");
    QVERIFY(m_box.shown.isEmpty());
    QCOMPARE(outbox.Tally().total, 4);
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), 4, 30000);
    modem.StopThread();
    modem.Close();
    QCOMPARE(results, (QStringList{QStringLiteral("8613800000001 成功"), QStringLiteral("86") + nineteen + QStringLiteral(" 失败"),
                                   QStringLiteral("86") + twentyFour + QStringLiteral(" 失败"), QStringLiteral("8613800000002 成功")}));
    QCOMPARE(sim.SubmitCount(), 2);
    const RecordsetPtr rows = m_app->Db().OpenRecordsetText(QStringLiteral("SELECT D_SENDNUM,D_STATE FROM T_SEND ORDER BY D_NO"));
    QStringList journal;
    for (; rows && !rows->IsEOF(); rows->MoveNext())
        journal << rows->GetFieldText(QStringLiteral("D_SENDNUM")) + QLatin1Char(' ') + rows->GetFieldText(QStringLiteral("D_STATE"));
    QCOMPARE(journal, (QStringList{QStringLiteral("8613800000001 1"), QStringLiteral("86") + nineteen + QStringLiteral(" 0"),
                                   QStringLiteral("86") + twentyFour + QStringLiteral(" 0"), QStringLiteral("8613800000002 1")}));
}

QString tst_SkevoView::Preview() const
{
    return m_view->findChild<QLabel *>(QStringLiteral("previewLabel"))->text();
}

bool tst_SkevoView::PreviewShown() const
{
    return m_view->findChild<QWidget *>(QStringLiteral("previewBox"))->isVisible();
}

// A CSV file's numbers carry their fields into the list; the preview shows one filled text at
// a time, says how many have an empty field, and "字数:" counts the longest.
void tst_SkevoView::personalPreviewWalksTheList()
{
    SHOW_PANEL();
    QVERIFY(m_app->Db().Execute(Sql::BookInsert, {QStringLiteral("张三"), QStringLiteral("13800000001"), QStringLiteral("客户")}));
    QVERIFY(!PreviewShown());
    m_dialogs.openPath = Write(QStringLiteral("numbers.csv"),
                               QStringLiteral("号码,金额\n13800000001,12.50\n13800000002,7\n").toUtf8());
    QSignalSpy status(m_view.get(), &CSkevoView::statusMessage);
    Click("importButton");
    QCOMPARE(status.value(0).value(0).toString(), QStringLiteral("成功加载了2个,加载失败0个"));
    m_view->Model().Append(QStringLiteral("13800000003")); // typed by hand: no 金额

    Edit()->setPlainText(QStringLiteral("尊敬的{名字}, 本月{金额}元"));
    QVERIFY(!PreviewShown()); // a moment after the last change
    QTRY_VERIFY(PreviewShown());
    QCOMPARE(Preview(), QStringLiteral("预览 1/3 (8613800000001): 尊敬的张三, 本月12.50元\n2 个号码有空的字段"));
    QCOMPARE(CountText(), QStringLiteral("23 (1条)")); // the first one
    Click("previewNextButton");
    QCOMPARE(Preview(), QStringLiteral("预览 2/3 (8613800000002): 尊敬的, 本月7元\n2 个号码有空的字段"));
    Click("previewNextButton");
    QCOMPARE(Preview(), QStringLiteral("预览 3/3 (13800000003): 尊敬的, 本月元\n2 个号码有空的字段"));
    Click("previewNextButton");
    QVERIFY(Preview().startsWith(QStringLiteral("预览 1/3 ")));

    // The phone book as it is when the preview is made.
    QVERIFY(m_app->Db().Execute(Sql::BookInsert, {QStringLiteral("李四"), QStringLiteral("8613800000002"), QString()}));
    m_view->UpdatePreview();
    QCOMPARE(Preview(), QStringLiteral("预览 1/3 (8613800000001): 尊敬的张三, 本月12.50元\n1 个号码有空的字段"));

    // Without fields the panel is as it always was.
    Edit()->setPlainText(QStringLiteral("abc"));
    QVERIFY(!PreviewShown());
    QCOMPARE(CountText(), QStringLiteral("3 (1条)"));

    // Numbers deleted from the list take their fields with them.
    Click("clearButton");
    QVERIFY(m_view->Model().Fields().IsEmpty());
}

void tst_SkevoView::personalTextRefusals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("preview");
    // 134 bytes and the field: the 140 bytes the message field takes.
    const QString near = QString(67, QChar(0x4E2D));
    QTest::newRow("an unknown field") << QStringLiteral("{名字}{日期}") << QStringLiteral("未知的字段: {日期}")
                                      << QStringLiteral("未知的字段: {日期}");
    QTest::newRow("filled texts over 140 bytes")
        << near + QStringLiteral("{名字}")
        << QStringLiteral("2 条短信超过140字节, 例如: ") + near + QStringLiteral("欧阳大雨\n(8613800000002, 142字节)")
        << QStringLiteral("预览 1/3 (13800000001): ") + near + QStringLiteral("王五\n2 条短信超过140字节");
}

// Nothing is queued, and the operator is told why.
void tst_SkevoView::personalTextRefusals()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(QString, preview);
    ModemSimulator sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorString()));
    SHOW_PANEL();
    const QStringList numbers{QStringLiteral("13800000001"), QStringLiteral("13800000002"), QStringLiteral("13800000003")};
    const QStringList names{QStringLiteral("王五"), QStringLiteral("欧阳大雨"), QStringLiteral("司马相如")};
    for (int i = 0; i < numbers.size(); ++i)
        QVERIFY(m_app->Db().Execute(Sql::BookInsert, {names.at(i), numbers.at(i), QString()}));
    ModemPort port(m_app->Queue().MakeDesk());
    QVERIFY(port.Open(sim.DevicePath(), 9600, 8, 0, 0));
    QVERIFY(port.InitModem());
    QVERIFY(port.StartThread());
    m_view->Model().Append(numbers);
    Edit()->setPlainText(text);
    QCOMPARE(Edit()->toPlainText(), text);
    m_view->UpdatePreview();
    QCOMPARE(Preview(), preview);
    Click("sendButton");
    QCOMPARE(m_box.Texts(), QStringList{message});
    QCOMPARE(m_box.shown.at(0).icon, IMessageBox::Warning);
    QCOMPARE(m_app->Queue().QueuedCount(), 0);
    port.StopThread();
    QCOMPARE(sim.SubmitCount(), 0);
}

// Each recipient gets its own text, in 7-bit when its text allows, and the journal keeps
// the text each one got.
void tst_SkevoView::personalTextsGoOutEachInItsCoding()
{
    ModemSimulator sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorString()));
    SHOW_PANEL();
    QVERIFY(m_app->Db().Execute(Sql::BookInsert, {QStringLiteral("Zhang"), QStringLiteral("13800000001"), QString()}));
    QVERIFY(m_app->Db().Execute(Sql::BookInsert, {QStringLiteral("李四"), QStringLiteral("13800000002"), QString()}));
    ModemPort modem(m_app->Queue().MakeDesk());
    QVERIFY(modem.Open(sim.DevicePath(), 9600, 8, 0, 0));
    QVERIFY(modem.InitModem());
    QVERIFY(modem.StartThread());
    m_view->Model().Append({QStringLiteral("13800000001"), QStringLiteral("13800000002")});
    Edit()->setPlainText(QStringLiteral("Dear {名字}"));
    Click("sendButton");
    QVERIFY(m_box.shown.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(sim.SubmitCount(), 2, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(m_app->Queue().QueuedCount(), 0, 30000);
    modem.StopThread();
    modem.Close();
    QStringList texts;
    QList<int> codings;
    for (const ModemSimulator::Submit &submit : sim.Submits()) {
        QVERIFY2(submit.decoded, qPrintable(submit.error));
        texts << submit.message.text;
        codings << int(submit.message.dcs);
    }
    QCOMPARE(texts, (QStringList{QStringLiteral("Dear Zhang"), QStringLiteral("Dear 李四")}));
    QCOMPARE(codings, (QList<int>{0, 8}));
    const RecordsetPtr rows = m_app->Db().OpenRecordsetText(QStringLiteral("SELECT D_SENDCONT FROM T_SEND ORDER BY D_NO"));
    QStringList journal;
    for (; rows && !rows->IsEOF(); rows->MoveNext())
        journal << rows->GetFieldText(QStringLiteral("D_SENDCONT"));
    QCOMPARE(journal, texts);
}

QTEST_MAIN(tst_SkevoView)
#include "tst_skevoview.moc"
