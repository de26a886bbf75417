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

TEST(PeerRateMeter, RateIsTheLastClosedWindowInBitsPerSecond) {
    RateMeter m;
    m.add(1000, 1e9);
    m.add(1500, 1.5e9);
    m.add(2500, 3e9);
    EXPECT_DOUBLE_EQ(20000.0, m.read());  // 5000 bytes over 2 s
    // The next window starts at 3 s with nothing in it; the rate holds
    // until that window spans a second.
    m.add(4000, 3.5e9);
    EXPECT_DOUBLE_EQ(20000.0, m.read());
    m.add(0, 4e9);
    EXPECT_DOUBLE_EQ(32000.0, m.read());
    m.reset();
    EXPECT_EQ(0.0, m.read());
}
