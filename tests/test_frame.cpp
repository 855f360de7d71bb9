// Start-up, the frame and shutdown, run headless: what a start resets and a shutdown
// writes, no frame without a started game, a close request inside a frame waits for its
// end, a lost device that cannot be made again ends the game, a failed start gives back
// everything; and the frame's pacing.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/headless.h"
#include "board/race_result.h"
#include "board/world.h"
#include "engine/archive.h"
#include "engine/assets.h"
#include "engine/config.h"
#include "engine/graphics.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/task.h"
#include "engine/wave.h"
#include "persist/history.h"
#include "platform/gfx_device.h"
#include "test_support.h"

namespace {

using test_support::Bytes;
using test_support::TempDir;

const std::string kBuiltArchive = std::string(SUGOROKU_BUILD_DIR) + "/data.dat";

bool Exists(const std::string& path)
{
    return std::filesystem::exists(path);
}

TEST(FramePacing, PacingCountsWholeMillisecondsAcrossTheClockWrap)
{
    // 16 and 17 ms, also across the wrap.
    const struct {
        uint32_t start, now;
        int ends;
    } cases[] = {{1000, 1016, 0},     {1000, 1017, 1},     {1000, 1040, 1},
                 {0xFFFFFFF8u, 8, 0}, {0xFFFFFFF8u, 9, 1}, {500, 500, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(FrameMayEnd(c.start, c.now), c.ends) << c.start << " -> " << c.now;
}

class FrameGuards : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Exists(kBuiltArchive))
            GTEST_SKIP() << "data.dat has not been built";
    }
    void TearDown() override { plat::RefuseRecordingDevices(0), HeadlessStop(); }
    void Start()
    {
        ASSERT_TRUE(std::filesystem::copy_file(kBuiltArchive, dir / "data.dat"));
        ASSERT_EQ(HeadlessStart(dir.path().c_str()), 1) << HeadlessLastMessage();
    }
    // Runs the game's own frames directly (not through the headless runner, which has
    // a guard of its own) with Return held; true when any of them polled the keys.
    static bool FramesPollKeys()
    {
        InitInput();
        HeadlessSetKeys(1u << kKeyReturn);
        RunFrameUnpaced();
        RunFrame();
        HeadlessSetKeys(0);
        return g_keys[kKeyReturn].current != 0;
    }
    TempDir dir;
};

TEST_F(FrameGuards, StartUpResetsTheGameStateAndShutdownWritesTheHistoryOnce)
{
    const std::string home = std::filesystem::current_path();
    std::memset(&g_gameConfig, 0, sizeof g_gameConfig); // whatever the last run chose
    g_stageLayers.stageNumber = 3;
    g_playerTeam = 2;
    g_raceResult.teamsLeft = 0;
    Start();
    // running, windowed, music, stage, player's team, teams left, next place from the bottom
    EXPECT_EQ((std::vector<int>{HeadlessIsRunning(), g_running, g_gameConfig.windowedOption, g_gameConfig.musicOn,
                                g_stageLayers.stageNumber, g_playerTeam, g_raceResult.teamsLeft,
                                g_raceResult.nextPlaceFromBottom}),
              (std::vector<int>{1, 1, 1, 1, 1, 0, 3, 2}));
    ASSERT_TRUE(g_tasks && g_stageLayers.squareLayer && g_eventScripts && g_dataFile);
    EXPECT_TRUE(g_stageLayers.squareLayer[9999] == 0 && g_eventScripts[19999] == 0); // the whole layers were zeroed
    // Every setting starts on: the eleven words of the settings are all 1.
    const auto* setting = reinterpret_cast<const int32_t*>(&g_gameConfig);
    EXPECT_EQ(std::vector<int32_t>(setting, setting + 11), std::vector<int32_t>(11, 1));

    g_history[0].time.tm_year = 126;
    g_history[0].stage = 2;
    ShutdownGame();
    EXPECT_TRUE(HeadlessIsRunning() == 0 && g_tasks == nullptr && g_dataFile == nullptr && Exists(dir / "save.dat"));
    // A second shutdown does nothing: the file is not written again.
    std::filesystem::remove(dir / "save.dat");
    ShutdownGame();
    EXPECT_FALSE(Exists(dir / "save.dat"));

    // The next start reads the history back.
    HeadlessStop();
    ASSERT_TRUE(WriteHistoryFile((dir / "save.dat").c_str()));
    std::memset(static_cast<void*>(g_history), 0, sizeof(g_history));
    ASSERT_EQ(HeadlessStart(dir.path().c_str()), 1);
    EXPECT_EQ(std::make_pair(g_history[0].time.tm_year, int(g_history[0].stage)), std::make_pair(126, 2));
    HeadlessStop();
    EXPECT_EQ(std::filesystem::current_path(), home) << "the working directory is given back";
}

// Each failed step gives back everything taken before it, and no frame runs: not
// through the headless runner and not through the game's own frame either.
TEST_F(FrameGuards, AFailedStartGivesBackEveryStepAndRunsNoFrame)
{
    const auto failsWith = [&](const char* message) {
        EXPECT_EQ(HeadlessStart(dir.path().c_str()), 0);
        EXPECT_STREQ(HeadlessLastMessage(), message);
        EXPECT_TRUE(!HeadlessIsRunning() && !HasGraphicsDevice() && !g_tasks && !g_stageLayers.squareLayer &&
                    !g_eventScripts && !g_dataFile && !g_uiAtlas && !g_fontTexture && !g_music[0] &&
                    !g_soundEffects[0]);
        EXPECT_FALSE(FramesPollKeys()) << "a frame ran after a failed start";
        HeadlessStop();
        EXPECT_FALSE(Exists(dir / "save.dat")) << "no shutdown ran";
    };
    failsWith("data load failed");
    EXPECT_EQ(HeadlessStart("/nonexistent/dir"), 0);
    Bytes minimal; // loads, but holds no sounds or images
    test_support::AddBlock(minimal, 0, {1, 2, 3});
    test_support::WriteFileBytes(dir / "data.dat", minimal);
    failsWith("direct sound error");
    // The font (block 1) cannot be made after the device and the atlas were: a half-built device.
    Bytes broken = test_support::ReadFileBytes(kBuiltArchive);
    test_support::AddBlock(broken, 1, {1, 2, 3});
    test_support::WriteFileBytes(dir / "data.dat", broken);
    failsWith("direct graphics error");
    // No device at either refresh rate.
    std::filesystem::copy_file(kBuiltArchive, dir / "data.dat", std::filesystem::copy_options::overwrite_existing);
    plat::RefuseRecordingDevices(2);
    failsWith("direct graphics error");

    // One refusal only: the second try (refresh 0) gives the device.
    plat::RefuseRecordingDevices(1);
    ASSERT_EQ(HeadlessStart(dir.path().c_str()), 1) << HeadlessLastMessage();
    EXPECT_TRUE(FramesPollKeys()) << "a started game runs its frames";
    ShutdownGame();
    EXPECT_FALSE(FramesPollKeys()) << "a frame ran after shutdown";
}

int s_laterUpdates = 0;

// A close request in the middle of the update pass (a close box clicked while a task
// shows a message box), and a task clearing the run flag: a later task still finds
// the pool there in its turn.
TEST_F(FrameGuards, ACloseRequestOrAClearedRunFlagDuringTheFrameIsActedOnAfterIt)
{
    Start();
    KillAllTasks();
    StartTask(
        CreateTask(10), 0, [](Task*) { HandleCloseRequest(); }, nullptr);
    StartTask(
        CreateTask(15), 0, [](Task*) { g_running = 0; }, nullptr);
    StartTask(
        CreateTask(20), 0, [](Task*) { ++s_laterUpdates; }, nullptr);
    RunFrameUnpaced();
    EXPECT_EQ(s_laterUpdates, 1) << "the pass went on over the pool";
    EXPECT_TRUE(!HeadlessIsRunning() && Exists(dir / "save.dat")) << "shut down at the end of the frame";
}

TEST_F(FrameGuards, ALostDeviceIsMadeAgainAndAFailedRebuildEndsTheGameAfterTheFrame)
{
    Start();
    HeadlessRunFrames(2);
    const int presents = plat::RecordedPresentCount();
    plat::LoseRecordingDeviceAtNextPresent();
    HeadlessRunFrames(1);
    EXPECT_EQ(plat::RecordedPresentCount(), presents) << "the lost frame was not shown";
    EXPECT_TRUE(HasGraphicsDevice() && g_uiAtlas != nullptr && g_running == 1 && HeadlessIsRunning());
    HeadlessRunFrames(1);
    EXPECT_TRUE(plat::RecordedPresentCount() == presents + 1 && g_tasks[160].alive) << "the title kept running";

    // Neither refresh rate gives a device: the run flag is cleared, the update pass of
    // that frame still runs, and the game shuts down at its end, writing the history.
    plat::LoseRecordingDeviceAtNextPresent();
    plat::RefuseRecordingDevices(2);
    InitInput();
    HeadlessSetKeys(1u << kKeyDown);
    RunFrameUnpaced();
    EXPECT_EQ(g_keys[kKeyDown].current, 0x80) << "the update pass ran";
    EXPECT_TRUE(g_running == 0 && !HeadlessIsRunning() && !HasGraphicsDevice() && Exists(dir / "save.dat"));
}

} // namespace
