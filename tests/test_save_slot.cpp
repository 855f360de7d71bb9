// Save slots on real races: save -> load -> save keeps the bytes on every stage at many
// points of a race, a loaded race passes the race checks and runs to its end, and every
// damaged field is refused with the running game untouched.
#include <algorithm>
#include <cmath>
#include <bit>
#include <filesystem>

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
        if (!IsSkipped() && !HasFatalFailure() && !HasPacks()) GTEST_SKIP() << "the stage packs are not built";
    }

    // The key a player presses now: Return on the die and on messages, the first open
    // way at a choice.
    static uint32_t PlayerKeys()
    {
        const BoardPiece* piece = FindPlayerTeamPiece();
        if (piece != nullptr && piece->controller == kControllerPlayer) {
            if (piece->moveProc == PlayerRollDie) return 1u << kKeyReturn;
            int32_t column = 0, row = 0;
            if (piece->moveProc == PlayerChooseDirection && PositionToCell(piece->x, piece->z, &column, &row)) {
                const struct { int key, bit, dc, dr; } ways[] = {
                    {kKeyRight, 1, 1, 0}, {kKeyLeft, 2, -1, 0}, {kKeyDown, 4, 0, 1}, {kKeyUp, 8, 0, -1}};
                for (const auto& way : ways)
                    if ((RouteAt(column, row) & way.bit) && CellKindAt(column + way.dc, row + way.dr) < 15)
                        return 1u << way.key;
            }
            if (piece->moveProc == PlayerChooseDirection) return 0;
        }
        return g_tasks[150].alive || g_tasks[149].alive || g_tasks[151].alive ? 1u << kKeyReturn : 0;
    }

    // Plays on until the player's die spins again (true), checking the race every frame.
    bool PlayToNextRoll(RaceWatch* watch)
    {
        bool left = false;
        for (int i = 0; i < 20000; ++i) {
            const BoardPiece* piece = FindPlayerTeamPiece();
            const bool rolling = piece != nullptr && piece->moveProc == PlayerRollDie;
            if (rolling && left) return true;
            left = left || !rolling;
            HeadlessSetKeys(i % 2 == 0 ? PlayerKeys() : 0);
            Frames(1);
            WatchRaceFrame(watch);
            EXPECT_LT(watch->faultFrame, 0) << watch->fault;
            if (watch->faultFrame >= 0 || g_tasks[kRankingSlot].alive || g_tasks[kTitleSlot].alive) return false;
        }
        return false;
    }

    // The whole game state a refused load must leave alone, as one string of bytes.
    static Bytes Take()
    {
        Bytes s;
        const auto add = [&s](const void* at, size_t size) {
            s.insert(s.end(), static_cast<const uint8_t*>(at), static_cast<const uint8_t*>(at) + size);
        };
        add(g_tasks, sizeof(Task) * kTaskSlots);
        for (const int8_t* layer : {g_squareLayer, g_routeLayer, g_layerD, g_eventLayer, g_layerE}) add(layer, 10000);
        add(g_eventScripts, 20000);
        const int32_t globals[] = {g_stageNumber, g_playerTeam, g_boardWidth, g_boardHeight, g_trackLength};
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
        EXPECT_EQ(std::pair(GetU32(first, 0), GetU32(first, 60)), std::pair(uint32_t(stage), uint32_t(pieces))) << "stage, N";
        const std::vector<float> lookAt(TurnControllerWork()->lookAt, TurnControllerWork()->lookAt + 3);

        ASSERT_EQ(LoadGameSlot(0), 1);
        // The pieces close up from slot 10, the player's team rolls, the others wait,
        // the turn list starts with the player's team and the camera is where it was.
        const TurnController* turns = TurnControllerWork();
        for (int slot = 10; slot < 20; ++slot) EXPECT_EQ(g_tasks[slot].alive, slot < 10 + pieces ? 1 : 0);
        const BoardPiece* player = FindPlayerTeamPiece();
        ASSERT_TRUE(player != nullptr && player->moveProc == PlayerRollDie && player->die == 1);
        EXPECT_TRUE(turns->turnList[0] == player && turns->currentPiece == player);
        EXPECT_EQ(std::vector<float>(turns->lookAt, turns->lookAt + 3), lookAt);
        EXPECT_EQ(g_tasks[2].alive, 1) << "the board view";

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
        ASSERT_TRUE(first == second) << "byte " << std::mismatch(first.begin(), first.end(), second.begin()).first - first.begin();

        // The race goes on from the loaded state under the race checks, which take the
        // loaded roll as the player's turn at list index 0 under way.
        ResetRaceWatch(&watch);
        watch.turns = 1;
        watch.lastTurnIndex = 0;
        if (!PlayToNextRoll(&watch)) break;
    }
    EXPECT_LT(watch.faultFrame, 0) << watch.fault;
    EXPECT_GT(rounds, 5);
    EXPECT_TRUE(g_tasks[kRankingSlot].alive || g_tasks[kTitleSlot].alive) << "the loaded race did not end";
}

INSTANTIATE_TEST_SUITE_P(EveryStage, SaveSlotRoundTrip, ::testing::Values(1, 2, 3));

uint32_t FloatBits(float f) { return std::bit_cast<uint32_t>(f); }

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
        if (GetU32(good, at + 4) == 0) player = at;
    const float nan = std::nanf("");
    const auto with = [&good](std::initializer_list<std::pair<size_t, uint32_t>> changes) {
        Bytes bad = good;
        for (const auto& [at, value] : changes) PutU32(bad, at, value);
        return bad;
    };
    const auto resized = [&good](size_t size) { Bytes cut = good; cut.resize(size, 0); return cut; };
    // A blocked cell of stage 2 for a piece to stand on.
    int blocked = 0;
    while (blocked < g_boardWidth * g_boardHeight && CellKindAt(blocked % g_boardWidth, blocked / g_boardWidth) < 15) ++blocked;
    ASSERT_LT(blocked, g_boardWidth * g_boardHeight);
    const float blockedX = 2.0f * (blocked % g_boardWidth) - g_boardWidth + 1;
    const float blockedZ = g_boardHeight - 2.0f * (blocked / g_boardWidth) - 1;

    const uint32_t minus1 = 0xFFFFFFFFu;
    // One word changed: what, where, to what.
    const struct { const char* what; size_t at; uint32_t value; } words[] = {
        {"stage 0", 0, 0}, {"stage 4", 0, 4}, {"team 3", 4, 3}, {"team -1", 4, minus1},
        {"pieces off the board of another stage", 0, 1}, // stage 2's cells on the small stage 1 board
        {"next place from the top 3", 8, 3}, {"player's team at the finish 3", 12, 3}, {"place team 3", 16, 3},
        {"place leader 25", 28, 25}, {"place controller 3", 40, 3}, {"teams left 4", 52, 4},
        {"next place from the bottom -1", 56, minus1}, {"N 11", 60, 11}, {"N one more than the blocks", 60, uint32_t(pieces + 1)},
        {"controller 3", b + 4, 3}, {"team id -1", b + 8, minus1}, {"member count 0", b + 12, 0}, {"member count 7", b + 12, 7},
        {"live count 0", b + 16, 0}, {"live count 7", b + 16, 7}, {"x not a number", b + 36, FloatBits(nan)},
        {"x off the board", b + 36, FloatBits(1000.0f)}, {"z infinite", b + 44, FloatBits(INFINITY)},
        {"heading 450", b + 48, FloatBits(450.0f)}, {"figure 2 model 25", b + 68 + 40 + 16, 25},
        {"figure 5 facing infinite", b + 68 + 100 + 12, FloatBits(-INFINITY)}, {"member 0 id 25", b + 188, 25},
        {"member 3 model -1", b + 188 + 3 * 114 + 4, minus1}, {"member 1 hit points not a number", b + 188 + 114 + 8, FloatBits(nan)},
        {"member 2 attack style 4", b + 188 + 2 * 114 + 72, 4}, {"member 0 attack style -1", b + 188 + 72, minus1},
        {"member 5 face rect infinite", b + 188 + 5 * 114 + 40, FloatBits(INFINITY)},
        {"camera angle infinite", camera + 24, FloatBits(INFINITY)}, {"no piece under the player's hand", player + 4, 1},
        {"the player's team under another id", player + 8, GetU32(good, 4) == 2 ? 0u : 2u},
    };
    std::vector<std::pair<std::string, Bytes>> files = {
        {"a piece on blocked ground", with({{b + 36, FloatBits(blockedX)}, {b + 44, FloatBits(blockedZ)}})},
        {"one byte short", resized(good.size() - 1)}, {"one byte more", resized(good.size() + 1)},
        {"header only", resized(64)}, {"empty", resized(0)},
    };
    for (const auto& word : words) files.emplace_back(word.what, with({{word.at, word.value}}));
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
    // The untouched file still loads, and the race is that of the file.
    std::filesystem::rename(dir_ / "epack.away", dir_ / "epack.dat");
    ASSERT_EQ(LoadGameSlot(0), 1);
    EXPECT_EQ(g_stageNumber, 2);
}

} // namespace
