// Race after race in one process: everything a race loads (the archive, textures,
// meshes, the board's buffers) goes back when the game shuts down, so the memory the
// program holds after a race is the same as after the race before. A leak that stays
// reachable (a list that keeps what each race added) escapes the leak checker at exit;
// this catches it.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdint>

#include "race.h"

namespace {

// Bytes handed out by the allocator and not yet freed.
int64_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<int64_t>(info.uordblks + info.hblkhd);
}

int64_t HeapAfterRace(uint32_t seed) {
    RaceSettings settings{};
    settings.stage = 1; // the stage whose models and textures are the largest
    settings.seed = seed;
    settings.team = 0;
    settings.maxTurns = 6; // past the opening camera, the first moves and square events
    settings.maxFrames = 200000;
    RaceReport report{};
    EXPECT_EQ(RunRace(SUGOROKU_BUILD_DIR, settings, &report), 1) << report.error << report.watch.fault;
    EXPECT_EQ(report.started, 1) << report.error;
    return HeapInUse();
}

TEST(RaceMemory, HeldMemoryDoesNotGrowFromRaceToRace) {
    // The first race may set up what lasts for the whole process (the C library's
    // buffers, the sound and video subsystems' tables); from the second on, nothing.
    HeapAfterRace(1);
    const int64_t second = HeapAfterRace(2);
    const int64_t third = HeapAfterRace(3);
    const int64_t fourth = HeapAfterRace(4);
    // One lost texture or mesh of the board is tens of kilobytes at least.
    constexpr int64_t kSlack = 16 * 1024;
    EXPECT_LE(third - second, kSlack) << "second " << second << " third " << third;
    EXPECT_LE(fourth - third, kSlack) << "third " << third << " fourth " << fourth;
}

} // namespace
