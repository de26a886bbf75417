#pragma once
// A datagram socket without a network: records what is sent, answers each
// send with a scripted result, and never becomes readable. For links run
// without their thread.
#include <cstdint>
#include <deque>
#include <vector>

#include "trvcore/trvnetwork/DatagramSocket.h"

struct SentDatagram {
    std::vector<uint8_t> bytes;
    PeerAddress to;
};

class ScriptedSocket : public DatagramSocket {
public:
    // Results for the next sends, in order; Ok once the script runs out.
    std::deque<platform::IoResult> script;
    std::vector<SentDatagram> sent;
    bool openSucceeds = true;
    uint16_t port = 40000;
    bool opened = false;

    bool open(uint16_t) override { return opened = openSucceeds; }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    uint16_t boundPort() const override { return port; }

    platform::IoResult sendTo(const uint8_t* data, size_t length, const PeerAddress& to) override {
        platform::IoResult r = platform::IoResult::Ok;
        if (!script.empty()) {
            r = script.front();
            script.pop_front();
        }
        ++sendCalls;
        if (r == platform::IoResult::Ok) sent.push_back({std::vector<uint8_t>(data, data + length), to});
        return r;
    }
    platform::IoResult receiveFrom(uint8_t*, size_t, size_t& received, PeerAddress&) override {
        received = 0;
        return platform::IoResult::WouldBlock;
    }
    int waitFor(platform::AutoResetEvent&, bool, int) override { return platform::WaitError; }

    // Every send attempt, whatever its result.
    int sendCalls = 0;
};
