#pragma once
// Helpers shared by the POSIX socket files.
#include <cstdint>
#include <ctime>

#include <netinet/in.h>

#include "platform/NetConfig.h"
#include "platform/Socket.h"

namespace platform {
namespace posix {

inline sockaddr_in makeAddress(uint32_t address, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    return a;
}

// The address sockets bind to: the process-wide override, else any. False
// when an override is set but is not a dotted quad (binding elsewhere than
// asked would be worse than failing).
inline bool localBindAddress(uint32_t& out) {
    const std::string local = localAddress();
    if (local.empty()) {
        out = INADDR_ANY;
        return true;
    }
    return parseIpv4(local.c_str(), out);
}

inline int64_t monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Milliseconds left until `deadline` for poll(); never negative.
inline int remainingMs(int64_t deadline) {
    int64_t left = deadline - monotonicMs();
    if (left < 0) return 0;
    if (left > 0x7FFFFFFF) return 0x7FFFFFFF;
    return static_cast<int>(left);
}

}  // namespace posix
}  // namespace platform
