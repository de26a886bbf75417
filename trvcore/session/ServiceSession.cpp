#include "trvcore/session/ServiceSession.h"

#include <cstring>

#include "platform/Clock.h"
#include "trvcore/session/MessageLog.h"
#include "trvcore/session/SessionList.h"
#include "trvcore/settings/Settings.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "trvcore/trvnetwork/PeerProtocol.h"

namespace {
void copyText(char* dst, const char* src, size_t size) {
    if (!src) src = "";
    const size_t n = strnlen(src, size - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}
}  // namespace

ServiceSession::ServiceSession(MessageLog& log, Settings& settings, platform::RecursiveLock& listLock,
                               const SessionList& sessions)
    : log_(log), settings_(settings), listLock_(listLock), sessions_(sessions), localPort_(kPeerUdpPort),
      onlineList_(listLock) {
    client_.setReadDelay(kServiceReadDelayMs);
}

void ServiceSession::setUserName(const char* text) {
    platform::ScopedLock guard(textLock_);
    copyText(userName_, text, sizeof userName_);
}

void ServiceSession::setPassword(const char* text) {
    platform::ScopedLock guard(textLock_);
    copyText(password_, text, sizeof password_);
}

void ServiceSession::userName(char* out) const {
    platform::ScopedLock guard(textLock_);
    std::memcpy(out, userName_, sizeof userName_);
}

void ServiceSession::password(char* out) const {
    platform::ScopedLock guard(textLock_);
    std::memcpy(out, password_, sizeof password_);
}

bool ServiceSession::loginOnce() {
    if (loggedIn()) return true;
    char user[kTextBytes], pass[kTextBytes];
    userName(user);
    password(pass);
    if (!user[0] || !pass[0] || std::strcmp(user, "(no user)") == 0 || std::strcmp(pass, "(no passwd)") == 0)
        return false;
    ServiceClient client;
    client.setReadDelay(kTemporaryReadDelayMs);
    int flags = ServiceClient::kDefaultAccountFlags;
    if (!client.login(user, pass, localPort(), 0, flags)) {
        char text[ServiceClient::kReplyTextBytes];
        client.replyText(text, sizeof text);
        log_.post(text);
        return false;
    }
    settings_.setAccountFlags(flags);
    loggedIn_.store(true, std::memory_order_relaxed);
    refreshOnlineList();
    return true;
}

uint16_t ServiceSession::discoverPort() {
    // Ask the online users' plug-ins which port they see us at; a reply
    // rewrites localPort (through the link's listener).
    setLocalPort(kPeerUdpPort);
    for (int i = 0;; ++i) {
        const uint16_t port = localPort();
        if (port != 0 && port != kPeerUdpPort) break;
        OnlineUser user;
        if (!onlineList_.onlineUserAt(i, user)) break;
        sendPortQuery(user.ip);
        platform::sleepMilliseconds(kPortQueryGapMs);
    }
    platform::sleepMilliseconds(kPortReplyWaitMs);
    const uint16_t port = localPort();
    return port == 0 ? kPeerUdpPort : port;
}

bool ServiceSession::beginLogout() {
    if (!loggedIn_.exchange(false, std::memory_order_relaxed)) return false;
    awaitingInvitation_.store(false, std::memory_order_relaxed);
    return true;
}

void ServiceSession::endLogout() {
    ServiceClient client;
    client.setReadDelay(kTemporaryReadDelayMs);
    client.logout();
    onlineList_.clear();
}

void ServiceSession::postLine(void* self, const char* line) { static_cast<ServiceSession*>(self)->log_.post(line); }

void ServiceSession::refreshOnlineList() {
    if (!loggedIn()) return;
    OnlineList::Refresh refresh(onlineList_);
    if (!refresh.acquired()) return;
    const int result = client_.fetchOnlineList(refresh.records(), OnlineList::kMaxUsers);
    if (!loggedIn()) return;
    char user[kTextBytes];
    userName(user);
    // The partners' names are those of the listed sessions, so listLock is
    // held from taking them until the merge (which takes it again) is done.
    platform::ScopedLock guard(listLock_);
    const char* partners[SessionList::kMaxSessions];
    const int partnerCount = sessions_.partnerNames(partners, SessionList::kMaxSessions);
    onlineList_.merge(refresh.records(), result, user, partners, partnerCount, &ServiceSession::postLine, this);
}

bool ServiceSession::keepAlive(bool anyConnected) {
    if (!loggedIn()) return false;
    const InvitationPolicy policy = settings_.invitationPolicy();
    int flags = 0;
    if (anyConnected) flags |= kKeepAliveConnected;
    if (policy == kInviteAnyoneNotWhileConnected || policy == kInvitePartnersNotWhileConnected)
        flags |= kKeepAliveNotWhileConnected;
    if (policy == kInvitePartnersOnly || policy == kInvitePartnersNotWhileConnected) flags |= kKeepAlivePartnersOnly;
    bool timedOut = false;
    client_.keepAlive(flags, timedOut);
    if (timedOut) {
        const uint32_t now = platform::tickCount();
        timeoutNotedAt_.store(now ? now : 1, std::memory_order_relaxed);
    }
    return timedOut;
}

bool ServiceSession::timeoutDue(uint32_t graceMs) const {
    const uint32_t noted = timeoutNotedAt_.load(std::memory_order_relaxed);
    return noted != 0 && platform::tickCount() - noted >= graceMs;
}

void ServiceSession::wantedRefresh() {
    if (!refreshWanted_.load(std::memory_order_relaxed)) return;
    const uint32_t now = platform::tickCount();
    if (wantedRefreshAt_ != 0 && now - wantedRefreshAt_ < kWantedRefreshGapMs) return;
    refreshWanted_.store(false, std::memory_order_relaxed);
    wantedRefreshAt_ = now ? now : 1;
    refreshOnlineList();
}

void ServiceSession::invitationPoll() {
    if (!loggedIn()) return;
    char inviter[OnlineUser::kIpBytes] = {};
    if (!client_.checkInvitation(inviter)) {
        awaitingInvitation_.store(false, std::memory_order_relaxed);
        return;
    }
    if (!awaitingInvitation_.exchange(true, std::memory_order_relaxed)) {
        awaitingSince_.store(platform::tickCount(), std::memory_order_relaxed);
        log_.post("Awaiting invitation...");
    }
    // Open our side of the partner's path before its invitation arrives.
    for (int i = 0; i < kHolePunchRounds; ++i) {
        if (link_) link_->sendHolePunch(inviter);
        platform::sleepMilliseconds(kHolePunchGapMs);
    }
}

bool ServiceSession::sendPortQuery(const char* ip) { return link_ && link_->sendPortQuery(ip); }

bool ServiceSession::findOnlineUserByIp(const char* ip, OnlineUser& out) const {
    platform::ScopedLock guard(listLock_);
    for (int i = 0; onlineList_.onlineUserAt(i, out); ++i)
        if (std::strcmp(out.ip, ip) == 0) return true;
    return false;
}

const char* ServiceSession::newsText() {
    size_t size = 0;
    return reinterpret_cast<const char*>(newsText_.fetch(size));
}

bool ServiceSession::newsPicture(int i, NewsPicture& out) {
    if (i < 0 || i > 1) return false;
    return newsPictures_[i].picture(out);
}
