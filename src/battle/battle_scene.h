// The 3D battle scene: after a clash has been decided, and with the battle-animation
// option on, the two characters of the clash act it out on a large floor while the
// camera swings from the attacker to the defender. Slot 151; it only shows what the
// battle already decided.
#pragma once
#include <cstdint>

#include "engine/task.h"

struct BattleWork;
struct BattleScene;
using SceneProc = void (*)(BattleScene*);

struct BattleScene {
    int32_t alive;
    float eye[3];    // y 5.0 throughout
    float target[3]; // y 0.0 throughout
    float radius;    // of the orbit, 25.0 at the start
    float maxRadius; // 32.5
    float angle;     // of the eye about the target, degrees
    int32_t frames;
    int32_t countdown;
    int32_t panDirection; // 180 toward x = -70, 0 toward x = +70
    SceneProc cameraProc;
};
CHECK_TASK_WORK(BattleScene);

int CreateBattleScene(BattleWork* battle);
int SetUpBattle(BattleScene* scene, const BattleWork* battle);
void InitBattleCamera(BattleScene* scene, const float position[3], float angle);
void UpdateBattleScene(Task* task);
void DrawBattleScene(Task* task);

void WaitBattleCamIntro(BattleScene* scene);
void ZoomBattleCamOut(BattleScene* scene);
void PanBattleCam(BattleScene* scene);
int PanBattleCamPositive(BattleScene* scene);
int PanBattleCamNegative(BattleScene* scene);
void WaitBattleCamShots(BattleScene* scene);
void WaitBattleActorsIdle(BattleScene* scene);
void CountDownBattleScene(BattleScene* scene);

int IsAnyShotOrEffectAlive();
int AreAllActorsIdle();
void StartLoserReaction(BattleScene* scene);
void SinkActorOfSide(int32_t side);

void DrawBattleFloor();
void DrawFloorQuad(float x, float y, float z, int32_t texture);
