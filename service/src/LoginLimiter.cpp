#include "LoginLimiter.h"

#include <algorithm>

namespace tarvonet {

LoginLimiter::LoginLimiter(LoginLimits limits) : limits_(limits) {}

int64_t LoginLimiter::blockedFor(const Count& c, unsigned limit, int64_t nowMs) const {
    if (c.failures < limit) return 0;
    int64_t end = c.windowStartMs + limits_.windowMs;
    return end > nowMs ? end - nowMs : 0;
}

LoginVerdict LoginLimiter::check(uint32_t address, std::string_view name, int64_t nowMs, int64_t& waitMs) {
    std::lock_guard<std::mutex> guard(lock_);
    auto a = byAddress_.find(address);
    if (a != byAddress_.end()) {
        waitMs = blockedFor(a->second, limits_.failuresPerAddress, nowMs);
        if (waitMs > 0) return LoginVerdict::AddressLimited;
    }
    if (name.empty()) return LoginVerdict::Allowed;
    std::string key(name);
    auto n = byName_.find(key);
    if (n == byName_.end()) return LoginVerdict::Allowed;
    waitMs = blockedFor(n->second, limits_.failuresPerAccount, nowMs);
    if (waitMs == 0) return LoginVerdict::Allowed;
    auto known = knownAddresses_.find(key);
    if (known != knownAddresses_.end() &&
        std::find(known->second.begin(), known->second.end(), address) != known->second.end()) {
        return LoginVerdict::Allowed;
    }
    return LoginVerdict::AccountLimited;
}

template <class Map>
void LoginLimiter::prune(Map& map, unsigned limit, int64_t nowMs) {
    // Counts that refuse nothing go first; those that do are kept while
    // there is any other room.
    for (auto it = map.begin(); it != map.end();) {
        if (blockedFor(it->second, limit, nowMs) == 0) {
            it = map.erase(it);
        } else {
            ++it;
        }
    }
}

template <class Map, class Key>
bool LoginLimiter::count(Map& map, const Key& key, unsigned limit, int64_t nowMs) {
    auto it = map.find(key);
    if (it == map.end()) {
        if (map.size() >= limits_.maxTracked) prune(map, limit, nowMs);
        if (map.size() >= limits_.maxTracked) return false;
        it = map.emplace(key, Count{0, nowMs}).first;
    }
    Count& c = it->second;
    if (nowMs - c.windowStartMs >= limits_.windowMs) c = Count{0, nowMs};
    if (c.failures >= limit) return false;
    return ++c.failures == limit;
}

LoginLimiter::Reached LoginLimiter::failed(uint32_t address, std::string_view name, int64_t nowMs) {
    std::lock_guard<std::mutex> guard(lock_);
    Reached reached;
    reached.address = count(byAddress_, address, limits_.failuresPerAddress, nowMs);
    if (!name.empty()) reached.account = count(byName_, std::string(name), limits_.failuresPerAccount, nowMs);
    return reached;
}

void LoginLimiter::succeeded(uint32_t address, std::string_view name) {
    if (limits_.knownAddressesPerAccount == 0) return;
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<uint32_t>& known = knownAddresses_[std::string(name)];
    auto it = std::find(known.begin(), known.end(), address);
    if (it != known.end()) known.erase(it);
    known.insert(known.begin(), address);
    if (known.size() > limits_.knownAddressesPerAccount) known.resize(limits_.knownAddressesPerAccount);
}

}  // namespace tarvonet
