// A piece's turn: the die spin, the die rules, choosing a way on every square, the
// cell-by-cell walk with corridors followed on their own, and the arrival.
#include <cmath>

#include "battle/battle.h"
#include "board/event.h"
#include "board/piece.h"
#include "board/stage.h"
#include "board/task_table.h"
#include "engine/draw3d.h"
#include "engine/input.h"
#include "engine/sound.h"

namespace {

constexpr float kStepPerFrame = 0.5f;
constexpr int32_t kFramesPerCell = 4;
constexpr int32_t kCatchUpDistance = 12;
constexpr float kArrivalTolerance = 0.5f;
constexpr int32_t kSpinTable[6] = {10, 20, 30, 10, 20, 30};
constexpr int kExtraSpinFrames = 10;

// The four ways in the order the random draw indexes them: route bit and heading.
struct Way {
    int32_t bit;
    float heading;
};
constexpr Way kDrawnWays[4] = {
    {kLinkHeading0, 0.0f}, {kLinkHeading180, 180.0f}, {kLinkHeading270, 270.0f}, {kLinkHeading90, 90.0f}};

// The player's direction keys in the order they are looked at: Right wins over Left,
// Left over Down, Down over Up when several are pressed in one frame.
struct DirectionKey {
    int slot;
    Way way;
};
constexpr DirectionKey kDirectionKeys[4] = {{kKeyRight, {kLinkHeading0, 0.0f}},
                                            {kKeyLeft, {kLinkHeading180, 180.0f}},
                                            {kKeyDown, {kLinkHeading270, 270.0f}},
                                            {kKeyUp, {kLinkHeading90, 90.0f}}};

// The cell under the piece by column and row; 0 when the piece stands off the board.
bool PieceCell(const BoardPiece* piece, int32_t* column, int32_t* row)
{
    return PositionToCell(piece->x, piece->z, column, row) != 0;
}

int32_t RouteUnderPiece(const BoardPiece* piece)
{
    int32_t column = 0;
    int32_t row = 0;
    return PieceCell(piece, &column, &row) ? RouteAt(column, row) : 0;
}

int32_t EnemyLinksUnderPiece(const BoardPiece* piece)
{
    int32_t column = 0;
    int32_t row = 0;
    return PieceCell(piece, &column, &row) ? EnemyLinksAt(column, row) : 0;
}

// A way is usable when the layer allows it and the cell ahead can be walked on: a
// link that points at blocked ground or off the board would walk the piece for ever.
bool HasUsableWay(const BoardPiece* piece, int32_t links)
{
    for (const Way& way : kDrawnWays) {
        if ((links & way.bit) != 0 && IsWalkableAhead(piece->x, piece->z, way.heading))
            return true;
    }
    return false;
}

// One random way a frame among those the layer allows. A square with no usable way
// at all (a dead end, or a team left standing on the goal) ends the move instead of
// drawing for ever, so the turn passes on.
void ChooseRandomWay(BoardPiece* piece, int32_t links, PieceProc next)
{
    SnapPiece(piece);
    if (!HasUsableWay(piece, links)) {
        EndPieceMove(piece);
        return;
    }
    const Way& way = kDrawnWays[RollRandom(4)];
    if ((links & way.bit) != 0 && IsWalkableAhead(piece->x, piece->z, way.heading)) {
        piece->heading = way.heading;
        piece->stateProc = next;
    }
}

void AdvanceDieFace(BoardPiece* piece)
{
    piece->die += 1;
    if (piece->die > piece->dieFaces)
        piece->die = 1;
}

void StartComputerSpin(BoardPiece* piece, PieceProc next)
{
    const int i = RollRandom(6);
    const int extra = RollRandom(kExtraSpinFrames);
    piece->spinCountdown = kSpinTable[i] + extra;
    piece->stateProc = next;
}

// One frame of a one-cell walk; at the end of the cell a square counts a step and a
// corridor is followed on its own.
void StepPiece(BoardPiece* piece, void (*onSquare)(BoardPiece*))
{
    StepInDirection(&piece->x, &piece->z, piece->x, piece->z, piece->heading, kStepPerFrame);
    piece->subStep += 1;
    if (piece->subStep < kFramesPerCell)
        return;
    piece->subStep = 0;
    SnapPiece(piece);
    int32_t column = 0;
    int32_t row = 0;
    const bool onBoard = PieceCell(piece, &column, &row);
    const int32_t kind = onBoard ? CellKindAt(column, row) : kBlockedKind;
    if (kind >= kFirstSquareKind && kind <= kLastSquareKind) {
        onSquare(piece);
        return;
    }
    FollowCorridor(piece);
    // A corridor cell walled in on every side has no way on: stop here, so the walk
    // never runs into blocked ground or off the board.
    if (!IsWalkableAhead(piece->x, piece->z, piece->heading))
        EndPieceMove(piece);
}

bool FigureChainGathered(const BoardPiece* piece)
{
    const Figure& first = piece->figures[0];
    const Figure& last = piece->figures[kPieceMembers - 1];
    return std::fabs(last.x - first.x) < kArrivalTolerance && std::fabs(last.z - first.z) < kArrivalTolerance;
}

// Only numbers that have a script slot start an event; other numbers on the map are
// no event, as when the pieces are placed.
bool IsRunnableEvent(int32_t n)
{
    const int32_t count = g_eventCount < kMaxEvents ? g_eventCount : kMaxEvents;
    return n >= 1 && n <= count;
}

bool IsTeamController(int32_t controller)
{
    return controller == kControllerPlayer || controller == kControllerComputer;
}

bool IsLivePiece(const Task& task)
{
    return task.alive != 0 && task.kind == kPieceKind;
}

void PickFirstWalkable(BoardPiece* piece, const int32_t (&order)[4])
{
    for (const int32_t heading : order) {
        if (IsWalkableAhead(piece->x, piece->z, static_cast<float>(heading))) {
            piece->heading = static_cast<float>(heading);
            return;
        }
    }
}

} // namespace

void SnapPiece(BoardPiece* piece)
{
    RoundXZ(&piece->x, &piece->z, piece->x, piece->z);
}

void PieceIdle(BoardPiece* piece)
{
    SnapPiece(piece);
}

void PieceStartTurn(BoardPiece* piece)
{
    switch (piece->controller) {
    case kControllerPlayer: piece->stateProc = PlayerRollDie; break;
    case kControllerComputer: piece->stateProc = AutoStartDieRoll; break;
    case kControllerEnemy: piece->stateProc = EnemyStartDieRoll; break;
    default:
        // Nobody plays a piece of an unknown controller: hand the turn on.
        EndPieceMove(piece);
        break;
    }
}

void PlayerRollDie(BoardPiece* piece)
{
    AdvanceDieFace(piece);
    if (IsKeyPressed(kKeyReturn) || IsKeyPressed(kKeyZ)) {
        RequestSoundEffect(kSoundBlip);
        piece->stateProc = PlayerChooseDirection;
        ComputeDirectionArrows(piece);
        ApplyDieRules(piece);
    }
}

void PlayerChooseDirection(BoardPiece* piece)
{
    SnapPiece(piece);
    const int32_t route = RouteUnderPiece(piece);
    if (!HasUsableWay(piece, route)) {
        EndPieceMove(piece); // no way on from here: the turn passes
        return;
    }
    for (const DirectionKey& key : kDirectionKeys) {
        if (!IsKeyPressed(key.slot))
            continue;
        if (IsWalkableAhead(piece->x, piece->z, key.way.heading)) {
            if ((route & key.way.bit) != 0) {
                piece->heading = key.way.heading;
                piece->subStep = 0;
                piece->stateProc = PlayerStepMove;
            } else {
                RequestSoundEffect(kSoundError);
            }
        }
        return; // only the first pressed key counts
    }
}

void PlayerStepMove(BoardPiece* piece)
{
    StepPiece(piece, OnSquareReached);
}

void AutoStartDieRoll(BoardPiece* piece)
{
    StartComputerSpin(piece, AutoRollDie);
}

void AutoRollDie(BoardPiece* piece)
{
    AdvanceDieFace(piece);
    piece->spinCountdown -= 1;
    if (piece->spinCountdown <= 0) {
        RequestSoundEffect(kSoundBlip);
        ApplyDieRules(piece);
        piece->stateProc = AutoChooseDirection;
    }
}

void AutoChooseDirection(BoardPiece* piece)
{
    ChooseRandomWay(piece, RouteUnderPiece(piece), AutoStepMove);
}

void AutoStepMove(BoardPiece* piece)
{
    StepPiece(piece, OnSquareReached);
}

void PieceArrive(BoardPiece* piece)
{
    SnapPiece(piece);
    if (!FigureChainGathered(piece))
        return;
    piece->stateProc = PieceWaitEvent;
    BoardPiece* other = FindPieceOnSameCell(piece);
    if (other && other->controller == kControllerEnemy) {
        // A group on the square is fought instead of the square's event.
        StartEnemyGroupBattle(piece, other);
        return;
    }
    int32_t column = 0;
    int32_t row = 0;
    const int32_t n = PieceCell(piece, &column, &row) ? EventAt(column, row) : 0;
    if (IsRunnableEvent(n))
        StartEvent(piece, n); // refused while another event runs: the piece waits for that one
}

void PieceWaitEvent(BoardPiece* piece)
{
    SnapPiece(piece);
    if (g_tasks[kEventSlot].alive == 0)
        EndPieceMove(piece);
}

void EnemyStartDieRoll(BoardPiece* piece)
{
    StartComputerSpin(piece, EnemyRollDie);
}

void EnemyRollDie(BoardPiece* piece)
{
    AdvanceDieFace(piece);
    piece->spinCountdown -= 1;
    if (piece->spinCountdown <= 0) {
        RequestSoundEffect(kSoundBlip);
        piece->stateProc = EnemyChooseDirection;
    }
}

void EnemyChooseDirection(BoardPiece* piece)
{
    ChooseRandomWay(piece, EnemyLinksUnderPiece(piece), EnemyStepMove);
}

void EnemyStepMove(BoardPiece* piece)
{
    StepPiece(piece, OnSquareReachedEnemy);
}

void EnemyArrive(BoardPiece* piece)
{
    SnapPiece(piece);
    if (!FigureChainGathered(piece))
        return;
    piece->stateProc = PieceWaitEvent;
    BoardPiece* other = FindPieceOnSameCell(piece);
    if (other && IsTeamController(other->controller))
        StartEnemyGroupBattle(other, piece);
}

void OnSquareReached(BoardPiece* piece)
{
    piece->die -= 1;
    piece->progress += 1;
    piece->stateProc = piece->controller == kControllerPlayer ? PlayerChooseDirection : AutoChooseDirection;
    RequestSoundEffect(kSoundKnock);
    ComputeDirectionArrows(piece);
    if (piece->die <= 0) {
        piece->stateProc = PieceArrive;
    } else if ((RouteUnderPiece(piece) & kRouteGoal) != 0) {
        piece->die = 0; // the goal stops the move whatever steps are left
        piece->stateProc = PieceArrive;
    }
}

void OnSquareReachedEnemy(BoardPiece* piece)
{
    piece->die -= 1;
    piece->stateProc = EnemyChooseDirection;
    RequestSoundEffect(kSoundKnock);
    if (piece->die <= 0)
        piece->stateProc = EnemyArrive;
}

void FollowCorridor(BoardPiece* piece)
{
    const int32_t heading = static_cast<int32_t>(RoundToNearest(piece->heading));
    switch (heading) {
    case 0: PickCorridorHeading0(piece); break;
    case 180: PickCorridorHeading180(piece); break;
    case 270: PickCorridorHeading270(piece); break;
    case 90: PickCorridorHeading90(piece); break;
    default: break;
    }
}

void PickCorridorHeading0(BoardPiece* piece)
{
    PickFirstWalkable(piece, kCorridorOrder[0]);
}

void PickCorridorHeading180(BoardPiece* piece)
{
    PickFirstWalkable(piece, kCorridorOrder[2]);
}

void PickCorridorHeading270(BoardPiece* piece)
{
    PickFirstWalkable(piece, kCorridorOrder[3]);
}

void PickCorridorHeading90(BoardPiece* piece)
{
    PickFirstWalkable(piece, kCorridorOrder[1]);
}

void EndPieceMove(BoardPiece* piece)
{
    piece->stateProc = PieceIdle;
    piece->die = 1;
    piece->subStep = 0;
    SnapPiece(piece);
    GatherFiguresOnPiece(piece);
}

BoardPiece* FindPieceOnSameCell(const BoardPiece* piece)
{
    int32_t column = 0;
    int32_t row = 0;
    if (!PieceCell(piece, &column, &row))
        return nullptr;
    for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd; ++slot) {
        Task& task = g_tasks[slot];
        if (!IsLivePiece(task))
            continue;
        BoardPiece* other = PieceOf(&task);
        if (other == piece)
            continue;
        int32_t otherColumn = 0;
        int32_t otherRow = 0;
        if (PieceCell(other, &otherColumn, &otherRow) && otherColumn == column && otherRow == row)
            return other;
    }
    return nullptr;
}

void ApplyDieRules(BoardPiece* piece)
{
    if (piece->dieFaces == 3) {
        piece->dieFaces = 6; // a three-face die lasts one roll; the catch-up rule skips it
        return;
    }
    if (piece->dieFaces == 6 && IsTrailingBy(piece, kCatchUpDistance))
        piece->die = 6;
}

int IsTrailingBy(const BoardPiece* piece, int32_t n)
{
    const int teams = CountTeams();
    if (teams == 1)
        return 0;
    // Room for every piece slot: a stage may place more team pieces than three.
    const BoardPiece* table[kPieceSlotEnd - kPieceFirstSlot] = {};
    int count = 0;
    for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd; ++slot) {
        Task& task = g_tasks[slot];
        if (IsLivePiece(task) && IsTeamController(PieceOf(&task)->controller))
            table[count++] = PieceOf(&task);
    }
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            if (table[i]->progress > table[j]->progress) {
                const BoardPiece* swap = table[i];
                table[i] = table[j];
                table[j] = swap;
            }
        }
    }
    if (count < 2 || table[0] != piece)
        return 0;
    return table[1]->progress - table[0]->progress >= n ? 1 : 0;
}

int CountTeams()
{
    int teams = 0;
    for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd; ++slot) {
        Task& task = g_tasks[slot];
        if (IsLivePiece(task) && IsTeamController(PieceOf(&task)->controller))
            ++teams;
    }
    return teams;
}

void SetPlayerTeamController(int32_t controller)
{
    BoardPiece* piece = FindPlayerTeamTask();
    if (!piece)
        return;
    piece->controller = controller;
    // A roll not yet under way starts again under the new hand; a computer spin
    // already counting down finishes as the computer's.
    if (piece->stateProc == PieceStartTurn || piece->stateProc == PlayerRollDie || piece->stateProc == AutoStartDieRoll)
        piece->stateProc = PieceStartTurn;
    RequestSoundEffect(kSoundKnock);
}

int CanPlayerSave()
{
    for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd; ++slot) {
        Task& task = g_tasks[slot];
        if (!IsLivePiece(task))
            continue;
        const BoardPiece* piece = PieceOf(&task);
        if (piece->teamId == g_playerTeam && piece->controller == kControllerPlayer &&
            piece->stateProc == PlayerRollDie)
            return 1;
    }
    return 0;
}
