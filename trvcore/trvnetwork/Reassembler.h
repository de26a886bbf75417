#pragma once
// Turns fragments back into messages. 1025 slots are allocated at
// construction and move between a free list and an active list (most
// recently taken first); nothing is allocated afterwards.
//
// A fragment joins the active slot of the same message number from the
// same IPv4 address (ports are not compared, so a sender whose NAT changes
// its port mid-message still completes it). A fragment of a new message
// first walks the active list: if any slot was taken more than 1000 ms ago,
// every partial message is dropped (one receive error). A complete message
// is checked and delivered at once; its slot is free again after the call.
// A fragment of a message completed in the last second (a datagram the
// network delivered twice) is dropped quietly.
//
// Used by one thread only (the link's network thread, or a test driving it).
#include <cstddef>
#include <cstdint>
#include <memory>

#include "trvcore/trvnetwork/Datagram.h"
#include "trvcore/trvnetwork/PeerAddress.h"
#include "trvcore/trvnetwork/RecentMessages.h"
#include "trvcore/trvnetwork/ReassemblySlot.h"

class LinkClock;
class PeerMessage;

// Where the reassembler's results go.
class ReassemblySink {
public:
    virtual ~ReassemblySink() = default;
    // A complete message whose magic and length passed the check.
    virtual void onReassembled(const PeerMessage& message, const PeerAddress& from) = 0;
    // Fragments or messages lost: `count` receive errors.
    virtual void onReassemblyErrors(uint32_t count) = 0;
};

class Reassembler {
public:
    static constexpr size_t kSlotCount = 1025;
    static constexpr uint32_t kExpiryMs = 1000;

    Reassembler(LinkClock& clock, ReassemblySink& sink);
    Reassembler(const Reassembler&) = delete;
    Reassembler& operator=(const Reassembler&) = delete;

    // Adds one parsed fragment (parseFragment's Ok or BadRange result).
    // An empty fragment or one that ends past 8192 drops the message it
    // belongs to and counts one error; so does a message cut into more
    // pieces than a slot records. No free slot: two errors, fragment dropped.
    void add(const Fragment& f, const PeerAddress& from);

    // Returns every active slot to the free list.
    void clear();
    size_t activeCount() const { return activeCount_; }

private:
    ReassemblySlot* findActive(uint16_t number, uint32_t ip);
    // Delivers complete slots; drops everything on the first slot that
    // expired. Returns after the first expiry.
    void walkActive();
    // Applies f to the slot and delivers or frees it as the result says.
    void addTo(int16_t index, const Fragment& f);
    void deliver(int16_t index);
    int16_t takeFree();
    void release(int16_t index);

    LinkClock& clock_;
    ReassemblySink& sink_;
    std::unique_ptr<ReassemblySlot[]> slots_;
    RecentMessages recent_;
    int16_t freeHead_ = -1;
    int16_t activeHead_ = -1;
    size_t activeCount_ = 0;
};
