#include "Misbehaviours.h"

void Misbehaviours::Set(Kind kind, Fault when)
{
    m_state[size_t(kind)] = State {when, 0, 0};
}

bool Misbehaviours::Fire(Kind kind)
{
    State &s = m_state[size_t(kind)];
    if (s.used < s.cfg.next) {
        ++s.used;
        return true;
    }
    if (s.cfg.every <= 0)
        return false;
    return ++s.seen % s.cfg.every == 0;
}

bool Misbehaviours::Refuses(const QByteArray &command)
{
    return !refusePrefix.isEmpty() && command.startsWith(refusePrefix) && Fire(Kind::Refuse);
}

bool Misbehaviours::LosesAnswerTo(const QByteArray &command)
{
    return !losePrefix.isEmpty() && command.startsWith(losePrefix) && Fire(Kind::LoseAnswer);
}

int Misbehaviours::CmsCodeFor(const QString &number)
{
    if (cmsTo.contains(Digits(number)))
        return cmsToCode;
    return Fire(Kind::CmsError) ? cmsCode : 0;
}

QString Misbehaviours::Digits(QString number)
{
    if (number.startsWith(QLatin1Char('+')))
        number.remove(0, 1);
    return number;
}
