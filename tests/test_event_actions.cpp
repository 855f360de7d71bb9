// Event commands that act on the piece, its figures and the task pool.
#include <cmath>
#include <tuple>

#include "board/event_commands.h"
#include "board/race_result.h"
#include "board/scripted_move.h"
#include "board/task_table.h"
#include "engine/draw3d.h"
#include "test_board_support.h"

using board_test::StoreScript;

using EventAction = EventRun;

TEST_F(EventAction, WaitsSpinsAndSinkingTakeTheirFrames)
{
    // Start, the command, the wait, then 99; a wait of 0 acts as 1.
    for (auto [wait, frames] : {std::pair{0, 4}, {1, 4}, {30, 33}}) {
        StoreScript(1, "#5," + std::to_string(wait) + ",#99");
        Start(Party(kControllerComputer, 2));
        EXPECT_EQ(RunToEnd(), frames) << "wait " << wait;
        KillAllTasks();
    }
    // A spin turns frames x degrees and leaves 360 as it is.
    for (auto [from, frames, to] : {std::tuple{0.0f, 4, 360.0f}, {90.0f, 4, 90.0f}, {0.0f, 0, 90.0f}}) {
        StoreScript(1, "#41," + std::to_string(frames) + ",90,#99");
        BoardPiece* piece = Party(kControllerComputer, 2, from);
        Start(piece);
        RunToEnd();
        EXPECT_FLOAT_EQ(piece->heading, to) << from << " " << frames;
        KillAllTasks();
    }
    // Members sink one after another, 17 frames each; a standing count beyond the six
    // figures sinks those six, one below zero sinks nobody.
    StoreScript(1, "#11,#99");
    BoardPiece* piece = Party(kControllerComputer, 2);
    Start(piece);
    Frames(2 + 6 * 17 - 1);
    EXPECT_EQ(Event()->stateProc, EventSinkMembersState);
    Frames(1);
    EXPECT_EQ((std::tuple{Event()->stateProc, SoundCount(15)}), std::make_tuple(EventRunState, 6));
    for (const Figure& f : piece->figures)
        EXPECT_FLOAT_EQ(f.y, -8.0f);
    for (auto [live, sinks] : {std::pair{9, 6}, {-2, 0}}) {
        KillAllTasks();
        BoardPiece* other = Party(kControllerComputer, 2);
        other->liveCount = live;
        const int before = SoundCount(15);
        Start(other);
        RunToEnd();
        EXPECT_EQ(SoundCount(15) - before, sinks) << "standing count " << live;
    }
}

TEST_F(EventAction, PopupRisesOneAtATimeAndALifetimeOfOneIsNeverDrawn)
{
    const SpriteRect rect = {606.0f, 739.0f, 806.0f, 999.0f};
    StoreScript(1, "#8,606,739,806,999,10,#8,0,0,10,10,10,#99");
    BoardPiece* piece = Party(kControllerComputer, 2);
    Start(piece);
    Frames(2);
    ASSERT_TRUE(g_tasks[kPopupSlot].alive);
    const PopupSprite first = *TaskWork<PopupSprite>(&g_tasks[kPopupSlot]);
    EXPECT_EQ(first.lifetime, 9); // its first update came in the frame that made it
    // It rises from where the piece stands on the screen, one pixel up already.
    const float at[3] = {piece->x, piece->y, piece->z};
    float screen[3] = {};
    ProjectToScreen(screen, at);
    EXPECT_EQ((std::pair{first.x, first.y}), (std::pair{screen[0], screen[1] - 1.0f}));
    Frames(1); // the second popup finds the slot taken
    EXPECT_FLOAT_EQ(TaskWork<PopupSprite>(&g_tasks[kPopupSlot])->rect.left, 606.0f);
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

TEST_F(EventAction, SquareChangeDieFacesAndHop)
{
    StoreScript(1, "#10,12,#14,1,#14,3,#40,#99");
    BoardPiece* piece = Party(kControllerComputer, 4);
    Start(piece);
    Frames(3);
    EXPECT_EQ(piece->dieFaces, 6); // a die of 1 face is no die: ignored
    Frames(2 + 20);
    EXPECT_EQ((std::tuple{g_stageLayers.squareLayer[1 * kWidth + 4], g_stageLayers.squareLayer[1 * kWidth + 3]}),
              std::make_tuple(12, 10));
    EXPECT_EQ(piece->dieFaces, 3);
    // The hop rises for 20 frames and comes back to its height in 28; the figures follow.
    EXPECT_NEAR(piece->y, 0.25f + 4 * (0.375f + 0.3f + 0.225f + 0.15f + 0.075f), 1e-4);
    EXPECT_FLOAT_EQ(piece->figures[5].y, piece->y);
    EXPECT_EQ(RunToEnd(), 28 + 1);
    EXPECT_NEAR(piece->y, 0.25f, 1e-4);
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
        EXPECT_FLOAT_EQ(f.z, z - 2.0f);
        EXPECT_EQ(std::tuple(f.facing, f.y, f.motionProc), std::tuple(270.0f, 0.25f, &FigureIdleState));
    }
    EXPECT_EQ(SoundCount(16), 6);
    Frames(1 + 6 * 8);
    for (const Figure& f : piece->figures) {
        EXPECT_FLOAT_EQ(f.z, z);
        EXPECT_FLOAT_EQ(f.facing, 90.0f);
    }

    // At heading 360 the step forward moves nobody but still takes its frames.
    KillAllTasks();
    StoreScript(1, "#13,#99");
    BoardPiece* still = Party(kControllerComputer, 2, 360.0f);
    Start(still);
    EXPECT_EQ(RunToEnd(), 2 + 6 * 8 + 1);
    EXPECT_FLOAT_EQ(still->figures[5].x, still->x);
}

TEST_F(EventAction, MembersJumpBackOneCellBehindAndStepForwardAgainFromEachHeading)
{
    // Heading: the facing the members take, and where each lands from the piece; then a
    // step forward brings each back onto the piece, facing the heading again.
    struct Row {
        float heading, facing, dx, dz;
    };
    for (const Row& row : {Row{0, 180, -2, 0}, Row{90, 270, 0, -2}, Row{180, 0, 2, 0}, Row{270, 90, 0, 2}}) {
        SCOPED_TRACE(row.heading);
        KillAllTasks();
        StoreScript(1, "#12,#13,#99");
        BoardPiece* piece = Party(kControllerComputer, 4, row.heading);
        const float x = piece->x;
        const float z = piece->z;
        Start(piece);
        Frames(2 + 6 * 12);
        for (const Figure& f : piece->figures)
            EXPECT_EQ((std::tuple{f.facing, f.x, f.z, f.y}), std::tuple(row.facing, x + row.dx, z + row.dz, 0.25f));
        EXPECT_EQ(RunToEnd(), 1 + 6 * 8 + 1);
        for (const Figure& f : piece->figures)
            EXPECT_EQ((std::tuple{f.facing, f.x, f.z}), std::tuple(row.heading, x, z));
    }
}

TEST_F(EventAction, FallenBranchAndReviveTakeOnlyExactlyFallenMembersTheGroupHas)
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
    EXPECT_EQ(std::tuple(piece->members[3].hitPoints, piece->members[1].hitPoints, piece->liveCount),
              std::tuple(100.0f, -5.0f, 5));
    // The event waits for the risen member (42 frames up, 50 waiting, 8 steps).
    EXPECT_GT(RunToEnd(), 90);
    EXPECT_EQ(SoundCount(2), 1);

    // Nobody fallen: nothing is revived and the script goes on in the next frame.
    StoreScript(2, "#17,#7,3,#99");
    BoardPiece* whole = Party(kControllerComputer, 3, 0.0f, 1);
    Start(whole, 2);
    EXPECT_EQ(RunToEnd(), 5);
    EXPECT_EQ(std::pair(whole->liveCount, SoundCount(3)), std::pair(6, 1));

    // A group of three: the empty rows behind it are never raised.
    KillAllTasks();
    StoreScript(1, "#17,#99");
    BoardPiece* group = Party(kControllerEnemy, 2);
    group->memberCount = group->liveCount = 3;
    for (int i = 3; i < 6; ++i)
        group->members[i] = CharacterRecord{};
    Start(group);
    EXPECT_EQ(RunToEnd(), 4); // no rising member to wait for
    EXPECT_EQ(std::pair(group->liveCount, group->members[3].hitPoints), std::pair(3, 0.0f));

    // A member at exactly 0 has fallen too, for the branch as for the revival.
    KillAllTasks();
    StoreScript(1, "#16,A,B,A#7,4,#99B#7,5,#99");
    BoardPiece* one = Party(kControllerComputer, 2);
    one->members[4].hitPoints = 0.0f;
    Start(one);
    RunToEnd();
    EXPECT_EQ(std::pair(SoundCount(4), SoundCount(5)), std::pair(0, 1));
}

TEST_F(EventAction, RollAgainLeaveTheRaceAndGoal)
{
    ResetRaceResult();
    StoreScript(1, "#18,#5,2,#99");
    BoardPiece* piece = Party(kControllerComputer, 2);
    piece->die = 4;
    Start(piece);
    Frames(2);
    EXPECT_EQ((std::tuple{piece->stateProc, piece->die}), std::make_tuple(PieceStartTurn, 1));
    EXPECT_TRUE(EventRunning()); // the event stays open until its 99

    KillAllTasks();
    StoreScript(2, "#43,#42,#99");
    Start(Party(kControllerComputer, 2, 0.0f, 2), 2);
    Frames(2);
    const RaceResult& r = g_raceResult;
    EXPECT_EQ((std::tuple{r.nextPlaceFromTop, r.placeTeam[0], r.placeLeader[0], r.teamsLeft}),
              std::make_tuple(1, 2, 12, 2));
    EXPECT_TRUE(g_tasks[12].alive); // the goal alone leaves the piece where it is
    Frames(2);
    EXPECT_FALSE(g_tasks[12].alive);
}

class GoBack : public EventRun {
protected:
    // Row 1: start square at column 0, squares at the even columns, corridor cells
    // between them; every cell links back toward column 0.
    void SetUp() override
    {
        EventRun::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        for (int c = 0; c < kWidth; ++c) {
            g_stageLayers.squareLayer[kWidth + c] = c % 2 == 0 ? 10 : 0;
            g_stageLayers.layerD[kWidth + c] = c > 0 ? 2 : 0;
            g_stageLayers.routeLayer[kWidth + c] = c < kWidth - 1 ? 1 : 0;
        }
        g_stageLayers.routeLayer[kWidth] |= 16;
    }

    int Column(const BoardPiece* piece) { return static_cast<int>(std::lround((piece->x + kWidth - 1) / 2)); }

    int RunPiece(BoardPiece* piece, int limit = 400)
    {
        int frames = 0;
        for (; piece->stateProc != PieceIdle && frames < limit; ++frames)
            Frames(1);
        return frames;
    }
};

TEST_F(GoBack, WalksBackItsDrawnSquaresAfterTheEvent)
{
    StoreScript(1, "#9,#5,5,#99");
    BoardPiece* piece = Party(kControllerComputer, 6);
    piece->progress = 3;
    Start(piece);
    Frames(2);
    const int distance = piece->die;
    ASSERT_TRUE(distance == 3 || distance == 4 || distance == 5);
    Frames(5);
    EXPECT_EQ(piece->stateProc, GoBackWaitEvent); // still the event's wait
    EXPECT_FLOAT_EQ(piece->x, 5.0f);
    ASSERT_LT(RunPiece(piece), 400);
    // Squares only at even columns: from 6 one square back is column 4, and the start
    // square (column 0) stops it early.
    EXPECT_EQ((std::tuple{Column(piece), piece->progress, piece->die}), std::make_tuple(0, 0, 1));
    EXPECT_FLOAT_EQ(piece->heading, 0.0f); // looking forward again
    for (const Figure& f : piece->figures)
        EXPECT_FLOAT_EQ(f.facing, 0.0f);
    EXPECT_EQ(SoundCount(14), 3);
}

TEST_F(GoBack, DrawsFourThreeOrFiveSquaresAndStopsOnTheStartSquare)
{
    // Seeded with s, the first draw is ((s * 214013 + 2531011) >> 16) & 0x7FFF: 45, 58 and
    // 41 for seeds 2, 6 and 1, so the distances at index 0, 1 and 2 of its three.
    for (auto [seed, distance] : {std::pair{2u, 4}, {6u, 3}, {1u, 5}}) {
        KillAllTasks();
        StoreScript(1, "#9,#99");
        BoardPiece* piece = Party(kControllerComputer, 6);
        Start(piece);
        Frames(1);
        SeedRandom(seed);
        Frames(1);
        EXPECT_EQ(piece->die, distance) << "seed " << seed;
    }
    // The start square two squares back (column 2): drawing 4, the piece stops on it
    // with 2 squares of its progress gone.
    KillAllTasks();
    g_stageLayers.routeLayer[kWidth + 2] |= 16;
    StoreScript(1, "#9,#99");
    BoardPiece* piece = Party(kControllerComputer, 6);
    piece->progress = 5;
    Start(piece);
    Frames(1);
    SeedRandom(2);
    ASSERT_LT(RunPiece(piece), 400);
    EXPECT_EQ((std::tuple{Column(piece), piece->progress, SoundCount(14)}), std::make_tuple(2, 3, 2));
}

// Back on its square the party looks along the first forward link in the order +x, -x,
// -z, +z, whichever others the square has; with none it looks toward +x.
TEST_F(GoBack, ThePartyEndsLookingAlongTheFirstForwardLink)
{
    const std::pair<int, float> rows[] = {{1, 0},    {2, 180},     {4, 270},       {8, 90},
                                          {12, 270}, {2 | 8, 180}, {1 | 2 | 4, 0}, {0, 0}};
    for (const auto& [route, heading] : rows) {
        SCOPED_TRACE(route);
        KillAllTasks();
        g_stageLayers.routeLayer[kWidth + 3] = int8_t(route);
        BoardPiece* piece = Party(kControllerComputer, 3, 45.0f);
        FaceFirstForwardLink(piece);
        EXPECT_EQ(piece->heading, heading);
        for (const Figure& f : piece->figures)
            EXPECT_EQ(std::pair(f.facing, f.drawnRotation), std::pair(heading, heading));
    }
}

// A way back toward -z (bit 4) or +z (bit 8) leads to the square in the row below or
// above; there, with no way on back, the move ends.
TEST_F(GoBack, WaysBackTowardMinusAndPlusZLeadToTheirOwnRows)
{
    g_stageLayers.squareLayer[0 * kWidth + 3] = g_stageLayers.squareLayer[2 * kWidth + 3] = 10;
    for (const auto& [link, dz] : {std::pair{4, -2.0f}, {8, 2.0f}}) {
        SCOPED_TRACE(link);
        KillAllTasks();
        g_stageLayers.layerD[kWidth + 3] = int8_t(link);
        StoreScript(1, "#9,#99");
        BoardPiece* piece = Party(kControllerComputer, 3);
        const float x = piece->x;
        const float z = piece->z;
        Start(piece);
        ASSERT_LT(RunPiece(piece), 400);
        EXPECT_EQ(std::pair(piece->x, piece->z), std::pair(x, z + dz));
    }
}

TEST_F(GoBack, ACellWithoutAWayBackEndsTheMoveThere)
{
    // No link at column 5, and one toward column 4 only besides; then a link into
    // blocked ground (row 2), which is no way either.
    g_stageLayers.layerD[kWidth + 3] = 1 | 2;
    for (int link : {0, 4}) {
        KillAllTasks();
        g_stageLayers.layerD[kWidth + 5] = int8_t(link);
        StoreScript(1, "#9,#99");
        BoardPiece* piece = Party(kControllerComputer, 5);
        Start(piece);
        EXPECT_LT(RunPiece(piece), 20);
        EXPECT_EQ(Column(piece), 5) << link;
    }
}
