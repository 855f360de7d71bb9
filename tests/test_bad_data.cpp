// Damaged and missing files, tried as a newcomer would meet them: data.dat through the
// real executable (it must say why it stops, and stop), the stage packs and the race
// history through the headless start (a race that cannot start goes back to the title,
// a history that cannot be read is never written over).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "app/headless.h"
#include "engine/input.h"
#include "engine/task.h"
#include "platform/msgbox.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::ReadFileBytes;
using test_support::TempDir;
using test_support::WriteFileBytes;

const fs::path kBuild = SUGOROKU_BUILD_DIR;

Bytes RandomBytes(size_t count, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes bytes(count);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

Bytes Prefix(const Bytes& bytes, size_t count)
{
    return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(std::min(count, bytes.size())));
}

// How a file is damaged: written with these bytes, removed, or a directory in its place.
struct Damage {
    const char* name;
    enum Kind { Write, Remove, Directory } kind;
    Bytes bytes;
};

void Apply(const TempDir& dir, const std::string& file, const Damage& damage)
{
    const std::string path = dir / file;
    fs::remove(path);
    if (damage.kind == Damage::Write) WriteFileBytes(path, damage.bytes);
    if (damage.kind == Damage::Directory) fs::create_directory(path);
}

void CopyDataFiles(const TempDir& dir)
{
    for (const char* name : {"data.dat", "mappack.dat", "epack.dat"}) fs::copy_file(kBuild / name, dir / name);
}

// The real game in DIR with no display (so no message box can wait for a click); its
// exit status (124 for a hang: 90 s is far beyond any start-up, even on a loaded
// two-core machine under the sanitizers) and what it wrote on stderr.
int RunGame(const TempDir& dir, std::string* output)
{
    const std::string log = dir / "game.log";
    const std::string command = "cd '" + dir.path() + "' && env -u DISPLAY SDL_VIDEODRIVER=offscreen " +
                                "SDL_AUDIODRIVER=dummy timeout -k 5 90 '" + (kBuild / "sugoroku").string() +
                                "' >'" + log + "' 2>&1";
    const int status = std::system(command.c_str());
    const Bytes text = ReadFileBytes(log);
    output->assign(text.begin(), text.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class BadData : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kBuild / "data.dat") || !fs::exists(kBuild / "sugoroku"))
            GTEST_SKIP() << "the game and its data are not built in " << kBuild;
    }
    void TearDown() override
    {
        if (started_) HeadlessStop();
    }

    void Start(const TempDir& dir)
    {
        ASSERT_EQ(HeadlessStart(dir.path().c_str()), 1) << HeadlessLastMessage();
        started_ = true;
        HeadlessRunFrames(20);
    }
    void Stop()
    {
        HeadlessStop();
        started_ = false;
    }
    static void Press(int slot, int settle)
    {
        HeadlessPressKey(slot);
        HeadlessRunFrames(settle);
    }
    static bool Alive(int slot) { return g_tasks != nullptr && g_tasks[slot].alive != 0; }

    bool started_ = false;
};

constexpr int kTitle = 160;
constexpr int kBoardView = 2;
constexpr int kTeamSelect = 152;
constexpr int kHistoryScreen = 169;

TEST_F(BadData, DataArchiveDamagedStopsTheGameWithItsReason)
{
    const Bytes good = ReadFileBytes((kBuild / "data.dat").string());
    Bytes hugeOffsets = good; // every table entry far past the end of the file
    for (size_t i = 0; i < 600; ++i) hugeOffsets[i] = 0xF0;
    Bytes garbledImages = good; // the table intact, the first megabyte of blocks noise
    const Bytes noise = RandomBytes(1 << 20, 7);
    std::copy(noise.begin(), noise.end(), garbledImages.begin() + 600);

    struct Case {
        Damage damage;
        const char* expect; // the message a player sees, then the reason on stderr
        const char* reason;
    };
    const Case cases[] = {
        {{"missing", Damage::Remove, {}}, "data load failed", "No such file"},
        {{"empty", Damage::Write, {}}, "data load failed", "0 bytes"},
        {{"shorter than its table", Damage::Write, Prefix(good, 599)}, "data load failed", "599 bytes"},
        {{"a directory", Damage::Directory, {}}, "data load failed", "not a regular file"},
        {{"random bytes", Damage::Write, RandomBytes(200000, 1)}, "error", "data.dat block"},
        {{"cut in the middle", Damage::Write, Prefix(good, good.size() / 2)}, "error", "data.dat block"},
        {{"offsets past the end", Damage::Write, hugeOffsets}, "error", "data.dat block"},
        {{"images garbled", Damage::Write, garbledImages}, "error", "data.dat block"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.damage.name);
        TempDir dir;
        CopyDataFiles(dir);
        Apply(dir, "data.dat", c.damage);
        std::string output;
        const int status = RunGame(dir, &output);
        EXPECT_EQ(status, 0) << output; // neither a crash nor a hang (124)
        EXPECT_NE(output.find(c.expect), std::string::npos) << output;
        EXPECT_NE(output.find(c.reason), std::string::npos) << output;
        EXPECT_EQ(output.find("Sanitizer"), std::string::npos) << output;
    }
}

// Bytes of a stage pack: three offsets, then one entry of W, H, a header and 5 layers.
Bytes MapPackWithSides(uint32_t width, uint32_t height)
{
    Bytes pack;
    for (int i = 0; i < 3; ++i) test_support::PutLE(pack, 0, 4);
    test_support::PutLE(pack, width, 4);
    test_support::PutLE(pack, height, 4);
    pack.resize(pack.size() + 5000, 0);
    return pack;
}

TEST_F(BadData, StagePacksThatCannotStartARaceLeadBackToTheTitle)
{
    const Bytes map = ReadFileBytes((kBuild / "mappack.dat").string());
    const Bytes events = ReadFileBytes((kBuild / "epack.dat").string());
    Bytes farOffset = map; // stage 1 said to lie two gigabytes in
    test_support::PutU32(farOffset, 0, 0x7FFFFFFFu);
    // Stage 1 as built, its sides made too wide for the board, or so large that their
    // product wraps to nothing in 32 bits.
    Bytes wide = map;
    test_support::PutU32(wide, 12 + test_support::GetU32(map, 0), 101);
    Bytes wrapping = map;
    test_support::PutU32(wrapping, 12 + test_support::GetU32(map, 0), 65536);
    test_support::PutU32(wrapping, 16 + test_support::GetU32(map, 0), 65536);
    Bytes longText = events; // stage 1's text claims four gigabytes
    test_support::PutU32(longText, 12 + test_support::GetU32(events, 0), 0xFFFFFFFFu);

    const std::string mapWhy = "mappack.dat: stage 1 cannot be read: ";
    const std::string scriptWhy = "epack.dat: the events of stage 1 cannot be read: ";
    struct Case {
        const char* file;
        Damage damage;
        bool boxShown;   // a message box said why
        std::string why; // and stderr, since the player only sees the title come back
    };
    const Case cases[] = {
        {"mappack.dat", {"missing", Damage::Remove, {}}, false, mapWhy + "No such file or directory"},
        {"mappack.dat", {"empty", Damage::Write, {}}, false, mapWhy + "shorter than its table"},
        {"mappack.dat", {"offsets only", Damage::Write, Prefix(map, 11)}, false, mapWhy + "shorter"},
        {"mappack.dat", {"a directory", Damage::Directory, {}}, false, mapWhy + "not a regular file"},
        {"mappack.dat", {"random bytes", Damage::Write, RandomBytes(4096, 2)}, false, mapWhy},
        {"mappack.dat", {"101 columns", Damage::Write, wide}, false, mapWhy + "the stage's width or height is outside 1..100"},
        {"mappack.dat", {"sides whose product wraps", Damage::Write, wrapping}, false, mapWhy + "the stage's width or height is outside 1..100"},
        {"mappack.dat", {"101 columns, no layers", Damage::Write, MapPackWithSides(101, 10)}, false,
         mapWhy + "the stage's width or height is outside 1..100"},
        {"mappack.dat", {"offset past the end", Damage::Write, farOffset}, false,
         mapWhy + "the stage's offset points past the end of the file"},
        {"epack.dat", {"missing", Damage::Remove, {}}, false, scriptWhy + "No such file or directory"},
        {"epack.dat", {"empty", Damage::Write, {}}, false, scriptWhy + "shorter than its table"},
        {"epack.dat", {"a directory", Damage::Directory, {}}, false, scriptWhy + "not a regular file"},
        {"epack.dat", {"random bytes", Damage::Write, RandomBytes(4096, 3)}, false, scriptWhy},
        {"epack.dat", {"text longer than its store", Damage::Write, longText}, true,
         scriptWhy + "the stage's text is longer than its 16,000-byte store"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + ": " + c.damage.name);
        TempDir dir;
        CopyDataFiles(dir);
        Apply(dir, c.file, c.damage);
        Start(dir);
        const std::string before = plat::LastMessageBoxText();
        Press(kKeyReturn, 60); // the title's new race
        ASSERT_TRUE(Alive(kTeamSelect));
        testing::internal::CaptureStderr();
        Press(kKeyReturn, 120); // the first team
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(c.why), std::string::npos) << said;
        EXPECT_TRUE(HeadlessIsRunning());
        EXPECT_TRUE(Alive(kTitle));
        EXPECT_FALSE(Alive(kBoardView));
        if (c.boxShown) EXPECT_NE(plat::LastMessageBoxText(), before);
        // The title still answers: a second try goes to team select again.
        Press(kKeyReturn, 60);
        EXPECT_TRUE(Alive(kTeamSelect));
        Stop();
    }
}

TEST_F(BadData, StagePacksCutInsideAStageSayItAndStillRunOrLeave)
{
    // Stage 1's layers or text end early: the rest reads as empty. Whatever the race
    // makes of that, the game must keep running frames and answer the keys, and stderr
    // tells that the stage was cut short.
    const Bytes map = ReadFileBytes((kBuild / "mappack.dat").string());
    const Bytes events = ReadFileBytes((kBuild / "epack.dat").string());
    const std::string mapCut = "mappack.dat: stage 1: the file ends inside the stage's map";
    const std::string textCut = "epack.dat: the events of stage 1: the file ends inside the stage's text";
    struct Case {
        const char* file;
        Bytes bytes;
        std::string warning; // empty: stage 1 is whole
    };
    const Case cases[] = {
        {"mappack.dat", Prefix(map, 30), mapCut},
        {"mappack.dat", Prefix(map, 600), mapCut},
        {"mappack.dat", Prefix(map, 4528), ""}, // stage 1 ends right there: 12 + 16 + 5 x 30 x 30
        {"epack.dat", Prefix(events, 500), textCut},
        {"epack.dat", Prefix(events, 1770), ""}, // 12 + 4 + stage 1's 1,754 bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " cut to " + std::to_string(c.bytes.size()));
        TempDir dir;
        CopyDataFiles(dir);
        WriteFileBytes(dir / c.file, c.bytes);
        Start(dir);
        Press(kKeyReturn, 60);
        testing::internal::CaptureStderr();
        Press(kKeyReturn, 120);
        const std::string said = testing::internal::GetCapturedStderr();
        if (c.warning.empty())
            EXPECT_EQ(said.find("stage 1"), std::string::npos) << said;
        else
            EXPECT_NE(said.find(c.warning), std::string::npos) << said;
        // Turns on whatever board there is; once the title is back the keys stop, as they
        // would lead it elsewhere.
        for (int i = 0; i < 40 && !Alive(kTitle); ++i) Press(i % 2 ? kKeyRight : kKeyReturn, 30);
        EXPECT_TRUE(HeadlessIsRunning());
        EXPECT_TRUE(Alive(kTitle) || Alive(kBoardView));
        Stop();
    }
}

// A 520-byte history whose every field holds VALUE.
Bytes HistoryOf(uint32_t value)
{
    Bytes image;
    for (int i = 0; i < 130; ++i) test_support::PutLE(image, value, 4);
    return image;
}

TEST_F(BadData, RaceHistoryDamagedIsShownWithoutHarmAndUnreadableIsKept)
{
    struct Case {
        Damage damage;
        bool keptAsIs; // the file must come through the run byte for byte
    };
    const Case cases[] = {
        {{"empty", Damage::Write, {}}, false},
        {{"cut short", Damage::Write, Prefix(HistoryOf(1), 100)}, false},
        {{"random bytes", Damage::Write, RandomBytes(520, 4)}, false},
        {{"longer than ten records", Damage::Write, RandomBytes(5000, 5)}, false},
        {{"every field huge", Damage::Write, HistoryOf(0x7FFFFFFFu)}, false},
        {{"every field negative", Damage::Write, HistoryOf(0x80000000u)}, false},
        {{"a directory", Damage::Directory, {}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.damage.name);
        TempDir dir;
        CopyDataFiles(dir);
        Apply(dir, "save.dat", c.damage);
        Start(dir);
        // The history screen from the title: second column, third row.
        Press(kKeyDown, 3);
        Press(kKeyDown, 3);
        Press(kKeyRight, 3);
        Press(kKeyReturn, 90);
        EXPECT_TRUE(Alive(kHistoryScreen));
        Press(kKeyReturn, 200);
        EXPECT_TRUE(HeadlessIsRunning());
        EXPECT_TRUE(Alive(kTitle));
        Stop();
        if (c.keptAsIs) {
            EXPECT_TRUE(fs::is_directory(dir / "save.dat"));
        } else {
            // Written back in the ten-record form; never lost.
            EXPECT_EQ(fs::file_size(dir / "save.dat"), 520u);
        }
    }
}

} // namespace
