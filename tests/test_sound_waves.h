// Builds wave images chunk by chunk for the sound tests.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace soundtest {

inline void PutU32(std::vector<uint8_t>& v, uint32_t x)
{
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

inline void PutU16(std::vector<uint8_t>& v, uint16_t x)
{
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}

// The format record's bytes; `bytes` cuts (or zero-extends) it to that length.
inline std::vector<uint8_t> FormatRecord(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t bytes = 16,
                                         uint16_t tag = 1)
{
    std::vector<uint8_t> r;
    uint16_t align = uint16_t(channels * bits / 8);
    PutU16(r, tag);
    PutU16(r, channels);
    PutU32(r, rate);
    PutU32(r, rate * align);
    PutU16(r, align);
    PutU16(r, bits);
    PutU16(r, 0);
    r.resize(bytes, 0);
    return r;
}

class WaveBuilder {
public:
    // Appends a chunk with its true size and, for an odd size, the pad byte.
    WaveBuilder& Chunk(const char* id, const std::vector<uint8_t>& content)
    {
        return RawChunk(id, uint32_t(content.size()), content, content.size() & 1);
    }
    // Appends a chunk header claiming `declared` bytes followed by `content`.
    WaveBuilder& RawChunk(const char* id, uint32_t declared, const std::vector<uint8_t>& content, bool pad = false)
    {
        body_.insert(body_.end(), id, id + 4);
        PutU32(body_, declared);
        body_.insert(body_.end(), content.begin(), content.end());
        if (pad) body_.push_back(0xEE);
        return *this;
    }
    // The whole image; the RIFF size is the true one unless given.
    std::vector<uint8_t> Image(int64_t riffSize = -1) const
    {
        std::vector<uint8_t> v = {'R', 'I', 'F', 'F'};
        PutU32(v, riffSize < 0 ? uint32_t(body_.size() + 4) : uint32_t(riffSize));
        v.insert(v.end(), {'W', 'A', 'V', 'E'});
        v.insert(v.end(), body_.begin(), body_.end());
        return v;
    }

private:
    std::vector<uint8_t> body_;
};

// 16-bit samples, interleaved as given.
inline std::vector<uint8_t> Samples16(const std::vector<int16_t>& values)
{
    std::vector<uint8_t> v;
    for (int16_t s : values) PutU16(v, uint16_t(s));
    return v;
}

// A playable wave of 16-bit mono samples at the given rate.
inline std::vector<uint8_t> MonoWave16(const std::vector<int16_t>& values, uint32_t rate = 44100)
{
    return WaveBuilder().Chunk("fmt ", FormatRecord(1, rate, 16)).Chunk("data", Samples16(values)).Image();
}

} // namespace soundtest
