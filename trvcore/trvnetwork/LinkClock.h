#pragma once
// The two clocks the peer link reads: the millisecond tick count (fragment
// expiry, the would-block rule) and performance-counter nanoseconds (rate
// meters, Ping send times, video pacing). Tests and the fuzz target give the
// link a clock they drive themselves.
#include <cstdint>

class LinkClock {
public:
    virtual ~LinkClock() = default;
    // Milliseconds, wrapping at 2^32 like the system tick count.
    virtual uint32_t tickMs() = 0;
    // Nanoseconds of the high-resolution counter.
    virtual double nowNs() = 0;
};

// The system clocks. Shared, stateless; safe from any thread.
LinkClock& systemLinkClock();
