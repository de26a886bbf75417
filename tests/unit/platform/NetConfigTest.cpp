// Process-wide network overrides.
#include <gtest/gtest.h>

#include <string>

#include "platform/NetConfig.h"

TEST(PlatformNetConfig, ServiceOverrideIsAbsentUntilSetAndClearedByEmptyHost) {
    std::string host = "unchanged";
    uint16_t port = 1;
    EXPECT_FALSE(platform::serviceOverride(host, port));
    EXPECT_EQ(host, "unchanged");
    platform::setServiceOverride("127.0.0.5", 8080);
    ASSERT_TRUE(platform::serviceOverride(host, port));
    EXPECT_EQ(host, "127.0.0.5");
    EXPECT_EQ(port, 8080);
    platform::setServiceOverride("", 0);
    EXPECT_FALSE(platform::serviceOverride(host, port));
}

TEST(PlatformNetConfig, LocalAddressIsSetAndCleared) {
    const std::string before = platform::localAddress();  // the unit tests' own address
    platform::setLocalAddress("127.0.0.4");
    EXPECT_EQ(platform::localAddress(), "127.0.0.4");
    platform::setLocalAddress("");
    EXPECT_EQ(platform::localAddress(), "");
    platform::setLocalAddress(before);
}
