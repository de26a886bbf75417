#include "trvcore/trvnetwork/PeerMessage.h"

#include <cstring>

#include "trvcore/trvnetwork/WireBytes.h"

namespace {

bool magicAt(const uint8_t* b) {
    return b[0] == kMessageMagic0 && b[1] == kMessageMagic1 && b[2] == kMessageMagic2;
}

}  // namespace

bool PeerMessage::begin(uint8_t kind, size_t length) {
    if (length < kMessageHeaderSize || length > kMaxMessageLength) return false;
    std::memset(bytes_, 0, length);
    writeMagic();
    setKind(kind);
    setLength(length);
    return true;
}

bool PeerMessage::assign(const uint8_t* bytes, size_t size) {
    if (size > kMaxMessageLength || (!bytes && size)) return false;
    if (size) std::memcpy(bytes_, bytes, size);
    return true;
}

uint16_t PeerMessage::length() const {
    uint16_t v = 0;
    wire::readU16(bytes_, sizeof bytes_, kMessageLengthAt, v);
    return v;
}

bool PeerMessage::setLength(size_t length) {
    if (length > kMaxMessageLength) return false;
    return wire::writeU16(bytes_, sizeof bytes_, kMessageLengthAt, static_cast<uint16_t>(length));
}

bool PeerMessage::hasMagic() const { return magicAt(bytes_); }

void PeerMessage::writeMagic() {
    bytes_[0] = kMessageMagic0;
    bytes_[1] = kMessageMagic1;
    bytes_[2] = kMessageMagic2;
}

MessageCheck checkMessage(const uint8_t* bytes, size_t size) {
    if (!bytes || size < kMessageHeaderSize) return MessageCheck::TooShort;
    if (size > kMaxMessageLength) return MessageCheck::TooLong;
    if (!magicAt(bytes)) return MessageCheck::BadMagic;
    uint16_t length = 0;
    wire::readU16(bytes, size, kMessageLengthAt, length);
    if (length != size) return MessageCheck::LengthMismatch;
    return MessageCheck::Ok;
}

bool openMessage(MessageBytes in, MessageKind kind, size_t& length) {
    const MessageKindInfo* info = findMessageKind(static_cast<uint8_t>(kind));
    if (!info || !in.bytes || in.size < kMessageHeaderSize) return false;
    if (!magicAt(in.bytes) || in.bytes[kMessageKindAt] != static_cast<uint8_t>(kind)) return false;
    uint16_t declared = 0;
    wire::readU16(in.bytes, in.size, kMessageLengthAt, declared);
    if (declared < info->minLength || declared > kMaxMessageLength || declared > in.size)
        return false;
    length = declared;
    return true;
}
