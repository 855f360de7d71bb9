// Event commands that act on the game: waits, sounds, the rising popup, square
// changes, the members' animations, die faces, branches, revival, rolling again,
// leaving the race and reaching the goal.
#include <cmath>
#include <cstring>

#include "board/characters.h"
#include "board/event.h"
#include "board/event_commands.h"
#include "board/figure.h"
#include "board/piece.h"
#include "board/ranking.h"
#include "board/stage.h"
#include "board/task_table.h"
#include "board/turn.h"
#include "board/world.h"
#include "engine/draw3d.h"
#include "engine/input.h"
#include "engine/sound.h"

namespace {

constexpr float kFloorY = 0.25f;
constexpr float kSunkY = -8.0f;
constexpr float kSinkStep = 0.5f;
constexpr int kJumpFrames = 12;
constexpr int kStepFrames = 8;
constexpr float kStepForward = 0.25f;

// Height change and move along the facing, frame by frame, of a member's leap back
// over one cell: up to 15 above where it stood, down to 10, then onto the floor.
constexpr float kJumpHeightStep[kJumpFrames] = {3, 3, 3, 2, 2, 1, 1, 0, 0, -1, -2, -2};
constexpr float kJumpMove[kJumpFrames] = {0, 0, 0, 0, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f};

const char* ScriptOf(EventTask* event)
{
    return GetEventScript(event);
}

// A member count from a piece, never below 0 nor above the six figures a piece has.
int32_t WithinFigures(int32_t n)
{
    if (n < 0)
        return 0;
    return n > kPieceMembers ? kPieceMembers : n;
}

// The members an animation walks through: the standing ones.
int32_t AnimatedMembers(const BoardPiece* piece)
{
    return WithinFigures(piece->liveCount);
}

int32_t MemberLimit(const BoardPiece* piece)
{
    return WithinFigures(piece->memberCount);
}

// The next member of an animation, or back to the script after the last one.
void NextAnimatedMember(EventTask* event)
{
    event->animMember += 1;
    if (event->animMember > event->animCount - 1)
        event->stateProc = EventRunState;
}

void ReadTwoLabels(EventTask* event, char labels[2][kEventLabelBytes + 1])
{
    std::memset(labels, 0, 2 * (kEventLabelBytes + 1));
    ReadScriptField(labels[0], kEventLabelBytes + 1, &event->cursor, ScriptOf(event));
    ReadScriptField(labels[1], kEventLabelBytes + 1, &event->cursor, ScriptOf(event));
}

} // namespace

void EventCmdWait(EventTask* event)
{
    event->wait = ReadScriptNumber(&event->cursor, ScriptOf(event));
    event->stateProc = EventWaitState;
}

void EventWaitState(EventTask* event)
{
    event->wait -= 1;
    if (event->wait > 0)
        return;
    event->wait = 0;
    event->stateProc = EventRunState;
}

void EventCmdSound(EventTask* event)
{
    const int32_t id = ReadScriptNumber(&event->cursor, ScriptOf(event));
    if (id >= 0 && id < kSoundEffectCount)
        RequestSoundEffect(id);
}

void EventCmdPopup(EventTask* event)
{
    const char* script = ScriptOf(event);
    int32_t values[5];
    for (int32_t& value : values)
        value = ReadScriptNumber(&event->cursor, script);
    const BoardPiece* piece = event->piece;
    const float position[3] = {piece->x, piece->y, piece->z};
    float screen[3];
    ProjectToScreen(screen, position);
    if (!std::isfinite(screen[0]) || !std::isfinite(screen[1]))
        return; // nowhere on the screen to rise from
    CreatePopupSprite(screen[0], screen[1], static_cast<float>(values[0]), static_cast<float>(values[1]),
                      static_cast<float>(values[2]), static_cast<float>(values[3]), values[4]);
}

int CreatePopupSprite(float x, float y, float left, float top, float right, float bottom, int32_t lifetime)
{
    Task* task = CreateTask(kPopupSlot);
    if (task == nullptr)
        return 0; // one popup at a time
    StartTask(task, kPopupKind, UpdatePopupSprite, DrawPopupSprite);
    PopupSprite* popup = TaskWork<PopupSprite>(task);
    popup->alive = 1;
    popup->x = x;
    popup->y = y;
    popup->lifetime = lifetime;
    popup->rect = {left, top, right, bottom};
    popup->stateProc = PopupRiseState;
    return 1;
}

void UpdatePopupSprite(Task* task)
{
    PopupSprite* popup = TaskWork<PopupSprite>(task);
    popup->stateProc(popup);
    if (popup->alive == 0)
        task->alive = 0;
}

void PopupRiseState(PopupSprite* popup)
{
    popup->lifetime -= 1;
    if (popup->lifetime < 1)
        popup->alive = 0;
    popup->y -= 1.0f;
}

void DrawPopupSprite(Task* task)
{
    const PopupSprite* popup = TaskWork<PopupSprite>(task);
    DrawAtlasSprite(popup->x, popup->y, popup->rect);
}

void EventCmdSetSquare(EventTask* event)
{
    const int32_t kind = ReadScriptNumber(&event->cursor, ScriptOf(event));
    int32_t column = 0;
    int32_t row = 0;
    if (!PositionToCell(event->piece->x, event->piece->z, &column, &row))
        return; // a piece off the board has no square to change
    g_stageLayers.squareLayer[row * g_stageLayers.boardWidth + column] = static_cast<int8_t>(kind & 0xFF);
}

void EventCmdSinkMembers(EventTask* event)
{
    event->animCount = AnimatedMembers(event->piece);
    event->animMember = 0;
    event->stateProc = event->animCount > 0 ? EventSinkMembersState : EventRunState;
}

void EventSinkMembersState(EventTask* event)
{
    Figure& figure = event->piece->figures[event->animMember];
    figure.y -= kSinkStep;
    if (figure.y > kSunkY)
        return;
    figure.y = kSunkY;
    RequestSoundEffect(kSoundPlop);
    NextAnimatedMember(event);
}

void MoveAlongFacing(Figure* figure, float distance)
{
    switch (static_cast<int>(RoundToNearest(figure->facing))) {
    case 0: figure->x += distance; break;
    case 90: figure->z += distance; break;
    case 180: figure->x -= distance; break;
    case 270: figure->z -= distance; break;
    default: break;
    }
}

void EventCmdJumpBack(EventTask* event)
{
    BoardPiece* piece = event->piece;
    event->animCount = AnimatedMembers(piece);
    event->animMember = 0;
    event->animFrame = 0;
    float behind = piece->heading - 180.0f;
    if (behind < 0.0f)
        behind += 360.0f;
    // The members stop following the piece while they leap; ending the move puts
    // them back on it.
    for (Figure& figure : piece->figures) {
        figure.facing = behind;
        figure.motionProc = FigureIdleState;
    }
    event->stateProc = event->animCount > 0 ? EventJumpBackState : EventRunState;
}

void EventJumpBackState(EventTask* event)
{
    Figure* figure = &event->piece->figures[event->animMember];
    const int32_t frame = event->animFrame;
    figure->y += kJumpHeightStep[frame];
    MoveAlongFacing(figure, kJumpMove[frame]);
    if (frame == 0)
        RequestSoundEffect(kSoundSplash);
    event->animFrame = frame + 1;
    if (event->animFrame < kJumpFrames)
        return;
    event->animFrame = 0;
    figure->y = kFloorY;
    NextAnimatedMember(event);
}

void EventCmdStepForward(EventTask* event)
{
    event->animCount = AnimatedMembers(event->piece);
    event->animMember = 0;
    event->animFrame = 0;
    event->stateProc = event->animCount > 0 ? EventStepForwardState : EventRunState;
}

void EventStepForwardState(EventTask* event)
{
    const BoardPiece* piece = event->piece;
    Figure& figure = event->piece->figures[event->animMember];
    switch (static_cast<int>(RoundToNearest(piece->heading))) {
    case 0:
        figure.x += kStepForward;
        figure.facing = 0.0f;
        break;
    case 90:
        figure.z += kStepForward;
        figure.facing = 90.0f;
        break;
    case 180:
        figure.x -= kStepForward;
        figure.facing = 180.0f;
        break;
    case 270:
        figure.z -= kStepForward;
        figure.facing = 270.0f;
        break;
    default: break;
    }
    event->animFrame += 1;
    if (event->animFrame < kStepFrames)
        return;
    event->animFrame = 0;
    NextAnimatedMember(event);
}

void EventCmdSetDieFaces(EventTask* event)
{
    const int32_t faces = ReadScriptNumber(&event->cursor, ScriptOf(event));
    if (faces >= 2)
        event->piece->dieFaces = faces;
}

void EventCmdRandomBranch(EventTask* event)
{
    char labels[2][kEventLabelBytes + 1];
    ReadTwoLabels(event, labels);
    const int second = RollRandom(2) != 0;
    JumpToScriptLabel(event, ScriptOf(event), labels[second ? 1 : 0]);
}

void EventCmdFallenBranch(EventTask* event)
{
    char labels[2][kEventLabelBytes + 1];
    ReadTwoLabels(event, labels);
    const BoardPiece* piece = event->piece;
    bool anyFallen = false;
    for (int32_t i = 0; i < MemberLimit(piece); ++i) {
        if (piece->members[i].hitPoints <= 0.0f)
            anyFallen = true;
    }
    JumpToScriptLabel(event, ScriptOf(event), labels[anyFallen ? 1 : 0]);
}

void EventCmdReviveMember(EventTask* event)
{
    BoardPiece* piece = event->piece;
    event->stateProc = EventWaitRisingFigure;
    // Only the party's own members: the records behind the last one are empty, and
    // an empty record must not come back as a member the party never had.
    for (int32_t i = 0; i < MemberLimit(piece); ++i) {
        CharacterRecord& member = piece->members[i];
        if (member.hitPoints != 0.0f)
            continue;
        const int32_t id = member.id;
        const bool known = id >= 0 && id < kCharacterCount;
        member.hitPoints = known ? g_characters[id].maxHitPoints : member.maxHitPoints;
        SpawnRisingFigure(piece, known ? g_characters[id].modelId : member.modelId);
        if (piece->liveCount < MemberLimit(piece))
            piece->liveCount += 1;
        return;
    }
}

void EventWaitRisingFigure(EventTask* event)
{
    if (g_tasks[kRisingFigureSlot].alive)
        return;
    event->stateProc = EventRunState;
}

void EventCmdRollAgain(EventTask* event)
{
    BoardPiece* piece = event->piece;
    EndPieceMove(piece);
    piece->stateProc = PieceStartTurn;
}

void EventCmdRemoveTeam(EventTask* event)
{
    BoardPiece* piece = event->piece;
    RemovePieceFromTurnList(piece);
    piece->alive = 0;
}

void EventCmdGoal(EventTask* event)
{
    RecordTeamFinished(event);
}
