// The end of a race: places taken at the goal (from the top) and by beaten computer
// teams (from the bottom), the race-end test, and the ranking screen in slot 168.
#pragma once
#include <cstdint>

#include "engine/sprite.h"
#include "engine/task.h"

struct BoardPiece;
struct EventTask;
struct RankingScreen;
using RankingProc = void (*)(RankingScreen*);

struct RankingScreen {
    int32_t alive;
    RankingProc stateProc;
};
CHECK_TASK_WORK(RankingScreen);

void RecordTeamFinished(EventTask* event);
// The race-end test's ending: the ranking screen with the places taken so far (the
// ones nobody took left empty), the race-end sound, and every piece off the board.
void EndRace();
void RecordPlaceFromBottom(const BoardPiece* piece);
void EndRacePieces();

int CreateRankingScreen();
void UpdateRankingScreen(Task* task);
void DrawRankingScreenTask(Task* task);
void RankingStart(RankingScreen* work);
void RankingInput(RankingScreen* work);
void DrawRankingScreen(const RankingScreen* work);
void DrawCharacterIconHalf(float x, float y, int32_t characterId);
