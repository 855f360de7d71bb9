// The history screen (slot 169): the ten last races slide in from the left, wait for
// Return or Z and slide out again before the title returns.
#pragma once
#include <cstdint>

#include "engine/task.h"

struct HistoryEntry;
struct HistoryScreenWork;
using HistoryScreenProc = void (*)(HistoryScreenWork*);

struct HistoryScreenWork {
    int32_t alive;
    HistoryScreenProc stateProc;
};
CHECK_TASK_WORK(HistoryScreenWork);

int OpenHistoryScreen();
int CreateHistoryScreen();
void ResetHistoryRowAnimation();
void UpdateHistoryScreen(Task* task);
void StartHistoryScreen(HistoryScreenWork* work);
void SlideHistoryRowsIn(HistoryScreenWork* work);
void WaitHistoryConfirm(HistoryScreenWork* work);
void SlideHistoryRowsOut(HistoryScreenWork* work);
void DrawHistoryScreen(Task* task);
void DrawHistoryRow(const HistoryEntry& entry);
int IsHistoryEntryEmpty(const HistoryEntry& entry);
