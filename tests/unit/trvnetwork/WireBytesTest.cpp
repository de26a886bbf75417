// Little-endian field access with bounds.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>

#include "trvcore/trvnetwork/WireBytes.h"

TEST(WireBytes, WritesLeastSignificantByteFirstWhateverTheHost) {
    uint8_t b[8] = {};
    ASSERT_TRUE(wire::writeU32(b, sizeof b, 1, 0x11223344u));
    const uint8_t expected[8] = {0, 0x44, 0x33, 0x22, 0x11, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(b, expected, sizeof b));
}

TEST(WireBytes, FieldMustLieWhollyInsideTheBufferAndFailuresTouchNothing) {
    uint8_t b[6] = {1, 2, 3, 4, 5, 6};
    uint32_t v = 0;
    EXPECT_TRUE(wire::readU32(b, sizeof b, 2, v));
    EXPECT_EQ(0x06050403u, v);
    v = 0xDEADBEEF;
    EXPECT_FALSE(wire::readU32(b, sizeof b, 3, v));
    EXPECT_EQ(0xDEADBEEFu, v);
    EXPECT_FALSE(wire::writeU16(b, sizeof b, 5, 0xFFFF));
    EXPECT_EQ(6, b[5]);
    uint16_t w;
    EXPECT_FALSE(wire::readU16(b, sizeof b, std::numeric_limits<size_t>::max(), w));
    EXPECT_FALSE(wire::writeU64(nullptr, 64, 0, 1));
}
