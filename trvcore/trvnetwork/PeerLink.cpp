#include "trvcore/trvnetwork/PeerLink.h"

#include "trvcore/trvnetwork/Datagram.h"
#include "trvcore/trvnetwork/DatagramSocket.h"
#include "trvcore/trvnetwork/LinkClock.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/trvnetwork/UdpDatagramSocket.h"

namespace {

constexpr int kAboveNormalPriority = 3;
// Datagrams taken per readiness report before the thread looks at its other
// events again.
constexpr int kReceiveBurst = 64;
// After a wait error, or after a write report that ended blocked again at
// once, the thread pauses this long so that it cannot spin.
constexpr int kErrorPauseMs = 100;
constexpr int kWritablePauseMs = 1;

}  // namespace

PeerLink::PeerLink(PeerLinkListener* listener, const PeerLinkOptions& options)
    : WorkerThread(platform::ThreadPriority::AboveNormal),
      listener_(listener),
      clock_(options.clock ? *options.clock : systemLinkClock()),
      socket_(options.socket ? options.socket : new UdpDatagramSocket(options.bindAddress)),
      reassembler_(clock_, *this) {
    socketOpen_ = wakeEvent_.valid() && socket_->open(options.port);
    if (socketOpen_ && options.startThread) start();
}

PeerLink::~PeerLink() {
    // The thread goes first: closing the socket under a running poll could
    // let it wait on a descriptor number the system has given to someone else.
    stop();
    waitUntilFinished();
    socket_->close();
}

uint16_t PeerLink::boundPort() const { return socketOpen_ ? socket_->boundPort() : 0; }

void PeerLink::wake() {
    wakeEvent_.set();
    WorkerThread::wake();
}

void PeerLink::requestTick() {
    tickWanted_.store(true, std::memory_order_release);
    wakeEvent_.set();
}

void PeerLink::run() {
    setPriority(kAboveNormalPriority);
    bool pauseWritable = false;
    while (running() && socket_->isOpen()) {
        const bool wantWritable = !pauseWritable && (blocked() || replyPending_);
        const int bits =
            socket_->waitFor(wakeEvent_, wantWritable, pauseWritable ? kWritablePauseMs : -1);
        pauseWritable = false;
        if (!running()) break;
        if (bits & platform::WaitError) {
            if (listener_) listener_->onLinkStatus(kNetEventError);
            wakeEvent_.wait(kErrorPauseMs);
            continue;
        }
        if (bits & platform::WaitWritable) {
            handleWritable();
            pauseWritable = blocked();
        }
        if (bits & platform::WaitReadable) receivePending();
        if (tickWanted_.exchange(false, std::memory_order_acquire) && listener_) listener_->onPeerTick();
    }
}

void PeerLink::receivePending() {
    for (int i = 0; i < kReceiveBurst; ++i) {
        size_t n = 0;
        PeerAddress from;
        const platform::IoResult r =
            socket_->receiveFrom(receiveBuffer_, sizeof receiveBuffer_, n, from);
        if (r == platform::IoResult::WouldBlock) return;
        if (r == platform::IoResult::Error) {
            // Includes a datagram longer than 512 bytes, whose tail is lost.
            receiveErrors_.add(1);
            continue;
        }
        handleDatagram(receiveBuffer_, n, from);
    }
}

void PeerLink::handleDatagram(const uint8_t* bytes, size_t size, const PeerAddress& from) {
    switch (classifyDatagram(bytes, size)) {
        case DatagramType::Invalid:
            receiveErrors_.add(1);
            return;
        case DatagramType::PortQuery:
            replyAddress_ = from;
            replyPending_ = true;
            sendPortReply();
            return;
        case DatagramType::PortReply: {
            uint16_t port = 0;
            if (readPortReply(bytes, size, port) && listener_) listener_->onLocalPort(port);
            return;
        }
        case DatagramType::HolePunch:
            return;
        case DatagramType::Fragment: {
            Fragment f;
            if (parseFragment(bytes, size, f) == FragmentStatus::NotFragment) {
                receiveErrors_.add(1);
                return;
            }
            reassembler_.add(f, from);
            return;
        }
    }
}

void PeerLink::handleWritable() {
    blocked_.store(false, std::memory_order_relaxed);
    blockedSince_.store(0, std::memory_order_relaxed);
    if (replyPending_) {
        sendPortReply();
        if (blocked()) return;
    }
    // The tick follows a reply too: messages refused meanwhile would
    // otherwise wait for the next post.
    if (listener_) listener_->onPeerTick();
}

void PeerLink::sendPortReply() {
    uint8_t reply[kControlDatagramSize];
    const size_t n = buildPortReply(reply, sizeof reply, replyAddress_.port);
    platform::IoResult r;
    {
        platform::ScopedLock guard(sendLock_);
        r = socket_->sendTo(reply, n, replyAddress_);
    }
    if (r == platform::IoResult::WouldBlock) {
        setBlocked();
        return;
    }
    replyPending_ = false;
    if (r == platform::IoResult::Error) sendErrors_.add(1);
}

size_t PeerLink::sendDatagram(const uint8_t* bytes, size_t length, const PeerAddress& to) {
    if (!socketOpen_ || !bytes || length == 0 || length > kMaxDatagramSize) return 0;
    if (blocked()) {
        const uint32_t now = clock_.tickMs();
        const uint32_t since = blockedSince_.load(std::memory_order_relaxed);
        if (since == 0) {
            blockedSince_.store(now ? now : 1, std::memory_order_relaxed);
        } else if (now - since > kBlockedRefusalMs) {
            blocked_.store(false, std::memory_order_relaxed);
        }
        return 0;
    }
    blockedSince_.store(0, std::memory_order_relaxed);
    platform::IoResult r;
    {
        platform::ScopedLock guard(sendLock_);
        r = socket_->sendTo(bytes, length, to);
    }
    if (r == platform::IoResult::Ok) return length;
    if (r == platform::IoResult::WouldBlock) setBlocked();
    else sendErrors_.add(1);
    return 0;
}

bool PeerLink::sendHolePunch(const char* ipText) {
    uint8_t b[kControlDatagramSize];
    return sendControl(b, buildHolePunch(b, sizeof b), ipText);
}

bool PeerLink::sendPortQuery(const char* ipText) {
    uint8_t b[kControlDatagramSize];
    return sendControl(b, buildPortQuery(b, sizeof b), ipText);
}

bool PeerLink::sendControl(const uint8_t* bytes, size_t length, const char* ipText) {
    PeerAddress to;
    if (!socketOpen_ || !peerAddressFromText(ipText, port(), to)) return false;
    platform::IoResult r;
    {
        platform::ScopedLock guard(sendLock_);
        r = socket_->sendTo(bytes, length, to);
    }
    if (r == platform::IoResult::WouldBlock) setBlocked();
    return r == platform::IoResult::Ok;
}

void PeerLink::setBlocked() {
    // The network thread waits for writability only while blocked: tell it.
    if (!blocked_.exchange(true, std::memory_order_relaxed)) wakeEvent_.set();
}

void PeerLink::onReassembled(const PeerMessage& message, const PeerAddress& from) {
    if (listener_) listener_->onPeerPacket(message, from);
}

void PeerLink::onReassemblyErrors(uint32_t count) { receiveErrors_.add(count); }
