#include "EventLog.h"

#include <cstdio>
#include <ctime>

namespace tarvonet {

void StderrLog::write(const std::string& line) {
    std::time_t now = std::time(nullptr);
    std::tm utc;
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &utc);
    std::lock_guard<std::mutex> guard(lock_);
    std::fprintf(stderr, "%s %s\n", stamp, line.c_str());
    std::fflush(stderr);
}

}  // namespace tarvonet
