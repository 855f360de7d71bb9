// The six figures of a piece: how followers trail the leader, what is drawn, and the
// member who rises from the ground.
#include <set>

#include "board/scripted_move.h"
#include "board/task_table.h"
#include "test_board_support.h"

using board_test::BoardWorld;
using board_test::Frame;
using board_test::RecordedGraphics;
using board_test::RunUntil;
using board_test::SpawnPiece;

TEST(Figures, FollowerTurnsTowardAFigureOneCellAwayAlongAnAxisAndWalksItInFourFrames)
{
    // Where the figure ahead stands, seen from the follower; -1: no match, the follower waits.
    struct Case {
        float aheadDx, aheadDz, expectFacing;
    };
    const Case cases[] = {
        {2, 0, 0},  {-2, 0, 180}, {0, -2, 270}, {0, 2, 90}, {-2, -2, -1},
        {1, 0, -1}, {0, 0, -1},   {2, 2, 0}, // the side test of each line is one-sided: the first line already matches
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.aheadDx << "," << c.aheadDz);
        Figure ahead{};
        Figure follower{};
        InitFigure(&ahead, 3.0f + c.aheadDx, 0.25f, 5.0f + c.aheadDz, 0.0f, 0, FigureIdleState, nullptr, nullptr);
        InitFigure(&follower, 3.0f, 0.25f, 5.0f, 45.0f, 0, UpdateFigureMotion, &ahead, nullptr);
        AimFigureAndWalk(&follower);
        if (c.expectFacing < 0) {
            EXPECT_EQ((std::tuple{follower.motionProc, follower.facing}), std::make_tuple(UpdateFigureMotion, 45.0f));
            continue;
        }
        EXPECT_EQ((std::tuple{follower.motionProc, follower.facing}), std::make_tuple(FigureWalkState, c.expectFacing));
        for (int frame = 0; frame < 4; ++frame)
            follower.motionProc(&follower);
        const float f = c.expectFacing;
        EXPECT_EQ((std::pair{follower.x, follower.z}), (std::pair{3.0f + (f == 0     ? 2
                                                                          : f == 180 ? -2
                                                                                     : 0),
                                                                  5.0f + (f == 90    ? 2
                                                                          : f == 270 ? -2
                                                                                     : 0)}));
    }
}

namespace {

// A corridor of `cells` cells in row 1 from column 1, turning down at column `corner`
// when corner > 0; returns the path's cells in walking order.
std::vector<std::pair<int, int>> LayCorridor(BoardWorld& world, int cells, int corner)
{
    std::vector<std::pair<int, int>> path;
    for (int i = 0, column = 1, row = 1; i < cells; ++i) {
        world.Corridor(column, row);
        path.emplace_back(column, row);
        (corner > 0 && column == corner ? row : column) += 1;
    }
    return path;
}

} // namespace

TEST(Figures, ChainTrailsOneCellPerMemberAndTurnsAtTheCorner)
{
    for (int corner : {0, 5}) {
        SCOPED_TRACE(corner);
        BoardWorld world(16, 16);
        const auto path = LayCorridor(world, 14, corner);
        BoardPiece* piece = SpawnPiece(10, kControllerComputer, 1, 1, 0.0f, 1);
        piece->stateProc = AutoStepMove;
        piece->die = 9;

        for (int frame = 1; frame <= 4; ++frame)
            Frame(piece);
        EXPECT_EQ((std::tuple{piece->figures[1].motionProc, piece->figures[1].x, piece->figures[2].motionProc}),
                  std::make_tuple(FigureWalkState, BoardWorld::X(1), UpdateFigureMotion))
            << "figure 1 starts as the first cell ends";
        Frame(piece);
        EXPECT_EQ(piece->figures[1].x, BoardWorld::X(1) + 0.5f);

        // The leader faces the piece's heading in every frame, the corner's new one too.
        std::vector<float> leaderOff;
        std::set<float> headings;
        for (int cell = 2; cell <= 12; ++cell) {
            for (int frame = 0; frame < 4 - (cell == 2 ? 1 : 0); ++frame) {
                Frame(piece);
                headings.insert(piece->heading);
                if (piece->figures[0].facing != piece->heading)
                    leaderOff.push_back(piece->heading);
            }
            if (cell < 6)
                continue; // the chain forms over the first five cells
            for (int k = 0; k < kPieceMembers; ++k) {
                const auto [column, row] = path[cell - k];
                EXPECT_EQ((std::pair{piece->figures[k].x, piece->figures[k].z}),
                          (std::pair{BoardWorld::X(column), BoardWorld::Z(row)}))
                    << "cell " << cell << " figure " << k;
            }
        }
        EXPECT_EQ(headings, (corner > 0 ? std::set<float>{0.0f, 270.0f} : std::set<float>{0.0f}));
        EXPECT_EQ(leaderOff, std::vector<float>{}) << "the piece's headings in frames the leader did not face";
    }
}

TEST(Figures, ArrivalCollapsesTheChainAndOnlyTheLeaderAndKnownModelsAreDrawn)
{
    RecordedGraphics graphics;
    BoardWorld world(16, 4);
    LayCorridor(world, 10, 0);
    world.Square(10, 1, 12);
    BoardPiece* piece = SpawnPiece(10, kControllerComputer, 1, 1, 0.0f, 1);
    piece->stateProc = AutoStepMove;
    piece->die = 1;
    auto drawn = [&] {
        graphics.Clear();
        DrawPiece(board_test::TaskOf(piece));
        return graphics.MeshDraws();
    };
    ASSERT_GT(RunUntil(piece, PieceArrive), 0);
    EXPECT_EQ(drawn(), 6u) << "strung out along the corridor, every member shows";
    piece->liveCount = 4; // two members fallen: the first four are drawn
    EXPECT_EQ(drawn(), 4u);
    piece->liveCount = 6;

    ASSERT_GT(RunUntil(piece, PieceWaitEvent), 0);
    for (int k = 1; k < kPieceMembers; ++k)
        EXPECT_EQ((std::tuple{piece->figures[k].motionProc, piece->figures[k].x}),
                  std::make_tuple(FigureSettleState, BoardWorld::X(10)))
            << k;
    Frame(piece);
    EXPECT_EQ(piece->stateProc, PieceIdle);
    EXPECT_EQ(drawn(), 1u);

    // A member lifted a whole unit above the leader shows, although it stands on it.
    piece->figures[5].y += 1.0f;
    piece->figures[5].x += 0.4f;
    EXPECT_EQ(drawn(), 2u);

    // A model outside the table of 25 draws nothing.
    graphics.Clear();
    Figure figure{};
    for (int32_t model : {25, -1, 1000, 24}) {
        InitFigure(&figure, 0, 0.25f, 0, 0, model, FigureIdleState, nullptr, nullptr);
        DrawFigure(&figure);
    }
    EXPECT_EQ(graphics.MeshDraws(), 1u);
}

// Sent back by an event, a party's drawn figures spin a quarter turn a frame, while the
// way back is chosen too; at rest they stand upright again.
TEST(Figures, ASentBackPartySpinsAQuarterTurnAFrame)
{
    RecordedGraphics graphics;
    BoardWorld world(4, 4);
    BoardPiece* piece = SpawnPiece(10, kControllerComputer, 1, 1, 0.0f, 1);
    Figure& leader = piece->figures[0];
    std::vector<float> rotations;
    for (PieceProc proc : {BackChooseDirection, BackStepMove, BackChooseDirection, PieceIdle}) {
        piece->stateProc = proc;
        DrawFigure(&leader);
        rotations.push_back(leader.drawnRotation);
    }
    EXPECT_EQ(rotations, (std::vector<float>{90, 180, 270, 270}));
    EXPECT_EQ(graphics.MeshDraws(), 4u);
}

TEST(RisingMember, RisesWaitsAndWalksOntoThePiece)
{
    BoardWorld world(4, 4);
    BoardPiece* piece = SpawnPiece(10, kControllerComputer, 1, 1, 90.0f, 1);
    SpawnRisingFigure(piece, 7);
    Task* task = &g_tasks[kRisingFigureSlot];
    ASSERT_EQ((std::tuple{task->alive, task->kind}), std::make_tuple(1, 4));
    Figure* figure = TaskWork<Figure>(task);
    EXPECT_NEAR(figure->x, piece->x, 0.01f);
    EXPECT_NEAR(figure->z, piece->z - 2.0f, 0.01f) << "behind the piece";
    EXPECT_EQ((std::tuple{figure->y, figure->modelId}), std::make_tuple(-8.0f, 7));
    EXPECT_EQ(CreateFigureTask(0, 0, 0, 0, 0, RisingFigureBegin), 0) << "slot 99 is taken";

    std::vector<std::pair<int, int>> sounds; // (frame, effect)
    int frame = 0;
    while (task->alive && frame < 200) {
        ClearSoundRequests();
        UpdateFigureTask(task);
        ++frame;
        for (int id : {17, 18})
            if (BoardWorld::Heard(id))
                sounds.emplace_back(frame, id);
        if (frame == 43)
            EXPECT_EQ(figure->y, 0.25f);
    }
    // 1 frame of sound, 42 of rising, 50 of waiting, 8 steps.
    EXPECT_EQ(frame, 101);
    EXPECT_EQ(sounds, (std::vector<std::pair<int, int>>{{1, 17}, {93, 18}}));
    EXPECT_NEAR(figure->z, piece->z, 0.01f);
}

TEST(RisingMember, RisesOneCellBehindAndWalksOntoThePieceFromEachHeading)
{
    // Heading: where the member rises, from the piece.
    const std::tuple<float, float, float> rows[] = {{0, -2, 0}, {90, 0, -2}, {180, 2, 0}, {270, 0, 2}};
    for (const auto& [heading, dx, dz] : rows) {
        SCOPED_TRACE(heading);
        BoardWorld world(4, 4);
        BoardPiece* piece = SpawnPiece(10, kControllerComputer, 1, 1, heading, 1);
        SpawnRisingFigure(piece, 7);
        Task* task = &g_tasks[kRisingFigureSlot];
        Figure* figure = TaskWork<Figure>(task);
        EXPECT_NEAR(figure->x, piece->x + dx, 0.01f);
        EXPECT_NEAR(figure->z, piece->z + dz, 0.01f);
        for (int frame = 0; task->alive && frame < 200; ++frame)
            UpdateFigureTask(task);
        EXPECT_EQ(figure->facing, heading);
        EXPECT_NEAR(figure->x, piece->x, 0.01f);
        EXPECT_NEAR(figure->z, piece->z, 0.01f);
        task->alive = 0;
    }
}
