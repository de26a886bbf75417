#pragma once
// PeerMessage: one message between two plug-ins, held in place (8192 bytes,
// no heap), with its 12-byte header:
//   0 magic 0xB6 0xE9 0xF4   3 kind   4 length (u16, header included)
//   6 reserved (3 bytes, 0)  9 subKind   10 linkFlags   11 reserved 0
// Bytes from 12 on belong to the kind (see the *Messages.h files).
//
// MessageBytes is what every kind parser reads from: either a PeerMessage
// or a raw received buffer. Parsers take the message length from the
// header and check it against the bytes available before any other read.
#include <cstddef>
#include <cstdint>

#include "trvcore/trvnetwork/PeerProtocol.h"

class PeerMessage {
public:
    PeerMessage() = default;

    static constexpr size_t capacity() { return kMaxMessageLength; }
    uint8_t* data() { return bytes_; }
    const uint8_t* data() const { return bytes_; }

    // Starts a message: zeroes its first `length` bytes and writes magic,
    // kind and length. False (message unchanged) unless 12 <= length <= 8192.
    bool begin(uint8_t kind, size_t length);
    bool begin(MessageKind kind, size_t length) { return begin(static_cast<uint8_t>(kind), length); }

    // Copies a received message of `size` bytes; false (nothing copied) if
    // size is above 8192. Does not judge the content: see checkMessage.
    bool assign(const uint8_t* bytes, size_t size);

    uint8_t kind() const { return bytes_[kMessageKindAt]; }
    void setKind(uint8_t kind) { bytes_[kMessageKindAt] = kind; }
    uint16_t length() const;
    // False (unchanged) above 8192.
    bool setLength(size_t length);
    uint8_t subKind() const { return bytes_[kMessageSubKindAt]; }
    void setSubKind(uint8_t subKind) { bytes_[kMessageSubKindAt] = subKind; }
    uint8_t linkFlags() const { return bytes_[kMessageLinkFlagsAt]; }
    void setLinkFlags(uint8_t flags) { bytes_[kMessageLinkFlagsAt] = flags; }
    bool hasMagic() const;
    void writeMagic();

private:
    uint8_t bytes_[kMaxMessageLength] = {};
};

enum class MessageCheck {
    Ok,
    TooShort,        // fewer than 12 bytes
    TooLong,         // more than 8192 bytes
    BadMagic,
    LengthMismatch,  // the length field differs from the bytes received
};

// The test a reassembled message must pass before it is delivered: size is
// 12..8192, the magic is right and `length` equals size. The kind is not
// judged here; unknown kinds are the receiver's to ignore.
MessageCheck checkMessage(const uint8_t* bytes, size_t size);

// Bytes a kind parser may read: a message's buffer and how much of it is
// valid. From a PeerMessage that is its whole buffer; the header's length
// then tells how much is message.
struct MessageBytes {
    MessageBytes(const uint8_t* b, size_t n) : bytes(b), size(n) {}
    MessageBytes(const PeerMessage& m) : bytes(m.data()), size(m.capacity()) {}
    const uint8_t* bytes;
    size_t size;
};

// Common first step of every kind parser: the magic, a length that lies in
// minLength..8192 and within the available bytes, and the expected kind.
// On success `length` is the message length from the header.
bool openMessage(MessageBytes in, MessageKind kind, size_t& length);

// Queues and reassembly slots hold messages by value.
static_assert(sizeof(PeerMessage) == kMaxMessageLength, "PeerMessage is its bytes, nothing more");
