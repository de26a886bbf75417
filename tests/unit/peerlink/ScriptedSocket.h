#pragma once
// A datagram socket without a network: records what is sent and answers
// each send with the next scripted result (Ok once the script runs out).
// For links run without their thread.
#include <atomic>
#include <chrono>
#include <thread>
#include <deque>
#include <vector>

#include "trvcore/trvnetwork/DatagramSocket.h"

struct SentDatagram {
    std::vector<uint8_t> bytes;
    PeerAddress to;
    std::chrono::steady_clock::time_point at;
};

class ScriptedSocket : public DatagramSocket {
public:
    std::deque<platform::IoResult> script;
    std::vector<SentDatagram> sent;
    int sendCalls = 0;
    std::atomic<int> sendDelayMs{0};  // a slow network stack
    bool openSucceeds = true;

    bool open(uint16_t) override { return opened_ = openSucceeds; }
    void close() override { opened_ = false; }
    bool isOpen() const override { return opened_; }
    uint16_t boundPort() const override { return 40000; }
    platform::IoResult sendTo(const uint8_t* data, size_t length, const PeerAddress& to) override {
        ++sendCalls;
        if (sendDelayMs.load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(sendDelayMs.load()));
        const platform::IoResult r = script.empty() ? platform::IoResult::Ok : script.front();
        if (!script.empty()) script.pop_front();
        if (r == platform::IoResult::Ok) sent.push_back({{data, data + length}, to, std::chrono::steady_clock::now()});
        return r;
    }
    platform::IoResult receiveFrom(uint8_t*, size_t, size_t& n, PeerAddress&) override {
        n = 0;
        return platform::IoResult::WouldBlock;
    }
    int waitFor(platform::AutoResetEvent&, bool, int) override { return platform::WaitError; }

private:
    bool opened_ = false;
};
