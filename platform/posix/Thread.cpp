// Threads on pthreads. The handle is a heap record with the pthread id. The
// entry and its argument travel in a separate start record, shared by the
// creator and the new thread and freed by whichever lets go last, so a
// detached thread never touches memory its owner may have released.
#include "platform/Thread.h"

#include "platform/posix/Deadline.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <new>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {
namespace {

struct ThreadHandle {
    pthread_t id;
};

struct StartRecord {
    Thread::Entry entry;
    void* arg;
    ThreadPriority priority;
    int baseNice;  // the creator's normal
    // Held by the creator until the handle is published, so the entry may
    // call isCurrent() or join() on its own Thread from its first line.
    pthread_mutex_t gate = PTHREAD_MUTEX_INITIALIZER;
    std::atomic<int> owners{2};
};

void release(StartRecord* r) {
    if (r->owners.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        pthread_mutex_destroy(&r->gate);
        delete r;
    }
}

constexpr int kNoNice = 1000;
constexpr int kPriorityStep = 5;  // nice steps between the kinds
thread_local int tlsBaseNice = kNoNice;
std::atomic<unsigned> gRefused{0};

int currentNice() {
    errno = 0;
    const int n = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    return errno == 0 ? n : 0;
}

int baseNice() {
    if (tlsBaseNice == kNoNice) tlsBaseNice = currentNice();
    return tlsBaseNice;
}

void* trampoline(void* p) {
    auto* r = static_cast<StartRecord*>(p);
    pthread_mutex_lock(&r->gate);
    pthread_mutex_unlock(&r->gate);
    const Thread::Entry entry = r->entry;
    void* const arg = r->arg;
    const ThreadPriority priority = r->priority;
    tlsBaseNice = r->baseNice;
    release(r);
    Thread::setCurrentPriority(priority);
    entry(arg);
    return nullptr;
}

}  // namespace

Thread::~Thread() {
    if (!handle_) return;
    auto* h = static_cast<ThreadHandle*>(handle_);
    pthread_detach(h->id);
    delete h;
    handle_ = nullptr;
}

bool Thread::start(Entry entry, void* arg, ThreadPriority priority) {
    if (handle_ || !entry) return false;
    auto* record = new (std::nothrow) StartRecord{entry, arg, priority, baseNice()};
    auto* h = new (std::nothrow) ThreadHandle{};
    if (!record || !h) {
        delete record;
        delete h;
        return false;
    }
    pthread_mutex_lock(&record->gate);
    handle_ = h;
    if (pthread_create(&h->id, nullptr, &trampoline, record) != 0) {
        handle_ = nullptr;
        pthread_mutex_unlock(&record->gate);
        pthread_mutex_destroy(&record->gate);
        delete record;
        delete h;
        return false;
    }
    pthread_mutex_unlock(&record->gate);
    release(record);
    return true;
}

bool Thread::join(uint32_t timeoutMs) {
    if (!handle_) return true;
    auto* h = static_cast<ThreadHandle*>(handle_);
    handle_ = nullptr;
    bool ended = false;
    if (pthread_equal(h->id, pthread_self())) {
        // A thread cannot wait for itself; it ends when its entry returns.
        pthread_detach(h->id);
    } else {
        // The deadline is on the wall clock, as pthread_timedjoin_np wants
        // (its monotonic sibling is unknown to the thread sanitizer).
        const timespec deadline = deadlineAfter(CLOCK_REALTIME, timeoutMs);
        int rc;
        do {
            rc = pthread_timedjoin_np(h->id, nullptr, &deadline);
        } while (rc == EINTR);
        if (rc == 0) ended = true;
        else pthread_detach(h->id);
    }
    delete h;
    return ended;
}

bool Thread::isCurrent() const {
    return handle_ && pthread_equal(static_cast<ThreadHandle*>(handle_)->id, pthread_self());
}

bool Thread::setCurrentPriority(ThreadPriority p) {
    sched_param param{};
    param.sched_priority = 0;
    if (p == ThreadPriority::Idle) {
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
    } else {
        // Leaving idle, or a nice value below the present one, needs a
        // privilege an ordinary user lacks: then the thread keeps what it had.
        if (sched_getscheduler(0) == SCHED_IDLE) pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
        const int step = p == ThreadPriority::BelowNormal ? kPriorityStep
                         : p == ThreadPriority::AboveNormal ? -kPriorityStep
                                                            : 0;
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), baseNice() + step);
    }
    const bool applied = currentPriority() == p;
    if (!applied) gRefused.fetch_add(1, std::memory_order_relaxed);
    return applied;
}

ThreadPriority Thread::currentPriority() {
    if (sched_getscheduler(0) == SCHED_IDLE) return ThreadPriority::Idle;
    const int nice = currentNice(), base = baseNice();
    if (nice < base) return ThreadPriority::AboveNormal;
    if (nice > base) return ThreadPriority::BelowNormal;
    return ThreadPriority::Normal;
}

unsigned Thread::refusedPriorities() { return gRefused.load(std::memory_order_relaxed); }

bool Thread::currentIsIdleScheduled() {
    // With pid 0 Linux reports the policy of the calling thread.
    return sched_getscheduler(0) == SCHED_IDLE;
}

}  // namespace platform
