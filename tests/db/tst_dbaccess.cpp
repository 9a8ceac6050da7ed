#include "DbTargets.h"
#include "base/CSettingsFile.h"
#include "db/CDbAccess.h"
#include "db/DbTime.h"
#include "db/Schema.h"
#include "base/PasswordHash.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <limits>
#include <thread>

namespace {

constexpr qint64 kMax = std::numeric_limits<qint64>::max();
const QString kLatest = QStringLiteral("9999-12-31 23:59:59"); // after every record, for the walk by time

// What the layer would have shown, in order.
struct Messages
{
    QStringList m_texts;
    CDbAccess::ErrorSink Sink()
    {
        return [this](const QString &text) { m_texts.append(text); };
    }
};

// The access object under test on fixed settings; what it would have shown goes to m.
class FixedDb : public CDbAccess
{
public:
    explicit FixedDb(const DbSettings &s, Messages *m = nullptr) : CDbAccess([s] { return s; })
    {
        if (m)
            SetErrorSink(m->Sink());
    }
};

QList<QStringList> ReadAll(const RecordsetPtr &rs, const QStringList &columns)
{
    QList<QStringList> rows;
    while (!rs->IsEOF()) {
        QStringList row;
        for (const QString &c : columns)
            row << rs->GetFieldText(c);
        rows << row;
        rs->MoveNext();
    }
    return rows;
}

// Whether read raises a failure the operator can read: a sentence saying reading the
// database failed, then the cause.
bool IsReadFailure(const std::function<void()> &read)
{
    try {
        read();
    } catch (const CDbError &e) {
        return e.Description() == QStringLiteral("读取数据库出错: ") + e.Cause() && !e.Cause().isEmpty();
    }
    return false;
}

QString Error(const std::function<void()> &read)
{
    try {
        read();
    } catch (const CDbError &e) {
        return e.Description().isEmpty() ? QStringLiteral("(empty description)") : e.Description();
    }
    return QString();
}

QVariantList SendRow(const QString &time, const QString &number, const QString &text, int state = 1, int id = -1)
{
    return {id, time, state, number, text, QString()};
}

} // namespace

class tst_DbAccess : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void defaultsWithoutSettingsFile();
    void settingValuesAreUsedWhole_data() { DbTargets::AddDialectRows(); }
    void settingValuesAreUsedWhole();
    void connectsLazilyOnFirstStatement_data() { DbTargets::AddDialectRows(); }
    void connectsLazilyOnFirstStatement();
    void executeOnNewInstanceConnectsFirst_data() { DbTargets::AddDialectRows(); }
    void executeOnNewInstanceConnectsFirst();
    void failedConnectIsRetriedAtNextStatement_data() { DbTargets::AddDialectRows(); }
    void failedConnectIsRetriedAtNextStatement();
    void lostServerConnectionIsReopened();
    void connectionLostInsideTransaction();
    void failureTexts_data() { DbTargets::AddDialectRows(); }
    void failureTexts();
    void failureTextsAreKeptForTheCaller_data() { DbTargets::AddDialectRows(); }
    void failureTextsAreKeptForTheCaller();
    void recordsetReadErrors_data() { DbTargets::AddDialectRows(); }
    void recordsetReadErrors();
    void keptRecordsetStaysReadable_data() { DbTargets::AddDialectRows(); }
    void keptRecordsetStaysReadable();
    void writingWhileReadingBesideAnotherWriter_data() { DbTargets::AddDialectRows(); }
    void writingWhileReadingBesideAnotherWriter();
    void schemaIsCreatedOnceWithOneFirstAdmin_data() { DbTargets::AddDialectRows(); }
    void schemaIsCreatedOnceWithOneFirstAdmin();
    void firstAdminOnlyInEmptyUserTable_data() { DbTargets::AddDialectRows(); }
    void firstAdminOnlyInEmptyUserTable();
    void textsAreStoredIntact_data();
    void textsAreStoredIntact();
    void dateTimesReadBackCanonical_data();
    void dateTimesReadBackCanonical();
    void insertReturnsIncreasingKeys_data() { DbTargets::AddDialectRows(); }
    void insertReturnsIncreasingKeys();
    void transactionRollsBack_data() { DbTargets::AddDialectRows(); }
    void transactionRollsBack();
    void lastNumbersKeepTheirOrder_data() { DbTargets::AddDialectRows(); }
    void lastNumbersKeepTheirOrder();
    void identicalRecordsAreTwoRows_data() { DbTargets::AddDialectRows(); }
    void identicalRecordsAreTwoRows();
    void deleteByKeyRemovesExactlyOne_data() { DbTargets::AddDialectRows(); }
    void deleteByKeyRemovesExactlyOne();
    void nullTextIsStoredEmpty_data() { DbTargets::AddDialectRows(); }
    void nullTextIsStoredEmpty();
    void instanceUsedFromAnotherThread_data() { DbTargets::AddDialectRows(); }
    void instanceUsedFromAnotherThread();
    void twoThreadsWriteAtOnce_data() { DbTargets::AddDialectRows(); }
    void twoThreadsWriteAtOnce();
    void driverNames();

private:
    DbTargets m_targets;
};

void tst_DbAccess::initTestCase()
{
    m_targets.Init();
}

void tst_DbAccess::init()
{
    // Qt's complaints about a connection used by a thread it does not belong to, or removed
    // while something still uses it.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("does not belong to the calling thread")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("still in use")));
}

void tst_DbAccess::cleanupTestCase()
{
    m_targets.Cleanup();
}

void tst_DbAccess::defaultsWithoutSettingsFile()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("setting.ini"));
    const DbSettings s = DbSettings::Read(CSettingsFile(ini));
    QCOMPARE(s.m_driver, DbSettings::Sqlite);
    QCOMPARE(s.m_strHost, QStringLiteral("127.0.0.1"));
    QCOMPARE(s.m_nPort, 5432);
    QCOMPARE(s.m_strUser, QStringLiteral("sa"));
    QCOMPARE(s.m_strPsw, QStringLiteral("749"));
    QCOMPARE(s.m_strData, QStringLiteral("MYSKEVO"));
    QCOMPARE(s.m_strSqliteFile, QDir(dir.path()).absoluteFilePath(QStringLiteral("MYSKEVO.db")));

    // The embedded database is made beside setting.ini on first use, tables and all.
    CDbAccess::ForgetSchemaChecks();
    Messages m;
    CDbAccess db([ini] { return DbSettings::Read(CSettingsFile(ini)); });
    db.SetErrorSink(m.Sink());
    const RecordsetPtr rs = db.OpenRecordset(Sql::UserCount);
    QCOMPARE(rs->GetFieldText(QStringLiteral("NUM")), QStringLiteral("1"));
    QVERIFY(QFile::exists(s.m_strSqliteFile));
    QCOMPARE(m.m_texts, QStringList());
}

void tst_DbAccess::settingValuesAreUsedWhole()
{
    SKEVO_FRESH_DB(m_targets, target);
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("setting.ini"));
    CSettingsFile file(ini);
    const QString sql = QStringLiteral("SQL");
    DbSettings expected = *target;
    if (dialect == DbSettings::Sqlite) {
        // A database name far over 19 bytes, in a folder of its own beside setting.ini.
        expected.m_strData = QStringLiteral("a_database_name_well_over_nineteen_bytes");
        QVERIFY(file.WriteString(sql, QStringLiteral("Driver"), QStringLiteral("sqlite")));
        QVERIFY(file.WriteString(sql, QStringLiteral("Data"), expected.m_strData));
        expected.m_strSqliteFile = QDir(dir.path()).absoluteFilePath(expected.m_strData + QStringLiteral(".db"));
    } else {
        // The server's socket folder reached through a path far over 19 bytes.
        expected.m_strHost = dir.filePath(QStringLiteral("a-socket-folder-under-a-long-name"));
        QVERIFY(QFile::link(target->m_strHost, expected.m_strHost));
        QVERIFY(file.WriteString(sql, QStringLiteral("Driver"), QStringLiteral("postgres")));
        QVERIFY(file.WriteString(sql, QStringLiteral("Host"), expected.m_strHost));
        QVERIFY(file.WriteString(sql, QStringLiteral("Port"), QString::number(target->m_nPort)));
        QVERIFY(file.WriteString(sql, QStringLiteral("User"), target->m_strUser));
        QVERIFY(file.WriteString(sql, QStringLiteral("Psw"), target->m_strPsw));
        QVERIFY(file.WriteString(sql, QStringLiteral("Data"), target->m_strData));
    }
    const DbSettings read = DbSettings::Read(file);
    QCOMPARE(read.m_driver, expected.m_driver);
    QCOMPARE(read.m_strData, expected.m_strData);
    if (dialect == DbSettings::Sqlite)
        QCOMPARE(read.m_strSqliteFile, expected.m_strSqliteFile);
    else
        QCOMPARE(read.m_strHost, expected.m_strHost);

    Messages m;
    CDbAccess db([ini] { return DbSettings::Read(CSettingsFile(ini)); });
    db.SetErrorSink(m.Sink());
    QVERIFY2(db.Connect(), qPrintable(m.m_texts.join(QLatin1Char('\n'))));
    QCOMPARE(db.Dialect(), expected.m_driver);
    if (dialect == DbSettings::Sqlite)
        QVERIFY(QFile::exists(expected.m_strSqliteFile));
}

void tst_DbAccess::connectsLazilyOnFirstStatement()
{
    SKEVO_FRESH_DB(m_targets, target);
    int reads = 0;
    const DbSettings s = *target;
    CDbAccess db([&reads, s] {
        ++reads;
        return s;
    });
    QCOMPARE(reads, 0);
    QVERIFY(!db.IsConnected());
    if (dialect == DbSettings::Sqlite)
        QVERIFY(!QFile::exists(s.m_strSqliteFile));

    const RecordsetPtr rs = db.OpenRecordset(Sql::UserCount);
    QCOMPARE(reads, 1);
    QVERIFY(db.IsConnected());
    QCOMPARE(rs->GetFieldText(QStringLiteral("NUM")), QStringLiteral("1"));
    if (dialect == DbSettings::Sqlite)
        QVERIFY(QFile::exists(s.m_strSqliteFile));

    // The open connection serves the next statements; each looks whether the settings changed.
    QVERIFY(db.Execute(Sql::PhraseInsert, {QStringLiteral("你好")}));
    QCOMPARE(reads, 2);
    // An explicit Connect reads them again and makes a new connection.
    QVERIFY(db.Connect());
    QCOMPARE(reads, 3);
}

void tst_DbAccess::executeOnNewInstanceConnectsFirst()
{
    SKEVO_FRESH_DB(m_targets, target);
    Messages m;
    const DbSettings s = *target;
    FixedDb db(s, &m);
    QVERIFY(db.Execute(Sql::PhraseInsert, {QStringLiteral("first statement")}));
    QCOMPARE(m.m_texts, QStringList());
    QVERIFY(db.LastError().isEmpty());
    CDbAccess other([s] { return s; });
    QVERIFY(other.Insert(Sql::SendInsert, SendRow(QStringLiteral("2020-01-01 00:00:00"), QStringLiteral("8613900000000"),
                                                  QStringLiteral("x")))
            > 0);
    QCOMPARE(ReadAll(db.OpenRecordset(Sql::PhraseSelect), {QStringLiteral("D_INSERT")}),
             QList<QStringList>{{QStringLiteral("first statement")}});
}

void tst_DbAccess::failedConnectIsRetriedAtNextStatement()
{
    SKEVO_FRESH_DB(m_targets, target);
    QTemporaryDir dir;
    DbSettings bad = *target;
    QString expectedText;
    if (dialect == DbSettings::Sqlite) {
        bad.m_strSqliteFile = dir.filePath(QStringLiteral("no-such-folder/SKEVO.db"));
        expectedText = QStringLiteral("unable to open database file");
    } else {
        bad.m_nPort = target->m_nPort + 1; // nobody listens there
        expectedText = QStringLiteral(".s.PGSQL.%1").arg(bad.m_nPort);
    }
    auto current = std::make_shared<DbSettings>(bad);
    Messages m;
    CDbAccess db([current] { return *current; });
    db.SetErrorSink(m.Sink());

    // The connect failure shows the driver's description after a sentence saying so, then the
    // query's failure shows it again after its own, and reading the unopened result raises that.
    const RecordsetPtr rs = db.OpenRecordset(Sql::UserCount);
    QVERIFY(!rs->IsOpen());
    QCOMPARE(m.m_texts.size(), 2);
    QVERIFY2(m.m_texts.at(0).contains(expectedText), qPrintable(m.m_texts.at(0)));
    QCOMPARE(m.m_texts.at(0), QStringLiteral("无法连接数据库: ") + db.LastError());
    QCOMPARE(m.m_texts.at(1), QStringLiteral("读取数据库出错: ") + db.LastError());
    QCOMPARE(db.LastMessages(), m.m_texts);
    QCOMPARE(Error([&] { rs->IsEOF(); }), m.m_texts.at(1));
    QVERIFY(!db.IsConnected());

    // Execute: the connect failure, then the statement's failure with its prefix.
    m.m_texts.clear();
    QVERIFY(!db.Execute(Sql::PhraseInsert, {QStringLiteral("x")}));
    QCOMPARE(m.m_texts.size(), 2);
    QVERIFY(m.m_texts.at(0).contains(expectedText));
    QCOMPARE(m.m_texts.at(1), QStringLiteral("SQL数据错误,") + db.LastError());
    QCOMPARE(db.LastMessages(), m.m_texts);
    QCOMPARE(db.Insert(Sql::SendInsert, SendRow(DbTime::Now(), QStringLiteral("1"), QStringLiteral("x"))), qint64(-1));
    QVERIFY(!db.Transaction([] { return true; }));

    // The settings are put right (the login dialog saves them): the next statement connects.
    *current = *target;
    m.m_texts.clear();
    const RecordsetPtr again = db.OpenRecordset(Sql::UserCount);
    QVERIFY(again->IsOpen());
    QCOMPARE(again->GetFieldText(QStringLiteral("NUM")), QStringLiteral("1"));
    QCOMPARE(m.m_texts, QStringList());
    QVERIFY(db.IsConnected());
    QVERIFY(db.LastError().isEmpty());
    QCOMPARE(db.LastMessages(), QStringList());

    // Settings changed under a good connection are followed too, from the next statement on.
    *current = bad;
    QVERIFY(!db.Execute(Sql::PhraseInsert, {QStringLiteral("not there")}));
    QVERIFY(!m.m_texts.isEmpty());
    QVERIFY2(m.m_texts.at(0).contains(expectedText), qPrintable(m.m_texts.at(0)));
}

void tst_DbAccess::lostServerConnectionIsReopened()
{
    SKEVO_FRESH_PG(m_targets, target, "a SQLite file has no server connection to lose");
    Messages m;
    const DbSettings s = *target;
    FixedDb db(s, &m);
    DbProbe probe(s);

    const auto backend = [&db] {
        return db.OpenRecordsetText(QStringLiteral("SELECT pg_backend_pid() AS PID"))->GetFieldText(QStringLiteral("PID"));
    };
    const auto terminate = [&probe](const QString &pid) {
        QVERIFY(probe.Exec(QStringLiteral("SELECT pg_terminate_backend(?)"), {pid.toInt()}));
        QTRY_COMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE pid=?"), {pid.toInt()}).toInt(), 0);
    };

    // Each kind of statement, after the server dropped the connection, runs on a new one.
    QVERIFY(db.Execute(Sql::PhraseInsert, {QStringLiteral("one")}));
    QString pid = backend();
    terminate(pid);
    QVERIFY(db.Execute(Sql::PhraseInsert, {QStringLiteral("two")}));
    QVERIFY(backend() != pid);

    pid = backend();
    terminate(pid);
    const RecordsetPtr rs = db.OpenRecordset(Sql::PhraseSelect);
    QCOMPARE(ReadAll(rs, {QStringLiteral("D_INSERT")}), (QList<QStringList>{{QStringLiteral("one")}, {QStringLiteral("two")}}));

    pid = backend();
    terminate(pid);
    QVERIFY(db.Insert(Sql::OrderInsert, {QStringLiteral("2009-05-05 09:05:00"), QStringLiteral("2009-05-06 09:05:00"),
                                         QStringLiteral("order")})
            > 0);

    pid = backend();
    terminate(pid);
    QVERIFY(db.Transaction([&] { return db.Execute(Sql::PhraseInsert, {QStringLiteral("three")}); }));

    QCOMPARE(m.m_texts, QStringList());
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_INSERT")).toInt(), 3);
}

void tst_DbAccess::connectionLostInsideTransaction()
{
    SKEVO_FRESH_PG(m_targets, target, "a SQLite file has no server connection to lose");
    Messages m;
    const DbSettings s = *target;
    FixedDb db(s, &m);
    DbProbe probe(s);
    const int pid = db.OpenRecordsetText(QStringLiteral("SELECT pg_backend_pid() AS PID"))->GetFieldText(0).toInt();

    // Half a transaction must not be finished on a new connection: the statement fails, the
    // transaction fails, and nothing of it is stored.
    const bool ok = db.Transaction([&] {
        if (!db.Execute(Sql::PhraseInsert, {QStringLiteral("before")}))
            return false;
        probe.Exec(QStringLiteral("SELECT pg_terminate_backend(?)"), {pid});
        [[maybe_unused]] const bool gone = QTest::qWaitFor([&] {
            return probe.Value(QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE pid=?"), {pid}).toInt() == 0;
        });
        return db.Execute(Sql::PhraseInsert, {QStringLiteral("after")});
    });
    QVERIFY(!ok);
    QCOMPARE(m.m_texts.size(), 1);
    QVERIFY2(m.m_texts.at(0).startsWith(QStringLiteral("SQL数据错误,")), qPrintable(m.m_texts.at(0)));
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_INSERT")).toInt(), 0);

    // The next statement connects again.
    m.m_texts.clear();
    QVERIFY(db.Execute(Sql::PhraseInsert, {QStringLiteral("later")}));
    QCOMPARE(m.m_texts, QStringList());
    QCOMPARE(probe.Column(QStringLiteral("SELECT D_INSERT FROM T_INSERT")), QVariantList{QStringLiteral("later")});
}

void tst_DbAccess::failureTexts()
{
    SKEVO_FRESH_DB(m_targets, target);
    Messages m;
    const DbSettings s = *target;
    FixedDb db(s, &m);
    QVERIFY(db.Execute(Sql::PhraseInsert, {QStringLiteral("x")}));
    DbProbe probe(s);
    QVERIFY2(probe.Exec(QStringLiteral("DROP TABLE T_INSERT")), qPrintable(probe.Error()));

    QVERIFY(!db.Execute(Sql::PhraseInsert, {QStringLiteral("y")}));
    QCOMPARE(m.m_texts.size(), 1);
    QVERIFY(!db.LastError().isEmpty());
    QVERIFY2(db.LastError().contains(QStringLiteral("t_insert"), Qt::CaseInsensitive), qPrintable(db.LastError()));
    QCOMPARE(m.m_texts.at(0), QStringLiteral("SQL数据错误,") + db.LastError());

    m.m_texts.clear();
    QCOMPARE(db.Insert(Sql::SendInsert, SendRow(DbTime::Now(), QStringLiteral("1"), QStringLiteral("x"), 1, -1) + QVariantList{7}),
             qint64(-1));
    QCOMPARE(m.m_texts.size(), 1);
    QVERIFY(m.m_texts.at(0).startsWith(QStringLiteral("SQL数据错误,")));
    QCOMPARE(db.LastMessages(), m.m_texts);

    // A query's failure shows the description after a sentence that says reading failed;
    // reading the result raises the same.
    m.m_texts.clear();
    const RecordsetPtr rs = db.OpenRecordset(Sql::PhraseSelect);
    QVERIFY(!rs->IsOpen());
    QCOMPARE(m.m_texts, QStringList{QStringLiteral("读取数据库出错: ") + db.LastError()});
    QCOMPARE(db.LastMessages(), m.m_texts);
    QCOMPARE(Error([&] { rs->IsEOF(); }), m.m_texts.at(0));
    QCOMPARE(Error([&] { rs->GetFieldText(QStringLiteral("D_INSERT")); }), m.m_texts.at(0));

    // A failed statement leaves the connection as it was.
    m.m_texts.clear();
    QVERIFY(db.Execute(Sql::BookInsert, {QStringLiteral("张三"), QStringLiteral("8613900000000"), QStringLiteral("朋友")}));
    QCOMPARE(m.m_texts, QStringList());
    QVERIFY(db.LastError().isEmpty());
}

// Without a sink the caller gets the texts of its own call, a transaction's included.
void tst_DbAccess::failureTextsAreKeptForTheCaller()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    FixedDb db(s);
    QVERIFY(db.Execute(Sql::PhraseInsert, {QStringLiteral("x")}));
    DbProbe probe(s);
    QVERIFY2(probe.Exec(QStringLiteral("DROP TABLE T_INSERT")), qPrintable(probe.Error()));

    bool first = false;
    QVERIFY(!db.Transaction([&] {
        first = db.Execute(Sql::BookInsert, {QStringLiteral("张三"), QStringLiteral("8613900000000"), QStringLiteral("朋友")});
        return first && db.Execute(Sql::PhraseInsert, {QStringLiteral("y")});
    }));
    QVERIFY(first);
    QCOMPARE(db.LastMessages(), QStringList{QStringLiteral("SQL数据错误,") + db.LastError()});
    QVERIFY2(db.LastError().contains(QStringLiteral("t_insert"), Qt::CaseInsensitive), qPrintable(db.LastError()));

    QVERIFY(db.Execute(Sql::BookInsert, {QStringLiteral("李四"), QStringLiteral("8613900000001"), QStringLiteral("朋友")}));
    QCOMPARE(db.LastMessages(), QStringList());
}

void tst_DbAccess::recordsetReadErrors()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    FixedDb db(s);
    const RecordsetPtr rs = db.OpenRecordsetText(QStringLiteral("SELECT NULL AS X,1 AS Y,'文本' AS Z"));
    QVERIFY(rs->IsOpen());
    QVERIFY(!rs->IsBOF());
    QVERIFY(!rs->IsEOF());
    QVERIFY(IsReadFailure([&] { rs->GetFieldText(QStringLiteral("X")); }));
    QVERIFY(IsReadFailure([&] { rs->GetFieldText(0); }));
    QVERIFY(rs->GetFieldValue(0).isNull());
    QCOMPARE(rs->GetFieldText(QStringLiteral("Y")), QStringLiteral("1"));
    QCOMPARE(rs->GetFieldText(QStringLiteral("y")), QStringLiteral("1"));
    QCOMPARE(rs->GetFieldText(2), QStringLiteral("文本"));
    QVERIFY(IsReadFailure([&] { rs->GetFieldText(QStringLiteral("NOSUCH")); }));
    QVERIFY(IsReadFailure([&] { rs->GetFieldText(3); }));
    QVERIFY(IsReadFailure([&] { rs->GetFieldText(-1); }));
    rs->MoveNext();
    QVERIFY(rs->IsEOF());
    QVERIFY(!rs->IsBOF());
    QVERIFY(IsReadFailure([&] { rs->GetFieldText(QStringLiteral("Y")); }));
    QVERIFY(IsReadFailure([&] { rs->MoveNext(); }));

    // An empty result is at its beginning and its end at once.
    const RecordsetPtr empty = db.OpenRecordset(Sql::PhraseSelect);
    QVERIFY(empty->IsBOF());
    QVERIFY(empty->IsEOF());

    // A recordset never opened is an error to read.
    CRecordset never;
    QVERIFY(!never.IsOpen());
    QVERIFY(!Error([&] { never.IsEOF(); }).isEmpty());
    QVERIFY(!Error([&] { never.IsBOF(); }).isEmpty());
    QVERIFY(!Error([&] { never.MoveNext(); }).isEmpty());
    QVERIFY(!Error([&] { never.GetFieldText(0); }).isEmpty());
}

void tst_DbAccess::keptRecordsetStaysReadable()
{
    SKEVO_FRESH_DB(m_targets, target);
    Messages m;
    const DbSettings s = *target;
    auto db = std::make_unique<CDbAccess>([s] { return s; });
    db->SetErrorSink(m.Sink());
    for (int i = 1; i <= 3; ++i) {
        QVERIFY(db->Execute(Sql::BookInsert, {QStringLiteral("name%1").arg(i), QStringLiteral("861390000000%1").arg(i),
                                              QStringLiteral("group%1").arg(i)}));
    }
    // The scheduler's pattern: another statement read and written inside the reading loop.
    const RecordsetPtr outer = db->OpenRecordset(Sql::BookSelect);
    QStringList seen;
    while (!outer->IsEOF()) {
        seen << outer->GetFieldText(QStringLiteral("D_NUMBER"));
        const RecordsetPtr inner = db->OpenRecordset(Sql::BookCountByNumber, {seen.last()});
        QCOMPARE(inner->GetFieldText(QStringLiteral("NUM")), QStringLiteral("1"));
        QVERIFY(db->Execute(Sql::PhraseInsert, {seen.last()}));
        outer->MoveNext();
    }
    QCOMPARE(seen, (QStringList{QStringLiteral("8613900000001"), QStringLiteral("8613900000002"),
                                QStringLiteral("8613900000003")}));

    // A result kept past the owner's end is still read to its end.
    const RecordsetPtr kept = db->OpenRecordset(Sql::PhraseSelect);
    QCOMPARE(kept->GetFieldText(0), QStringLiteral("8613900000001"));
    db.reset();
    kept->MoveNext();
    QCOMPARE(kept->GetFieldText(0), QStringLiteral("8613900000002"));
    kept->MoveNext();
    QCOMPARE(kept->GetFieldText(0), QStringLiteral("8613900000003"));
    kept->MoveNext();
    QVERIFY(kept->IsEOF());
    QCOMPARE(m.m_texts, QStringList());
}

void tst_DbAccess::writingWhileReadingBesideAnotherWriter()
{
    SKEVO_FRESH_DB(m_targets, target);
    Messages m;
    const DbSettings s = *target;
    CDbAccess gui([s] { return s; });
    CDbAccess worker([s] { return s; });
    gui.SetErrorSink(m.Sink());
    worker.SetErrorSink(m.Sink());
    for (const char *p : {"a", "b", "c"})
        QVERIFY(gui.Execute(Sql::PhraseInsert, {QString::fromLatin1(p)}));

    // The GUI is half-way through a result when the worker writes, and then writes itself:
    // its write must not be refused, and its result reads on as it was when opened.
    const RecordsetPtr reading = gui.OpenRecordset(Sql::PhraseSelect);
    QCOMPARE(reading->GetFieldText(0), QStringLiteral("a"));
    QVERIFY(worker.Insert(Sql::RecInsert, {QStringLiteral("1"), QStringLiteral("x"), DbTime::Now(), QString(), QString()}) > 0);
    QVERIFY(gui.Execute(Sql::PhraseInsert, {QStringLiteral("d")}));
    QVERIFY(worker.Execute(Sql::PhraseInsert, {QStringLiteral("e")}));
    QVERIFY(gui.Transaction([&] { return gui.Execute(Sql::PhraseInsert, {QStringLiteral("f")}); }));
    QStringList rest;
    while (!reading->IsEOF()) {
        rest << reading->GetFieldText(0);
        reading->MoveNext();
    }
    QCOMPARE(rest, (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(ReadAll(gui.OpenRecordset(Sql::PhraseSelect), {QStringLiteral("D_INSERT")}).size(), 6);
    QCOMPARE(m.m_texts, QStringList());
}

void tst_DbAccess::schemaIsCreatedOnceWithOneFirstAdmin()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    Messages m;
    for (int round = 0; round < 2; ++round) {
        // Each round as a new process would see it: nothing remembered about this database.
        CDbAccess::ForgetSchemaChecks();
        CDbAccess a([s] { return s; });
        CDbAccess b([s] { return s; });
        a.SetErrorSink(m.Sink());
        b.SetErrorSink(m.Sink());
        QVERIFY(a.Connect());
        QVERIFY(b.Connect());
        QCOMPARE(b.OpenRecordset(Sql::UserCount)->GetFieldText(QStringLiteral("NUM")), QStringLiteral("1"));
    }
    QCOMPARE(m.m_texts, QStringList());

    FixedDb db(s);
    const QList<QStringList> users = ReadAll(db.OpenRecordset(Sql::UserSelectAll),
                                             {QStringLiteral("D_NAME"), QStringLiteral("D_LEVEL"), QStringLiteral("D_CTIME")});
    QCOMPARE(users.size(), 1);
    QCOMPARE(users.at(0).at(0), Schema::kFirstAdminName);
    QCOMPARE(users.at(0).at(1), QStringLiteral("0"));
    QCOMPARE(DbTime::Canonical(users.at(0).at(2)), users.at(0).at(2));
    QVERIFY(qAbs(QDateTime::fromString(users.at(0).at(2), QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                     .secsTo(QDateTime::currentDateTime()))
            < 3600);

    const RecordsetPtr login = db.OpenRecordset(Sql::UserSelectByName, {Schema::kFirstAdminName});
    const QString stored = login->GetFieldText(QStringLiteral("D_PSW"));
    QVERIFY(PasswordHash::IsHash(stored));
    QVERIFY(PasswordHash::Verify(stored, Schema::kFirstAdminPassword));

    // Every table is there, empty apart from the administrator.
    DbProbe probe(s);
    for (const char *table : {"T_INSERT", "T_BOOK", "T_SEND", "T_REC", "T_ORDER", "T_PHONENUMBER", "T_LASTNO", "T_OUTBOX"}) {
        QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))).toInt(), 0);
        QVERIFY2(probe.Error().isEmpty(), qPrintable(probe.Error()));
    }
}

void tst_DbAccess::firstAdminOnlyInEmptyUserTable()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    {
        FixedDb db(s);
        QVERIFY(db.Execute(Sql::UserInsert, {QStringLiteral("bob"), PasswordHash::Hash(QStringLiteral("pw")), 1, DbTime::Now()}));
        QVERIFY(db.Execute(Sql::UserDelete, {Schema::kFirstAdminName}));
    }
    CDbAccess::ForgetSchemaChecks();
    FixedDb db(s);
    QCOMPARE(ReadAll(db.OpenRecordset(Sql::UserSelectAll), {QStringLiteral("D_NAME")}),
             QList<QStringList>{{QStringLiteral("bob")}});
}

void tst_DbAccess::textsAreStoredIntact_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("text");
    const QList<std::pair<const char *, QString>> texts = {
        {"apostrophes", QStringLiteral("it's 'quoted' '' and ''''")},
        {"chinese", QStringLiteral("您好，明天下午三点开会。收到请回复！")},
        {"statement-like", QStringLiteral("x'); DELETE FROM T_SEND; --")},
        {"wildcards and backslashes", QStringLiteral("100% _done_ C:\\temp\\n")},
        {"outside the basic plane", QStringLiteral("\U0001F600 𠀀")},
        {"long", QString(3000, QChar(0x4E2D))},
    };
    for (const auto &[name, text] : texts)
        DbTargets::AddDialectRows(name, text);
}

void tst_DbAccess::textsAreStoredIntact()
{
    SKEVO_FRESH_DB(m_targets, target);
    QFETCH(QString, text);
    const DbSettings s = *target;
    FixedDb db(s);
    const QString number = QStringLiteral("8613912345678");
    const qint64 sent = db.Insert(Sql::SendInsert, SendRow(QStringLiteral("2009-01-03 21:00:00"), number, text));
    QVERIFY(sent > 0);
    const qint64 received = db.Insert(Sql::RecInsert, {number, text, QStringLiteral("2009-01-03 21:00:01"), QString(), QString()});
    QVERIFY(received > 0);
    QVERIFY(db.Execute(Sql::PhraseInsert, {text}));
    QVERIFY(db.Execute(Sql::BookInsert, {text, number, text}));

    QCOMPARE(db.OpenRecordset(Sql::SendRowsByNo, {sent, sent})->GetFieldText(QStringLiteral("MYCONT")), text);
    QCOMPARE(db.OpenRecordset(Sql::RecRowsByNo, {received, received})->GetFieldText(QStringLiteral("MYCONT")), text);
    QCOMPARE(db.OpenRecordset(Sql::PhraseSelect)->GetFieldText(QStringLiteral("D_INSERT")), text);
    QCOMPARE(db.OpenRecordset(Sql::BookGroups)->GetFieldText(QStringLiteral("D_RELATION")), text);

    // Looked at from outside the layer: stored once, as typed, and found by equality.
    DbProbe probe(s);
    QCOMPARE(probe.Value(QStringLiteral("SELECT D_SENDCONT FROM T_SEND WHERE D_NO=?"), {sent}).toString(), text);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_INSERT WHERE D_INSERT=?"), {text}).toInt(), 1);
    QVERIFY(db.Execute(Sql::PhraseDelete, {text}));
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_INSERT")).toInt(), 0);
}

void tst_DbAccess::dateTimesReadBackCanonical_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QVariant>("written");
    QTest::addColumn<QString>("read");
    const QList<std::tuple<const char *, QVariant, QString>> rows = {
        {"canonical text", QStringLiteral("2009-01-03 21:00:00"), QStringLiteral("2009-01-03 21:00:00")},
        {"end of a year", QStringLiteral("2009-12-31 23:59:59"), QStringLiteral("2009-12-31 23:59:59")},
        {"leap day", QStringLiteral("2012-02-29 00:00:00"), QStringLiteral("2012-02-29 00:00:00")},
        {"order form normalised", DbTime::Canonical(QStringLiteral("2009-5-5 9:5")), QStringLiteral("2009-05-05 09:05:00")},
        {"date-time value", QDateTime(QDate(2010, 7, 8), QTime(6, 7, 8)), QStringLiteral("2010-07-08 06:07:08")},
    };
    for (const auto &[name, written, read] : rows)
        DbTargets::AddDialectRows(name, written, read);
}

void tst_DbAccess::dateTimesReadBackCanonical()
{
    SKEVO_FRESH_DB(m_targets, target);
    QFETCH(QVariant, written);
    QFETCH(QString, read);
    const DbSettings s = *target;
    FixedDb db(s);
    QVERIFY(db.Insert(Sql::SendInsert, {-1, written, 1, QStringLiteral("1"), QStringLiteral("x"), QString()}) > 0);
    QVERIFY(db.Insert(Sql::RecInsert, {QStringLiteral("1"), QStringLiteral("x"), written, QString(), QString()}) > 0);
    QVERIFY(db.Insert(Sql::OrderInsert, {written, written, QStringLiteral("x")}) > 0);
    QVERIFY(db.Execute(Sql::UserInsert, {QStringLiteral("u"), QStringLiteral("p"), 1, written}));

    QCOMPARE(db.OpenRecordset(Sql::SendRowsByNo, {0, kMax})->GetFieldText(QStringLiteral("MYTIME")), read);
    QCOMPARE(db.OpenRecordset(Sql::RecRowsByNo, {0, kMax})->GetFieldText(QStringLiteral("MYTIME")), read);
    QCOMPARE(ReadAll(db.OpenRecordset(Sql::SendKeysByTime, {kLatest, kMax, 10}), {QStringLiteral("MYTIME")}),
             QList<QStringList>{{read}});
    QCOMPARE(ReadAll(db.OpenRecordset(Sql::RecKeysByTime, {kLatest, kMax, 10}), {QStringLiteral("MYTIME")}),
             QList<QStringList>{{read}});
    const RecordsetPtr order = db.OpenRecordset(Sql::OrderSelect);
    QCOMPARE(order->GetFieldText(QStringLiteral("D_START")), read);
    QCOMPARE(order->GetFieldText(QStringLiteral("D_END")), read);
    QStringList ctimes;
    const RecordsetPtr users = db.OpenRecordset(Sql::UserSelectAll);
    while (!users->IsEOF()) {
        if (users->GetFieldText(QStringLiteral("D_NAME")) == QStringLiteral("u"))
            ctimes << users->GetFieldText(QStringLiteral("D_CTIME"));
        users->MoveNext();
    }
    QCOMPARE(ctimes, QStringList{read});

    // A statement written by hand gets the canonical text too (PostgreSQL hands out a
    // date-time value there).
    QCOMPARE(db.OpenRecordsetText(QStringLiteral("SELECT D_SENDTIME FROM T_SEND"))->GetFieldText(0), read);
    if (dialect == DbSettings::Postgres) {
        DbProbe probe(s);
        QCOMPARE(probe.Value(QStringLiteral("SELECT pg_typeof(D_SENDTIME)::text FROM T_SEND")).toString(),
                 QStringLiteral("timestamp without time zone"));
    }
}

void tst_DbAccess::insertReturnsIncreasingKeys()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    FixedDb db(s);
    const QList<std::pair<Sql, QVariantList>> inserts = {
        {Sql::SendInsert, SendRow(QStringLiteral("2009-01-03 21:00:00"), QStringLiteral("1"), QStringLiteral("x"))},
        {Sql::RecInsert, {QStringLiteral("1"), QStringLiteral("x"), QStringLiteral("2009-01-03 21:00:00"), QString(), QString()}},
        {Sql::OrderInsert, {QStringLiteral("2009-01-03 21:00:00"), QStringLiteral("2009-01-03 22:00:00"), QStringLiteral("x")}},
    };
    for (const auto &[id, values] : inserts) {
        qint64 last = 0;
        for (int i = 0; i < 3; ++i) {
            const qint64 key = db.Insert(id, values);
            QVERIFY2(key > last, qPrintable(QStringLiteral("statement %1: key %2 after %3").arg(int(id)).arg(key).arg(last)));
            last = key;
        }
    }
    // The kept messages' keys, a batch of one at a time.
    SmsRecord kept;
    kept.m_strSCA = QStringLiteral("8613800591500");
    kept.m_strTPA = QStringLiteral("8613900000000");
    kept.m_strUD = QStringLiteral("x");
    qint64 lastKept = 0;
    for (int i = 0; i < 3; ++i) {
        QVector<qint64> keys;
        QVERIFY(db.InsertRows(Sql::OutboxInsertBatch, {1, 0, 1, 0, QString(), 0, QStringLiteral("host"), QStringLiteral("/place"),
                                                       SqlCatalogue::OutboxBatchRows(&kept, 1)},
                              &keys));
        QCOMPARE(keys.size(), 1);
        QVERIFY2(keys.at(0) > lastKept, qPrintable(QStringLiteral("kept message: key %1 after %2").arg(keys.at(0)).arg(lastKept)));
        lastKept = keys.at(0);
    }
    // The key read back is the row's own: the order's numbers go with it, and a deleted
    // newest order's number is not given out again.
    const qint64 order = db.Insert(Sql::OrderInsert, {QStringLiteral("2009-05-05 09:05:00"),
                                                      QStringLiteral("2009-05-05 10:00:00"), QStringLiteral("y")});
    const RecordsetPtr orders = db.OpenRecordset(Sql::OrderSelect);
    QString lastId;
    while (!orders->IsEOF()) {
        lastId = orders->GetFieldText(QStringLiteral("D_ID"));
        orders->MoveNext();
    }
    QCOMPARE(lastId, QString::number(order));
    QVERIFY(db.Execute(Sql::OrderDelete, {order}));
    const qint64 next = db.Insert(Sql::OrderInsert, {QStringLiteral("2009-05-05 09:05:00"),
                                                     QStringLiteral("2009-05-05 10:00:00"), QStringLiteral("z")});
    QVERIFY(next > order);
}

void tst_DbAccess::transactionRollsBack()
{
    SKEVO_FRESH_DB(m_targets, target);
    Messages m;
    const DbSettings s = *target;
    FixedDb db(s, &m);
    DbProbe probe(s);
    const auto count = [&probe](const char *table) {
        return probe.Value(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))).toInt();
    };
    const auto writeOrder = [&db](int numbers) {
        const qint64 id = db.Insert(Sql::OrderInsert, {QStringLiteral("2009-05-05 09:05:00"),
                                                       QStringLiteral("2009-05-05 10:00:00"), QStringLiteral("x")});
        if (id <= 0)
            return false;
        for (int i = 0; i < numbers; ++i) {
            if (!db.Execute(Sql::NumberInsert, {id, QStringLiteral("86139000000%1").arg(i, 2, 10, QLatin1Char('0')), QString()}))
                return false;
        }
        return true;
    };

    // The body says no: nothing stays.
    QVERIFY(!db.Transaction([&] { return writeOrder(5) && false; }));
    QCOMPARE(count("T_ORDER"), 0);
    QCOMPARE(count("T_PHONENUMBER"), 0);
    QCOMPARE(m.m_texts, QStringList());

    // A statement fails half-way: its error is shown, nothing stays.
    QVERIFY(!db.Transaction([&] { return writeOrder(3) && db.Execute(Sql::NumberInsert, {1, QVariant(), QString()}); }));
    QCOMPARE(count("T_ORDER"), 0);
    QCOMPARE(count("T_PHONENUMBER"), 0);
    QCOMPARE(m.m_texts.size(), 1);
    QVERIFY(m.m_texts.at(0).startsWith(QStringLiteral("SQL数据错误,")));
    QCOMPARE(db.LastMessages(), m.m_texts);

    // A read inside the body raises: rolled back, and the error goes on to the caller.
    bool raised = false;
    try {
        db.Transaction([&] {
            writeOrder(2);
            db.OpenRecordset(Sql::PhraseSelect)->GetFieldText(0);
            return true;
        });
    } catch (const CDbError &) {
        raised = true;
    }
    QVERIFY(raised);
    QCOMPARE(count("T_ORDER"), 0);

    // Committed: all of it; and the instance goes on working outside a transaction.
    m.m_texts.clear();
    QVERIFY(db.Transaction([&] { return writeOrder(4); }));
    QCOMPARE(count("T_ORDER"), 1);
    QCOMPARE(count("T_PHONENUMBER"), 4);
    QVERIFY(db.Execute(Sql::PhraseInsert, {QStringLiteral("after")}));
    QCOMPARE(count("T_INSERT"), 1);
    QCOMPARE(m.m_texts, QStringList());
}

void tst_DbAccess::lastNumbersKeepTheirOrder()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    FixedDb db(s);
    const auto replace = [&db](const QStringList &numbers) {
        return db.Transaction([&] {
            if (!db.Execute(Sql::LastNoDelete))
                return false;
            for (int i = 0; i < numbers.size(); ++i) {
                if (!db.Execute(Sql::LastNoInsert, {i, numbers.at(i)}))
                    return false;
            }
            return true;
        });
    };
    const auto read = [&db] {
        QStringList out;
        for (const QStringList &row : ReadAll(db.OpenRecordset(Sql::LastNoSelect), {QStringLiteral("D_LASTNO")}))
            out << row.at(0);
        return out;
    };
    // Not sorted in any way the database could find by itself.
    QStringList numbers;
    for (int i = 0; i < 200; ++i)
        numbers << QStringLiteral("86139%1").arg((i * 7919) % 1000003, 8, 10, QLatin1Char('0'));
    QVERIFY(replace(numbers));
    QCOMPARE(read(), numbers);
    const QStringList fewer = {QStringLiteral("8613900000009"), QStringLiteral("8613900000001"), QStringLiteral("8613900000009")};
    QVERIFY(replace(fewer));
    QCOMPARE(read(), fewer);
}

void tst_DbAccess::identicalRecordsAreTwoRows()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    FixedDb db(s);
    const QString t1 = QStringLiteral("2009-01-03 21:00:00");
    const QString t2 = QStringLiteral("2009-01-03 21:00:05");
    const qint64 a = db.Insert(Sql::SendInsert, SendRow(t2, QStringLiteral("8613900000001"), QStringLiteral("same"), 1));
    const qint64 b = db.Insert(Sql::SendInsert, SendRow(t2, QStringLiteral("8613900000001"), QStringLiteral("same"), 1));
    const qint64 r = db.Insert(Sql::RecInsert, {QStringLiteral("8613900000002"), QStringLiteral("in"), t1, QString(), QString()});
    const qint64 f = db.Insert(Sql::SendInsert, SendRow(t1, QStringLiteral("8613900000003"), QStringLiteral("failed"), 0));
    QVERIFY(a > 0 && b > a && r > 0 && f > b);

    // The records list walks each journal by time then key, newest first, and reads the
    // rows of the keys it found: both identical rows, each with its own key.
    const QStringList columns = {QStringLiteral("D_NO"), QStringLiteral("MYTIME")};
    QCOMPARE(ReadAll(db.OpenRecordset(Sql::SendKeysByTime, {kLatest, kMax, 10}), columns),
             (QList<QStringList>{{QString::number(b), t2}, {QString::number(a), t2}, {QString::number(f), t1}}));
    QCOMPARE(ReadAll(db.OpenRecordset(Sql::RecKeysByTime, {kLatest, kMax, 10}), columns),
             (QList<QStringList>{{QString::number(r), t1}}));
    QCOMPARE(ReadAll(db.OpenRecordset(Sql::SendRowsByNo, {a, f}),
                     {QStringLiteral("D_NO"), QStringLiteral("MYTIME"), QStringLiteral("MYNUM"), QStringLiteral("MYCONT"),
                      QStringLiteral("MYSTATE")}),
             (QList<QStringList>{
                 {QString::number(a), t2, QStringLiteral("8613900000001"), QStringLiteral("same"), QStringLiteral("1")},
                 {QString::number(b), t2, QStringLiteral("8613900000001"), QStringLiteral("same"), QStringLiteral("1")},
                 {QString::number(f), t1, QStringLiteral("8613900000003"), QStringLiteral("failed"), QStringLiteral("0")},
             }));
}

void tst_DbAccess::deleteByKeyRemovesExactlyOne()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    FixedDb db(s);
    const QString t = QStringLiteral("2009-01-03 21:00:00");
    const QString n = QStringLiteral("8613900000001");
    const qint64 s1 = db.Insert(Sql::SendInsert, SendRow(t, n, QStringLiteral("same")));
    const qint64 s2 = db.Insert(Sql::SendInsert, SendRow(t, n, QStringLiteral("same")));
    const qint64 r1 = db.Insert(Sql::RecInsert, {n, QStringLiteral("same"), t, QString(), QString()});
    const qint64 r2 = db.Insert(Sql::RecInsert, {n, QStringLiteral("same"), t, QString(), QString()});

    QVERIFY(db.Execute(Sql::SendDelete, {s1}));
    QVERIFY(db.Execute(Sql::RecDelete, {r2}));
    const auto keys = [&db](Sql id) { return ReadAll(db.OpenRecordset(id, {kMax, 10}), {QStringLiteral("D_NO")}); };
    QCOMPARE(keys(Sql::SendKeysBefore), QList<QStringList>{{QString::number(s2)}});
    QCOMPARE(keys(Sql::RecKeysBefore), QList<QStringList>{{QString::number(r1)}});
    // Deleting a record that is gone already is no error and touches nothing else.
    QVERIFY(db.Execute(Sql::SendDelete, {s1}));
    QCOMPARE(keys(Sql::SendKeysBefore), QList<QStringList>{{QString::number(s2)}});
    QCOMPARE(keys(Sql::RecKeysBefore), QList<QStringList>{{QString::number(r1)}});
}

void tst_DbAccess::nullTextIsStoredEmpty()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    FixedDb db(s);
    QVERIFY(db.Execute(Sql::PhraseInsert, {QString()}));
    const RecordsetPtr rs = db.OpenRecordset(Sql::PhraseSelect);
    QCOMPARE(rs->GetFieldText(0), QStringLiteral(""));
}

void tst_DbAccess::instanceUsedFromAnotherThread()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    Messages m;
    // Used here first, then by a worker thread, then here again: each thread gets a
    // connection of its own, and Qt never sees a connection used by a foreign thread.
    FixedDb db(s);
    db.SetErrorSink(m.Sink());
    QVERIFY(db.Execute(Sql::PhraseInsert, {QStringLiteral("main")}));
    std::atomic<bool> ok{false};
    std::thread worker([&] {
        bool good = db.Execute(Sql::PhraseInsert, {QStringLiteral("worker")});
        const RecordsetPtr rs = db.OpenRecordset(Sql::PhraseSelect);
        int rows = 0;
        while (good && !rs->IsEOF()) {
            ++rows;
            rs->MoveNext();
        }
        ok = good && rows == 2;
    });
    worker.join();
    QVERIFY(ok);
    QVERIFY(db.Execute(Sql::PhraseInsert, {QStringLiteral("main again")}));
    QCOMPARE(ReadAll(db.OpenRecordset(Sql::PhraseSelect), {QStringLiteral("D_INSERT")}).size(), 3);

    // An instance made here and used only by a worker, destroyed here afterwards.
    auto workerDb = std::make_unique<CDbAccess>([s] { return s; });
    workerDb->SetErrorSink(m.Sink());
    std::thread second([&] { ok = workerDb->Insert(Sql::RecInsert, {QStringLiteral("1"), QStringLiteral("x"), DbTime::Now(), QString(), QString()}) > 0; });
    second.join();
    QVERIFY(ok);
    workerDb.reset();
    QCOMPARE(m.m_texts, QStringList());
}

void tst_DbAccess::twoThreadsWriteAtOnce()
{
    SKEVO_FRESH_DB(m_targets, target);
    const DbSettings s = *target;
    // The GUI and the modem worker, each with its own instance on the same database: every
    // write waits for the other's lock instead of failing.
    constexpr int kRows = 150;
    std::atomic<int> failures{0};
    QStringList errors;
    std::mutex errorsMutex;
    const auto writer = [&](int which) {
        FixedDb db(s);
        db.SetErrorSink([&](const QString &text) {
            std::lock_guard<std::mutex> lock(errorsMutex);
            errors << text;
        });
        for (int i = 0; i < kRows; ++i) {
            const bool ok = (i % 3 == 0)
                ? db.Transaction([&] {
                      return db.Insert(Sql::SendInsert, SendRow(DbTime::Now(), QString::number(which), QStringLiteral("t")))
                          > 0
                          && db.Execute(Sql::PhraseInsert, {QString::number(which)});
                  })
                : db.Insert(Sql::SendInsert, SendRow(DbTime::Now(), QString::number(which), QStringLiteral("p"))) > 0;
            if (!ok)
                ++failures;
            // Reading while the other writes.
            if (i % 10 == 0 && db.OpenRecordset(Sql::UserCount)->GetFieldText(0) != QStringLiteral("1"))
                ++failures;
        }
    };
    std::thread a(writer, 1);
    std::thread b(writer, 2);
    a.join();
    b.join();
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
    QCOMPARE(failures.load(), 0);
    DbProbe probe(s);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_SEND")).toInt(), 2 * kRows);
    QCOMPARE(probe.Value(QStringLiteral("SELECT COUNT(*) FROM T_INSERT")).toInt(), 2 * ((kRows + 2) / 3));
}

void tst_DbAccess::driverNames()
{
    QCOMPARE(CDbAccess::QtDriverName(DbSettings::Sqlite), QStringLiteral("QSQLITE"));
    QCOMPARE(CDbAccess::QtDriverName(DbSettings::Postgres), QStringLiteral("QPSQL"));
    QVERIFY(CDbAccess::IsDriverAvailable(DbSettings::Sqlite));
    QVERIFY(CDbAccess::IsDriverAvailable(DbSettings::Postgres));
}

QTEST_GUILESS_MAIN(tst_DbAccess)
#include "tst_dbaccess.moc"
