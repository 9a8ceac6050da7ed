#include "DbTargets.h"
#include "FakeMessageBox.h"
#include "db/CDbAccess.h"
#include "send/CPhraseDlg.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

class tst_PhraseDlg : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }
    void cleanup();

    void openingListsThePhrasesAndLeavesTheFieldEmpty_data() { DbTargets::AddDialectRows(); }
    void openingListsThePhrasesAndLeavesTheFieldEmpty();
    void changeAndDeleteReachEveryEqualPhrase_data() { DbTargets::AddDialectRows(); }
    void changeAndDeleteReachEveryEqualPhrase();
    void addStoresWhateverTheFieldHolds_data() { DbTargets::AddDialectRows(); }
    void addStoresWhateverTheFieldHolds();
    void commandsWithoutSelection_data() { DbTargets::AddDialectRows(); }
    void commandsWithoutSelection();
    void doubleClickInsertsThePhrase_data() { DbTargets::AddDialectRows(); }
    void doubleClickInsertsThePhrase();
    void databaseTextShownOnceByTheDialog_data() { DbTargets::AddDialectRows(); }
    void databaseTextShownOnceByTheDialog();

private:
    // A dialog over a fresh database holding phrases.
    void Open(const DbSettings &settings, const QStringList &phrases);
    QStringList Stored() const;
    void Click(const char *button) { QTest::mouseClick(m_dlg->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton); }
    void Select(int row);
    QStringList Listed() const;

    DbTargets m_targets;
    FakeMessageBox m_messages;
    std::unique_ptr<DbProbe> m_probe;
    std::unique_ptr<CPhraseDlg> m_dlg;
    QListWidget *m_list = nullptr;
    QLineEdit *m_edit = nullptr;
};

void tst_PhraseDlg::cleanup()
{
    m_dlg.reset();
    m_probe.reset();
    m_messages.Clear();
}

void tst_PhraseDlg::Open(const DbSettings &settings, const QStringList &phrases)
{
    {
        CDbAccess seed([settings] { return settings; });
        for (const QString &p : phrases)
            QVERIFY(seed.Execute(Sql::PhraseInsert, {p}));
    }
    m_probe = std::make_unique<DbProbe>(settings);
    m_dlg = std::make_unique<CPhraseDlg>([settings] { return settings; }, m_messages);
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
    m_list = m_dlg->findChild<QListWidget *>(QStringLiteral("phraseList"));
    m_edit = m_dlg->findChild<QLineEdit *>(QStringLiteral("phraseEdit"));
}

QStringList tst_PhraseDlg::Stored() const
{
    QStringList out;
    for (const QVariant &v : m_probe->Column(QStringLiteral("SELECT D_INSERT FROM T_INSERT ORDER BY D_INSERT")))
        out << v.toString();
    return out;
}

void tst_PhraseDlg::Select(int row)
{
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, m_list->visualItemRect(m_list->item(row)).center());
}

QStringList tst_PhraseDlg::Listed() const
{
    QStringList out;
    for (int i = 0; i < m_list->count(); ++i)
        out << m_list->item(i)->text();
    return out;
}

void tst_PhraseDlg::openingListsThePhrasesAndLeavesTheFieldEmpty()
{
    SKEVO_FRESH_DB(m_targets, settings);
    Open(*settings, {QStringLiteral("晚上好"), QStringLiteral("O'Neil's")});
    QCOMPARE(m_dlg->windowTitle(), QStringLiteral("插入常用短语"));
    QCOMPARE(Listed(), (QStringList{QStringLiteral("晚上好"), QStringLiteral("O'Neil's")}));
    QCOMPARE(m_list->currentRow(), 0);
    QCOMPARE(m_edit->text(), QString());
    Select(1);
    QCOMPARE(m_edit->text(), QStringLiteral("O'Neil's"));
    // "插入" hands back the field's text.
    QTest::keyClick(m_edit, Qt::Key_Return);
    QCOMPARE(m_dlg->result(), int(QDialog::Accepted));
    QCOMPARE(m_dlg->Text(), QStringLiteral("O'Neil's"));
}

void tst_PhraseDlg::changeAndDeleteReachEveryEqualPhrase()
{
    SKEVO_FRESH_DB(m_targets, settings);
    Open(*settings, {QStringLiteral("it's"), QStringLiteral("b"), QStringLiteral("it's")});
    Select(2);
    m_edit->setText(QStringLiteral("new 'one'"));
    Click("changeButton");
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("修改成功")});
    QCOMPARE(Stored(), (QStringList{QStringLiteral("b"), QStringLiteral("new 'one'"), QStringLiteral("new 'one'")}));
    QCOMPARE(Listed(), (QStringList{QStringLiteral("it's"), QStringLiteral("b"), QStringLiteral("new 'one'")}));
    QVERIFY(m_list->selectedItems().isEmpty());
    QCOMPARE(m_edit->text(), QStringLiteral("new 'one'"));

    Select(2);
    Click("deleteButton");
    QCOMPARE(m_messages.Last(), QStringLiteral("删除成功"));
    QCOMPARE(Stored(), QStringList{QStringLiteral("b")});
    QCOMPARE(Listed(), (QStringList{QStringLiteral("it's"), QStringLiteral("b")}));
    QVERIFY(m_list->selectedItems().isEmpty());
    QCOMPARE(m_edit->text(), QStringLiteral("new 'one'"));
}

void tst_PhraseDlg::addStoresWhateverTheFieldHolds()
{
    SKEVO_FRESH_DB(m_targets, settings);
    Open(*settings, {QStringLiteral("a")});
    Select(0);
    Click("addButton"); // a repeat
    m_edit->clear();
    Click("addButton"); // an empty phrase
    QCOMPARE(m_messages.Texts(), (QStringList{QStringLiteral("增加成功"), QStringLiteral("增加成功")}));
    QCOMPARE(Stored(), (QStringList{QString(), QStringLiteral("a"), QStringLiteral("a")}));
    QCOMPARE(Listed(), (QStringList{QStringLiteral("a"), QStringLiteral("a"), QString()}));
    QCOMPARE(m_list->selectedItems().size(), 1); // an add leaves the selection
}

void tst_PhraseDlg::commandsWithoutSelection()
{
    SKEVO_FRESH_DB(m_targets, settings);
    Open(*settings, {QStringLiteral("a")});
    m_list->clearSelection();
    Click("changeButton");
    Click("deleteButton");
    QCOMPARE(m_messages.Texts(), (QStringList{QStringLiteral("请选择要修改的短语"), QStringLiteral("请选择要删除的短语")}));
    QCOMPARE(m_messages.shown.at(1).caption, QStringLiteral("提示"));
    QCOMPARE(m_messages.shown.at(1).icon, IMessageBox::Information);
    QCOMPARE(Stored(), QStringList{QStringLiteral("a")});
    // "插入" right after opening hands back the empty field.
    Click("insertButton");
    QCOMPARE(m_dlg->result(), int(QDialog::Accepted));
    QCOMPARE(m_dlg->Text(), QString());
}

void tst_PhraseDlg::doubleClickInsertsThePhrase()
{
    SKEVO_FRESH_DB(m_targets, settings);
    Open(*settings, {QStringLiteral("a"), QStringLiteral("晚上好")});
    const QPoint at = m_list->visualItemRect(m_list->item(1)).center();
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(m_list->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(m_dlg->result(), int(QDialog::Accepted));
    QCOMPARE(m_dlg->Text(), QStringLiteral("晚上好"));
}

QTEST_MAIN(tst_PhraseDlg)
#include "tst_phrasedlg.moc"

// With the table gone, every command and the opening show what the database said, once.
void tst_PhraseDlg::databaseTextShownOnceByTheDialog()
{
    SKEVO_FRESH_DB(m_targets, s);
    Open(*s, {QStringLiteral("a")});
    QVERIFY(m_probe->Exec(QStringLiteral("DROP TABLE T_INSERT")));
    for (const char *button : {"addButton", "changeButton", "deleteButton"}) {
        m_messages.Clear();
        Select(0);
        Click(button);
        QCOMPARE(m_messages.shown.size(), 1);
        QVERIFY2(m_messages.Last().startsWith(QStringLiteral("SQL数据错误,")) && m_messages.Last().contains(QStringLiteral("T_INSERT"), Qt::CaseInsensitive),
                 qPrintable(m_messages.Last()));
        QCOMPARE(Listed(), QStringList{QStringLiteral("a")});
    }
    m_messages.Clear();
    CPhraseDlg again([settings = *s] { return settings; }, m_messages);
    QCOMPARE(m_messages.shown.size(), 1);
    QVERIFY2(m_messages.Last().contains(QStringLiteral("T_INSERT"), Qt::CaseInsensitive), qPrintable(m_messages.Last()));
}
