#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace plat {

uint32_t NowMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void SleepMicroseconds(uint32_t microseconds)
{
    timespec wait{};
    wait.tv_sec = microseconds / 1000000u;
    wait.tv_nsec = static_cast<long>(microseconds % 1000000u) * 1000L;
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

} // namespace plat
