// Blocking TCP client socket with a bounded connect: the connect runs
// non-blocking under select(), then the socket goes back to blocking mode and
// reads are bounded by SO_RCVTIMEO.
#include "platform/win32/Winsock.h"

namespace platform {

namespace {

void applyReceiveTimeout(SOCKET s, uint32_t ms) {
    const DWORD v = static_cast<DWORD>(ms);
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&v), sizeof v);
}

bool setBlocking(SOCKET s, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

timeval toTimeval(uint32_t ms) {
    timeval tv{};
    tv.tv_sec = static_cast<long>(ms / 1000);
    tv.tv_usec = static_cast<long>((ms % 1000) * 1000);
    return tv;
}

}  // namespace

TcpSocket::TcpSocket() : fd_(static_cast<intptr_t>(INVALID_SOCKET)) {}

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::connect(const char* host, uint16_t port, uint32_t timeoutMs) {
    close();
    if (!win32::winsockReady()) {
        lastError_ = WSANOTINITIALISED;
        return false;
    }
    uint32_t remote = 0;
    if (!resolveIpv4(host, remote)) {
        lastError_ = WSAHOST_NOT_FOUND;
        return false;
    }
    uint32_t local = 0;
    if (!win32::localBindAddress(local)) {
        lastError_ = WSAEINVAL;
        return false;
    }
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        lastError_ = WSAGetLastError();
        return false;
    }
    auto fail = [&](int error) {
        lastError_ = error;
        closesocket(s);
        return false;
    };
    if (local != INADDR_ANY) {
        sockaddr_in a = win32::makeAddress(local, 0);
        if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == SOCKET_ERROR) return fail(WSAGetLastError());
    }
    if (!setBlocking(s, false)) return fail(WSAGetLastError());
    sockaddr_in to = win32::makeAddress(remote, port);
    if (::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) return fail(error);
        // Windows reports a failed connect in the exception set.
        fd_set w, e;
        FD_ZERO(&w);
        FD_ZERO(&e);
        FD_SET(s, &w);
        FD_SET(s, &e);
        timeval tv = toTimeval(timeoutMs);
        int rc = select(0, nullptr, &w, &e, &tv);
        if (rc == SOCKET_ERROR) return fail(WSAGetLastError());
        if (rc == 0) return fail(WSAETIMEDOUT);
        int soError = 0;
        int len = sizeof soError;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len);
        if (FD_ISSET(s, &e) || soError != 0) return fail(soError ? soError : WSAECONNREFUSED);
    }
    if (!setBlocking(s, true)) return fail(WSAGetLastError());
    BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    if (receiveTimeoutMs_) applyReceiveTimeout(s, receiveTimeoutMs_);
    fd_ = static_cast<intptr_t>(s);
    lastError_ = 0;
    return true;
}

void TcpSocket::close() {
    if (win32::sock(fd_) != INVALID_SOCKET) closesocket(win32::sock(fd_));
    fd_ = static_cast<intptr_t>(INVALID_SOCKET);
}

bool TcpSocket::isOpen() const { return win32::sock(fd_) != INVALID_SOCKET; }

void TcpSocket::setReceiveTimeout(uint32_t ms) {
    receiveTimeoutMs_ = ms;
    if (isOpen()) applyReceiveTimeout(win32::sock(fd_), ms);
}

bool TcpSocket::sendAll(const void* data, size_t length) {
    if (!isOpen() || (!data && length)) {
        lastError_ = WSAENOTSOCK;
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        const int chunk = length > 0x10000000 ? 0x10000000 : static_cast<int>(length);
        int n = send(win32::sock(fd_), p, chunk, 0);
        if (n == SOCKET_ERROR || n <= 0) {
            lastError_ = n == SOCKET_ERROR ? WSAGetLastError() : WSAECONNRESET;
            return false;
        }
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

long TcpSocket::receive(void* buffer, size_t capacity) {
    if (!isOpen() || !buffer) {
        lastError_ = WSAENOTSOCK;
        return -1;
    }
    if (capacity > 0x7FFFFFFF) capacity = 0x7FFFFFFF;
    int n = recv(win32::sock(fd_), static_cast<char*>(buffer), static_cast<int>(capacity), 0);
    if (n == SOCKET_ERROR) {
        lastError_ = WSAGetLastError();
        return -1;
    }
    return static_cast<long>(n);
}

bool TcpSocket::readable(uint32_t timeoutMs) {
    if (!isOpen()) return false;
    const SOCKET s = win32::sock(fd_);
    fd_set r;
    FD_ZERO(&r);
    FD_SET(s, &r);
    timeval tv = toTimeval(timeoutMs);
    int rc = select(0, &r, nullptr, nullptr, &tv);
    if (rc == SOCKET_ERROR) {
        lastError_ = WSAGetLastError();
        return false;
    }
    return rc > 0;
}

}  // namespace platform
