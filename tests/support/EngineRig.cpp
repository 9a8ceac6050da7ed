#include "EngineRig.h"
#include "DbTargets.h"

#include <QMap>

ReportSink::ReportSink(CSmsModem &modem) : m_modem(modem)
{
    // Auto connection: queued from the worker thread, as to the main window.
    connect(&modem, &CSmsModem::reportReady, this, [this] {
        ++notifications;
        const std::optional<SmsReport> r = m_modem.PopReport();
        if (!r) {
            ++emptyPops;
            return;
        }
        reports.append(*r);
        emit reportTaken(r->m_strNumber, r->m_strResult);
    });
    connect(&modem, &CSmsModem::errorEvent, this, [this](const QString &text) { errors.append(text); });
}

int ReportSink::Count(const QString &direction) const
{
    return int(Of(direction).size());
}

QVector<SmsReport> ReportSink::Of(const QString &direction) const
{
    QVector<SmsReport> out;
    for (const SmsReport &r : reports) {
        if (r.m_strDirection == direction)
            out.append(r);
    }
    return out;
}

int ReportSink::ErrorCount(const QString &text) const
{
    return int(errors.count(text));
}

ModemTimeouts FastTimeouts()
{
    ModemTimeouts t;
    t.handshakeMs = 1000;
    t.promptMs = 1000;
    t.promptAttempts = 2;
    t.finalAnswerMs = 1000;
    t.commandMs = 1000;
    t.commandAttempts = 2;
    t.dbRetryMs = 200;
    t.reconnectMs = 200;
    t.listIntervalMs = 0; // no listing when idle: a lost notice must not be hidden by it
    return t;
}

std::unique_ptr<CSmsModem> FastEngine(const DbSettings &db)
{
    auto modem = std::make_unique<CSmsModem>([db] { return db; });
    modem->SetTimeouts(FastTimeouts());
    return modem;
}

QString RangeNumber(const QString &prefix, int i)
{
    return prefix + QStringLiteral("%1").arg(i, 8, 10, QLatin1Char('0'));
}

SmsRecord OutMessage(const QString &number, const QString &text, qint32 id)
{
    return CSmsModem::MakeRecord(kTestSmsc, number, text, id);
}

int RowCount(const DbSettings &db, const QString &table)
{
    return DbProbe(db).Value(QStringLiteral("SELECT COUNT(*) FROM ") + table).toInt();
}

int CommandCount(const ModemSimulator &sim, const QString &prefix)
{
    return CommandCount(sim.Commands(), prefix);
}

int CommandCount(const QStringList &commands, const QString &prefix)
{
    int n = 0;
    for (const QString &c : commands)
        n += c.startsWith(prefix) ? 1 : 0;
    return n;
}

EngineRig::EngineRig(const DbSettings &settings) : db(settings), modem(FastEngine(settings))
{
    sink = std::make_unique<ReportSink>(*modem);
}

EngineRig::~EngineRig()
{
    Disconnect();
    sim.Stop();
}

bool EngineRig::Connect()
{
    if (!sim.IsRunning() && !sim.Start())
        return false;
    if (!link.isEmpty() && !sim.MakeLink(link))
        return false;
    const QString path = link.isEmpty() ? sim.DevicePath() : link;
    if (!modem->IsOpen() && !modem->Open(path, 115200, 8, CSerialPort::NoParity, CSerialPort::OneStop))
        return false;
    return modem->InitModem();
}

bool EngineRig::ConnectAndStart()
{
    return Connect() && modem->StartThread();
}

void EngineRig::Disconnect()
{
    modem->StopThread();
    modem->Close();
}

void EngineRig::NewEngine()
{
    sink.reset();
    modem = FastEngine(db);
    sink = std::make_unique<ReportSink>(*modem);
}

namespace {

QVector<std::pair<QString, QString>> Messages(const ModemSimulator &sim)
{
    QVector<std::pair<QString, QString>> out;
    // Parts wait for their siblings; a message stands where its first part stood.
    QMap<std::tuple<QString, int, int>, std::pair<qsizetype, QMap<int, QString>>> open;
    for (const ModemSimulator::Submit &s : sim.Submits()) {
        if (!s.decoded || s.messageRef < 0)
            continue; // refused or unanswered: not sent
        const Pdu::Decoded &m = s.message;
        if (!m.concat || m.concat->count <= 1) {
            out.append({m.number, m.text});
            continue;
        }
        const auto key = std::make_tuple(m.number, m.concat->ref, m.concat->count);
        auto it = open.find(key);
        if (it == open.end()) {
            out.append({m.number, QString()});
            it = open.insert(key, {out.size() - 1, {}});
        }
        it->second[m.concat->part] = m.text;
        if (it->second.size() == m.concat->count) {
            QString text;
            for (const QString &t : it->second)
                text += t;
            out[it->first].second = text;
            open.erase(it);
        }
    }
    return out;
}

} // namespace

QStringList SubmittedTexts(const ModemSimulator &sim)
{
    QStringList out;
    for (const auto &m : Messages(sim))
        out << m.second;
    return out;
}

QStringList SubmittedNumbers(const ModemSimulator &sim)
{
    QStringList out;
    for (const auto &m : Messages(sim))
        out << m.first;
    return out;
}
