#pragma once
// IPv4 sockets for the peer link (UDP) and the web-service client (TCP).
// Every socket binds to platform::localAddress() when one is set.
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class AutoResetEvent;

// Addresses are IPv4 in host byte order.
bool parseIpv4(const char* dottedQuad, uint32_t& out);
std::string formatIpv4(uint32_t address);
// Resolves a host name or dotted quad to an IPv4 address.
bool resolveIpv4(const char* host, uint32_t& out);

enum class IoResult { Ok, WouldBlock, Error };

// Bits returned by UdpSocket::waitFor.
enum WaitBits : int { WaitTimeout = 0, WaitReadable = 1, WaitWritable = 2, WaitWoken = 4, WaitError = 8 };

class UdpSocket {
public:
    UdpSocket();
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Non-blocking socket bound to `port` on localAddress() (or all local
    // addresses). Address reuse is not requested: a second bind fails.
    bool open(uint16_t port);
    void close();
    bool isOpen() const;
    uint16_t boundPort() const;

    IoResult sendTo(const uint8_t* data, size_t length, uint32_t address, uint16_t port);
    // Ok with `received` bytes, WouldBlock when nothing is pending.
    IoResult receiveFrom(uint8_t* buffer, size_t capacity, size_t& received,
                         uint32_t& address, uint16_t& port);
    // Waits until the socket is readable (or writable, when asked), the
    // event is set, or the time-out passes. Returns WaitBits; a set event is
    // consumed. timeoutMs < 0 waits without time-out.
    int waitFor(AutoResetEvent& wake, bool wantWritable, int timeoutMs);
    // Last OS error code of this socket's calls (0 if none).
    int lastError() const { return lastError_; }

private:
    intptr_t fd_;
    int lastError_ = 0;
    [[maybe_unused]] intptr_t netEvent_ = 0;  // Windows: the WSAEVENT waitFor waits on; unused elsewhere
};

class TcpSocket {
public:
    TcpSocket();
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Blocking connect with a bound on the time it may take.
    bool connect(const char* host, uint16_t port, uint32_t timeoutMs);
    void close();
    bool isOpen() const;
    // Receive time-out for blocking reads; 0 = none.
    void setReceiveTimeout(uint32_t ms);
    // Sends all bytes; false on error.
    bool sendAll(const void* data, size_t length);
    // Bytes received (> 0), 0 when the peer closed, -1 on error or time-out.
    long receive(void* buffer, size_t capacity);
    // True when bytes are pending or the peer closed (a read would not block).
    bool readable(uint32_t timeoutMs);
    int lastError() const { return lastError_; }

private:
    intptr_t fd_;
    int lastError_ = 0;
    uint32_t receiveTimeoutMs_ = 0;  // kept so a time-out set before connect applies
};

}  // namespace platform
