// Monotonic clock in nanoseconds; the tick count is its millisecond value
// cut to 32 bits so it wraps like the system tick count elsewhere.
#include "platform/Clock.h"

#include <cerrno>
#include <ctime>

namespace platform {

uint64_t performanceCounter() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ULL + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t performanceFrequency() { return 1000000000ULL; }

uint32_t tickCount() { return static_cast<uint32_t>(performanceCounter() / 1000000ULL); }

void sleepMilliseconds(uint32_t ms) {
    timespec want{};
    want.tv_sec = static_cast<time_t>(ms / 1000);
    want.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    timespec left{};
    while (nanosleep(&want, &left) != 0 && errno == EINTR) want = left;
}

}  // namespace platform
