#include "frontend/history_screen.h"

#include <cstdint>

#include "board/characters.h"
#include "board/task_table.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/sprite.h"
#include "engine/text.h"
#include "frontend/interface.h"
#include "frontend/title.h"
#include "persist/history.h"

namespace {

constexpr float kRowStartX = -680.0f;
constexpr float kRowRestX = 23.0f;
constexpr float kRowGoneX = -640.0f;
constexpr float kRowSpeed = 20.0f;
constexpr int32_t kRowDelayStep = 6;

constexpr SpriteRect kBackgroundTile = {404.0f, 596.0f, 436.0f, 640.0f};
constexpr SpriteRect kTitlePlate = {873.0f, 249.0f, 1063.0f, 279.0f};
constexpr SpriteRect kCaption = {1010.0f, 1780.0f, 1130.0f, 1800.0f};
constexpr SpriteRect kRowBar = {1453.0f, 1250.0f, 2047.0f, 1280.0f};
constexpr SpriteRect kEmptyRowBar = {1453.0f, 1282.0f, 2047.0f, 1312.0f};
constexpr SpriteRect kStageUnit = {1315.0f, 28.0f, 1335.0f, 47.0f};
constexpr SpriteRect kPlaceLabels[3] = {
    {1010.0f, 1525.0f, 1039.0f, 1545.0f},
    {1048.0f, 1525.0f, 1080.0f, 1545.0f},
    {1089.0f, 1525.0f, 1121.0f, 1545.0f},
};
constexpr float kMarkerLeft = 1010.0f;
constexpr float kMarkerTop = 1085.0f;
constexpr float kMarkerBottom = 1111.0f;

// A stored value with 1 or 1900 added, or -1 (drawn as nothing) when the sum does not
// fit: save.dat may hold any number.
int32_t Shown(int32_t stored, int64_t add)
{
    const int64_t value = static_cast<int64_t>(stored) + add;
    return value > INT32_MAX || value < 0 ? -1 : static_cast<int32_t>(value);
}

} // namespace

int OpenHistoryScreen()
{
    return CreateHistoryScreen();
}

int CreateHistoryScreen()
{
    Task* task = CreateTask(kHistoryScreenSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kHistoryScreenKind, UpdateHistoryScreen, DrawHistoryScreen);
    HistoryScreenWork* work = TaskWork<HistoryScreenWork>(task);
    work->alive = 1;
    work->stateProc = StartHistoryScreen;
    ResetHistoryRowAnimation();
    return 1;
}

void ResetHistoryRowAnimation()
{
    for (int i = 0; i < kHistoryEntries; ++i) {
        HistoryEntry& entry = g_history[i];
        entry.rowX = kRowStartX;
        entry.rowY = 80.0f + 40.0f * static_cast<float>(i);
        entry.rowDelay = kRowDelayStep * i;
        entry.rowArrived = 0;
    }
}

void UpdateHistoryScreen(Task* task)
{
    HistoryScreenWork* work = TaskWork<HistoryScreenWork>(task);
    work->stateProc(work);
    if (work->alive == 0) {
        task->alive = 0;
        ReturnToTitle();
    }
}

void StartHistoryScreen(HistoryScreenWork* work)
{
    work->stateProc = SlideHistoryRowsIn;
}

void SlideHistoryRowsIn(HistoryScreenWork* work)
{
    for (HistoryEntry& entry : g_history) {
        if (entry.rowDelay > 0) {
            entry.rowDelay -= 1;
            continue;
        }
        entry.rowX += kRowSpeed;
        if (entry.rowX >= kRowRestX) {
            entry.rowX = kRowRestX;
            entry.rowArrived = 1;
        }
    }
    if (g_history[kHistoryEntries - 1].rowArrived)
        work->stateProc = WaitHistoryConfirm;
}

void WaitHistoryConfirm(HistoryScreenWork* work)
{
    if (!IsKeyPressed(kKeyReturn) && !IsKeyPressed(kKeyZ))
        return;
    // The bottom row leaves first, the top one last.
    for (int i = 0; i < kHistoryEntries; ++i)
        g_history[i].rowDelay = kRowDelayStep * (kHistoryEntries - 1 - i);
    work->stateProc = SlideHistoryRowsOut;
    RequestSoundEffect(kSoundBlip);
}

void SlideHistoryRowsOut(HistoryScreenWork* work)
{
    for (HistoryEntry& entry : g_history) {
        if (entry.rowDelay > 0) {
            entry.rowDelay -= 1;
            continue;
        }
        entry.rowX -= kRowSpeed;
        if (entry.rowX <= kRowGoneX)
            entry.rowX = kRowGoneX;
    }
    if (g_history[0].rowX <= kRowGoneX)
        work->alive = 0;
}

int IsHistoryEntryEmpty(const HistoryEntry& entry)
{
    const HistoryTime& t = entry.time;
    if (t.tm_min || t.tm_hour || t.tm_mday || t.tm_mon || t.tm_year)
        return 0;
    for (int p = 0; p < 3; ++p) {
        if (entry.placeTeam[p] || entry.placeLeader[p])
            return 0;
    }
    return 1;
}

void DrawHistoryScreen(Task*)
{
    FillScreenWithTile(kBackgroundTile.left, kBackgroundTile.top, kBackgroundTile.right, kBackgroundTile.bottom);
    for (int i = kHistoryEntries - 1; i >= 0; --i)
        DrawHistoryRow(g_history[i]);
    DrawAtlasSpriteCentredX(kTitlePlate, 40.0f);
    DrawAtlasSpriteCentredX(kCaption, 42.0f);
}

void DrawHistoryRow(const HistoryEntry& entry)
{
    const float x = entry.rowX;
    const float y = entry.rowY;
    if (IsHistoryEntryEmpty(entry)) {
        DrawAtlasSprite(x, y, kEmptyRowBar);
        return;
    }
    DrawAtlasSprite(x, y, kRowBar);
    const float line = y + 6.0f;
    const HistoryTime& t = entry.time;
    float c = x + 8.0f;
    c = DrawNumberMediumEnd(c, line, Shown(t.tm_year, 1900));
    c = DrawAtlasSpriteScaled(c + 2.0f, line, 1.0f, kYearUnit);
    c = DrawNumberMediumEnd(c + 2.0f, line, Shown(t.tm_mon, 1));
    c = DrawAtlasSpriteScaled(c + 2.0f, line, 1.0f, kMonthUnit);
    c = DrawNumberMediumEnd(c + 2.0f, line, t.tm_mday);
    c = DrawAtlasSpriteScaled(c + 2.0f, line, 1.0f, kDayUnit);
    c = DrawNumberMediumEnd(c + 2.0f, line, t.tm_hour);
    c = DrawAtlasSpriteScaled(c + 2.0f, line, 1.0f, kHourUnit);
    c = DrawNumberMediumEnd(c + 2.0f, line, t.tm_min);
    c = DrawAtlasSpriteScaled(c + 2.0f, line, 1.0f, kMinuteUnit);
    c = DrawNumberMediumEnd(c + 15.0f, line, entry.stage);
    c = DrawAtlasSpriteScaled(c + 2.0f, line, 1.0f, kStageUnit);
    for (int p = 0; p < 3; ++p) {
        const SpriteRect& label = kPlaceLabels[p];
        if (entry.placeTeam[p] == entry.playerTeam) {
            const SpriteRect marker = {kMarkerLeft, kMarkerTop, kMarkerLeft + (label.right - label.left),
                                       kMarkerBottom};
            DrawAtlasSprite(c + 19.0f, y + 2.0f, marker);
        }
        c = DrawAtlasSpriteScaled(c + 20.0f, line, 1.0f, label);
        const int32_t leader = entry.placeLeader[p];
        if (leader < 0 || leader >= kCharacterCount)
            continue; // a leader the character table does not have shows no icon
        const SpriteRect& icon = g_characters[leader].faceRect;
        const float h = icon.bottom - icon.top;
        c = DrawAtlasSpriteScaled(c + 2.0f, y + 30.0f - h / 2.0f, 0.5f, icon);
    }
}
