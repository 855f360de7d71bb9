// The turn controller on a bare task pool: pieces are plain tasks whose update only
// ends them when asked, so every frame of the camera and the hand-over can be counted.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "board/piece.h"
#include "board/turn.h"
#include "board/world.h"
#include "engine/input.h"
#include "engine/task.h"

namespace {

// A piece that stands still: the test decides when its move is over.
void StillPieceUpdate(Task* task)
{
    if (PieceOf(task)->alive == 0)
        task->alive = 0;
}

void NoDraw(Task*) {}

class TurnControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(InitTaskPool(), 1);
        savedTeam_ = g_playerTeam;
        g_playerTeam = 0;
        ReleaseKeys();
    }
    void TearDown() override
    {
        ReleaseKeys();
        g_playerTeam = savedTeam_;
        FreeTaskPool();
    }

    static BoardPiece* AddPiece(int slot, int32_t team, float x, float z, int32_t controller = kControllerComputer)
    {
        Task* task = CreateTask(slot);
        task->alive = task->updateEnabled = task->drawEnabled = 1;
        task->kind = kPieceKind;
        task->update = StillPieceUpdate;
        task->draw = NoDraw;
        BoardPiece* piece = PieceOf(task);
        piece->alive = 1;
        piece->teamId = team;
        piece->controller = controller;
        piece->x = x;
        piece->y = 0.25f;
        piece->z = z;
        piece->moveProc = PieceIdle;
        return piece;
    }

    static TurnController* Controller() { return TurnControllerWork(); }

    // Frames of the whole update pass (pieces before the controller, as in the game).
    static void Frames(int count)
    {
        for (int i = 0; i < count; ++i) {
            UpdateAllTasks();
            for (KeySlot& key : g_keys)
                key.previous = key.current;
        }
    }

    static void HoldKey(int slot) { g_keys[slot].current = 0x80; }
    static void ReleaseKeys()
    {
        for (KeySlot& key : g_keys)
            key.current = key.previous = 0;
    }

    int32_t savedTeam_ = 0;
};

TEST_F(TurnControllerTest, ListsTheTeamsFromThePlayersOnThenTheRoamingGroup)
{
    BoardPiece* team0 = AddPiece(10, 0, 1, 1);
    BoardPiece* roaming = AddPiece(11, 3, 3, 1, kControllerEnemy);
    BoardPiece* team2 = AddPiece(12, 2, 5, 1);
    AddPiece(13, 7, 7, 1, kControllerEnemy); // a group that stays put is never listed
    BoardPiece* team1 = AddPiece(14, 1, 9, 1);
    g_playerTeam = 1;
    ASSERT_EQ(CreateTurnController(9, 0.25f, 1, 270, 60, nullptr, FollowCurrentPiece), 1);
    const std::vector<BoardPiece*> expected = {team1, team2, team0, roaming};
    EXPECT_EQ(std::vector<BoardPiece*>(Controller()->turnList, Controller()->turnList + 4), expected);
    EXPECT_EQ(Controller()->currentPiece, team1);
}

TEST_F(TurnControllerTest, NumbersPiecesBackwardsFromTheCurrentOne)
{
    BoardPiece* p[4] = {AddPiece(10, 0, 1, 1), AddPiece(11, 1, 3, 1), AddPiece(12, 2, 5, 1),
                        AddPiece(13, 3, 7, 1, kControllerEnemy)};
    ASSERT_EQ(CreateTurnController(1, 0.25f, 1, 270, 60, p[0], FollowCurrentPiece), 1);
    TurnController* c = Controller();
    c->turnIndex = 1;
    NumberPiecesInTurnOrder(c);
    EXPECT_EQ(std::vector<int32_t>({p[0]->turnNumber, p[1]->turnNumber, p[2]->turnNumber, p[3]->turnNumber}),
              std::vector<int32_t>({3, 4, 1, 2}));

    // With an entry gone the count drops and the gap is skipped.
    RemovePieceFromTurnList(p[0]);
    c->turnIndex = 0;
    NumberPiecesInTurnOrder(c);
    EXPECT_EQ(std::vector<int32_t>({p[1]->turnNumber, p[2]->turnNumber, p[3]->turnNumber}),
              std::vector<int32_t>({1, 2, 3}));
}

TEST_F(TurnControllerTest, HandsOverAfterFiftyFramesWhenTheNextPieceStandsAtTheLookAt)
{
    BoardPiece* player = AddPiece(10, 0, 3, -5);
    BoardPiece* next = AddPiece(11, 1, 3, -5);
    player->moveProc = PlayerStepMove;
    ASSERT_EQ(CreateTurnController(3, 0.25f, -5, 270, 60, player, FollowCurrentPiece), 1);
    Frames(1);
    EXPECT_EQ(Controller()->cameraProc, FollowCurrentPiece) << "the moving piece is followed";
    // Eye 20 units toward -z of the look-at, 60 up.
    EXPECT_NEAR(Controller()->eye[0], 3.0f, 0.1f);
    EXPECT_FLOAT_EQ(Controller()->eye[1], 60.0f);
    EXPECT_NEAR(Controller()->eye[2], -25.0f, 0.01f);

    player->moveProc = PieceIdle; // frame 0 sees the move over
    Frames(1);
    EXPECT_EQ(Controller()->cameraProc, WaitBeforeNextPiece);
    Frames(49);
    EXPECT_EQ(Controller()->cameraProc, WaitBeforeNextPiece) << "frame 49 still waits";
    Frames(1); // frame 50
    EXPECT_EQ((std::tuple{Controller()->cameraProc, Controller()->currentPiece}), std::make_tuple(StartPanX, next));
    Frames(1); // frame 51: StartPanX runs StartPanZ at once
    EXPECT_EQ((std::tuple{Controller()->cameraProc, next->moveProc}), std::make_tuple(ArriveAtPiece, PieceIdle));
    Frames(1); // frame 52
    EXPECT_EQ(next->moveProc, PieceStartTurn);
    EXPECT_EQ(Controller()->cameraProc, FollowCurrentPiece);
    EXPECT_EQ(Controller()->turnIndex, 1);
}

TEST_F(TurnControllerTest, PansHalfAUnitAFrameXFirstThenZThenSnaps)
{
    AddPiece(10, 0, 0, 0);
    BoardPiece* next = AddPiece(11, 1, -3.0f, 3.0f);
    ASSERT_EQ(CreateTurnController(0, 0.25f, 0, 270, 60, nullptr, FollowCurrentPiece), 1);
    TurnController* c = Controller();
    c->lookAt[0] = 2.5f;  // rounds to 3: six units to go, twelve half steps
    c->lookAt[2] = -1.0f; // four units the other way, eight half steps
    c->currentPiece = next;
    c->turnIndex = 1;
    c->cameraProc = StartPanX;

    // Frame 0 starts the x pan, 1..12 step it, 13 switches, 14 starts z, 15..22 step it,
    // 23 switches and 24 arrives.
    std::vector<float> xs, zs;
    for (int frame = 0; frame < 25; ++frame) {
        Frames(1);
        xs.push_back(c->lookAt[0]);
        zs.push_back(c->lookAt[2]);
        if (frame == 23) EXPECT_EQ(next->moveProc, PieceIdle);
    }
    EXPECT_EQ(std::vector<float>(xs.begin(), xs.begin() + 14),
              std::vector<float>({2.5f, 2, 1.5f, 1, 0.5f, 0, -0.5f, -1, -1.5f, -2, -2.5f, -3, -3.5f, -3.5f}));
    EXPECT_EQ(xs[23], -3.5f);
    EXPECT_EQ(xs[24], -3.0f) << "the arrival snaps to the piece";
    EXPECT_EQ(std::vector<float>(zs.begin() + 14, zs.end()),
              std::vector<float>({-1, -0.5f, 0, 0.5f, 1, 1.5f, 2, 2.5f, 3, 3, 3}));
    EXPECT_EQ(next->moveProc, PieceStartTurn);
}

TEST_F(TurnControllerTest, AnOnlyPieceGetsTheNextTurnAfterTheWait)
{
    BoardPiece* player = AddPiece(10, 0, 5, 5, kControllerPlayer);
    ASSERT_EQ(CreateTurnController(5, 0.25f, 5, 270, 60, player, FollowCurrentPiece), 1);
    Frames(52);
    EXPECT_EQ(player->moveProc, PieceIdle);
    Frames(1); // the same piece again, after the wait and a pan of nothing
    EXPECT_EQ(player->moveProc, PieceStartTurn);
    EXPECT_EQ(Controller()->currentPiece, player);
    EXPECT_EQ(Controller()->turnIndex, 0);
}

TEST_F(TurnControllerTest, APieceRemovedDuringItsTurnIsSkipped)
{
    BoardPiece* player = AddPiece(10, 0, 1, 1);
    AddPiece(11, 1, 7, 1);
    BoardPiece* third = AddPiece(12, 2, 1, 1);
    ASSERT_EQ(CreateTurnController(1, 0.25f, 1, 270, 60, player, FollowCurrentPiece), 1);
    Controller()->turnIndex = 1;
    Controller()->currentPiece = Controller()->turnList[1];
    BoardPiece* beaten = Controller()->currentPiece;
    beaten->moveProc = PlayerStepMove;
    Frames(3);
    // Beaten mid-move: gone from the list and ended, its move never reaches PieceIdle.
    RemovePieceFromTurnList(beaten);
    beaten->alive = 0;
    EXPECT_EQ(Controller()->currentPiece, beaten) << "removing only nulls the entry";
    Frames(1);
    EXPECT_EQ(g_tasks[11].alive, 0);
    EXPECT_EQ(Controller()->cameraProc, WaitBeforeNextPiece);
    Frames(50);
    EXPECT_EQ((std::tuple{Controller()->currentPiece, Controller()->turnIndex}), std::make_tuple(third, 2));
}

TEST_F(TurnControllerTest, AnEmptyListLeavesTheCameraStillForGood)
{
    BoardPiece* player = AddPiece(10, 0, 1, 1);
    ASSERT_EQ(CreateTurnController(1, 0.25f, 1, 270, 60, player, FollowCurrentPiece), 1);
    DismissAllPieces();
    EXPECT_EQ(player->alive, 0);
    for (BoardPiece* entry : Controller()->turnList)
        EXPECT_EQ(entry, nullptr);
    Frames(51);
    EXPECT_EQ(Controller()->cameraProc, DoNothingCamera);
    EXPECT_EQ(Controller()->currentPiece, nullptr);
    Frames(200);
    EXPECT_EQ(Controller()->cameraProc, DoNothingCamera);
    EXPECT_FLOAT_EQ(Controller()->lookAt[0], 1.0f);
}

TEST_F(TurnControllerTest, WithoutAPlayerPieceTheCameraDoesNothing)
{
    AddPiece(10, 1, 1, 1);
    EXPECT_EQ(CreateTurnController(0, 0, 0, 270, 60, nullptr, FollowCurrentPiece), 0);
    EXPECT_EQ(Controller()->cameraProc, DoNothingCamera);
    Frames(60); // and nothing reads through the empty entry
    EXPECT_EQ(Controller()->cameraProc, DoNothingCamera);

    // At a stage start the game goes back to the title instead.
    KillAllTasks();
    AddPiece(10, 2, 1, 1);
    StartBoardTurns();
    EXPECT_EQ(g_tasks[kTurnControllerSlot].alive + g_tasks[2].alive, 0) << "no controller, no board view";
    EXPECT_EQ(g_tasks[160].alive, 1) << "the title";
}

TEST_F(TurnControllerTest, DTakesThePlayersTeamBackAndShiftOpensTheMenuInstead)
{
    BoardPiece* player = AddPiece(10, 0, 1, 1, kControllerComputer);
    ASSERT_EQ(CreateTurnController(1, 0.25f, 1, 270, 60, player, DoNothingCamera), 1);

    // D during a square event is refused.
    CreateTask(150)->alive = 1;
    HoldKey(kKeyD);
    Frames(1);
    ReleaseKeys();
    EXPECT_EQ(player->controller, kControllerComputer);
    g_tasks[150].alive = 0;

    // Held D counts once.
    HoldKey(kKeyD);
    Frames(1);
    EXPECT_EQ(player->controller, kControllerPlayer);
    player->controller = kControllerComputer;
    Frames(1);
    EXPECT_EQ(player->controller, kControllerComputer);
    ReleaseKeys();

    // With Shift in the same frame the command menu opens (slot 163) and D is ignored.
    HoldKey(kKeyD);
    HoldKey(kKeyShift);
    Frames(1);
    EXPECT_EQ((std::tuple{g_tasks[163].alive, player->controller}), std::make_tuple(1, kControllerComputer));
}


} // namespace
