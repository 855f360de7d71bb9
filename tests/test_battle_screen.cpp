// The battle screen on the recording device: what each state draws, and where.
#include <tuple>

#include "test_board_support.h"

namespace {

class BattleScreen : public FrontendRun {
protected:
    void SetUp() override {
        FrontendRun::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        KillAllTasks();
        Frames(1);
        ResetRaceResult();
        StartEnemyGroupBattle(board_test::SidePiece(10, kControllerComputer, 6, 6),
                              board_test::SidePiece(11, kControllerEnemy, 18, 3));
        battle_ = RunningBattle();
        ASSERT_NE(battle_, nullptr);
        g_tasks[kBattleTaskSlot].updateEnabled = 0; // looked at frame by frame
    }

    void Show(BattleProc state) {
        battle_->battleProc = state;
        Frames(1);
    }

    // Letters drawn, and whether the message panel's tinted inside is, 2 pixels in from (64, 384).
    static std::pair<size_t, bool> GlyphsAndPanel() {
        std::pair<size_t, bool> seen{0, false};
        for (const plat::RecordedSprite& s : Sprites()) {
            seen.first += s.texture == g_fontTexture;
            seen.second |= s.texture == g_uiAtlas && Near(s.left, 66) && Near(s.top, 386) && s.colour == 0x96FFFFFFu;
        }
        return seen;
    }

    BattleWork* battle_ = nullptr;
};

constexpr SpriteRect kFrame = {0, 0, 640, 480};
constexpr SpriteRect kBanner = {1212, 1340, 1517, 1392};
constexpr SpriteRect kWin = {1213, 1471, 1306, 1521};
constexpr SpriteRect kLose = {1308, 1470, 1403, 1522};
constexpr SpriteRect kEven = {1213, 1417, 1405, 1465};

} // namespace

TEST_F(BattleScreen, SpinningReelsShowCardsPlatesCountsGaugesAndTheBanner) {
    battle_->partyCardY[0] = 51;
    battle_->partyCardY[1] = 311;
    battle_->enemyCardY[0] = 77;
    battle_->partySelected = 1;
    battle_->enemySelected = 0;
    battle_->partyLive = 5;
    battle_->partyGauge = 30.0f;
    battle_->enemyGauge = 15.0f;
    Show(RunReels);
    const std::tuple<float, float, SpriteRect> placed[] = {
        {60, 64, {1010, 1263, 1210, 1523}}, {380, 64, {1010, 1263, 1210, 1523}}, // card frames
        // Character 6 (team 1's first) and 7, character 18 (the first monster).
        {380, 51, {0, 1001, 200, 1261}}, {380, 311, {0, 1787, 200, 2047}}, {60, 77, {808, 1525, 1008, 1785}},
        {0, 0, kFrame}, {60, 336, {910, 176, 1110, 203}}, {380, 336, {910, 176, 1110, 203}},
        // The selected names centred in their columns: character 7's is 60 wide, 18's is 79
        // (60.5 rounds away from zero).
        {450, 339, {920, 438, 980, 458}}, {121, 339, {991, 113, 1070, 132}},
        {154, 436, {1022, 63, 1033, 85}}, {474, 436, {1022, 63, 1033, 85}}, // the counts' slashes
        // Full party gauge from x 380; half an enemy gauge ending at x 260.
        {380, 370, {202, 596, 402, 626}}, {160, 370, {99, 596, 199, 626}}, {168, 8, kBanner}};
    for (const auto& [x, y, rect] : placed) EXPECT_TRUE(Drawn(x, y, rect)) << x << ", " << y;
    // The frame comes after every card, so it hides what lies outside the windows.
    const auto sprites = Sprites();
    size_t frameAt = 0;
    size_t lastCard = 0;
    for (size_t i = 0; i < sprites.size(); ++i) {
        if (Near(sprites[i].right - sprites[i].left, 640)) frameAt = i;
        if (Near(sprites[i].bottom - sprites[i].top, 260)) lastCard = i;
    }
    EXPECT_GT(frameAt, lastCard);
    EXPECT_EQ(GlyphsAndPanel().first, 0u);
}

TEST_F(BattleScreen, ClashMarksStandOverTheirColumnsAndTheSceneHasTheScreenToItself) {
    // {outcome, x of the party's mark, x of the enemies' mark, the party's mark, the enemies'}
    const std::tuple<int, float, float, SpriteRect, SpriteRect> marks[] = {
        {0, 434, 113, kWin, kLose}, {1, 433, 114, kLose, kWin}, {2, 224, 224, kEven, kEven}, {3, 224, 224, kEven, kEven}};
    for (const auto& [outcome, partyX, enemyX, partyMark, enemyMark] : marks) {
        battle_->outcome = outcome;
        Show(WaitClashResult);
        EXPECT_TRUE(Drawn(partyX, 8, partyMark) && Drawn(enemyX, 8, enemyMark)) << outcome;
        EXPECT_TRUE(DrawnFrom(kBanner).empty() && (outcome < 2 || DrawnFrom(kWin).empty())) << outcome;
    }
    Show(WaitBattleScene);
    EXPECT_TRUE(Sprites().empty());
}

TEST_F(BattleScreen, MessagesShowOneLineAndNothingPastTheLastRow) {
    SetBattleMessageLine(battle_, 1, "\x90\xED\x82\xA2"); // 戦い
    battle_->messageLine = 0;
    Show(ShowBattleMessages);
    EXPECT_TRUE(Drawn(0, 0, kFrame));
    EXPECT_EQ(GlyphsAndPanel(), std::make_pair(size_t{11}, true)); // the opening line's eleven characters
    float leftmost = 1000.0f;
    for (const plat::RecordedSprite& s : Sprites())
        if (s.texture == g_fontTexture) leftmost = std::min(leftmost, s.left);
    EXPECT_EQ(leftmost, 96.0f);
    battle_->messageLine = 1;
    Show(WaitRoundStart);
    EXPECT_EQ(GlyphsAndPanel().first, 2u);
    // After the last line is paged the row number is 3 until the battle's next update.
    // Whatever lies past the three rows must not show as text.
    auto* tail = reinterpret_cast<int32_t*>(g_tasks[kBattleTaskSlot].work + sizeof(BattleWork));
    for (size_t i = 0; i < (kTaskWorkBytes - sizeof(BattleWork)) / 4; ++i) tail[i] = 1;
    battle_->messageLine = 3;
    Show(ShowBattleMessages);
    EXPECT_TRUE(Drawn(0, 0, kFrame));
    EXPECT_EQ(GlyphsAndPanel(), std::make_pair(size_t{0}, true));
}
