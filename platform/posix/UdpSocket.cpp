// Non-blocking UDP socket; waitFor multiplexes it with a wake event's
// eventfd in one poll().
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/Event.h"
#include "platform/posix/SocketUtil.h"

namespace platform {

namespace {
constexpr int kBufferBytes = 1 << 20;  // room for bursts of audio and video
}

UdpSocket::UdpSocket() : fd_(-1) {}

UdpSocket::~UdpSocket() { close(); }

bool UdpSocket::open(uint16_t port) {
    close();
    uint32_t local = 0;
    if (!posix::localBindAddress(local)) {
        lastError_ = EINVAL;
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    // Best effort: the kernel caps these at its own limits.
    int size = kBufferBytes;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    sockaddr_in a = posix::makeAddress(local, port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        lastError_ = errno;
        ::close(fd);
        return false;
    }
    fd_ = fd;
    lastError_ = 0;
    return true;
}

void UdpSocket::close() {
    if (fd_ >= 0) ::close(static_cast<int>(fd_));
    fd_ = -1;
}

bool UdpSocket::isOpen() const { return fd_ >= 0; }

uint16_t UdpSocket::boundPort() const {
    if (fd_ < 0) return 0;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(static_cast<int>(fd_), reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

IoResult UdpSocket::sendTo(const uint8_t* data, size_t length, uint32_t address, uint16_t port) {
    if (fd_ < 0 || (!data && length)) {
        lastError_ = EBADF;
        return IoResult::Error;
    }
    sockaddr_in to = posix::makeAddress(address, port);
    for (;;) {
        ssize_t n = ::sendto(static_cast<int>(fd_), data, length, MSG_NOSIGNAL,
                             reinterpret_cast<sockaddr*>(&to), sizeof to);
        if (n >= 0) return static_cast<size_t>(n) == length ? IoResult::Ok : IoResult::Error;
        if (errno == EINTR) continue;
        lastError_ = errno;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) return IoResult::WouldBlock;
        return IoResult::Error;
    }
}

IoResult UdpSocket::receiveFrom(uint8_t* buffer, size_t capacity, size_t& received,
                                uint32_t& address, uint16_t& port) {
    received = 0;
    if (fd_ < 0 || !buffer) {
        lastError_ = EBADF;
        return IoResult::Error;
    }
    sockaddr_in from{};
    iovec io{buffer, capacity};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    for (;;) {
        ssize_t n = ::recvmsg(static_cast<int>(fd_), &msg, 0);
        if (n >= 0) {
            if (msg.msg_flags & MSG_TRUNC) {
                // The datagram was larger than the buffer; its tail is lost,
                // so none of it may be taken for a whole message.
                lastError_ = EMSGSIZE;
                return IoResult::Error;
            }
            received = static_cast<size_t>(n);
            address = ntohl(from.sin_addr.s_addr);
            port = ntohs(from.sin_port);
            return IoResult::Ok;
        }
        if (errno == EINTR) continue;
        lastError_ = errno;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return IoResult::WouldBlock;
        // ECONNREFUSED and the like report an earlier ICMP error; the socket
        // itself stays usable.
        return IoResult::Error;
    }
}

int UdpSocket::waitFor(AutoResetEvent& wake, bool wantWritable, int timeoutMs) {
    if (fd_ < 0) return WaitError;
    pollfd p[2] = {};
    p[0].fd = static_cast<int>(fd_);
    p[0].events = static_cast<short>(POLLIN | (wantWritable ? POLLOUT : 0));
    p[1].fd = static_cast<int>(wake.nativeHandle());  // negative fds are skipped
    p[1].events = POLLIN;
    const int64_t deadline = posix::monotonicMs() + (timeoutMs > 0 ? timeoutMs : 0);
    int rc;
    for (;;) {
        rc = ::poll(p, 2, timeoutMs < 0 ? -1 : posix::remainingMs(deadline));
        if (rc >= 0 || errno != EINTR) break;
    }
    if (rc < 0) {
        lastError_ = errno;
        return WaitError;
    }
    int bits = WaitTimeout;
    // A pending socket error (POLLERR) is handed to the next receiveFrom,
    // which reports and clears it; so it counts as readable.
    if (p[0].revents & (POLLIN | POLLERR)) bits |= WaitReadable;
    if (wantWritable && (p[0].revents & POLLOUT)) bits |= WaitWritable;
    if (p[0].revents & POLLNVAL) bits |= WaitError;
    if (p[1].revents & POLLIN) {
        wake.reset();
        bits |= WaitWoken;
    }
    return bits;
}

}  // namespace platform
