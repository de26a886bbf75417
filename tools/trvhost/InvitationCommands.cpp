// Commands that drive the partner sessions the way the Invite button and
// the invitation popup do, and one that shows the sessions.
#include <cstdio>
#include <string>

#include "tools/trvhost/CommandHandlers.h"
#include "tools/trvhost/LineOutput.h"
#include "tools/trvhost/SessionEvents.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/session/SessionRef.h"
#include "trvcore/session/UserCommands.h"

namespace handlers {

namespace {

bool haveController(CommandContext& c, std::string& error) {
    if (c.controller && c.plugin) return true;
    error = "needs the built-in plug-in";
    return false;
}

const char* outcomeText(commands::InviteOutcome o) {
    switch (o) {
        case commands::InviteOutcome::Disconnected: return "disconnected the partner";
        case commands::InviteOutcome::Cancelled: return "cancelled the outgoing invitation";
        case commands::InviteOutcome::NoSuchUser: return "nobody of that name is online";
        case commands::InviteOutcome::NotDisturbed: return "refused: does not want to be disturbed";
        case commands::InviteOutcome::PartnersOnly: return "refused: partners only";
        case commands::InviteOutcome::Invited: return "invited";
        case commands::InviteOutcome::NotInvited: return "not invited";
    }
    return "?";
}

const char* stateText(PartnerSession::State s) {
    switch (s) {
        case PartnerSession::State::New:
        case PartnerSession::State::Inviting: return "inviting";
        case PartnerSession::State::WaitingForAnswer: return "waiting-for-answer";
        case PartnerSession::State::Invited: return "invited";
        case PartnerSession::State::Asking: return "asking";
        case PartnerSession::State::Accepted: return "accepted";
        case PartnerSession::State::Connected: return "connected";
        case PartnerSession::State::Closed: return "closed";
    }
    return "?";
}

CommandResult answer(CommandContext& c, bool accept, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    if (!c.sessionEvents || !c.sessionEvents->answer(accept)) c.out->line("note", "no invitation to answer");
    return CommandResult::Done;
}

}  // namespace

CommandResult invite(CommandContext& c, const Args& args, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    SessionRef partner = c.plugin->partnerRef();
    const commands::InviteOutcome o = commands::inviteOrEnd(*c.controller, partner.get(), args[0].c_str());
    c.out->line("invite", outcomeText(o));
    return CommandResult::Done;
}

CommandResult accept(CommandContext& c, const Args&, std::string& error) { return answer(c, true, error); }

CommandResult reject(CommandContext& c, const Args&, std::string& error) { return answer(c, false, error); }

CommandResult disconnect(CommandContext& c, const Args&, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    SessionRef s = c.plugin->partnerRef();
    if (!s) s = c.controller->sessionAt(0);
    if (!s) {
        c.out->line("note", "no session");
        return CommandResult::Done;
    }
    c.controller->disconnect(s.get());
    return CommandResult::Done;
}

CommandResult state(CommandContext& c, const Args&, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    SessionRef partner = c.plugin->partnerRef();
    SessionRef pending = c.controller->pendingInvitation();
    char text[512];
    std::snprintf(text, sizeof text, "sessions %d parked %d live %d partner %s pending %s",
                  c.controller->sessionCount(), c.controller->parkedSessionCount(), PartnerSession::liveCount(),
                  partner ? partner->partnerName() : "none", pending ? pending->partnerName() : "none");
    c.out->line("state", text);
    for (int i = 0;; ++i) {
        SessionRef s = c.controller->sessionAt(i);
        if (!s) break;
        std::snprintf(text, sizeof text, "%d %s %s %s %s rtt %.3f", i, s->partnerName(), s->partnerIp(),
                      s->outgoing() ? "out" : "in", stateText(s->state()), s->roundTrip());
        c.out->line("session", text);
    }
    return CommandResult::Done;
}

}  // namespace handlers
