#pragma once
// The ring tone through libfluidsynth and a General MIDI sound font. The synthesizer is
// made at the first ring; without a sound font or an audio device nothing plays and
// nothing is said. A skevo.mid that is not there plays the program's own tune.
#include "IRingPlayer.h"

#include <QString>
#include <memory>

class CRingPlayer : public IRingPlayer
{
public:
    // renderTo: instead of the audio device, fluidsynth's file driver writes what plays into
    // this WAV file (a test listens through it).
    explicit CRingPlayer(const QString &renderTo = QString());
    ~CRingPlayer() override;

    void PlayRing(const QString &file) override;
    void StopRing() override;
    bool IsPlaying() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
