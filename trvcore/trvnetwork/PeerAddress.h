#pragma once
// An IPv4 address and UDP port of a peer, both in host byte order.
#include <cstdint>

struct PeerAddress {
    uint32_t ip = 0;
    uint16_t port = 0;

    bool operator==(const PeerAddress& o) const { return ip == o.ip && port == o.port; }
    bool operator!=(const PeerAddress& o) const { return !(*this == o); }

    // Both fields in one word, for atomics shared between threads.
    uint64_t packed() const { return (uint64_t(ip) << 16) | port; }
    static PeerAddress unpack(uint64_t v) {
        PeerAddress a;
        a.ip = static_cast<uint32_t>(v >> 16);
        a.port = static_cast<uint16_t>(v);
        return a;
    }
};

// Parses a dotted quad; false (out unchanged) for anything else. Host names
// are not resolved here: the link never waits for a name service.
bool peerAddressFromText(const char* ipText, uint16_t port, PeerAddress& out);
