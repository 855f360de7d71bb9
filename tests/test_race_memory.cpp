// Race after race in one process: everything a race loads (the archive, textures,
// meshes, the board's buffers) goes back when the game shuts down, so the memory the
// program holds after a race is the same as after the race before. A leak that stays
// reachable (a list that keeps what each race added) escapes the leak checker at exit;
// this catches it.
#include <gtest/gtest.h>

#include <malloc.h>

#include "race.h"

TEST(RaceMemory, HeldMemoryDoesNotGrowFromRaceToRace)
{
    int64_t held[4] = {};
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        // The stage whose models and textures are the largest, past the opening camera,
        // the first moves and square events.
        const RaceSettings settings{.stage = 1, .seed = seed, .team = 0, .maxTurns = 6, .maxFrames = 200000};
        RaceReport report{};
        EXPECT_EQ((std::pair{RunRace(SUGOROKU_BUILD_DIR, settings, &report), report.started}), std::pair(1, 1))
            << report.error << report.watch.fault;
        const struct mallinfo2 info = mallinfo2(); // bytes handed out and not yet freed
        held[seed - 1] = static_cast<int64_t>(info.uordblks + info.hblkhd);
    }
    // The first race may set up what lasts for the whole process (the C library's
    // buffers, the sound and video subsystems' tables); from the second on, nothing.
    // One lost texture or mesh of the board is tens of kilobytes at least.
    for (int race = 2; race < 4; ++race)
        EXPECT_LE(held[race] - held[race - 1], 16 * 1024) << "race " << race + 1;
}
