// Spin, hop and going back along the back-move layer.
#include "board/scripted_move.h"

#include <cmath>

#include "board/event.h"
#include "board/figure.h"
#include "board/piece.h"
#include "board/stage.h"
#include "board/task_table.h"
#include "board/world.h"
#include "engine/draw3d.h"
#include "engine/input.h"
#include "engine/sound.h"

namespace {

constexpr int32_t kHopFrames = 48;
constexpr int32_t kHopStepFrames = 4;
// Rising steps, a short apex (up, then the same down) and the falling mirror, each
// held for four frames: the hop ends at the height where it began.
constexpr float kHopSteps[kHopFrames / kHopStepFrames] = {0.375f,   0.3f,    0.225f, 0.15f,   0.075f, 0.0375f,
                                                          -0.0375f, -0.075f, -0.15f, -0.225f, -0.3f,  -0.375f};

constexpr int32_t kBackBits[4] = {kLinkHeading0, kLinkHeading180, kLinkHeading270, kLinkHeading90};
constexpr float kBackHeadings[4] = {0.0f, 180.0f, 270.0f, 90.0f};
constexpr float kBackStep = 1.0f;
constexpr int32_t kBackStepFrames = 2;

// The cell under the piece, or -1 when it has left the board.
int32_t PieceCell(const BoardPiece* piece)
{
    int32_t column = 0;
    int32_t row = 0;
    if (!PositionToCell(piece->x, piece->z, &column, &row))
        return -1;
    return row * g_stageLayers.boardWidth + column;
}

// A back link counts only when it leads to ground a piece can stand on: a link into
// blocked ground or off the board would walk the piece out of the map.
bool IsOpenBackLink(const BoardPiece* piece, int32_t cell, int which)
{
    return HasBackLink(cell, kBackBits[which]) && IsWalkableAhead(piece->x, piece->z, kBackHeadings[which]);
}

} // namespace

void StartPieceSpin(EventTask* event)
{
    const char* script = GetEventScript(event);
    event->moveFrames = ReadScriptNumber(&event->cursor, script);
    event->spinDegrees = ReadScriptNumber(&event->cursor, script);
    event->stateProc = SpinPiece;
}

void SpinPiece(EventTask* event)
{
    event->moveFrames -= 1;
    if (event->moveFrames < 1)
        event->stateProc = EventRunState;
    BoardPiece* piece = event->piece;
    piece->heading += static_cast<float>(event->spinDegrees);
    if (piece->heading > 360.0f)
        piece->heading -= 360.0f;
    // A spin of at most 360 degrees a frame needs no more than that. A bigger one is
    // brought back within a turn all the same: one subtraction a frame would let the
    // heading grow without end, past the whole numbers a facing is taken from.
    if (piece->heading > 360.0f)
        piece->heading = std::fmod(piece->heading, 360.0f);
}

float HopStep(int32_t frame)
{
    if (frame < 0 || frame >= kHopFrames)
        return 0.0f;
    return kHopSteps[frame / kHopStepFrames];
}

void StartPieceHop(EventTask* event)
{
    event->moveFrames = 0;
    event->stateProc = HopPiece;
}

void HopPiece(EventTask* event)
{
    BoardPiece* piece = event->piece;
    piece->y += HopStep(event->moveFrames);
    for (Figure& figure : piece->figures)
        figure.y = piece->y;
    event->moveFrames += 1;
    if (event->moveFrames < kHopFrames)
        return;
    event->moveFrames = kHopFrames - 1;
    event->stateProc = EventRunState;
}

void StartGoBack(EventTask* event)
{
    BoardPiece* piece = event->piece;
    piece->die = kGoBackDistances[RollRandom(3)];
    piece->stateProc = GoBackWaitEvent;
}

void GoBackWaitEvent(BoardPiece* piece)
{
    if (g_tasks[kEventSlot].alive)
        return;
    BeginGoBack(piece);
}

void BeginGoBack(BoardPiece* piece)
{
    piece->stateProc = BackChooseDirection;
    piece->subStep = 0;
    SnapPiece(piece);
    GatherFiguresOnPiece(piece);
}

int HasBackLink(int32_t cell, int32_t mask)
{
    return (BackLinksOf(cell) & mask) != 0 ? 1 : 0;
}

void BackChooseDirection(BoardPiece* piece)
{
    SnapPiece(piece);
    const int32_t cell = PieceCell(piece);
    bool anyOpen = false;
    for (int which = 0; which < 4; ++which)
        anyOpen = anyOpen || IsOpenBackLink(piece, cell, which);
    if (!anyOpen) {
        // A cell with no way back ends the go-back here rather than drawing for ever.
        piece->stateProc = BackArrive;
        return;
    }
    // One draw a frame until an open link comes up, so every open way is as likely.
    const int which = RollRandom(4);
    if (!IsOpenBackLink(piece, cell, which))
        return;
    piece->heading = kBackHeadings[which];
    piece->stateProc = BackStepMove;
}

void BackStepMove(BoardPiece* piece)
{
    StepInDirection(&piece->x, &piece->z, piece->x, piece->z, piece->heading, kBackStep);
    piece->subStep += 1;
    if (piece->subStep < kBackStepFrames)
        return;
    piece->subStep = 0;
    SnapPiece(piece);
    const int32_t cell = PieceCell(piece);
    if (cell >= 0 && IsSquareCell(cell)) {
        OnSquareReachedBack(piece);
        return;
    }
    FollowCorridor(piece);
    if (cell < 0 || !IsWalkableAhead(piece->x, piece->z, piece->heading))
        piece->stateProc = BackArrive; // a corridor without a way on: stop here
}

void OnSquareReachedBack(BoardPiece* piece)
{
    piece->die -= 1;
    piece->progress -= 1;
    piece->stateProc = BackChooseDirection;
    RequestSoundEffect(kSoundPunch);
    if (piece->die > 0 && (RouteOf(PieceCell(piece)) & kRouteStart) != 0) {
        piece->die = 0;
        piece->stateProc = BackArrive;
    }
    if (piece->die <= 0)
        piece->stateProc = BackArrive;
}

void BackArrive(BoardPiece* piece)
{
    SnapPiece(piece);
    const Figure& first = piece->figures[0];
    const Figure& last = piece->figures[kPieceMembers - 1];
    if (!(std::fabs(first.x - last.x) < 0.5f && std::fabs(first.z - last.z) < 0.5f))
        return;
    EndPieceMove(piece);
    FaceFirstForwardLink(piece);
}

void FaceFirstForwardLink(BoardPiece* piece)
{
    const int32_t route = RouteOf(PieceCell(piece));
    float heading = 0.0f;
    if (route & kLinkHeading0)
        heading = 0.0f;
    else if (route & kLinkHeading180)
        heading = 180.0f;
    else if (route & kLinkHeading270)
        heading = 270.0f;
    else if (route & kLinkHeading90)
        heading = 90.0f;
    piece->heading = heading;
    for (Figure& figure : piece->figures) {
        figure.facing = heading;
        figure.drawnRotation = heading;
    }
}
