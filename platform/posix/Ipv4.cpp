// Dotted-quad parsing and formatting, and IPv4 name resolution.
#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include "platform/Socket.h"

namespace platform {

bool parseIpv4(const char* dottedQuad, uint32_t& out) {
    if (!dottedQuad) return false;
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
