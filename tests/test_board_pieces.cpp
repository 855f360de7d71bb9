#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "board/characters.h"
#include "board/turn.h"
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
        if (g_tasks[slot].alive && g_tasks[slot].kind == 1) slots.push_back(slot);
    return slots;
}

} // namespace

TEST(Placement, PiecesTakeSlotsInRowOrderWithTheirRecords)
{
    BoardWorld world(6, 4);
    g_playerTeam = 1;
    g_eventCount = 4;
    world.Event(4, 0, 3); // first in row order
    world.Event(1, 2, 1);
    world.Event(5, 2, 2);
    world.Event(0, 3, 4); // a script without a piece
    StoreScript(1, "$1,0,180,6,0,1,2,3,4,5,Red Team,#99");
    StoreScript(2, "$1,1,0,6,6,7,8,9,10,11,Blue,#99");
    StoreScript(3, "#10,hello,$2,3,90,4,18,19,20,21,Wolves,#99");
    StoreScript(4, "#99");
    PlaceEventObjects();

    ASSERT_EQ(LivePieceSlots(), (std::vector<int>{10, 11, 12}));
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
    EXPECT_EQ((std::vector<PieceProc>{wolves->moveProc, red->moveProc, blue->moveProc}),
              (std::vector<PieceProc>{PieceIdle, PieceIdle, PieceStartTurn}));
    EXPECT_EQ((std::vector<int>{red->controller, int(red->heading), blue->controller}), (std::vector<int>{1, 180, 0}))
        << "team 1 is the player's";
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ((std::tuple{blue->members[i].id, blue->figures[i].modelId, blue->figures[i].ahead}),
                  std::make_tuple(6 + i, g_characters[6 + i].modelId, i == 0 ? nullptr : &blue->figures[i - 1]));
    }
    EXPECT_EQ((std::vector<int>{blue->die, blue->dieFaces, blue->progress, blue->arrowTexture[0], blue->arrowTexture[3]}),
              (std::vector<int>{1, 6, 0, -1, -1}));
    EXPECT_EQ(FindPlayerTeamTask(), blue);
}

TEST(Placement, RecordsThatDoNotFitAPieceCreateNothing)
{
    struct Case { std::string script; bool created; };
    const Case cases[] = {
        {"$1,2,0,0,Nobody,", false},
        {"$1,2,0,7,0,1,2,3,4,5,6,Crowd,", false},
        {"$1,2,0,2,3,25,Ghost,", false},
        {"$1,2,0,2,99999,1,Ghost,", false},
        {"$3,2,0,1,3,Other kind,", false},
        {"no record at all", false},
        {"$1,2,0,1,24,Last,", true},
    };
    for (const Case& c : cases) {
        BoardWorld world(3, 3);
        StoreScript(1, c.script);
        CreateEventObject(0, 0.25f, 0, 1, 0, g_eventScripts);
        EXPECT_EQ(LivePieceSlots().size(), c.created ? 1u : 0u) << c.script;
    }
}

TEST(Placement, LongNameIsCutAndCountDecidesWhereTheNameStarts)
{
    BoardWorld world(3, 3);
    const std::string longName(60, 'N');
    StoreScript(1, "$2,5,270,4,18,19,20,21," + longName + ",#99");
    CreateEventObject(0, 0.25f, 0, 1, 0, g_eventScripts);
    ASSERT_EQ(LivePieceSlots().size(), 1u);
    const BoardPiece* piece = PieceOf(&g_tasks[10]);
    EXPECT_EQ((std::tuple{std::string(piece->name), piece->members[3].id}), std::make_tuple(std::string(49, 'N'), 21));
}

TEST(Arrows, TextureByTheNextSquareAlongTheCorridorAndNoneTowardBlockedOrOffBoard)
{
    {
    BoardWorld world(7, 5);
    // Square (3,2) links right, left and up. Right is a corridor T whose way straight on
    // is blocked: a kind-12 square lies up, a kind-13 square down. Left is a kind-10
    // square; up is blocked; down is a kind-14 square without a link.
    world.Square(3, 2, 11, kLinkHeading0 | kLinkHeading180 | kLinkHeading90);
    world.Corridor(4, 2);
    world.Corridor(4, 1);
    world.Square(4, 0, 12);
    world.Corridor(4, 3);
    world.Square(4, 4, 13);
    world.Square(2, 2, 10);
    world.Square(3, 3, 14);
    BoardPiece* piece = SpawnPiece(10, kControllerPlayer, 3, 2, 0.0f);
    ComputeDirectionArrows(piece);
    // Headings 0, 90, 180, 270.
    EXPECT_EQ(std::vector<int>(piece->arrowTexture, piece->arrowTexture + 4), (std::vector<int>{10, -1, 30, -1}));

    // The arrow looks up the T, while a walking piece takes the way down there.
    BoardPiece* walker = SpawnPiece(11, kControllerComputer, 4, 2, 0.0f, 1);
    FollowCorridor(walker);
    EXPECT_EQ(walker->heading, 270.0f);
    }

    // At the board's edge a link that leads off the board shows nothing.
    BoardWorld edge(3, 3);
    edge.Square(2, 1, 10, kLinkHeading0 | kLinkHeading180);
    edge.Square(1, 1, 11);
    BoardPiece* atEdge = SpawnPiece(10, kControllerPlayer, 2, 1, 0.0f);
    ComputeDirectionArrows(atEdge);
    EXPECT_EQ(std::vector<int>(atEdge->arrowTexture, atEdge->arrowTexture + 4), (std::vector<int>{-1, -1, 25, -1}));
}

TEST(Arrows, CorridorLoopWithoutASquareEnds)
{
    {
    BoardWorld world(5, 5);
    for (int column = 1; column <= 3; ++column) {
        world.Corridor(column, 1);
        world.Corridor(column, 3);
    }
    world.Corridor(1, 2);
    world.Corridor(3, 2);
    world.Square(2, 2, 10, kLinkHeading90);
    world.Corridor(2, 1);
    EXPECT_EQ(FindNextSquareKind(world.Index(2, 2), 90), -1);
    }
    // A dead end gives no arrow either.
    BoardWorld dead(5, 5);
    dead.Square(1, 1, 10);
    dead.Corridor(2, 1);
    EXPECT_EQ(FindNextSquareKind(dead.Index(1, 1), 0), -1);
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
    EXPECT_EQ(std::vector<int>({IsHiddenByOtherPiece(a), IsHiddenByOtherPiece(b), IsHiddenByOtherPiece(c),
                                IsHiddenByOtherPiece(d)}),
              (std::vector<int>{0, 1, 1, 1}));
    a->x += 0.6f; // no longer on the spot
    EXPECT_EQ(std::vector<int>({IsHiddenByOtherPiece(b), IsHiddenByOtherPiece(c)}), (std::vector<int>{0, 1}));
    a->turnNumber = b->turnNumber = 0;
    EXPECT_EQ(std::vector<int>({IsHiddenByOtherPiece(c), IsHiddenByOtherPiece(d)}), (std::vector<int>{0, 0}))
        << "groups outside the turn list are all drawn";
}

TEST(Drawing, ArrowsDieNumberAndThreeFaceMark)
{
    RecordedGraphics graphics;
    BoardWorld world(5, 5);
    world.Square(2, 2, 10, kLinkHeading0);
    world.Square(3, 2, 12);
    BoardPiece* piece = SpawnPiece(10, kControllerPlayer, 2, 2, 0.0f);
    Task* task = board_test::TaskOf(piece);

    DrawPiece(task); // at rest: the leader and nothing else
    EXPECT_EQ(graphics.MeshDraws(), 1u);
    EXPECT_TRUE(graphics.Frame().WorldFans().empty());
    EXPECT_TRUE(graphics.Frame().Sprites().empty());

    piece->moveProc = PlayerChooseDirection;
    piece->die = 5;
    ComputeDirectionArrows(piece);
    graphics.Clear();
    DrawPiece(task);
    const auto fans = graphics.Frame().WorldFans();
    ASSERT_EQ(fans.size(), 1u);
    EXPECT_EQ(fans[0]->texture, g_textures[10]);
    const plat::WorldVertex first = graphics.Frame().WorldVertexOf(*fans[0], 0);
    const plat::WorldVertex third = graphics.Frame().WorldVertexOf(*fans[0], 2);
    // Centre 3 units ahead of the piece at (0, 0), at height 4; corners 1.4 away diagonally.
    EXPECT_NEAR(first.x, 3.0f - 0.99f, 0.01f);
    EXPECT_NEAR(first.z, 0.99f, 0.01f);
    EXPECT_NEAR(third.x, 3.0f + 0.99f, 0.01f);
    EXPECT_NEAR(third.z, -0.99f, 0.01f);
    EXPECT_EQ(first.y, 4.0f);
    EXPECT_EQ((std::vector<float>{first.u, first.v, third.u, third.v}), (std::vector<float>{0, 0, 1, 1}));
    const auto sprites = graphics.Frame().Sprites();
    ASSERT_FALSE(sprites.empty());
    EXPECT_EQ(sprites[0].left, 2.0f) << "the steps left at the top left";
    EXPECT_EQ(sprites[0].top, 2.0f);

    piece->controller = kControllerComputer; // only the player sees arrows
    piece->dieFaces = 3;
    piece->moveProc = PieceIdle;
    graphics.Clear();
    DrawPiece(task);
    EXPECT_TRUE(graphics.Frame().WorldFans().empty());
    const auto mark = graphics.Frame().Sprites();
    ASSERT_EQ(mark.size(), 1u) << "the three-face mark, also at rest";
    // The atlas rectangle (276, 630)-(306, 642) of the 2048-texel atlas.
    const float source[4] = {mark[0].u0 * 2048, mark[0].v0 * 2048, mark[0].u1 * 2048, mark[0].v1 * 2048};
    const float expected[4] = {276, 630, 306, 642};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(source[i], expected[i], 0.01f) << i;
}

// ---- A race started from packs in a headless game ----

#include "board/race_result.h"
#include "frontend/title.h"
#include "test_frontend_fixture.h"

namespace {

using test_support::Bytes;

// A 5 x 3 stage as stage 1 of a pack: start square (0,1), a corridor, a square with an
// enemy group, the goal square; the player's team on the start.
Bytes SmallMapPack()
{
    board_test::MapEntry stage(5, 3, 15);
    stage.Cell(0, 1, 10, 16 | 1);
    stage.event[stage.At(0, 1)] = 1;
    stage.Cell(1, 1, 0);
    stage.Cell(2, 1, 11, 1);
    stage.event[stage.At(2, 1)] = 2;
    stage.Cell(3, 1, 12, 32);
    return board_test::MapPack({{0, stage.Serialised()}}); // every stage offset 0
}

// Stage 1's scripts, every byte inverted as the pack stores them.
Bytes SmallEventPack()
{
    return board_test::EventPack({"$1,0,0,6,0,1,2,3,4,5,Red,#99@$2,3,0,2,18,19,Wolves,#99@"});
}

class StageStartRun : public FrontendRun {
protected:
    void WritePacks()
    {
        test_support::WriteFileBytes(dir_ / "mappack.dat", SmallMapPack());
        test_support::WriteFileBytes(dir_ / "epack.dat", SmallEventPack());
    }
    // Mesh draws whose model stands at (x, z).
    static int ModelsAt(float x, float z)
    {
        const plat::RecordedFrame& frame = plat::LastRecordedFrame();
        int count = 0;
        for (const plat::RecordedDraw* draw : frame.MeshDraws()) {
            const plat::Matrix4& world = frame.StateOf(*draw).world;
            // A model is drawn subset by subset; its first subset counts it.
            if (draw->subset == 0 && std::fabs(world.m[3][0] - x) < 0.01f && std::fabs(world.m[3][2] - z) < 0.01f)
                ++count;
        }
        return count;
    }
};

} // namespace

TEST_F(StageStartRun, PiecesTurnsAndViewComeUpAndThePlayerRollsFirst)
{
    WritePacks();
    g_playerTeam = 0;
    g_stageNumber = 1;
    g_raceResult.nextPlaceFromTop = 2; // left over from an earlier race
    StartStageFromPacks();
    EXPECT_EQ(LiveSlots(), (std::vector<int>{2, 10, 11, 100}));
    BoardPiece* team = PieceOf(&g_tasks[10]);
    const BoardPiece* group = PieceOf(&g_tasks[11]);
    EXPECT_EQ((std::tuple{team->controller, group->controller, g_raceResult.nextPlaceFromTop}), std::make_tuple(0, 2, 0));

    Frames(3);
    EXPECT_EQ(team->moveProc, PlayerRollDie);
    // Centres: column 0 at x -4, column 2 at x 0, row 1 at z 0.
    EXPECT_EQ(ModelsAt(-4.0f, 0.0f), 1) << "a party at rest shows its leader only";
    EXPECT_EQ(ModelsAt(0.0f, 0.0f), 1);

    Press(kKeyReturn);
    EXPECT_TRUE(Heard(0));
    EXPECT_EQ(team->moveProc, PlayerChooseDirection);
    const auto fans = plat::LastRecordedFrame().WorldFans();
    int arrows = 0;
    for (const plat::RecordedDraw* fan : fans)
        if (fan->texture == g_textures[23] && plat::LastRecordedFrame().WorldVertexOf(*fan, 0).y == 4.0f) ++arrows;
    EXPECT_EQ(arrows, 1) << "one arrow, toward the kind-11 square along the corridor";

    Press(kKeyRight);
    Frames(12);
    EXPECT_EQ((std::tuple{team->progress, team->x}), std::make_tuple(1, 0.0f));
}

TEST_F(StageStartRun, MissingMapPackReturnsToTheTitle)
{
    g_stageNumber = 1;
    std::filesystem::remove(dir_ / "mappack.dat");
    test_support::WriteFileBytes(dir_ / "epack.dat", SmallEventPack());
    StartStageFromPacks();
    EXPECT_EQ(LiveSlots(), (std::vector<int>{kTitleSlot}));
}
