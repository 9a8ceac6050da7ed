// The modem dialogue over a scripted line, without a thread, a pseudo-terminal or a database:
// the set-up table (the SIM and its PIN, PDU mode, registration, indications, storages) and
// the hand-over of a message with every answer a modem gives to it.
#include "FakeModemLine.h"
#include "at/AtChannel.h"
#include "outbox/Outbox.h"
#include "modem/ModemSetup.h"
#include "sms/PduCodec.h"
#include "modem/SubmitDialogue.h"

#include <QtTest>
#include <functional>

using Script = std::function<void(FakeModemLine &)>;
Q_DECLARE_METATYPE(Script)
Q_DECLARE_METATYPE(ModemReadiness)
Q_DECLARE_METATYPE(SubmitDialogue::Outcome)
Q_DECLARE_METATYPE(QVector<int>)

namespace {

using L = FakeModemLine;

// Short enough that a silent modem costs milliseconds.
ModemTimeouts Quick()
{
    ModemTimeouts t;
    t.handshakeMs = t.promptMs = t.finalAnswerMs = t.commandMs = t.pinMs = 60;
    t.promptAttempts = 2;
    t.commandAttempts = 1;
    t.answerMsPerByte = 0;
    return t;
}

QByteArray Cpin(const QByteArray &state)
{
    return L::Ok({"+CPIN: " + state});
}

QStringList Parts(int count)
{
    const QString text = count > 1 ? QString(100, QChar(u'字')) : QStringLiteral("你好");
    return Pdu::EncodeSubmitPdu(Pdu::MakeRecord(QStringLiteral("8613800100500"), QStringLiteral("8613900000001"), text, -1), 7)
        .parts;
}

} // namespace

class TestModemDialogue : public QObject
{
    Q_OBJECT
private slots:
    void setup_data();
    void setup();
    void pinCheckCutShortCountsAsRefused();
    void registrationAndOperatorAreTold();
    void indicationsNearestToStoredNotices_data();
    void indicationsNearestToStoredNotices();
    void refusedIndicationGivesWayToTheNext();
    void reportsHandedOverWhereNotStored();
    void storages_data();
    void storages();
    void submit_data();
    void submit();
};

void TestModemDialogue::setup_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<bool>("refusedBefore");
    QTest::addColumn<ModemReadiness>("readiness");
    QTest::addColumn<int>("pinEntries");
    QTest::addColumn<int>("refusalsTold");
    using R = ModemReadiness;
    const QString pin = QStringLiteral("1234");
    const auto lockedThen = [](QByteArrayList entry, QByteArrayList states) {
        return Script([entry, states](L &l) {
            l.On("AT+CPIN?", states);
            l.On("AT+CPIN=", entry);
        });
    };
    const auto reg = [](const QByteArray &stat) { return Script([stat](L &l) { l.On("AT+CREG?", {L::Ok({"+CREG: 1," + stat})}); }); };
    QTest::newRow("SIM ready, home network") << reg("1") << pin << false << R::Ready << 0 << 0;
    QTest::newRow("roaming") << reg("5") << QString() << false << R::Ready << 0 << 0;
    QTest::newRow("PIN asked and right") << lockedThen({L::Ok()}, {Cpin("SIM PIN"), Cpin("READY")}) << pin << false << R::Ready << 1 << 0;
    QTest::newRow("PIN asked, SIM busy a moment after it")
        << lockedThen({L::Ok()}, {Cpin("SIM PIN"), L::Final("+CME ERROR: 14"), Cpin("READY")}) << pin << false << R::Ready << 1 << 0;
    QTest::newRow("PIN asked, none given") << lockedThen({L::Ok()}, {Cpin("SIM PIN")}) << QString() << false << R::PinNeeded << 0 << 0;
    QTest::newRow("PIN asked, the one given is no PIN") << lockedThen({L::Ok()}, {Cpin("SIM PIN")}) << QStringLiteral("12ab") << false
                                                        << R::PinNeeded << 0 << 0;
    QTest::newRow("PIN asked, refused before: not entered") << lockedThen({L::Ok()}, {Cpin("SIM PIN")}) << pin << true
                                                             << R::PinRefused << 0 << 0;
    QTest::newRow("PIN wrong") << lockedThen({L::Final("+CME ERROR: 16")}, {Cpin("SIM PIN")}) << pin << false << R::PinRefused << 1 << 1;
    QTest::newRow("PIN wrong, plain ERROR") << lockedThen({L::Final("ERROR")}, {Cpin("SIM PIN")}) << pin << false << R::PinRefused << 1 << 1;
    QTest::newRow("PIN wrong for the third time") << lockedThen({L::Final("+CME ERROR: 16")}, {Cpin("SIM PIN"), Cpin("SIM PUK")}) << pin
                                                  << false << R::PukNeeded << 1 << 1;
    QTest::newRow("PIN entry unanswered, SIM still locked") << lockedThen({""}, {Cpin("SIM PIN")}) << pin << false << R::PinRefused << 1 << 1;
    QTest::newRow("PIN entry unanswered, SIM ready") << lockedThen({""}, {Cpin("SIM PIN"), Cpin("READY")}) << pin << false << R::Ready << 1 << 0;
    QTest::newRow("SIM busy: not entered, asked again") << lockedThen({L::Final("+CME ERROR: 14"), L::Ok()}, {Cpin("SIM PIN"), Cpin("READY")})
                                                        << pin << false << R::Ready << 2 << 0;
    QTest::newRow("PUK") << lockedThen({L::Ok()}, {Cpin("SIM PUK")}) << pin << false << R::PukNeeded << 0 << 0;
    QTest::newRow("no SIM") << lockedThen({L::Ok()}, {L::Final("+CME ERROR: 10")}) << pin << false << R::NoSim << 0 << 0;
    QTest::newRow("no SIM, in words") << lockedThen({L::Ok()}, {L::Final("+CME ERROR: SIM not inserted")}) << pin << false << R::NoSim << 0 << 0;
    QTest::newRow("SIM failure") << lockedThen({L::Ok()}, {L::Final("+CME ERROR: 13")}) << pin << false << R::SimUnusable << 0 << 0;
    QTest::newRow("phone locked to another SIM") << lockedThen({L::Ok()}, {Cpin("PH-SIM PIN")}) << pin << false << R::SimUnusable << 0 << 0;
    QTest::newRow("no AT+CPIN? at all") << lockedThen({L::Ok()}, {L::Final("ERROR")}) << pin << false << R::Ready << 0 << 0;
    QTest::newRow("searching") << reg("2") << pin << false << R::Searching << 0 << 0;
    QTest::newRow("registration denied") << reg("3") << pin << false << R::Denied << 0 << 0;
    QTest::newRow("not searching") << reg("0") << pin << false << R::NotRegistered << 0 << 0;
    QTest::newRow("no PDU mode") << Script([](L &l) { l.On("AT+CMGF=0", {L::Final("ERROR")}); }) << pin << false << R::NoPduMode << 0 << 0;
    QTest::newRow("PDU mode refused a moment after the PIN")
        << Script([](L &l) {
               l.On("AT+CPIN?", {Cpin("SIM PIN"), Cpin("READY")});
               l.On("AT+CMGF=0", {L::Final("+CMS ERROR: 302"), L::Ok()});
           })
        << pin << false << R::Ready << 1 << 0;
}

void TestModemDialogue::setup()
{
    QFETCH(Script, script);
    QFETCH(QString, pin);
    QFETCH(bool, refusedBefore);
    QFETCH(ModemReadiness, readiness);
    QFETCH(int, pinEntries);
    QFETCH(int, refusalsTold);
    FakeModemLine line;
    script(line);
    AtChannel channel(line);
    ModemConfig config;
    config.timeouts = Quick();
    config.pin = pin;
    config.pinRefused = refusedBefore;
    QStringList told;
    config.onPinRefused = [&told](const QString &p) { told << p; };
    ModemStatus status;
    ModemSetup setup(channel, config, status);
    QVERIFY(setup.Handshake());
    QCOMPARE(setup.Run(), readiness);
    QCOMPARE(status.Readiness(), readiness);
    QCOMPARE(line.Count(QStringLiteral("AT+CPIN=")), pinEntries);
    QCOMPARE(told.size(), refusalsTold);
    if (refusalsTold > 0) {
        QCOMPARE(told.first(), pin);
        QVERIFY(config.pinRefused);
        // Asked again (the worker does, now and then): never entered a second time.
        QCOMPARE(setup.Run(), readiness);
        QCOMPARE(line.Count(QStringLiteral("AT+CPIN=")), pinEntries);
    }
    if (pinEntries > 0)
        QCOMPARE(line.Written().filter(QStringLiteral("AT+CPIN=")).first(), QStringLiteral("AT+CPIN=\"1234\""));
    // A SIM that is not ready stops the set-up there: no message command reaches it.
    if (status.sim != ModemStatus::Sim::Ready)
        QCOMPARE(line.Count(QStringLiteral("AT+CMGF=0")), 0);
    else
        QVERIFY(line.Count(QStringLiteral("AT+CMGF=0")) >= 1);
}

// The program stops while the SIM checks the PIN, and no answer comes in the grace it gets:
// whether the PIN was wrong is not known, so it is never risked again.
void TestModemDialogue::pinCheckCutShortCountsAsRefused()
{
    FakeModemLine line;
    line.On("AT+CPIN?", {Cpin("SIM PIN")});
    line.On("AT+CPIN=", {""});
    std::atomic<bool> stop{false};
    line.onCommand = [&stop](const QByteArray &command) { stop = stop || command.startsWith("AT+CPIN="); };
    AtChannel channel(line, -1, &stop);
    ModemConfig config;
    config.timeouts = Quick();
    config.pin = QStringLiteral("1234");
    QStringList told;
    config.onPinRefused = [&told](const QString &p) { told << p; };
    ModemStatus status;
    ModemSetup setup(channel, config, status);
    QVERIFY(setup.Handshake());
    setup.Run();
    QCOMPARE(told, QStringList{QStringLiteral("1234")});
    QVERIFY(config.pinRefused);
    QCOMPARE(line.Count(QStringLiteral("AT+CPIN=")), 1);
}

void TestModemDialogue::registrationAndOperatorAreTold()
{
    FakeModemLine line;
    line.On("AT+CREG?", {L::Ok({"+CREG: 1,2"}), L::Ok({"+CREG: 1,5,\"00C3\",\"0010\""})});
    line.On("AT+COPS?", {L::Ok({"+COPS: 0,0,\"CHINA MOBILE\",0"})});
    line.On("AT+CSQ", {L::Ok({"+CSQ: 20,99"})});
    AtChannel channel(line);
    ModemConfig config;
    config.timeouts = Quick();
    config.timeouts.signalIntervalMs = 60000;
    ModemStatus status;
    ModemSetup setup(channel, config, status);
    QVERIFY(setup.Handshake());
    QCOMPARE(setup.Run(), ModemReadiness::Searching);
    QCOMPARE(line.Count(QStringLiteral("AT+COPS?")), 0); // no operator before registration
    QCOMPARE(status.signal->m_nRssi, 20);
    QCOMPARE(line.Count(QStringLiteral("AT+CREG=1")), 1); // notices where the modem gives them
    QCOMPARE(setup.CheckRegistration(), ModemReadiness::Ready);
    QCOMPARE(status.registration, ModemStatus::Registration::Roaming);
    QCOMPARE(status.operatorName, QStringLiteral("CHINA MOBILE"));
    QCOMPARE(line.Written().filter(QStringLiteral("AT+COPS")), (QStringList{QStringLiteral("AT+COPS=3,0"), QStringLiteral("AT+COPS?")}));

    // A notice of the registration arrives with anything else the modem says.
    line.Push("\r\n+CREG: 2\r\n");
    channel.Idle(1);
    const QVector<AtResponseParser::Notice> notices = channel.TakeNotices();
    QCOMPARE(notices.size(), 1);
    QCOMPARE(notices[0].kind, AtResponseParser::Notice::Registration);
    QCOMPARE(notices[0].index, 2);
}

void TestModemDialogue::indicationsNearestToStoredNotices_data()
{
    QTest::addColumn<QString>("test");
    QTest::addColumn<QString>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("reports");
    QTest::newRow("takes everything") << "(0-3),(0-3),(0-3),(0-2),(0,1)" << "AT+CNMI=2,1,0,0,0" << 6 << false;
    QTest::newRow("no buffering, only direct delivery") << "(0,1),(0,2),(0),(0),(0)" << "AT+CNMI=1,2,0,0,0" << 1 << false;
    QTest::newRow("four parameters") << "(1,2),(0-3),(0,2),(0,1)" << "AT+CNMI=2,1,0,0" << 4 << false;
    QTest::newRow("no indications at all") << "(0-2),(0),(0),(0),(0)" << "" << 0 << false;
    QTest::newRow("the modem does not say") << "" << "AT+CNMI=2,1,0,0,0" << 6 << false;
    // Reports asked for: stored first, then handed over, then (a modem that refuses both) none.
    QTest::newRow("reports stored") << "(0-3),(0-3),(0-3),(0-2),(0,1)" << "AT+CNMI=2,1,0,2,0" << 18 << true;
    QTest::newRow("reports only handed over") << "(0-2),(0-2),(0),(0,1),(0,1)" << "AT+CNMI=2,1,0,1,0" << 8 << true;
    QTest::newRow("a modem without reports") << "(0-2),(0-2),(0),(0),(0,1)" << "AT+CNMI=2,1,0,0,0" << 4 << true;
    QTest::newRow("reports, the modem does not say") << "" << "AT+CNMI=2,1,0,2,0" << 18 << true;
}

void TestModemDialogue::indicationsNearestToStoredNotices()
{
    QFETCH(QString, test);
    QFETCH(QString, first);
    QFETCH(int, count);
    QFETCH(bool, reports);
    const QVector<QByteArray> candidates = ModemSetup::IndicationCandidates(test, reports);
    QCOMPARE(QString::fromLatin1(candidates.value(0)), first);
    QCOMPARE(candidates.size(), count);
}

void TestModemDialogue::refusedIndicationGivesWayToTheNext()
{
    FakeModemLine line;
    line.On("AT+CNMI=?", {L::Ok({"+CNMI: (0-2),(0-2),(0),(0),(0,1)"})});
    line.On("AT+CNMI=2,1", {L::Final("+CMS ERROR: 303")});
    AtChannel channel(line);
    ModemConfig config;
    config.timeouts = Quick();
    ModemStatus status;
    ModemSetup setup(channel, config, status);
    QVERIFY(setup.Handshake());
    QCOMPARE(setup.Run(), ModemReadiness::Ready);
    QCOMPARE(setup.Result().indications, QByteArray("AT+CNMI=1,1,0,0,0"));
    QCOMPARE(line.Count(QStringLiteral("AT+CNMI=")), 3); // the test, the refused one, the taken one
}

// Report=1 on a modem that says it stores reports but refuses to: they are handed over instead,
// and the storage listed is the SIM's with the reports' own beside it.
void TestModemDialogue::reportsHandedOverWhereNotStored()
{
    FakeModemLine line;
    line.On("AT+CNMI=?", {L::Ok({"+CNMI: (0-2),(0-2),(0),(0-2),(0,1)"})});
    line.On("AT+CNMI=2,1,0,2", {L::Final("+CMS ERROR: 303")});
    line.On("AT+CNMI=1,1,0,2", {L::Final("+CMS ERROR: 303")});
    line.On("AT+CPMS=?", {L::Ok({"+CPMS: (\"SM\",\"SR\"),(\"SM\"),(\"SM\")"})});
    AtChannel channel(line);
    ModemConfig config;
    config.timeouts = Quick();
    config.requestReports = true;
    ModemStatus status;
    ModemSetup setup(channel, config, status);
    QVERIFY(setup.Handshake());
    QCOMPARE(setup.Run(), ModemReadiness::Ready);
    QCOMPARE(setup.Result().indications, QByteArray("AT+CNMI=2,1,0,1,0"));
    QCOMPARE(setup.Result().storages, (QStringList{QStringLiteral("SM"), QStringLiteral("SR")}));
}

void TestModemDialogue::storages_data()
{
    QTest::addColumn<QString>("test");
    QTest::addColumn<QStringList>("storages");
    const QString sm = QStringLiteral("SM"), me = QStringLiteral("ME");
    QTest::newRow("SIM and phone") << R"(("SM","ME","MT"),("SM","ME","MT"),("SM","ME"))" << QStringList{sm, me};
    QTest::newRow("SIM only") << R"(("SM"),("SM"),("SM"))" << QStringList{sm};
    QTest::newRow("phone first") << R"(("ME","SM"),("ME"),("ME"))" << QStringList{sm, me};
    QTest::newRow("neither by name") << R"(("MT"),("MT"),("MT"))" << QStringList{QStringLiteral("MT")};
    QTest::newRow("not said") << "" << QStringList{};
    QTest::newRow("status reports not asked for") << R"(("SM","SR"),("SM"),("SM"))" << QStringList{sm};
}

void TestModemDialogue::storages()
{
    QFETCH(QString, test);
    QFETCH(QStringList, storages);
    QCOMPARE(ModemSetup::ReadStorages(test), storages);
    // With reports, their own storage as well where the modem has one.
    const QStringList withReports = storages + (test.section(QLatin1Char(')'), 0, 0).contains(QStringLiteral("\"SR\""))
                                                    ? QStringList{QStringLiteral("SR")}
                                                    : QStringList{});
    QCOMPARE(ModemSetup::ReadStorages(test, true), withReports);
}

void TestModemDialogue::submit_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<int>("parts");
    QTest::addColumn<int>("from");
    QTest::addColumn<SubmitDialogue::Outcome>("outcome");
    QTest::addColumn<int>("partsSent");
    QTest::addColumn<QVector<int>>("references");
    QTest::addColumn<int>("pdusWritten");
    using O = SubmitDialogue::Outcome;
    const auto answers = [](QByteArrayList toCmgs, QByteArrayList toPdu) {
        return Script([toCmgs, toPdu](L &l) {
            l.On("AT+CMGS=", toCmgs);
            l.OnPdu(toPdu);
            l.On("AT+CMGF?", {L::Ok({"+CMGF: 0"})});
        });
    };
    const QByteArray prompt = L::Prompt();
    const auto refused = [&](const QByteArray &final) { return answers({prompt}, {L::Final(final)}); };
    QTest::newRow("taken") << answers({prompt}, {L::Ok({"+CMGS: 17"})}) << 1 << 0 << O::Sent << 1 << QVector<int>{17} << 1;
    QTest::newRow("no network service") << refused("+CMS ERROR: 331") << 1 << 0 << O::NetworkMissing << 0 << QVector<int>{} << 1;
    QTest::newRow("SMSC address unknown") << refused("+CMS ERROR: 330") << 1 << 0 << O::NetworkMissing << 0 << QVector<int>{} << 1;
    QTest::newRow("network time-out") << refused("+CMS ERROR: 332") << 1 << 0 << O::NetworkMissing << 0 << QVector<int>{} << 1;
    QTest::newRow("no network, +CME") << refused("+CME ERROR: 30") << 1 << 0 << O::NetworkMissing << 0 << QVector<int>{} << 1;
    QTest::newRow("emergency calls only, +CME") << refused("+CME ERROR: 32") << 1 << 0 << O::NetworkMissing << 0 << QVector<int>{} << 1;
    QTest::newRow("SIM wants its PIN, at AT+CMGS") << answers({L::Final("+CMS ERROR: 311")}, {}) << 1 << 0 << O::SimNotReady << 0
                                                   << QVector<int>{} << 0;
    QTest::newRow("no network, at AT+CMGS") << answers({L::Final("+CMS ERROR: 331")}, {}) << 1 << 0 << O::NetworkMissing << 0
                                            << QVector<int>{} << 0;
    QTest::newRow("refused by the network") << refused("+CMS ERROR: 500") << 1 << 0 << O::Refused << 0 << QVector<int>{} << 1;
    QTest::newRow("plain ERROR") << refused("ERROR") << 1 << 0 << O::Refused << 0 << QVector<int>{} << 1;
    QTest::newRow("no answer after the PDU") << answers({prompt}, {""}) << 1 << 0 << O::NoAnswer << 0 << QVector<int>{} << 1;
    QTest::newRow("no prompt however often asked") << answers({""}, {}) << 1 << 0 << O::Refused << 0 << QVector<int>{} << 0;
    QTest::newRow("second part refused for want of network")
        << answers({prompt}, {L::Ok({"+CMGS: 5"}), L::Final("+CMS ERROR: 331")}) << 2 << 0 << O::NetworkMissing << 1
        << QVector<int>{5} << 2;
    QTest::newRow("going on from the second part") << answers({prompt}, {L::Ok({"+CMGS: 6"})}) << 2 << 1 << O::Sent << 2
                                                   << QVector<int>{6} << 1;
}

void TestModemDialogue::submit()
{
    QFETCH(Script, script);
    QFETCH(int, parts);
    QFETCH(int, from);
    QFETCH(SubmitDialogue::Outcome, outcome);
    QFETCH(int, partsSent);
    QFETCH(QVector<int>, references);
    QFETCH(int, pdusWritten);
    FakeModemLine line;
    script(line);
    AtChannel channel(line);
    const ModemTimeouts timeouts = Quick();
    SubmitDialogue dialogue(channel, timeouts);
    int asked = 0;
    const SubmitDialogue::Result r = dialogue.Send(Parts(parts), from, [&asked] { return ++asked > 0; });
    QCOMPARE(r.outcome, outcome);
    QCOMPARE(r.partsSent, partsSent);
    QCOMPARE(r.references, references);
    QCOMPARE(line.Count(QStringLiteral("<PDU>")), pdusWritten);
    // The keeper is asked once, before the first PDU of the call, and never when none goes.
    QCOMPARE(asked, pdusWritten > 0 ? 1 : 0);
    if (outcome == SubmitDialogue::Outcome::Refused && pdusWritten == 0)
        QCOMPARE(line.Count(QStringLiteral("AT+CMGS=")), timeouts.promptAttempts);
}

QTEST_GUILESS_MAIN(TestModemDialogue)
#include "tst_modemdialogue.moc"
