// FileOffer, FileChunk and FileControl on the wire.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/unit/trvnetwork/WireFields.h"
#include "trvcore/trvnetwork/FileMessages.h"

TEST(PeerFileOffer, NameMustBeTerminatedInsideTheLength) {
    PeerMessage m;
    ASSERT_TRUE(buildFileOffer(m, 0x123456789ull, 2, "take1.wav", 9));
    EXPECT_EQ(33 + 9, m.length());
    EXPECT_EQ(0x123456789ull, u64At(m, 16));
    EXPECT_EQ(2u, u32At(m, 24));
    FileOfferView v;
    ASSERT_TRUE(parseFileOffer(m, v));
    EXPECT_EQ(9u, v.nameLength);
    EXPECT_STREQ("take1.wav", v.name);
    m.data()[41] = 'x';  // the terminator
    EXPECT_FALSE(parseFileOffer(m, v));
    EXPECT_FALSE(buildFileOffer(m, 10, 2, "a\0b", 3));
}

TEST(PeerFileChunk, FieldsSitAtTheirOffsetsAndTheChecksumSumsUnsignedBytes) {
    uint8_t data[300];
    std::memset(data, 0xFF, sizeof data);
    PeerMessage m;
    ASSERT_TRUE(buildFileChunk(m, 100000, 4096, 3, data, sizeof data));
    EXPECT_EQ(348, m.length());
    EXPECT_EQ(4096u, u64At(m, 24));
    EXPECT_EQ(3u, u32At(m, 32));
    EXPECT_EQ(300u, u32At(m, 36));
    EXPECT_EQ(300u * 255u, u32At(m, 44));
    FileChunkView v;
    ASSERT_TRUE(parseFileChunk(m, v));
    EXPECT_FALSE(v.isAbort());
    EXPECT_TRUE(v.checksumMatches());
    m.data()[48 + 299] = 0xFE;
    ASSERT_TRUE(parseFileChunk(m, v));
    EXPECT_FALSE(v.checksumMatches());
}

TEST(PeerFileChunk, ChunkReadStraightIntoTheMessageMustFitInIt) {
    PeerMessage m;
    uint8_t* at = beginFileChunk(m, 1 << 20, 0, 2, 8144);
    ASSERT_NE(nullptr, at);
    EXPECT_EQ(8192, m.length());
    at[8143] = 200;
    ASSERT_TRUE(sealFileChunk(m));
    EXPECT_EQ(200u, u32At(m, 44));
    EXPECT_EQ(nullptr, beginFileChunk(m, 1 << 20, 0, 2, 8145));
    EXPECT_EQ(nullptr, beginFileChunk(m, 1 << 20, 0, 2, 0));
}

TEST(PeerFileChunk, LengthFieldBeyondTheMessageIsRefused) {
    uint8_t data[16] = {};
    PeerMessage m;
    buildFileChunk(m, 64, 0, 2, data, sizeof data);
    wire::writeU32(m.data(), m.capacity(), 36, 17);
    FileChunkView v;
    EXPECT_FALSE(parseFileChunk(m, v));
    wire::writeU32(m.data(), m.capacity(), 36, 0);
    EXPECT_FALSE(parseFileChunk(m, v));  // a data chunk without data
}

TEST(PeerFileChunk, AbortNoticesParseWithoutData) {
    PeerMessage m;
    ASSERT_TRUE(buildFileAbortNotice(m, 7));
    EXPECT_EQ(48, m.length());
    FileChunkView v;
    ASSERT_TRUE(parseFileChunk(m, v));
    EXPECT_TRUE(v.isAbort());
    EXPECT_EQ(7u, v.fields.transferId);
    // After a failed read the chunk goes out marked aborted, its data void.
    beginFileChunk(m, 4096, 2048, 7, 2048);
    ASSERT_TRUE(markFileChunkAborted(m));
    ASSERT_TRUE(parseFileChunk(m, v));
    EXPECT_EQ(nullptr, v.data);
    wire::writeU32(m.data(), m.capacity(), 40, 2);
    EXPECT_FALSE(parseFileChunk(m, v));
}

TEST(PeerFileControl, OnlyRequestsCarryOffsetAndLength) {
    PeerMessage m;
    FileControlFields f{1ull << 33, 4, 2048, 0};
    ASSERT_TRUE(buildFileControl(m, f));
    EXPECT_EQ(1ull << 33, u64At(m, 16));
    EXPECT_EQ(2048u, u32At(m, 28));
    f.status = static_cast<uint32_t>(FileControlStatus::Complete);
    buildFileControl(m, f);
    FileControlFields back;
    ASSERT_TRUE(parseFileControl(m, back));
    EXPECT_EQ(0u, back.chunkOffset);
    EXPECT_EQ(0u, back.chunkLength);
    EXPECT_EQ(4u, back.transferId);
    EXPECT_EQ(2u, u32At(m, 32));
}
