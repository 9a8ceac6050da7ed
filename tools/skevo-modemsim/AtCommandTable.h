#pragma once
// The commands the simulated modem knows, as a table of name and handler, and the
// carrying out of a command line (ITU-T V.250 5.3): basic commands follow each other,
// extended ones are separated by ";", and the information text of all comes before one
// final result code. Called with the simulator's mutex held.
#include <QByteArray>

#include <functional>
#include <map>
#include <optional>

class LineFramer;
class RadioState;
struct Storages;

// AT+CNMI (TS 27.005 3.4.1) as the modem has it: <mt> 0 announces nothing, 1 stores and
// announces with +CMTI, 2 hands arrivals over with +CMT; a modem that only hands over takes no 1.
struct Indications
{
    int mt = 1;
    bool directOnly = false;
    int ds = 0;                   // status reports: 0 none, 1 "+CDS", 2 stored and "+CDSI"
    bool reportsDirectOnly = false; // takes no <ds> 2
};

class AtCommandTable
{
public:
    struct Context
    {
        LineFramer &framer;
        Storages &storages;
        RadioState &radio;
        Indications &indications;
        std::function<void(int length)> prompt; // AT+CMGS=<length>: the prompt, then the PDU
        std::function<void()> radioChanged;      // the SIM or the registration may have changed
    };

    explicit AtCommandTable(Context context);

    // The answer to a command line without its "AT", or nullopt when a command prompted
    // for more (the prompt is then its answer).
    std::optional<QByteArray> Execute(const QByteArray &body);

private:
    enum class Outcome { Ok, Error, Prompt };

    // A basic command is a name and a number; an extended one is NAME, NAME?, NAME=? or NAME=args.
    struct Request
    {
        int value = 0; // basic
        bool read = false, test = false, set = false;
        QByteArray args;
        int n = 0;          // the first argument as a number ...
        bool isInt = false; // ... when it is one
    };
    struct Reply
    {
        QByteArray info;
        QByteArray final; // the final result code of a failure when not ERROR
    };
    using Handler = Outcome (AtCommandTable::*)(const Request &, Reply &);

    Outcome Extended(const QByteArray &text, Reply &reply);

    Outcome Echo(const Request &r, Reply &);
    Outcome Accept(const Request &, Reply &);
    Outcome AcceptV1(const Request &r, Reply &);
    Outcome AcceptQ0(const Request &r, Reply &);
    Outcome Reset(const Request &, Reply &);
    Outcome Identify(const Request &, Reply &reply);
    Outcome Cmgf(const Request &r, Reply &reply);
    Outcome Cmgs(const Request &r, Reply &);
    Outcome Cmgr(const Request &r, Reply &reply);
    Outcome Cmgd(const Request &r, Reply &reply);
    Outcome Cmgl(const Request &r, Reply &reply);
    Outcome Cpms(const Request &r, Reply &reply);
    Outcome Cpin(const Request &r, Reply &reply);
    Outcome Cimi(const Request &r, Reply &reply);
    Outcome Ccid(const Request &r, Reply &reply);
    Outcome Creg(const Request &r, Reply &reply);
    Outcome Cops(const Request &r, Reply &reply);
    // TS 27.005 3.2.5 +CMS ERROR 311 for a command that needs the SIM while it waits for its PIN.
    bool SimLocked(Reply &reply);
    Outcome Cnmi(const Request &r, Reply &reply);
    Outcome Csca(const Request &r, Reply &reply);
    Outcome Csq(const Request &, Reply &reply);
    Outcome Cgmi(const Request &, Reply &reply);
    Outcome Cgmm(const Request &, Reply &reply);

    Context m_context;
    std::map<QByteArray, Handler> m_basic;
    std::map<QByteArray, Handler> m_extended;
};
