#pragma once
// The whole running service over an open account database: session table,
// login service, protocol, HTTP server, and a housekeeping thread that
// removes timed-out sessions and logs them, and brings administration
// changes of the database to the sessions logged in. `serve` runs one; tests
// and the load benchmark run one in their own process.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "AccountReloader.h"
#include "Clock.h"
#include "ContentFiles.h"
#include "HttpServer.h"
#include "LoginService.h"
#include "PasswordHasher.h"
#include "ServiceProtocol.h"
#include "SessionTable.h"

namespace tarvonet {

class AccountStore;
class EventLog;

struct ServiceConfig {
    SessionLimits limits;
    HttpSettings http;
    std::string contentFolder;
    HashCost dummyHashCost = HashCost::interactive();
    LoginLimits loginLimits;
    int64_t housekeepingIntervalMs = 250;
    // How often the database's change count is read (see AccountReloader).
    int64_t accountCheckIntervalMs = 500;
};

class Service {
public:
    Service(AccountStore& accounts, ServiceConfig config, EventLog& log);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    bool start(std::string& error);
    uint16_t port() const { return http_.port(); }
    void stop();
    SessionTable& sessions() { return sessions_; }

private:
    void housekeeping();

    const ServiceConfig config_;
    EventLog& log_;
    SteadyClock clock_;
    SessionTable sessions_;
    ContentFiles content_;
    LoginService logins_;
    AccountReloader reloader_;
    ServiceProtocol protocol_;
    HttpServer http_;
    std::mutex sleepLock_;
    std::condition_variable wake_;
    std::atomic<bool> running_{false};
    std::thread housekeeper_;
};

}  // namespace tarvonet
