// What must hold on the board after every frame of a race, checked against the live
// game state: where the pieces stand, how far the teams have come, whose turn it is,
// how long a turn or an event has gone on and how big the parties are. It also counts
// the turns handed over, the battles and the events, so the simulator can report them.
#pragma once
#include <cstdint>

#include "board/event.h"
#include "board/piece.h"
#include "board/task_table.h"
#include "engine/task.h"

// A turn (from one hand-over to the next) or an event running longer than this many
// frames means the race is stuck. Both are far above anything a sound race shows:
// a full move with a long event and a battle stays under a few thousand frames.
constexpr int kMaxTurnFrames = 12000;
constexpr int kMaxEventFrames = 6000;

constexpr int kRaceFaultBytes = 200;
constexpr int kCountedCommands = kCmdEnd + 1; // command numbers 0..99; higher ones are not counted

struct RaceWatch {
    int32_t frame;                                            // frames looked at
    int32_t turns;                                            // hand-overs seen
    int32_t battles;                                          // battle tasks started
    int32_t events;                                           // event tasks started
    int32_t controllerSeen;                                   // the turn controller has been seen alive
    int32_t lastTurnIndex;                                    // turn-list index of the latest hand-over
    int32_t lastTurnFrame;                                    // frame of the latest hand-over
    int32_t eventStartFrame;                                  // frame the running event was first seen
    int32_t battleAlive;                                      // slot 149 was alive at the last look
    int32_t eventAlive;                                       // slot 150 was alive at the last look
    PieceProc lastStateProc[kPieceSlotEnd - kPieceFirstSlot]; // stateProc of each piece slot at the last look
    int32_t lastAlive[kPieceSlotEnd - kPieceFirstSlot];
    int32_t commandDue;  // the event stood ready to run a command at the last look
    int32_t commandSlot; // its script slot and cursor then
    int32_t commandCursor;
    int32_t commands[kCountedCommands]; // event commands run, by number
    int32_t faultFrame;                 // frame of the first broken invariant, -1 while none
    char fault[kRaceFaultBytes];        // what broke, empty while nothing did
};

void ResetRaceWatch(RaceWatch* watch);

// Looks at the board once after a frame has run. Returns 1 while every invariant
// holds; otherwise 0, with the first fault and its frame kept in the watch (later
// calls keep returning 0 and leave the first fault in place).
int WatchRaceFrame(RaceWatch* watch);

// The pieces of slots 10..19 that are alive and of the piece kind, or null.
BoardPiece* LivePieceInSlot(int slot);
