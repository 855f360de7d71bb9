// The minimap on each built stage, drawn by the running game: one dot per path cell,
// one square per board square where its cell lies, and the markers of the pieces on
// their start cells.
#include <set>
#include <tuple>

#include "board/stage.h"
#include "test_board_support.h"

namespace {

using Spot = std::tuple<int, int, int, int>; // atlas left, atlas top, screen x, screen y

class BoardScreenStages : public BoardScreenRun, public ::testing::WithParamInterface<int> {};

TEST_P(BoardScreenStages, MinimapShowsEveryPathCellSquareAndTheFirstFourPieces)
{
    if (!HasPacks()) GTEST_SKIP() << "the stage packs are not built";
    StartRace(GetParam());
    Frames(1);

    std::multiset<Spot> expected;
    const int w = g_boardWidth, h = g_boardHeight;
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            const int code = g_squareLayer[r * w + c];
            if (code == 1) expected.insert({768, 24, 400 + 2 * c, 20 + 2 * r});
            if (code == 2 || code == 3) expected.insert({880, 24, 400 + 2 * c, 20 + 2 * r});
            const int squareLeft[5] = {860, 850, 798, 788, 778};
            if (code >= 10 && code <= 14) expected.insert({squareLeft[code - 10], 24, 399 + 2 * c, 19 + 2 * r});
        }
    }
    int markers = 0;
    const int markerLeft[4] = {1328, 1346, 1364, 1382};
    for (int slot = 10; slot < 20 && markers < 4; ++slot) {
        if (!g_tasks[slot].alive) continue;
        const BoardPiece* piece = PieceOf(&g_tasks[slot]);
        ++markers;
        if (piece->teamId < 0 || piece->teamId > 3) continue;
        int column = 0, row = 0;
        ASSERT_EQ(PositionToCell(piece->x, piece->z, &column, &row), 1);
        const int dx = (w % 2) ? 0 : 1, dy = (h % 2) ? 0 : 1;
        expected.insert({markerLeft[piece->teamId], 943, 400 + 2 * column + dx - 8, 20 + 2 * row + dy - 8});
    }
    EXPECT_EQ(markers, 4) << "every stage has three teams and at least one group";

    const std::set<int> minimapLefts = {768, 880, 860, 850, 798, 788, 778, 1328, 1346, 1364, 1382};
    std::multiset<Spot> drawn;
    for (const plat::RecordedSprite& s : Sprites()) {
        const int left = static_cast<int>(std::lround(s.u0 * 2048.0f));
        const int top = static_cast<int>(std::lround(s.v0 * 2048.0f));
        if (minimapLefts.count(left) && (top == 24 || top == 943) && s.right - s.left <= 16.0f)
            drawn.insert({left, top, static_cast<int>(s.left), static_cast<int>(s.top)});
    }
    EXPECT_EQ(drawn.size(), expected.size());
    EXPECT_TRUE(drawn == expected);
}

INSTANTIATE_TEST_SUITE_P(EachStage, BoardScreenStages, ::testing::Values(1, 2, 3));

} // namespace
