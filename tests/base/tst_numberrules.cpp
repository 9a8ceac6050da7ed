#include "base/NumberRules.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace NumberRules;

class tst_NumberRules : public QObject
{
    Q_OBJECT
private slots:
    void isValidNumber_data();
    void isValidNumber();
    void numberAsSent_data();
    void numberAsSent();
    void phoneKey_data();
    void phoneKey();
    void readFile_data();
    void readFile();
    void missingFileIsInvalid();
    void failuresAreAddedToTheCounter();
    void writtenForm();

private:
    QTemporaryDir m_dir;
};

void tst_NumberRules::isValidNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("mobile") << QStringLiteral("13800000000") << true;
    QTest::newRow("with plus") << QStringLiteral("+8613800000000") << true;
    QTest::newRow("plus alone") << QStringLiteral("+") << false;
    QTest::newRow("plus and one digit") << QStringLiteral("+1") << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("24 digits") << QString(24, QLatin1Char('1')) << true;
    QTest::newRow("25 digits") << QString(25, QLatin1Char('1')) << false;
    QTest::newRow("plus and 23 digits") << QLatin1Char('+') + QString(23, QLatin1Char('1')) << true;
    QTest::newRow("plus and 24 digits") << QLatin1Char('+') + QString(24, QLatin1Char('1')) << false;
    QTest::newRow("blank inside") << QStringLiteral("138 0000") << false;
    QTest::newRow("letter last") << QStringLiteral("1380000000a") << false;
    QTest::newRow("dash") << QStringLiteral("138-0000") << false;
    QTest::newRow("plus not first") << QStringLiteral("86+138") << false;
    QTest::newRow("full-width digit") << QStringLiteral("１３８") << false;
    QTest::newRow("Arabic-Indic digit") << QStringLiteral("١٣٨") << false;
}

void tst_NumberRules::isValidNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(IsValidNumber(text), valid);
}

// The number as sent, and the digits of the address that carries it: what goes out, the same
// whether a number comes as typed or as a record holds it.
void tst_NumberRules::numberAsSent_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("address");
    QTest::newRow("Chinese mobile") << QStringLiteral("13800000000") << QStringLiteral("8613800000000") << QStringLiteral("8613800000000");
    QTest::newRow("Chinese mobile with 86") << QStringLiteral("8613800000000") << QStringLiteral("8613800000000") << QStringLiteral("8613800000000");
    QTest::newRow("+86") << QStringLiteral("+8613800000000") << QStringLiteral("8613800000000") << QStringLiteral("8613800000000");
    QTest::newRow("+ before a Chinese mobile means China") << QStringLiteral("+13800000000") << QStringLiteral("8613800000000")
                                                           << QStringLiteral("8613800000000");
    QTest::newRow("+ before a mobile of 199") << QStringLiteral("+19912345678") << QStringLiteral("8619912345678")
                                              << QStringLiteral("8619912345678");
    QTest::newRow("Hong Kong +852") << QStringLiteral("+85291234567") << QStringLiteral("+85291234567") << QStringLiteral("85291234567");
    QTest::newRow("Macau +853") << QStringLiteral("+85366123456") << QStringLiteral("+85366123456") << QStringLiteral("85366123456");
    QTest::newRow("Taiwan +886") << QStringLiteral("+886912345678") << QStringLiteral("+886912345678") << QStringLiteral("886912345678");
    QTest::newRow("USA +1, area code 202") << QStringLiteral("+12025550123") << QStringLiteral("+12025550123") << QStringLiteral("12025550123");
    QTest::newRow("UK +44") << QStringLiteral("+447700900123") << QStringLiteral("+447700900123") << QStringLiteral("447700900123");
    QTest::newRow("+1 and ten digits is no Chinese mobile") << QStringLiteral("+1380000000") << QStringLiteral("+1380000000")
                                                            << QStringLiteral("1380000000");
    QTest::newRow("+ and 12 is no Chinese mobile") << QStringLiteral("+12800000000") << QStringLiteral("+12800000000")
                                                   << QStringLiteral("12800000000");
    QTest::newRow("Hong Kong without + is taken as Chinese") << QStringLiteral("85291234567") << QStringLiteral("8685291234567")
                                                             << QStringLiteral("8685291234567");
    QTest::newRow("service number 10086") << QStringLiteral("10086") << QStringLiteral("8610086") << QStringLiteral("8610086");
    QTest::newRow("short code 12306") << QStringLiteral("12306") << QStringLiteral("8612306") << QStringLiteral("8612306");
    QTest::newRow("short code beginning 86") << QStringLiteral("8612") << QStringLiteral("8612") << QStringLiteral("8612");
    QTest::newRow("+ and a short code") << QStringLiteral("+10086") << QStringLiteral("+10086") << QStringLiteral("10086");
    QTest::newRow("24 digits gain two") << QString(24, QLatin1Char('1')) << QStringLiteral("86") + QString(24, QLatin1Char('1'))
                                        << QStringLiteral("86") + QString(24, QLatin1Char('1'));
}

void tst_NumberRules::numberAsSent()
{
    QFETCH(QString, text);
    QFETCH(QString, sent);
    QFETCH(QString, address);
    QCOMPARE(NumberAsSent(text), sent);
    QCOMPARE(InternationalDigits(NumberAsSent(text)), address);
    // What the records hold goes out the same when sent again or replied to.
    QCOMPARE(NumberAsSent(sent), sent);
}

void tst_NumberRules::phoneKey_data()
{
    QTest::addColumn<QString>("one");
    QTest::addColumn<QString>("other");
    QTest::addColumn<bool>("same");
    QTest::newRow("national and with 86") << QStringLiteral("13900000001") << QStringLiteral("8613900000001") << true;
    QTest::newRow("national and +86") << QStringLiteral("13900000001") << QStringLiteral("+8613900000001") << true;
    QTest::newRow("+ before the mobile and +86") << QStringLiteral("+13900000001") << QStringLiteral("+8613900000001") << true;
    QTest::newRow("Hong Kong is not 86 and Hong Kong") << QStringLiteral("+85291234567") << QStringLiteral("8685291234567") << false;
    QTest::newRow("Hong Kong is not 85291234567 without +") << QStringLiteral("+85291234567") << QStringLiteral("85291234567") << false;
    QTest::newRow("two mobiles") << QStringLiteral("13900000001") << QStringLiteral("13900000002") << false;
}

void tst_NumberRules::phoneKey()
{
    QFETCH(QString, one);
    QFETCH(QString, other);
    QFETCH(bool, same);
    QCOMPARE(PhoneKey(one) == PhoneKey(other), same);
}

void tst_NumberRules::readFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QStringList>("numbers");
    QTest::addColumn<int>("failures");
    const QStringList one{QStringLiteral("8613800000000")};
    QTest::newRow("numbers abroad as sent, one phone once")
        << QByteArray("start\n+85291234567\n+8613800000000\n13800000000\n+13800000000\n8685291234567\nend\n") << true
        << QStringList{QStringLiteral("+85291234567"), QStringLiteral("8613800000000"), QStringLiteral("8685291234567")} << 0;
    QTest::newRow("mixed lines") << QByteArray("start\n13800000000\n+8613800000000\n138 0000\nabc\n\nend\n") << true << one << 2;
    QTest::newRow("CR LF like LF") << QByteArray("start\r\n13800000000\r\n+8613800000000\r\n138 0000\r\nabc\r\n\r\nend\r\n") << true << one << 2;
    QTest::newRow("words after start") << QByteArray("start of my list\n13800000000\nend") << true << one << 0;
    QTest::newRow("blank before start") << QByteArray(" start\n13800000000\nend\n") << false << QStringList() << 0;
    QTest::newRow("upper-case START") << QByteArray("START\n13800000000\nend\n") << false << QStringList() << 0;
    QTest::newRow("other first word") << QByteArray("begin\n13800000000\nend\n") << false << QStringList() << 0;
    QTest::newRow("no end line") << QByteArray("start\n13800000000\n") << false << QStringList() << 0;
    QTest::newRow("lines after end ignored") << QByteArray("start\n13800000000\nend\n13900000000\n") << true << one << 0;
    QTest::newRow("END is a failure") << QByteArray("start\n13800000000\nEND\nend\n") << true << one << 1;
    QTest::newRow("plus alone is a failure") << QByteArray("start\n+\nend\n") << true << QStringList() << 1;
    QTest::newRow("blanks around") << QByteArray("start\n \t13800000000 \v\f\nend\n") << true << one << 0;
    QTest::newRow("line over 511 characters ends the file")
        << (QByteArray("start\n13800000000\n") + QByteArray(600, '1') + "\nend\n") << false << QStringList() << 0;
    QTest::newRow("line of 511 characters is read")
        << (QByteArray("start\n") + QByteArray(511, '1') + "\nend\n") << true << QStringList() << 1;
    QTest::newRow("GBK line is a failure") << QByteArray("start\n\xb6\xcc\xd0\xc5\nend\n") << true << QStringList() << 1;
    QTest::newRow("empty file") << QByteArray() << false << QStringList() << 0;
}

void tst_NumberRules::readFile()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, valid);
    QFETCH(QStringList, numbers);
    QFETCH(int, failures);
    const QString path = m_dir.filePath(QStringLiteral("numbers.txt"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    f.close();
    QStringList got{QStringLiteral("left over")};
    int counted = 0;
    QCOMPARE(ReadNumberFile(path, &got, &counted), valid);
    QCOMPARE(got, numbers);
    if (valid)
        QCOMPARE(counted, failures);
}

void tst_NumberRules::missingFileIsInvalid()
{
    QStringList got{QStringLiteral("x")};
    int counted = 0;
    QVERIFY(!ReadNumberFile(m_dir.filePath(QStringLiteral("absent.txt")), &got, &counted));
    QVERIFY(got.isEmpty());
}

void tst_NumberRules::failuresAreAddedToTheCounter()
{
    const QString path = m_dir.filePath(QStringLiteral("bad.txt"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("start\nabc\nend\n");
    f.close();
    QStringList got;
    int counted = 5;
    QVERIFY(ReadNumberFile(path, &got, &counted));
    QCOMPARE(counted, 6);
}

void tst_NumberRules::writtenForm()
{
    QCOMPARE(NumberFileText({QStringLiteral("13800000000"), QStringLiteral("abc")}), QByteArray("start\n13800000000\nabc\nend"));
    QCOMPARE(NumberFileText({}), QByteArray("start\nend"));
    // What the export writes, the import reads back.
    const QString path = m_dir.filePath(QStringLiteral("round.txt"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(NumberFileText({QStringLiteral("8613800000000"), QStringLiteral("8613900000000")}));
    f.close();
    QStringList got;
    int counted = 0;
    QVERIFY(ReadNumberFile(path, &got, &counted));
    QCOMPARE(got, (QStringList{QStringLiteral("8613800000000"), QStringLiteral("8613900000000")}));
}

QTEST_GUILESS_MAIN(tst_NumberRules)
#include "tst_numberrules.moc"
