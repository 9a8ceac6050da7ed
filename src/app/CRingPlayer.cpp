#include "CRingPlayer.h"

#include "RingTune.h"

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
    QString m_strRenderTo;
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
        if (!m_strRenderTo.isEmpty()) {
            const QByteArray name = m_strRenderTo.toLocal8Bit();
            fluid_settings_setstr(m_pSettings, "audio.driver", "file");
            fluid_settings_setstr(m_pSettings, "audio.file.name", name.constData());
            fluid_settings_setstr(m_pSettings, "audio.file.type", "wav");
        }
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
    const QFileInfo info(file);
    const QByteArray path = info.absoluteFilePath().toLocal8Bit();
    // The default ring file need not be copied beside every setting.ini: the tune is built in.
    const bool builtIn = !info.exists() && info.fileName() == RingTune::kFileName;
    if (!builtIn && (!info.isFile() || !fluid_is_midifile(path.constData())))
        return;
    if (!d->Ready())
        return;
    d->m_pPlayer = new_fluid_player(d->m_pSynth);
    if (!d->m_pPlayer)
        return;
    static const QByteArray tune = RingTune::Midi();
    const int added = builtIn ? fluid_player_add_mem(d->m_pPlayer, tune.constData(), size_t(tune.size()))
                              : fluid_player_add(d->m_pPlayer, path.constData());
    if (added != FLUID_OK || fluid_player_play(d->m_pPlayer) != FLUID_OK) {
        delete_fluid_player(d->m_pPlayer);
        d->m_pPlayer = nullptr;
    }
}

bool CRingPlayer::IsPlaying() const
{
    return d->m_pPlayer && fluid_player_get_status(d->m_pPlayer) == FLUID_PLAYER_PLAYING;
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
bool CRingPlayer::IsPlaying() const { return false; }

#endif

CRingPlayer::CRingPlayer(const QString &renderTo) : d(std::make_unique<Private>())
{
#ifdef SKEVO_HAVE_FLUIDSYNTH
    d->m_strRenderTo = renderTo;
#else
    Q_UNUSED(renderTo);
#endif
}
CRingPlayer::~CRingPlayer() = default;
