#include "base/PasswordHash.h"

#include <QTest>

class tst_PasswordHash : public QObject
{
    Q_OBJECT
private slots:
    void hashVerifies_data();
    void hashVerifies();
    void saltMakesEveryHashDifferent();
    void plainRowIsAcceptedOnlyWhenEqual_data();
    void plainRowIsAcceptedOnlyWhenEqual();
    void emptyNeverMatches();
    void upgradeRule();
    void damagedHashNeverMatches();
};

void tst_PasswordHash::hashVerifies_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("ascii") << QStringLiteral("admin");
    QTest::newRow("chinese") << QStringLiteral("管理员密码");
    QTest::newRow("apostrophes and blanks") << QStringLiteral("it's a 'pass' word");
    QTest::newRow("long") << QString(300, QLatin1Char('x'));
}

void tst_PasswordHash::hashVerifies()
{
    QFETCH(QString, password);
    const QString hash = PasswordHash::Hash(password);
    QVERIFY(PasswordHash::IsHash(hash));
    QVERIFY(!hash.contains(password));
    QVERIFY(PasswordHash::Verify(hash, password));
    QVERIFY(!PasswordHash::Verify(hash, password + QLatin1Char('!')));
    QVERIFY(!PasswordHash::Verify(hash, password.left(password.size() - 1)));
    QVERIFY(!PasswordHash::NeedsUpgrade(hash));
}

void tst_PasswordHash::saltMakesEveryHashDifferent()
{
    const QString a = PasswordHash::Hash(QStringLiteral("same"));
    const QString b = PasswordHash::Hash(QStringLiteral("same"));
    QVERIFY(a != b);
    QVERIFY(PasswordHash::Verify(a, QStringLiteral("same")));
    QVERIFY(PasswordHash::Verify(b, QStringLiteral("same")));
}

void tst_PasswordHash::plainRowIsAcceptedOnlyWhenEqual_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("match");
    QTest::newRow("equal") << QStringLiteral("749") << QStringLiteral("749") << true;
    QTest::newRow("different") << QStringLiteral("749") << QStringLiteral("748") << false;
    QTest::newRow("case differs") << QStringLiteral("Admin") << QStringLiteral("admin") << false;
    QTest::newRow("chinese equal") << QStringLiteral("密码") << QStringLiteral("密码") << true;
    QTest::newRow("typed text is a hash prefix") << QStringLiteral("abc") << QStringLiteral("$argon2id$abc") << false;
}

void tst_PasswordHash::plainRowIsAcceptedOnlyWhenEqual()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(bool, match);
    QVERIFY(!PasswordHash::IsHash(stored));
    QCOMPARE(PasswordHash::Verify(stored, typed), match);
    QVERIFY(PasswordHash::NeedsUpgrade(stored));
}

void tst_PasswordHash::emptyNeverMatches()
{
    QVERIFY(!PasswordHash::Verify(QString(), QString()));
    QVERIFY(!PasswordHash::Verify(QStringLiteral(""), QStringLiteral("")));
    QVERIFY(!PasswordHash::Verify(PasswordHash::Hash(QStringLiteral("")), QStringLiteral("")));
    QVERIFY(!PasswordHash::Verify(QStringLiteral("x"), QString()));
}

void tst_PasswordHash::upgradeRule()
{
    // A plain row: accepted once when equal; the stored hash then replaces it and the plain
    // text itself no longer counts as the stored value.
    const QString plain = QStringLiteral("oldpass");
    QVERIFY(PasswordHash::Verify(plain, QStringLiteral("oldpass")));
    QVERIFY(PasswordHash::NeedsUpgrade(plain));
    const QString upgraded = PasswordHash::Hash(QStringLiteral("oldpass"));
    QVERIFY(PasswordHash::Verify(upgraded, QStringLiteral("oldpass")));
    QVERIFY(!PasswordHash::Verify(upgraded, upgraded));
    QVERIFY(!PasswordHash::NeedsUpgrade(upgraded));
}

void tst_PasswordHash::damagedHashNeverMatches()
{
    QString hash = PasswordHash::Hash(QStringLiteral("secret"));
    // A character well inside the hash part, so that data bits change, not padding.
    const qsizetype at = hash.size() - 10;
    hash[at] = hash.at(at) == QLatin1Char('A') ? QLatin1Char('B') : QLatin1Char('A');
    QVERIFY(!PasswordHash::Verify(hash, QStringLiteral("secret")));
    QVERIFY(!PasswordHash::Verify(QStringLiteral("$argon2id$garbage"), QStringLiteral("$argon2id$garbage")));
}

QTEST_GUILESS_MAIN(tst_PasswordHash)
#include "tst_passwordhash.moc"
