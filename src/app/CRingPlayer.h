#pragma once
// The ring tone through libfluidsynth and a General MIDI sound font. The synthesizer is
// made at the first ring; without a sound font or an audio device nothing plays and
// nothing is said.
#include "IRingPlayer.h"

#include <memory>

class CRingPlayer : public IRingPlayer
{
public:
    CRingPlayer();
    ~CRingPlayer() override;

    void PlayRing(const QString &file) override;
    void StopRing() override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
