// Performance counter and the system tick count.
#include "platform/Clock.h"

#include <windows.h>

namespace platform {

uint64_t performanceCounter() {
    LARGE_INTEGER v;
    QueryPerformanceCounter(&v);
    return static_cast<uint64_t>(v.QuadPart);
}

uint64_t performanceFrequency() {
    LARGE_INTEGER f;
    if (!QueryPerformanceFrequency(&f) || f.QuadPart <= 0) return 1000;  // never divide by 0
    return static_cast<uint64_t>(f.QuadPart);
}

uint32_t tickCount() { return static_cast<uint32_t>(GetTickCount()); }

void sleepMilliseconds(uint32_t ms) { Sleep(static_cast<DWORD>(ms)); }

}  // namespace platform
