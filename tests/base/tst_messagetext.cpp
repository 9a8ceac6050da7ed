#include "base/MessageText.h"

#include <QTest>

class tst_MessageText : public QObject
{
    Q_OBJECT
private slots:
    void byteCount_data();
    void byteCount();
    void truncate_data();
    void truncate();
};

void tst_MessageText::byteCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bytes");
    QTest::newRow("default text") << QStringLiteral("在做一个短信软件,测试短信") << 25;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("70 Chinese characters") << QString(70, QChar(0x4E2D)) << 140;
    QTest::newRow("line break is the one LF sent") << QStringLiteral("a\nb") << 3;
    QTest::newRow("outside GBK counts four") << QStringLiteral("\U0001F600") << 4;
    QTest::newRow("euro sign") << QStringLiteral("€") << 2;
}

void tst_MessageText::byteCount()
{
    QFETCH(QString, text);
    QFETCH(int, bytes);
    QCOMPARE(MessageText::ByteCount(text), bytes);
}

void tst_MessageText::truncate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fits") << QStringLiteral("abc") << 3 << QStringLiteral("abc");
    QTest::newRow("never half a Chinese character") << QStringLiteral("a中文") << 4 << QStringLiteral("a中");
    QTest::newRow("139 bytes of Chinese") << QString(70, QChar(0x4E2D)) << 139 << QString(69, QChar(0x4E2D));
    QTest::newRow("line break takes one") << QStringLiteral("ab\ncd") << 3 << QStringLiteral("ab\n");
    QTest::newRow("never half a surrogate pair") << QStringLiteral("a\U0001F600") << 4 << QStringLiteral("a");
    QTest::newRow("whole surrogate pair") << QStringLiteral("a\U0001F600b") << 5 << QStringLiteral("a\U0001F600");
    QTest::newRow("nothing") << QStringLiteral("abc") << 0 << QString();
}

void tst_MessageText::truncate()
{
    QFETCH(QString, text);
    QFETCH(int, maxBytes);
    QFETCH(QString, expected);
    QCOMPARE(MessageText::Truncate(text, maxBytes), expected);
}

QTEST_GUILESS_MAIN(tst_MessageText)
#include "tst_messagetext.moc"
