#pragma once
// What the session controller and a session do with a link, reduced to one
// partner: messages from the link go to the one PeerConnection (which
// follows the sender's address), ticks flush it, and the connection's
// messages are copied into a list the test can wait on.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "trvcore/trvnetwork/PeerConnection.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/trvnetwork/PeerMessage.h"

class LinkHarness : public PeerLinkListener, public PeerConnectionListener {
public:
    explicit LinkHarness(const PeerLinkOptions& options) {
        link.reset(new PeerLink(this, options));
        connection.reset(new PeerConnection(*link));
        connection->setListener(this);
    }
    ~LinkHarness() override {
        // The network thread calls into this object: stop it first.
        link->stop();
    }

    void onPeerPacket(const PeerMessage& message, const PeerAddress& from) override {
        connection->setPartnerAddress(from);
        connection->onMessage(message);
    }
    void onPeerTick() override {
        ++ticks;
        connection->flush();
    }
    void onLocalPort(uint16_t port) override {
        std::lock_guard<std::mutex> guard(mutex_);
        localPort = port;
        changed_.notify_all();
    }
    void onLinkStatus(const char*) override { ++statusLines; }
    double videoBudgetKbps() override { return videoBudget; }

    void onPeerMessage(PeerConnection&, const PeerMessage& message) override {
        std::lock_guard<std::mutex> guard(mutex_);
        received.emplace_back(message.data(), message.data() + message.length());
        changed_.notify_all();
    }

    // Waits (bounded) until `count` messages have arrived.
    bool waitForMessages(size_t count, int timeoutMs = 5000) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return received.size() >= count; });
    }
    bool waitForLocalPort(int timeoutMs = 5000) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return localPort != 0; });
    }
    std::vector<std::vector<uint8_t>> messages() {
        std::lock_guard<std::mutex> guard(mutex_);
        return received;
    }

    std::unique_ptr<PeerLink> link;
    std::unique_ptr<PeerConnection> connection;
    std::atomic<int> ticks{0};
    std::atomic<int> statusLines{0};
    double videoBudget = 0;
    uint16_t localPort = 0;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::vector<uint8_t>> received;
};
