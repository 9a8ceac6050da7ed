// The rules that keep a SIM alive: the quiet hours' window (also past midnight), the windows of
// the limits and when a full one rolls, the pause's bounds. The keys of setting.ini are tested
// through 设备管理 (tst_devicedlg).
#include "base/SimRules.h"

#include <QTest>

class tst_SimRules : public QObject
{
    Q_OBJECT
private slots:
    void quiet_data();
    void quiet();
    void judge_data();
    void judge();
    void pauseWithinBounds();
};

void tst_SimRules::quiet_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("now");
    QTest::addColumn<QString>("ends"); // "" not quiet
    QTest::newRow("past midnight, evening") << "21:00" << "08:00" << "22:30" << "2026-03-03 08:00";
    QTest::newRow("past midnight, morning") << "21:00" << "08:00" << "07:59" << "2026-03-02 08:00";
    QTest::newRow("past midnight, day") << "21:00" << "08:00" << "08:00" << "";
    QTest::newRow("same day") << "12:00" << "14:00" << "12:00" << "2026-03-02 14:00";
    QTest::newRow("same day, after") << "12:00" << "14:00" << "14:00" << "";
    QTest::newRow("none") << "" << "" << "22:00" << "";
}

void tst_SimRules::quiet()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, now);
    QFETCH(QString, ends);
    SimRules r;
    r.quietFrom = SimRules::TimeOfDay(from);
    r.quietTo = SimRules::TimeOfDay(to);
    const QDateTime at(QDate(2026, 3, 2), QTime::fromString(now, QStringLiteral("HH:mm")));
    QCOMPARE(r.IsQuiet(at), !ends.isEmpty());
    if (!ends.isEmpty())
        QCOMPARE(r.QuietEnds(at).toString(QStringLiteral("yyyy-MM-dd HH:mm")), ends);
}

void tst_SimRules::judge_data()
{
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("parts");
    QTest::addColumn<QString>("roomAt"); // "" room now
    // Limits: 10 an hour, 100 a day, 1000 a month; now 2026-03-31 23:20.
    QTest::newRow("room") << 9 << 50 << 500 << 1 << "";
    QTest::newRow("the hour full") << 10 << 50 << 500 << 1 << "2026-04-01 00:00";
    QTest::newRow("two parts do not fit in the hour's last one") << 9 << 50 << 500 << 2 << "2026-04-01 00:00";
    QTest::newRow("the day full") << 5 << 100 << 500 << 1 << "2026-04-01 00:00";
    QTest::newRow("the month full: the longest window decides") << 10 << 100 << 1000 << 1 << "2026-04-01 00:00";
}

void tst_SimRules::judge()
{
    QFETCH(int, hour);
    QFETCH(int, day);
    QFETCH(int, month);
    QFETCH(int, parts);
    QFETCH(QString, roomAt);
    SimCount c;
    c.rules.limitHour = 10;
    c.rules.limitDay = 100;
    c.rules.limitMonth = 1000;
    c.hour = hour;
    c.day = day;
    c.month = month;
    c.Judge(QDateTime(QDate(2026, 3, 31), QTime(23, 20)), parts);
    QCOMPARE(c.full, !roomAt.isEmpty());
    QCOMPARE(c.roomAt.toString(QStringLiteral("yyyy-MM-dd HH:mm")), roomAt);

    // A message longer than a whole window goes alone in an empty one.
    SimCount empty;
    empty.rules.limitHour = 2;
    empty.Judge(QDateTime(QDate(2026, 3, 2), QTime(10, 0)), 3);
    QVERIFY(!empty.full);
}

void tst_SimRules::pauseWithinBounds()
{
    SimRules r;
    QCOMPARE(r.PauseMs(), 0);
    r.intervalMin = 3;
    r.intervalMax = 5;
    for (int i = 0; i < 200; ++i) {
        const qint64 ms = r.PauseMs();
        QVERIFY(ms >= 3000 && ms <= 5000);
    }
}

QTEST_APPLESS_MAIN(tst_SimRules)
#include "tst_simrules.moc"
