// Builds wave images chunk by chunk for the sound tests.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "test_support.h"

namespace soundtest {

using test_support::Bytes;
using test_support::PutLE;

// The format record cut (or zero-extended) to `bytes`.
inline Bytes Fmt(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t bytes = 16, uint16_t tag = 1)
{
    Bytes r;
    uint32_t align = channels * bits / 8u;
    for (auto [x, n] :
         {std::pair{uint32_t(tag), 2}, {channels, 2}, {rate, 4}, {rate * align, 4}, {align, 2}, {bits, 2}})
        PutLE(r, x, n);
    r.resize(bytes, 0);
    return r;
}

inline Bytes S16(const std::vector<int16_t>& values)
{
    Bytes v;
    for (int16_t s : values)
        PutLE(v, uint16_t(s), 2);
    return v;
}

struct Wave {
    Bytes body;
    // A chunk claiming `declared` bytes (its true size by default), padded when odd.
    Wave& Chunk(const char* id, const Bytes& content, int64_t declared = -1)
    {
        body.insert(body.end(), id, id + 4);
        PutLE(body, declared < 0 ? uint32_t(content.size()) : uint32_t(declared), 4);
        body.insert(body.end(), content.begin(), content.end());
        if (declared < 0 && content.size() % 2)
            body.push_back(0xEE);
        return *this;
    }
    Bytes Image(int64_t riffSize = -1) const
    {
        Bytes v = {'R', 'I', 'F', 'F'};
        PutLE(v, riffSize < 0 ? uint32_t(body.size() + 4) : uint32_t(riffSize), 4);
        v.insert(v.end(), {'W', 'A', 'V', 'E'});
        v.insert(v.end(), body.begin(), body.end());
        return v;
    }
};

inline Bytes MonoWave16(const std::vector<int16_t>& values, uint32_t rate = 44100)
{
    return Wave().Chunk("fmt ", Fmt(1, rate, 16)).Chunk("data", S16(values)).Image();
}

} // namespace soundtest
