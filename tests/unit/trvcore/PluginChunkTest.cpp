#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "trvcore/plugin/PluginChunk.h"

namespace {

TEST(PluginChunk, LayoutIsLittleEndianAtFixedOffsets) {
    PluginChunk chunk;
    PluginChunk::Contents c;
    c.flags = PluginChunk::kSend | PluginChunk::kThru | PluginChunk::kCompensateRecordOffset;
    c.codec = 34;
    c.upstream = 128.0;
    c.audioQuality = 0.5f;
    c.loginName = "alice";
    chunk.write(c);
    const uint8_t* b = chunk.data();
    const uint8_t head[] = {0x11, 0x27, 0, 0, 0x60, 0x11, 0, 0, 'n', 'V', 'R', 'T', 0x15, 0, 0, 0, 34, 0, 0, 0};
    EXPECT_EQ(std::memcmp(b, head, sizeof head), 0);
    const uint8_t upstream[] = {0, 0, 0, 0, 0, 0, 0x60, 0x40};  // 128.0
    EXPECT_EQ(std::memcmp(b + 32, upstream, 8), 0);
    const uint8_t quality[] = {0, 0, 0, 0x3F};  // 0.5f
    EXPECT_EQ(std::memcmp(b + 64, quality, 4), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(b + 96), "alice");
    for (int i = 224; i < PluginChunk::kSize; ++i) ASSERT_EQ(b[i], 0) << i;
    for (int i = 20; i < 32; ++i) ASSERT_EQ(b[i], 0) << i;
}

TEST(PluginChunk, AcceptsOnlyKnownVersionsSizesAndId) {
    PluginChunk chunk;
    chunk.write({});
    std::vector<uint8_t> bytes(chunk.data(), chunk.data() + PluginChunk::kSize);
    EXPECT_TRUE(PluginChunk::acceptable(bytes.data(), bytes.size()));
    EXPECT_FALSE(PluginChunk::acceptable(bytes.data(), bytes.size() - 1));
    EXPECT_FALSE(PluginChunk::acceptable(nullptr, 5000));

    std::vector<uint8_t> longer(bytes);
    longer.resize(5000, 0xAA);
    EXPECT_TRUE(PluginChunk::acceptable(longer.data(), longer.size()));

    auto withVersion = [&](int32_t v) {
        std::vector<uint8_t> b(bytes);
        std::memcpy(b.data(), &v, 4);
        return PluginChunk::acceptable(b.data(), b.size());
    };
    EXPECT_FALSE(withVersion(26));
    EXPECT_TRUE(withVersion(27));
    EXPECT_TRUE(withVersion(10001));
    EXPECT_FALSE(withVersion(10002));

    std::vector<uint8_t> foreign(bytes);
    foreign[8] = 'x';
    EXPECT_FALSE(PluginChunk::acceptable(foreign.data(), foreign.size()));
}

TEST(PluginChunk, NamesAreTruncatedAndAlwaysTerminated) {
    PluginChunk chunk;
    PluginChunk::Contents c;
    const std::string longName(300, 'q');
    c.loginName = longName.c_str();
    chunk.write(c);
    char out[PluginChunk::kNameBytes];
    chunk.loginName(out);
    EXPECT_EQ(std::string(out), std::string(127, 'q'));

    std::vector<uint8_t> raw(chunk.data(), chunk.data() + PluginChunk::kSize);
    std::memset(raw.data() + 96, 'z', 128);  // no terminator in the stored name
    chunk.assign(raw.data());
    chunk.loginName(out);
    EXPECT_EQ(std::string(out), std::string(127, 'z'));
}

}  // namespace
