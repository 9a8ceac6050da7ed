#pragma once
// What the engine tests share: the simulated modem on a real pseudo-terminal, an outbox and
// one modem port connected to it with short time-outs, and a receiver of the outbox's reports
// that lives in the test's thread, as the main window does.
#include "ModemSimulator.h"
#include "pool/ModemPort.h"
#include "outbox/Outbox.h"

#include <QObject>
#include <QStringList>
#include <QVector>
#include <memory>

class ReportSink : public QObject
{
    Q_OBJECT
public:
    explicit ReportSink(Outbox &outbox);

    QVector<SmsReport> reports;
    QStringList errors;
    int notifications = 0; // reportReady received
    int emptyPops = 0;     // reportReady with no report to pop (must stay 0)

    // By the direction the records list shows ("发送", "接收").
    int Count(const QString &direction) const;
    QVector<SmsReport> Of(const QString &direction) const;
    // Sent reports by the modem's port.
    int SentBy(const QString &port) const;
    int ErrorCount(const QString &text) const;

signals:
    void reportTaken(const QString &number, const QString &result);

private:
    Outbox &m_outbox;
};

// Time-outs short enough for tests, long enough for a loaded machine.
ModemTimeouts FastTimeouts();
// An outbox on these database settings.
std::unique_ptr<Outbox> FastOutbox(const DbSettings &db);

// The service centre the engine tests send through.
inline const QString kTestSmsc = QStringLiteral("8613800100500");
// The i-th number of a range: the prefix followed by i in eight digits.
QString RangeNumber(const QString &prefix, int i);
SmsRecord OutMessage(const QString &number, const QString &text, qint32 id = -1);
// The result text a report shows ("成功", "失败").
inline QString ResultOf(const SmsReport &r) { return ReportText::Result(r); }
int RowCount(const DbSettings &db, const QString &table);
// How many commands the simulator received that start with the prefix.
int CommandCount(const ModemSimulator &sim, const QString &prefix);
int CommandCount(const QStringList &commands, const QString &prefix);

class EngineRig
{
public:
    explicit EngineRig(const DbSettings &db);
    ~EngineRig();

    // Starts the simulator (when not running), opens the port and shakes hands.
    bool Connect();
    // Connect, then the worker.
    bool ConnectAndStart();
    void Disconnect();
    // A new outbox, port and receiver over the same simulated modem and database, as after
    // the program ended; the old port must be disconnected first.
    void NewEngine();
    // The device the port opens: the link, or the simulator's own.
    QString Device() const;

    ModemSimulator sim;
    // When set, Connect makes this a link to the simulator's device and opens the link, so
    // that a simulator started again is found under the same path.
    QString link;
    DbSettings db;
    std::unique_ptr<Outbox> outbox;
    std::unique_ptr<ModemPort> port;
    std::unique_ptr<ReportSink> sink;
};

// Texts of the submits the simulator received, concatenated parts joined, in order.
QStringList SubmittedTexts(const ModemSimulator &sim);
QStringList SubmittedNumbers(const ModemSimulator &sim);
