#include "send/CManualNumberDlg.h"
#include "send/CSendPanelDialogs.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class tst_ManualNumberDlg : public QObject
{
    Q_OBJECT
private slots:
    void controls();
    void fieldTakesElevenCharacters();
    void okHandsBackTheText_data();
    void okHandsBackTheText();
};

void tst_ManualNumberDlg::controls()
{
    CManualNumberDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("输入短信接收号码"));
    QCOMPARE(dlg.findChild<QLabel *>(QStringLiteral("numberLabel"))->text(), QStringLiteral("短信接收号码:"));
    QCOMPARE(dlg.findChild<QPushButton *>(QStringLiteral("okButton"))->text(), QStringLiteral("确定(&O)"));
    QCOMPARE(dlg.findChild<QPushButton *>(QStringLiteral("cancelButton"))->text(), QStringLiteral("取消(&C)"));
    QCOMPARE(dlg.findChild<QLineEdit *>(QStringLiteral("numberEdit"))->maxLength(), 11);
}

void tst_ManualNumberDlg::fieldTakesElevenCharacters()
{
    CManualNumberDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QLineEdit *edit = dlg.findChild<QLineEdit *>(QStringLiteral("numberEdit"));
    QTest::keyClicks(edit, QStringLiteral("138000000001234"));
    QCOMPARE(dlg.Number(), QStringLiteral("13800000000"));
}

void tst_ManualNumberDlg::okHandsBackTheText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK with blanks, nothing checked") << QStringLiteral(" 13 a ") << true;
    QTest::newRow("OK with nothing") << QString() << true;
    QTest::newRow("cancel") << QStringLiteral("138") << false;
}

void tst_ManualNumberDlg::okHandsBackTheText()
{
    QFETCH(QString, typed);
    QFETCH(bool, ok);
    // The real dialog, answered by a click once it is up.
    bool answered = false;
    QTimer::singleShot(0, this, [&] {
        auto *dlg = qobject_cast<CManualNumberDlg *>(QApplication::activeModalWidget());
        QVERIFY(dlg);
        QTest::keyClicks(dlg->findChild<QLineEdit *>(QStringLiteral("numberEdit")), typed);
        QTest::mouseClick(dlg->findChild<QPushButton *>(ok ? QStringLiteral("okButton") : QStringLiteral("cancelButton")),
                          Qt::LeftButton);
        answered = true;
    });
    CSendPanelDialogs dialogs;
    const std::optional<QString> result = dialogs.AskManualNumber(nullptr);
    QVERIFY(answered);
    QCOMPARE(result.has_value(), ok);
    if (ok)
        QCOMPARE(*result, typed);
}

QTEST_MAIN(tst_ManualNumberDlg)
#include "tst_manualnumberdlg.moc"
