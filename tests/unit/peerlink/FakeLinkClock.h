#pragma once
// A link clock the test moves by hand.
#include <atomic>
#include <cstdint>

#include "trvcore/trvnetwork/LinkClock.h"

class FakeLinkClock : public LinkClock {
public:
    uint32_t tickMs() override { return ms.load(); }
    double nowNs() override { return ns.load(); }
    void advanceMs(uint32_t d) {
        ms += d;
        ns = ns.load() + d * 1e6;
    }

    std::atomic<uint32_t> ms{5000};
    std::atomic<double> ns{5e9};
};
