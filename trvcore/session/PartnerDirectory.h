#pragma once
// This user's partner sessions as the controller keeps them: starting an
// invitation (invite, with the service's checks and announcement), the
// incoming invitations and every other packet from the peer link, the
// user's answer, ending sessions one at a time or all, heartbeats and
// time-outs, and handing on the sessions whose threads have ended.
//
// Threads: invite, acceptInvitation and disconnect on the editor's thread
// (they block for their rounds); onPeerPacket and flushAll on the network
// thread; heartbeatPass and releaseEnded on the controller's thread.
// See PartnerDirectory.cpp for the lock discipline.
#include <atomic>
#include <cstdint>

#include "platform/Lock.h"
#include "trvcore/session/SessionList.h"
#include "trvcore/trvnetwork/OnlineUser.h"

class InstanceRegistry;
class MessageLog;
class PeerLink;
class PeerMessage;
class ServiceSession;
class SessionHost;
class Settings;
struct PeerAddress;

class PartnerDirectory {
public:
    // invite(): the web announcement, and how recent a noted invitation
    // must be to refuse inviting.
    static constexpr int kAnnounceRounds = 7;
    static constexpr int kAnnounceGapMs = 250;
    static constexpr uint32_t kAnnounceForMs = 1750;
    static constexpr uint32_t kExpectingWindowMs = 2000;
    // Ending another session: how long to wait for it to go, and how often
    // to look.
    static constexpr int kSessionGoneWaitMs = 1000;
    static constexpr int kSessionGoneCheckMs = 50;

    // Sessions are made with `host` (the controller) and listed in
    // `sessions`, guarded by listLock.
    PartnerDirectory(SessionHost& host, ServiceSession& service, Settings& settings, InstanceRegistry& instances,
                     MessageLog& log, SessionList& sessions, platform::RecursiveLock& listLock);
    PartnerDirectory(const PartnerDirectory&) = delete;
    PartnerDirectory& operator=(const PartnerDirectory&) = delete;

    void setLink(PeerLink* link) { link_ = link; }

    // Starts an invitation to `user` on the calling thread (blocks for the
    // web announcement, about 1.75 s, and the Invite rounds). True when an
    // invitation was started or a session with that user already exists.
    bool invite(const OnlineUser& user);
    // Ends one session with "Disconnected from %s", telling the partner.
    void disconnect(PartnerSession* session);
    // The user's answer to the session pendingInvitation gave.
    void acceptInvitation(PartnerSession* session, bool accept);
    // Ends every session but `keep`, each waited for up to 1000 ms.
    void disconnectOthers(PartnerSession& keep);
    // Closes every session, each with "Disconnected from %s"; sessions that
    // arrive meanwhile are closed too.
    void closeAll();

    // From the peer link's network thread.
    void onPeerPacket(const PeerMessage& message, const PeerAddress& from);
    void flushAll();

    // The controller's loop.
    void heartbeatPass();
    // Hands on the closed sessions whose threads have ended: the listeners
    // are told (Released), then the list's references go.
    void releaseEnded();

private:
    // Disconnects `s` and waits up to 1000 ms for it to leave the list and
    // for its thread to end.
    void endSession(PartnerSession& s);
    void onIncomingInvitation(const PeerMessage& message, const PeerAddress& from);
    void routePacket(const PeerMessage& message, const PeerAddress& from);

    SessionHost& host_;
    ServiceSession& service_;
    Settings& settings_;
    InstanceRegistry& instances_;
    MessageLog& log_;
    SessionList& sessions_;
    platform::RecursiveLock& listLock_;
    PeerLink* link_ = nullptr;
    // Serialises the answers to invitations: an accept ends the others, so
    // two at once could end each other.
    platform::RecursiveLock answerLock_;
    // Counts the outgoing sessions made. With the network thread's note of
    // the last "ignoring" line, a burst of Invite rounds posts it once.
    std::atomic<uint32_t> outgoingSerial_{0};
    uint32_t ignoredSerial_ = 0;  // network thread only, like the one below
    uint32_t ignoredIp_ = 0;
};
