#include "frontend/options.h"

#include "board/task_table.h"
#include "engine/config.h"
#include "engine/graphics.h"
#include "engine/input.h"
#include "engine/main_window.h"
#include "engine/sound.h"
#include "frontend/interface.h"
#include "frontend/title.h"
#include "platform/window.h"

namespace {

// The settings behind rows 0..5, in row order.
int32_t* const kRowSettings[kOptionRowCount] = {
    &g_gameConfig.windowedOption, &g_gameConfig.vsyncOption,    &g_gameConfig.depth24Option,
    &g_gameConfig.musicOn,        &g_gameConfig.soundEffectsOn, &g_gameConfig.battleAnimation,
};

int DisplaySettingsChanged()
{
    const GameConfig& c = g_gameConfig;
    return c.windowedOption != c.prevWindowedOption || c.vsyncOption != c.prevVsyncOption ||
           c.depth24Option != c.prevDepth24Option;
}

// Release whatever exists, place the window for the current settings and create
// the device with every texture and model. A failed creation may leave part of the
// device behind; it is released so that nothing draws on a half-built device.
int RebuildGraphics()
{
    ReleaseGraphics();
    PlaceMainWindow();
    if (g_createDisplayDevice(plat::MainWindow()))
        return 1;
    ReleaseGraphics();
    return 0;
}

} // namespace

int (*g_createDisplayDevice)(void* window) = InitGraphics;

const OptionRowImages g_optionRows[kOptionRowCount] = {
    {{515.0f, 499.0f, 615.0f, 518.0f}, {{516.0f, 521.0f, 655.0f, 539.0f}, {515.0f, 541.0f, 614.0f, 560.0f}}},
    {{619.0f, 543.0f, 755.0f, 563.0f}, {{708.0f, 386.0f, 746.0f, 405.0f}, {708.0f, 408.0f, 745.0f, 427.0f}}},
    {{370.0f, 689.0f, 460.0f, 706.0f}, {{758.0f, 499.0f, 836.0f, 517.0f}, {758.0f, 478.0f, 837.0f, 496.0f}}},
    {{662.0f, 500.0f, 736.0f, 520.0f}, {{759.0f, 542.0f, 840.0f, 562.0f}, {759.0f, 520.0f, 795.0f, 540.0f}}},
    {{662.0f, 521.0f, 746.0f, 541.0f}, {{759.0f, 542.0f, 840.0f, 562.0f}, {759.0f, 520.0f, 795.0f, 540.0f}}},
    {{878.0f, 393.0f, 1049.0f, 413.0f}, {{878.0f, 415.0f, 938.0f, 435.0f}, {940.0f, 415.0f, 979.0f, 435.0f}}},
};

int OpenOptionsFromTitle()
{
    return CreateOptionsScreen(100.0f, kOptionsFromTitle);
}

int CreateOptionsScreen(float panelY, int32_t origin)
{
    Task* task = CreateTask(kOptionsSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kOptionsKind, UpdateOptionsScreen, DrawOptionsScreen);
    OptionsWork* work = TaskWork<OptionsWork>(task);
    work->alive = 1;
    work->panelY = panelY;
    work->cursor = 0;
    work->origin = origin;
    work->stateProc = StartOptionsScreen;
    for (int row = 0; row < kOptionRowCount; ++row) {
        work->settings[row] = kRowSettings[row];
        work->copies[row] = *kRowSettings[row];
    }
    // What the device was built with, to tell on confirmation whether it needs rebuilding.
    g_gameConfig.prevWindowedOption = g_gameConfig.windowedOption;
    g_gameConfig.prevVsyncOption = g_gameConfig.vsyncOption;
    g_gameConfig.prevDepth24Option = g_gameConfig.depth24Option;
    return 1;
}

void UpdateOptionsScreen(Task* task)
{
    OptionsWork* work = TaskWork<OptionsWork>(task);
    work->stateProc(work);
    if (TaskWorkAlive(task) != 0)
        return;
    task->alive = 0;
    if (work->origin == kOptionsFromTitle)
        OpenTitleScreen();
    else
        SetAllTasksMode(kModeResume); // the board frozen by the command menu runs again
}

void StartOptionsScreen(OptionsWork* work)
{
    work->stateProc = HandleOptionsInput;
}

void HandleOptionsInput(OptionsWork* work)
{
    if (IsKeyPressed(kKeyUp)) {
        if (--work->cursor < 0)
            work->cursor = kOptionRowCount - 1;
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyDown)) {
        if (++work->cursor > kOptionRowCount - 1)
            work->cursor = 0;
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyRight) || IsKeyPressed(kKeyLeft)) {
        work->copies[work->cursor] = 1 - work->copies[work->cursor];
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyReturn) || IsKeyPressed(kKeyZ)) {
        for (int row = 0; row < kOptionRowCount; ++row)
            *work->settings[row] = work->copies[row];
        ApplyOptions(work->origin);
        work->alive = 0;
        // Requested after the settings changed: silent when sound effects were just switched off.
        RequestSoundEffect(kSoundBlip);
    }
    // Escape and every other key do nothing: the screen is left only by confirming.
}

void ApplyOptions(int32_t origin)
{
    if (g_gameConfig.musicOn == 0)
        StopAllMusic();
    else
        PlayMusic(origin == kOptionsInGame ? kMusicBoard : kMusicTitle);
    if (DisplaySettingsChanged())
        ApplyDisplaySettings();
}

void ApplyDisplaySettings()
{
    if (!HasGraphicsDevice())
        return;
    if (RebuildGraphics())
        return;
    // The new display mode cannot be had: go back to the one that worked, so that
    // the race in progress goes on, and give up only if even that fails.
    g_gameConfig.windowedOption = g_gameConfig.prevWindowedOption;
    g_gameConfig.vsyncOption = g_gameConfig.prevVsyncOption;
    g_gameConfig.depth24Option = g_gameConfig.prevDepth24Option;
    if (RebuildGraphics())
        return;
    g_running = 0;
}

void DrawOptionsScreen(Task* task)
{
    const OptionsWork* work = TaskWork<OptionsWork>(task);
    if (work->origin == kOptionsFromTitle) {
        const SpriteRect& tile = kBackgroundTileRect;
        FillScreenWithTile(tile.left, tile.top, tile.right, tile.bottom);
        DrawAtlasSpriteCentredX(kOptionsTitleRect, 50.0f);
    }
    DrawAtlasSpriteCentredX(kOptionsPanelRect, work->panelY);
    DrawOptionRows(work);
    DrawAtlasSpriteCentredX(kOptionsHelpRect, 453.0f);
}

void DrawOptionRows(const OptionsWork* work)
{
    for (int row = 0; row < kOptionRowCount; ++row) {
        const float y = work->panelY + 8.0f + kOptionsRowStep * static_cast<float>(row);
        const OptionRowImages& images = g_optionRows[row];
        DrawAtlasSprite(kOptionsLabelX, y, images.label);
        if (row == work->cursor)
            DrawAtlasSprite(kOptionsCursorX, y, kMenuCursorRect);
        const int value = work->copies[row] != 0 ? 1 : 0;
        DrawAtlasSprite(kOptionsValueX, y, images.value[value]);
    }
}
