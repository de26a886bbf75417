#pragma once
// Counts failed logins per client address and per account name, so that
// password guessing is limited and an address or an account with too many
// failures is refused before its password is checked (the check is the
// costly part of a login).
//
// Failures count in a window that starts with the first of them; once a
// count reaches its limit, attempts are refused until that window is over.
// The name count covers names with and without an account alike, so a
// refusal does not tell which names exist. An attacker guessing one
// account's password would lock its owner out with it, so the name limit
// does not apply at the addresses the account logged in from before.
//
// Thread-safe. Times are milliseconds of a monotonic clock.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvonet {

struct LoginLimits {
    int64_t windowMs = 15 * 60 * 1000;
    unsigned failuresPerAddress = 20;  // an address may stand for several users
    unsigned failuresPerAccount = 10;
    // Entries per table; beyond it, counts below their limit are dropped first.
    size_t maxTracked = 100000;
    size_t knownAddressesPerAccount = 4;
};

enum class LoginVerdict { Allowed, AddressLimited, AccountLimited };

class LoginLimiter {
public:
    explicit LoginLimiter(LoginLimits limits);
    // Whether an attempt may have its password checked; when it may not,
    // `waitMs` says how long the refusal lasts. An empty `name` stands for
    // one that no account can have.
    LoginVerdict check(uint32_t address, std::string_view name, int64_t nowMs, int64_t& waitMs);
    // Counts a failure. Says which limits this failure reached, so that the
    // refusals that follow need no log line of their own each.
    struct Reached {
        bool address = false;
        bool account = false;
    };
    Reached failed(uint32_t address, std::string_view name, int64_t nowMs);
    void succeeded(uint32_t address, std::string_view name);
    int64_t windowMs() const { return limits_.windowMs; }

private:
    struct Count {
        unsigned failures = 0;
        int64_t windowStartMs = 0;
    };
    // True if this failure takes the count to its limit.
    template <class Map, class Key>
    bool count(Map& map, const Key& key, unsigned limit, int64_t nowMs);
    template <class Map>
    void prune(Map& map, unsigned limit, int64_t nowMs);
    int64_t blockedFor(const Count& c, unsigned limit, int64_t nowMs) const;

    const LoginLimits limits_;
    std::mutex lock_;
    std::unordered_map<uint32_t, Count> byAddress_;
    std::unordered_map<std::string, Count> byName_;
    std::unordered_map<std::string, std::vector<uint32_t>> knownAddresses_;  // most recent first
};

}  // namespace tarvonet
