#include "EngineRig.h"
#include "app/LinkStatus.h"
#include "DbTargets.h"
#include "sms/PduCodec.h"

#include <QMap>

ReportSink::ReportSink(Outbox &outbox) : m_outbox(outbox)
{
    // Auto connection: queued from the worker thread, as to the main window.
    connect(&outbox, &Outbox::reportReady, this, [this] {
        ++notifications;
        const std::optional<SmsReport> r = m_outbox.PopReport();
        if (!r) {
            ++emptyPops;
            return;
        }
        reports.append(*r);
        emit reportTaken(r->m_strNumber, ReportText::Result(*r));
    });
    connect(&outbox, &Outbox::errorEvent, this, [this](const OutboxError &error) { errors.append(LinkStatus::ErrorText(error)); });
}

int ReportSink::SentBy(const QString &port) const
{
    int n = 0;
    for (const SmsReport &r : reports)
        n += !r.IsArrival() && r.m_strPort == port ? 1 : 0;
    return n;
}

int ReportSink::Count(const QString &direction) const
{
    return int(Of(direction).size());
}

QVector<SmsReport> ReportSink::Of(const QString &direction) const
{
    QVector<SmsReport> out;
    for (const SmsReport &r : reports) {
        if (ReportText::Direction(r) == direction)
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

std::unique_ptr<Outbox> FastOutbox(const DbSettings &db)
{
    return std::make_unique<Outbox>([db] { return db; });
}

QString RangeNumber(const QString &prefix, int i)
{
    return prefix + QStringLiteral("%1").arg(i, 8, 10, QLatin1Char('0'));
}

SmsRecord OutMessage(const QString &number, const QString &text, qint32 id)
{
    return Pdu::MakeRecord(kTestSmsc, number, text, id);
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

EngineRig::EngineRig(const DbSettings &settings) : db(settings)
{
    NewEngine();
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
    if (!port->IsOpen() && !port->Open(Device(), 115200, 8, CSerialPort::NoParity, CSerialPort::OneStop))
        return false;
    return port->InitModem();
}

QString EngineRig::Device() const
{
    return link.isEmpty() ? sim.DevicePath() : link;
}

bool EngineRig::ConnectAndStart()
{
    return Connect() && port->StartThread();
}

void EngineRig::Disconnect()
{
    if (!port)
        return;
    port->StopThread();
    port->Close();
}

void EngineRig::NewEngine()
{
    sink.reset();
    port.reset();
    outbox = FastOutbox(db);
    port = std::make_unique<ModemPort>(outbox->MakeDesk());
    port->SetTimeouts(FastTimeouts());
    sink = std::make_unique<ReportSink>(*outbox);
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
