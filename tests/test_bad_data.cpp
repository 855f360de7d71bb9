// Damaged and missing stage packs and race history, tried as a newcomer would meet them
// in a running game: a race that cannot start goes back to the title and says why, a
// cut stage warns and still runs, odd history values show without harm.
#include <filesystem>
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
        if (!IsSkipped() && !fs::exists(dir_ / "mappack.dat")) GTEST_SKIP() << "the stage packs are not built";
    }
    // Puts the bytes in place of the game's file; "missing" removes it, "a directory"
    // puts one there.
    void Damage(const std::string& file, const std::string& what, const Bytes& bytes)
    {
        fs::remove(dir_ / file);
        if (what == "a directory") fs::create_directory(dir_ / file);
        if (what != "missing" && what != "a directory") WriteFileBytes(dir_ / file, bytes);
    }
    void Restart()
    {
        HeadlessStop();
        ASSERT_EQ(HeadlessStart(dir_.path().c_str()), 1) << HeadlessLastMessage();
        Frames(20);
    }
    // The title's new race (team select comes up), then the first team; what the game
    // said on stderr meanwhile.
    std::string StartARace()
    {
        Press(kKeyReturn);
        Frames(58);
        EXPECT_TRUE(g_tasks[kTeamSelect].alive);
        testing::internal::CaptureStderr();
        Press(kKeyReturn);
        Frames(118);
        return testing::internal::GetCapturedStderr();
    }
    Bytes Built(const char* name) const { return ReadFileBytes(std::string(SUGOROKU_BUILD_DIR) + "/" + name); }
};

TEST_F(BadData, StagePacksThatCannotStartARaceLeadBackToTheTitle)
{
    const Bytes map = Built("mappack.dat");
    const Bytes events = Built("epack.dat");
    Bytes farOffset = map; // stage 1 said to lie two gigabytes in
    PutU32(farOffset, 0, 0x7FFFFFFFu);
    Bytes wide = map; // stage 1 as built, its sides made too wide for the board
    PutU32(wide, 12 + GetU32(map, 0), 101);
    Bytes longText = events; // stage 1's text claims four gigabytes
    PutU32(longText, 12 + GetU32(events, 0), 0xFFFFFFFFu);
    const std::string mapWhy = "mappack.dat: stage 1 cannot be read: ";
    const std::string scriptWhy = "epack.dat: the events of stage 1 cannot be read: ";
    // The reason goes to stderr, since the player only sees the title come back.
    const std::tuple<const char*, const char*, Bytes, std::string> cases[] = {
        {"mappack.dat", "missing", {}, mapWhy + "No such file or directory"},
        {"mappack.dat", "empty", {}, mapWhy + "shorter than its table"},
        {"mappack.dat", "a directory", {}, mapWhy + "not a regular file"},
        {"mappack.dat", "101 columns", wide, mapWhy + "the stage's width or height is outside 1..100"},
        {"mappack.dat", "offset past the end", farOffset, mapWhy + "the stage's offset points past the end of the file"},
        {"epack.dat", "missing", {}, scriptWhy + "No such file or directory"},
        {"epack.dat", "text too long", longText, scriptWhy + "the stage's text is longer than its 16,000-byte store"},
    };
    for (const auto& [file, what, bytes, why] : cases) {
        SCOPED_TRACE(std::string(file) + ": " + what);
        Damage(file, what, bytes);
        const std::string before = plat::LastMessageBoxText();
        // The title answers again each time: the next race reaches team select.
        const std::string said = StartARace();
        EXPECT_NE(said.find(why), std::string::npos) << said;
        EXPECT_TRUE(HeadlessIsRunning() && g_tasks[kTitle].alive && !g_tasks[kBoardView].alive);
        EXPECT_EQ(plat::LastMessageBoxText() != before, bytes == longText) << "only the overlong text shows a box";
        fs::remove_all(dir_ / file);
        WriteFileBytes(dir_ / file, std::string(file) == "epack.dat" ? events : map);
    }
    Press(kKeyReturn);
    EXPECT_TRUE(g_tasks[kTeamSelect].alive);
}

TEST_F(BadData, StagePacksCutInsideAStageSayItAndStillRunOrLeave)
{
    // Stage 1's layers or text end early: the rest reads as empty. Whatever the race
    // makes of that, the game must keep running frames and answer the keys, and stderr
    // tells that the stage was cut short.
    const Bytes map = Built("mappack.dat");
    const Bytes events = Built("epack.dat");
    const std::string mapCut = "mappack.dat: stage 1: the file ends inside the stage's map";
    const std::string textCut = "epack.dat: the events of stage 1: the file ends inside the stage's text";
    const std::tuple<const char*, Bytes, std::string> cases[] = {
        {"mappack.dat", Bytes(map.begin(), map.begin() + 600), mapCut},
        {"mappack.dat", Bytes(map.begin(), map.begin() + 4528), ""}, // stage 1 ends right there: 12 + 16 + 5 x 30 x 30
        {"epack.dat", Bytes(events.begin(), events.begin() + 500), textCut},
        {"epack.dat", Bytes(events.begin(), events.begin() + 1770), ""}, // 12 + 4 + stage 1's 1,754 bytes
    };
    for (const auto& [file, bytes, warning] : cases) {
        SCOPED_TRACE(std::string(file) + " cut to " + std::to_string(bytes.size()));
        WriteFileBytes(dir_ / "mappack.dat", map);
        WriteFileBytes(dir_ / "epack.dat", events);
        WriteFileBytes(dir_ / file, bytes);
        Restart();
        const std::string said = StartARace();
        EXPECT_EQ(said.find(warning.empty() ? "stage 1" : warning) != std::string::npos, !warning.empty()) << said;
        // Turns on whatever board there is; once the title is back the keys stop, as they
        // would lead it elsewhere.
        for (int i = 0; i < 40 && !g_tasks[kTitle].alive; ++i) {
            Press(i % 2 ? kKeyRight : kKeyReturn);
            Frames(28);
        }
        EXPECT_TRUE(HeadlessIsRunning() && (g_tasks[kTitle].alive || g_tasks[kBoardView].alive));
    }
}

// Every field huge or every field negative: the history screen shows them without harm,
// and the file is written back as it was, never lost.
TEST_F(BadData, RaceHistoryWithOutlandishValuesIsShownWithoutHarm)
{
    for (uint32_t value : {0x7FFFFFFFu, 0x80000000u}) {
        SCOPED_TRACE(value);
        Bytes history;
        for (int i = 0; i < 130; ++i) PutLE(history, value, 4);
        HeadlessStop(); // which writes the history
        WriteFileBytes(dir_ / "save.dat", history);
        Restart();
        // The history screen from the title: second column, third row.
        for (KeySlotId key : {kKeyDown, kKeyDown, kKeyRight, kKeyReturn}) Press(key);
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
