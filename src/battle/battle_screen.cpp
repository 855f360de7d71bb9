// The battle screen: the battle task's drawing, all 2D from the interface atlas. What
// is drawn follows the battle's state; drawing changes nothing.
#include "battle/battle.h"
#include "engine/input.h"
#include "engine/sprite.h"
#include "engine/text.h"

namespace {

constexpr float kEnemyColumn = 60.0f;
constexpr float kPartyColumn = 380.0f;
constexpr float kColumnWidth = 200.0f;
constexpr float kReelTopY = 64.0f;
constexpr float kPlateY = 336.0f;
constexpr float kCountY = 436.0f;
constexpr float kGaugeY = 370.0f;
constexpr float kMarkY = 8.0f;

constexpr SpriteRect kFrameRect = {0.0f, 0.0f, 640.0f, 480.0f};
constexpr SpriteRect kCardFrameRect = {1010.0f, 1263.0f, 1210.0f, 1523.0f};
constexpr SpriteRect kNamePlateRect = {910.0f, 176.0f, 1110.0f, 203.0f};
constexpr SpriteRect kSlashRect = {1022.0f, 63.0f, 1033.0f, 85.0f};
constexpr SpriteRect kBannerRect = {1212.0f, 1340.0f, 1517.0f, 1392.0f};
constexpr SpriteRect kWinnerRect = {1213.0f, 1471.0f, 1306.0f, 1521.0f};
constexpr SpriteRect kLoserRect = {1308.0f, 1470.0f, 1403.0f, 1522.0f};
constexpr SpriteRect kEvenRect = {1213.0f, 1417.0f, 1405.0f, 1465.0f};

void DrawMarkOverColumn(const SpriteRect& mark, float column)
{
    const float x = RoundToNearest((kColumnWidth - (mark.right - mark.left)) / 2.0f + column);
    DrawAtlasSprite(x, kMarkY, mark);
}

} // namespace

void DrawBattleTask(Task* task)
{
    const BattleWork* battle = TaskWork<BattleWork>(task);
    const BattleProc state = battle->battleProc;
    if (state == WaitRoundStart || state == ShowBattleMessages) {
        DrawBattleFrame();
        DrawTextBox(battle);
    } else if (state == RunReels) {
        DrawBattleCards(battle);
        DrawGauges(battle);
        DrawReelBanner();
    } else if (state == WaitClashResult) {
        DrawBattleCards(battle);
        DrawGauges(battle);
        DrawClashOutcome(battle);
    }
    // While the 3D scene runs it has the screen to itself.
}

void DrawTextBox(const BattleWork* battle)
{
    DrawMessageWindowPanel(64.0f, 384.0f);
    // After the last line has been paged the line number is one past the rows until
    // the battle's next update: the panel then shows empty.
    if (battle->messageLine < 0 || battle->messageLine >= 3)
        return;
    DrawGlyphRow(battle->messageGlyphs[battle->messageLine], 96.0f, 400.0f);
}

void DrawBattleFrame()
{
    DrawAtlasSprite(0.0f, 0.0f, kFrameRect);
}

void DrawBattleCards(const BattleWork* battle)
{
    DrawAtlasSprite(kEnemyColumn, kReelTopY, kCardFrameRect);
    DrawAtlasSprite(kPartyColumn, kReelTopY, kCardFrameRect);
    for (int i = 0; i < battle->partyLive && i < kBattleSideMax; ++i)
        DrawAtlasSprite(kPartyColumn, static_cast<float>(battle->partyCardY[i]), battle->party[i].portraitRect);
    for (int i = 0; i < battle->enemyLive && i < kBattleSideMax; ++i)
        DrawAtlasSprite(kEnemyColumn, static_cast<float>(battle->enemyCardY[i]), battle->enemies[i].portraitRect);
    // The frame's reel windows are holes: it hides whatever of a card lies outside them.
    DrawBattleFrame();
    DrawCombatantPlates(battle);
}

void DrawCombatantPlates(const BattleWork* battle)
{
    DrawNamePlate(kEnemyColumn, kPlateY, battle->enemies, battle->enemySelected);
    DrawCountPair(kEnemyColumn, kCountY, battle->enemyLive, battle->enemyCount);
    DrawNamePlate(kPartyColumn, kPlateY, battle->party, battle->partySelected);
    DrawCountPair(kPartyColumn, kCountY, battle->partyLive, battle->partyCount);
}

void DrawNamePlate(float x, float y, const CharacterRecord* records, int32_t index)
{
    DrawAtlasSprite(x, y, kNamePlateRect);
    if (index < 0 || index >= kBattleSideMax)
        return;
    const SpriteRect& name = records[index].namePlateRect;
    const float w = name.right - name.left;
    if (w <= 0.0f)
        return; // an empty record has no name to show
    DrawAtlasSprite((kColumnWidth - w) / 2.0f + x, y + 3.0f, name);
}

void DrawCountPair(float x, float y, int32_t a, int32_t b)
{
    DrawNumberTall(x + 75.0f, y, a);
    DrawAtlasSprite(x + 94.0f, y, kSlashRect);
    DrawNumberTall(x + 107.0f, y, b);
}

void DrawGauges(const BattleWork* battle)
{
    DrawEnemyGauge(battle->enemyGauge, battle->enemyGaugeMax);
    DrawPartyGauge(battle->partyGauge, battle->partyGaugeMax);
}

void DrawPartyGauge(float value, float max)
{
    const float w = value / max * 200.0f;
    DrawAtlasSprite(kPartyColumn, kGaugeY, {202.0f, 596.0f, 202.0f + w, 626.0f});
    DrawNumberTall(342.0f, kGaugeY, static_cast<int32_t>(value));
}

void DrawEnemyGauge(float value, float max)
{
    const float w = value / max * 200.0f;
    DrawAtlasSprite(260.0f - w, kGaugeY, {199.0f - w, 596.0f, 199.0f, 626.0f});
    DrawNumberTall(264.0f, kGaugeY, static_cast<int32_t>(value));
}

void DrawReelBanner()
{
    DrawAtlasSpriteCentredX(kBannerRect, kMarkY);
}

void DrawClashOutcome(const BattleWork* battle)
{
    switch (battle->outcome) {
    case kClashPartyWins:
        DrawMarkOverColumn(kWinnerRect, kPartyColumn);
        DrawMarkOverColumn(kLoserRect, kEnemyColumn);
        break;
    case kClashEnemyWins:
        DrawMarkOverColumn(kLoserRect, kPartyColumn);
        DrawMarkOverColumn(kWinnerRect, kEnemyColumn);
        break;
    default: DrawAtlasSpriteCentredX(kEvenRect, kMarkY); break;
    }
}
