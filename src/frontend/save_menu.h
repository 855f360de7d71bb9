// The save/load screen (slot 166): the five slots with the date and time of each
// file's last write and its stage, a yes/no confirmation, and the saved and error
// messages. Opened in load mode from the title, in either mode from the command menu.
#pragma once
#include <cstdint>

#include "engine/task.h"
#include "persist/save_slot.h"

enum : int32_t {
    kSaveMenuSaveMode = 0,
    kSaveMenuLoadMode = 1,
};
enum : int32_t {
    kSaveMenuFromTitle = 0,
    kSaveMenuInRace = 2,
};

struct SaveMenuWork;
using SaveMenuProc = void (*)(SaveMenuWork*);

struct SaveMenuWork {
    int32_t alive;
    int32_t mode;   // 0 save, 1 load
    int32_t cursor; // slot 0..4
    int32_t answer; // 0 no, 1 yes
    int32_t origin; // 0 title, 2 race
    float panelY;
    float hintX, hintY;
    SaveMenuProc stateProc;
    int32_t exists[5]; // kSlotEmpty, kSlotWritten or kSlotUnreadable
    int32_t stage[5];  // first word of each written file; shown only when 1..3
    SlotTime written[5];
};
CHECK_TASK_WORK(SaveMenuWork);

int OpenLoadFromTitle();
int CreateSaveMenu(int32_t mode, int32_t origin, float panelY, float hintX, float hintY);
void UpdateSaveMenu(Task* task);
void DrawSaveMenu(Task* task);
void DrawSlotTimestamp(float x, float y, int32_t exists, const SlotTime& time);
void DrawSlotStage(float x, float y, int32_t stage);

void StartSaveMenu(SaveMenuWork* work);
void ChooseSaveSlot(SaveMenuWork* work);
void ConfirmSaveSlot(SaveMenuWork* work);
void ShowSaveDoneMessage(SaveMenuWork* work);
void ShowSaveErrorMessage(SaveMenuWork* work);

void ReadSlotSummaries(SaveMenuWork* work);
