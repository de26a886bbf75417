#pragma once
// The plug-in instances of the process as the controller knows them: the
// listeners told of session events (at most 256, each once), the instances
// taking part in the block cycle (at most 256, each once) and the one that
// is the transport sync source.
//
// Locks: the listeners have their own lock, held across a notification so
// a listener cannot be removed (and destroyed) while it is being told.
// The cycle's instances and the sync source change under the block
// cycle's processLock (given at construction), so a cycle in progress sees
// either an instance or none for its whole length.
#include <atomic>

#include "platform/Lock.h"
#include "trvcore/session/SessionListener.h"

class ProcessInstance;

class InstanceRegistry {
public:
    static constexpr int kMaxListeners = 256;
    static constexpr int kMaxInstances = 256;

    explicit InstanceRegistry(platform::RecursiveLock& processLock) : processLock_(processLock) {}
    InstanceRegistry(const InstanceRegistry&) = delete;
    InstanceRegistry& operator=(const InstanceRegistry&) = delete;

    void addListener(SessionListener* l);
    void removeListener(SessionListener* l);
    void notify(PartnerSession* session, SessionEvent event);
    int listenerCount() const;

    // False when already registered or 256 are.
    bool registerInstance(ProcessInstance* p);
    // False when `p` was not registered.
    bool unregisterInstance(ProcessInstance* p);
    int registeredCount() const;
    // The same, for a caller that holds processLock (the cycle).
    int registeredCountLocked() const { return instanceCount_; }
    bool isRegistered(const ProcessInstance* p) const;
    // Tells the first registered instance that a file offered by `session`
    // waits for it; false when none is registered.
    bool tellFileWaiting(PartnerSession* session);

    // Under processLock: makes `p` the source; or, with null, ends the one
    // there is. clearSyncSourceIf lets go of `p` only if it is the source
    // and tells whether it was.
    void setSyncSourceLocked(ProcessInstance* p) { syncSource_.store(p, std::memory_order_relaxed); }
    bool clearSyncSourceIf(const ProcessInstance* p);
    ProcessInstance* syncSource() const { return syncSource_.load(std::memory_order_relaxed); }

private:
    platform::RecursiveLock& processLock_;
    mutable platform::RecursiveLock listenerLock_;
    SessionListener* listeners_[kMaxListeners] = {};
    int listenerCount_ = 0;
    ProcessInstance* instances_[kMaxInstances] = {};
    int instanceCount_ = 0;
    std::atomic<ProcessInstance*> syncSource_{nullptr};
};
