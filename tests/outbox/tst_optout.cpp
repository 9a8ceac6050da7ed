// The opt-out list on both databases: the words that put a sender on it, one phone however its
// number is written, two programs on one list, the arrival and its listing in one transaction,
// and the CSV form going out and coming back.
#include "DbTargets.h"

#include "db/CDbAccess.h"
#include "outbox/CJournal.h"
#include "outbox/OptOutList.h"
#include "outbox/OptOutWords.h"

#include <QTest>

namespace {
SmsRecord Arrival(const QString &from, const QString &text)
{
    SmsRecord r;
    r.m_strTPA = from;
    r.m_strUD = text;
    r.m_strSCTS = QStringLiteral("26120810000032");
    return r;
}

QStringList Numbers(OptOutList &list)
{
    QVector<OptOutList::Entry> entries;
    int total = 0;
    if (!list.Load(QString(), 1000, &entries, &total))
        return {QStringLiteral("failed: ") + list.Error()};
    QStringList numbers;
    for (const OptOutList::Entry &e : entries)
        numbers << e.number;
    numbers.sort();
    return numbers;
}
} // namespace

class tst_OptOut : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_targets.Init(); }
    void cleanupTestCase() { m_targets.Cleanup(); }

    void words_data();
    void words();
    void onePhoneOneEntry_data() { DbTargets::AddDialectRows(); }
    void onePhoneOneEntry();
    void arrivalListsItsSender_data() { DbTargets::AddDialectRows(); }
    void arrivalListsItsSender();
    void csvRoundTrip_data() { DbTargets::AddDialectRows(); }
    void csvRoundTrip();

private:
    DbTargets m_targets;
};

void tst_OptOut::words_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("listed");
    const QString standard = OptOutWords::kDefault;
    QTest::newRow("TD") << standard << QStringLiteral("TD") << true;
    QTest::newRow("small letters") << standard << QStringLiteral("td") << true;
    QTest::newRow("退订 with a blank") << standard << QStringLiteral("退订 ") << true;
    QTest::newRow("full-width") << standard << QStringLiteral("ＴＤ") << true;
    QTest::newRow("ideographic space, line break") << standard << QStringLiteral("\u3000Stop\n") << true;
    QTest::newRow("one letter") << standard << QStringLiteral("n") << true;
    QTest::newRow("more than the word") << standard << QStringLiteral("TD please") << false;
    QTest::newRow("a word inside") << standard << QStringLiteral("我要退订") << false;
    QTest::newRow("empty") << standard << QString() << false;
    QTest::newRow("own words, full-width comma") << QStringLiteral("取消，QX") << QStringLiteral("qx") << true;
    QTest::newRow("own words leave the others") << QStringLiteral("取消，QX") << QStringLiteral("TD") << false;
    QTest::newRow("no words") << QString() << QStringLiteral("TD") << false;
}

void tst_OptOut::words()
{
    QFETCH(QString, setting);
    QFETCH(QString, text);
    QFETCH(bool, listed);
    QCOMPARE(OptOutWords::Matches(text, OptOutWords::Parse(setting)), listed);
}

// 13900000001, 8613900000001 and +8613900000001 are one entry, seen by every program on the
// database; +85291234567 is another phone than 8685291234567.
void tst_OptOut::onePhoneOneEntry()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    CDbAccess db([s] { return s; });
    CDbAccess other([s] { return s; });
    OptOutList list(db);
    OptOutList seen(other);
    bool added = false;
    QVERIFY2(list.Add(QStringLiteral("13900000001"), OptOutList::Source::Manual, QString(), &added), qPrintable(list.Error()));
    QVERIFY(added);
    QVERIFY(list.Add(QStringLiteral("+8613900000001"), OptOutList::Source::Manual, QString(), &added));
    QVERIFY(!added);
    QVERIFY(list.Add(QStringLiteral("+85291234567"), OptOutList::Source::Manual));
    QVERIFY(!list.Add(QStringLiteral("1390000abc"), OptOutList::Source::Manual));
    QCOMPARE(list.Error(), OptOutList::InvalidNumberText());

    const QStringList send{QStringLiteral("13800000000"), QStringLiteral("8613900000001"), QStringLiteral("8685291234567"),
                           QStringLiteral("+8613900000001"), QStringLiteral("+85291234567"), QStringLiteral("13900000001")};
    QCOMPARE(seen.Listed(send), std::optional<QVector<int>>(QVector<int>{1, 3, 4, 5}));
    QVERIFY(seen.IsListed(QStringLiteral("8613900000001")));
    QCOMPARE(Numbers(seen), (QStringList{QStringLiteral("+85291234567"), QStringLiteral("13900000001")}));

    QVERIFY(seen.Delete(QStringLiteral("8613900000001")));
    QVERIFY(!list.IsListed(QStringLiteral("13900000001")));
    QCOMPARE(list.Listed(send), std::optional<QVector<int>>(QVector<int>{4}));

    QVector<OptOutList::Entry> entries;
    int total = 0;
    QVERIFY(list.Add(QStringLiteral("13900000002"), OptOutList::Source::Manual));
    QVERIFY(list.Load(QStringLiteral("852"), 10, &entries, &total));
    QCOMPARE(total, 1);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().number, QStringLiteral("+85291234567"));
    QCOMPARE(entries.first().source, OptOutList::Source::Manual);
}

// The sender of an opt-out word is listed in the transaction that journals the arrival: when
// the listing fails, the arrival is kept and neither is written until both can be.
void tst_OptOut::arrivalListsItsSender()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    CDbAccess db([s] { return s; });
    QVERIFY(db.Connect());
    DbProbe probe(s);
    CJournal journal;
    journal.Attach(&db, {});
    journal.SetRetryInterval(0);
    journal.SetOptOutWords(OptOutWords::Parse(OptOutWords::kDefault));

    QCOMPARE(journal.Received(Arrival(QStringLiteral("+8613911111111"), QStringLiteral("退订 ")), QStringLiteral("COM1"),
                              QStringLiteral("sim1"), {}, QStringLiteral("a"), 0),
             CJournal::Outcome::Written);
    QCOMPARE(journal.Received(Arrival(QStringLiteral("13922222222"), QStringLiteral("TD please")), QStringLiteral("COM1"),
                              QStringLiteral("sim1"), {}, QStringLiteral("b"), 0),
             CJournal::Outcome::Written);
    QCOMPARE(probe.Rows(QStringLiteral("SELECT D_KEY,D_NUMBER,D_SOURCE,D_TEXT FROM T_OPTOUT")),
             (QList<QVariantList>{{QStringLiteral("8613911111111"), QStringLiteral("+8613911111111"), 1, QStringLiteral("退订 ")}}));

    // The words changed while running.
    journal.SetOptOutWords(OptOutWords::Parse(QStringLiteral("取消")));
    QCOMPARE(journal.Received(Arrival(QStringLiteral("13933333333"), QStringLiteral("TD")), QStringLiteral("COM1"),
                              QStringLiteral("sim1"), {}, QStringLiteral("c"), 0),
             CJournal::Outcome::Written);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_OPTOUT")).toInt(), 1);

    // The list cannot be written: neither is the arrival, until it can.
    QVERIFY(probe.Exec(QStringLiteral("ALTER TABLE T_OPTOUT RENAME TO T_OPTOUT_AWAY")));
    QCOMPARE(journal.Received(Arrival(QStringLiteral("13944444444"), QStringLiteral("取消")), QStringLiteral("COM1"),
                              QStringLiteral("sim1"), {}, QStringLiteral("d"), 0),
             CJournal::Outcome::Kept);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_REC WHERE D_RECNUM='13944444444'")).toInt(), 0);
    QVERIFY(probe.Exec(QStringLiteral("ALTER TABLE T_OPTOUT_AWAY RENAME TO T_OPTOUT")));
    journal.Retry(1, true);
    QVERIFY(!journal.HasKept());
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_REC WHERE D_RECNUM='13944444444'")).toInt(), 1);
    QCOMPARE(probe.Value(QStringLiteral("SELECT D_TEXT FROM T_OPTOUT WHERE D_KEY='8613944444444'")).toString(),
             QStringLiteral("取消"));
    journal.Detach();
}

// What the list exports, a fresh database imports as it was: numbers, times, sources and texts
// (the texts as a spreadsheet must not run them). An import of another CSV takes its number
// column, GBK lines too, and names the lines without a number.
void tst_OptOut::csvRoundTrip()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    CDbAccess db([s] { return s; });
    OptOutList list(db);
    QVERIFY(list.Add(QStringLiteral("13900000001"), OptOutList::Source::Manual));
    QVERIFY(list.Add(QStringLiteral("+85291234567"), OptOutList::Source::Reply, QStringLiteral("=cmd|' /C calc'!A0, \"TD\"")));
    const OptOutList::Imported first = list.ImportCsv(QByteArray("号码\n13900000003\n"));
    QVERIFY(first.ok);
    QCOMPARE(first.added, 1);
    const std::optional<QByteArray> csv = list.ExportCsv();
    QVERIFY2(csv, qPrintable(list.Error()));
    QVERIFY(csv->startsWith("\xEF\xBB\xBF号码,时间,来源,内容\r\n"));
    QVERIFY(csv->contains("\"'=cmd|' /C calc'!A0, \"\"TD\"\"\""));

    // Into another database (the list of this one emptied stands for it).
    for (const QString &n : {QStringLiteral("13900000001"), QStringLiteral("+85291234567"), QStringLiteral("13900000003")})
        QVERIFY(list.Delete(n));
    const OptOutList::Imported back = list.ImportCsv(*csv);
    QVERIFY(back.ok);
    QCOMPARE(back.added, 3);
    QCOMPARE(back.refusedLines, QVector<int>());
    QCOMPARE(list.ExportCsv(), csv);

    // Another file: a column named 手机号码, a GBK line, a line without a number, a repeat.
    QByteArray other = "姓名,手机号码\r\n张三,13900000005\r\n";
    other += QByteArray("\xC0\xEE\xCB\xC4", 4) + ",13900000006\r\n"; // 李四 in GBK
    other += "王五,none\r\n赵六,8613900000005\r\n";
    const OptOutList::Imported imported = list.ImportCsv(other);
    QVERIFY(imported.ok);
    QCOMPARE(imported.added, 2);
    QCOMPARE(imported.existing, 1);
    QCOMPARE(imported.refusedLines, QVector<int>{4});
    QVector<OptOutList::Entry> entries;
    int total = 0;
    QVERIFY(list.Load(QStringLiteral("1390000000"), 10, &entries, &total));
    QCOMPARE(total, 4);
    for (const OptOutList::Entry &e : entries) {
        if (e.number == QStringLiteral("13900000006"))
            QCOMPARE(e.source, OptOutList::Source::Import);
    }
}

QTEST_GUILESS_MAIN(tst_OptOut)
#include "tst_optout.moc"
