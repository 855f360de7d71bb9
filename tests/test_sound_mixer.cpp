// The mixer driven by hand, without a device: conversion at creation, levels,
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
    void TearDown() override
    {
        plat::CloseAudioOutput();
        plat::SelectAudioBackend(plat::AudioBackend::Device);
    }

    static std::vector<int16_t> Mix(int frames)
    {
        std::vector<int16_t> out(size_t(frames) * 2, 0x5555);
        plat::MixAudio(out.data(), frames);
        return out;
    }

    static plat::SoundBuffer* Mono16(const std::vector<int16_t>& v, uint32_t rate = 44100)
    {
        auto bytes = Samples16(v);
        return plat::CreateStaticBuffer({1, 16, rate}, bytes.data(), uint32_t(bytes.size()));
    }
};

} // namespace

TEST_F(SoundMixer, SilentWithNothingPlaying)
{
    plat::SoundBuffer* b = Mono16(std::vector<int16_t>(100, 1000));
    ASSERT_NE(b, nullptr);
    for (int16_t s : Mix(700)) ASSERT_EQ(s, 0);
    EXPECT_FALSE(plat::BufferPlaying(b));
}

TEST_F(SoundMixer, ConvertsSampleFormatsOnce)
{
    // 8-bit is unsigned around 128; mono feeds both sides.
    std::vector<uint8_t> eight = {0xC0, 0x80, 0x00, 0xFF};
    plat::SoundBuffer* b8 = plat::CreateStaticBuffer({1, 8, 44100}, eight.data(), 4);
    ASSERT_NE(b8, nullptr);
    ASSERT_EQ(plat::BufferFrames(b8), 4u);
    const int16_t expect8[] = {16384, 0, -32768, 32512};
    for (uint32_t i = 0; i < 4; ++i) {
        int16_t l, r;
        plat::BufferFrame(b8, i, &l, &r);
        EXPECT_EQ(l, expect8[i]);
        EXPECT_EQ(r, expect8[i]);
    }

    // Stereo 16-bit keeps its sides apart; a trailing half frame is dropped.
    auto stereo = Samples16({1000, -2000, 3000, -4000});
    stereo.push_back(0x12);
    plat::SoundBuffer* b16 = plat::CreateStaticBuffer({2, 16, 44100}, stereo.data(), uint32_t(stereo.size()));
    ASSERT_NE(b16, nullptr);
    ASSERT_EQ(plat::BufferFrames(b16), 2u);
    plat::PlayBuffer(b16, false);
    auto out = Mix(3);
    EXPECT_EQ(out, (std::vector<int16_t>{1000, -2000, 3000, -4000, 0, 0}));
}

TEST_F(SoundMixer, ConvertsRatesToTheMixRate)
{
    // A quarter of the rate: four times the frames, straight lines between them.
    plat::SoundBuffer* slow = Mono16({0, 400, 800, 1200}, 11025);
    ASSERT_NE(slow, nullptr);
    ASSERT_EQ(plat::BufferFrames(slow), 16u);
    for (uint32_t i = 0; i < 13; ++i) {
        int16_t l, r;
        plat::BufferFrame(slow, i, &l, &r);
        EXPECT_EQ(l, int16_t(100 * i)) << i;
        EXPECT_EQ(r, l);
    }

    // One second keeps lasting one second at any rate, and a steady level stays.
    for (uint32_t rate : {8000u, 22050u, 32000u, 48000u, 96000u}) {
        std::vector<uint8_t> bytes(rate * 2);
        for (uint32_t i = 0; i < rate; ++i) {
            bytes[2 * i] = 0x30;     // left
            bytes[2 * i + 1] = 0xD0; // right
        }
        plat::SoundBuffer* b = plat::CreateStaticBuffer({2, 8, rate}, bytes.data(), uint32_t(bytes.size()));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(plat::BufferFrames(b), 44100u) << rate;
        plat::PlayBuffer(b, false);
        auto out = Mix(44100 + 10);
        for (int i = 0; i < 44100; ++i) {
            ASSERT_EQ(out[2 * i], (0x30 - 128) * 256) << rate << " frame " << i;
            ASSERT_EQ(out[2 * i + 1], (0xD0 - 128) * 256) << rate << " frame " << i;
        }
        for (int i = 44100; i < 44110; ++i) ASSERT_EQ(out[2 * i], 0);
        plat::ReleaseBuffer(b);
    }
}

TEST_F(SoundMixer, RefusesWhatItCannotPlay)
{
    auto bytes = Samples16({1, 2, 3, 4});
    EXPECT_EQ(plat::CreateStaticBuffer({3, 16, 44100}, bytes.data(), 8), nullptr);
    EXPECT_EQ(plat::CreateStaticBuffer({1, 24, 44100}, bytes.data(), 8), nullptr);
    EXPECT_EQ(plat::CreateStaticBuffer({1, 16, 0}, bytes.data(), 8), nullptr);
    EXPECT_EQ(plat::CreateStaticBuffer({2, 16, 44100}, bytes.data(), 3), nullptr);
    EXPECT_EQ(plat::CreateStaticBuffer({1, 16, 44100}, nullptr, 8), nullptr);
    // A rate so low that the converted sound would run for hours.
    std::vector<uint8_t> many(200000, 0x80);
    EXPECT_EQ(plat::CreateStaticBuffer({1, 8, 1}, many.data(), uint32_t(many.size())), nullptr);
}

TEST_F(SoundMixer, SumsAndClips)
{
    plat::SoundBuffer* a = Mono16(std::vector<int16_t>(600, 1000));
    plat::SoundBuffer* b = Mono16(std::vector<int16_t>(300, 2500));
    plat::SoundBuffer* loud = Mono16(std::vector<int16_t>(600, 30000));
    plat::SoundBuffer* low = Mono16(std::vector<int16_t>(600, -30000));
    plat::PlayBuffer(a, false);
    plat::PlayBuffer(b, false);
    auto out = Mix(600);
    EXPECT_EQ(out[0], 3500);
    EXPECT_EQ(out[2 * 299 + 1], 3500);
    EXPECT_EQ(out[2 * 300], 1000);
    EXPECT_FALSE(plat::BufferPlaying(b));

    plat::PlayBuffer(loud, false);
    plat::SetBufferPosition(a, 0);
    plat::PlayBuffer(a, false);
    plat::PlayBuffer(b, false);
    EXPECT_EQ(Mix(1)[0], 32767);
    plat::StopBuffer(loud);
    plat::StopBuffer(a);
    plat::StopBuffer(b);
    plat::PlayBuffer(low, false);
    plat::SetBufferPosition(loud, 0);
    plat::PlayBuffer(loud, false);
    EXPECT_EQ(Mix(1)[0], 0);
    plat::StopBuffer(loud);
    plat::PlayBuffer(plat::CreateStaticBuffer({1, 16, 44100}, Samples16({-30000}).data(), 2), false);
    EXPECT_EQ(Mix(1)[0], -32768);
}

TEST_F(SoundMixer, OneShotEndsAndRewinds)
{
    plat::SoundBuffer* b = Mono16({10, 20, 30, 40, 50});
    plat::PlayBuffer(b, false);
    auto first = Mix(2);
    EXPECT_EQ(first, (std::vector<int16_t>{10, 10, 20, 20}));
    EXPECT_EQ(plat::BufferPosition(b), 2u);

    // Stop keeps the place; playing again goes on from there.
    plat::StopBuffer(b);
    EXPECT_EQ(Mix(1)[0], 0);
    plat::PlayBuffer(b, false);
    EXPECT_EQ(Mix(1)[0], 30);

    // A replay rewinds to the start (stop, position 0, play).
    plat::StopBuffer(b);
    plat::SetBufferPosition(b, 0);
    plat::PlayBuffer(b, false);
    auto again = Mix(7);
    EXPECT_EQ(again, (std::vector<int16_t>{10, 10, 20, 20, 30, 30, 40, 40, 50, 50, 0, 0, 0, 0}));
    EXPECT_FALSE(plat::BufferPlaying(b));
    EXPECT_EQ(plat::BufferPosition(b), 0u);
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
    for (size_t f = 0; f < got.size() / 2; ++f) {
        ASSERT_EQ(got[2 * f], ramp[f % n]) << "frame " << f;
        ASSERT_EQ(got[2 * f + 1], ramp[f % n]) << "frame " << f;
    }
    EXPECT_TRUE(plat::BufferPlaying(b));
    EXPECT_EQ(plat::BufferPosition(b), uint32_t(got.size() / 2 % n));
}

TEST_F(SoundMixer, GameThreadAgainstMixingThread)
{
    // The device's thread renders while the game starts, stops, rewinds, creates
    // and frees buffers. Meant to be run under the thread sanitizer too.
    std::atomic<bool> stop{false};
    std::atomic<long> rendered{0};
    std::thread mixer([&] {
        std::vector<int16_t> out(2 * 256);
        while (!stop.load()) {
            plat::MixAudio(out.data(), 256);
            for (int16_t s : out)
                if (s != 0 && s != 500 && s != 1000 && s != 1500) std::abort(); // only whole buffers sum
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
        (void)plat::BufferPlaying(b);
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
    // The dummy driver stands in for a sound card; it pulls the mixer on its own
    // thread like a real one.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    plat::SelectAudioBackend(plat::AudioBackend::Device);
    ASSERT_EQ(plat::OpenAudioOutput(), 1) << SDL_GetError();
    auto bytes = Samples16(std::vector<int16_t>(4410, 100));
    plat::SoundBuffer* b = plat::CreateStaticBuffer({1, 16, 44100}, bytes.data(), uint32_t(bytes.size()));
    ASSERT_NE(b, nullptr);
    plat::PlayBuffer(b, false);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (plat::BufferPlaying(b) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(plat::BufferPlaying(b)) << "the device never consumed the sound";
    plat::CloseAudioOutput();
    // Closing twice is harmless.
    plat::CloseAudioOutput();
}
