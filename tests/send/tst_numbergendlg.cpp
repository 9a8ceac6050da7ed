#include "FakeMessageBox.h"
#include "send/CNumberGenDlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
const char *const kBoxes[] = {"keepCheck", "need6Check", "need8Check", "dropCheck", "avoid4Check", "avoid7Check"};
}

class tst_NumberGenDlg : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opening();
    void switchesGreyTheirBoxes_data();
    void switchesGreyTheirBoxes();
    void okGeneratesWithTheTickedFilters();
    void badSegmentKeepsTheDialogOpen();

private:
    QCheckBox *Box(const char *name) const { return m_dlg->findChild<QCheckBox *>(QLatin1String(name)); }
    QLabel *Label(const char *name) const { return m_dlg->findChild<QLabel *>(QLatin1String(name)); }

    FakeMessageBox m_messages;
    CNumberGenDlg *m_dlg = nullptr;
};

void tst_NumberGenDlg::init()
{
    m_messages.Clear();
    m_dlg = new CNumberGenDlg(m_messages);
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
}

void tst_NumberGenDlg::cleanup()
{
    delete m_dlg;
    m_dlg = nullptr;
}

void tst_NumberGenDlg::opening()
{
    QCOMPARE(m_dlg->windowTitle(), QStringLiteral("自动生成接收号码"));
    QCOMPARE(Label("segmentLabel")->text(), QStringLiteral("号码段:"));
    QCOMPARE(Label("segmentNote")->text(), QStringLiteral("(无号码后4位)"));
    const QStringList captions{QStringLiteral("只生成符合以下要求的后4位号码:"), QStringLiteral("有6"), QStringLiteral("有8"),
                               QStringLiteral("过滤掉符合以下要求的后4位号码:"), QStringLiteral("有4"), QStringLiteral("有7")};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(Box(kBoxes[i])->text(), captions.at(i));
        QVERIFY(Box(kBoxes[i])->isChecked());
        QVERIFY(Box(kBoxes[i])->isEnabled());
    }
    QCOMPARE(Label("keepHint")->text(), QStringLiteral("提示:后4位必须有6和8"));
    QCOMPARE(Label("dropHint")->text(), QStringLiteral("提示:后4位一定没有4或7"));
    QCOMPARE(m_dlg->findChild<QPushButton *>(QStringLiteral("okButton"))->text(), QStringLiteral("确定(&O)"));
    QCOMPARE(m_dlg->findChild<QPushButton *>(QStringLiteral("cancelButton"))->text(), QStringLiteral("取消(&C)"));
}

void tst_NumberGenDlg::switchesGreyTheirBoxes_data()
{
    QTest::addColumn<QString>("switchName");
    QTest::addColumn<QStringList>("children");
    QTest::addColumn<QString>("hint"); // after the first digit box is cleared
    QTest::newRow("keep") << QStringLiteral("keepCheck")
                          << QStringList{QStringLiteral("need6Check"), QStringLiteral("need8Check"), QStringLiteral("keepHint")}
                          << QStringLiteral("提示:后4位必须有8");
    QTest::newRow("drop") << QStringLiteral("dropCheck")
                          << QStringList{QStringLiteral("avoid4Check"), QStringLiteral("avoid7Check"), QStringLiteral("dropHint")}
                          << QStringLiteral("提示:后4位一定没有7");
}

void tst_NumberGenDlg::switchesGreyTheirBoxes()
{
    QFETCH(QString, switchName);
    QFETCH(QStringList, children);
    QFETCH(QString, hint);
    auto *first = m_dlg->findChild<QCheckBox *>(children.at(0));
    QTest::mouseClick(first, Qt::LeftButton, {}, QPoint(5, first->height() / 2));
    QVERIFY(!first->isChecked());
    QCOMPARE(m_dlg->findChild<QLabel *>(children.at(2))->text(), hint);

    auto *sw = m_dlg->findChild<QCheckBox *>(switchName);
    QTest::mouseClick(sw, Qt::LeftButton, {}, QPoint(5, sw->height() / 2));
    for (const QString &name : children)
        QVERIFY2(!m_dlg->findChild<QWidget *>(name)->isEnabled(), qPrintable(name));
    QTest::mouseClick(sw, Qt::LeftButton, {}, QPoint(5, sw->height() / 2));
    for (const QString &name : children)
        QVERIFY2(m_dlg->findChild<QWidget *>(name)->isEnabled(), qPrintable(name));
    // The boxes keep the states they had.
    QVERIFY(!first->isChecked());
    QVERIFY(m_dlg->findChild<QCheckBox *>(children.at(1))->isChecked());
}

void tst_NumberGenDlg::okGeneratesWithTheTickedFilters()
{
    QTest::keyClicks(m_dlg->findChild<QLineEdit *>(QStringLiteral("segmentEdit")), QStringLiteral("1391234"));
    auto *sw = Box("keepCheck");
    QTest::mouseClick(sw, Qt::LeftButton, {}, QPoint(5, sw->height() / 2));
    QTest::mouseClick(m_dlg->findChild<QPushButton *>(QStringLiteral("okButton")), Qt::LeftButton);
    QCOMPARE(m_dlg->result(), int(QDialog::Accepted));
    QCOMPARE(m_messages.shown.size(), 0);
    // The drop filter alone: endings without 4 and 7.
    QCOMPARE(m_dlg->Numbers().size(), 4096);
    QCOMPARE(m_dlg->Numbers().first(), QStringLiteral("13912340000"));
    QCOMPARE(m_dlg->Numbers().last(), QStringLiteral("13912349999"));
}

void tst_NumberGenDlg::badSegmentKeepsTheDialogOpen()
{
    QTest::keyClicks(m_dlg->findChild<QLineEdit *>(QStringLiteral("segmentEdit")), QStringLiteral("13x"));
    QTest::mouseClick(m_dlg->findChild<QPushButton *>(QStringLiteral("okButton")), Qt::LeftButton);
    QVERIFY(m_dlg->isVisible());
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("号码段只能包含数字")});
    QCOMPARE(m_messages.shown.first().caption, QStringLiteral("提示"));
    QVERIFY(m_dlg->Numbers().isEmpty());
}

QTEST_MAIN(tst_NumberGenDlg)
#include "tst_numbergendlg.moc"
