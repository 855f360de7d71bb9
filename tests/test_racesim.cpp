// The race simulator's frame checks on a small hand-made board: a sound race passes
// and is counted right, and each kind of broken race is caught in the frame it breaks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>

#include "app/app.h"
#include "board/event.h"
#include "board/task_table.h"
#include "board/turn.h"
#include "board/world.h"
#include "invariants.h"

namespace {

class RaceWatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(InitWorldBuffers(), 1);
        g_stageLayers.boardWidth = 5;
        g_stageLayers.boardHeight = 3;
        g_stageLayers.trackLength = 3;
        g_playerTeam = 0;
        // Blocked ground (kind 20) everywhere but the middle row: square, corridor, square,
        // square, goal square. Cell centres of that row: x -4, -2, 0, 2, 4 at z 0.
        const int8_t layer[15] = {20, 20, 20, 20, 20, 10, 5, 11, 12, 13, 20, 20, 20, 20, 20};
        std::memcpy(g_stageLayers.squareLayer, layer, sizeof layer);
        ASSERT_NE(CreateTask(kTurnControllerSlot), nullptr);
        g_tasks[kTurnControllerSlot].alive = 1;
        controller_ = TurnControllerWork();
        controller_->alive = 1;
        // Three teams on the start square, the player's holding its first turn, and a
        // roaming group on the goal.
        for (int i = 0; i < 4; ++i) {
            Task* slot = CreateTask(kPieceFirstSlot + i);
            slot->alive = 1;
            slot->kind = kPieceKind;
            BoardPiece* piece = pieces_[i] = controller_->turnList[i] = PieceOf(slot);
            piece->alive = 1;
            piece->teamId = i;
            piece->controller = i == 0 ? kControllerPlayer : i == 3 ? kControllerEnemy : kControllerComputer;
            piece->memberCount = piece->liveCount = 6;
            piece->x = i == 3 ? 4.0f : -4.0f;
            piece->y = 0.25f;
            piece->stateProc = i == 0 ? PieceStartTurn : PieceIdle;
        }
        controller_->currentPiece = pieces_[0];
        ResetRaceWatch(&watch_);
    }

    void TearDown() override { FreeWorldBuffers(); }

    // The controller gives list entry `index` its turn; the piece finishes its move in
    // the next frame. Returns whether both frames passed the checks.
    bool Turn(int index)
    {
        controller_->turnIndex = index;
        controller_->currentPiece = controller_->turnList[index];
        controller_->currentPiece->stateProc = PieceStartTurn;
        if (!WatchRaceFrame(&watch_))
            return false;
        controller_->currentPiece->stateProc = PieceIdle;
        return WatchRaceFrame(&watch_) == 1;
    }

    // Frames in which nothing changes.
    bool Idle(int frames)
    {
        int passed = 0;
        while (passed < frames && WatchRaceFrame(&watch_))
            ++passed;
        return passed == frames;
    }

    std::string Fault() const { return watch_.fault; }

    // The next look fails, and the first fault is the one expected, in its frame.
    void ExpectCaught(int frame, const char* text)
    {
        EXPECT_EQ(WatchRaceFrame(&watch_), 0);
        EXPECT_EQ(watch_.faultFrame, frame);
        EXPECT_NE(Fault().find(text), std::string::npos) << Fault();
    }

    BoardPiece* pieces_[4] = {};
    TurnController* controller_ = nullptr;
    RaceWatch watch_{};
};

TEST_F(RaceWatchTest, SoundRaceIsCountedAndPasses)
{
    // Frame 1: the player's team holds its first turn from the start.
    ASSERT_TRUE(WatchRaceFrame(&watch_)) << Fault();
    pieces_[0]->stateProc = AutoStepMove;
    pieces_[0]->x = -3.0f; // between the start square and the corridor
    ASSERT_TRUE(Idle(1)) << Fault();
    pieces_[0]->x = -2.0f;
    pieces_[0]->progress = 3; // the whole track; an enemy group's count means nothing
    // Past the track (a loop, a longer branch) and behind the start (back links that
    // lead away from it), within the bound that keeps differences in range.
    pieces_[1]->progress = 1000000000;
    pieces_[2]->progress = -1000000000;
    pieces_[3]->progress = 99;
    pieces_[0]->liveCount = 0;
    // An event, a battle, then a second event; the move ends after them.
    for (auto [event, battle, frames] : {std::tuple{1, 0, 2}, {0, 1, 1}, {1, 0, 1}, {0, 0, 1}}) {
        g_tasks[kEventSlot].alive = event;
        g_tasks[149].alive = battle;
        pieces_[0]->stateProc = event || battle ? AutoStepMove : PieceIdle;
        ASSERT_TRUE(Idle(frames)) << Fault();
    }
    // Round the list: teams 1 and 2, the roaming group, the player's team again.
    for (int index : {1, 2, 3, 0})
        ASSERT_TRUE(Turn(index)) << "index " << index << ": " << Fault();
    // An extra roll granted during a turn (the piece waited on its event) and the
    // switch to automatic play during the spin are no hand-overs.
    for (PieceProc move : {PieceWaitEvent, PieceStartTurn, PlayerRollDie, PieceStartTurn}) {
        pieces_[0]->stateProc = move;
        ASSERT_TRUE(Idle(1)) << Fault();
    }
    // A piece beaten out of the list is skipped.
    controller_->turnList[1] = nullptr;
    ASSERT_TRUE(Turn(2)) << Fault();
    EXPECT_EQ((std::tuple{watch_.turns, watch_.events, watch_.battles, watch_.frame, watch_.faultFrame}),
              std::make_tuple(6, 2, 1, 21, -1));
}

TEST_F(RaceWatchTest, BrokenPieceIsCaughtInItsFrame)
{
    using Plant = void (*)(BoardPiece*);
    // A moving piece may be between cells; a resting one is on a cell's centre.
    const std::tuple<const char*, Plant, const char*> plants[] = {
        {"past the right edge",
         [](BoardPiece* p) {
             p->x = 6.0f;
             p->stateProc = AutoStepMove;
         },
         "off the 5x3 board"},
        {"just past the left edge",
         [](BoardPiece* p) {
             p->x = -5.5f;
             p->stateProc = AutoStepMove;
         },
         "off the 5x3 board"},
        {"past the far edge",
         [](BoardPiece* p) {
             p->x = 0.0f;
             p->z = 3.5f;
             p->stateProc = AutoStepMove;
         },
         "off the 5x3 board"},
        {"not a number",
         [](BoardPiece* p) {
             p->x = std::nanf("");
             p->stateProc = AutoStepMove;
         },
         "off the 5x3 board"},
        {"on blocked ground",
         [](BoardPiece* p) {
             p->x = 0.0f;
             p->z = 2.0f;
             p->stateProc = AutoStepMove;
         },
         "blocked ground (kind 20) at column 2 row 0"},
        {"resting between cells", [](BoardPiece* p) { p->x = -3.0f; }, "rests off the centre of column 1 row 1"},
        {"past the goal", [](BoardPiece* p) { p->progress = 1000000001; },
         "progress 1000000001, outside -1000000000..1000000000"},
        {"behind the start", [](BoardPiece* p) { p->progress = -1000000001; }, "progress -1000000001"},
        {"seven members", [](BoardPiece* p) { p->memberCount = 7; }, "has 7 members"},
        {"no members", [](BoardPiece* p) { p->memberCount = p->liveCount = 0; }, "has 0 members"},
        {"more standing than members", [](BoardPiece* p) { p->memberCount = 5; }, "6 of 5 members standing"},
        {"fewer than none standing", [](BoardPiece* p) { p->liveCount = -1; }, "-1 of 6 members standing"},
    };
    for (const auto& [what, plant, expected] : plants) {
        SCOPED_TRACE(what);
        ResetRaceWatch(&watch_);
        *pieces_[1] = *pieces_[2];
        pieces_[1]->teamId = 1;
        ASSERT_TRUE(Idle(3)) << Fault();
        plant(pieces_[1]);
        ExpectCaught(4, expected);
        EXPECT_NE(Fault().find("slot 11"), std::string::npos) << Fault();
        *pieces_[1] = *pieces_[2]; // the first fault stays, whatever follows
        ExpectCaught(4, expected);
    }
}

TEST_F(RaceWatchTest, TurnsAwayFromTheListsOrderAreCaught)
{
    g_playerTeam = 1;
    ExpectCaught(1, "first turn went to team 0 at list index 0, not the player's team 1");
    g_playerTeam = 0;
    // The player's team has had its first turn and ended it; then, in frame 3, ...
    const auto afterFirstTurn = [&] {
        ResetRaceWatch(&watch_);
        controller_->turnIndex = 0;
        controller_->currentPiece = pieces_[0];
        for (BoardPiece* piece : pieces_)
            piece->stateProc = PieceIdle;
        pieces_[0]->stateProc = PieceStartTurn;
        const bool first = WatchRaceFrame(&watch_) == 1;
        pieces_[0]->stateProc = PieceIdle;
        return first && Idle(1);
    };
    // ... team 2 gets the turn while team 1 is still listed,
    ASSERT_TRUE(afterFirstTurn()) << Fault();
    Turn(2);
    ExpectCaught(3, "turn 2 went to list index 2 (team 2) after index 0; index 1 was next");
    // ... team 2 starts a turn while the controller still holds the player's team,
    ASSERT_TRUE(afterFirstTurn()) << Fault();
    pieces_[2]->stateProc = PieceStartTurn;
    ExpectCaught(3, "slot 12 (team 2) was given a turn out of the turn list's order");
    // ... or two teams are handed a turn in one frame.
    ASSERT_TRUE(afterFirstTurn()) << Fault();
    pieces_[0]->stateProc = pieces_[1]->stateProc = PieceStartTurn;
    controller_->turnIndex = 1;
    controller_->currentPiece = pieces_[1];
    ExpectCaught(3, "2 pieces were given a turn in one frame");
}

TEST_F(RaceWatchTest, StuckTurnAndEventAreCaughtAtTheirBounds)
{
    // A turn may go 12,000 frames without the next hand-over, not one more.
    ASSERT_TRUE(Idle(12001)) << Fault();
    ExpectCaught(12002, "no turn was handed over for 12000 frames (current team 0 in PieceStartTurn)");
    // An event may run 6,000 frames (its first frame counted as 0), not one more.
    ResetRaceWatch(&watch_);
    g_tasks[kEventSlot].alive = 1;
    ASSERT_TRUE(Idle(6001)) << Fault();
    ExpectCaught(6002, "an event has run for more than 6000 frames");
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
    task->update(task);              // the start state only
    ASSERT_TRUE(Idle(4)) << Fault(); // and frames that do not update the event (a frozen board)
    for (int i = 0; i < 12 && task->alive; ++i) {
        task->update(task);
        ASSERT_TRUE(Idle(1)) << Fault();
    }
    ASSERT_FALSE(task->alive);
    ASSERT_TRUE(Idle(2)) << Fault();
    for (int n = 0; n < kCountedCommands; ++n)
        EXPECT_EQ(watch_.commands[n], n == 1 || n == 5 || n == 7 || n == 15 || n == 99) << "command " << n;
    EXPECT_EQ(watch_.events, 1);
}

} // namespace
