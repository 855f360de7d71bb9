// The team status screen (slot 165): during a race, one page per team with the six
// members' face icons, a cursor and the detail of the member under it. Opened from
// the command menu over the frozen game; closing it lets every task run again.
#pragma once
#include <cstdint>

#include "engine/task.h"

struct BoardPiece;

constexpr int kStatusTeamCount = 3;

struct StatusScreen;
using StatusProc = void (*)(StatusScreen*);

struct StatusScreen {
    int32_t alive;  // 0 closes the screen at the end of this update
    int32_t column; // selected member 0..5
    int32_t page;   // shown team 0..2
    StatusProc stateProc;
    BoardPiece* teamPiece[kStatusTeamCount]; // each team's piece, or null; refreshed every frame
};
CHECK_TASK_WORK(StatusScreen);

int OpenPlayerStatus();
int CreateStatusScreen(int32_t team);
void UpdateStatusScreen(Task* task);
void DrawStatusScreenTask(Task* task);
void StartStatusScreen(StatusScreen* screen);
void HandleStatusInput(StatusScreen* screen);
void RefreshTeamTasks(StatusScreen* screen);
BoardPiece* FindTeamTask(int32_t team);
void DrawStatusScreen(const StatusScreen* screen);
void DrawCharacterList(const BoardPiece* piece, int32_t selected);
void DrawCharacterDetail(const BoardPiece* piece, float y, int32_t selected);
void DrawDirectionHints();
