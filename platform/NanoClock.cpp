#include "platform/NanoClock.h"

#include "platform/Clock.h"

long double nowNanoseconds() {
    static const long double factor =
        1e9L / static_cast<long double>(platform::performanceFrequency());
    return static_cast<long double>(platform::performanceCounter()) * factor;
}

unsigned tickCount() { return platform::tickCount(); }
