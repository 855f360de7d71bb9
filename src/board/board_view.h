// The board view (slot 2): draws the stage's tiles, walls, sea and the mountain ring,
// hosts the board screen's 2D overlays and takes the keys that switch them.
#pragma once
#include <cstdint>

#include "engine/task.h"

constexpr int kSeaCycleLength = 88;

struct BoardView {
    int32_t alive;
    int32_t seaCounter; // 0..87
    float seaLevel;
    int32_t minimapOn; // 1 = minimap shown
    int32_t overlayOn; // 1 = team panel shown
};
CHECK_TASK_WORK(BoardView);

extern const float g_seaLevelTable[kSeaCycleLength];

int CreateBoardView();
void UpdateBoardView(Task* task);
void DrawBoardView(Task* task);
float StepSeaLevel(BoardView* view);
void DrawBoardTiles(float seaLevel);
void DrawSeaCell(float x, float y, float z);
void DrawBoardCell(int32_t column, int32_t row, float x, float z);
void DrawTileBlock(float x, float height, float z, int32_t texture, int32_t cellIndex, int32_t code);
void DrawTileWalls(float x, float height, float z, int32_t code, int32_t cellIndex);
void DrawWallAlongZ(float x, float top, float z, int32_t texture);
void DrawWallAlongX(float x, float top, float z, int32_t texture);
void GetCellTileLook(int32_t code, int32_t* outTexture, float* outHeight);
int32_t GetWallTexture(int32_t code);
void DrawFlatTile(float x, float y, float z, int32_t texture);
void DrawFlatTileArea(float x0, float z0, float y, int32_t columns, int32_t rows, int32_t texture);
void DrawMountainRing();
