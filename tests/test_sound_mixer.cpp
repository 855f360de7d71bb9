// The mixer pulled by hand, without a device: conversion at creation, levels,
// ends and loops, and the game's thread against the mixing thread.
#include <gtest/gtest.h>

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/audio.h"
#include "platform/backends.h"
#include "test_sound_waves.h"

using namespace soundtest;

namespace {

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

plat::SoundBuffer* Buffer(int channels, int bits, uint32_t rate, const Bytes& bytes)
{
    return plat::CreateStaticBuffer({channels, bits, rate}, bytes.data(), uint32_t(bytes.size()));
}

plat::SoundBuffer* Mono16(const std::vector<int16_t>& v) { return Buffer(1, 16, 44100, S16(v)); }

} // namespace

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
    for (int i = 0; i < 13; ++i) EXPECT_EQ(ramp[2 * i], 100 * i) << i;

    // One second lasts one second at any rate, at an unchanged level.
    for (uint32_t rate : {8000u, 22050u, 32000u, 48000u, 96000u}) {
        Bytes bytes;
        for (uint32_t i = 0; i < rate; ++i) bytes.insert(bytes.end(), {0x30, 0xD0});
        plat::SoundBuffer* b = Buffer(2, 8, rate, bytes);
        ASSERT_EQ(plat::BufferFrames(b), 44100u) << rate;
        plat::PlayBuffer(b, false);
        auto out = Mix(44101);
        for (int i = 0; i < 44100; ++i)
            ASSERT_TRUE(out[2 * i] == -80 * 256 && out[2 * i + 1] == 80 * 256) << rate << " frame " << i;
        EXPECT_EQ(out[2 * 44100], 0);
        plat::ReleaseBuffer(b);
    }

    // Unplayable input, and a rate so low that the sound would last for hours.
    EXPECT_TRUE(!Buffer(3, 16, 44100, S16({1, 2, 3})) && !Buffer(1, 24, 44100, S16({1, 2, 3})) &&
                !Buffer(1, 16, 0, S16({1, 2})) && !Buffer(2, 16, 44100, {1, 2, 3}) && !Buffer(1, 8, 1, Bytes(200000, 0x80)));
}

TEST_F(SoundMixer, SumsClipsEndsAndRestarts)
{
    plat::SoundBuffer* a = Mono16(std::vector<int16_t>(600, 1000));
    plat::SoundBuffer* b = Mono16(std::vector<int16_t>(300, 2500));
    plat::PlayBuffer(a, false);
    plat::PlayBuffer(b, false);
    auto out = Mix(601);
    EXPECT_EQ((std::vector<int16_t>{out[2 * 299 + 1], out[2 * 300], out[2 * 600]}), (std::vector<int16_t>{3500, 1000, 0}));
    // A one-shot sound stops at its end and rewinds.
    EXPECT_TRUE(!plat::BufferPlaying(a) && plat::BufferPosition(a) == 0u);

    plat::SoundBuffer* loud = Mono16({30000, 30000, -30000, -30000});
    plat::SoundBuffer* low = Mono16({30000, -30000, -30000, 30000});
    plat::PlayBuffer(loud, false);
    plat::PlayBuffer(low, false);
    EXPECT_EQ(Mix(4), (std::vector<int16_t>{32767, 32767, 0, 0, -32768, -32768, 0, 0}));

    // Stop keeps the place; a replay (stop, rewind, play) starts over.
    plat::SoundBuffer* r = Mono16({10, 20, 30, 40});
    plat::PlayBuffer(r, false);
    Mix(2);
    plat::StopBuffer(r);
    EXPECT_EQ(Mix(1)[0], 0);
    plat::PlayBuffer(r, false);
    EXPECT_EQ(Mix(1)[0], 30);
    plat::StopBuffer(r);
    plat::SetBufferPosition(r, 0);
    plat::PlayBuffer(r, false);
    EXPECT_EQ(Mix(5), (std::vector<int16_t>{10, 10, 20, 20, 30, 30, 40, 40, 0, 0}));
}

TEST_F(SoundMixer, LoopContinuesFromTheStartWithoutAGap)
{
    // A ramp whose length is no multiple of the mixer's block, rendered in
    // uneven pieces across several seams.
    const int n = 1237;
    std::vector<int16_t> ramp(n);
    for (int i = 0; i < n; ++i) ramp[i] = int16_t(i * 20 - 12000);
    plat::SoundBuffer* b = Mono16(ramp);
    plat::PlayBuffer(b, true);
    std::vector<int16_t> got;
    for (int piece : {1, 700, 511, 513, 2048, 3}) {
        auto out = Mix(piece);
        got.insert(got.end(), out.begin(), out.end());
    }
    for (size_t f = 0; f < got.size() / 2; ++f)
        ASSERT_TRUE(got[2 * f] == ramp[f % n] && got[2 * f + 1] == ramp[f % n]) << "frame " << f;
    EXPECT_TRUE(plat::BufferPlaying(b));
}

TEST_F(SoundMixer, GameThreadAgainstMixingThread)
{
    // The device's thread renders while the game starts, stops, rewinds, creates
    // and frees buffers; also run under the thread sanitizer.
    std::atomic<bool> stop{false};
    std::atomic<long> rendered{0};
    std::thread mixer([&] {
        std::vector<int16_t> out(2 * 256);
        while (!stop.load()) {
            plat::MixAudio(out.data(), 256);
            for (int16_t s : out)
                if (s != 0 && s != 500 && s != 1000 && s != 1500) std::abort(); // a torn start or free
            rendered.fetch_add(1);
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
    while (rendered.load() < 10) std::this_thread::yield();
    stop = true;
    mixer.join();
    EXPECT_TRUE(plat::BufferPlaying(steady));
}

TEST(SoundDevice, PlaysThroughTheDevice)
{
    // The dummy driver pulls the mixer on its own thread like a sound card.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    plat::SelectAudioBackend(plat::AudioBackend::Device);
    ASSERT_EQ(plat::OpenAudioOutput(), 1) << SDL_GetError();
    plat::SoundBuffer* b = Mono16(std::vector<int16_t>(4410, 100));
    plat::PlayBuffer(b, false);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (plat::BufferPlaying(b) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(plat::BufferPlaying(b)) << "the device never pulled the mixer";
    plat::CloseAudioOutput();
    plat::CloseAudioOutput();
}
