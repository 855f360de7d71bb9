#include "board/figure.h"

#include <cmath>

#include "board/piece.h"
#include "board/scripted_move.h"
#include "board/task_table.h"
#include "engine/assets.h"
#include "engine/draw3d.h"
#include "engine/input.h"
#include "engine/sound.h"

namespace {

constexpr float kWalkStep = 0.5f;
constexpr int32_t kWalkFramesPerCell = 4;
constexpr float kCellSize = 2.0f;
constexpr float kSettleDistance = 0.5f;
constexpr float kHiddenHeightGap = 1.0f;

constexpr float kRisingStartY = -8.0f;
constexpr float kRisingRiseStep = 0.2f;
constexpr float kFloorY = 0.25f;
constexpr int32_t kRisingWaitFrames = 50;
constexpr int32_t kRisingWalkFrames = 8;
constexpr float kRisingWalkStep = 0.25f;

PieceProc OwnerMove(const Figure* figure)
{
    return figure->owner ? figure->owner->stateProc : nullptr;
}

bool IsStepping(PieceProc proc)
{
    return proc == PlayerStepMove || proc == AutoStepMove || proc == EnemyStepMove || proc == BackStepMove;
}

bool IsArriving(PieceProc proc)
{
    return proc == PieceArrive || proc == EnemyArrive || proc == BackArrive;
}

bool IsChoosing(PieceProc proc)
{
    return proc == PlayerChooseDirection || proc == AutoChooseDirection || proc == EnemyChooseDirection ||
           proc == BackChooseDirection;
}

// The facing that brings a follower toward the figure ahead, or -1 when the figure
// ahead stands at no whole-cell offset along an axis. The second test of each line is
// one-sided on purpose: a chain that turned a corner still finds its way.
float FacingTowardAhead(const Figure* figure)
{
    if (!figure->ahead)
        return -1.0f;
    const float dx = figure->x - figure->ahead->x;
    const float dz = figure->z - figure->ahead->z;
    const float s = figure->step;
    if (dx <= -kCellSize && dz < s)
        return 0.0f;
    if (dx >= kCellSize && dz < s)
        return 180.0f;
    if (dx < s && dz >= kCellSize)
        return 270.0f;
    if (dx < s && dz <= -kCellSize)
        return 90.0f;
    return -1.0f;
}

void SnapFigure(Figure* figure)
{
    RoundXZ(&figure->x, &figure->z, figure->x, figure->z);
}

} // namespace

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
    figure->step = kWalkStep;
    figure->framesLeft = kWalkFramesPerCell;
    figure->framesPerCell = kWalkFramesPerCell;
    return figure;
}

void DrawFigure(Figure* figure)
{
    // A member standing on the member before it is hidden, so a party at rest shows
    // its leader only; one lifted or sunk by an event animation stays visible.
    if (figure->ahead && FigureGroundDistance(figure, figure->ahead) <= kSettleDistance &&
        FigureHeightGap(figure, figure->ahead) < kHiddenHeightGap)
        return;
    // A party sent back by an event spins as it goes.
    const PieceProc proc = OwnerMove(figure);
    if (proc == BackChooseDirection || proc == BackStepMove)
        DrawFigureSpinning(figure);
    else
        DrawFigureUpright(figure);
}

void DrawFigureUpright(Figure* figure)
{
    const float position[3] = {figure->x, figure->y, figure->z};
    plat::Matrix4 world;
    MakeWorldMatrixYaw(&world, position, &figure->facing);
    DrawModel(ModelById(figure->modelId), &world); // an id outside the table draws nothing
}

void DrawFigureSpinning(Figure* figure)
{
    figure->drawnRotation += 90.0f;
    if (figure->drawnRotation >= 360.0f)
        figure->drawnRotation -= 360.0f;
    const float position[3] = {figure->x, figure->y, figure->z};
    plat::Matrix4 world;
    MakeWorldMatrixYaw(&world, position, &figure->drawnRotation);
    DrawModel(ModelById(figure->modelId), &world);
}

float FigureGroundDistance(const Figure* a, const Figure* b)
{
    const float dx = a->x - b->x;
    const float dz = a->z - b->z;
    return std::sqrt(dx * dx + dz * dz);
}

float FigureHeightGap(const Figure* a, const Figure* b)
{
    return std::fabs(a->y - b->y);
}

void RoundXZ(float* outX, float* outZ, float x, float z)
{
    *outX = RoundToNearest(x);
    *outZ = RoundToNearest(z);
}

void CopyFigurePoseFromOwner(Figure* figure)
{
    if (!figure->owner)
        return;
    // y is left alone: event animations lift and lower the leader themselves.
    figure->x = figure->owner->x;
    figure->z = figure->owner->z;
    figure->facing = figure->owner->heading;
}

void UpdateFigureMotion(Figure* figure)
{
    const PieceProc proc = OwnerMove(figure);
    // A party sent back by an event walks at twice the pace.
    if (proc == BackStepMove)
        BeginFigureFollow(figure, 2.0f * kWalkStep, kWalkFramesPerCell / 2);
    else if (IsStepping(proc) || IsArriving(proc))
        BeginFigureFollow(figure, kWalkStep, kWalkFramesPerCell);
}

void FigureWalkState(Figure* figure)
{
    StepInDirection(&figure->x, &figure->z, figure->x, figure->z, figure->facing, figure->step);
    figure->framesLeft -= 1;
    if (figure->framesLeft > 0)
        return;
    figure->framesLeft = figure->framesPerCell;
    SnapFigure(figure);
    const PieceProc proc = OwnerMove(figure);
    if (IsChoosing(proc))
        figure->motionProc = UpdateFigureMotion;
    else if (IsArriving(proc))
        figure->motionProc = FigureCatchUpState;
    else if (IsStepping(proc))
        TurnFigureToLinked(figure);
    // Otherwise the figure walks one more cell the way it faces.
}

void FigureCatchUpState(Figure* figure)
{
    SnapFigure(figure);
    AimFigureAndWalk(figure);
    if (!figure->ahead)
        return;
    if (std::fabs(figure->x - figure->ahead->x) < kSettleDistance &&
        std::fabs(figure->z - figure->ahead->z) < kSettleDistance)
        figure->motionProc = FigureSettleState;
}

void FigureSettleState(Figure* figure)
{
    SnapFigure(figure);
}

void FigureIdleState(Figure* /*figure*/) {}

void BeginFigureFollow(Figure* figure, float step, int32_t framesPerCell)
{
    figure->step = step;
    figure->framesLeft = framesPerCell;
    figure->framesPerCell = framesPerCell;
    AimFigureAndWalk(figure);
}

void AimFigureAndWalk(Figure* figure)
{
    const float facing = FacingTowardAhead(figure);
    if (facing < 0.0f)
        return;
    figure->facing = facing;
    figure->motionProc = FigureWalkState;
}

void TurnFigureToLinked(Figure* figure)
{
    const float facing = FacingTowardAhead(figure);
    if (facing >= 0.0f)
        figure->facing = facing;
}

void SpawnRisingFigure(BoardPiece* piece, int32_t modelId)
{
    float behind = piece->heading - 180.0f;
    if (behind < 0.0f)
        behind += 360.0f;
    float x = 0.0f;
    float z = 0.0f;
    OffsetByAngle(&x, &z, piece->x, piece->z, behind, kCellSize);
    // With slot 99 taken no rising member is shown; the revival itself stands.
    CreateFigureTask(x, kRisingStartY, z, piece->heading, modelId, RisingFigureBegin);
}

int CreateFigureTask(float x, float y, float z, float facing, int32_t modelId, FigureProc motionProc)
{
    Task* task = CreateTask(kRisingFigureSlot);
    if (!task)
        return 0;
    StartTask(task, kRisingFigureKind, UpdateFigureTask, DrawFigureTask);
    Figure* figure = TaskWork<Figure>(task);
    *figure = Figure{};
    figure->alive = 1;
    figure->x = x;
    figure->y = y;
    figure->z = z;
    figure->facing = facing;
    figure->drawnRotation = facing;
    figure->modelId = modelId;
    figure->motionProc = motionProc;
    return 1;
}

void UpdateFigureTask(Task* task)
{
    Figure* figure = TaskWork<Figure>(task);
    if (figure->motionProc)
        figure->motionProc(figure);
    if (figure->alive == 0)
        task->alive = 0;
}

void DrawFigureTask(Task* task)
{
    Figure* figure = TaskWork<Figure>(task);
    if (figure->motionProc == RisingFigureRise)
        DrawFigureSpinning(figure);
    else
        DrawFigureUpright(figure);
}

void RisingFigureBegin(Figure* figure)
{
    RequestSoundEffect(kSoundRisingWhoosh);
    figure->motionProc = RisingFigureRise;
}

void RisingFigureRise(Figure* figure)
{
    figure->y += kRisingRiseStep;
    if (figure->y >= kFloorY) {
        figure->y = kFloorY;
        figure->framesLeft = kRisingWaitFrames;
        figure->motionProc = RisingFigureWait;
    }
}

void RisingFigureWait(Figure* figure)
{
    figure->framesLeft -= 1;
    if (figure->framesLeft <= 0) {
        figure->framesLeft = kRisingWalkFrames;
        RequestSoundEffect(kSoundPowerUp);
        figure->motionProc = RisingFigureStep;
    }
}

void RisingFigureStep(Figure* figure)
{
    const float facing = RoundToNearest(figure->facing);
    if (facing == 0.0f)
        figure->x += kRisingWalkStep;
    else if (facing == 90.0f)
        figure->z += kRisingWalkStep;
    else if (facing == 180.0f)
        figure->x -= kRisingWalkStep;
    else if (facing == 270.0f)
        figure->z -= kRisingWalkStep;
    figure->framesLeft -= 1;
    if (figure->framesLeft <= 0)
        figure->alive = 0;
}

void GatherFiguresOnPiece(BoardPiece* piece)
{
    for (int i = 0; i < kPieceMembers; ++i) {
        Figure& figure = piece->figures[i];
        figure.x = piece->x;
        figure.y = piece->y;
        figure.z = piece->z;
        figure.framesLeft = 0;
        figure.motionProc = i == 0 ? CopyFigurePoseFromOwner : UpdateFigureMotion;
    }
}
