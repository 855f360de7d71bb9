// The command menu: a small window over the frozen board, with a second page for
// the two questions (automatic play, back to the title).
#include "frontend/command_menu.h"

#include "board/piece.h"
#include "board/task_table.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "frontend/interface.h"
#include "frontend/options.h"
#include "frontend/save_menu.h"
#include "frontend/team_status.h"
#include "frontend/title.h"

namespace {

constexpr float kMenuX = 0.0f;
constexpr float kMenuY = 100.0f;
constexpr uint32_t kMenuColour = 0x96FFFFFFu;
constexpr float kOptionsPanelY = 100.0f;

constexpr SpriteRect kMainFrame = {1892.0f, 720.0f, 2047.0f, 964.0f};
constexpr SpriteRect kMainTitle = {767.0f, 181.0f, 871.0f, 199.0f};
constexpr SpriteRect kQuitTitle = {767.0f, 202.0f, 888.0f, 222.0f};
constexpr SpriteRect kAutoPlayTitle = {1293.0f, 1085.0f, 1396.0f, 1105.0f};

constexpr int32_t kMainItemCount = 7;
constexpr int32_t kTwoItemCount = 2;

void CloseMenu(MenuWindow* menu)
{
    menu->alive = 0;
}

void Refuse()
{
    RequestSoundEffect(kSoundError);
}

void ResumeGame(MenuWindow* menu)
{
    CloseMenu(menu);
    SetAllTasksMode(kModeResume);
}

// Codes 1, 2, 3 and 5 hand the frozen game to a screen that resumes it when it
// closes. If that screen cannot open, the menu stays: closing it would leave the
// game frozen with nothing on screen to take a key.
void HandOver(MenuWindow* menu, int opened)
{
    if (opened != 0)
        CloseMenu(menu);
    else
        Refuse();
}

void RunMenuItem(MenuWindow* menu, int32_t code)
{
    switch (code) {
    case kMenuResume: ResumeGame(menu); break;
    case kMenuStatus: HandOver(menu, OpenPlayerStatus()); break;
    case kMenuLoad: HandOver(menu, OpenSaveSlotsFromMenu(kSaveMenuLoadMode)); break;
    case kMenuSave:
        if (CanPlayerSave() != 0)
            HandOver(menu, OpenSaveSlotsFromMenu(kSaveMenuSaveMode));
        else
            Refuse();
        break;
    case kMenuAutoPlay:
        if (CanPlayerSave() != 0)
            SwitchMenuPage(menu, kTwoItemCount, g_menuAutoPlayCodes, kTwoItemFrameRect, kAutoPlayTitle);
        else
            Refuse();
        break;
    case kMenuOptions: HandOver(menu, CreateOptionsScreen(kOptionsPanelY, kOptionsInGame)); break;
    case kMenuQuit: SwitchMenuPage(menu, kTwoItemCount, g_menuQuitCodes, kTwoItemFrameRect, kQuitTitle); break;
    case kMenuQuitNo:
    case kMenuAutoPlayNo: SwitchMenuPage(menu, kMainItemCount, g_menuMainCodes, kMainFrame, kMainTitle); break;
    case kMenuQuitYes:
        // The race is abandoned; this kills the menu's own task as well.
        CloseMenu(menu);
        KillAllTasks();
        OpenTitleScreen();
        break;
    case kMenuAutoPlayYes:
        CloseMenu(menu);
        SetPlayerTeamController(kControllerComputer);
        SetAllTasksMode(kModeResume);
        break;
    default: break;
    }
}

} // namespace

const int32_t g_menuMainCodes[7] = {kMenuResume,   kMenuStatus,  kMenuLoad, kMenuSave,
                                    kMenuAutoPlay, kMenuOptions, kMenuQuit};
const int32_t g_menuQuitCodes[2] = {kMenuQuitNo, kMenuQuitYes};
const int32_t g_menuAutoPlayCodes[2] = {kMenuAutoPlayNo, kMenuAutoPlayYes};

const SpriteRect g_menuLabels[kMenuItemCodeCount] = {
    {767.0f, 224.0f, 868.0f, 242.0f},     // resume
    {893.0f, 205.0f, 995.0f, 225.0f},     // team status
    {767.0f, 268.0f, 867.0f, 287.0f},     // load
    {767.0f, 245.0f, 867.0f, 265.0f},     // save
    {1315.0f, 1085.0f, 1395.0f, 1105.0f}, // automatic play
    {465.0f, 687.0f, 505.0f, 707.0f},     // options
    {787.0f, 202.0f, 888.0f, 222.0f},     // back to the title
    kAnswerNoRect,
    kAnswerYesRect,
    kAnswerNoRect,
    kAnswerYesRect,
};

const SpriteRect g_menuLabelsNoSave[kMenuItemCodeCount] = {
    {767.0f, 224.0f, 868.0f, 242.0f},
    {893.0f, 205.0f, 995.0f, 225.0f},
    {767.0f, 268.0f, 867.0f, 287.0f},
    {1403.0f, 913.0f, 1503.0f, 933.0f}, // save, greyed
    {1403.0f, 935.0f, 1483.0f, 955.0f}, // automatic play, greyed
    {465.0f, 687.0f, 505.0f, 707.0f},
    {787.0f, 202.0f, 888.0f, 222.0f},
    kAnswerNoRect,
    kAnswerYesRect,
    kAnswerNoRect,
    kAnswerYesRect,
};

void OpenCommandMenu()
{
    // Freezing with the menu's slot taken would leave no task running to thaw the game.
    if (g_tasks == nullptr || g_tasks[kCommandMenuSlot].alive != 0)
        return;
    SetAllTasksMode(kModeFreeze);
    RequestSoundEffect(kSoundPause);
    CreateMenuWindow(kMainItemCount, g_menuMainCodes, kMainFrame, kMainTitle);
}

int CreateMenuWindow(int32_t itemCount, const int32_t* itemCodes, const SpriteRect& frameRect,
                     const SpriteRect& titleRect)
{
    Task* task = CreateTask(kCommandMenuSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kCommandMenuKind, UpdateMenuWindow, DrawMenuWindowTask);
    MenuWindow* menu = TaskWork<MenuWindow>(task);
    menu->alive = 1;
    menu->itemCount = itemCount;
    menu->cursor = 0;
    menu->itemCodes = itemCodes;
    menu->frameRect = frameRect;
    menu->titleRect = titleRect;
    menu->stateProc = StartMenuWindow;
    return 1;
}

void UpdateMenuWindow(Task* task)
{
    MenuWindow* menu = TaskWork<MenuWindow>(task);
    if (menu->stateProc != nullptr)
        menu->stateProc(menu);
    if (menu->alive == 0)
        task->alive = 0;
}

void DrawMenuWindowTask(Task* task)
{
    const MenuWindow* menu = TaskWork<MenuWindow>(task);
    const SpriteRect* labels = CanPlayerSave() != 0 ? g_menuLabels : g_menuLabelsNoSave;
    DrawMenuFrame(kMenuX, kMenuY, menu->cursor, menu->itemCount, kMenuColour, menu->frameRect, menu->titleRect, labels,
                  menu->itemCodes);
}

void StartMenuWindow(MenuWindow* menu)
{
    menu->stateProc = HandleMenuInput;
}

void HandleMenuInput(MenuWindow* menu)
{
    if (MoveMenuCursor(&menu->cursor, menu->itemCount) == 0)
        return;
    if (menu->cursor < 0 || menu->cursor >= menu->itemCount || menu->itemCodes == nullptr)
        return;
    RunMenuItem(menu, menu->itemCodes[menu->cursor]);
}

int MoveMenuCursor(int32_t* cursor, int32_t count)
{
    if (IsKeyPressed(kKeyDown) || IsKeyPressed(kKeyRight)) {
        *cursor = *cursor + 1 > count - 1 ? 0 : *cursor + 1;
        RequestSoundEffect(kSoundBlip);
        return 0;
    }
    if (IsKeyPressed(kKeyUp) || IsKeyPressed(kKeyLeft)) {
        *cursor = *cursor - 1 < 0 ? count - 1 : *cursor - 1;
        RequestSoundEffect(kSoundBlip);
        return 0;
    }
    if (IsKeyPressed(kKeyReturn) || IsKeyPressed(kKeyZ)) {
        RequestSoundEffect(kSoundBlip);
        return 1;
    }
    return 0;
}

void SwitchMenuPage(MenuWindow* menu, int32_t count, const int32_t* codes, const SpriteRect& frameRect,
                    const SpriteRect& titleRect)
{
    menu->itemCount = count;
    menu->itemCodes = codes;
    menu->frameRect = frameRect;
    menu->titleRect = titleRect;
    menu->cursor = 0;
}

void DrawMenuFrame(float x, float y, int32_t cursor, int32_t count, uint32_t colour, const SpriteRect& frameRect,
                   const SpriteRect& titleRect, const SpriteRect* labels, const int32_t* codes)
{
    DrawAtlasPanel(x, y, frameRect, colour);
    const float titleX = x + ((frameRect.right - frameRect.left) - (titleRect.right - titleRect.left)) / 2.0f;
    DrawAtlasSprite(titleX, y + 6.0f, titleRect);
    DrawAtlasSprite(x + 4.0f, y + 32.0f + 27.0f * static_cast<float>(cursor), kMenuCursorRect);
    for (int32_t i = 0; i < count && codes != nullptr; ++i) {
        const int32_t code = codes[i];
        if (code < 0 || code >= kMenuItemCodeCount)
            continue;
        const SpriteRect& label = labels[code];
        DrawAtlasSprite(x + ComputeCenteredOffset(label, frameRect), y + 35.0f + 27.0f * static_cast<float>(i), label);
    }
}

float ComputeCenteredOffset(const SpriteRect& item, const SpriteRect& frameRect)
{
    return RoundToNearest(((frameRect.right - frameRect.left) - (item.right - item.left)) / 2.0f);
}

int OpenSaveSlotsFromMenu(int32_t mode)
{
    return CreateSaveMenu(mode, kSaveMenuInRace, 120.0f, 0.0f, 0.0f);
}
