#include "trvcore/SessionController.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/Clock.h"
#include "platform/Shell.h"
#include "trvcore/LinkPlugin.h"
#include "trvcore/PartnerSession.h"
#include "trvcore/SessionListener.h"
#include "trvcore/trvnetwork/OnlineUser.h"
#include "trvcore/trvnetwork/PeerLink.h"

namespace {
std::atomic<SessionController*> g_controller{nullptr};
std::atomic<SessionController::LinkSocketFactory> g_linkSocketFactory{nullptr};
// Serialises creation and the last release, which hosts may run on
// different threads.
platform::RecursiveLock& lifeLock() {
    static platform::RecursiveLock lock;
    return lock;
}

void copyText(char* dst, const char* src, size_t size) {
    if (!src) src = "";
    std::strncpy(dst, src, size - 1);
    dst[size - 1] = '\0';
}
}  // namespace

void SessionController::setLinkSocketFactory(LinkSocketFactory factory) {
    g_linkSocketFactory.store(factory, std::memory_order_relaxed);
}

SessionController* SessionController::instance() {
    return g_controller.load(std::memory_order_acquire);
}

SessionController* SessionController::acquire() {
    platform::ScopedLock guard(lifeLock());
    SessionController* c = instance();
    if (c) {
        c->instanceCount_.fetch_add(1, std::memory_order_relaxed);
        return c;
    }
    return new SessionController();  // publishes itself
}

void SessionController::release() {
    platform::ScopedLock guard(lifeLock());
    if (instanceCount_.fetch_sub(1, std::memory_order_relaxed) == 1) delete this;
}

SessionController::SessionController() : WorkerThread(platform::ThreadPriority::Idle), settings_(this) {
    settings_.load();
    service_.setReadDelay(kServiceReadDelayMs);
    std::memset(userName_, 0, sizeof userName_);
    std::memset(password_, 0, sizeof password_);
    g_controller.store(this, std::memory_order_release);
    log_.reset();
    postMessagef("Welcome to Tarvolink version %d!", 1);
    postMessage("Enter user name and password to Login.");
    PeerLinkOptions linkOptions;
    if (LinkSocketFactory factory = g_linkSocketFactory.load(std::memory_order_relaxed))
        linkOptions.socket = factory();
    link_ = new PeerLink(this, linkOptions);
    start();
}

SessionController::~SessionController() {
    // A pass inside a web request ends it at once; then the thread, which
    // uses this object, is waited for however long the join bound allows
    // and, past it, until it has really gone.
    service_.cancel();
    stop();
    waitUntilFinished();
    logout();
    // Sessions made while logged out, if any, and the threads of all of them.
    closeAllSessions();
    link_->stop();
    // The closed sessions' threads use this object (their host): wait until
    // each has ended. Their handlers' rounds are bounded.
    while (sessions_.parkedCount() > 0) {
        releaseEndedSessions();
        if (sessions_.parkedCount() > 0) platform::sleepMilliseconds(kSessionGoneCheckMs);
    }
    // Sessions still in the block cycle (their close never came).
    while (PartnerSession* s = cycleSessions_.takeLast()) s->release();
    settings_.save();
    delete link_;
    link_ = nullptr;
    SessionController* self = this;
    g_controller.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

void SessionController::postMessage(const char* text) { log_.post(text); }

void SessionController::postMessagef(const char* format, ...) {
    char line[MessageLog::kLineBytes * 4];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log_.post(line);
}

void SessionController::setUserName(const char* text) {
    platform::ScopedLock guard(textLock_);
    copyText(userName_, text, sizeof userName_);
}

void SessionController::setPassword(const char* text) {
    platform::ScopedLock guard(textLock_);
    copyText(password_, text, sizeof password_);
}

void SessionController::userName(char* out) const {
    platform::ScopedLock guard(textLock_);
    std::memcpy(out, userName_, sizeof userName_);
}

void SessionController::password(char* out) const {
    platform::ScopedLock guard(textLock_);
    std::memcpy(out, password_, sizeof password_);
}

void SessionController::addListener(SessionListener* l) {
    if (!l) return;
    platform::ScopedLock guard(listenerLock_);
    if (listenerCount_ >= kMaxListeners) return;
    for (int i = 0; i < listenerCount_; ++i)
        if (listeners_[i] == l) return;
    listeners_[listenerCount_++] = l;
}

void SessionController::removeListener(SessionListener* l) {
    platform::ScopedLock guard(listenerLock_);
    for (int i = 0; i < listenerCount_; ++i) {
        if (listeners_[i] != l) continue;
        std::memmove(listeners_ + i, listeners_ + i + 1,
                     sizeof(listeners_[0]) * static_cast<size_t>(listenerCount_ - i - 1));
        listeners_[--listenerCount_] = nullptr;
        return;
    }
}

void SessionController::notifyListeners(void* object, int kind) {
    // Held across the calls so a listener cannot be removed (and destroyed)
    // while it is being told.
    platform::ScopedLock guard(listenerLock_);
    for (int i = 0; i < listenerCount_; ++i) listeners_[i]->onSessionEvent(object, kind);
}

int SessionController::listenerCount() const {
    platform::ScopedLock guard(listenerLock_);
    return listenerCount_;
}

void SessionController::registerInstance(void* plugin) {
    if (!plugin) return;
    platform::ScopedLock guard(processLock_);
    if (instanceRegistered_ >= kMaxInstances) return;
    for (int i = 0; i < instanceRegistered_; ++i)
        if (instances_[i] == plugin) return;
    instances_[instanceRegistered_++] = plugin;
}

void SessionController::unregisterInstance(void* plugin) {
    platform::ScopedLock guard(processLock_);
    // An instance leaving in the middle of a host block leads no more: the
    // cycle's end hands its MIDI through the instance that closes it.
    if (cycleLeader_ == plugin) cycleLeader_ = nullptr;
    for (int i = 0; i < instanceRegistered_; ++i) {
        if (instances_[i] != plugin) continue;
        std::memmove(instances_ + i, instances_ + i + 1,
                     sizeof(instances_[0]) * static_cast<size_t>(instanceRegistered_ - i - 1));
        instances_[--instanceRegistered_] = nullptr;
        return;
    }
}

int SessionController::registeredCount() const {
    platform::ScopedLock guard(const_cast<platform::RecursiveLock&>(processLock_));
    return instanceRegistered_;
}

bool SessionController::isRegistered(void* plugin) const {
    platform::ScopedLock guard(const_cast<platform::RecursiveLock&>(processLock_));
    for (int i = 0; i < instanceRegistered_; ++i)
        if (instances_[i] == plugin) return true;
    return false;
}

void SessionController::setSampleRate(double rate) {
    if (!(rate > 0.0)) return;
    const double before = sampleRate_.exchange(rate, std::memory_order_relaxed);
    // Running encoders were opened for the old rate.
    if (before != rate) restartSendStreams();
}

void SessionController::setBlockSize(int frames) {
    if (frames <= 0) return;
    blockSize_.store(frames, std::memory_order_relaxed);
    SessionSnapshot all;
    sessions_.snapshot(all);
    for (int i = 0; i < all.count(); ++i) {
        all[i]->sendStream().setBlockSize(frames);
        all[i]->receiveStream().setBlockSize(frames);
    }
}

void SessionController::restartSendStreams() {
    SessionSnapshot all;
    sessions_.snapshot(all);
    for (int i = 0; i < all.count(); ++i) all[i]->sendStream().restart();
}

void SessionController::onAudioRateChanged() {
    SessionSnapshot all;
    sessions_.snapshot(all);
    for (int i = 0; i < all.count(); ++i) all[i]->sendStream().restartIfBitrateChanged();
}

void SessionController::setSyncSource(void* object, bool on) {
    // Inside the cycle's lock: the cycle's end emits time code through the
    // source, so an instance on its way out is never used after this.
    platform::ScopedLock guard(processLock_);
    if (on) {
        settings_.setSyncOn(true);
        syncSource_.store(object, std::memory_order_relaxed);
        return;
    }
    void* expected = object;
    if (object && syncSource_.compare_exchange_strong(expected, nullptr, std::memory_order_relaxed))
        settings_.setSyncOn(false);
}

// ---- Block cycle (host audio thread) ------------------------------------------

void SessionController::beginProcess(LinkPlugin* plugin, int frames) {
    processLock_.lock();
    VstTimeInfo* t = plugin ? plugin->getTimeInfo(kTimeInfoFilter) : nullptr;
    if (!t) {
        if (!noTimeInfoPosted_) {
            noTimeInfoPosted_ = true;
            postMessage(kNoTimeInfoText);
        }
        currentTimeInfo_ = &defaultTimeInfo_;
        return;
    }
    blockEndPosition_ = t->samplePos + frames;
    if (cycleRemaining_ != 0) return;  // another instance opened this cycle
    cycleLeader_ = plugin;
    cycleRemaining_ = instanceRegistered_;
    cycleFrames_ = frames;
    currentTimeInfo_ = t;
    cycleTime_.samplePosition.store(t->samplePos, std::memory_order_relaxed);
    cycleTime_.sampleRate.store(t->sampleRate, std::memory_order_relaxed);
    cycleTime_.flags.store(t->flags, std::memory_order_relaxed);
    for (int i = 0; i < cycleSessions_.countLocked(); ++i) {
        cycleSessions_.atLocked(i).receiveStream().beginBlock(frames);
        cycleSessions_.atLocked(i).sendStream().beginBlock(frames);
    }
}

void SessionController::endProcess(LinkPlugin* /*plugin*/) {
    // Never below 0: a call without time info opened nothing to count.
    if (cycleRemaining_ > 0) --cycleRemaining_;
    if (cycleRemaining_ > 0 || cycleFrames_ <= 0) {
        processLock_.unlock();
        return;
    }
    cycleRemaining_ = 0;
    for (int i = 0; i < cycleSessions_.countLocked(); ++i) {
        cycleSessions_.atLocked(i).receiveStream().endBlock();
        cycleSessions_.atLocked(i).sendStream().endBlock();
    }
    cycleLeader_ = nullptr;
    processLock_.unlock();
}

AlertChime* SessionController::alertChime() {
    return chime_.playing() && cycleRemaining_ == instanceRegistered_ ? &chime_ : nullptr;
}

LinkPlugin* SessionController::cycleLeader() const {
    platform::ScopedLock guard(const_cast<platform::RecursiveLock&>(processLock_));
    return cycleLeader_;
}

int SessionController::cycleSessionCount() const { return cycleSessions_.count(); }

bool SessionController::login() {
    localPort_.store(kDefaultPort, std::memory_order_relaxed);
    if (!loginOnce()) return false;
    refreshOnlineList();
    // Ask the online users' plug-ins which port they see us at; a reply
    // rewrites localPort.
    localPort_.store(kDefaultPort, std::memory_order_relaxed);
    for (int i = 0;; ++i) {
        const uint16_t port = localPort();
        if (port != 0 && port != kDefaultPort) break;
        OnlineUser user;
        if (!onlineList_.onlineUserAt(i, user)) break;
        sendPortQuery(user.ip);
        platform::sleepMilliseconds(kPortQueryGapMs);
    }
    platform::sleepMilliseconds(kPortReplyWaitMs);
    if (localPort() == 0) localPort_.store(kDefaultPort, std::memory_order_relaxed);
    if (localPort() == kDefaultPort) return true;
    // Behind a translating router: log in again so the service records the
    // port the partners can reach.
    const uint16_t discovered = localPort();
    logout();
    localPort_.store(discovered, std::memory_order_relaxed);
    return loginOnce();
}

bool SessionController::loginOnce() {
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
        postMessage(text);
        return false;
    }
    settings_.setAccountFlags(flags);
    loggedIn_.store(true, std::memory_order_relaxed);
    refreshOnlineList();
    return true;
}

void SessionController::logout() {
    if (!loggedIn()) return;
    // Cleared first: no new session starts from a packet while the others close.
    loggedIn_.store(false, std::memory_order_relaxed);
    awaitingInvitation_.store(false, std::memory_order_relaxed);
    closeAllSessions();
    ServiceClient client;
    client.setReadDelay(kTemporaryReadDelayMs);
    client.logout();
    onlineList_.clear();
}

void SessionController::postLine(void* self, const char* line) {
    static_cast<SessionController*>(self)->postMessage(line);
}

void SessionController::refreshOnlineList() {
    if (!loggedIn()) return;
    OnlineList::Refresh refresh(onlineList_);
    if (!refresh.acquired()) return;
    const int result = service_.fetchOnlineList(refresh.records(), OnlineList::kMaxUsers);
    if (!loggedIn()) return;
    char user[kTextBytes];
    userName(user);
    // The partners' names are those of the listed sessions, so listLock is
    // held from taking them until the merge (which takes it again) is done.
    platform::ScopedLock guard(listLock_);
    const char* partners[SessionList::kMaxSessions];
    const int partnerCount = sessions_.partnerNames(partners, SessionList::kMaxSessions);
    onlineList_.merge(refresh.records(), result, user, partners, partnerCount, &SessionController::postLine,
                      this);
}

const char* SessionController::newsText() {
    size_t size = 0;
    return reinterpret_cast<const char*>(newsText_.fetch(size));
}

bool SessionController::newsPicture(int i, NewsPicture& out) {
    if (i < 0 || i > 1) return false;
    return newsPictures_[i].picture(out);
}

void SessionController::openWebPage(const char* url) {
    if (url && *url) platform::openUrl(url);
}

void SessionController::run() {
    setPriority(0);
    uint64_t pass = 0;
    while (running()) {
        const uint32_t t0 = platform::tickCount();
        runPass(++pass);
        const uint32_t spent = platform::tickCount() - t0;
        // Wake-ups from stop() end the wait early.
        if (spent < static_cast<uint32_t>(kPassMs) && running()) waitFor(kPassMs - spent);
    }
}

void SessionController::runPass(uint64_t pass) {
    passes_.store(pass, std::memory_order_relaxed);
    releaseEndedSessions();
    const unsigned due = schedule_.duties(pass, sessionCount() > 0);
    timeoutPass();
    wantedRefreshPass();
    if (due & LoopSchedule::kKeepAlive) keepAlivePass();
    if (due & LoopSchedule::kInvitationPoll) invitationPollPass();
    if (due & LoopSchedule::kHeartbeat) heartbeatPass();
}

void SessionController::keepAlivePass() {
    if (!loggedIn()) return;
    const int policy = settings_.invitationPolicy();
    int flags = 0;
    if (anyConnected()) flags |= 1;
    if (policy == 2 || policy == 3) flags |= 4;
    if (policy == 1 || policy == 3) flags |= 8;
    bool timedOut = false;
    service_.keepAlive(flags, timedOut);
    if (timedOut) {
        const uint32_t now = platform::tickCount();
        timeoutNotedAt_.store(now ? now : 1, std::memory_order_relaxed);
        notifyListeners(nullptr, SessionListener::kServiceTimedOut);
    }
    if (loggedIn()) refreshOnlineList();
}

bool SessionController::endTimedOutSession() {
    if (timeoutNotedAt_.exchange(0, std::memory_order_relaxed) == 0) return false;
    logout();
    postMessage(kSessionTimeoutText);
    return true;
}

void SessionController::timeoutPass() {
    const uint32_t noted = timeoutNotedAt_.load(std::memory_order_relaxed);
    if (noted != 0 && platform::tickCount() - noted >= kTimeoutIdleGraceMs) endTimedOutSession();
}

void SessionController::wantedRefreshPass() {
    if (!onlineRefreshWanted_.load(std::memory_order_relaxed)) return;
    const uint32_t now = platform::tickCount();
    if (wantedRefreshAt_ != 0 && now - wantedRefreshAt_ < kInviteRefreshGapMs) return;
    onlineRefreshWanted_.store(false, std::memory_order_relaxed);
    wantedRefreshAt_ = now ? now : 1;
    refreshOnlineList();
}

void SessionController::invitationPollPass() {
    if (!loggedIn()) return;
    char inviter[OnlineUser::kIpBytes] = {};
    if (!service_.checkInvitation(inviter)) {
        awaitingInvitation_.store(false, std::memory_order_relaxed);
        return;
    }
    if (!awaitingInvitation_.exchange(true, std::memory_order_relaxed)) {
        awaitingSince_.store(platform::tickCount(), std::memory_order_relaxed);
        postMessage("Awaiting invitation...");
    }
    // Open our side of the partner's path before its invitation arrives.
    for (int i = 0; i < kHolePunchRounds; ++i) {
        sendHolePunch(inviter);
        platform::sleepMilliseconds(kHolePunchGapMs);
    }
}

bool SessionController::sendPortQuery(const char* ip) { return link_ && link_->sendPortQuery(ip); }

bool SessionController::sendHolePunch(const char* ip) { return link_ && link_->sendHolePunch(ip); }
