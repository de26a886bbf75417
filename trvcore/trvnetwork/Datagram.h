#pragma once
// Datagram layer of the peer protocol: the 10-byte header every datagram
// starts with, the three 14-byte control datagrams, fragment datagrams and
// the split of a message into fragments.
//
// Header (offsets in bytes):
//   0 magic1 0x5E   1 magic2 0xB7   2 datagramLength (u16, whole datagram)
//   4 messageNumber (u16)           6 fragmentOffset (u16, into the message)
//   8 reserved 0                    9 fragmentFlags (bit 0: last fragment)
// A fragment datagram is header + payload + 4 trailing bytes, so
// datagramLength = payload + 14, and a datagram is never longer than 512.
//
// Everything here works on caller buffers, allocates nothing and never
// reads or writes outside the sizes it is given.
#include <cstddef>
#include <cstdint>

#include "trvcore/trvnetwork/PeerProtocol.h"

struct DatagramHeader {
    uint16_t datagramLength = 0;
    uint16_t messageNumber = 0;
    uint16_t fragmentOffset = 0;
    uint8_t reserved = 0;
    uint8_t fragmentFlags = 0;
};

enum class DatagramType {
    Invalid,   // counted as a receive error and dropped
    Fragment,  // goes to reassembly
    HolePunch,
    PortQuery,
    PortReply,
};

// Writes the magic and the fields of h at the start of buf; false (nothing
// written) if buf is shorter than 10 bytes.
bool writeDatagramHeader(uint8_t* buf, size_t size, const DatagramHeader& h);

// Reads the header of a received datagram of `size` bytes. False if size is
// outside 10..512, the magic is wrong or datagramLength differs from size.
bool readDatagramHeader(const uint8_t* buf, size_t size, DatagramHeader& h);

// What a received datagram is. Control datagrams are recognised only at
// exactly 14 bytes with fragmentOffset 0 and their full signature; anything
// else with a sound header is a fragment. A fragment needs room for its
// trailer, so datagrams of 10..13 bytes are invalid.
DatagramType classifyDatagram(const uint8_t* buf, size_t size);

// The control datagrams. Each builder writes 14 bytes and returns 14, or 0
// (nothing written) when size < 14.
size_t buildHolePunch(uint8_t* buf, size_t size);
size_t buildPortQuery(uint8_t* buf, size_t size);
// port: the UDP source port of the PortQuery as the replier saw it.
size_t buildPortReply(uint8_t* buf, size_t size, uint16_t port);
// The port a PortReply carries; false if the datagram is not a PortReply.
bool readPortReply(const uint8_t* buf, size_t size, uint16_t& port);

// A received fragment; payload points into the datagram.
struct Fragment {
    uint16_t messageNumber = 0;
    uint16_t offset = 0;
    bool isLast = false;
    const uint8_t* payload = nullptr;
    size_t payloadLength = 0;
    size_t end() const { return size_t(offset) + payloadLength; }
};

enum class FragmentStatus {
    Ok,
    NotFragment,  // invalid datagram or a control datagram
    BadRange,     // sound datagram, but its payload is empty or ends past
                  // 8192; messageNumber and offset are filled in so that
                  // reassembly can drop the message it belongs to
};

FragmentStatus parseFragment(const uint8_t* buf, size_t size, Fragment& out);

// One slice of a message as the sender cuts it.
struct FragmentSlice {
    uint16_t offset = 0;
    uint16_t length = 0;
    bool isLast = false;
};

// Number of fragments of a message of `messageLength` bytes: slices of 498
// bytes, the last one shorter. 0 for an empty message or one above 8192.
size_t fragmentCount(size_t messageLength);

// Slice `index` of a message; false when index >= fragmentCount.
bool fragmentSlice(size_t messageLength, size_t index, FragmentSlice& out);

// Builds fragment datagram `index` of the message into out: header, slice,
// and the 4 trailing bytes (written as 0). Returns the datagram length
// (slice + 14), or 0 if the slice does not exist or out is too small.
size_t buildFragmentDatagram(uint8_t* out, size_t outSize, const uint8_t* message,
                             size_t messageLength, uint16_t messageNumber, size_t index);
