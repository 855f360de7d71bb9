// The board's buffers: the five stage layers, the event-script store and the raw
// script text, allocated once at start-up (after the task pool) and freed at shutdown.
#pragma once
#include <cstdint>

constexpr int kStageCells = 10000;       // at most 100 x 100 cells
constexpr int kEventScriptBytes = 20000; // 10 slots of 2,000 bytes
constexpr int kEventScriptSlotBytes = 2000;
constexpr int kEventTextBytes = 16000;

// The current stage's map: one set of layers, each a buffer of kStageCells bytes of
// which W x H are used, row by row. Cells are read as signed bytes.
struct StageLayers {
    int32_t boardWidth = 0;        // W, columns
    int32_t boardHeight = 0;       // H, rows
    int32_t stageNumber = 1;       // 1..3
    int8_t* squareLayer = nullptr; // square kind per cell
    int8_t* routeLayer = nullptr;  // forward direction bits, start 16 and goal 32
    int8_t* layerD = nullptr;      // back-move direction bits
    int8_t* eventLayer = nullptr;  // event number per cell
    int8_t* layerE = nullptr;      // enemy-move direction bits
    int32_t trackLength = 0;       // squares from the start to the goal
};

extern StageLayers g_stageLayers;

extern char* g_eventScripts; // decoded scripts, event n in slot n - 1
extern uint8_t* g_eventText; // the stage's raw script text

extern int32_t g_playerTeam; // the player's team 0..2

int AllocStageBuffers(); // 1, or 0 with nothing left allocated
void ClearStageLayers();
void ClearEventScripts();
void ClearStageData(); // both of the above
void FreeStageBuffers();
