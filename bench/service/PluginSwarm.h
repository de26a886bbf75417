#pragma once
// Simulated plug-ins for loading the service: each logs in from its own
// loopback address (127.x.y.z) on a connection of its own, then keeps one
// persistent connection and does what the plug-in's controller loop does:
// keep-alive and online list every 1.4 s, invitation check every 0.7 s, one
// request at a time. A few epoll threads carry all of them.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LatencyHistogram.h"

struct SwarmStats {
    LatencyHistogram replies;  // reply times of the loop's requests
    uint64_t badReplies = 0;   // a reply without the expected code
    uint64_t failures = 0;     // refused connections, closes, replies later than 5 s
    uint64_t loggedIn = 0;     // users in their loop now
};

class PluginSwarm {
public:
    // Users log in as `namePrefix` + index with password `password`.
    PluginSwarm(uint16_t port, unsigned threads, std::string namePrefix, std::string password);
    ~PluginSwarm();

    void start();
    // Brings the number of simulated users up to `total` (never down).
    void growTo(unsigned total);
    unsigned loggedIn() const;
    // Statistics since the last call (reply times, errors), and the users now
    // in their loop.
    SwarmStats takeStats();
    void stop();

    // Loopback source address of user `index`, host byte order.
    static uint32_t sourceAddress(unsigned index);

    class Worker;

private:
    std::vector<std::unique_ptr<Worker>> workers_;
    std::vector<std::thread> threads_;
    std::atomic<bool> running_{false};
    unsigned total_ = 0;
};
