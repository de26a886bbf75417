// Auto-reset event on a Win32 event object.
#include "platform/Event.h"

#include <windows.h>

namespace platform {

namespace {
HANDLE h(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

AutoResetEvent::AutoResetEvent()
    : handle_(reinterpret_cast<intptr_t>(CreateEventA(nullptr, FALSE, FALSE, nullptr))) {}

AutoResetEvent::~AutoResetEvent() {
    if (handle_) CloseHandle(h(handle_));
}

bool AutoResetEvent::valid() const { return handle_ != 0; }

void AutoResetEvent::set() {
    if (handle_) SetEvent(h(handle_));
}

void AutoResetEvent::wait() {
    if (handle_) WaitForSingleObject(h(handle_), INFINITE);
}

bool AutoResetEvent::wait(uint32_t timeoutMs) {
    if (!handle_) return false;
    // INFINITE is 0xFFFFFFFF; a bounded wait stays bounded.
    DWORD ms = timeoutMs == INFINITE ? INFINITE - 1 : static_cast<DWORD>(timeoutMs);
    return WaitForSingleObject(h(handle_), ms) == WAIT_OBJECT_0;
}

void AutoResetEvent::reset() {
    if (handle_) ResetEvent(h(handle_));
}

}  // namespace platform
