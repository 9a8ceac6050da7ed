// The record query window, offscreen: its controls and how the table choice changes them at
// once, its messages, the hits in the list, and its inputs kept while it is hidden.
#include "FakeMessageBox.h"
#include "Journal.h"
#include "TestEnv.h"
#include "records/CQueryDlg.h"
#include "records/RecordsModel.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

class tst_QueryDlg : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void initialControls();
    void tableChoiceTakesEffectAtOnce();
    void messageLeavesTheListAlone();
    void hitsReplaceTheRows();
    void closingHidesAndKeepsTheInputs();

private:
    template <typename W>
    W *Child(const char *name)
    {
        return m_dialog->findChild<W *>(QString::fromLatin1(name));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordsModel> m_model;
    std::unique_ptr<CQueryDlg> m_dialog;
    FakeMessageBox m_messages;
};

void tst_QueryDlg::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    const DbSettings s = TestEnv::Sqlite(m_dir->path());
    {
        Journal j(s);
        QVERIFY(j.Sent({QStringLiteral("2009-05-05 09:00:00"), QStringLiteral("8613900000002"), QStringLiteral("a"), 1}) > 0);
        QVERIFY(j.Sent({QStringLiteral("2009-05-05 10:00:00"), QStringLiteral("8613900000002"), QStringLiteral("b"), 0, 3}) > 0);
        QVERIFY(j.Received({QStringLiteral("2009-05-05 08:00:00"), QStringLiteral("13900000001"), QStringLiteral("c")}) > 0);
    }
    m_messages.Clear();
    m_model = ModelShowingOn(s, m_messages);
    m_model->LoadAll();
    m_model->FinishLoading();
    m_dialog = std::make_unique<CQueryDlg>(*m_model, m_messages);
}

void tst_QueryDlg::initialControls()
{
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("短信收发日志查询"));
    QVERIFY(!m_dialog->isModal());
    QVERIFY(Child<QRadioButton>("radioSent")->isChecked());
    QCOMPARE(Child<QRadioButton>("radioReceived")->text(), QStringLiteral("收信记录查询"));
    QCOMPARE(Child<QCheckBox>("checkDay")->text(), QStringLiteral("发送时间:"));
    QCOMPARE(Child<QDateEdit>("dateDay")->date(), QDate::currentDate());
    QVERIFY(Child<QCheckBox>("checkSucceeded")->isChecked());
    for (const char *box : {"checkNumber", "checkDay", "checkText", "checkOrder", "checkReport"})
        QVERIFY(!Child<QCheckBox>(box)->isChecked());
    QCOMPARE(Child<QCheckBox>("checkReport")->text(), QStringLiteral("回执:"));
    QCOMPARE(Child<QLineEdit>("editNumber")->maxLength(), 15);
    QCOMPARE(Child<QLineEdit>("editOrder")->maxLength(), 15);
    QVERIFY(Child<QPushButton>("buttonQuery")->isDefault());
    QCOMPARE(Child<QPushButton>("buttonQuery")->text(), QStringLiteral("查询(&S)"));
}

void tst_QueryDlg::tableChoiceTakesEffectAtOnce()
{
    m_dialog->show();
    Child<QCheckBox>("checkOrder")->setChecked(true);
    QTest::mouseClick(Child<QRadioButton>("radioReceived"), Qt::LeftButton);
    for (const char *off : {"checkSucceeded", "checkOrder", "editOrder", "checkReport", "comboReport"})
        QVERIFY2(!m_dialog->findChild<QWidget *>(QString::fromLatin1(off))->isEnabled(), off);
    QCOMPARE(Child<QCheckBox>("checkDay")->text(), QStringLiteral("接收时间"));
    QVERIFY(Child<QCheckBox>("checkOrder")->isChecked());
    QTest::mouseClick(Child<QRadioButton>("radioSent"), Qt::LeftButton);
    for (const char *on : {"checkSucceeded", "checkOrder", "editOrder", "checkReport", "comboReport"})
        QVERIFY2(m_dialog->findChild<QWidget *>(QString::fromLatin1(on))->isEnabled(), on);
    QCOMPARE(Child<QCheckBox>("checkDay")->text(), QStringLiteral("发送时间"));
}

void tst_QueryDlg::messageLeavesTheListAlone()
{
    m_dialog->show();
    Child<QCheckBox>("checkOrder")->setChecked(true);
    Child<QLineEdit>("editOrder")->setText(QStringLiteral("  "));
    QTest::mouseClick(Child<QPushButton>("buttonQuery"), Qt::LeftButton);
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("请输入订单号!")});
    QCOMPARE(m_messages.shown.first().caption, QStringLiteral("提示"));
    QCOMPARE(m_model->CurrentView(), RecordsModel::View::All);
    QCOMPARE(m_model->rowCount(), 3);
}

void tst_QueryDlg::hitsReplaceTheRows()
{
    m_dialog->show();
    Child<QCheckBox>("checkSucceeded")->setChecked(false);
    Child<QCheckBox>("checkOrder")->setChecked(true);
    Child<QLineEdit>("editOrder")->setText(QStringLiteral("3"));
    QTest::keyClick(Child<QLineEdit>("editOrder"), Qt::Key_Return); // Enter runs the query
    QTRY_VERIFY(!m_model->IsLoading());
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(m_model->Row(0).m_strContent, QStringLiteral("b"));
    QCOMPARE(m_model->Row(0).m_strResult, QStringLiteral("失败!"));
    QVERIFY(m_dialog->isVisible()); // it stays open

    QTest::mouseClick(Child<QRadioButton>("radioReceived"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>("buttonQuery"), Qt::LeftButton);
    QTRY_VERIFY(!m_model->IsLoading());
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(m_model->Row(0).m_strAction, QStringLiteral("接收"));
    QCOMPARE(m_messages.Texts(), QStringList());
}

void tst_QueryDlg::closingHidesAndKeepsTheInputs()
{
    m_dialog->show();
    Child<QCheckBox>("checkText")->setChecked(true);
    Child<QLineEdit>("editText")->setText(QStringLiteral("明天"));
    QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
    QVERIFY(!m_dialog->isVisible());
    m_dialog->show();
    m_dialog->close();
    QVERIFY(!m_dialog->isVisible());
    m_dialog->show();
    QVERIFY(Child<QCheckBox>("checkText")->isChecked());
    QCOMPARE(Child<QLineEdit>("editText")->text(), QStringLiteral("明天"));
    QCOMPARE(m_dialog->Inputs().m_strText, QStringLiteral("明天"));
}

QTEST_MAIN(tst_QueryDlg)
#include "tst_querydlg.moc"
