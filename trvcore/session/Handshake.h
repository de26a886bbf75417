#pragma once
// The invitation handshake of a partner session as data: one state, and
// for every step that arrives from the partner a decision that depends on
// nothing but the state, the step and the session's direction. The session
// applies a decision in two parts: the state change (and what must happen
// together with it) under its lock, the rest (rounds of packets with their
// pauses, status lines, telling the controller) after letting go of it.
//
//   outgoing (this user invites)          incoming (this user is invited)
//   New -> Inviting  --Ringing-->         New -> Inviting  --Invite-->  Invited
//          WaitingForAnswer --Accept-->          --Ask--> Asking --user accepts--> Accepted
//          Connected                             --Connected--> Connected
//
// Reject, Bye, the user's cancel and the time-out lead to Closed, the end.
#include <cstdint>

#include "trvcore/trvnetwork/PeerProtocol.h"

enum class HandshakeState : uint8_t {
    New,               // made, the handshake not started
    Inviting,          // out: Invite rounds until Ringing; in: the Invite not handled yet
    WaitingForAnswer,  // out: Ringing came, Ask sent; the partner's user decides
    Invited,           // in: the Invite handled, Ringing sent
    Asking,            // in: Ask came; this user is asked
    Accepted,          // in: this user accepted, Accept sent; Connected awaited
    Connected,
    Closed,
};
constexpr int kHandshakeStates = 8;

enum class HandshakeDirection : uint8_t { Outgoing, Incoming };

// What can arrive from the partner: the invitation steps and the Bye.
enum class HandshakeStep : uint8_t { Invite, Ringing, Ask, Accept, Reject, Connected, Aborted, Bye };
constexpr int kHandshakeSteps = 8;

HandshakeStep handshakeStepOf(InvitationStep wire);

// A status line a decision posts (with the partner's name).
enum class HandshakeLine : uint8_t {
    None,
    InvitationFrom,      // "Invitation from %s."
    WaitingForAccept,    // "Waiting for %s to accept Invitation..."
    ConnectedTo,         // "Connected to %s"
    RejectedYou,         // "Sorry, %s rejected your invitation."
    AbortedInvitation,   // "%s has aborted an invitation."
    CancelledInvitation  // "%s cancelled the invitation."
};
const char* handshakeLinePattern(HandshakeLine line);

// Rounds of one packet kind, sent outside the session lock.
enum class HandshakeRounds : uint8_t {
    None,
    Ringing,    // 5, each to the address seen and to the well-known port, 100 ms apart
    Ask,        // up to 5, 100 ms apart, until connected
    Connected,  // 5, 150 ms after each
};

struct HandshakeDecision {
    HandshakeState next;  // the state to change to (the same: none)
    HandshakeLine line = HandshakeLine::None;
    bool lineAfterRounds = false;
    HandshakeRounds rounds = HandshakeRounds::None;
    bool clearDeadline = false;
    bool startStreams = false;  // together with the change to next
    bool chime = false;
    bool tellConnected = false;  // the controller learns of the connection
    bool close = false;          // close telling the partner (next is Closed)

    bool ignored(HandshakeState from) const {
        return next == from && line == HandshakeLine::None && rounds == HandshakeRounds::None && !close;
    }
};

// The decision for `step` arriving in `state` on a session of `direction`.
HandshakeDecision decideHandshake(HandshakeState state, HandshakeStep step, HandshakeDirection direction);

const char* handshakeStateName(HandshakeState s);
const char* handshakeStepName(HandshakeStep s);
