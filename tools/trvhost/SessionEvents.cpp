#include "tools/trvhost/SessionEvents.h"

#include <string>

#include "tools/trvhost/LineOutput.h"
#include "trvcore/SessionController.h"

SessionEvents::SessionEvents(SessionController& controller, LineOutput& out, AutoAnswer answer)
    : controller_(controller), out_(out), autoAnswer_(answer) {
    controller_.addListener(this);
}

SessionEvents::~SessionEvents() { controller_.removeListener(this); }

void SessionEvents::onSessionEvent(void* object, int kind) {
    std::string text = std::to_string(kind);
    // Kinds 1 and 2 name a session that is alive for the call.
    if (object && (kind == kConnected || kind == kReleased))
        text += std::string(" ") + static_cast<PartnerSession*>(object)->partnerName();
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
