#include "platform/WorkerThread.h"

#include "platform/Check.h"
#include "platform/Clock.h"

WorkerThread::WorkerThread(platform::ThreadPriority startPriority) : startPriority_(startPriority) {}

WorkerThread::~WorkerThread() {
    // A subclass's run() has already lost its virtual table here; owners
    // stop their threads in their own destructors. This is the last guard.
    if (running()) stopThread();
}

bool WorkerThread::start() {
    if (running()) return true;
    // The event outlives stop() (see stopThread), so a restart reuses it
    // with any stale signal cleared.
    if (wakeEvent_) wakeEvent_->reset();
    else wakeEvent_.reset(new platform::AutoResetEvent());
    running_.store(true, std::memory_order_relaxed);
    finished_.store(false, std::memory_order_release);
    const bool created = thread_.start(&WorkerThread::entry, this, startPriority_);
    started_.store(created, std::memory_order_release);
    TRV_CHECK(created, "a worker thread could not be started");
    return true;
}

void WorkerThread::entry(void* self) {
    auto* t = static_cast<WorkerThread*>(self);
    t->run();
    t->onExit();
}

bool WorkerThread::stop() {
    if (!running()) return false;
    stopThread();
    return true;
}

void WorkerThread::stopThread() {
    running_.store(false, std::memory_order_relaxed);
    wake();
    if (thread_.isCurrent()) {
        // Stopping from inside run(): nothing to wait for; the handle is
        // released and the thread ends when run() returns.
        thread_.join(0);
    } else {
        thread_.join(kJoinTimeoutMs);
    }
    // The event stays allocated: a thread left running past the join may
    // still wait on it until it sees running() false.
}

void WorkerThread::waitUntilFinished() {
    while (started_.load(std::memory_order_acquire) && !isFinished()) platform::sleepMilliseconds(kFinishCheckMs);
}

void WorkerThread::wake() {
    if (wakeEvent_) wakeEvent_->set();
}

void WorkerThread::wait() {
    if (wakeEvent_) wakeEvent_->wait();
}

bool WorkerThread::waitFor(unsigned ms) {
    return wakeEvent_ ? wakeEvent_->wait(ms) : false;
}

void WorkerThread::sleep(unsigned ms) { platform::sleepMilliseconds(ms); }

void WorkerThread::setPriority(int kind) {
    TRV_CHECK(platform::Thread::setCurrentPriority(platform::priorityFromKind(kind)),
              "the system refused a worker thread's priority");
}

void WorkerThread::onExit() { finished_.store(true, std::memory_order_release); }
