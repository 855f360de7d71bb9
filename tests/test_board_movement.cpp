// How pieces move: the die rules and spins, the player's choice of way, corridors,
// arrival, the roaming group, boards with no way on, and handing the team over.
#include "board/scripted_move.h"
#include "board/task_table.h"
#include "test_board_support.h"

using board_test::BoardWorld;
using board_test::Frame;
using board_test::RunUntil;
using board_test::SpawnPiece;

TEST(DieRules, CatchUpOnlyForTheLoneLastTeamTwelveBehindAndOnlyOnSixFaces)
{
    // Team pieces in slots 10, 11, ...; the first one rolls a 2.
    struct Case {
        std::vector<int> progress;
        int faces, expectDie, expectFaces;
    };
    const Case cases[] = {
        {{0, 12, 20}, 6, 6, 6},        // 12 behind the next team
        {{0, 11, 20}, 6, 2, 6},        // 11 behind: no help
        {{0, 0, 20}, 6, 2, 6},         // level in last place
        {{20, 0, 12}, 6, 2, 6},        // not last
        {{0}, 6, 2, 6},                // alone on the board
        {{0, 12, 20}, 3, 2, 6},        // a three-face roll returns to six and gets no help
        {{0, 12, 20}, 2, 2, 2},        // other counts stay
        {{0, 12, 13, 14, 5}, 6, 2, 6}, // more team pieces than three: the fifth is next
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.progress) + " faces " + std::to_string(c.faces));
        BoardWorld world(4, 4);
        std::vector<BoardPiece*> teams;
        for (size_t i = 0; i < c.progress.size(); ++i) {
            teams.push_back(
                SpawnPiece(10 + static_cast<int>(i), kControllerComputer, 0, 0, 0.0f, static_cast<int>(i % 3)));
            teams.back()->progress = c.progress[i];
        }
        SpawnPiece(19, kControllerEnemy, 0, 0, 0.0f, 3)->progress = -50; // a group far behind is no team
        teams[0]->die = 2;
        teams[0]->dieFaces = c.faces;
        ApplyDieRules(teams[0]);
        EXPECT_EQ((std::pair{teams[0]->die, teams[0]->dieFaces}), (std::pair{c.expectDie, c.expectFaces}));
    }
}

TEST(DieRules, ComputerSpinOfTwentySevenFramesOnAThreeFaceDie)
{
    BoardWorld world(4, 4);
    BoardPiece* team = SpawnPiece(10, kControllerComputer, 0, 0, 0.0f, 1);
    SpawnPiece(11, kControllerComputer, 0, 0, 0.0f, 2)->progress = 30; // far ahead: the rule would give a 6
    team->dieFaces = 3;
    team->stateProc = PieceStartTurn;
    SeedRandom(54); // first draws: 4 of 6 (20 frames), then 7 of 10
    Frame(team);
    Frame(team);
    ASSERT_EQ(team->stateProc, AutoRollDie);
    EXPECT_EQ(team->spinCountdown, 27);
    std::set<int> faces;
    for (int frame = 1; frame < 27; ++frame) {
        ClearSoundRequests();
        Frame(team);
        faces.insert(team->die);
        ASSERT_EQ(team->stateProc, AutoRollDie) << "frame " << frame;
        EXPECT_FALSE(BoardWorld::Heard(0));
    }
    Frame(team);
    EXPECT_EQ((std::tuple{team->stateProc, BoardWorld::Heard(0), faces, team->dieFaces}),
              std::make_tuple(AutoChooseDirection, true, std::set<int>{1, 2, 3}, 6));
    EXPECT_LE(team->die, 3) << "the three-face roll stands";
}

TEST(PlayerChoice, FirstPressedKeyDecidesClosedWaysSoundAndBlockedOnesAreSilent)
{
    struct Case {
        std::initializer_list<int> keys;
        PieceProc expectProc;
        float expectHeading;
        bool refusedSound;
    };
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
        SCOPED_TRACE(c.keys.size() > 0 ? *c.keys.begin() : -1);
        BoardWorld world(5, 5);
        world.Squares({{2, 2, 10, kLinkHeading0 | kLinkHeading90}, {3, 2, 11}, {2, 1, 12}, {1, 2, 0}});
        BoardPiece* piece = SpawnPiece(10, kControllerPlayer, 2, 2, 270.0f);
        piece->stateProc = PlayerChooseDirection;
        piece->subStep = 2;
        BoardWorld::PressKeys(c.keys);
        Frame(piece);
        EXPECT_EQ((std::tuple{piece->stateProc, piece->heading, BoardWorld::Heard(8)}),
                  std::make_tuple(c.expectProc, c.expectHeading, c.refusedSound));
        if (c.expectProc == PlayerStepMove)
            EXPECT_EQ(piece->subStep, 0);
    }
}

// A piece left off whole units (a loaded race, a hop) stands on them again once it
// waits or starts going back; halves go away from zero.
TEST(Snapping, AWaitingPieceAndAGoBackStandOnWholeUnits)
{
    BoardWorld world(4, 4);
    BoardPiece* piece = SpawnPiece(10, kControllerComputer, 1, 1, 0.0f);
    for (PieceProc proc : {PieceIdle, BeginGoBack}) {
        piece->x = 2.5f;
        piece->z = -3.5f;
        proc(piece);
        EXPECT_EQ((std::tuple{piece->x, piece->z}), std::make_tuple(3.0f, -4.0f));
    }
}

TEST(Corridors, PreferenceTableStraightThenTurnsThenBack)
{
    // Walkable neighbours of the corridor cell (2,2), by heading.
    struct Case {
        float heading;
        std::vector<int> open;
        float expect;
    };
    const Case cases[] = {
        {0, {0, 270, 90, 180}, 0}, {0, {270, 90, 180}, 270}, {0, {90, 180}, 90},     {0, {180}, 180},
        {180, {270, 90, 0}, 270},  {180, {90, 0}, 90},       {180, {0}, 0},          {270, {0, 180, 90}, 0},
        {270, {180, 90}, 180},     {270, {90}, 90},          {90, {0, 180, 270}, 0}, {90, {180, 270}, 180},
        {90, {270}, 270},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("heading " + std::to_string(c.heading) + ", " + std::to_string(c.open.size()) + " open");
        BoardWorld world(5, 5);
        world.Corridor(2, 2);
        for (int h : c.open)
            world.Corridor(2 + (h == 0) - (h == 180), 2 + (h == 270) - (h == 90));
        BoardPiece* piece = SpawnPiece(10, kControllerComputer, 2, 2, c.heading);
        FollowCorridor(piece);
        EXPECT_EQ(piece->heading, c.expect);
    }
}

TEST(Arrival, GoalStopsTheMoveWithStepsLeft)
{
    BoardWorld world(7, 3);
    world.Squares({{1, 1, 10, kLinkHeading0 | kRouteStart},
                   {2, 1, 11, kLinkHeading0},
                   {3, 1, 12, kLinkHeading0 | kRouteGoal},
                   {4, 1, 13, kLinkHeading0},
                   {5, 1, 14}});
    BoardPiece* piece = SpawnPiece(10, kControllerComputer, 1, 1, 0.0f, 1);
    piece->stateProc = AutoChooseDirection;
    piece->die = 4;
    SeedRandom(7);
    ASSERT_GT(RunUntil(piece, PieceArrive), 0);
    EXPECT_EQ((std::tuple{piece->x, piece->die, piece->progress}), std::make_tuple(BoardWorld::X(3), 0, 2));
}

// The piece waits for its last figure (within 0.4), then for the event of its square
// while it runs; numbers beyond the loaded scripts start nothing. Another team on the
// square is no group to fight: the square's event runs.
TEST(Arrival, WaitsForTheLastFigureThenForTheEventWhereThereIsAScript)
{
    for (int n : {11, 12, 1}) {
        SCOPED_TRACE(n);
        BoardWorld world(4, 4);
        world.Square(1, 1, 10);
        world.Event(1, 1, n);
        g_eventCount = n == 1 ? 1 : 10;
        SpawnPiece(10, kControllerComputer, 1, 1, 0.0f, 2);
        BoardPiece* piece = SpawnPiece(11, kControllerComputer, 1, 1, 0.0f, 1);
        piece->stateProc = PieceArrive;
        piece->figures[5].motionProc = FigureIdleState;
        piece->figures[5].x = piece->x - 2.0f;
        Frame(piece);
        EXPECT_EQ(piece->stateProc, PieceArrive);
        piece->figures[5].x = piece->x - 0.4f;
        Frame(piece);
        EXPECT_EQ((std::tuple{piece->stateProc, g_tasks[kEventSlot].alive}),
                  std::make_tuple(PieceWaitEvent, n == 1 ? 1 : 0));
        if (n == 1) {
            const EventTask* event = TaskWork<EventTask>(&g_tasks[kEventSlot]);
            EXPECT_EQ((std::tuple{event->piece, event->scriptSlot}), std::make_tuple(piece, 0));
            Frame(piece);
            EXPECT_EQ(piece->stateProc, PieceWaitEvent);
            g_tasks[kEventSlot].alive = 0;
        }
        piece->die = 0;
        Frame(piece);
        EXPECT_EQ((std::tuple{piece->stateProc, piece->die}), std::make_tuple(PieceIdle, 1));
        for (const Figure& figure : piece->figures)
            EXPECT_EQ((std::tuple{figure.x, figure.z}), std::make_tuple(piece->x, piece->z));
    }
}

TEST(RoamingGroup, WalksItsOwnLayerIgnoresTheGoalAndKeepsItsDie)
{
    BoardWorld world(5, 5);
    // The route layer would lead right; the group follows its own links up, through the goal.
    world.Squares({{2, 3, 10, kLinkHeading0}, {3, 3, 11}, {2, 2, 12, kRouteGoal}, {2, 1, 13}});
    world.EnemyLinks(2, 3, kLinkHeading90);
    world.EnemyLinks(2, 2, kLinkHeading90);
    BoardPiece* group = SpawnPiece(10, kControllerEnemy, 2, 3, 0.0f, 3);
    SpawnPiece(11, kControllerComputer, 0, 0, 0.0f, 1)->progress = 30; // the catch-up rule would give a 6
    group->stateProc = EnemyRollDie;                                   // the last frame of its spin on a three-face die
    group->spinCountdown = 1;
    group->dieFaces = 3;
    SeedRandom(3);
    ASSERT_GT(RunUntil(group, EnemyArrive), 0);
    EXPECT_EQ((std::tuple{group->x, group->z, group->heading}),
              std::make_tuple(BoardWorld::X(2), BoardWorld::Z(1), 90.0f));
    EXPECT_EQ((std::vector<int>{group->progress, group->die, group->dieFaces}), (std::vector<int>{0, 0, 3}));
}

TEST(NoWayOn, TurnEndsInsteadOfWalkingOrDrawingForEverAndTheComputerDrawsOnlyOpenWays)
{
    const std::tuple<int, PieceProc> choosers[] = {{kControllerComputer, AutoChooseDirection},
                                                   {kControllerPlayer, PlayerChooseDirection},
                                                   {kControllerEnemy, EnemyChooseDirection}};
    for (const auto& [controller, start] : choosers) {
        SCOPED_TRACE(controller);
        // Only link: off the board at the right edge, or into blocked ground below.
        BoardWorld world(4, 4);
        world.Square(3, 1, 14, kLinkHeading0 | kLinkHeading270 | kRouteGoal);
        world.EnemyLinks(3, 1, kLinkHeading0 | kLinkHeading270);
        BoardPiece* piece = SpawnPiece(10, controller, 3, 1, 180.0f, controller == kControllerEnemy ? 3 : 1);
        piece->stateProc = start;
        piece->die = 3;
        BoardWorld::PressKeys({kKeyRight});
        Frame(piece);
        EXPECT_EQ((std::tuple{piece->stateProc, piece->x, piece->die}),
                  std::make_tuple(PieceIdle, BoardWorld::X(3), 1));
    }
    {
        // A corridor cell walled in on every side (its square behind turned to rock).
        BoardWorld world(5, 5);
        world.Corridor(2, 2);
        BoardPiece* piece = SpawnPiece(10, kControllerComputer, 2, 2, 0.0f, 1);
        piece->x -= 0.5f;
        piece->subStep = 3;
        piece->stateProc = AutoStepMove;
        Frame(piece);
        EXPECT_EQ((std::tuple{piece->stateProc, piece->x}), std::make_tuple(PieceIdle, BoardWorld::X(2)));
    }
    BoardWorld world(4, 4);
    world.Squares({{3, 1, 10, kLinkHeading0 | kLinkHeading180}, {2, 1, 11}}); // right leads off the board
    BoardPiece* piece = SpawnPiece(10, kControllerComputer, 3, 1, 0.0f, 1);
    piece->stateProc = AutoChooseDirection;
    piece->die = 1;
    SeedRandom(3); // the first two draws pick the link off the board
    ASSERT_GT(RunUntil(piece, PieceArrive), 0);
    EXPECT_EQ((std::tuple{piece->x, piece->heading}), std::make_tuple(BoardWorld::X(2), 180.0f));
}

// Automatic play and back: an unstarted roll restarts as the computer's; saving only
// while the player's own die spins.
TEST(ControlSwitch, RestartsAnUnstartedRollAndSavingOnlyWhileThePlayersDieSpins)
{
    BoardWorld world(4, 4);
    g_playerTeam = 1;
    SpawnPiece(10, kControllerComputer, 0, 0, 0.0f, 0);
    BoardPiece* mine = SpawnPiece(11, kControllerPlayer, 1, 1, 0.0f, 1);
    mine->stateProc = PlayerRollDie;
    EXPECT_EQ(CanPlayerSave(), 1);

    SetPlayerTeamController(kControllerComputer);
    EXPECT_EQ((std::tuple{mine->controller, mine->stateProc, BoardWorld::Heard(4), CanPlayerSave()}),
              std::make_tuple(kControllerComputer, PieceStartTurn, true, 0));
    EXPECT_EQ(PieceOf(&g_tasks[10])->controller, kControllerComputer) << "another team is left alone";

    // Back to manual while the computer's spin runs: the spin finishes as the computer's.
    mine->stateProc = AutoRollDie;
    SetPlayerTeamController(kControllerPlayer);
    EXPECT_EQ((std::tuple{mine->controller, mine->stateProc, CanPlayerSave()}),
              std::make_tuple(kControllerPlayer, AutoRollDie, 0));
    mine->stateProc = AutoStartDieRoll; // its spin not yet drawn: the roll starts again
    SetPlayerTeamController(kControllerPlayer);
    EXPECT_EQ(mine->stateProc, PieceStartTurn);

    ClearSoundRequests();
    g_playerTeam = 2; // no piece of that team: nothing happens
    SetPlayerTeamController(kControllerComputer);
    EXPECT_FALSE(BoardWorld::Heard(4));
}
