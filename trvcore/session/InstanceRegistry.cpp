#include "trvcore/session/InstanceRegistry.h"

#include <cstring>

#include "trvcore/audio/ProcessInstance.h"

namespace {
template <class T>
bool removeFrom(T** items, int& count, const T* item) {
    for (int i = 0; i < count; ++i) {
        if (items[i] != item) continue;
        std::memmove(items + i, items + i + 1, sizeof(items[0]) * static_cast<size_t>(count - i - 1));
        items[--count] = nullptr;
        return true;
    }
    return false;
}
}  // namespace

void InstanceRegistry::addListener(SessionListener* l) {
    if (!l) return;
    platform::ScopedLock guard(listenerLock_);
    if (listenerCount_ >= kMaxListeners) return;
    for (int i = 0; i < listenerCount_; ++i)
        if (listeners_[i] == l) return;
    listeners_[listenerCount_++] = l;
}

void InstanceRegistry::removeListener(SessionListener* l) {
    platform::ScopedLock guard(listenerLock_);
    removeFrom(listeners_, listenerCount_, l);
}

void InstanceRegistry::notify(PartnerSession* session, SessionEvent event) {
    platform::ScopedLock guard(listenerLock_);
    for (int i = 0; i < listenerCount_; ++i) listeners_[i]->onSessionEvent(session, event);
}

int InstanceRegistry::listenerCount() const {
    platform::ScopedLock guard(listenerLock_);
    return listenerCount_;
}

bool InstanceRegistry::registerInstance(ProcessInstance* p) {
    if (!p) return false;
    platform::ScopedLock guard(processLock_);
    if (instanceCount_ >= kMaxInstances) return false;
    for (int i = 0; i < instanceCount_; ++i)
        if (instances_[i] == p) return false;
    instances_[instanceCount_++] = p;
    return true;
}

bool InstanceRegistry::unregisterInstance(ProcessInstance* p) {
    platform::ScopedLock guard(processLock_);
    return removeFrom(instances_, instanceCount_, p);
}

int InstanceRegistry::registeredCount() const {
    platform::ScopedLock guard(processLock_);
    return instanceCount_;
}

bool InstanceRegistry::isRegistered(const ProcessInstance* p) const {
    platform::ScopedLock guard(processLock_);
    for (int i = 0; i < instanceCount_; ++i)
        if (instances_[i] == p) return true;
    return false;
}

bool InstanceRegistry::clearSyncSourceIf(const ProcessInstance* p) {
    ProcessInstance* expected = const_cast<ProcessInstance*>(p);
    return p && syncSource_.compare_exchange_strong(expected, nullptr, std::memory_order_relaxed);
}

bool InstanceRegistry::tellFileWaiting(PartnerSession* session) {
    platform::ScopedLock guard(processLock_);
    if (instanceCount_ == 0) return false;
    instances_[0]->fileWaiting(session);
    return true;
}
