// Battle rules on hand-made pieces: gauges, reels stopped by key and by the computer,
// the clash, the message lines and their bounds.
#include <memory>
#include <set>
#include <tuple>

#include "test_board_support.h"

using namespace battle_test;

namespace {

// A battle of team 1 of six against a group of `enemies`, its first round set up.
BattleWork* OpenRound(int32_t controller, int enemies)
{
    StartEnemyGroupBattle(Team(10, controller, 1), Group(11, enemies));
    BattleWork* battle = Battle();
    EXPECT_NE(battle, nullptr);
    battle->battleProc = RunReels;
    ResetGauges(battle);
    return battle;
}

} // namespace

TEST(BattleGauges, EnemyGaugeFallsByOneRisesByTwoAndThePartysBouncesOnEvenValues)
{
    // Gauge after T frames of the enemy reel: 20 -> 11, 31 -> 0, 46 and 47 -> 30.
    for (auto [frames, gauge] : {std::pair{20, 11.0f}, {31, 0.0f}, {46, 30.0f}, {47, 30.0f}}) {
        BattleBoard board;
        BattleWork* battle = OpenRound(kControllerComputer, 1);
        battle->enemyRunFrames = frames;
        for (int f = 1; f <= frames; ++f) {
            EXPECT_EQ(battle->enemyReelState, 0) << "T " << frames << " frame " << f;
            SpinEnemyReel(battle);
        }
        EXPECT_EQ((std::pair{battle->enemyGauge, battle->enemyReelState}), std::pair(gauge, 1)) << "T " << frames;
    }
    BattleBoard board;
    BattleWork* battle = OpenRound(kControllerComputer, 1);
    battle->cpuStopDelay = 1000; // never stops here
    std::vector<float> seen(32);
    for (float& gauge : seen) {
        SpinPartyReel(battle);
        gauge = battle->partyGauge;
    }
    EXPECT_EQ(seen, (std::vector<float>{30, 28, 26, 24, 22, 20, 18, 16, 14, 12, 10, 8,  6,  4,  2,  0,
                                        2,  4,  6,  8,  10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 28}));
}

TEST(BattleGauges, ARoundDrawsItsRunFromTheTableThenTheAddendThenTheStopTarget)
{
    const int run[12] = {20, 50, 30, 40, 60, 70, 25, 55, 35, 45, 65, 75};
    const float target[6] = {25.0f, 30.0f, 27.0f, 29.0f, 28.0f, 26.0f};
    BattleBoard board;
    BattleWork* battle = OpenRound(kControllerComputer, 1);
    std::set<int> rows;
    std::set<int> targets;
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        SeedRandom(seed);
        const int row = RollRandom(12);
        const int addend = RollRandom(12);
        const int stop = RollRandom(6);
        rows.insert(row);
        targets.insert(stop);
        SeedRandom(seed);
        SetUpRound(battle);
        EXPECT_EQ((std::tuple{battle->enemyRunFrames, battle->cpuStopDelay, battle->cpuStopTarget}),
                  std::make_tuple(run[row] + addend, run[row] + addend, target[stop]))
            << "seed " << seed;
    }
    EXPECT_EQ((std::pair{rows.size(), targets.size()}), std::pair(size_t{12}, size_t{6})); // every row was tried
}

TEST(BattleReels, ComputerStopsPastItsDelayAtItsTargetAndWinsTheClash)
{
    // {delay, target, frame the party reel stops, its gauge}: rising below the target it
    // runs on past its delay; a delay running out on a gauge at the target stops in that
    // very frame; with the target 30 it stops only on a full gauge.
    for (auto [delay, target, frame, gauge] :
         {std::tuple{20, 25.0f, 29, 26.0f}, {29, 26.0f, 29, 26.0f}, {3, 30.0f, 31, 30.0f}}) {
        BattleBoard board;
        BattleWork* battle = OpenRound(kControllerComputer, 1);
        battle->partyLive = 1;
        battle->enemyRunFrames = 20;
        battle->cpuStopDelay = delay;
        battle->cpuStopTarget = target;
        int stoppedAt = 0;
        for (int f = 1; f <= 80 && battle->battleProc == RunReels; ++f) {
            RunReels(battle);
            if (stoppedAt == 0 && battle->partyReelState != 0)
                stoppedAt = f;
        }
        EXPECT_EQ((std::tuple{stoppedAt, battle->partyGauge, battle->enemyGauge, battle->battleProc, battle->outcome,
                              battle->enemies[0].hitPoints, battle->clashPause}),
                  std::make_tuple(frame, gauge, 11.0f, WaitClashResult, 0, 0.0f, 60))
            << "delay " << delay;
    }
}

TEST(BattleReels, PlayerStopsWithReturnOrZOnTheGaugeOfThatFrame)
{
    for (int key : {kKeyReturn, kKeyZ, kKeySpace}) {
        BattleBoard board;
        BattleWork* battle = OpenRound(kControllerPlayer, 1);
        for (int frame = 1; frame <= 4; ++frame)
            SpinPartyReel(battle);
        BoardWorld::PressKeys({key});
        SpinPartyReel(battle);
        BoardWorld::ReleaseKeys();
        const bool stops = key != kKeySpace;
        // One step past the 24 that was on show.
        EXPECT_EQ((std::pair{battle->partyReelState, battle->partyGauge}), std::pair(stops ? 1 : 0, 22.0f)) << key;
        // The proceed test of a round start answers to the same keys only.
        battle->battleProc = WaitRoundStart;
        EXPECT_EQ(CheckProceed(battle), 0);
        BoardWorld::PressKeys({key});
        EXPECT_EQ(CheckProceed(battle), stops ? 1 : 0) << key;
        BoardWorld::ReleaseKeys();
    }
}

TEST(BattleReels, CardsRunByThirteenAndStopWithACardAtTheWindowTop)
{
    auto board = std::make_unique<BattleBoard>();
    BattleWork* battle = OpenRound(kControllerComputer, 3);
    battle->partyLive = 4;
    // The party's cards move up, the enemies' down; each selection is the card entering the window.
    SpinPartyReel(battle);
    SpinEnemyReel(battle);
    EXPECT_EQ((std::vector<int>(battle->partyCardY, battle->partyCardY + 4)), (std::vector<int>{51, 311, 571, 831}));
    EXPECT_EQ((std::vector<int>(battle->enemyCardY, battle->enemyCardY + 3)), (std::vector<int>{77, -183, -443}));
    EXPECT_EQ((std::pair{battle->partySelected, battle->enemySelected}),
              std::pair(1, 1)); // enemy: its bottom edge is in
    for (int f = 0; f < 20; ++f)
        SpinPartyReel(battle);
    for (int f = 0; f < 19; ++f)
        SpinEnemyReel(battle);
    // Party card 0 left the window at the top and went to the back, 13 below the closed
    // cycle; twenty steps take enemy card 0 to 324, past the bottom, and round to the top.
    EXPECT_EQ((std::pair{battle->partyCardY[0], battle->enemyCardY[0]}), std::pair(64 + 3 * 260, 64 - 2 * 260));
    for (int side = 0; side < 2; ++side) {
        ClearSoundRequests();
        int frames = 1;
        while (!(side == 0 ? StopPartyReel(battle) : StopEnemyReel(battle)) && frames < 30)
            ++frames;
        const int y = side == 0 ? battle->partyCardY[battle->partySelected] : battle->enemyCardY[battle->enemySelected];
        const int state = side == 0 ? battle->partyReelState : battle->enemyReelState;
        EXPECT_EQ((std::tuple{frames <= 21, y, BoardWorld::Heard(13), state}), std::make_tuple(true, 64, true, 2))
            << side;
    }

    // One standing card stays at the window and stops at once.
    board.reset();
    BattleBoard single;
    battle = OpenRound(kControllerComputer, 1);
    battle->partyLive = 1;
    battle->partySelected = 3;
    SpinPartyReel(battle);
    SpinEnemyReel(battle);
    EXPECT_EQ((std::tuple{battle->partyCardY[0], battle->enemyCardY[0], battle->partySelected}),
              std::make_tuple(64, 64, 0));
    ClearSoundRequests();
    EXPECT_EQ((std::tuple{StopPartyReel(battle), BoardWorld::Heard(13), StopEnemyReel(battle)}),
              std::make_tuple(1, true, 1));
}

TEST(BattleClash, HigherGaugeFellsTheOtherSideTheLinesTellWhoAndTheFallenGoLast)
{
    BattleBoard board;
    BattleWork* battle = OpenRound(kControllerComputer, 3);
    battle->enemySelected = 1; // team 1's first member against the second monster
    // {party gauge, enemy gauge, outcome, hit points of the party's member, of the enemy}
    for (auto [party, enemy, outcome, partyHp, enemyHp] :
         {std::tuple{12.0f, 13.0f, 1, 0.0f, 100.0f}, {29.0f, 13.0f, 0, 100.0f, 0.0f}}) {
        battle->party[0].hitPoints = battle->enemies[1].hitPoints = 100.0f;
        battle->partyGauge = party;
        battle->enemyGauge = enemy;
        ResolveClash(battle);
        EXPECT_EQ((std::tuple{battle->outcome, battle->party[0].hitPoints, battle->enemies[1].hitPoints}),
                  std::make_tuple(outcome, partyHp, enemyHp));
    }
    FormatClashMessages(battle);
    EXPECT_EQ((std::tuple{Line(battle, 0), Line(battle, 1), battle->enemyLive, battle->messageGlyphs[0][0] != 0}),
              std::make_tuple("カボコの攻撃でエビルアイが倒れた", "", 2, true));
    EXPECT_EQ((std::vector<int>{battle->enemies[0].id, battle->enemies[1].id, battle->enemies[2].id}),
              (std::vector<int>{18, 20, 19}));
    // Equal gauges: either side dodges, nobody falls, and the line names the attacker first.
    battle->enemySelected = 0;
    std::set<int> outcomes;
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        SeedRandom(seed);
        battle->partyGauge = battle->enemyGauge = 30.0f;
        ResolveClash(battle);
        outcomes.insert(battle->outcome);
        ClearBattleMessages(battle);
        FormatClashMessages(battle);
        const char* first =
            battle->outcome == 3 ? "デーモンの攻撃をカボコがかわした" : "カボコの攻撃をデーモンがかわした";
        EXPECT_EQ((std::tuple{Line(battle, 0), Line(battle, 1), battle->enemyLive}),
                  std::make_tuple(first, "どちらも無傷だ", 2));
        for (int i = 0; i < 6; ++i)
            EXPECT_TRUE(battle->party[i].hitPoints == 100.0f && (i >= 2 || battle->enemies[i].hitPoints == 100.0f));
    }
    EXPECT_EQ(outcomes, (std::set<int>{2, 3}));
}

TEST(BattleMessages, LongNamesAreCutAtAWholeCharacterWithinTheLine)
{
    BattleBoard board;
    BattleWork* battle = OpenRound(kControllerComputer, 1);
    // Names as long as a save file can bring (30 bytes of full-width characters), and a
    // name that fills all 32 bytes with no end at all.
    const std::string longName = [] {
        std::string s;
        while (s.size() < 30)
            s += "\x83\x41";
        return s;
    }(); // ア x 15
    std::memcpy(battle->party[0].name, longName.c_str(), 31);
    std::memset(battle->enemies[0].name, '\x83', 32);
    battle->outcome = battle->partyLive = 1;
    battle->party[0].hitPoints = 0.0f;
    FormatClashMessages(battle);
    const std::string line(battle->messageText[0]);
    // The party's name, "は", then the seven whole characters of the other name that fit.
    // The next line is untouched by the first.
    EXPECT_EQ(
        (std::tuple{line.substr(0, 32), line.substr(32), line.size(), battle->messageText[0][47], Line(battle, 1)}),
        std::make_tuple(longName + "\x82\xCD", std::string(14, '\x83'), 46u, '\0', "味方は全滅してしまった"));
    // The glyph row holds 23 characters and nothing past them.
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(battle->messageGlyphs[0][i] != 0, i < 23) << i;
}
