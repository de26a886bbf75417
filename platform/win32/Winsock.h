#pragma once
// Helpers shared by the Winsock files.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdint>

#include "platform/NetConfig.h"
#include "platform/Socket.h"

namespace platform {
namespace win32 {

// Starts Winsock 2.2 once per process; false if it is unavailable.
bool winsockReady();

inline sockaddr_in makeAddress(uint32_t address, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    return a;
}

// The address sockets bind to: the process-wide override, else any. False
// when an override is set but is not a dotted quad.
inline bool localBindAddress(uint32_t& out) {
    const std::string local = localAddress();
    if (local.empty()) {
        out = INADDR_ANY;
        return true;
    }
    return parseIpv4(local.c_str(), out);
}

inline SOCKET sock(intptr_t fd) { return static_cast<SOCKET>(fd); }

}  // namespace win32
}  // namespace platform
