#pragma once
// What the simulated plug-ins of the service benchmarks send, and their clock.
#include <chrono>
#include <cstdint>
#include <string>

namespace servicebench {

inline int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A form POST of `body` to the service path, worded as the plug-in words it.
inline std::string pluginPost(const std::string& body) {
    return "POST  /sys/interface/trv/index.php4 HTTP/1.1\r\nHost: localhost\r\nUser-Agent: TRV\r\n"
           "Content-type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body + "\r\n";
}

}  // namespace servicebench
