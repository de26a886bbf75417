#pragma once
// The login action: reads the login body, checks name and password against
// the accounts and opens the session. The password check is deliberately
// slow (it is a password hash), so the HTTP server runs this away from its
// event loops; an address or a name with too many failed logins is refused
// before it. Safe to call from several threads.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "LoginLimiter.h"
#include "PasswordHasher.h"
#include "Reply.h"

namespace tarvonet {

class AccountStore;
class Clock;
class EventLog;
class SessionTable;

class LoginService {
public:
    // `dummyCost` should match the cost of the stored hashes: unknown names
    // are checked against a dummy hash of that cost, so that the reply time
    // does not tell which names exist.
    LoginService(AccountStore& accounts, SessionTable& sessions, const Clock& clock, EventLog& log,
                 HashCost dummyCost, LoginLimits limits = LoginLimits());
    Reply login(uint32_t client, std::string_view body);
    // The refusal of a login that is refused before its password check
    // whatever it holds (too many failed logins), or none. Cheap: the HTTP
    // server asks on its event loop, so such logins take no place in the
    // queue of password checks.
    std::optional<Reply> screen(uint32_t client, std::string_view body);

private:
    std::optional<Reply> limitRefusal(uint32_t client, const std::string& name);
    Reply refuse(uint32_t client, const std::string& name, const char* why);
    void failed(uint32_t client, const std::string& name);

    AccountStore& accounts_;
    SessionTable& sessions_;
    const Clock& clock_;
    EventLog& log_;
    std::string dummyHash_;
    LoginLimiter limiter_;
};

}  // namespace tarvonet
