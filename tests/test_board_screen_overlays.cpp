// The board screen's 2D overlays on the recording device: the status bar, the team
// panel and the minimap for hand-made board states, sprite by sprite.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>
#include <vector>

#include "board/board_view.h"
#include "board/status_bar.h"
#include "board/task_table.h"
#include "board/turn.h"
#include "test_board_support.h"
#include "test_gfx_support.h"

namespace {

using board_test::SpawnPiece;

// One drawn sprite: the atlas rectangle it was cut from (left, top, right, bottom),
// where it went (x, y) and its colour.
using Shot = std::tuple<float, float, float, float, float, float, uint32_t>;

constexpr uint32_t kBar = 0x96FFFFFFu;

Shot At(float l, float t, float r, float b, float x, float y, uint32_t colour = 0xFFFFFFFFu)
{
    return {l, t, r, b, x, y, colour};
}

class OverlayTest : public ::testing::Test {
protected:
    OverlayTest() : world_(8, 6)
    {
        g_uiAtlas = device_.MakeTexture(2048, 2048);
        g_stageLayers.stageNumber = 2;
        g_stageLayers.trackLength = 40;
        g_playerTeam = 0;
    }
    ~OverlayTest() override { g_uiAtlas = nullptr; }

    // The sprites drawn since the last call, cut from any rectangle or from the one
    // whose top-left texel is (l, t).
    static std::vector<Shot> Drawn(float l = -1, float t = -1)
    {
        std::vector<Shot> shots;
        for (const plat::RecordedSprite& s : plat::CurrentRecordedFrame().Sprites()) {
            const Shot shot = At(std::round(s.u0 * 2048.0f), std::round(s.v0 * 2048.0f), std::round(s.u1 * 2048.0f),
                                 std::round(s.v1 * 2048.0f), s.left, s.top, s.colour);
            if (l < 0 || (std::get<0>(shot) == l && std::get<1>(shot) == t))
                shots.push_back(shot);
        }
        return shots;
    }
    static void Clear() { plat::CurrentRecordedFrame().Reset(); }

    static BoardView* View()
    {
        Task* task = CreateTask(kBoardViewSlot);
        task->alive = 1;
        task->kind = kBoardViewKind;
        return TaskWork<BoardView>(task);
    }

    gfx_test::RecordingDevice device_;
    board_test::BoardWorld world_;
};

TEST_F(OverlayTest, StatusBarLabelsHintsAndTheComputerBanner)
{
    BoardView* view = View();
    view->minimapOn = view->overlayOn = 1;
    BoardPiece* player = SpawnPiece(10, kControllerPlayer, 1, 1, 0.0f, 0);
    player->stateProc = PlayerRollDie;
    DrawStatusBar();
    // Bar, rolling hint, minimap on, team panel on, stage label, stage 2 four pixels after it.
    EXPECT_EQ(Drawn(), (std::vector<Shot>{At(0, 481, 640, 497, 0, 464, kBar), At(1010, 1055, 1208, 1069, 0, 465),
                                          At(1096, 1806, 1240, 1820, 372, 465), At(1204, 620, 1347, 634, 218, 465),
                                          At(1243, 637, 1278, 649, 555, 465), At(652, 29, 662, 41, 594, 465)}));

    // Both off; another team's human-looking roll does not count unless its controller
    // is the player's.
    view->minimapOn = view->overlayOn = 0;
    player->stateProc = PieceIdle;
    SpawnPiece(11, kControllerComputer, 2, 1, 0.0f, 1)->stateProc = PlayerRollDie;
    Clear();
    DrawStatusBar();
    std::vector<Shot> shots = Drawn();
    ASSERT_EQ(shots.size(), 6u);
    EXPECT_EQ((std::tuple{shots[1], shots[2], shots[3]}),
              std::make_tuple(At(1212, 1285, 1424, 1299, 0, 465), At(1096, 1824, 1240, 1838, 372, 465),
                              At(1218, 603, 1361, 617, 218, 465)));

    // Automatic play: a computer hand never shows the rolling hint, and the banner
    // comes last, at the top; back under the player's hand the banner goes.
    player->controller = kControllerComputer;
    player->stateProc = PlayerRollDie;
    Clear();
    DrawStatusBar();
    shots = Drawn();
    ASSERT_EQ(shots.size(), 7u);
    EXPECT_EQ(std::pair(shots[1], shots.back()),
              std::pair(At(1212, 1285, 1424, 1299, 0, 465), At(1212, 1318, 1380, 1332, 470, 2)));
    player->controller = kControllerPlayer;
    Clear();
    DrawStatusBar();
    EXPECT_TRUE(Drawn(1212, 1318).empty());
}

TEST_F(OverlayTest, TeamPanelRowsForTeamsAnEmptyEntryAndTheRoamingGroup)
{
    BoardPiece* own = SpawnPiece(10, kControllerPlayer, 1, 1, 0.0f, 0);
    BoardPiece* rival = SpawnPiece(11, kControllerComputer, 2, 1, 0.0f, 1);
    own->progress = 5;
    own->liveCount = 4;
    rival->progress = 12;
    rival->liveCount = 6;
    TurnController controller{};
    controller.turnIndex = 2; // the highlight also goes onto an empty row
    controller.turnList[0] = own;
    controller.turnList[1] = rival;
    controller.turnList[3] = SpawnPiece(13, kControllerEnemy, 3, 1, 0.0f, 3);
    DrawTeamStatusPanel(&controller, 2.0f, 24.0f);
    const std::vector<Shot> shots = Drawn();
    // The panel: a 2-pixel opaque border and its inside tinted 0x50FFFFFF.
    ASSERT_GE(shots.size(), 5u);
    EXPECT_EQ(shots[4], At(1012, 945, 1324, 1051, 4, 26, 0x50FFFFFFu));
    const std::vector<Shot> rows(shots.begin() + 5, shots.end());
    const std::vector<Shot> expected = {
        // Own team at y 32: "1", plate of team 0, progress 5, slash, 40, members icon,
        // 4 live, suffix, own-team mark, icon of team 0.
        At(642, 29, 650, 41, 6, 33),
        At(1244, 716, 1367, 729, 18, 32),
        At(688, 29, 698, 41, 148, 33),
        At(840, 24, 847, 36, 180, 31),
        At(676, 29, 686, 41, 186, 33),
        At(748, 29, 758, 41, 197, 33),
        At(838, 290, 864, 304, 220, 32),
        At(676, 29, 686, 41, 250, 33),
        At(1356, 682, 1369, 696, 265, 32),
        At(348, 633, 368, 643, 282, 34),
        At(808, 24, 816, 32, 306, 34),
        // Another team at y 57: progress 12, 6 live, the other-team mark.
        At(652, 29, 662, 41, 6, 58),
        At(1244, 682, 1333, 695, 18, 57),
        At(642, 29, 650, 41, 148, 58),
        At(652, 29, 662, 41, 157, 58),
        At(840, 24, 847, 36, 180, 56),
        At(676, 29, 686, 41, 186, 58),
        At(748, 29, 758, 41, 197, 58),
        At(838, 290, 864, 304, 220, 57),
        At(700, 29, 710, 41, 250, 58),
        At(1356, 682, 1369, 696, 265, 57),
        At(320, 633, 341, 642, 282, 59),
        At(818, 24, 826, 32, 306, 59),
        // Empty and current at y 82; the roaming group at y 107: plate and icon only.
        At(1010, 912, 1322, 928, 4, 82, kBar),
        At(664, 29, 674, 41, 6, 83),
        At(1244, 663, 1378, 677, 21, 82),
        At(676, 29, 686, 41, 6, 108),
        At(1324, 636, 1419, 650, 18, 107),
        At(870, 24, 878, 32, 306, 109),
    };
    EXPECT_EQ(rows, expected);

    // An id without a plate or icon draws neither: panel (5 pieces), highlight, the row
    // numbers and three empty rows.
    controller = TurnController{};
    controller.turnList[0] = SpawnPiece(14, kControllerEnemy, 1, 1, 0.0f, 9);
    Clear();
    DrawTeamStatusPanel(&controller, 2.0f, 24.0f);
    EXPECT_EQ(Drawn().size(), 5u + 1u + 4u + 3u);
}

TEST_F(OverlayTest, MinimapDotsThenSquaresOverThem)
{
    // 8 x 6: path codes 1, 2, 3 and the five squares; sea, grass and others draw nothing.
    for (auto [c, r, code] : {std::tuple{0, 0, 1},
                              {1, 0, 2},
                              {2, 0, 3},
                              {3, 0, 45},
                              {0, 1, 10},
                              {1, 1, 11},
                              {2, 1, 12},
                              {3, 1, 13},
                              {4, 1, 14},
                              {5, 1, 0},
                              {7, 5, 1},
                              {6, 5, -3}})
        world_.Square(c, r, code);
    DrawMinimap();
    const std::vector<Shot> expected = {
        At(768, 24, 770, 26, 400, 20), At(880, 24, 882, 26, 402, 20), At(880, 24, 882, 26, 404, 20),
        At(768, 24, 770, 26, 414, 30), At(860, 24, 864, 28, 399, 21), At(850, 24, 854, 28, 401, 21),
        At(798, 24, 802, 28, 403, 21), At(788, 24, 792, 28, 405, 21), At(778, 24, 782, 28, 407, 21),
    };
    EXPECT_EQ(Drawn(), expected);
}

TEST_F(OverlayTest, MinimapFollowsChangedSquaresAndAnotherMap)
{
    // A road dot and a square on the 8 x 6 board; an event then turns the square into
    // another kind and the road into grass, one cell at a time.
    world_.Square(1, 0, 2);
    world_.Square(2, 1, 10);
    DrawMinimap();
    EXPECT_EQ(Drawn(), (std::vector<Shot>{At(880, 24, 882, 26, 402, 20), At(860, 24, 864, 28, 403, 21)}));
    world_.Square(2, 1, 14);
    Clear();
    DrawMinimap();
    EXPECT_EQ(Drawn(), (std::vector<Shot>{At(880, 24, 882, 26, 402, 20), At(778, 24, 782, 28, 403, 21)}));
    world_.Square(1, 0, 15);
    Clear();
    DrawMinimap();
    EXPECT_EQ(Drawn(), (std::vector<Shot>{At(778, 24, 782, 28, 403, 21)}));

    // The same bytes read as a 4 x 12 map: cell 10 is now column 2 of row 2.
    g_stageLayers.boardWidth = 4;
    g_stageLayers.boardHeight = 12;
    Clear();
    DrawMinimap();
    EXPECT_EQ(Drawn(), (std::vector<Shot>{At(778, 24, 782, 28, 403, 23)}));

    // A whole new map (another stage, a loaded race): rock everywhere but one square.
    std::memset(g_stageLayers.squareLayer, 1, 48);
    g_stageLayers.squareLayer[47] = 12;
    Clear();
    DrawMinimap();
    const std::vector<Shot> shots = Drawn();
    ASSERT_EQ(shots.size(), 48u);
    EXPECT_EQ(shots[0], At(768, 24, 770, 26, 400, 20));
    EXPECT_EQ(shots[46], At(768, 24, 770, 26, 404, 42));
    EXPECT_EQ(shots[47], At(798, 24, 802, 28, 405, 41));
}

TEST_F(OverlayTest, MarkersForTheFirstFourPiecesMovingOnesLastOnEvenAndOddBoards)
{
    // 8 x 6 (even): a piece on cell (c, r) has its marker centred on (401 + 2c, 21 + 2r).
    SpawnPiece(10, kControllerPlayer, 0, 0, 0.0f, 0)->stateProc = PlayerStepMove;
    SpawnPiece(12, kControllerComputer, 7, 5, 0.0f, 1);
    SpawnPiece(13, kControllerEnemy, 3, 2, 0.0f, 3);
    SpawnPiece(15, kControllerComputer, 4, 4, 0.0f, 2);
    SpawnPiece(16, kControllerComputer, 1, 1, 0.0f, 0); // fifth: no marker
    DrawMinimapPieces();
    // Team 1 at (7, 5), the roaming group at (3, 2), team 2 at (4, 4), team 0 moving, last.
    EXPECT_EQ(Drawn(), (std::vector<Shot>{At(1346, 943, 1362, 959, 407, 23), At(1382, 943, 1398, 959, 399, 17),
                                          At(1364, 943, 1380, 959, 401, 21), At(1328, 943, 1344, 959, 393, 13)}));

    // 31 x 5: the dot of (2, 1) is centred on (405, 23), its marker's centre one pixel
    // left and up; stray ids (a stationary group with 4, and -1) have none.
    KillAllTasks();
    Clear();
    g_stageLayers.boardWidth = 31;
    g_stageLayers.boardHeight = 5;
    SpawnPiece(10, kControllerComputer, 2, 1, 0.0f, 1);
    SpawnPiece(11, kControllerEnemy, 0, 0, 0.0f, 4);
    SpawnPiece(12, kControllerEnemy, 0, 0, 0.0f, -1);
    DrawMinimapPieces();
    EXPECT_EQ(Drawn(), (std::vector<Shot>{At(1346, 943, 1362, 959, 396, 14)}));
}

TEST_F(OverlayTest, BoardViewDrawsEachPartByItsFlagAndHidesTheBarDuringAnEvent)
{
    ASSERT_EQ(CreateBoardView(), 1);
    BoardView* view = TaskWork<BoardView>(&g_tasks[kBoardViewSlot]);
    world_.Square(0, 0, 10);
    // Square on the minimap, team panel, status bar.
    auto counts = [&]() {
        Clear();
        DrawBoardView(&g_tasks[kBoardViewSlot]);
        return std::vector<size_t>{Drawn(860, 24).size(), Drawn(1012, 945).size(), Drawn(0, 481).size()};
    };
    EXPECT_EQ(counts(), (std::vector<size_t>{1, 1, 1}));
    view->minimapOn = 0;
    EXPECT_EQ(counts(), (std::vector<size_t>{0, 1, 1}));
    view->overlayOn = 0;
    view->minimapOn = 1;
    EXPECT_EQ(counts(), (std::vector<size_t>{1, 0, 1}));
    CreateTask(150)->alive = 1;
    EXPECT_EQ(counts(), (std::vector<size_t>{1, 0, 0}));
}

} // namespace
