// Event messages, portraits and two-way choices.
#include <cstring>

#include "board/characters.h"
#include "board/event.h"
#include "board/event_commands.h"
#include "board/piece.h"
#include "board/world.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/text.h"

namespace {

constexpr int kMessageRows = 3;
constexpr int32_t kMessageWaitFrames = 30;
constexpr int32_t kChoiceBlinkFrames = 60;
constexpr int32_t kChoiceHoldFrames = 30;

// Reads one message line into row `row` (when it is one of the three) and its glyphs.
// A line may fill all 48 bytes (24 characters) with no room for a NUL, so it is read
// through a buffer one byte longer and converted with the 48-byte bound.
void ReadMessageLine(EventTask* event, const char* script, int row, bool alsoShown)
{
    char line[kEventLineBytes + 1] = {};
    ReadScriptField(line, sizeof line, &event->cursor, script);
    if (row >= kMessageRows)
        return; // more lines than the window has: read past, not kept
    std::memcpy(event->lineText[row], line, kEventLineBytes);
    ConvertTextToGlyphs(event->sourceGlyphs[row], event->lineText[row], kEventLineBytes);
    if (alsoShown)
        std::memcpy(event->shownGlyphs[row], event->sourceGlyphs[row], sizeof event->shownGlyphs[row]);
}

void ReadLabel(EventTask* event, const char* script, int which)
{
    char label[kEventLabelBytes + 1] = {};
    ReadScriptField(label, sizeof label, &event->cursor, script);
    std::memcpy(event->labels[which], label, kEventLabelBytes);
}

bool ConfirmPressed()
{
    return IsKeyPressed(kKeyReturn) || IsKeyPressed(kKeyZ);
}

void FinishChoice(EventTask* event)
{
    event->stateProc = EventRunState;
    const int32_t which = event->answer != 0 ? 1 : 0;
    JumpToScriptLabel(event, GetEventScript(event), event->labels[which]);
}

} // namespace

int IsComputerControlled(const EventTask* event)
{
    return event->piece != nullptr && event->piece->controller != kControllerPlayer;
}

void ClearMessageText(EventTask* event)
{
    event->typeColumn = 0;
    event->typeRow = 0;
    std::memset(event->lineText, 0, sizeof event->lineText);
    std::memset(event->sourceGlyphs, 0, sizeof event->sourceGlyphs);
    std::memset(event->shownGlyphs, 0, sizeof event->shownGlyphs);
}

void EventCmdWindow(EventTask* event)
{
    const int32_t n = ReadScriptNumber(&event->cursor, GetEventScript(event));
    event->windowOn = n != 0 ? 1 : 0;
}

void EventCmdPortrait(EventTask* event)
{
    event->portrait = ReadScriptNumber(&event->cursor, GetEventScript(event));
}

void EventCmdMessage(EventTask* event)
{
    const char* script = GetEventScript(event);
    ClearMessageText(event);
    const int32_t lines = ReadScriptNumber(&event->cursor, script);
    event->timer = kMessageWaitFrames;
    for (int32_t row = 0; row < lines; ++row) {
        ReadMessageLine(event, script, row, false);
        if (event->cursor >= kEventScriptSlotBytes)
            break; // the script ran out: nothing more to read
    }
    event->stateProc = EventMessageState;
}

void EventMessageState(EventTask* event)
{
    if (event->typeRow < kMessageRows)
        EventMessageTypeStep(event);
    else
        EventMessageWaitStep(event);
}

void EventMessageTypeStep(EventTask* event)
{
    const int32_t row = event->typeRow;
    const int32_t column = event->typeColumn;
    if (column < kGlyphRowLength && event->sourceGlyphs[row][column] != 0) {
        event->shownGlyphs[row][column] = event->sourceGlyphs[row][column];
        event->typeColumn = column + 1;
        return;
    }
    // The row's end (a 0 glyph or all 24 shown) takes a frame of its own.
    event->typeRow = row + 1;
    event->typeColumn = 0;
    if (event->typeRow >= kMessageRows)
        event->timer = kMessageWaitFrames;
}

void EventMessageWaitStep(EventTask* event)
{
    if (IsComputerControlled(event)) {
        if (event->timer >= 1)
            --event->timer;
        if (event->timer <= 0)
            event->stateProc = EventRunState;
        return;
    }
    if (ConfirmPressed()) {
        RequestSoundEffect(kSoundBlip);
        event->stateProc = EventRunState;
    }
}

void EventCmdChoice(EventTask* event)
{
    const char* script = GetEventScript(event);
    ClearMessageText(event);
    event->answer = 0;
    event->timer = kChoiceBlinkFrames;
    for (int row = 0; row < kMessageRows; ++row)
        ReadMessageLine(event, script, row, true);
    std::memset(event->labels, 0, sizeof event->labels);
    ReadLabel(event, script, 0);
    ReadLabel(event, script, 1);
    event->stateProc = EventChoiceState;
}

void EventChoiceState(EventTask* event)
{
    if (IsComputerControlled(event))
        EventChoiceCpuState(event);
    else
        EventChoicePlayerInput(event);
}

void EventChoicePlayerInput(EventTask* event)
{
    if (ConfirmPressed()) {
        RequestSoundEffect(kSoundBlip);
        FinishChoice(event);
    } else if (IsKeyPressed(kKeyDown)) {
        event->answer = event->answer + 1 > 1 ? 1 : event->answer + 1;
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyUp)) {
        event->answer = event->answer - 1 < 0 ? 0 : event->answer - 1;
        RequestSoundEffect(kSoundBlip);
    }
}

int32_t ChoiceBlinkPhase(int32_t timer)
{
    if ((timer >= 15 && timer <= 29) || (timer >= 45 && timer <= 59))
        return 1;
    return 0;
}

void EventChoiceCpuState(EventTask* event)
{
    // The computer lets the two answers blink for a second before it picks one, so
    // that the player sees that a choice was made.
    if (event->timer >= 1) {
        event->answer = ChoiceBlinkPhase(event->timer);
        --event->timer;
        if (event->timer % 15 == 0)
            RequestSoundEffect(kSoundBlip);
        return;
    }
    event->answer = RollRandom(2) != 0 ? 1 : 0;
    RequestSoundEffect(kSoundBlip);
    event->timer = kChoiceHoldFrames;
    event->stateProc = EventChoiceHoldState;
}

void EventChoiceHoldState(EventTask* event)
{
    --event->timer;
    if (event->timer > 0)
        return;
    FinishChoice(event);
}

int32_t LabelLength(const char* label)
{
    int32_t n = 0;
    while (n < kEventLabelBytes && label[n] != '\0')
        ++n;
    return n;
}

int LabelMatches(const char* scriptPosition, const char* label, int32_t n)
{
    return std::memcmp(scriptPosition, label, static_cast<size_t>(n)) == 0 ? 1 : 0;
}

int32_t FindScriptLabel(const char* script, int32_t from, const char* label)
{
    const int32_t n = LabelLength(label);
    const int32_t start = from < 0 ? 0 : from;
    for (int32_t p = start; p + n <= kEventScriptSlotBytes; ++p) {
        if (n > 0 && script[p] != label[0])
            continue;
        if (LabelMatches(script + p, label, n))
            return p;
    }
    return -1;
}

void JumpToScriptLabel(EventTask* event, const char* script, const char* label)
{
    const int32_t found = FindScriptLabel(script, event->cursor, label);
    // No such label ahead: the script has nowhere to go, so the event ends.
    event->cursor = found < 0 ? kEventScriptSlotBytes : found + LabelLength(label);
}

void DrawPortrait(float x, int32_t index)
{
    if (index < 0 || index >= kPortraitCount)
        return;
    const SpriteRect& rect = g_portraitRects[index];
    DrawAtlasSprite(x, 480.0f - (rect.bottom - rect.top), rect);
}

void DrawMessageWindow(float x, float y)
{
    DrawMessageWindowPanel(x, y);
}

void DrawMessageText(const EventTask* event, float x, float y)
{
    // Three rows 28 pixels apart (a 20-pixel band and 8 between), the pen 16 pixels in.
    for (int row = 0; row < 3; ++row)
        DrawGlyphRow(event->shownGlyphs[row], x + 16.0f, y + 28.0f * static_cast<float>(row));
}

void DrawChoiceCursor(float x, float y, int32_t answer)
{
    const float rowOffset = answer == 0 ? 36.0f : 64.0f;
    DrawAtlasSprite(x + 2.0f, y + rowOffset, kChoiceBarRect, kChoiceBarColour);
}

void DrawEventDisplay(const EventTask* event)
{
    DrawPortrait(kPortraitX, event->portrait);
    if (event->windowOn)
        DrawMessageWindow(kEventWindowX, kEventWindowY);
    if (event->stateProc == EventMessageState) {
        DrawMessageText(event, kEventWindowX, kEventWindowY);
    } else if (event->stateProc == EventChoiceState || event->stateProc == EventChoiceHoldState) {
        DrawChoiceCursor(kEventWindowX, kEventWindowY, event->answer);
        DrawMessageText(event, kEventWindowX, kEventWindowY);
    }
}
