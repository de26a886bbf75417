#pragma once
// The controller's partner sessions: up to 1000 in creation order, the two
// invitation pointers (the session of the invitation this user sent, and of
// the one it received), and the closed sessions whose threads have not ended
// yet ("parked").
//
// Locks, both the controller's: listLock guards the list and the invitation
// pointers, closingLock the parked sessions. retire() takes closingLock and
// then listLock; nothing takes them the other way round. While holding them
// the list only reads sessions' flags and fixed fields; it never calls an
// operation that takes a session's lock, so callers can work on sessions
// outside these locks (snapshot, then act) and no lock order with the
// session locks arises.
//
// References: the list holds one on every listed session. retire() moves it
// to the parked set; takeEnded() hands it on once the session's thread has
// ended, so a session is never deleted while its own thread still runs. The
// invitation pointers hold none: retire() clears them with the list entry.
#include <atomic>
#include <cstdint>

#include "platform/Lock.h"
#include "trvcore/session/SessionRef.h"

class PeerConnection;
class SessionList;

// References to up to 1000 sessions, dropped when the snapshot goes. Lives
// on the stack (8 KB) so no path allocates for it.
class SessionSnapshot {
public:
    static constexpr int kCapacity = 1000;

    SessionSnapshot() = default;
    ~SessionSnapshot();
    SessionSnapshot(const SessionSnapshot&) = delete;
    SessionSnapshot& operator=(const SessionSnapshot&) = delete;

    int count() const { return count_; }
    PartnerSession* operator[](int i) const { return items_[i]; }
    // Takes a reference of its own; false when full.
    bool add(PartnerSession* s);
    // Takes over a reference the caller holds; false (still the caller's) when full.
    bool adopt(PartnerSession* s);

private:
    PartnerSession* items_[kCapacity];
    int count_ = 0;
};

class SessionList {
public:
    static constexpr int kMaxSessions = SessionSnapshot::kCapacity;

    SessionList(platform::RecursiveLock& listLock, platform::RecursiveLock& closingLock);
    // Drops the references still held; the owner has closed the sessions
    // and waited for their threads first.
    ~SessionList();
    SessionList(const SessionList&) = delete;
    SessionList& operator=(const SessionList&) = delete;

    // Appends and takes a reference; false when null or 1000 are listed.
    bool add(PartnerSession* s);
    // Takes a listed session off the list, clears the invitation pointers
    // naming it and parks it. False (nothing changed) if it was not listed.
    bool retire(PartnerSession& s);

    int count() const { return count_.load(std::memory_order_relaxed); }
    SessionRef at(int i) const;
    bool contains(const PartnerSession* s) const;
    // A reference to `s` if it is listed.
    SessionRef refOf(const PartnerSession* s) const;
    // The first session whose connection is aimed at that IPv4 address.
    SessionRef withIp(uint32_t ip) const;
    SessionRef ofConnection(const PeerConnection* c) const;
    // The first session whose user is being asked to accept.
    SessionRef firstAwaitingAnswer() const;
    // The first session other than `keep` that is not closed yet.
    SessionRef firstOpenOtherThan(const PartnerSession* keep) const;
    bool anyConnected() const;
    bool anyWithPartnerIp(const char* ipText) const;
    void snapshot(SessionSnapshot& out) const;
    // The partner names of the listed sessions, valid while the caller holds
    // listLock. Returns the count.
    int partnerNames(const char** out, int max) const;

    void setOutgoing(PartnerSession* s);
    void setIncoming(PartnerSession* s);
    SessionRef outgoing() const;
    SessionRef incoming() const;
    // Clears the invitation pointers that name `s`.
    void forgetInvitation(const PartnerSession* s);

    int parkedCount() const;
    bool isParked(const PartnerSession* s) const;
    // Hands over the parked sessions whose threads have ended, oldest first,
    // with the list's references.
    void takeEnded(SessionSnapshot& out);
    // Sessions that could not be parked (never expected: as many may be
    // parked as listed); their references are kept forever rather than
    // deleting a session whose thread may still run.
    int unparked() const { return unparked_.load(std::memory_order_relaxed); }

private:
    platform::RecursiveLock& listLock_;
    platform::RecursiveLock& closingLock_;
    PartnerSession* sessions_[kMaxSessions] = {};
    std::atomic<int> count_{0};
    PartnerSession* outgoing_ = nullptr;
    PartnerSession* incoming_ = nullptr;
    PartnerSession* parked_[kMaxSessions] = {};
    int parkedCount_ = 0;
    std::atomic<int> unparked_{0};
};
