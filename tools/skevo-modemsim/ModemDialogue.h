#pragma once
// The simulated modem's side of the conversation: a command line is logged, perhaps
// refused or muted, and carried out through the command table; a PDU after the prompt
// becomes a submit with its answer; arrivals are stored and announced. Every answer goes
// through Answer, where latency, garbage and lost lines strike. Called with the
// simulator's mutex held.
#include "AtCommandTable.h"
#include "ModemSimulator.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

class AutoResponder;
class LineFramer;
class Misbehaviours;
class PseudoTerminal;
class RadioState;
class SimulatorLog;
struct Storages;

class ModemDialogue
{
public:
    ModemDialogue(PseudoTerminal &line, LineFramer &framer, AtCommandTable &commands, Storages &storages,
                  RadioState &radio, Misbehaviours &faults, SimulatorLog &log, AutoResponder &autoResponder);

    // From the framer.
    void CommandLine(const QByteArray &raw, bool overflow);
    void PduSent(const QByteArray &pduText);
    void PduCancelled();
    // AT+CMGS=<length>: the prompt; the framer collects the PDU.
    void Prompt(int length);

    // Stores each part (or, with direct delivery, hands it over); announce: with +CMTI / +CMT,
    // as AT+CNMI has it.
    ModemSimulator::Arrival Deliver(const QStringList &pdus, bool announce);
    // Unsolicited bytes leave at once, between answers if need be.
    void Notice(const QByteArray &bytes);
    // The SIM or the coverage changed: "+CREG: <stat>" now and whenever it changes by itself,
    // while AT+CREG=1 asks for it (TS 27.007 7.2).
    void RadioChanged();

    Indications indications;
    // What the network says of a submit that asked for a status report.
    ModemSimulator::Reports reports = ModemSimulator::Reports::None;
    int reportDelayMs = 0;
    QList<std::pair<QString, ModemSimulator::Reports>> reportsTo; // by destination digits
    bool holdReports = false;
    struct HeldReport
    {
        int reference;
        QString recipient;
        quint8 status;
        QDateTime submitted; // when the service centre took the message (its TP-SCTS)
    };
    QList<HeldReport> heldReports;
    // One SMS-STATUS-REPORT, handed over or stored as AT+CNMI <ds> says.
    void DeliverReport(int reference, const QString &recipient, quint8 status, const QDateTime &submitted);

private:
    // Pieces after the first follow pauseMs apart; answers leave in the order given.
    // False when the answer is lost.
    bool Answer(const QList<QByteArray> &pieces, int extraDelayMs = 0, int pauseMs = 0);
    bool Answer(const QByteArray &bytes, int extraDelayMs = 0) { return Answer(QList<QByteArray> {bytes}, extraDelayMs); }
    void AnswerSubmit(ModemSimulator::Submit &s);
    void ScheduleReports(const ModemSimulator::Submit &s);

    PseudoTerminal &m_line;
    LineFramer &m_framer;
    AtCommandTable &m_commands;
    Storages &m_storages;
    RadioState &m_radio;
    Misbehaviours &m_faults;
    SimulatorLog &m_log;
    AutoResponder &m_autoResponder;
    bool m_muted = false; // the command being carried out has its answer lost
    int m_cmgsLength = 0;
    int m_nextMr = 1;
};
