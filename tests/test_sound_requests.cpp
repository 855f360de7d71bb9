// Sound start-up from the archive, effect requests over an update step, music
// switching and the two settings, heard through the mixer pulled by hand.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "engine/archive.h"
#include "engine/config.h"
#include "engine/sound.h"
#include "engine/wave.h"
#include "platform/audio.h"
#include "platform/backends.h"
#include "test_sound_waves.h"

using namespace soundtest;

namespace {

constexpr int kEffectFrames = 1000;
int EffectLevel(int id) { return 100 * (id + 1); }
int MusicLevel(int track) { return 256 * (20 + 4 * track); }

// An archive whose sound blocks hold steady, recognisable levels; the music is
// 8-bit stereo at 22050 Hz so that conversion is on the path. `block` gets
// `bytes` instead.
Bytes Archive(int block = -1, const Bytes& bytes = {})
{
    test_support::ArchiveImage archive;
    for (int i = 0; i < kSoundEffectCount; ++i)
        archive.Add(126 + i, MonoWave16(std::vector<int16_t>(kEffectFrames, int16_t(EffectLevel(i)))));
    for (int t = 0; t < kMusicTrackCount; ++t)
        archive.Add(146 + t, Wave()
                                 .Chunk("fmt ", Fmt(2, 22050, 8))
                                 .Chunk("data", Bytes(1500 + 100 * t, uint8_t(128 + MusicLevel(t) / 256)))
                                 .Image());
    if (block >= 0) archive.Add(block, bytes); // the later entry wins
    return archive.Bytes();
}

int StartWith(const Bytes& archive)
{
    EXPECT_EQ(LoadDataFromMemory(archive.data(), archive.size()), 1);
    int ok = InitSound(nullptr);
    FreeDataFile(); // the buffers hold their own copy
    return ok;
}

class SoundFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        plat::SelectAudioBackend(plat::AudioBackend::Silent);
        g_soundEffectsOn = g_musicOn = 1;
        ASSERT_EQ(StartWith(Archive()), 1);
    }
    void TearDown() override { ReleaseSound(); }

    // One update step in which `ids` are requested.
    static void Frame(std::initializer_list<int> ids)
    {
        ClearSoundRequests();
        for (int id : ids) RequestSoundEffect(id);
        FlushSoundRequests();
    }
    // The left side of `frames` mixed frames.
    static std::vector<int> Hear(int frames)
    {
        std::vector<int16_t> out(size_t(frames) * 2);
        plat::MixAudio(out.data(), frames);
        std::vector<int> left;
        for (int i = 0; i < frames; ++i) left.push_back(out[2 * i]);
        return left;
    }
    static bool Steady(const std::vector<int>& heard, int level)
    {
        return std::all_of(heard.begin(), heard.end(), [&](int s) { return s == level; });
    }
};

} // namespace

TEST(SoundStartUp, NeedsEveryBlockAndADevice)
{
    plat::SelectAudioBackend(plat::AudioBackend::Silent);
    auto tryWith = [](int block, const Bytes& bytes) {
        int ok = StartWith(Archive(block, bytes));
        ReleaseSound();
        return ok;
    };
    EXPECT_EQ(tryWith(-1, {}), 1);
    EXPECT_EQ(tryWith(126, {}), 0);                                     // empty first effect
    EXPECT_EQ(tryWith(137, {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A'}), 0); // cut short
    EXPECT_EQ(tryWith(149, MonoWave16({1, 2}, 0)), 0);                 // last track, rate 0
    EXPECT_EQ(tryWith(146, Wave().Chunk("LIST", {}, 0xFFFFFFFCu).Image()), 0);
    EXPECT_EQ(InitSound(nullptr), 0); // no archive loaded
    ReleaseSound();

    // With the device back end, no device is a failure.
    const std::string saved = std::getenv("SDL_AUDIODRIVER") ? std::getenv("SDL_AUDIODRIVER") : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    plat::SelectAudioBackend(plat::AudioBackend::Device);
    EXPECT_EQ(tryWith(-1, {}), 0);
    saved.empty() ? unsetenv("SDL_AUDIODRIVER") : setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
}

TEST_F(SoundFrame, RequestsPlayOnceAtTheEndOfTheStep)
{
    // Two tasks asking for one effect: it sounds once, at its own level.
    Frame({3, 3, 7});
    auto heard = Hear(kEffectFrames + 1);
    EXPECT_TRUE(Steady({heard.begin(), heard.end() - 1}, EffectLevel(3) + EffectLevel(7)));
    EXPECT_EQ(heard.back(), 0);

    // Numbers outside the table are ignored.
    Frame({-1, 20, INT_MAX, INT_MIN});
    for (const auto& r : g_soundRequests) EXPECT_EQ(r.requested, 0);

    // A request made outside the step is dropped at the start of the next one.
    RequestSoundEffect(5);
    Frame({});
    EXPECT_TRUE(Steady(Hear(10), 0));

    // Effects off: requests are taken but silent, until the switch is on again.
    g_soundEffectsOn = 0;
    Frame({0, 4});
    EXPECT_EQ(g_soundRequests[4].requested, 1);
    EXPECT_TRUE(Steady(Hear(10), 0));
    g_soundEffectsOn = 1;
    Frame({4});
    EXPECT_EQ(Hear(1)[0], EffectLevel(4));
}

TEST_F(SoundFrame, ReplayRestartsFromTheBeginning)
{
    Frame({2});
    Hear(600);
    Frame({2});
    auto heard = Hear(kEffectFrames + 1);
    // The whole sound again, not its last 400 frames.
    EXPECT_EQ(std::make_pair(heard[kEffectFrames - 1], heard[kEffectFrames]), std::make_pair(EffectLevel(2), 0));

    // Asked not to rewind, a sounding effect carries on.
    Frame({2});
    Hear(300);
    ClearSoundRequests();
    RequestSoundEffect(2, 1);
    FlushSoundRequests();
    EXPECT_EQ(plat::BufferPosition(g_soundEffects[2]), 300u);
}

TEST_F(SoundFrame, MusicLoopsOneTrackFromItsStart)
{
    PlayMusic(0);
    Hear(1000);
    PlayMusic(1);
    for (auto* b : g_music) EXPECT_EQ(plat::BufferPosition(b), 0u);
    EXPECT_FALSE(plat::BufferPlaying(g_music[0]));
    EXPECT_TRUE(Steady(Hear(3 * int(plat::BufferFrames(g_music[1])) + 17), MusicLevel(1))); // looping

    Frame({0}); // effects sound over it
    EXPECT_EQ(Hear(1)[0], MusicLevel(1) + EffectLevel(0));

    PlayMusic(2);
    EXPECT_EQ(Hear(1)[0], MusicLevel(2) + EffectLevel(0)); // track 1 no longer sounds
    StopAllMusic();
    EXPECT_FALSE(plat::BufferPlaying(g_music[2]));

    // A track number outside the table only stops the music.
    PlayMusic(1);
    PlayMusic(4);
    PlayMusic(-1);
    for (auto* b : g_music) EXPECT_FALSE(plat::BufferPlaying(b));
    Hear(kEffectFrames); // let effect 0 end

    // Music off: switching track stops the old one and plays nothing; turning it
    // on takes effect at the next switch.
    PlayMusic(0);
    g_musicOn = 0;
    PlayMusic(1);
    EXPECT_TRUE(Steady(Hear(4000), 0));
    g_musicOn = 1;
    EXPECT_TRUE(Steady(Hear(10), 0));
    PlayMusic(1);
    EXPECT_EQ(Hear(1)[0], MusicLevel(1));

    // After release every call is harmless.
    ReleaseSound();
    for (auto* b : g_music) EXPECT_EQ(b, nullptr);
    Frame({0});
    PlayMusic(1);
    ReleaseSound();
}
