#include "tools/trvhost/SessionEvents.h"

#include <string>

#include "tools/trvhost/LineOutput.h"
#include "trvcore/session/SessionController.h"

SessionEvents::SessionEvents(SessionController& controller, LineOutput& out, AutoAnswer answer)
    : controller_(controller), out_(out), autoAnswer_(answer) {
    controller_.addListener(this);
}

SessionEvents::~SessionEvents() { controller_.removeListener(this); }

void SessionEvents::onSessionEvent(PartnerSession* session, SessionEvent event) {
    std::string text = std::to_string(static_cast<int>(event));
    // Kinds 1 and 2 name a session that is alive for the call.
    if (session && (event == SessionEvent::Connected || event == SessionEvent::Released))
        text += std::string(" ") + session->partnerName();
    out_.line("event", text);
}

void SessionEvents::idle() {
    SessionRef pending = controller_.pendingInvitation();
    if (pending && pending.get() != shown_.get()) {
        shown_ = pending;
        out_.line("popup", std::string("Will you accept an invitation from ") + pending->partnerName() + "?");
        if (autoAnswer_ != AutoAnswer::None) answer(autoAnswer_ == AutoAnswer::Accept);
    } else if (!pending && shown_) {
        shown_.reset();
        out_.line("popup", "closed");
    }
}

bool SessionEvents::answer(bool accept) {
    SessionRef pending = controller_.pendingInvitation();
    if (!pending) return false;
    out_.line("popup", accept ? "Accept" : "Reject");
    shown_.reset();
    controller_.acceptInvitation(pending.get(), accept);
    return true;
}
