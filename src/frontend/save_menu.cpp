#include "frontend/save_menu.h"

#include "board/task_table.h"
#include "engine/assets.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/sprite.h"
#include "engine/text.h"
#include "frontend/command_menu.h"
#include "frontend/interface.h"
#include "frontend/title.h"
#include "persist/save_slot.h"

namespace {

constexpr SpriteRect kPanelRect = {1010.0f, 1607.0f, 1300.0f, 1778.0f};
constexpr SpriteRect kSidePictureRect = {1407.0f, 1394.0f, 1572.0f, 1565.0f};
constexpr SpriteRect kStageLabelRect = {1006.0f, 363.0f, 1058.0f, 380.0f};
constexpr SpriteRect kSavePrompt = {773.0f, 129.0f, 893.0f, 149.0f};
constexpr SpriteRect kLoadPrompt = {773.0f, 156.0f, 893.0f, 176.0f};
constexpr SpriteRect kSaveTitleRect = {767.0f, 127.0f, 901.0f, 152.0f};
constexpr SpriteRect kLoadTitleRect = {767.0f, 154.0f, 901.0f, 179.0f};
constexpr SpriteRect kSavedMessageRect = {850.0f, 363.0f, 1004.0f, 391.0f};
constexpr SpriteRect kErrorMessageRect = {1010.0f, 1577.0f, 1287.0f, 1605.0f};
constexpr SpriteRect kKeyHintRect = {1113.0f, 156.0f, 1287.0f, 181.0f};
constexpr SpriteRect kNoDataRect = {1010.0f, 1555.0f, 1256.0f, 1575.0f};

// The confirmation's two rows: code 0 no, code 1 yes.
constexpr int32_t kAnswerCodes[2] = {0, 1};
constexpr SpriteRect kAnswerLabels[2] = {kAnswerNoRect, kAnswerYesRect};

bool Confirmed()
{
    return IsKeyPressed(kKeyReturn) || IsKeyPressed(kKeyZ);
}

} // namespace

int OpenLoadFromTitle()
{
    return CreateSaveMenu(kSaveMenuLoadMode, kSaveMenuFromTitle, 120.0f, 0.0f, 0.0f);
}

int CreateSaveMenu(int32_t mode, int32_t origin, float panelY, float hintX, float hintY)
{
    Task* task = CreateTask(kSaveMenuSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kSaveMenuKind, UpdateSaveMenu, DrawSaveMenu);
    SaveMenuWork* work = TaskWork<SaveMenuWork>(task);
    work->alive = 1;
    work->mode = mode;
    work->cursor = 0;
    work->answer = 0;
    work->origin = origin;
    work->panelY = panelY;
    work->hintX = hintX;
    work->hintY = hintY;
    work->stateProc = StartSaveMenu;
    ReadSlotSummaries(work);
    return 1;
}

void UpdateSaveMenu(Task* task)
{
    SaveMenuWork* work = TaskWork<SaveMenuWork>(task);
    if (work->stateProc != nullptr)
        work->stateProc(work);
    // A load clears the pool, this slot included: its word 0 then reads 0 as well.
    if (work->alive == 0)
        task->alive = 0;
}

void StartSaveMenu(SaveMenuWork* work)
{
    work->stateProc = ChooseSaveSlot;
}

void ChooseSaveSlot(SaveMenuWork* work)
{
    if (IsKeyPressed(kKeyUp)) {
        work->cursor = work->cursor - 1 < 0 ? kSaveSlotCount - 1 : work->cursor - 1;
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyDown)) {
        work->cursor = work->cursor + 1 > kSaveSlotCount - 1 ? 0 : work->cursor + 1;
        RequestSoundEffect(kSoundBlip);
    } else if (Confirmed()) {
        work->answer = 0;
        work->stateProc = ConfirmSaveSlot;
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyEscape)) {
        work->alive = 0;
        RequestSoundEffect(kSoundBlip);
        if (work->origin == kSaveMenuFromTitle)
            OpenTitleScreen();
        else
            SetAllTasksMode(kModeResume);
    }
}

void ConfirmSaveSlot(SaveMenuWork* work)
{
    if (IsKeyPressed(kKeyUp)) {
        work->answer = work->answer - 1 < 0 ? 1 : work->answer - 1;
        RequestSoundEffect(kSoundBlip);
        return;
    }
    if (IsKeyPressed(kKeyDown)) {
        work->answer = work->answer + 1 > 1 ? 0 : work->answer + 1;
        RequestSoundEffect(kSoundBlip);
        return;
    }
    if (!Confirmed())
        return;
    if (work->answer == 0) {
        work->stateProc = ChooseSaveSlot;
        RequestSoundEffect(kSoundBlip);
        return;
    }
    if (work->mode == kSaveMenuSaveMode) {
        // A failed save is said as such; the slot's old file is still there.
        const int saved = SaveGameSlot(work->cursor);
        ReadSlotSummaries(work);
        work->stateProc = saved != 0 ? ShowSaveDoneMessage : ShowSaveErrorMessage;
        RequestSoundEffect(saved != 0 ? kSoundSave : kSoundError);
        return;
    }
    const int slot = work->cursor;
    if (CheckSaveSlotExists(slot) == 1 && LoadGameSlot(slot) == 1) {
        work->alive = 0; // the pool now holds the loaded race
        return;
    }
    work->stateProc = ShowSaveErrorMessage;
    RequestSoundEffect(kSoundError);
}

void ShowSaveDoneMessage(SaveMenuWork* work)
{
    if (Confirmed()) {
        work->stateProc = ChooseSaveSlot;
        RequestSoundEffect(kSoundBlip);
    }
}

void ShowSaveErrorMessage(SaveMenuWork* work)
{
    if (Confirmed())
        work->stateProc = ChooseSaveSlot;
}

void ReadSlotSummaries(SaveMenuWork* work)
{
    // A slot without a readable file keeps the stage and time it had; they are not shown.
    for (int slot = 0; slot < kSaveSlotCount; ++slot)
        work->exists[slot] = ReadSaveSlotSummary(slot, &work->stage[slot], &work->written[slot]);
}

void DrawSlotTimestamp(float x, float y, int32_t exists, const SlotTime& time)
{
    float pen = x + 8.0f;
    if (exists == kSlotEmpty) {
        DrawAtlasSprite(pen, y, kNoDataRect);
        return;
    }
    if (exists != kSlotWritten) {
        DrawAtlasSprite(pen, y, kErrorMessageRect); // "could not load": the file is there but unreadable
        return;
    }
    const int32_t numbers[5] = {time.year, time.month, time.day, time.hour, time.minute};
    const SpriteRect* units[5] = {&kYearUnit, &kMonthUnit, &kDayUnit, &kHourUnit, &kMinuteUnit};
    for (int i = 0; i < 5; ++i) {
        pen += DrawNumberMedium(pen, y, numbers[i]);
        pen += DrawSpriteUnrounded(pen, y, *units[i], AtlasWidth(), AtlasHeight(), kOpaqueWhite, g_uiAtlas);
    }
}

void DrawSlotStage(float x, float y, int32_t stage)
{
    DrawAtlasSprite(x, y, kStageLabelRect);
    DrawNumberMedium(x + 100.0f, y, stage);
}

void DrawSaveMenu(Task* task)
{
    const SaveMenuWork* work = TaskWork<SaveMenuWork>(task);
    const float y = work->panelY;
    if (work->origin == kSaveMenuFromTitle)
        FillScreenWithTile(kBackgroundTileRect.left, kBackgroundTileRect.top, kBackgroundTileRect.right,
                           kBackgroundTileRect.bottom);
    DrawAtlasSprite(60.0f, y, kPanelRect);
    DrawAtlasSprite(380.0f, y, kSidePictureRect);
    DrawAtlasSprite(64.0f, y + 21.0f + 28.0f * static_cast<float>(work->cursor), kMenuCursorRect);
    for (int slot = 0; slot < kSaveSlotCount; ++slot) {
        const float rowY = y + 23.0f + 28.0f * static_cast<float>(slot);
        DrawSlotTimestamp(76.0f, rowY, work->exists[slot], work->written[slot]);
        if (work->exists[slot] == kSlotWritten && work->stage[slot] >= 1 && work->stage[slot] <= 3)
            DrawSlotStage(388.0f, rowY + 2.0f, work->stage[slot]);
    }
    const bool saving = work->mode == kSaveMenuSaveMode;
    if (work->stateProc == ConfirmSaveSlot)
        DrawMenuFrame(247.0f, y + 40.0f, work->answer, 2, kOpaqueWhite, kTwoItemFrameRect,
                      saving ? kSavePrompt : kLoadPrompt, kAnswerLabels, kAnswerCodes);
    DrawAtlasSpriteCentredX(saving ? kSaveTitleRect : kLoadTitleRect, y - 30.0f);
    if (work->stateProc == ShowSaveDoneMessage)
        DrawAtlasSpriteCentredX(kSavedMessageRect, y + 60.0f);
    if (work->stateProc == ShowSaveErrorMessage)
        DrawAtlasSpriteCentredX(kErrorMessageRect, y + 60.0f);
    DrawAtlasSprite(work->hintX, work->hintY, kKeyHintRect);
}
