// Sound effects and music are RIFF WAVE images out of the data archive: the chunk walk
// and the conversion to the mixer's format take every size field from the bytes.
#include <cstddef>
#include <cstdint>

#include "engine/wave.h"
#include "platform/audio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > UINT32_MAX)
        return 0;
    const uint32_t length = static_cast<uint32_t>(size);

    WaveFormat format{};
    const uint8_t* samples = nullptr;
    uint32_t sampleBytes = 0;
    if (FindWaveChunks(data, length, &format, &samples, &sampleBytes)) {
        // The samples the mixer will copy lie inside the image.
        if (samples < data || sampleBytes == 0 || sampleBytes > length || samples + sampleBytes > data + length)
            __builtin_trap();
        if (format.formatTag != kWaveFormatPcm)
            __builtin_trap();
    }

    // The loader's whole path: walk, then convert into a mixer buffer.
    g_soundDevice = 1;
    plat::SoundBuffer* buffer = nullptr;
    if (CreateSoundBufferFromWave(data, length, &buffer)) {
        const uint32_t frames = plat::BufferFrames(buffer);
        if (frames == 0)
            __builtin_trap();
        int16_t left = 0, right = 0;
        plat::BufferFrame(buffer, 0, &left, &right);
        plat::BufferFrame(buffer, frames - 1, &left, &right);
        plat::ReleaseBuffer(buffer);
    }
    g_soundDevice = 0;
    return 0;
}
