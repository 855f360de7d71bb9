// Team select: the three teams stand on a ring that turns by a third per key press;
// confirming takes the front team as the player's and starts the race.
#include "frontend/team_select.h"

#include "board/stage.h"
#include "board/task_table.h"
#include "board/world.h"
#include "engine/assets.h"
#include "engine/draw3d.h"
#include "engine/graphics.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/sprite.h"
#include "frontend/interface.h"
#include "frontend/title.h"
#include "platform/gfx_device.h"

namespace {

constexpr int kTeamCount = 3;
constexpr int kMembersPerTeam = 6;
constexpr float kStartAngles[kTeamCount] = {270.0f, 150.0f, 30.0f};
constexpr float kRingRadius = 15.0f;
constexpr float kCameraDistance = 40.0f;
constexpr float kCameraHeight = 10.0f;
constexpr float kFrontAngle = 270.0f;
constexpr float kTurnStep = 10.0f;
constexpr int32_t kTurnFrames = 12; // 12 x 10 degrees: one team along the ring
constexpr float kRowHalfWidth = 5.0f;
constexpr float kMemberSpacing = 2.0f;

constexpr SpriteRect kTitleRect = {906.0f, 28.0f, 1045.0f, 58.0f};
constexpr float kTitleY = 50.0f;
constexpr float kLabelY = 400.0f;
constexpr float kArrowX = 32.0f;
constexpr float kArrowY = 400.0f;
constexpr float kArrowWidth = 32.0f;
constexpr SpriteRect kLeftArrowRect = {519.0f, 675.0f, 551.0f, 707.0f};
constexpr SpriteRect kRightArrowRect = {519.0f, 641.0f, 551.0f, 673.0f};
constexpr SpriteRect kLabelFrameRect = {1012.0f, 637.0f, 1241.0f, 667.0f};
constexpr float kLabelFrameHeight = 30.0f;
constexpr SpriteRect kTeamNameRects[kTeamCount] = {
    {1012.0f, 566.0f, 1215.0f, 585.0f},
    {1012.0f, 615.0f, 1153.0f, 632.0f},
    {1012.0f, 589.0f, 1214.0f, 608.0f},
};

float WholeDegrees(float angle)
{
    return RoundToNearest(angle);
}

void FinishTurnWhenDone(TeamSelectWork* work)
{
    work->turnFrames = work->turnFrames - 1;
    if (work->turnFrames > 0)
        return;
    // Ten-degree steps in floats drift; the ring settles on whole degrees.
    for (float& angle : work->ringAngles)
        angle = WholeDegrees(angle);
    work->stateProc = RunTeamSelectIdle;
}

} // namespace

int OpenTeamSelect()
{
    return CreateTeamSelect();
}

int CreateTeamSelect()
{
    Task* task = CreateTask(kTeamSelectSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kTeamSelectKind, UpdateTeamSelect, DrawTeamSelect);
    TeamSelectWork* work = TaskWork<TeamSelectWork>(task);
    work->alive = 1;
    work->selection = 0;
    work->stateProc = StartTeamSelect;
    for (int t = 0; t < kTeamCount; ++t) {
        work->ringAngles[t] = kStartAngles[t];
        OffsetByAngle(&work->ringPositions[t][0], &work->ringPositions[t][2], 0.0f, 0.0f, kStartAngles[t], kRingRadius);
        work->ringPositions[t][1] = 0.0f;
    }
    return 1;
}

void UpdateTeamSelect(Task* task)
{
    TeamSelectWork* work = TaskWork<TeamSelectWork>(task);
    if (work->stateProc != nullptr)
        work->stateProc(work);
    PlaceTeamRing(work);
    static constexpr float kTarget[3] = {0.0f, 0.0f, 0.0f};
    float eye[3] = {0.0f, kCameraHeight, 0.0f};
    OffsetByAngle(&eye[0], &eye[2], 0.0f, 0.0f, kFrontAngle, kCameraDistance);
    SetCameraTransforms(kTarget, eye);
    if (work->alive == 0)
        task->alive = 0;
}

void DrawTeamSelect(Task* task)
{
    const TeamSelectWork* work = TaskWork<TeamSelectWork>(task);
    const SpriteRect& tile = kBackgroundTileRect;
    DrawTiledBackground(tile.left, tile.top, tile.right, tile.bottom);
    DrawAtlasSpriteCentredX(kTitleRect, kTitleY);
    if (work->stateProc == RunTeamSelectIdle)
        DrawTeamLabel(kLabelY, work->selection);
    DrawSideArrows(kArrowX, kArrowY);
    for (int t = 0; t < kTeamCount; ++t)
        DrawTeamModels(work, t);
}

void StartTeamSelect(TeamSelectWork* work)
{
    work->stateProc = RunTeamSelectIdle;
}

void RunTeamSelectIdle(TeamSelectWork* work)
{
    if (IsKeyPressed(kKeyEscape)) {
        work->alive = 0;
        ReturnToTitle();
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyRight) || IsKeyPressed(kKeyDown)) {
        work->selection = work->selection + 1 > kTeamCount - 1 ? 0 : work->selection + 1;
        work->turnFrames = kTurnFrames;
        work->stateProc = TurnTeamRingForward;
        RequestSoundEffect(kSoundKnock);
    } else if (IsKeyPressed(kKeyLeft) || IsKeyPressed(kKeyUp)) {
        work->selection = work->selection - 1 < 0 ? kTeamCount - 1 : work->selection - 1;
        work->turnFrames = kTurnFrames;
        work->stateProc = TurnTeamRingBack;
        RequestSoundEffect(kSoundKnock);
    } else if (IsKeyPressed(kKeyZ) || IsKeyPressed(kKeyReturn)) {
        work->alive = 0;
        g_playerTeam = work->selection;
        StartStageFromPacks(); // kills every task, this one too; the title when a pack is missing
    }
}

void TurnTeamRingForward(TeamSelectWork* work)
{
    for (float& angle : work->ringAngles) {
        angle += kTurnStep;
        if (angle >= 360.0f)
            angle -= 360.0f;
    }
    FinishTurnWhenDone(work);
}

void TurnTeamRingBack(TeamSelectWork* work)
{
    for (float& angle : work->ringAngles) {
        angle -= kTurnStep;
        if (angle < 0.0f)
            angle += 360.0f;
    }
    FinishTurnWhenDone(work);
}

void PlaceTeamRing(TeamSelectWork* work)
{
    for (int t = 0; t < kTeamCount; ++t)
        OffsetByAngle(&work->ringPositions[t][0], &work->ringPositions[t][2], 0.0f, 0.0f, work->ringAngles[t],
                      kRingRadius);
}

void DrawTeamModels(const TeamSelectWork* work, int32_t team)
{
    if (team < 0 || team >= kTeamCount)
        return;
    const float* centre = work->ringPositions[team];
    for (int i = 0; i < kMembersPerTeam; ++i) {
        const float position[3] = {centre[0] - kRowHalfWidth + kMemberSpacing * static_cast<float>(i), centre[1],
                                   centre[2]};
        float facing = kFrontAngle; // toward the camera
        plat::Matrix4 world;
        MakeWorldMatrixYaw(&world, position, &facing);
        DrawModel(ModelById(kMembersPerTeam * team + i), &world);
    }
}

void DrawTiledBackground(float left, float top, float right, float bottom)
{
    // The tiles lie under everything, so they neither test nor write depth.
    if (g_d3dDevice != nullptr)
        g_d3dDevice->SetRenderState(plat::RenderState::DepthTest, 0);
    FillScreenWithTile(left, top, right, bottom);
    if (g_d3dDevice != nullptr)
        g_d3dDevice->SetRenderState(plat::RenderState::DepthTest, 1);
}

void DrawTeamLabel(float y, int32_t team)
{
    DrawAtlasSpriteCentredX(kLabelFrameRect, y);
    if (team < 0 || team >= kTeamCount)
        return;
    const SpriteRect& name = kTeamNameRects[team];
    const float nameY = RoundToNearest(y + (kLabelFrameHeight - (name.bottom - name.top)) / 2.0f);
    DrawAtlasSpriteCentredX(name, nameY);
}

void DrawSideArrows(float x, float y)
{
    DrawAtlasSprite(x, y, kLeftArrowRect);
    DrawAtlasSprite(640.0f - x - kArrowWidth, y, kRightArrowRect);
}
