#pragma once
// The simulated modem's side of the conversation: a command line is logged, perhaps
// refused or muted, and carried out through the command table; a PDU after the prompt
// becomes a submit with its answer; arrivals are stored and announced. Every answer goes
// through Answer, where latency, garbage and lost lines strike. Called with the
// simulator's mutex held.
#include "ModemSimulator.h"

#include <QByteArray>
#include <QList>

class AtCommandTable;
class AutoResponder;
class LineFramer;
class MessageStore;
class Misbehaviours;
class PseudoTerminal;
class SimulatorLog;

class ModemDialogue
{
public:
    ModemDialogue(PseudoTerminal &line, LineFramer &framer, AtCommandTable &commands, MessageStore &store,
                  Misbehaviours &faults, SimulatorLog &log, AutoResponder &autoResponder);

    // From the framer.
    void CommandLine(const QByteArray &raw, bool overflow);
    void PduSent(const QByteArray &pduText);
    void PduCancelled();
    // AT+CMGS=<length>: the prompt; the framer collects the PDU.
    void Prompt(int length);

    // Stores each part (or, with direct delivery, hands it over); announce: with +CMTI / +CMT.
    ModemSimulator::Arrival Deliver(const QStringList &pdus, bool announce);
    // Unsolicited bytes leave at once, between answers if need be.
    void Notice(const QByteArray &bytes);

    bool directDelivery = false;

private:
    // Pieces after the first follow pauseMs apart; answers leave in the order given.
    // False when the answer is lost.
    bool Answer(const QList<QByteArray> &pieces, int extraDelayMs = 0, int pauseMs = 0);
    bool Answer(const QByteArray &bytes, int extraDelayMs = 0) { return Answer(QList<QByteArray> {bytes}, extraDelayMs); }
    void AnswerSubmit(ModemSimulator::Submit &s);

    PseudoTerminal &m_line;
    LineFramer &m_framer;
    AtCommandTable &m_commands;
    MessageStore &m_store;
    Misbehaviours &m_faults;
    SimulatorLog &m_log;
    AutoResponder &m_autoResponder;
    bool m_muted = false; // the command being carried out has its answer lost
    int m_cmgsLength = 0;
    int m_nextMr = 1;
};
