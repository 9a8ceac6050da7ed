// A text with fields: which fields it uses, how braces are written, which field is unknown,
// and the text filled in with values.
#include "base/TextTemplate.h"

#include <QTest>

class tst_TextTemplate : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void unknownField_data();
    void unknownField();
    void literalBytes();
};

void tst_TextTemplate::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("filled");
    QTest::addColumn<bool>("plain");

    QTest::newRow("no field") << QStringLiteral("在做一个短信软件") << QStringList() << QStringList()
                              << QStringLiteral("在做一个短信软件") << true;
    QTest::newRow("one field") << QStringLiteral("尊敬的{名字}:") << QStringList{QStringLiteral("名字")}
                               << QStringList{QStringLiteral("张三")} << QStringLiteral("尊敬的张三:") << false;
    QTest::newRow("a field twice is one field")
        << QStringLiteral("{名字},{名字}") << QStringList{QStringLiteral("名字")} << QStringList{QStringLiteral("李")}
        << QStringLiteral("李,李") << false;
    QTest::newRow("fields in the order of first use")
        << QStringLiteral("{金额}元 {名字} {金额}") << QStringList{QStringLiteral("金额"), QStringLiteral("名字")}
        << QStringList{QStringLiteral("12.50"), QStringLiteral("王")} << QStringLiteral("12.50元 王 12.50") << false;
    QTest::newRow("blanks around a name are not part of it")
        << QStringLiteral("{ 名字 }") << QStringList{QStringLiteral("名字")} << QStringList{QStringLiteral("赵")}
        << QStringLiteral("赵") << false;
    QTest::newRow("doubled braces write a brace")
        << QStringLiteral("{{名字}} {{") << QStringList() << QStringList() << QStringLiteral("{名字} {") << false;
    QTest::newRow("doubled braces around a field")
        << QStringLiteral("{{{名字}}}") << QStringList{QStringLiteral("名字")} << QStringList{QStringLiteral("周")}
        << QStringLiteral("{周}") << false;
    QTest::newRow("a lone opening brace is text") << QStringLiteral("a { b") << QStringList() << QStringList()
                                                  << QStringLiteral("a { b") << true;
    QTest::newRow("a lone closing brace is text") << QStringLiteral("a } b") << QStringList() << QStringList()
                                                  << QStringLiteral("a } b") << true;
    QTest::newRow("empty braces are text") << QStringLiteral("{}") << QStringList() << QStringList() << QStringLiteral("{}")
                                           << true;
    QTest::newRow("a field ends on its own line")
        << QStringLiteral("{名字\n}") << QStringList() << QStringList() << QStringLiteral("{名字\n}") << true;
    QTest::newRow("a brace before a field is text")
        << QStringLiteral("{a{名字}") << QStringList{QStringLiteral("名字")} << QStringList{QStringLiteral("吴")}
        << QStringLiteral("{a吴") << false;
    QTest::newRow("an empty value leaves nothing")
        << QStringLiteral("尊敬的{名字}:") << QStringList{QStringLiteral("名字")} << QStringList{QStringLiteral("")}
        << QStringLiteral("尊敬的:") << false;
    QTest::newRow("no value at all leaves the field as written")
        << QStringLiteral("共{金额}元") << QStringList{QStringLiteral("金额")} << QStringList{QString()}
        << QStringLiteral("共{金额}元") << false;
}

void tst_TextTemplate::parse()
{
    QFETCH(QString, text);
    QFETCH(QStringList, fields);
    QFETCH(QStringList, values);
    QFETCH(QString, filled);
    QFETCH(bool, plain);
    const TextTemplate t(text);
    QCOMPARE(t.Fields(), fields);
    QCOMPARE(t.HasFields(), !fields.isEmpty());
    QCOMPARE(t.IsPlain(), plain);
    QCOMPARE(t.Fill(values), filled);
    QCOMPARE(t.Text(), text);
}

void tst_TextTemplate::unknownField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QString>("unknown");
    QTest::newRow("built-in fields are always known")
        << QStringLiteral("{名字}{关系}{号码}") << QStringList() << QString();
    QTest::newRow("a column of the file") << QStringLiteral("{名字} {金额}") << QStringList{QStringLiteral("金额")} << QString();
    QTest::newRow("no file: a column is unknown") << QStringLiteral("{名字} {金额}") << QStringList() << QStringLiteral("金额");
    QTest::newRow("the first unknown one") << QStringLiteral("{日期}{金额}") << QStringList{QStringLiteral("号码")}
                                           << QStringLiteral("日期");
    QTest::newRow("names are told apart by case") << QStringLiteral("{code}") << QStringList{QStringLiteral("Code")}
                                                  << QStringLiteral("code");
}

void tst_TextTemplate::unknownField()
{
    QFETCH(QString, text);
    QFETCH(QStringList, columns);
    QFETCH(QString, unknown);
    const TextTemplate t(text);
    QCOMPARE(t.UnknownField(columns), unknown);
    if (!unknown.isEmpty()) {
        const OperatorMessage m = TextTemplate::UnknownFieldMessage(unknown);
        QCOMPARE(m.m_strText, QStringLiteral("未知的字段: {%1}").arg(unknown));
        QCOMPARE(m.m_icon, IMessageBox::Warning);
    }
}

void tst_TextTemplate::literalBytes()
{
    // What a filled text counts besides its values: GBK bytes, a Chinese character 2.
    QCOMPARE(TextTemplate(QStringLiteral("尊敬的{名字}, 您好")).LiteralBytes(), 6 + 2 + 4);
    QCOMPARE(TextTemplate(QStringLiteral("{{}}")).LiteralBytes(), 2);
}

QTEST_APPLESS_MAIN(tst_TextTemplate)
#include "tst_texttemplate.moc"
