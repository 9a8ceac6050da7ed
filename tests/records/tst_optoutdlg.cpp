// The 黑名单 dialog offscreen on a real database: 增加 (a number typed, one typed twice, one
// that is no number), the filter and the count, 删除 of the chosen rows, 导出 and 导入 CSV, and
// "加入黑名单" of a record of the list.
#include "FakeMessageBox.h"
#include "TestEnv.h"

#include "db/CDbAccess.h"
#include "outbox/OptOutList.h"
#include "records/COptOutDlg.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

class tst_OptOutDlg : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void addFilterDeleteExportImport();
    void recordNumber();

private:
    void Add(COptOutDlg &dialog, const QString &number)
    {
        dialog.findChild<QLineEdit *>(QStringLiteral("number"))->setText(number);
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("add")), Qt::LeftButton);
    }
    static QStringList Numbers(COptOutDlg &dialog)
    {
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("table"));
        QStringList numbers;
        for (int r = 0; r < table->rowCount(); ++r)
            numbers << table->item(r, 0)->text() + u' ' + table->item(r, 2)->text();
        numbers.sort();
        return numbers;
    }
    static QString Count(COptOutDlg &dialog) { return dialog.findChild<QLabel *>(QStringLiteral("count"))->text(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CDbAccess> m_db;
    FakeMessageBox m_messages;
};

void tst_OptOutDlg::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    const DbSettings s = TestEnv::Sqlite(m_dir->path());
    m_db = std::make_unique<CDbAccess>([s] { return s; });
    m_messages.Clear();
}

void tst_OptOutDlg::addFilterDeleteExportImport()
{
    COptOutDlg dialog(*m_db, m_messages);
    const QString file = m_dir->filePath(QStringLiteral("黑名单.csv"));
    dialog.SetFileChooser([&file](QWidget *, bool) { return file; });
    dialog.show();
    QCOMPARE(Count(dialog), QStringLiteral("共 0 个号码"));

    Add(dialog, QStringLiteral("13900000001"));
    Add(dialog, QStringLiteral("+85291234567"));
    QCOMPARE(m_messages.Texts(), QStringList());
    QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("number"))->text(), QString());
    Add(dialog, QStringLiteral("+8613900000001"));
    Add(dialog, QStringLiteral("1390000000x"));
    QCOMPARE(m_messages.Texts(), (QStringList{QStringLiteral("该号码已在黑名单中"), OptOutList::InvalidNumberText()}));
    QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("number"))->text(), QStringLiteral("1390000000x"));
    QCOMPARE(Numbers(dialog), (QStringList{QStringLiteral("+85291234567 手动"), QStringLiteral("13900000001 手动")}));
    QCOMPARE(Count(dialog), QStringLiteral("共 2 个号码"));

    auto *filter = dialog.findChild<QLineEdit *>(QStringLiteral("filter"));
    // The list is read once typing pauses, or at Enter.
    QTest::keyClicks(filter, QStringLiteral("852"));
    QCOMPARE(Count(dialog), QStringLiteral("共 2 个号码"));
    QTRY_COMPARE(Numbers(dialog), QStringList{QStringLiteral("+85291234567 手动")});
    QCOMPARE(Count(dialog), QStringLiteral("共 1 个号码"));
    filter->clear();
    QTest::keyClick(filter, Qt::Key_Return);
    QCOMPARE(Count(dialog), QStringLiteral("共 2 个号码"));

    m_messages.Clear();
    QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("export")), Qt::LeftButton);
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("导出完成")});
    auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("table"));
    table->selectAll();
    QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("delete")), Qt::LeftButton);
    QCOMPARE(Count(dialog), QStringLiteral("共 0 个号码"));
    Add(dialog, QStringLiteral("13900000001"));
    m_messages.Clear();
    QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("import")), Qt::LeftButton);
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("导入完成:增加1个,已经存在1个,拒绝0个")});
    QCOMPARE(Count(dialog), QStringLiteral("共 2 个号码"));
    // Another program on the database sees the list.
    const DbSettings s = TestEnv::Sqlite(m_dir->path());
    CDbAccess other([s] { return s; });
    QVERIFY(OptOutList(other).IsListed(QStringLiteral("8685291234567")) == false);
    QVERIFY(OptOutList(other).IsListed(QStringLiteral("+85291234567")));
}

void tst_OptOutDlg::recordNumber()
{
    COptOutDlg dialog(*m_db, m_messages);
    QVERIFY(OptOutList(*m_db).Add(QStringLiteral("13900000002"), OptOutList::Source::Manual));
    dialog.AddRecordNumber(QStringLiteral("8613900000001"));
    QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("filter"))->text(), QStringLiteral("8613900000001"));
    QCOMPARE(Numbers(dialog), QStringList{QStringLiteral("8613900000001 手动")});
    QCOMPARE(m_messages.Texts(), QStringList());
    dialog.AddRecordNumber(QStringLiteral("13900000001"));
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("该号码已在黑名单中")});
}

QTEST_MAIN(tst_OptOutDlg)
#include "tst_optoutdlg.moc"
