#include "CRingPlayer.h"

#include <QFileInfo>

#ifdef SKEVO_HAVE_FLUIDSYNTH
#include <fluidsynth.h>

namespace {
const char *const kSoundFonts[] = {
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
};
}

struct CRingPlayer::Private
{
    bool m_bTried = false;
    fluid_settings_t *m_pSettings = nullptr;
    fluid_synth_t *m_pSynth = nullptr;
    fluid_audio_driver_t *m_pDriver = nullptr;
    fluid_player_t *m_pPlayer = nullptr;

    bool Ready()
    {
        if (m_bTried)
            return m_pDriver != nullptr;
        m_bTried = true;
        // The library's own complaints (no audio device, ...) stay out of the terminal.
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, nullptr, nullptr);
        m_pSettings = new_fluid_settings();
        if (!m_pSettings)
            return false;
        m_pSynth = new_fluid_synth(m_pSettings);
        if (!m_pSynth)
            return false;
        bool font = false;
        for (const char *path : kSoundFonts) {
            if (QFileInfo::exists(QString::fromLatin1(path)) && fluid_synth_sfload(m_pSynth, path, 1) != FLUID_FAILED) {
                font = true;
                break;
            }
        }
        if (!font)
            return false;
        m_pDriver = new_fluid_audio_driver(m_pSettings, m_pSynth);
        return m_pDriver != nullptr;
    }

    void Stop()
    {
        if (m_pPlayer) {
            fluid_player_stop(m_pPlayer);
            fluid_player_join(m_pPlayer);
            delete_fluid_player(m_pPlayer);
            m_pPlayer = nullptr;
        }
        if (m_pSynth)
            fluid_synth_all_sounds_off(m_pSynth, -1);
    }

    ~Private()
    {
        Stop();
        if (m_pDriver)
            delete_fluid_audio_driver(m_pDriver);
        if (m_pSynth)
            delete_fluid_synth(m_pSynth);
        if (m_pSettings)
            delete_fluid_settings(m_pSettings);
    }
};

void CRingPlayer::PlayRing(const QString &file)
{
    d->Stop();
    const QByteArray path = QFileInfo(file).absoluteFilePath().toLocal8Bit();
    if (!QFileInfo(file).isFile() || !fluid_is_midifile(path.constData()) || !d->Ready())
        return;
    d->m_pPlayer = new_fluid_player(d->m_pSynth);
    if (!d->m_pPlayer)
        return;
    if (fluid_player_add(d->m_pPlayer, path.constData()) != FLUID_OK || fluid_player_play(d->m_pPlayer) != FLUID_OK) {
        delete_fluid_player(d->m_pPlayer);
        d->m_pPlayer = nullptr;
    }
}

void CRingPlayer::StopRing()
{
    d->Stop();
}

#else

struct CRingPlayer::Private
{
};

// Built without libfluidsynth: the ring is silent.
void CRingPlayer::PlayRing(const QString &) {}
void CRingPlayer::StopRing() {}

#endif

CRingPlayer::CRingPlayer() : d(std::make_unique<Private>()) {}
CRingPlayer::~CRingPlayer() = default;
