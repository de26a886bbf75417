#include "trvcore/trvnetwork/ReassemblySlot.h"

#include <cstring>

void ReassemblySlot::take(uint16_t number, const PeerAddress& from, uint32_t nowMs) {
    reset();
    number_ = number;
    source_ = from;
    takenAt_ = nowMs;
}

void ReassemblySlot::reset() {
    number_ = -1;
    complete_ = false;
    hasLast_ = false;
    totalLength_ = 0;
    rangeCount_ = 0;
}

ReassemblySlot::AddResult ReassemblySlot::add(const Fragment& f) {
    const size_t end = f.end();
    if (f.payloadLength == 0 || end > kMaxMessageLength || !f.payload) return AddResult::BadRange;
    if (rangeCount_ == 0) number_ = f.messageNumber;

    const Range r{f.offset, static_cast<uint16_t>(end), f.isLast};
    size_t at = rangeCount_;
    for (size_t i = 0; i < rangeCount_; ++i) {
        const Range& have = ranges_[i];
        if (have.start == r.start && have.end == r.end && have.isLast == r.isLast)
            return complete_ ? AddResult::Complete : AddResult::Incomplete;
        if (have.start > r.start) {
            at = i;
            break;
        }
    }
    if (rangeCount_ == kMaxRanges) return AddResult::Overflow;

    std::memcpy(message_.data() + r.start, f.payload, f.payloadLength);
    std::memmove(&ranges_[at + 1], &ranges_[at], (rangeCount_ - at) * sizeof(Range));
    ranges_[at] = r;
    ++rangeCount_;
    if (r.isLast) {
        hasLast_ = true;
        totalLength_ = r.end;
    }
    complete_ = walk();
    return complete_ ? AddResult::Complete : AddResult::Incomplete;
}

bool ReassemblySlot::walk() const {
    if (!hasLast_) return false;
    size_t cursor = 0;
    for (size_t i = 0; i < rangeCount_; ++i) {
        const Range& r = ranges_[i];
        if (r.start > cursor) return false;  // a gap: something is missing
        if (r.end > cursor) cursor = r.end;
        if (cursor >= totalLength_) return true;
    }
    return false;
}
