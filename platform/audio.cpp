#include "platform/audio.h"
#include "platform/byte_order.h"

#include <SDL.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

#include "platform/backends.h"

namespace plat {

struct SoundBuffer {
    int16_t* frames = nullptr; // interleaved stereo at kMixRate, filled once at creation
    uint32_t length = 0;       // in frames
    uint32_t position = 0;
    bool playing = false;
    bool looping = false;
};

namespace {

// One lock guards the buffer list and every buffer's play state. The device's
// thread holds it for one whole render, so a start, stop or rewind from the game
// lands between two renders and is never seen half done.
std::mutex s_lock;
std::vector<SoundBuffer*> s_buffers;
SDL_AudioDeviceID s_device = 0;
bool s_open = false;

constexpr uint32_t kMinRate = 8000;
constexpr uint32_t kMaxRate = 96000;

int32_t SourceSample(const PcmFormat& format, const uint8_t* samples, uint32_t frame, int channel)
{
    int bytesPerSample = format.bitsPerSample / 8;
    int ch = format.channels == 2 ? channel : 0;
    const uint8_t* p = samples + (uint64_t(frame) * format.channels + ch) * bytesPerSample;
    if (format.bitsPerSample == 8)
        return (int32_t(p[0]) - 128) * 256;
    return int16_t(LoadLE16(p));
}

int64_t DivideRounded(int64_t value, int64_t divisor)
{
    return value >= 0 ? (value + divisor / 2) / divisor : -((-value + divisor / 2) / divisor);
}

void Callback(void*, Uint8* stream, int len)
{
    MixAudio(reinterpret_cast<int16_t*>(stream), len / int(sizeof(int16_t) * kMixChannels));
}

void MixInto(SoundBuffer* b, int32_t* acc, int frames)
{
    int done = 0;
    while (done < frames && b->playing) {
        uint32_t take = std::min<uint32_t>(b->length - b->position, uint32_t(frames - done));
        const int16_t* src = b->frames + uint64_t(b->position) * kMixChannels;
        int32_t* dst = acc + done * kMixChannels;
        for (uint32_t i = 0; i < take * kMixChannels; ++i)
            dst[i] += src[i];
        b->position += take;
        done += int(take);
        if (b->position >= b->length) {
            b->position = 0;
            if (!b->looping)
                b->playing = false;
        }
    }
}

} // namespace

// SDL's words for the last failed open, kept before the subsystem is shut again.
static char s_error[256] = "";

static void KeepSdlError()
{
    SDL_strlcpy(s_error, SDL_GetError(), sizeof(s_error));
}

const char* LastAudioError()
{
    return s_error;
}

int OpenAudioOutput()
{
    if (s_open)
        return 1;
    if (SelectedAudioBackend() == AudioBackend::Silent) {
        s_open = true;
        return 1;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        KeepSdlError();
        return 0;
    }
    SDL_AudioSpec want{};
    want.freq = kMixRate;
    want.format = AUDIO_S16SYS;
    want.channels = kMixChannels;
    want.samples = 1024;
    want.callback = Callback;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware wants, so the
    // mixer always renders its one format.
    s_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (s_device == 0) {
        KeepSdlError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
    SDL_PauseAudioDevice(s_device, 0);
    s_open = true;
    return 1;
}

void CloseAudioOutput()
{
    if (s_device != 0) {
        SDL_CloseAudioDevice(s_device); // returns once the callback has finished
        s_device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    std::vector<SoundBuffer*> left;
    {
        std::lock_guard<std::mutex> lock(s_lock);
        left.swap(s_buffers);
    }
    for (SoundBuffer* b : left) {
        delete[] b->frames;
        delete b;
    }
    s_open = false;
}

SoundBuffer* CreateStaticBuffer(const PcmFormat& format, const uint8_t* samples, uint32_t bytes, bool* cut)
{
    if (cut)
        *cut = false;
    if (samples == nullptr)
        return nullptr;
    if (format.channels != 1 && format.channels != 2)
        return nullptr;
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16)
        return nullptr;
    if (format.samplesPerSec < kMinRate || format.samplesPerSec > kMaxRate)
        return nullptr;
    uint32_t frameBytes = uint32_t(format.channels * format.bitsPerSample / 8);
    uint32_t srcFrames = bytes / frameBytes; // a trailing partial frame is dropped
    if (srcFrames == 0)
        return nullptr;

    const uint64_t rate = format.samplesPerSec;
    uint64_t outFrames = (uint64_t(srcFrames) * kMixRate + rate / 2) / rate;
    if (outFrames == 0)
        outFrames = 1;
    if (outFrames > kMaxBufferFrames) {
        outFrames = kMaxBufferFrames;
        if (cut)
            *cut = true;
    }

    SoundBuffer* b = new (std::nothrow) SoundBuffer;
    if (b == nullptr)
        return nullptr;
    b->frames = new (std::nothrow) int16_t[outFrames * kMixChannels];
    if (b->frames == nullptr) {
        delete b;
        return nullptr;
    }
    b->length = uint32_t(outFrames);

    // Linear interpolation between the two source frames around each output
    // frame; an output frame that falls on a source frame copies it exactly.
    for (uint64_t i = 0; i < outFrames; ++i) {
        uint64_t at = i * rate;
        uint64_t index = at / kMixRate;
        int64_t frac = int64_t(at % kMixRate);
        if (index >= srcFrames) {
            index = srcFrames - 1;
            frac = 0;
        }
        uint32_t next = uint32_t(std::min<uint64_t>(index + 1, srcFrames - 1));
        for (int ch = 0; ch < kMixChannels; ++ch) {
            int64_t a = SourceSample(format, samples, uint32_t(index), ch);
            int64_t c = SourceSample(format, samples, next, ch);
            int64_t v = DivideRounded(a * (kMixRate - frac) + c * frac, kMixRate);
            b->frames[i * kMixChannels + ch] = int16_t(std::clamp<int64_t>(v, -32768, 32767));
        }
    }

    std::lock_guard<std::mutex> lock(s_lock);
    s_buffers.push_back(b);
    return b;
}

void ReleaseBuffer(SoundBuffer* buffer)
{
    if (buffer == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(s_lock);
        auto it = std::find(s_buffers.begin(), s_buffers.end(), buffer);
        if (it == s_buffers.end())
            return; // already freed by CloseAudioOutput
        s_buffers.erase(it);
    }
    delete[] buffer->frames;
    delete buffer;
}

void PlayBuffer(SoundBuffer* buffer, bool looping)
{
    if (buffer == nullptr)
        return;
    std::lock_guard<std::mutex> lock(s_lock);
    buffer->looping = looping;
    buffer->playing = true;
}

void StopBuffer(SoundBuffer* buffer)
{
    if (buffer == nullptr)
        return;
    std::lock_guard<std::mutex> lock(s_lock);
    buffer->playing = false;
}

void SetBufferPosition(SoundBuffer* buffer, uint32_t frame)
{
    if (buffer == nullptr)
        return;
    std::lock_guard<std::mutex> lock(s_lock);
    buffer->position = frame < buffer->length ? frame : 0;
}

bool BufferPlaying(const SoundBuffer* buffer)
{
    if (buffer == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(s_lock);
    return buffer->playing;
}

bool BufferLooping(const SoundBuffer* buffer)
{
    if (buffer == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(s_lock);
    return buffer->looping;
}

uint32_t BufferPosition(const SoundBuffer* buffer)
{
    if (buffer == nullptr)
        return 0;
    std::lock_guard<std::mutex> lock(s_lock);
    return buffer->position;
}

uint32_t BufferFrames(const SoundBuffer* buffer)
{
    return buffer == nullptr ? 0 : buffer->length;
}

void BufferFrame(const SoundBuffer* buffer, uint32_t frame, int16_t* left, int16_t* right)
{
    *left = *right = 0;
    if (buffer == nullptr || frame >= buffer->length)
        return;
    *left = buffer->frames[uint64_t(frame) * kMixChannels];
    *right = buffer->frames[uint64_t(frame) * kMixChannels + 1];
}

void MixAudio(int16_t* out, int frames)
{
    constexpr int kBlock = 512;
    int32_t acc[kBlock * kMixChannels];
    std::lock_guard<std::mutex> lock(s_lock);
    while (frames > 0) {
        int n = std::min(frames, kBlock);
        std::fill(acc, acc + n * kMixChannels, 0);
        for (SoundBuffer* b : s_buffers)
            if (b->playing)
                MixInto(b, acc, n);
        for (int i = 0; i < n * kMixChannels; ++i)
            out[i] = int16_t(std::clamp(acc[i], -32768, 32767));
        out += n * kMixChannels;
        frames -= n;
    }
}

} // namespace plat
