// One whole race run headless: start-up in a scratch directory, title, stage select,
// team select, then the race with the player's team under automatic play, checked
// frame by frame (invariants.h).
#pragma once
#include <cstdint>

#include "invariants.h"

struct RaceSettings {
    int32_t stage;     // 1..3
    uint32_t seed;     // SeedRandom after start-up
    int32_t team;      // 0..2
    int32_t maxTurns;  // stop after this many turns; 0 = no limit
    int32_t maxFrames; // a race that runs longer fails
};

struct RaceReport {
    int32_t started;     // the board came up with the wanted stage and team, and automatic play is on
    int32_t frames;      // frames from the team's confirmation to the race's end
    int32_t finished;    // the ranking screen appeared
    int32_t backAtTitle; // the race ended by returning to the title (the player's team fell)
    int32_t overran;     // ran past maxFrames
    int32_t places[3];   // team id by place, -1 where no team has taken it
    RaceWatch watch;     // turns, battles, events and the first broken invariant
    char error[200];     // why the race did not start, empty when it did
};

// Runs one race on the data files in dataDir ("data.dat", "mappack.dat", "epack.dat"),
// copied into a scratch directory that is removed afterwards. Returns 1 when the race
// ran to its end (finished, stopped by maxTurns, or back at the title) with every
// invariant holding, else 0; the report says which.
int RunRace(const char* dataDir, const RaceSettings& settings, RaceReport* report);
