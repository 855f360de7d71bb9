#include "engine/wave.h"

#include <cstring>

#include "platform/byte_order.h"
static void ReadFormatRecord(const uint8_t* content, uint32_t size, WaveFormat* format)
{
    // Old writers emit 14- or 16-byte records; whatever they leave out reads as 0.
    uint8_t record[kWaveFormatBytes] = {};
    std::memcpy(record, content, size < kWaveFormatBytes ? size : kWaveFormatBytes);
    format->formatTag = plat::LoadLE16(record + 0);
    format->channels = plat::LoadLE16(record + 2);
    format->samplesPerSec = plat::LoadLE32(record + 4);
    format->avgBytesPerSec = plat::LoadLE32(record + 8);
    format->blockAlign = plat::LoadLE16(record + 12);
    format->bitsPerSample = plat::LoadLE16(record + 14);
    format->extraSize = plat::LoadLE16(record + 16);
}

// Why the mixer cannot play a format; nullptr when it can.
static const char* UnplayableReason(const WaveFormat& f)
{
    if (f.formatTag != kWaveFormatPcm)
        return "the samples are not PCM";
    if (f.channels != 1 && f.channels != 2)
        return "not 1 or 2 channels";
    if (f.bitsPerSample != 8 && f.bitsPerSample != 16)
        return "not 8 or 16 bits per sample";
    if (f.samplesPerSec < kWaveMinRate || f.samplesPerSec > kWaveMaxRate)
        return "the sample rate is outside 8000 to 96000 Hz";
    if (f.blockAlign != f.channels * f.bitsPerSample / 8)
        return "the block size does not match the channels and bits";
    return nullptr;
}

int FindWaveChunks(const uint8_t* image, uint32_t length, WaveFormat* format, const uint8_t** samples,
                   uint32_t* sampleBytes, const char** why)
{
    const char* ignored = nullptr;
    const char*& reason = why ? *why : ignored;
    reason = "not a RIFF WAVE file";
    if (image == nullptr || length < 12)
        return 0;
    if (std::memcmp(image, "RIFF", 4) != 0 || std::memcmp(image + 8, "WAVE", 4) != 0)
        return 0;

    // The chunks end at the RIFF size or at the end of the block, whichever comes
    // first; 64-bit positions so that no size can wrap the walk back.
    uint64_t end = uint64_t(8) + plat::LoadLE32(image + 4);
    if (end > length)
        end = length;

    bool haveFormat = false;
    const uint8_t* data = nullptr;
    uint32_t dataBytes = 0;
    uint64_t pos = 12;
    while (!(haveFormat && dataBytes != 0)) {
        reason = !haveFormat ? "no \"fmt \" chunk" : "no \"data\" chunk with samples";
        if (pos + 8 > end)
            return 0;
        const uint8_t* header = image + pos;
        uint32_t size = plat::LoadLE32(header + 4);
        uint64_t content = pos + 8;
        reason = "a chunk runs past the end of the wave";
        if (size > end - content)
            return 0;
        if (std::memcmp(header, "fmt ", 4) == 0) {
            if (!haveFormat) {
                reason = "the \"fmt \" chunk is shorter than 14 bytes";
                if (size < 14)
                    return 0;
                ReadFormatRecord(image + content, size, format);
                haveFormat = true;
            }
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (dataBytes == 0) {
                data = image + content;
                dataBytes = size;
            }
        }
        pos = content + size + (size & 1); // chunks are padded to an even length
    }

    reason = UnplayableReason(*format);
    if (reason)
        return 0;
    if (dataBytes < format->blockAlign) {
        reason = "less than one whole sample frame";
        return 0;
    }
    *samples = data;
    *sampleBytes = dataBytes;
    return 1;
}
