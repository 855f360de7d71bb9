// The figures of a party on the board: figure 0 sits on the piece, each other one
// follows the figure before it a cell behind. Also the rising member of a revival
// (slot 99) and the grid snap shared with the movement states.
#pragma once
#include <cstdint>

#include "engine/task.h"

struct BoardPiece;
struct Figure;
using FigureProc = void (*)(Figure*);

struct Figure {
    int32_t alive;         // the rising member's work-alive flag; 0 in a piece's figures
    BoardPiece* owner;     // the piece whose movement this figure watches; null for the rising member
    Figure* ahead;         // the figure followed; null for figure 0 and the rising member
    float x, y, z;         // y 0.25 on the floor
    float facing;          // 0, 90, 180 or 270
    float drawnRotation;   // used only by the spinning draw
    float step;            // units a frame: 0.5, or 1.0 while going back
    int32_t framesLeft;    // frames left of the current one-cell step; the rising member's counter
    int32_t framesPerCell; // 4, or 2 while going back
    int32_t modelId;       // row of g_modelTable
    FigureProc motionProc;
};
CHECK_TASK_WORK(Figure);

Figure* InitFigure(Figure* figure, float x, float y, float z, float facing, int32_t modelId, FigureProc motionProc,
                   Figure* ahead, BoardPiece* owner);
void DrawFigure(Figure* figure);
void DrawFigureUpright(Figure* figure);
void DrawFigureSpinning(Figure* figure);
float FigureGroundDistance(const Figure* a, const Figure* b);
float FigureHeightGap(const Figure* a, const Figure* b);
void RoundXZ(float* outX, float* outZ, float x, float z);
// Puts all six figures back on their piece, standing and waiting to follow again: the
// end of a move and the start of a go-back both begin the chain anew from here.
void GatherFiguresOnPiece(BoardPiece* piece);

void CopyFigurePoseFromOwner(Figure* figure);
void UpdateFigureMotion(Figure* figure);
void FigureWalkState(Figure* figure);
void FigureCatchUpState(Figure* figure);
void FigureSettleState(Figure* figure);
void FigureIdleState(Figure* figure);
void BeginFigureFollow(Figure* figure, float step, int32_t framesPerCell);
void AimFigureAndWalk(Figure* figure);
void TurnFigureToLinked(Figure* figure);

void SpawnRisingFigure(BoardPiece* piece, int32_t modelId);
int CreateFigureTask(float x, float y, float z, float facing, int32_t modelId, FigureProc motionProc);
void UpdateFigureTask(Task* task);
void DrawFigureTask(Task* task);
void RisingFigureBegin(Figure* figure);
void RisingFigureRise(Figure* figure);
void RisingFigureWait(Figure* figure);
void RisingFigureStep(Figure* figure);
