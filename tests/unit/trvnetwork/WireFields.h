#pragma once
// Reads one little-endian field of a built message, to pin its offset.
#include <cstdint>

#include "trvcore/trvnetwork/PeerMessage.h"
#include "trvcore/trvnetwork/WireBytes.h"

inline uint16_t u16At(const PeerMessage& m, size_t at) {
    uint16_t v = 0;
    wire::readU16(m.data(), m.capacity(), at, v);
    return v;
}

inline uint32_t u32At(const PeerMessage& m, size_t at) {
    uint32_t v = 0;
    wire::readU32(m.data(), m.capacity(), at, v);
    return v;
}

inline uint64_t u64At(const PeerMessage& m, size_t at) {
    uint64_t v = 0;
    wire::readU64(m.data(), m.capacity(), at, v);
    return v;
}

inline double doubleAt(const PeerMessage& m, size_t at) {
    double v = 0;
    wire::readDouble(m.data(), m.capacity(), at, v);
    return v;
}
