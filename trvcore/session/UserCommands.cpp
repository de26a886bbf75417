#include "trvcore/session/UserCommands.h"

#include <cstring>

#include "trvcore/session/PartnerSession.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/session/SessionRef.h"
#include "trvcore/trvnetwork/OnlineUser.h"

namespace commands {

bool loginOrLogout(SessionController& c) {
    if (c.loggedIn()) {
        c.postMessage("Logging out...");
        c.logout();
        c.postMessage("Logged out.");
        return false;
    }
    char user[SessionController::kTextBytes], pass[SessionController::kTextBytes];
    c.userName(user);
    c.password(pass);
    if (!user[0] || std::strcmp(user, "(no user)") == 0) {
        c.postMessage("** No User Name **");
        return false;
    }
    if (!pass[0] || std::strcmp(pass, "(no passwd)") == 0) {
        c.postMessage("** No Password **");
        return false;
    }
    c.postMessage("Logging in...");
    if (c.login()) {
        c.postMessage("Welcome. You are logged in to the Tarvonet.");
        return true;
    }
    c.postMessage("** Login failed **");
    return false;
}

InviteOutcome inviteOrEnd(SessionController& c, PartnerSession* partner, const char* userName) {
    if (partner) {
        c.disconnect(partner);
        return InviteOutcome::Disconnected;
    }
    if (SessionRef first = c.sessionAt(0)) {
        if (first->outgoing()) {
            c.disconnect(first.get());
            return InviteOutcome::Cancelled;
        }
    }
    OnlineUser u;
    if (!userName || !c.findOnlineUser(userName, u)) return InviteOutcome::NoSuchUser;
    if (u.connected && u.doNotDisturb) {
        c.messageLog().postf("Sorry, %s does not want to be disturbed.", u.name);
        return InviteOutcome::NotDisturbed;
    }
    if (!u.partner && u.partnersOnly) {
        c.messageLog().postf("Sorry, %s only wants to connect to partners.", u.name);
        return InviteOutcome::PartnersOnly;
    }
    return c.invite(u) ? InviteOutcome::Invited : InviteOutcome::NotInvited;
}

}  // namespace commands
