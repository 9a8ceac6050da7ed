// The opt-out list end to end, skevo-cli against the simulated modem and a real database:
// replies "TD" and "退订 " put their senders on the list, and the next bulk send of every
// station skips them and says how many; the words of setting.ini changed between runs; the
// list's own commands and an order's numbers.
#include "CliDbTest.h"
#include "CliRun.h"
#include "EngineRig.h"

#include "outbox/OptOutList.h"

#include <QtTest>

namespace {
constexpr int kWaitMs = 60000;

// Arrivals stored in the modem, read and journalled by a listen of a few seconds.
int Listen(const CliPlace &place, ModemSimulator &sim, const QList<std::pair<QString, QString>> &arrivals)
{
    for (const auto &[from, text] : arrivals) {
        DeliverSpec spec;
        spec.from = from;
        spec.text = text;
        if (!sim.StoreArrival(spec).ok)
            return -3;
    }
    Cli cli(place);
    return cli.Run(QStringList{QStringLiteral("listen")} << ModemArgs(sim) << QStringLiteral("--seconds") << QStringLiteral("3"),
                   kWaitMs);
}

QStringList Recipients(const ModemSimulator &sim)
{
    QStringList numbers;
    for (const ModemSimulator::Submit &s : sim.Submits())
        numbers << s.message.number;
    numbers.sort();
    return numbers;
}
} // namespace

class tst_OptOutCli : public CliDbTest
{
    Q_OBJECT
private slots:
    void repliesSkipTheNextSends_data() { DbTargets::AddDialectRows(); }
    void repliesSkipTheNextSends();
    void commands_data() { DbTargets::AddDialectRows(); }
    void commands();
};

void tst_OptOutCli::repliesSkipTheNextSends()
{
    FRESH_DB(db);
    CliPlace place(db);
    ModemSimulator sim;
    QVERIFY(sim.Start());
    QCOMPARE(Listen(place, sim,
                    {{QStringLiteral("+8613911111111"), QStringLiteral("TD")},
                     {QStringLiteral("13922222222"), QStringLiteral("退订 ")},
                     {QStringLiteral("+8613933333333"), QStringLiteral("TD please")}}),
             0);
    Cli list(place);
    QCOMPARE(list.Run({QStringLiteral("optout"), QStringLiteral("list")}), 0);
    QCOMPARE(list.Lines().size(), 2);
    for (const QString &line : list.Lines())
        QCOMPARE(line.section(u'\t', 2, 2), QStringLiteral("回复"));
    QCOMPARE(list.ErrLines(), QStringList{QStringLiteral("共 2 个号码")});

    // Each station's send leaves them out, whatever the spelling of the number.
    const QStringList to{QStringLiteral("--to"), QStringLiteral("8613911111111"), QStringLiteral("--to"), QStringLiteral("+8613922222222"),
                         QStringLiteral("--to"), QStringLiteral("13933333333"), QStringLiteral("--to"), QStringLiteral("13944444444"),
                         QStringLiteral("--text"), QStringLiteral("通知")};
    CliPlace otherStation(db);
    ModemSimulator otherSim;
    QVERIFY(otherSim.Start());
    for (auto [station, modem] : {std::pair{&place, &sim}, std::pair{&otherStation, &otherSim}}) {
        modem->ClearLog();
        Cli send(*station);
        QCOMPARE(send.Run(QStringList{QStringLiteral("send")} << ModemArgs(*modem) << to, kWaitMs), 0);
        QVERIFY2(send.ErrLines().contains(OptOutList::SkippedText(2)), qPrintable(send.Err()));
        QCOMPARE(Recipients(*modem), (QStringList{QStringLiteral("8613933333333"), QStringLiteral("8613944444444")}));
    }

    // Other words from the next run on.
    QVERIFY(place.SetSystem(QStringLiteral("OptOutWords"), QStringLiteral("停,QX")));
    QCOMPARE(Listen(place, sim,
                    {{QStringLiteral("13955555555"), QStringLiteral("TD")}, {QStringLiteral("13966666666"), QStringLiteral("ｑｘ")}}),
             0);
    Cli after(place);
    QCOMPARE(after.Run({QStringLiteral("optout"), QStringLiteral("list"), QStringLiteral("139666")}), 0);
    QCOMPARE(after.Lines().size(), 1);
    QCOMPARE(after.Lines().first().section(u'\t', 3), QStringLiteral("ｑｘ"));
    Cli none(place);
    QCOMPARE(none.Run({QStringLiteral("optout"), QStringLiteral("list"), QStringLiteral("139555")}), 0);
    QCOMPARE(none.Lines(), QStringList());
}

void tst_OptOutCli::commands()
{
    FRESH_DB(db);
    CliPlace place(db);
    Cli add(place);
    QCOMPARE(add.Run({QStringLiteral("optout"), QStringLiteral("add"), QStringLiteral("13900000001"), QStringLiteral("+85291234567")}), 0);
    Cli bad(place);
    QCOMPARE(bad.Run({QStringLiteral("optout"), QStringLiteral("add"), QStringLiteral("1390000000x")}), 2);
    Cli usage(place);
    QCOMPARE(usage.Run({QStringLiteral("optout"), QStringLiteral("remove")}), 2);

    const QString file = place.File(QStringLiteral("黑名单.csv"));
    Cli out(place);
    QCOMPARE(out.Run({QStringLiteral("optout"), QStringLiteral("export"), file}), 0);
    Cli del(place);
    QCOMPARE(del.Run({QStringLiteral("optout"), QStringLiteral("delete"), QStringLiteral("8613900000001")}), 0);
    Cli in(place);
    QCOMPARE(in.Run({QStringLiteral("optout"), QStringLiteral("import"), file}), 0);
    QCOMPARE(in.Lines(), QStringList{QStringLiteral("导入完成:增加1个,已经存在1个,拒绝0个")});
    Cli list(place);
    QCOMPARE(list.Run({QStringLiteral("optout"), QStringLiteral("list")}), 0);
    QStringList numbers;
    for (const QString &line : list.Lines())
        numbers << line.section(u'\t', 0, 0) + u' ' + line.section(u'\t', 2, 2);
    numbers.sort();
    QCOMPARE(numbers, (QStringList{QStringLiteral("+85291234567 手动"), QStringLiteral("13900000001 手动")}));

    // An order stores none of its listed numbers, and says so.
    Cli order(place);
    QCOMPARE(order.Run({QStringLiteral("orders"), QStringLiteral("add"), QStringLiteral("--start"), QStringLiteral("2030-1-2 3:04"),
                        QStringLiteral("--end"), QStringLiteral("2030-1-2 4:00"), QStringLiteral("--text"), QStringLiteral("x"),
                        QStringLiteral("--numbers"),
                        place.Numbers(QStringList{QStringLiteral("+8613900000001"), QStringLiteral("13900000002")})}),
             0);
    QVERIFY2(order.ErrLines().contains(OptOutList::SkippedText(1)), qPrintable(order.Err()));
    QCOMPARE(DbProbe(db).Column(QStringLiteral("SELECT D_NUMBER FROM T_PHONENUMBER")), QVariantList{QStringLiteral("8613900000002")});
}

QTEST_MAIN(tst_OptOutCli)
#include "tst_optout_cli.moc"
