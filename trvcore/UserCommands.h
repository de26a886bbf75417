#pragma once
// What the user's buttons do, with the status lines they post. The editor
// calls these, and so does the test host's command interface, so both
// behave the same.
class SessionController;

namespace commands {

// The Login button: logs out when logged in ("Logging out...", "Logged
// out."), else checks the name and password and logs in ("Logging in...",
// then "Welcome. You are logged in to the Tarvonet." or "** Login failed **").
// True when the user is logged in afterwards.
bool loginOrLogout(SessionController& controller);

}  // namespace commands
