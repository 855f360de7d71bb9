// Start-up, the frame and shutdown, run headless and as the real program.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <csignal>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

#include "app/app.h"
#include "app/headless.h"
#include "board/race_result.h"
#include "board/world.h"
#include "engine/archive.h"
#include "engine/config.h"
#include "engine/input.h"
#include "engine/task.h"
#include "persist/history.h"
#include "platform/text_encoding.h"
#include "platform/window.h"
#include "test_support.h"

#include <SDL.h>

using test_support::TempDir;

namespace {

// The game's own archive from the build, linked into the test's directory.
bool LinkRealArchive(const TempDir& dir)
{
    std::string built = std::string(SUGOROKU_BUILD_DIR) + "/data.dat";
    return access(built.c_str(), R_OK) == 0 && symlink(built.c_str(), (dir / "data.dat").c_str()) == 0;
}

#define REQUIRE_REAL_ARCHIVE(dir)                                                   \
    do {                                                                            \
        if (!LinkRealArchive(dir))                                                  \
            GTEST_SKIP() << "data.dat has not been built (content tools are off)"; \
    } while (0)

// An archive that loads but holds nothing the sound and graphics need.
void WriteMinimalArchive(const std::string& path)
{
    std::vector<uint8_t> image;
    test_support::AddBlock(image, 0, {1, 2, 3});
    test_support::WriteFileBytes(path, image);
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

const std::string kGame = std::string(SUGOROKU_BUILD_DIR) + "/sugoroku";

std::string CurrentDir() { return std::filesystem::current_path().string(); }

// Test tasks: count their updates, and one that asks the game to end.
int s_updates[kTaskSlots];
int s_stopAtUpdate = 0;

void CountingUpdate(Task* task)
{
    int slot = static_cast<int>(task - g_tasks);
    ++s_updates[slot];
    if (task->param == 1 && s_updates[slot] == s_stopAtUpdate)
        g_running = 0;
}

Task* MakeTask(int slot, TaskProc update, int param = 0)
{
    Task* task = CreateTask(slot);
    task->alive = task->updateEnabled = 1;
    task->update = update;
    task->param = param;
    return task;
}

class FoundationStartup : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(s_updates, 0, sizeof(s_updates));
        s_stopAtUpdate = 0;
        home_ = CurrentDir();
    }
    void TearDown() override
    {
        HeadlessStop();
        EXPECT_EQ(CurrentDir(), home_); // the working directory is given back
    }
    TempDir dir;
    std::string home_;
};

TEST_F(FoundationStartup, MissingArchiveStopsWithItsMessageAndRunsNoFrame)
{
    EXPECT_EQ(HeadlessStart(dir.path().c_str()), 0);
    EXPECT_STREQ(HeadlessLastMessage(), "data load failed");
    HeadlessRunFrames(5);
    EXPECT_EQ(HeadlessFrameCount(), 0);
    // Everything taken so far was given back.
    EXPECT_TRUE(!HeadlessIsRunning() && !g_tasks && !g_squareLayer && !g_eventScripts && !g_dataFile);
    HeadlessStop();
    EXPECT_FALSE(Exists(dir / "save.dat")); // no shutdown ran, so nothing was written
    EXPECT_EQ(HeadlessStart("/nonexistent/dir"), 0);
}

TEST_F(FoundationStartup, ALaterFailedStepGivesBackTheArchiveToo)
{
    WriteMinimalArchive(dir / "data.dat"); // loads, but holds no sounds or images
    EXPECT_EQ(HeadlessStart(dir.path().c_str()), 0);
    std::string message = HeadlessLastMessage();
    EXPECT_TRUE(message == "direct sound error" || message == "direct graphics error") << message;
    EXPECT_TRUE(!g_dataFile && !g_tasks && !g_routeLayer);
    HeadlessRunFrames(2);
    EXPECT_EQ(HeadlessFrameCount(), 0);
}

TEST_F(FoundationStartup, StartUpResetsTheGameStateAndShutdownWritesTheHistoryOnce)
{
    REQUIRE_REAL_ARCHIVE(dir);
    g_windowedOption = g_musicOn = 0;
    g_stageNumber = 3;
    g_playerTeam = 2;
    g_raceResult.teamsLeft = 0;

    ASSERT_EQ(HeadlessStart(dir.path().c_str()), 1) << HeadlessLastMessage();
    // running, windowed, music, stage, player's team, teams left, next place from the bottom
    EXPECT_EQ((std::vector<int>{HeadlessIsRunning(), g_running, g_windowedOption, g_musicOn, g_stageNumber,
                                g_playerTeam, g_raceResult.teamsLeft, g_raceResult.nextPlaceFromBottom}),
              (std::vector<int>{1, 1, 1, 1, 1, 0, 3, 2}));
    ASSERT_TRUE(g_tasks && g_squareLayer && g_eventScripts && g_dataFile);
    EXPECT_TRUE(g_squareLayer[9999] == 0 && g_eventScripts[19999] == 0); // the whole layers were zeroed

    g_history[0].time.tm_year = 126;
    g_history[0].stage = 2;
    ShutdownGame();
    EXPECT_TRUE(HeadlessIsRunning() == 0 && g_tasks == nullptr && g_dataFile == nullptr);
    ASSERT_TRUE(Exists(dir / "save.dat"));
    HeadlessRunFrames(3);
    EXPECT_EQ(HeadlessFrameCount(), 0); // none after shutdown

    // A second shutdown does nothing: the file is not written again.
    unlink((dir / "save.dat").c_str());
    ShutdownGame();
    EXPECT_FALSE(Exists(dir / "save.dat"));

    // The next start reads the history back.
    HeadlessStop();
    ASSERT_TRUE(WriteHistoryFile((dir / "save.dat").c_str()));
    std::memset(static_cast<void*>(g_history), 0, sizeof(g_history));
    ASSERT_EQ(HeadlessStart(dir.path().c_str()), 1);
    EXPECT_EQ(std::make_pair(g_history[0].time.tm_year, int(g_history[0].stage)), std::make_pair(126, 2));
}

TEST_F(FoundationStartup, ClearingTheRunFlagFinishesTheUpdatePassThenShutsDown)
{
    REQUIRE_REAL_ARCHIVE(dir);
    ASSERT_EQ(HeadlessStart(dir.path().c_str()), 1);
    KillAllTasks(); // only the test's own tasks run
    MakeTask(10, CountingUpdate, 1); // ends the game in its third update
    MakeTask(20, CountingUpdate); // a later slot: still updated in that frame
    s_stopAtUpdate = 3;
    HeadlessRunFrames(10);
    EXPECT_EQ((std::vector<int>{HeadlessFrameCount(), s_updates[10], s_updates[20], HeadlessIsRunning()}),
              (std::vector<int>{3, 3, 3, 0}));
    EXPECT_TRUE(Exists(dir / "save.dat"));
}

void WatchReturn(Task*)
{
    s_updates[0] += IsKeyPressed(kKeyReturn);
    s_updates[1] += IsKeyPressed(kKeyEscape);
}

TEST_F(FoundationStartup, ScriptedKeysReachTheTasksAsEdges)
{
    REQUIRE_REAL_ARCHIVE(dir);
    ASSERT_EQ(HeadlessStart(dir.path().c_str()), 1);
    KillAllTasks(); // only the test's own tasks run
    MakeTask(5, WatchReturn);
    HeadlessRunScript({{4, 1u << kKeyReturn}, {2, 0}, {3, 1u << kKeyReturn | 1u << kKeyEscape}, {1, 0}});
    EXPECT_EQ(s_updates[0], 2); // held four frames: one press; released, pressed again: one more
    EXPECT_EQ(s_updates[1], 1);
    HeadlessPressKey(kKeyEscape);
    EXPECT_EQ(s_updates[1], 2);
    EXPECT_EQ(HeadlessFrameCount(), 12);
}

TEST(FoundationFrame, PacingCountsWholeMillisecondsAcrossTheClockWrap)
{
    // 16 and 17 ms, also across the wrap.
    const struct { uint32_t start, now; int ends; } cases[] = {
        {1000, 1016, 0}, {1000, 1017, 1}, {1000, 1040, 1}, {0xFFFFFFF8u, 8, 0}, {0xFFFFFFF8u, 9, 1}, {500, 500, 0}};
    for (const auto& c : cases) EXPECT_EQ(FrameMayEnd(c.start, c.now), c.ends) << c.start << " -> " << c.now;
}

// The real program in an empty directory: the message goes to stderr, the exit code is
// 0, and no frame or shutdown ran (no history file appears).
TEST(FoundationProgram, EmptyDirectoryEndsCleanlyWithTheMessage)
{
    TempDir dir;
    ASSERT_TRUE(Exists(kGame));
    std::string errPath = dir / "stderr.txt";
    // The desktop's GL libraries keep a few allocations to exit; the game's own memory is
    // checked by the headless tests, which run the same chain in this process.
    std::string command = "cd '" + dir.path() + "' && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " +
                          "ASAN_OPTIONS=\"${ASAN_OPTIONS:-}:detect_leaks=0\" timeout 60 '" +
                          kGame + "' 2>'" + errPath + "'";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const test_support::Bytes err = test_support::ReadFileBytes(errPath);
    const std::string text(err.begin(), err.end());
    EXPECT_NE(text.find("data load failed"), std::string::npos) << text;
    EXPECT_FALSE(Exists(dir / "save.dat"));
}


bool CatchesSignal(pid_t pid, int signal)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1u;
    }
    return false;
}

// A close request (the desktop's terminate signal, or a closed terminal's hang-up) while
// the game runs shuts it down between frames: the history is written and the exit code is 0.
TEST(FoundationProgram, CloseRequestOrHangUpShutsDownAndWritesTheHistory)
{
    // The GL libraries keep a few allocations to exit; keep the other sanitizer options.
    const std::string asanOptions = std::string(getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "") + ":detect_leaks=0";
    for (int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        TempDir dir;
        REQUIRE_REAL_ARCHIVE(dir);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (chdir(dir.path().c_str()) != 0)
                _exit(90);
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            setenv("ASAN_OPTIONS", asanOptions.c_str(), 1);
            execl(kGame.c_str(), kGame.c_str(), static_cast<char*>(nullptr));
            _exit(91);
        }
        // The signal becomes a close request once the program catches it (its window
        // system is up); wait for that rather than for a fixed time.
        for (int tries = 0; tries < 400 && !(CatchesSignal(pid, SIGHUP) && CatchesSignal(pid, SIGTERM)); ++tries)
            usleep(50 * 1000);
        kill(pid, signal);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ((std::tuple{WEXITSTATUS(status), test_support::ReadFileBytes(dir / "save.dat").size()}),
                  std::make_tuple(0, 520u));
    }
}

// The display change: full screen covers the desktop, windowed comes back centred at
// the 640 x 480 client size. Needs a video driver (the offscreen one will do).
TEST(FoundationWindow, PlacementFollowsTheDisplayMode)
{
    if (!plat::InitVideo("VARDUN"))
        GTEST_SKIP() << "no video driver: " << plat::LastVideoError();
    int x = 0, y = 0;
    CenterOnDesktop(&x, &y, kClientWidth, kClientHeight);
    int right = 0, bottom = 0;
    ASSERT_TRUE(plat::GetDesktopRect(&right, &bottom));
    EXPECT_EQ((std::tuple{x, y}), std::make_tuple((right - 640) / 2, (bottom - 480) / 2));

    // The caption is held as CP932 and shown as UTF-8.
    auto* window = static_cast<SDL_Window*>(plat::CreateMainWindow("\x83\x79\x83\x8b", x, y, 640, 480));
    ASSERT_NE(window, nullptr);
    EXPECT_STREQ(SDL_GetWindowTitle(window), "\xE3\x83\x9A\xE3\x83\xAB");
    EXPECT_EQ(plat::Cp932ToUtf8("ok\x82"), "ok\xEF\xBF\xBD"); // a cut character still shows
    Uint32 flags = SDL_GetWindowFlags(window);
    EXPECT_EQ(flags & (SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE), Uint32(SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN));

    g_windowedOption = 0;
    PlaceMainWindow();
    flags = SDL_GetWindowFlags(window);
    EXPECT_EQ(flags & SDL_WINDOW_FULLSCREEN_DESKTOP, static_cast<Uint32>(SDL_WINDOW_FULLSCREEN_DESKTOP));
    EXPECT_TRUE(flags & SDL_WINDOW_SHOWN);

    g_windowedOption = 1;
    PlaceMainWindow();
    flags = SDL_GetWindowFlags(window);
    EXPECT_FALSE(flags & SDL_WINDOW_FULLSCREEN);
    int w = 0, h = 0, px = 0, py = 0;
    SDL_GetWindowSize(window, &w, &h);
    SDL_GetWindowPosition(window, &px, &py);
    EXPECT_EQ((std::vector<int>{w, h, px, py}), (std::vector<int>{640, 480, x, y}));
    plat::QuitVideo();
    EXPECT_EQ(plat::MainWindow(), nullptr);
}

} // namespace
