#include "frontend/title.h"

#include "board/task_table.h"
#include "engine/input.h"
#include "engine/main_window.h"
#include "engine/sound.h"
#include "frontend/gallery.h"
#include "frontend/history_screen.h"
#include "frontend/interface.h"
#include "frontend/options.h"
#include "frontend/picture_stage.h"
#include "frontend/save_menu.h"
#include "frontend/team_select.h"

// Indexed by entry = column + 2 x row.
const TitleEntry g_titleEntries[kTitleEntryCount] = {
    {{370.0f, 631.0f, 505.0f, 657.0f}, OpenTeamSelect},      // team select, a new race
    {{370.0f, 659.0f, 503.0f, 685.0f}, OpenQuitDialog},      // quit dialog
    {{768.0f, 38.0f, 903.0f, 63.0f}, OpenOptionsFromTitle},  // options
    {{768.0f, 66.0f, 898.0f, 92.0f}, OpenLoadFromTitle},     // load a save slot
    {{769.0f, 348.0f, 822.0f, 374.0f}, OpenPictureScreen},   // picture screen
    {{1063.0f, 363.0f, 1198.0f, 390.0f}, OpenHistoryScreen}, // race history
    {{769.0f, 378.0f, 848.0f, 403.0f}, OpenModelGallery},    // model gallery
    {{846.0f, 537.0f, 1009.0f, 564.0f}, OpenStageSelect},    // stage select
};

int OpenTitleScreen()
{
    Task* task = CreateTask(kTitleSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kTitleKind, UpdateTitleTask, DrawTitleScreen);
    TitleMenu* menu = TaskWork<TitleMenu>(task);
    menu->alive = 1;
    menu->column = 0;
    menu->row = 0;
    menu->entry = 0;
    menu->stateProc = StartTitleMenu;
    PlayMusic(kMusicTitle);
    return 1;
}

void UpdateTitleTask(Task* task)
{
    TitleMenu* menu = TaskWork<TitleMenu>(task);
    menu->stateProc(menu);
    // An entry may have reopened the title in this very slot; then word 0 is the
    // new menu's and the slot stays alive.
    if (TaskWorkAlive(task) == 0)
        task->alive = 0;
}

void StartTitleMenu(TitleMenu* menu)
{
    menu->stateProc = HandleTitleMenuInput;
}

void HandleTitleMenuInput(TitleMenu* menu)
{
    bool confirm = false;
    if (IsKeyPressed(kKeyRight)) {
        if (++menu->column > kTitleColumns - 1)
            menu->column = 0;
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyLeft)) {
        if (--menu->column < 0)
            menu->column = kTitleColumns - 1;
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyDown)) {
        if (++menu->row > kTitleRows - 1)
            menu->row = 0;
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyUp)) {
        if (--menu->row < 0)
            menu->row = kTitleRows - 1;
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyZ) || IsKeyPressed(kKeyReturn)) {
        confirm = true;
    }
    menu->entry = menu->column + kTitleColumns * menu->row;
    if (!confirm)
        return;

    const int entry = menu->entry;
    menu->alive = 0;
    RequestSoundEffect(kSoundBlip);
    // The chosen screen starts as the only task.
    KillAllTasks();
    g_titleEntries[entry].open();
}

void DrawAtlasImage(float x, float y, float left, float top, float right, float bottom)
{
    const SpriteRect source = {left, top, right, bottom};
    DrawAtlasSprite(x, y, source);
}

void DrawTitleScreen(Task* task)
{
    const TitleMenu* menu = TaskWork<TitleMenu>(task);
    const SpriteRect& picture = kTitlePictureRect;
    DrawAtlasImage(0.0f, 0.0f, picture.left, picture.top, picture.right, picture.bottom);
    DrawAtlasSpriteCentredX(kTitleLogoRect, 4.0f);
    DrawAtlasSprite(0.0f, 464.0f, kTitleBottomStripRect);
    DrawAtlasSpriteCentredX(kTitleMenuPanelRect, 200.0f);

    for (int entry = 0; entry < kTitleEntryCount; ++entry) {
        const int column = entry % kTitleColumns;
        const int row = entry / kTitleColumns;
        const float cellX = kTitleCellX[column];
        const float cellY = kTitleFirstCellY + kTitleCellStepY * static_cast<float>(row);
        if (entry == menu->entry)
            DrawAtlasSprite(cellX, cellY, kTitleSelectionBarRect);
        const SpriteRect& label = g_titleEntries[entry].label;
        const float labelX = cellX + (kTitleCellWidth - (label.right - label.left)) / 2.0f;
        DrawAtlasSprite(labelX, cellY, label);
    }
}

int CreateConfirmDialog(const SpriteRect& panel, const SpriteRect rects[3], ConfirmAnswerProc answer0,
                        ConfirmAnswerProc answer1)
{
    Task* task = CreateTask(kConfirmDialogSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kConfirmDialogKind, UpdateConfirmDialog, DrawConfirmDialog);
    ConfirmDialog* dialog = TaskWork<ConfirmDialog>(task);
    dialog->alive = 1;
    dialog->answer = 0;
    dialog->panel = panel;
    dialog->question = rects[0];
    dialog->answers[0] = rects[1];
    dialog->answers[1] = rects[2];
    dialog->answerProcs[0] = answer0;
    dialog->answerProcs[1] = answer1;
    dialog->stateProc = StartConfirmDialog;
    return 1;
}

void UpdateConfirmDialog(Task* task)
{
    ConfirmDialog* dialog = TaskWork<ConfirmDialog>(task);
    dialog->stateProc(dialog);
    if (TaskWorkAlive(task) == 0)
        task->alive = 0;
}

void StartConfirmDialog(ConfirmDialog* dialog)
{
    dialog->stateProc = HandleConfirmDialogInput;
}

void HandleConfirmDialogInput(ConfirmDialog* dialog)
{
    if (IsKeyPressed(kKeyRight) || IsKeyPressed(kKeyDown)) {
        if (++dialog->answer > 1)
            dialog->answer = 0;
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyLeft) || IsKeyPressed(kKeyUp)) {
        if (--dialog->answer < 0)
            dialog->answer = 1;
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyReturn) || IsKeyPressed(kKeyZ)) {
        dialog->alive = 0;
        RequestSoundEffect(kSoundBlip);
        // The answer may kill every task and reuse this slot's record: read it first.
        const ConfirmAnswerProc chosen = dialog->answerProcs[dialog->answer];
        if (chosen != nullptr)
            chosen();
    }
}

void DrawConfirmDialog(Task* task)
{
    const ConfirmDialog* dialog = TaskWork<ConfirmDialog>(task);
    const SpriteRect& tile = kBackgroundTileRect;
    FillScreenWithTile(tile.left, tile.top, tile.right, tile.bottom);
    const float panelX = DrawAtlasSpriteCentredX(dialog->panel, 120.0f);
    DrawAtlasSpriteCentredX(dialog->question, 128.0f);
    const float answerY[2] = {192.0f, 224.0f};
    for (int answer = 0; answer < 2; ++answer) {
        DrawAtlasSpriteCentredX(dialog->answers[answer], answerY[answer]);
        if (answer == dialog->answer)
            DrawAtlasSprite(panelX + 8.0f, answerY[answer], kMenuCursorRect);
    }
}

int OpenQuitDialog()
{
    const SpriteRect rects[3] = {kQuitQuestionRect, kAnswerNoRect, kAnswerYesRect};
    return CreateConfirmDialog(kQuitPanelRect, rects, ReturnToTitle, QuitFromTitle);
}

void ReturnToTitle()
{
    KillAllTasks();
    OpenTitleScreen();
}

void QuitFromTitle()
{
    KillAllTasks();
    g_running = 0;
}
