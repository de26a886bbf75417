#pragma once
// Takes the media and file messages of one kind (video pictures, MIDI,
// file offers, chunks and controls) from a partner session, on the network
// thread. It copies what it needs and returns: every partner's intake
// waits for it.
class PartnerSession;
class PeerMessage;

class SessionMediaSink {
public:
    virtual ~SessionMediaSink() = default;
    virtual void onMediaMessage(PartnerSession& session, const PeerMessage& message) = 0;
};
