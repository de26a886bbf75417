#include "tools/trvhost/LossyPeerSocket.h"

#include <atomic>

#include "trvcore/session/SessionController.h"

namespace {
std::atomic<double> gPercent{0.0};
std::atomic<uint32_t> gSeed{1};

DatagramSocket* makeLossySocket() {
    return new LossyPeerSocket(gPercent.load(), gSeed.load());
}
}  // namespace

LossyPeerSocket::LossyPeerSocket(double percent, uint32_t seed)
    : random_(seed), lose_(percent <= 0.0 ? 0.0 : percent >= 100.0 ? 1.0 : percent / 100.0) {}

platform::IoResult LossyPeerSocket::sendTo(const uint8_t* data, size_t length, const PeerAddress& to) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        // Lost on the way: the sender cannot tell.
        if (lose_(random_)) return platform::IoResult::Ok;
    }
    return UdpDatagramSocket::sendTo(data, length, to);
}

void LossyPeerSocket::install(double percent, uint32_t seed) {
    gPercent.store(percent);
    gSeed.store(seed);
    SessionController::setLinkSocketFactory(percent > 0.0 ? &makeLossySocket : nullptr);
}
