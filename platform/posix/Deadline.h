#pragma once
// The absolute time `ms` milliseconds from now on `clock`, as the timed
// pthread calls take it.
#include <cstdint>
#include <ctime>

namespace platform {

inline timespec deadlineAfter(clockid_t clock, uint32_t ms) {
    timespec t{};
    clock_gettime(clock, &t);
    t.tv_sec += static_cast<time_t>(ms / 1000);
    t.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

}  // namespace platform
