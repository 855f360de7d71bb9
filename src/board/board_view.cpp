// Placeholder bodies so others can link; filled in next.
#include "board/board_view.h"
const float g_seaLevelTable[kSeaCycleLength] = {};
int CreateBoardView() { return {}; }
void UpdateBoardView(Task* /*unused*/) {}
void DrawBoardView(Task* /*unused*/) {}
float StepSeaLevel(BoardView* /*unused*/) { return {}; }
void DrawBoardTiles(float /*unused*/) {}
void DrawSeaCell(float /*unused*/, float /*unused*/, float /*unused*/) {}
void DrawBoardCell(int32_t /*unused*/, int32_t /*unused*/, float /*unused*/, float /*unused*/) {}
void DrawTileBlock(float /*unused*/, float /*unused*/, float /*unused*/, int32_t /*unused*/, int32_t /*unused*/, int32_t /*unused*/) {}
void DrawTileWalls(float /*unused*/, float /*unused*/, float /*unused*/, int32_t /*unused*/, int32_t /*unused*/) {}
void DrawWallAlongZ(float /*unused*/, float /*unused*/, float /*unused*/, int32_t /*unused*/) {}
void DrawWallAlongX(float /*unused*/, float /*unused*/, float /*unused*/, int32_t /*unused*/) {}
void GetCellTileLook(int32_t /*unused*/, int32_t* /*unused*/, float* /*unused*/) {}
int32_t GetWallTexture(int32_t /*unused*/) { return {}; }
void DrawFlatTile(float /*unused*/, float /*unused*/, float /*unused*/, int32_t /*unused*/) {}
void DrawFlatTileArea(float /*unused*/, float /*unused*/, float /*unused*/, int32_t /*unused*/, int32_t /*unused*/, int32_t /*unused*/) {}
void DrawMountainRing() {}
