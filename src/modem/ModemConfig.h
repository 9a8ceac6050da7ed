#pragma once
// How the engine drives one modem: its waits, and what it needs of the operator (the SIM's
// PIN, its service centre). Made from the device settings at connect, one for each modem of
// the pool.
#include <QString>
#include <functional>

struct ModemTimeouts
{
    int handshakeMs = 2000;     // answer to each handshake command
    int promptMs = 5000;        // "> " after AT+CMGS
    int promptAttempts = 3;     // AT+CMGS tries before the message fails
    int finalAnswerMs = 60000;  // OK / ERROR / +CMS ERROR after the PDU
    int commandMs = 5000;       // AT+CMGR, AT+CMGD, AT+CMGL answers and the set-up's commands
    // Each time-out above counts from the last byte received; the whole answer may take the
    // time-out plus this much per byte received (a byte takes 33 ms at 300 baud, the slowest
    // line there is), so a long answer finishes at any line speed.
    int answerMsPerByte = 40;
    int commandAttempts = 3;
    int escapePauseMs = 300;    // quiet after an ESC before the next command
    int dbRetryMs = 2000;       // pause before a kept journal row is tried again
    int reconnectMs = 3000;     // a vanished or silent modem: the port reopened / the handshake tried this often
    int listIntervalMs = 30000; // idle listing of the stored messages (AT+CMGL), which finds what
                                // a modem that announces nothing holds; 0: only at start
    int incompleteConcatMs = 24 * 3600 * 1000; // a concatenated message still missing parts is
                                               // then journalled with the parts that came
    int signalIntervalMs = 0;   // AT+CSQ while idle, at most this often; 0: never asked
    int pinMs = 20000;          // answer to AT+CPIN=<pin> (the SIM checks it), and how long a
                                // SIM takes to be ready after it
    int simPollMs = 10000;      // a SIM that is not ready (none, locked) is asked again this often
    int registrationPollMs = 2000; // AT+CREG? this often while the modem is not registered
    int networkRetryMaxMs = 30000; // a message refused for want of network although the modem
                                   // says it is registered waits longer each time, up to this
};

struct ModemConfig
{
    ModemTimeouts timeouts;
    // The service centre of this modem's own settings section; "" sends through the one each
    // message was made with (the first modem's, as set when the message was built).
    QString smsc;
    // [SYSTEM] Report=1: every SMS-SUBMIT asks for a status report (TP-SRR), and the modem is
    // asked to store and announce reports (AT+CNMI <ds>).
    bool requestReports = false;
    QString pin; // [SYSTEM] PIN: entered once when the SIM asks for it; "" none
    // This PIN was refused before (by this run or an earlier one): it is never entered, since
    // three wrong entries lock the SIM behind its PUK.
    bool pinRefused = false;
    // Called in the worker's thread the moment the SIM refuses pin, before anything else
    // happens, so that no later run of any program enters it again.
    std::function<void(const QString &pin)> onPinRefused;
};
