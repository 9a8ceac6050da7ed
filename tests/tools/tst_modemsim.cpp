// The simulated modem, driven as the engine drives a modem: through CSerialPort over the
// real pseudo-terminal.
#include "ModemSimulator.h"
#include "TestEnv.h"
#include "at/CSerialPort.h"
#include "sms/PduCodec.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

bool HasFinalResult(const QByteArray &b)
{
    static const QRegularExpression final(QStringLiteral("\\r\\n(OK|ERROR|\\+CMS ERROR: \\d+)\\r\\n$"));
    return final.match(QString::fromLatin1(b)).hasMatch();
}

QByteArray CmgsLine(const QString &pdu)
{
    return "AT+CMGS=" + QByteArray::number(Pdu::TpduLength(pdu)) + "\r";
}

// The engine's side of the line.
class Client
{
public:
    bool Open(const QString &path) { return m_port.Open(path, 115200, 8, 0, 0); }
    void Close() { m_port.Close(); }
    CSerialPort &Port() { return m_port; }

    void Send(const QByteArray &bytes) { QCOMPARE(m_port.Write(bytes.constData(), int(bytes.size())), int(bytes.size())); }

    // What arrives until `done` accepts it, or until timeoutMs have passed.
    QByteArray ReadUntil(const std::function<bool(const QByteArray &)> &done, int timeoutMs = 5000)
    {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        char buf[1024];
        while (!done(got) && t.elapsed() < timeoutMs) {
            const int n = m_port.ReadTimed(buf, int(sizeof buf), 200, 50);
            got.append(buf, n);
        }
        return got;
    }
    QByteArray ReadUntilContains(const QByteArray &what, int timeoutMs = 5000)
    {
        return ReadUntil([&](const QByteArray &b) { return b.contains(what); }, timeoutMs);
    }
    // Everything that comes within ms.
    QByteArray ReadFor(int ms)
    {
        return ReadUntil([](const QByteArray &) { return false; }, ms);
    }
    QByteArray Command(const QByteArray &line, int timeoutMs = 5000)
    {
        Send(line);
        return ReadUntil(HasFinalResult, timeoutMs);
    }
    // AT+CMGS, its prompt, then the pdu: what the modem answers at last.
    QByteArray Submit(const QString &pdu)
    {
        Send(CmgsLine(pdu));
        const QByteArray prompt = ReadUntilContains("> ");
        if (prompt != "\r\n> ") {
            QTest::qFail(qPrintable(QStringLiteral("no prompt but \"%1\"").arg(QString::fromLatin1(prompt))), __FILE__, __LINE__);
            return {};
        }
        Send(pdu.toLatin1() + '\x1A');
        return ReadUntil(HasFinalResult);
    }

private:
    CSerialPort m_port;
};

// A submit as the engine would hand it over.
QString SubmitPdu(const QString &number, const QString &text, quint8 dcs = 8)
{
    SmsRecord r;
    r.m_strSCA = QStringLiteral("8613800100500");
    r.m_strTPA = number;
    r.m_strUD = text;
    r.m_nDCS = dcs;
    const Pdu::EncodeResult e = Pdu::EncodeSubmitPdu(r);
    return e.ok ? e.parts.first() : QString();
}

DeliverSpec Arrival(const QString &from, const QString &text)
{
    DeliverSpec s;
    s.from = from;
    s.text = text;
    s.scts = QStringLiteral("24031512304532");
    return s;
}

} // namespace

class tst_ModemSim : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void handshakeWithEchoThenWithout();
    void commands_data();
    void commands();
    void send();
    void sendLoggedAsJsonLines();
    void sendCancelledWithEscape();
    void sendWithWrongLength();
    void messageReferenceIncrements();
    void latency();
    void pace_data();
    void pace();
    void cmsError_data();
    void cmsError();
    void silentAfterPdu();
    void lateAnswer();
    void splitPrompt();
    void garbageBeforeAnswers();
    void droppedLine();
    void refusedCommand();
    void lostAnswer();
    void arrivalReadAndDeleted();
    void swallowedNotice();
    void directDelivery();
    void preStoredListed();
    void concatenatedArrivalOutOfOrder();
    void memoryFull();
    void autoReply();
    void clientsComeAndGo();
    void executable();
    void executableHelp();

private:
    std::unique_ptr<ModemSimulator> m_sim;
    Client m_client;
};

void tst_ModemSim::init()
{
    m_sim = std::make_unique<ModemSimulator>();
    QVERIFY2(m_sim->Start(), qPrintable(m_sim->ErrorString()));
    QVERIFY(!m_sim->DevicePath().isEmpty());
    QVERIFY2(m_client.Open(m_sim->DevicePath()), qPrintable(m_client.Port().ErrorString()));
}

void tst_ModemSim::cleanup()
{
    m_client.Close();
    m_sim.reset();
}

void tst_ModemSim::handshakeWithEchoThenWithout()
{
    QVERIFY(m_sim->Echo());
    QCOMPARE(m_client.Command("AT\r"), QByteArray("AT\r\r\nOK\r\n"));
    QCOMPARE(m_client.Command("ATE0\r"), QByteArray("ATE0\r\r\nOK\r\n"));
    QVERIFY(!m_sim->Echo());
    QCOMPARE(m_client.Command("AT\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(m_client.Command("AT+CMGF=0\r"), QByteArray("\r\nOK\r\n"));
    // Echo comes back with the command after ATE1, not with ATE1 itself.
    QCOMPARE(m_client.Command("ATE1\r"), QByteArray("\r\nOK\r\n"));
    QVERIFY(m_sim->Echo());
    QCOMPARE(m_client.Command("AT\r"), QByteArray("AT\r\r\nOK\r\n"));
    QCOMPARE(m_sim->Commands(), (QStringList {QStringLiteral("AT"), QStringLiteral("ATE0"), QStringLiteral("AT"),
                                              QStringLiteral("AT+CMGF=0"), QStringLiteral("ATE1"), QStringLiteral("AT")}));
}

void tst_ModemSim::commands_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("attention") << QByteArray("AT\r") << QByteArray("\r\nOK\r\n");
    QTest::newRow("lower case") << QByteArray("at\r") << QByteArray("\r\nOK\r\n");
    QTest::newRow("line feed after the carriage return") << QByteArray("AT\r\n") << QByteArray("\r\nOK\r\n");
    QTest::newRow("noise before the prefix") << QByteArray("\n\x01zzAT\r") << QByteArray("\r\nOK\r\n");
    QTest::newRow("backspace") << QByteArray("AT+CMGF=1\b0\r") << QByteArray("\r\nOK\r\n");
    QTest::newRow("pdu mode") << QByteArray("AT+CMGF=0\r") << QByteArray("\r\nOK\r\n");
    QTest::newRow("text mode refused") << QByteArray("AT+CMGF=1\r") << QByteArray("\r\nERROR\r\n");
    QTest::newRow("mode query") << QByteArray("AT+CMGF?\r") << QByteArray("\r\n+CMGF: 0\r\n\r\nOK\r\n");
    QTest::newRow("basic commands in a row") << QByteArray("ATE0V1Q0\r") << QByteArray("\r\nOK\r\n");
    QTest::newRow("extended commands in a row") << QByteArray("AT+CMGF=0;+CNMI=2,1,0,0,0\r") << QByteArray("\r\nOK\r\n");
    QTest::newRow("unknown command") << QByteArray("AT+FOO\r") << QByteArray("\r\nERROR\r\n");
    QTest::newRow("unknown basic command") << QByteArray("ATX9\r") << QByteArray("\r\nERROR\r\n");
    QTest::newRow("new message indications") << QByteArray("AT+CNMI=2,1,0,0,0\r") << QByteArray("\r\nOK\r\n");
    QTest::newRow("empty slot read") << QByteArray("AT+CMGR=7\r") << QByteArray("\r\n+CMS ERROR: 321\r\n");
    QTest::newRow("index out of range read") << QByteArray("AT+CMGR=51\r") << QByteArray("\r\n+CMS ERROR: 321\r\n");
    QTest::newRow("index out of range delete") << QByteArray("AT+CMGD=0\r") << QByteArray("\r\n+CMS ERROR: 321\r\n");
    QTest::newRow("empty slot delete") << QByteArray("AT+CMGD=3\r") << QByteArray("\r\nOK\r\n");
    QTest::newRow("empty list") << QByteArray("AT+CMGL=4\r") << QByteArray("\r\nOK\r\n");
    QTest::newRow("bad list status") << QByteArray("AT+CMGL=9\r") << QByteArray("\r\nERROR\r\n");
    QTest::newRow("zero send length") << QByteArray("AT+CMGS=0\r") << QByteArray("\r\nERROR\r\n");
    QTest::newRow("memory status") << QByteArray("AT+CPMS?\r") << QByteArray("\r\n+CPMS: \"SM\",0,50,\"SM\",0,50,\"SM\",0,50\r\n\r\nOK\r\n");
}

void tst_ModemSim::commands()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, answer);
    m_sim->SetEcho(false);
    QCOMPARE(m_client.Command(line), answer);
    // The modem is in command state afterwards.
    QCOMPARE(m_client.Command("AT\r"), QByteArray("\r\nOK\r\n"));
}

void tst_ModemSim::send()
{
    QCOMPARE(m_client.Command("ATE0\r"), QByteArray("ATE0\r\r\nOK\r\n"));
    const QString pdu = SubmitPdu(QStringLiteral("8613912345678"), QStringLiteral("你好，世界"));
    QVERIFY(!pdu.isEmpty());
    QCOMPARE(m_client.Submit(pdu), QByteArray("\r\n+CMGS: 1\r\n\r\nOK\r\n"));

    const QVector<ModemSimulator::Submit> got = m_sim->Submits();
    QCOMPARE(got.size(), 1);
    QVERIFY2(got[0].decoded, qPrintable(got[0].error));
    QCOMPARE(got[0].pdu, pdu);
    QCOMPARE(got[0].declaredLength, Pdu::TpduLength(pdu));
    QCOMPARE(got[0].message.number, QStringLiteral("8613912345678"));
    QCOMPARE(got[0].message.text, QStringLiteral("你好，世界"));
    QCOMPARE(int(got[0].message.dcs), 8);
    QCOMPARE(got[0].messageRef, 1);
    QCOMPARE(got[0].answer, QStringLiteral("+CMGS: 1"));
}

void tst_ModemSim::sendLoggedAsJsonLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sim.jsonl"));
    QVERIFY(m_sim->SetLogFile(path));
    m_sim->SetEcho(false);
    const QString pdu = SubmitPdu(QStringLiteral("8613912345678"), QString(80, QChar(0x597D))); // two parts
    SmsRecord r;
    r.m_strSCA = QStringLiteral("8613800100500");
    r.m_strTPA = QStringLiteral("8613912345678");
    r.m_strUD = QString(80, QChar(0x597D));
    const Pdu::EncodeResult e = Pdu::EncodeSubmitPdu(r, 0x21);
    QCOMPARE(e.parts.size(), 2);
    QVERIFY(HasFinalResult(m_client.Submit(e.parts[0])));
    QVERIFY(m_sim->InjectArrival(Arrival(QStringLiteral("10086"), QStringLiteral("hi"))).ok);
    QVERIFY(m_client.ReadUntilContains("+CMTI").contains("+CMTI"));
    m_sim->SetLogFile(QString());

    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QList<QJsonObject> lines;
    for (const QByteArray &l : f.readAll().split('\n')) {
        if (l.isEmpty())
            continue;
        QJsonParseError err;
        const QJsonDocument doc = QJsonDocument::fromJson(l, &err);
        QVERIFY2(err.error == QJsonParseError::NoError, l.constData());
        lines.append(doc.object());
    }
    QCOMPARE(lines.size(), 3); // the AT+CMGS line, the submit, the arrival
    QCOMPARE(lines[0].value(QStringLiteral("cmd")).toString(), QStringLiteral("AT+CMGS=%1").arg(Pdu::TpduLength(e.parts[0])));
    const QJsonObject s = lines[1];
    QCOMPARE(s.value(QStringLiteral("pdu")).toString(), e.parts[0]);
    QCOMPARE(s.value(QStringLiteral("number")).toString(), QStringLiteral("8613912345678"));
    QCOMPARE(s.value(QStringLiteral("text")).toString(), QString(67, QChar(0x597D)));
    QCOMPARE(s.value(QStringLiteral("dcs")).toInt(), 8);
    QCOMPARE(s.value(QStringLiteral("udh")).toString(), QStringLiteral("0003210201"));
    QCOMPARE(s.value(QStringLiteral("concat")).toObject().value(QStringLiteral("ref")).toInt(), 0x21);
    QCOMPARE(s.value(QStringLiteral("concat")).toObject().value(QStringLiteral("part")).toInt(), 1);
    QCOMPARE(s.value(QStringLiteral("concat")).toObject().value(QStringLiteral("count")).toInt(), 2);
    QCOMPARE(s.value(QStringLiteral("answer")).toString(), QStringLiteral("+CMGS: 1"));
    QCOMPARE(lines[2].value(QStringLiteral("event")).toString(), QStringLiteral("arrival"));
    QCOMPARE(lines[2].value(QStringLiteral("index")).toInt(), 1);
    QCOMPARE(lines[2].value(QStringLiteral("notice")).toString(), QStringLiteral("+CMTI"));
}

void tst_ModemSim::sendCancelledWithEscape()
{
    m_sim->SetEcho(false);
    const QString pdu = SubmitPdu(QStringLiteral("8613912345678"), QStringLiteral("x"));
    m_client.Send(CmgsLine(pdu));
    QCOMPARE(m_client.ReadUntilContains("> "), QByteArray("\r\n> "));
    m_client.Send(pdu.left(10).toLatin1() + '\x1B');
    QCOMPARE(m_client.ReadUntil(HasFinalResult), QByteArray("\r\nOK\r\n"));
    QCOMPARE(m_sim->SubmitCount(), 0);
    QCOMPARE(m_client.Command("AT\r"), QByteArray("\r\nOK\r\n"));
}

void tst_ModemSim::sendWithWrongLength()
{
    m_sim->SetEcho(false);
    const QString pdu = SubmitPdu(QStringLiteral("8613912345678"), QStringLiteral("x"));
    m_client.Send("AT+CMGS=" + QByteArray::number(Pdu::TpduLength(pdu) + 1) + "\r");
    QCOMPARE(m_client.ReadUntilContains("> "), QByteArray("\r\n> "));
    m_client.Send(pdu.toLatin1() + '\x1A');
    QCOMPARE(m_client.ReadUntil(HasFinalResult), QByteArray("\r\n+CMS ERROR: 304\r\n"));
    QCOMPARE(m_sim->SubmitCount(), 1);
    QVERIFY(!m_sim->Submits().first().decoded);
    QCOMPARE(m_sim->Submits().first().messageRef, -1);

    // Not a PDU at all.
    m_client.Send("AT+CMGS=3\r");
    QCOMPARE(m_client.ReadUntilContains("> "), QByteArray("\r\n> "));
    m_client.Send("00ZZ11\x1A");
    QCOMPARE(m_client.ReadUntil(HasFinalResult), QByteArray("\r\n+CMS ERROR: 304\r\n"));
}

void tst_ModemSim::messageReferenceIncrements()
{
    m_sim->SetEcho(false);
    for (int i = 1; i <= 3; ++i) {
        const QString pdu = SubmitPdu(QStringLiteral("861391234567%1").arg(i), QStringLiteral("n%1").arg(i));
        QCOMPARE(m_client.Submit(pdu), "\r\n+CMGS: " + QByteArray::number(i) + "\r\n\r\nOK\r\n");
    }
    const auto got = m_sim->Submits();
    QCOMPARE(got.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(got[i].message.text, QStringLiteral("n%1").arg(i + 1));
}

void tst_ModemSim::latency()
{
    m_sim->SetEcho(false);
    m_sim->SetLatency(400);
    QElapsedTimer t;
    t.start();
    QCOMPARE(m_client.Command("AT\r"), QByteArray("\r\nOK\r\n"));
    QVERIFY2(t.elapsed() >= 350, qPrintable(QString::number(t.elapsed())));
    m_sim->SetLatency(0);
    QCOMPARE(m_client.Command("AT\r"), QByteArray("\r\nOK\r\n"));
}

void tst_ModemSim::pace_data()
{
    QTest::addColumn<int>("bytesPerSecond");
    QTest::addColumn<int>("size");
    QTest::newRow("unpaced") << 0 << 4000;
    QTest::newRow("9600 baud") << 960 << 480;
    QTest::newRow("4800 bytes a second") << 4800 << 2400;
}

void tst_ModemSim::pace()
{
    QFETCH(int, bytesPerSecond);
    QFETCH(int, size);
    m_sim->SetPace(bytesPerSecond);
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char('a' + i % 26));
    QElapsedTimer t;
    t.start();
    m_sim->SendUnsolicited(bytes);
    const QByteArray got = m_client.ReadUntil([&](const QByteArray &b) { return b.size() >= size; }, 20000);
    const qint64 ms = t.elapsed();
    QCOMPARE(got, bytes);
    // The line cannot be faster than its pace; a loaded machine may make it slower.
    const qint64 least = bytesPerSecond > 0 ? qint64(size) * 1000 * 8 / 10 / bytesPerSecond : 0;
    QVERIFY2(ms >= least, qPrintable(QStringLiteral("%1 ms, at least %2 expected").arg(ms).arg(least)));
}

void tst_ModemSim::cmsError_data()
{
    QTest::addColumn<int>("mode"); // 0 all, 1 every second, 2 to one number
    QTest::addColumn<QStringList>("answers");
    QTest::newRow("all sends") << 0
                               << QStringList {QStringLiteral("+CMS ERROR: 500"), QStringLiteral("+CMS ERROR: 500"),
                                               QStringLiteral("+CMS ERROR: 500")};
    QTest::newRow("every second send") << 1
                                       << QStringList {QStringLiteral("+CMGS: 1"), QStringLiteral("+CMS ERROR: 42"),
                                                       QStringLiteral("+CMGS: 2")};
    QTest::newRow("to one number") << 2
                                   << QStringList {QStringLiteral("+CMGS: 1"), QStringLiteral("+CMS ERROR: 330"),
                                                   QStringLiteral("+CMGS: 2")};
}

void tst_ModemSim::cmsError()
{
    QFETCH(int, mode);
    QFETCH(QStringList, answers);
    m_sim->SetEcho(false);
    if (mode == 0)
        m_sim->SetCmsError(ModemSimulator::Fault::Always());
    else if (mode == 1)
        m_sim->SetCmsError(ModemSimulator::Fault::Every(2), 42);
    else
        m_sim->SetCmsErrorTo({QStringLiteral("+8613900000002")}, 330);
    for (int i = 0; i < 3; ++i) {
        const QString pdu = SubmitPdu(QStringLiteral("861390000000%1").arg(i + 1), QStringLiteral("t"));
        const QByteArray answer = m_client.Submit(pdu);
        if (answers[i].startsWith(QLatin1String("+CMGS")))
            QCOMPARE(answer, "\r\n" + answers[i].toLatin1() + "\r\n\r\nOK\r\n");
        else
            QCOMPARE(answer, "\r\n" + answers[i].toLatin1() + "\r\n");
        QCOMPARE(m_sim->Submits().constLast().answer, answers[i]);
    }
}

void tst_ModemSim::silentAfterPdu()
{
    m_sim->SetEcho(false);
    m_sim->SetSilentAfterPdu(ModemSimulator::Fault::Next());
    const QString pdu = SubmitPdu(QStringLiteral("8613912345678"), QStringLiteral("t"));
    m_client.Send(CmgsLine(pdu));
    QCOMPARE(m_client.ReadUntilContains("> "), QByteArray("\r\n> "));
    m_client.Send(pdu.toLatin1() + '\x1A');
    QCOMPARE(m_client.ReadFor(800), QByteArray());
    QCOMPARE(m_sim->Submits().constLast().answer, QStringLiteral("silent"));
    QVERIFY(m_sim->Submits().constLast().decoded);
    // Back in command state, and the fault was for one send only.
    QCOMPARE(m_client.Command("AT\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(m_client.Submit(pdu), QByteArray("\r\n+CMGS: 1\r\n\r\nOK\r\n"));
}

void tst_ModemSim::lateAnswer()
{
    m_sim->SetEcho(false);
    m_sim->SetLateAnswer(ModemSimulator::Fault::Next(), 1500);
    const QString pdu = SubmitPdu(QStringLiteral("8613912345678"), QStringLiteral("t"));
    m_client.Send(CmgsLine(pdu));
    QCOMPARE(m_client.ReadUntilContains("> "), QByteArray("\r\n> "));
    m_client.Send(pdu.toLatin1() + '\x1A');
    QCOMPARE(m_client.ReadFor(600), QByteArray()); // a client waiting less sees nothing
    QCOMPARE(m_client.ReadUntil(HasFinalResult, 10000), QByteArray("\r\n+CMGS: 1\r\n\r\nOK\r\n"));
    QCOMPARE(m_sim->Submits().constLast().answer, QStringLiteral("late +CMGS: 1"));
}

void tst_ModemSim::splitPrompt()
{
    m_sim->SetEcho(false);
    m_sim->SetSplitPrompt(ModemSimulator::Fault::Always(), 500);
    const QString pdu = SubmitPdu(QStringLiteral("8613912345678"), QStringLiteral("t"));
    m_client.Send(CmgsLine(pdu));
    // One read with the quiet interval sees only the line end.
    char buf[128];
    const int n = m_client.Port().Read(buf, 128);
    QCOMPARE(QByteArray(buf, n), QByteArray("\r\n"));
    QCOMPARE(m_client.ReadUntilContains("> "), QByteArray("> "));
    m_client.Send(pdu.toLatin1() + '\x1A');
    QCOMPARE(m_client.ReadUntil(HasFinalResult), QByteArray("\r\n+CMGS: 1\r\n\r\nOK\r\n"));
}

void tst_ModemSim::garbageBeforeAnswers()
{
    m_sim->SetEcho(false);
    m_sim->SetGarbage(ModemSimulator::Fault::Every(2), QByteArray("\x00\xFF~", 3));
    QCOMPARE(m_client.Command("AT\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(m_client.Command("AT\r"), QByteArray("\x00\xFF~\r\nOK\r\n", 9));
    QCOMPARE(m_client.Command("AT\r"), QByteArray("\r\nOK\r\n"));
}

void tst_ModemSim::droppedLine()
{
    m_sim->SetEcho(false);
    m_sim->SetDropLine(ModemSimulator::Fault::Next());
    m_client.Send("AT\r");
    QCOMPARE(m_client.ReadFor(600), QByteArray());
    QCOMPARE(m_client.Command("AT\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(m_sim->Commands().size(), 2); // the first command was heard, its answer lost
}

void tst_ModemSim::refusedCommand()
{
    m_sim->SetEcho(false);
    QVERIFY(m_sim->StoreArrival(Arrival(QStringLiteral("10086"), QStringLiteral("kept"))).ok);
    m_sim->SetRefuseCommand(QStringLiteral("at+cmgd"), ModemSimulator::Fault::Next(), 321);
    QCOMPARE(m_client.Command("AT+CMGD=1\r"), QByteArray("\r\n+CMS ERROR: 321\r\n"));
    QCOMPARE(m_sim->Storage().size(), 1); // refused: not carried out
    QCOMPARE(m_client.Command("AT\r"), QByteArray("\r\nOK\r\n")); // other commands as ever
    QCOMPARE(m_client.Command("AT+CMGD=1\r"), QByteArray("\r\nOK\r\n"));
    QVERIFY(m_sim->Storage().isEmpty());
    QCOMPARE(m_sim->Commands().size(), 3);
}

void tst_ModemSim::lostAnswer()
{
    m_sim->SetEcho(false);
    QVERIFY(m_sim->InjectArrival(Arrival(QStringLiteral("10086"), QStringLiteral("gone"))).ok);
    QVERIFY(m_client.ReadUntilContains("+CMTI: \"SM\",1\r\n").contains("+CMTI"));
    m_sim->SetLoseAnswerTo(QStringLiteral("AT+CMGD"), ModemSimulator::Fault::Next());
    m_client.Send("AT+CMGD=1\r");
    QCOMPARE(m_client.ReadFor(600), QByteArray());
    QVERIFY(m_sim->Storage().isEmpty()); // carried out all the same
    QCOMPARE(m_client.Command("AT+CMGD=1\r"), QByteArray("\r\nOK\r\n"));
}

void tst_ModemSim::arrivalReadAndDeleted()
{
    m_sim->SetEcho(false);
    QVERIFY(m_client.Command("AT\r").endsWith("OK\r\n"));
    const ModemSimulator::Arrival a = m_sim->InjectArrival(Arrival(QStringLiteral("+8613912345678"), QStringLiteral("今晚开会")));
    QVERIFY2(a.ok, qPrintable(a.error));
    QCOMPARE(a.indexes, QVector<int> {1});
    QCOMPARE(m_client.ReadUntilContains("\r\n+CMTI: \"SM\",1\r\n"), QByteArray("\r\n+CMTI: \"SM\",1\r\n"));

    const QByteArray pdu = a.pdus.first().toLatin1();
    const QByteArray len = QByteArray::number(Pdu::TpduLength(a.pdus.first()));
    QCOMPARE(m_client.Command("AT+CMGR=1\r"), "\r\n+CMGR: 0,," + len + "\r\n" + pdu + "\r\n\r\nOK\r\n");
    QCOMPARE(m_client.Command("AT+CMGR=1\r"), "\r\n+CMGR: 1,," + len + "\r\n" + pdu + "\r\n\r\nOK\r\n");
    const Pdu::DecodeResult d = Pdu::DecodeDeliverPdu(a.pdus.first());
    QCOMPARE(d.pdu.text, QStringLiteral("今晚开会"));
    QCOMPARE(d.pdu.number, QStringLiteral("8613912345678"));

    QCOMPARE(m_client.Command("AT+CMGD=1\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(m_client.Command("AT+CMGR=1\r"), QByteArray("\r\n+CMS ERROR: 321\r\n"));
    QVERIFY(m_sim->Storage().isEmpty());

    // The freed slot is the next one used.
    QCOMPARE(m_sim->InjectArrival(Arrival(QStringLiteral("10086"), QStringLiteral("again"))).indexes, QVector<int> {1});
    QVERIFY(m_client.ReadUntilContains("+CMTI: \"SM\",1").contains("+CMTI: \"SM\",1"));
}

void tst_ModemSim::swallowedNotice()
{
    m_sim->SetEcho(false);
    m_sim->SetSwallowNotice(ModemSimulator::Fault::Next());
    const ModemSimulator::Arrival a = m_sim->InjectArrival(Arrival(QStringLiteral("10086"), QStringLiteral("lost")));
    QVERIFY(a.ok);
    QCOMPARE(m_client.ReadFor(600), QByteArray());
    QCOMPARE(m_sim->Storage().size(), 1);
    const QByteArray list = m_client.Command("AT+CMGL=4\r");
    QVERIFY(list.startsWith("\r\n+CMGL: 1,0,,"));
    QVERIFY(list.contains(a.pdus.first().toLatin1()));
    // The next one is announced again.
    QVERIFY(m_sim->InjectArrival(Arrival(QStringLiteral("10086"), QStringLiteral("seen"))).ok);
    QVERIFY(m_client.ReadUntilContains("+CMTI: \"SM\",2\r\n").contains("+CMTI: \"SM\",2\r\n"));
}

void tst_ModemSim::directDelivery()
{
    m_sim->SetEcho(false);
    m_sim->SetDirectDelivery(true);
    const ModemSimulator::Arrival a = m_sim->InjectArrival(Arrival(QStringLiteral("10086"), QStringLiteral("direct")));
    QVERIFY(a.ok);
    QVERIFY(a.indexes.isEmpty());
    const QByteArray expected = "\r\n+CMT: ," + QByteArray::number(Pdu::TpduLength(a.pdus.first())) + "\r\n"
                                + a.pdus.first().toLatin1() + "\r\n";
    QCOMPARE(m_client.ReadUntil([&](const QByteArray &b) { return b.size() >= expected.size(); }), expected);
    QVERIFY(m_sim->Storage().isEmpty());
}

void tst_ModemSim::preStoredListed()
{
    m_client.Close();
    m_sim.reset();
    m_sim = std::make_unique<ModemSimulator>();
    // Stored before the modem runs and before anyone connects: no notice ever.
    const auto first = m_sim->StoreArrival(Arrival(QStringLiteral("+8613911111111"), QStringLiteral("one")));
    const auto second = m_sim->StoreArrival(Arrival(QStringLiteral("+8613922222222"), QStringLiteral("二")));
    QVERIFY(first.ok && second.ok);
    QVERIFY(m_sim->Start());
    QVERIFY(m_client.Open(m_sim->DevicePath()));
    const auto third = m_sim->StoreArrival(Arrival(QStringLiteral("10086"), QStringLiteral("three")));
    QCOMPARE(third.indexes, QVector<int> {3});
    m_sim->SetEcho(false);
    QCOMPARE(m_client.ReadFor(300), QByteArray());

    const auto line = [](int i, int stat, const QString &pdu) {
        return "+CMGL: " + QByteArray::number(i) + ',' + QByteArray::number(stat) + ",," + QByteArray::number(Pdu::TpduLength(pdu))
               + "\r\n" + pdu.toLatin1() + "\r\n";
    };
    QCOMPARE(m_client.Command("AT+CMGL=4\r"), "\r\n" + line(1, 0, first.pdus.first()) + line(2, 0, second.pdus.first())
                                                  + line(3, 0, third.pdus.first()) + "\r\nOK\r\n");
    // Listed once, they count as read.
    QCOMPARE(m_client.Command("AT+CMGL=0\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(m_client.Command("AT+CMGL=1\r"), "\r\n" + line(1, 1, first.pdus.first()) + line(2, 1, second.pdus.first())
                                                  + line(3, 1, third.pdus.first()) + "\r\nOK\r\n");
    QCOMPARE(m_client.Command("AT+CMGD=1,4\r"), QByteArray("\r\nOK\r\n"));
    QVERIFY(m_sim->Storage().isEmpty());
}

void tst_ModemSim::concatenatedArrivalOutOfOrder()
{
    m_sim->SetEcho(false);
    DeliverSpec spec = Arrival(QStringLiteral("+8613912345678"), QString(150, QChar(0x6D4B))); // three UCS2 parts
    spec.concatRef = 0x33;
    const DeliverBuilder::Result built = DeliverBuilder::Build(spec);
    QVERIFY(built.ok);
    QCOMPARE(built.parts.size(), 3);
    QStringList order {built.parts[2], built.parts[0], built.parts[1]};
    const ModemSimulator::Arrival a = m_sim->InjectPdus(order);
    QVERIFY(a.ok);
    QCOMPARE(a.indexes, (QVector<int> {1, 2, 3}));
    QCOMPARE(m_client.ReadUntilContains("+CMTI: \"SM\",3\r\n"),
             QByteArray("\r\n+CMTI: \"SM\",1\r\n\r\n+CMTI: \"SM\",2\r\n\r\n+CMTI: \"SM\",3\r\n"));

    QStringList texts(3);
    for (int i = 1; i <= 3; ++i) {
        const QByteArray answer = m_client.Command("AT+CMGR=" + QByteArray::number(i) + "\r");
        const QList<QByteArray> lines = answer.split('\n');
        QVERIFY(lines.size() >= 3);
        const Pdu::DecodeResult d = Pdu::DecodeDeliverPdu(QString::fromLatin1(lines[2].trimmed()));
        QVERIFY2(d.ok, qPrintable(d.error));
        QVERIFY(d.pdu.concat);
        QCOMPARE(d.pdu.concat->ref, 0x33);
        QCOMPARE(d.pdu.concat->part, i == 1 ? 3 : i - 1);
        texts[d.pdu.concat->part - 1] = d.pdu.text;
    }
    QCOMPARE(texts.join(QString()), spec.text);
}

void tst_ModemSim::memoryFull()
{
    m_sim->SetEcho(false);
    m_sim->SetCapacity(2);
    QCOMPARE(m_sim->Capacity(), 2);
    QVERIFY(m_sim->InjectArrival(Arrival(QStringLiteral("10086"), QStringLiteral("a"))).ok);
    QVERIFY(m_sim->InjectArrival(Arrival(QStringLiteral("10086"), QStringLiteral("b"))).ok);
    const ModemSimulator::Arrival full = m_sim->InjectArrival(Arrival(QStringLiteral("10086"), QStringLiteral("c")));
    QVERIFY(!full.ok);
    QVERIFY(full.indexes.isEmpty());
    QCOMPARE(m_client.ReadUntilContains("\"SM\",2\r\n"), QByteArray("\r\n+CMTI: \"SM\",1\r\n\r\n+CMTI: \"SM\",2\r\n"));
    QCOMPARE(m_client.ReadFor(300), QByteArray());
    m_sim->SetCapacity(1); // never below what is held
    QCOMPARE(m_sim->Capacity(), 2);
}

void tst_ModemSim::autoReply()
{
    m_sim->SetEcho(false);
    ModemSimulator::AutoReply r;
    r.enabled = true;
    r.every = 2;
    r.delayMs = 200;
    m_sim->SetAutoReply(r);
    for (int i = 1; i <= 2; ++i) {
        const QString pdu = SubmitPdu(QStringLiteral("8613912345678"), QStringLiteral("问题%1").arg(i));
        QVERIFY(m_client.Submit(pdu).endsWith("OK\r\n"));
        if (i == 1)
            QCOMPARE(m_client.ReadFor(600), QByteArray()); // only every second one is answered
    }
    QCOMPARE(m_client.ReadUntilContains("+CMTI: \"SM\",1\r\n"), QByteArray("\r\n+CMTI: \"SM\",1\r\n"));
    const QVector<ModemSimulator::Stored> held = m_sim->Storage();
    QCOMPARE(held.size(), 1);
    const Pdu::DecodeResult d = Pdu::DecodeDeliverPdu(held.first().pdu);
    QCOMPARE(d.pdu.number, QStringLiteral("8613912345678"));
    QCOMPARE(int(d.pdu.numberType), 0x91);
    QCOMPARE(d.pdu.text, QStringLiteral("收到：问题2"));

    // By keyword, and a concatenated message is answered once, with its whole text.
    r.every = 0;
    r.keyword = QStringLiteral("退订");
    r.text = QStringLiteral("已退订");
    m_sim->SetAutoReply(r);
    SmsRecord rec;
    rec.m_strSCA = QStringLiteral("8613800100500");
    rec.m_strTPA = QStringLiteral("8613955555555");
    rec.m_strUD = QString(70, QChar(0x597D)) + QStringLiteral("退订");
    const Pdu::EncodeResult e = Pdu::EncodeSubmitPdu(rec, 9);
    QCOMPARE(e.parts.size(), 2);
    for (const QString &part : e.parts) {
        QVERIFY(m_client.Submit(part).endsWith("OK\r\n"));
    }
    QCOMPARE(m_client.ReadUntilContains("+CMTI: \"SM\",2\r\n"), QByteArray("\r\n+CMTI: \"SM\",2\r\n"));
    QCOMPARE(Pdu::DecodeDeliverPdu(m_sim->Storage().constLast().pdu).pdu.text, QStringLiteral("已退订"));
    QCOMPARE(m_client.ReadFor(500), QByteArray());
}

void tst_ModemSim::clientsComeAndGo()
{
    m_sim->SetEcho(false);
    // Leave in the middle of a PDU: the next client finds the modem in command state.
    const QString pdu = SubmitPdu(QStringLiteral("8613912345678"), QStringLiteral("t"));
    m_client.Send(CmgsLine(pdu));
    QCOMPARE(m_client.ReadUntilContains("> "), QByteArray("\r\n> "));
    m_client.Send(pdu.left(8).toLatin1());
    QTest::qWait(100);
    m_client.Close();
    QTest::qWait(200); // the modem notices the hang-up
    for (int i = 0; i < 5; ++i) {
        QVERIFY(m_client.Open(m_sim->DevicePath()));
        QCOMPARE(m_client.Command("AT\r"), QByteArray("\r\nOK\r\n"));
        m_client.Close();
    }
    QVERIFY(m_client.Open(m_sim->DevicePath()));
    QCOMPARE(m_sim->SubmitCount(), 0);
}

void tst_ModemSim::executable()
{
    const QString program = TestEnv::ModemSimPath();
    if (program.isEmpty())
        QSKIP("SKEVO_MODEMSIM is not set (run through ctest)");
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("modem"));
    const QString log = dir.filePath(QStringLiteral("sim.jsonl"));
    QProcess sim;
    sim.start(program, {QStringLiteral("--link"), link, QStringLiteral("--log"), log, QStringLiteral("--store"),
                        QStringLiteral("+8613911111111:早上好"), QStringLiteral("--cms-error-to"), QStringLiteral("8613900000009")});
    QVERIFY(sim.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 10000);
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QVERIFY(device.startsWith(QStringLiteral("/dev/")));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), device);

    Client client;
    QVERIFY(client.Open(link));
    QCOMPARE(client.Command("ATE0\r"), QByteArray("ATE0\r\r\nOK\r\n"));
    const QByteArray list = client.Command("AT+CMGL=4\r");
    QVERIFY(list.startsWith("\r\n+CMGL: 1,0,,"));
    const QList<QByteArray> lines = list.split('\n');
    QCOMPARE(Pdu::DecodeDeliverPdu(QString::fromLatin1(lines[2].trimmed())).pdu.text, QStringLiteral("早上好"));

    sim.write("deliver 10086 Your bill is ready\n");
    QVERIFY(sim.waitForBytesWritten(5000));
    QVERIFY(client.ReadUntilContains("+CMTI: \"SM\",2\r\n").contains("+CMTI: \"SM\",2\r\n"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
    QCOMPARE(sim.readLine().trimmed(), QByteArray("ok 1 part(s) at 2"));

    const QString pdu = SubmitPdu(QStringLiteral("8613900000009"), QStringLiteral("x"));
    client.Send(CmgsLine(pdu));
    QCOMPARE(client.ReadUntilContains("> "), QByteArray("\r\n> "));
    client.Send(pdu.toLatin1() + '\x1A');
    QCOMPARE(client.ReadUntil(HasFinalResult), QByteArray("\r\n+CMS ERROR: 500\r\n"));

    sim.write("set split-prompt on\n");
    QVERIFY(sim.waitForBytesWritten(5000));
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
    QCOMPARE(sim.readLine().trimmed(), QByteArray("ok"));
    sim.write("set nonsense on\n");
    QVERIFY(sim.waitForBytesWritten(5000));
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
    QVERIFY(sim.readLine().startsWith("error:"));

    client.Close();
    sim.write("quit\n");
    QVERIFY(sim.waitForBytesWritten(5000));
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink()); // removed on the way out
    QFile f(log);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("\"answer\":\"+CMS ERROR: 500\""));

    // Standard input ending ends it too, unless told to stay.
    QProcess eof;
    eof.start(program, QStringList());
    QVERIFY(eof.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(eof.canReadLine(), 10000);
    eof.closeWriteChannel();
    QVERIFY(eof.waitForFinished(10000));
    QCOMPARE(eof.exitCode(), 0);

    QProcess stays;
    stays.start(program, {QStringLiteral("--stay")});
    QVERIFY(stays.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(stays.canReadLine(), 10000);
    stays.closeWriteChannel();
    QVERIFY(!stays.waitForFinished(700));
    stays.terminate(); // SIGTERM: a clean end as well
    QVERIFY(stays.waitForFinished(10000));
    QCOMPARE(stays.exitStatus(), QProcess::NormalExit);
}

void tst_ModemSim::executableHelp()
{
    const QString program = TestEnv::ModemSimPath();
    if (program.isEmpty())
        QSKIP("SKEVO_MODEMSIM is not set (run through ctest)");
    QProcess p;
    p.start(program, {QStringLiteral("--help")});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    const QByteArray help = p.readAllStandardOutput();
    for (const char *word : {"--link", "--log", "--latency", "--cms-error", "--cms-error-every", "--cms-error-to", "--silent",
                             "--split-prompt", "--swallow-notice", "--garbage", "--drop-line", "--refuse",
                             "--lose-answer", "set refuse PREFIX", "set lose-answer PREFIX", "--direct-delivery",
                             "--auto-reply", "--store", "--stay", "deliver FROM TEXT", "quit"})
        QVERIFY2(help.contains(word), word);
}

QTEST_GUILESS_MAIN(tst_ModemSim)
#include "tst_modemsim.moc"
