#include "trvcore/session/Handshake.h"

namespace {

using S = HandshakeState;
using Step = HandshakeStep;

HandshakeDecision stay(S state) { return HandshakeDecision{state}; }

HandshakeDecision outgoing(S state, Step step) {
    const bool open = state == S::Inviting || state == S::WaitingForAnswer;
    switch (step) {
        case Step::Ringing: {
            if (state != S::Inviting) return stay(state);
            HandshakeDecision d{S::WaitingForAnswer};
            d.clearDeadline = true;
            d.rounds = HandshakeRounds::Ask;
            d.line = HandshakeLine::WaitingForAccept;
            d.lineAfterRounds = true;
            return d;
        }
        case Step::Accept: {
            // Also straight from Inviting: the Ringing may have been lost.
            if (!open) return stay(state);
            HandshakeDecision d{S::Connected};
            d.clearDeadline = true;
            d.startStreams = true;
            d.line = HandshakeLine::ConnectedTo;
            d.rounds = HandshakeRounds::Connected;
            d.tellConnected = true;
            return d;
        }
        case Step::Reject: {
            if (!open) return stay(state);
            HandshakeDecision d{S::Closed};
            d.line = HandshakeLine::RejectedYou;
            d.close = true;
            return d;
        }
        // An Invite from the user being invited crosses this invitation; the
        // controller answers it. Ask, Connected and Aborted are the invited
        // side's to receive.
        default: return stay(state);
    }
}

HandshakeDecision incoming(S state, Step step) {
    switch (step) {
        case Step::Invite: {
            if (state != S::Inviting) return stay(state);  // repeats
            HandshakeDecision d{S::Invited};
            d.clearDeadline = true;
            d.rounds = HandshakeRounds::Ringing;
            d.line = HandshakeLine::InvitationFrom;
            d.lineAfterRounds = true;
            return d;
        }
        case Step::Ask: {
            // A late repeat after the user answered does not ask again.
            if (state != S::Invited) return stay(state);
            HandshakeDecision d{S::Asking};
            d.chime = true;
            return d;
        }
        case Step::Connected: {
            // Only after this user accepted: a partner cannot connect unasked.
            if (state != S::Accepted) return stay(state);
            HandshakeDecision d{S::Connected};
            d.startStreams = true;
            d.line = HandshakeLine::ConnectedTo;
            d.tellConnected = true;
            return d;
        }
        case Step::Aborted: {
            // Only the question this user is being asked can be withdrawn.
            if (state != S::Asking) return stay(state);
            HandshakeDecision d{S::Invited};
            d.line = HandshakeLine::AbortedInvitation;
            return d;
        }
        default: return stay(state);
    }
}

}  // namespace

HandshakeStep handshakeStepOf(InvitationStep wire) {
    switch (wire) {
        case InvitationStep::Invite: return Step::Invite;
        case InvitationStep::Ringing: return Step::Ringing;
        case InvitationStep::Ask: return Step::Ask;
        case InvitationStep::Accept: return Step::Accept;
        case InvitationStep::Reject: return Step::Reject;
        case InvitationStep::Connected: return Step::Connected;
        case InvitationStep::Aborted: return Step::Aborted;
    }
    return Step::Aborted;
}

HandshakeDecision decideHandshake(S state, Step step, HandshakeDirection direction) {
    // Nothing moves a session that has not started or has ended.
    if (state == S::New || state == S::Closed) return stay(state);
    if (step == Step::Bye) {
        HandshakeDecision d{S::Closed};
        if (state == S::Asking) d.line = HandshakeLine::CancelledInvitation;
        d.close = true;
        return d;
    }
    return direction == HandshakeDirection::Outgoing ? outgoing(state, step) : incoming(state, step);
}

const char* handshakeLinePattern(HandshakeLine line) {
    switch (line) {
        case HandshakeLine::InvitationFrom: return "Invitation from %s.";
        case HandshakeLine::WaitingForAccept: return "Waiting for %s to accept Invitation...";
        case HandshakeLine::ConnectedTo: return "Connected to %s";
        case HandshakeLine::RejectedYou: return "Sorry, %s rejected your invitation.";
        case HandshakeLine::AbortedInvitation: return "%s has aborted an invitation.";
        case HandshakeLine::CancelledInvitation: return "%s cancelled the invitation.";
        case HandshakeLine::None: break;
    }
    return nullptr;
}

const char* handshakeStateName(S s) {
    static const char* const kNames[kHandshakeStates] = {"New", "Inviting", "WaitingForAnswer", "Invited",
                                                         "Asking", "Accepted", "Connected", "Closed"};
    const auto i = static_cast<int>(s);
    return i < kHandshakeStates ? kNames[i] : "?";
}

const char* handshakeStepName(Step s) {
    static const char* const kNames[kHandshakeSteps] = {"Invite",  "Ringing",   "Ask",     "Accept",
                                                        "Reject",  "Connected", "Aborted", "Bye"};
    const auto i = static_cast<int>(s);
    return i < kHandshakeSteps ? kNames[i] : "?";
}
