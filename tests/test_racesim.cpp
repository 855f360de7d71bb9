// The race simulator's frame checks on a small hand-made board: a sound race passes
// and is counted right, and each kind of broken race is caught in the frame it breaks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "board/event.h"
#include "board/piece.h"
#include "board/turn.h"
#include "board/world.h"
#include "engine/task.h"
#include "invariants.h"

namespace {

// A 5 x 3 board, blocked everywhere but the middle row: square, corridor, square,
// square, goal square. Cell centres of that row: x -4, -2, 0, 2, 4 at z 0.
constexpr int kWidth = 5;
constexpr int kHeight = 3;
constexpr int kBlocked = 20;
constexpr int kRow[kWidth] = {10, 5, 11, 12, 13};

class RaceWatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(InitWorldBuffers(), 1);
        g_boardWidth = kWidth;
        g_boardHeight = kHeight;
        g_trackLength = 3;
        g_playerTeam = 0;
        for (int cell = 0; cell < kWidth * kHeight; ++cell) g_squareLayer[cell] = kBlocked;
        for (int column = 0; column < kWidth; ++column) g_squareLayer[kWidth + column] = static_cast<int8_t>(kRow[column]);

        // Three teams on the start square, the player's holding its first turn, and a
        // roaming group on the goal.
        for (int team = 0; team < 3; ++team)
            pieces_[team] = MakePiece(kPieceFirstSlot + team, team, team == 0 ? kControllerPlayer : kControllerComputer,
                                      -4.0f, team == 0 ? PieceStartTurn : PieceIdle);
        pieces_[3] = MakePiece(kPieceFirstSlot + 3, 3, kControllerEnemy, 4.0f, PieceIdle);

        Task* task = CreateTask(kTurnControllerSlot);
        ASSERT_NE(task, nullptr);
        task->alive = 1;
        task->kind = 0;
        controller_ = TurnControllerWork();
        controller_->alive = 1;
        for (int i = 0; i < kTurnListLength; ++i) controller_->turnList[i] = pieces_[i];
        controller_->currentPiece = pieces_[0];
        ResetRaceWatch(&watch_);
    }

    void TearDown() override { FreeWorldBuffers(); }

    static BoardPiece* MakePiece(int slot, int team, int controller, float x, PieceProc move)
    {
        Task* task = CreateTask(slot);
        task->alive = 1;
        task->kind = kPieceKind;
        BoardPiece* piece = PieceOf(task);
        piece->alive = 1;
        piece->teamId = team;
        piece->controller = controller;
        piece->memberCount = piece->liveCount = 6;
        piece->x = x;
        piece->y = 0.25f;
        piece->z = 0.0f;
        piece->moveProc = move;
        return piece;
    }

    // The controller gives list entry `index` its turn; the piece finishes its move in
    // the next frame. Returns whether both frames passed the checks.
    bool Turn(int index)
    {
        controller_->turnIndex = index;
        controller_->currentPiece = controller_->turnList[index];
        controller_->currentPiece->moveProc = PieceStartTurn;
        if (!WatchRaceFrame(&watch_)) return false;
        controller_->currentPiece->moveProc = PieceIdle;
        return WatchRaceFrame(&watch_) == 1;
    }

    // Frames in which nothing changes.
    bool Idle(int frames)
    {
        for (int i = 0; i < frames; ++i)
            if (!WatchRaceFrame(&watch_)) return false;
        return true;
    }

    void SetSlotAlive(int slot, bool alive) { g_tasks[slot].alive = alive ? 1 : 0; }

    std::string Fault() const { return watch_.fault; }

    BoardPiece* pieces_[4] = {};
    TurnController* controller_ = nullptr;
    RaceWatch watch_{};
};

TEST_F(RaceWatchTest, SoundRaceIsCountedAndPasses)
{
    // Frame 1: the player's team holds its first turn from the start.
    ASSERT_TRUE(WatchRaceFrame(&watch_)) << Fault();
    pieces_[0]->moveProc = AutoStepMove;
    pieces_[0]->x = -3.0f; // between the start square and the corridor
    ASSERT_TRUE(Idle(1)) << Fault();
    pieces_[0]->x = -2.0f;
    pieces_[0]->progress = 3; // the whole track; an enemy group's count means nothing
    pieces_[3]->progress = 99;
    pieces_[0]->liveCount = 0;
    // An event, a battle, then a second event.
    SetSlotAlive(kEventSlot, true);
    ASSERT_TRUE(Idle(2)) << Fault();
    SetSlotAlive(kEventSlot, false);
    SetSlotAlive(149, true);
    ASSERT_TRUE(Idle(1)) << Fault();
    SetSlotAlive(149, false);
    SetSlotAlive(kEventSlot, true);
    ASSERT_TRUE(Idle(1)) << Fault();
    SetSlotAlive(kEventSlot, false);
    pieces_[0]->moveProc = PieceIdle;
    ASSERT_TRUE(Idle(1)) << Fault();

    // Round the list: teams 1 and 2, the roaming group, the player's team again.
    for (int index : {1, 2, 3, 0}) ASSERT_TRUE(Turn(index)) << "index " << index << ": " << Fault();
    // An extra roll granted during a turn (the piece waited on its event) and the
    // switch to automatic play during the spin are no hand-overs.
    pieces_[0]->moveProc = PieceWaitEvent;
    ASSERT_TRUE(Idle(1));
    pieces_[0]->moveProc = PieceStartTurn;
    ASSERT_TRUE(Idle(1));
    pieces_[0]->moveProc = PlayerRollDie;
    ASSERT_TRUE(Idle(1));
    pieces_[0]->moveProc = PieceStartTurn;
    ASSERT_TRUE(Idle(1));
    // A piece beaten out of the list is skipped.
    controller_->turnList[1] = nullptr;
    ASSERT_TRUE(Turn(2)) << Fault();

    EXPECT_EQ(watch_.turns, 6);
    EXPECT_EQ(watch_.events, 2);
    EXPECT_EQ(watch_.battles, 1);
    EXPECT_EQ(watch_.frame, 21);
    EXPECT_EQ(watch_.faultFrame, -1);
}

struct PiecePlant {
    const char* what;
    float x, z;
    PieceProc move;
    int members, live, progress;
    const char* expected; // a piece of the message
};

TEST_F(RaceWatchTest, BrokenPieceIsCaughtInItsFrame)
{
    const float nan = std::nanf("");
    const PiecePlant plants[] = {
        {"past the right edge", 6.0f, 0.0f, AutoStepMove, 6, 6, 0, "off the 5x3 board"},
        {"just past the left edge", -5.5f, 0.0f, AutoStepMove, 6, 6, 0, "off the 5x3 board"},
        {"past the far edge", 0.0f, 3.5f, AutoStepMove, 6, 6, 0, "off the 5x3 board"},
        {"not a number", nan, 0.0f, AutoStepMove, 6, 6, 0, "off the 5x3 board"},
        {"on blocked ground", 0.0f, 2.0f, AutoStepMove, 6, 6, 0, "blocked ground (kind 20) at column 2 row 0"},
        {"resting between cells", -3.0f, 0.0f, PieceIdle, 6, 6, 0, "rests off the centre of column 1 row 1"},
        {"past the goal", -4.0f, 0.0f, PieceIdle, 6, 6, 4, "progress 4 on a track of 3"},
        {"behind the start", -4.0f, 0.0f, PieceIdle, 6, 6, -1, "progress -1"},
        {"seven members", -4.0f, 0.0f, PieceIdle, 7, 6, 0, "has 7 members"},
        {"no members", -4.0f, 0.0f, PieceIdle, 0, 0, 0, "has 0 members"},
        {"more standing than members", -4.0f, 0.0f, PieceIdle, 5, 6, 0, "6 of 5 members standing"},
        {"fewer than none standing", -4.0f, 0.0f, PieceIdle, 6, -1, 0, "-1 of 6 members standing"},
    };
    for (const PiecePlant& plant : plants) {
        SCOPED_TRACE(plant.what);
        ResetRaceWatch(&watch_);
        BoardPiece* piece = pieces_[1];
        *piece = *pieces_[2];
        piece->teamId = 1;
        ASSERT_TRUE(Idle(3)) << Fault();
        piece->x = plant.x;
        piece->z = plant.z;
        piece->moveProc = plant.move;
        piece->memberCount = plant.members;
        piece->liveCount = plant.live;
        piece->progress = plant.progress;
        EXPECT_FALSE(WatchRaceFrame(&watch_));
        EXPECT_EQ(watch_.faultFrame, 4);
        EXPECT_NE(Fault().find(plant.expected), std::string::npos) << Fault();
        EXPECT_NE(Fault().find("slot 11"), std::string::npos) << Fault();
        // The first fault stays, whatever follows.
        *piece = *pieces_[2];
        EXPECT_FALSE(WatchRaceFrame(&watch_));
        EXPECT_EQ(watch_.faultFrame, 4);
        EXPECT_NE(Fault().find(plant.expected), std::string::npos) << Fault();
    }
}

TEST_F(RaceWatchTest, TurnOutOfOrderIsCaught)
{
    ASSERT_TRUE(WatchRaceFrame(&watch_));
    pieces_[0]->moveProc = PieceIdle;
    ASSERT_TRUE(Idle(1));
    // Team 2 after the player's team while team 1 is still listed.
    EXPECT_FALSE(Turn(2));
    EXPECT_EQ(watch_.faultFrame, 3);
    EXPECT_NE(Fault().find("turn 2 went to list index 2 (team 2) after index 0; index 1 was next"), std::string::npos)
        << Fault();
}

TEST_F(RaceWatchTest, TurnGivenAsideFromTheControllerIsCaught)
{
    ASSERT_TRUE(WatchRaceFrame(&watch_));
    pieces_[0]->moveProc = PieceIdle;
    ASSERT_TRUE(Idle(1));
    // Team 2 starts a turn while the controller still holds the player's team.
    pieces_[2]->moveProc = PieceStartTurn;
    EXPECT_FALSE(WatchRaceFrame(&watch_));
    EXPECT_NE(Fault().find("slot 12 (team 2) was given a turn out of the turn list's order"), std::string::npos)
        << Fault();

    // Two teams handed a turn in one frame.
    ResetRaceWatch(&watch_);
    pieces_[2]->moveProc = PieceIdle;
    ASSERT_TRUE(WatchRaceFrame(&watch_)) << Fault();
    pieces_[0]->moveProc = PieceStartTurn;
    pieces_[1]->moveProc = PieceStartTurn;
    controller_->turnIndex = 1;
    controller_->currentPiece = pieces_[1];
    EXPECT_FALSE(WatchRaceFrame(&watch_));
    EXPECT_NE(Fault().find("2 pieces were given a turn in one frame"), std::string::npos) << Fault();
}

TEST_F(RaceWatchTest, FirstTurnMustBeThePlayersTeam)
{
    g_playerTeam = 1;
    EXPECT_FALSE(WatchRaceFrame(&watch_));
    EXPECT_EQ(watch_.faultFrame, 1);
    EXPECT_NE(Fault().find("first turn went to team 0 at list index 0, not the player's team 1"), std::string::npos)
        << Fault();
}

TEST_F(RaceWatchTest, StuckTurnAndEventAreCaughtAtTheirBounds)
{
    // A turn may go 12,000 frames without the next hand-over, not one more.
    ASSERT_TRUE(WatchRaceFrame(&watch_));
    ASSERT_TRUE(Idle(12000)) << Fault();
    EXPECT_FALSE(WatchRaceFrame(&watch_));
    EXPECT_EQ(watch_.faultFrame, 12002);
    EXPECT_NE(Fault().find("no turn was handed over for 12000 frames (current team 0 in PieceStartTurn)"),
              std::string::npos)
        << Fault();

    // An event may run 6,000 frames (its first frame counted as 0), not one more.
    ResetRaceWatch(&watch_);
    SetSlotAlive(kEventSlot, true);
    ASSERT_TRUE(Idle(6001)) << Fault();
    EXPECT_FALSE(WatchRaceFrame(&watch_));
    EXPECT_EQ(watch_.faultFrame, 6002);
    EXPECT_NE(Fault().find("an event has run for more than 6000 frames"), std::string::npos) << Fault();
}

// The simulator's summary of which commands ran: one count for each command the
// dispatcher runs, none for frames in which the event waits or is not updated.
TEST_F(RaceWatchTest, EventCommandsAreCountedOnceAsTheyRun)
{
    const char script[] = "#1,1,#5,2,#15,a,b,ab#7,3,#99,";
    std::memcpy(g_eventScripts, script, sizeof script);
    ASSERT_TRUE(WatchRaceFrame(&watch_)) << Fault();
    ASSERT_EQ(StartEvent(pieces_[0], 1), 1);
    Task* task = &g_tasks[kEventSlot];
    const auto frame = [&] {
        if (task->alive) task->update(task);
        return WatchRaceFrame(&watch_) == 1;
    };
    ASSERT_TRUE(frame()) << Fault(); // the start state only
    // Frames that do not update the event (a frozen board) run nothing.
    ASSERT_TRUE(Idle(3)) << Fault();
    for (int i = 0; i < 12 && task->alive; ++i) ASSERT_TRUE(frame()) << Fault();
    ASSERT_FALSE(task->alive);
    ASSERT_TRUE(Idle(2)) << Fault();

    int ran[kCountedCommands] = {};
    ran[1] = ran[5] = ran[15] = ran[7] = ran[99] = 1;
    for (int n = 0; n < kCountedCommands; ++n) EXPECT_EQ(watch_.commands[n], ran[n]) << "command " << n;
    EXPECT_EQ(watch_.events, 1);
}

} // namespace
