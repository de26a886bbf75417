// Non-blocking UDP socket. Its network events are selected into a WSAEVENT
// (which also makes the socket non-blocking); waitFor waits on that event
// and the wake event together. Readiness is read back with a zero-time
// select, so it is level-triggered like poll() on other systems.
#include "platform/Event.h"
#include "platform/win32/Winsock.h"

namespace platform {

namespace {

constexpr int kBufferBytes = 1 << 20;  // room for bursts of audio and video

// Readiness right now, as WaitBits; WaitError if select fails.
int readyNow(SOCKET s, bool wantWritable) {
    fd_set r, w;
    FD_ZERO(&r);
    FD_ZERO(&w);
    FD_SET(s, &r);
    if (wantWritable) FD_SET(s, &w);
    timeval zero{0, 0};
    int rc = select(0, &r, wantWritable ? &w : nullptr, nullptr, &zero);
    if (rc == SOCKET_ERROR) return WaitError;
    int bits = WaitTimeout;
    if (FD_ISSET(s, &r)) bits |= WaitReadable;
    if (wantWritable && FD_ISSET(s, &w)) bits |= WaitWritable;
    return bits;
}

}  // namespace

UdpSocket::UdpSocket() : fd_(static_cast<intptr_t>(INVALID_SOCKET)) {}

UdpSocket::~UdpSocket() { close(); }

bool UdpSocket::open(uint16_t port) {
    close();
    if (!win32::winsockReady()) {
        lastError_ = WSANOTINITIALISED;
        return false;
    }
    uint32_t local = 0;
    if (!win32::localBindAddress(local)) {
        lastError_ = WSAEINVAL;
        return false;
    }
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        lastError_ = WSAGetLastError();
        return false;
    }
    int size = kBufferBytes;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size), sizeof size);
    sockaddr_in a = win32::makeAddress(local, port);
    WSAEVENT ev = WSA_INVALID_EVENT;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == SOCKET_ERROR ||
        (ev = WSACreateEvent()) == WSA_INVALID_EVENT ||
        WSAEventSelect(s, ev, FD_READ | FD_WRITE | FD_CLOSE) == SOCKET_ERROR) {
        lastError_ = WSAGetLastError();
        if (ev != WSA_INVALID_EVENT) WSACloseEvent(ev);
        closesocket(s);
        return false;
    }
    fd_ = static_cast<intptr_t>(s);
    netEvent_ = reinterpret_cast<intptr_t>(ev);
    lastError_ = 0;
    return true;
}

void UdpSocket::close() {
    if (win32::sock(fd_) != INVALID_SOCKET) closesocket(win32::sock(fd_));
    fd_ = static_cast<intptr_t>(INVALID_SOCKET);
    if (netEvent_) WSACloseEvent(reinterpret_cast<WSAEVENT>(netEvent_));
    netEvent_ = 0;
}

bool UdpSocket::isOpen() const { return win32::sock(fd_) != INVALID_SOCKET; }

uint16_t UdpSocket::boundPort() const {
    if (!isOpen()) return 0;
    sockaddr_in a{};
    int len = sizeof a;
    if (getsockname(win32::sock(fd_), reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

IoResult UdpSocket::sendTo(const uint8_t* data, size_t length, uint32_t address, uint16_t port) {
    if (!isOpen() || (!data && length) || length > 0x7FFFFFFF) {
        lastError_ = WSAENOTSOCK;
        return IoResult::Error;
    }
    sockaddr_in to = win32::makeAddress(address, port);
    int n = sendto(win32::sock(fd_), reinterpret_cast<const char*>(data), static_cast<int>(length), 0,
                   reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (n != SOCKET_ERROR) return static_cast<size_t>(n) == length ? IoResult::Ok : IoResult::Error;
    lastError_ = WSAGetLastError();
    if (lastError_ == WSAEWOULDBLOCK || lastError_ == WSAENOBUFS) return IoResult::WouldBlock;
    return IoResult::Error;
}

IoResult UdpSocket::receiveFrom(uint8_t* buffer, size_t capacity, size_t& received,
                                uint32_t& address, uint16_t& port) {
    received = 0;
    if (!isOpen() || !buffer) {
        lastError_ = WSAENOTSOCK;
        return IoResult::Error;
    }
    if (capacity > 0x7FFFFFFF) capacity = 0x7FFFFFFF;
    sockaddr_in from{};
    int len = sizeof from;
    int n = recvfrom(win32::sock(fd_), reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                     reinterpret_cast<sockaddr*>(&from), &len);
    if (n != SOCKET_ERROR) {
        received = static_cast<size_t>(n);
        address = ntohl(from.sin_addr.s_addr);
        port = ntohs(from.sin_port);
        return IoResult::Ok;
    }
    lastError_ = WSAGetLastError();
    if (lastError_ == WSAEWOULDBLOCK) return IoResult::WouldBlock;
    // WSAECONNRESET reports an ICMP port-unreachable for an earlier send and
    // WSAEMSGSIZE a datagram larger than the buffer; the socket stays usable.
    return IoResult::Error;
}

int UdpSocket::waitFor(AutoResetEvent& wake, bool wantWritable, int timeoutMs) {
    if (!isOpen() || !netEvent_) return WaitError;
    const SOCKET s = win32::sock(fd_);
    const HANDLE wakeHandle = reinterpret_cast<HANDLE>(wake.nativeHandle());

    // Already ready: FD_READ and FD_WRITE are only signalled on changes, so
    // a socket with data left over must not wait for the next datagram.
    int bits = readyNow(s, wantWritable);
    if (wakeHandle && WaitForSingleObject(wakeHandle, 0) == WAIT_OBJECT_0) bits |= WaitWoken;
    if (bits != WaitTimeout) return bits;

    HANDLE handles[2] = {reinterpret_cast<HANDLE>(netEvent_), wakeHandle};
    const DWORD count = wakeHandle ? 2 : 1;
    const DWORD begin = GetTickCount();
    for (;;) {
        DWORD ms = INFINITE;
        if (timeoutMs >= 0) {
            const DWORD spent = GetTickCount() - begin;
            ms = spent >= static_cast<DWORD>(timeoutMs) ? 0 : static_cast<DWORD>(timeoutMs) - spent;
        }
        DWORD rc = WaitForMultipleObjects(count, handles, FALSE, ms);
        if (rc == WAIT_FAILED) {
            lastError_ = static_cast<int>(GetLastError());
            return WaitError;
        }
        if (rc == WAIT_TIMEOUT) return WaitTimeout;
        if (rc == WAIT_OBJECT_0 + 1) bits |= WaitWoken;  // the wait consumed it

        WSANETWORKEVENTS events{};
        WSAEnumNetworkEvents(s, reinterpret_cast<WSAEVENT>(netEvent_), &events);  // resets the event
        bits |= readyNow(s, wantWritable);
        if (!(bits & WaitWoken) && wakeHandle && WaitForSingleObject(wakeHandle, 0) == WAIT_OBJECT_0)
            bits |= WaitWoken;
        // A network event nobody asked for (FD_WRITE when only reading) waits on.
        if (bits != WaitTimeout) return bits;
    }
}

}  // namespace platform
