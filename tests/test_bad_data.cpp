// Damaged and missing files, tried as a newcomer would meet them: data.dat through the
// game itself (it must say why it stops, and stop), the stage packs and the race history
// in a running game (a race that cannot start, a stage cut short among them, goes back
// to the title and says why; odd history values show without harm).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "platform/msgbox.h"
#include "test_frontend_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace test_support;

constexpr int kBoardView = 2;
constexpr int kTeamSelect = 152;
constexpr int kHistoryScreen = 169;
constexpr int kTitle = 160;

class BadData : public FrontendRun {
protected:
    void SetUp() override
    {
        FrontendRun::SetUp();
        if (!IsSkipped() && !fs::exists(dir_ / "mappack.dat"))
            GTEST_SKIP() << "the stage packs are not built";
    }
    void Restart()
    {
        HeadlessStop();
        ASSERT_EQ(HeadlessStart(dir_.path().c_str()), 1) << HeadlessLastMessage();
        plat::ClearLastMessageBoxText();
        Frames(20);
    }
};

TEST_F(BadData, DamagedOrCutStagePacksLeadBackToTheTitleSayingWhyAndWholeStagesStillRun)
{
    const Bytes map = ReadFileBytes(dir_ / "mappack.dat");
    const Bytes events = ReadFileBytes(dir_ / "epack.dat");
    Bytes farOffset = map; // stage 1 said to lie two gigabytes in
    PutU32(farOffset, 0, 0x7FFFFFFFu);
    Bytes wide = map; // stage 1 as built, its sides made too wide for the board
    PutU32(wide, 12 + GetU32(map, 0), 101);
    Bytes longText = events; // stage 1's text claims four gigabytes
    PutU32(longText, 12 + GetU32(events, 0), 0xFFFFFFFFu);
    // The table, stage 1's length and its text: the scripts are content, so their length is
    // read from the pack.
    const ptrdiff_t stage1End = ptrdiff_t(12 + 4 + GetU32(events, 12 + GetU32(events, 0)));
    const std::string mapWhy = "mappack.dat: stage 1 cannot be read: ";
    const std::string scriptWhy = "epack.dat: the events of stage 1 cannot be read: ";
    const std::string mapCut = mapWhy + "the file ends inside the stage's map";
    const std::string textCut = scriptWhy + "the file ends inside the stage's text";
    // What stderr says (none: nothing about stage 1), since the player only sees the
    // title come back; a pack cut short after stage 1 races on stage 1.
    const std::tuple<const char*, const char*, Bytes, std::string, bool> cases[] = {
        {"mappack.dat", "missing", {}, mapWhy + "No such file or directory", false},
        {"mappack.dat", "empty", {}, mapWhy + "shorter than its table", false},
        {"mappack.dat", "a directory", {}, mapWhy + "not a regular file", false},
        {"mappack.dat", "101 columns", wide, mapWhy + "the stage's width or height is outside 1..100", false},
        {"mappack.dat", "offset past the end", farOffset, mapWhy + "the stage's offset points past the end of the file",
         false},
        {"epack.dat", "missing", {}, scriptWhy + "No such file or directory", false},
        {"epack.dat", "text too long", longText, scriptWhy + "the stage's text is longer than its 16,000-byte store",
         false},
        {"mappack.dat", "cut to 600", Bytes(map.begin(), map.begin() + 600), mapCut, false},
        {"mappack.dat", "cut to 4528", Bytes(map.begin(), map.begin() + 4528), "",
         true}, // 12 + 16 + 5 x 30 x 30: stage 1 whole
        {"epack.dat", "cut to 500", Bytes(events.begin(), events.begin() + 500), textCut, false},
        {"epack.dat", "cut behind stage 1", Bytes(events.begin(), events.begin() + stage1End), "", true},
    };
    for (const auto& [file, what, bytes, why, cut] : cases) {
        SCOPED_TRACE(std::string(file) + ": " + what);
        for (const char* name : {"mappack.dat", "epack.dat"})
            fs::remove_all(dir_ / name);
        WriteFileBytes(dir_ / "mappack.dat", map);
        WriteFileBytes(dir_ / "epack.dat", events);
        // "missing" removes the file, "a directory" puts one in its place.
        fs::remove(dir_ / file);
        if (what == std::string("a directory"))
            fs::create_directory(dir_ / file);
        else if (what != std::string("missing"))
            WriteFileBytes(dir_ / file, bytes);
        Restart();
        // The title's new race (team select comes up), then the first team.
        Press(kKeyReturn);
        Frames(58);
        ASSERT_TRUE(g_tasks[kTeamSelect].alive);
        testing::internal::CaptureStderr();
        Press(kKeyReturn);
        Frames(118);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.find(why.empty() ? "stage 1" : why) != std::string::npos, !why.empty()) << said;
        if (!cut) {
            EXPECT_TRUE(HeadlessIsRunning() && g_tasks[kTitle].alive && !g_tasks[kBoardView].alive);
            EXPECT_EQ(plat::LastMessageBoxText().empty(), bytes != longText) << "only the overlong text shows a box";
            Press(kKeyReturn);
            EXPECT_TRUE(g_tasks[kTeamSelect].alive) << "the title still answers";
            continue;
        }
        // Turns on whatever board there is; once the title is back the keys stop, as they
        // would lead it elsewhere.
        for (int i = 0; i < 40 && !g_tasks[kTitle].alive; ++i) {
            Press(i % 2 ? kKeyRight : kKeyReturn);
            Frames(28);
        }
        EXPECT_TRUE(HeadlessIsRunning() && (g_tasks[kTitle].alive || g_tasks[kBoardView].alive));
    }
}

// The game itself, with no display (so no message box can wait for a click), on a missing
// or damaged data.dat: it says why it stops, and stops with status 0 (124 would be a
// hang: 90 s is far beyond any start-up, even under the sanitizers).
TEST_F(BadData, TheGameItselfStopsOnAMissingOrDamagedArchiveAndSaysWhy)
{
    const Bytes good = ReadFileBytes(dir_ / "data.dat");
    Bytes hugeOffsets = good; // every table entry far past the end of the file
    std::fill(hugeOffsets.begin(), hugeOffsets.begin() + 600, 0xF0);
    const std::tuple<const char*, Bytes, const char*, const char*> cases[] = {
        {"missing", {}, "data load failed", "data.dat: No such file"},
        {"cut in the middle", Bytes(good.begin(), good.begin() + good.size() / 2), "error", "data.dat block"},
        {"offsets past the end", hugeOffsets, "error", "data.dat block"},
    };
    for (const auto& [what, bytes, box, why] : cases) {
        SCOPED_TRACE(what);
        fs::remove(dir_ / "data.dat");
        if (!bytes.empty())
            WriteFileBytes(dir_ / "data.dat", bytes);
        const int status =
            std::system(("cd '" + dir_.path() + "' && env -u DISPLAY SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " +
                         "timeout -k 5 90 '" SUGOROKU_BUILD_DIR "/sugoroku' >game.log 2>&1")
                            .c_str());
        const Bytes log = ReadFileBytes(dir_ / "game.log");
        const std::string output(log.begin(), log.end());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        EXPECT_TRUE(output.find(box) != std::string::npos && output.find(why) != std::string::npos) << output;
        EXPECT_EQ(output.find("Sanitizer"), std::string::npos) << output;
    }
}

// A close request from outside (the session ending, or a kill) is a clean shutdown:
// status 0 and the race history written. The signal only counts once the game has
// installed its handlers, so wait for those rather than a fixed time.
TEST_F(BadData, TheGameItselfEndsCleanlyOnHangUpOrTerminateAndKeepsTheHistory)
{
    const auto catches = [](pid_t pid, int signal) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("SigCgt:", 0) == 0)
                return ((std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1u) != 0;
        return false;
    };
    for (int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        fs::remove(dir_ / "save.dat");
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (chdir(dir_.path().c_str()) != 0)
                _exit(90);
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            // The GL libraries keep a few allocations to exit; the game's own are checked headless.
            const char* asan = getenv("ASAN_OPTIONS");
            setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
            execl(SUGOROKU_BUILD_DIR "/sugoroku", "sugoroku", static_cast<char*>(nullptr));
            _exit(91);
        }
        for (int tries = 0; tries < 1800 && !(catches(pid, SIGHUP) && catches(pid, SIGTERM)); ++tries)
            usleep(50 * 1000);
        kill(pid, signal);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(ReadFileBytes(dir_ / "save.dat").size(), 520u);
    }
}

// Every field huge or every field negative: the history screen shows them without harm,
// and the file is written back as it was, never lost.
TEST_F(BadData, RaceHistoryWithOutlandishValuesIsShownWithoutHarm)
{
    for (uint32_t value : {0x7FFFFFFFu, 0x80000000u}) {
        SCOPED_TRACE(value);
        Bytes history;
        for (int i = 0; i < 130; ++i)
            PutLE(history, value, 4);
        HeadlessStop(); // which writes the history
        WriteFileBytes(dir_ / "save.dat", history);
        Restart();
        // The history screen from the title: second column, third row.
        for (KeySlotId key : {kKeyDown, kKeyDown, kKeyRight, kKeyReturn})
            Press(key);
        Frames(100);
        EXPECT_TRUE(g_tasks[kHistoryScreen].alive);
        Press(kKeyReturn);
        Frames(198);
        EXPECT_TRUE(HeadlessIsRunning() && g_tasks[kTitle].alive);
        HeadlessStop();
        EXPECT_EQ(ReadFileBytes(dir_ / "save.dat"), history);
    }
}

} // namespace
