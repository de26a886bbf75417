// Mutex and condition variable on slim reader/writer locks (exclusive mode)
// and condition variables.
#include "platform/Mutex.h"

#include <new>

#include <windows.h>

namespace platform {
namespace {

static_assert(sizeof(SRWLOCK) <= 64 && alignof(SRWLOCK) <= 16, "mutex storage");
static_assert(sizeof(CONDITION_VARIABLE) <= 64 && alignof(CONDITION_VARIABLE) <= 16, "condition storage");

SRWLOCK* lockIn(unsigned char* s) { return std::launder(reinterpret_cast<SRWLOCK*>(s)); }
CONDITION_VARIABLE* condIn(unsigned char* s) { return std::launder(reinterpret_cast<CONDITION_VARIABLE*>(s)); }

}  // namespace

Mutex::Mutex() { InitializeSRWLock(new (storage_) SRWLOCK); }
Mutex::~Mutex() = default;
void Mutex::lock() { AcquireSRWLockExclusive(lockIn(storage_)); }
void Mutex::unlock() { ReleaseSRWLockExclusive(lockIn(storage_)); }
bool Mutex::tryLock() { return TryAcquireSRWLockExclusive(lockIn(storage_)) != 0; }

CondVar::CondVar() { InitializeConditionVariable(new (storage_) CONDITION_VARIABLE); }
CondVar::~CondVar() = default;
void CondVar::wait(Mutex& m) { SleepConditionVariableSRW(condIn(storage_), lockIn(m.storage_), INFINITE, 0); }

bool CondVar::waitFor(Mutex& m, uint32_t ms) {
    return SleepConditionVariableSRW(condIn(storage_), lockIn(m.storage_), ms, 0) != 0;
}

void CondVar::notifyOne() { WakeConditionVariable(condIn(storage_)); }
void CondVar::notifyAll() { WakeAllConditionVariable(condIn(storage_)); }

}  // namespace platform
