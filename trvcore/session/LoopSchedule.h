#pragma once
// Which periodic duties fall due on a pass of the controller's 100 ms loop.
// Keep-alive and online list every 14th pass, invitation poll every 7th,
// invitation time-outs and heartbeats every 12th. While sessions exist every
// other due poll is skipped, starting with a skip, so a busy user polls half
// as often.
#include <cstdint>

class LoopSchedule {
public:
    enum Duty : unsigned { kKeepAlive = 1, kInvitationPoll = 2, kHeartbeat = 4 };
    static constexpr uint64_t kKeepAliveEvery = 14;
    static constexpr uint64_t kInvitationPollEvery = 7;
    static constexpr uint64_t kHeartbeatEvery = 12;

    // `pass` counts from 1. Call once per pass, in order.
    unsigned duties(uint64_t pass, bool haveSessions) {
        unsigned d = 0;
        if (pass % kKeepAliveEvery == 0) d |= kKeepAlive;
        if (pass % kInvitationPollEvery == 0 && pollGoesOn(haveSessions)) d |= kInvitationPoll;
        if (pass % kHeartbeatEvery == 0) d |= kHeartbeat;
        return d;
    }

private:
    bool pollGoesOn(bool haveSessions) {
        if (!haveSessions) {
            skipNext_ = true;
            return true;
        }
        const bool go = !skipNext_;
        skipNext_ = !skipNext_;
        return go;
    }

    bool skipNext_ = true;
};
