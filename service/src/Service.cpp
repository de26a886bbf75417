#include "Service.h"

#include "EventLog.h"
#include "Ipv4.h"

namespace tarvonet {

Service::Service(AccountStore& accounts, ServiceConfig config, EventLog& log)
    : config_(std::move(config)),
      log_(log),
      sessions_(config_.limits),
      content_(config_.contentFolder),
      logins_(accounts, sessions_, clock_, log_, config_.dummyHashCost),
      protocol_(sessions_, logins_, content_, clock_, log_),
      http_(protocol_, config_.http) {}

Service::~Service() { stop(); }

bool Service::start(std::string& error) {
    if (!http_.start(error)) return false;
    running_.store(true);
    housekeeper_ = std::thread([this] { housekeeping(); });
    return true;
}

void Service::stop() {
    if (!running_.exchange(false)) return;
    {
        std::lock_guard<std::mutex> guard(sleepLock_);
    }
    wake_.notify_all();
    housekeeper_.join();
    http_.stop();
}

void Service::housekeeping() {
    std::unique_lock<std::mutex> guard(sleepLock_);
    while (running_.load()) {
        wake_.wait_for(guard, std::chrono::milliseconds(config_.housekeepingIntervalMs),
                       [this] { return !running_.load(); });
        for (const EndedSession& ended : sessions_.expire(clock_.nowMs())) {
            log_.write("session of \"" + ended.name + "\" at " + formatDottedQuad(ended.address) + " timed out");
        }
    }
}

}  // namespace tarvonet
