#include "trvcore/trvnetwork/FileMessages.h"

#include <cstring>

#include "trvcore/trvnetwork/WireBytes.h"

namespace {

// FileOffer field offsets (12..15 and 28..31 reserved).
constexpr size_t kOfferFileSizeAt = 16;
constexpr size_t kOfferTransferIdAt = 24;

// FileChunk field offsets (12..15 reserved).
constexpr size_t kChunkFileSizeAt = 16;
constexpr size_t kChunkOffsetAt = 24;
constexpr size_t kChunkTransferIdAt = 32;
constexpr size_t kChunkLengthAt = 36;
constexpr size_t kChunkAbortedAt = 40;
constexpr size_t kChunkChecksumAt = 44;

// FileControl field offsets (12..15 and 36..39 reserved).
constexpr size_t kControlOffsetAt = 16;
constexpr size_t kControlTransferIdAt = 24;
constexpr size_t kControlLengthAt = 28;
constexpr size_t kControlStatusAt = 32;

bool isFileChunk(const PeerMessage& m) {
    return m.kind() == static_cast<uint8_t>(MessageKind::FileChunk) &&
           m.length() >= kFileChunkHeaderSize;
}

}  // namespace

bool buildFileOffer(PeerMessage& m, uint64_t fileSize, uint32_t transferId, const char* name,
                    size_t nameLength) {
    if (nameLength > kMaxFileNameLength || (!name && nameLength)) return false;
    if (nameLength && std::memchr(name, 0, nameLength)) return false;
    m.begin(MessageKind::FileOffer, kFileOfferNameOffset + nameLength + 1);
    uint8_t* b = m.data();
    const size_t n = m.capacity();
    wire::writeU64(b, n, kOfferFileSizeAt, fileSize);
    wire::writeU32(b, n, kOfferTransferIdAt, transferId);
    if (nameLength) std::memcpy(b + kFileOfferNameOffset, name, nameLength);
    return true;  // the terminator is already 0 from begin
}

bool parseFileOffer(MessageBytes in, FileOfferView& out) {
    size_t length;
    if (!openMessage(in, MessageKind::FileOffer, length)) return false;
    const uint8_t* b = in.bytes;
    const uint8_t* name = b + kFileOfferNameOffset;
    const void* end = std::memchr(name, 0, length - kFileOfferNameOffset);
    if (!end) return false;
    FileOfferView v;
    wire::readU64(b, length, kOfferFileSizeAt, v.fileSize);
    wire::readU32(b, length, kOfferTransferIdAt, v.transferId);
    v.name = reinterpret_cast<const char*>(name);
    v.nameLength = static_cast<size_t>(static_cast<const uint8_t*>(end) - name);
    out = v;
    return true;
}

bool FileChunkView::checksumMatches() const {
    return data && fileChunkChecksum(data, fields.chunkLength) == fields.checksum;
}

uint32_t fileChunkChecksum(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; data && i < length; ++i) sum += data[i];
    return sum;
}

uint8_t* beginFileChunk(PeerMessage& m, uint64_t fileSize, uint64_t chunkOffset,
                        uint32_t transferId, uint32_t chunkLength) {
    if (chunkLength == 0 || chunkLength > kMaxFileChunkData) return nullptr;
    m.begin(MessageKind::FileChunk, kFileChunkHeaderSize + chunkLength);
    uint8_t* b = m.data();
    const size_t n = m.capacity();
    wire::writeU64(b, n, kChunkFileSizeAt, fileSize);
    wire::writeU64(b, n, kChunkOffsetAt, chunkOffset);
    wire::writeU32(b, n, kChunkTransferIdAt, transferId);
    wire::writeU32(b, n, kChunkLengthAt, chunkLength);
    return b + kFileChunkHeaderSize;
}

bool sealFileChunk(PeerMessage& m) {
    uint32_t chunkLength = 0;
    wire::readU32(m.data(), m.capacity(), kChunkLengthAt, chunkLength);
    if (!isFileChunk(m) || kFileChunkHeaderSize + size_t(chunkLength) > m.length()) return false;
    uint32_t sum = fileChunkChecksum(m.data() + kFileChunkHeaderSize, chunkLength);
    return wire::writeU32(m.data(), m.capacity(), kChunkChecksumAt, sum);
}

bool markFileChunkAborted(PeerMessage& m) {
    if (!isFileChunk(m)) return false;
    return wire::writeU32(m.data(), m.capacity(), kChunkAbortedAt, 1);
}

bool buildFileChunk(PeerMessage& m, uint64_t fileSize, uint64_t chunkOffset,
                    uint32_t transferId, const uint8_t* data, size_t length) {
    if (!data || length > kMaxFileChunkData) return false;
    uint8_t* at =
        beginFileChunk(m, fileSize, chunkOffset, transferId, static_cast<uint32_t>(length));
    if (!at) return false;
    std::memcpy(at, data, length);
    return sealFileChunk(m);
}

bool buildFileAbortNotice(PeerMessage& m, uint32_t transferId) {
    m.begin(MessageKind::FileChunk, kFileChunkHeaderSize);
    wire::writeU32(m.data(), m.capacity(), kChunkTransferIdAt, transferId);
    return markFileChunkAborted(m);
}

bool parseFileChunk(MessageBytes in, FileChunkView& out) {
    size_t length;
    if (!openMessage(in, MessageKind::FileChunk, length)) return false;
    const uint8_t* b = in.bytes;
    FileChunkView v;
    wire::readU32(b, length, kChunkAbortedAt, v.fields.aborted);
    if (v.fields.aborted > 1) return false;
    wire::readU32(b, length, kChunkLengthAt, v.fields.chunkLength);
    if (!v.fields.aborted) {
        if (v.fields.chunkLength == 0 || v.fields.chunkLength > kMaxFileChunkData ||
            kFileChunkHeaderSize + size_t(v.fields.chunkLength) > length)
            return false;
        v.data = b + kFileChunkHeaderSize;
    }
    wire::readU64(b, length, kChunkFileSizeAt, v.fields.fileSize);
    wire::readU64(b, length, kChunkOffsetAt, v.fields.chunkOffset);
    wire::readU32(b, length, kChunkTransferIdAt, v.fields.transferId);
    wire::readU32(b, length, kChunkChecksumAt, v.fields.checksum);
    out = v;
    return true;
}

bool buildFileControl(PeerMessage& m, const FileControlFields& f) {
    const bool request = f.status == static_cast<uint32_t>(FileControlStatus::Request);
    m.begin(MessageKind::FileControl, kFileControlSize);
    uint8_t* b = m.data();
    const size_t n = m.capacity();
    wire::writeU64(b, n, kControlOffsetAt, request ? f.chunkOffset : 0);
    wire::writeU32(b, n, kControlTransferIdAt, f.transferId);
    wire::writeU32(b, n, kControlLengthAt, request ? f.chunkLength : 0);
    wire::writeU32(b, n, kControlStatusAt, f.status);
    return true;
}

bool parseFileControl(MessageBytes in, FileControlFields& out) {
    size_t length;
    if (!openMessage(in, MessageKind::FileControl, length)) return false;
    const uint8_t* b = in.bytes;
    FileControlFields f;
    wire::readU64(b, length, kControlOffsetAt, f.chunkOffset);
    wire::readU32(b, length, kControlTransferIdAt, f.transferId);
    wire::readU32(b, length, kControlLengthAt, f.chunkLength);
    wire::readU32(b, length, kControlStatusAt, f.status);
    out = f;
    return true;
}
