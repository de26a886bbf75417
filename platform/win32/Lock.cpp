// Critical section constructed inside the lock's opaque storage.
#include "platform/Lock.h"

#include <new>

#include <windows.h>

namespace platform {
namespace {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "critical section does not fit the lock storage");
static_assert(alignof(CRITICAL_SECTION) <= 16, "critical section alignment exceeds the lock storage");

CRITICAL_SECTION* sectionIn(unsigned char* storage) {
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}

}  // namespace

RecursiveLock::RecursiveLock() { InitializeCriticalSection(new (storage_) CRITICAL_SECTION); }

RecursiveLock::~RecursiveLock() { DeleteCriticalSection(sectionIn(storage_)); }

void RecursiveLock::lock() { EnterCriticalSection(sectionIn(storage_)); }

void RecursiveLock::unlock() { LeaveCriticalSection(sectionIn(storage_)); }

bool RecursiveLock::tryLock() { return TryEnterCriticalSection(sectionIn(storage_)) != 0; }

}  // namespace platform
