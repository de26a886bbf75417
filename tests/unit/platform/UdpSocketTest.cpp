// UDP socket on loopback aliases, waiting, and address helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/NetConfig.h"
#include "platform/Socket.h"

using platform::IoResult;
using platform::UdpSocket;

namespace {

class PlatformUdp : public ::testing::Test {
protected:
    void TearDown() override { platform::setLocalAddress(""); }

    static uint32_t ip(const char* text) {
        uint32_t a = 0;
        EXPECT_TRUE(platform::parseIpv4(text, a));
        return a;
    }
    // Opens a socket on an ephemeral port of the given local address.
    static void openOn(UdpSocket& s, const char* local) {
        platform::setLocalAddress(local);
        ASSERT_TRUE(s.open(0)) << "errno " << s.lastError();
        ASSERT_NE(s.boundPort(), 0);
    }
};

}  // namespace

TEST(PlatformIpv4, ParsesAndFormatsDottedQuadsInHostOrder) {
    uint32_t a = 0;
    ASSERT_TRUE(platform::parseIpv4("127.0.0.2", a));
    EXPECT_EQ(a, 0x7F000002u);
    EXPECT_EQ(platform::formatIpv4(0xC0000201u), "192.0.2.1");
    EXPECT_EQ(platform::formatIpv4(0xFFFFFFFFu), "255.255.255.255");
    for (const char* bad : {"", "198.51.100", "256.1.1.1", "198.51.100.4.5", "localhost", " 198.51.100.4"})
        EXPECT_FALSE(platform::parseIpv4(bad, a)) << bad;
    EXPECT_FALSE(platform::parseIpv4(nullptr, a));
}

TEST(PlatformIpv4, ResolvesDottedQuadsAndLocalhost) {
    uint32_t a = 0;
    ASSERT_TRUE(platform::resolveIpv4("127.0.0.9", a));
    EXPECT_EQ(a, 0x7F000009u);
    ASSERT_TRUE(platform::resolveIpv4("localhost", a));
    EXPECT_EQ(a >> 24, 127u);
    EXPECT_FALSE(platform::resolveIpv4("", a));
    EXPECT_FALSE(platform::resolveIpv4(nullptr, a));
}

TEST_F(PlatformUdp, DatagramTravelsBetweenLoopbackAliasesWithSenderAddress) {
    UdpSocket a, b;
    openOn(a, "127.0.0.2");
    openOn(b, "127.0.0.3");
    const uint8_t msg[] = {0xB6, 0xE9, 0xF4, 1, 2, 3};
    ASSERT_EQ(a.sendTo(msg, sizeof msg, ip("127.0.0.3"), b.boundPort()), IoResult::Ok);

    platform::AutoResetEvent wake;
    EXPECT_TRUE(b.waitFor(wake, false, 2000) & platform::WaitReadable);
    uint8_t buf[64];
    size_t n = 0;
    uint32_t from = 0;
    uint16_t port = 0;
    ASSERT_EQ(b.receiveFrom(buf, sizeof buf, n, from, port), IoResult::Ok);
    EXPECT_EQ(n, sizeof msg);
    EXPECT_EQ(0, std::memcmp(buf, msg, sizeof msg));
    EXPECT_EQ(from, ip("127.0.0.2"));
    EXPECT_EQ(port, a.boundPort());
    EXPECT_EQ(b.receiveFrom(buf, sizeof buf, n, from, port), IoResult::WouldBlock);
}

TEST_F(PlatformUdp, ReceiveWithNothingPendingWouldBlock) {
    UdpSocket s;
    openOn(s, "127.0.0.2");
    uint8_t buf[16];
    size_t n = 99;
    uint32_t from = 0;
    uint16_t port = 0;
    EXPECT_EQ(s.receiveFrom(buf, sizeof buf, n, from, port), IoResult::WouldBlock);
    EXPECT_EQ(n, 0u);
}

TEST_F(PlatformUdp, DatagramLargerThanBufferIsAnErrorNotAPartialMessage) {
    UdpSocket a, b;
    openOn(a, "127.0.0.2");
    openOn(b, "127.0.0.3");
    uint8_t big[600] = {};
    ASSERT_EQ(a.sendTo(big, sizeof big, ip("127.0.0.3"), b.boundPort()), IoResult::Ok);
    platform::AutoResetEvent wake;
    ASSERT_TRUE(b.waitFor(wake, false, 2000) & platform::WaitReadable);
    uint8_t small[512];
    size_t n = 0;
    uint32_t from = 0;
    uint16_t port = 0;
    EXPECT_EQ(b.receiveFrom(small, sizeof small, n, from, port), IoResult::Error);
    EXPECT_EQ(n, 0u);
    // The socket carries on.
    ASSERT_EQ(a.sendTo(big, 10, ip("127.0.0.3"), b.boundPort()), IoResult::Ok);
    ASSERT_TRUE(b.waitFor(wake, false, 2000) & platform::WaitReadable);
    EXPECT_EQ(b.receiveFrom(small, sizeof small, n, from, port), IoResult::Ok);
    EXPECT_EQ(n, 10u);
}

TEST_F(PlatformUdp, SecondBindToSamePortFails) {
    UdpSocket a, b;
    openOn(a, "127.0.0.2");
    platform::setLocalAddress("127.0.0.2");
    EXPECT_FALSE(b.open(a.boundPort()));
    EXPECT_FALSE(b.isOpen());
    EXPECT_NE(b.lastError(), 0);
}

TEST_F(PlatformUdp, UnparsableLocalAddressRefusesToOpen) {
    UdpSocket s;
    platform::setLocalAddress("not-an-address");
    EXPECT_FALSE(s.open(0));
    EXPECT_FALSE(s.isOpen());
}

TEST_F(PlatformUdp, WaitForIsWokenByTheEventAndConsumesIt) {
    UdpSocket s;
    openOn(s, "127.0.0.2");
    platform::AutoResetEvent wake;
    wake.set();
    EXPECT_EQ(s.waitFor(wake, false, 2000), platform::WaitWoken);
    EXPECT_FALSE(wake.wait(0u));

    std::thread t([&] {
        platform::sleepMilliseconds(30);
        wake.set();
    });
    EXPECT_EQ(s.waitFor(wake, false, -1), platform::WaitWoken);
    t.join();
}

TEST_F(PlatformUdp, WaitForIsWokenByADatagramFromAnotherThread) {
    UdpSocket a, b;
    openOn(a, "127.0.0.2");
    openOn(b, "127.0.0.3");
    const uint16_t port = b.boundPort();
    std::thread t([&] {
        platform::sleepMilliseconds(30);
        const uint8_t one = 1;
        a.sendTo(&one, 1, 0x7F000003u, port);
    });
    platform::AutoResetEvent wake;
    EXPECT_EQ(b.waitFor(wake, false, 2000), platform::WaitReadable);
    t.join();
}

TEST_F(PlatformUdp, WaitForTimesOutAndReportsWritableWhenAsked) {
    UdpSocket s;
    openOn(s, "127.0.0.2");
    platform::AutoResetEvent wake;
    EXPECT_EQ(s.waitFor(wake, false, 30), platform::WaitTimeout);
    EXPECT_EQ(s.waitFor(wake, true, 1000), platform::WaitWritable);
}

TEST_F(PlatformUdp, ClosedSocketReportsErrors) {
    UdpSocket s;
    platform::AutoResetEvent wake;
    EXPECT_FALSE(s.isOpen());
    EXPECT_EQ(s.waitFor(wake, false, 0), platform::WaitError);
    const uint8_t one = 1;
    EXPECT_EQ(s.sendTo(&one, 1, 0x7F000001u, 9), IoResult::Error);
}
