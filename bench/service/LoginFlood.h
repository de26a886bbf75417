#pragma once
// Login flood for `service_load --login-flood`: connections from a few
// loopback addresses that send logins back to back, each as soon as the last
// one was answered. Half of the addresses log in with the right password of
// an account of their own (every such login costs a password check), the
// other half guess names and passwords. And single honest logins, timed.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// One login the way the plug-in makes it: from `source` (host byte order) on
// a connection of its own. The reply time in microseconds, or -1 when no
// whole reply came within `timeoutMs`; `payload` gets the text between
// "PLXSTART" and "PLXEND".
int64_t timedLogin(uint32_t source, uint16_t port, const std::string& body, int timeoutMs, std::string& payload);

std::string loginBody(const std::string& user, const std::string& password);

struct FloodCounts {
    uint64_t accepted = 0;  // 1001
    uint64_t refused = 0;   // wrong name or password
    uint64_t limited = 0;   // too many failed logins
    uint64_t busy = 0;      // the login queue had no room
    uint64_t other = 0;     // any other reply, or a connection lost
};

class LoginFlood {
public:
    // Address i is 127.0.200.(i+1); addresses with an even index log in as
    // `accountPrefix` + i with `password`, the others guess.
    LoginFlood(uint16_t port, unsigned addresses, unsigned connectionsPerAddress, std::string accountPrefix,
               std::string password);
    ~LoginFlood();
    void start();
    void stop();
    FloodCounts counts() const;
    static uint32_t sourceAddress(unsigned index) { return 0x7F00C800u + index + 1; }

private:
    void run(unsigned address, unsigned connection);

    const uint16_t port_;
    const unsigned addresses_;
    const unsigned connections_;
    const std::string prefix_;
    const std::string password_;
    std::atomic<bool> running_{false};
    std::atomic<uint64_t> accepted_{0}, refused_{0}, limited_{0}, busy_{0}, other_{0};
    std::vector<std::thread> threads_;
};
