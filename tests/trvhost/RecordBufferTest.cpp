#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/trvhost/HostTestSupport.h"
#include "tools/trvhost/RecordBuffer.h"

using namespace hosttest;

namespace {
constexpr size_t kChunk = RecordBuffer::kChunkFrames;

void appendRamp(RecordBuffer& r, size_t from, size_t frames) {
    std::vector<float> left(frames), right(frames);
    for (size_t f = 0; f < frames; ++f) {
        left[f] = static_cast<float>((from + f) % 977) / 977.0f;
        right[f] = -left[f];
    }
    r.append(left.data(), right.data(), frames);
}
}  // namespace

TEST(RecordBuffer, KeepsFramesAcrossChunksAndWritesThemInOrder) {
    const std::string path = tempPath("rec.wav");
    RecordBuffer r(path, 48000, 1u << 30);
    ASSERT_TRUE(r.reserveAhead(kChunk + 1000));
    // Odd pieces so that one crosses the chunk boundary.
    const size_t total = kChunk + 1000;
    for (size_t at = 0; at < total;) {
        const size_t n = std::min<size_t>(4099, total - at);
        appendRamp(r, at, n);
        at += n;
    }
    EXPECT_EQ(r.frames(), total);
    EXPECT_EQ(r.lostFrames(), 0u);
    std::string error;
    ASSERT_TRUE(r.writeWav(error)) << error;
    EXPECT_EQ(recordLine(r), path + ", " + std::to_string(total) + " frames");
    EXPECT_EQ(recordNote(r), "");
    const std::vector<float> back = readOutput(path, 1 << 24);
    ASSERT_EQ(back.size(), total * 2);
    for (size_t f = 0; f < total; ++f) {
        ASSERT_EQ(back[f * 2], static_cast<float>(f % 977) / 977.0f) << f;
        ASSERT_EQ(back[f * 2 + 1], -back[f * 2]) << f;
    }
}

TEST(RecordBuffer, FramesWithoutMemoryReadyAreCountedLost) {
    RecordBuffer r(tempPath("rec.wav"), 48000, 1u << 30);
    appendRamp(r, 0, 100);
    EXPECT_EQ(r.frames(), 0u);
    EXPECT_EQ(r.lostFrames(), 100u);
    ASSERT_TRUE(r.reserveAhead(10));
    appendRamp(r, 0, kChunk + 5);  // one chunk is ready, not two
    EXPECT_EQ(r.frames(), kChunk);
    EXPECT_EQ(r.lostFrames(), 105u);
    EXPECT_NE(recordNote(r).find("lost 105 frames"), std::string::npos) << recordNote(r);
}

TEST(RecordBuffer, StopsAtItsBound) {
    RecordBuffer r(tempPath("rec.wav"), 44100, 1000);
    ASSERT_TRUE(r.reserveAhead(1u << 20));  // capped at the bound
    appendRamp(r, 0, 1500);
    EXPECT_EQ(r.frames(), 1000u);
    EXPECT_EQ(r.framesOverBound(), 500u);
    EXPECT_EQ(r.lostFrames(), 0u);
    EXPECT_NE(recordNote(r).find("bound of 1000 frames"), std::string::npos) << recordNote(r);
    std::string error;
    ASSERT_TRUE(r.writeWav(error)) << error;
    EXPECT_EQ(readOutput(r.path(), 1 << 24, 44100).size(), 2000u);
}

TEST(RecordBuffer, AnUnwritablePathFails) {
    RecordBuffer r("/nonexistent-folder/rec.wav", 48000, 100);
    std::string error;
    EXPECT_FALSE(r.writeWav(error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
}
