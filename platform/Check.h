#pragma once
// Checks of things that fail only when the system or the host will not do
// what is asked (a thread that did not start, a host call refused): the
// failure is counted, told once per place on standard error, and the
// caller carries on with its fallback. Never aborts: a plug-in lives in
// someone else's process.
//
//   if (!TRV_CHECK(thread.start(...), "a worker thread did not start")) ...
//
// The macro's value is the condition's.
#include <atomic>

namespace platform {

// Counts a failed check and, the first time for `told`, writes one line.
bool checkFailed(std::atomic<bool>& told, const char* file, int line, const char* what);
// Failed checks in this process so far.
unsigned checkFailures();

}  // namespace platform

#define TRV_CHECK(condition, what)                                                          \
    ([&]() -> bool {                                                                        \
        if (condition) return true;                                                         \
        static std::atomic<bool> trvCheckTold{false};                                       \
        return ::platform::checkFailed(trvCheckTold, __FILE__, __LINE__, what);             \
    }())
