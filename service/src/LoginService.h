#pragma once
// The login action: reads the login body, checks name and password against
// the accounts and opens the session. The password check is deliberately
// slow (it is a password hash), so the HTTP server runs this away from its
// event loops.
#include <cstdint>
#include <string>
#include <string_view>

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
                 HashCost dummyCost);
    Reply login(uint32_t client, std::string_view body);

private:
    Reply refuse(uint32_t client, const std::string& name, const char* why);

    AccountStore& accounts_;
    SessionTable& sessions_;
    const Clock& clock_;
    EventLog& log_;
    std::string dummyHash_;
};

}  // namespace tarvonet
