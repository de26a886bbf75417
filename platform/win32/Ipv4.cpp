// Dotted-quad parsing and formatting, IPv4 name resolution, and the one-time
// Winsock start-up.
#include <cstring>

#include "platform/win32/Winsock.h"

namespace platform {

namespace win32 {

bool winsockReady() {
    // Never cleaned up: sockets may live until the process ends.
    static const bool ready = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

}  // namespace win32

bool parseIpv4(const char* dottedQuad, uint32_t& out) {
    if (!dottedQuad || !win32::winsockReady()) return false;
    in_addr a{};
    if (inet_pton(AF_INET, dottedQuad, &a) != 1) return false;
    out = ntohl(a.s_addr);
    return true;
}

std::string formatIpv4(uint32_t address) {
    in_addr a{};
    a.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &a, text, sizeof text)) return std::string();
    return text;
}

bool resolveIpv4(const char* host, uint32_t& out) {
    if (!host || !*host) return false;
    if (parseIpv4(host, out)) return true;
    if (!win32::winsockReady()) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &list) != 0 || !list) return false;
    bool found = false;
    for (addrinfo* p = list; p; p = p->ai_next) {
        if (p->ai_family == AF_INET && p->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in a{};
            std::memcpy(&a, p->ai_addr, sizeof a);
            out = ntohl(a.sin_addr.s_addr);
            found = true;
            break;
        }
    }
    freeaddrinfo(list);
    return found;
}

}  // namespace platform
