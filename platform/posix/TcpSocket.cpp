// Blocking TCP client socket with a bounded connect: the connect runs
// non-blocking under poll(), then the socket goes back to blocking mode and
// reads are bounded by SO_RCVTIMEO.
#include <cerrno>

#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/posix/SocketUtil.h"

namespace platform {

namespace {

void applyReceiveTimeout(int fd, uint32_t ms) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

bool setBlocking(int fd, bool blocking) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, flags) == 0;
}

// Polls one fd, restarting with the time left when a signal interrupts.
int pollOne(int fd, short events, uint32_t timeoutMs, short& revents) {
    const int64_t deadline = posix::monotonicMs() + timeoutMs;
    pollfd p{fd, events, 0};
    for (;;) {
        int rc = ::poll(&p, 1, posix::remainingMs(deadline));
        if (rc >= 0 || errno != EINTR) {
            revents = p.revents;
            return rc;
        }
    }
}

}  // namespace

TcpSocket::TcpSocket() : fd_(-1) {}

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::connect(const char* host, uint16_t port, uint32_t timeoutMs) {
    close();
    uint32_t remote = 0;
    if (!resolveIpv4(host, remote)) {
        lastError_ = EHOSTUNREACH;
        return false;
    }
    uint32_t local = 0;
    if (!posix::localBindAddress(local)) {
        lastError_ = EINVAL;
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    auto fail = [&](int error) {
        lastError_ = error;
        ::close(fd);
        return false;
    };
    if (local != INADDR_ANY) {
        sockaddr_in a = posix::makeAddress(local, 0);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return fail(errno);
    }
    if (!setBlocking(fd, false)) return fail(errno);
    sockaddr_in to = posix::makeAddress(remote, port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) return fail(errno);
        short revents = 0;
        int rc = pollOne(fd, POLLOUT, timeoutMs, revents);
        if (rc < 0) return fail(errno);
        if (rc == 0) return fail(ETIMEDOUT);
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return fail(errno);
        if (error != 0) return fail(error);
    }
    if (!setBlocking(fd, true)) return fail(errno);
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (receiveTimeoutMs_) applyReceiveTimeout(fd, receiveTimeoutMs_);
    fd_ = fd;
    lastError_ = 0;
    return true;
}

void TcpSocket::close() {
    if (fd_ >= 0) ::close(static_cast<int>(fd_));
    fd_ = -1;
}

bool TcpSocket::isOpen() const { return fd_ >= 0; }

void TcpSocket::setReceiveTimeout(uint32_t ms) {
    receiveTimeoutMs_ = ms;
    if (fd_ >= 0) applyReceiveTimeout(static_cast<int>(fd_), ms);
}

bool TcpSocket::sendAll(const void* data, size_t length) {
    if (fd_ < 0 || (!data && length)) {
        lastError_ = EBADF;
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        // MSG_NOSIGNAL: a peer that has gone away must not raise SIGPIPE in
        // the host process.
        ssize_t n = ::send(static_cast<int>(fd_), p, length, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            lastError_ = n < 0 ? errno : EPIPE;
            return false;
        }
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

long TcpSocket::receive(void* buffer, size_t capacity) {
    if (fd_ < 0 || !buffer) {
        lastError_ = EBADF;
        return -1;
    }
    if (capacity > 0x7FFFFFFF) capacity = 0x7FFFFFFF;
    for (;;) {
        ssize_t n = ::recv(static_cast<int>(fd_), buffer, capacity, 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        lastError_ = (errno == EAGAIN || errno == EWOULDBLOCK) ? ETIMEDOUT : errno;
        return -1;
    }
}

bool TcpSocket::readable(uint32_t timeoutMs) {
    if (fd_ < 0) return false;
    short revents = 0;
    int rc = pollOne(static_cast<int>(fd_), POLLIN, timeoutMs, revents);
    if (rc < 0) {
        lastError_ = errno;
        return false;
    }
    return rc > 0 && (revents & (POLLIN | POLLHUP | POLLERR));
}

}  // namespace platform
