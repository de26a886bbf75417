#pragma once

// Told of session events by the controller, on the controller's or a
// session's thread.
class SessionListener {
public:
    enum Kind { kConnected = 1, kReleased = 2, kServiceTimedOut = 3 };
    virtual ~SessionListener() = default;
    // kConnected: `object` is the session (the listener may take a
    // reference); kReleased: `object` is the session, drop any reference;
    // kServiceTimedOut: `object` is null.
    virtual void onSessionEvent(void* object, int kind) = 0;
};
