#pragma once
// The control channel of skevo-modemsim: one command a line (from standard input), each
// answered "ok ..." or "error: ...". The misbehaviours it switches are named by one list,
// which the program's options use as well.
#include "ModemSimulator.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class SimControl
{
public:
    using Fault = ModemSimulator::Fault;

    struct Misbehaviour
    {
        const char *name;        // the option --NAME and the command "set NAME ..."
        bool prefixed;           // "set NAME PREFIX on|off|...", "--NAME PREFIX"
        const char *optionValue; // what the option takes: nullptr, "N", "MS" or "PREFIX"
        const char *optionHelp;
        const char *commandHelp; // for a prefixed one: what "set NAME PREFIX ..." does
        void (*apply)(SimControl &control, Fault when, const QString &prefix);
    };
    static const std::vector<Misbehaviour> &Misbehaviours();
    static const Misbehaviour *FindMisbehaviour(const QString &name);

    // What the control commands can do, for --help.
    static QString Help();

    // Lines (answers) go to reply.
    SimControl(ModemSimulator &sim, std::function<void(const QString &)> reply);

    // Carries out one command line. False for "quit".
    bool Handle(const QString &line);
    // Switches a misbehaviour of the list; the prefix only for prefixed ones.
    void SetMisbehaviour(const Misbehaviour &m, Fault when, const QString &prefix = QString());

    // +CMS ERROR code of the cms-error, cms-error-to and refuse faults.
    int cmsCode = 500;
    // How late a late answer comes.
    int lateMs = 70000;
    Fault cmsFault;
    std::optional<Fault> lateFault;
    ModemSimulator &sim;

private:
    void Deliver(const QString &cmd, const QString &rest);
    void Set(const QStringList &words);
    // The answer to "set NAME ARGS": "" when done, else what was wrong.
    QString SetValue(const QString &name, const QStringList &args);
    void List();
    void Submits();

    std::function<void(const QString &)> m_reply;
};
