#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "board/figure.h"
#include "test_board_support.h"

using board_test::BoardWorld;
using board_test::Frame;
using board_test::RecordedGraphics;
using board_test::RunUntil;
using board_test::SpawnPiece;

TEST(Figures, RoundXZHalvesAwayFromZero)
{
    const std::pair<float, float> cases[] = {{2.5f, 3.0f}, {-2.5f, -3.0f}, {-0.4f, 0.0f}, {1.49f, 1.0f}, {-7.6f, -8.0f}};
    for (auto [in, out] : cases) {
        float x = 0.0f;
        float z = 0.0f;
        RoundXZ(&x, &z, in, -in);
        EXPECT_EQ(x, out) << in;
        EXPECT_EQ(z, -out) << -in;
    }
}

TEST(Figures, FollowerTurnsTowardAFigureOneCellAwayAlongAnAxis)
{
    struct Case {
        float aheadDx, aheadDz; // where the figure ahead stands, seen from the follower
        float expectFacing;      // -1: no match, the follower waits
    };
    const Case cases[] = {
        {2, 0, 0}, {-2, 0, 180}, {0, -2, 270}, {0, 2, 90}, {-2, -2, -1}, {1, 0, -1}, {0, 0, -1},
        {2, 2, 0}, // the side test of each line is one-sided: the first line already matches
    };
    for (const Case& c : cases) {
        Figure ahead{};
        Figure follower{};
        InitFigure(&ahead, 3.0f + c.aheadDx, 0.25f, 5.0f + c.aheadDz, 0.0f, 0, FigureIdleState, nullptr, nullptr);
        InitFigure(&follower, 3.0f, 0.25f, 5.0f, 45.0f, 0, UpdateFigureMotion, &ahead, nullptr);
        AimFigureAndWalk(&follower);
        if (c.expectFacing < 0) {
            EXPECT_EQ(follower.motionProc, UpdateFigureMotion) << c.aheadDx << "," << c.aheadDz;
            EXPECT_EQ(follower.facing, 45.0f);
            continue;
        }
        EXPECT_EQ(follower.motionProc, FigureWalkState) << c.aheadDx << "," << c.aheadDz;
        EXPECT_EQ(follower.facing, c.expectFacing);
        for (int frame = 0; frame < 4; ++frame) follower.motionProc(&follower);
        EXPECT_EQ(follower.x, 3.0f + (c.expectFacing == 0 ? 2 : c.expectFacing == 180 ? -2 : 0)) << "one cell in four frames";
        EXPECT_EQ(follower.z, 5.0f + (c.expectFacing == 90 ? 2 : c.expectFacing == 270 ? -2 : 0));
    }
}

namespace {

// A corridor of `cells` cells in row 1 from column 1, turning down at column `corner`
// when corner > 0; returns the path's cells in walking order.
std::vector<std::pair<int, int>> LayCorridor(BoardWorld& world, int cells, int corner)
{
    std::vector<std::pair<int, int>> path;
    int column = 1;
    int row = 1;
    for (int i = 0; i < cells; ++i) {
        world.Corridor(column, row);
        path.emplace_back(column, row);
        if (corner > 0 && column == corner)
            ++row;
        else
            ++column;
    }
    return path;
}

} // namespace

TEST(Figures, ChainTrailsOneCellPerMemberAndTurnsAtTheCorner)
{
    for (int corner : {0, 5}) {
        BoardWorld world(16, 16);
        const auto path = LayCorridor(world, 14, corner);
        BoardPiece* piece = SpawnPiece(10, kControllerComputer, 1, 1, 0.0f, 1);
        piece->moveProc = AutoStepMove;
        piece->die = 9;

        for (int frame = 1; frame <= 4; ++frame) Frame(piece);
        EXPECT_EQ(piece->figures[1].motionProc, FigureWalkState) << "figure 1 starts as the first cell ends";
        EXPECT_EQ(piece->figures[1].x, BoardWorld::X(1));
        EXPECT_EQ(piece->figures[2].motionProc, UpdateFigureMotion);
        Frame(piece);
        EXPECT_EQ(piece->figures[1].x, BoardWorld::X(1) + 0.5f);

        for (int cell = 2; cell <= 12; ++cell) {
            for (int frame = 0; frame < 4 - (cell == 2 ? 1 : 0); ++frame) Frame(piece);
            if (cell < 6) continue; // the chain forms over the first five cells
            for (int k = 0; k < kPieceMembers; ++k) {
                const auto [column, row] = path[cell - k];
                EXPECT_EQ(piece->figures[k].x, BoardWorld::X(column)) << "corner " << corner << " cell " << cell << " figure " << k;
                EXPECT_EQ(piece->figures[k].z, BoardWorld::Z(row)) << "corner " << corner << " cell " << cell << " figure " << k;
            }
        }
    }
}

TEST(Figures, ArrivalCollapsesTheChainAndOnlyTheLeaderIsDrawnAtRest)
{
    RecordedGraphics graphics;
    BoardWorld world(16, 4);
    LayCorridor(world, 10, 0);
    world.Square(10, 1, 12);
    BoardPiece* piece = SpawnPiece(10, kControllerComputer, 1, 1, 0.0f, 1);
    piece->moveProc = AutoStepMove;
    piece->die = 1;
    ASSERT_GT(RunUntil(piece, PieceArrive), 0);
    graphics.Clear();
    DrawPiece(board_test::TaskOf(piece));
    EXPECT_EQ(graphics.MeshDraws(), 6u) << "strung out along the corridor, every member shows";

    ASSERT_GT(RunUntil(piece, PieceWaitEvent), 0);
    for (int k = 1; k < kPieceMembers; ++k) {
        EXPECT_EQ(piece->figures[k].motionProc, FigureSettleState) << k;
        EXPECT_EQ(piece->figures[k].x, BoardWorld::X(10)) << k;
    }
    Frame(piece);
    EXPECT_EQ(piece->moveProc, PieceIdle);
    graphics.Clear();
    DrawPiece(board_test::TaskOf(piece));
    EXPECT_EQ(graphics.MeshDraws(), 1u);

    // A member lifted a whole unit above the leader shows, although it stands on it.
    piece->figures[5].y += 1.0f;
    piece->figures[5].x += 0.4f;
    graphics.Clear();
    DrawPiece(board_test::TaskOf(piece));
    EXPECT_EQ(graphics.MeshDraws(), 2u);
}

TEST(Figures, ModelOutsideTheTableDrawsNothing)
{
    RecordedGraphics graphics;
    Figure figure{};
    for (int32_t model : {25, -1, 1000}) {
        InitFigure(&figure, 0, 0.25f, 0, 0, model, FigureIdleState, nullptr, nullptr);
        DrawFigure(&figure);
    }
    EXPECT_EQ(graphics.MeshDraws(), 0u);
    InitFigure(&figure, 0, 0.25f, 0, 0, 24, FigureIdleState, nullptr, nullptr);
    DrawFigure(&figure);
    EXPECT_EQ(graphics.MeshDraws(), 1u);
}

TEST(RisingMember, RisesWaitsAndWalksOntoThePiece)
{
    BoardWorld world(4, 4);
    BoardPiece* piece = SpawnPiece(10, kControllerComputer, 1, 1, 90.0f, 1);
    SpawnRisingFigure(piece, 7);
    Task* task = &g_tasks[kRisingFigureSlot];
    ASSERT_EQ(task->alive, 1);
    EXPECT_EQ(task->kind, 4);
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
            if (BoardWorld::Heard(id)) sounds.emplace_back(frame, id);
        if (frame == 43) EXPECT_EQ(figure->y, 0.25f);
    }
    // 1 frame of sound, 42 of rising, 50 of waiting, 8 steps.
    EXPECT_EQ(frame, 101);
    EXPECT_EQ(sounds, (std::vector<std::pair<int, int>>{{1, 17}, {93, 18}}));
    EXPECT_NEAR(figure->z, piece->z, 0.01f);
}
