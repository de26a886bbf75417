#pragma once
// MIDI played into a plug-in instance, on its way to the partner: each
// host event list becomes MidiBlock messages of at most 1020 short MIDI
// events, stamped with this host's clock and transport, and queued on the
// partner's connection from the host's audio thread without waiting for
// the network (PeerConnection::postMidi).
//
// Threads: send() on the host threads that call processEvents; its lock
// serialises instances that share a partner (they only build messages
// under it).
#include "platform/Lock.h"
#include "trvcore/trvnetwork/PeerMessage.h"
#include "vst/VstAbi.h"

class AudioStreamHost;
class PeerConnection;

class MidiSender {
public:
    static constexpr int kMaxEventsPerMessage = 1020;

    MidiSender(AudioStreamHost& host, PeerConnection& connection) : host_(host), connection_(connection) {}
    MidiSender(const MidiSender&) = delete;
    MidiSender& operator=(const MidiSender&) = delete;

    // Sends the host's events (nothing for an empty list). Only events of
    // type kVstMidiType travel, each with its delta frames.
    void send(const VstEvents* events);
    uint32_t messagesSent() const { return messagesSent_; }

private:
    AudioStreamHost& host_;
    PeerConnection& connection_;
    platform::RecursiveLock lock_;
    PeerMessage message_;
    uint32_t messagesSent_ = 0;
};
