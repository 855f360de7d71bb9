// Start-up failures that must say why: a sound output that will not open, sound blocks
// the mixer refuses or cuts, a block that cannot be used; and the order of the failure
// box, the undo steps and the window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <unistd.h>

#include "app/app.h"
#include "app/headless.h"
#include "engine/archive.h"
#include "engine/sound.h"
#include "engine/startup_note.h"
#include "engine/task.h"
#include "engine/wave.h"
#include "persist/history.h"
#include "platform/audio.h"
#include "platform/backends.h"
#include "platform/msgbox.h"
#include "platform/window.h"
#include "test_player_process.h"
#include "test_sound_waves.h"
#include "test_support.h"

using namespace test_support;

namespace {

using StartupFailures = PlayerProcessTest;

TEST_F(StartupFailures, ASoundOutputThatWillNotOpenGivesSdlsReason)
{
    // In a child: the driver choice stays out of this process.
    EXPECT_EQ(RunAsPlayer(dir.path(),
                          [] {
                              setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
                              plat::SelectAudioBackend(plat::AudioBackend::Device);
                              ClearStartupFailureNote();
                              if (InitSound(nullptr) != 0)
                                  return 1;
                              const std::string note = StartupFailureNote();
                              return note.rfind("sound output: ", 0) == 0 && note.size() > 14 &&
                                             *plat::LastAudioError() != '\0'
                                         ? 0
                                         : 2;
                          }),
              0);
}

TEST(SoundBlockLimits, RatesOutsideTheRangeAreRefusedAndLongSoundsCut)
{
    const Bytes four = {1, 2, 3, 4};
    for (uint32_t rate : {7999u, 96001u, 1u, 4000000000u}) {
        const Bytes image = soundtest::Wave().Chunk("fmt ", soundtest::Fmt(1, rate, 16)).Chunk("data", four).Image();
        WaveFormat format{};
        const uint8_t* samples = nullptr;
        const char* why = nullptr;
        uint32_t bytes = 0;
        EXPECT_EQ(FindWaveChunks(image.data(), uint32_t(image.size()), &format, &samples, &bytes, &why), 0) << rate;
        EXPECT_STREQ(why, "the sample rate is outside 8000 to 96000 Hz");
        EXPECT_EQ(plat::CreateStaticBuffer({1, 16, rate}, four.data(), 4), nullptr) << rate;
    }
    ASSERT_EQ(plat::OpenAudioOutput(), 1); // the silent output unless a test selected the device
    // 200 s at 8,000 Hz would be 8,820,000 frames at 44,100 Hz: kept to three minutes.
    for (const auto [seconds, frames, cut] : {std::tuple{200u, 7938000u, true}, {179u, 7893900u, false}}) {
        bool wasCut = !cut;
        const Bytes samples(8000 * seconds, 0x90);
        plat::SoundBuffer* buffer =
            plat::CreateStaticBuffer({1, 8, 8000}, samples.data(), uint32_t(samples.size()), &wasCut);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(std::pair(plat::BufferFrames(buffer), wasCut), std::pair(frames, cut));
    }
    plat::CloseAudioOutput();
}

// An archive holding the 24 waves (effect 3 optionally at a rate out of range) and,
// when given, the atlas block.
Bytes ArchiveWithWaves(uint32_t effect3Rate, const Bytes& atlas)
{
    test_support::ArchiveImage archive;
    for (int i = 0; i < 24; ++i)
        archive.Add(126 + i, soundtest::MonoWave16({1, 2, 3, 4}, i == 3 ? effect3Rate : 22050));
    if (!atlas.empty())
        archive.Add(0, atlas);
    return archive.Bytes();
}

TEST_F(StartupFailures, FailuresSayWhichBlockFailedAndWhyBesideTheBoxText)
{
    Bytes farEffect = ArchiveWithWaves(22050, {});
    test_support::PutU32(farEffect, 4 * 127, 0xFFFFFF00u); // effect 1 lies past the end
    // The archive (none: no data.dat), the reason on stderr, the box text.
    const std::tuple<Bytes, const char*, const char*> cases[] = {
        {{}, "data.dat: No such file or directory\n", "data load failed"},
        {Bytes(599, 0), "data.dat: 599 bytes, shorter than its 600-byte offset table\n", "data load failed"},
        {ArchiveWithWaves(4000, {}),
         "sound effect 3 (data.dat block 129): the sample rate is outside 8000 to 96000 Hz\n", "direct sound error"},
        {farEffect, "sound effect 1 (data.dat block 127): the block lies outside data.dat\n", "direct sound error"},
        {ArchiveWithWaves(22050, {'B', 'M', 1, 2}), "texture (data.dat block 0): ", "direct graphics error"},
    };
    for (const auto& [archive, why, box] : cases) {
        unlink((dir / "data.dat").c_str());
        if (!archive.empty())
            WriteFileBytes(dir / "data.dat", archive);
        testing::internal::CaptureStderr();
        EXPECT_EQ(HeadlessStart(dir.path().c_str()), 0);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(HeadlessLastMessage(), std::string(box));
        // The reason comes first, then the box text on a line of its own.
        const size_t reason = err.find(why);
        EXPECT_NE(reason, std::string::npos) << err;
        EXPECT_NE(err.find(std::string(box) + "\n", reason), std::string::npos) << err;
    }
}

// What existed while the failure box was shown: 1 the window, 2 the task pool, 4 the archive.
int s_atTheBox = -1;

// The box shows while the window and all that was taken still exist; the undo steps
// then give everything back, and the window goes last.
TEST_F(StartupFailures, TheFailureBoxShowsBeforeTheUndoStepsAndTheWindowGoesAfterThem)
{
    if (!plat::InitVideo("VARDUN"))
        GTEST_SKIP() << "no video driver: " << plat::LastVideoError();
    WriteFileBytes(dir / "data.dat", ArchiveWithWaves(4000, {}));
    void* window = plat::CreateMainWindow("test", 0, 0, 640, 480);
    ASSERT_NE(window, nullptr);
    const auto home = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    plat::SelectGfxBackend(plat::GfxBackend::Recording);
    plat::SelectAudioBackend(plat::AudioBackend::Silent);
    plat::RecordMessageBoxes(true);
    plat::SetMessageBoxObserver([](const char*) {
        s_atTheBox = (plat::MainWindow() != nullptr) + 2 * (g_tasks != nullptr) + 4 * (g_dataFile != nullptr);
    });
    testing::internal::CaptureStderr();
    EXPECT_EQ(InitGame(window), 0);
    testing::internal::GetCapturedStderr();
    plat::RecordMessageBoxes(false);
    std::filesystem::current_path(home);
    EXPECT_EQ(plat::LastMessageBoxText(), "direct sound error");
    EXPECT_EQ(s_atTheBox, 7);
    EXPECT_TRUE(plat::MainWindow() == nullptr && g_tasks == nullptr && g_dataFile == nullptr);
    plat::QuitVideo();
}

} // namespace
