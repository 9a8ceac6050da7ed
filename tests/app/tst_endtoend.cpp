// The program from end to end: log in through the login window, connect the main window to
// the simulated modem on a pseudo-terminal, send to three numbers with the panel's "发送",
// and see three sent rows in the records list and the progress bar full. Then an arrival.
#include "FakeMessageBox.h"
#include "ModemSimulator.h"
#include "app/CMainFrame.h"
#include "app/CSkevoApp.h"
#include "app/IRingPlayer.h"
#include "records/CMyList.h"
#include "records/RecordsModel.h"
#include "send/CSkevoView.h"
#include "send/SendListModel.h"
#include "users/CLoginDlg.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {
class CountingRing : public IRingPlayer
{
public:
    void PlayRing(const QString &) override { ++plays; }
    void StopRing() override {}
    int plays = 0;
};

int CountRows(const RecordsModel &m, const QString &action, const QString &result)
{
    int n = 0;
    for (int r = 0; r < m.rowCount(); ++r) {
        const RecordsModel::RowTexts t = m.Row(r);
        if (t.m_strAction == action && t.m_strResult == result)
            ++n;
    }
    return n;
}
} // namespace

class tst_EndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void loginConnectSendAndReceive();
};

void tst_EndToEnd::loginConnectSendAndReceive()
{
    QTemporaryDir dir;
    FakeMessageBox messages;
    CSkevoApp app(dir.filePath(QStringLiteral("setting.ini")));

    // Log in as the first administrator.
    {
        QString user;
        bool admin = false;
        CLoginDlg login(app.Settings(), app.Db(), user, admin, messages);
        login.show();
        QVERIFY(QTest::qWaitForWindowExposed(&login));
        login.findChild<QLineEdit *>(QStringLiteral("nameEdit"))->setText(QStringLiteral("admin"));
        login.findChild<QLineEdit *>(QStringLiteral("passwordEdit"))->setText(QStringLiteral("admin"));
        QTest::mouseClick(login.findChild<QPushButton *>(QStringLiteral("loginButton")), Qt::LeftButton);
        QCOMPARE(login.result(), int(QDialog::Accepted));
        app.SetUser(user, admin);
    }
    QCOMPARE(app.User(), QStringLiteral("admin"));
    QVERIFY(app.IsAdmin());

    ModemSimulator sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorString()));
    app.Device().m_strCOM = sim.DevicePath();

    QSettings profile(dir.filePath(QStringLiteral("profile.ini")), QSettings::IniFormat);
    CountingRing ring;
    CMainFrame frame(app, messages, ring, &profile);
    frame.ShowWithPlacement();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QTRY_VERIFY(!frame.List().Model().IsLoading());
    QCOMPARE(frame.List().Model().rowCount(), 0);

    frame.findChild<QAction *>(QStringLiteral("actionConnect"))->trigger();
    QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.Texts().join(u'|')));
    QVERIFY(frame.IsConnected());

    CSkevoView &view = frame.View();
    view.Model().Append(QStringList{QStringLiteral("13800000001"), QStringLiteral("+8613800000002"), QStringLiteral("8613800000003")});
    auto *edit = view.findChild<QPlainTextEdit *>(QStringLiteral("messageEdit"));
    QVERIFY(edit);
    edit->setPlainText(QStringLiteral("今晚七点开会,请准时参加"));
    QTest::mouseClick(view.findChild<QPushButton *>(QStringLiteral("sendButton")), Qt::LeftButton);
    QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.Texts().join(u'|')));

    const RecordsModel &records = frame.List().Model();
    QTRY_COMPARE_WITH_TIMEOUT(CountRows(records, QStringLiteral("发送"), QStringLiteral("成功")), 3, 120000);
    QCOMPARE(records.rowCount(), 3);
    QProgressBar *bar = view.ProgressBar();
    QCOMPARE(bar->maximum(), 3);
    QCOMPARE(bar->value(), bar->maximum());
    // Newest on top; every number normalised with 86.
    QCOMPARE(records.Row(0).m_strNumber, QStringLiteral("8613800000003"));
    QCOMPARE(records.Row(2).m_strNumber, QStringLiteral("8613800000001"));
    QCOMPARE(records.Row(1).m_strContent, QStringLiteral("今晚七点开会,请准时参加"));
    QCOMPARE(sim.SubmitCount(), 3);

    // An answer arrives.
    DeliverSpec reply;
    reply.from = QStringLiteral("+8613800000002");
    reply.text = QStringLiteral("收到,准时到");
    QVERIFY(sim.InjectArrival(reply).ok);
    QTRY_COMPARE_WITH_TIMEOUT(CountRows(records, QStringLiteral("接收"), QStringLiteral("成功")), 1, 30000);
    QCOMPARE(records.Row(0).m_strContent, QStringLiteral("收到,准时到"));
    QCOMPARE(ring.plays, 1);
    QCOMPARE(bar->value(), 3);

    // The journal holds what the list showed: "显示全部" brings the same four rows back.
    frame.List().findChild<QAction *>(QStringLiteral("actionLoadAll"))->trigger();
    QTRY_VERIFY(!records.IsLoading());
    QCOMPARE(records.rowCount(), 4);
    QCOMPARE(CountRows(records, QStringLiteral("发送"), QStringLiteral("成功")), 3);
    QCOMPARE(CountRows(records, QStringLiteral("接收"), QStringLiteral("成功")), 1);

    frame.findChild<QAction *>(QStringLiteral("actionDisconnect"))->trigger();
    QVERIFY(!frame.IsConnected());
    QVERIFY(messages.shown.isEmpty());
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
