// Shipped stage 1 with one change to its built map, as an author by hand or another
// tool might make it: each such stage loads and its race runs headless to the ranking
// with every team played by the computer, and the change does what movement and the
// track walk say it does. A map that would catch a team for good is refused, naming
// the one square where it is caught.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "app/app.h"
#include "app/headless.h"
#include "board/event.h"
#include "board/piece.h"
#include "board/stage.h"
#include "board/task_table.h"
#include "board/world.h"
#include "engine/input.h"
#include "persist/save_slot.h"
#include "race.h"
#include "test_stage_packs.h"
#include "test_support.h"

namespace {

using test_support::Bytes;
using test_support::TempDir;

const std::string kBuildDir = SUGOROKU_BUILD_DIR;
constexpr int kWidth = 30; // stage 1 is 30 x 30
constexpr int kSquareLayer = 0, kRouteLayer = 1;
constexpr int kRoad = 2, kGrass = 15;

// Sets one byte of stage 1's layer in a built map pack.
void SetCell(Bytes& pack, int layer, int column, int row, uint8_t value)
{
    const size_t entry = 12 + test_support::GetU32(pack, 0);
    pack[entry + 16 + size_t(layer) * kWidth * kWidth + size_t(row) * kWidth + size_t(column)] = value;
}

uint8_t CellOf(const Bytes& pack, int layer, int column, int row)
{
    const size_t entry = 12 + test_support::GetU32(pack, 0);
    return pack[entry + 16 + size_t(layer) * kWidth * kWidth + size_t(row) * kWidth + size_t(column)];
}

// The built packs with stage 1's map changed, beside the built data file.
void WritePacks(const TempDir& dir, const Bytes& maps)
{
    test_support::WriteFileBytes(dir / "mappack.dat", maps);
    test_support::WriteFileBytes(dir / "epack.dat", test_support::ReadFileBytes(kBuildDir + "/epack.dat"));
    std::filesystem::create_symlink(kBuildDir + "/data.dat", dir / "data.dat");
}

bool Alive(int slot)
{
    return g_tasks != nullptr && g_tasks[slot].alive != 0;
}

// Stage 1 for team 0 with every team played by the computer, Return pressed every other
// frame while an event or a battle waits for it, until the ranking opens. The watch sees
// every piece after every frame. Returns whether the ranking opened.
bool RaceToRanking(const TempDir& dir, uint32_t seed, const std::function<void(const BoardPiece&)>& watch)
{
    constexpr int kMostFrames = 200000;
    if (!HeadlessStart(dir.path().c_str()))
        return false;
    SeedRandom(seed);
    g_stageLayers.stageNumber = 1;
    g_playerTeam = 0;
    StartStageFromPacks();
    bool ranked = false;
    if (Alive(kTurnControllerSlot)) {
        SetPlayerTeamController(kControllerComputer);
        for (int frame = 0; frame < kMostFrames && !ranked && !Alive(kTitleSlot); ++frame) {
            const bool waits = Alive(kEventSlot) || Alive(kBattleTaskSlot) || Alive(kBattleSceneSlot);
            HeadlessSetKeys(waits && frame % 2 == 0 ? 1u << kKeyReturn : 0u);
            HeadlessRunFrames(1);
            for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd && !Alive(kRankingSlot); ++slot) {
                if (Alive(slot) && g_tasks[slot].kind == kPieceKind)
                    watch(*PieceOf(&g_tasks[slot]));
            }
            ranked = Alive(kRankingSlot);
        }
    }
    HeadlessStop();
    return ranked;
}

bool On(const BoardPiece& piece, int column, int row)
{
    return CellAtPosition(piece.x, piece.z) == row * kWidth + column;
}

bool IsTeam(const BoardPiece& piece)
{
    return piece.controller != kControllerEnemy;
}

// What the races saw: set by the case's watch. A case passes when its races saw what it
// wants and nothing it must not.
struct Seen {
    bool wanted = false, unwanted = false;
    int32_t mostProgress = 0;
    // A team's progress in a save made while it rests past the track, and as read back.
    int32_t savedProgress = -1, loadedProgress = -1;
    int steps[3] = {}; // by team: how far it has come along what the case looks for
};

// The race saved as a slot file and taken apart as a load does, once every piece is at
// rest: the progress of `team`'s piece as saved and as read back. The computer plays
// every team here; the file puts `team` under the player's hand, as if it were saved at
// that team's roll.
void SaveAndTakeApart(const BoardPiece& team, Seen& seen)
{
    static SavedGame game;
    Bytes file(kSaveMaxBytes);
    file.resize(EncodeGameSlot(file.data()));
    test_support::PutU32(file, 4, uint32_t(team.teamId));
    for (size_t i = 0, at = kSaveHeaderBytes; i < test_support::GetU32(file, 60); ++i, at += kSavePieceBytes) {
        if (test_support::GetU32(file, at + 4) != kControllerEnemy)
            test_support::PutU32(file, at + 4,
                                 test_support::GetU32(file, at + 8) == uint32_t(team.teamId) ? kControllerPlayer
                                                                                             : kControllerComputer);
    }
    if (DecodeGameSlot(file.data(), file.size(), &game, nullptr) == 0 || CheckSavedRaceOnBoard(game, nullptr) == 0)
        return; // a piece between cells, or a team on the goal: no race is saved there
    for (int i = 0; i < game.pieceCount; ++i) {
        if (game.pieces[i].teamId == team.teamId && IsTeam(game.pieces[i])) {
            seen.savedProgress = team.progress;
            seen.loadedProgress = game.pieces[i].progress;
        }
    }
}

} // namespace

// Stage 1's teams start at columns 3, 5 and 7 of rows 4 and 2 and meet on the square
// at column 5, row 4; the track walk measures 37 squares from the start mark at column
// 5, row 2. The fork at column 13, row 10 leads down (the track walk's way) or up,
// eight squares each, to the square at column 23, row 10.
TEST(StageVariantsMap, EachChangedStageLoadsAndPlaysToTheRankingAsMovementSays)
{
    struct Case {
        const char* what;
        std::function<void(Bytes&)> change;
        int32_t trackLength;
        std::function<void(const BoardPiece&, Seen&)> watch;
        const char* expect; // what the watch must have seen, in words
    };
    const Case cases[] = {
        {"a one-cell stub beside the straight road at column 21, row 6",
         [](Bytes& m) { SetCell(m, kSquareLayer, 21, 7, kRoad); }, 37,
         [](const BoardPiece& p, Seen& s) {
             s.wanted = s.wanted || On(p, 21, 6);
             s.unwanted = s.unwanted || On(p, 21, 7);
         },
         "pieces pass the road, never the stub (straight on comes first)"},
        {"a one-cell stub below the bend at column 23, row 16, the turn tried first",
         [](Bytes& m) { SetCell(m, kSquareLayer, 23, 17, kRoad); }, 37,
         [](const BoardPiece& p, Seen& s) {
             // A team going right comes to the bend, turns down into the stub, is sent
             // back and goes on up: seen on those cells in that order, nowhere else between.
             if (!IsTeam(p) || p.teamId < 0 || p.teamId > 2)
                 return;
             int& step = s.steps[p.teamId];
             if (On(p, 23, 16) && p.heading == 0.0f)
                 step = 1;
             else if (step >= 1 && On(p, 23, 17))
                 step = 2;
             else if (step == 2 && On(p, 23, 15) && p.heading == 90.0f)
                 s.wanted = true;
             else if (!On(p, 23, 16))
                 step = 0;
         },
         "a team in the stub, then back up the road beyond the bend"},
        {"a second start mark on the square at column 17, row 6",
         [](Bytes& m) { SetCell(m, kRouteLayer, 17, 6, CellOf(m, kRouteLayer, 17, 6) | kRouteStart); }, 37,
         [](const BoardPiece& p, Seen& s) { s.wanted = s.wanted || (IsTeam(p) && On(p, 17, 6)); },
         "a team on the second mark (the first mark, row 2, still measures the track)"},
        // The track walk takes the first way, right, to team 2's start, whose one way
        // leads back: it bounces until its bound of four moves a cell, 3,600, one square
        // every two moves.
        {"the square at column 5, row 4 open all four ways", [](Bytes& m) { SetCell(m, kRouteLayer, 5, 4, 15); }, 1800,
         [](const BoardPiece& p, Seen& s) {
             // A team leaves the meeting square back toward a team's start.
             s.wanted =
                 s.wanted || (IsTeam(p) && ((On(p, 4, 4) && p.heading == 180.0f) ||
                                            (On(p, 6, 4) && p.heading == 0.0f) || (On(p, 5, 3) && p.heading == 90.0f)));
         },
         "a team going back from the meeting square toward a start"},
        {"a loop: the square at column 23, row 10 also leads up, back to column 23, row 8",
         [](Bytes& m) { SetCell(m, kRouteLayer, 23, 10, kLinkHeading0 | kLinkHeading90); }, 37,
         [](const BoardPiece& p, Seen& s) { s.wanted = s.wanted || (IsTeam(p) && On(p, 23, 9) && p.heading == 90.0f); },
         "a team going round the loop"},
        {"a branch longer than the track walk: the square at column 19, row 16 made road",
         [](Bytes& m) { SetCell(m, kSquareLayer, 19, 16, kRoad); }, 36,
         [](const BoardPiece& p, Seen& s) {
             s.wanted = s.wanted || (IsTeam(p) && On(p, 13, 8));
             s.mostProgress = std::max(s.mostProgress, IsTeam(p) ? p.progress : 0);
         },
         "a team on the longer branch"},
    };
    const Bytes shipped = test_support::ReadFileBytes(kBuildDir + "/mappack.dat");
    ASSERT_FALSE(shipped.empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        Bytes maps = shipped;
        c.change(maps);
        WritePacks(dir, maps);
        Seen seen;
        int32_t measured = -1;
        // Seeds whose races with the shipped stage end at the ranking.
        for (uint32_t seed : {1u, 2u, 3u}) {
            SCOPED_TRACE(seed);
            EXPECT_TRUE(RaceToRanking(dir, seed, [&](const BoardPiece& p) {
                measured = g_stageLayers.trackLength;
                c.watch(p, seen);
                if (IsTeam(p) && p.progress > measured && seen.savedProgress < 0)
                    SaveAndTakeApart(p, seen);
            }));
        }
        EXPECT_EQ(measured, c.trackLength);
        EXPECT_TRUE(seen.wanted && !seen.unwanted) << c.expect;
        if (c.trackLength == 36)
            EXPECT_GT(seen.mostProgress, 36) << "progress counts the squares walked, past the track walk's";
        // A race saved where a team rests past the track keeps that team's progress.
        EXPECT_EQ(seen.loadedProgress, seen.savedProgress);
        if (std::string(c.what).starts_with("a loop")) {
            EXPECT_GT(seen.savedProgress, 37) << "never saved with a team at rest past the track";
            // The race simulator's frame checks take races round the loop as sound.
            for (uint32_t seed : {1u, 2u, 3u}) {
                RaceReport report;
                EXPECT_EQ(RunRace(dir.path().c_str(), RaceSettings{1, seed, 0, 0, 200000}, &report), 1)
                    << report.error << report.watch.fault;
            }
        }
    }
}

// The dead end that stays refused: with the road above the bend at column 23, row 16
// made grass, the road from the square at column 22, row 16 turns back to it, its only
// way. The refusal names the map pack, the stage, the row and the column once; the
// squares before it, which lead only there, are not listed.
TEST(StageVariantsMap, ADeadEndThatCatchesATeamIsRefusedOnceWhereItIsCaught)
{
    ASSERT_EQ(InitWorldBuffers(), 1);
    Bytes maps = test_support::ReadFileBytes(kBuildDir + "/mappack.dat");
    SetCell(maps, kSquareLayer, 23, 15, kGrass);
    TempDir dir;
    WritePacks(dir, maps);
    g_stageLayers.stageNumber = 1;
    ASSERT_EQ(LoadStageFromMapPack((dir / "mappack.dat").c_str()), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadEventScripts((dir / "epack.dat").c_str()), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "mappack.dat: stage 1, row 16, column 22: a team that stops on this square can never reach the "
                    "goal: every way from it leads back to it\n");
    FreeWorldBuffers();
}

// The builder plays by the game's rules and, on top, keeps our stages to its own: the
// stub below the bend, which the game plays, it refuses as its own check, said as such
// on every line.
TEST(StageVariantsMap, TheBuilderRefusesTheStubAsItsOwnCheckAndSaysSo)
{
    Bytes maps = test_support::ReadFileBytes(kBuildDir + "/mappack.dat");
    SetCell(maps, kSquareLayer, 23, 17, kRoad);
    TempDir dir;
    WritePacks(dir, maps);
    std::string out;
    EXPECT_EQ(test_support::RunStagepack(dir, "--check " + (dir / "mappack.dat") + " " + (dir / "epack.dat"), out), 1);
    EXPECT_NE(out.find("stagepack: builder's own check: stage 1: the corridor from column 22, row 16 opens on 3 sides "
                       "at column 23, row 16"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("stagepack: stage"), std::string::npos) << "no rule of the game's is broken:\n" << out;
}
