#pragma once
// Builds fragments of test messages the way a sender cuts them, and odd
// ones no sound sender would.
#include <cstdint>
#include <vector>

#include "trvcore/trvnetwork/Datagram.h"
#include "trvcore/trvnetwork/PeerMessage.h"

// A message of `length` bytes with a sound header and a payload pattern
// that tells every byte's position apart.
inline PeerMessage patternMessage(size_t length, uint8_t kind = 11, uint8_t seed = 0) {
    PeerMessage m;
    m.begin(kind, length);
    for (size_t i = kMessageHeaderSize; i < length; ++i)
        m.data()[i] = static_cast<uint8_t>(i * 7 + (i >> 8) + seed);
    return m;
}

// Every fragment datagram of `m`, in order.
inline std::vector<std::vector<uint8_t>> fragmentsOf(const PeerMessage& m, uint16_t number) {
    std::vector<std::vector<uint8_t>> out;
    for (size_t i = 0; i < fragmentCount(m.length()); ++i) {
        std::vector<uint8_t> d(kMaxDatagramSize);
        d.resize(buildFragmentDatagram(d.data(), d.size(), m.data(), m.length(), number, i));
        out.push_back(d);
    }
    return out;
}

// A fragment datagram with any offset, flags and payload slice of `m`.
inline std::vector<uint8_t> rawFragment(const PeerMessage& m, uint16_t number, uint16_t offset,
                                        size_t length, uint8_t flags) {
    std::vector<uint8_t> d(length + kFragmentOverhead, 0);
    DatagramHeader h;
    h.datagramLength = static_cast<uint16_t>(d.size());
    h.messageNumber = number;
    h.fragmentOffset = offset;
    h.fragmentFlags = flags;
    writeDatagramHeader(d.data(), d.size(), h);
    for (size_t i = 0; i < length && offset + i < kMaxMessageLength; ++i)
        d[kDatagramHeaderSize + i] = m.data()[offset + i];
    return d;
}

inline Fragment parsed(const std::vector<uint8_t>& d) {
    Fragment f;
    parseFragment(d.data(), d.size(), f);
    return f;
}
