#include "trvcore/trvnetwork/Datagram.h"

#include <cstring>

#include "trvcore/trvnetwork/WireBytes.h"

namespace {

// Header field offsets.
constexpr size_t kMagic1At = 0;
constexpr size_t kMagic2At = 1;
constexpr size_t kLengthAt = 2;
constexpr size_t kNumberAt = 4;
constexpr size_t kOffsetAt = 6;
constexpr size_t kReservedAt = 8;
constexpr size_t kFlagsAt = 9;
// Control datagram fields after the header.
constexpr size_t kSignatureAAt = 10;
constexpr size_t kSignatureBAt = 11;
constexpr size_t kControlValueAt = 12;

struct ControlSignature {
    DatagramType type;
    uint16_t messageNumber;
    uint8_t flags;
    uint8_t byte10;
    uint8_t byte11;
};

constexpr ControlSignature kControlSignatures[] = {
    {DatagramType::HolePunch, kHolePunchNumber, kHolePunchFlags, 0xA9, 0x6D},
    {DatagramType::PortQuery, kPortQueryNumber, kPortQueryFlags, 0x3C, 0xF0},
    {DatagramType::PortReply, kPortReplyNumber, kPortReplyFlags, 0xA1, 0x1E},
};

const ControlSignature* signatureOf(DatagramType type) {
    for (const ControlSignature& s : kControlSignatures)
        if (s.type == type) return &s;
    return nullptr;
}

size_t buildControl(uint8_t* buf, size_t size, DatagramType type, uint16_t value) {
    const ControlSignature* s = signatureOf(type);
    if (!s || !buf || size < kControlDatagramSize) return 0;
    DatagramHeader h;
    h.datagramLength = kControlDatagramSize;
    h.messageNumber = s->messageNumber;
    h.fragmentFlags = s->flags;
    writeDatagramHeader(buf, size, h);
    wire::writeU8(buf, size, kSignatureAAt, s->byte10);
    wire::writeU8(buf, size, kSignatureBAt, s->byte11);
    wire::writeU16(buf, size, kControlValueAt, value);
    return kControlDatagramSize;
}

}  // namespace

bool writeDatagramHeader(uint8_t* buf, size_t size, const DatagramHeader& h) {
    if (!buf || size < kDatagramHeaderSize) return false;
    wire::writeU8(buf, size, kMagic1At, kDatagramMagic1);
    wire::writeU8(buf, size, kMagic2At, kDatagramMagic2);
    wire::writeU16(buf, size, kLengthAt, h.datagramLength);
    wire::writeU16(buf, size, kNumberAt, h.messageNumber);
    wire::writeU16(buf, size, kOffsetAt, h.fragmentOffset);
    wire::writeU8(buf, size, kReservedAt, h.reserved);
    wire::writeU8(buf, size, kFlagsAt, h.fragmentFlags);
    return true;
}

bool readDatagramHeader(const uint8_t* buf, size_t size, DatagramHeader& h) {
    if (!buf || size < kDatagramHeaderSize || size > kMaxDatagramSize) return false;
    if (buf[kMagic1At] != kDatagramMagic1 || buf[kMagic2At] != kDatagramMagic2) return false;
    DatagramHeader r;
    wire::readU16(buf, size, kLengthAt, r.datagramLength);
    if (r.datagramLength != size) return false;
    wire::readU16(buf, size, kNumberAt, r.messageNumber);
    wire::readU16(buf, size, kOffsetAt, r.fragmentOffset);
    wire::readU8(buf, size, kReservedAt, r.reserved);
    wire::readU8(buf, size, kFlagsAt, r.fragmentFlags);
    h = r;
    return true;
}

DatagramType classifyDatagram(const uint8_t* buf, size_t size) {
    DatagramHeader h;
    if (!readDatagramHeader(buf, size, h)) return DatagramType::Invalid;
    if (size < kFragmentOverhead) return DatagramType::Invalid;
    if (size == kControlDatagramSize && h.fragmentOffset == 0) {
        for (const ControlSignature& s : kControlSignatures) {
            if (h.messageNumber == s.messageNumber && h.fragmentFlags == s.flags &&
                buf[kSignatureAAt] == s.byte10 && buf[kSignatureBAt] == s.byte11)
                return s.type;
        }
    }
    return DatagramType::Fragment;
}

size_t buildHolePunch(uint8_t* buf, size_t size) {
    return buildControl(buf, size, DatagramType::HolePunch, kControlDatagramTag);
}

size_t buildPortQuery(uint8_t* buf, size_t size) {
    return buildControl(buf, size, DatagramType::PortQuery, kControlDatagramTag);
}

size_t buildPortReply(uint8_t* buf, size_t size, uint16_t port) {
    return buildControl(buf, size, DatagramType::PortReply, port);
}

bool readPortReply(const uint8_t* buf, size_t size, uint16_t& port) {
    if (classifyDatagram(buf, size) != DatagramType::PortReply) return false;
    return wire::readU16(buf, size, kControlValueAt, port);
}

FragmentStatus parseFragment(const uint8_t* buf, size_t size, Fragment& out) {
    if (classifyDatagram(buf, size) != DatagramType::Fragment) return FragmentStatus::NotFragment;
    DatagramHeader h;
    readDatagramHeader(buf, size, h);
    Fragment f;
    f.messageNumber = h.messageNumber;
    f.offset = h.fragmentOffset;
    f.isLast = (h.fragmentFlags & kLastFragmentFlag) != 0;
    f.payload = buf + kDatagramHeaderSize;
    f.payloadLength = size - kFragmentOverhead;
    out = f;
    if (f.payloadLength == 0 || f.end() > kMaxMessageLength) return FragmentStatus::BadRange;
    return FragmentStatus::Ok;
}

size_t fragmentCount(size_t messageLength) {
    if (messageLength == 0 || messageLength > kMaxMessageLength) return 0;
    return (messageLength + kMaxFragmentPayload - 1) / kMaxFragmentPayload;
}

bool fragmentSlice(size_t messageLength, size_t index, FragmentSlice& out) {
    size_t count = fragmentCount(messageLength);
    if (index >= count) return false;
    size_t offset = index * kMaxFragmentPayload;
    size_t length = messageLength - offset;
    if (length > kMaxFragmentPayload) length = kMaxFragmentPayload;
    out.offset = static_cast<uint16_t>(offset);
    out.length = static_cast<uint16_t>(length);
    out.isLast = index + 1 == count;
    return true;
}

size_t buildFragmentDatagram(uint8_t* out, size_t outSize, const uint8_t* message,
                             size_t messageLength, uint16_t messageNumber, size_t index) {
    FragmentSlice slice;
    if (!out || !message || !fragmentSlice(messageLength, index, slice)) return 0;
    size_t total = slice.length + kFragmentOverhead;
    if (outSize < total) return 0;
    DatagramHeader h;
    h.datagramLength = static_cast<uint16_t>(total);
    h.messageNumber = messageNumber;
    h.fragmentOffset = slice.offset;
    h.fragmentFlags = slice.isLast ? kLastFragmentFlag : 0;
    writeDatagramHeader(out, outSize, h);
    std::memcpy(out + kDatagramHeaderSize, message + slice.offset, slice.length);
    std::memset(out + kDatagramHeaderSize + slice.length, 0, kDatagramTrailerSize);
    return total;
}
