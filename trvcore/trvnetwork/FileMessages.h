#pragma once
// The file transfer kinds: FileOffer (4), FileChunk (5), FileControl (17).
// Same rules as the media kinds: builders write whole messages, parsers
// check lengths and counts before reading and point into the parsed buffer.
#include <cstddef>
#include <cstdint>

#include "trvcore/trvnetwork/PeerMessage.h"

// FileOffer: fileSize at 16, transferId at 24, the NUL-terminated file name
// (without directory) at 32; length = 33 + name length.
struct FileOfferView {
    uint64_t fileSize = 0;
    uint32_t transferId = 0;
    const char* name = nullptr;  // NUL-terminated inside the message
    size_t nameLength = 0;
};

// name holds nameLength bytes without a terminator. False for a name with
// a NUL inside or longer than fits (8159 bytes).
bool buildFileOffer(PeerMessage& m, uint64_t fileSize, uint32_t transferId, const char* name,
                    size_t nameLength);
// False when no NUL ends the name within the message length.
bool parseFileOffer(MessageBytes in, FileOfferView& out);

// FileChunk: fileSize 16, chunkOffset 24, transferId 32, chunkLength 36,
// aborted 40, checksum 44, chunkLength data bytes from 48.
struct FileChunkFields {
    uint64_t fileSize = 0;
    uint64_t chunkOffset = 0;
    uint32_t transferId = 0;
    uint32_t chunkLength = 0;
    uint32_t aborted = 0;  // 0 data, 1 the sender stops the transfer
    uint32_t checksum = 0;
};

struct FileChunkView {
    FileChunkFields fields;
    const uint8_t* data = nullptr;  // null in an abort notice: its data is void
    bool isAbort() const { return fields.aborted != 0; }
    bool checksumMatches() const;
};

// Unsigned 32-bit sum of the bytes.
uint32_t fileChunkChecksum(const uint8_t* data, size_t length);

// Writes a data chunk's header for chunkLength (1..8144) bytes, sets the
// length to 48 + chunkLength and returns where the caller puts the data
// (read from the file straight into the message), or null. sealFileChunk
// then sets the checksum; markFileChunkAborted turns it into an abort
// notice instead (a failed read: the data is void).
uint8_t* beginFileChunk(PeerMessage& m, uint64_t fileSize, uint64_t chunkOffset,
                        uint32_t transferId, uint32_t chunkLength);
bool sealFileChunk(PeerMessage& m);
bool markFileChunkAborted(PeerMessage& m);
// begin + copy + seal in one.
bool buildFileChunk(PeerMessage& m, uint64_t fileSize, uint64_t chunkOffset,
                    uint32_t transferId, const uint8_t* data, size_t length);
// The bare abort notice: 48 bytes, aborted 1, only the transferId set.
bool buildFileAbortNotice(PeerMessage& m, uint32_t transferId);
// A data chunk needs 1..8144 data bytes inside the message length; an
// abort notice is accepted whatever its chunkLength, since its data is not
// read. aborted values other than 0 and 1 are rejected.
bool parseFileChunk(MessageBytes in, FileChunkView& out);

// FileControl: chunkOffset 16, transferId 24, chunkLength 28, status 32;
// 40 bytes.
struct FileControlFields {
    uint64_t chunkOffset = 0;  // 0 unless status is Request
    uint32_t transferId = 0;
    uint32_t chunkLength = 0;  // 0 unless status is Request
    uint32_t status = 0;       // FileControlStatus; other values are aborts
};

// Offset and length are written as 0 unless status is Request.
bool buildFileControl(PeerMessage& m, const FileControlFields& f);
bool parseFileControl(MessageBytes in, FileControlFields& out);
