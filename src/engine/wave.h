// Wave images (RIFF WAVE files held in the data archive) and the sound module's
// buffers built from them.
#pragma once
#include <cstdint>

#include "platform/audio.h"

// The 18-byte wave format record at the start of a "fmt " chunk, read field by
// field (little-endian). A shorter chunk leaves the missing fields at 0.
struct WaveFormat {
    uint16_t formatTag; // 1 = PCM
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign; // bytes per sample frame
    uint16_t bitsPerSample;
    uint16_t extraSize;
};

constexpr uint32_t kWaveFormatBytes = 18;
constexpr uint16_t kWaveFormatPcm = 1;

// Walks the chunks of a wave image of `length` bytes. On success returns 1 with
// the first "fmt " record in *format and the first non-empty "data" chunk in
// *samples / *sampleBytes (pointing into the image). Returns 0 when the image is
// not RIFF WAVE, a chunk runs past the image or past the RIFF size, the format
// chunk is missing or shorter than 14 bytes, there are no samples, or the format
// is one the mixer cannot play (only PCM, 1 or 2 channels, 8 or 16 bits, a rate
// of 8,000 to 96,000 Hz and a block size matching them, and at least one whole
// frame); *why (may be null) then says which. Never reads outside
// [image, image + length).
int FindWaveChunks(const uint8_t* image, uint32_t length, WaveFormat* format, const uint8_t** samples,
                   uint32_t* sampleBytes, const char** why = nullptr);

// The sample rates a wave may have: anything else is a damaged header, and a tiny
// rate would turn a short block into hours of converted sound.
constexpr uint32_t kWaveMinRate = 8000;
constexpr uint32_t kWaveMaxRate = 96000;

// --- The sound module's own procedures and tables (src/engine/sound.cpp), beside
// the frame-facing ones of engine/sound.h; exposed for the tests.

struct SoundRequest {
    int32_t requested; // 1 when the effect was requested in this update pass
    int32_t noRewind;  // 1: an effect still playing continues instead of restarting
};

extern plat::SoundBuffer* g_soundEffects[20]; // effect i from block 126 + i
extern plat::SoundBuffer* g_music[4];         // track i from block 146 + i
extern SoundRequest g_soundRequests[20];
extern int32_t g_soundDevice; // 1 from a successful output open to ReleaseSound

int LoadSoundEffectsFromData();
int LoadMusicFromData();
// *why (may be null) says why a wave gave no buffer; after success it is null, or
// says that a sound too long for one buffer was cut.
int CreateSoundBufferFromWave(const uint8_t* image, uint32_t length, plat::SoundBuffer** out,
                              const char** why = nullptr);
void RequestSoundEffect(int id, int noRewind);
void PlaySoundEffectNow(int id, int noRewind);
