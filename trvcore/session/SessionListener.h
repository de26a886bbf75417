#pragma once
// Told of session events by the controller, on the controller's or a
// session's thread.
class PartnerSession;

enum class SessionEvent : int {
    Connected = 1,        // `session` became connected; the listener may take a reference
    Released = 2,         // `session` is going away; drop any reference to it
    ServiceTimedOut = 3,  // the web-service login is over; `session` is null
};

class SessionListener {
public:
    virtual ~SessionListener() = default;
    virtual void onSessionEvent(PartnerSession* session, SessionEvent event) = 0;
};
