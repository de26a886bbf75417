#include "ServiceProtocol.h"

#include <climits>
#include <string>

#include "Clock.h"
#include "ContentFiles.h"
#include "EventLog.h"
#include "FormBody.h"
#include "Ipv4.h"
#include "LoginService.h"
#include "ServiceReplies.h"
#include "SessionTable.h"

namespace tarvonet {

ServiceProtocol::Route ServiceProtocol::route(std::string_view method, std::string_view path) {
    std::string file;
    if (path == kServicePath) return method == "POST" ? Route::Action : Route::BadMethod;
    if (ContentFiles::isDownload(path, file)) {
        return method == "GET" || method == "HEAD" ? Route::Download : Route::BadMethod;
    }
    return Route::NotFound;
}

ServiceProtocol::ServiceProtocol(SessionTable& sessions, LoginService& logins, const ContentFiles& content,
                                 const Clock& clock, EventLog& log)
    : sessions_(sessions), logins_(logins), content_(content), clock_(clock), log_(log) {}

Reply ServiceProtocol::answerAction(uint32_t client, std::string_view body) {
    switch (actionOf(body)) {
        case Action::Login: return logins_.login(client, body);
        case Action::Logout: return logout(client);
        case Action::KeepAlive: return keepAlive(client, body);
        case Action::OnlineList: return onlineList(client);
        case Action::Invite: return invite(client, body);
        case Action::CheckInvitation: return checkInvitation(client);
        case Action::Unknown: break;
    }
    return replies::unknownAction();
}

std::optional<Reply> ServiceProtocol::screenLogin(uint32_t client, std::string_view body) {
    return logins_.screen(client, body);
}

Reply ServiceProtocol::logout(uint32_t client) {
    EndedSession ended;
    if (sessions_.logout(client, ended)) {
        log_.write("logout \"" + ended.name + "\" from " + formatDottedQuad(ended.address));
    }
    return replies::loggedOut();
}

Reply ServiceProtocol::keepAlive(uint32_t client, std::string_view body) {
    std::string_view text;
    int flags = 0;
    if (!formValue(body, "flags", text) || !parseBoundedInt(text, INT_MIN + 1, INT_MAX, flags)) {
        return replies::badRequest("the keep-alive needs its flags.");
    }
    return sessions_.keepAlive(client, flags, clock_.nowMs()) ? replies::keepAliveAccepted()
                                                              : replies::sessionNotValid();
}

Reply ServiceProtocol::onlineList(uint32_t client) {
    OnlineListResult result = sessions_.onlineList(client, clock_.nowMs());
    switch (result.status) {
        case ListStatus::Listed: {
            Reply reply;
            reply.framing = Framing::Chunked;
            reply.shared = std::move(result.list);
            return reply;
        }
        case ListStatus::MasterLoggedOut: return replies::masterLoggedOut();
        case ListStatus::NotLoggedIn: break;
    }
    return replies::sessionNotValid();
}

Reply ServiceProtocol::invite(uint32_t client, std::string_view body) {
    std::string_view text;
    uint32_t invitee = 0;
    if (!formValue(body, "ip", text) || !parseDottedQuad(text, invitee)) {
        return replies::badRequest("the invitation needs the address of the invited user.");
    }
    switch (sessions_.invite(client, invitee, clock_.nowMs())) {
        case InviteStatus::Registered: return replies::invitationRegistered();
        // The plug-in reads nothing more from this reply, and the invitee's
        // flags are in every online list: the inviter gets the usual answer.
        case InviteStatus::Declined: return replies::invitationRegistered();
        case InviteStatus::InviterNotLoggedIn: return replies::inviteRefusedNotLoggedIn();
        case InviteStatus::InviteeNotOnline: break;
    }
    return replies::inviteRefusedNotOnline();
}

Reply ServiceProtocol::checkInvitation(uint32_t client) {
    uint32_t inviter = 0;
    switch (sessions_.checkInvitation(client, clock_.nowMs(), inviter)) {
        case InvitationStatus::Waiting: return replies::invitationWaiting(inviter);
        case InvitationStatus::None: return replies::noInvitation();
        case InvitationStatus::NotLoggedIn: break;
    }
    return replies::sessionNotValid();
}

Reply ServiceProtocol::answerDownload(std::string_view path) const {
    std::string file;
    Reply reply;
    if (!ContentFiles::isDownload(path, file) || !content_.read(file, reply.body)) return replies::notFound();
    reply.contentType = file == "news.txt" ? "text/plain" : "image/bmp";
    return reply;
}

}  // namespace tarvonet
