#pragma once
// A real UDP socket with a layer between the link and the wire that spoils
// the order of the datagrams it sends, after a fixed pattern so that a
// failing test fails the same way every time: every `dropEvery`-th datagram
// is lost, every `duplicateEvery`-th is sent twice, and every
// `reorderEvery`-th is held back and sent after the one that follows it.
// 0 turns a rule off.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "trvcore/trvnetwork/UdpDatagramSocket.h"

class LossySocket : public UdpDatagramSocket {
public:
    explicit LossySocket(const std::string& bindAddress) : UdpDatagramSocket(bindAddress) {}

    int dropEvery = 0;
    int duplicateEvery = 0;
    int reorderEvery = 0;
    std::atomic<int> dropped{0};

    platform::IoResult sendTo(const uint8_t* data, size_t length, const PeerAddress& to) override {
        std::lock_guard<std::mutex> guard(mutex_);
        ++count_;
        if (dropEvery && count_ % dropEvery == 0) {
            ++dropped;
            return platform::IoResult::Ok;
        }
        if (reorderEvery && count_ % reorderEvery == 0 && held_.empty()) {
            held_.assign(data, data + length);
            heldTo_ = to;
            return platform::IoResult::Ok;
        }
        platform::IoResult r = UdpDatagramSocket::sendTo(data, length, to);
        if (duplicateEvery && count_ % duplicateEvery == 0) UdpDatagramSocket::sendTo(data, length, to);
        if (!held_.empty()) {
            UdpDatagramSocket::sendTo(held_.data(), held_.size(), heldTo_);
            held_.clear();
        }
        return r;
    }

    // Sends a datagram still held back.
    void release() {
        std::lock_guard<std::mutex> guard(mutex_);
        if (held_.empty()) return;
        UdpDatagramSocket::sendTo(held_.data(), held_.size(), heldTo_);
        held_.clear();
    }

private:
    std::mutex mutex_;
    int count_ = 0;
    std::vector<uint8_t> held_;
    PeerAddress heldTo_;
};
