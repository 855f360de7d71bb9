#include "invariants.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "board/event.h"
#include "board/stage.h"
#include "board/task_table.h"
#include "board/turn.h"
#include "board/world.h"

namespace {

constexpr int kPieceSlots = kPieceSlotEnd - kPieceFirstSlot;

struct NamedState {
    PieceProc proc;
    const char* name;
};

const NamedState kMoveStates[] = {
    {PieceIdle, "PieceIdle"},           {PieceStartTurn, "PieceStartTurn"},
    {PlayerRollDie, "PlayerRollDie"},   {PlayerChooseDirection, "PlayerChooseDirection"},
    {PlayerStepMove, "PlayerStepMove"}, {AutoStartDieRoll, "AutoStartDieRoll"},
    {AutoRollDie, "AutoRollDie"},       {AutoChooseDirection, "AutoChooseDirection"},
    {AutoStepMove, "AutoStepMove"},     {PieceArrive, "PieceArrive"},
    {PieceWaitEvent, "PieceWaitEvent"}, {EnemyStartDieRoll, "EnemyStartDieRoll"},
    {EnemyRollDie, "EnemyRollDie"},     {EnemyChooseDirection, "EnemyChooseDirection"},
    {EnemyStepMove, "EnemyStepMove"},   {EnemyArrive, "EnemyArrive"},
};

const char* MoveStateName(PieceProc proc)
{
    for (const NamedState& state : kMoveStates)
        if (state.proc == proc)
            return state.name;
    return proc == nullptr ? "none" : "another state";
}

int Fail(RaceWatch* watch, const char* format, ...) __attribute__((format(printf, 2, 3)));
int Fail(RaceWatch* watch, const char* format, ...)
{
    watch->faultFrame = watch->frame;
    va_list args;
    va_start(args, format);
    std::vsnprintf(watch->fault, sizeof(watch->fault), format, args);
    va_end(args);
    return 0;
}

// Map bytes are signed: a kind of 200 on disk is a corridor (-56).
int32_t LayerByte(const int8_t* layer, int index)
{
    return layer[index];
}

bool SlotAlive(int slot)
{
    return g_tasks != nullptr && g_tasks[slot].alive != 0;
}

// The cell under a board point, worked out here rather than through the board's own
// lookups so that a fault there cannot hide itself. Floor, not truncation: a point
// just off the left or far edge must not count as column or row 0.
bool CellUnder(float x, float z, int* column, int* row)
{
    if (!std::isfinite(x) || !std::isfinite(z))
        return false;
    const double c = std::floor((static_cast<double>(x) + g_stageLayers.boardWidth) / 2.0);
    const double r = std::floor((static_cast<double>(g_stageLayers.boardHeight) - z) / 2.0);
    if (c < 0 || r < 0 || c >= g_stageLayers.boardWidth || r >= g_stageLayers.boardHeight)
        return false;
    *column = static_cast<int>(c);
    *row = static_cast<int>(r);
    return true;
}

int CheckPiece(RaceWatch* watch, int slot, const BoardPiece* piece)
{
    if (piece->memberCount < 1 || piece->memberCount > kPieceMembers)
        return Fail(watch, "piece in slot %d (team %d) has %d members", slot, piece->teamId, piece->memberCount);
    if (piece->liveCount < 0 || piece->liveCount > piece->memberCount)
        return Fail(watch, "piece in slot %d (team %d) has %d of %d members standing", slot, piece->teamId,
                    piece->liveCount, piece->memberCount);

    int column = 0;
    int row = 0;
    if (!CellUnder(piece->x, piece->z, &column, &row))
        return Fail(watch, "piece in slot %d (team %d, %s) is off the %dx%d board at x %.2f z %.2f", slot,
                    piece->teamId, MoveStateName(piece->stateProc), g_stageLayers.boardWidth, g_stageLayers.boardHeight,
                    static_cast<double>(piece->x), static_cast<double>(piece->z));
    const int kind = LayerByte(g_stageLayers.squareLayer, row * g_stageLayers.boardWidth + column);
    if (kind >= kBlockedKind)
        return Fail(watch, "piece in slot %d (team %d, %s) stands on blocked ground (kind %d) at column %d row %d",
                    slot, piece->teamId, MoveStateName(piece->stateProc), kind, column, row);
    if (piece->stateProc == PieceIdle) {
        const float centreX = static_cast<float>(2 * column - g_stageLayers.boardWidth + 1);
        const float centreZ = static_cast<float>(g_stageLayers.boardHeight - 2 * row - 1);
        if (std::fabs(piece->x - centreX) > 0.001f || std::fabs(piece->z - centreZ) > 0.001f)
            return Fail(watch, "piece in slot %d (team %d) rests off the centre of column %d row %d (x %.2f z %.2f)",
                        slot, piece->teamId, column, row, static_cast<double>(piece->x), static_cast<double>(piece->z));
    }
    const bool team = piece->controller == kControllerPlayer || piece->controller == kControllerComputer;
    if (team && (piece->progress < -kProgressBound || piece->progress > kProgressBound))
        return Fail(watch, "team %d (slot %d) has progress %d, outside %d..%d (%s at column %d row %d)", piece->teamId,
                    slot, piece->progress, -kProgressBound, kProgressBound, MoveStateName(piece->stateProc), column,
                    row);
    return 1;
}

// The index the controller must hand the turn to after `from`: the next listed entry
// round the list, or `from` itself when it is the only one.
int NextListedIndex(const TurnController* controller, int from)
{
    for (int probe = 1; probe <= kTurnListLength; ++probe) {
        const int index = (from + probe) % kTurnListLength;
        if (controller->turnList[index] != nullptr)
            return index;
    }
    return -1;
}

int CheckHandOver(RaceWatch* watch, int slot, const BoardPiece* piece)
{
    if (!SlotAlive(kTurnControllerSlot))
        return Fail(watch, "piece in slot %d (team %d) was given a turn with no turn controller", slot, piece->teamId);
    const TurnController* controller = TurnControllerWork();
    const int index = controller->turnIndex;
    if (index < 0 || index >= kTurnListLength)
        return Fail(watch, "turn controller's turn index is %d", index);
    if (controller->currentPiece != piece || controller->turnList[index] != piece)
        return Fail(watch, "piece in slot %d (team %d) was given a turn out of the turn list's order", slot,
                    piece->teamId);
    if (watch->turns == 0) {
        if (index != 0 || piece->teamId != g_playerTeam)
            return Fail(watch, "the first turn went to team %d at list index %d, not the player's team %d",
                        piece->teamId, index, g_playerTeam);
    } else {
        const int expected = NextListedIndex(controller, watch->lastTurnIndex);
        if (index != expected)
            return Fail(watch, "turn %d went to list index %d (team %d) after index %d; index %d was next",
                        watch->turns + 1, index, piece->teamId, watch->lastTurnIndex, expected);
    }
    ++watch->turns;
    watch->lastTurnIndex = index;
    watch->lastTurnFrame = watch->frame;
    return 1;
}

// The dispatcher runs one command in a frame that begins in its run state, the first
// after the cursor; so what the event held at the end of one frame names the command
// the next frame runs. A command number past the counted range is left uncounted.
void CountEventCommand(RaceWatch* watch, int eventAlive)
{
    const EventTask* event = eventAlive ? TaskWork<EventTask>(&g_tasks[kEventSlot]) : nullptr;
    // A frame in which the event was not updated leaves it exactly as it was.
    const bool unchanged = event != nullptr && event->alive && event->stateProc == EventRunState &&
                           event->scriptSlot == watch->commandSlot && event->cursor == watch->commandCursor;
    if (watch->commandDue && !unchanged && watch->commandSlot >= 0 && watch->commandSlot < kMaxEvents) {
        const char* script = g_eventScripts + static_cast<size_t>(watch->commandSlot) * kEventScriptSlotBytes;
        int32_t cursor = watch->commandCursor;
        while (cursor >= 0 && cursor < kEventScriptSlotBytes - 1 && script[cursor] != '#')
            ++cursor;
        if (cursor >= 0 && cursor < kEventScriptSlotBytes - 1 && script[cursor] == '#') {
            ++cursor;
            const int32_t number = ReadScriptNumber(&cursor, script);
            if (number >= 0 && number < kCountedCommands)
                ++watch->commands[number];
        }
    }
    watch->commandDue = 0;
    if (event != nullptr && event->alive && event->stateProc == EventRunState) {
        watch->commandDue = 1;
        watch->commandSlot = event->scriptSlot;
        watch->commandCursor = event->cursor;
    }
}

} // namespace

BoardPiece* LivePieceInSlot(int slot)
{
    if (g_tasks == nullptr || slot < kPieceFirstSlot || slot >= kPieceSlotEnd)
        return nullptr;
    Task* task = &g_tasks[slot];
    if (!task->alive || task->kind != kPieceKind)
        return nullptr;
    return PieceOf(task);
}

void ResetRaceWatch(RaceWatch* watch)
{
    std::memset(watch, 0, sizeof(*watch));
    watch->lastTurnIndex = -1;
    watch->faultFrame = -1;
}

int WatchRaceFrame(RaceWatch* watch)
{
    if (watch->faultFrame >= 0)
        return 0;
    ++watch->frame;
    if (g_tasks == nullptr)
        return Fail(watch, "the game has shut down");

    // Battles and events are counted as their tasks appear.
    const int battleAlive = SlotAlive(kBattleTaskSlot) ? 1 : 0;
    if (battleAlive && !watch->battleAlive)
        ++watch->battles;
    watch->battleAlive = battleAlive;
    const int eventAlive = SlotAlive(kEventSlot) ? 1 : 0;
    if (eventAlive && !watch->eventAlive) {
        ++watch->events;
        watch->eventStartFrame = watch->frame;
    }
    watch->eventAlive = eventAlive;
    CountEventCommand(watch, eventAlive);
    if (eventAlive && watch->frame - watch->eventStartFrame > kMaxEventFrames)
        return Fail(watch, "an event has run for more than %d frames", kMaxEventFrames);

    if (SlotAlive(kTurnControllerSlot) && !watch->controllerSeen) {
        watch->controllerSeen = 1;
        watch->lastTurnFrame = watch->frame;
    }

    // A hand-over stores the start of a turn in a piece that was resting; the player's
    // team is created holding it, which is the race's first turn.
    int handOvers = 0;
    int handOverSlot = -1;
    for (int i = 0; i < kPieceSlots; ++i) {
        const int slot = kPieceFirstSlot + i;
        BoardPiece* piece = LivePieceInSlot(slot);
        const PieceProc previous = watch->lastStateProc[i];
        const int wasAlive = watch->lastAlive[i];
        watch->lastAlive[i] = piece != nullptr;
        watch->lastStateProc[i] = piece != nullptr ? piece->stateProc : nullptr;
        if (piece == nullptr)
            continue;
        if (!CheckPiece(watch, slot, piece))
            return 0;
        if (piece->stateProc == PieceStartTurn && (!wasAlive || previous == PieceIdle)) {
            ++handOvers;
            handOverSlot = slot;
        }
    }
    if (handOvers > 1)
        return Fail(watch, "%d pieces were given a turn in one frame", handOvers);
    if (handOvers == 1 && !CheckHandOver(watch, handOverSlot, LivePieceInSlot(handOverSlot)))
        return 0;

    if (watch->controllerSeen && watch->frame - watch->lastTurnFrame > kMaxTurnFrames) {
        const TurnController* controller = TurnControllerWork();
        const BoardPiece* current = SlotAlive(kTurnControllerSlot) ? controller->currentPiece : nullptr;
        return Fail(watch, "no turn was handed over for %d frames (current team %d in %s)", kMaxTurnFrames,
                    current ? current->teamId : -1, current ? MoveStateName(current->stateProc) : "none");
    }
    return 1;
}
