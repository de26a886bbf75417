#pragma once
// The sending side of one partner, and the receiving side's bookkeeping:
// the partner's address, two send queues (audio, then everything else),
// the fragmenting sender, ten rate meters and the video bandwidth control.
//
// post() queues a copy and flushes. Audio (kind 1) goes to its own queue
// without a lock (the audio encoder thread is its only producer) and always
// leaves before any other message; other kinds queue under queueLock, which
// is also held for the whole of a flush. MIDI from the host's audio thread
// (postMidi) has a third queue, also without a lock, and leaves after the
// audio: the audio thread only queues it and asks the network thread to
// send, so it never waits for a flush nor sends itself. A message that cannot go out whole
// stays at the head of its queue and is sent again, from its first
// fragment and under a new message number, by the next flush (the next
// post, or the link's onPeerTick).
//
// Any thread may post and flush. onMessage runs on the network thread.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/Lock.h"
#include "trvcore/trvnetwork/MessageQueue.h"
#include "trvcore/trvnetwork/PeerAddress.h"
#include "trvcore/trvnetwork/PeerProtocol.h"
#include "trvcore/trvnetwork/RateMeter.h"
#include "trvcore/trvnetwork/VideoRateController.h"

class PeerConnection;
class PeerLink;
class PeerMessage;
class VideoEncoderControl;

// The owning session's side: every message from the partner.
class PeerConnectionListener {
public:
    virtual ~PeerConnectionListener() = default;
    // Network thread; `message` is valid during the call only.
    virtual void onPeerMessage(PeerConnection& connection, const PeerMessage& message) = 0;
};

class PeerConnection {
public:
    static constexpr unsigned kCloseDrainMs = 1000;
    static constexpr unsigned kCloseCheckMs = 100;
    // MIDI messages waiting at most (64 host blocks' worth at least).
    static constexpr size_t kMidiQueueSlots = 64;
    // Byes sent by close(), one per drain step.
    static constexpr int kByeRounds = 5;

    explicit PeerConnection(PeerLink& link);
    ~PeerConnection();
    PeerConnection(const PeerConnection&) = delete;
    PeerConnection& operator=(const PeerConnection&) = delete;

    void setListener(PeerConnectionListener* listener) {
        listener_.store(listener, std::memory_order_release);
    }

    // Where messages go: a dotted quad (false, unchanged, for anything else)
    // and port, or the address a message just came from.
    bool setPartnerAddress(const char* ipText, uint16_t port = kPeerUdpPort);
    void setPartnerAddress(const PeerAddress& address) {
        partner_.store(address.packed(), std::memory_order_relaxed);
    }
    PeerAddress partnerAddress() const {
        return PeerAddress::unpack(partner_.load(std::memory_order_relaxed));
    }

    // A message the controller routed to this partner: notes the partner's
    // linkFlags, counts it and hands it to the listener.
    void onMessage(const PeerMessage& message);

    // Writes the magic, makes a length of 0 into 12, queues a copy and
    // flushes. False if it was not queued (length above 8192).
    bool post(PeerMessage& message);
    // The host's audio thread: queues a MidiBlock (one producer at a time;
    // the session's MIDI sender serialises them) and has the network thread
    // flush. False if it was not queued.
    bool postMidi(PeerMessage& message);
    // Whether the general queue has room (the file sender's pacing).
    bool queueSpace() const { return generalQueue_.hasSpace(); }
    // Mean fill fraction of both queues, 0..1.
    double queueFill() const { return (audioQueue_.fill() + generalQueue_.fill()) * 0.5; }
    size_t audioWaiting() const { return audioQueue_.waiting(); }
    size_t generalWaiting() const { return generalQueue_.waiting(); }
    size_t midiWaiting() const { return midiQueue_.waiting(); }

    // One meter in bit/s (StatusRate order: received total, audio, video,
    // MIDI, other; sent total, audio, video, MIDI, other). Reading closes
    // the meter's window once it spans a second.
    double rate(StatusRate which);

    // Asked before each camera picture is coded: true to code it. Sets the
    // encoder's quality and frame-rate fraction from the controller's video
    // budget (PeerLinkListener::videoBudgetKbps). lastFrameBytes is not
    // needed: the size of sent pictures is measured from the sent-video rate.
    bool videoRateControl(size_t lastFrameBytes, VideoEncoderControl* encoder);
    int frameRate() const { return video_.frameRate(); }

    // Set by the partner's linkFlags; cleared when read.
    bool takePartnerSendFailed() { return partnerSendFailed_.exchange(false, std::memory_order_relaxed); }
    bool takePartnerLostData() { return partnerLostData_.exchange(false, std::memory_order_relaxed); }

    // Start of an invitation: statistics cleared, both queues emptied.
    void reset();
    // Ends the partner relation: drops waiting audio, gives the other
    // waiting messages up to 1000 ms to leave, then drops what is left;
    // with sendBye, five Byes go meanwhile, 100 ms apart. Blocks the caller
    // meanwhile. Other flushes do nothing while it runs.
    void close(bool sendBye);
    bool closing() const { return closing_.load(std::memory_order_relaxed); }
    // Sends the oldest message of one of this connection's queues; false if
    // closing, the queue is empty or the message did not go out whole.
    bool sendOne(MessageQueue& queue);
    // Sends until both queues are empty or a send fails, audio first.
    void flush();
    void resetStatistics();
    void countSent(size_t bytes, uint8_t kind);
    void countReceived(size_t bytes, uint8_t kind);

    MessageQueue& audioQueue() { return audioQueue_; }
    MessageQueue& generalQueue() { return generalQueue_; }

    // The process-wide message number: 1 first, then one more (wrapping)
    // per message sent, whichever connection sends it.
    static uint16_t nextMessageNumber();

private:
    void flushLocked(bool draining);
    bool sendOneLocked(MessageQueue& queue, bool draining);
    bool sendFragmented(const PeerMessage& message);
    static size_t kindMeter(uint8_t kind);

    PeerLink& link_;
    std::atomic<PeerConnectionListener*> listener_{nullptr};
    std::atomic<uint64_t> partner_;
    MessageQueue audioQueue_;
    MessageQueue midiQueue_{kMidiQueueSlots};
    MessageQueue generalQueue_;
    platform::RecursiveLock queueLock_;
    std::atomic<bool> closing_{false};
    std::atomic<bool> closeBusy_{false};
    uint8_t sendBuffer_[kMaxDatagramSize] = {};  // under queueLock
    std::atomic<bool> partnerLostData_{false};
    std::atomic<bool> partnerSendFailed_{false};
    RateMeter meters_[kStatusRateCount];
    VideoRateController video_;
};
