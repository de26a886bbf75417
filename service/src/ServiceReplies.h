#pragma once
// The tagged texts the plug-in reads, each with the framing its reader
// expects: login, logout and invite replies are read up to their
// Content-Length, the keep-alive, online-list and invitation-check replies up
// to the final "PLXEND" followed by the closing zero-size chunk.
//
// Codes the plug-in looks for: 1001 login accepted (with "PLXFLAGS"), 1002
// logout, 1003 keep-alive accepted, 1004 end of the online list, 1020
// invitation registered, 1022 invitation waiting, 4006 session not valid,
// 4007 master account logged out. The 40xx codes of refusals are this
// service's own; their texts never quote user input, so that no refusal can
// carry a code the plug-in reads as success. The plug-in shows a refused
// login's text to its user, cut to about 60 characters.
#include <cstdint>
#include <string>

#include "Reply.h"

namespace tarvonet {

namespace replies {

Reply loginAccepted(int accountFlags);
Reply loginRefused();     // wrong name or password
Reply loginMalformed();   // body not in the login form
Reply loginBusy();        // too many logins waiting
Reply loginUnavailable(); // the accounts cannot be read
// Too many failed logins from the client's address, or for the name; the
// refusal lasts `minutes` more.
Reply loginLimitedAddress(int minutes);
Reply loginLimitedAccount(int minutes);
Reply loginAddressTaken(); // another account is logged in from the address
Reply loggedOut();

Reply keepAliveAccepted();
Reply sessionNotValid();  // chunked: keep-alive, online list, invitation check
Reply masterLoggedOut();  // online list of an account whose master is away

Reply invitationRegistered();
Reply inviteRefusedNotLoggedIn();
Reply inviteRefusedNotOnline();
Reply invitationWaiting(uint32_t inviterAddress);
Reply noInvitation();

// Errors below the protocol; all close the connection.
Reply badRequest(const std::string& why);
Reply unknownAction();
Reply notFound();
Reply methodNotAllowed();
Reply bodyTooLarge();
Reply serviceUnavailable();

}  // namespace replies

}  // namespace tarvonet
