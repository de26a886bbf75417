#pragma once
// Brings administration changes to the sessions already logged in. Each
// poll() reads the account database's change count (one small query); when
// it has moved since the last reload, the accounts of all sessions are read
// again in one read transaction and handed to the session table: partner
// pairs, master links and flags are replaced, and the sessions of deleted
// accounts end. Meant for one thread, the service's housekeeping.
#include <cstdint>
#include <string>

namespace tarvonet {

class AccountStore;
class EventLog;
class SessionTable;

class AccountReloader {
public:
    AccountReloader(AccountStore& accounts, SessionTable& sessions, EventLog& log);
    void poll();

private:
    void failed(const std::string& what);
    void succeeded();

    AccountStore& accounts_;
    SessionTable& sessions_;
    EventLog& log_;
    int64_t applied_ = -1;  // the change count the sessions follow; none yet
    bool again_ = false;    // logins came in during the last reload
    bool failing_ = false;
};

}  // namespace tarvonet
