#include "board/event_table.h"

#include <iterator>

#include "battle/battle.h"
#include "board/characters.h"
#include "board/event.h"
#include "board/event_commands.h"
#include "board/piece.h"
#include "board/scripted_move.h"
#include "board/stage.h"
#include "engine/sound.h"

namespace {

// The longest wait, spin or popup the game plays: ten minutes. A longer one leaves the
// race standing for good as far as a player can tell.
constexpr int32_t kMostFrames = 36000 - 1;
constexpr int32_t kOwnMostFrames = 600; // our stages: ten seconds
constexpr int32_t kAnyNumber = 999999;  // six digits
constexpr int32_t kAtlasSide = 2048;

constexpr ScriptArg Number(const char* name, int32_t lowest, int32_t highest, int32_t ownLowest, int32_t ownHighest)
{
    return {ScriptArgKind::kNumber, name, lowest, highest, ownLowest, ownHighest};
}
constexpr ScriptArg Numbers(const char* name, int32_t lowest, int32_t highest, int32_t ownLowest, int32_t ownHighest)
{
    return {ScriptArgKind::kNumber, name, lowest, highest, ownLowest, ownHighest, true};
}
constexpr ScriptArg kLine = {ScriptArgKind::kLine, "message line", 0, 0, 0, 0};
constexpr ScriptArg kLines = {ScriptArgKind::kLine, "message line", 0, 0, 0, 0, true};
constexpr ScriptArg kLabel = {ScriptArgKind::kLabel, "label", 0, 0, 0, 0};
constexpr ScriptArg kPopupSide(const char* name)
{
    return Number(name, 0, kAnyNumber, 0, kAtlasSide);
}

void RunEndEvent(EventTask* event)
{
    EndEvent(event);
}

} // namespace

const EventCommandSpec g_eventCommands[] = {
    {kCmdWindow, "message window", EventCmdWindow, 1, {Number("window switch", 0, kAnyNumber, 0, 1)}},
    // Lines past the window's three are read and not kept; none leaves the window empty.
    {kCmdMessage, "message", EventCmdMessage, 2, {Number("line count", 0, kAnyNumber, 1, 3), kLines}},
    // Any number other than a face shows none; our stages take the face away with 99.
    {kCmdPortrait,
     "portrait",
     EventCmdPortrait,
     1,
     {{ScriptArgKind::kNumber, "portrait", 0, kAnyNumber, 0, kPortraitCount - 1, false, false, 99}}},
    {kCmdChoice, "choice", EventCmdChoice, 5, {kLine, kLine, kLine, kLabel, kLabel}},
    {kCmdWait, "wait", EventCmdWait, 1, {Number("wait frames", 0, kMostFrames, 1, kOwnMostFrames)}},
    // One of the counts is drawn; the battle keeps it within the one to six enemies it
    // has room for.
    {kCmdBattle,
     "battle",
     RunEventBattleCommand,
     2,
     {Number("battle choice count", 0, kAnyNumber, 1, kPieceMembers),
      Numbers("enemy count", 0, kAnyNumber, 1, kPieceMembers)}},
    {kCmdSound, "sound", EventCmdSound, 1, {Number("sound", 0, kAnyNumber, 0, kSoundEffectCount - 1)}},
    {kCmdPopup,
     "popup",
     EventCmdPopup,
     5,
     {kPopupSide("popup left"), kPopupSide("popup top"), kPopupSide("popup right"), kPopupSide("popup bottom"),
      Number("popup lifetime", 0, kMostFrames, 1, kOwnMostFrames)}},
    {kCmdGoBack, "go back", StartGoBack, 0, {}},
    // The square stays ground a piece can stand on: blocked ground there would make the
    // ways into the square lead onto blocked ground, which the map rules refuse in any
    // map, and leave the piece standing on it.
    {kCmdSetSquare,
     "change square",
     EventCmdSetSquare,
     1,
     {{ScriptArgKind::kNumber, "square kind", -128, kBlockedKind - 1, kFirstSquareKind, kLastSquareKind, false, true}}},
    {kCmdSinkMembers, "members sink", EventCmdSinkMembers, 0, {}},
    {kCmdJumpBack, "members jump back", EventCmdJumpBack, 0, {}},
    {kCmdStepForward, "members step forward", EventCmdStepForward, 0, {}},
    // Fewer than two faces change nothing; a save holds up to 999,999.
    {kCmdDieFaces, "die faces", EventCmdSetDieFaces, 1, {Number("die faces", 0, kAnyNumber, 2, 9)}},
    {kCmdRandomBranch, "random branch", EventCmdRandomBranch, 2, {kLabel, kLabel}},
    {kCmdFallenBranch, "fallen-member branch", EventCmdFallenBranch, 2, {kLabel, kLabel}},
    {kCmdRevive, "revive", EventCmdReviveMember, 0, {}},
    {kCmdRollAgain, "roll again", EventCmdRollAgain, 0, {}},
    {kCmdHop, "hop", StartPieceHop, 0, {}},
    {kCmdSpin,
     "spin",
     StartPieceSpin,
     2,
     {Number("spin frames", 0, kMostFrames, 1, kOwnMostFrames), Number("spin degrees", 0, kAnyNumber, 1, 360)}},
    {kCmdLeaveRace, "leave the race", EventCmdRemoveTeam, 0, {}},
    {kCmdGoal, "goal reached", EventCmdGoal, 0, {}},
    {kCmdEnd, "end of event", RunEndEvent, 0, {}},
};

const int32_t g_eventCommandCount = static_cast<int32_t>(std::size(g_eventCommands));

const EventCommandSpec* FindEventCommand(int32_t number)
{
    for (const EventCommandSpec& spec : g_eventCommands) {
        if (spec.number == number)
            return &spec;
    }
    return nullptr;
}
