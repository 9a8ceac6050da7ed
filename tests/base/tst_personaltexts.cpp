// One text filled in for many recipients: where each field's value comes from (the
// recipient's own file, the phone book, the number), the checks made before anything is
// queued (texts over 140 bytes, empty fields) and the count of the longest text.
#include "base/MessageText.h"
#include "base/PersonalTexts.h"

#include <QTest>

namespace {
const QString kA = QStringLiteral("8613800000001");
const QString kB = QStringLiteral("8613800000002");
const QString kC = QStringLiteral("8613800000003");

BookIndex Book()
{
    BookIndex book;
    // T_BOOK holds numbers as typed: looked up as the number rule normalises them.
    PersonalTexts::AddToBook(book, QStringLiteral("13800000001"), QStringLiteral("张三"), QStringLiteral("客户"));
    PersonalTexts::AddToBook(book, QStringLiteral("8613800000002"), QStringLiteral("Li Si"), QStringLiteral("friend"));
    PersonalTexts::AddToBook(book, QStringLiteral(""), QStringLiteral("无号码"), QString());
    return book;
}

RecipientFields Csv()
{
    RecipientFields f;
    const QStringList columns{QStringLiteral("号码"), QStringLiteral("名字"), QStringLiteral("金额")};
    f.Add(kA, columns, {QStringLiteral("13800000001"), QStringLiteral(""), QStringLiteral("12.50")});
    f.Add(kB, columns, {QStringLiteral("13800000002"), QStringLiteral("老李"), QStringLiteral("3")});
    return f;
}
} // namespace

class tst_PersonalTexts : public QObject
{
    Q_OBJECT
private slots:
    void fill_data();
    void fill();
    void tooLongCountedAndNamed();
    void longestAndBytesAsCounted();
    void textWithoutFields();
    void fieldsAsMapsByNumber();
    void recipientFieldsMergeAndStore();
};

void tst_PersonalTexts::fill_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("withCsv");
    QTest::addColumn<QStringList>("texts"); // for kA, kB, kC
    QTest::addColumn<int>("empty");

    QTest::newRow("name and relation from the phone book")
        << QStringLiteral("{名字}({关系})") << false
        << QStringList{QStringLiteral("张三(客户)"), QStringLiteral("Li Si(friend)"), QStringLiteral("()")} << 1;
    QTest::newRow("the number as given")
        << QStringLiteral("{号码}") << false
        << QStringList{QStringLiteral("13800000001"), QStringLiteral("+8613800000002"), QStringLiteral("13800000003")} << 0;
    QTest::newRow("the file's name wins, an empty cell falls back to the book")
        << QStringLiteral("{名字}") << true
        << QStringList{QStringLiteral("张三"), QStringLiteral("老李"), QString()} << 1;
    QTest::newRow("a column of the file; a number without a row has it empty")
        << QStringLiteral("共{金额}元") << true
        << QStringList{QStringLiteral("共12.50元"), QStringLiteral("共3元"), QStringLiteral("共元")} << 1;
    QTest::newRow("the file's number column as written")
        << QStringLiteral("{号码}") << true
        << QStringList{QStringLiteral("13800000001"), QStringLiteral("13800000002"), QStringLiteral("13800000003")} << 0;
    QTest::newRow("a field nobody knows stays as written")
        << QStringLiteral("{名字}{日期}") << false
        << QStringList{QStringLiteral("张三{日期}"), QStringLiteral("Li Si{日期}"), QStringLiteral("{日期}")} << 1;
}

void tst_PersonalTexts::fill()
{
    QFETCH(QString, text);
    QFETCH(bool, withCsv);
    QFETCH(QStringList, texts);
    QFETCH(int, empty);
    const FilledTexts filled = PersonalTexts::Fill(TextTemplate(text), {kA, kB, kC},
                                                   {QStringLiteral("13800000001"), QStringLiteral("+8613800000002"),
                                                    QStringLiteral("13800000003")},
                                                   withCsv ? Csv() : RecipientFields(), Book());
    QCOMPARE(filled.m_texts, texts);
    QCOMPARE(filled.m_nEmptyField, empty);
    QCOMPARE(filled.m_nTooLong, 0);
}

void tst_PersonalTexts::tooLongCountedAndNamed()
{
    // 68 Chinese characters and the name: 136 bytes and 2 more for each character of the name.
    const QString text = QString(68, QChar(0x4E2D)) + QStringLiteral("{名字}");
    RecipientFields f;
    const QStringList columns{QStringLiteral("名字")};
    f.Add(kA, columns, {QStringLiteral("王五")});        // 136 + 4 = 140: fits
    f.Add(kB, columns, {QStringLiteral("欧阳大")});      // 142
    f.Add(kC, columns, {QStringLiteral("ab")});          // 138
    const QString kD = QStringLiteral("8613800000004");
    f.Add(kD, columns, {QStringLiteral("司马相如")});    // 144
    const QStringList numbers{kA, kB, kC, kD};
    const FilledTexts filled = PersonalTexts::Fill(TextTemplate(text), numbers, numbers, f, {});
    QCOMPARE(filled.m_nTooLong, 2);
    QCOMPARE(filled.m_nFirstTooLong, 1);
    QCOMPARE(filled.m_nLongest, 3);
    QCOMPARE(filled.m_nLongestBytes, 144);
    const OperatorMessage m = PersonalTexts::TooLong(filled, numbers);
    QCOMPARE(m.m_strText, QStringLiteral("2 条短信超过140字节, 例如: %1欧阳大\n(%2, 142字节)").arg(QString(68, QChar(0x4E2D)), kB));
    QCOMPARE(m.m_icon, IMessageBox::Warning);

    // A value that looks like a place to fill is the recipient's text.
    RecipientFields percent;
    percent.Add(kA, columns, {QStringLiteral("%1%2") + QString(70, u'x')});
    const FilledTexts odd = PersonalTexts::Fill(TextTemplate(QString(67, u'y') + QStringLiteral("{名字}")), {kA}, {kA}, percent, {});
    QCOMPARE(PersonalTexts::TooLong(odd, {kA}).m_strText,
             QStringLiteral("1 条短信超过140字节, 例如: ") + QString(67, u'y') + QStringLiteral("%1%2") + QString(70, u'x')
                 + QStringLiteral("\n(") + kA + QStringLiteral(", 141字节)"));
}

void tst_PersonalTexts::longestAndBytesAsCounted()
{
    // Values of every kind: ASCII, Chinese, a character GBK lacks (4 bytes), a surrogate pair.
    RecipientFields f;
    const QStringList values{QStringLiteral("abc"), QStringLiteral("中文"), QStringLiteral("\u20AC"), QStringLiteral("😀x"),
                             QString()};
    QStringList numbers;
    for (int i = 0; i < values.size(); ++i) {
        numbers << QStringLiteral("861380000001%1").arg(i);
        f.Add(numbers.last(), {QStringLiteral("值")}, {values.at(i)});
    }
    const FilledTexts filled = PersonalTexts::Fill(TextTemplate(QStringLiteral("[{值}]")), numbers, numbers, f, {});
    int longest = 0;
    for (const QString &t : filled.m_texts)
        longest = std::max(longest, MessageText::ByteCount(t));
    QCOMPARE(filled.m_nLongestBytes, longest);
    QCOMPARE(MessageText::ByteCount(filled.Longest()), longest);
    QCOMPARE(filled.m_nEmptyField, 1);
}

void tst_PersonalTexts::textWithoutFields()
{
    const QStringList numbers{kA, kB};
    const FilledTexts same = PersonalTexts::Fill(TextTemplate(QStringLiteral("a {{b}}")), numbers, numbers, {}, Book());
    QCOMPARE(same.m_texts, (QStringList{QStringLiteral("a {b}"), QStringLiteral("a {b}")}));
    QCOMPARE(same.m_nLongestBytes, 5);
    const FilledTexts over = PersonalTexts::Fill(TextTemplate(QString(141, u'x')), numbers, numbers, {}, {});
    QCOMPARE(over.m_nTooLong, 2);
    QCOMPARE(PersonalTexts::Fill(TextTemplate(QStringLiteral("x")), {}, {}, {}, {}).m_nLongest, -1);
}

void tst_PersonalTexts::fieldsAsMapsByNumber()
{
    // Keyed by the number in any form the number rule reads, as a caller over the network gives them.
    const QHash<QString, FieldValues> fields{
        {QStringLiteral("13800000001"), {{QStringLiteral("金额"), QStringLiteral("12.50")}}},
        {QStringLiteral("+8613800000002"), {{QStringLiteral("金额"), QStringLiteral("7")}, {QStringLiteral("名字"), QStringLiteral("小王")}}},
    };
    QCOMPARE(PersonalTexts::FieldsByNumber(fields).Columns().size(), 2);
    const FilledTexts filled = PersonalTexts::Fill(TextTemplate(QStringLiteral("{名字}:{金额}")),
                                                   {QStringLiteral("8613800000001"), QStringLiteral("13800000002")}, fields,
                                                   Book());
    QCOMPARE(filled.m_texts, (QStringList{QStringLiteral("张三:12.50"), QStringLiteral("小王:7")}));
}

void tst_PersonalTexts::recipientFieldsMergeAndStore()
{
    RecipientFields first = Csv();
    RecipientFields second;
    second.Add(kA, {QStringLiteral("日期"), QStringLiteral("金额")}, {QStringLiteral("5月1日"), QStringLiteral("99")});
    second.Add(kC, {QStringLiteral("日期")}, {QStringLiteral("6月1日")});
    first.Merge(second);
    QCOMPARE(first.Columns(), (QStringList{QStringLiteral("号码"), QStringLiteral("名字"), QStringLiteral("金额"), QStringLiteral("日期")}));
    // The last file gives the columns it has; the others stay.
    QCOMPARE(first.Value(kA, first.ColumnIndex(QStringLiteral("金额"))), QStringLiteral("99"));
    QCOMPARE(first.Value(kA, first.ColumnIndex(QStringLiteral("号码"))), QStringLiteral("13800000001"));
    QCOMPARE(first.Value(kC, first.ColumnIndex(QStringLiteral("日期"))), QStringLiteral("6月1日"));
    QCOMPARE(first.Value(kC, first.ColumnIndex(QStringLiteral("金额"))), QStringLiteral(""));

    const FieldValues values = first.Values(kA);
    QCOMPARE(RecipientFields::Decode(RecipientFields::Encode(values)), values);
    QCOMPARE(RecipientFields::Encode({}), QString());
    QVERIFY(RecipientFields::Decode(QString()).isEmpty());

    first.Retain({kC});
    QVERIFY(!first.Has(kA));
    QVERIFY(first.Has(kC));
    QCOMPARE(first.Columns().size(), 4);
}

QTEST_APPLESS_MAIN(tst_PersonalTexts)
#include "tst_personaltexts.moc"
