#include "platform/Check.h"

#include <cstdio>

namespace platform {
namespace {
std::atomic<unsigned> gFailures{0};
}  // namespace

bool checkFailed(std::atomic<bool>& told, const char* file, int line, const char* what) {
    gFailures.fetch_add(1, std::memory_order_relaxed);
    if (!told.exchange(true, std::memory_order_relaxed)) std::fprintf(stderr, "trv: %s (%s:%d)\n", what, file, line);
    return false;
}

unsigned checkFailures() { return gFailures.load(std::memory_order_relaxed); }

}  // namespace platform
