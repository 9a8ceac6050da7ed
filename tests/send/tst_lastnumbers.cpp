#include "db/CDbAccess.h"
#include "send/LastNumbers.h"
#include "TestEnv.h"

#include <QTemporaryDir>
#include <QTest>

class tst_LastNumbers : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void emptyTableGivesEmptyList();
    void savedListComesBackInOrder_data();
    void savedListComesBackInOrder();
    void saveReplacesTheWholeTable();
    void emptyListKeepsTheTable();
    void largeList();
    void unreachableDatabaseGivesNothing();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CDbAccess> m_db;
    QStringList m_errors;
};

void tst_LastNumbers::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const DbSettings settings = TestEnv::Sqlite(m_dir->path());
    m_db = std::make_unique<CDbAccess>([settings] { return settings; });
    m_errors.clear();
    m_db->SetErrorSink([this](const QString &text) { m_errors << text; });
}

void tst_LastNumbers::cleanup()
{
    m_db.reset();
    m_dir.reset();
}

void tst_LastNumbers::emptyTableGivesEmptyList()
{
    QString error;
    QCOMPARE(LastNumbers::LoadLastNumbers(*m_db, &error), QStringList());
    QCOMPARE(error, QString());
    QCOMPARE(m_errors, QStringList());
}

void tst_LastNumbers::savedListComesBackInOrder_data()
{
    QTest::addColumn<QStringList>("numbers");
    QTest::newRow("one entry") << QStringList{QStringLiteral("13800000000")};
    QTest::newRow("unsorted with repeats")
        << QStringList{QStringLiteral("9"), QStringLiteral("13800000000"), QStringLiteral("10086"), QStringLiteral("9")};
    QTest::newRow("as typed, unchecked")
        << QStringList{QStringLiteral("+8613800000000"), QStringLiteral("abc"), QStringLiteral("张三"), QStringLiteral("it's")};
    QStringList eleven;
    for (int i = 11; i >= 1; --i)
        eleven << QString::number(i);
    QTest::newRow("more than ten, position not sorted as text") << eleven;
}

void tst_LastNumbers::savedListComesBackInOrder()
{
    QFETCH(QStringList, numbers);
    QVERIFY(LastNumbers::SaveLastNumbers(*m_db, numbers));
    QCOMPARE(LastNumbers::LoadLastNumbers(*m_db), numbers);
    // Another connection (the next start of the program) reads the same.
    const DbSettings settings = TestEnv::Sqlite(m_dir->path());
    CDbAccess next([settings] { return settings; });
    QCOMPARE(LastNumbers::LoadLastNumbers(next), numbers);
}

void tst_LastNumbers::saveReplacesTheWholeTable()
{
    QVERIFY(LastNumbers::SaveLastNumbers(*m_db, {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    QVERIFY(LastNumbers::SaveLastNumbers(*m_db, {QStringLiteral("4")}));
    QCOMPARE(LastNumbers::LoadLastNumbers(*m_db), QStringList{QStringLiteral("4")});
}

void tst_LastNumbers::emptyListKeepsTheTable()
{
    QVERIFY(LastNumbers::SaveLastNumbers(*m_db, {QStringLiteral("1"), QStringLiteral("2")}));
    QVERIFY(LastNumbers::SaveLastNumbers(*m_db, {}));
    QCOMPARE(LastNumbers::LoadLastNumbers(*m_db), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
}

void tst_LastNumbers::largeList()
{
    QStringList numbers;
    for (int i = 0; i < 20000; ++i)
        numbers << QString::number(13800000000LL + (i * 7919) % 20000);
    QVERIFY(LastNumbers::SaveLastNumbers(*m_db, numbers));
    QCOMPARE(LastNumbers::LoadLastNumbers(*m_db), numbers);
}

void tst_LastNumbers::unreachableDatabaseGivesNothing()
{
    DbSettings settings = TestEnv::Sqlite(m_dir->path());
    settings.m_strSqliteFile = m_dir->filePath(QStringLiteral("no/such/folder/x.db"));
    CDbAccess broken([settings] { return settings; });
    QStringList sink;
    broken.SetErrorSink([&sink](const QString &text) { sink << text; });
    QString error;
    QCOMPARE(LastNumbers::LoadLastNumbers(broken, &error), QStringList());
    QVERIFY(!sink.isEmpty());           // the connection layer reported it
    QVERIFY(!LastNumbers::SaveLastNumbers(broken, {QStringLiteral("1")}));
}

QTEST_GUILESS_MAIN(tst_LastNumbers)
#include "tst_lastnumbers.moc"
