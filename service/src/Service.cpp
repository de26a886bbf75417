#include "Service.h"

#include <algorithm>

#include "EventLog.h"
#include "Ipv4.h"

namespace tarvonet {

Service::Service(AccountStore& accounts, ServiceConfig config, EventLog& log)
    : config_(std::move(config)),
      log_(log),
      sessions_(config_.limits),
      content_(config_.contentFolder),
      logins_(accounts, sessions_, clock_, log_, config_.dummyHashCost, config_.loginLimits),
      reloader_(accounts, sessions_, log_),
      protocol_(sessions_, logins_, content_, clock_, log_),
      http_(protocol_, config_.http) {}

Service::~Service() { stop(); }

bool Service::start(std::string& error) {
    reloader_.poll();  // takes the change count before any login
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
    int64_t nextExpire = clock_.nowMs() + config_.housekeepingIntervalMs;
    int64_t nextCheck = clock_.nowMs() + config_.accountCheckIntervalMs;
    while (running_.load()) {
        int64_t wait = std::max<int64_t>(0, std::min(nextExpire, nextCheck) - clock_.nowMs());
        if (wake_.wait_for(guard, std::chrono::milliseconds(wait), [this] { return !running_.load(); })) break;
        int64_t now = clock_.nowMs();
        if (now >= nextExpire) {
            for (const EndedSession& ended : sessions_.expire(now)) {
                log_.write("session of \"" + ended.name + "\" at " + formatDottedQuad(ended.address) +
                           " timed out");
            }
            nextExpire = now + config_.housekeepingIntervalMs;
        }
        if (now >= nextCheck) {
            reloader_.poll();
            nextCheck = clock_.nowMs() + config_.accountCheckIntervalMs;
        }
    }
}

}  // namespace tarvonet
