#include "trvcore/session/SessionController.h"

#include <cmath>
#include <cstring>

#include "platform/Clock.h"
#include "platform/Shell.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/trvnetwork/ControlMessages.h"
#include "trvcore/trvnetwork/OnlineUser.h"
#include "trvcore/trvnetwork/PeerLink.h"

namespace {
std::atomic<SessionController*> g_controller{nullptr};
std::atomic<SessionController::LinkSocketFactory> g_linkSocketFactory{nullptr};
std::atomic<SessionController::CameraFactory> g_cameraFactory{nullptr};
// Serialises creation and the last release, which hosts may run on
// different threads.
platform::RecursiveLock& lifeLock() {
    static platform::RecursiveLock lock;
    return lock;
}
}  // namespace

void SessionController::setLinkSocketFactory(LinkSocketFactory factory) {
    g_linkSocketFactory.store(factory, std::memory_order_relaxed);
}

void SessionController::setCameraFactory(CameraFactory factory) {
    g_cameraFactory.store(factory, std::memory_order_relaxed);
}

SessionController* SessionController::instance() { return g_controller.load(std::memory_order_acquire); }

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
    g_controller.store(this, std::memory_order_release);
    log_.reset();
    log_.postf("Welcome to Tarvolink version %d!", 1);
    postMessage("Enter user name and password to Login.");
    PeerLinkOptions linkOptions;
    if (LinkSocketFactory factory = g_linkSocketFactory.load(std::memory_order_relaxed))
        linkOptions.socket = factory();
    link_ = new PeerLink(this, linkOptions);
    service_.setLink(link_);
    directory_.setLink(link_);
    CameraFactory cameraFactory = g_cameraFactory.load(std::memory_order_relaxed);
    capture_.reset(new VideoCapture(this, cameraFactory ? cameraFactory() : platform::openCamera(nullptr)));
    start();
}

SessionController::~SessionController() {
    // A pass inside a web request ends it at once; then the thread, which
    // uses this object, is waited for however long the join bound allows
    // and, past it, until it has really gone.
    service_.cancel();
    stop();
    waitUntilFinished();
    // No camera frame reaches a session from here on.
    capture_.reset();
    logout();
    // Sessions made while logged out, if any, and the threads of all of them.
    directory_.closeAll();
    link_->stop();
    // The closed sessions' threads use this object (their host): wait until
    // each has ended. Their handlers' rounds are bounded.
    while (sessions_.parkedCount() > 0) {
        directory_.releaseEnded();
        if (sessions_.parkedCount() > 0) platform::sleepMilliseconds(PartnerDirectory::kSessionGoneCheckMs);
    }
    // Sessions still in the block cycle (their close never came).
    cycle_.dropSessions();
    settings_.save();
    service_.setLink(nullptr);
    directory_.setLink(nullptr);
    delete link_;
    link_ = nullptr;
    SessionController* self = this;
    g_controller.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

void SessionController::unregisterInstance(ProcessInstance* instance) {
    platform::ScopedLock guard(processLock_);
    instances_.unregisterInstance(instance);
    cycle_.forgetLeader(instance);
}

void SessionController::setSyncSource(ProcessInstance* instance, bool on) {
    platform::ScopedLock guard(processLock_);
    if (on) {
        settings_.setSyncOn(true);
        instances_.setSyncSourceLocked(instance);
    } else if (instances_.clearSyncSourceIf(instance)) {
        settings_.setSyncOn(false);
    }
}

void SessionController::setSampleRate(double rate) {
    if (!(rate > 0.0)) return;
    {
        platform::ScopedLock guard(processLock_);
        timeCode_.setSampleRate(rate);
    }
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

void SessionController::onCameraFrame(const uint8_t* picture, int width, int height, int stride) {
    if (!loggedIn()) return;
    SessionSnapshot all;
    sessions_.snapshot(all);
    for (int i = 0; i < all.count(); ++i) all[i]->offerCameraFrame(picture, width, height, stride);
}

void SessionController::onAudioRateChanged() {
    SessionSnapshot all;
    sessions_.snapshot(all);
    for (int i = 0; i < all.count(); ++i) all[i]->sendStream().restartIfBitrateChanged();
}

void SessionController::onFileRateChanged() {
    SessionSnapshot all;
    sessions_.snapshot(all);
    for (int i = 0; i < all.count(); ++i) all[i]->fileSender().repace();
}

void SessionController::restoreUserRates(double upstream, float share, int fileRate) {
    settings_.setUpstreamRate(upstream);
    settings_.setAudioQuality(share);
    settings_.setFileRate(fileRate);
}

void SessionController::onMonitorModeChanged() {
    SessionSnapshot all;
    sessions_.snapshot(all);
    const bool on = settings_.monitorMode();
    for (int i = 0; i < all.count(); ++i) all[i]->setMonitorMode(on);
}

bool SessionController::login() {
    service_.setLocalPort(kPeerUdpPort);
    if (!service_.loginOnce()) return false;
    service_.refreshOnlineList();
    const uint16_t port = service_.discoverPort();
    if (port == kPeerUdpPort) return true;
    // Behind a translating router: log in again so the service records the
    // port the partners can reach.
    logout();
    service_.setLocalPort(port);
    return service_.loginOnce();
}

void SessionController::logout() {
    // Logged out first: no new session starts from a packet while the
    // others close.
    if (!service_.beginLogout()) return;
    stopTimeCode();
    directory_.closeAll();
    service_.endLogout();
}

void SessionController::disconnect(PartnerSession* session) {
    stopTimeCode();
    directory_.disconnect(session);
}

void SessionController::stopTimeCode() {
    platform::ScopedLock guard(processLock_);
    timeCode_.stop();
}

void SessionController::locateTimeCode(int64_t position) {
    platform::ScopedLock guard(processLock_);
    timeCode_.locate(position);
}

bool SessionController::endTimedOutSession() {
    if (!service_.takeTimeout()) return false;
    logout();
    postMessage(kSessionTimeoutText);
    return true;
}

void SessionController::openWebPage(const char* url) {
    if (url && *url) platform::openUrl(url);
}

// ---- The sessions' host -------------------------------------------------------

void SessionController::sessionConnected(PartnerSession& session) {
    sessions_.forgetInvitation(&session);
    // A session closed meanwhile joins no cycle and is announced to nobody.
    if (cycle_.addSession(session)) instances_.notify(&session, SessionEvent::Connected);
}

void SessionController::sessionClosed(PartnerSession& session) {
    stopTimeCode();
    cycle_.removeSession(session);
    sessions_.retire(session);
}

void SessionController::onRemoteSetting(PartnerSession&, const RemoteSettingFields& f) {
    switch (static_cast<RemoteSettingType>(f.setting)) {
        case RemoteSettingType::AudioShare:
            if (f.value >= 0.0 && f.value <= 1.0) settings_.setAudioQuality(static_cast<float>(f.value));
            break;
        case RemoteSettingType::UpstreamRate:
            if (f.value == f.value) settings_.setUpstreamRate(f.value);  // clamped there; NaN refused
            break;
        case RemoteSettingType::Codec:
            // A codec change starts the encoders afresh (or stops sending).
            if (f.value >= 0.0 && f.value <= 255.0 && settings_.setCodec(static_cast<int>(f.value)))
                restartSendStreams();
            break;
        case RemoteSettingType::Locate: {
            // The partner's song position: the time code starts there, or
            // stops if it runs.
            platform::ScopedLock guard(processLock_);
            if (timeCode_.running()) timeCode_.stop();
            else if (f.value == f.value && f.value >= 0.0 && f.value < 9.0e15)
                timeCode_.locate(static_cast<int64_t>(f.value));
            break;
        }
        default: break;
    }
}

void SessionController::syncFieldsFrom(const VstTimeInfo& t, SyncInfoFields& f) {
    f = SyncInfoFields();
    // Fields the host did not mark valid may hold anything (NaN included).
    if (t.sampleRate > 0.0) f.sampleRate = t.sampleRate;
    if ((t.flags & kVstPpqPosValid) && std::isfinite(t.ppqPos)) f.ppqPosition = t.ppqPos;
    if (t.tempo > 0.0) f.tempo = t.tempo;
    if ((t.flags & kVstCyclePosValid) && std::isfinite(t.cycleStartPos) && std::isfinite(t.cycleEndPos)) {
        f.cycleStart = t.cycleStartPos;
        f.cycleEnd = t.cycleEndPos;
    }
    if (t.timeSigNumerator > 0) f.timeSignatureNumerator = t.timeSigNumerator;
    if (t.timeSigDenominator > 0) f.timeSignatureDenominator = t.timeSigDenominator;
    f.transportFlags = static_cast<uint32_t>(t.flags);
}

void SessionController::transportSnapshot(SyncInfoFields& f) {
    VstTimeInfo t;
    cycle_.copyTimeInfo(t);
    syncFieldsFrom(t, f);
    if (syncSource()) f.peerState |= kPeerStateSyncSource;
}

void SessionController::statusValues(StatusReportFields& f) {
    f.codec = statusField(settings_.codec());
    f.audioShare = statusField(settings_.audioQuality() * 100.0);
    f.upstreamRate = statusField(settings_.upstreamRate() * 10.0);
    f.audioBitrate = statusField(settings_.audioRate() * 10.0);
}

// ---- The loop -------------------------------------------------------------------

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
    directory_.releaseEnded();
    const unsigned due = schedule_.duties(pass, sessionCount() > 0);
    if (service_.timeoutDue(kTimeoutIdleGraceMs)) endTimedOutSession();
    service_.wantedRefresh();
    if (due & LoopSchedule::kKeepAlive) {
        if (service_.keepAlive(anyConnected())) instances_.notify(nullptr, SessionEvent::ServiceTimedOut);
        service_.refreshOnlineList();
    }
    if (due & LoopSchedule::kInvitationPoll) service_.invitationPoll();
    if (due & LoopSchedule::kHeartbeat) directory_.heartbeatPass();
}
