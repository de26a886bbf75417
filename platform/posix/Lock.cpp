// Recursive pthread mutex constructed inside the lock's opaque storage.
#include "platform/Lock.h"

#include <new>

#include <pthread.h>

namespace platform {
namespace {

static_assert(sizeof(pthread_mutex_t) <= 64, "mutex does not fit the lock storage");
static_assert(alignof(pthread_mutex_t) <= 16, "mutex alignment exceeds the lock storage");

pthread_mutex_t* mutexIn(unsigned char* storage) {
    return std::launder(reinterpret_cast<pthread_mutex_t*>(storage));
}

}  // namespace

RecursiveLock::RecursiveLock() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    auto* m = new (storage_) pthread_mutex_t;
    pthread_mutex_init(m, &attr);
    pthread_mutexattr_destroy(&attr);
}

RecursiveLock::~RecursiveLock() { pthread_mutex_destroy(mutexIn(storage_)); }

void RecursiveLock::lock() { pthread_mutex_lock(mutexIn(storage_)); }

void RecursiveLock::unlock() { pthread_mutex_unlock(mutexIn(storage_)); }

bool RecursiveLock::tryLock() { return pthread_mutex_trylock(mutexIn(storage_)) == 0; }

}  // namespace platform
