#pragma once
// The set-up of one modem, as a table of {command, time-out, attempts, handler}: the
// handshake (echo off, numeric error codes), then the SIM and its PIN, PDU mode, the network
// registration and the operator, the new-message indications, the storages and the signal.
// Each handler reads what the modem said into the modem's status; the table stops where the
// modem cannot go on (no SIM, a PIN to give, no PDU mode) and returns its readiness. The
// steps come in named groups, and what the worker asks again while it waits (the SIM, the
// registration) is a run of groups of the same table.
#include "at/AtChannel.h"
#include "ModemConfig.h"
#include "ModemStatus.h"

#include <QByteArray>
#include <QStringList>
#include <QVector>

class ModemSetup
{
public:
    // What the set-up chose, for the worker to go on with.
    struct Found
    {
        // The storages to list, read and delete from (TS 27.005 3.2.2 <mem1>), selected in
        // turn when there are several; empty: the modem's own choice, never selected.
        QStringList storages;
        QByteArray indications; // the AT+CNMI the modem took (TS 27.005 3.4.1); "" none
    };

    ModemSetup(AtChannel &channel, ModemConfig &config, ModemStatus &status);

    // "AT" (after ESC when a PDU entry was left open), "ATE0", "AT+CMEE=1", then the dialogue
    // put in step. False when the modem does not answer.
    bool Handshake();
    // The rest of the table: from the SIM on. Run again while the SIM is not ready.
    ModemReadiness Run();
    // AT+CREG? (and the operator once registered), while the modem waits for the network.
    ModemReadiness CheckRegistration();

    const Found &Result() const { return m_found; }

    // "+CNMI: (0-2),(0-3),(0),(0,1),(0,1)": the AT+CNMI commands to try, nearest to stored
    // messages announced with +CMTI first, then directly delivered ones (+CMT).
    static QVector<QByteArray> IndicationCandidates(const QString &testAnswer, bool reports = false);
    // The IMSI in an answer to AT+CIMI (its digits, with or without "+CIMI: "); "" none.
    static QString ReadImsi(const QStringList &lines);
    // The ICCID in an answer to AT+CCID or a modem's variant ("+CCID: 8986...", "^ICCID: ...",
    // "+QCCID: ...", or the digits alone; a trailing F dropped); "" none.
    static QString ReadIccid(const QStringList &lines);
    // The supported storages of "+CPMS: ("SM","ME","MT"),(...),(...)": SM and ME, those of them
    // the first list holds; any one storage when it names neither.
    // With reports, "SR" as well where the modem has it.
    static QStringList ReadStorages(const QString &testAnswer, bool reports = false);

private:
    enum class Go { Next, Retry, Stop };
    // The groups of the table, in the order they run.
    enum class Group { Attention, Handshake, Sim, Identity, Mode, RegistrationNotices, Registration, Indications, Storages, Signal };
    struct Step
    {
        Group group;
        QByteArray command;                      // sent as it is, unless made by make
        QByteArray (ModemSetup::*make)() const;  // the command now; "" skips the step
        int ModemTimeouts::*timeout;
        int attempts;                            // tries when no answer comes
        Go (ModemSetup::*handle)(const AtChannel::Answer &);
    };
    static const QVector<Step> &Table();
    // Runs the steps of the groups first to last, in table order; Stop ends the run early.
    bool RunSteps(Group first, Group last);
    ModemReadiness Readiness() const { return m_status.Readiness(); }

    QByteArray PinCommand() const;
    QByteArray PinCheckCommand() const;
    QByteArray OperatorFormatCommand() const;
    QByteArray OperatorCommand() const;
    QByteArray IndicationCommand() const;
    QByteArray SignalCommand() const;
    QByteArray IccidCommand() const;

    Go Required(const AtChannel::Answer &answer);
    Go Optional(const AtChannel::Answer &answer);
    Go HandleSim(const AtChannel::Answer &answer);
    Go HandlePinEntry(const AtChannel::Answer &answer);
    Go HandleSimAfterPin(const AtChannel::Answer &answer);
    Go HandlePduMode(const AtChannel::Answer &answer);
    Go HandleRegistration(const AtChannel::Answer &answer);
    Go HandleOperator(const AtChannel::Answer &answer);
    Go HandleIndicationTest(const AtChannel::Answer &answer);
    Go HandleIndicationSet(const AtChannel::Answer &answer);
    Go HandleStorages(const AtChannel::Answer &answer);
    Go HandleSignal(const AtChannel::Answer &answer);
    Go HandleImsi(const AtChannel::Answer &answer);
    Go HandleIccid(const AtChannel::Answer &answer);

    // A +CPIN state ("READY", "SIM PIN", ...) or a SIM error into the status; Next or Stop.
    Go SimState(const QString &state);
    // The SIM error of an answer (TS 27.005 3.2.5 31x, TS 27.007 9.2 1x) into the status.
    bool SimError(const AtChannel::Answer &answer);
    void PinRefused();
    // The answer to AT+CPIN=<pin> is in (after a grace when a stop came); false, with the PIN
    // counted as refused, when the link went or the stop came before it.
    bool PinAnswered(AtChannel::Answer &answer);
    int BusyPauseMs() const;

    AtChannel &m_channel;
    ModemConfig &m_config;
    ModemStatus &m_status;
    Found m_found;
    bool m_bEnterPin = false;     // the SIM asked, a PIN is there to give
    bool m_bPinEntered = false;   // AT+CPIN=<pin> went out in this run
    bool m_bPinTaken = false;     // ... and was answered OK
    int m_nPduModeRefusals = 0;
    QVector<QByteArray> m_indicationCandidates;
    int m_nIccidCommand = 0; // the variant of the ICCID command tried next
};
