#pragma once
// The partner's MIDI on its way to this host. The network thread keeps each
// MidiBlock in a ring of 250; at every block cycle the leader takes the
// events due in that block into an event block the cycle's end hands to
// the host.
//
// Aligned (while both transports play and monitor mode is off): an event
// plays at the local song position equal to the partner's song position it
// was played at; a message that ends before the block is dropped, events
// before the block are skipped, events after it stay for the next block
// (their message stays at the head). Otherwise (the partner stands, this
// host stands, or monitor mode) every waiting event is handed over in the
// next block with the delta it had at the partner.
// At most 1020 events per block: what did not fit stays in the ring and
// follows in the next block (at its start when it was due already); each
// message notes which of its events went, so none is lost and none handed
// over twice. Events that were already late when their message was first
// looked at are dropped.
//
// Threads: onMidiBlock on the network thread; beginBlock, events and clear
// on the audio thread inside the block cycle; setTransportSync from the
// session. The ring's own lock serialises them (held for copies only).
#include <bitset>
#include <cstdint>
#include <memory>

#include "platform/Lock.h"
#include "trvcore/midi/MidiEventBlock.h"
#include "trvcore/session/SessionMediaSink.h"
#include "trvcore/trvnetwork/PeerMessage.h"
#include "vst/VstAbi.h"

class MidiReceiver : public SessionMediaSink {
public:
    static constexpr uint32_t kSlots = 250;
    static constexpr int kMaxEvents = 1020;

    MidiReceiver();
    MidiReceiver(const MidiReceiver&) = delete;
    MidiReceiver& operator=(const MidiReceiver&) = delete;

    // Network thread: a MidiBlock from the partner (others are ignored).
    void onMidiBlock(const PeerMessage& message);
    void onMediaMessage(PartnerSession&, const PeerMessage& message) override { onMidiBlock(message); }

    // Audio thread, the cycle leader: the events due in the block of
    // `frames` at the time info's position (none without time info).
    void beginBlock(const VstTimeInfo* timeInfo, int frames);
    bool hasEvents() const { return block_.count() > 0; }
    VstEvents* events() { return block_.events(); }
    const MidiEventBlock& block() const { return block_; }
    void clear() { block_.clear(); }

    void setTransportSync(bool on);
    bool aligned() const;
    uint32_t waiting() const;

private:
    struct Slot {
        uint32_t localClock = 0;
        uint32_t transportFlags = 0;
        // Looked at in an earlier block (its due events that did not go
        // then were held back by the bound, not late).
        bool seen = false;
        std::bitset<kMaxEvents> handed;  // events handed over or dropped
        PeerMessage message;
    };
    void emptyRing();
    void advance();
    // Appends m's events to the block; false when m has events for a later
    // block (it stays at the head).
    bool convert(Slot& m, int64_t start, int64_t end);

    std::unique_ptr<Slot[]> ring_;
    mutable platform::RecursiveLock lock_;
    uint32_t writeIndex_ = 0;
    uint32_t readIndex_ = 0;
    uint32_t writtenCount_ = 0;
    uint32_t readCount_ = 0;
    bool transportSync_ = true;
    bool aligned_ = false;  // the partner plays and sync is on
    bool placing_ = false;  // this block: aligned and this host plays
    MidiEventBlock block_{kMaxEvents};
};
