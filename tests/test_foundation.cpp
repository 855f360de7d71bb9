// The foundation every screen leans on: the task pool and its passes; start-up, the
// frame and shutdown, run headless (what a start resets and a shutdown writes, no frame
// without a started game, a close request inside a frame waits for its end, a lost
// device that cannot be made again ends the game, a failed start gives back
// everything); every key slot reads the key it names, once per press; chance and
// rounding.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
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
#include "platform/keyboard.h"
#include "test_support.h"

namespace {

using test_support::Bytes;
using test_support::TempDir;

const std::string kBuiltArchive = std::string(SUGOROKU_BUILD_DIR) + "/data.dat";

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

TEST(FoundationFrame, PacingCountsWholeMillisecondsAcrossTheClockWrap)
{
    // 16 and 17 ms, also across the wrap.
    const struct { uint32_t start, now; int ends; } cases[] = {
        {1000, 1016, 0}, {1000, 1017, 1}, {1000, 1040, 1}, {0xFFFFFFF8u, 8, 0}, {0xFFFFFFF8u, 9, 1}, {500, 500, 0}};
    for (const auto& c : cases) EXPECT_EQ(FrameMayEnd(c.start, c.now), c.ends) << c.start << " -> " << c.now;
}

class FrameGuards : public ::testing::Test {
protected:
    void SetUp() override { if (!Exists(kBuiltArchive)) GTEST_SKIP() << "data.dat has not been built"; }
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
    g_gameConfig.windowedOption = g_gameConfig.musicOn = 0;
    g_stageLayers.stageNumber = 3;
    g_playerTeam = 2;
    g_raceResult.teamsLeft = 0;
    Start();
    // running, windowed, music, stage, player's team, teams left, next place from the bottom
    EXPECT_EQ((std::vector<int>{HeadlessIsRunning(), g_running, g_gameConfig.windowedOption, g_gameConfig.musicOn, g_stageLayers.stageNumber,
                                g_playerTeam, g_raceResult.teamsLeft, g_raceResult.nextPlaceFromBottom}),
              (std::vector<int>{1, 1, 1, 1, 1, 0, 3, 2}));
    ASSERT_TRUE(g_tasks && g_stageLayers.squareLayer && g_eventScripts && g_dataFile);
    EXPECT_TRUE(g_stageLayers.squareLayer[9999] == 0 && g_eventScripts[19999] == 0); // the whole layers were zeroed

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
        EXPECT_TRUE(!HeadlessIsRunning() && !HasGraphicsDevice() && !g_tasks && !g_stageLayers.squareLayer && !g_eventScripts &&
                    !g_dataFile && !g_uiAtlas && !g_fontTexture && !g_music[0] && !g_soundEffects[0]);
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
    StartTask(CreateTask(10), 0, [](Task*) { HandleCloseRequest(); }, nullptr);
    StartTask(CreateTask(15), 0, [](Task*) { g_running = 0; }, nullptr);
    StartTask(CreateTask(20), 0, [](Task*) { ++s_laterUpdates; }, nullptr);
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

// Each slot reads the key the game names it by, through the real keyboard path (SDL's
// scancodes), not the key script.
TEST(KeySlots, EachSlotReadsItsOwnKeyOncePerPress)
{
    plat::UseScriptedKeys(false);
    std::vector<uint8_t> state(SDL_NUM_SCANCODES, 0);
    plat::UseKeyboardState(state.data(), int(state.size()));
    InitInput();
    // The slots that see `key` pressed after a poll with no key down.
    const auto slotsOf = [&](SDL_Scancode key) {
        state.assign(state.size(), 0);
        PollInput();
        state[key] = 1;
        PollInput();
        std::vector<int> slots;
        for (int slot = 0; slot < kKeySlotCount; ++slot)
            if (IsKeyPressed(slot)) slots.push_back(slot);
        return slots;
    };
    const struct { int slot; uint32_t virtualKey; std::vector<SDL_Scancode> keys; } table[] = {
        {0, 0x28, {SDL_SCANCODE_DOWN}}, {1, 0x26, {SDL_SCANCODE_UP}}, {2, 0x27, {SDL_SCANCODE_RIGHT}}, {3, 0x25, {SDL_SCANCODE_LEFT}},
        {4, 0x1B, {SDL_SCANCODE_ESCAPE}}, {5, 0x11, {SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL}}, {7, 0x5A, {SDL_SCANCODE_Z}},
        {6, 0x0D, {SDL_SCANCODE_RETURN, SDL_SCANCODE_KP_ENTER}}, {8, 0x20, {SDL_SCANCODE_SPACE}}, {10, 0x41, {SDL_SCANCODE_A}},
        {9, 0x10, {SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RSHIFT}}, {11, 0x53, {SDL_SCANCODE_S}}, {12, 0x44, {SDL_SCANCODE_D}}};
    for (const auto& row : table) {
        EXPECT_EQ(g_keys[row.slot].virtualKey, row.virtualKey) << "slot " << row.slot;
        for (SDL_Scancode key : row.keys) EXPECT_EQ(slotsOf(key), std::vector<int>{row.slot}) << SDL_GetScancodeName(key);
    }
    // Letters go by position: neighbours of Z and the keypad do nothing.
    for (SDL_Scancode other : {SDL_SCANCODE_X, SDL_SCANCODE_Y, SDL_SCANCODE_W, SDL_SCANCODE_KP_2, SDL_SCANCODE_TAB})
        EXPECT_TRUE(slotsOf(other).empty()) << SDL_GetScancodeName(other);

    // Already held at the first poll counts as pressed; held on, a key does not count
    // again until it was released.
    state.assign(state.size(), 0);
    state[SDL_SCANCODE_RETURN] = 1;
    InitInput();
    for (auto [down, pressed] : {std::pair{1, 1}, {1, 0}, {1, 0}, {0, 0}, {1, 1}}) {
        state[SDL_SCANCODE_RETURN] = uint8_t(down);
        PollInput();
        EXPECT_EQ(IsKeyPressed(kKeyReturn), pressed);
    }
    EXPECT_TRUE(g_keys[kKeyReturn].current == 0x80 && IsKeyPressed(-1) == 0 && IsKeyPressed(kKeySlotCount) == 0);
    plat::UseKeyboardState(nullptr, 0);
}

// Seed 1 gives the classic sequence 41, 18467, 6334, 26500, 19169, 15724 (its state
// wraps at 2^32 from the second draw on). A count of 1, 0 or below (0 and below come
// from scripts) gives 0 without crashing and still uses up its draw, so the rest of
// the sequence is unchanged.
TEST(FoundationRandom, DrawsFollowTheClassicSequenceAndBadCountsStillDraw)
{
    SeedRandom(1);
    EXPECT_EQ((std::vector<int>{RollRandom(32768), RollRandom(6), RollRandom(0), RollRandom(-7), RollRandom(1), RollRandom(32768)}),
              (std::vector<int>{41, 18467 % 6, 0, 0, 0, 15724}));
}

TEST(FoundationRounding, HalvesGoAwayFromZeroAndOutOfRangeGivesTheLowestInteger)
{
    const float lowest = -2147483648.0f, inf = std::numeric_limits<float>::infinity();
    const std::pair<float, float> cases[] = {
        {0.5f, 1}, {-0.5f, -1}, {2.5f, 3}, {-2.5f, -3}, {2.49f, 2}, {359.6f, 360}, {-359.6f, -360}, {7, 7}, {-0.4f, 0},
        // Single precision: 0.49999997f + 0.5f rounds up to 1.0f in float arithmetic.
        {0.49999997f, 1},
        {std::numeric_limits<float>::quiet_NaN(), lowest}, {inf, lowest}, {-inf, lowest}, {3.0e9f, lowest},
        {2147483648.0f, lowest}, {-3.0e9f, lowest},
        {2147483520.0f, 2147483520.0f}, {-2147483520.0f, -2147483520.0f}, // the largest floats below 2^31
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(RoundToNearest(in), out) << in;
    // Small negatives round to a zero without a sign.
    EXPECT_FALSE(std::signbit(RoundToNearest(-0.4f)));
    EXPECT_FALSE(std::signbit(RoundToNearest(-0.0f)));
}

std::vector<int> g_order;

void RecordUpdate(Task* task) { g_order.push_back(static_cast<int>(task - g_tasks)); }

Task* Spawn(int slot, TaskProc update = RecordUpdate, int kind = 0)
{
    Task* task = CreateTask(slot);
    if (task) StartTask(task, kind, update, RecordUpdate);
    return task;
}

TEST(TaskPool, CreationChecksThePoolBoundsUseAndZeroesTheRecord)
{
    // Without a pool (a failed start, or after shutdown) every operation does nothing.
    ASSERT_EQ(g_tasks, nullptr);
    EXPECT_TRUE(CreateTask(3) == nullptr && CreateTaskInRange(10, 20) == nullptr);
    UpdateAllTasks();
    DrawAllTasks();
    KillAllTasks();
    SetAllTasksMode(kModeResume);

    ASSERT_EQ(InitTaskPool(), 1);
    EXPECT_TRUE(CreateTask(-1) == nullptr && CreateTask(200) == nullptr);
    EXPECT_EQ(Spawn(199), &g_tasks[199]);
    EXPECT_EQ(CreateTask(199), nullptr) << "a live slot is not handed out twice";
    // The range excludes its last slot.
    Spawn(10);
    Spawn(11);
    EXPECT_EQ(CreateTaskInRange(10, 20), &g_tasks[12]);
    for (int s = 12; s < 20; ++s) Spawn(s);
    EXPECT_EQ(CreateTaskInRange(10, 20), nullptr);
    for (int s = 80; s < 99; ++s) Spawn(s);
    EXPECT_EQ(CreateTaskInRange(80, 100), &g_tasks[99]);
    for (auto [first, end] : {std::pair{0, 200}, {5, 5}, {-1, 5}}) EXPECT_EQ(CreateTaskInRange(first, end), nullptr) << first;

    Task* task = Spawn(5);
    task->work[100] = 0xAB;
    task->param = 7;
    KillTask(task);
    EXPECT_EQ(task->work[100], 0xAB) << "killing leaves the work area for readers in the same frame";
    ASSERT_EQ(CreateTask(5), task);
    EXPECT_EQ((std::vector<int>{task->work[100], task->param, task->alive}), (std::vector<int>{0, 0, 0}));
    FreeTaskPool();
}

TEST(TaskPool, UpdatePassReadsFlagsWhenItReachesASlotAndModesSwitchThem)
{
    ASSERT_EQ(InitTaskPool(), 1);
    const auto Run = [](int slot, TaskProc update, int other = -1) {
        ClearTaskPool();
        g_order.clear();
        Spawn(slot, update);
        if (other >= 0) Spawn(other);
        UpdateAllTasks();
    };
    Run(50, [](Task*) { g_order.push_back(50); Spawn(60); Spawn(40); });
    EXPECT_EQ(g_order, (std::vector<int>{50, 60})) << "a later slot runs in the same pass, an earlier one next frame";
    g_order.clear();
    g_tasks[50].update = RecordUpdate;
    UpdateAllTasks();
    EXPECT_EQ(g_order, (std::vector<int>{40, 50, 60}));
    Run(30, [](Task*) { g_order.push_back(30); KillTask(&g_tasks[31]); }, 31);
    EXPECT_EQ(g_order, (std::vector<int>{30})) << "a task killed earlier in the pass is not called";
    Run(50, [](Task*) { g_order.push_back(50); KillAllTasks(); Spawn(70); Spawn(20); });
    EXPECT_EQ(g_order, (std::vector<int>{50, 70}));
    EXPECT_TRUE(!g_tasks[50].alive && g_tasks[20].alive);
    // Killed and made again ahead of the pass: the new procedure runs.
    Run(10, [](Task*) {
        g_order.push_back(10);
        KillTask(&g_tasks[12]);
        Spawn(12)->update = [](Task*) { g_order.push_back(1200); };
    }, 12);
    EXPECT_EQ(g_order, (std::vector<int>{10, 1200}));

    ClearTaskPool();
    Task* a = Spawn(1, RecordUpdate, 3);
    Task* b = Spawn(2, RecordUpdate, 1);
    // Update and draw flags of a and b after each command; unknown modes change nothing,
    // a freeze touches the update flag only.
    const struct { int kind, mode, flags[4]; } steps[] = {
        {-1, 9, {1, 1, 1, 1}}, {-1, 14, {1, 1, 1, 1}}, {-1, kModeFreeze, {0, 1, 0, 1}}, {-1, kModeResume, {1, 1, 1, 1}},
        {3, kModeHide, {1, 0, 1, 1}}, {1, kModeSuspend, {1, 0, 0, 0}}, {3, kModeFreeze, {0, 0, 0, 0}},
    };
    for (const auto& step : steps) {
        step.kind < 0 ? SetAllTasksMode(step.mode) : SetTasksModeOfKind(step.kind, step.mode);
        EXPECT_EQ((std::vector<int>{a->updateEnabled, a->drawEnabled, b->updateEnabled, b->drawEnabled}),
                  std::vector<int>(step.flags, step.flags + 4)) << step.kind << " " << step.mode;
    }
    EXPECT_EQ(g_tasks[9].updateEnabled, 0) << "free slots are never changed";
    Spawn(5);
    g_order.clear();
    UpdateAllTasks();
    EXPECT_EQ(g_order, (std::vector<int>{5})) << "a task created after a freeze still runs";
    KillTasksOfKind(3);
    EXPECT_TRUE(a->alive == 0 && b->alive == 1);
    FreeTaskPool();
}

} // namespace
