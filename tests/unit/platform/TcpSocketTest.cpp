// TCP client socket against loopback listeners made with raw sockets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/Clock.h"
#include "platform/NetConfig.h"
#include "platform/Socket.h"

using platform::TcpSocket;

namespace {

// A listening socket on 127.0.0.1 with an ephemeral port.
struct Listener {
    explicit Listener(int backlog = 4) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0) {
            ::close(fd);
            fd = -1;
            return;
        }
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener() {
        if (fd >= 0) ::close(fd);
    }
    // Accepts one connection; the peer address lands in `from`.
    int accept(uint32_t* from = nullptr) {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        int c = ::accept(fd, reinterpret_cast<sockaddr*>(&a), &len);
        if (from) *from = ntohl(a.sin_addr.s_addr);
        return c;
    }
    int fd = -1;
    uint16_t port = 0;
};

class PlatformTcp : public ::testing::Test {
protected:
    void TearDown() override { platform::setLocalAddress(""); }
};

}  // namespace

TEST_F(PlatformTcp, ConnectsAndExchangesBytesBothWays) {
    Listener l;
    ASSERT_GE(l.fd, 0);
    TcpSocket s;
    ASSERT_TRUE(s.connect("127.0.0.1", l.port, 2000)) << "errno " << s.lastError();
    EXPECT_TRUE(s.isOpen());
    int peer = l.accept();
    ASSERT_GE(peer, 0);

    const std::string request = "POST / HTTP/1.0\r\n\r\n";
    ASSERT_TRUE(s.sendAll(request.data(), request.size()));
    char buf[128] = {};
    size_t got = 0;
    while (got < request.size()) {
        ssize_t n = ::recv(peer, buf + got, sizeof buf - got, 0);
        ASSERT_GT(n, 0);
        got += static_cast<size_t>(n);
    }
    EXPECT_EQ(std::string(buf, got), request);

    EXPECT_FALSE(s.readable(20));
    ASSERT_EQ(::send(peer, "reply", 5, 0), 5);
    EXPECT_TRUE(s.readable(2000));
    char in[16] = {};
    EXPECT_EQ(s.receive(in, sizeof in), 5);
    EXPECT_EQ(std::string(in, 5), "reply");

    ::close(peer);
    EXPECT_TRUE(s.readable(2000));  // end of stream is readable
    EXPECT_EQ(s.receive(in, sizeof in), 0);
}

TEST_F(PlatformTcp, ReceiveTimesOutWhenPeerStaysSilent) {
    Listener l;
    ASSERT_GE(l.fd, 0);
    TcpSocket s;
    s.setReceiveTimeout(100);  // set before connect, kept for the connection
    ASSERT_TRUE(s.connect("127.0.0.1", l.port, 2000));
    int peer = l.accept();
    ASSERT_GE(peer, 0);
    char in[8];
    const uint32_t start = platform::tickCount();
    EXPECT_EQ(s.receive(in, sizeof in), -1);
    const uint32_t elapsed = platform::tickCount() - start;
    EXPECT_GE(elapsed, 80u);
    EXPECT_LT(elapsed, 2000u);
    EXPECT_NE(s.lastError(), 0);
    ::close(peer);
}

TEST_F(PlatformTcp, ConnectToClosedPortFailsFast) {
    uint16_t port = 0;
    {
        Listener l;  // take a free port, then close it again
        ASSERT_GE(l.fd, 0);
        port = l.port;
    }
    TcpSocket s;
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(s.connect("127.0.0.1", port, 3000));
    EXPECT_LT(static_cast<uint32_t>(platform::tickCount() - start), 1000u);
    EXPECT_FALSE(s.isOpen());
    EXPECT_NE(s.lastError(), 0);
}

TEST_F(PlatformTcp, ConnectGivesUpAfterItsTimeoutWhenNoAnswerComes) {
    // A listener whose accept queue is full drops further connection
    // requests, so the handshake never completes.
    Listener l(0);
    ASSERT_GE(l.fd, 0);
    TcpSocket fill[3];
    for (auto& f : fill) f.connect("127.0.0.1", l.port, 100);
    TcpSocket s;
    const uint32_t start = platform::tickCount();
    const bool connected = s.connect("127.0.0.1", l.port, 300);
    const uint32_t elapsed = platform::tickCount() - start;
    if (connected) GTEST_SKIP() << "kernel accepted beyond the backlog";
    EXPECT_GE(elapsed, 250u);
    EXPECT_LT(elapsed, 2000u);
}

TEST_F(PlatformTcp, BindsToTheConfiguredLocalAddress) {
    Listener l;
    ASSERT_GE(l.fd, 0);
    platform::setLocalAddress("127.0.0.2");
    TcpSocket s;
    ASSERT_TRUE(s.connect("127.0.0.1", l.port, 2000)) << "errno " << s.lastError();
    uint32_t from = 0;
    int peer = l.accept(&from);
    ASSERT_GE(peer, 0);
    EXPECT_EQ(from, 0x7F000002u);
    ::close(peer);
}

TEST_F(PlatformTcp, SendingToAClosedPeerFailsWithoutSigpipe) {
    Listener l;
    ASSERT_GE(l.fd, 0);
    TcpSocket s;
    ASSERT_TRUE(s.connect("127.0.0.1", l.port, 2000));
    int peer = l.accept();
    ASSERT_GE(peer, 0);
    ::close(peer);
    char block[4096] = {};
    bool failed = false;
    for (int i = 0; i < 200 && !failed; ++i) {
        failed = !s.sendAll(block, sizeof block);
        if (!failed) platform::sleepMilliseconds(2);
    }
    EXPECT_TRUE(failed);  // and the process is still here
}

TEST_F(PlatformTcp, UnresolvableHostFails) {
    TcpSocket s;
    EXPECT_FALSE(s.connect("", 80, 100));
    EXPECT_FALSE(s.connect(nullptr, 80, 100));
    EXPECT_FALSE(s.isOpen());
    EXPECT_EQ(s.receive(nullptr, 0), -1);
    EXPECT_FALSE(s.sendAll("x", 1));
}
