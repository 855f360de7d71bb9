#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

#include "board/scripted_move.h"
#include "test_board_support.h"

using board_test::BoardWorld;
using board_test::Frame;
using board_test::RunUntil;
using board_test::SpawnPiece;

namespace {

constexpr int kPlayer = kControllerPlayer;
constexpr int kComputer = kControllerComputer;
constexpr int kEnemy = kControllerEnemy;

} // namespace

TEST(DieRules, CatchUpOnlyForTheLoneLastTeamTwelveBehindAndOnlyOnSixFaces)
{
    struct Case {
        std::vector<int> progress; // team pieces in slots 10, 11, ...; the first one rolls
        int faces;
        int expectDie;
        int expectFaces;
    };
    const Case cases[] = {
        {{0, 12, 20}, 6, 6, 6},        // 12 behind the next team
        {{0, 11, 20}, 6, 2, 6},        // 11 behind: no help
        {{0, 0, 20}, 6, 2, 6},         // level in last place
        {{20, 0, 12}, 6, 2, 6},        // not last
        {{0}, 6, 2, 6},                // alone on the board
        {{0, 12, 20}, 3, 2, 6},        // a three-face roll returns to six and gets no help
        {{0, 12, 20}, 2, 2, 2},        // other counts stay
        {{0, 12, 13, 14, 5}, 6, 2, 6},  // more team pieces than three: the fifth is next
    };
    for (const Case& c : cases) {
        BoardWorld world(4, 4);
        std::vector<BoardPiece*> teams;
        for (size_t i = 0; i < c.progress.size(); ++i) {
            teams.push_back(SpawnPiece(10 + static_cast<int>(i), kComputer, 0, 0, 0.0f, static_cast<int>(i % 3)));
            teams.back()->progress = c.progress[i];
        }
        // An enemy group far behind does not count as a team.
        SpawnPiece(19, kEnemy, 0, 0, 0.0f, 3)->progress = -50;
        teams[0]->die = 2;
        teams[0]->dieFaces = c.faces;
        ApplyDieRules(teams[0]);
        EXPECT_EQ(teams[0]->die, c.expectDie) << "progress " << ::testing::PrintToString(c.progress) << " faces " << c.faces;
        EXPECT_EQ(teams[0]->dieFaces, c.expectFaces);
    }
}

TEST(DieRules, ComputerSpinOfTwentySevenFramesOnAThreeFaceDie)
{
    BoardWorld world(4, 4);
    BoardPiece* team = SpawnPiece(10, kComputer, 0, 0, 0.0f, 1);
    SpawnPiece(11, kComputer, 0, 0, 0.0f, 2)->progress = 30; // far ahead: the rule would give a 6
    team->dieFaces = 3;
    team->moveProc = PieceStartTurn;
    SeedRandom(54); // first draws: 4 of 6 (20 frames), then 7 of 10
    Frame(team);
    Frame(team);
    ASSERT_EQ(team->moveProc, AutoRollDie);
    EXPECT_EQ(team->spinCountdown, 27);
    std::set<int> faces;
    for (int frame = 1; frame < 27; ++frame) {
        ClearSoundRequests();
        Frame(team);
        faces.insert(team->die);
        ASSERT_EQ(team->moveProc, AutoRollDie) << "frame " << frame;
        EXPECT_FALSE(BoardWorld::Heard(0));
    }
    Frame(team);
    EXPECT_EQ(team->moveProc, AutoChooseDirection);
    EXPECT_TRUE(BoardWorld::Heard(0));
    EXPECT_EQ(faces, (std::set<int>{1, 2, 3}));
    EXPECT_EQ(team->dieFaces, 6);
    EXPECT_LE(team->die, 3) << "the three-face roll stands";
}

TEST(PlayerChoice, FirstPressedKeyDecidesClosedWaysSoundAndBlockedOnesAreSilent)
{
    struct Case { std::initializer_list<int> keys; PieceProc expectProc; float expectHeading; bool refusedSound; };
    // Square (2,2) opens right and up; left is a corridor it does not open; down is blocked.
    const Case cases[] = {
        {{kKeyRight, kKeyUp}, PlayerStepMove, 0.0f, false},
        {{kKeyUp}, PlayerStepMove, 90.0f, false},
        {{kKeyLeft}, PlayerChooseDirection, 270.0f, true},
        {{kKeyLeft, kKeyUp}, PlayerChooseDirection, 270.0f, true}, // Left comes before Up
        {{kKeyDown}, PlayerChooseDirection, 270.0f, false},
        {{}, PlayerChooseDirection, 270.0f, false},
    };
    for (const Case& c : cases) {
        BoardWorld world(5, 5);
        world.Square(2, 2, 10, kLinkHeading0 | kLinkHeading90);
        world.Square(3, 2, 11);
        world.Square(2, 1, 12);
        world.Corridor(1, 2);
        BoardPiece* piece = SpawnPiece(10, kPlayer, 2, 2, 270.0f);
        piece->moveProc = PlayerChooseDirection;
        piece->subStep = 2;
        BoardWorld::PressKeys(c.keys);
        Frame(piece);
        EXPECT_EQ(piece->moveProc, c.expectProc) << "keys " << c.keys.size();
        EXPECT_EQ(piece->heading, c.expectHeading);
        EXPECT_EQ(BoardWorld::Heard(8), c.refusedSound);
        if (c.expectProc == PlayerStepMove) EXPECT_EQ(piece->subStep, 0);
    }
}

// A piece left off whole units (a loaded race, a hop) stands on them again once it
// waits or starts going back; halves go away from zero.
TEST(Snapping, AWaitingPieceAndAGoBackStandOnWholeUnits)
{
    BoardWorld world(4, 4);
    BoardPiece* piece = SpawnPiece(10, kComputer, 1, 1, 0.0f);
    for (PieceProc proc : {PieceIdle, BeginGoBack}) {
        piece->x = 2.5f;
        piece->z = -3.5f;
        proc(piece);
        EXPECT_EQ((std::tuple{piece->x, piece->z}), std::make_tuple(3.0f, -4.0f));
    }
}

TEST(Corridors, PreferenceTableStraightThenTurnsThenBack)
{
    struct Case {
        float heading;
        std::vector<float> open; // walkable neighbours of the corridor cell, by heading
        float expect;
    };
    const Case cases[] = {
        {0, {0, 270, 90, 180}, 0},  {0, {270, 90, 180}, 270}, {0, {90, 180}, 90},   {0, {180}, 180},
        {180, {270, 90, 0}, 270},   {180, {90, 0}, 90},       {180, {0}, 0},         {270, {0, 180, 90}, 0},
        {270, {180, 90}, 180},      {270, {90}, 90},          {90, {0, 180, 270}, 0}, {90, {180, 270}, 180},
        {90, {270}, 270},
    };
    for (const Case& c : cases) {
        BoardWorld world(5, 5);
        world.Corridor(2, 2);
        for (float h : c.open) {
            if (h == 0) world.Corridor(3, 2);
            if (h == 180) world.Corridor(1, 2);
            if (h == 90) world.Corridor(2, 1);
            if (h == 270) world.Corridor(2, 3);
        }
        BoardPiece* piece = SpawnPiece(10, kComputer, 2, 2, c.heading);
        FollowCorridor(piece);
        EXPECT_EQ(piece->heading, c.expect) << "heading " << c.heading << " with " << c.open.size() << " open";
    }
}

TEST(Arrival, GoalStopsTheMoveWithStepsLeft)
{
    BoardWorld world(7, 3);
    world.Square(1, 1, 10, kLinkHeading0 | kRouteStart);
    world.Square(2, 1, 11, kLinkHeading0);
    world.Square(3, 1, 12, kLinkHeading0 | kRouteGoal);
    world.Square(4, 1, 13, kLinkHeading0);
    world.Square(5, 1, 14);
    BoardPiece* piece = SpawnPiece(10, kComputer, 1, 1, 0.0f, 1);
    piece->moveProc = AutoChooseDirection;
    piece->die = 4;
    SeedRandom(7);
    ASSERT_GT(RunUntil(piece, PieceArrive), 0);
    EXPECT_EQ((std::tuple{piece->x, piece->die, piece->progress}), std::make_tuple(BoardWorld::X(3), 0, 2));
}

TEST(Arrival, WaitsForTheLastFigureThenForTheEventTask)
{
    BoardWorld world(4, 4);
    world.Square(1, 1, 10);
    BoardPiece* piece = SpawnPiece(10, kComputer, 1, 1, 0.0f, 1);
    piece->moveProc = PieceArrive;
    piece->figures[5].motionProc = FigureIdleState;
    piece->figures[5].x = piece->x - 2.0f;
    Frame(piece);
    EXPECT_EQ(piece->moveProc, PieceArrive);
    piece->figures[5].x = piece->x - 0.4f;
    Frame(piece);
    EXPECT_EQ(piece->moveProc, PieceWaitEvent);

    Task* event = CreateTask(kEventSlot); // an event still running
    event->alive = 1;
    Frame(piece);
    EXPECT_EQ(piece->moveProc, PieceWaitEvent);
    event->alive = piece->die = 0;
    Frame(piece);
    EXPECT_EQ((std::tuple{piece->moveProc, piece->die}), std::make_tuple(PieceIdle, 1));
    for (const Figure& figure : piece->figures) {
        EXPECT_EQ((std::tuple{figure.x, figure.z}), std::make_tuple(piece->x, piece->z));
    }
}

TEST(Arrival, SquareEventStartsOnlyForNumbersWithAScript)
{
    for (int n : {11, 12, 1}) {
        BoardWorld world(4, 4);
        world.Square(1, 1, 10);
        world.Event(1, 1, n);
        g_eventCount = n == 1 ? 1 : 10;
        BoardPiece* piece = SpawnPiece(11, kComputer, 1, 1, 0.0f, 1);
        piece->moveProc = PieceArrive;
        Frame(piece);
        EXPECT_EQ(piece->moveProc, PieceWaitEvent);
        if (n == 1) {
            ASSERT_EQ(g_tasks[kEventSlot].alive, 1);
            EXPECT_EQ(TaskWork<EventTask>(&g_tasks[kEventSlot])->piece, piece);
            EXPECT_EQ(TaskWork<EventTask>(&g_tasks[kEventSlot])->scriptSlot, 0);
            continue;
        }
        EXPECT_EQ(g_tasks[kEventSlot].alive, 0) << "event " << n << " has no script slot";
        Frame(piece);
        EXPECT_EQ(piece->moveProc, PieceIdle);
    }
}

TEST(RoamingGroup, WalksItsOwnLayerIgnoresTheGoalAndKeepsItsDie)
{
    BoardWorld world(5, 5);
    // The route layer would lead right; the group follows its own links up, through the goal.
    world.Square(2, 3, 10, kLinkHeading0);
    world.EnemyLinks(2, 3, kLinkHeading90);
    world.Square(3, 3, 11);
    world.Square(2, 2, 12, kRouteGoal);
    world.EnemyLinks(2, 2, kLinkHeading90);
    world.Square(2, 1, 13);
    BoardPiece* group = SpawnPiece(10, kEnemy, 2, 3, 0.0f, 3);
    SpawnPiece(11, kComputer, 0, 0, 0.0f, 1)->progress = 30; // the catch-up rule would give a 6
    group->moveProc = EnemyRollDie; // the last frame of its spin on a three-face die
    group->spinCountdown = 1;
    group->dieFaces = 3;
    SeedRandom(3);
    ASSERT_GT(RunUntil(group, EnemyArrive), 0);
    EXPECT_EQ((std::tuple{group->x, group->z, group->heading}),
              std::make_tuple(BoardWorld::X(2), BoardWorld::Z(1), 90.0f));
    EXPECT_EQ((std::vector<int>{group->progress, group->die, group->dieFaces}), (std::vector<int>{0, 0, 3}));
}

TEST(NoWayOn, TurnEndsInsteadOfWalkingOrDrawingForEver)
{
    struct Case { const char* what; int controller; PieceProc start; };
    const Case choosers[] = {
        {"computer", kComputer, AutoChooseDirection},
        {"player", kPlayer, PlayerChooseDirection},
        {"group", kEnemy, EnemyChooseDirection},
    };
    for (const Case& c : choosers) {
        // Only link: off the board at the right edge, or into blocked ground below.
        BoardWorld world(4, 4);
        world.Square(3, 1, 14, kLinkHeading0 | kLinkHeading270 | kRouteGoal);
        world.EnemyLinks(3, 1, kLinkHeading0 | kLinkHeading270);
        BoardPiece* piece = SpawnPiece(10, c.controller, 3, 1, 180.0f, c.controller == kEnemy ? 3 : 1);
        piece->moveProc = c.start;
        piece->die = 3;
        BoardWorld::PressKeys({kKeyRight});
        Frame(piece);
        EXPECT_EQ(piece->moveProc, PieceIdle) << c.what;
        EXPECT_EQ(piece->x, BoardWorld::X(3)) << c.what;
        EXPECT_EQ(piece->die, 1) << c.what;
    }

    // A corridor cell walled in on every side (its square behind turned to rock).
    BoardWorld world(5, 5);
    world.Corridor(2, 2);
    BoardPiece* piece = SpawnPiece(10, kComputer, 2, 2, 0.0f, 1);
    piece->x -= 0.5f;
    piece->subStep = 3;
    piece->moveProc = AutoStepMove;
    Frame(piece);
    EXPECT_EQ((std::tuple{piece->moveProc, piece->x}), std::make_tuple(PieceIdle, BoardWorld::X(2)));
}

TEST(NoWayOn, ComputerDrawsOnlyWaysThatCanBeWalked)
{
    BoardWorld world(4, 4);
    world.Square(3, 1, 10, kLinkHeading0 | kLinkHeading180); // right leads off the board
    world.Square(2, 1, 11);
    BoardPiece* piece = SpawnPiece(10, kComputer, 3, 1, 0.0f, 1);
    piece->moveProc = AutoChooseDirection;
    piece->die = 1;
    SeedRandom(3); // the first two draws pick the link off the board
    ASSERT_GT(RunUntil(piece, PieceArrive), 0);
    EXPECT_EQ((std::tuple{piece->x, piece->heading}), std::make_tuple(BoardWorld::X(2), 180.0f));
}

TEST(ControlSwitch, RestartsAnUnstartedRollAndSavingOnlyWhileThePlayersDieSpins)
{
    BoardWorld world(4, 4);
    g_playerTeam = 1;
    SpawnPiece(10, kComputer, 0, 0, 0.0f, 0);
    BoardPiece* mine = SpawnPiece(11, kPlayer, 1, 1, 0.0f, 1);
    mine->moveProc = PlayerRollDie;
    EXPECT_EQ(CanPlayerSave(), 1);

    SetPlayerTeamController(kComputer);
    EXPECT_EQ((std::tuple{mine->controller, mine->moveProc}), std::make_tuple(kComputer, PieceStartTurn));
    EXPECT_TRUE(BoardWorld::Heard(4));
    EXPECT_EQ(CanPlayerSave(), 0);
    EXPECT_EQ(PieceOf(&g_tasks[10])->controller, kComputer) << "another team is left alone";

    // Back to manual while the computer's spin runs: the spin finishes as the computer's.
    mine->moveProc = AutoRollDie;
    SetPlayerTeamController(kPlayer);
    EXPECT_EQ(mine->controller, kPlayer);
    EXPECT_EQ(mine->moveProc, AutoRollDie);
    EXPECT_EQ(CanPlayerSave(), 0);

    ClearSoundRequests();
    g_playerTeam = 2; // no piece of that team: nothing happens
    SetPlayerTeamController(kComputer);
    EXPECT_FALSE(BoardWorld::Heard(4));
}
