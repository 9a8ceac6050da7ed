#include "base/NumberRules.h"
#include "send/SendRun.h"

#include <QTest>

namespace {
const QString kText = QStringLiteral("在做一个短信软件,测试短信");
const QString kSmsc = QStringLiteral("8613800591500");
const QString kEmptyEntry = QStringLiteral("请输入手机号码");
const QString kBad = QStringLiteral("手机号码不能超过24位并且不能包含非数字字符");

QStringList Texts(const SendRunPlan &plan)
{
    QStringList out;
    for (const PanelMessage &m : plan.m_messages)
        out << m.m_strText;
    return out;
}
} // namespace

class tst_SendRun : public QObject
{
    Q_OBJECT
private slots:
    void checks_data();
    void checks();
    void recordsCarryServiceCentreTextAndNoOrder();
    void refusalsAreWarningsUnderTheTitle();
    void everyEntryEmptyQueuesNothing();
    void longTextIsQueuedWhole();
    void personal_data();
    void personal();
};

void tst_SendRun::checks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("numbers"); // queued; empty with no run

    const QString n13 = QStringLiteral("8613800000000");
    QTest::newRow("empty entry reported once, three sent")
        << kText << QStringList{QStringLiteral("13800000000"), QStringLiteral("+8613800000000"), QString(), QStringLiteral("8613800000000")}
        << true << QStringList{kEmptyEntry} << QStringList{n13, n13, n13};
    QTest::newRow("bad last character stops everything")
        << kText << QStringList{QStringLiteral("13800000000"), QStringLiteral("1380000000a")} << true << QStringList{kBad}
        << QStringList();
    QTest::newRow("empty entries before a bad one are reported first")
        << kText << QStringList{QString(), QStringLiteral("13800000000"), QString(), QStringLiteral("138 0000")} << true
        << QStringList{kEmptyEntry, kEmptyEntry, kBad} << QStringList();
    QTest::newRow("25 digits refused") << kText << QStringList{QString(25, QLatin1Char('1'))} << true << QStringList{kBad}
                                       << QStringList();
    // More digits than a PDU address carries (20) pass the run's checks: the engine refuses
    // each such number alone and journals it failed, the others go.
    QTest::newRow("24 digits pass, 26 after normalising")
        << kText << QStringList{QStringLiteral("13800000000"), QString(24, QLatin1Char('1'))} << true << QStringList()
        << QStringList{n13, QStringLiteral("86") + QString(24, QLatin1Char('1'))};
    QTest::newRow("19 digits pass, 21 after normalising")
        << kText << QStringList{QStringLiteral("1") + QString(18, QLatin1Char('2'))} << true << QStringList()
        << QStringList{QStringLiteral("861") + QString(18, QLatin1Char('2'))};
    QTest::newRow("18 digits that begin with 86 pass")
        << kText << QStringList{QStringLiteral("86") + QString(16, QLatin1Char('1'))} << true << QStringList()
        << QStringList{QStringLiteral("86") + QString(16, QLatin1Char('1'))};
    QTest::newRow("20 digits after normalising pass")
        << kText << QStringList{QString(18, QLatin1Char('1'))} << true << QStringList()
        << QStringList{QStringLiteral("86") + QString(18, QLatin1Char('1'))};
    QTest::newRow("plus alone is no number") << kText << QStringList{QStringLiteral("+")} << true << QStringList{kBad}
                                             << QStringList();
    const QString lines = QStringLiteral("a\nb\n") + QString(68, QChar(0x4E2D)); // 140 bytes as sent
    QTest::newRow("140 bytes with line breaks") << lines << QStringList{QStringLiteral("10086")} << true << QStringList()
                                                << QStringList{QStringLiteral("8610086")};
    QTest::newRow("141 bytes refused") << lines + QLatin1Char('c') << QStringList{QStringLiteral("10086")} << true
                                       << QStringList{QStringLiteral("“请填入不多于140个的字符。”")} << QStringList();
    QTest::newRow("repeats are sent twice")
        << kText << QStringList{QStringLiteral("10086"), QStringLiteral("10086")} << true << QStringList()
        << QStringList{QStringLiteral("8610086"), QStringLiteral("8610086")};
    QTest::newRow("blank text is sent") << QStringLiteral("  ") << QStringList{QStringLiteral("10086")} << true << QStringList()
                                        << QStringList{QStringLiteral("8610086")};

    // The order of the checks: text, list, link, numbers.
    QTest::newRow("empty text first") << QString() << QStringList() << false << QStringList{QStringLiteral("短信内容不能为空")}
                                      << QStringList();
    QTest::newRow("empty list before the link") << kText << QStringList() << false << QStringList{QStringLiteral("请导入号码!")}
                                                << QStringList();
    QTest::newRow("link before the numbers")
        << kText << QStringList{QString(), QStringLiteral("abc")} << false << QStringList{QStringLiteral("还未连接猫\n请连接猫")}
        << QStringList();
}

void tst_SendRun::checks()
{
    QFETCH(QString, text);
    QFETCH(QStringList, entries);
    QFETCH(bool, open);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, numbers);

    const SendRunPlan plan = SendRun::Plan(text, entries, open, kSmsc);
    QCOMPARE(Texts(plan), messages);
    QCOMPARE(plan.m_bQueue, !numbers.isEmpty());
    QCOMPARE(plan.m_numbers, numbers);
    QCOMPARE(plan.m_records.size(), numbers.size());
    for (qsizetype i = 0; i < numbers.size(); ++i)
        QCOMPARE(plan.m_records.at(i).m_strTPA, numbers.at(i));
}

void tst_SendRun::recordsCarryServiceCentreTextAndNoOrder()
{
    const SendRunPlan plan = SendRun::Plan(kText, {QStringLiteral("13800000000"), QStringLiteral("+8613900000000")}, true,
                                           QStringLiteral("8613800200500"));
    QVERIFY(plan.m_bQueue);
    QCOMPARE(plan.m_records.size(), 2);
    for (const SmsRecord &r : plan.m_records) {
        QCOMPARE(r.m_strSCA, QStringLiteral("8613800200500"));
        QCOMPARE(r.m_strUD, kText);
        QCOMPARE(r.m_nID, -1);
    }
    QCOMPARE(plan.m_records.at(0).m_strTPA, QStringLiteral("8613800000000"));
    QCOMPARE(plan.m_records.at(1).m_strTPA, QStringLiteral("8613900000000"));
}

void tst_SendRun::refusalsAreWarningsUnderTheTitle()
{
    const QList<PanelMessage> all{SendRun::EmptyText(), SendRun::EmptyList(), SendRun::NotConnected(), SendRun::BadNumber()};
    for (const PanelMessage &m : all) {
        QCOMPARE(m.m_icon, IMessageBox::Warning);
        QCOMPARE(m.m_strCaption, QString());
        QCOMPARE(m.m_buttons, IMessageBox::Ok);
    }
}

void tst_SendRun::everyEntryEmptyQueuesNothing()
{
    const SendRunPlan plan = SendRun::Plan(kText, {QString(), QString()}, true, kSmsc);
    QCOMPARE(Texts(plan), (QStringList{kEmptyEntry, kEmptyEntry}));
    QVERIFY(plan.m_bQueue); // the bar is still set, to a run of none
    QVERIFY(plan.m_records.isEmpty());
}

void tst_SendRun::longTextIsQueuedWhole()
{
    // More than 70 characters goes out as one concatenated message; the engine splits it.
    const QString text(140, QLatin1Char('a'));
    const SendRunPlan plan = SendRun::Plan(text, {QStringLiteral("10086")}, true, kSmsc);
    QVERIFY(plan.m_messages.isEmpty());
    QCOMPARE(plan.m_records.size(), 1);
    QCOMPARE(plan.m_records.at(0).m_strUD, text);
}

void tst_SendRun::personal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<bool>("bookReadable");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("texts"); // queued, in order
    QTest::addColumn<QList<int>>("dcs");
    QTest::addColumn<int>("empty");

    const QStringList two{QStringLiteral("13800000001"), QStringLiteral("13800000002")};
    QTest::newRow("7-bit or UCS2 by each filled text")
        << QStringLiteral("Dear {名字}") << two << true << QStringList()
        << QStringList{QStringLiteral("Dear Zhang"), QStringLiteral("Dear 李四")} << QList<int>{0, 8} << 0;
    QTest::newRow("a column of the CSV file, a number typed by hand has it empty")
        << QStringLiteral("{名字}:{金额}元") << QStringList{QStringLiteral("13800000001"), QStringLiteral("13800000003")} << true
        << QStringList() << QStringList{QStringLiteral("Zhang:12.50元"), QStringLiteral(":元")} << QList<int>{8, 8} << 1;
    QTest::newRow("braces written doubled") << QStringLiteral("{{x}}") << two << true << QStringList()
                                            << QStringList{QStringLiteral("{x}"), QStringLiteral("{x}")} << QList<int>{0, 0}
                                            << 0;
    QTest::newRow("an unknown field is refused, nothing queued")
        << QStringLiteral("{名字} {日期}") << two << true << QStringList{QStringLiteral("未知的字段: {日期}")} << QStringList()
        << QList<int>() << 0;
    QTest::newRow("the unknown field before the list's checks")
        << QStringLiteral("{日期}") << QStringList() << true << QStringList{QStringLiteral("未知的字段: {日期}")}
        << QStringList() << QList<int>() << 0;
    const QString near = QString(68, QChar(0x4E2D)); // 136 bytes
    QTest::newRow("a filled text over 140 bytes stops the run")
        << near + QStringLiteral("{名字}") << QStringList{QStringLiteral("13800000002"), QStringLiteral("13800000004")} << true
        << QStringList{QStringLiteral("1 条短信超过140字节, 例如: %1欧阳大\n(8613800000004, 142字节)").arg(near)} << QStringList()
        << QList<int>() << 0;
    QTest::newRow("the template over 140 bytes, every filled text within")
        << QString(69, QChar(0x4E2D)) + QStringLiteral("{关系}") << two << true
        << QStringList() << QStringList{QString(69, QChar(0x4E2D)), QString(69, QChar(0x4E2D))} << QList<int>{8, 8} << 2;
    QTest::newRow("the phone book cannot be read: nothing queued")
        << QStringLiteral("{名字}") << two << false << QStringList{QStringLiteral("读取电话本失败, 没有发送\ndatabase is locked")}
        << QStringList() << QList<int>() << 0;
    QTest::newRow("a text without the phone book's fields does not read it")
        << QStringLiteral("{号码}") << two << false << QStringList() << two << QList<int>{0, 0} << 0;
}

void tst_SendRun::personal()
{
    QFETCH(QString, text);
    QFETCH(QStringList, entries);
    QFETCH(bool, bookReadable);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, dcs);
    QFETCH(int, empty);

    RecipientFields fields;
    fields.Add(QStringLiteral("8613800000001"), {QStringLiteral("号码"), QStringLiteral("金额")},
               {QStringLiteral("13800000001"), QStringLiteral("12.50")});
    int reads = 0;
    const SendRun::BookReader book = [&](BookIndex *index, QString *error) {
        ++reads;
        if (!bookReadable) {
            *error = QStringLiteral("database is locked");
            return false;
        }
        PersonalTexts::AddToBook(*index, QStringLiteral("13800000001"), QStringLiteral("Zhang"), QString());
        PersonalTexts::AddToBook(*index, QStringLiteral("13800000002"), QStringLiteral("李四"), QString());
        PersonalTexts::AddToBook(*index, QStringLiteral("13800000004"), QStringLiteral("欧阳大"), QString());
        return true;
    };
    const SendRunPlan plan = SendRun::Plan(text, entries, true, kSmsc, fields, book);
    QCOMPARE(Texts(plan), messages);
    QCOMPARE(plan.m_bQueue, !texts.isEmpty());
    QStringList queued;
    QList<int> codings;
    for (const SmsRecord &r : plan.m_records) {
        queued << r.m_strUD;
        codings << r.m_nDCS;
        QCOMPARE(r.m_nID, -1);
    }
    QCOMPARE(queued, texts);
    QCOMPARE(codings, dcs);
    QCOMPARE(plan.m_nEmptyField, empty);
    QVERIFY(reads <= 1);
}

QTEST_GUILESS_MAIN(tst_SendRun)
#include "tst_sendrun.moc"
