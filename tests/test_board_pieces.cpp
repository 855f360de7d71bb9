// Pieces placed from their records, the direction arrows, what a piece draws, and a
// race started from the built packs.
#include "test_board_support.h"

using board_test::BoardWorld;
using board_test::RecordedGraphics;
using board_test::SpawnPiece;
using board_test::StoreScript;

namespace {

std::vector<int> LivePieceSlots()
{
    std::vector<int> slots;
    for (int slot = 10; slot < 20; ++slot)
        if (g_tasks[slot].alive && g_tasks[slot].kind == 1)
            slots.push_back(slot);
    return slots;
}

std::vector<int> Arrows(const BoardPiece* piece)
{
    return {piece->arrowTexture, piece->arrowTexture + 4};
}

} // namespace

TEST(Placement, PiecesTakeSlotsInRowOrderWithTheirRecords)
{
    BoardWorld world(6, 4);
    g_playerTeam = 1;
    g_eventCount = 5;
    world.Event(4, 0, 3); // first in row order
    world.Event(1, 2, 1);
    world.Event(5, 2, 2);
    world.Event(0, 3, 4); // a script without a piece
    world.Event(2, 3, 5); // the last of the stage's events
    world.Event(3, 3, 6); // past the count: no event
    StoreScript(1, "$1,0,180,6,0,1,2,3,4,5,Red Team,#99");
    StoreScript(2, "$1,1,0,6,6,7,8,9,10,11,Blue,#99");
    StoreScript(3, "#10,hello,$2,3,90,4,18,19,20,21,Wolves,#99");
    StoreScript(4, "#99");
    StoreScript(5, "$1,2,0,1,12,Last,#99");
    StoreScript(6, "$2,4,0,1,18,Stray,#99");
    PlaceEventObjects();

    ASSERT_EQ(LivePieceSlots(), (std::vector<int>{10, 11, 12, 13}));
    EXPECT_STREQ(PieceOf(&g_tasks[13])->name, "Last");
    const BoardPiece* wolves = PieceOf(&g_tasks[10]);
    const BoardPiece* red = PieceOf(&g_tasks[11]);
    const BoardPiece* blue = PieceOf(&g_tasks[12]);
    // Creator word, controller, team, heading, members, standing, the fifth member's id.
    EXPECT_EQ((std::vector<int>{g_tasks[10].param, wolves->controller, wolves->teamId, int(wolves->heading),
                                wolves->memberCount, wolves->liveCount, wolves->members[0].id, wolves->members[3].id,
                                wolves->members[4].id}),
              (std::vector<int>{3, 2, 3, 90, 4, 4, 18, 21, 0}));
    EXPECT_STREQ(wolves->name, "Wolves");
    EXPECT_EQ((std::vector<float>{wolves->x, wolves->y, wolves->z}), (std::vector<float>{3.0f, 0.25f, 3.0f}));
    EXPECT_EQ((std::vector<PieceProc>{wolves->stateProc, red->stateProc, blue->stateProc}),
              (std::vector<PieceProc>{PieceIdle, PieceIdle, PieceStartTurn}));
    EXPECT_EQ((std::vector<int>{red->controller, int(red->heading), blue->controller}), (std::vector<int>{1, 180, 0}))
        << "team 1 is the player's";
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ((std::tuple{blue->members[i].id, blue->figures[i].modelId, blue->figures[i].ahead}),
                  std::make_tuple(6 + i, g_characters[6 + i].modelId, i == 0 ? nullptr : &blue->figures[i - 1]));
    EXPECT_EQ(
        (std::vector<int>{blue->die, blue->dieFaces, blue->progress, blue->arrowTexture[0], blue->arrowTexture[3]}),
        (std::vector<int>{1, 6, 0, -1, -1}));
    EXPECT_EQ(FindPlayerTeamTask(), blue);
}

// Records that do not fit a piece create nothing; a long name is cut, and the member
// count decides where the name starts.
TEST(Placement, RecordsAreCheckedBeforeAPieceIsMade)
{
    struct Case {
        std::string script;
        bool created;
        std::string name;
    };
    const Case cases[] = {
        {"$1,2,0,0,Nobody,", false, ""},
        {"$1,2,0,7,0,1,2,3,4,5,6,Crowd,", false, ""},
        {"$1,2,0,2,3,25,Ghost,", false, ""},
        {"$1,2,0,2,99999,1,Ghost,", false, ""},
        {"$3,2,0,1,3,Other kind,", false, ""},
        {"no record at all", false, ""},
        {"$1,2,0,1,24,Last,", true, "Last"},
        {"$2,5,270,4,18,19,20,21," + std::string(60, 'N') + ",#99", true, std::string(49, 'N')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        BoardWorld world(3, 3);
        StoreScript(1, c.script);
        CreateEventObject(0, 0.25f, 0, 1, 0, g_eventScripts);
        ASSERT_EQ(LivePieceSlots().size(), c.created ? 1u : 0u);
        if (c.created)
            EXPECT_EQ(std::string(PieceOf(&g_tasks[10])->name), c.name);
    }
}

TEST(Arrows, TextureByTheNextSquareAlongTheCorridorAndNoneTowardBlockedOffBoardOrLoops)
{
    {
        BoardWorld world(7, 5);
        // Square (3,2) links right, left and up. Right is a corridor T whose way straight on
        // is blocked: a kind-12 square lies up, a kind-13 square down. Left is a kind-10
        // square; up is blocked; down is a kind-14 square without a link.
        world.Squares({{3, 2, 11, kLinkHeading0 | kLinkHeading180 | kLinkHeading90},
                       {4, 1, 0},
                       {4, 2, 0},
                       {4, 3, 0},
                       {4, 0, 12},
                       {4, 4, 13},
                       {2, 2, 10},
                       {3, 3, 14}});
        // At the board's edge a link that leads off the board shows nothing.
        world.Squares({{6, 4, 10, kLinkHeading0 | kLinkHeading180}, {5, 4, 11}});
        BoardPiece* piece = SpawnPiece(10, kControllerPlayer, 3, 2, 0.0f);
        BoardPiece* atEdge = SpawnPiece(11, kControllerPlayer, 6, 4, 0.0f);
        ComputeDirectionArrows(piece);
        ComputeDirectionArrows(atEdge);
        EXPECT_EQ(Arrows(piece), (std::vector<int>{10, -1, 30, -1})) << "headings 0, 90, 180, 270";
        EXPECT_EQ(Arrows(atEdge), (std::vector<int>{-1, -1, 25, -1}));
    }
    // A corridor loop back to the square, and a dead end, end the look-ahead.
    BoardWorld world(5, 5);
    for (int column = 1; column <= 3; ++column)
        world.Corridor(column, 1), world.Corridor(column, 3);
    world.Squares({{1, 2, 0}, {3, 2, 0}, {2, 2, 10}});
    EXPECT_EQ(FindNextSquareKind(world.Index(2, 2), 90), -1);
    world.Squares({{3, 0, 10}, {4, 0, 0}});
    EXPECT_EQ(FindNextSquareKind(world.Index(3, 0), 0), -1);
}

TEST(Drawing, HigherTurnNumberHidesPiecesOnTheSameSpot)
{
    BoardWorld world(4, 4);
    BoardPiece* a = SpawnPiece(10, kControllerComputer, 1, 1, 0.0f, 1);
    BoardPiece* b = SpawnPiece(11, kControllerComputer, 1, 1, 0.0f, 2);
    BoardPiece* c = SpawnPiece(12, kControllerEnemy, 1, 1, 0.0f, 5);
    BoardPiece* d = SpawnPiece(13, kControllerEnemy, 1, 1, 0.0f, 6);
    a->turnNumber = 3;
    b->turnNumber = 2;
    auto hidden = [](std::initializer_list<BoardPiece*> pieces) {
        std::vector<int> out;
        for (BoardPiece* p : pieces)
            out.push_back(IsHiddenByOtherPiece(p));
        return out;
    };
    EXPECT_EQ(hidden({a, b, c, d}), (std::vector<int>{0, 1, 1, 1}));
    a->x += 0.6f; // no longer on the spot
    EXPECT_EQ(hidden({b, c}), (std::vector<int>{0, 1}));
    a->turnNumber = b->turnNumber = 0;
    EXPECT_EQ(hidden({c, d}), (std::vector<int>{0, 0})) << "groups outside the turn list are all drawn";
}

TEST(Drawing, ArrowsDieNumberAndThreeFaceMark)
{
    RecordedGraphics graphics;
    BoardWorld world(5, 5);
    world.Squares({{2, 2, 10, kLinkHeading0}, {3, 2, 12}});
    BoardPiece* piece = SpawnPiece(10, kControllerPlayer, 2, 2, 0.0f);
    Task* task = board_test::TaskOf(piece);
    plat::RecordedFrame& frame = graphics.Frame();

    DrawPiece(task); // at rest: the leader and nothing else
    EXPECT_EQ((std::tuple{graphics.MeshDraws(), frame.WorldFans().size(), frame.Sprites().size()}),
              std::make_tuple(size_t{1}, size_t{0}, size_t{0}));

    piece->stateProc = PlayerChooseDirection;
    piece->die = 5;
    ComputeDirectionArrows(piece);
    graphics.Clear();
    DrawPiece(task);
    const auto fans = frame.WorldFans();
    ASSERT_EQ(fans.size(), 1u);
    EXPECT_EQ(fans[0]->texture, g_textures[10]);
    // Centre 3 units ahead of the piece at (0, 0), at height 4; corners 1.4 away diagonally.
    const plat::WorldVertex first = frame.WorldVertexOf(*fans[0], 0);
    const plat::WorldVertex third = frame.WorldVertexOf(*fans[0], 2);
    const float corners[] = {first.x, first.z, third.x, third.z};
    const float expectedCorners[] = {2.01f, 0.99f, 3.99f, -0.99f};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(corners[i], expectedCorners[i], 0.01f) << i;
    EXPECT_EQ((std::vector<float>{first.y, first.u, first.v, third.u, third.v}), (std::vector<float>{4, 0, 0, 1, 1}));
    ASSERT_FALSE(frame.Sprites().empty());
    EXPECT_EQ((std::pair{frame.Sprites()[0].left, frame.Sprites()[0].top}), (std::pair{2.0f, 2.0f}))
        << "the steps left at the top left";

    piece->controller = kControllerComputer; // only the player sees arrows
    piece->dieFaces = 3;
    piece->stateProc = PieceIdle;
    graphics.Clear();
    DrawPiece(task);
    EXPECT_TRUE(frame.WorldFans().empty());
    const auto mark = frame.Sprites();
    ASSERT_EQ(mark.size(), 1u) << "the three-face mark, also at rest";
    // The atlas rectangle (276, 630)-(306, 642), in texels of the atlas texture.
    const float source[4] = {mark[0].srcLeft, mark[0].srcTop, mark[0].srcRight, mark[0].srcBottom};
    const float expected[4] = {276, 630, 306, 642};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(source[i], expected[i], 0.01f) << i;
}

// ---- A race started from the built packs in a headless game ----

namespace {
class StageStartRun : public FrontendRun {};
} // namespace

TEST_F(StageStartRun, ClearsTheLastResultBringsUpTurnsAndViewAndThePlayerRollsFirst)
{
    if (!board_test::HasStagePacks(dir_.path()))
        GTEST_SKIP() << "no stage packs";
    g_playerTeam = 0;
    g_stageLayers.stageNumber = 1;
    g_raceResult.nextPlaceFromTop = 2; // left over from an earlier race
    StartStageFromPacks();
    EXPECT_EQ((std::vector{g_tasks[2].alive, g_tasks[100].alive, g_raceResult.nextPlaceFromTop}),
              (std::vector{1, 1, 0}));
    EXPECT_TRUE(plat::BufferPlaying(g_music[1]) && !plat::BufferPlaying(g_music[0])) << "the board's music";
    Frames(3);
    const BoardPiece* team = FindPlayerTeamPiece();
    ASSERT_NE(team, nullptr);
    EXPECT_EQ((std::tuple{team->teamId, team->controller, team->stateProc}), std::make_tuple(0, 0, PlayerRollDie));
}
