// Opening web addresses: only http and https addresses reach the opener.
#include <gtest/gtest.h>

#include "platform/Shell.h"
#include "platform/WebAddress.h"

TEST(PlatformShell, OnlyHttpAndHttpsAddressesAreOpened) {
    EXPECT_TRUE(platform::isWebAddress("http://localhost/"));
    EXPECT_TRUE(platform::isWebAddress("HTTPS://example.invalid/a?b=c&d=%20"));
    EXPECT_FALSE(platform::isWebAddress(nullptr));
    EXPECT_FALSE(platform::isWebAddress(""));
    EXPECT_FALSE(platform::isWebAddress("http://"));
    EXPECT_FALSE(platform::isWebAddress("--help"));
    EXPECT_FALSE(platform::isWebAddress("file:///etc/passwd"));
    EXPECT_FALSE(platform::isWebAddress("C:\\Windows\\System32\\cmd.exe"));
    EXPECT_FALSE(platform::isWebAddress("http://x/\nrm -rf ~"));
    EXPECT_FALSE(platform::isWebAddress("http://x/ y"));
    EXPECT_FALSE(platform::isWebAddress("http://x/\"y"));
}

TEST(PlatformShell, RefusedAddressesAreReportedAsFailures) {
    EXPECT_FALSE(platform::openUrl(nullptr));
    EXPECT_FALSE(platform::openUrl("file:///etc/passwd"));
}
