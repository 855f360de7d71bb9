// Sound output: static sample buffers summed by one mixer into the default
// playback device (SDL2 audio). With the Silent back end no device is opened and
// nobody pulls the mixer, except tests through MixAudio.
//
// Threads: the device pulls the mixer on its own thread; every call below may be
// made from the game's thread at any time while that happens.
#pragma once
#include <cstdint>

namespace plat {

// The mixer's fixed output format: interleaved stereo signed 16-bit frames.
constexpr int kMixRate = 44100;
constexpr int kMixChannels = 2;

// Linear PCM as a wave file stores it: 8-bit samples unsigned, 16-bit signed
// little-endian, channels interleaved.
struct PcmFormat {
    int channels;           // 1 or 2
    int bitsPerSample;      // 8 or 16
    uint32_t samplesPerSec; // 8,000 to 96,000
};

// The longest sound a buffer holds after conversion, in output frames: three minutes.
// Longer samples are cut there, so that a damaged block cannot take gigabytes.
constexpr uint32_t kMaxBufferFrames = uint32_t(kMixRate) * 60 * 3;

struct SoundBuffer;

// Opens the output for the selected back end: the default playback device for
// Device (0 when none opens), nothing for Silent. Returns 1 or 0.
int OpenAudioOutput();
const char* LastAudioError(); // why the output did not open
// Closes the device (waiting for the mixer to finish) and frees any buffer still
// alive. Safe when nothing is open.
void CloseAudioOutput();

// Converts the samples once, now, to the mixer's format and rate. NULL when the
// format is not playable (a rate outside 8,000 to 96,000 Hz included) or there is not
// one whole frame. Sound past kMaxBufferFrames is dropped; *cut (may be null) says so.
SoundBuffer* CreateStaticBuffer(const PcmFormat& format, const uint8_t* samples, uint32_t bytes, bool* cut = nullptr);
void ReleaseBuffer(SoundBuffer* buffer); // NULL is ignored

// Starts the buffer from its current position; a looping buffer wraps to its
// first frame at the end, a one-shot one stops there and rewinds to 0.
void PlayBuffer(SoundBuffer* buffer, bool looping);
void StopBuffer(SoundBuffer* buffer);                        // keeps the position
void SetBufferPosition(SoundBuffer* buffer, uint32_t frame); // in output frames; past the end means 0

bool BufferPlaying(const SoundBuffer* buffer);
bool BufferLooping(const SoundBuffer* buffer);
uint32_t BufferPosition(const SoundBuffer* buffer); // next output frame to mix
uint32_t BufferFrames(const SoundBuffer* buffer);   // length in output frames
// The converted frame `frame` (left, right), for checks of the conversion.
void BufferFrame(const SoundBuffer* buffer, uint32_t frame, int16_t* left, int16_t* right);

// Renders `frames` stereo frames of every playing buffer, summed and clipped,
// advancing them. What the device's thread calls; tests call it directly.
void MixAudio(int16_t* out, int frames);

} // namespace plat
