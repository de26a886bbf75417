#pragma once
// What the editor would show of the partner sessions, for a command run:
// - every listener event, as "event: <kind> [<partner>]" (1 connected,
//   2 released, 3 the service session timed out);
// - the invitation popup, from the idle calls: "popup: Will you accept an
//   invitation from <name>?" when the controller's pendingInvitation
//   appears, "popup: closed" when it goes unanswered; with an automatic
//   answer set, the popup is answered at once, as a user would.
#include "trvcore/session/SessionListener.h"
#include "trvcore/session/SessionRef.h"

class LineOutput;
class SessionController;

enum class AutoAnswer { None, Accept, Reject };

class SessionEvents : public SessionListener {
public:
    SessionEvents(SessionController& controller, LineOutput& out, AutoAnswer answer);
    ~SessionEvents() override;  // unregisters

    void onSessionEvent(PartnerSession* session, SessionEvent event) override;
    // One idle call, under the UI lock.
    void idle();
    // The user's answer to the pending invitation, under the UI lock. False
    // when none is pending.
    bool answer(bool accept);

private:
    SessionController& controller_;
    LineOutput& out_;
    const AutoAnswer autoAnswer_;
    SessionRef shown_;  // UI lock
};
