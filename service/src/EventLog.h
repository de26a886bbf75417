#pragma once
// Where the service writes its log lines (one per login, logout, time-out
// and refused login, plus start and stop).
#include <mutex>
#include <string>

namespace tarvonet {

class EventLog {
public:
    virtual ~EventLog() = default;
    virtual void write(const std::string& line) = 0;
};

// Lines on standard error, each with the UTC time; safe from any thread.
class StderrLog : public EventLog {
public:
    void write(const std::string& line) override;

private:
    std::mutex lock_;
};

}  // namespace tarvonet
