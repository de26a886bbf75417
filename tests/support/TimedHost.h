#pragma once
// A FakeHost that answers time requests from the start, as most hosts do.
#include "support/FakeHost.h"

class TimedHost : public FakeHost {
public:
    TimedHost() { giveTime = true; }
};
