// Event commands that act on the piece, its figures and the task pool.
#include <cmath>
#include <tuple>

#include "board/event_commands.h"
#include "board/race_result.h"
#include "board/scripted_move.h"
#include "test_board_support.h"

using board_test::StoreScript;

using EventAction = EventRun;

TEST_F(EventAction, WaitsPassTheirFramesAndZeroActsAsOne)
{
    for (auto [wait, frames] : {std::pair{0, 1}, {1, 1}, {30, 30}}) {
        StoreScript(1, "#5," + std::to_string(wait) + ",#99");
        Start(Party(kControllerComputer, 2));
        // start, the command, the wait, then 99
        EXPECT_EQ(RunToEnd(), 3 + frames) << "wait " << wait;
        KillAllTasks();
    }
}

TEST_F(EventAction, PopupRisesOneAtATimeAndALifetimeOfOneIsNeverDrawn)
{
    const SpriteRect rect = {606.0f, 739.0f, 806.0f, 999.0f};
    StoreScript(1, "#8,606,739,806,999,10,#8,0,0,10,10,10,#99");
    Start(Party(kControllerComputer, 2));
    Frames(2);
    ASSERT_TRUE(g_tasks[kPopupSlot].alive);
    const PopupSprite first = *TaskWork<PopupSprite>(&g_tasks[kPopupSlot]);
    EXPECT_EQ(first.lifetime, 9); // its first update came in the frame that made it
    Frames(1); // the second popup finds the slot taken
    EXPECT_FLOAT_EQ(TaskWork<PopupSprite>(&g_tasks[kPopupSlot])->left, 606.0f);
    EXPECT_FLOAT_EQ(TaskWork<PopupSprite>(&g_tasks[kPopupSlot])->y, first.y - 1.0f);
    EXPECT_EQ(DrawnFrom(rect).size(), 1u);
    Frames(9);
    EXPECT_FALSE(g_tasks[kPopupSlot].alive);

    StoreScript(2, "#8,606,739,806,999,1,#5,3,#99");
    Start(Party(kControllerComputer, 3, 0.0f, 1), 2);
    Frames(2);
    EXPECT_FALSE(g_tasks[kPopupSlot].alive);
    Frames(1);
    EXPECT_TRUE(DrawnFrom(rect).empty());
}

TEST_F(EventAction, SquareChangeAndDieFaces)
{
    StoreScript(1, "#10,12,#14,1,#14,3,#99");
    BoardPiece* piece = Party(kControllerComputer, 4);
    Start(piece);
    RunToEnd();
    EXPECT_EQ((std::tuple{g_squareLayer[1 * kWidth + 4], g_squareLayer[1 * kWidth + 3]}), std::make_tuple(12, 10));
    EXPECT_EQ(piece->dieFaces, 3); // 1 was ignored
}

TEST_F(EventAction, MembersSinkOneAfterAnother)
{
    StoreScript(1, "#11,#99");
    BoardPiece* piece = Party(kControllerComputer, 2);
    Start(piece);
    Frames(2 + 6 * 17 - 1);
    EXPECT_EQ(Event()->stateProc, EventSinkMembersState);
    Frames(1);
    EXPECT_EQ((std::tuple{Event()->stateProc, SoundCount(15)}), std::make_tuple(EventRunState, 6));
    for (const Figure& f : piece->figures) EXPECT_FLOAT_EQ(f.y, -8.0f);
}

// A standing count beyond the six figures a piece has sinks those six; one below zero
// sinks nobody.
TEST_F(EventAction, SinkingWalksOnlyTheFiguresAPieceHas)
{
    for (auto [live, sinks] : {std::pair{9, 6}, {-2, 0}}) {
        StoreScript(1, "#11,#99");
        BoardPiece* piece = Party(kControllerComputer, 2);
        piece->liveCount = live;
        const int before = SoundCount(15);
        Start(piece);
        RunToEnd();
        EXPECT_EQ(SoundCount(15) - before, sinks) << "standing count " << live;
        KillAllTasks();
    }
}

TEST_F(EventAction, MembersJumpBackAgainstTheHeadingThenStepForward)
{
    // Heading 90: the members face 270 and each lands a cell toward -z; then each steps
    // a full cell forward again, since they no longer follow the piece.
    StoreScript(1, "#12,#13,#99");
    BoardPiece* piece = Party(kControllerComputer, 2, 90.0f);
    const float z = piece->z;
    Start(piece);
    Frames(2 + 7);
    EXPECT_FLOAT_EQ(piece->figures[0].y, 0.25f + 15.0f);
    Frames(6 * 12 - 7);
    for (const Figure& f : piece->figures) {
        EXPECT_FLOAT_EQ(f.facing, 270.0f);
        EXPECT_FLOAT_EQ(f.z, z - 2.0f);
        EXPECT_FLOAT_EQ(f.y, 0.25f);
        EXPECT_EQ(f.motionProc, FigureIdleState);
    }
    EXPECT_EQ(SoundCount(16), 6);
    Frames(1 + 6 * 8);
    for (const Figure& f : piece->figures) {
        EXPECT_FLOAT_EQ(f.z, z);
        EXPECT_FLOAT_EQ(f.facing, 90.0f);
    }
}

TEST_F(EventAction, StepForwardAtHeading360MovesNobodyButTakesItsFrames)
{
    StoreScript(1, "#13,#99");
    BoardPiece* piece = Party(kControllerComputer, 2, 360.0f);
    const float x = piece->x;
    Start(piece);
    EXPECT_EQ(RunToEnd(), 2 + 6 * 8 + 1);
    EXPECT_FLOAT_EQ(piece->figures[5].x, x);
}

TEST_F(EventAction, FallenBranchAndReviveTakeOnlyExactlyFallenMembers)
{
    // Member 1 below zero counts as fallen, but only member 3 at exactly 0 comes back.
    StoreScript(1, "#16,A,B,A#7,1,#99B#17,#7,2,#99");
    BoardPiece* piece = Party(kControllerComputer, 2, 0.0f);
    piece->members[1].hitPoints = -5.0f;
    piece->members[3].hitPoints = 0.0f;
    piece->liveCount = 4;
    Start(piece);
    Frames(4);
    EXPECT_EQ(Event()->stateProc, EventWaitRisingFigure);
    EXPECT_TRUE(g_tasks[kRisingFigureSlot].alive);
    EXPECT_FLOAT_EQ(piece->members[3].hitPoints, 100.0f);
    EXPECT_FLOAT_EQ(piece->members[1].hitPoints, -5.0f);
    EXPECT_EQ(piece->liveCount, 5);
    // The event waits for the risen member (42 frames up, 50 waiting, 8 steps).
    EXPECT_GT(RunToEnd(), 90);
    EXPECT_EQ(SoundCount(2), 1);

    // Nobody fallen: nothing is revived and the script goes on in the next frame.
    StoreScript(2, "#17,#7,3,#99");
    BoardPiece* whole = Party(kControllerComputer, 3, 0.0f, 1);
    Start(whole, 2);
    EXPECT_EQ(RunToEnd(), 5);
    EXPECT_EQ(whole->liveCount, 6);
    EXPECT_EQ(SoundCount(3), 1);
}

TEST_F(EventAction, ReviveNeverRaisesAMemberTheGroupDoesNotHave)
{
    StoreScript(1, "#17,#99");
    BoardPiece* piece = Party(kControllerEnemy, 2);
    piece->memberCount = 3;
    piece->liveCount = 3;
    for (int i = 3; i < 6; ++i) piece->members[i] = CharacterRecord{};
    Start(piece);
    EXPECT_EQ(RunToEnd(), 4); // no rising member to wait for
    EXPECT_EQ(piece->liveCount, 3);
    EXPECT_FLOAT_EQ(piece->members[3].hitPoints, 0.0f);
}

TEST_F(EventAction, RollAgainLeaveTheRaceAndGoal)
{
    ResetRaceResult();
    StoreScript(1, "#18,#5,2,#99");
    BoardPiece* piece = Party(kControllerComputer, 2);
    piece->die = 4;
    Start(piece);
    Frames(2);
    EXPECT_EQ((std::tuple{piece->moveProc, piece->die}), std::make_tuple(PieceStartTurn, 1));
    EXPECT_TRUE(EventRunning()); // the event stays open until its 99

    KillAllTasks();
    StoreScript(2, "#43,#42,#99");
    BoardPiece* team = Party(kControllerComputer, 2, 0.0f, 2);
    Start(team, 2);
    Frames(2);
    EXPECT_EQ((std::tuple{g_raceResult.nextPlaceFromTop, g_raceResult.placeTeam[0], g_raceResult.placeLeader[0], g_raceResult.teamsLeft}),
              std::make_tuple(1, 2, 12, 2));
    EXPECT_TRUE(g_tasks[12].alive); // the goal alone leaves the piece where it is
    Frames(2);
    EXPECT_FALSE(g_tasks[12].alive);
}
