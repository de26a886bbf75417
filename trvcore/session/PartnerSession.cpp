#include "trvcore/session/PartnerSession.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/Clock.h"
#include "trvcore/session/SessionHost.h"
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
    midiSender_.reset(new (std::nothrow) MidiSender(host, *connection_));
    midiReceiver_.reset(new (std::nothrow) MidiReceiver());
    videoSender_.reset(new (std::nothrow) VideoSender(host.cycleTime(), *connection_));
    videoReceiver_.reset(new (std::nothrow) VideoReceiver(host));
    fileSender_.reset(new (std::nothrow) FileSender(*connection_, host.filePacing()));
    fileReceiver_.reset(new (std::nothrow) FileReceiver(*connection_));
    if (!sendStream_ || !receiveStream_ || !midiSender_ || !midiReceiver_ || !videoSender_ || !videoReceiver_ ||
        !fileSender_ || !fileReceiver_) {
        connection_.reset();
        return;
    }
    connection_->setPartnerAddress(ip_, kPeerUdpPort);
    setMediaSink(MessageKind::MidiBlock, midiReceiver_.get());
    setMediaSink(MessageKind::VideoFrame, videoReceiver_.get());
    setMediaSink(MessageKind::FileChunk, fileReceiver_.get());
    setMediaSink(MessageKind::FileControl, fileSender_.get());
    fileSender_->setListener(this);
    fileReceiver_->setListener(this);
    connection_->setListener(this);
}

PartnerSession::~PartnerSession() {
    if (connection_) connection_->setListener(nullptr);
    state_.store(State::Closed, std::memory_order_release);
    stop();
    // The controller drops its reference only once the thread has ended, so
    // this wait is a last guard, not a path taken in practice.
    waitUntilFinished();
    // The streams post to the connection: they go first.
    sendStream_.reset();
    receiveStream_.reset();
    videoSender_.reset();
    videoReceiver_.reset();
    fileSender_.reset();
    fileReceiver_.reset();
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

bool PartnerSession::acknowledged() const {
    switch (state()) {
        case State::WaitingForAnswer:
        case State::Invited:
        case State::Asking:
        case State::Accepted:
        case State::Connected: return true;
        default: return false;
    }
}

void PartnerSession::changeState(State next) { state_.store(next, std::memory_order_release); }

bool PartnerSession::lastStatusReport(uint8_t (&out)[kStatusReportBytes]) const {
    platform::ScopedLock guard(reportLock_);
    if (!haveReport_) return false;
    std::memcpy(out, report_, sizeof report_);
    return true;
}

// ---- Handshake operations on the caller's thread ---------------------------

void PartnerSession::startInvitation(bool outgoing) {
    {
        platform::ScopedLock guard(lock_);
        if (state() != State::New) return;
        direction_.store(outgoing ? HandshakeDirection::Outgoing : HandshakeDirection::Incoming,
                         std::memory_order_relaxed);
        roundTrip_.store(0.0, std::memory_order_relaxed);
        maxRoundTrip_.store(0.0, std::memory_order_relaxed);
        deadline_.store(0, std::memory_order_relaxed);
        connection_->reset();
        changeState(State::Inviting);
        if (outgoing) setDeadline(platform::tickCount() + kDeadlineMs);
    }
    if (!outgoing) return;
    addRef();
    postLine("Inviting %s...");
    inviteRounds();
    release();
}

// Outside the session lock: Ringing is handled meanwhile, and ends the rounds.
void PartnerSession::inviteRounds() {
    PeerAddress wellKnown = connection_->partnerAddress();
    peerAddressFromText(ip_, kPeerUdpPort, wellKnown);
    PeerAddress registered = wellKnown;
    registered.port = port_;
    const bool otherPort = port_ != 0 && port_ != kPeerUdpPort;
    auto settled = [this] { return state() != State::Inviting; };
    for (int round = 0; round < kRounds && !settled(); ++round) {
        connection_->setPartnerAddress(wellKnown);
        send(InvitationStep::Invite);
        if (otherPort) {
            for (int step = 0; step < kRegisteredPortSteps && !settled(); ++step)
                platform::sleepMilliseconds(kRoundGapMs);
            if (!settled()) {
                connection_->setPartnerAddress(registered);
                send(InvitationStep::Invite);
            }
        }
        platform::sleepMilliseconds(kRoundGapMs);
    }
}

void PartnerSession::acceptInvitation(bool accept) {
    addRef();
    bool answered = false;
    {
        platform::ScopedLock guard(lock_);
        // Only an incoming invitation that has not been answered yet.
        const State s = state();
        if (!outgoing() && (s == State::Inviting || s == State::Invited || s == State::Asking)) {
            deadline_.store(0, std::memory_order_relaxed);
            if (accept) changeState(State::Accepted);
            answered = true;
        }
    }
    if (answered && accept) {
        host_.disconnectOthers(*this);
        postLine("Accepted connection to %s");
        for (int i = 0; i < kRounds && !closed(); ++i) {
            send(InvitationStep::Accept);
            platform::sleepMilliseconds(kAnswerGapMs);
        }
    } else if (answered) {
        postLine("Rejected connection to %s");
        for (int i = 0; i < kRounds; ++i) send(InvitationStep::Reject);
        close(false);
    }
    release();
}

void PartnerSession::close(bool tellPartner) {
    {
        platform::ScopedLock guard(lock_);
        if (closed()) return;
        changeState(State::Closed);
        deadline_.store(0, std::memory_order_relaxed);
        wake();
    }
    addRef();
    // The media streams stop before the connection closes. The connection
    // sends the Bye rounds, spaced out (a partner that lost them all would
    // stay connected to nobody; repeats find no session there), and gives
    // what is queued up to a second to leave: all outside the lock.
    sendStream_->setActive(false);
    receiveStream_->setActive(false);
    videoSender_->stop();
    videoReceiver_->stop();
    // A file on its way ends with the session: the user's rates come back,
    // a partial file goes.
    fileSender_->detach();
    fileSender_->stop(true);
    fileReceiver_->abandon();
    connection_->close(tellPartner);
    queue_.clear();
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
            if (parseInvitation(message, step)) onHandshakeStep(handshakeStepOf(step));
            break;
        }
        case MessageKind::Bye: {
            uint8_t subKind = 0;
            if (parseBareMessage(message, MessageKind::Bye, subKind)) onHandshakeStep(HandshakeStep::Bye);
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
        case MessageKind::SyncRequest: answerSyncRequest(); break;
        case MessageKind::SyncInfo: keepTransport(message); break;
        case MessageKind::FileOffer:
            if (fileReceiver_->onOffer(message)) host_.fileOffered(*this);
            break;
        default: break;  // transport kinds: their handlers, once they exist
    }
}

void PartnerSession::onHandshakeStep(HandshakeStep step) {
    HandshakeDecision d{State::New};
    {
        platform::ScopedLock guard(lock_);
        const State from = state();
        d = decideHandshake(from, step, direction_.load(std::memory_order_relaxed));
        if (d.ignored(from)) return;
        if (d.clearDeadline) deadline_.store(0, std::memory_order_relaxed);
        // Closing is close()'s own change; the others happen here.
        if (!d.close && d.next != from) changeState(d.next);
        if (d.startStreams) startStreams();
        if (d.chime) host_.startChime();
    }
    const char* line = handshakeLinePattern(d.line);
    if (line && !d.lineAfterRounds) postLine(line);
    runRounds(d.rounds);
    if (line && d.lineAfterRounds) postLine(line);
    if (d.tellConnected && !closed()) host_.sessionConnected(*this);
    if (d.close) close(true);
}

void PartnerSession::runRounds(HandshakeRounds rounds) {
    switch (rounds) {
        case HandshakeRounds::Ringing:
            for (int i = 0; i < kRounds && !closed(); ++i) {
                // Back to where the Invite came from, and to the well-known
                // port in case the partner's router keeps that one open.
                PeerAddress seen = connection_->partnerAddress();
                sendTo(seen, InvitationStep::Ringing);
                seen.port = kPeerUdpPort;
                sendTo(seen, InvitationStep::Ringing);
                platform::sleepMilliseconds(kRoundGapMs);
            }
            break;
        case HandshakeRounds::Ask:
            for (int i = 0; i < kRounds && state() == State::WaitingForAnswer; ++i) {
                if (i > 0) platform::sleepMilliseconds(kRoundGapMs);
                send(InvitationStep::Ask);
            }
            break;
        case HandshakeRounds::Connected:
            for (int i = 0; i < kRounds && !closed(); ++i) {
                send(InvitationStep::Connected);
                platform::sleepMilliseconds(kAnswerGapMs);
            }
            break;
        case HandshakeRounds::None: break;
    }
}

void PartnerSession::startStreams() {
    receiveStream_->setTransportSync(!monitorMode());
    midiReceiver_->setTransportSync(!monitorMode());
    videoReceiver_->setTransportSync(!monitorMode());
    receiveStream_->setActive(true);
    sendStream_->setActive(true);
    videoReceiver_->start();
    videoSender_->start();
    // The inviter asks the partner to start its encoder afresh, so both
    // streams begin together.
    if (outgoing()) receiveStream_->requestRestart();
}

void PartnerSession::setMonitorMode(bool on) {
    monitorMode_.store(on, std::memory_order_relaxed);
    receiveStream_->setTransportSync(!on);
    midiReceiver_->setTransportSync(!on);
    videoReceiver_->setTransportSync(!on);
}

void PartnerSession::onFileEvent(int, FileTransfer& transfer) {
    char text[FileTransfer::kStatusBytes];
    if (transfer.statusText(text, sizeof text)) host_.postMessage(text);
}

void PartnerSession::abortFileSend() {
    fileSender_->abortSend("File send aborted.");
    fileSender_->stop(true);
}

void PartnerSession::abortFileReceive() {
    fileReceiver_->stop(true);
    host_.postMessage("File receive aborted.");
}

void PartnerSession::offerCameraFrame(const uint8_t* picture, int width, int height, int stride) {
    if (!connected()) return;
    VideoSender& sender = *videoSender_;
    if (connection_->videoRateControl(sender.lastCodedBytes(), &sender))
        sender.offerPicture(picture, width, height, stride);
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
    f.videoQuality = statusField(videoSender_->quality() * 100.0);
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

// ---- The partner's transport ------------------------------------------------

void PartnerSession::requestPartnerTransport() {
    PeerMessage m;
    if (!closed() && buildSyncRequest(m)) connection_->post(m);
}

void PartnerSession::answerSyncRequest() {
    SyncInfoFields f;
    host_.transportSnapshot(f);
    if (receiveStream_->active()) f.peerState |= kPeerStateReceiving;
    if (sendStream_->isRunning()) f.peerState |= kPeerStateEncoding;
    PeerMessage reply;
    if (buildSyncInfo(reply, f)) connection_->post(reply);
}

void PartnerSession::keepTransport(const PeerMessage& info) {
    SyncInfoFields f;
    if (!parseSyncInfo(info, f)) return;
    platform::ScopedLock guard(reportLock_);
    const SyncInfoFields& was = transport_;
    // The session page redraws what changed beyond the moving position.
    if (!haveTransport_ || f.transportFlags != was.transportFlags || f.tempo != was.tempo ||
        f.sampleRate != was.sampleRate || f.cycleStart != was.cycleStart || f.cycleEnd != was.cycleEnd ||
        f.timeSignatureNumerator != was.timeSignatureNumerator ||
        f.timeSignatureDenominator != was.timeSignatureDenominator)
        transportChanged_.store(true, std::memory_order_relaxed);
    transport_ = f;
    haveTransport_ = true;
}

bool PartnerSession::partnerTransport(SyncInfoFields& out) const {
    platform::ScopedLock guard(reportLock_);
    out = transport_;
    return haveTransport_;
}

bool PartnerSession::sendRemoteLocate(double position) {
    if (!connected()) return false;
    RemoteSettingFields f;
    f.setting = static_cast<uint32_t>(RemoteSettingType::Locate);
    f.value = position;
    PeerMessage m;
    return buildRemoteSetting(m, f) && connection_->post(m);
}
