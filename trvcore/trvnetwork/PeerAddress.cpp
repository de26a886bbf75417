#include "trvcore/trvnetwork/PeerAddress.h"

#include "platform/Socket.h"

bool peerAddressFromText(const char* ipText, uint16_t port, PeerAddress& out) {
    uint32_t ip = 0;
    if (!ipText || !platform::parseIpv4(ipText, ip)) return false;
    out.ip = ip;
    out.port = port;
    return true;
}
