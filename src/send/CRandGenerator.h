#pragma once
// The pseudo-random sequence of the C runtime's rand(): a 32-bit linear congruential state
// that is 1 at program start and never reseeded, so a list is shuffled the same way after
// every start. One process-wide instance serves the program; tests make their own.
#include <QtGlobal>

class CRandGenerator
{
public:
    static constexpr int kMax = 32767;

    explicit CRandGenerator(quint32 seed = 1) : m_nState(seed) {}

    // Next value, 0 .. 32767 (bits 16..30 of the new state).
    int Next()
    {
        m_nState = m_nState * 214013u + 2531011u;
        return int((m_nState >> 16) & 0x7fffu);
    }
    quint32 State() const { return m_nState; }

    // The generator of this process, at state 1 until its first use.
    static CRandGenerator &Instance();

private:
    quint32 m_nState;
};
