// Save slots on real races: save -> load -> save keeps the bytes on every stage at many
// points of a race, a loaded race passes the race checks and runs to its end, and every
// damaged field is refused with the running game untouched. And every field of a piece
// block is written and read at its place in the file.
#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>

#include "board/task_table.h"
#include "frontend/title.h"
#include "invariants.h"
#include "persist/save_slot.h"
#include "test_board_support.h"

namespace {

using namespace test_support;

class SaveSlotRace : public BoardScreenRun {
protected:
    void SetUp() override
    {
        BoardScreenRun::SetUp();
        if (!IsSkipped() && !HasFatalFailure() && !HasPacks())
            GTEST_SKIP() << "the stage packs are not built";
    }

    // The key a player presses now: Return on the die and on messages, the first open
    // way at a choice.
    static uint32_t PlayerKeys()
    {
        const BoardPiece* piece = FindPlayerTeamPiece();
        if (piece != nullptr && piece->controller == kControllerPlayer) {
            if (piece->stateProc == PlayerRollDie)
                return 1u << kKeyReturn;
            int32_t column = 0, row = 0;
            if (piece->stateProc == PlayerChooseDirection && PositionToCell(piece->x, piece->z, &column, &row)) {
                const struct {
                    int key, bit, dc, dr;
                } ways[] = {{kKeyRight, 1, 1, 0}, {kKeyLeft, 2, -1, 0}, {kKeyDown, 4, 0, 1}, {kKeyUp, 8, 0, -1}};
                for (const auto& way : ways)
                    if ((RouteAt(column, row) & way.bit) && CellKindAt(column + way.dc, row + way.dr) < 15)
                        return 1u << way.key;
            }
            if (piece->stateProc == PlayerChooseDirection)
                return 0;
        }
        return g_tasks[150].alive || g_tasks[149].alive || g_tasks[151].alive ? 1u << kKeyReturn : 0;
    }

    // Plays on until the player's die spins again (true), checking the race every frame.
    bool PlayToNextRoll(RaceWatch* watch)
    {
        bool left = false;
        for (int i = 0; i < 20000; ++i) {
            const BoardPiece* piece = FindPlayerTeamPiece();
            const bool rolling = piece != nullptr && piece->stateProc == PlayerRollDie;
            if (rolling && left)
                return true;
            left = left || !rolling;
            HeadlessSetKeys(i % 2 == 0 ? PlayerKeys() : 0);
            Frames(1);
            WatchRaceFrame(watch);
            EXPECT_LT(watch->faultFrame, 0) << watch->fault;
            if (watch->faultFrame >= 0 || g_tasks[kRankingSlot].alive || g_tasks[kTitleSlot].alive)
                return false;
        }
        return false;
    }

    // The race goes on from the loaded state under the race checks (which take the
    // loaded roll as the player's turn at list index 0 under way), the player's team
    // played by the computer, until the ranking or the title comes.
    void PlayToTheEnd()
    {
        RaceWatch watch;
        ResetRaceWatch(&watch);
        watch.turns = 1;
        watch.lastTurnIndex = 0;
        SetPlayerTeamController(kControllerComputer);
        for (int frame = 0; frame < 200000; ++frame) {
            const bool talking = g_tasks[150].alive || g_tasks[149].alive || g_tasks[151].alive;
            HeadlessSetKeys(talking && frame % 2 == 0 ? 1u << kKeyReturn : 0);
            Frames(1);
            WatchRaceFrame(&watch);
            ASSERT_LT(watch.faultFrame, 0) << watch.fault;
            if (g_tasks[kRankingSlot].alive || g_tasks[kTitleSlot].alive)
                return;
        }
        FAIL() << "the loaded race did not end";
    }

    // The whole game state a refused load must leave alone, as one string of bytes.
    static Bytes Take()
    {
        Bytes s;
        const auto add = [&s](const void* at, size_t size) {
            s.insert(s.end(), static_cast<const uint8_t*>(at), static_cast<const uint8_t*>(at) + size);
        };
        add(g_tasks, sizeof(Task) * kTaskSlots);
        for (const int8_t* layer : {g_stageLayers.squareLayer, g_stageLayers.routeLayer, g_stageLayers.layerD,
                                    g_stageLayers.eventLayer, g_stageLayers.layerE})
            add(layer, 10000);
        add(g_eventScripts, 20000);
        const int32_t globals[] = {g_stageLayers.stageNumber, g_playerTeam,
                                   g_stageLayers.boardWidth,  g_stageLayers.boardHeight,
                                   g_stageLayers.trackLength, g_eventCount};
        add(globals, sizeof globals);
        add(&g_raceResult, sizeof g_raceResult);
        return s;
    }
};

class SaveSlotRoundTrip : public SaveSlotRace, public ::testing::WithParamInterface<int> {};

TEST_P(SaveSlotRoundTrip, SaveLoadSaveKeepsTheRaceAtEveryRollAndTheLoadedRaceRunsToItsEnd)
{
    const int stage = GetParam();
    StartRace(stage);
    RaceWatch watch;
    ResetRaceWatch(&watch);
    ASSERT_TRUE(RunUntilPlayerRolls());
    int rounds = 0;
    for (; rounds < 400; ++rounds) {
        SCOPED_TRACE(rounds);
        ASSERT_EQ(SaveGameSlot(0), 1);
        const Bytes first = ReadFileBytes(dir_ / "save0.dat");
        const int pieces = CountPieces();
        ASSERT_EQ(first.size(), 92u + 922u * pieces);
        EXPECT_EQ(std::pair(GetU32(first, 0), GetU32(first, 60)), std::pair(uint32_t(stage), uint32_t(pieces)))
            << "stage, N";
        const std::vector<float> lookAt(TurnControllerWork()->lookAt, TurnControllerWork()->lookAt + 3);

        ASSERT_EQ(LoadGameSlot(0), 1);
        // The pieces close up from slot 10, the player's team rolls, the others wait,
        // the turn list starts with the player's team and the camera is where it was.
        const TurnController* turns = TurnControllerWork();
        for (int slot = 10; slot < 20; ++slot)
            EXPECT_EQ(g_tasks[slot].alive, slot < 10 + pieces ? 1 : 0);
        const BoardPiece* player = FindPlayerTeamPiece();
        ASSERT_TRUE(player != nullptr && player->stateProc == PlayerRollDie && player->die == 1);
        EXPECT_TRUE(turns->turnList[0] == player && turns->currentPiece == player);
        EXPECT_EQ(std::vector<float>(turns->lookAt, turns->lookAt + 3), lookAt);
        EXPECT_EQ(g_tasks[2].alive, 1) << "the board view";
        // Every figure walks behind the one before it in its party, the first behind its piece.
        bool chained = true;
        for (int slot = 10; slot < 10 + pieces; ++slot) {
            const BoardPiece* p = PieceOf(&g_tasks[slot]);
            for (int f = 0; f < 6; ++f)
                chained = chained && p->figures[f].owner == p &&
                          p->figures[f].ahead == (f == 0 ? nullptr : &p->figures[f - 1]);
        }
        EXPECT_TRUE(chained);

        // A second save matches the first, except what a load sets anew in each piece
        // block (from 64, 922 bytes each): spinCountdown (+24) 0, subStep (+52) 0, die (+56) 1.
        ASSERT_EQ(SaveGameSlot(1), 1);
        Bytes second = ReadFileBytes(dir_ / "save1.dat");
        ASSERT_EQ(first.size(), second.size());
        for (size_t block = 64; block < first.size() - 28; block += 922)
            for (const auto [field, value] : {std::pair{24u, 0u}, {52u, 0u}, {56u, 1u}}) {
                EXPECT_EQ(GetU32(second, block + field), value) << block + field;
                PutU32(second, block + field, GetU32(first, block + field));
            }
        ASSERT_TRUE(first == second) << "byte "
                                     << std::mismatch(first.begin(), first.end(), second.begin()).first - first.begin();

        // The race goes on from the loaded state under the race checks, which take the
        // loaded roll as the player's turn at list index 0 under way.
        ResetRaceWatch(&watch);
        watch.turns = 1;
        watch.lastTurnIndex = 0;
        if (!PlayToNextRoll(&watch))
            break;
    }
    EXPECT_LT(watch.faultFrame, 0) << watch.fault;
    EXPECT_GT(rounds, 5);
    EXPECT_TRUE(g_tasks[kRankingSlot].alive || g_tasks[kTitleSlot].alive) << "the loaded race did not end";
}

INSTANTIATE_TEST_SUITE_P(EveryStage, SaveSlotRoundTrip, ::testing::Values(1, 2, 3));

uint32_t FloatBits(float f)
{
    return std::bit_cast<uint32_t>(f);
}

TEST_F(SaveSlotRace, EveryDamagedFileOrMissingPackIsRefusedAndTheRunningRaceStaysAsItWas)
{
    StartRace(2);
    ASSERT_TRUE(RunUntilPlayerRolls());
    ASSERT_EQ(SaveGameSlot(0), 1);
    const Bytes good = ReadFileBytes(dir_ / "save0.dat");
    const size_t pieces = (good.size() - 92) / 922;
    ASSERT_GE(pieces, 4u);
    const size_t b = 64;                     // the first piece block
    const size_t camera = 64 + 922 * pieces; // the seven camera floats
    size_t player = 0;
    for (size_t at = b; at < camera; at += 922)
        if (GetU32(good, at + 4) == 0)
            player = at;
    const float nan = std::nanf("");
    const auto with = [&good](std::initializer_list<std::pair<size_t, uint32_t>> changes) {
        Bytes bad = good;
        for (const auto& [at, value] : changes)
            PutU32(bad, at, value);
        return bad;
    };
    const auto resized = [&good](size_t size) {
        Bytes cut = good;
        cut.resize(size, 0);
        return cut;
    };
    // A blocked cell of stage 2 for a piece to stand on.
    int blocked = 0;
    while (blocked < g_stageLayers.boardWidth * g_stageLayers.boardHeight &&
           CellKindAt(blocked % g_stageLayers.boardWidth, blocked / g_stageLayers.boardWidth) < 15)
        ++blocked;
    ASSERT_LT(blocked, g_stageLayers.boardWidth * g_stageLayers.boardHeight);
    const float blockedX = 2.0f * (blocked % g_stageLayers.boardWidth) - g_stageLayers.boardWidth + 1;
    const float blockedZ = g_stageLayers.boardHeight - 2.0f * (blocked / g_stageLayers.boardWidth) - 1;

    const uint32_t minus1 = 0xFFFFFFFFu;
    // One word changed: what, where, to what.
    const struct {
        const char* what;
        size_t at;
        uint32_t value;
    } words[] = {
        {"stage 0", 0, 0},
        {"stage 4", 0, 4},
        {"team 3", 4, 3},
        {"team -1", 4, minus1},
        {"pieces off the board of another stage", 0, 1}, // stage 2's cells on the small stage 1 board
        {"next place from the top 3", 8, 3},
        {"player's team at the finish 3", 12, 3},
        {"place team 3", 16, 3},
        {"place leader 25", 28, 25},
        {"place controller 3", 40, 3},
        {"teams left 4", 52, 4},
        {"next place from the bottom -1", 56, minus1},
        {"N 11", 60, 11},
        {"N one more than the blocks", 60, uint32_t(pieces + 1)},
        {"controller 3", b + 4, 3},
        {"team id -1", b + 8, minus1},
        {"member count 0", b + 12, 0},
        {"member count 7", b + 12, 7},
        {"live count 0", b + 16, 0},
        {"live count 7", b + 16, 7},
        {"x not a number", b + 36, FloatBits(nan)},
        {"x off the board", b + 36, FloatBits(1000.0f)},
        {"z infinite", b + 44, FloatBits(INFINITY)},
        {"heading 450", b + 48, FloatBits(450.0f)},
        {"figure 2 model 25", b + 68 + 40 + 16, 25},
        {"figure 5 facing infinite", b + 68 + 100 + 12, FloatBits(-INFINITY)},
        {"member 0 id 25", b + 188, 25},
        {"member 3 model -1", b + 188 + 3 * 114 + 4, minus1},
        {"member 4 model 25", b + 188 + 4 * 114 + 4, 25},
        {"member 1 hit points not a number", b + 188 + 114 + 8, FloatBits(nan)},
        {"member 2 attack style 4", b + 188 + 2 * 114 + 72, 4},
        {"member 0 attack style -1", b + 188 + 72, minus1},
        {"member 5 face rect infinite", b + 188 + 5 * 114 + 40, FloatBits(INFINITY)},
        {"camera angle infinite", camera + 24, FloatBits(INFINITY)},
        {"no piece under the player's hand", player + 4, 1},
        {"the player's team under another id", player + 8, GetU32(good, 4) == 2 ? 0u : 2u},
    };
    std::vector<std::pair<std::string, Bytes>> files = {
        {"a piece on blocked ground", with({{b + 36, FloatBits(blockedX)}, {b + 44, FloatBits(blockedZ)}})},
        {"one byte short", resized(good.size() - 1)},
        {"one byte more", resized(good.size() + 1)},
        {"header only", resized(64)},
        {"empty", resized(0)},
    };
    for (const auto& word : words)
        files.emplace_back(word.what, with({{word.at, word.value}}));
    for (const auto& [what, bytes] : files) {
        SCOPED_TRACE(what);
        test_support::WriteFileBytes(dir_ / "save3.dat", bytes);
        const Bytes before = Take();
        EXPECT_EQ(LoadGameSlot(3), 0);
        EXPECT_TRUE(before == Take()) << "the refused file changed the running game";
    }
    EXPECT_EQ(LoadGameSlot(7), 0) << "only slots 0..4 exist";
    std::filesystem::rename(dir_ / "epack.dat", dir_ / "epack.away");
    const Bytes before = Take();
    EXPECT_EQ(LoadGameSlot(0), 0) << "the stage's events are missing";
    EXPECT_TRUE(before == Take());
    // A script pack cut after its three offsets: the stage's events cannot be read, and
    // the running race keeps its own, and its count of them.
    Bytes cut = ReadFileBytes(dir_ / "epack.away");
    cut.resize(12);
    WriteFileBytes(dir_ / "epack.dat", cut);
    EXPECT_EQ(LoadGameSlot(0), 0) << "the stage's events are cut off";
    EXPECT_TRUE(before == Take());
    std::filesystem::remove(dir_ / "epack.dat");
    std::filesystem::rename(dir_ / "epack.away", dir_ / "epack.dat");
    // After all those refusals the running race plays on to its ranking.
    PlayToTheEnd();
    EXPECT_TRUE(g_tasks[kRankingSlot].alive);
    // The untouched file still loads, and the race is that of the file.
    ASSERT_EQ(LoadGameSlot(0), 1);
    EXPECT_EQ(g_stageLayers.stageNumber, 2);
}

// Plays a loaded race to its end with the player's team under automatic play,
// checking the race every frame; true when the ranking or the title came.
// A float as the reasons print it (%g).
std::string Decimal(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(value));
    return text;
}

class SaveSlotInvariants : public SaveSlotRace {};

// A scripted spin can leave a heading past a full turn: the file holds the same
// direction within 0..360, as the reader takes it, and saving what was loaded gives the
// same bytes again.
TEST_F(SaveSlotInvariants, HeadingsPastAFullTurnAreSavedWithinOne)
{
    StartRace(1);
    ASSERT_TRUE(RunUntilPlayerRolls());
    BoardPiece* player = FindPlayerTeamPiece();
    ASSERT_NE(player, nullptr);
    player->heading = 1000.0f;
    player->figures[2].facing = -90.0f;
    TurnControllerWork()->angle = 990.0f;
    ASSERT_EQ(SaveGameSlot(0), 1);
    const Bytes first = ReadFileBytes(dir_ / "save0.dat");
    const size_t n = (first.size() - 92) / 922;
    size_t at = 64;
    while (at < 64 + 922 * n && GetU32(first, at + 4) != 0)
        at += 922;
    ASSERT_LT(at, 64 + 922 * n);
    EXPECT_EQ(GetU32(first, at + 48), FloatBits(280.0f));
    EXPECT_EQ(GetU32(first, at + 68 + 40 + 12), FloatBits(270.0f));
    EXPECT_EQ(GetU32(first, 64 + 922 * n + 24), FloatBits(270.0f));
    ASSERT_EQ(LoadGameSlot(0), 1);
    ASSERT_EQ(SaveGameSlot(1), 1);
    EXPECT_TRUE(ReadFileBytes(dir_ / "save1.dat") == first);
}

// A file the game could not have saved, built from one it did save at the first roll
// of stage 1, is refused with what is wrong and where, and the running race stays as it
// was; one whose only fault is where its figures stand is taken with the figures on
// their pieces. Those taken, and the limits of what a race reaches, play to the end.
TEST_F(SaveSlotInvariants, EachFileIsRefusedWithItsReasonOrRestoredAndPlayedToTheEnd)
{
    StartRace(1);
    ASSERT_TRUE(RunUntilPlayerRolls());
    ASSERT_EQ(SaveGameSlot(0), 1);
    const Bytes good = ReadFileBytes(dir_ / "save0.dat");
    const size_t n = (good.size() - 92) / 922;
    const auto block = [](size_t i) { return 64 + 922 * i; };
    const size_t camera = block(n);
    // The player's piece, a computer team's and an enemy group's: index and team.
    size_t player = n, computer = n, enemy = n;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t controller = GetU32(good, block(i) + 4);
        (controller == 0 ? player : controller == 1 ? computer : enemy) = i;
    }
    ASSERT_TRUE(player < n && computer < n && enemy < n);
    const uint32_t computerTeam = GetU32(good, block(computer) + 8);
    const std::string p = "piece " + std::to_string(player + 1), c = "piece " + std::to_string(computer + 1);
    // Stage 1 is 30 x 30: cell (column, row) has its centre at x 2 column - 29, z 29 - 2 row.
    ASSERT_EQ(std::pair(g_stageLayers.boardWidth, g_stageLayers.boardHeight), std::pair(30, 30));
    int corridor = -1, goal = -1;
    for (int cell = 0; cell < 900; ++cell) {
        if (corridor < 0 && g_stageLayers.squareLayer[cell] < 10)
            corridor = cell;
        if (goal < 0 && (g_stageLayers.routeLayer[cell] & 32))
            goal = cell;
    }
    ASSERT_TRUE(corridor >= 0 && goal >= 0);
    const auto x = [](int cell) { return FloatBits(2.0f * float(cell % 30) - 29.0f); };
    const auto z = [](int cell) { return FloatBits(29.0f - 2.0f * float(cell / 30)); };
    const auto at = [](int cell) {
        return "column " + std::to_string(cell % 30) + ", row " + std::to_string(cell / 30) + " of stage 1";
    };
    const float px = std::bit_cast<float>(GetU32(good, block(player) + 36));
    const float pz = std::bit_cast<float>(GetU32(good, block(player) + 44));
    const int playerCell = int((px + 29.0f) / 2.0f) + 30 * int((29.0f - pz) / 2.0f);

    using Changes = std::vector<std::pair<size_t, uint32_t>>;
    const auto with = [&good](const Changes& changes) {
        Bytes bad = good;
        for (const auto& [where, value] : changes)
            PutU32(bad, where, value);
        return bad;
    };
    const size_t P = block(player), C = block(computer), E = block(enemy);
    const uint32_t intMax = 0x7FFFFFFFu, intMin = 0x80000000u;
    // The computer team beaten: its block gone, third place its from the bottom.
    Bytes beaten = good;
    beaten.erase(beaten.begin() + long(C), beaten.begin() + long(C + 922));
    PutU32(beaten, 60, uint32_t(n - 1));
    for (const auto [where, value] :
         {std::pair<size_t, uint32_t>{56, 1}, {52, 2}, {24, computerTeam}, {36, GetU32(good, C + 188)}, {48, 1}})
        PutU32(beaten, where, value);
    // Followers scattered far from their piece, one at each corner of the board.
    Changes scattered;
    for (int f = 1; f < 6; ++f) {
        scattered.push_back({P + 68 + 20 * f, FloatBits(f % 2 ? -29.0f : 29.0f)});
        scattered.push_back({P + 68 + 20 * f + 8, FloatBits(f < 3 ? -29.0f : 29.0f)});
        scattered.push_back({P + 68 + 20 * f + 4, FloatBits(3.0f * float(f))});
    }
    // The edges of what a race reaches: a heading of a full turn, the smallest die and
    // the largest a script can give, no squares walked, the camera high at the board's
    // corner at a full turn.
    const Changes limits = {{P + 48, FloatBits(360.0f)},
                            {P + 64, 2},
                            {C + 64, 999999},
                            {P + 60, 0},
                            {C + 60, 0},
                            {camera, FloatBits(30.0f)},
                            {camera + 8, FloatBits(-30.0f)},
                            {camera + 16, FloatBits(1000.0f)},
                            {camera + 24, FloatBits(360.0f)}};

    const struct {
        const char* what;
        Bytes file;
        std::string reason;
    } cases[] = {
        {"followers far from their piece", with(scattered), ""},
        {"the limits of a race", with(limits), ""},
        {"a computer team beaten, third from the bottom", beaten, ""},
        // Loops and ways longer than the track take progress past it; back links that
        // lead away from the start take it below 0.
        {"progress past the track and behind the start", with({{P + 60, 100000}, {C + 60, uint32_t(-100000)}}), ""},
        {"the leader a little off its cell's centre", with({{P + 36, FloatBits(px + 0.25f)}}),
         "a piece stands off the centre of its cell: " + p + " at x " + Decimal(px + 0.25f)},
        {"on the border of two cells", with({{P + 44, FloatBits(pz + 1.0f)}}),
         "a piece stands off the centre of its cell: " + p},
        {"on a corridor cell", with({{P + 36, x(corridor)}, {P + 44, z(corridor)}}),
         "a piece stands on a corridor cell, where no piece comes to rest: " + p + " at " + at(corridor)},
        {"a team on the goal, where it has no way on", with({{C + 36, x(goal)}, {C + 44, z(goal)}}),
         "a team stands on a square with no way on: " + c + " (team " + std::to_string(computerTeam) + ") at " +
             at(goal)},
        {"lifted off the board", with({{E + 40, FloatBits(1.25f)}}),
         "a piece is not at the board's height: y 1.25 in piece " + std::to_string(enemy + 1) + " at byte " +
             std::to_string(E + 40)},
        {"places from the top and the bottom that cross", with({{8, 2}, {56, 0}, {52, 0}}),
         "the places from the top and from the bottom cross: next from the top 2 (byte 8) is past next from the bottom "
         "0 (byte 56)"},
        {"teams left that the places do not leave", with({{52, 2}}),
         "the count of teams left does not match the places taken: 2 at byte 52, 3 by the places"},
        {"one team in two places", with({{8, 1}, {56, 1}, {52, 1}, {16, 2}, {24, 2}}),
         "team 2 holds two places: places 1 and 3 (bytes 16 and 24)"},
        {"a team with a place still racing", with({{56, 1}, {52, 2}, {24, computerTeam}}),
         "team " + std::to_string(computerTeam) + " has place 3 (byte 24) and still races: " + c},
        {"progress INT_MAX", with({{C + 60, intMax}}),
         "a piece's progress is outside -1000000000..1000000000: 2147483647 in " + c},
        {"progress INT_MIN", with({{P + 60, intMin}}),
         "a piece's progress is outside -1000000000..1000000000: -2147483648 in " + p + " at byte " +
             std::to_string(P + 60)},
        {"die faces 0", with({{P + 64, 0}}), "a piece's die faces are outside 2..999999: 0 in " + p},
        {"die faces 1000000", with({{C + 64, 1000000}}), "a piece's die faces are outside 2..999999: 1000000 in " + c},
        {"money", with({{C + 28, 5}}),
         "a piece's level, money or experience is not 0, and no race changes them: 5 in " + c},
        {"camera 3e38", with({{camera, FloatBits(3e38f)}}),
         "the camera is not over the board: look-at x 3e+38 at byte " + std::to_string(camera) +
             ", outside -30..30 on stage 1"},
        {"camera -3e38", with({{camera + 16, FloatBits(-3e38f)}}),
         "the camera is not over the board: eye y -3e+38 at byte " + std::to_string(camera + 16)},
        {"camera angle past a full turn", with({{camera + 24, FloatBits(720.0f)}}),
         "the camera's angle is outside 0..360 degrees: 720 at byte " + std::to_string(camera + 24)},
        {"a figure facing past a full turn", with({{P + 68 + 60 + 12, FloatBits(450.0f)}}),
         "a figure's facing is outside 0..360 degrees: 450 in figure 3 of " + p},
        {"an enemy group under a team's id", with({{E + 8, 1}}),
         "a piece's team id is out of range (teams 0..2, enemy groups 3 and up): 1 in piece " +
             std::to_string(enemy + 1)},
        {"a team under the first enemy group's id", with({{C + 8, 3}}),
         "a piece's team id is out of range (teams 0..2, enemy groups 3 and up): 3 in " + c},
        {"two pieces of one team", with({{C + 8, GetU32(good, 4)}}),
         "two pieces are team " + std::to_string(GetU32(good, 4))},
        {"a computer team under the player's hand", with({{C + 4, 0}}), "is under the player's hand: " + c},
    };
    for (const auto& [what, file, reason] : cases) {
        SCOPED_TRACE(what);
        WriteFileBytes(dir_ / "save3.dat", file);
        const Bytes before = Take();
        testing::internal::CaptureStderr();
        const int loaded = LoadGameSlot(3);
        const std::string err = testing::internal::GetCapturedStderr();
        if (!reason.empty()) {
            EXPECT_EQ(loaded, 0);
            EXPECT_NE(err.find("save3.dat: the race was not loaded: "), std::string::npos) << err;
            EXPECT_NE(err.find(reason), std::string::npos) << err;
            EXPECT_TRUE(before == Take()) << "the refused file changed the running game";
            continue;
        }
        ASSERT_EQ(loaded, 1) << err;
        for (int slot = 10; slot < 20; ++slot)
            for (const Figure& f : PieceOf(&g_tasks[slot])->figures)
                if (g_tasks[slot].alive)
                    EXPECT_TRUE(f.x == PieceOf(&g_tasks[slot])->x && f.y == 0.25f && f.z == PieceOf(&g_tasks[slot])->z)
                        << slot;
        PlayToTheEnd();
        if (HasFatalFailure())
            return;
        ReturnToTitle();
        Frames(2);
        StartRace(1);
        ASSERT_TRUE(RunUntilPlayerRolls());
    }
    // A stage map changed since the save: the player's square is now blocked ground. The
    // player still stands on its start, so the changed stage is refused as a whole.
    Bytes pack = ReadFileBytes(dir_ / "mappack.dat");
    const Bytes original = pack;
    pack[12 + GetU32(pack, 0) + 16 + size_t(playerCell)] = 15;
    WriteFileBytes(dir_ / "mappack.dat", pack);
    WriteFileBytes(dir_ / "save3.dat", good);
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadGameSlot(3), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("save3.dat: the race was not loaded: "), std::string::npos) << err;
    EXPECT_NE(err.find("mappack.dat: stage 1, row " + std::to_string(playerCell / 30) + ", column " +
                       std::to_string(playerCell % 30) + ": the piece of event 1 starts on blocked ground"),
              std::string::npos)
        << err;
    WriteFileBytes(dir_ / "mappack.dat", original);
}

// Where the file format puts each stored number of a piece block, with the piece's field.
struct BlockField {
    size_t at;
    int32_t* word;
    float* real;
};
std::vector<BlockField> PieceBlockFields(BoardPiece& p)
{
    std::vector<BlockField> fields = {{0, &p.rePan},
                                      {4, &p.controller},
                                      {8, &p.teamId},
                                      {12, &p.memberCount},
                                      {16, &p.liveCount},
                                      {20, &p.level},
                                      {24, &p.spinCountdown},
                                      {28, &p.money},
                                      {32, &p.experience},
                                      {36, nullptr, &p.x},
                                      {40, nullptr, &p.y},
                                      {44, nullptr, &p.z},
                                      {48, nullptr, &p.heading},
                                      {52, &p.subStep},
                                      {56, &p.die},
                                      {60, &p.progress},
                                      {64, &p.dieFaces}};
    for (size_t f = 0; f < 6; ++f) {
        Figure& g = p.figures[f];
        const size_t at = 68 + 20 * f;
        fields.insert(fields.end(), {{at, nullptr, &g.x},
                                     {at + 4, nullptr, &g.y},
                                     {at + 8, nullptr, &g.z},
                                     {at + 12, nullptr, &g.facing},
                                     {at + 16, &g.modelId}});
    }
    for (size_t m = 0; m < 6; ++m) {
        CharacterRecord& r = p.members[m];
        const size_t at = 188 + 114 * m;
        fields.insert(fields.end(), {{at, &r.id},
                                     {at + 4, &r.modelId},
                                     {at + 8, nullptr, &r.hitPoints},
                                     {at + 12, nullptr, &r.maxHitPoints},
                                     {at + 16, nullptr, &r.spareValue1},
                                     {at + 20, nullptr, &r.spareValue2},
                                     {at + 72, &r.attackStyle},
                                     {at + 76, &r.moneyReward},
                                     {at + 80, &r.expReward}});
        for (const auto& [rectAt, rect] :
             {std::pair{at + 24, &r.portraitRect}, {at + 40, &r.faceRect}, {at + 56, &r.namePlateRect}})
            fields.insert(fields.end(), {{rectAt, nullptr, &rect->left},
                                         {rectAt + 4, nullptr, &rect->top},
                                         {rectAt + 8, nullptr, &rect->right},
                                         {rectAt + 12, nullptr, &rect->bottom}});
    }
    return fields;
}

// Every stored field of a piece block at its place in the file: each number holds its
// own offset in the block (a float a quarter more), so a field written to or read from
// another field's place shows, even where writer and reader agree with each other.
TEST(SaveSlotLayout, EachFieldOfAPieceBlockIsWrittenAndReadAtItsPlace)
{
    static BoardPiece p, q;
    p = BoardPiece{};
    q = BoardPiece{};
    const std::vector<BlockField> written = PieceBlockFields(p), read = PieceBlockFields(q);
    for (const BlockField& f : written) {
        if (f.word)
            *f.word = int32_t(f.at);
        else
            *f.real = float(f.at) + 0.25f;
    }
    for (size_t m = 0; m < 6; ++m)
        for (size_t i = 0; i < 31; ++i)
            p.members[m].name[i] = char('a' + (m + i) % 26);
    for (size_t i = 0; i < 50; ++i)
        p.name[i] = char('A' + i % 26); // no NUL: the reader ends it
    Bytes block(922, 0xEE);
    WritePiece(block.data(), p);
    ReadPiece(block.data(), &q);

    for (const BlockField& f : written)
        EXPECT_EQ(GetU32(block, f.at), f.word ? uint32_t(f.at) : FloatBits(float(f.at) + 0.25f)) << "byte " << f.at;
    EXPECT_EQ(std::string(block.begin() + 872, block.end()), std::string(p.name, 50));
    EXPECT_EQ(std::string(q.name, 50), std::string(p.name, 49) + '\0');
    for (size_t m = 0; m < 6; ++m) {
        const long at = long(188 + 114 * m + 84);
        EXPECT_EQ(std::string(block.begin() + at, block.begin() + at + 30), std::string(p.members[m].name, 30));
        EXPECT_EQ(std::string(q.members[m].name, 32), std::string(p.members[m].name, 30) + std::string(2, '\0'));
    }
    // Read back from the same places, but a load starts the spin (24) and the step (52)
    // at 0 and the die (56) at 1.
    for (const BlockField& f : read) {
        const double expected = f.at == 24 || f.at == 52 ? 0.0
                                : f.at == 56             ? 1.0
                                                         : double(f.at) + (f.word ? 0.0 : 0.25);
        EXPECT_EQ(f.word ? double(*f.word) : double(*f.real), expected) << "byte " << f.at;
    }
}

} // namespace
