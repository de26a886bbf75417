#include "trvcore/trvnetwork/LinkClock.h"

#include "platform/NanoClock.h"

namespace {

class SystemLinkClock : public LinkClock {
public:
    uint32_t tickMs() override { return tickCount(); }
    double nowNs() override { return static_cast<double>(nowNanoseconds()); }
};

}  // namespace

LinkClock& systemLinkClock() {
    static SystemLinkClock clock;
    return clock;
}
