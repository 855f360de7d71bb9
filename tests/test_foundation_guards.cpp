// The frame's own guards and failure paths: no frame without a started game, a close
// request inside a frame waits for its end, a lost device that cannot be made again ends
// the game, the graphics start-up failure gives back everything, and every key slot
// reads the key it names.
#include <gtest/gtest.h>

#include <SDL.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/headless.h"
#include "engine/archive.h"
#include "engine/assets.h"
#include "engine/graphics.h"
#include "engine/input.h"
#include "engine/task.h"
#include "engine/wave.h"
#include "platform/gfx_device.h"
#include "platform/keyboard.h"
#include "test_support.h"

namespace {

using test_support::Bytes;
using test_support::TempDir;

const std::string kBuiltArchive = std::string(SUGOROKU_BUILD_DIR) + "/data.dat";

// The built archive with block `broken` replaced by three bytes no decoder takes.
bool WriteArchiveWithBrokenBlock(const std::string& path, int broken)
{
    const Bytes real = test_support::ReadFileBytes(kBuiltArchive);
    if (real.size() < 600)
        return false;
    test_support::ArchiveImage image;
    for (int block = 0; block < 150; ++block) {
        const size_t at = 600 + size_t(test_support::GetU32(real, 4 * size_t(block)));
        const uint32_t length = test_support::GetU32(real, at);
        if (block == broken)
            image.Add(block, Bytes{1, 2, 3});
        else
            image.Add(block, Bytes(real.begin() + long(at + 4), real.begin() + long(at + 4 + length)));
    }
    test_support::WriteFileBytes(path, image.Bytes());
    return true;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

class FrameGuards : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Exists(kBuiltArchive))
            GTEST_SKIP() << "data.dat has not been built";
    }
    void TearDown() override
    {
        plat::RefuseRecordingDevices(0);
        HeadlessStop();
    }
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

TEST_F(FrameGuards, NoFrameRunsAfterAFailedStartOrAfterShutdown)
{
    EXPECT_EQ(HeadlessStart(dir.path().c_str()), 0); // no data.dat
    EXPECT_FALSE(FramesPollKeys()) << "a frame ran after a failed start";
    HeadlessStop();

    Start();
    EXPECT_TRUE(FramesPollKeys()) << "a started game runs its frames";
    ShutdownGame();
    EXPECT_FALSE(FramesPollKeys()) << "a frame ran after shutdown";
}

// Test tasks: one asks to close the window in the middle of the update pass (as a
// close box clicked while a task shows a message box), a later one notes that the pool
// is still there when its turn comes.
int s_laterUpdates = 0;
void CloseFromInsideThePass(Task*) { HandleCloseRequest(); }
void NoteLaterUpdate(Task*) { ++s_laterUpdates; }

TEST_F(FrameGuards, ACloseRequestDuringTheFrameIsActedOnAfterIt)
{
    Start();
    KillAllTasks();
    for (auto [slot, update] : {std::pair<int, TaskProc>{10, CloseFromInsideThePass}, {20, NoteLaterUpdate}}) {
        Task* task = CreateTask(slot);
        ASSERT_NE(task, nullptr);
        task->alive = task->updateEnabled = 1;
        task->update = update;
    }
    s_laterUpdates = 0;
    RunFrameUnpaced();
    EXPECT_EQ(s_laterUpdates, 1) << "the pass went on over the pool";
    EXPECT_FALSE(HeadlessIsRunning()) << "shut down at the end of the frame";
    EXPECT_TRUE(Exists(dir / "save.dat"));

    // Between frames the same request shuts down at once.
    HeadlessStop();
    std::filesystem::remove(dir / "save.dat");
    ASSERT_EQ(HeadlessStart(dir.path().c_str()), 1);
    HandleCloseRequest();
    EXPECT_FALSE(HeadlessIsRunning());
    EXPECT_TRUE(Exists(dir / "save.dat"));
}

TEST_F(FrameGuards, ALostDeviceIsMadeAgainAndAFailedRebuildEndsTheGameAfterTheFrame)
{
    Start();
    HeadlessRunFrames(2);
    const int presents = plat::RecordedPresentCount();
    plat::LoseRecordingDeviceAtNextPresent();
    HeadlessRunFrames(1);
    EXPECT_EQ(plat::RecordedPresentCount(), presents) << "the lost frame was not shown";
    EXPECT_TRUE(HasGraphicsDevice() && g_uiAtlas != nullptr) << "device and textures made anew";
    EXPECT_TRUE(g_running == 1 && HeadlessIsRunning());
    HeadlessRunFrames(1);
    EXPECT_EQ(plat::RecordedPresentCount(), presents + 1);
    EXPECT_EQ(g_tasks[160].alive, 1) << "the title kept running across the rebuild";

    // Neither refresh rate gives a device: the run flag is cleared, the update pass of
    // that frame still runs, and the game shuts down at its end, writing the history.
    plat::LoseRecordingDeviceAtNextPresent();
    plat::RefuseRecordingDevices(2);
    InitInput();
    HeadlessSetKeys(1u << kKeyDown);
    RunFrameUnpaced();
    EXPECT_EQ(g_keys[kKeyDown].current, 0x80) << "the update pass ran";
    EXPECT_EQ(g_running, 0);
    EXPECT_FALSE(HeadlessIsRunning());
    EXPECT_FALSE(HasGraphicsDevice());
    EXPECT_TRUE(Exists(dir / "save.dat"));
}

TEST_F(FrameGuards, AGraphicsFailureAtStartShowsItsMessageAndGivesBackEveryStep)
{
    // The font cannot be made after the device and the atlas were: a half-built device.
    ASSERT_TRUE(WriteArchiveWithBrokenBlock(dir / "data.dat", 1));
    EXPECT_EQ(HeadlessStart(dir.path().c_str()), 0);
    EXPECT_STREQ(HeadlessLastMessage(), "direct graphics error");
    EXPECT_FALSE(HasGraphicsDevice());
    EXPECT_TRUE(g_uiAtlas == nullptr && g_fontTexture == nullptr);
    for (plat::SoundBuffer* track : g_music) EXPECT_EQ(track, nullptr) << "sound released";
    for (plat::SoundBuffer* effect : g_soundEffects) EXPECT_EQ(effect, nullptr);
    EXPECT_TRUE(g_tasks == nullptr && g_dataFile == nullptr);
    HeadlessRunFrames(2);
    EXPECT_EQ(HeadlessFrameCount(), 0);
    HeadlessStop();
    EXPECT_FALSE(Exists(dir / "save.dat"));

    // No device at either refresh rate: the same message.
    std::filesystem::remove(dir / "data.dat");
    ASSERT_TRUE(std::filesystem::copy_file(kBuiltArchive, dir / "data.dat"));
    plat::RefuseRecordingDevices(2);
    EXPECT_EQ(HeadlessStart(dir.path().c_str()), 0);
    EXPECT_STREQ(HeadlessLastMessage(), "direct graphics error");
    EXPECT_TRUE(g_tasks == nullptr && g_dataFile == nullptr && g_music[0] == nullptr);

    // One refusal only: the second try (refresh 0) gives the device.
    HeadlessStop();
    plat::RefuseRecordingDevices(1);
    EXPECT_EQ(HeadlessStart(dir.path().c_str()), 1) << HeadlessLastMessage();
}

// Each slot reads the key the game names it by, through the real keyboard path (SDL's
// scancodes), not the key script.
TEST(KeySlots, EachSlotReadsItsOwnKey)
{
    const struct { int slot; uint32_t virtualKey; std::vector<SDL_Scancode> keys; } table[] = {
        {0, 0x28, {SDL_SCANCODE_DOWN}},
        {1, 0x26, {SDL_SCANCODE_UP}},
        {2, 0x27, {SDL_SCANCODE_RIGHT}},
        {3, 0x25, {SDL_SCANCODE_LEFT}},
        {4, 0x1B, {SDL_SCANCODE_ESCAPE}},
        {5, 0x11, {SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL}},
        {6, 0x0D, {SDL_SCANCODE_RETURN, SDL_SCANCODE_KP_ENTER}},
        {7, 0x5A, {SDL_SCANCODE_Z}},
        {8, 0x20, {SDL_SCANCODE_SPACE}},
        {9, 0x10, {SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RSHIFT}},
        {10, 0x41, {SDL_SCANCODE_A}},
        {11, 0x53, {SDL_SCANCODE_S}},
        {12, 0x44, {SDL_SCANCODE_D}},
    };
    plat::UseScriptedKeys(false);
    std::vector<uint8_t> state(SDL_NUM_SCANCODES, 0);
    plat::UseKeyboardState(state.data(), int(state.size()));
    InitInput();
    for (const auto& row : table) {
        EXPECT_EQ(g_keys[row.slot].virtualKey, row.virtualKey) << "slot " << row.slot;
        for (SDL_Scancode key : row.keys) {
            state.assign(state.size(), 0);
            PollInput();
            state[key] = 1;
            PollInput();
            for (int slot = 0; slot < kKeySlotCount; ++slot)
                EXPECT_EQ(IsKeyPressed(slot), slot == row.slot ? 1 : 0)
                    << SDL_GetScancodeName(key) << " seen in slot " << slot;
        }
    }
    // Letters go by position: neighbours of Z and the keypad do nothing.
    for (SDL_Scancode other : {SDL_SCANCODE_X, SDL_SCANCODE_Y, SDL_SCANCODE_W, SDL_SCANCODE_KP_2, SDL_SCANCODE_TAB}) {
        state.assign(state.size(), 0);
        PollInput();
        state[other] = 1;
        PollInput();
        for (int slot = 0; slot < kKeySlotCount; ++slot)
            EXPECT_EQ(IsKeyPressed(slot), 0) << SDL_GetScancodeName(other) << " seen in slot " << slot;
    }
    plat::UseKeyboardState(nullptr, 0);
}

} // namespace
