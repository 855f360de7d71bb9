// The battle screen on the recording device: what each state draws, and where.
#include <algorithm>

#include "battle/battle.h"
#include "board/characters.h"
#include "board/piece.h"
#include "board/race_result.h"
#include "test_board_support.h"

namespace {

class BattleScreen : public FrontendRun {
protected:
    void SetUp() override
    {
        FrontendRun::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        KillAllTasks();
        Frames(1);
        ResetRaceResult();
        party_ = board_test::SidePiece(10, kControllerComputer, 6, 6);
        group_ = board_test::SidePiece(11, kControllerEnemy, 18, 3);
        StartEnemyGroupBattle(party_, group_);
        battle_ = RunningBattle();
        ASSERT_NE(battle_, nullptr);
        // The screen is looked at frame by frame: the battle itself stands still.
        g_tasks[kBattleTaskSlot].updateEnabled = 0;
    }

    void Show(BattleProc state)
    {
        battle_->battleProc = state;
        Frames(1);
    }

    static size_t GlyphsDrawn()
    {
        size_t n = 0;
        for (const plat::RecordedSprite& s : Sprites()) n += s.texture == g_fontTexture;
        return n;
    }

    // The message panel's tinted inside, 2 pixels in from (64, 384).
    static bool PanelDrawn()
    {
        for (const plat::RecordedSprite& s : Sprites())
            if (s.texture == g_uiAtlas && Near(s.left, 66) && Near(s.top, 386) && s.colour == 0x96FFFFFFu) return true;
        return false;
    }

    BoardPiece* party_ = nullptr;
    BoardPiece* group_ = nullptr;
    BattleWork* battle_ = nullptr;
};

constexpr SpriteRect kFrame = {0, 0, 640, 480};
constexpr SpriteRect kCardFrame = {1010, 1263, 1210, 1523};
constexpr SpriteRect kPlate = {910, 176, 1110, 203};
constexpr SpriteRect kSlash = {1022, 63, 1033, 85};
constexpr SpriteRect kBanner = {1212, 1340, 1517, 1392};
constexpr SpriteRect kWin = {1213, 1471, 1306, 1521};
constexpr SpriteRect kLose = {1308, 1470, 1403, 1522};
constexpr SpriteRect kEven = {1213, 1417, 1405, 1465};

} // namespace

TEST_F(BattleScreen, SpinningReelsShowCardsPlatesCountsGaugesAndTheBanner)
{
    battle_->partyCardY[0] = 51;
    battle_->partyCardY[1] = 311;
    battle_->enemyCardY[0] = 77;
    battle_->partySelected = 1;
    battle_->enemySelected = 0;
    battle_->partyLive = 5;
    battle_->partyGauge = 30.0f;
    battle_->enemyGauge = 15.0f;
    Show(RunReels);
    EXPECT_TRUE(Drawn(60, 64, kCardFrame));
    EXPECT_TRUE(Drawn(380, 64, kCardFrame));
    // Character 6 (team 1's first) and 7, character 18 (the first monster).
    EXPECT_TRUE(Drawn(380, 51, {0, 1001, 200, 1261}));
    EXPECT_TRUE(Drawn(380, 311, {0, 1787, 200, 2047}));
    EXPECT_TRUE(Drawn(60, 77, {808, 1525, 1008, 1785}));
    EXPECT_TRUE(Drawn(0, 0, kFrame));
    // The frame comes after every card, so it hides what lies outside the windows.
    const auto sprites = Sprites();
    size_t frameAt = 0;
    size_t lastCard = 0;
    for (size_t i = 0; i < sprites.size(); ++i) {
        if (Near(sprites[i].right - sprites[i].left, 640)) frameAt = i;
        if (Near(sprites[i].bottom - sprites[i].top, 260)) lastCard = i;
    }
    EXPECT_GT(frameAt, lastCard);
    EXPECT_TRUE(Drawn(60, 336, kPlate));
    EXPECT_TRUE(Drawn(380, 336, kPlate));
    // The selected names centred in their columns: character 7's is 60 wide, 18's is 79
    // (60.5 rounds away from zero).
    EXPECT_TRUE(Drawn(450, 339, {920, 438, 980, 458}));
    EXPECT_TRUE(Drawn(121, 339, {991, 113, 1070, 132}));
    EXPECT_TRUE(Drawn(154, 436, kSlash));
    EXPECT_TRUE(Drawn(474, 436, kSlash));
    // Full party gauge from x 380; half an enemy gauge ending at x 260.
    EXPECT_TRUE(Drawn(380, 370, {202, 596, 402, 626}));
    EXPECT_TRUE(Drawn(160, 370, {99, 596, 199, 626}));
    EXPECT_TRUE(Drawn(168, 8, kBanner));
    EXPECT_EQ(GlyphsDrawn(), 0u);
}

TEST_F(BattleScreen, ClashMarksStandOverTheirColumns)
{
    battle_->outcome = 0;
    Show(WaitClashResult);
    EXPECT_TRUE(Drawn(434, 8, kWin));
    EXPECT_TRUE(Drawn(113, 8, kLose));
    EXPECT_TRUE(DrawnFrom(kBanner).empty());
    battle_->outcome = 1;
    Show(WaitClashResult);
    EXPECT_TRUE(Drawn(433, 8, kLose));
    EXPECT_TRUE(Drawn(114, 8, kWin));
    for (int outcome : {2, 3}) {
        battle_->outcome = outcome;
        Show(WaitClashResult);
        EXPECT_TRUE(Drawn(224, 8, kEven));
        EXPECT_TRUE(DrawnFrom(kWin).empty());
    }
}

TEST_F(BattleScreen, MessagesShowOneLineAndNothingPastTheLastRow)
{
    SetBattleMessageLine(battle_, 1, "\x90\xED\x82\xA2"); // 戦い
    battle_->messageLine = 0;
    Show(ShowBattleMessages);
    EXPECT_TRUE(Drawn(0, 0, kFrame));
    EXPECT_TRUE(PanelDrawn());
    const size_t first = GlyphsDrawn();
    EXPECT_EQ(first, 11u); // the opening line's eleven characters
    float leftmost = 1000.0f;
    for (const plat::RecordedSprite& s : Sprites())
        if (s.texture == g_fontTexture) leftmost = std::min(leftmost, s.left);
    EXPECT_EQ(leftmost, 96.0f);
    battle_->messageLine = 1;
    Show(WaitRoundStart);
    EXPECT_EQ(GlyphsDrawn(), 2u);
    // After the last line is paged the row number is 3 until the battle's next update.
    // Whatever lies past the three rows must not show as text.
    auto* tail = reinterpret_cast<int32_t*>(g_tasks[kBattleTaskSlot].work + sizeof(BattleWork));
    for (size_t i = 0; i < (kTaskWorkBytes - sizeof(BattleWork)) / 4; ++i) tail[i] = 1;
    battle_->messageLine = 3;
    Show(ShowBattleMessages);
    EXPECT_TRUE(Drawn(0, 0, kFrame));
    EXPECT_EQ(GlyphsDrawn(), 0u);
    EXPECT_TRUE(PanelDrawn());
}

TEST_F(BattleScreen, TheSceneHasTheScreenToItself)
{
    Show(WaitBattleScene);
    EXPECT_TRUE(Sprites().empty());
}
