#pragma once
// What the peer link hands to its owner, the session controller. Every
// call but videoBudgetKbps comes from the link's network thread; none may
// block for long, since the thread receives nothing meanwhile.
#include <cstdint>

#include "trvcore/trvnetwork/PeerAddress.h"

class PeerMessage;

class PeerLinkListener {
public:
    virtual ~PeerLinkListener() = default;

    // One complete, checked message (magic right, 12 <= length <= 8192 and
    // equal to the bytes reassembled) from `from`. `message` is valid only
    // during the call: copy what must be kept.
    virtual void onPeerPacket(const PeerMessage& message, const PeerAddress& from) = 0;
    // The socket can send again after a send was refused: flush every
    // PeerConnection.
    virtual void onPeerTick() = 0;
    // A PortReply arrived: the port at which a partner saw this link's
    // socket (the controller's localPort).
    virtual void onLocalPort(uint16_t port) = 0;
    // A status line for the message log ("INVITATION ERROR: Net Event Error!").
    virtual void onLinkStatus(const char* text) = 0;
    // The video budget in kbit/s from the bitrate split; read by
    // PeerConnection::videoRateControl on the video encoder's thread.
    virtual double videoBudgetKbps() = 0;
};
