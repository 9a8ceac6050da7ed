#include "sms/ConcatAssembler.h"

#include <QtTest>

namespace {

SmsRecord Part(const QString &from, const QString &text, const QString &scts)
{
    SmsRecord r;
    r.m_strTPA = from;
    r.m_strUD = text;
    r.m_strSCTS = scts;
    r.m_nDCS = 8;
    return r;
}

} // namespace

class TestConcatAssembler : public QObject
{
    Q_OBJECT
private slots:
    void orders_data();
    void orders();
    void keepsMessagesApart();
    void repeatedPartIsDeletedToo();
    void givesUpAfterMaxAge();
    void forgetsAnIndex();
};

void TestConcatAssembler::orders_data()
{
    QTest::addColumn<QList<int>>("arrival"); // part numbers in the order they come
    QTest::newRow("in order") << QList<int>{1, 2, 3};
    QTest::newRow("reversed") << QList<int>{3, 2, 1};
    QTest::newRow("first last") << QList<int>{2, 3, 1};
}

void TestConcatAssembler::orders()
{
    QFETCH(QList<int>, arrival);
    const QStringList texts{QStringLiteral("第一段,"), QStringLiteral("second 'part', "), QStringLiteral("end")};
    const QStringList stamps{QStringLiteral("90103012000023"), QStringLiteral("90103012000123"),
                             QStringLiteral("90103012000223")};
    ConcatAssembler a;
    std::optional<ConcatAssembler::Whole> whole;
    for (qsizetype i = 0; i < arrival.size(); ++i) {
        const int part = arrival[i];
        QVERIFY(!whole);
        whole = a.Add(7, part, 3, Part(QStringLiteral("8613800000001"), texts[part - 1], stamps[part - 1]), 10 + part,
                      1000 + i);
        if (i + 1 < arrival.size()) {
            QVERIFY(!whole);
            QCOMPARE(a.PendingCount(), 1);
            QVERIFY(a.HoldsIndex(10 + part));
        }
    }
    QVERIFY(whole);
    QCOMPARE(whole->record.m_strUD, texts.join(QString()));
    QCOMPARE(whole->record.m_strSCTS, stamps[0]); // the time of the first part
    QCOMPARE(whole->record.m_strTPA, QStringLiteral("8613800000001"));
    QVERIFY(whole->complete);
    QList<int> indexes(whole->indexes.begin(), whole->indexes.end());
    std::sort(indexes.begin(), indexes.end());
    QCOMPARE(indexes, (QList<int>{11, 12, 13}));
    QCOMPARE(a.PendingCount(), 0);
}

void TestConcatAssembler::keepsMessagesApart()
{
    ConcatAssembler a;
    const QString scts = QStringLiteral("90103012000023");
    // Same reference from two senders, and two references from one sender.
    QVERIFY(!a.Add(1, 1, 2, Part(QStringLiteral("111"), QStringLiteral("A1"), scts), 1, 0));
    QVERIFY(!a.Add(1, 2, 2, Part(QStringLiteral("222"), QStringLiteral("B2"), scts), 2, 0));
    QVERIFY(!a.Add(2, 1, 2, Part(QStringLiteral("111"), QStringLiteral("C1"), scts), 3, 0));
    QCOMPARE(a.PendingCount(), 3);
    auto w = a.Add(1, 2, 2, Part(QStringLiteral("111"), QStringLiteral("A2"), scts), 4, 0);
    QVERIFY(w);
    QCOMPARE(w->record.m_strUD, QStringLiteral("A1A2"));
    w = a.Add(1, 1, 2, Part(QStringLiteral("222"), QStringLiteral("B1"), scts), 5, 0);
    QVERIFY(w);
    QCOMPARE(w->record.m_strUD, QStringLiteral("B1B2"));
    QCOMPARE(a.PendingCount(), 1);
}

void TestConcatAssembler::repeatedPartIsDeletedToo()
{
    ConcatAssembler a;
    const QString scts = QStringLiteral("90103012000023");
    QVERIFY(!a.Add(9, 1, 2, Part(QStringLiteral("1"), QStringLiteral("x"), scts), 1, 0));
    QVERIFY(!a.Add(9, 1, 2, Part(QStringLiteral("1"), QStringLiteral("x"), scts), 2, 0));
    const auto w = a.Add(9, 2, 2, Part(QStringLiteral("1"), QStringLiteral("y"), scts), 3, 0);
    QVERIFY(w);
    QCOMPARE(w->record.m_strUD, QStringLiteral("xy"));
    QCOMPARE(w->indexes.size(), 3);
}

void TestConcatAssembler::givesUpAfterMaxAge()
{
    ConcatAssembler a;
    const QString scts = QStringLiteral("90103012000023");
    QVERIFY(!a.Add(5, 1, 3, Part(QStringLiteral("1"), QStringLiteral("a"), scts), 1, 1000));
    QVERIFY(!a.Add(5, 3, 3, Part(QStringLiteral("1"), QStringLiteral("c"), scts), 2, 1500));
    QVERIFY(a.TakeExpired(1999, 1000).isEmpty());
    const QVector<ConcatAssembler::Whole> expired = a.TakeExpired(2000, 1000);
    QCOMPARE(expired.size(), 1);
    QCOMPARE(expired[0].record.m_strUD, QStringLiteral("ac"));
    QVERIFY(!expired[0].complete);
    QCOMPARE(expired[0].indexes.size(), 2);
    QCOMPARE(a.PendingCount(), 0);
}

void TestConcatAssembler::forgetsAnIndex()
{
    ConcatAssembler a;
    QVERIFY(!a.Add(5, 1, 2, Part(QStringLiteral("1"), QStringLiteral("a"), QString()), 4, 0));
    QVERIFY(a.HoldsIndex(4));
    a.ForgetIndex(4);
    QVERIFY(!a.HoldsIndex(4));
    const auto w = a.Add(5, 2, 2, Part(QStringLiteral("1"), QStringLiteral("b"), QString()), 6, 0);
    QVERIFY(w);
    QCOMPARE(w->record.m_strUD, QStringLiteral("ab"));
    QCOMPARE(w->indexes, QVector<int>{6});
}

QTEST_GUILESS_MAIN(TestConcatAssembler)
#include "tst_concatassembler.moc"
