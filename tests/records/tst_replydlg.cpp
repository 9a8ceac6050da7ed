// The send and reply dialog, offscreen, from a row of the records list to the simulated
// modem on a real pseudo-terminal: title, count, checks, the "86" rule, one queued message.
#include "EngineRig.h"
#include "DbTargets.h"
#include "FakeMessageBox.h"
#include "Journal.h"
#include "TestEnv.h"
#include "outbox/OptOutList.h"
#include "records/CReplyDlg.h"
#include "records/RecordsModel.h"
#include "records/ResendFailed.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
// Typing as an input method commits its characters: one key event with the text each.
void Type(QWidget *w, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(w, &press);
    }
}
} // namespace

class tst_ReplyDlg : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void sendsOneMessageToTheRowsNumber_data();
    void sendsOneMessageToTheRowsNumber();
    void countAndLimit();
    void checksOnConfirming_data();
    void checksOnConfirming();
    void noSelection();
    void personalReply();
    void resendFailed();
    void listedNumberAsksFirst();

private:
    CReplyDlg::Services Services()
    {
        return {*m_rig->outbox, m_messages, [] { return QStringLiteral("8613800100500"); }, [this] { ++m_nProgress; }};
    }
    RecordsModel::RowTexts Row(bool received)
    {
        for (int r = 0; r < m_model->rowCount(); ++r) {
            if ((m_model->Row(r).m_strAction == QStringLiteral("接收")) == received)
                return m_model->Row(r);
        }
        return {};
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<EngineRig> m_rig;
    std::unique_ptr<RecordsModel> m_model;
    FakeMessageBox m_messages;
    int m_nProgress = 0;
};

void tst_ReplyDlg::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    const DbSettings s = TestEnv::Sqlite(m_dir->path());
    {
        Journal j(s);
        QVERIFY(j.Received({QStringLiteral("2009-05-05 08:00:00"), QStringLiteral("13900000001"), QStringLiteral("在吗?"),
                            QStringLiteral("/dev/ttyUSB3"), QStringLiteral("460001111122222")}) > 0);
        QVERIFY(j.Sent({QStringLiteral("2009-05-05 09:00:00"), QStringLiteral("8613900000002"), QStringLiteral("明天见"), 1}) > 0);
    }
    m_rig = std::make_unique<EngineRig>(s);
    m_model = ModelShowingOn(s, m_messages);
    m_model->LoadAll();
    m_model->FinishLoading();
    m_messages.Clear();
    m_nProgress = 0;
}

void tst_ReplyDlg::sendsOneMessageToTheRowsNumber_data()
{
    QTest::addColumn<bool>("received");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("number");
    QTest::newRow("reply to a received message: 86 put in front") << true << QStringLiteral("收到,谢谢")
                                                                  << QStringLiteral("回复短信内容") << QStringLiteral("8613900000001");
    QTest::newRow("sent again: a number beginning with 86 stays") << false << QStringLiteral("再发一次")
                                                                   << QStringLiteral("再次发送短信") << QStringLiteral("8613900000002");
    QTest::newRow("over 70 characters with Chinese: one concatenated message") << true << QStringLiteral("好") + QString(100, QLatin1Char('x'))
                                                                  << QStringLiteral("回复短信内容") << QStringLiteral("8613900000001");
}

void tst_ReplyDlg::sendsOneMessageToTheRowsNumber()
{
    QFETCH(bool, received);
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(QString, number);
    QVERIFY(m_rig->ConnectAndStart());
    const RecordsModel::RowTexts row = Row(received);
    CReplyDlg dialog(ReplyLogic::FromRow(row), Services());
    dialog.show();
    QCOMPARE(dialog.windowTitle(), title);
    QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("editTime"))->text(), row.m_strTime);
    QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("editNumber"))->text(), row.m_strNumber);
    QCOMPARE(dialog.findChild<QPlainTextEdit *>(QStringLiteral("editOriginal"))->toPlainText(), row.m_strContent);
    auto *reply = dialog.findChild<QPlainTextEdit *>(QStringLiteral("editReply"));
    QCOMPARE(reply->toPlainText(), QString());
    reply->setPlainText(text);
    QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("buttonSend")), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(m_nProgress, 1);
    QTRY_COMPARE_WITH_TIMEOUT(m_rig->sink->reports.size(), 1, 20000);
    QCOMPARE(ResultOf(m_rig->sink->reports.first()), QStringLiteral("成功"));
    QCOMPARE(SubmittedNumbers(m_rig->sim), QStringList{number});
    QCOMPARE(SubmittedTexts(m_rig->sim), QStringList{text});
    DbProbe probe(m_rig->db);
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_ID FROM T_SEND WHERE D_SENDCONT=?"), {text}), QVariantList{-1});
    QCOMPARE(m_messages.Texts(), QStringList());
    // An answer asks for the SIM the message came in on, and the dialog names it; a message
    // sent again goes from any.
    QCOMPARE(ReplyLogic::FromRow(row).m_strSim, received ? QStringLiteral("460001111122222") : QString());
    const QString from = dialog.findChild<QLabel *>(QStringLiteral("labelFrom"))->text();
    QVERIFY2(received ? from.contains(row.m_strPort) && row.m_strPort.contains(QStringLiteral("SIM…2222"))
                      : from == QStringLiteral("由任一已连接的短信猫发送"),
             qPrintable(from));
}

void tst_ReplyDlg::countAndLimit()
{
    CReplyDlg dialog(ReplyLogic::FromRow(Row(true)), Services());
    dialog.show();
    auto *reply = dialog.findChild<QPlainTextEdit *>(QStringLiteral("editReply"));
    auto *count = dialog.findChild<QLabel *>(QStringLiteral("labelCount"));
    QCOMPARE(count->text(), QStringLiteral("0 (0条)"));
    reply->setFocus();
    Type(reply, QStringLiteral("你好吗"));
    QCOMPARE(count->text(), QStringLiteral("6 (1条)"));
    Type(reply, QString(67, QChar(0x5B57)));
    QCOMPARE(count->text(), QStringLiteral("140 (1条)"));
    QCOMPARE(reply->toPlainText().size(), 70);
    QTest::keyClick(reply, Qt::Key_Backspace);
    QCOMPARE(count->text(), QStringLiteral("138 (1条)"));
    QTest::keyClicks(reply, QStringLiteral("ab")); // 71 characters: two UCS2 parts
    QCOMPARE(count->text(), QStringLiteral("140 (2条)"));
}

void tst_ReplyDlg::checksOnConfirming_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("stays");
    QTest::newRow("not connected comes first, even with no text") << false << QString() << QStringLiteral("还未连接猫\n请连接猫") << false;
    QTest::newRow("not connected, with a text") << false << QStringLiteral("好") << QStringLiteral("还未连接猫\n请连接猫") << false;
    QTest::newRow("empty text: the dialog stays for the text") << true << QString() << QStringLiteral("短信内容不能为空") << true;
    QTest::newRow("a field a reply has not: the dialog stays for the text")
        << true << QStringLiteral("{金额}") << QStringLiteral("未知的字段: {金额}") << true;
}

void tst_ReplyDlg::checksOnConfirming()
{
    QFETCH(bool, connected);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(bool, stays);
    if (connected)
        QVERIFY(m_rig->ConnectAndStart());
    CReplyDlg dialog(ReplyLogic::FromRow(Row(true)), Services());
    dialog.show();
    dialog.findChild<QPlainTextEdit *>(QStringLiteral("editReply"))->setPlainText(text);
    QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("buttonSend")), Qt::LeftButton);
    QCOMPARE(m_messages.Texts(), QStringList{message});
    QCOMPARE(dialog.isVisible(), stays);
    QCOMPARE(m_rig->outbox->QueuedCount(), 0);
    QCOMPARE(m_nProgress, 0);

    // The length is checked again on confirming, for a text that came past the field.
    ReplyLogic logic = ReplyLogic::FromRow(Row(true));
    logic.m_strReply = QString(71, QChar(0x5B57));
    QCOMPARE(logic.Validate(true)->m_strText, QStringLiteral("“请填入不多于140个的字符。”"));
    QVERIFY(ReplyLogic::KeepsDialogOpen(*logic.Validate(true)));
}

// A reply to a number on the opt-out list asks first: 否 (the default) keeps the dialog open
// and sends nothing, 是 sends.
void tst_ReplyDlg::listedNumberAsksFirst()
{
    QVERIFY(m_rig->ConnectAndStart());
    OptOutList list(m_model->Db());
    QVERIFY(list.Add(QStringLiteral("+8613900000001"), OptOutList::Source::Manual));
    int row = 0;
    while (m_model->Row(row).m_strAction != QStringLiteral("接收"))
        ++row;
    m_messages.answers << IMessageBox::AnswerNo << IMessageBox::AnswerYes;
    bool stayedOpen = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<CReplyDlg *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->findChild<QPlainTextEdit *>(QStringLiteral("editReply"))->setPlainText(QStringLiteral("好的"));
        auto *send = dialog->findChild<QPushButton *>(QStringLiteral("buttonSend"));
        QTest::mouseClick(send, Qt::LeftButton);
        stayedOpen = dialog->isVisible() && m_nProgress == 0;
        QTest::mouseClick(send, Qt::LeftButton);
    });
    CReplyDlg::ReplyToRow(*m_model, row, Services(), nullptr);
    QVERIFY(stayedOpen);
    QCOMPARE(m_messages.Texts(), QStringList(2, OptOutList::ReplyQuestion().m_strText));
    QCOMPARE(m_messages.shown.first().buttons, IMessageBox::YesNoDefaultNo);
    QTRY_COMPARE_WITH_TIMEOUT(m_rig->sink->reports.size(), 1, 20000);
    QCOMPARE(SubmittedNumbers(m_rig->sim), QStringList{QStringLiteral("8613900000001")});
}

void tst_ReplyDlg::noSelection()
{
    CReplyDlg::ReplyToRow(*m_model, -1, Services(), nullptr);
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("请选中要发送或回复的短信")});
    QCOMPARE(m_messages.shown.first().icon, IMessageBox::Critical);
}

// A reply with fields: {名字} from the phone book for the one number, shown as it will go,
// counted filled, sent and journalled filled.
void tst_ReplyDlg::personalReply()
{
    QVERIFY(m_rig->ConnectAndStart());
    QVERIFY(DbProbe(m_rig->db).Exec(QStringLiteral("INSERT INTO T_BOOK(D_NAME,D_NUMBER,D_RELATION) VALUES('张三','13900000001','')")));
    int row = -1;
    for (int r = 0; r < m_model->rowCount() && row < 0; ++r) {
        if (m_model->Row(r).m_strAction == QStringLiteral("接收"))
            row = r;
    }
    QString preview, count;
    bool stayed = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<CReplyDlg *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto *reply = dialog->findChild<QPlainTextEdit *>(QStringLiteral("editReply"));
        auto *send = dialog->findChild<QPushButton *>(QStringLiteral("buttonSend"));
        reply->setPlainText(QStringLiteral("{名字}{金额}"));
        QTest::mouseClick(send, Qt::LeftButton);
        stayed = dialog->isVisible();
        reply->setPlainText(QStringLiteral("{名字}您好, {{回复}}"));
        preview = dialog->findChild<QLabel *>(QStringLiteral("labelPreview"))->text();
        count = dialog->findChild<QLabel *>(QStringLiteral("labelCount"))->text();
        QTest::mouseClick(send, Qt::LeftButton);
        if (dialog->isVisible())
            dialog->reject();
    });
    CReplyDlg::ReplyToRow(*m_model, row, Services(), nullptr);
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("未知的字段: {金额}")});
    QVERIFY(stayed);
    const QString sent = QStringLiteral("张三您好, {回复}");
    QCOMPARE(preview, QStringLiteral("预览: ") + sent);
    QCOMPARE(count, QStringLiteral("16 (1条)"));
    QTRY_COMPARE_WITH_TIMEOUT(m_rig->sink->reports.size(), 1, 20000);
    QCOMPARE(SubmittedTexts(m_rig->sim), QStringList{sent});
    QCOMPARE(DbProbe(m_rig->db).Column(QStringLiteral("SELECT D_SENDCONT FROM T_SEND WHERE D_SENDNUM='8613900000001'")),
             QVariantList{sent});
}

// "重发失败": the failed sends of the selection go again, each phone and text once, after the
// question; a selection without one, or No, sends nothing.
void tst_ReplyDlg::resendFailed()
{
    {
        Journal j(m_rig->db);
        QVERIFY(j.Sent({QStringLiteral("2009-05-05 10:00:00"), QStringLiteral("8613900000003"), QStringLiteral("通知"), 0}) > 0);
        QVERIFY(j.Sent({QStringLiteral("2009-05-05 10:01:00"), QStringLiteral("13900000003"), QStringLiteral("通知"), 0}) > 0);
        QVERIFY(j.Sent({QStringLiteral("2009-05-05 10:02:00"), QStringLiteral("+85291234567"), QStringLiteral("Notice"), 0}) > 0);
    }
    m_model->LoadAll();
    m_model->FinishLoading();
    QVector<int> all, others;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        all.append(r);
        if (m_model->Row(r).m_strTime < QStringLiteral("2009-05-05 10"))
            others.append(r);
    }
    QCOMPARE(others.size(), 2);
    const QString smsc = QStringLiteral("8613800100500");
    QVERIFY(m_rig->ConnectAndStart());
    QCOMPARE(ResendFailed::Run(*m_model, others, smsc, *m_rig->outbox, m_messages), 0);
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("选中的记录中没有发送失败的短信")});
    m_messages.Clear();
    m_messages.answers.enqueue(IMessageBox::AnswerNo);
    QCOMPARE(ResendFailed::Run(*m_model, all, smsc, *m_rig->outbox, m_messages), 0);
    QCOMPARE(m_messages.Texts(), QStringList{QStringLiteral("重发选中的 2 条失败短信?")});
    QCOMPARE(m_rig->outbox->QueuedCount(), 0);
    m_messages.answers.enqueue(IMessageBox::AnswerYes);
    QCOMPARE(ResendFailed::Run(*m_model, all, smsc, *m_rig->outbox, m_messages), 2);
    QTRY_COMPARE_WITH_TIMEOUT(m_rig->sink->reports.size(), 2, 20000);
    QStringList texts = SubmittedTexts(m_rig->sim);
    texts.sort();
    QCOMPARE(texts, (QStringList{QStringLiteral("Notice"), QStringLiteral("通知")}));
    DbProbe probe(m_rig->db);
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_SENDNUM FROM T_SEND WHERE D_STATE=1 AND D_SENDTIME>'2010' ORDER BY D_SENDNUM")),
             (QVariantList{QStringLiteral("+85291234567"), QStringLiteral("8613900000003")}));
}

QTEST_MAIN(tst_ReplyDlg)
#include "tst_replydlg.moc"
