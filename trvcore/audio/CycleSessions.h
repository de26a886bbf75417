#pragma once
// The connected sessions that take part in the block cycle, each holding a
// reference. The audio thread walks them inside the cycle (under the
// controller's processLock); a session joins when it connects and leaves
// when it closes, both under the same lock.
//
// A session closed before it could join is refused: add() tests closed()
// and adds in one step under the lock, and close() sets closed before it
// calls remove(), so whichever order the two threads take, a closed session
// never stays in the cycle (nor keeps the reference this list would hold).
#include "platform/Lock.h"

class PartnerSession;

class CycleSessions {
public:
    static constexpr int kCapacity = 1000;

    explicit CycleSessions(platform::RecursiveLock& processLock) : lock_(processLock) {}
    // Drops every reference still held.
    ~CycleSessions();
    CycleSessions(const CycleSessions&) = delete;
    CycleSessions& operator=(const CycleSessions&) = delete;

    // True when `s` joined now; false when it is closed, already listed, or
    // the list is full.
    bool add(PartnerSession& s);
    // Takes `s` out and drops its reference; the caller holds one of its own.
    void remove(PartnerSession& s);
    // Takes the last session out with its reference (null when empty).
    PartnerSession* takeLast();

    // Under the lock (the audio thread's cycle holds it).
    int countLocked() const { return count_; }
    PartnerSession& atLocked(int i) const { return *items_[i]; }
    int count() const;

private:
    platform::RecursiveLock& lock_;
    PartnerSession* items_[kCapacity] = {};
    int count_ = 0;
};
