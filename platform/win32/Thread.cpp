// Win32 threads. The thread is created suspended and resumed once the handle
// is published, so the entry may call isCurrent() or join() at once.
#include "platform/Thread.h"

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
};

DWORD WINAPI trampoline(LPVOID p) {
    StartRecord record = *static_cast<StartRecord*>(p);
    delete static_cast<StartRecord*>(p);
    record.entry(record.arg);
    return 1;
}

thread_local ThreadPriority tlsPriority = ThreadPriority::Normal;

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

bool Thread::start(Entry entry, void* arg) {
    if (handle_ || !entry) return false;
    auto* record = new (std::nothrow) StartRecord{entry, arg};
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

void Thread::setCurrentPriority(ThreadPriority p) {
    SetThreadPriority(GetCurrentThread(), win32PriorityOf(p));
    tlsPriority = p;
}

ThreadPriority Thread::currentPriority() { return tlsPriority; }

bool Thread::currentIsIdleScheduled() {
    return GetThreadPriority(GetCurrentThread()) == THREAD_PRIORITY_IDLE;
}

}  // namespace platform
