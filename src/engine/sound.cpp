// Sound effects and music. Effects are requested by number during the update
// pass and played together at its end, so an effect asked for by several tasks
// in one frame sounds once; music loops one track at a time.
#include "engine/sound.h"

#include <cstdio>

#include "engine/archive.h"
#include "engine/config.h"
#include "engine/startup_note.h"
#include "engine/wave.h"
#include "platform/audio.h"

constexpr int kFirstEffectBlock = 126;
constexpr int kFirstMusicBlock = 146;

plat::SoundBuffer* g_soundEffects[kSoundEffectCount];
plat::SoundBuffer* g_music[kMusicTrackCount];
SoundRequest g_soundRequests[kSoundEffectCount];
int32_t g_soundDevice;

static_assert(kSoundEffectCount == 20 && kMusicTrackCount == 4, "the tables in engine/wave.h");

int InitSound(void*)
{
    // A second start-up without a release in between must not leave the old
    // buffers playing in the mixer.
    ReleaseSound();
    for (auto& b : g_soundEffects)
        b = nullptr;
    for (auto& b : g_music)
        b = nullptr;
    // The window plays no part: the output is shared and keeps playing while the
    // window is in the background.
    if (!plat::OpenAudioOutput()) {
        NoteStartupFailure("sound output: %s", plat::LastAudioError());
        return 0;
    }
    g_soundDevice = 1;
    if (!LoadSoundEffectsFromData())
        return 0;
    return LoadMusicFromData();
}

void ReleaseSound()
{
    if (!g_soundDevice)
        return;
    for (auto& b : g_soundEffects) {
        plat::ReleaseBuffer(b);
        b = nullptr;
    }
    for (auto& b : g_music) {
        plat::ReleaseBuffer(b);
        b = nullptr;
    }
    plat::CloseAudioOutput();
    g_soundDevice = 0;
}

// One wave block into one buffer; a failure notes which block and why.
static int LoadWaveBlock(const char* what, int number, int block, plat::SoundBuffer** out)
{
    uint32_t size = 0;
    const uint8_t* image = GetDataBlock(block, &size);
    const char* why = nullptr;
    if (CreateSoundBufferFromWave(image, size, out, &why)) {
        if (why)
            std::fprintf(stderr, "%s %d (data.dat block %d): %s\n", what, number, block, why);
        return 1;
    }
    NoteStartupFailure("%s %d (data.dat block %d): %s", what, number, block, why);
    return 0;
}

int LoadSoundEffectsFromData()
{
    for (int i = 0; i < kSoundEffectCount; ++i)
        if (!LoadWaveBlock("sound effect", i, kFirstEffectBlock + i, &g_soundEffects[i]))
            return 0;
    return 1;
}

int LoadMusicFromData()
{
    for (int i = 0; i < kMusicTrackCount; ++i)
        if (!LoadWaveBlock("music track", i, kFirstMusicBlock + i, &g_music[i]))
            return 0;
    return 1;
}

int CreateSoundBufferFromWave(const uint8_t* image, uint32_t length, plat::SoundBuffer** out, const char** why)
{
    const char* ignored = nullptr;
    const char*& reason = why ? *why : ignored;
    reason = "no sound output";
    if (!g_soundDevice)
        return 0;
    reason = "the block lies outside data.dat";
    if (image == nullptr)
        return 0;
    WaveFormat format{};
    const uint8_t* samples = nullptr;
    uint32_t sampleBytes = 0;
    if (!FindWaveChunks(image, length, &format, &samples, &sampleBytes, &reason))
        return 0;
    plat::PcmFormat pcm{format.channels, format.bitsPerSample, format.samplesPerSec};
    bool cut = false;
    plat::SoundBuffer* buffer = plat::CreateStaticBuffer(pcm, samples, sampleBytes, &cut);
    reason = "no memory for the converted samples";
    if (buffer == nullptr)
        return 0;
    // Only a damaged block runs this long; the game plays on with what fits.
    reason = cut ? "over three minutes long; only the first three are kept" : nullptr;
    *out = buffer;
    return 1;
}

void RequestSoundEffect(int id, int noRewind)
{
    if (id < 0 || id >= kSoundEffectCount)
        return;
    g_soundRequests[id].requested = 1;
    g_soundRequests[id].noRewind = noRewind;
}

void RequestSoundEffect(int id)
{
    RequestSoundEffect(id, 0);
}

void ClearSoundRequests()
{
    for (auto& r : g_soundRequests)
        r = SoundRequest{};
}

void FlushSoundRequests()
{
    for (int id = 0; id < kSoundEffectCount; ++id)
        if (g_soundRequests[id].requested)
            PlaySoundEffectNow(id, g_soundRequests[id].noRewind);
}

void PlaySoundEffectNow(int id, int noRewind)
{
    if (id < 0 || id >= kSoundEffectCount)
        return;
    if (!g_gameConfig.soundEffectsOn || !g_soundDevice || g_soundEffects[id] == nullptr)
        return;
    plat::SoundBuffer* b = g_soundEffects[id];
    if (!noRewind) {
        // Restart an effect that is still sounding from an earlier frame.
        plat::StopBuffer(b);
        plat::SetBufferPosition(b, 0);
    }
    plat::PlayBuffer(b, false);
    // Our output never loses a buffer, so there is no lost-buffer case to handle.
}

void StopAllMusic()
{
    for (plat::SoundBuffer* b : g_music) {
        plat::StopBuffer(b);
        plat::SetBufferPosition(b, 0);
    }
}

void PlayMusic(int track)
{
    StopAllMusic();
    if (track < 0 || track >= kMusicTrackCount)
        return;
    if (g_gameConfig.musicOn == 1)
        plat::PlayBuffer(g_music[track], true);
}
