#pragma once
// One user of the service's online list: a plain record of fixed-size
// fields, copied whole between the client, the controller's list and the
// editor. Texts are always zero-terminated.
#include <cstdint>

#include "trvcore/trvnetwork/PeerProtocol.h"

struct OnlineUser {
    static constexpr int kNameBytes = 128;
    static constexpr int kIpBytes = 24;

    char name[kNameBytes] = {};
    char ip[kIpBytes] = {};
    int id = -1;  // not used
    uint16_t port = kPeerUdpPort;  // the UDP port the user registered
    uint8_t connected = 0;     // bit 0: in a session
    uint8_t partner = 1;       // bit 1: counted as this user's partner
    uint8_t doNotDisturb = 0;  // bit 2: no invitations while connected
    uint8_t partnersOnly = 0;  // bit 3: invitations from partners only

    // Splits a flags number into the four bytes; higher bits are ignored.
    void setFlags(int flags) {
        connected = (flags & 1) ? 1 : 0;
        partner = (flags & 2) ? 1 : 0;
        doNotDisturb = (flags & 4) ? 1 : 0;
        partnersOnly = (flags & 8) ? 1 : 0;
    }
};
