// The chunk walk over wave images: what it accepts, and that no damaged image
// makes it read outside the block or loop for ever.
#include <gtest/gtest.h>

#include <memory>

#include "engine/wave.h"
#include "test_sound_waves.h"

using namespace soundtest;

namespace {

struct Parsed {
    int ok = 0;
    WaveFormat format{};
    std::vector<uint8_t> samples;
};

// Parses a copy held in a block of exactly the image's size, so that a read past
// the end shows up under the address sanitizer.
Parsed Parse(const std::vector<uint8_t>& image, uint32_t length = UINT32_MAX)
{
    if (length == UINT32_MAX) length = uint32_t(image.size());
    std::unique_ptr<uint8_t[]> block(new uint8_t[length ? length : 1]);
    std::memcpy(block.get(), image.data(), length);
    Parsed p;
    const uint8_t* samples = nullptr;
    uint32_t bytes = 0;
    p.ok = FindWaveChunks(block.get(), length, &p.format, &samples, &bytes);
    if (p.ok) {
        EXPECT_GE(samples, block.get());
        EXPECT_LE(samples + bytes, block.get() + length);
        p.samples.assign(samples, samples + bytes);
    }
    return p;
}

const std::vector<uint8_t> kFour = Samples16({100, -100, 200, -200});

} // namespace

TEST(SoundWave, ReadsFormatAndSamples)
{
    Parsed p = Parse(WaveBuilder().Chunk("fmt ", FormatRecord(2, 22050, 16)).Chunk("data", kFour).Image());
    ASSERT_EQ(p.ok, 1);
    EXPECT_EQ(p.format.formatTag, 1);
    EXPECT_EQ(p.format.channels, 2);
    EXPECT_EQ(p.format.samplesPerSec, 22050u);
    EXPECT_EQ(p.format.avgBytesPerSec, 22050u * 4);
    EXPECT_EQ(p.format.blockAlign, 4);
    EXPECT_EQ(p.format.bitsPerSample, 16);
    EXPECT_EQ(p.samples, kFour);
}

TEST(SoundWave, ChunkOrderAndPadding)
{
    // An odd-sized chunk before the format is followed by its pad byte.
    Parsed odd = Parse(WaveBuilder()
                           .Chunk("LIST", {1, 2, 3})
                           .Chunk("fmt ", FormatRecord(1, 44100, 16))
                           .Chunk("data", kFour)
                           .Image());
    ASSERT_EQ(odd.ok, 1);
    EXPECT_EQ(odd.format.channels, 1);
    EXPECT_EQ(odd.samples, kFour);

    // Samples before the format, and an odd-sized 8-bit data chunk.
    Parsed first = Parse(WaveBuilder()
                             .Chunk("data", {0x80, 0x90, 0xA0})
                             .Chunk("fmt ", FormatRecord(1, 8000, 8))
                             .Image());
    ASSERT_EQ(first.ok, 1);
    EXPECT_EQ(first.samples, (std::vector<uint8_t>{0x80, 0x90, 0xA0}));

    // The first non-empty data chunk wins over an empty one before it and a
    // later one; only the first format counts.
    Parsed later = Parse(WaveBuilder()
                             .Chunk("data", {})
                             .Chunk("fmt ", FormatRecord(1, 11025, 16))
                             .Chunk("fmt ", FormatRecord(2, 48000, 16))
                             .Chunk("data", kFour)
                             .Chunk("data", Samples16({7, 7}))
                             .Image());
    ASSERT_EQ(later.ok, 1);
    EXPECT_EQ(later.format.samplesPerSec, 11025u);
    EXPECT_EQ(later.samples, kFour);

    // The walk ends once both are known: rubbish after them does not matter.
    Parsed rubbish = Parse(WaveBuilder()
                               .Chunk("fmt ", FormatRecord(1, 44100, 16))
                               .Chunk("data", kFour)
                               .RawChunk("junk", 0xFFFFFFF0u, {1, 2})
                               .Image());
    EXPECT_EQ(rubbish.ok, 1);
}

TEST(SoundWave, ShortFormatRecordsReadAsZero)
{
    // A 16-byte record (no extra-size field) placed last in the block: read into
    // a zeroed record, nothing past the block.
    Parsed p = Parse(WaveBuilder().Chunk("data", kFour).Chunk("fmt ", FormatRecord(1, 44100, 16, 16)).Image());
    ASSERT_EQ(p.ok, 1);
    EXPECT_EQ(p.format.extraSize, 0);

    // 14 bytes is accepted by the walk but has no sample size: refused.
    EXPECT_EQ(Parse(WaveBuilder().Chunk("data", kFour).Chunk("fmt ", FormatRecord(1, 44100, 16, 14)).Image()).ok, 0);
    EXPECT_EQ(Parse(WaveBuilder().Chunk("fmt ", FormatRecord(1, 44100, 16, 12)).Chunk("data", kFour).Image()).ok, 0);
    // A short first format is not rescued by a good later one.
    EXPECT_EQ(Parse(WaveBuilder()
                        .Chunk("fmt ", FormatRecord(1, 44100, 16, 10))
                        .Chunk("fmt ", FormatRecord(1, 44100, 16))
                        .Chunk("data", kFour)
                        .Image())
                  .ok,
              0);
}

TEST(SoundWave, MissingPartsAreRefused)
{
    auto fmt = FormatRecord(1, 44100, 16);
    EXPECT_EQ(Parse(WaveBuilder().Chunk("data", kFour).Image()).ok, 0);
    EXPECT_EQ(Parse(WaveBuilder().Chunk("fmt ", fmt).Image()).ok, 0);
    EXPECT_EQ(Parse(WaveBuilder().Chunk("fmt ", fmt).Chunk("data", {}).Image()).ok, 0);
    EXPECT_EQ(Parse(WaveBuilder().Image()).ok, 0);

    auto good = WaveBuilder().Chunk("fmt ", fmt).Chunk("data", kFour).Image();
    auto notRiff = good;
    notRiff[0] = 'X';
    EXPECT_EQ(Parse(notRiff).ok, 0);
    auto notWave = good;
    notWave[11] = 'X';
    EXPECT_EQ(Parse(notWave).ok, 0);
    EXPECT_EQ(Parse(good, 11).ok, 0);
    EXPECT_EQ(Parse(good, 0).ok, 0);
    WaveFormat f{};
    const uint8_t* s = nullptr;
    uint32_t n = 0;
    EXPECT_EQ(FindWaveChunks(nullptr, 100, &f, &s, &n), 0);
}

TEST(SoundWave, SizesPastTheEndAreRefused)
{
    auto fmt = FormatRecord(1, 44100, 16);
    // A data chunk claiming more than the block holds.
    EXPECT_EQ(Parse(WaveBuilder().Chunk("fmt ", fmt).RawChunk("data", 9, kFour).Image()).ok, 0);
    // A skipped chunk claiming more than the block holds, and one near 2^32 that
    // would wrap a 32-bit position back to the start.
    EXPECT_EQ(Parse(WaveBuilder().RawChunk("LIST", 1000, {0, 0}).Chunk("fmt ", fmt).Chunk("data", kFour).Image()).ok,
              0);
    EXPECT_EQ(Parse(WaveBuilder().RawChunk("LIST", 0xFFFFFFF4u, {}).Chunk("fmt ", fmt).Chunk("data", kFour).Image()).ok,
              0);
    EXPECT_EQ(Parse(WaveBuilder().RawChunk("LIST", 0xFFFFFFFFu, {}).Chunk("fmt ", fmt).Chunk("data", kFour).Image()).ok,
              0);
    // A RIFF size larger than the block: the block's end counts.
    EXPECT_EQ(Parse(WaveBuilder().Chunk("fmt ", fmt).Chunk("data", kFour).Image(0xFFFFFFFFu)).ok, 1);
    // A RIFF size that ends before the samples: they lie outside the wave.
    EXPECT_EQ(Parse(WaveBuilder().Chunk("fmt ", fmt).Chunk("data", kFour).Image(4 + 8 + 16)).ok, 0);

    // Every truncation of a good image is refused without reading past it.
    auto good = WaveBuilder().Chunk("LIST", {9}).Chunk("fmt ", FormatRecord(2, 22050, 8, 18)).Chunk("data", kFour).Image();
    for (uint32_t len = 0; len < good.size(); ++len) EXPECT_EQ(Parse(good, len).ok, 0) << "length " << len;
    EXPECT_EQ(Parse(good).ok, 1);
}

TEST(SoundWave, OnlyPlayableFormatsAreAccepted)
{
    auto with = [](const std::vector<uint8_t>& fmt, const std::vector<uint8_t>& data) {
        return Parse(WaveBuilder().Chunk("fmt ", fmt).Chunk("data", data).Image()).ok;
    };
    EXPECT_EQ(with(FormatRecord(1, 8000, 8), {1}), 1);
    EXPECT_EQ(with(FormatRecord(2, 96000, 16), kFour), 1);
    EXPECT_EQ(with(FormatRecord(1, 44100, 16, 16, 3), kFour), 0); // not PCM
    EXPECT_EQ(with(FormatRecord(3, 44100, 16), kFour), 0);
    EXPECT_EQ(with(FormatRecord(0, 44100, 16), kFour), 0);
    EXPECT_EQ(with(FormatRecord(1, 44100, 24), kFour), 0);
    EXPECT_EQ(with(FormatRecord(1, 44100, 0), kFour), 0);
    EXPECT_EQ(with(FormatRecord(1, 0, 16), kFour), 0);
    EXPECT_EQ(with(FormatRecord(2, 44100, 16), {1, 2}), 0); // not one whole frame

    auto badAlign = FormatRecord(2, 44100, 16);
    badAlign[12] = 0; // block size 0 would divide by zero further on
    EXPECT_EQ(with(badAlign, kFour), 0);
    badAlign[12] = 3;
    EXPECT_EQ(with(badAlign, kFour), 0);
}
