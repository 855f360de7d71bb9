// Sound: the chunk walk over wave images (what it accepts, and that no damaged image
// makes it read outside its block or walk for ever), the mixer pulled by hand
// (conversion, levels, ends, loops, the game's thread against the mixing thread), and
// the game's side: start-up from the archive, effect requests over an update step,
// music switching and the two settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <iterator>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "engine/archive.h"
#include "engine/config.h"
#include "engine/sound.h"
#include "engine/wave.h"
#include "platform/audio.h"
#include "platform/backends.h"
#include "test_sound_waves.h"

namespace {

using namespace soundtest;

struct Parsed {
    int ok = 0;
    WaveFormat format{};
    Bytes samples;
};

// Parses a copy in a block of exactly `length` bytes, so that a read past its
// end shows under the address sanitizer.
Parsed Parse(const Bytes& image, size_t length = SIZE_MAX)
{
    const Bytes block(image.begin(), image.begin() + long(std::min(length, image.size())));
    Parsed p;
    const uint8_t* s = nullptr;
    uint32_t n = 0;
    p.ok = FindWaveChunks(block.data(), uint32_t(block.size()), &p.format, &s, &n);
    if (p.ok)
        p.samples.assign(s, s + n);
    return p;
}

const Bytes kFour = S16({100, -100, 200, -200});
const Bytes kMono = Fmt(1, 44100, 16);

TEST(SoundWave, FindsFormatAndSamplesAcrossOtherChunks)
{
    Parsed p = Parse(Wave().Chunk("fmt ", Fmt(2, 22050, 16)).Chunk("data", kFour).Image());
    EXPECT_EQ(
        (std::vector<uint32_t>{p.format.channels, p.format.samplesPerSec, p.format.blockAlign, p.format.bitsPerSample}),
        (std::vector<uint32_t>{2, 22050, 4, 16}));
    EXPECT_TRUE(p.ok == 1 && p.samples == kFour);
    // An odd-sized chunk before the format is followed by its pad byte.
    p = Parse(Wave().Chunk("LIST", {1, 2, 3}).Chunk("fmt ", kMono).Chunk("data", kFour).Image());
    EXPECT_TRUE(p.ok == 1 && p.samples == kFour);
    // The first non-empty data chunk wins over an empty one before it and one
    // after it; only the first format counts.
    p = Parse(Wave()
                  .Chunk("data", {})
                  .Chunk("fmt ", Fmt(1, 11025, 16))
                  .Chunk("fmt ", Fmt(2, 48000, 16))
                  .Chunk("data", kFour)
                  .Chunk("data", S16({7, 7}))
                  .Image());
    EXPECT_TRUE(p.ok == 1 && p.format.samplesPerSec == 11025u && p.samples == kFour);

    // Samples before the format; a 16-byte record last in the block reads into a
    // zeroed record; rubbish after both is never looked at.
    p = Parse(Wave().Chunk("data", kFour).Chunk("fmt ", kMono).Image());
    EXPECT_TRUE(p.ok == 1 && p.format.extraSize == 0);
    EXPECT_EQ(Parse(Wave().Chunk("fmt ", kMono).Chunk("data", kFour).Chunk("junk", {1}, 0xFFFFFFF0u).Image()).ok, 1);
}

TEST(SoundWave, RefusesMissingShortAndOversizedChunks)
{
    // No format; no samples; only empty samples; a format under 14 bytes; 14 bytes (no
    // sample size); a short format before a good one; samples past the end; a chunk
    // past the end; sizes near 2^32 that would wrap a 32-bit position back into the
    // image; a RIFF that ends before the samples; no RIFF; no WAVE.
    const Bytes refused[] = {
        Wave().Chunk("data", kFour).Image(),
        Wave().Chunk("fmt ", kMono).Image(),
        Wave().Chunk("fmt ", kMono).Chunk("data", {}).Image(),
        Wave().Chunk("fmt ", Fmt(1, 44100, 16, 12)).Chunk("data", kFour).Image(),
        Wave().Chunk("fmt ", Fmt(1, 44100, 16, 14)).Chunk("data", kFour).Image(),
        Wave().Chunk("fmt ", Fmt(1, 44100, 16, 10)).Chunk("fmt ", kMono).Chunk("data", kFour).Image(),
        Wave().Chunk("fmt ", kMono).Chunk("data", kFour, 9).Image(),
        Wave().Chunk("LIST", {0, 0}, 1000).Chunk("fmt ", kMono).Chunk("data", kFour).Image(),
        Wave().Chunk("LIST", {}, 0xFFFFFFF4u).Chunk("fmt ", kMono).Chunk("data", kFour).Image(),
        Wave().Chunk("LIST", {}, 0xFFFFFFFFu).Chunk("fmt ", kMono).Chunk("data", kFour).Image(),
        Wave().Chunk("fmt ", kMono).Chunk("data", kFour).Image(4 + 8 + 16),
        {'R', 'I', 'F', 'X', 8, 0, 0, 0, 'W', 'A', 'V', 'E'},
        {'R', 'I', 'F', 'F', 8, 0, 0, 0, 'W', 'A', 'V'}};
    for (size_t i = 0; i < std::size(refused); ++i)
        EXPECT_EQ(Parse(refused[i]).ok, 0) << "case " << i;

    // A RIFF size past the block: the block's end counts.
    EXPECT_EQ(Parse(Wave().Chunk("fmt ", kMono).Chunk("data", kFour).Image(0xFFFFFFFFu)).ok, 1);

    // Every truncation of a good image is refused without reading past it.
    Bytes good = Wave().Chunk("LIST", {9}).Chunk("fmt ", Fmt(2, 22050, 8, 18)).Chunk("data", kFour).Image();
    for (size_t len = 0; len < good.size(); ++len)
        EXPECT_EQ(Parse(good, len).ok, 0) << "length " << len;
    EXPECT_EQ(Parse(good).ok, 1);
}

TEST(SoundWave, AcceptsOnlyPlayableFormats)
{
    auto with = [](Bytes fmt, const Bytes& data) {
        return Parse(Wave().Chunk("fmt ", fmt).Chunk("data", data).Image()).ok;
    };
    EXPECT_EQ(with(Fmt(1, 8000, 8), {1}) + with(Fmt(2, 96000, 16), kFour), 2);
    // Not PCM, three or no channels, 24 bits, rate 0, less than one whole frame.
    for (const Bytes& fmt :
         {Fmt(1, 44100, 16, 16, 3), Fmt(3, 44100, 16), Fmt(0, 44100, 16), Fmt(1, 44100, 24), Fmt(1, 0, 16)})
        EXPECT_EQ(with(fmt, kFour), 0);
    EXPECT_EQ(with(Fmt(2, 44100, 16), {1, 2}), 0);
    Bytes badAlign = Fmt(2, 44100, 16);
    badAlign[12] = 0; // a zero block size would divide by zero further on
    EXPECT_EQ(with(badAlign, kFour), 0);
}

class SoundMixer : public ::testing::Test {
protected:
    void SetUp() override
    {
        plat::SelectAudioBackend(plat::AudioBackend::Silent);
        ASSERT_EQ(plat::OpenAudioOutput(), 1);
    }
    void TearDown() override { plat::CloseAudioOutput(); }
};

// Interleaved stereo of `frames` mixed frames.
std::vector<int16_t> Mix(int frames)
{
    std::vector<int16_t> out(size_t(frames) * 2, 0x5555);
    plat::MixAudio(out.data(), frames);
    return out;
}

plat::SoundBuffer* Buffer(int channels, int bits, uint32_t rate, const Bytes& b)
{
    return plat::CreateStaticBuffer({channels, bits, rate}, b.data(), uint32_t(b.size()));
}

plat::SoundBuffer* Mono16(const std::vector<int16_t>& v)
{
    return Buffer(1, 16, 44100, S16(v));
}

TEST_F(SoundMixer, ConvertsFormatsAndRatesOnce)
{
    // 8-bit is unsigned around 128; mono feeds both sides; nothing plays unasked.
    plat::SoundBuffer* b8 = Buffer(1, 8, 44100, {0xC0, 0x80, 0x00, 0xFF});
    ASSERT_EQ(plat::BufferFrames(b8), 4u);
    EXPECT_EQ(Mix(1), (std::vector<int16_t>{0, 0}));
    plat::PlayBuffer(b8, false);
    EXPECT_EQ(Mix(5), (std::vector<int16_t>{16384, 16384, 0, 0, -32768, -32768, 32512, 32512, 0, 0}));

    // Stereo keeps its sides apart; a trailing half frame is dropped.
    Bytes stereo = S16({1000, -2000, 3000, -4000});
    stereo.push_back(0x12);
    plat::SoundBuffer* b16 = Buffer(2, 16, 44100, stereo);
    ASSERT_EQ(plat::BufferFrames(b16), 2u);
    plat::PlayBuffer(b16, false);
    EXPECT_EQ(Mix(3), (std::vector<int16_t>{1000, -2000, 3000, -4000, 0, 0}));

    // A quarter of the rate: four times the frames, on straight lines between them.
    plat::SoundBuffer* slow = Buffer(1, 16, 11025, S16({0, 400, 800, 1200}));
    ASSERT_EQ(plat::BufferFrames(slow), 16u);
    plat::PlayBuffer(slow, false);
    auto ramp = Mix(16);
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(ramp[2 * i], 100 * i) << i;

    // One second lasts one second at any rate, at an unchanged level.
    std::vector<int16_t> second(2 * 44100, -80 * 256);
    second.insert(second.end(), {0, 0});
    for (uint32_t rate : {8000u, 22050u, 32000u, 48000u, 96000u}) {
        plat::SoundBuffer* b = Buffer(1, 8, rate, Bytes(rate, 0x30));
        plat::PlayBuffer(b, false);
        EXPECT_TRUE(plat::BufferFrames(b) == 44100u && Mix(44101) == second) << rate;
        plat::ReleaseBuffer(b);
    }

    // Unplayable input, and a rate so low that the sound would last for hours.
    EXPECT_TRUE(!Buffer(3, 16, 44100, S16({1, 2, 3})) && !Buffer(1, 24, 44100, S16({1, 2, 3})) &&
                !Buffer(1, 16, 0, S16({1, 2})) && !Buffer(2, 16, 44100, {1, 2, 3}) &&
                !Buffer(1, 8, 1, Bytes(200000, 0x80)));
}

TEST_F(SoundMixer, LouderThanTheRangeIsClippedNotWrapped)
{
    plat::PlayBuffer(Mono16({30000, 30000, -30000, -30000}), false);
    plat::PlayBuffer(Mono16({30000, -30000, -30000, 30000}), false);
    EXPECT_EQ(Mix(4), (std::vector<int16_t>{32767, 32767, 0, 0, -32768, -32768, 0, 0}));
}

TEST_F(SoundMixer, LoopContinuesFromTheStartWithoutAGap)
{
    // A ramp whose length is no multiple of the mixer's block, rendered in
    // uneven pieces across several seams.
    const int n = 1237;
    std::vector<int16_t> ramp(n);
    for (int i = 0; i < n; ++i)
        ramp[i] = int16_t(i * 20 - 12000);
    plat::SoundBuffer* b = Mono16(ramp);
    plat::PlayBuffer(b, true);
    size_t sample = 0; // both sides of each frame
    for (int piece : {1, 700, 511, 513, 2048, 3})
        for (int16_t s : Mix(piece))
            ASSERT_EQ(s, ramp[sample++ / 2 % n]) << "frame " << (sample - 1) / 2;
    EXPECT_TRUE(plat::BufferPlaying(b));
}

TEST_F(SoundMixer, GameThreadAgainstMixingThread)
{
    // The device's thread renders while the game starts, stops, rewinds, creates
    // and frees buffers.
    std::atomic<bool> stop{false};
    std::thread mixer([&] {
        std::vector<int16_t> out(2 * 256);
        for (int blocks = 0; !stop.load() || blocks < 10; ++blocks) {
            plat::MixAudio(out.data(), 256);
            for (int16_t s : out)
                if (s != 0 && s != 500 && s != 1000 && s != 1500)
                    std::abort(); // a torn start or free
        }
    });
    plat::SoundBuffer* steady = Mono16(std::vector<int16_t>(3000, 500));
    plat::PlayBuffer(steady, true);
    for (int round = 0; round < 300; ++round) {
        plat::SoundBuffer* b = Mono16(std::vector<int16_t>(400 + round, 1000));
        plat::PlayBuffer(b, round % 2 == 0);
        plat::StopBuffer(steady);
        plat::SetBufferPosition(steady, uint32_t(round * 7));
        plat::PlayBuffer(steady, true);
        (void)plat::BufferPosition(b);
        std::this_thread::yield();
        plat::ReleaseBuffer(b);
    }
    stop = true;
    mixer.join();
    EXPECT_TRUE(plat::BufferPlaying(steady));
}

int EffectLevel(int id)
{
    return 100 * (id + 1);
}
int MusicLevel(int track)
{
    return 256 * (20 + 4 * track);
}

// Starts the sound from an archive whose blocks hold steady, recognisable levels, 1000
// frames for each effect; the music is 8-bit stereo at 22050 Hz so that conversion is
// on the path. `block` gets `bytes` instead.
int StartWith(int block = -1, const Bytes& bytes = {})
{
    test_support::ArchiveImage archive;
    for (int i = 0; i < 20; ++i)
        archive.Add(126 + i, MonoWave16(std::vector<int16_t>(1000, int16_t(EffectLevel(i)))));
    for (int t = 0; t < 4; ++t) {
        const Bytes samples(1500 + 100 * t, uint8_t(128 + MusicLevel(t) / 256));
        archive.Add(146 + t, Wave().Chunk("fmt ", Fmt(2, 22050, 8)).Chunk("data", samples).Image());
    }
    if (block >= 0)
        archive.Add(block, bytes); // the later entry wins
    EXPECT_EQ(LoadDataFromMemory(archive.Bytes().data(), archive.Bytes().size()), 1);
    const int ok = InitSound(nullptr);
    FreeDataFile(); // the buffers hold their own copy
    return ok;
}

// One update step in which `ids` are requested.
void Frame(std::initializer_list<int> ids)
{
    ClearSoundRequests();
    for (int id : ids)
        RequestSoundEffect(id);
    FlushSoundRequests();
}

// The left side of `frames` mixed frames.
std::vector<int> Hear(int frames)
{
    const std::vector<int16_t> out = Mix(frames);
    std::vector<int> left;
    for (int i = 0; i < frames; ++i)
        left.push_back(out[2 * i]);
    return left;
}

// `frames` frames at `level`, then `then`.
std::vector<int> Steady(int frames, int level, std::vector<int> then = {})
{
    then.insert(then.begin(), size_t(frames), level);
    return then;
}

class SoundFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        plat::SelectAudioBackend(plat::AudioBackend::Silent);
        g_gameConfig.soundEffectsOn = g_gameConfig.musicOn = 1;
        ASSERT_EQ(StartWith(), 1);
    }
    void TearDown() override { ReleaseSound(); }
};

TEST(SoundStartUp, NeedsEveryBlockAndADevice)
{
    plat::SelectAudioBackend(plat::AudioBackend::Silent);
    auto tryWith = [](int block, const Bytes& bytes) {
        const int ok = StartWith(block, bytes);
        ReleaseSound();
        return ok;
    };
    EXPECT_EQ(tryWith(-1, {}), 1);
    EXPECT_EQ(tryWith(126, {}), 0);                                         // empty first effect
    EXPECT_EQ(tryWith(137, {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A'}), 0); // cut short
    EXPECT_EQ(tryWith(149, MonoWave16({1, 2}, 0)), 0);                      // last track, rate 0
    EXPECT_EQ(tryWith(146, Wave().Chunk("LIST", {}, 0xFFFFFFFCu).Image()), 0);
    EXPECT_EQ(InitSound(nullptr), 0); // no archive loaded
    ReleaseSound();

    // With the device back end no device is a failure; the dummy driver pulls the
    // mixer on its own thread like a sound card.
    plat::SelectAudioBackend(plat::AudioBackend::Device);
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(tryWith(-1, {}), 0);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    g_gameConfig.soundEffectsOn = 1;
    ASSERT_EQ(StartWith(), 1);
    Frame({0});
    for (int i = 0; i < 4000 && plat::BufferPlaying(g_soundEffects[0]); ++i)
        usleep(5000);
    EXPECT_FALSE(plat::BufferPlaying(g_soundEffects[0])) << "the device never pulled the mixer";
    ReleaseSound();
}

TEST_F(SoundFrame, RequestsPlayOnceAtTheEndOfTheStepFromTheStart)
{
    // Two tasks asking for one effect: it sounds once, at its own level.
    Frame({3, 3, 7});
    EXPECT_EQ(Hear(1001), Steady(1000, EffectLevel(3) + EffectLevel(7), {0}));
    // A replay rewinds: the whole sound again, not its last 400 frames.
    Frame({2});
    Hear(600);
    Frame({2});
    EXPECT_EQ(Hear(1001), Steady(1000, EffectLevel(2), {0}));
    // Asked not to rewind, a sounding effect carries on.
    Frame({2});
    Hear(300);
    ClearSoundRequests();
    RequestSoundEffect(2, 1);
    FlushSoundRequests();
    EXPECT_EQ(plat::BufferPosition(g_soundEffects[2]), 300u);
    Hear(700);

    // Numbers outside the table are ignored.
    Frame({-1, 20, INT_MAX, INT_MIN});
    for (const auto& r : g_soundRequests)
        EXPECT_EQ(r.requested, 0);
    // A request made outside the step is dropped at the start of the next one.
    RequestSoundEffect(5);
    Frame({});
    EXPECT_EQ(Hear(10), Steady(10, 0));
    // Effects off: requests are taken but silent, until the switch is on again.
    g_gameConfig.soundEffectsOn = 0;
    Frame({0, 4});
    EXPECT_TRUE(g_soundRequests[4].requested == 1 && Hear(10) == Steady(10, 0));
    g_gameConfig.soundEffectsOn = 1;
    Frame({4});
    EXPECT_EQ(Hear(1)[0], EffectLevel(4));
}

TEST_F(SoundFrame, MusicLoopsOneTrackFromItsStart)
{
    PlayMusic(0);
    Hear(1000);
    PlayMusic(1);
    for (auto* b : g_music)
        EXPECT_EQ(plat::BufferPosition(b), 0u);
    EXPECT_FALSE(plat::BufferPlaying(g_music[0]));
    const int looped = 3 * int(plat::BufferFrames(g_music[1])) + 17;
    EXPECT_EQ(Hear(looped), Steady(looped, MusicLevel(1)));

    Frame({0}); // effects sound over it
    EXPECT_EQ(Hear(1)[0], MusicLevel(1) + EffectLevel(0));
    PlayMusic(2);
    EXPECT_EQ(Hear(1)[0], MusicLevel(2) + EffectLevel(0)); // track 1 no longer sounds
    // A track number outside the table only stops the music.
    PlayMusic(4);
    PlayMusic(-1);
    for (auto* b : g_music)
        EXPECT_FALSE(plat::BufferPlaying(b));

    // After release every call is harmless.
    ReleaseSound();
    for (auto* b : g_music)
        EXPECT_EQ(b, nullptr);
    Frame({0});
    PlayMusic(1);
}

} // namespace
