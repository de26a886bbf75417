// Mutex and condition variable on pthreads; the condition waits on the
// monotonic clock so a change of the wall clock does not stretch a wait.
#include "platform/Mutex.h"

#include "platform/posix/Deadline.h"

#include <cerrno>
#include <ctime>
#include <new>

#include <pthread.h>

namespace platform {
namespace {

static_assert(sizeof(pthread_mutex_t) <= 64 && alignof(pthread_mutex_t) <= 16, "mutex storage");
static_assert(sizeof(pthread_cond_t) <= 64 && alignof(pthread_cond_t) <= 16, "condition storage");

pthread_mutex_t* mutexIn(unsigned char* s) { return std::launder(reinterpret_cast<pthread_mutex_t*>(s)); }
pthread_cond_t* condIn(unsigned char* s) { return std::launder(reinterpret_cast<pthread_cond_t*>(s)); }

}  // namespace

Mutex::Mutex() { pthread_mutex_init(new (storage_) pthread_mutex_t, nullptr); }
Mutex::~Mutex() { pthread_mutex_destroy(mutexIn(storage_)); }
void Mutex::lock() { pthread_mutex_lock(mutexIn(storage_)); }
void Mutex::unlock() { pthread_mutex_unlock(mutexIn(storage_)); }
bool Mutex::tryLock() { return pthread_mutex_trylock(mutexIn(storage_)) == 0; }

CondVar::CondVar() {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(new (storage_) pthread_cond_t, &attr);
    pthread_condattr_destroy(&attr);
}

CondVar::~CondVar() { pthread_cond_destroy(condIn(storage_)); }

void CondVar::wait(Mutex& m) { pthread_cond_wait(condIn(storage_), mutexIn(m.storage_)); }

bool CondVar::waitFor(Mutex& m, uint32_t ms) {
    const timespec deadline = deadlineAfter(CLOCK_MONOTONIC, ms);
    return pthread_cond_timedwait(condIn(storage_), mutexIn(m.storage_), &deadline) != ETIMEDOUT;
}

void CondVar::notifyOne() { pthread_cond_signal(condIn(storage_)); }
void CondVar::notifyAll() { pthread_cond_broadcast(condIn(storage_)); }

}  // namespace platform
