// The turn controller on a bare board: pieces are plain tasks whose update only
// ends them when asked, so every frame of the camera and the hand-over can be counted.

#include "test_board_support.h"

namespace {

using board_test::BoardWorld;

// A piece that stands still: the test decides when its move is over.
void StillPieceUpdate(Task* task)
{
    if (PieceOf(task)->alive == 0)
        task->alive = 0;
}

class TurnControllerTest : public ::testing::Test {
protected:
    static BoardPiece* AddPiece(int slot, int32_t team, float x, float z, int32_t controller = kControllerComputer)
    {
        BoardPiece* piece = board_test::SpawnPiece(slot, controller, 0, 0, 0.0f, team);
        g_tasks[slot].update = StillPieceUpdate;
        piece->x = x;
        piece->z = z;
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

    BoardWorld world_{4, 4};
};

TEST_F(TurnControllerTest, ListsTheTeamsFromThePlayersOnThenTheRoamingGroupAndNumbersThemBackwards)
{
    BoardPiece* team0 = AddPiece(10, 0, 1, 1);
    BoardPiece* roaming = AddPiece(11, 3, 3, 1, kControllerEnemy);
    BoardPiece* team2 = AddPiece(12, 2, 5, 1);
    AddPiece(13, 7, 7, 1, kControllerEnemy); // a group that stays put is never listed
    BoardPiece* team1 = AddPiece(14, 1, 9, 1);
    g_playerTeam = 1;
    ASSERT_EQ(CreateTurnController(9, 0.25f, 1, 270, 60, nullptr, FollowCurrentPiece), 1);
    TurnController* c = Controller();
    EXPECT_EQ(std::vector<BoardPiece*>(c->turnList, c->turnList + 4), (std::vector{team1, team2, team0, roaming}));
    EXPECT_EQ(c->currentPiece, team1);

    c->turnIndex = 1;
    NumberPiecesInTurnOrder(c);
    EXPECT_EQ((std::vector{team1->turnNumber, team2->turnNumber, team0->turnNumber, roaming->turnNumber}),
              (std::vector{3, 4, 1, 2}));
    // With an entry gone the count drops and the gap is skipped.
    RemovePieceFromTurnList(team1);
    c->turnIndex = 0;
    NumberPiecesInTurnOrder(c);
    EXPECT_EQ((std::vector{team2->turnNumber, team0->turnNumber, roaming->turnNumber}), (std::vector{1, 2, 3}));
}

TEST_F(TurnControllerTest, HandsOverAfterFiftyFramesWhenTheNextPieceStandsAtTheLookAt)
{
    BoardPiece* player = AddPiece(10, 0, 3, -5);
    BoardPiece* next = AddPiece(11, 1, 3, -5);
    player->stateProc = PlayerStepMove;
    ASSERT_EQ(CreateTurnController(3, 0.25f, -5, 270, 60, player, FollowCurrentPiece), 1);
    TurnController* c = Controller();
    Frames(1);
    EXPECT_EQ(c->cameraProc, FollowCurrentPiece) << "the moving piece is followed";
    // Eye 20 units toward -z of the look-at, 60 up.
    EXPECT_NEAR(c->eye[0], 3.0f, 0.1f);
    EXPECT_FLOAT_EQ(c->eye[1], 60.0f);
    EXPECT_NEAR(c->eye[2], -25.0f, 0.01f);
    // The look-at goes with the piece, up and down too (a hop); the eye keeps its height.
    player->x = 5.0f;
    player->y = 3.25f;
    Frames(1);
    EXPECT_EQ((std::vector<float>{c->lookAt[0], c->lookAt[1], c->lookAt[2], c->eye[1]}),
              (std::vector<float>{5.0f, 3.25f, -5.0f, 60.0f}));
    player->x = 3.0f;
    player->y = 0.25f;

    player->stateProc = PieceIdle; // frame 0 sees the move over
    Frames(1);
    EXPECT_EQ(c->cameraProc, WaitBeforeNextPiece);
    Frames(49);
    EXPECT_EQ(c->cameraProc, WaitBeforeNextPiece) << "frame 49 still waits";
    Frames(1); // frame 50
    EXPECT_EQ((std::tuple{c->cameraProc, c->currentPiece}), std::make_tuple(StartPanX, next));
    Frames(1); // frame 51: StartPanX runs StartPanZ at once
    EXPECT_EQ((std::tuple{c->cameraProc, next->stateProc}), std::make_tuple(ArriveAtPiece, PieceIdle));
    Frames(1); // frame 52
    EXPECT_EQ((std::tuple{next->stateProc, c->cameraProc, c->turnIndex}),
              std::make_tuple(PieceStartTurn, FollowCurrentPiece, 1));
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
        if (frame == 23)
            EXPECT_EQ(next->stateProc, PieceIdle);
    }
    EXPECT_EQ(std::vector<float>(xs.begin(), xs.begin() + 14),
              std::vector<float>({2.5f, 2, 1.5f, 1, 0.5f, 0, -0.5f, -1, -1.5f, -2, -2.5f, -3, -3.5f, -3.5f}));
    EXPECT_EQ((std::pair{xs[23], xs[24]}), (std::pair{-3.5f, -3.0f})) << "the arrival snaps to the piece";
    EXPECT_EQ(std::vector<float>(zs.begin() + 14, zs.end()),
              std::vector<float>({-1, -0.5f, 0, 0.5f, 1, 1.5f, 2, 2.5f, 3, 3, 3}));
    EXPECT_EQ(next->stateProc, PieceStartTurn);
}

// A piece loaded with its re-pan flag: the camera clears it, waits 50 frames and pans
// again (to the same place) before the turn begins.
TEST_F(TurnControllerTest, ARePanWaitsAndPansAgainBeforeTheTurn)
{
    BoardPiece* player = AddPiece(10, 0, 1, 1);
    player->rePan = 1;
    ASSERT_EQ(CreateTurnController(1, 0.25f, 1, 270, 60, player, ArriveAtPiece), 1);
    Frames(1);
    EXPECT_EQ(player->rePan, 0);
    EXPECT_EQ(Controller()->cameraProc, WaitBeforeRepan);
    Frames(50); // wait, then StartPanX/StartPanZ, then the arrival
    EXPECT_EQ(Controller()->cameraProc, StartPanX);
    Frames(1);
    EXPECT_EQ(Controller()->cameraProc, ArriveAtPiece);
    EXPECT_EQ(player->stateProc, PieceIdle);
    Frames(1);
    EXPECT_EQ(player->stateProc, PieceStartTurn);
}

// An only piece gets the next turn after the wait and a pan of nothing; once every
// piece is gone the camera stays still for good.
TEST_F(TurnControllerTest, AnOnlyPieceTurnsAgainAndAnEmptyListLeavesTheCameraStill)
{
    BoardPiece* player = AddPiece(10, 0, 5, 5, kControllerPlayer);
    ASSERT_EQ(CreateTurnController(5, 0.25f, 5, 270, 60, player, FollowCurrentPiece), 1);
    TurnController* c = Controller();
    Frames(52);
    EXPECT_EQ(player->stateProc, PieceIdle);
    Frames(1);
    EXPECT_EQ((std::tuple{player->stateProc, c->currentPiece, c->turnIndex}),
              std::make_tuple(PieceStartTurn, player, 0));

    DismissAllPieces();
    EXPECT_EQ(player->alive, 0);
    for (BoardPiece* entry : c->turnList)
        EXPECT_EQ(entry, nullptr);
    Frames(51);
    EXPECT_EQ((std::tuple{c->cameraProc, c->currentPiece}), std::make_tuple(DoNothingCamera, nullptr));
    Frames(200);
    EXPECT_EQ(c->cameraProc, DoNothingCamera);
    EXPECT_FLOAT_EQ(c->lookAt[0], 5.0f);
}

TEST_F(TurnControllerTest, APieceRemovedDuringItsTurnIsSkipped)
{
    BoardPiece* player = AddPiece(10, 0, 1, 1);
    AddPiece(11, 1, 7, 1);
    BoardPiece* third = AddPiece(12, 2, 1, 1);
    ASSERT_EQ(CreateTurnController(1, 0.25f, 1, 270, 60, player, FollowCurrentPiece), 1);
    TurnController* c = Controller();
    c->turnIndex = 1;
    BoardPiece* beaten = c->currentPiece = c->turnList[1];
    beaten->stateProc = PlayerStepMove;
    Frames(3);
    // Beaten mid-move: gone from the list and ended, its move never reaches PieceIdle.
    RemovePieceFromTurnList(beaten);
    beaten->alive = 0;
    EXPECT_EQ(c->currentPiece, beaten) << "removing only nulls the entry";
    Frames(1);
    EXPECT_EQ((std::tuple{g_tasks[11].alive, c->cameraProc}), std::make_tuple(0, WaitBeforeNextPiece));
    Frames(50);
    EXPECT_EQ((std::tuple{c->currentPiece, c->turnIndex}), std::make_tuple(third, 2));
}

TEST_F(TurnControllerTest, WithoutAPlayerPieceTheCameraDoesNothingAndAStageGoesBackToTheTitle)
{
    AddPiece(10, 1, 1, 1);
    EXPECT_EQ(CreateTurnController(0, 0, 0, 270, 60, nullptr, FollowCurrentPiece), 0);
    EXPECT_EQ(Controller()->cameraProc, DoNothingCamera);
    Frames(60); // and nothing reads through the empty entry
    EXPECT_EQ(Controller()->cameraProc, DoNothingCamera);

    KillAllTasks();
    AddPiece(10, 2, 1, 1);
    StartBoardTurns();
    EXPECT_EQ(g_tasks[100].alive + g_tasks[2].alive, 0) << "no controller, no board view";
    EXPECT_EQ(g_tasks[160].alive, 1) << "the title";
}

TEST_F(TurnControllerTest, DTakesThePlayersTeamBackOnceAndNotDuringAnEventOrWithShift)
{
    BoardPiece* player = AddPiece(10, 0, 1, 1, kControllerComputer);
    ASSERT_EQ(CreateTurnController(1, 0.25f, 1, 270, 60, player, DoNothingCamera), 1);
    CreateTask(150)->alive = 1; // a square event
    BoardWorld::PressKeys({kKeyD});
    Frames(1);
    EXPECT_EQ(player->controller, kControllerComputer);
    g_tasks[150].alive = 0;

    BoardWorld::PressKeys({kKeyD});
    Frames(1);
    EXPECT_EQ(player->controller, kControllerPlayer);
    player->controller = kControllerComputer;
    Frames(1);
    EXPECT_EQ(player->controller, kControllerComputer) << "held D counts once";

    // On the ranking screen (slot 168) Shift opens no menu.
    CreateTask(168)->alive = 1;
    BoardWorld::PressKeys({kKeyShift});
    Frames(1);
    EXPECT_EQ(g_tasks[163].alive, 0);
    g_tasks[168].alive = 0;

    // With Shift in the same frame the command menu opens (slot 163) and D is ignored.
    BoardWorld::PressKeys({kKeyD, kKeyShift});
    Frames(1);
    EXPECT_EQ((std::tuple{g_tasks[163].alive, player->controller}), std::make_tuple(1, kControllerComputer));
}

} // namespace
