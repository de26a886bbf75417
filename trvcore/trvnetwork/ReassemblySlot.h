#pragma once
// One message being put back together from its fragments: the 8192-byte
// buffer, who sends it, and the byte ranges received so far, kept sorted by
// start in a fixed array (nothing is allocated per fragment).
//
// A message of 8192 bytes is 17 fragments of a sound sender, so 32 ranges
// leave room for odd slicing; exact duplicates take no range. A sender that
// cuts a message into more pieces than that is hostile or broken: the slot
// reports Overflow and its owner drops the message.
#include <cstddef>
#include <cstdint>

#include "trvcore/trvnetwork/Datagram.h"
#include "trvcore/trvnetwork/PeerAddress.h"
#include "trvcore/trvnetwork/PeerMessage.h"

class ReassemblySlot {
public:
    static constexpr size_t kMaxRanges = 32;

    struct Range {
        uint16_t start = 0;
        uint16_t end = 0;
        bool isLast = false;
    };

    enum class AddResult {
        Incomplete,
        Complete,  // bytes 0..totalLength() are all here
        BadRange,  // empty payload or one ending past 8192: drop the message
        Overflow,  // more than kMaxRanges distinct pieces: drop the message
    };

    // Starts collecting message `number` from `from`.
    void take(uint16_t number, const PeerAddress& from, uint32_t nowMs);
    // Forgets everything received.
    void reset();

    // Copies the fragment's payload into place and records its range.
    // Ranges may arrive in any order; a range that repeats one already held
    // is ignored, and overlapping ranges still join up (the walk follows the
    // furthest end reached), so a duplicated datagram cannot spoil the
    // message.
    AddResult add(const Fragment& f);

    int32_t number() const { return number_; }  // -1 when unused
    const PeerAddress& source() const { return source_; }
    uint32_t takenAt() const { return takenAt_; }
    bool complete() const { return complete_; }
    uint16_t totalLength() const { return totalLength_; }
    size_t rangeCount() const { return rangeCount_; }
    const PeerMessage& message() const { return message_; }

    // List links, kept by the Reassembler.
    int16_t prev = -1;
    int16_t next = -1;

private:
    bool walk() const;

    PeerMessage message_;
    PeerAddress source_;
    int32_t number_ = -1;
    uint32_t takenAt_ = 0;
    bool complete_ = false;
    bool hasLast_ = false;
    uint16_t totalLength_ = 0;
    uint8_t rangeCount_ = 0;
    Range ranges_[kMaxRanges];
};
