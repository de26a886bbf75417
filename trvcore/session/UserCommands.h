#pragma once
// What the user's buttons do, with the status lines they post. The editor
// calls these, and so does the test host's command interface, so both
// behave the same.
class PartnerSession;
class SessionController;

namespace commands {

// The Login button: logs out when logged in ("Logging out...", "Logged
// out."), else checks the name and password and logs in ("Logging in...",
// then "Welcome. You are logged in to the Tarvonet." or "** Login failed **").
// True when the user is logged in afterwards.
bool loginOrLogout(SessionController& controller);

enum class InviteOutcome {
    Disconnected,    // the partner's session was ended
    Cancelled,       // this user's outgoing invitation was withdrawn
    NoSuchUser,      // nobody of that name is online
    NotDisturbed,    // "Sorry, %s does not want to be disturbed."
    PartnersOnly,    // "Sorry, %s only wants to connect to partners."
    Invited,         // an invitation started, or a session exists already
    NotInvited,      // the controller refused (its line says why)
};

// The Invite button ("Invite or end"): with a partner, ends that session;
// else while the first session is this user's outgoing invitation, cancels
// it; else invites the user of that name, unless the user is connected and
// does not want to be disturbed, or takes invitations from partners only and
// is not this user's partner. `partner` is the plug-in's partner (null for
// none; the caller holds a reference). Blocks while inviting.
InviteOutcome inviteOrEnd(SessionController& controller, PartnerSession* partner, const char* userName);

}  // namespace commands
