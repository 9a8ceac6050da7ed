#pragma once
// What the simulated modem does wrong on purpose, and when: each fault strikes on the
// occasions its Fault says, counted from when it was set. Called with the simulator's
// mutex held.
#include "ModemSimulator.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>

class Misbehaviours
{
public:
    using Fault = ModemSimulator::Fault;
    enum class Kind { CmsError, Silent, Late, SplitPrompt, SwallowNotice, Garbage, DropLine, Refuse, LoseAnswer, Count };

    void Set(Kind kind, Fault when);
    // Counts one occasion for the fault; true when it strikes on this one.
    bool Fire(Kind kind);

    // The command (upper case) is refused with RefuseCode(), not carried out.
    bool Refuses(const QByteArray &command);
    // The command (upper case) is carried out, its answer lost.
    bool LosesAnswerTo(const QByteArray &command);
    // The +CMS ERROR code for a send to number, 0 for none.
    int CmsCodeFor(const QString &number);
    // The answer being given is lost whole.
    bool DropsAnswer() { return Fire(Kind::DropLine); }
    // Stray bytes to go before the answer being given; "" for none.
    QByteArray GarbageBefore() { return Fire(Kind::Garbage) ? garbageBytes : QByteArray(); }

    static QString Digits(QString number); // without a leading "+"

    int latencyMs = 0;
    int cmsCode = 500;
    QStringList cmsTo; // digits
    int cmsToCode = 500;
    int lateMs = 0;
    int splitPauseMs = 300;
    QByteArray garbageBytes = QByteArray("\xFE\x00#~\x7F", 5);
    QByteArray refusePrefix;
    int refuseCode = 500;
    QByteArray losePrefix;

private:
    struct State
    {
        Fault cfg;
        int seen = 0;
        int used = 0;
    };
    std::array<State, size_t(Kind::Count)> m_state {};
};
