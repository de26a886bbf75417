#include "ServiceReplies.h"

#include "Ipv4.h"

namespace tarvonet {

namespace replies {

namespace {

Reply framed(std::string payload) {
    Reply r;
    r.framing = Framing::ContentLength;
    r.body = "PLXSTART" + payload + "PLXEND";
    return r;
}

Reply chunked(std::string payload) {
    Reply r;
    r.framing = Framing::Chunked;
    r.body = "PLXSTART" + payload + "\r\nPLXEND";
    return r;
}

Reply heldBack(Reply r) {
    r.holdBack = true;
    return r;
}

Reply failure(int status, const char* payload) {
    Reply r = framed(payload);
    r.status = status;
    r.closeConnection = true;
    return r;
}

}  // namespace

Reply loginAccepted(int accountFlags) {
    return framed("1001 Login accepted.PLXFLAGS" + std::to_string(accountFlags));
}

Reply loginRefused() { return framed("4001 Wrong user name or password."); }
Reply loginMalformed() { return framed("4002 Malformed login request."); }
Reply loginBusy() { return heldBack(framed("4009 The service is busy, please try again.")); }
Reply loginUnavailable() { return framed("4003 The service cannot log you in now, please try later."); }
Reply loginLimitedAddress(int minutes) {
    return heldBack(
        framed("4010 Too many failed logins from your address, wait " + std::to_string(minutes) + " min."));
}
Reply loginLimitedAccount(int minutes) {
    return heldBack(framed("4011 Too many failed logins for this user, wait " + std::to_string(minutes) + " min."));
}
Reply loginAddressTaken() { return framed("4012 Another user is logged in from your address."); }
Reply loggedOut() { return framed("1002 Logged out."); }

Reply keepAliveAccepted() { return chunked("1003"); }
Reply sessionNotValid() { return chunked("4006 Session not valid, please log in."); }
Reply masterLoggedOut() { return chunked("4007 Master account logged out."); }

Reply invitationRegistered() { return framed("1020 Invitation registered."); }
Reply inviteRefusedNotLoggedIn() { return framed("4006 Session not valid, please log in."); }
Reply inviteRefusedNotOnline() { return framed("4020 That user is not online."); }
Reply invitationWaiting(uint32_t inviterAddress) {
    return chunked("1022 " + formatDottedQuad(inviterAddress));
}
Reply noInvitation() { return chunked("1021 No invitation."); }

Reply badRequest(const std::string& why) {
    Reply r = framed("4000 Bad request: " + why);
    r.status = 400;
    r.closeConnection = true;
    return r;
}
Reply unknownAction() { return failure(400, "4000 Unknown action."); }
Reply notFound() { return failure(404, "4004 Not found."); }
Reply methodNotAllowed() { return failure(405, "4005 Method not allowed."); }
Reply bodyTooLarge() { return failure(413, "4013 Request body too large."); }
Reply serviceUnavailable() { return failure(503, "4009 The service is busy, please try again."); }

}  // namespace replies

}  // namespace tarvonet
