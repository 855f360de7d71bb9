// Save slots on real races: save -> load -> save keeps the bytes on every stage at many
// points of a race, a loaded race passes the race checks and runs to its end, every
// damaged field is refused with the running game untouched, and a save cut off at any
// byte or killed mid-way leaves the slot's old file whole.
#include <csignal>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "board/race_result.h"
#include "board/stage.h"
#include "frontend/title.h"
#include "invariants.h"
#include "persist/save_slot.h"
#include "test_board_support.h"

namespace {

using test_support::Bytes;
using test_support::GetU32;
using test_support::Listing;
using test_support::PutU32;
using test_support::ReadFileBytes;
using test_support::WriteFileBytes;

class SaveSlotRace : public BoardScreenRun {
protected:
    void SetUp() override
    {
        BoardScreenRun::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!HasPacks()) GTEST_SKIP() << "the stage packs are not built";
    }

    std::string Path(const char* name) const { return dir_ / name; }

    // The key a player presses now: Return on the die and on messages, the first open
    // way at a choice.
    static uint32_t PlayerKeys()
    {
        const BoardPiece* piece = FindPlayerTeamPiece();
        if (piece != nullptr && piece->controller == kControllerPlayer) {
            if (piece->moveProc == PlayerRollDie) return 1u << kKeyReturn;
            if (piece->moveProc == PlayerChooseDirection) {
                int32_t column = 0;
                int32_t row = 0;
                if (!PositionToCell(piece->x, piece->z, &column, &row)) return 0;
                const int32_t route = RouteAt(column, row);
                const struct {
                    int key, bit, dc, dr;
                } ways[] = {{kKeyRight, 1, 1, 0}, {kKeyLeft, 2, -1, 0}, {kKeyDown, 4, 0, 1}, {kKeyUp, 8, 0, -1}};
                for (const auto& way : ways)
                    if ((route & way.bit) && CellKindAt(column + way.dc, row + way.dr) < 15) return 1u << way.key;
                return 0;
            }
        }
        if (g_tasks[150].alive || g_tasks[149].alive || g_tasks[151].alive) return 1u << kKeyReturn;
        return 0;
    }

    // Plays on until the player's die spins again (true), checking the race every frame.
    bool PlayToNextRoll(RaceWatch* watch, int limit = 20000)
    {
        bool left = false;
        for (int i = 0; i < limit; ++i) {
            const BoardPiece* piece = FindPlayerTeamPiece();
            const bool rolling = piece != nullptr && piece->moveProc == PlayerRollDie;
            if (rolling && left) return true;
            if (!rolling) left = true;
            const uint32_t keys = i % 2 == 0 ? PlayerKeys() : 0;
            HeadlessSetKeys(keys);
            Frames(1);
            WatchRaceFrame(watch);
            EXPECT_LT(watch->faultFrame, 0) << watch->fault;
            if (watch->faultFrame >= 0 || g_tasks[kRankingSlot].alive || g_tasks[kTitleSlot].alive) return false;
        }
        return false;
    }

    // The whole game state a refused load must leave alone.
    struct Snapshot {
        Bytes pool, layers;
        int32_t stage, team, width, height, track;
        RaceResult result;
    };
    static Snapshot Take()
    {
        Snapshot s;
        const auto* pool = reinterpret_cast<const uint8_t*>(g_tasks);
        s.pool.assign(pool, pool + sizeof(Task) * kTaskSlots);
        for (const int8_t* layer : {g_squareLayer, g_routeLayer, g_layerD, g_eventLayer, g_layerE})
            s.layers.insert(s.layers.end(), layer, layer + 10000);
        s.layers.insert(s.layers.end(), g_eventScripts, g_eventScripts + 20000);
        s.stage = g_stageNumber;
        s.team = g_playerTeam;
        s.width = g_boardWidth;
        s.height = g_boardHeight;
        s.track = g_trackLength;
        s.result = g_raceResult;
        return s;
    }
    static bool Same(const Snapshot& a, const Snapshot& b)
    {
        return a.pool == b.pool && a.layers == b.layers && a.stage == b.stage && a.team == b.team &&
               a.width == b.width && a.height == b.height && a.track == b.track &&
               std::memcmp(&a.result, &b.result, sizeof a.result) == 0;
    }
};

// A second save right after a load matches the first, except what a load sets anew:
// spinCountdown (block offset 24) 0, subStep (52) 0, die (56) 1.
void ExpectSameSaveAfterLoad(const Bytes& first, const Bytes& second)
{
    ASSERT_EQ(first.size(), second.size());
    const size_t pieces = (first.size() - 92) / 922;
    std::set<size_t> reset;
    for (size_t i = 0; i < pieces; ++i) {
        const size_t block = 64 + 922 * i;
        EXPECT_EQ(GetU32(second, block + 24), 0u);
        EXPECT_EQ(GetU32(second, block + 52), 0u);
        EXPECT_EQ(GetU32(second, block + 56), 1u);
        for (size_t field : {24u, 52u, 56u})
            for (size_t b = 0; b < 4; ++b) reset.insert(block + field + b);
    }
    for (size_t at = 0; at < first.size(); ++at)
        if (!reset.count(at)) ASSERT_EQ(first[at], second[at]) << "byte " << at;
}

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
        const Bytes first = ReadFileBytes(Path("save0.dat"));
        const int pieces = CountPieces();
        ASSERT_EQ(first.size(), 92u + 922u * pieces);
        EXPECT_EQ(GetU32(first, 0), uint32_t(stage));
        EXPECT_EQ(GetU32(first, 60), uint32_t(pieces));
        const float lookAt[3] = {TurnControllerWork()->lookAt[0], TurnControllerWork()->lookAt[1],
                                 TurnControllerWork()->lookAt[2]};

        ASSERT_EQ(LoadGameSlot(0), 1);
        // The pieces close up from slot 10, the player's team rolls, the others wait,
        // the turn list starts with the player's team and the camera is where it was.
        for (int slot = 10; slot < 20; ++slot) EXPECT_EQ(g_tasks[slot].alive, slot < 10 + pieces ? 1 : 0);
        const BoardPiece* player = FindPlayerTeamPiece();
        ASSERT_NE(player, nullptr);
        EXPECT_EQ(player->moveProc, PlayerRollDie);
        EXPECT_EQ(player->die, 1);
        EXPECT_EQ(TurnControllerWork()->turnList[0], player);
        EXPECT_EQ(TurnControllerWork()->currentPiece, player);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(TurnControllerWork()->lookAt[i], lookAt[i]);
        EXPECT_EQ(g_tasks[2].alive, 1) << "the board view";

        ASSERT_EQ(SaveGameSlot(1), 1);
        ExpectSameSaveAfterLoad(first, ReadFileBytes(Path("save1.dat")));
        if (HasFatalFailure()) return;

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

struct Damage {
    const char* what;
    size_t at;       // byte offset in the file
    uint32_t value;  // written there
};

uint32_t FloatBits(float f)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

TEST_F(SaveSlotRace, EveryDamagedFieldIsRefusedAndTheRunningRaceStaysAsItWas)
{
    StartRace(2);
    ASSERT_TRUE(RunUntilPlayerRolls());
    ASSERT_EQ(SaveGameSlot(0), 1);
    const Bytes good = ReadFileBytes(Path("save0.dat"));
    const size_t pieces = (good.size() - 92) / 922;
    ASSERT_GE(pieces, 4u);
    // Block 0 is the first piece; find the player's block for the last check.
    size_t playerBlock = 0;
    for (size_t i = 0; i < pieces; ++i)
        if (GetU32(good, 64 + 922 * i + 4) == 0) playerBlock = 64 + 922 * i;
    const size_t b = 64;                       // the first piece block
    const size_t camera = 64 + 922 * pieces;   // the seven camera floats
    const float nan = std::nanf("");

    // A blocked cell of stage 2 for a piece to stand on, and a point off the board.
    float blockedX = 0.0f, blockedZ = 0.0f;
    bool found = false;
    for (int row = 0; row < g_boardHeight && !found; ++row)
        for (int column = 0; column < g_boardWidth && !found; ++column)
            if (CellKindAt(column, row) >= 15) {
                blockedX = 2.0f * column - g_boardWidth + 1;
                blockedZ = g_boardHeight - 2.0f * row - 1;
                found = true;
            }
    ASSERT_TRUE(found);

    const Damage damages[] = {
        {"stage 0", 0, 0},
        {"stage 4", 0, 4},
        {"team 3", 4, 3},
        {"team -1", 4, 0xFFFFFFFFu},
        {"next place from the top 3", 8, 3},
        {"player's team at the finish 3", 12, 3},
        {"place team 3", 16, 3},
        {"place leader 25", 28, 25},
        {"place controller 3", 40, 3},
        {"teams left 4", 52, 4},
        {"next place from the bottom -1", 56, 0xFFFFFFFFu},
        {"N 11", 60, 11},
        {"N one more than the blocks", 60, uint32_t(pieces + 1)},
        {"controller 3", b + 4, 3},
        {"team id -1", b + 8, 0xFFFFFFFFu},
        {"member count 0", b + 12, 0},
        {"member count 7", b + 12, 7},
        {"live count 0", b + 16, 0},
        {"live count 7", b + 16, 7},
        {"x not a number", b + 36, FloatBits(nan)},
        {"x off the board", b + 36, FloatBits(1000.0f)},
        {"z infinite", b + 44, FloatBits(INFINITY)},
        {"heading 450", b + 48, FloatBits(450.0f)},
        {"heading not a number", b + 48, FloatBits(nan)},
        {"figure 2 model 25", b + 68 + 40 + 16, 25},
        {"figure 5 facing infinite", b + 68 + 100 + 12, FloatBits(-INFINITY)},
        {"member 0 id 25", b + 188, 25},
        {"member 3 model -1", b + 188 + 3 * 114 + 4, 0xFFFFFFFFu},
        {"member 1 hit points not a number", b + 188 + 114 + 8, FloatBits(nan)},
        {"member 5 face rect infinite", b + 188 + 5 * 114 + 40, FloatBits(INFINITY)},
        {"member 2 attack style 4", b + 188 + 2 * 114 + 72, 4},
        {"member 0 attack style -1", b + 188 + 72, 0xFFFFFFFFu},
        {"camera eye y not a number", camera + 16, FloatBits(nan)},
        {"camera angle infinite", camera + 24, FloatBits(INFINITY)},
        {"no piece under the player's hand", playerBlock + 4, 1},
        {"the player's team under another id", playerBlock + 8, GetU32(good, 4) == 2 ? 0u : 2u},
    };

    std::vector<std::pair<std::string, Bytes>> files;
    for (const Damage& d : damages) {
        Bytes bad = good;
        PutU32(bad, d.at, d.value);
        files.emplace_back(d.what, bad);
    }
    Bytes shortFile(good.begin(), good.end() - 1);
    files.emplace_back("one byte short", shortFile);
    Bytes longFile = good;
    longFile.push_back(0);
    files.emplace_back("one byte more", longFile);
    files.emplace_back("header only", Bytes(good.begin(), good.begin() + 64));
    files.emplace_back("empty", Bytes{});
    Bytes onBlocked = good;
    PutU32(onBlocked, b + 36, FloatBits(blockedX));
    PutU32(onBlocked, b + 44, FloatBits(blockedZ));
    files.emplace_back("a piece on blocked ground", onBlocked);
    Bytes otherStage = good;
    PutU32(otherStage, 0, 1); // stage 2's cells on the small stage 1 board
    files.emplace_back("pieces off the board of another stage", otherStage);

    for (const auto& [what, bytes] : files) {
        SCOPED_TRACE(what);
        WriteFileBytes(Path("save3.dat"), bytes);
        const Snapshot before = Take();
        EXPECT_EQ(LoadGameSlot(3), 0);
        EXPECT_TRUE(Same(before, Take())) << "the refused file changed the running game";
    }
    // The untouched file still loads, and the race is that of the file.
    ASSERT_EQ(LoadGameSlot(0), 1);
    EXPECT_EQ(g_stageNumber, 2);
}

TEST_F(SaveSlotRace, AMissingPackRefusesTheLoadAndKeepsTheRace)
{
    StartRace(1);
    ASSERT_TRUE(RunUntilPlayerRolls());
    ASSERT_EQ(SaveGameSlot(0), 1);
    std::filesystem::rename(dir_ / "epack.dat", dir_ / "epack.away");
    const Snapshot before = Take();
    EXPECT_EQ(LoadGameSlot(0), 0);
    EXPECT_TRUE(Same(before, Take()));
    EXPECT_EQ(LoadGameSlot(7), 0) << "only slots 0..4 exist";
}

// Runs fn in a child process; returns its exit status (-signal when killed).
template <class Fn>
int InChild(Fn fn)
{
    const pid_t pid = fork();
    if (pid == 0) {
        std::fflush(stderr);
        _exit(fn());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

TEST_F(SaveSlotRace, ASaveCutOffAtAnyByteOrKilledKeepsTheSlotsOldFile)
{
    StartRace(1);
    ASSERT_TRUE(RunUntilPlayerRolls());
    ASSERT_EQ(SaveGameSlot(2), 1);
    const Bytes old = ReadFileBytes(Path("save2.dat"));
    const std::set<std::string> files = Listing(dir_.path());
    // The next save differs: the team has moved on.
    FindPlayerTeamPiece()->progress += 1;

    // A full disk at every byte of the file: the size limit refuses the write there.
    for (size_t limit = 0; limit < old.size(); limit += limit < 1000 ? 4 : 97) {
        SCOPED_TRACE(limit);
        const int code = InChild([limit] {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit cap {static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
            setrlimit(RLIMIT_FSIZE, &cap);
            return SaveGameSlot(2) == 0 ? 0 : 1;
        });
        ASSERT_EQ(code, 0) << "a cut-off save was reported as saved";
        ASSERT_EQ(ReadFileBytes(Path("save2.dat")), old);
        ASSERT_EQ(Listing(dir_.path()), files) << "a temporary file was left behind";
    }
    // The reason goes to stderr.
    std::filesystem::create_directory(dir_ / "save0.dat");
    testing::internal::CaptureStderr();
    EXPECT_EQ(SaveGameSlot(0), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("save0.dat: the race was not saved: not a regular file"), std::string::npos) << err;
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "save0.dat"));

    // Killed at a random moment while saving over and over: the slot always holds one
    // whole file, the old one or the new one.
    ASSERT_EQ(SaveGameSlot(4), 1);
    const Bytes before = ReadFileBytes(Path("save4.dat"));
    FindPlayerTeamPiece()->progress += 1;
    const Bytes after = [&] {
        EXPECT_EQ(SaveGameSlot(3), 1);
        return ReadFileBytes(Path("save3.dat"));
    }();
    FindPlayerTeamPiece()->progress -= 1;
    for (int round = 0; round < 30; ++round) {
        const pid_t pid = fork();
        if (pid == 0) {
            for (int i = 0;; ++i) {
                FindPlayerTeamPiece()->progress += i % 2 == 0 ? 1 : -1;
                SaveGameSlot(4);
            }
        }
        usleep(200 + 300 * round);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        const Bytes now = ReadFileBytes(Path("save4.dat"));
        ASSERT_TRUE(now == before || now == after) << "round " << round << ": a torn slot of " << now.size();
    }
}

} // namespace
