// The chunk walk over wave images: what it accepts, and that no damaged image
// makes it read outside its block or walk for ever.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

#include "engine/wave.h"
#include "test_sound_waves.h"

using namespace soundtest;

namespace {

struct Parsed {
    int ok = 0;
    WaveFormat format{};
    Bytes samples;
};

// Parses a copy in a block of exactly `length` bytes, so that a read past its
// end shows under the address sanitizer.
Parsed Parse(const Bytes& image, size_t length = SIZE_MAX)
{
    length = std::min(length, image.size());
    std::unique_ptr<uint8_t[]> block(new uint8_t[length + 1]);
    std::memcpy(block.get(), image.data(), length);
    Parsed p;
    const uint8_t* s = nullptr;
    uint32_t n = 0;
    p.ok = FindWaveChunks(block.get(), uint32_t(length), &p.format, &s, &n);
    if (p.ok) p.samples.assign(s, s + n);
    return p;
}

const Bytes kFour = S16({100, -100, 200, -200});
const Bytes kMono = Fmt(1, 44100, 16);

} // namespace

TEST(SoundWave, FindsFormatAndSamplesAcrossOtherChunks)
{
    Parsed p = Parse(Wave().Chunk("fmt ", Fmt(2, 22050, 16)).Chunk("data", kFour).Image());
    ASSERT_EQ(p.ok, 1);
    EXPECT_EQ((std::vector<uint32_t>{p.format.channels, p.format.samplesPerSec, p.format.blockAlign, p.format.bitsPerSample}),
              (std::vector<uint32_t>{2, 22050, 4, 16}));
    EXPECT_EQ(p.samples, kFour);

    // An odd-sized chunk before the format is followed by its pad byte.
    p = Parse(Wave().Chunk("LIST", {1, 2, 3}).Chunk("fmt ", kMono).Chunk("data", kFour).Image());
    ASSERT_EQ(p.ok, 1);
    EXPECT_EQ(p.samples, kFour);

    // The first non-empty data chunk wins over an empty one before it and one
    // after it; only the first format counts.
    p = Parse(Wave()
                  .Chunk("data", {})
                  .Chunk("fmt ", Fmt(1, 11025, 16))
                  .Chunk("fmt ", Fmt(2, 48000, 16))
                  .Chunk("data", kFour)
                  .Chunk("data", S16({7, 7}))
                  .Image());
    ASSERT_TRUE(p.ok == 1 && p.format.samplesPerSec == 11025u);
    EXPECT_EQ(p.samples, kFour);

    // Samples before the format; a 16-byte record last in the block reads into a
    // zeroed record; rubbish after both is never looked at.
    p = Parse(Wave().Chunk("data", kFour).Chunk("fmt ", kMono).Image());
    EXPECT_TRUE(p.ok == 1 && p.format.extraSize == 0);
    EXPECT_EQ(Parse(Wave().Chunk("fmt ", kMono).Chunk("data", kFour).Chunk("junk", {1}, 0xFFFFFFF0u).Image()).ok, 1);
}

TEST(SoundWave, RefusesMissingShortAndOversizedChunks)
{
    const Bytes refused[] = {
        Wave().Chunk("data", kFour).Image(),                                  // no format
        Wave().Chunk("fmt ", kMono).Image(),                                  // no samples
        Wave().Chunk("fmt ", kMono).Chunk("data", {}).Image(),                // only empty samples
        Wave().Chunk("fmt ", Fmt(1, 44100, 16, 12)).Chunk("data", kFour).Image(), // format under 14 bytes
        Wave().Chunk("fmt ", Fmt(1, 44100, 16, 14)).Chunk("data", kFour).Image(), // 14: no sample size
        Wave().Chunk("fmt ", Fmt(1, 44100, 16, 10)).Chunk("fmt ", kMono).Chunk("data", kFour).Image(),
        Wave().Chunk("fmt ", kMono).Chunk("data", kFour, 9).Image(),          // samples past the end
        Wave().Chunk("LIST", {0, 0}, 1000).Chunk("fmt ", kMono).Chunk("data", kFour).Image(),
        // Sizes near 2^32 would wrap a 32-bit position back into the image.
        Wave().Chunk("LIST", {}, 0xFFFFFFF4u).Chunk("fmt ", kMono).Chunk("data", kFour).Image(),
        Wave().Chunk("LIST", {}, 0xFFFFFFFFu).Chunk("fmt ", kMono).Chunk("data", kFour).Image(),
        Wave().Chunk("fmt ", kMono).Chunk("data", kFour).Image(4 + 8 + 16),   // RIFF ends before the samples
        {'R', 'I', 'F', 'X', 8, 0, 0, 0, 'W', 'A', 'V', 'E'},
        {'R', 'I', 'F', 'F', 8, 0, 0, 0, 'W', 'A', 'V'},
    };
    for (size_t i = 0; i < std::size(refused); ++i) EXPECT_EQ(Parse(refused[i]).ok, 0) << "case " << i;

    // A RIFF size past the block: the block's end counts.
    EXPECT_EQ(Parse(Wave().Chunk("fmt ", kMono).Chunk("data", kFour).Image(0xFFFFFFFFu)).ok, 1);

    // Every truncation of a good image is refused without reading past it.
    Bytes good = Wave().Chunk("LIST", {9}).Chunk("fmt ", Fmt(2, 22050, 8, 18)).Chunk("data", kFour).Image();
    for (size_t len = 0; len < good.size(); ++len) EXPECT_EQ(Parse(good, len).ok, 0) << "length " << len;
    EXPECT_EQ(Parse(good).ok, 1);
}

TEST(SoundWave, AcceptsOnlyPlayableFormats)
{
    auto with = [](Bytes fmt, const Bytes& data) {
        return Parse(Wave().Chunk("fmt ", fmt).Chunk("data", data).Image()).ok;
    };
    EXPECT_EQ(with(Fmt(1, 8000, 8), {1}) + with(Fmt(2, 96000, 16), kFour), 2);
    // Not PCM, three or no channels, 24 bits, rate 0, less than one whole frame.
    for (const Bytes& fmt : {Fmt(1, 44100, 16, 16, 3), Fmt(3, 44100, 16), Fmt(0, 44100, 16), Fmt(1, 44100, 24), Fmt(1, 0, 16)})
        EXPECT_EQ(with(fmt, kFour), 0);
    EXPECT_EQ(with(Fmt(2, 44100, 16), {1, 2}), 0);
    Bytes badAlign = Fmt(2, 44100, 16);
    badAlign[12] = 0; // a zero block size would divide by zero further on
    EXPECT_EQ(with(badAlign, kFour), 0);
}
