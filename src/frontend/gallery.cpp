// The model gallery: the ring turns one whole degree a frame until the newly
// selected model is at the front; the radii ease the selection out of the ring.
#include "frontend/gallery.h"

#include <cmath>

#include "board/task_table.h"
#include "engine/assets.h"
#include "engine/draw3d.h"
#include "engine/graphics.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/sprite.h"
#include "engine/text.h"
#include "frontend/interface.h"
#include "frontend/team_select.h"
#include "frontend/title.h"
#include "platform/gfx_device.h"

namespace {

constexpr float kFront = 270.0f;
constexpr float kFullTurn = 360.0f;
constexpr float kRingRadius = 10.0f;
constexpr float kOutRadius = 25.0f;
constexpr float kRadiusStep = 1.0f;
constexpr int32_t kIdleCap = 100;
constexpr int32_t kStartIdleFrames = 18;
constexpr float kSpinStep = 1.0f;

constexpr SpriteRect kCaptionRect = {838.0f, 313.0f, 1042.0f, 338.0f};
constexpr SpriteRect kSlashRect = {1022.0f, 63.0f, 1033.0f, 85.0f};

// Whole degrees while the ring turns, so that a turn ends exactly at the front.
void RoundRingAngles(GalleryWork* work)
{
    for (float& angle : work->ringAngles)
        angle = RoundToNearest(angle);
}

void BeginTurn(GalleryWork* work, int32_t selected, GalleryProc turn)
{
    work->selected = selected;
    RoundRingAngles(work);
    work->idleFrames = 0;
    work->spinAngle = kFront;
    work->stateProc = turn;
    RequestSoundEffect(kSoundKnock);
}

void CloseGallery(GalleryWork* work)
{
    work->alive = 0;
    ReturnToTitle();
    RequestSoundEffect(kSoundKnock);
}

void FinishTurnAtFront(GalleryWork* work)
{
    const int32_t s = work->selected;
    if (s < 0 || s >= kGalleryModelCount)
        return;
    if (std::fabs(kFront - work->ringAngles[s]) < work->turnStep) {
        work->ringAngles[s] = kFront;
        work->stateProc = RunGalleryIdle;
    }
}

} // namespace

int OpenModelGallery()
{
    return CreateModelGallery();
}

int CreateModelGallery()
{
    Task* task = CreateTask(kGallerySlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kGalleryKind, UpdateModelGallery, DrawModelGallery);
    GalleryWork* work = TaskWork<GalleryWork>(task);
    work->alive = 1;
    work->selected = 0;
    work->idleFrames = kStartIdleFrames;
    work->count = kGalleryModelCount;
    // 360 / 25 in whole numbers is 14; 18 / 14 rounds to one degree a frame.
    const int32_t spacing = 360 / work->count;
    work->turnStep = RoundToNearest(18.0f / RoundToNearest(static_cast<float>(spacing)));
    work->spinAngle = kFront;
    work->stateProc = StartGallery;
    float angle = kFront;
    for (int i = 0; i < kGalleryModelCount; ++i) {
        work->ringAngles[i] = angle;
        work->ringRadii[i] = kRingRadius;
        angle += 14.4f;
        if (angle >= kFullTurn)
            angle -= kFullTurn;
    }
    return 1;
}

void UpdateModelGallery(Task* task)
{
    GalleryWork* work = TaskWork<GalleryWork>(task);
    if (work->stateProc != nullptr)
        work->stateProc(work);
    PulseGalleryRadii(work);
    static constexpr float kTarget[3] = {0.0f, 0.0f, 0.0f};
    static constexpr float kEye[3] = {0.0f, 5.0f, -40.0f};
    SetCameraTransforms(kTarget, kEye);
    if (work->alive == 0)
        task->alive = 0;
}

void DrawModelGallery(Task* task)
{
    GalleryWork* work = TaskWork<GalleryWork>(task);
    DrawTiledBackground(kBackgroundTileRect.left, kBackgroundTileRect.top, kBackgroundTileRect.right,
                        kBackgroundTileRect.bottom);
    DrawGalleryRing(work);
    DrawSideArrows(32.0f, 400.0f);
    DrawNumberTall(276.0f, 460.0f, work->selected + 1);
    DrawAtlasSprite(310.0f, 459.0f, kSlashRect);
    DrawNumberTall(325.0f, 460.0f, kGalleryModelCount);
}

void StartGallery(GalleryWork* work)
{
    work->stateProc = RunGalleryIdle;
}

void RunGalleryIdle(GalleryWork* work)
{
    if (IsKeyPressed(kKeyEscape)) {
        CloseGallery(work);
    } else if (IsKeyPressed(kKeyLeft)) {
        BeginTurn(work, work->selected - 1 < 0 ? work->count - 1 : work->selected - 1, TurnGalleryForward);
    } else if (IsKeyPressed(kKeyRight)) {
        BeginTurn(work, work->selected + 1 > work->count - 1 ? 0 : work->selected + 1, TurnGalleryBack);
    } else if (IsKeyPressed(kKeyReturn) || IsKeyPressed(kKeyZ)) {
        CloseGallery(work);
    } else {
        work->idleFrames = work->idleFrames + 1;
        if (work->idleFrames > kIdleCap) {
            work->idleFrames = kIdleCap;
            work->spinAngle += kSpinStep;
            if (work->spinAngle > kFullTurn)
                work->spinAngle -= kFullTurn;
        }
    }
}

void TurnGalleryForward(GalleryWork* work)
{
    for (float& angle : work->ringAngles) {
        angle += work->turnStep;
        if (angle >= kFullTurn)
            angle -= kFullTurn;
        angle = RoundToNearest(angle);
    }
    FinishTurnAtFront(work);
}

void TurnGalleryBack(GalleryWork* work)
{
    for (float& angle : work->ringAngles) {
        angle -= work->turnStep;
        if (angle < 0.0f)
            angle += kFullTurn;
        angle = RoundToNearest(angle);
    }
    FinishTurnAtFront(work);
}

void PulseGalleryRadii(GalleryWork* work)
{
    for (int i = 0; i < kGalleryModelCount; ++i) {
        float& radius = work->ringRadii[i];
        if (i == work->selected) {
            radius += kRadiusStep;
            if (radius >= kOutRadius)
                radius = kOutRadius;
        } else {
            radius -= kRadiusStep;
            if (radius <= kRingRadius)
                radius = kRingRadius;
        }
    }
}

void DrawGalleryRing(GalleryWork* work)
{
    if (g_d3dDevice != nullptr)
        g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixIdentity());
    for (int i = 0; i < kGalleryModelCount; ++i) {
        float position[3] = {0.0f, 0.0f, 0.0f};
        OffsetByAngle(&position[0], &position[2], 0.0f, 0.0f, work->ringAngles[i], work->ringRadii[i]);
        float facing = i == work->selected ? work->spinAngle : kFront;
        plat::Matrix4 world;
        MakeWorldMatrixYawRoll(&world, position, &facing, 0.0f);
        DrawModel(ModelById(i), &world);
    }
    DrawAtlasSprite(0.0f, 0.0f, kCaptionRect);
}
