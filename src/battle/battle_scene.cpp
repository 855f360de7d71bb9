// The 3D battle scene: set-up of the two actors, the camera chain, the loser's
// reaction and the floor.
#include "battle/battle_scene.h"

#include "battle/battle.h"
#include "battle/battle_actor.h"
#include "board/task_table.h"
#include "engine/assets.h"
#include "engine/draw3d.h"
#include "engine/graphics.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "platform/gfx_device.h"
#include "platform/math3d.h"

namespace {

constexpr float kPartyX = 70.0f;
constexpr float kEnemyX = -70.0f;
constexpr float kStartRadius = 25.0f;
constexpr float kEyeHeight = 5.0f;
constexpr int32_t kIntroFrames = 40;
constexpr int32_t kZoomFrames = 108;
constexpr int32_t kEndCountdown = 20;
constexpr int kFloorTexture = 1;
constexpr int kFloorQuads = 150;

// The first procedure of an attacker by its attack style; a style from a damaged
// file outside 0..3 fights as style 0.
ActorProc AttackProcedure(int32_t style)
{
    switch (style) {
    case 1: return DelayActorCharge;
    case 2: return HoldActorIdle;
    case 3: return AwaitActorHit;
    default: return DelayActorShot;
    }
}

void KillActor(const BattleActor* actor)
{
    if (actor == nullptr)
        return;
    for (int slot = kBattleObjectFirstSlot; slot < kBattleObjectSlotEnd; ++slot) {
        if (TaskWork<BattleActor>(&g_tasks[slot]) == actor) {
            KillTask(&g_tasks[slot]);
            return;
        }
    }
}

void PlaceEye(BattleScene* scene)
{
    OffsetByAngle(&scene->eye[0], &scene->eye[2], scene->target[0], scene->target[2], scene->angle, scene->radius);
    scene->eye[1] = kEyeHeight;
}

} // namespace

int CreateBattleScene(BattleWork* battle)
{
    if (g_tasks == nullptr)
        return 0;
    Task* task = CreateTask(kBattleSceneSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kBattleSceneKind, UpdateBattleScene, DrawBattleScene);
    BattleScene* scene = TaskWork<BattleScene>(task);
    scene->alive = 1;
    if (SetUpBattle(scene, battle) == 0) {
        // Without both actors there is nothing to show: the scene ends before it
        // starts and the battle goes on to its messages.
        scene->alive = 0;
        task->alive = 0;
        return 0;
    }
    scene->cameraProc = WaitBattleCamIntro;
    scene->frames = 0;
    scene->countdown = 0;
    return 1;
}

int SetUpBattle(BattleScene* scene, const BattleWork* battle)
{
    const CharacterRecord& p = battle->party[battle->partySelected];
    const CharacterRecord& e = battle->enemies[battle->enemySelected];
    const bool partyAttacks = battle->outcome == kClashPartyWins || battle->outcome == kClashTiePartyAttacks;
    BattleActor* a = nullptr;
    BattleActor* b = nullptr;
    if (partyAttacks) {
        a = CreateBattleActor(kPartyX, 0.0f, 0.0f, 180.0f, p.modelId, 0, nullptr, AttackProcedure(p.attackStyle));
        b = CreateBattleActor(kEnemyX, 0.0f, 0.0f, 0.0f, e.modelId, 1, a,
                              battle->outcome == kClashPartyWins ? HoldActorIdle : AwaitActorHit);
    } else {
        a = CreateBattleActor(kPartyX, 0.0f, 0.0f, 180.0f, p.modelId, 0, nullptr,
                              battle->outcome == kClashEnemyWins ? HoldActorIdle : AwaitActorHit);
        b = CreateBattleActor(kEnemyX, 0.0f, 0.0f, 0.0f, e.modelId, 1, a, AttackProcedure(e.attackStyle));
    }
    if (a == nullptr || b == nullptr) {
        // An actor without an opponent would aim its shots at nothing.
        KillActor(a);
        KillActor(b);
        return 0;
    }
    a->opponent = b;
    if (partyAttacks) {
        scene->panDirection = 180;
        InitBattleCamera(scene, a->position, 225.0f);
    } else {
        scene->panDirection = 0;
        InitBattleCamera(scene, b->position, -45.0f);
    }
    return 1;
}

void InitBattleCamera(BattleScene* scene, const float position[3], float angle)
{
    scene->target[0] = position[0];
    scene->target[1] = 0.0f;
    scene->target[2] = position[2];
    scene->radius = kStartRadius;
    scene->maxRadius = scene->radius * 1.3f;
    scene->angle = angle;
    PlaceEye(scene);
}

void UpdateBattleScene(Task* task)
{
    BattleScene* scene = TaskWork<BattleScene>(task);
    SetCameraTransforms(scene->target, scene->eye);
    UpdateFrustumPlanes();
    if (scene->cameraProc != nullptr)
        scene->cameraProc(scene);
    if (IsKeyPressed(kKeyReturn) || IsKeyPressed(kKeyZ))
        scene->alive = 0;
    if (scene->alive == 0) {
        task->alive = 0;
        KillTasksOfKind(kBattleActorKind);
        KillTasksOfKind(kShotKind);
        KillTasksOfKind(kHitEffectKind);
    }
}

void DrawBattleScene(Task* /*task*/)
{
    DrawBattleFloor();
}

void WaitBattleCamIntro(BattleScene* scene)
{
    scene->frames += 1;
    if (scene->frames > kIntroFrames) {
        scene->frames = 0;
        scene->cameraProc = ZoomBattleCamOut;
    }
}

void ZoomBattleCamOut(BattleScene* scene)
{
    scene->radius += 0.1f;
    if (scene->radius >= scene->maxRadius)
        scene->radius = scene->maxRadius;
    PlaceEye(scene);
    scene->frames += 1;
    if (scene->frames > kZoomFrames) {
        scene->frames = 0;
        scene->cameraProc = PanBattleCam;
    }
}

void PanBattleCam(BattleScene* scene)
{
    const int done = scene->panDirection != 0 ? PanBattleCamNegative(scene) : PanBattleCamPositive(scene);
    if (done)
        scene->cameraProc = WaitBattleCamShots;
}

namespace {

// The eye trails the target at no less than the start radius and drifts toward z 0.
void TrailEye(BattleScene* scene, float step)
{
    const float target[3] = {scene->target[0], 0.0f, scene->target[2]};
    const float eye[3] = {scene->eye[0], 0.0f, scene->eye[2]};
    if (GetHorizontalDistance(target, eye) < kStartRadius)
        return;
    scene->eye[0] += step;
    scene->eye[2] += 0.5f;
    if (scene->eye[2] >= 0.0f)
        scene->eye[2] = 0.0f;
}

} // namespace

int PanBattleCamPositive(BattleScene* scene)
{
    scene->target[0] += 1.0f;
    TrailEye(scene, 1.0f);
    return scene->target[0] >= kPartyX ? 1 : 0;
}

int PanBattleCamNegative(BattleScene* scene)
{
    scene->target[0] -= 1.0f;
    TrailEye(scene, -1.0f);
    return scene->target[0] <= kEnemyX ? 1 : 0;
}

void WaitBattleCamShots(BattleScene* scene)
{
    if (IsAnyShotOrEffectAlive() != 0)
        return;
    StartLoserReaction(scene);
    scene->cameraProc = WaitBattleActorsIdle;
}

void WaitBattleActorsIdle(BattleScene* scene)
{
    if (AreAllActorsIdle() == 0)
        return;
    scene->countdown = kEndCountdown;
    scene->cameraProc = CountDownBattleScene;
}

void CountDownBattleScene(BattleScene* scene)
{
    scene->countdown -= 1;
    if (scene->countdown <= 0)
        scene->alive = 0;
}

int IsAnyShotOrEffectAlive()
{
    if (g_tasks == nullptr)
        return 0;
    for (int slot = kBattleObjectFirstSlot; slot < kBattleObjectSlotEnd; ++slot) {
        const Task& task = g_tasks[slot];
        if (task.alive != 0 && (task.kind == kShotKind || task.kind == kHitEffectKind))
            return 1;
    }
    return 0;
}

int AreAllActorsIdle()
{
    if (g_tasks == nullptr)
        return 1;
    for (int slot = kBattleObjectFirstSlot; slot < kBattleObjectSlotEnd; ++slot) {
        Task* task = &g_tasks[slot];
        if (task->alive == 0 || task->kind != kBattleActorKind)
            continue;
        const ActorProc proc = TaskWork<BattleActor>(task)->stateProc;
        if (proc != HoldActorIdle && proc != HoldActorDodged)
            return 0;
    }
    return 1;
}

void StartLoserReaction(BattleScene* /*scene*/)
{
    const BattleWork* battle = RunningBattle();
    if (battle == nullptr)
        return;
    if (battle->outcome == kClashPartyWins)
        SinkActorOfSide(1);
    else if (battle->outcome == kClashEnemyWins)
        SinkActorOfSide(0);
}

void SinkActorOfSide(int32_t side)
{
    if (g_tasks == nullptr)
        return;
    for (int slot = kBattleObjectFirstSlot; slot < kBattleObjectSlotEnd; ++slot) {
        Task* task = &g_tasks[slot];
        if (task->alive == 0 || task->kind != kBattleActorKind)
            continue;
        BattleActor* actor = TaskWork<BattleActor>(task);
        if (actor->side != side)
            continue;
        actor->stateProc = SinkActor;
        RequestSoundEffect(kSoundScream);
        return;
    }
}

void DrawBattleFloor()
{
    if (g_d3dDevice == nullptr)
        return;
    g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixIdentity());
    for (int i = 0; i < kFloorQuads; ++i) {
        const float z = 150.0f - 2.0f * static_cast<float>(i);
        for (int j = 0; j < kFloorQuads; ++j) {
            const float x = -150.0f + 2.0f * static_cast<float>(j);
            if (IsSphereInFrustum(x + 1.0f, 0.0f, z - 1.0f, 4.0f))
                DrawFloorQuad(x, 0.0f, z, kFloorTexture);
        }
    }
}

void DrawFloorQuad(float x, float y, float z, int32_t texture)
{
    Vertex3D quad[4];
    SetVertex3D(&quad[0], x, y, z, 0.0f, 0.0f);
    SetVertex3D(&quad[1], x + 2.0f, y, z, 1.0f, 0.0f);
    SetVertex3D(&quad[2], x + 2.0f, y, z - 2.0f, 1.0f, 1.0f);
    SetVertex3D(&quad[3], x, y, z - 2.0f, 0.0f, 1.0f);
    plat::Texture* t = texture >= 0 && texture < kBoardTextureCount ? g_textures[texture] : nullptr;
    DrawQuad3D(quad, 0xFFFFFFFFu, t);
}
