// Team select (slot 152): the three teams on a turning ring; confirming starts the
// race with the front team as the player's.
#pragma once
#include <cstdint>

#include "engine/task.h"

struct TeamSelectWork;
using TeamSelectProc = void (*)(TeamSelectWork*);

struct TeamSelectWork {
    int32_t alive;
    int32_t selection;  // 0..2
    int32_t turnFrames; // frames left of a ring turn
    float ringPositions[3][3];
    float ringAngles[3]; // degrees; 270 is the front
    TeamSelectProc stateProc;
};
CHECK_TASK_WORK(TeamSelectWork);

int OpenTeamSelect();
int CreateTeamSelect();
void UpdateTeamSelect(Task* task);
void DrawTeamSelect(Task* task);
void StartTeamSelect(TeamSelectWork* work);
void RunTeamSelectIdle(TeamSelectWork* work);
void TurnTeamRingForward(TeamSelectWork* work);
void TurnTeamRingBack(TeamSelectWork* work);
void PlaceTeamRing(TeamSelectWork* work);
void DrawTeamModels(const TeamSelectWork* work, int32_t team);
void DrawTiledBackground(float left, float top, float right, float bottom);
void DrawTeamLabel(float y, int32_t team);
void DrawSideArrows(float x, float y);
