#pragma once
// Small stand-ins shared by the service tests.
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Clock.h"
#include "EventLog.h"

namespace tvntest {

class MemoryLog : public tarvonet::EventLog {
public:
    void write(const std::string& line) override {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.push_back(line);
    }
    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }
    bool contains(const std::string& text) const {
        for (const std::string& line : lines()) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }

private:
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
};

// Asks `done` every 50 ms until it holds or `timeoutMs` has passed; the
// last answer.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class ManualClock : public tarvonet::Clock {
public:
    int64_t nowMs() const override { return now; }
    int64_t now = 1000;
};

}  // namespace tvntest
