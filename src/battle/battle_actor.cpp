// Battle actors, shots and hit effects of the 3D battle scene.
#include "battle/battle_actor.h"

#include "board/task_table.h"
#include "engine/assets.h"
#include "engine/draw3d.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "platform/math3d.h"

int32_t g_shotCounter = 0;

namespace {

constexpr float kShotEndOffsets[6] = {10.0f, 0.0f, -10.0f, 5.0f, -5.0f, 0.0f};
constexpr int32_t kActorStartTimer = 40;
constexpr float kNearDistance = 6.0f;
constexpr float kHitDistance = 2.0f;
constexpr float kArenaEdge = 140.0f;
constexpr int32_t kImpactFrames = 25;

Task* CreateBattleObject(int32_t kind, TaskProc update, TaskProc draw)
{
    if (g_tasks == nullptr)
        return nullptr;
    Task* task = CreateTaskInRange(kBattleObjectFirstSlot, kBattleObjectSlotEnd);
    if (task == nullptr)
        return nullptr;
    StartTask(task, kind, update, draw);
    return task;
}

// A model number outside the table draws nothing and stands zero units tall.
float ModelHeight(int32_t model)
{
    const ModelRecord* record = ModelById(model);
    return record != nullptr ? record->height : 0.0f;
}

bool CanBeHit(const BattleActor* actor)
{
    return actor->stateProc == HoldActorIdle || actor->stateProc == TumbleActor;
}

void FireShotFan(BattleActor* actor, float x, float y, float z, float firstAngle)
{
    for (int i = 0; i < 6; ++i)
        CreateShot(x, y, z, firstAngle + 60.0f * static_cast<float>(i), actor->facing, actor->opponent);
    RequestSoundEffect(kSoundMagic);
}

// Actors, shots and hit effects share one step: run the current state, and free the
// slot once that state has cleared the record's alive word.
template <class Work>
void RunCurrentState(Task* task)
{
    Work* work = TaskWork<Work>(task);
    if (work->stateProc != nullptr)
        work->stateProc(work);
    if (work->alive == 0)
        task->alive = 0;
}

// A shot or hit effect within reach of its target knocks it over; the caller then
// shows the impact. Returns true on a hit.
bool StrikeTarget(const float position[3], BattleActor* target)
{
    if (GetHorizontalDistance(position, target->position) <= kHitDistance) {
        RequestSoundEffect(kSoundBoom);
        StartActorTumble(target);
        return true;
    }
    return false;
}

void DrawEffectSphere(int32_t index, const float position[3])
{
    if (index < 0 || index >= kEffectModelCount)
        return;
    DrawModelAtPosition(&g_effectModels[index], position);
}

} // namespace

BattleActor* CreateBattleActor(float x, float y, float z, float facing, int32_t model, int32_t side,
                               BattleActor* opponent, ActorProc first)
{
    Task* task = CreateBattleObject(kBattleActorKind, UpdateBattleActor, DrawBattleActor);
    if (task == nullptr)
        return nullptr;
    BattleActor* actor = TaskWork<BattleActor>(task);
    actor->alive = 1;
    actor->position[0] = x;
    actor->position[1] = y;
    actor->position[2] = z;
    actor->facing = facing;
    actor->lean = 0.0f;
    actor->model = model;
    actor->side = side;
    actor->opponent = opponent;
    actor->stateProc = first;
    actor->timer = kActorStartTimer;
    return actor;
}

int CreateShot(float x, float y, float z, float startAngle, float heading, BattleActor* target)
{
    Task* task = CreateBattleObject(kShotKind, UpdateShot, DrawShot);
    if (task == nullptr)
        return 0;
    Shot* shot = TaskWork<Shot>(task);
    shot->alive = 1;
    shot->centre[0] = x;
    shot->centre[1] = z;
    shot->position[0] = x;
    shot->position[1] = y;
    shot->position[2] = z;
    shot->angle = startAngle;
    shot->heading = heading;
    const int counter = g_shotCounter >= 0 && g_shotCounter < 6 ? g_shotCounter : 0;
    // Shots flying toward -x end their spiral half a turn earlier than those toward +x.
    const float turns = static_cast<int32_t>(heading) == 180 ? 1080.0f : 1260.0f;
    shot->endAngle = kShotEndOffsets[counter] + turns;
    g_shotCounter = counter + 1 > 5 ? 0 : counter + 1;
    shot->impactTimer = 0;
    shot->radius = 2.0f;
    shot->effectModel = 0;
    shot->target = target;
    shot->stateProc = SpiralShotOut;
    return 1;
}

int CreateHitEffect(float x, float y, float z, float heading, int32_t delay, BattleActor* target)
{
    Task* task = CreateBattleObject(kHitEffectKind, UpdateHitEffect, DrawHitEffect);
    if (task == nullptr)
        return 0;
    HitEffect* effect = TaskWork<HitEffect>(task);
    effect->alive = 1;
    effect->position[0] = x;
    effect->position[1] = y;
    effect->position[2] = z;
    effect->effectModel = 1;
    effect->timer = delay;
    effect->heading = heading;
    effect->target = target;
    effect->stateProc = DelayHitEffect;
    return 1;
}

void SpawnEffectBurst(float x, float y, float z, float heading, int32_t count, BattleActor* target)
{
    for (int32_t i = 0; i < count; ++i)
        CreateHitEffect(x, y, z, heading, 6 * i, target);
}

void FireShotFanPositive(BattleActor* actor, float x, float y, float z)
{
    FireShotFan(actor, x, y, z, 0.0f);
}

void FireShotFanNegative(BattleActor* actor, float x, float y, float z)
{
    FireShotFan(actor, x, y, z, 180.0f);
}

void UpdateBattleActor(Task* task)
{
    RunCurrentState<BattleActor>(task);
}

void DrawBattleActor(Task* task)
{
    const BattleActor* actor = TaskWork<BattleActor>(task);
    float facing = actor->facing;
    plat::Matrix4 world;
    MakeWorldMatrixYawRoll(&world, actor->position, &facing, actor->lean);
    DrawModel(ModelById(actor->model), &world);
}

void UpdateShot(Task* task)
{
    RunCurrentState<Shot>(task);
}

void DrawShot(Task* task)
{
    const Shot* shot = TaskWork<Shot>(task);
    DrawEffectSphere(shot->effectModel, shot->position);
}

void UpdateHitEffect(Task* task)
{
    RunCurrentState<HitEffect>(task);
}

void DrawHitEffect(Task* task)
{
    const HitEffect* effect = TaskWork<HitEffect>(task);
    if (effect->stateProc == DelayHitEffect)
        return; // not released yet
    DrawEffectSphere(effect->effectModel, effect->position);
}

int IsAnyProjectileNear(const float point[3])
{
    if (g_tasks == nullptr)
        return 0;
    for (int slot = kBattleObjectFirstSlot; slot < kBattleObjectSlotEnd; ++slot) {
        Task* task = &g_tasks[slot];
        if (task->alive == 0)
            continue;
        const float* position = nullptr;
        if (task->kind == kShotKind)
            position = TaskWork<Shot>(task)->position;
        else if (task->kind == kHitEffectKind)
            position = TaskWork<HitEffect>(task)->position;
        if (position != nullptr && GetHorizontalDistance(point, position) <= kNearDistance)
            return 1;
    }
    return 0;
}

int IsOutsideArena(const float point[3])
{
    return point[0] > kArenaEdge || point[0] < -kArenaEdge ? 1 : 0;
}

void StartActorTumble(BattleActor* actor)
{
    actor->lean = actor->side == 0 ? 270.0f : 90.0f;
    actor->stateProc = TumbleActor;
}

void SetActorIdle(BattleActor* actor)
{
    actor->stateProc = HoldActorIdle;
}

void DelayActorShot(BattleActor* actor)
{
    actor->timer -= 1;
    if (actor->timer > 0)
        return;
    actor->stateProc = SetActorIdle;
    const float* p = actor->position;
    if (actor->side == 0)
        FireShotFanPositive(actor, p[0], p[1] + 1.0f, p[2]);
    else
        FireShotFanNegative(actor, p[0], p[1] + 1.0f, p[2]);
}

void DelayActorCharge(BattleActor* actor)
{
    actor->timer -= 1;
    if (actor->timer > 0)
        return;
    actor->stateProc = LeanActorForward;
    RequestSoundEffect(kSoundRoar);
}

void LeanActorForward(BattleActor* actor)
{
    // Both sides lean away from the opponent to gather the charge.
    bool done = false;
    if (actor->side == 0) {
        actor->lean -= 1.0f;
        done = actor->lean <= -45.0f;
    } else {
        actor->lean += 1.0f;
        done = actor->lean >= 45.0f;
    }
    if (done) {
        actor->timer = 20;
        actor->stateProc = HoldActorLean;
    }
}

void HoldActorLean(BattleActor* actor)
{
    actor->timer -= 1;
    if (actor->timer <= 0)
        actor->stateProc = ReleaseActorLean;
}

void ReleaseActorLean(BattleActor* actor)
{
    bool done = false;
    if (actor->side == 0) {
        actor->lean += 2.0f;
        if (actor->lean >= 0.0f) {
            actor->lean = 0.0f;
            done = true;
        }
    } else {
        actor->lean -= 2.0f;
        if (actor->lean <= 0.0f) {
            actor->lean = 0.0f;
            done = true;
        }
    }
    if (!done)
        return;
    actor->stateProc = SetActorIdle;
    float x = 0.0f;
    float z = 0.0f;
    OffsetByAngle(&x, &z, actor->position[0], actor->position[2], actor->facing, 1.0f);
    const float h = actor->position[1] + ModelHeight(actor->model) / 2.0f;
    SpawnEffectBurst(x, h, z, actor->facing, 6, actor->opponent);
    RequestSoundEffect(kSoundGun);
}

void AwaitActorHit(BattleActor* actor)
{
    if (IsAnyProjectileNear(actor->position) == 0)
        return;
    actor->stateProc = RollRandom(2) == 0 ? DodgeActorPositive : DodgeActorNegative;
    RequestSoundEffect(kSoundSwing);
}

void DodgeActorPositive(BattleActor* actor)
{
    actor->position[2] += 0.5f;
    if (actor->position[2] >= 6.0f)
        actor->stateProc = HoldActorDodged;
}

void DodgeActorNegative(BattleActor* actor)
{
    actor->position[2] -= 0.5f;
    if (actor->position[2] <= -6.0f)
        actor->stateProc = HoldActorDodged;
}

void HoldActorIdle(BattleActor* /*actor*/) {}

void HoldActorDodged(BattleActor* /*actor*/) {}

void TumbleActor(BattleActor* actor)
{
    bool done = false;
    if (actor->side == 0) {
        actor->lean += 2.0f;
        if (actor->lean >= 360.0f) {
            actor->lean = 0.0f;
            done = true;
        }
    } else {
        actor->lean -= 2.0f;
        if (actor->lean <= 0.0f) {
            actor->lean = 0.0f;
            done = true;
        }
    }
    if (done)
        actor->stateProc = HoldActorIdle;
}

void SinkActor(BattleActor* actor)
{
    actor->position[1] -= 0.25f;
    if (actor->position[1] + ModelHeight(actor->model) + 1.0f < 0.0f)
        actor->stateProc = HoldActorIdle;
}

void SpiralShotOut(Shot* shot)
{
    shot->radius += 0.1f;
    shot->angle += 10.0f;
    OffsetByAngle(&shot->position[0], &shot->position[2], shot->centre[0], shot->centre[1], shot->angle, shot->radius);
    if (shot->radius >= 6.0f)
        shot->radius = 6.0f;
    if (shot->angle >= shot->endAngle) {
        shot->angle = 0.0f;
        shot->impactTimer = 0;
        shot->stateProc = FlyShot;
        RequestSoundEffect(kSoundSwing);
    }
}

void FlyShot(Shot* shot)
{
    StepInDirection(&shot->position[0], &shot->position[2], shot->position[0], shot->position[2], shot->heading, 1.0f);
    if (shot->target != nullptr && CanBeHit(shot->target))
        TestShotHit(shot);
    else
        FlyShotOut(shot);
}

void TestShotHit(Shot* shot)
{
    if (StrikeTarget(shot->position, shot->target)) {
        shot->impactTimer = kImpactFrames;
        shot->stateProc = FadeShot;
        shot->effectModel = 2;
    } else {
        FlyShotOut(shot);
    }
}

void FlyShotOut(Shot* shot)
{
    if (IsOutsideArena(shot->position))
        shot->alive = 0;
}

void FadeShot(Shot* shot)
{
    shot->impactTimer -= 1;
    if (shot->impactTimer <= 0)
        shot->alive = 0;
}

void DelayHitEffect(HitEffect* effect)
{
    effect->timer -= 1;
    if (effect->timer <= 0)
        effect->stateProc = FlyHitEffect;
}

void FlyHitEffect(HitEffect* effect)
{
    OffsetByAngle(&effect->position[0], &effect->position[2], effect->position[0], effect->position[2], effect->heading,
                  1.0f);
    if (effect->target != nullptr && CanBeHit(effect->target))
        TestHitEffectHit(effect);
    else
        FlyHitEffectOut(effect);
}

void TestHitEffectHit(HitEffect* effect)
{
    if (StrikeTarget(effect->position, effect->target)) {
        effect->timer = kImpactFrames;
        effect->stateProc = FadeHitEffect;
        effect->effectModel = 2;
    } else {
        FlyHitEffectOut(effect);
    }
}

void FlyHitEffectOut(HitEffect* effect)
{
    if (IsOutsideArena(effect->position))
        effect->alive = 0;
}

void FadeHitEffect(HitEffect* effect)
{
    effect->timer -= 1;
    if (effect->timer <= 0)
        effect->alive = 0;
}
