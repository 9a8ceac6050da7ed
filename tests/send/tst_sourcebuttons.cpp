// The panel's buttons that bring numbers and text from the generator, the phone book and the
// common phrases, with those dialogs answered by a script.
#include "PanelFakes.h"
#include "app/CSkevoApp.h"
#include "send/CSkevoView.h"
#include "send/SendListModel.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(std::optional<QStringList>)
Q_DECLARE_METATYPE(std::optional<QString>)


class tst_SourceButtons : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void numbersAreAppendedAsTheyAre_data();
    void numbersAreAppendedAsTheyAre();
    void phraseReplacesTheSelection_data();
    void phraseReplacesTheSelection();

private:
    void Click(const char *name) { QTest::mouseClick(m_view->findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton); }
    QPlainTextEdit *Edit() const { return m_view->findChild<QPlainTextEdit *>(QStringLiteral("messageEdit")); }

    QTemporaryDir m_dir;
    FakeMessageBox m_messages;
    ScriptedSources m_sources;
    std::unique_ptr<CSkevoApp> m_app;
    std::unique_ptr<CSkevoView> m_view;
};

void tst_SourceButtons::init()
{
    QFile ini(m_dir.filePath(QStringLiteral("setting.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[SQL]\nDriver=sqlite\nData=SOURCES\n");
    ini.close();
    m_app = std::make_unique<CSkevoApp>(ini.fileName());
    m_view = std::make_unique<CSkevoView>(m_app->Settings(), m_app->Device(), m_app->Db(), m_app->Queue(), m_messages);
    m_view->SetSourceDialogs(&m_sources);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    m_sources = ScriptedSources();
}

void tst_SourceButtons::cleanup()
{
    m_view.reset();
    m_app.reset();
}

void tst_SourceButtons::numbersAreAppendedAsTheyAre_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<std::optional<QStringList>>("numbers");
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QStringList>("said"); // in the status bar
    const QStringList handed{QStringLiteral("139"), QStringLiteral("+86 1"), QStringLiteral("139")};
    for (const char *button : {"generateButton", "phoneBookButton"}) {
        const bool generated = QByteArray(button) == "generateButton";
        QTest::addRow("%s: appended, no check", button)
            << QString::fromLatin1(button) << std::optional<QStringList>(handed) << (QStringList{QStringLiteral("a")} + handed)
            << (generated ? QStringList{QStringLiteral("已生成 3 个号码")} : QStringList());
        QTest::addRow("%s: cancel", button) << QString::fromLatin1(button) << std::optional<QStringList>()
                                            << QStringList{QStringLiteral("a")} << QStringList();
    }
    QTest::newRow("generateButton: nothing met the filters")
        << QStringLiteral("generateButton") << std::optional<QStringList>(QStringList()) << QStringList{QStringLiteral("a")}
        << QStringList{QStringLiteral("已生成 0 个号码")};
}

void tst_SourceButtons::numbersAreAppendedAsTheyAre()
{
    QFETCH(QString, button);
    QFETCH(std::optional<QStringList>, numbers);
    QFETCH(QStringList, list);
    QFETCH(QStringList, said);
    m_view->Model().Append(QStringLiteral("a"));
    m_sources.numbers = numbers;
    QStringList status;
    connect(m_view.get(), &CSkevoView::statusMessage, this, [&status](const QString &text) { status << text; });
    QTest::mouseClick(m_view->findChild<QPushButton *>(button), Qt::LeftButton);
    QCOMPARE(m_view->GetAllNumbers(), list);
    QCOMPARE(status, said);
    QCOMPARE(m_messages.shown.size(), 0);
}

void tst_SourceButtons::phraseReplacesTheSelection_data()
{
    QTest::addColumn<std::optional<QString>>("phrase");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bytes");
    QTest::newRow("replaces the selection") << std::optional<QString>(QStringLiteral("晚上好")) << QStringLiteral("ab晚上好ef")
                                            << 10;
    QTest::newRow("empty phrase removes it") << std::optional<QString>(QString()) << QStringLiteral("abef") << 4;
    QTest::newRow("cut at 140 bytes") << std::optional<QString>(QString(80, QChar(0x4E00)))
                                      << QStringLiteral("ab") + QString(68, QChar(0x4E00)) + QStringLiteral("ef") << 140;
    QTest::newRow("cancel") << std::optional<QString>() << QStringLiteral("abcdef") << 6;
}

void tst_SourceButtons::phraseReplacesTheSelection()
{
    QFETCH(std::optional<QString>, phrase);
    QFETCH(QString, text);
    QFETCH(int, bytes);
    Edit()->setPlainText(QStringLiteral("abcdef"));
    QTextCursor cursor = Edit()->textCursor();
    cursor.setPosition(2);
    cursor.setPosition(4, QTextCursor::KeepAnchor);
    Edit()->setTextCursor(cursor);
    m_sources.phrase = phrase;
    Click("insertPhraseButton");
    QCOMPARE(Edit()->toPlainText(), text);
    QCOMPARE(m_view->focusWidget(), Edit());
    QCOMPARE(m_view->findChild<QLabel *>(QStringLiteral("byteCountLabel"))->text().section(QLatin1Char(' '), 0, 0), QString::number(bytes));
    // One step takes it back.
    if (phrase) {
        Edit()->undo();
        QCOMPARE(Edit()->toPlainText(), QStringLiteral("abcdef"));
    }
}

QTEST_MAIN(tst_SourceButtons)
#include "tst_sourcebuttons.moc"
