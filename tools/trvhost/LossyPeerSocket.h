#pragma once
// A test layer under the plug-in's peer link: the plain UDP socket, except
// that a share of the datagrams it sends is lost, chosen by a seeded random
// sequence so that a run can be repeated. Only the test host's hidden
// --peer-loss option puts it in place (through the controller's link socket
// factory); the plug-in never uses it.
#include <cstdint>
#include <mutex>
#include <random>

#include "trvcore/trvnetwork/UdpDatagramSocket.h"

class LossyPeerSocket : public UdpDatagramSocket {
public:
    // `percent` of the sends are dropped (0..100).
    LossyPeerSocket(double percent, uint32_t seed);

    platform::IoResult sendTo(const uint8_t* data, size_t length, const PeerAddress& to) override;

    // Installs the factory for the next controller; percent <= 0 removes it.
    static void install(double percent, uint32_t seed);

private:
    std::mutex mutex_;
    std::mt19937 random_;
    std::bernoulli_distribution lose_;
};
