// Rates over windows of at least one second.
#include <gtest/gtest.h>

#include "trvcore/trvnetwork/RateMeter.h"

TEST(PeerRateMeter, NoRateUntilAWindowSpansOneSecond) {
    RateMeter m;
    EXPECT_EQ(0.0, m.read());
    m.add(1000, 1e9);
    m.add(1000, 1.5e9);
    EXPECT_EQ(0.0, m.read());
}

TEST(PeerRateMeter, RateIsTheWindowsBytesOverItsSpanInBitsPerSecond) {
    RateMeter m;
    m.add(1000, 1e9);
    m.add(1500, 1.5e9);
    m.add(2500, 3e9);
    // 5000 bytes over 2 s.
    EXPECT_DOUBLE_EQ(20000.0, m.read());
}

TEST(PeerRateMeter, RateHoldsUntilTheNextWindowCloses) {
    RateMeter m;
    m.add(100, 1e9);
    m.add(900, 2e9);
    EXPECT_DOUBLE_EQ(8000.0, m.read());
    // The next window starts at 2 s with nothing in it.
    m.add(4000, 2.5e9);
    EXPECT_DOUBLE_EQ(8000.0, m.read());
    m.add(0, 3e9);
    EXPECT_DOUBLE_EQ(32000.0, m.read());
}

TEST(PeerRateMeter, ResetForgetsTheRate) {
    RateMeter m;
    m.add(100, 1e9);
    m.add(900, 2e9);
    m.read();
    m.reset();
    EXPECT_EQ(0.0, m.read());
}
