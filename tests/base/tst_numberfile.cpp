// A file of numbers of either kind: the "start" ... "end" number file as before, or a CSV
// file with a header whose columns become each number's fields, in UTF-8 or GBK line by line.
#include "base/GbkText.h"
#include "base/NumberFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
QByteArray Gbk(const QString &text)
{
    return GbkText::ToGbk(text);
}

QByteArray Utf8(const QString &text)
{
    return text.toUtf8();
}

// number|column=value|... for each number read, columns in the file's order.
QStringList Rows(const NumberFile::Contents &c)
{
    QStringList rows;
    for (const QString &n : c.m_numbers) {
        QString row = n;
        for (int i = 0; i < c.m_fields.Columns().size(); ++i)
            row += u'|' + c.m_fields.Columns().at(i) + u'=' + c.m_fields.Value(n, i);
        rows << row;
    }
    return rows;
}
} // namespace

class tst_NumberFile : public QObject
{
    Q_OBJECT
private slots:
    void csv_data();
    void csv();
    void numberFileAsBefore();
    void missingFile();
};

void tst_NumberFile::csv_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("failed");
    QTest::addColumn<QString>("refusal");

    const QString ok;
    QTest::newRow("UTF-8 with a byte-order mark, CR LF")
        << QByteArray("\xEF\xBB\xBF") + Utf8(QStringLiteral("号码,名字,金额\r\n13800000001,张三,12.50\r\n13800000002,李四,3\r\n"))
        << true
        << QStringList{QStringLiteral("8613800000001|号码=13800000001|名字=张三|金额=12.50"),
                       QStringLiteral("8613800000002|号码=13800000002|名字=李四|金额=3")}
        << 0 << ok;
    QTest::newRow("GBK and UTF-8 lines in one file, LF")
        << Gbk(QStringLiteral("号码,名字\n13800000001,王五\n")) + Utf8(QStringLiteral("13800000002,赵六\n")) << true
        << QStringList{QStringLiteral("8613800000001|号码=13800000001|名字=王五"),
                       QStringLiteral("8613800000002|号码=13800000002|名字=赵六")}
        << 0 << ok;
    QTest::newRow("quoted cells hold commas and quotes")
        << Utf8(QStringLiteral("号码,地址,备注\n13800000001,\"北京, 朝阳区\",\"他说 \"\"好\"\"\"\n")) << true
        << QStringList{QStringLiteral("8613800000001|号码=13800000001|地址=北京, 朝阳区|备注=他说 \"好\"")} << 0 << ok;
    QTest::newRow("a header with spaces, values trimmed")
        << Utf8(QStringLiteral(" 号码 , 名字 ,  金额 \n 13800000001 , 张三 , 12.50 \n")) << true
        << QStringList{QStringLiteral("8613800000001|号码=13800000001|名字=张三|金额=12.50")} << 0 << ok;
    QTest::newRow("the number in any column, named as the phone book exports it")
        << Utf8(QStringLiteral("名字,电话号码,关系\n张三,13800000001,客户\n")) << true
        << QStringList{QStringLiteral("8613800000001|名字=张三|电话号码=13800000001|关系=客户")} << 0 << ok;
    QTest::newRow("bad numbers fail, repeats and blank lines are dropped")
        << Utf8(QStringLiteral("号码,名字\n13800000001,甲\n\n+8613800000001,乙\n138 0000,丙\n,丁\nabc\n,\n13800000002\n")) << true
        << QStringList{QStringLiteral("8613800000001|号码=13800000001|名字=甲"),
                       QStringLiteral("8613800000002|号码=13800000002|名字=")}
        << 3 << ok;
    QTest::newRow("a line neither UTF-8 nor GBK fails")
        << Utf8(QStringLiteral("号码,名字\n")) + QByteArray("13800000001,\xFF\xFF\n") + Utf8(QStringLiteral("13800000002,乙\n"))
        << true << QStringList{QStringLiteral("8613800000002|号码=13800000002|名字=乙")} << 1 << ok;
    QTest::newRow("a formula made inert by an export is read back")
        << Utf8(QStringLiteral("号码,备注\n13800000001,'=1+1\n")) << true
        << QStringList{QStringLiteral("8613800000001|号码=13800000001|备注==1+1")} << 0 << ok;
    QTest::newRow("a header alone") << Utf8(QStringLiteral("号码,名字\n")) << true << QStringList() << 0 << ok;
    QTest::newRow("no number column: CSV says what is missing")
        << Utf8(QStringLiteral("名字,金额\n张三,1\n")) << false << QStringList() << 0
        << QStringLiteral("该文件无效\nCSV文件的第一行应是各列的名字, 其中一列名为\"号码\"");
    QTest::newRow("numbers without a header or start line")
        << QByteArray("13800000001\n13800000002\n") << false << QStringList() << 0 << QStringLiteral("该文件无效");
    QTest::newRow("an empty file") << QByteArray() << false << QStringList() << 0 << QStringLiteral("该文件无效");
}

void tst_NumberFile::csv()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QFETCH(QStringList, rows);
    QFETCH(int, failed);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("numbers.csv")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const NumberFile::Contents c = NumberFile::Read(file.fileName());
    QCOMPARE(c.m_bValid, valid);
    QVERIFY(c.m_bCsv);
    QCOMPARE(Rows(c), rows);
    QCOMPARE(c.m_nFailed, failed);
    if (!valid)
        QCOMPARE(c.Refusal(), refusal);
}

void tst_NumberFile::numberFileAsBefore()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("numbers.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("start\r\n13800000000\r\n+8613800000000\r\nabc\r\nend\r\n");
    file.close();
    const NumberFile::Contents c = NumberFile::Read(file.fileName());
    QVERIFY(c.m_bValid);
    QVERIFY(!c.m_bCsv);
    QCOMPARE(c.m_numbers, QStringList{QStringLiteral("8613800000000")});
    QCOMPARE(c.m_nFailed, 1);
    QVERIFY(c.m_fields.IsEmpty());
    QVERIFY(c.m_fields.Columns().isEmpty());

    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("start\n13800000000\n");
    file.close();
    const NumberFile::Contents unfinished = NumberFile::Read(file.fileName());
    QVERIFY(!unfinished.m_bValid);
    QCOMPARE(unfinished.Refusal(), QStringLiteral("该文件无效"));
}

void tst_NumberFile::missingFile()
{
    QTemporaryDir dir;
    const NumberFile::Contents c = NumberFile::Read(dir.filePath(QStringLiteral("none.csv")));
    QVERIFY(!c.m_bValid);
    QVERIFY(c.m_numbers.isEmpty());
}

QTEST_APPLESS_MAIN(tst_NumberFile)
#include "tst_numberfile.moc"
