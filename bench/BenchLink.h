#pragma once
// What the benchmarks post through: a peer link whose socket sends nowhere
// and whose listener ignores everything.
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "tests/support/QuietLink.h"
#include "platform/Event.h"
#include "trvcore/trvnetwork/DatagramSocket.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/trvnetwork/PeerMessage.h"

// A socket whose datagrams go nowhere. It notes the thread that sends (the
// encoder thread: a post flushes on the posting thread) so that thread's
// CPU clock can be read.
class NowhereSocket : public DatagramSocket {
public:
    bool open(uint16_t port) override {
        port_ = port ? port : 40000;
        open_ = true;
        return true;
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    uint16_t boundPort() const override { return port_; }
    platform::IoResult sendTo(const uint8_t*, size_t length, const PeerAddress&) override {
        if (!senderKnown_.load(std::memory_order_acquire)) {
            sender_ = pthread_self();
            senderTid_ = static_cast<long>(gettid());
            senderKnown_.store(true, std::memory_order_release);
        }
        bytes_.fetch_add(length, std::memory_order_relaxed);
        return platform::IoResult::Ok;
    }
    platform::IoResult receiveFrom(uint8_t*, size_t, size_t&, PeerAddress&) override {
        return platform::IoResult::WouldBlock;
    }
    int waitFor(platform::AutoResetEvent& wake, bool, int timeoutMs) override {
        return wake.wait(timeoutMs < 0 ? 1000u : static_cast<uint32_t>(timeoutMs)) ? platform::WaitWoken
                                                                                     : platform::WaitTimeout;
    }

    // The sending thread's CPU clock; false before the first send.
    bool senderClock(clockid_t& clock) const {
        return senderKnown_.load(std::memory_order_acquire) && pthread_getcpuclockid(sender_, &clock) == 0;
    }
    bool sentFrom(pthread_t t) const { return senderKnown_.load() && pthread_equal(sender_, t); }
    long senderTid() const { return senderKnown_.load(std::memory_order_acquire) ? senderTid_ : 0; }
    uint64_t bytes() const { return bytes_.load(std::memory_order_relaxed); }

private:
    bool open_ = false;
    uint16_t port_ = 0;
    pthread_t sender_{};
    long senderTid_ = 0;
    std::atomic<bool> senderKnown_{false};
    std::atomic<uint64_t> bytes_{0};
};

