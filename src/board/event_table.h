// The commands of the script language in one table: number, name, the arguments in the
// order the command reads them with their kinds and ranges, and the procedure that runs
// it. The dispatcher runs commands from it, the stage rules read scripts by it and the
// race simulator lists its counts by it.
#pragma once
#include <cstdint>

struct EventTask;
using EventProc = void (*)(EventTask*);

enum EventCommand : int32_t {
    kCmdWindow = 1,
    kCmdMessage = 2,
    kCmdPortrait = 3,
    kCmdChoice = 4,
    kCmdWait = 5,
    kCmdBattle = 6,
    kCmdSound = 7,
    kCmdPopup = 8,
    kCmdGoBack = 9,
    kCmdSetSquare = 10,
    kCmdSinkMembers = 11,
    kCmdJumpBack = 12,
    kCmdStepForward = 13,
    kCmdDieFaces = 14,
    kCmdRandomBranch = 15,
    kCmdFallenBranch = 16,
    kCmdRevive = 17,
    kCmdRollAgain = 18,
    kCmdHop = 40,
    kCmdSpin = 41,
    kCmdLeaveRace = 42,
    kCmdGoal = 43,
    kCmdEnd = 99,
};

enum class ScriptArgKind : uint8_t {
    kNumber, // up to six digits and one separator byte
    kLine,   // a message line up to the next ','
    kLabel,  // a jump label up to the next ','
};

// A number's range comes twice: what the game plays (anything else is refused at load,
// since playing it would stall the race or leave the game's numbers or stores), and
// what our own stages keep to, which only the pack builder holds a script to.
struct ScriptArg {
    ScriptArgKind kind;
    const char* name;
    int32_t lowest, highest;
    int32_t ownLowest, ownHighest;
    bool repeated = false; // read as many times as the number before it says
    bool lowByte = false;  // the command keeps the low byte as a signed byte: the game's range is the byte's
    int32_t ownAlso = -1;  // one more value our stages use outside their range
};

constexpr int kMostScriptArgs = 5;

struct EventCommandSpec {
    int32_t number;
    const char* name;
    EventProc run; // reads the arguments at the event's cursor
    int32_t argCount;
    ScriptArg args[kMostScriptArgs];
};

// Ordered by number.
extern const EventCommandSpec g_eventCommands[];
extern const int32_t g_eventCommandCount;

// The command of that number, or null: the dispatcher reads any other number and passes
// over it.
const EventCommandSpec* FindEventCommand(int32_t number);
