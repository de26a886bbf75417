#pragma once
// What the service answers, apart from HTTP: routes a request by method and
// path, and answers the six form actions and the downloads. The HTTP server
// only moves bytes and calls this.
#include <cstdint>
#include <optional>
#include <string_view>

#include "Reply.h"

namespace tarvonet {

class Clock;
class ContentFiles;
class EventLog;
class LoginService;
class SessionTable;

class ServiceProtocol {
public:
    static constexpr std::string_view kServicePath = "/sys/interface/trv/index.php4";
    // Larger bodies are refused; a login body is at most about 600 bytes.
    static constexpr size_t kMaxBodyBytes = 4096;

    enum class Route { Action, Download, NotFound, BadMethod };
    static Route route(std::string_view method, std::string_view path);

    ServiceProtocol(SessionTable& sessions, LoginService& logins, const ContentFiles& content, const Clock& clock,
                    EventLog& log);

    // Answers one posted action from `client`; a login blocks for the
    // password check.
    Reply answerAction(uint32_t client, std::string_view body);
    // For a login: its refusal when it is refused before any password check
    // (see LoginService::screen), else none. Does not block.
    std::optional<Reply> screenLogin(uint32_t client, std::string_view body);
    Reply answerDownload(std::string_view path) const;

private:
    Reply logout(uint32_t client);
    Reply keepAlive(uint32_t client, std::string_view body);
    Reply onlineList(uint32_t client);
    Reply invite(uint32_t client, std::string_view body);
    Reply checkInvitation(uint32_t client);

    SessionTable& sessions_;
    LoginService& logins_;
    const ContentFiles& content_;
    const Clock& clock_;
    EventLog& log_;
};

}  // namespace tarvonet
