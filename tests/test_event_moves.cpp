// The event's piece itself: spin, hop, and going back along the back-move links.
#include <cmath>
#include <tuple>

#include "board/event_commands.h"
#include "board/scripted_move.h"
#include "test_board_support.h"

using board_test::StoreScript;

using EventMove = EventRun;

TEST_F(EventMove, SpinTurnsFramesTimesDegreesAndLeaves360)
{
    for (auto [from, frames, degrees, to] :
         {std::tuple{0.0f, 4, 90, 360.0f}, {90.0f, 4, 90, 90.0f}, {0.0f, 0, 90, 90.0f}}) {
        StoreScript(1, "#41," + std::to_string(frames) + "," + std::to_string(degrees) + ",#99");
        BoardPiece* piece = Party(kControllerComputer, 2, from);
        Start(piece);
        RunToEnd();
        EXPECT_FLOAT_EQ(piece->heading, to) << from << " " << frames;
        KillAllTasks();
    }
}

TEST_F(EventMove, HopRisesAndComesBackToItsHeight)
{
    StoreScript(1, "#40,#99");
    BoardPiece* piece = Party(kControllerComputer, 2);
    Start(piece);
    Frames(2 + 20);
    EXPECT_NEAR(piece->y, 0.25f + 4 * (0.375f + 0.3f + 0.225f + 0.15f + 0.075f), 1e-4);
    EXPECT_FLOAT_EQ(piece->figures[5].y, piece->y);
    EXPECT_EQ(RunToEnd(), 28 + 1);
    EXPECT_NEAR(piece->y, 0.25f, 1e-4);
}

class GoBack : public EventRun {
protected:
    // Row 1: start square at column 0, squares at the even columns, corridor cells
    // between them; every cell links back toward column 0.
    void SetUp() override
    {
        EventRun::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        for (int c = 0; c < kWidth; ++c) {
            g_squareLayer[kWidth + c] = c % 2 == 0 ? 10 : 0;
            g_layerD[kWidth + c] = c > 0 ? 2 : 0;
            g_routeLayer[kWidth + c] = c < kWidth - 1 ? 1 : 0;
        }
        g_routeLayer[kWidth] |= 16;
    }

    int Column(const BoardPiece* piece) { return static_cast<int>(std::lround((piece->x + kWidth - 1) / 2)); }

    int RunPiece(BoardPiece* piece, int limit = 400)
    {
        int frames = 0;
        while (piece->moveProc != PieceIdle && frames < limit) {
            Frames(1);
            ++frames;
        }
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
    EXPECT_EQ(piece->moveProc, GoBackWaitEvent); // still the event's wait
    EXPECT_FLOAT_EQ(piece->x, 5.0f);
    ASSERT_LT(RunPiece(piece), 400);
    // Squares only at even columns: from 6 one square back is column 4, and the start
    // square (column 0) stops it early.
    const int expected = distance >= 3 ? 0 : 6 - 2 * distance;
    EXPECT_EQ((std::tuple{Column(piece), piece->progress, piece->die}), std::make_tuple(expected, 0, 1));
    EXPECT_FLOAT_EQ(piece->heading, 0.0f); // looking forward again
    for (const Figure& f : piece->figures) EXPECT_FLOAT_EQ(f.facing, 0.0f);
    EXPECT_EQ(SoundCount(14), 3);
}

TEST_F(GoBack, ACellWithoutAWayBackEndsTheMoveThere)
{
    g_layerD[kWidth + 5] = 0;     // no link at column 5
    g_layerD[kWidth + 3] = 1 | 2; // and a link toward column 4 only besides
    StoreScript(1, "#9,#99");
    BoardPiece* piece = Party(kControllerComputer, 5);
    Start(piece);
    EXPECT_LT(RunPiece(piece), 20);
    EXPECT_EQ(Column(piece), 5);

    // A link into blocked ground is no way either.
    KillAllTasks();
    g_layerD[kWidth + 5] = 4; // toward row 2, which is blocked
    BoardPiece* other = Party(kControllerComputer, 5, 0.0f, 1);
    Start(other);
    EXPECT_LT(RunPiece(other), 20);
    EXPECT_EQ(Column(other), 5);
}
