// Battle rules on hand-made pieces: gauges, reels stopped by key and by the computer,
// the clash, the message lines and their bounds.
#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "test_board_support.h"

using namespace battle_test;

namespace {

// A battle of one computer team of six against a group of `enemies`, its first round set up.
BattleWork* OpenRound(int32_t controller, int enemies)
{
    BoardPiece* party = Team(10, controller, 1);
    BoardPiece* group = Group(11, enemies);
    StartEnemyGroupBattle(party, group);
    BattleWork* battle = Battle();
    EXPECT_NE(battle, nullptr);
    battle->battleProc = RunReels;
    ResetGauges(battle);
    return battle;
}

} // namespace

TEST(BattleGauges, EnemyGaugeFallsByOneRisesByTwoAndEndsWhereItsRunEnds)
{
    // Gauge after T frames of the enemy reel: 20 -> 11, 31 -> 0, 46 and 47 -> 30.
    const std::vector<std::pair<int, float>> cases = {{20, 11.0f}, {31, 0.0f}, {46, 30.0f}, {47, 30.0f}};
    for (const auto& [frames, gauge] : cases) {
        BattleBoard board;
        BattleWork* battle = OpenRound(kControllerComputer, 1);
        battle->enemyRunFrames = frames;
        for (int f = 1; f <= frames; ++f) {
            EXPECT_EQ(battle->enemyReelState, 0) << "T " << frames << " frame " << f;
            SpinEnemyReel(battle);
        }
        EXPECT_EQ(battle->enemyGauge, gauge) << "T " << frames;
        EXPECT_EQ(battle->enemyReelState, 1) << "T " << frames;
    }
}

TEST(BattleGauges, PartyGaugeBouncesOnEvenValues)
{
    BattleBoard board;
    BattleWork* battle = OpenRound(kControllerComputer, 1);
    battle->cpuStopDelay = 1000; // never stops here
    std::vector<float> seen;
    for (int f = 0; f < 32; ++f) {
        SpinPartyReel(battle);
        seen.push_back(battle->partyGauge);
    }
    const std::vector<float> expected = {30, 28, 26, 24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 0,
                                         2,  4,  6,  8,  10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 28};
    EXPECT_EQ(seen, expected);
}

TEST(BattleReels, ComputerStopsByDelayAndTargetAndWinsTheClash)
{
    BattleBoard board;
    BattleWork* battle = OpenRound(kControllerComputer, 1);
    battle->partyLive = 1;
    battle->enemyRunFrames = 20;
    battle->cpuStopDelay = 20;
    battle->cpuStopTarget = 25.0f;
    int stoppedAt = 0;
    for (int frame = 1; frame <= 40 && battle->battleProc == RunReels; ++frame) {
        RunReels(battle);
        if (stoppedAt == 0 && battle->partyReelState != 0) stoppedAt = frame;
        if (frame == 20) {
            EXPECT_EQ(battle->partyGauge, 8.0f); // past its delay, but rising below the target
            EXPECT_EQ(battle->partyReelState, 0);
        }
    }
    EXPECT_EQ(stoppedAt, 29);
    EXPECT_EQ(battle->partyGauge, 26.0f);
    EXPECT_EQ((std::tuple{battle->enemyGauge, battle->battleProc, battle->outcome, battle->enemies[0].hitPoints, battle->clashPause}),
              std::make_tuple(11.0f, WaitClashResult, 0, 0.0f, 60));

    // A delay that runs out on a gauge at the target stops in that very frame.
    battle->battleProc = RunReels;
    ResetGauges(battle);
    battle->cpuStopDelay = 29;
    battle->cpuStopTarget = 26.0f;
    for (int frame = 1; frame <= 29; ++frame) SpinPartyReel(battle);
    EXPECT_EQ((std::tuple{battle->partyGauge, battle->partyReelState}), std::make_tuple(26.0f, 1));

    // With the target 30 it stops only on a full gauge.
    BattleWork* second = battle;
    second->battleProc = RunReels;
    ResetGauges(second);
    second->cpuStopDelay = 3;
    second->cpuStopTarget = 30.0f;
    second->enemyRunFrames = 1000;
    for (int frame = 1; frame <= 40; ++frame) {
        SpinPartyReel(second);
        if (second->partyReelState != 0) {
            EXPECT_EQ((std::tuple{second->partyGauge, frame}), std::make_tuple(30.0f, 31));
            break;
        }
    }
    EXPECT_EQ(second->partyReelState, 1);
}

TEST(BattleReels, PlayerStopsWithReturnOrZOnTheGaugeOfThatFrame)
{
    for (int key : {kKeyReturn, kKeyZ, kKeySpace}) {
        BattleBoard board;
        BattleWork* battle = OpenRound(kControllerPlayer, 1);
        for (int frame = 1; frame <= 4; ++frame) SpinPartyReel(battle);
        EXPECT_EQ(battle->partyGauge, 24.0f);
        BoardWorld::PressKeys({key});
        SpinPartyReel(battle);
        BoardWorld::ReleaseKeys();
        if (key == kKeySpace) {
            EXPECT_EQ(battle->partyReelState, 0);
            continue;
        }
        EXPECT_EQ(battle->partyReelState, 1) << "key " << key;
        EXPECT_EQ(battle->partyGauge, 22.0f); // one step past what was on show
        // The proceed test of a round start answers to the same keys only.
        battle->battleProc = WaitRoundStart;
        EXPECT_EQ(CheckProceed(battle), 0);
        BoardWorld::PressKeys({key});
        EXPECT_EQ(CheckProceed(battle), 1);
        BoardWorld::ReleaseKeys();
    }
}

TEST(BattleReels, CardsRunByThirteenAndStopWithACardAtTheWindowTop)
{
    BattleBoard board;
    BattleWork* battle = OpenRound(kControllerComputer, 3);
    battle->partyLive = 4;
    // The party's cards move up, the enemies' down; each selection is the card entering the window.
    SpinPartyReel(battle);
    SpinEnemyReel(battle);
    EXPECT_EQ((std::vector<int>(battle->partyCardY, battle->partyCardY + 4)), (std::vector<int>{51, 311, 571, 831}));
    EXPECT_EQ((std::vector<int>(battle->enemyCardY, battle->enemyCardY + 3)), (std::vector<int>{77, -183, -443}));
    EXPECT_EQ(battle->partySelected, 1);
    EXPECT_EQ(battle->enemySelected, 1); // its bottom edge is in the window
    for (int f = 0; f < 20; ++f) SpinPartyReel(battle);
    // Card 0 left the window at the top and went to the back, 13 below the closed cycle.
    EXPECT_EQ(battle->partyCardY[0], 64 + 3 * 260);
    // Twenty steps take enemy card 0 to 324, past the bottom, and round to the top of the cycle.
    for (int f = 0; f < 19; ++f) SpinEnemyReel(battle);
    EXPECT_EQ(battle->enemyCardY[0], 64 - 2 * 260);

    for (int side = 0; side < 2; ++side) {
        board.ReleaseKeys();
        ClearSoundRequests();
        int frames = 0;
        int done = 0;
        while (!done && frames < 30) {
            ++frames;
            done = side == 0 ? StopPartyReel(battle) : StopEnemyReel(battle);
        }
        EXPECT_LE(frames, 21);
        const int selected = side == 0 ? battle->partySelected : battle->enemySelected;
        const int y = side == 0 ? battle->partyCardY[selected] : battle->enemyCardY[selected];
        EXPECT_EQ(y, 64) << "side " << side;
        EXPECT_TRUE(BoardWorld::Heard(13));
        EXPECT_EQ(side == 0 ? battle->partyReelState : battle->enemyReelState, 2);
    }
}

TEST(BattleReels, OneStandingCardStaysAndStopsAtOnce)
{
    BattleBoard board;
    BattleWork* battle = OpenRound(kControllerComputer, 1);
    battle->partyLive = 1;
    battle->partySelected = 3;
    SpinPartyReel(battle);
    SpinEnemyReel(battle);
    EXPECT_EQ((std::tuple{battle->partyCardY[0], battle->enemyCardY[0], battle->partySelected}),
              std::make_tuple(64, 64, 0));
    ClearSoundRequests();
    EXPECT_EQ(StopPartyReel(battle), 1);
    EXPECT_TRUE(BoardWorld::Heard(13));
    EXPECT_EQ(StopEnemyReel(battle), 1);
}

TEST(BattleClash, HigherGaugeFellsTheOtherSideAndEqualGaugesHarmNobody)
{
    BattleBoard board;
    BattleWork* battle = OpenRound(kControllerComputer, 4);
    battle->partySelected = 2;
    battle->enemySelected = 3;
    battle->partyGauge = 12.0f;
    battle->enemyGauge = 13.0f;
    ResolveClash(battle);
    EXPECT_EQ((std::tuple{battle->outcome, battle->party[2].hitPoints, battle->enemies[3].hitPoints}),
              std::make_tuple(1, 0.0f, 100.0f));

    battle->party[2].hitPoints = 100.0f;
    battle->partyGauge = 29.0f;
    ResolveClash(battle);
    EXPECT_EQ((std::tuple{battle->outcome, battle->enemies[3].hitPoints, battle->party[2].hitPoints}),
              std::make_tuple(0, 0.0f, 100.0f));

    battle->enemies[3].hitPoints = 100.0f;
    std::vector<int> outcomes;
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        SeedRandom(seed);
        battle->partyGauge = battle->enemyGauge = 30.0f;
        ResolveClash(battle);
        outcomes.push_back(battle->outcome);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(battle->party[i].hitPoints, 100.0f);
            if (i < 4) EXPECT_EQ(battle->enemies[i].hitPoints, 100.0f);
        }
    }
    EXPECT_NE(std::find(outcomes.begin(), outcomes.end(), 2), outcomes.end());
    EXPECT_NE(std::find(outcomes.begin(), outcomes.end(), 3), outcomes.end());
    for (int o : outcomes) EXPECT_TRUE(o == 2 || o == 3);
}

TEST(BattleMessages, EachOutcomeTellsWhoFellAndSortsTheFallenLast)
{
    BattleBoard board;
    BattleWork* battle = OpenRound(kControllerComputer, 3);
    // Team 1's first member beats the second monster.
    battle->partySelected = 0;
    battle->enemySelected = 1;
    battle->enemies[1].hitPoints = 0.0f;
    battle->outcome = 0;
    FormatClashMessages(battle);
    EXPECT_EQ((std::tuple{Line(battle, 0), Line(battle, 1), battle->enemyLive}),
              std::make_tuple("カボコの攻撃でエビルアイが倒れた", "", 2));
    EXPECT_EQ((std::vector<int>{battle->enemies[0].id, battle->enemies[1].id, battle->enemies[2].id}),
              (std::vector<int>{18, 20, 19}));
    EXPECT_NE(battle->messageGlyphs[0][0], 0);

    // Ties name the attacker first; nobody falls.
    battle->enemySelected = 0;
    ClearBattleMessages(battle);
    battle->outcome = 3;
    FormatClashMessages(battle);
    EXPECT_EQ((std::tuple{Line(battle, 0), Line(battle, 1), battle->enemyLive}),
              std::make_tuple("デーモンの攻撃をカボコがかわした", "どちらも無傷だ", 2));
    ClearBattleMessages(battle);
    battle->outcome = 2;
    FormatClashMessages(battle);
    EXPECT_EQ(Line(battle, 0), "カボコの攻撃をデーモンがかわした");

    // The last enemy.
    ClearBattleMessages(battle);
    battle->enemyLive = 1;
    battle->enemies[0].hitPoints = 0.0f;
    battle->outcome = 0;
    FormatClashMessages(battle);
    EXPECT_EQ((std::tuple{Line(battle, 1), battle->enemyLive}), std::make_tuple("敵は全滅、味方の勝利だ", 0));
}

TEST(BattleMessages, ThePlayersTeamWipedOutEndsTheGameAComputerTeamDoesNot)
{
    for (int team : {0, 1}) {
        BattleBoard board;
        g_playerTeam = 0;
        BoardPiece* party = Team(10, team == 0 ? kControllerPlayer : kControllerComputer, team, 6, 1);
        StartEnemyGroupBattle(party, Group(11, 2));
        BattleWork* battle = Battle();
        ASSERT_NE(battle, nullptr);
        battle->party[0].hitPoints = 0.0f;
        battle->outcome = 1;
        FormatClashMessages(battle);
        const std::string member = team == 0 ? "アリシアーナ" : "カボコ";
        EXPECT_EQ((std::tuple{Line(battle, 0), Line(battle, 1), Line(battle, 2), battle->partyLive}),
                  std::make_tuple(member + "はデーモンの攻撃に倒れた", "味方は全滅してしまった", team == 0 ? "ゲームオーバー" : "", 0));
    }
}

TEST(BattleMessages, LongNamesAreCutAtAWholeCharacterWithinTheLine)
{
    BattleBoard board;
    BattleWork* battle = OpenRound(kControllerComputer, 1);
    // Names as long as a save file can bring (30 bytes of full-width characters), and a
    // name that fills all 32 bytes with no end at all.
    std::string longName;
    for (int i = 0; i < 15; ++i) longName += "\x83\x41"; // ア
    ASSERT_EQ(longName.size(), 30u);
    std::memcpy(battle->party[0].name, longName.c_str(), 31);
    std::memset(battle->enemies[0].name, '\x83', 32);
    battle->outcome = battle->partyLive = 1;
    battle->party[0].hitPoints = 0.0f;
    FormatClashMessages(battle);
    const std::string line(battle->messageText[0]);
    EXPECT_LE(line.size(), 47u);
    EXPECT_EQ(line.size() % 2, 0u);
    // The party's name, "は", then the seven whole characters of the other name that fit.
    EXPECT_EQ((std::tuple{line.substr(0, 32), line.substr(32), line.size(), battle->messageText[0][47]}),
              std::make_tuple(longName + "\x82\xCD", std::string(14, '\x83'), 46u, '\0'));
    EXPECT_EQ(Line(battle, 1), "味方は全滅してしまった"); // the next line is untouched by the first
    // The glyph row holds 23 characters and nothing past them.
    for (int i = 0; i < 23; ++i) EXPECT_NE(battle->messageGlyphs[0][i], 0) << i;
    EXPECT_EQ(battle->messageGlyphs[0][23], 0);
}

TEST(BattleMessages, EncounterLineCountsInFullWidthDigits)
{
    char line[48] = {};
    FormatEncounterMessage(line, 3);
    EXPECT_EQ(plat::Cp932ToUtf8(line), "敵が３体あらわれた");
    FormatEncounterMessage(line, 6);
    EXPECT_EQ(plat::Cp932ToUtf8(line), "敵が６体あらわれた");
    AppendFullWidthNumber(line, 0);
    EXPECT_EQ(plat::Cp932ToUtf8(line), "敵が６体あらわれた０");
}
