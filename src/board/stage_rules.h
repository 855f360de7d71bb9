// What a stage may be. The game's loaders refuse a stage only where a race on it could
// not be played to its end: a team with no piece, a way the game's movement can take that
// walks for ever or catches a team where it can never reach the goal, or a script that
// would stall the race or leave the game's numbers and stores. The pack builder
// (tools/stagepack) applies the same rules through this same code and, on top, its own
// checks of what our stages keep to (StageRuleReport::authoring), which the game does not
// apply; so everything the builder builds, the game loads.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "board/event.h"
#include "board/piece.h"
#include "board/task_table.h"

constexpr int kMaxBoardPieces = kPieceSlotEnd - kPieceFirstSlot;

// One event's script as the rules read it.
struct EventScriptInfo {
    int32_t cells = 0; // cells of the map that carry the event
    int32_t bytes = 0; // bytes stored in its slot
    int32_t commands = 0;
    int32_t pieceKind = 0; // 0 none, 1 team, 2 enemy group
    int32_t pieceId = -1;
    int32_t heading = 0;
    int32_t members = 0;
    int32_t ids[kPieceMembers] = {};
    std::string name;       // CP932
    bool sendsBack = false; // some path runs #9
    // What the script does that our own stages do not ("byte B: ..."); the game plays it.
    std::vector<std::string> authoring;
};

struct StageRuleReport {
    // Each problem says where: a column and row of the map, or an event and a byte of
    // its script. Any problem refuses the stage.
    std::vector<std::string> problems;
    // Allowed, but worth the author's look: the ways a team can leave the race unplaced.
    std::vector<std::string> notes;
    // Checks only the pack builder applies: what our own stages keep to, though the game
    // would play a stage that breaks them. The builder refuses on these too, and says
    // they are its own.
    std::vector<std::string> authoring;
    int32_t events = 0; // the highest event number on the map
    EventScriptInfo scripts[kMaxEvents];
    int32_t textBytes = 0; // the stage's script text as stored in the pack
    int32_t pieces = 0;
    int32_t forks = 0; // squares on the teams' ways with more than one way on
};

// The rules of the whole stage, on the loaded layers and script store: text and length
// are the stage's script text as the pack holds it (every byte inverted). The text
// holds exactly the events the map uses, each script reads as the game reads it with
// values in range and every path ending in #99, the pieces that get a slot stand on
// squares, every team has one, and on every way the game's movement can take a team
// (its choices, the corridor rule, go-backs) it can still reach the goal; no move of a
// team, a go-back or the roaming group walks a corridor for ever. A problem of the map
// names the map pack, the stage, the row and the column.
void CheckStageRules(const uint8_t* text, uint32_t length, StageRuleReport* report);

// The builder's own checks, into report->authoring: what our stages keep to, though the
// game plays a stage that breaks it. The map alone: every route, back-move and enemy-move
// bit leads onto walkable ground of the board, one start mark on a square, a track walk
// that reaches a goal square, event numbers 1 to 10. With the scripts read
// (CheckStageRules ran on the same layers): one start cell per team, one roaming group,
// room for every piece, corridors one cell wide that never turn back, no square a team
// reaches open every way, a way back from every square a go-back passes, an enemy-move
// way from every square the roaming group reaches, and the teams' ways free of loops
// and no longer than the track walk.
void CheckStageAuthoring(StageRuleReport* report, bool scriptsRead);

// One script from its 2,000-byte slot: true when it reads as it must; otherwise false
// with *problem saying where ("byte B: ..."). A path records the goal (#43) at most
// once and then leaves the race (#42); goal: the event stands on a goal square, so every
// path must record the goal. Notes say where #42 can run without #43 before it.
bool CheckEventScript(int32_t eventNumber, const char* slot, bool goal, EventScriptInfo* info, std::string* problem,
                      std::vector<std::string>* notes);
