// Whole battles on hand-made pieces: how they start, their rounds and messages, and
// what they leave on the board and in the race.
#include <set>
#include <tuple>

#include "board/event_commands.h"
#include "board/ranking.h"
#include "board/task_table.h"
#include "frontend/title.h"
#include "test_board_support.h"

using namespace battle_test;

namespace {

// The reels of the running round stop on the given gauges at once.
void StopReelsAt(BattleWork* battle, float party, float enemy)
{
    battle->battleProc = RunReels;
    battle->partyGauge = party;
    battle->enemyGauge = enemy;
    battle->partyReelState = battle->enemyReelState = 2;
}

// The turn controller in slot 100 and a board task in slot 2, so that the battle's
// mode commands show.
void PlaceBoardTasks()
{
    for (auto [slot, kind] : {std::pair<int, int>{100, kTurnControllerKind}, std::pair<int, int>{2, 3}}) {
        Task* task = CreateTask(slot);
        task->alive = task->updateEnabled = task->drawEnabled = 1;
        task->kind = kind;
    }
}

// {updated, drawn} of the turn controller, the board and the piece in slot 10.
std::vector<std::pair<int, int>> Modes()
{
    std::vector<std::pair<int, int>> modes;
    for (int slot : {100, 2, 10})
        modes.emplace_back(g_tasks[slot].updateEnabled, g_tasks[slot].drawEnabled);
    return modes;
}

// A computer party that pages every line: frames until the battle has ended.
int RunToEnd(int limit = 5000)
{
    int frames = 0;
    for (; g_tasks[kBattleTaskSlot].alive && frames < limit; ++frames)
        Step();
    return frames;
}

} // namespace

TEST(BattleStart, AGroupOnTheArrivalSquareIsFoughtInsteadOfTheEvent)
{
    BattleBoard board;
    board.Event(1, 1, 1);
    g_eventCount = 1;
    PlaceBoardTasks();
    BoardPiece* group = Group(10, 3);
    BoardPiece* party = Team(11, kControllerComputer, 1);
    party->stateProc = PieceArrive;
    board_test::Frame(party);
    BattleWork* battle = Battle();
    ASSERT_NE(battle, nullptr);
    EXPECT_EQ((std::tuple{g_tasks[kEventSlot].alive, battle->partyPiece, battle->groupPiece}),
              std::make_tuple(0, party, group));
    EXPECT_EQ((std::vector<int>{battle->partyCount, battle->partyLive, battle->enemyCount, battle->enemyLive}),
              (std::vector<int>{6, 6, 3, 3}));
    EXPECT_EQ(Line(battle, 0), "敵の集団と戦いになった");
    // The turn controller stops; board and pieces are hidden but the pieces go on.
    EXPECT_EQ(Modes(), (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {1, 0}}));
    // The arriving piece finds no event and ends its move.
    board_test::Frame(party);
    EXPECT_EQ(party->stateProc, PieceIdle);
    // A second meeting while this battle runs changes nothing.
    BoardPiece* other = Team(12, kControllerComputer, 2);
    StartEnemyGroupBattle(other, group);
    EXPECT_EQ(Battle()->partyPiece, party);
    // The roaming group arriving on a team's square: the team is the party.
    KillTask(&g_tasks[kBattleTaskSlot]);
    group->stateProc = EnemyArrive;
    KillTask(&g_tasks[11]);
    board_test::Frame(group);
    ASSERT_NE(Battle(), nullptr);
    EXPECT_EQ((std::tuple{Battle()->partyPiece, Battle()->groupPiece}), std::make_tuple(other, group));
}

TEST(BattleFlow, WonAgainstAGroupTheGroupLeavesAndTheFallenComeLast)
{
    BattleBoard board;
    PlaceBoardTasks();
    BoardPiece* party = Team(10, 7, 1); // a controller of no known kind plays as the computer
    BoardPiece* group = Group(11, 2);
    TurnControllerWork()->turnList[0] = party;
    TurnControllerWork()->turnList[3] = group;
    StartEnemyGroupBattle(party, group);
    BattleWork* battle = Battle();
    EXPECT_EQ(StepUntil(RunReels), 71); // round start waits 71 frames for the computer
    // Round 1: the enemy fells the party's second member.
    StopReelsAt(battle, 10.0f, 20.0f);
    battle->partySelected = 1;
    EXPECT_EQ(StepUntil(ShowBattleMessages), 61); // the clash, then 60 frames of result
    EXPECT_EQ((std::tuple{Line(battle, 0), battle->partyLive, battle->party[5].id}),
              std::make_tuple("チッチはデーモンの攻撃に倒れた", 5, 7));
    // Each line shows 71 frames; the empty second line ends the round.
    EXPECT_EQ((std::tuple{StepUntil(WaitRoundStart), Line(battle, 0)}), std::make_tuple(72, "戦いはまだ続く"));
    // Round 2 and 3: both enemies fall.
    for (int round = 0; round < 2; ++round) {
        StepUntil(RunReels);
        StopReelsAt(battle, 20.0f, 10.0f);
        StepUntil(ShowBattleMessages);
    }
    EXPECT_EQ((std::tuple{Line(battle, 1), RunToEnd()}), std::make_tuple("敵は全滅、味方の勝利だ", 2 * 71 + 1));
    EXPECT_EQ(
        (std::tuple{g_tasks[kBattleTaskSlot].alive, group->alive, party->alive, party->liveCount,
                    g_raceResult.teamsLeft, TurnControllerWork()->turnList[3], TurnControllerWork()->turnList[0]}),
        std::make_tuple(0, 0, 1, 5, 3, nullptr, party));
    std::vector<std::pair<int, float>> members;
    for (const CharacterRecord& m : party->members)
        members.emplace_back(m.id, m.hitPoints);
    EXPECT_EQ(members,
              (std::vector<std::pair<int, float>>{{6, 100}, {8, 100}, {9, 100}, {10, 100}, {11, 100}, {7, 0}}));
    EXPECT_EQ(Modes(), (std::vector<std::pair<int, int>>{{1, 1}, {1, 1}, {1, 1}}));
}

// A computer team beaten takes the lowest place, and the last one racing ends the race;
// the player's team wiped out returns to the title after its lines, even as the last team.
TEST(BattleFlow, AWipedOutTeamLeavesTheRaceForTheLowestPlaceOrTheTitle)
{
    for (auto [controller, teamsLeft] :
         {std::pair{kControllerComputer, 3}, {kControllerComputer, 1}, {kControllerPlayer, 1}}) {
        const bool player = controller == kControllerPlayer;
        SCOPED_TRACE(player ? "player" : teamsLeft == 1 ? "last computer team" : "computer team");
        BattleBoard board;
        PlaceBoardTasks();
        g_playerTeam = 0;
        g_raceResult.teamsLeft = teamsLeft;
        BoardPiece* party = Team(10, controller, player ? 0 : 2, 6, 1);
        TurnControllerWork()->turnList[2] = party;
        BoardPiece* group = Group(11, 4);
        StartEnemyGroupBattle(party, group);
        BattleWork* battle = Battle();
        EXPECT_EQ(StepUntil(RunReels, 100), player ? -1 : 71); // the player proceeds by key only
        BoardWorld::PressKeys({kKeyZ});
        Step();
        BoardWorld::ReleaseKeys();
        EXPECT_EQ(battle->battleProc, RunReels);
        StopReelsAt(battle, 0.0f, 30.0f);
        StepUntil(ShowBattleMessages);
        EXPECT_EQ((std::tuple{Line(battle, 1), Line(battle, 2)}),
                  std::make_tuple("味方は全滅してしまった", player ? "ゲームオーバー" : ""));
        ClearSoundRequests();
        // The player's lines wait for a key each.
        for (int line = 0; player && line < 3; ++line) {
            for (int f = 0; f < 100; ++f)
                Step();
            EXPECT_EQ(battle->messageLine, line);
            BoardWorld::PressKeys({kKeyReturn});
            Step();
            BoardWorld::ReleaseKeys();
        }
        if (player)
            EXPECT_EQ((std::tuple{battle->messageLine, g_tasks[kBattleTaskSlot].alive}), std::make_tuple(3, 1));
        RunToEnd();
        const int ranking = !player && teamsLeft == 1;
        const auto onBoard = [](const BoardPiece* piece, int slot) { return piece->alive && g_tasks[slot].alive; };
        EXPECT_EQ((std::vector<int>{g_tasks[kBattleTaskSlot].alive, onBoard(party, 10), onBoard(group, 11),
                                    g_tasks[kTitleSlot].alive, g_tasks[kRankingSlot].alive, BoardWorld::Heard(12),
                                    g_raceResult.nextPlaceFromBottom}),
                  (std::vector<int>{0, 0, !player, player, ranking, ranking, player ? 2 : 1}));
        if (player)
            continue; // the player's team takes no place
        EXPECT_EQ((std::tuple{TurnControllerWork()->turnList[2], group->liveCount}), std::make_tuple(nullptr, 4));
        EXPECT_EQ((std::vector<int>{g_raceResult.placeTeam[2], g_raceResult.placeLeader[2], g_raceResult.teamsLeft}),
                  (std::vector<int>{2, 12, teamsLeft - 1}));
    }
}

TEST(BattleFlow, ASideWithNobodyStandingEndsAfterTheOpeningLine)
{
    for (int side = 0; side < 2; ++side) {
        BattleBoard board;
        BoardPiece* party = Team(10, kControllerComputer, 1, 6, side == 0 ? 0 : 6);
        BoardPiece* group = Group(11, 3, side == 1 ? 0 : 3);
        party->memberCount = 9; // counts that a damaged file could bring are held to the six records
        StartEnemyGroupBattle(party, group);
        EXPECT_EQ((std::pair{Battle()->partyCount, RunToEnd()}), std::pair(6, 71));
        EXPECT_EQ((std::pair{party->alive, group->alive}), std::pair(side, 1 - side));
    }
}

TEST(EventBattle, CommandSixFightsOneOfItsCountsThenTheScriptGoesOn)
{
    // "#6,2,1,4": one or four monsters; bad lists keep to 1..6 monsters and the script
    // still goes on behind them.
    const std::vector<std::pair<std::string, std::set<int>>> cases = {
        {"#6,2,1,4,#5,1,#99,", {1, 4}},
        {"#6,0,#5,1,#99,", {1}},
        {"#6,1,0,#5,1,#99,", {1}},
        {"#6,1,9,#5,1,#99,", {6}},
        {"#6,8,9,9,9,9,9,9,9,9,#5,1,#99,", {6}},
    };
    std::set<int> monsters;
    for (const auto& [script, counts] : cases) {
        SCOPED_TRACE(script);
        std::set<int> seen;
        for (uint32_t seed = 1; seed <= 6; ++seed) {
            BattleBoard board;
            std::strncpy(g_eventScripts, script.c_str(), 2000); // and zeros behind it
            g_eventCount = 1;
            BoardPiece* party = Team(10, kControllerComputer, 1);
            party->stateProc = PieceWaitEvent;
            SeedRandom(seed);
            ASSERT_EQ(StartEvent(party, 1), 1);
            const auto runEvent = [](int frames) {
                for (int f = 0; f < frames; ++f)
                    UpdateEventTask(&g_tasks[kEventSlot]);
                return TaskWork<EventTask>(&g_tasks[kEventSlot])->stateProc;
            };
            runEvent(2); // hands over, then command 6
            BattleWork* battle = Battle();
            ASSERT_NE(battle, nullptr);
            seen.insert(battle->enemyCount);
            EXPECT_EQ((std::tuple{battle->groupPiece, battle->enemyLive}),
                      std::make_tuple(nullptr, battle->enemyCount));
            for (int i = 0; i < battle->enemyCount; ++i)
                monsters.insert(battle->enemies[i].id);
            for (const CharacterRecord& m : battle->enemies) // monsters, and nothing past them
                EXPECT_TRUE(&m - battle->enemies < battle->enemyCount ? m.id >= 18 && m.id <= 24 : m.name[0] == '\0')
                    << m.id;
            EXPECT_EQ(Line(battle, 0),
                      "敵が" + std::string("１２３４５６").substr(3 * battle->enemyCount - 3, 3) + "体あらわれた");
            // The event waits while the battle runs, then goes on with the next command.
            EXPECT_EQ(runEvent(5), EventWaitBattleState);
            battle->enemyLive = 0; // the battle is over at its next page
            battle->battleProc = ShowBattleMessages;
            RunToEnd();
            EXPECT_EQ((std::tuple{runEvent(1), runEvent(1)}), std::make_tuple(EventRunState, EventWaitState));
        }
        EXPECT_EQ(seen, counts);
    }
    EXPECT_EQ(monsters, (std::set<int>{18, 19, 20, 21, 22, 23, 24})); // every monster row can come
}
