// Millisecond clock and sleeping for the frame pacing.
#pragma once
#include <cstdint>

namespace plat {

// Milliseconds from a fixed point, monotonic; wraps at 2^32 (take differences unsigned).
uint32_t NowMilliseconds();
// Sleeps for about the given number of microseconds (never less than asked, give or take the scheduler).
void SleepMicroseconds(uint32_t microseconds);

} // namespace plat
