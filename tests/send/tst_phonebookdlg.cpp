#include "DbTargets.h"
#include "FakeMessageBox.h"
#include "TestEnv.h"
#include "db/CDbAccess.h"
#include "send/CPhoneBookDlg.h"
#include "send/PhoneBookModel.h"

#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {
// name, number, relation. Read back by relation: 138, then 139 and 186 in either order, then
// 150 (the order within a relation is the database's).
const QList<QStringList> kSeed{
    {QStringLiteral("Li"), QStringLiteral("139"), QStringLiteral("colleague")},
    {QStringLiteral("Wang"), QStringLiteral("150"), QStringLiteral("家人")},
    {QStringLiteral("Zhao"), QStringLiteral("138"), QStringLiteral("classmate")},
    {QStringLiteral("Sun"), QStringLiteral("186"), QStringLiteral("colleague")},
};

QStringList Sorted(QStringList list)
{
    list.sort();
    return list;
}
} // namespace

class tst_PhoneBookDlg : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }
    void cleanup();

    void opening_data() { DbTargets::AddDialectRows(); }
    void opening();
    void addTakesQuotesOutAndRefusesARepeatedNumber_data() { DbTargets::AddDialectRows(); }
    void addTakesQuotesOutAndRefusesARepeatedNumber();
    void modifyAndDelete_data() { DbTargets::AddDialectRows(); }
    void modifyAndDelete();
    void insertHandsBackTheSelectedNumbers_data() { DbTargets::AddDialectRows(); }
    void insertHandsBackTheSelectedNumbers();
    void filterAndFiles_data() { DbTargets::AddDialectRows(); }
    void filterAndFiles();
    void choicesOutlastTheFilter();
    void enterInTheFieldsNeverCloses();
    void databaseTextShownOnceByTheDialog_data() { DbTargets::AddDialectRows(); }
    void databaseTextShownOnceByTheDialog();

private:
    void Open(const DbSettings &settings);
    QStringList Shown(int column = PhoneBookModel::NumberColumn) const;
    int RowOf(const QString &number) const { return int(Shown().indexOf(number)); }
    QStringList StoredNames() const;
    void Click(const char *button) { QTest::mouseClick(m_dlg->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton); }
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = {});
    void Fill(const QString &name, const QString &number, const QString &relation);
    // "插入(&I)": what it hands back; the dialog is shown again for the next step.
    QStringList Insert();

    DbTargets m_targets;
    FakeMessageBox m_messages;
    std::unique_ptr<DbProbe> m_probe;
    std::unique_ptr<CPhoneBookDlg> m_dlg;
    QTableView *m_list = nullptr;
};

void tst_PhoneBookDlg::cleanup()
{
    m_dlg.reset();
    m_probe.reset();
    m_messages.Clear();
}

void tst_PhoneBookDlg::Open(const DbSettings &settings)
{
    {
        CDbAccess seed([settings] { return settings; });
        for (const QStringList &e : kSeed)
            QVERIFY(seed.Execute(Sql::BookInsert, {e.at(0), e.at(1), e.at(2)}));
    }
    m_probe = std::make_unique<DbProbe>(settings);
    m_dlg = std::make_unique<CPhoneBookDlg>([settings] { return settings; }, m_messages);
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
    m_list = m_dlg->findChild<QTableView *>(QStringLiteral("entryList"));
}

QStringList tst_PhoneBookDlg::Shown(int column) const
{
    QStringList out;
    for (int row = 0; row < m_list->model()->rowCount(); ++row)
        out << m_list->model()->index(row, column).data().toString();
    return out;
}

QStringList tst_PhoneBookDlg::StoredNames() const
{
    QStringList out;
    for (const QVariant &v : m_probe->Column(QStringLiteral("SELECT D_NAME || ':' || D_NUMBER FROM T_BOOK ORDER BY D_NUMBER")))
        out << v.toString();
    return out;
}

void tst_PhoneBookDlg::ClickRow(int row, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex index = m_list->model()->index(row, 0);
    m_list->scrollTo(index);
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, modifiers, m_list->visualRect(index).center());
}

void tst_PhoneBookDlg::Fill(const QString &name, const QString &number, const QString &relation)
{
    m_dlg->findChild<QLineEdit *>(QStringLiteral("nameEdit"))->setText(name);
    auto *numberEdit = m_dlg->findChild<QLineEdit *>(QStringLiteral("numberEdit"));
    numberEdit->clear();
    QTest::keyClicks(numberEdit, number); // typed, so the field's own rule applies
    m_dlg->findChild<QComboBox *>(QStringLiteral("relationBox"))->setEditText(relation);
}

QStringList tst_PhoneBookDlg::Insert()
{
    m_dlg->setResult(QDialog::Rejected);
    Click("insertButton");
    const bool accepted = m_dlg->result() == QDialog::Accepted;
    m_dlg->show();
    if (!accepted || !QTest::qWaitForWindowExposed(m_dlg.get()))
        return {QStringLiteral("(not accepted)")};
    return m_dlg->m_selectedNumbers;
}

void tst_PhoneBookDlg::opening()
{
    SKEVO_FRESH_DB(m_targets, settings);
    Open(*settings);
    QCOMPARE(m_dlg->windowTitle(), QStringLiteral("电话本"));
    QCOMPARE(Shown(PhoneBookModel::RelationColumn), (QStringList{QStringLiteral("classmate"), QStringLiteral("colleague"),
                                                                  QStringLiteral("colleague"), QStringLiteral("家人")}));
    QCOMPARE(Sorted(Shown()), (QStringList{QStringLiteral("138"), QStringLiteral("139"), QStringLiteral("150"), QStringLiteral("186")}));
    QHeaderView *header = m_list->horizontalHeader();
    QCOMPARE((QList<int>{header->sectionSize(0), header->sectionSize(1), header->sectionSize(2)}), (QList<int>{100, 160, 100}));
    QCOMPARE(m_list->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("电话号码"));
    QVERIFY(header->sectionsMovable());
    QVERIFY(m_list->showGrid());
    QCOMPARE(m_list->selectionMode(), QAbstractItemView::ExtendedSelection);
    auto *relation = m_dlg->findChild<QComboBox *>(QStringLiteral("relationBox"));
    QStringList groups;
    for (int i = 0; i < relation->count(); ++i)
        groups << relation->itemText(i);
    // The box keeps the database's order, which SQL leaves open.
    QCOMPARE(Sorted(groups), (QStringList{QStringLiteral("classmate"), QStringLiteral("colleague"), QStringLiteral("家人")}));
    QCOMPARE(relation->currentText(), QString());
    QCOMPARE(m_dlg->findChild<QLineEdit *>(QStringLiteral("numberEdit"))->maxLength(), 24);
    QVERIFY(m_dlg->findChild<QPushButton *>(QStringLiteral("insertButton"))->isDefault());
}

void tst_PhoneBookDlg::addTakesQuotesOutAndRefusesARepeatedNumber()
{
    SKEVO_FRESH_DB(m_targets, settings);
    Open(*settings);
    Fill(QStringLiteral("O'Neil"), QStringLiteral("1-3'7a0"), QStringLiteral("frie'nd"));
    QCOMPARE(m_dlg->findChild<QLineEdit *>(QStringLiteral("numberEdit"))->text(), QStringLiteral("1370"));
    Click("addButton");
    QCOMPARE(m_messages.Last(), QStringLiteral("增加成功!"));
    QCOMPARE(m_messages.shown.last().caption, QStringLiteral("提示"));
    QCOMPARE(Shown(PhoneBookModel::NameColumn).last(), QStringLiteral("ONeil"));
    QCOMPARE(Shown(PhoneBookModel::RelationColumn).last(), QStringLiteral("friend"));
    QVERIFY(StoredNames().contains(QStringLiteral("ONeil:1370")));

    Fill(QStringLiteral("Other"), QStringLiteral("138"), QString());
    Click("addButton");
    QCOMPARE(m_messages.Last(), QStringLiteral("该号码 138 已经存在"));
    QCOMPARE(m_messages.shown.last().icon, IMessageBox::Critical);
    Fill(QStringLiteral("Nobody"), QString(), QString());
    Click("addButton");
    Click("addButton");
    QCOMPARE(m_messages.Last(), QStringLiteral("该号码  已经存在"));
    QCOMPARE(StoredNames().size(), 6);
    QCOMPARE(Shown().size(), 6);
}

void tst_PhoneBookDlg::modifyAndDelete()
{
    SKEVO_FRESH_DB(m_targets, settings);
    Open(*settings);
    Click("modifyButton"); // no marked row: nothing
    Click("deleteButton");
    QCOMPARE(m_messages.shown.size(), 0);

    const int li = RowOf(QStringLiteral("139"));
    ClickRow(li);
    QCOMPARE(m_dlg->findChild<QLineEdit *>(QStringLiteral("nameEdit"))->text(), QStringLiteral("Li"));
    QCOMPARE(m_dlg->findChild<QComboBox *>(QStringLiteral("relationBox"))->currentText(), QStringLiteral("colleague"));
    Fill(QStringLiteral("Li Lei"), QStringLiteral("139"), QStringLiteral("colleague"));
    Click("modifyButton");
    QCOMPARE(m_messages.Last(), QStringLiteral("修改成功!"));
    Fill(QStringLiteral("Li Lei"), QStringLiteral("150"), QStringLiteral("colleague"));
    Click("modifyButton");
    QCOMPARE(m_messages.Last(), QStringLiteral("该号码 150 已经存在"));
    Fill(QStringLiteral("Li Lei"), QStringLiteral("131"), QStringLiteral("colleague"));
    Click("modifyButton");
    QCOMPARE(Shown(PhoneBookModel::NameColumn).at(li), QStringLiteral("Li Lei"));
    QCOMPARE(Shown().at(li), QStringLiteral("131"));

    ClickRow(0);
    Click("deleteButton");
    QCOMPARE(m_messages.Texts(), (QStringList{QStringLiteral("修改成功!"), QStringLiteral("该号码 150 已经存在"),
                                              QStringLiteral("修改成功!"), QStringLiteral("删除成功!")}));
    QCOMPARE(Sorted(Shown()), (QStringList{QStringLiteral("131"), QStringLiteral("150"), QStringLiteral("186")}));
    QCOMPARE(StoredNames(), (QStringList{QStringLiteral("Li Lei:131"), QStringLiteral("Wang:150"), QStringLiteral("Sun:186")}));
}

void tst_PhoneBookDlg::insertHandsBackTheSelectedNumbers()
{
    SKEVO_FRESH_DB(m_targets, settings);
    Open(*settings);
    QCOMPARE(Insert(), QStringList());

    const QStringList shown = Shown();
    ClickRow(3);
    ClickRow(1, Qt::ControlModifier);
    QCOMPARE(Insert(), (QStringList{shown.at(1), shown.at(3)}));

    m_dlg->findChild<QComboBox *>(QStringLiteral("relationBox"))->setEditText(QStringLiteral("colleague"));
    Click("selectGroupButton");
    QCOMPARE(Insert(), (QStringList{shown.at(1), shown.at(2)}));
    QCOMPARE(Sorted(m_dlg->m_selectedNumbers), (QStringList{QStringLiteral("139"), QStringLiteral("186")}));

    Click("selectAllButton");
    QCOMPARE(m_dlg->focusWidget(), m_list);
    QCOMPARE(Insert(), shown);

    m_list->clearSelection();
    const QPoint at = m_list->visualRect(m_list->model()->index(2, 1)).center();
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, at);
    m_dlg->setResult(QDialog::Rejected);
    QTest::mouseDClick(m_list->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(m_dlg->result(), int(QDialog::Accepted));
    QCOMPARE(m_dlg->m_selectedNumbers, QStringList{shown.at(2)});
}

void tst_PhoneBookDlg::filterAndFiles()
{
    SKEVO_FRESH_DB(m_targets, settings);
    Open(*settings);
    auto *filter = m_dlg->findChild<QLineEdit *>(QStringLiteral("filterEdit"));
    QTest::keyClicks(filter, QStringLiteral("c"));
    QCOMPARE(Sorted(Shown()), (QStringList{QStringLiteral("138"), QStringLiteral("139"), QStringLiteral("186")}));
    QTest::keyClicks(filter, QStringLiteral("o"));
    QCOMPARE(Sorted(Shown()), (QStringList{QStringLiteral("139"), QStringLiteral("186")}));
    Click("selectAllButton");
    QCOMPARE(Insert(), Shown());

    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("in.csv"));
    QFile in(csv);
    QVERIFY(in.open(QIODevice::WriteOnly));
    in.write("名字,电话号码,关系\nA,200,colleague\nB,138,x\nC,2x,y\n");
    in.close();
    m_dlg->SetFileChooser([&](QWidget *, bool save) { return save ? dir.filePath(QStringLiteral("out.csv")) : csv; });
    Click("importButton");
    QCOMPARE(m_messages.Last(), QStringLiteral("导入完成:增加1个,已经存在1个,拒绝1个\n第4行被拒绝:C,2x,y (电话号码只能是0到9的数字,最多24位)"));
    QCOMPARE(Shown().size(), 3);
    QCOMPARE(Shown().last(), QStringLiteral("200"));
    QCOMPARE(StoredNames().size(), 5);

    Click("exportButton");
    QCOMPARE(m_messages.Last(), QStringLiteral("导出到文件成功！"));
    QFile out(dir.filePath(QStringLiteral("out.csv")));
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.readAll().count('\n'), 6); // the heading and the whole book, not only what is shown
}

// The operator chooses across groups: a choice stays while the filter hides it, and the
// fields never show an entry the filter hides.
void tst_PhoneBookDlg::choicesOutlastTheFilter()
{
    QTemporaryDir dir;
    Open(TestEnv::Sqlite(dir.path()));
    auto *filter = m_dlg->findChild<QLineEdit *>(QStringLiteral("filterEdit"));
    auto *name = m_dlg->findChild<QLineEdit *>(QStringLiteral("nameEdit"));
    auto *chosen = m_dlg->findChild<QLabel *>(QStringLiteral("chosenLabel"));
    const auto selectedNumbers = [this] {
        QStringList out;
        for (const QModelIndex &index : m_list->selectionModel()->selectedRows(PhoneBookModel::NumberColumn))
            out << index.data().toString();
        return Sorted(out);
    };

    QTest::keyClicks(filter, QStringLiteral("colleague"));
    ClickRow(RowOf(QStringLiteral("139")));
    ClickRow(RowOf(QStringLiteral("186")), Qt::ControlModifier);
    QCOMPARE(chosen->text(), QStringLiteral("已选择 2 个"));
    QTest::keyClick(filter, Qt::Key_Backspace); // "colleagu": both still shown, still chosen, Sun still in the fields
    QCOMPARE(selectedNumbers(), (QStringList{QStringLiteral("139"), QStringLiteral("186")}));
    QCOMPARE(name->text(), QStringLiteral("Sun"));

    filter->setText(QStringLiteral("家人"));
    QCOMPARE(Shown(), QStringList{QStringLiteral("150")});
    QCOMPARE(name->text(), QString()); // Sun is hidden now
    QCOMPARE(chosen->text(), QStringLiteral("已选择 2 个, 其中 2 个不在筛选结果中"));
    ClickRow(0);
    QCOMPARE(chosen->text(), QStringLiteral("已选择 3 个, 其中 2 个不在筛选结果中"));

    filter->clear();
    QCOMPARE(selectedNumbers(), (QStringList{QStringLiteral("139"), QStringLiteral("150"), QStringLiteral("186")}));
    QCOMPARE(chosen->text(), QStringLiteral("已选择 3 个"));
    QStringList expected = Shown();
    expected.removeAll(QStringLiteral("138"));
    QCOMPARE(Insert(), expected); // top to bottom of the whole book
}

// Enter in a field adds a new entry or does nothing; the dialog stays with what was typed.
void tst_PhoneBookDlg::enterInTheFieldsNeverCloses()
{
    QTemporaryDir dir;
    Open(TestEnv::Sqlite(dir.path()));
    auto *name = m_dlg->findChild<QLineEdit *>(QStringLiteral("nameEdit"));
    const auto enterIn = [this](QWidget *field) {
        m_dlg->setResult(QDialog::Rejected);
        QTest::keyClick(field, Qt::Key_Return);
        return m_dlg->isVisible() && m_dlg->result() != QDialog::Accepted;
    };
    Fill(QStringLiteral("New"), QStringLiteral("13000000001"), QStringLiteral("colleague"));
    QVERIFY(enterIn(name));
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("增加成功!")});
    QCOMPARE(Shown().last(), QStringLiteral("13000000001"));
    // The number is in the book now: Enter does nothing, wherever it is pressed.
    QVERIFY(enterIn(m_dlg->findChild<QLineEdit *>(QStringLiteral("numberEdit"))));
    QVERIFY(enterIn(m_dlg->findChild<QComboBox *>(QStringLiteral("relationBox"))->lineEdit()));
    QVERIFY(enterIn(m_dlg->findChild<QLineEdit *>(QStringLiteral("filterEdit"))));
    QCOMPARE(m_messages.shown.size(), 1);
    QCOMPARE(name->text(), QStringLiteral("New"));
}

QTEST_MAIN(tst_PhoneBookDlg)
#include "tst_phonebookdlg.moc"

// With the table gone, every command and the opening show what the database said, once,
// with the dialog's caption and icon.
void tst_PhoneBookDlg::databaseTextShownOnceByTheDialog()
{
    SKEVO_FRESH_DB(m_targets, s);
    Open(*s);
    const QStringList before = Shown();
    QVERIFY(m_probe->Exec(QStringLiteral("DROP TABLE T_BOOK")));
    for (const char *button : {"addButton", "modifyButton", "deleteButton"}) {
        m_messages.Clear();
        ClickRow(0);
        Fill(QStringLiteral("新"), QStringLiteral("13000000009"), QString());
        Click(button);
        QCOMPARE(m_messages.shown.size(), 1);
        QVERIFY2(m_messages.Last().contains(QStringLiteral("T_BOOK"), Qt::CaseInsensitive), qPrintable(m_messages.Last()));
        QCOMPARE(m_messages.shown.last().caption, QStringLiteral("提示"));
        QCOMPARE(m_messages.shown.last().icon, IMessageBox::Critical);
        QCOMPARE(Shown(), before);
    }
    m_messages.Clear();
    CPhoneBookDlg again([settings = *s] { return settings; }, m_messages);
    QCOMPARE(m_messages.shown.size(), 1);
    QVERIFY2(m_messages.Last().contains(QStringLiteral("T_BOOK"), Qt::CaseInsensitive), qPrintable(m_messages.Last()));
    QVERIFY2(SaysWhatFailed(m_messages.Last()), qPrintable(m_messages.Last()));
}
