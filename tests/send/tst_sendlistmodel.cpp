#include "send/CRandGenerator.h"
#include "send/SendListLogic.h"
#include "send/SendListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {
QStringList Letters(const char *letters)
{
    QStringList out;
    for (const char *p = letters; *p; ++p)
        out << QString(QLatin1Char(*p));
    return out;
}

QStringList Numbered(int n)
{
    QStringList out;
    out.reserve(n);
    for (int i = 0; i < n; ++i)
        out << QString::number(i);
    return out;
}

// True when the permutation of 0..n-1 written as text is one cycle through every position.
bool IsSingleCycle(const QStringList &shuffled)
{
    const int n = int(shuffled.size());
    int position = 0;
    for (int steps = 1; steps <= n; ++steps) {
        position = shuffled.at(position).toInt();
        if (position == 0)
            return steps == n;
    }
    return false;
}
} // namespace

class tst_SendListModel : public QObject
{
    Q_OBJECT
private slots:
    // Runs first: the process-wide generator has not been used yet.
    void firstShuffleOfTheProcess();
    void generatorSequence();

    void init();
    void cleanup();

    void sort_data();
    void sort();
    void removeDuplicates_data();
    void removeDuplicates();
    void shuffleOfFiveFromStart();
    void shuffleMovesEveryEntry_data();
    void shuffleMovesEveryEntry();
    void shuffleOfTwoSwaps();
    void shuffleOfOneKeepsIt();
    void shuffleAboveThirtyTwoThousandUsesTwoValues();
    void moveToFront_data();
    void moveToFront();
    void removeRows_data();
    void removeRows();
    void appendIsOneInsertion();
    void wholeListOperationsResetOnce_data();
    void wholeListOperationsResetOnce();
    void emptyListOperationsChangeNothing();
    void orderButtonSortsThenShuffles();
    void fieldsGoWithTheirNumbers_data();
    void fieldsGoWithTheirNumbers();

private:
    std::unique_ptr<SendListModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void tst_SendListModel::firstShuffleOfTheProcess()
{
    QCOMPARE(CRandGenerator::Instance().State(), 1u);
    SendListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    SendListLogic logic(model); // the process-wide generator
    model.Append(Letters("abc"));
    logic.SortOrShuffle();      // first click sorts
    QCOMPARE(model.GetAllNumbers(), Letters("abc"));
    logic.SortOrShuffle();      // second click shuffles
    QCOMPARE(model.GetAllNumbers(), Letters("bca"));
    QCOMPARE(&CRandGenerator::Instance(), &CRandGenerator::Instance());
    QVERIFY(CRandGenerator::Instance().State() != 1u);
}

void tst_SendListModel::generatorSequence()
{
    CRandGenerator generator;
    QCOMPARE(generator.Next(), 41);
    QCOMPARE(generator.Next(), 18467);
    QCOMPARE(generator.Next(), 6334);
    QCOMPARE(generator.Next(), 26500);
    for (int i = 0; i < 100000; ++i) {
        const int v = generator.Next();
        QVERIFY(v >= 0 && v <= 32767);
    }
}

void tst_SendListModel::init()
{
    m_model = std::make_unique<SendListModel>();
    m_tester = std::make_unique<QAbstractItemModelTester>(m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void tst_SendListModel::cleanup()
{
    m_tester.reset();
    m_model.reset();
}

void tst_SendListModel::sort_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("text order, not numeric")
        << QStringList{QStringLiteral("9"), QStringLiteral("13800000000"), QStringLiteral("10086")}
        << QStringList{QStringLiteral("10086"), QStringLiteral("13800000000"), QStringLiteral("9")};
    QTest::newRow("prefix first")
        << QStringList{QStringLiteral("100861"), QStringLiteral("10086"), QStringLiteral("1008")}
        << QStringList{QStringLiteral("1008"), QStringLiteral("10086"), QStringLiteral("100861")};
    QTest::newRow("plus before digits")
        << QStringList{QStringLiteral("13800000000"), QStringLiteral("+8613800000000")}
        << QStringList{QStringLiteral("+8613800000000"), QStringLiteral("13800000000")};
    QTest::newRow("empty entry first")
        << QStringList{QStringLiteral("1"), QString()} << QStringList{QString(), QStringLiteral("1")};
    QTest::newRow("upper case before lower case")
        << QStringList{QStringLiteral("a"), QStringLiteral("B")} << QStringList{QStringLiteral("B"), QStringLiteral("a")};
    // GBK puts 阿 (B0 A2) before 一 (D2 BB), unlike Unicode (U+963F after U+4E00).
    QTest::newRow("Chinese by GBK bytes")
        << QStringList{QStringLiteral("一"), QStringLiteral("阿"), QStringLiteral("9")}
        << QStringList{QStringLiteral("9"), QStringLiteral("阿"), QStringLiteral("一")};
    QTest::newRow("bytes above 127 after ASCII")
        << QStringList{QStringLiteral("é"), QStringLiteral("z")} << QStringList{QStringLiteral("z"), QStringLiteral("é")};
    QTest::newRow("one entry") << QStringList{QStringLiteral("5")} << QStringList{QStringLiteral("5")};
}

void tst_SendListModel::sort()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, expected);
    m_model->Append(entries);
    m_model->Sort();
    QCOMPARE(m_model->GetAllNumbers(), expected);
}

void tst_SendListModel::removeDuplicates_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("b a b") << Letters("bab") << Letters("ab");
    QTest::newRow("all equal") << Letters("cccc") << Letters("c");
    QTest::newRow("no repeats, sorted after") << Letters("dca") << Letters("acd");
    QTest::newRow("national and international forms stay two")
        << QStringList{QStringLiteral("8613800000000"), QStringLiteral("13800000000"), QStringLiteral("13800000000")}
        << QStringList{QStringLiteral("13800000000"), QStringLiteral("8613800000000")};
    QTest::newRow("empty entries become one")
        << QStringList{QString(), QStringLiteral("1"), QString()} << QStringList{QString(), QStringLiteral("1")};
    QTest::newRow("Chinese repeats")
        << QStringList{QStringLiteral("一"), QStringLiteral("阿"), QStringLiteral("一")}
        << QStringList{QStringLiteral("阿"), QStringLiteral("一")};
}

void tst_SendListModel::removeDuplicates()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, expected);
    m_model->Append(entries);
    m_model->RemoveDuplicates();
    QCOMPARE(m_model->GetAllNumbers(), expected);
}

void tst_SendListModel::shuffleOfFiveFromStart()
{
    // Values 41, 18467, 6334, 26500: i=1 swaps with 0, i=2 with 1, i=3 with 1, i=4 with 0.
    CRandGenerator generator;
    m_model->Append(Letters("abcde"));
    m_model->Shuffle(generator);
    QCOMPARE(m_model->GetAllNumbers(), Letters("edacb"));
}

void tst_SendListModel::shuffleMovesEveryEntry_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("three from start") << 3 << 1u;
    QTest::newRow("ten, other state") << 10 << 12345u;
    QTest::newRow("a thousand") << 1000 << 777u;
    QTest::newRow("forty thousand") << 40000 << 1u;
}

void tst_SendListModel::shuffleMovesEveryEntry()
{
    // Exchanging i with a position below i only builds one cycle through all entries.
    QFETCH(int, count);
    QFETCH(quint32, seed);
    CRandGenerator generator(seed);
    QStringList entries = Numbered(count);
    SendListModel::ShuffleEntries(entries, generator);
    QVERIFY(IsSingleCycle(entries));
    QStringList sorted = entries;
    std::sort(sorted.begin(), sorted.end());
    QStringList original = Numbered(count);
    std::sort(original.begin(), original.end());
    QCOMPARE(sorted, original);
}

void tst_SendListModel::shuffleOfTwoSwaps()
{
    for (quint32 seed : {1u, 2u, 99u, 0xffffffffu}) {
        CRandGenerator generator(seed);
        SendListModel model;
        model.Append(Letters("xy"));
        model.Shuffle(generator);
        QCOMPARE(model.GetAllNumbers(), Letters("yx"));
        model.Shuffle(generator);
        QCOMPARE(model.GetAllNumbers(), Letters("xy"));
    }
}

void tst_SendListModel::shuffleOfOneKeepsIt()
{
    CRandGenerator generator;
    m_model->Append(QStringLiteral("13800000000"));
    m_model->Shuffle(generator);
    QCOMPARE(m_model->GetAllNumbers(), QStringList{QStringLiteral("13800000000")});
    QCOMPARE(generator.State(), 1u); // nothing drawn
}

void tst_SendListModel::shuffleAboveThirtyTwoThousandUsesTwoValues()
{
    // Positions 32768 and 32769 draw two values each (high 15 bits first).
    CRandGenerator generator;
    QStringList entries = Numbered(32770);
    SendListModel::ShuffleEntries(entries, generator);
    QCOMPARE(entries.mid(0, 4), (QStringList{QStringLiteral("29026"), QStringLiteral("24640"), QStringLiteral("422"), QStringLiteral("28367")}));
    QCOMPARE(entries.mid(32767), (QStringList{QStringLiteral("29554"), QStringLiteral("19315"), QStringLiteral("644")}));
    CRandGenerator reference;
    for (int i = 0; i < 32769 + 2; ++i)
        reference.Next();
    QCOMPARE(generator.State(), reference.State());
}

void tst_SendListModel::moveToFront_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("b and d") << QList<int>{1, 3} << Letters("bdace");
    QTest::newRow("selection order does not matter") << QList<int>{3, 1} << Letters("bdace");
    QTest::newRow("first stays first") << QList<int>{0} << Letters("abcde");
    QTest::newRow("last to the top") << QList<int>{4} << Letters("eabcd");
    QTest::newRow("all") << QList<int>{4, 3, 2, 1, 0} << Letters("abcde");
    QTest::newRow("repeated and outside rows ignored") << QList<int>{3, 3, -1, 9} << Letters("dabce");
}

void tst_SendListModel::moveToFront()
{
    QFETCH(QList<int>, rows);
    QFETCH(QStringList, expected);
    m_model->Append(Letters("abcde"));
    m_model->MoveToFront(rows);
    QCOMPARE(m_model->GetAllNumbers(), expected);
}

void tst_SendListModel::removeRows_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<bool>("asBlocks");
    QTest::newRow("one row") << 5 << QList<int>{2} << true;
    QTest::newRow("two blocks") << 10 << QList<int>{8, 1, 2, 9} << true;
    QTest::newRow("every row") << 4 << QList<int>{0, 1, 2, 3} << true;
    QList<int> everyOther;
    for (int i = 0; i < 1000; i += 2)
        everyOther << i;
    QTest::newRow("every other of a thousand") << 1000 << everyOther << false;
}

void tst_SendListModel::removeRows()
{
    QFETCH(int, count);
    QFETCH(QList<int>, rows);
    QFETCH(bool, asBlocks);
    const QStringList entries = Numbered(count);
    m_model->Append(entries);
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);
    QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
    m_model->RemoveRows(rows);
    QStringList expected;
    for (int i = 0; i < count; ++i) {
        if (!rows.contains(i))
            expected << entries.at(i);
    }
    QCOMPARE(m_model->GetAllNumbers(), expected);
    QCOMPARE(reset.count(), asBlocks ? 0 : 1);
    QVERIFY(asBlocks ? removed.count() >= 1 && removed.count() <= 16 : removed.count() == 0);
}

void tst_SendListModel::appendIsOneInsertion()
{
    m_model->Append(QStringLiteral("first"));
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    m_model->Append(Numbered(1000));
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 1);
    QCOMPARE(inserted.at(0).at(2).toInt(), 1000);
    QCOMPARE(m_model->Count(), 1001);
    QCOMPARE(m_model->Entry(0), QStringLiteral("first"));
    QCOMPARE(m_model->Entry(1000), QStringLiteral("999"));
    QCOMPARE(m_model->data(m_model->index(1000)).toString(), QStringLiteral("999"));
}

void tst_SendListModel::wholeListOperationsResetOnce_data()
{
    QTest::addColumn<int>("operation");
    QTest::newRow("sort") << 0;
    QTest::newRow("remove duplicates") << 1;
    QTest::newRow("shuffle") << 2;
    QTest::newRow("move to front") << 3;
    QTest::newRow("clear") << 4;
}

void tst_SendListModel::wholeListOperationsResetOnce()
{
    QFETCH(int, operation);
    m_model->Append(Numbered(5000));
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(m_model.get(), &QAbstractItemModel::dataChanged);
    CRandGenerator generator;
    switch (operation) {
    case 0: m_model->Sort(); break;
    case 1: m_model->RemoveDuplicates(); break;
    case 2: m_model->Shuffle(generator); break;
    case 3: m_model->MoveToFront({10, 20, 4999}); break;
    case 4: m_model->Clear(); break;
    }
    QCOMPARE(reset.count(), 1);
    QCOMPARE(inserted.count() + removed.count() + changed.count(), 0);
}

void tst_SendListModel::emptyListOperationsChangeNothing()
{
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);
    CRandGenerator generator;
    m_model->Sort();
    m_model->RemoveDuplicates();
    m_model->Shuffle(generator);
    m_model->MoveToFront({0});
    m_model->RemoveRows({0});
    m_model->Clear();
    m_model->Append(QStringList());
    QCOMPARE(reset.count(), 0);
    QCOMPARE(m_model->Count(), 0);
    QCOMPARE(generator.State(), 1u);
}

void tst_SendListModel::orderButtonSortsThenShuffles()
{
    CRandGenerator generator;
    SendListLogic logic(*m_model, generator);
    QVERIFY(logic.SortNext());
    QCOMPARE(logic.OrderCaption(), QStringLiteral("顺序排列"));

    logic.SortOrShuffle(); // empty: nothing changes
    QVERIFY(logic.SortNext());
    QCOMPARE(logic.OrderCaption(), QStringLiteral("顺序排列"));

    m_model->Append({QStringLiteral("9"), QStringLiteral("13800000000"), QStringLiteral("10086")});
    logic.SortOrShuffle();
    QCOMPARE(m_model->GetAllNumbers(), (QStringList{QStringLiteral("10086"), QStringLiteral("13800000000"), QStringLiteral("9")}));
    QVERIFY(!logic.SortNext());
    QCOMPARE(logic.OrderCaption(), QStringLiteral("乱序排列"));

    logic.RemoveDuplicates(); // leaves the order button alone
    QCOMPARE(logic.OrderCaption(), QStringLiteral("乱序排列"));

    logic.SortOrShuffle(); // 41 % 1 = 0, 18467 % 2 = 1
    QCOMPARE(m_model->GetAllNumbers(), (QStringList{QStringLiteral("13800000000"), QStringLiteral("9"), QStringLiteral("10086")}));
    QVERIFY(logic.SortNext());
    QCOMPARE(logic.OrderCaption(), QStringLiteral("顺序排列"));
}

void tst_SendListModel::fieldsGoWithTheirNumbers_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("kept"); // numbers whose fields stay
    const QString a = QStringLiteral("8613800000001");
    const QString b = QStringLiteral("8613800000002");
    QTest::newRow("sorted and shuffled: every number keeps them") << QStringLiteral("sort") << QStringList{a, b};
    QTest::newRow("a row removed takes them") << QStringLiteral("remove first") << QStringList{b};
    QTest::newRow("a number still in the list keeps them") << QStringLiteral("remove the repeat") << QStringList{a, b};
    QTest::newRow("the list emptied") << QStringLiteral("clear") << QStringList();
}

void tst_SendListModel::fieldsGoWithTheirNumbers()
{
    QFETCH(QString, command);
    QFETCH(QStringList, kept);
    RecipientFields fields;
    const QStringList columns{QStringLiteral("号码"), QStringLiteral("金额")};
    fields.Add(QStringLiteral("8613800000001"), columns, {QStringLiteral("13800000001"), QStringLiteral("1")});
    fields.Add(QStringLiteral("8613800000002"), columns, {QStringLiteral("13800000002"), QStringLiteral("2")});
    // A number typed by hand is the same number as the file's.
    m_model->Append({QStringLiteral("13800000001"), QStringLiteral("8613800000002")}, fields);
    m_model->Append(QStringLiteral("+8613800000001"));
    if (command == QStringLiteral("sort"))
        m_model->Sort();
    else if (command == QStringLiteral("remove first"))
        m_model->RemoveRows({0, 2});
    else if (command == QStringLiteral("remove the repeat"))
        m_model->RemoveRows({0});
    else
        m_model->Clear();
    QStringList have;
    for (const QString &n : {QStringLiteral("8613800000001"), QStringLiteral("8613800000002")}) {
        if (m_model->Fields().Has(n))
            have << n;
    }
    QCOMPARE(have, kept);
    QCOMPARE(m_model->Fields().Columns().isEmpty(), command == QStringLiteral("clear"));
}

QTEST_GUILESS_MAIN(tst_SendListModel)
#include "tst_sendlistmodel.moc"
