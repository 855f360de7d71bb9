// The event commands that talk and act: the message window, typewriter messages,
// portraits and two-way choices with their label jumps; waits, sounds, the rising
// popup, square changes, the members' animations, die faces, branches, revival,
// rolling again, leaving the race and reaching the goal. The dispatcher in event.cpp
// calls one EventCmd procedure per command number; a command that needs more than
// one frame stores its state in the event's stateProc.
#pragma once
#include <cstdint>

#include "engine/sprite.h"
#include "engine/task.h"

struct BoardPiece;
struct EventTask;
struct Figure;

// The display of a running event (drawn by the event task).
constexpr float kEventWindowX = 124.0f;
constexpr float kEventWindowY = 384.0f;
constexpr float kPortraitX = -4.0f;
constexpr SpriteRect kChoiceBarRect = {1409.0f, 1223.0f, 1917.0f, 1248.0f};
constexpr uint32_t kChoiceBarColour = 0x64FFFFFFu;

// The popup that rises from a piece.
struct PopupSprite;
using PopupProc = void (*)(PopupSprite*);

struct PopupSprite {
    int32_t alive;
    float x, y;       // screen position of the sprite's top left
    int32_t lifetime; // frames left
    SpriteRect rect;  // in the atlas
    PopupProc stateProc;
};
CHECK_TASK_WORK(PopupSprite);

// Messages, portraits and choices.
void EventCmdWindow(EventTask* event);
void EventCmdMessage(EventTask* event);
void EventCmdPortrait(EventTask* event);
void EventCmdChoice(EventTask* event);
void EventMessageState(EventTask* event);
void EventMessageTypeStep(EventTask* event);
void EventMessageWaitStep(EventTask* event);
void EventChoiceState(EventTask* event);
void EventChoicePlayerInput(EventTask* event);
void EventChoiceCpuState(EventTask* event);
void EventChoiceHoldState(EventTask* event);
int32_t ChoiceBlinkPhase(int32_t timer);
void ClearMessageText(EventTask* event);
int IsComputerControlled(const EventTask* event);

// Label jumps: the cursor moves behind the first occurrence of the label after it;
// a label that is not there sends the cursor to the end of the script, which ends the event.
void JumpToScriptLabel(EventTask* event, const char* script, const char* label);
// Where the label's bytes first stand at or after from (the label's first byte), or -1.
int32_t FindScriptLabel(const char* script, int32_t from, const char* label);
int32_t LabelLength(const char* label);
int LabelMatches(const char* scriptPosition, const char* label, int32_t n);

// What the event task draws, in order: portrait, window frame, choice bar, text.
void DrawEventDisplay(const EventTask* event);
void DrawPortrait(float x, int32_t index);
void DrawMessageWindow(float x, float y);
void DrawMessageText(const EventTask* event, float x, float y);
void DrawChoiceCursor(float x, float y, int32_t answer);

// Actions.
void EventCmdWait(EventTask* event);
void EventWaitState(EventTask* event);
void EventCmdSound(EventTask* event);
void EventCmdPopup(EventTask* event);
void EventCmdSetSquare(EventTask* event);
void EventCmdSinkMembers(EventTask* event);
void EventSinkMembersState(EventTask* event);
void EventCmdJumpBack(EventTask* event);
void EventJumpBackState(EventTask* event);
void MoveAlongFacing(Figure* figure, float distance);
void EventCmdStepForward(EventTask* event);
void EventStepForwardState(EventTask* event);
void EventCmdSetDieFaces(EventTask* event);
void EventCmdRandomBranch(EventTask* event);
void EventCmdFallenBranch(EventTask* event);
void EventCmdReviveMember(EventTask* event);
void EventWaitRisingFigure(EventTask* event);
void EventCmdRollAgain(EventTask* event);
void EventCmdRemoveTeam(EventTask* event);
void EventCmdGoal(EventTask* event);

int CreatePopupSprite(float x, float y, float left, float top, float right, float bottom, int32_t lifetime);
void UpdatePopupSprite(Task* task);
void DrawPopupSprite(Task* task);
void PopupRiseState(PopupSprite* popup);
