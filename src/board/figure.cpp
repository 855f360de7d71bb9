#include "board/figure.h"

Figure* InitFigure(Figure* figure, float x, float y, float z, float facing, int32_t modelId, FigureProc motionProc,
                   Figure* ahead, BoardPiece* owner)
{
    figure->x = x;
    figure->y = y;
    figure->z = z;
    figure->facing = facing;
    figure->drawnRotation = facing;
    figure->modelId = modelId;
    figure->motionProc = motionProc;
    figure->ahead = ahead;
    figure->owner = owner;
    figure->step = 0.5f;
    figure->framesLeft = 4;
    figure->framesPerCell = 4;
    return figure;
}

void DrawFigure(Figure* /*figure*/) {}
void DrawFigureUpright(Figure* /*figure*/) {}
void DrawFigureSpinning(Figure* /*figure*/) {}
float FigureGroundDistance(const Figure* /*a*/, const Figure* /*b*/) { return 0.0f; }
float FigureHeightGap(const Figure* /*a*/, const Figure* /*b*/) { return 0.0f; }
void RoundXZ(float* outX, float* outZ, float x, float z)
{
    *outX = x;
    *outZ = z;
}
void CopyFigurePoseFromOwner(Figure* /*figure*/) {}
void UpdateFigureMotion(Figure* /*figure*/) {}
void FigureWalkState(Figure* /*figure*/) {}
void FigureCatchUpState(Figure* /*figure*/) {}
void FigureSettleState(Figure* /*figure*/) {}
void FigureIdleState(Figure* /*figure*/) {}
void BeginFigureFollow(Figure* /*figure*/, float /*step*/, int32_t /*framesPerCell*/) {}
void AimFigureAndWalk(Figure* /*figure*/) {}
void TurnFigureToLinked(Figure* /*figure*/) {}
void SpawnRisingFigure(BoardPiece* /*piece*/, int32_t /*modelId*/) {}
int CreateFigureTask(float /*x*/, float /*y*/, float /*z*/, float /*facing*/, int32_t /*modelId*/,
                     FigureProc /*motionProc*/)
{
    return 0;
}
void UpdateFigureTask(Task* /*task*/) {}
void DrawFigureTask(Task* /*task*/) {}
void RisingFigureBegin(Figure* /*figure*/) {}
void RisingFigureRise(Figure* /*figure*/) {}
void RisingFigureWait(Figure* /*figure*/) {}
void RisingFigureStep(Figure* /*figure*/) {}
