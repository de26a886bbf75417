// Win32 threads. The thread is created suspended and resumed once the handle
// is published, so the entry may call isCurrent() or join() at once.
#include "platform/Thread.h"

#include <atomic>
#include <new>

#include <windows.h>

namespace platform {
namespace {

struct ThreadHandle {
    HANDLE handle;
    DWORD id;
};

struct StartRecord {
    Thread::Entry entry;
    void* arg;
    ThreadPriority priority;
};

DWORD WINAPI trampoline(LPVOID p) {
    StartRecord record = *static_cast<StartRecord*>(p);
    delete static_cast<StartRecord*>(p);
    Thread::setCurrentPriority(record.priority);
    record.entry(record.arg);
    return 1;
}

std::atomic<unsigned> gRefused{0};

int win32PriorityOf(ThreadPriority p) {
    switch (p) {
        case ThreadPriority::BelowNormal: return THREAD_PRIORITY_BELOW_NORMAL;
        case ThreadPriority::Normal: return THREAD_PRIORITY_NORMAL;
        case ThreadPriority::AboveNormal: return THREAD_PRIORITY_ABOVE_NORMAL;
        default: return THREAD_PRIORITY_IDLE;
    }
}

}  // namespace

Thread::~Thread() {
    if (!handle_) return;
    auto* h = static_cast<ThreadHandle*>(handle_);
    CloseHandle(h->handle);  // the thread runs on without its handle
    delete h;
    handle_ = nullptr;
}

bool Thread::start(Entry entry, void* arg, ThreadPriority priority) {
    if (handle_ || !entry) return false;
    auto* record = new (std::nothrow) StartRecord{entry, arg, priority};
    auto* h = new (std::nothrow) ThreadHandle{};
    if (!record || !h) {
        delete record;
        delete h;
        return false;
    }
    h->handle = CreateThread(nullptr, 0, &trampoline, record, CREATE_SUSPENDED, &h->id);
    if (!h->handle) {
        delete record;
        delete h;
        return false;
    }
    handle_ = h;
    ResumeThread(h->handle);
    return true;
}

bool Thread::join(uint32_t timeoutMs) {
    if (!handle_) return true;
    auto* h = static_cast<ThreadHandle*>(handle_);
    handle_ = nullptr;
    bool ended = false;
    if (h->id != GetCurrentThreadId()) {
        // INFINITE is 0xFFFFFFFF; a bounded join stays bounded.
        const DWORD ms = timeoutMs == INFINITE ? INFINITE - 1 : static_cast<DWORD>(timeoutMs);
        ended = WaitForSingleObject(h->handle, ms) == WAIT_OBJECT_0;
    }
    CloseHandle(h->handle);
    delete h;
    return ended;
}

bool Thread::isCurrent() const {
    return handle_ && static_cast<ThreadHandle*>(handle_)->id == GetCurrentThreadId();
}

bool Thread::setCurrentPriority(ThreadPriority p) {
    const bool applied = SetThreadPriority(GetCurrentThread(), win32PriorityOf(p)) && currentPriority() == p;
    if (!applied) gRefused.fetch_add(1, std::memory_order_relaxed);
    return applied;
}

ThreadPriority Thread::currentPriority() {
    const int level = GetThreadPriority(GetCurrentThread());
    if (level <= THREAD_PRIORITY_IDLE) return ThreadPriority::Idle;
    if (level < THREAD_PRIORITY_NORMAL) return ThreadPriority::BelowNormal;
    if (level > THREAD_PRIORITY_NORMAL) return ThreadPriority::AboveNormal;
    return ThreadPriority::Normal;
}

unsigned Thread::refusedPriorities() { return gRefused.load(std::memory_order_relaxed); }

bool Thread::currentIsIdleScheduled() {
    return GetThreadPriority(GetCurrentThread()) == THREAD_PRIORITY_IDLE;
}

}  // namespace platform
