// The turn controller hands the turn round its list and moves the board camera:
// it follows the piece that moves, waits once the move is over, pans to the next
// listed piece half a unit a frame (x first, then z) and starts that piece's turn.
#include "board/turn.h"

#include <cstdio>
#include <cstdlib>

#include "board/board_view.h"
#include "board/piece.h"
#include "board/ranking.h"
#include "board/task_table.h"
#include "board/world.h"
#include "engine/draw3d.h"
#include "engine/input.h"
#include "frontend/command_menu.h"
#include "frontend/title.h"

namespace {

constexpr float kCameraAngle = 270.0f;
constexpr float kEyeHeight = 60.0f;
constexpr float kEyeDistance = 20.0f;
constexpr int32_t kWaitFrames = 50;
constexpr float kPanStep = 0.5f;
constexpr int32_t kRoamingListEntry = 3;

bool IsSlotAlive(int slot)
{
    return g_tasks != nullptr && g_tasks[slot].alive != 0;
}

// The half-unit steps between the look-at point and the piece on one axis, as the
// difference of the two rounded coordinates (positive when the camera has to go down).
int32_t RoundedDifference(float lookAt, float piece)
{
    return static_cast<int32_t>(RoundToNearest(lookAt)) - static_cast<int32_t>(RoundToNearest(piece));
}

// A team's piece still in the list: the player's or a computer team. A team that has
// left the race, at the goal or not, or was beaten, is no longer listed.
bool HasTeamInTurnList(const TurnController* controller)
{
    for (int i = 0; i < kRoamingListEntry; ++i) {
        const BoardPiece* piece = controller->turnList[i];
        if (piece != nullptr && piece->alive != 0 &&
            (piece->controller == kControllerPlayer || piece->controller == kControllerComputer))
            return true;
    }
    return false;
}

} // namespace

void StartBoardTurns()
{
    BoardPiece* piece = FindPlayerTeamPiece();
    if (piece == nullptr) {
        // The player only sees the title come back: say why.
        std::fprintf(stderr, "stage %d: team %d has no piece on the board; the race cannot start\n",
                     static_cast<int>(g_stageLayers.stageNumber), static_cast<int>(g_playerTeam));
        ReturnToTitle();
        return;
    }
    CreateTurnController(piece->x, piece->y, piece->z, kCameraAngle, kEyeHeight, piece, FollowCurrentPiece);
    CreateBoardView();
}

BoardPiece* FindPlayerTeamPiece()
{
    return FindPieceByTeamId(g_playerTeam);
}

BoardPiece* FindPieceByTeamId(int32_t teamId)
{
    if (g_tasks == nullptr)
        return nullptr;
    for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd; ++slot) {
        Task* task = &g_tasks[slot];
        if (task->alive != 0 && task->kind == kPieceKind && PieceOf(task)->teamId == teamId)
            return PieceOf(task);
    }
    return nullptr;
}

int CreateTurnController(float x, float y, float z, float angle, float eyeHeight, BoardPiece* piece,
                         CameraProc cameraProc)
{
    // The first entry of the turn list becomes current whatever piece is given: the
    // player's team always moves first.
    (void)piece;
    const float lookAt[3] = {x, y, z};
    const float eye[3] = {0.0f, eyeHeight, 0.0f}; // x and z follow lookAt from the first update
    return CreateTurnControllerWithCamera(lookAt, eye, angle, cameraProc);
}

int CreateTurnControllerWithCamera(const float lookAt[3], const float eye[3], float angle, CameraProc cameraProc)
{
    Task* task = CreateTask(kTurnControllerSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kTurnControllerKind, UpdateTurnController, DrawTurnController);
    TurnController* controller = TaskWork<TurnController>(task);
    controller->alive = 1;
    for (int i = 0; i < 3; ++i) {
        controller->lookAt[i] = lookAt[i];
        controller->eye[i] = eye[i];
    }
    controller->angle = angle;
    controller->wait = 0;
    controller->panSteps = 0;
    controller->cameraProc = cameraProc;
    controller->turnIndex = 0;
    BuildTurnOrder(controller, g_playerTeam);
    controller->currentPiece = controller->turnList[0];
    // Without a piece of the player's team there is nobody to follow: the camera
    // stands still rather than reading through an empty entry.
    if (controller->currentPiece == nullptr) {
        controller->cameraProc = DoNothingCamera;
        return 0;
    }
    return 1;
}

void BuildTurnOrder(TurnController* controller, int32_t team)
{
    for (BoardPiece*& entry : controller->turnList)
        entry = nullptr;
    int32_t t = team;
    for (int i = 0; i < 3; ++i) {
        controller->turnList[i] = FindPieceByTeamId(t);
        t = t + 1 > 2 ? 0 : t + 1;
    }
    controller->turnList[kRoamingListEntry] = FindPieceByTeamId(kRoamingGroupId);
}

void RemovePieceFromTurnList(const BoardPiece* piece)
{
    if (g_tasks == nullptr)
        return;
    for (BoardPiece*& entry : TurnControllerWork()->turnList) {
        if (entry == piece) {
            entry = nullptr;
            return;
        }
    }
}

void DismissAllPieces()
{
    if (g_tasks == nullptr)
        return;
    for (BoardPiece*& entry : TurnControllerWork()->turnList) {
        if (entry != nullptr) {
            entry->alive = 0;
            entry = nullptr;
        }
    }
}

void UpdateTurnController(Task* task)
{
    TurnController* controller = TaskWork<TurnController>(task);
    NumberPiecesInTurnOrder(controller);
    if (controller->cameraProc != nullptr)
        controller->cameraProc(controller);
    OffsetByAngle(&controller->eye[0], &controller->eye[2], controller->lookAt[0], controller->lookAt[2],
                  controller->angle, kEyeDistance);
    SetCameraTransforms(controller->lookAt, controller->eye);
    UpdateFrustumPlanes();
    if (IsKeyPressed(kKeyShift) && !IsSlotAlive(kEventSlot) && !IsSlotAlive(kRankingSlot))
        OpenCommandMenu();
    if (IsKeyPressed(kKeyD) && !IsSlotAlive(kEventSlot) && !IsSlotAlive(kCommandMenuSlot))
        SetPlayerTeamController(kControllerPlayer);
    if (controller->alive == 0)
        task->alive = 0;
}

void DrawTurnController(Task*) {}

void NumberPiecesInTurnOrder(TurnController* controller)
{
    int32_t n = 0;
    for (const BoardPiece* entry : controller->turnList)
        n += entry != nullptr ? 1 : 0;
    if (n == 0)
        return;
    int32_t index = controller->turnIndex;
    for (int k = 0; k < kTurnListLength; ++k) {
        if (index < 0 || index >= kTurnListLength)
            index = kTurnListLength - 1;
        BoardPiece* entry = controller->turnList[index];
        if (entry != nullptr)
            entry->turnNumber = n--;
        index = index - 1;
    }
}

BoardPiece* AdvanceToNextPiece(TurnController* controller)
{
    for (int probe = 0; probe < kTurnListLength; ++probe) {
        controller->turnIndex = controller->turnIndex + 1 >= kTurnListLength ? 0 : controller->turnIndex + 1;
        if (controller->turnList[controller->turnIndex] != nullptr)
            break;
    }
    return controller->turnList[controller->turnIndex];
}

void FollowCurrentPiece(TurnController* controller)
{
    const BoardPiece* piece = controller->currentPiece;
    if (piece == nullptr) {
        controller->cameraProc = DoNothingCamera;
        return;
    }
    controller->lookAt[0] = piece->x;
    controller->lookAt[1] = piece->y;
    controller->lookAt[2] = piece->z;
    if (piece->stateProc == PieceIdle || piece->alive == 0) {
        controller->wait = kWaitFrames;
        controller->cameraProc = WaitBeforeNextPiece;
    }
}

void WaitBeforeNextPiece(TurnController* controller)
{
    controller->wait = controller->wait - 1;
    if (controller->wait > 0)
        return;
    controller->currentPiece = AdvanceToNextPiece(controller);
    // With no team left in the list only enemy groups would take turns, for ever, or
    // nobody would: unless it has ended already, the race ends here as it ends when the
    // last team is placed, with the places taken so far.
    if (!HasTeamInTurnList(controller) && !IsSlotAlive(kRankingSlot)) {
        controller->cameraProc = DoNothingCamera;
        EndRace();
        return;
    }
    controller->cameraProc = controller->currentPiece != nullptr ? StartPanX : DoNothingCamera;
}

void StartPanX(TurnController* controller)
{
    if (controller->currentPiece == nullptr) {
        controller->cameraProc = DoNothingCamera;
        return;
    }
    const int32_t dx = RoundedDifference(controller->lookAt[0], controller->currentPiece->x);
    controller->panSteps = std::abs(2 * dx);
    if (dx == 0)
        StartPanZ(controller);
    else
        controller->cameraProc = dx > 0 ? PanCameraXMinus : PanCameraXPlus;
}

void PanCameraXPlus(TurnController* controller)
{
    if (controller->panSteps < 1) {
        controller->cameraProc = StartPanZ;
        return;
    }
    controller->lookAt[0] += kPanStep;
    controller->panSteps = controller->panSteps - 1;
}

void PanCameraXMinus(TurnController* controller)
{
    if (controller->panSteps < 1) {
        controller->cameraProc = StartPanZ;
        return;
    }
    controller->lookAt[0] -= kPanStep;
    controller->panSteps = controller->panSteps - 1;
}

void StartPanZ(TurnController* controller)
{
    if (controller->currentPiece == nullptr) {
        controller->cameraProc = DoNothingCamera;
        return;
    }
    const int32_t dz = RoundedDifference(controller->lookAt[2], controller->currentPiece->z);
    controller->panSteps = std::abs(2 * dz);
    if (dz == 0)
        controller->cameraProc = ArriveAtPiece;
    else
        controller->cameraProc = dz > 0 ? PanCameraZMinus : PanCameraZPlus;
}

void PanCameraZPlus(TurnController* controller)
{
    if (controller->panSteps < 1) {
        controller->cameraProc = ArriveAtPiece;
        return;
    }
    controller->lookAt[2] += kPanStep;
    controller->panSteps = controller->panSteps - 1;
}

void PanCameraZMinus(TurnController* controller)
{
    if (controller->panSteps < 1) {
        controller->cameraProc = ArriveAtPiece;
        return;
    }
    controller->lookAt[2] -= kPanStep;
    controller->panSteps = controller->panSteps - 1;
}

void ArriveAtPiece(TurnController* controller)
{
    BoardPiece* piece = controller->currentPiece;
    if (piece == nullptr) {
        controller->cameraProc = DoNothingCamera;
        return;
    }
    controller->lookAt[0] = piece->x;
    controller->lookAt[2] = piece->z;
    if (piece->rePan != 0) {
        piece->rePan = 0;
        controller->wait = kWaitFrames;
        controller->cameraProc = WaitBeforeRepan;
        return;
    }
    controller->cameraProc = FollowCurrentPiece;
    piece->stateProc = PieceStartTurn;
}

void WaitBeforeRepan(TurnController* controller)
{
    controller->wait = controller->wait - 1;
    if (controller->wait < 1)
        controller->cameraProc = StartPanX;
}

void DoNothingCamera(TurnController*) {}
