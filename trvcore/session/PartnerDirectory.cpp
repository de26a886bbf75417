// The controller's partner sessions: starting invitations, the packets from
// the peer link, time-outs and heartbeats, and ending sessions.
//
// Lock discipline. listLock and closingLock are only held to look at the
// session list (SessionList never calls into a session's locked operations
// under them). Everything that takes a session's lock (close, heartbeat,
// startInvitation, flush) works on a snapshot taken under listLock and
// released before, or on a session not listed yet. So logout (which spans
// all sessions) and accepting an invitation (which ends the others) never
// wait on each other: no session lock is ever taken under listLock or
// closingLock.
#include "trvcore/session/PartnerDirectory.h"

#include <cstring>
#include <string>

#include "platform/Clock.h"
#include "platform/Socket.h"
#include "trvcore/session/InstanceRegistry.h"
#include "trvcore/session/MessageLog.h"
#include "trvcore/session/ServiceSession.h"
#include "trvcore/settings/Settings.h"
#include "trvcore/trvnetwork/ControlMessages.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "trvcore/trvnetwork/PeerMessage.h"

namespace {
bool sameIp(const PartnerSession& s, const char* ip) { return std::strcmp(s.partnerIp(), ip) == 0; }
}  // namespace

PartnerDirectory::PartnerDirectory(SessionHost& host, ServiceSession& service, Settings& settings,
                                   InstanceRegistry& instances, MessageLog& log, SessionList& sessions,
                                   platform::RecursiveLock& listLock)
    : host_(host), service_(service), settings_(settings), instances_(instances), log_(log), sessions_(sessions),
      listLock_(listLock) {}

bool PartnerDirectory::invite(const OnlineUser& user) {
    if (!service_.loggedIn() || !link_) return false;
    for (int attempt = 0;; ++attempt) {
        const uint32_t t0 = platform::tickCount();
        const bool pending = service_.invitationPending();
        const uint32_t since = service_.awaitingSince();
        if (pending || (since != 0 && since - t0 < kExpectingWindowMs)) {
            log_.postf("Can't invite %s, expecting an invitation.", user.name);
            return false;
        }
        if (SessionRef incoming = sessions_.incoming()) {
            log_.postf("Can't invite %s because %s attempts to invite you.", user.name,
                         incoming->partnerName());
            return false;
        }
        SessionRef first = sessions_.at(0);
        if (!first) break;
        if (sameIp(*first, user.ip)) return true;
        // Every session is ended before the new invitation; a session that
        // will not go is not waited for again and again.
        if (attempt >= SessionList::kMaxSessions) return false;
        endSession(*first);
    }

    // Tell the service, so the partner's poll learns of it and opens its
    // side of the path towards us.
    const uint32_t announced = platform::tickCount();
    for (int i = 0; i < kAnnounceRounds; ++i) {
        service_.announceInvitation(user.ip);
        platform::sleepMilliseconds(kAnnounceGapMs);
        if (platform::tickCount() - announced > kAnnounceForMs) break;
    }

    SessionRef s = SessionRef::adopt(PartnerSession::create(host_, *link_, user));
    if (!s) return false;
    enum { Listed, SameUser, InvitedMeanwhile, Full, LoggedOut } outcome;
    char inviter[OnlineUser::kNameBytes] = {};
    {
        // The announcement took a while: the user may have logged out (the
        // logout closes what it finds listed after clearing loggedIn, so a
        // session added here under listLock is either seen by it or refused
        // here), or an invitation may have come in.
        platform::ScopedLock guard(listLock_);
        SessionRef incoming = sessions_.incoming();
        if (!service_.loggedIn()) {
            outcome = LoggedOut;
        } else if (incoming) {
            std::memcpy(inviter, incoming->partnerName(), sizeof inviter);
            outcome = InvitedMeanwhile;
        } else if (sessions_.anyWithPartnerIp(user.ip)) {
            outcome = SameUser;
        } else if (!sessions_.add(s.get())) {
            outcome = Full;
        } else {
            sessions_.setOutgoing(s.get());
            outgoingSerial_.fetch_add(1, std::memory_order_relaxed);
            outcome = Listed;
        }
    }
    if (outcome != Listed) {
        s->close(false);  // never listed: only its thread ends
        if (outcome == InvitedMeanwhile)
            log_.postf("Can't invite %s because %s attempts to invite you.", user.name, inviter);
        return outcome == SameUser;
    }
    s->setMonitorMode(settings_.monitorMode());
    s->startInvitation(true);
    return true;
}

void PartnerDirectory::disconnect(PartnerSession* session) {
    if (!session) return;
    SessionRef hold(session);
    // The time code generator stops here once it exists.
    sessions_.forgetInvitation(session);
    if (session->closed()) return;
    log_.postf("Disconnected from %s", session->partnerName());
    session->close(true);
}

void PartnerDirectory::acceptInvitation(PartnerSession* session, bool accept) {
    if (!session || !sessions_.contains(session)) return;
    SessionRef hold(session);
    platform::ScopedLock guard(answerLock_);
    session->acceptInvitation(accept);
}

void PartnerDirectory::endSession(PartnerSession& s) {
    SessionRef hold(&s);
    disconnect(&s);
    for (int waited = 0; waited < kSessionGoneWaitMs; waited += kSessionGoneCheckMs) {
        if (!sessions_.contains(&s) && s.threadEnded()) return;
        platform::sleepMilliseconds(kSessionGoneCheckMs);
    }
}

void PartnerDirectory::disconnectOthers(PartnerSession& keep) {
    // Bounded: each round ends one session or finds none left open.
    for (int round = 0; round <= SessionList::kMaxSessions; ++round) {
        SessionRef other = sessions_.firstOpenOtherThan(&keep);
        if (!other) return;
        endSession(*other);
    }
}

void PartnerDirectory::closeAll() {
    // Sessions an Invite creates meanwhile are taken in the next round.
    for (int round = 0; round < 4 && sessions_.count() > 0; ++round) {
        SessionSnapshot all;
        sessions_.snapshot(all);
        for (int i = 0; i < all.count(); ++i) disconnect(all[i]);
    }
}

void PartnerDirectory::releaseEnded() {
    SessionSnapshot ended;
    sessions_.takeEnded(ended);
    // The snapshot holds the list's references; they go when it does,
    // after the listeners have dropped theirs.
    for (int i = 0; i < ended.count(); ++i) instances_.notify(ended[i], SessionEvent::Released);
}

void PartnerDirectory::heartbeatPass() {
    if (!service_.loggedIn()) return;
    const uint32_t now = platform::tickCount();
    SessionSnapshot all;
    sessions_.snapshot(all);
    for (int i = 0; i < all.count() && service_.loggedIn(); ++i) {
        PartnerSession* s = all[i];
        if (s->deadlinePassed(now)) {
            log_.postf("Sorry, no connection to %s", s->partnerName());
            s->close(true);
            return;
        }
        s->heartbeat();
    }
}

// ---- From the peer link's network thread -----------------------------------

void PartnerDirectory::onPeerPacket(const PeerMessage& message, const PeerAddress& from) {
    if (!service_.loggedIn()) return;
    InvitationStep step;
    if (message.kind() == static_cast<uint8_t>(MessageKind::Invitation) && parseInvitation(message, step) &&
        step == InvitationStep::Invite) {
        onIncomingInvitation(message, from);
        return;
    }
    routePacket(message, from);
}

void PartnerDirectory::routePacket(const PeerMessage& message, const PeerAddress& from) {
    SessionRef s = sessions_.withIp(from.ip);
    if (!s) return;
    // Replies follow the partner's address as seen, through its router.
    s->connection().setPartnerAddress(from);
    s->connection().onMessage(message);
}

void PartnerDirectory::onIncomingInvitation(const PeerMessage& message, const PeerAddress& from) {
    // Repeats of the Invite rounds, once their session exists, stop here
    // (an Invite from the user this one is inviting goes on, to be told).
    {
        SessionRef existing = sessions_.withIp(from.ip);
        if (existing && existing.get() != sessions_.outgoing().get()) return;
    }
    const std::string ip = platform::formatIpv4(from.ip);
    OnlineUser user;
    if (!service_.findOnlineUserByIp(ip.c_str(), user)) {
        // The inviter may have come online since the last refresh. A refresh
        // is a web request: the controller's thread makes it, never this one
        // (every partner's audio comes in here), and the next Invite round
        // finds the user.
        service_.requestRefresh();
        return;
    }

    char inviting[OnlineUser::kNameBytes] = {};
    uint32_t serial = 0;
    // Decided under listLock, the session made outside it (no allocation
    // and no session lock under listLock), then decided again as it is added.
    auto mayCreate = [&] {
        if (SessionRef outgoing = sessions_.outgoing()) {
            std::memcpy(inviting, outgoing->partnerName(), sizeof inviting);
            serial = outgoingSerial_.load(std::memory_order_relaxed);
            return false;
        }
        return service_.loggedIn() && !sessions_.withIp(from.ip) && sessions_.count() < SessionList::kMaxSessions;
    };
    SessionRef created;
    bool go;
    {
        platform::ScopedLock guard(listLock_);
        go = mayCreate();
    }
    if (go) {
        created = SessionRef::adopt(PartnerSession::create(host_, *link_, user));
        if (!created) return;
        created->connection().setPartnerAddress(from);
        created->startInvitation(false);
        created->setDeadline(platform::tickCount() + PartnerSession::kDeadlineMs);
        created->setMonitorMode(settings_.monitorMode());
        platform::ScopedLock guard(listLock_);
        if (mayCreate() && sessions_.add(created.get())) sessions_.setIncoming(created.get());
        else go = false;
    }
    if (!go && created) {
        created->close(false);  // never listed: only its thread ends
        created.reset();
    }
    if (inviting[0]) {
        if (serial == ignoredSerial_ && from.ip == ignoredIp_) return;
        ignoredSerial_ = serial;
        ignoredIp_ = from.ip;
        log_.postf("Inviting %s, ignoring invitiation from %s", inviting, user.name);
        return;
    }
    if (!created) return;
    created->connection().onMessage(message);
}

// The socket can send again: every partner connection flushes.
void PartnerDirectory::flushAll() {
    SessionSnapshot all;
    sessions_.snapshot(all);
    for (int i = 0; i < all.count(); ++i) all[i]->connection().flush();
}
