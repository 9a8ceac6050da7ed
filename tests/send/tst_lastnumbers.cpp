#include "DbTargets.h"
#include "TestEnv.h"
#include "db/CDbAccess.h"
#include "send/LastNumbers.h"

#include <QTemporaryDir>
#include <QTest>

class tst_LastNumbers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void emptyTableGivesEmptyList_data() { DbTargets::AddDialectRows(); }
    void emptyTableGivesEmptyList();
    void savedListComesBackInOrder_data();
    void savedListComesBackInOrder();
    void saveReplacesTheWholeTable_data() { DbTargets::AddDialectRows(); }
    void saveReplacesTheWholeTable();
    void emptyListKeepsTheTable_data() { DbTargets::AddDialectRows(); }
    void emptyListKeepsTheTable();
    void largeList_data() { DbTargets::AddDialectRows(); }
    void largeList();
    void unreachableDatabaseGivesNothing();

private:
    DbTargets m_targets;
};

void tst_LastNumbers::initTestCase()
{
    m_targets.Init();
}

void tst_LastNumbers::cleanupTestCase()
{
    m_targets.Cleanup();
}

void tst_LastNumbers::emptyTableGivesEmptyList()
{
    SKEVO_FRESH_DB(m_targets, settings);
    CDbAccess db([s = *settings] { return s; });
    QStringList errors;
    db.SetErrorSink([&errors](const QString &text) { errors << text; });
    QString error;
    QCOMPARE(LastNumbers::LoadLastNumbers(db, &error), QStringList());
    QCOMPARE(error, QString());
    QCOMPARE(errors, QStringList());
}

void tst_LastNumbers::savedListComesBackInOrder_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QStringList>("numbers");
    QStringList eleven;
    for (int i = 11; i >= 1; --i)
        eleven << QString::number(i);
    for (int dialect : {int(DbSettings::Sqlite), int(DbSettings::Postgres)}) {
        const char *db = dialect == DbSettings::Sqlite ? "sqlite" : "postgres";
        QTest::addRow("%s: one entry", db) << dialect << QStringList{QStringLiteral("13800000000")};
        QTest::addRow("%s: unsorted with repeats", db)
            << dialect << QStringList{QStringLiteral("9"), QStringLiteral("13800000000"), QStringLiteral("10086"), QStringLiteral("9")};
        QTest::addRow("%s: as typed, unchecked", db)
            << dialect
            << QStringList{QStringLiteral("+8613800000000"), QStringLiteral("abc"), QStringLiteral("张三"), QStringLiteral("it's"), QString()};
        QTest::addRow("%s: more than ten, positions not sorted as text", db) << dialect << eleven;
    }
}

void tst_LastNumbers::savedListComesBackInOrder()
{
    QFETCH(QStringList, numbers);
    SKEVO_FRESH_DB(m_targets, settings);
    CDbAccess db([s = *settings] { return s; });
    QVERIFY(LastNumbers::SaveLastNumbers(db, numbers));
    QCOMPARE(LastNumbers::LoadLastNumbers(db), numbers);
    // Another connection (the next start of the program) reads the same.
    CDbAccess next([s = *settings] { return s; });
    QCOMPARE(LastNumbers::LoadLastNumbers(next), numbers);
}

void tst_LastNumbers::saveReplacesTheWholeTable()
{
    SKEVO_FRESH_DB(m_targets, settings);
    CDbAccess db([s = *settings] { return s; });
    QVERIFY(LastNumbers::SaveLastNumbers(db, {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    QVERIFY(LastNumbers::SaveLastNumbers(db, {QStringLiteral("4")}));
    QCOMPARE(LastNumbers::LoadLastNumbers(db), QStringList{QStringLiteral("4")});
    DbProbe probe(*settings);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_LASTNO")).toInt(), 1);
}

void tst_LastNumbers::emptyListKeepsTheTable()
{
    SKEVO_FRESH_DB(m_targets, settings);
    CDbAccess db([s = *settings] { return s; });
    QVERIFY(LastNumbers::SaveLastNumbers(db, {QStringLiteral("1"), QStringLiteral("2")}));
    QVERIFY(LastNumbers::SaveLastNumbers(db, {}));
    QCOMPARE(LastNumbers::LoadLastNumbers(db), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
}

void tst_LastNumbers::largeList()
{
    SKEVO_FRESH_DB(m_targets, settings);
    CDbAccess db([s = *settings] { return s; });
    QStringList numbers;
    for (int i = 0; i < 20000; ++i)
        numbers << QString::number(13800000000LL + (i * 7919) % 20000);
    QVERIFY(LastNumbers::SaveLastNumbers(db, numbers));
    QCOMPARE(LastNumbers::LoadLastNumbers(db), numbers);
}

void tst_LastNumbers::unreachableDatabaseGivesNothing()
{
    QTemporaryDir dir;
    DbSettings settings = TestEnv::Sqlite(dir.path());
    settings.m_strSqliteFile = dir.filePath(QStringLiteral("no/such/folder/x.db"));
    CDbAccess broken([settings] { return settings; });
    QStringList sink;
    broken.SetErrorSink([&sink](const QString &text) { sink << text; });
    QString error;
    QCOMPARE(LastNumbers::LoadLastNumbers(broken, &error), QStringList());
    QVERIFY(!sink.isEmpty()); // the connection layer reported it
    QVERIFY(!LastNumbers::SaveLastNumbers(broken, {QStringLiteral("1")}));
}

QTEST_GUILESS_MAIN(tst_LastNumbers)
#include "tst_lastnumbers.moc"
