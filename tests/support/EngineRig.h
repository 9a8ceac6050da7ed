#pragma once
// What the engine tests share: the simulated modem on a real pseudo-terminal, an engine
// connected to it with short time-outs, and a receiver of the engine's reports that lives in
// the test's thread, as the main window does.
#include "ModemSimulator.h"
#include "modem/CSmsModem.h"

#include <QObject>
#include <QStringList>
#include <QVector>
#include <memory>

class ReportSink : public QObject
{
    Q_OBJECT
public:
    explicit ReportSink(CSmsModem &modem);

    QVector<SmsReport> reports;
    QStringList errors;
    int notifications = 0; // reportReady received
    int emptyPops = 0;     // reportReady with no report to pop (must stay 0)

    int Count(const QString &direction) const;
    QVector<SmsReport> Of(const QString &direction) const;
    int ErrorCount(const QString &text) const;

signals:
    void reportTaken(const QString &number, const QString &result);

private:
    CSmsModem &m_modem;
};

// Time-outs short enough for tests, long enough for a loaded machine.
ModemTimeouts FastTimeouts();
// An engine reading these database settings, with the short time-outs.
std::unique_ptr<CSmsModem> FastEngine(const DbSettings &db);

// The service centre the engine tests send through.
inline const QString kTestSmsc = QStringLiteral("8613800100500");
// The i-th number of a range: the prefix followed by i in eight digits.
QString RangeNumber(const QString &prefix, int i);
SmsRecord OutMessage(const QString &number, const QString &text, qint32 id = -1);
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
    // A new engine and receiver over the same simulated modem and database, as after the
    // program ended; the old engine must be disconnected first.
    void NewEngine();

    ModemSimulator sim;
    // When set, Connect makes this a link to the simulator's device and opens the link, so
    // that a simulator started again is found under the same path.
    QString link;
    DbSettings db;
    std::unique_ptr<CSmsModem> modem;
    std::unique_ptr<ReportSink> sink;
};

// Texts of the submits the simulator received, concatenated parts joined, in order.
QStringList SubmittedTexts(const ModemSimulator &sim);
QStringList SubmittedNumbers(const ModemSimulator &sim);
