// The players of the 3D battle scene: the two characters of a clash (actors), the
// spiralling shots of a shot fan and the effects of a charged burst. Each is a small
// task in the first free slot of 80..99, a state machine by procedure pointer.
#pragma once
#include <cstdint>

#include "engine/task.h"

struct BattleActor;
struct Shot;
struct HitEffect;
using ActorProc = void (*)(BattleActor*);
using ShotProc = void (*)(Shot*);
using HitEffectProc = void (*)(HitEffect*);

struct BattleActor {
    int32_t alive;
    float position[3]; // the model's origin on the floor
    int32_t side;      // 0 the party's character, 1 the enemy
    float facing;      // 180 for side 0, 0 for side 1
    float lean;        // roll in degrees, 0 upright
    int32_t timer;     // 40 at creation
    int32_t model;     // row of g_modelTable
    BattleActor* opponent;
    ActorProc stateProc;
};
CHECK_TASK_WORK(BattleActor);

struct Shot {
    int32_t alive;
    float position[3];
    float centre[2]; // x and z of the spiral's centre
    int32_t impactTimer;
    int32_t effectModel; // 0 flying, 2 after a hit
    float angle;
    float endAngle;
    float radius;  // 2.0 growing to 6.0
    float heading; // of the straight flight
    BattleActor* target;
    ShotProc stateProc;
};
CHECK_TASK_WORK(Shot);

struct HitEffect {
    int32_t alive;
    float position[3];
    int32_t timer;       // start delay, later the frames of the impact
    int32_t effectModel; // 1 flying, 2 after a hit
    float heading;
    BattleActor* target;
    HitEffectProc stateProc;
};
CHECK_TASK_WORK(HitEffect);

// Picks the end-angle offset of the next shot; runs 0..5 and is never reset.
extern int32_t g_shotCounter;

BattleActor* CreateBattleActor(float x, float y, float z, float facing, int32_t model, int32_t side,
                               BattleActor* opponent, ActorProc first);
int CreateShot(float x, float y, float z, float startAngle, float heading, BattleActor* target);
int CreateHitEffect(float x, float y, float z, float heading, int32_t delay, BattleActor* target);
void SpawnEffectBurst(float x, float y, float z, float heading, int32_t count, BattleActor* target);
void FireShotFanPositive(BattleActor* actor, float x, float y, float z);
void FireShotFanNegative(BattleActor* actor, float x, float y, float z);

void UpdateBattleActor(Task* task);
void DrawBattleActor(Task* task);
void UpdateShot(Task* task);
void DrawShot(Task* task);
void UpdateHitEffect(Task* task);
void DrawHitEffect(Task* task);

int IsAnyProjectileNear(const float point[3]);
int IsOutsideArena(const float point[3]);
void StartActorTumble(BattleActor* actor);
void SetActorIdle(BattleActor* actor);

// Actor states.
void DelayActorShot(BattleActor* actor);
void DelayActorCharge(BattleActor* actor);
void LeanActorForward(BattleActor* actor);
void HoldActorLean(BattleActor* actor);
void ReleaseActorLean(BattleActor* actor);
void AwaitActorHit(BattleActor* actor);
void DodgeActorPositive(BattleActor* actor);
void DodgeActorNegative(BattleActor* actor);
void HoldActorIdle(BattleActor* actor);
void HoldActorDodged(BattleActor* actor);
void TumbleActor(BattleActor* actor);
void SinkActor(BattleActor* actor);

// Shot states.
void SpiralShotOut(Shot* shot);
void FlyShot(Shot* shot);
void TestShotHit(Shot* shot);
void FlyShotOut(Shot* shot);
void FadeShot(Shot* shot);

// Hit-effect states.
void DelayHitEffect(HitEffect* effect);
void FlyHitEffect(HitEffect* effect);
void TestHitEffectHit(HitEffect* effect);
void FlyHitEffectOut(HitEffect* effect);
void FadeHitEffect(HitEffect* effect);
