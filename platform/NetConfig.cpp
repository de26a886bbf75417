// Process-wide network overrides. Written once by a hosting program before
// any socket exists, read by every socket; a lock keeps the strings sound.
// The platform lock rather than std::mutex: MinGW's win32 thread model has
// no std::mutex.
#include "platform/NetConfig.h"

#include "platform/Lock.h"

namespace platform {
namespace {

struct NetConfigState {
    RecursiveLock lock;
    std::string localAddress;
    std::string serviceHost;
    uint16_t servicePort = 0;
};

NetConfigState& state() {
    static NetConfigState s;
    return s;
}

}  // namespace

void setLocalAddress(const std::string& dottedQuad) {
    NetConfigState& s = state();
    ScopedLock guard(s.lock);
    s.localAddress = dottedQuad;
}

std::string localAddress() {
    NetConfigState& s = state();
    ScopedLock guard(s.lock);
    return s.localAddress;
}

void setServiceOverride(const std::string& host, uint16_t port) {
    NetConfigState& s = state();
    ScopedLock guard(s.lock);
    s.serviceHost = host;
    s.servicePort = port;
}

bool serviceOverride(std::string& host, uint16_t& port) {
    NetConfigState& s = state();
    ScopedLock guard(s.lock);
    if (s.serviceHost.empty()) return false;
    host = s.serviceHost;
    port = s.servicePort;
    return true;
}

}  // namespace platform
