#pragma once
#include <cstdint>

namespace platform {

// High-resolution counter and its frequency (ticks per second).
uint64_t performanceCounter();
uint64_t performanceFrequency();
// Milliseconds since an arbitrary start, wrapping at 2^32 like a tick count.
uint32_t tickCount();
// Sleeps the calling thread.
void sleepMilliseconds(uint32_t ms);

}  // namespace platform
