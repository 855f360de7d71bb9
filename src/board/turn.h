// The turn controller (slot 100): hands the turn from piece to piece round its list
// and drives the board camera, which waits and pans to the next piece.
#pragma once
#include <cstdint>

#include "board/task_table.h"
#include "engine/task.h"

struct BoardPiece;
struct TurnController;
using CameraProc = void (*)(TurnController*);

constexpr int kTurnListLength = 4;

struct TurnController {
    int32_t alive;
    float lookAt[3];
    float eye[3];     // y is the eye height (60.0); x and z follow lookAt and angle
    float angle;      // degrees about the look-at point (270.0)
    int32_t wait;     // frames left of a camera wait
    int32_t panSteps; // half-unit pan steps left on the current axis
    CameraProc cameraProc;
    BoardPiece* currentPiece;
    int32_t turnIndex;                     // 0..3
    BoardPiece* turnList[kTurnListLength]; // player's team, the two others in rotation, roaming group
};
CHECK_TASK_WORK(TurnController);

// The slot-100 work area, whether or not its task is alive.
inline TurnController* TurnControllerWork()
{
    return TaskWork<TurnController>(&g_tasks[kTurnControllerSlot]);
}

void StartBoardTurns();
BoardPiece* FindPlayerTeamPiece();
BoardPiece* FindPieceByTeamId(int32_t teamId);
int CreateTurnController(float x, float y, float z, float angle, float eyeHeight, BoardPiece* piece,
                         CameraProc cameraProc);
// The controller in slot 100 with the camera as given (look-at point, eye, angle), its
// turn list built for the player's team and the list's first entry current: a new race
// and a loaded save slot both start their turns here. 1, or 0 when the slot is taken
// (nothing is created) or the player's team has no piece (the camera then stands still).
int CreateTurnControllerWithCamera(const float lookAt[3], const float eye[3], float angle, CameraProc cameraProc);
void BuildTurnOrder(TurnController* controller, int32_t team);
void RemovePieceFromTurnList(const BoardPiece* piece);
void DismissAllPieces();
void UpdateTurnController(Task* task);
void DrawTurnController(Task* task); // draws nothing
void NumberPiecesInTurnOrder(TurnController* controller);
BoardPiece* AdvanceToNextPiece(TurnController* controller);

void FollowCurrentPiece(TurnController* controller);
void WaitBeforeNextPiece(TurnController* controller);
void StartPanX(TurnController* controller);
void PanCameraXPlus(TurnController* controller);
void PanCameraXMinus(TurnController* controller);
void StartPanZ(TurnController* controller);
void PanCameraZPlus(TurnController* controller);
void PanCameraZMinus(TurnController* controller);
void ArriveAtPiece(TurnController* controller);
void WaitBeforeRepan(TurnController* controller);
void DoNothingCamera(TurnController* controller);
