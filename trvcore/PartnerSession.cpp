#include "trvcore/PartnerSession.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/Clock.h"
#include "trvcore/SessionHost.h"
#include "trvcore/trvnetwork/ControlMessages.h"
#include "trvcore/trvnetwork/LinkClock.h"
#include "trvcore/trvnetwork/PeerAddress.h"
#include "trvcore/trvnetwork/PeerLink.h"

namespace {

constexpr int kNormalPriority = 2;

std::atomic<int> gLiveSessions{0};

// Fixed-size record fields of the same size: copied whole, then terminated.
template <size_t N>
void copyField(char (&dst)[N], const char (&src)[N]) {
    std::memcpy(dst, src, N);
    dst[N - 1] = '\0';
}

constexpr uint8_t kindOf(MessageKind k) { return static_cast<uint8_t>(k); }

}  // namespace

PartnerSession* PartnerSession::create(SessionHost& host, PeerLink& link, const OnlineUser& partner) {
    PartnerSession* s = new (std::nothrow) PartnerSession(host, link, partner);
    if (!s) return nullptr;
    if (!s->connection_) {
        s->release();
        return nullptr;
    }
    s->start();
    return s;
}

PartnerSession::PartnerSession(SessionHost& host, PeerLink& link, const OnlineUser& partner)
    : WorkerThread(platform::ThreadPriority::Normal), host_(host), link_(link) {
    gLiveSessions.fetch_add(1, std::memory_order_relaxed);
    copyField(name_, partner.name);
    copyField(ip_, partner.ip);
    port_ = partner.port;
    connection_.reset(new (std::nothrow) PeerConnection(link));
    if (!connection_) return;
    sendStream_.reset(new (std::nothrow) AudioSendStream(host, *connection_));
    receiveStream_.reset(new (std::nothrow) AudioReceiveStream(host, *connection_));
    if (!sendStream_ || !receiveStream_) {
        connection_.reset();
        return;
    }
    connection_->setPartnerAddress(ip_, kPeerUdpPort);
    connection_->setListener(this);
}

PartnerSession::~PartnerSession() {
    if (connection_) connection_->setListener(nullptr);
    closed_.store(true, std::memory_order_relaxed);
    stop();
    // The controller drops its reference only once the thread has ended, so
    // this wait is a last guard, not a path taken in practice.
    waitUntilFinished();
    // The streams post to the connection: they go first.
    sendStream_.reset();
    receiveStream_.reset();
    gLiveSessions.fetch_sub(1, std::memory_order_relaxed);
}

int PartnerSession::liveCount() { return gLiveSessions.load(std::memory_order_relaxed); }

void PartnerSession::addRef() { refs_.fetch_add(1, std::memory_order_relaxed); }

void PartnerSession::release() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

void PartnerSession::setDeadline(uint32_t tickMs) {
    // 0 means "none"; a deadline that wraps onto 0 moves by a millisecond.
    deadline_.store(tickMs ? tickMs : 1, std::memory_order_relaxed);
}

bool PartnerSession::deadlinePassed(uint32_t nowMs) const {
    const uint32_t d = deadline();
    return d != 0 && static_cast<int32_t>(nowMs - d) >= 0;
}

PartnerSession::State PartnerSession::state() const {
    if (closed()) return State::Closed;
    if (connected()) return State::Connected;
    if (outgoing()) return acknowledged() && waitingForAccept() ? State::WaitingForAnswer : State::Inviting;
    if (awaitingAnswer()) return State::Asking;
    if (answered()) return State::Accepted;
    return acknowledged() ? State::Invited : State::Inviting;
}

bool PartnerSession::lastStatusReport(uint8_t (&out)[kStatusReportBytes]) const {
    platform::ScopedLock guard(reportLock_);
    if (!haveReport_) return false;
    std::memcpy(out, report_, sizeof report_);
    return true;
}

// ---- Handshake operations on the caller's thread ---------------------------

void PartnerSession::startInvitation(bool outgoing) {
    lock_.lock();
    if (inviting() || closed()) {
        lock_.unlock();
        return;
    }
    addRef();
    inviting_.store(true, std::memory_order_relaxed);
    awaitingAnswer_.store(false, std::memory_order_relaxed);
    acknowledged_.store(false, std::memory_order_relaxed);
    waitingForAccept_.store(false, std::memory_order_relaxed);
    answered_.store(false, std::memory_order_relaxed);
    connected_.store(false, std::memory_order_relaxed);
    outgoing_.store(outgoing, std::memory_order_relaxed);
    roundTrip_.store(0.0, std::memory_order_relaxed);
    maxRoundTrip_.store(0.0, std::memory_order_relaxed);
    deadline_.store(0, std::memory_order_relaxed);
    connection_->reset();
    if (outgoing) {
        postLine("Inviting %s...");
        setDeadline(platform::tickCount() + kDeadlineMs);
        inviteRounds();
    }
    inviting_.store(false, std::memory_order_relaxed);
    lock_.unlock();
    release();
}

// Under the session lock, held once; released around every sleep so that
// the session thread can handle Ringing meanwhile.
void PartnerSession::inviteRounds() {
    PeerAddress wellKnown = connection_->partnerAddress();
    peerAddressFromText(ip_, kPeerUdpPort, wellKnown);
    PeerAddress registered = wellKnown;
    registered.port = port_;
    const bool otherPort = port_ != 0 && port_ != kPeerUdpPort;
    auto settled = [this] { return acknowledged() || closed(); };
    for (int round = 0; round < kRounds && !settled(); ++round) {
        connection_->setPartnerAddress(wellKnown);
        send(InvitationStep::Invite);
        if (otherPort) {
            for (int step = 0; step < kRegisteredPortSteps && !settled(); ++step) sleepUnlocked(kRoundGapMs);
            if (!settled()) {
                connection_->setPartnerAddress(registered);
                send(InvitationStep::Invite);
            }
        }
        sleepUnlocked(kRoundGapMs);
    }
}

void PartnerSession::acceptInvitation(bool accept) {
    addRef();
    bool rejected = false;
    {
        platform::ScopedLock guard(lock_);
        // Only an incoming invitation that has not been answered yet.
        if (!closed() && !outgoing() && !connected() && !answered()) {
            awaitingAnswer_.store(false, std::memory_order_relaxed);
            deadline_.store(0, std::memory_order_relaxed);
            if (accept) {
                answered_.store(true, std::memory_order_relaxed);
                host_.disconnectOthers(*this);
                postLine("Accepted connection to %s");
                for (int i = 0; i < kRounds; ++i) {
                    send(InvitationStep::Accept);
                    platform::sleepMilliseconds(kAnswerGapMs);
                }
            } else {
                postLine("Rejected connection to %s");
                connected_.store(false, std::memory_order_relaxed);
                for (int i = 0; i < kRounds; ++i) send(InvitationStep::Reject);
                rejected = true;
            }
        }
    }
    if (rejected) close(false);
    release();
}

void PartnerSession::close(bool tellPartner) {
    {
        platform::ScopedLock guard(lock_);
        if (closed()) return;
        closed_.store(true, std::memory_order_relaxed);
        addRef();
        deadline_.store(0, std::memory_order_relaxed);
        wake();
        awaitingAnswer_.store(false, std::memory_order_relaxed);
        connected_.store(false, std::memory_order_relaxed);
        // The media streams stop before the connection closes.
        sendStream_->setActive(false);
        receiveStream_->setActive(false);
        // The connection sends the Bye rounds, spaced out: a partner that
        // lost them all would stay connected to nobody. Repeats find no
        // session there and are dropped.
        connection_->close(tellPartner);
        queue_.clear();
    }
    host_.sessionClosed(*this);
    release();
}

void PartnerSession::heartbeat() {
    if (!connected() || closed()) return;
    pingNotedAt_.store(link_.clock().nowNs(), std::memory_order_relaxed);
    PeerMessage ping;
    // The send time is written as the Ping leaves the queue.
    if (buildPing(ping, 0.0)) connection_->post(ping);
}

// ---- Network thread --------------------------------------------------------

void PartnerSession::setMediaSink(MessageKind kind, SessionMediaSink* sink) {
    const size_t k = static_cast<size_t>(kind);
    if (k < kSinkSlots) mediaSinks_[k].store(sink, std::memory_order_release);
}

void PartnerSession::onPeerMessage(PeerConnection&, const PeerMessage& message) {
    const uint8_t kind = message.kind();
    if (closed()) return;
    const MessageKindInfo* info = findMessageKind(kind);
    if (!info) return;  // a kind this program does not know
    // Audio is decoded on this thread, straight into the playout buffer.
    if (info->lane == MessageLane::Audio) {
        receiveStream_->onAudioFrame(message);
        return;
    }
    if (info->lane == MessageLane::Media) {
        SessionMediaSink* sink = kind < kSinkSlots ? mediaSinks_[kind].load(std::memory_order_acquire) : nullptr;
        if (sink) sink->onMediaMessage(*this, message);
        else droppedMedia_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (kind == kindOf(MessageKind::StatusReport)) measureRoundTrip(message);
    else if (kind == kindOf(MessageKind::Ping))
        pingArrivedAt_.store(link_.clock().nowNs(), std::memory_order_relaxed);
    if (queue_.push(message)) wake();
}

void PartnerSession::measureRoundTrip(const PeerMessage& message) {
    StatusReportFields f;
    if (!parseStatusReport(message, f)) return;
    const double seconds = (link_.clock().nowNs() - f.echoTime) * 1e-9;
    if (!(seconds > 0.0 && seconds < kMaxRoundTripSeconds)) return;
    roundTrip_.store(seconds, std::memory_order_relaxed);
    if (seconds > maxRoundTrip_.load(std::memory_order_relaxed))
        maxRoundTrip_.store(seconds, std::memory_order_relaxed);
}

// ---- Session thread --------------------------------------------------------

void PartnerSession::run() {
    setPriority(kNormalPriority);
    while (running() && !closed()) {
        wait();
        while (running() && !closed() && queue_.pop(current_)) handle(current_);
    }
}

void PartnerSession::handle(const PeerMessage& message) {
    switch (static_cast<MessageKind>(message.kind())) {
        case MessageKind::Invitation: {
            InvitationStep step;
            if (parseInvitation(message, step)) onInvitationStep(step);
            break;
        }
        case MessageKind::Bye: {
            uint8_t subKind = 0;
            if (parseBareMessage(message, MessageKind::Bye, subKind)) onBye();
            break;
        }
        case MessageKind::Ping: answerPing(message); break;
        case MessageKind::AudioRestart: {
            uint8_t subKind = 0;
            if (parseBareMessage(message, MessageKind::AudioRestart, subKind) && subKind == kAudioRestartEncoder &&
                connected())
                sendStream_->restart();
            break;
        }
        case MessageKind::RemoteSetting: {
            RemoteSettingFields f;
            if (parseRemoteSetting(message, f)) host_.onRemoteSetting(*this, f);
            break;
        }
        case MessageKind::StatusReport: keepStatusReport(message); break;
        default: break;  // transport kinds: their handlers, once they exist
    }
}

void PartnerSession::onInvitationStep(InvitationStep step) {
    switch (step) {
        case InvitationStep::Invite: onInvite(); break;
        case InvitationStep::Ringing: onRinging(); break;
        case InvitationStep::Ask: onAsk(); break;
        case InvitationStep::Accept: onAccept(); break;
        case InvitationStep::Reject: onReject(); break;
        case InvitationStep::Connected: onConnected(); break;
        case InvitationStep::Aborted: onAborted(); break;
    }
}

void PartnerSession::onInvite() {
    platform::ScopedLock guard(lock_);
    if (acknowledged()) return;
    acknowledged_.store(true, std::memory_order_relaxed);
    deadline_.store(0, std::memory_order_relaxed);
    if (outgoing()) return;
    for (int i = 0; i < kRounds; ++i) {
        // Back to where the Invite came from, and to the well-known port in
        // case the partner's router keeps that one open instead.
        PeerAddress seen = connection_->partnerAddress();
        sendTo(seen, InvitationStep::Ringing);
        seen.port = kPeerUdpPort;
        sendTo(seen, InvitationStep::Ringing);
        platform::sleepMilliseconds(kRoundGapMs);
    }
    postLine("Invitation from %s.");
}

void PartnerSession::onRinging() {
    platform::ScopedLock guard(lock_);
    if (waitingForAccept() || !outgoing()) return;
    waitingForAccept_.store(true, std::memory_order_relaxed);
    acknowledged_.store(true, std::memory_order_relaxed);
    awaitingAnswer_.store(false, std::memory_order_relaxed);
    deadline_.store(0, std::memory_order_relaxed);
    for (int i = 0; i < kRounds && !connected(); ++i) {
        if (i > 0) platform::sleepMilliseconds(kRoundGapMs);
        send(InvitationStep::Ask);
    }
    postLine("Waiting for %s to accept Invitation...");
}

void PartnerSession::onAsk() {
    platform::ScopedLock guard(lock_);
    // A late repeat after the user answered must not ask again, nor a
    // packet handled while another thread closed the session.
    if (closed() || awaitingAnswer() || outgoing() || answered() || connected()) return;
    awaitingAnswer_.store(true, std::memory_order_relaxed);
    connected_.store(false, std::memory_order_relaxed);
    host_.startChime();
}

void PartnerSession::onAccept() {
    {
        platform::ScopedLock guard(lock_);
        if (closed() || !outgoing() || connected()) return;
        connected_.store(true, std::memory_order_relaxed);
        acknowledged_.store(true, std::memory_order_relaxed);
        awaitingAnswer_.store(false, std::memory_order_relaxed);
        deadline_.store(0, std::memory_order_relaxed);
        startStreams();
        postLine("Connected to %s");
        for (int i = 0; i < kRounds; ++i) {
            send(InvitationStep::Connected);
            platform::sleepMilliseconds(kAnswerGapMs);
        }
    }
    if (!closed()) host_.sessionConnected(*this);
}

void PartnerSession::onReject() {
    {
        platform::ScopedLock guard(lock_);
        if (!outgoing() || connected() || closed()) return;
        awaitingAnswer_.store(false, std::memory_order_relaxed);
        postLine("Sorry, %s rejected your invitation.");
    }
    close(true);
}

void PartnerSession::onConnected() {
    {
        platform::ScopedLock guard(lock_);
        // Only after this user accepted: a partner cannot connect unasked.
        if (closed() || outgoing() || connected() || !answered()) return;
        connected_.store(true, std::memory_order_relaxed);
        awaitingAnswer_.store(false, std::memory_order_relaxed);
        startStreams();
        postLine("Connected to %s");
    }
    if (!closed()) host_.sessionConnected(*this);
}

void PartnerSession::startStreams() {
    receiveStream_->setTransportSync(!monitorMode());
    receiveStream_->setActive(true);
    sendStream_->setActive(true);
    // The inviter asks the partner to start its encoder afresh, so both
    // streams begin together.
    if (outgoing()) receiveStream_->requestRestart();
}

void PartnerSession::setMonitorMode(bool on) {
    monitorMode_.store(on, std::memory_order_relaxed);
    receiveStream_->setTransportSync(!on);
}

void PartnerSession::onAborted() {
    platform::ScopedLock guard(lock_);
    // Only the question this user is being asked can be withdrawn: it goes
    // back to invited. Anywhere else (connected above all) it means nothing.
    if (closed() || outgoing() || connected() || !awaitingAnswer()) return;
    awaitingAnswer_.store(false, std::memory_order_relaxed);
    postLine("%s has aborted an invitation.");
}

void PartnerSession::onBye() {
    {
        platform::ScopedLock guard(lock_);
        if (closed()) return;
        if (awaitingAnswer()) postLine("%s cancelled the invitation.");
        connected_.store(false, std::memory_order_relaxed);
    }
    close(true);
}

void PartnerSession::answerPing(const PeerMessage& ping) {
    double sendTime = 0.0;
    if (!parsePing(ping, sendTime)) return;
    StatusReportFields f;
    host_.statusValues(f);
    f.echoTime = sendTime;
    f.receiveErrors = statusField(link_.receiveErrors(true));
    f.sendErrors = statusField(link_.sendErrors(true));
    f.scale = kStatusReportScale;
    f.videoFrameRate = statusField(connection_->frameRate());
    for (size_t i = 0; i < kStatusRateCount; ++i)
        f.rates[i] = statusField(connection_->rate(static_cast<StatusRate>(i)) / 100.0);
    PeerMessage reply;
    if (buildStatusReport(reply, f)) connection_->post(reply);
}

void PartnerSession::keepStatusReport(const PeerMessage& report) {
    StatusReportFields f;
    if (!parseStatusReport(report, f)) return;
    platform::ScopedLock guard(reportLock_);
    std::memcpy(report_, report.data(), sizeof report_);
    haveReport_ = true;
}

// ---- Helpers ---------------------------------------------------------------

void PartnerSession::send(InvitationStep step) {
    PeerMessage m;
    if (buildInvitation(m, step)) connection_->post(m);
}

void PartnerSession::sendTo(const PeerAddress& to, InvitationStep step) {
    const PeerAddress was = connection_->partnerAddress();
    connection_->setPartnerAddress(to);
    send(step);
    connection_->setPartnerAddress(was);
}

void PartnerSession::postLine(const char* pattern) {
    char line[OnlineUser::kNameBytes + 64];
    std::snprintf(line, sizeof line, pattern, name_);
    host_.postMessage(line);
}

void PartnerSession::sleepUnlocked(unsigned ms) {
    lock_.unlock();
    platform::sleepMilliseconds(ms);
    lock_.lock();
}
