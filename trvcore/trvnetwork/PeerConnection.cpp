#include "trvcore/trvnetwork/PeerConnection.h"

#include "platform/Clock.h"
#include "trvcore/trvnetwork/ControlMessages.h"
#include "trvcore/trvnetwork/Datagram.h"
#include "trvcore/trvnetwork/LinkClock.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/trvnetwork/PeerMessage.h"

namespace {

std::atomic<uint16_t> gMessageNumber{0};

constexpr uint8_t kindOf(MessageKind k) { return static_cast<uint8_t>(k); }

}  // namespace

uint16_t PeerConnection::nextMessageNumber() {
    return static_cast<uint16_t>(gMessageNumber.fetch_add(1, std::memory_order_relaxed) + 1);
}

PeerConnection::PeerConnection(PeerLink& link) : link_(link) {
    PeerAddress none;
    none.port = kPeerUdpPort;
    partner_.store(none.packed(), std::memory_order_relaxed);
}

PeerConnection::~PeerConnection() = default;

bool PeerConnection::setPartnerAddress(const char* ipText, uint16_t port) {
    PeerAddress a;
    if (!peerAddressFromText(ipText, port, a)) return false;
    setPartnerAddress(a);
    return true;
}

void PeerConnection::onMessage(const PeerMessage& message) {
    const uint8_t flags = message.linkFlags();
    if (flags & kLinkFlagReceiveErrors) partnerLostData_.store(true, std::memory_order_relaxed);
    if (flags & kLinkFlagSendErrors) partnerSendFailed_.store(true, std::memory_order_relaxed);
    countReceived(message.length(), message.kind());
    if (PeerConnectionListener* l = listener_.load(std::memory_order_acquire))
        l->onPeerMessage(*this, message);
}

bool PeerConnection::post(PeerMessage& message) {
    message.writeMagic();
    if (message.length() == 0) message.setLength(kMessageHeaderSize);
    bool queued;
    if (message.kind() == kindOf(MessageKind::AudioFrame)) {
        queued = audioQueue_.push(message);
    } else {
        platform::ScopedLock guard(queueLock_);
        queued = generalQueue_.push(message);
    }
    flush();
    return queued;
}

bool PeerConnection::postMidi(PeerMessage& message) {
    message.writeMagic();
    if (message.length() == 0) message.setLength(kMessageHeaderSize);
    const bool queued = midiQueue_.push(message);
    link_.requestTick();
    return queued;
}

void PeerConnection::flush() {
    if (closing()) return;
    platform::ScopedLock guard(queueLock_);
    flushLocked(false);
}

void PeerConnection::flushLocked(bool draining) {
    for (;;) {
        MessageQueue* q = !audioQueue_.empty()     ? &audioQueue_
                          : !midiQueue_.empty()    ? &midiQueue_
                          : !generalQueue_.empty() ? &generalQueue_
                                                   : nullptr;
        if (!q || !sendOneLocked(*q, draining)) return;
    }
}

bool PeerConnection::sendOne(MessageQueue& queue) {
    if (&queue != &audioQueue_ && &queue != &midiQueue_ && &queue != &generalQueue_) return false;
    platform::ScopedLock guard(queueLock_);
    return sendOneLocked(queue, false);
}

bool PeerConnection::sendOneLocked(MessageQueue& queue, bool draining) {
    if (closing() && !draining) return false;
    MessageQueue::Reader reader(queue);
    PeerMessage* m = reader.front();
    if (!m) return false;
    if (m->kind() == kindOf(MessageKind::Ping)) setPingSendTime(*m, link_.clock().nowNs());
    const uint32_t receiveErrors = link_.pendingReceiveErrors();
    const uint32_t sendErrors = link_.pendingSendErrors();
    m->setLinkFlags(static_cast<uint8_t>((receiveErrors ? kLinkFlagReceiveErrors : 0) |
                                         (sendErrors ? kLinkFlagSendErrors : 0)));
    if (!sendFragmented(*m)) return false;
    link_.consumeReceiveErrors(receiveErrors);
    link_.consumeSendErrors(sendErrors);
    countSent(m->length(), m->kind());
    reader.pop();
    return true;
}

bool PeerConnection::sendFragmented(const PeerMessage& message) {
    const size_t length = message.length();
    if (length > kMaxMessageLength) return false;
    const uint16_t number = nextMessageNumber();
    const size_t count = fragmentCount(length);
    const PeerAddress to = partnerAddress();
    for (size_t i = 0; i < count; ++i) {
        const size_t n = buildFragmentDatagram(sendBuffer_, sizeof sendBuffer_, message.data(),
                                               length, number, i);
        if (n == 0 || link_.sendDatagram(sendBuffer_, n, to) != n) return false;
    }
    return count > 0;
}

void PeerConnection::close(bool sendBye) {
    if (closeBusy_.exchange(true, std::memory_order_acquire)) return;
    closing_.store(true, std::memory_order_relaxed);
    audioQueue_.clear();
    midiQueue_.clear();
    // The drain runs here, on the closing thread; other flushes stay out.
    // The Bye goes in rounds, one per drain step, like every other control
    // packet: spaced out, one burst of loss cannot take them all.
    int byes = sendBye ? kByeRounds : 0;
    for (unsigned waited = 0;; waited += kCloseCheckMs) {
        {
            platform::ScopedLock guard(queueLock_);
            if (byes > 0) {
                PeerMessage bye;
                if (buildBye(bye)) {
                    bye.writeMagic();
                    generalQueue_.push(bye);
                }
                --byes;
            }
            flushLocked(true);
            if (generalQueue_.empty() && byes == 0) break;
        }
        if (waited >= kCloseDrainMs) break;
        platform::sleepMilliseconds(kCloseCheckMs);
    }
    generalQueue_.clear();
    audioQueue_.clear();  // audio and MIDI posted while closing
    midiQueue_.clear();
    closing_.store(false, std::memory_order_relaxed);
    closeBusy_.store(false, std::memory_order_release);
}

void PeerConnection::reset() {
    resetStatistics();
    closing_.store(false, std::memory_order_relaxed);
    audioQueue_.clear();
    midiQueue_.clear();
    generalQueue_.clear();
}

void PeerConnection::resetStatistics() {
    for (RateMeter& m : meters_) m.reset();
    video_.reset();
}

size_t PeerConnection::kindMeter(uint8_t kind) {
    switch (kind) {
        case kindOf(MessageKind::AudioFrame): return 1;
        case kindOf(MessageKind::VideoFrame): return 2;
        case kindOf(MessageKind::MidiBlock): return 3;
        default: return 4;
    }
}

void PeerConnection::countSent(size_t bytes, uint8_t kind) {
    const double now = link_.clock().nowNs();
    meters_[kRateSentTotal].add(bytes, now);
    meters_[kRateSentTotal + kindMeter(kind)].add(bytes, now);
    if (kind == kindOf(MessageKind::VideoFrame)) video_.countVideoBytes(static_cast<uint32_t>(bytes));
}

void PeerConnection::countReceived(size_t bytes, uint8_t kind) {
    const double now = link_.clock().nowNs();
    meters_[kRateReceivedTotal].add(bytes, now);
    meters_[kRateReceivedTotal + kindMeter(kind)].add(bytes, now);
}

double PeerConnection::rate(StatusRate which) {
    return which < kStatusRateCount ? meters_[which].read() : 0.0;
}

bool PeerConnection::videoRateControl(size_t /*lastFrameBytes*/, VideoEncoderControl* encoder) {
    PeerLinkListener* l = link_.listener();
    const double budget = l ? l->videoBudgetKbps() : 0.0;
    const double sentVideo = meters_[kRateSentVideo].read();
    return video_.decide(budget, sentVideo, link_.clock().nowNs() * 1e-9, encoder);
}
