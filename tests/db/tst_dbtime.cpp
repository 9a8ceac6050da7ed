#include "db/DbTime.h"

#include <QTest>

class tst_DbTime : public QObject
{
    Q_OBJECT
private slots:
    void canonical_data();
    void canonical();
    void minuteRange_data();
    void minuteRange();
    void format();
};

void tst_DbTime::canonical_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("canonical");
    QTest::newRow("order form without zeros") << QStringLiteral("2009-5-5 9:5") << QStringLiteral("2009-05-05 09:05:00");
    QTest::newRow("already canonical") << QStringLiteral("2009-05-05 09:05:00") << QStringLiteral("2009-05-05 09:05:00");
    QTest::newRow("seconds without zeros") << QStringLiteral("2009-5-5 9:5:7") << QStringLiteral("2009-05-05 09:05:07");
    QTest::newRow("slashes") << QStringLiteral("2009/5/5 9:05:07") << QStringLiteral("2009-05-05 09:05:07");
    QTest::newRow("iso T") << QStringLiteral("2009-05-05T09:05") << QStringLiteral("2009-05-05 09:05:00");
    QTest::newRow("fraction dropped") << QStringLiteral("2009-05-05 09:05:07.250") << QStringLiteral("2009-05-05 09:05:07");
    QTest::newRow("date alone") << QStringLiteral("2009-5-5") << QStringLiteral("2009-05-05 00:00:00");
    QTest::newRow("blanks around") << QStringLiteral("  2009-12-31 23:59 ") << QStringLiteral("2009-12-31 23:59:00");
    QTest::newRow("leap day") << QStringLiteral("2012-2-29 0:0") << QStringLiteral("2012-02-29 00:00:00");
    QTest::newRow("no leap day") << QStringLiteral("2011-2-29 0:0") << QString();
    QTest::newRow("month 13") << QStringLiteral("2009-13-1 0:0") << QString();
    QTest::newRow("hour 24") << QStringLiteral("2009-1-1 24:0") << QString();
    QTest::newRow("minute 60") << QStringLiteral("2009-1-1 9:60") << QString();
    QTest::newRow("two-digit year") << QStringLiteral("09-5-5 9:5") << QString();
    QTest::newRow("words") << QStringLiteral("tomorrow") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("trailing text") << QStringLiteral("2009-5-5 9:5 x") << QString();
}

void tst_DbTime::canonical()
{
    QFETCH(QString, text);
    QFETCH(QString, canonical);
    QCOMPARE(DbTime::Canonical(text), canonical);
    if (!canonical.isEmpty())
        QCOMPARE(DbTime::Canonical(canonical), canonical);
}

void tst_DbTime::minuteRange_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::newRow("inside a minute") << QDateTime(QDate(2009, 5, 5), QTime(9, 5, 37, 500))
                                     << QStringLiteral("2009-05-05 09:05:00") << QStringLiteral("2009-05-05 09:06:00");
    QTest::newRow("at its start") << QDateTime(QDate(2009, 5, 5), QTime(9, 5)) << QStringLiteral("2009-05-05 09:05:00")
                                  << QStringLiteral("2009-05-05 09:06:00");
    QTest::newRow("end of an hour") << QDateTime(QDate(2009, 5, 5), QTime(9, 59, 59)) << QStringLiteral("2009-05-05 09:59:00")
                                    << QStringLiteral("2009-05-05 10:00:00");
    QTest::newRow("end of a year") << QDateTime(QDate(2009, 12, 31), QTime(23, 59, 1)) << QStringLiteral("2009-12-31 23:59:00")
                                   << QStringLiteral("2010-01-01 00:00:00");
}

void tst_DbTime::minuteRange()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, from);
    QFETCH(QString, to);
    const auto range = DbTime::MinuteRange(time);
    QCOMPARE(range.first, from);
    QCOMPARE(range.second, to);
}

void tst_DbTime::format()
{
    QCOMPARE(DbTime::Format(QDateTime(QDate(2009, 1, 3), QTime(21, 0, 0))), QStringLiteral("2009-01-03 21:00:00"));
    QCOMPARE(DbTime::Canonical(DbTime::Now()), DbTime::Now().size() == 19 ? DbTime::Canonical(DbTime::Now()) : QString());
    QCOMPARE(DbTime::Now().size(), 19);
}

QTEST_GUILESS_MAIN(tst_DbTime)
#include "tst_dbtime.moc"
