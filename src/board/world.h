// The board's buffers: the five stage layers, the event-script store and the raw
// script text, allocated once at start-up (after the task pool) and freed at shutdown.
#pragma once
#include <cstdint>

constexpr int kStageCells = 10000;       // at most 100 x 100 cells
constexpr int kEventScriptBytes = 20000; // 10 slots of 2,000 bytes
constexpr int kEventScriptSlotBytes = 2000;
constexpr int kEventTextBytes = 16000;

// StageLayers: one set for the current stage. Cells are read as signed bytes.
extern int32_t g_boardWidth;   // W, columns
extern int32_t g_boardHeight;  // H, rows
extern int32_t g_stageNumber;  // 1..3
extern int8_t* g_squareLayer;  // square kind per cell
extern int8_t* g_routeLayer;   // forward direction bits, start 16 and goal 32
extern int8_t* g_layerD;       // back-move direction bits
extern int8_t* g_eventLayer;   // event number per cell
extern int8_t* g_layerE;       // enemy-move direction bits
extern int32_t g_trackLength;  // squares from the start to the goal

extern char* g_eventScripts;   // decoded scripts, event n in slot n - 1
extern uint8_t* g_eventText;   // the stage's raw script text

extern int32_t g_playerTeam;   // the player's team 0..2

int AllocStageBuffers(); // 1, or 0 with nothing left allocated
void ClearStageLayers();
void ClearEventScripts();
void ClearStageData();   // both of the above
void FreeStageBuffers();
