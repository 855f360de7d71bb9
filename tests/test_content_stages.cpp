// The three stages in build/mappack.dat and build/epack.dat, read back with the game's
// own readers, and the stage builder refusing what the game would mishandle.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <tuple>
#include <vector>

#include "board/event.h"
#include "board/stage.h"
#include "board/world.h"
#include "race.h"
#include "test_stage_packs.h"
#include "test_support.h"

namespace {

const std::string kBuildDir = SUGOROKU_BUILD_DIR;
const std::string kSourceDir = SUGOROKU_SOURCE_DIR;

using test_support::BuildThreeStages;
using test_support::kTinyMap;
using test_support::kTinyTeams;
using test_support::ReadFileBytes;
using test_support::RunStagepack;
using test_support::TempDir;

// Each built stage read back with the game's readers, for what the build's own check of
// the packs does not ask: the designed size and track, every square kind, one goal, one
// roaming group and three or more waiting groups, sea from stage 2 on, mountains on 3.
TEST(BuiltStages, SizesTrackSquaresGoalAndGroupsAreAsDesigned)
{
    ASSERT_EQ(AllocStageBuffers(), 1);
    struct Release {
        ~Release() { FreeStageBuffers(), g_stageLayers.stageNumber = 1; }
    } release;
    const auto maps = ReadFileBytes(kBuildDir + "/mappack.dat"), events = ReadFileBytes(kBuildDir + "/epack.dat");
    const int expect[3][4] = {
        {30, 30, 30, 45}, {60, 60, 60, 80}, {100, 100, 100, 140}}; // width, height, track from, to
    for (int stage = 1; stage <= 3; ++stage) {
        SCOPED_TRACE("stage " + std::to_string(stage));
        g_stageLayers.stageNumber = stage;
        ASSERT_EQ(LoadStageFromMapPackMemory(maps.data(), maps.size()), 1);
        ASSERT_EQ(LoadEventScriptsMemory(events.data(), events.size()), 1);
        const int* e = expect[stage - 1];
        EXPECT_EQ(std::make_pair(g_stageLayers.boardWidth, g_stageLayers.boardHeight), std::make_pair(e[0], e[1]));
        EXPECT_TRUE(g_stageLayers.trackLength >= e[2] && g_stageLayers.trackLength <= e[3])
            << g_stageLayers.trackLength;
        std::set<int> kinds;
        int goals = 0, sea = 0, mountains = 0, roaming = 0, waiting = 0;
        for (int i = 0; i < g_stageLayers.boardWidth * g_stageLayers.boardHeight; ++i) {
            const int kind = g_stageLayers.squareLayer[i], n = g_stageLayers.eventLayer[i];
            if (kind >= 10 && kind <= 14)
                kinds.insert(kind);
            goals += g_stageLayers.routeLayer[i] == 32;
            sea += kind == 45;
            mountains += kind == 16;
            if (n < 1 || n > g_eventCount)
                continue;
            // A monster group's record: '$', kind 2, then its id (3 for the roaming group).
            const char* script = g_eventScripts + (n - 1) * kEventScriptSlotBytes;
            const size_t dollar = std::string(script, strnlen(script, kEventScriptSlotBytes)).find('$');
            int32_t cursor = int32_t(dollar) + 1;
            if (dollar != std::string::npos && ReadScriptNumber(&cursor, script) == 2)
                (ReadScriptNumber(&cursor, script) == 3 ? roaming : waiting) += 1;
        }
        EXPECT_EQ(kinds, (std::set<int>{10, 11, 12, 13, 14}));
        EXPECT_EQ(std::make_pair(goals, roaming), std::make_pair(1, 1));
        EXPECT_GE(waiting, 3);
        EXPECT_TRUE((stage < 2 || sea > 0) && (stage < 3 || mountains > 0))
            << sea << " sea and " << mountains << " mountain cells";
    }
}

// The build checks its packs itself; built again here, they come out byte for byte the
// same. The checker reads the packs, not the sources, so it also refuses faults only a
// damaged pack can hold.
TEST(StagePacks, TheBuildIsDeterministicListsEveryStageAndTheCheckRefusesDamage)
{
    TempDir dir;
    std::string out;
    ASSERT_EQ(RunStagepack(dir, kSourceDir + "/content/stages " + (dir / "m") + " " + (dir / "e"), out), 0) << out;
    const auto maps = ReadFileBytes(dir / "m");
    EXPECT_EQ(maps, ReadFileBytes(kBuildDir + "/mappack.dat"));
    EXPECT_EQ(ReadFileBytes(dir / "e"), ReadFileBytes(kBuildDir + "/epack.dat"));
    ASSERT_EQ(RunStagepack(dir, "--list " + (dir / "m") + " " + (dir / "e"), out), 0) << out;
    EXPECT_NE(out.find("stage 1: 30 x 30 cells"), std::string::npos) << out;
    EXPECT_NE(out.find("stage 3: 100 x 100 cells"), std::string::npos) << out;
    // Stage 1's entry starts at byte 12 with its width and height; its route layer follows
    // the 16 header bytes and the 900 square-layer bytes.
    auto twoStarts = maps, tooTall = maps, cutShort = maps;
    twoStarts[12 + 16 + 900] |= 16;
    tooTall[12 + 4] = 101;
    cutShort.pop_back();
    for (const auto& [damaged, expected] : {std::pair{twoStarts, "stage 1: 2 start squares"},
                                            {tooTall, "stage 1: board size 30 x 101"},
                                            {cutShort, "stage 3: the map entry is cut short"}}) {
        test_support::WriteFileBytes(dir / "bad", damaged);
        EXPECT_EQ(RunStagepack(dir, "--check " + (dir / "bad") + " " + (dir / "e"), out), 1) << expected;
        EXPECT_NE(out.find(expected), std::string::npos) << out;
    }
}

const std::string kTinyScript = std::string(kTinyTeams) + "/ ゴール\n#2,1,ゴールだ,\n#43,\n#42,\n#99,\n@\n";

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// Writes the tiny stage three times, with stage 2's map and script as given, and builds.
int BuildTiny(const TempDir& dir, const std::string& map2, const std::string& script2, std::string& output)
{
    return BuildThreeStages(dir, map2, script2, kTinyScript, output);
}

// A fork whose two ways differ in length: the track walk takes the first way (down), so
// with '%' as ground and corridor the way up is longer than the track; as a square and a
// route bit, both ways take three squares to the goal.
const char* const kForkMap = "size 9 5\n"
                             "start 1 2\n"
                             "goal 7 2\n"
                             "ground\n.........\n...=A=A=.\n.DDD...C.\n...=A=%=.\n.........\n"
                             "route\n.........\n....>.>..\n.>>c.....\n....>.%..\n.........\n"
                             "back\n.........\n.........\n.........\n.........\n.........\n"
                             "event\n.........\n.........\n.123...4.\n.........\n.........\n"
                             "enemy\n.........\n.........\n.........\n.........\n.........\n";

TEST(StagePacks, TheTinyStagesBuildAndEachFaultIsRefusedWithItsReason)
{
    for (const std::string& map : {std::string(kTinyMap), Replace(Replace(kForkMap, "%", "A"), "%", ">")}) {
        TempDir dir;
        std::string out;
        EXPECT_EQ(BuildTiny(dir, map, kTinyScript, out), 0) << out;
    }
    std::string manyCommands;
    for (int i = 0; i < 400; ++i)
        manyCommands += "#1,1,"; // 2000 bytes
    struct Case {
        const char* what;
        std::string map, script;
        const char* expected;
    };
    const std::string map = kTinyMap, script = kTinyScript;
    const Case cases[] = {
        {"board too wide", Replace(map, "size 7 3", "size 101 3"), script, "width and height must be 1..100"},
        {"route bit onto grass", Replace(map, ".>>>...", ".>>v..."), script,
         "route bit 4 at column 3, row 1 points onto blocked ground"},
        {"back bit off the board", Replace(map, "back\n.......", "back\n^......"), script,
         "back-move bit 8 at column 0, row 0 points off the board"},
        {"enemy bit onto grass", Replace(map, "enemy\n.......\n.......", "enemy\n.......\n.v....."), script,
         "enemy-move bit 4 at column 1, row 1 points onto blocked ground"},
        {"no start", Replace(map, "start 1 1\n", ""), script, "no start square"},
        {"goal never reached", Replace(map, "goal 5 1\n", ""), script, "does not reach a goal square"},
        {"team on grass", Replace(Replace(map, ".123.4.", "..23.4."), "event\n.......", "event\n.1....."), script,
         "mappack.dat: stage 2, row 0, column 1: the piece of event 1 starts on blocked ground"},
        {"eleven events", Replace(map, ".123.4.", ".123b4."), script,
         "event number 11 at column 4, row 1; a stage has at most 10 events"},
        {"fork's other way longer than the track", Replace(Replace(kForkMap, "%", "="), "%", "."), script,
         "stage 2: a way from the start at column 1, row 2 reaches the goal in 5 squares, more than the 4 the track "
         "walk measures"},
        {"script of 2000 bytes", map, Replace(script, "#43,", manyCommands + "#43,"),
         "bytes; a script holds at most 1999"},
        {"text over 16000 bytes", map, script + "/" + std::string(16000, 'x') + "\n", "a stage holds at most 16000"},
        {"missing @", map, Replace(script, "#99,\n@\n/", "#99,\n/"),
         "the map uses event 4 but only 3 events end with '@'"},
        {"text after the last @", map, script + "#99,\n", "the text after event 4 has no closing '@'"},
        {"team with another team's member", map, Replace(script, "$1,0,0,6,0,", "$1,0,0,6,6,"),
         "character 6 is not a member of team 0"},
        {"heading not a right angle", map, Replace(script, "$1,1,0,", "$1,1,45,"),
         "heading 45 is not 0, 90, 180 or 270"},
        {"enemy group with a team member", map, Replace(script, "#43,", "$2,4,0,1,3,魔物,\n#43,"),
         "character 3 is not a monster"},
        {"glyph the font lacks", map, Replace(script, "ゴールだ", "漢字だ"), "a character the font does not have"},
        {"second byte '@'", map, Replace(script, "ゴールだ", "ァ"), "second byte is '@'"},
        {"line over 48 bytes", map, Replace(script, "ゴールだ", "ゴールだゴールだゴールだゴールだゴールだゴールだゴ"),
         "50 bytes; at most 48 fit"},
        {"unknown command", map, Replace(script, "#43,", "#19,\n#43,"), "#19 is not a command"},
        {"sound out of range", map, Replace(script, "#43,", "#7,20,\n#43,"), "sound 20 is outside 0..19"},
        {"portrait out of range", map, Replace(script, "#43,", "#3,14,\n#43,"), "portrait 14 is outside 0..13"},
        {"battle count of 0", map, Replace(script, "#43,", "#6,0,\n#43,"), "battle choice count 0 is outside 1..6"},
        {"popup off the atlas", map, Replace(script, "#43,", "#8,0,0,2049,10,30,\n#43,"),
         "popup right 2049 is outside 0..2048"},
        {"label never defined", map, Replace(script, "#43,", "#15,いく,やめる,\nいく\n#43,"),
         "label \"やめる\" of #15"},
        {"label only before the command", map, Replace(script, "#43,", "やめる\n#15,いく,やめる,\nいく\n#43,"),
         "label \"やめる\" of #15"},
        {"path without #99", map,
         Replace(script, "#43,\n#42,\n#99,", "#15,いく,やめる,\nいく\n#43,\n#42,\n#99,\nやめる\n#1,0,"),
         "runs to its end without #99"},
        {"goal that keeps the team", map, Replace(script, "#42,\n", ""), "without #43 and then #42"},
        {"goal recorded twice", map, Replace(script, "#43,", "#43,\n#43,"), "a path runs #43 a second time"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string out;
        EXPECT_EQ(BuildTiny(dir, c.map, c.script, out), 1);
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
        EXPECT_TRUE(ReadFileBytes(dir / "m").empty()) << "written although refused";
    }
}

// Where a script lets a team leave the race without a place, the build goes on and says
// so: event 5 stands on the fork's first square.
TEST(StagePacks, TheBuildNotesWhereATeamCanLeaveTheRaceWithoutAPlace)
{
    TempDir dir;
    std::string out;
    const std::string map = Replace(Replace(kForkMap, "%", "A"), "%", ">");
    const std::string fork = Replace(map, "event\n.........\n.........", "event\n.........\n....5....");
    EXPECT_EQ(BuildTiny(dir, fork, std::string(kTinyScript) + "#1,1,\n#42,\n#99,\n@\n", out), 0) << out;
    EXPECT_NE(out.find("stagepack: note: stage 2: event 5, byte 5: #42 can run without #43 before it"),
              std::string::npos)
        << out;
}

// A one-row stage whose squares between the teams' starts and the goal all carry event
// 6, with a roaming group that walks two squares of its own, raced headless to its end.
const char* const kRaceMap =
    "size 15 5\n"
    "start 1 1\n"
    "goal 13 1\n"
    "ground\n...............\n.DDDAAAAAAAAAC.\n...............\n.....AA........\n...............\n"
    "route\n...............\n.>>>>>>>>>>>>..\n...............\n...............\n...............\n"
    "back\n...............\n...............\n...............\n...............\n...............\n"
    "event\n...............\n.1236666666665.\n...............\n.....4.........\n...............\n"
    "enemy\n...............\n...............\n...............\n.....><........\n...............\n";

TEST(RaceEnd, ARaceWithNoTeamLeftEndsWithThePlacesTakenSoFar)
{
    const std::string teams =
        "$1,0,0,6,0,1,2,3,4,5,東,\n#99,\n@\n$1,1,0,6,6,7,8,9,10,11,西,\n#99,\n@\n"
        "$1,2,0,6,12,13,14,15,16,17,南,\n#99,\n@\n$2,3,0,1,18,魔物,\n#99,\n@\n#43,\n#42,\n#99,\n@\n";
    struct Case {
        const char* what;
        const char* square;
        bool someTakePlaces;
    };
    const Case cases[] = {
        // Every team leaves on the first square it stops on: only the roaming group
        // would be left to take turns.
        {"every team leaves without a place", "#42,\n#99,\n@\n", false},
        // On each square a team leaves the race, by chance with a place or without.
        {"teams leave with a place or without", "#15,東,西,\n東\n#43,\n#42,\n#99,\n西\n#42,\n#99,\n@\n", true},
    };
    std::set<int> takenSeen;
    for (const Case& c : cases) {
        TempDir dir;
        std::string out;
        ASSERT_EQ(BuildTiny(dir, kRaceMap, teams + c.square, out), 0) << out;
        std::filesystem::rename(dir / "m", dir / "mappack.dat");
        std::filesystem::rename(dir / "e", dir / "epack.dat");
        std::filesystem::create_symlink(kBuildDir + "/data.dat", dir / "data.dat");
        for (uint32_t seed = 1; seed <= 4; ++seed) {
            SCOPED_TRACE(std::string(c.what) + ", seed " + std::to_string(seed));
            const RaceSettings settings{2, seed, 0, 0, 60000};
            RaceReport report;
            EXPECT_EQ(RunRace(dir.path().c_str(), settings, &report), 1) << report.error << report.watch.fault;
            EXPECT_EQ((std::tuple{report.finished, report.overran, report.backAtTitle}), std::make_tuple(1, 0, 0));
            // The places taken come first, each by another team; the rest stay empty.
            const std::vector<int> places(report.places, report.places + 3);
            const auto taken = std::find(places.begin(), places.end(), -1) - places.begin();
            EXPECT_TRUE(std::all_of(places.begin() + taken, places.end(), [](int p) { return p == -1; })) << places[0];
            EXPECT_EQ(std::set<int>(places.begin(), places.begin() + taken).size(), size_t(taken));
            if (!c.someTakePlaces)
                EXPECT_EQ(taken, 0);
            takenSeen.insert(int(taken));
        }
    }
    EXPECT_GT(takenSeen.size(), 1u) << "races that end with none, some or all places taken";
}

} // namespace
