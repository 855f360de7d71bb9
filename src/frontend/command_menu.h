// The command menu of the board (slot 163): Shift on the board freezes every task
// and opens it; it leads to the status screen, the save slots, automatic play, the
// options and back to the title. Its window drawing is shared with the save-slot
// screen.
#pragma once
#include <cstdint>

#include "engine/sprite.h"
#include "engine/task.h"

constexpr int kMenuItemCodeCount = 11;

enum MenuItemCode : int32_t {
    kMenuResume = 0,
    kMenuStatus = 1,
    kMenuLoad = 2,
    kMenuSave = 3,
    kMenuAutoPlay = 4,
    kMenuOptions = 5,
    kMenuQuit = 6,
    kMenuQuitNo = 7,
    kMenuQuitYes = 8,
    kMenuAutoPlayNo = 9,
    kMenuAutoPlayYes = 10,
};

struct MenuWindow;
using MenuProc = void (*)(MenuWindow*);

struct MenuWindow {
    int32_t alive;            // 0 closes the menu at the end of this update
    int32_t itemCount;        // rows of the current page: 7, or 2
    int32_t cursor;           // 0 .. itemCount - 1
    const int32_t* itemCodes; // item code of each row of the current page
    SpriteRect frameRect;     // atlas rectangles
    SpriteRect titleRect;
    MenuProc stateProc;
};
CHECK_TASK_WORK(MenuWindow);

extern const int32_t g_menuMainCodes[7];
extern const int32_t g_menuQuitCodes[2];
extern const int32_t g_menuAutoPlayCodes[2];
// Item labels by code: as offered, and with save and automatic play greyed.
extern const SpriteRect g_menuLabels[kMenuItemCodeCount];
extern const SpriteRect g_menuLabelsNoSave[kMenuItemCodeCount];

void OpenCommandMenu();
int CreateMenuWindow(int32_t itemCount, const int32_t* itemCodes, const SpriteRect& frameRect,
                     const SpriteRect& titleRect);
void UpdateMenuWindow(Task* task);
void DrawMenuWindowTask(Task* task);
void StartMenuWindow(MenuWindow* menu);
void HandleMenuInput(MenuWindow* menu);
int MoveMenuCursor(int32_t* cursor, int32_t count);
void SwitchMenuPage(MenuWindow* menu, int32_t count, const int32_t* codes, const SpriteRect& frameRect,
                    const SpriteRect& titleRect);
void DrawMenuFrame(float x, float y, int32_t cursor, int32_t count, uint32_t colour, const SpriteRect& frameRect,
                   const SpriteRect& titleRect, const SpriteRect* labels, const int32_t* codes);
float ComputeCenteredOffset(const SpriteRect& item, const SpriteRect& frameRect);

// The save-slot screen opened from the menu in save (0) or load (1) mode; 1 when it
// opened, else the menu stays and refuses the item.
int OpenSaveSlotsFromMenu(int32_t mode);
